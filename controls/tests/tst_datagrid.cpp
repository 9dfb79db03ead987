#include "controls/datagrid.h"
#include "core/error.h"
#include "data/database.h"
#include "testsupport/scratchdata.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;
using tessal::DataGrid;
using tessal::QueryWindowModel;

namespace {
const QString kByName = u"SELECT * FROM contas order by ds_conta"_s;
const QList<tessal::GridColumn> kColumns = {{u"CD_CONTA"_s, u"Código"_s},
                                            {u"ds_conta"_s, u"Descrição"_s}};
} // namespace

class tst_DataGrid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void modelPassesTheItemModelTester();
    void windowsFollowTheSqlOrderAcrossTheirEdges();
    void rowsAreReadOnlyWhenAskedAndBounded();
    void columnsAreFoundWithoutRegardToCase();
    void nullShowsAsEmptyText();
    void refreshListsTheRowsAndChoosesNone();
    void operatorChoosesRowsByClickAndKeyboard();
    void refusedSqlEmptiesTheGridAndThrows_data();
    void refusedSqlEmptiesTheGridAndThrows();

    void keyedWindowsMatchPositionalOnesBothWays();
    void keyedWindowsFallBackToPositionOnNullKeys();
    void boundValuesReachEveryWindow();
    void rowCountFollowsWhatTheOrderDecides_data();
    void rowCountFollowsWhatTheOrderDecides();
    void rowsGetTheirAttributeAndPreviewOnceWhenRead();
    void dropDownColumnShowsAndOffersTheOtherGridsRows();

private:
    void addAccounts(int count);

    std::unique_ptr<tessal::test::ScratchDataSource> m_source;
    QString m_path;
};

void tst_DataGrid::init()
{
    m_source = std::make_unique<tessal::test::ScratchDataSource>();
    TESSAL_REQUIRE_DATA_SOURCE(*m_source);
    m_path = m_source->cashPath();
}

void tst_DataGrid::cleanup()
{
    m_source.reset();
}

// Codes 001..count, names counting down so that name order is the reverse of code order.
void tst_DataGrid::addAccounts(int count)
{
    QSqlDatabase db = tessal::data::openDatabase(m_path);
    QVERIFY(db.transaction());
    QSqlQuery insert(db);
    QVERIFY(insert.prepare(u"INSERT INTO contas (cd_conta, ds_conta) VALUES (?, ?)"_s));
    for (int i = 1; i <= count; ++i) {
        insert.addBindValue(u"%1"_s.arg(i, 4, 10, QChar(u'0')));
        insert.addBindValue(u"Conta %1"_s.arg(count - i + 1, 5, 10, QChar(u'0')));
        QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
    }
    QVERIFY(db.commit());
}

void tst_DataGrid::modelPassesTheItemModelTester()
{
    addAccounts(700);
    QueryWindowModel model;
    model.setWindowRows(64);
    model.setDatabasePath(m_path);
    model.setSql(kByName);
    model.setColumns(kColumns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.refresh();
    QCOMPARE(model.rowCount(), 700);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), u"Código"_s);
    model.refresh(); // a second reset under the tester
}

void tst_DataGrid::windowsFollowTheSqlOrderAcrossTheirEdges()
{
    // Several thousand rows so that many window edges are crossed; the name order is the
    // reverse of insertion order, so a window read in table order would show up at once.
    addAccounts(3000);
    QueryWindowModel model;
    model.setWindowRows(100);
    model.setDatabasePath(m_path);
    model.setSql(kByName + u" ;"_s);
    model.setColumns(kColumns);
    model.refresh();
    QCOMPARE(model.rowCount(), 3000);
    for (int row = 0; row < 3000; ++row) {
        const QString expectedName = u"Conta %1"_s.arg(row + 1, 5, 10, QChar(u'0'));
        const QString expectedCode = u"%1"_s.arg(3000 - row, 4, 10, QChar(u'0'));
        if (model.text(row, 1) != expectedName || model.text(row, 0) != expectedCode)
            QFAIL(qPrintable(
                u"row %1: %2 %3"_s.arg(row).arg(model.text(row, 0), model.text(row, 1))));
    }
    QCOMPARE(model.windowsFetched(), 30);
}

void tst_DataGrid::rowsAreReadOnlyWhenAskedAndBounded()
{
    addAccounts(2000);
    QueryWindowModel model;
    model.setWindowRows(50);
    model.setCachedWindows(3);
    model.setDatabasePath(m_path);
    model.setSql(kByName);
    model.setColumns(kColumns);
    model.refresh();
    QCOMPARE(model.windowsFetched(), 0);
    QCOMPARE(model.rowsHeld(), 0);

    QCOMPARE(model.text(1999, 1), u"Conta 02000"_s);
    QCOMPARE(model.windowsFetched(), 1);
    QCOMPARE(model.rowsHeld(), 50);
    QCOMPARE(model.text(1950, 1), u"Conta 01951"_s); // same window: no new read
    QCOMPARE(model.windowsFetched(), 1);

    for (int row = 0; row < 2000; row += 50)
        model.text(row, 0);
    QCOMPARE(model.rowsHeld(), 150);
    // The most recently used windows are kept: the last one read is still there.
    const int before = model.windowsFetched();
    model.text(1950, 0);
    QCOMPARE(model.windowsFetched(), before);
    model.text(0, 0);
    QCOMPARE(model.windowsFetched(), before + 1);
}

void tst_DataGrid::columnsAreFoundWithoutRegardToCase()
{
    addAccounts(3);
    DataGrid grid;
    grid.setDatabasePath(m_path);
    grid.setSql(kByName);
    grid.setColumns({{u"Ds_Conta"_s, u"Descrição"_s}, {u"cd_conta"_s, u"Código"_s}});
    grid.refresh();
    QCOMPARE(grid.columnCount(), 2);
    grid.setCurrentRow(0);
    QCOMPARE(grid.columnText(1), u"Conta 00001"_s);
    QCOMPARE(grid.columnText(2), u"0003"_s);
    QVERIFY(grid.columnValue(3).isNull());
    QVERIFY(grid.columnValue(0).isNull());

    // Without columns every field is shown, under its own name.
    grid.setColumns({});
    grid.refresh();
    QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString().toLower(), u"cd_conta"_s);
}

void tst_DataGrid::nullShowsAsEmptyText()
{
    QSqlQuery insert(tessal::data::openDatabase(m_path));
    QVERIFY(insert.exec(u"INSERT INTO contas (cd_conta, ds_conta) VALUES ('001', NULL)"_s));
    DataGrid grid;
    grid.setDatabasePath(m_path);
    grid.setSql(kByName);
    grid.setColumns(kColumns);
    grid.refresh();
    QVERIFY(grid.columnValue(2).isNull());
    QCOMPARE(grid.columnText(2), QString());
    QCOMPARE(grid.model()->data(grid.model()->index(0, 1)).toString(), QString());
}

void tst_DataGrid::refreshListsTheRowsAndChoosesNone()
{
    DataGrid grid;
    grid.setDatabasePath(m_path);
    grid.setSql(kByName);
    grid.setColumns(kColumns);
    QSignalSpy moves(&grid, &DataGrid::currentRowChanged);
    QSignalSpy chosen(&grid, &DataGrid::rowChosen);

    grid.refresh();
    QCOMPARE(grid.rowCount(), 0);
    QCOMPARE(grid.currentRow(), -1);
    QVERIFY(grid.columnValue(1).isNull());

    // Rows to list, yet none of them becomes current: the window shows no record unasked.
    addAccounts(5);
    grid.refresh();
    QCOMPARE(grid.rowCount(), 5);
    QCOMPARE(grid.currentRow(), -1);
    QVERIFY(grid.columnValue(1).isNull());
    QVERIFY(moves.isEmpty());

    grid.setCurrentRow(3);
    QCOMPARE(grid.currentRow(), 3);
    QCOMPARE(grid.columnText(2), u"Conta 00004"_s);
    QCOMPARE(moves.size(), 1);
    QCOMPARE(moves.last().at(0).toInt(), 3);

    // A re-read sees the changes and lets go of the current row, saying so once.
    QSqlQuery rename(tessal::data::openDatabase(m_path));
    QVERIFY(rename.exec(u"UPDATE contas SET ds_conta = 'Conta 00000' WHERE cd_conta = '0002'"_s));
    grid.refresh();
    QCOMPARE(grid.currentRow(), -1);
    QCOMPARE(moves.size(), 2);
    QCOMPARE(moves.last().at(0).toInt(), -1);
    QCOMPARE(grid.model()->text(0, 1), u"Conta 00000"_s);
    grid.refresh();
    QCOMPARE(moves.size(), 2);

    // Neither a re-read nor the program's setCurrentRow is the operator's choice.
    QVERIFY(chosen.isEmpty());
}

void tst_DataGrid::operatorChoosesRowsByClickAndKeyboard()
{
    addAccounts(10);
    DataGrid grid;
    grid.setDatabasePath(m_path);
    grid.setSql(kByName);
    grid.setColumns(kColumns);
    grid.resize(400, 400);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QApplication::setActiveWindow(&grid);
    grid.refresh();
    QSignalSpy moves(&grid, &DataGrid::currentRowChanged);
    QSignalSpy chosen(&grid, &DataGrid::rowChosen);
    const auto lastChosen = [&chosen] {
        return chosen.isEmpty() ? -2 : chosen.last().at(0).toInt();
    };

    QTableView *view = grid.findChild<QTableView *>(u"view"_s);
    QVERIFY(view);
    // Tabbing into the grid chooses nothing: the view would make its first row current on its
    // own, and the window would show that record although nobody picked it.
    view->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(view->hasFocus());
    QCOMPARE(grid.currentRow(), -1);
    QVERIFY(chosen.isEmpty());

    // The first key takes the first row; then each key that moves the row chooses the new one.
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(lastChosen(), 0);
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(lastChosen(), 1);
    QCOMPARE(grid.columnText(2), u"Conta 00002"_s);
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(lastChosen(), 9);
    QTest::keyClick(view, Qt::Key_Home);
    QCOMPARE(lastChosen(), 0);
    QTest::keyClick(view, Qt::Key_PageDown);
    QVERIFY2(grid.currentRow() > 0, qPrintable(QString::number(grid.currentRow())));
    QCOMPARE(lastChosen(), grid.currentRow());
    QCOMPARE(chosen.size(), 5);
    // Moving along the row is no choice of another row.
    QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(chosen.size(), 5);

    const QRect third = view->visualRect(grid.model()->index(2, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(chosen.size(), 6);
    QCOMPARE(lastChosen(), 2);
    QCOMPARE(grid.columnText(1), u"0008"_s);
    // Clicking the row that is already current chooses it again (once), and so does Enter, so
    // its record can be brought back after the fields were cleared.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(chosen.size(), 7);
    QCOMPARE(lastChosen(), 2);
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(chosen.size(), 8);
    QCOMPARE(lastChosen(), 2);
    // A click on a row's number in the vertical header chooses that row too.
    QHeaderView *numbers = view->verticalHeader();
    QTest::mouseClick(numbers->viewport(), Qt::LeftButton, {},
                      QPoint(numbers->width() / 2, numbers->sectionViewportPosition(4) + 4));
    QCOMPARE(grid.currentRow(), 4);
    QCOMPARE(chosen.size(), 9);
    QCOMPARE(lastChosen(), 4);
    QCOMPARE(moves.size(), 7); // every move of the row, and only those

    // With no row current after a re-read, End goes to the last row, not the first.
    grid.refresh();
    QCOMPARE(grid.currentRow(), -1);
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(lastChosen(), 9);
    // Enter with no row current chooses nothing.
    grid.refresh();
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(chosen.size(), 10);
    QCOMPARE(grid.currentRow(), -1);
}

void tst_DataGrid::refusedSqlEmptiesTheGridAndThrows_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("column");
    QTest::newRow("unknown table") << u"SELECT * FROM semtabela"_s << u"cd_conta"_s;
    QTest::newRow("not SQL") << u"isto não é SQL"_s << u"cd_conta"_s;
    QTest::newRow("unknown column") << kByName << u"cd_nada"_s;
}

void tst_DataGrid::refusedSqlEmptiesTheGridAndThrows()
{
    QFETCH(QString, sql);
    QFETCH(QString, column);
    addAccounts(4);
    DataGrid grid;
    grid.setDatabasePath(m_path);
    grid.setSql(kByName);
    grid.setColumns(kColumns);
    grid.refresh();
    QCOMPARE(grid.rowCount(), 4);
    grid.setCurrentRow(1);

    grid.setSql(sql);
    grid.setColumns({{column, u"Código"_s}});
    QSignalSpy moves(&grid, &DataGrid::currentRowChanged);
    QVERIFY_THROWS_EXCEPTION(tessal::Error, grid.refresh());
    QCOMPARE(grid.rowCount(), 0);
    QCOMPARE(grid.currentRow(), -1);
    QCOMPARE(moves.size(), 1);
    QCOMPARE(moves.last().at(0).toInt(), -1);
}

void tst_DataGrid::keyedWindowsMatchPositionalOnesBothWays()
{
    // Names descend as codes ascend and collide in pairs, so the key is (name, code) and a read
    // that ignored the code half of the key would lose or repeat rows at window edges.
    QSqlDatabase db = tessal::data::openDatabase(m_path);
    QVERIFY(db.transaction());
    QSqlQuery insert(db);
    QVERIFY(insert.prepare(u"INSERT INTO contas (cd_conta, ds_conta) VALUES (?, ?)"_s));
    for (int i = 1; i <= 1000; ++i) {
        insert.addBindValue(u"%1"_s.arg(i, 4, 10, QChar(u'0')));
        insert.addBindValue(u"Conta %1"_s.arg((1000 - i) / 2, 4, 10, QChar(u'0')));
        QVERIFY(insert.exec());
    }
    QVERIFY(db.commit());
    const QString sql = u"select * from contas order by ds_conta, cd_conta"_s;

    QueryWindowModel positional;
    positional.setWindowRows(37);
    positional.setCachedWindows(1000);
    positional.setDatabasePath(m_path);
    positional.setSql(sql);
    positional.setColumns(kColumns);
    positional.refresh();

    QueryWindowModel keyed;
    keyed.setWindowRows(37);
    keyed.setCachedWindows(2);
    keyed.setKeyFields({u"DS_CONTA"_s, u"cd_conta"_s});
    keyed.setDatabasePath(m_path);
    keyed.setSql(sql);
    keyed.setColumns(kColumns);
    keyed.refresh();

    // Down the whole result, then back up from a jump to its end.
    for (int row = 0; row < 1000; ++row)
        QCOMPARE(keyed.text(row, 0), positional.text(row, 0));
    const int down = keyed.windowsFetchedByKey();
    QCOMPARE(down, keyed.windowsFetched() - 1); // only the first window by position
    keyed.text(999, 0);                         // evicted by now: read by position
    for (int row = 999; row >= 0; --row)
        QCOMPARE(keyed.text(row, 1), positional.text(row, 1));
    QVERIFY(keyed.windowsFetchedByKey() > down + 20);
    QVERIFY(keyed.rowsHeld() <= 2 * 37);
}

// A value with an apostrophe is bound, never pasted into the SQL; the count, the windows read by
// position and those read from a neighbour's key all see it.
void tst_DataGrid::boundValuesReachEveryWindow()
{
    addAccounts(500);
    QSqlDatabase db = tessal::data::openDatabase(m_path);
    QSqlQuery update(db);
    QVERIFY(update.exec(u"UPDATE contas SET ds_conta = 'D''Ávila' WHERE cd_conta > '0100'"_s));

    QueryWindowModel model;
    model.setWindowRows(50);
    model.setCachedWindows(2);
    model.setKeyFields({u"cd_conta"_s});
    model.setDatabasePath(m_path);
    model.setSql(u"select * from contas where ds_conta = ? order by cd_conta"_s, {u"D'Ávila"_s});
    model.setColumns(kColumns);
    model.refresh();
    QCOMPARE(model.rowCount(), 400);
    for (int row = 0; row < 400; ++row)
        QCOMPARE(model.text(row, 0), u"%1"_s.arg(row + 101, 4, 10, QChar(u'0')));
    QVERIFY(model.windowsFetchedByKey() > 0);
    QCOMPARE(model.text(399, 1), u"D'Ávila"_s);
}

// The count leaves out a closing ORDER BY only where that cannot change the number: an ORDER BY
// with LIMIT decides which rows there are, and one holding a parameter decides which bound value
// goes where.
void tst_DataGrid::rowCountFollowsWhatTheOrderDecides_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("firstCode");
    QTest::newRow("closing order") << u"select * from contas where cd_conta > ? order by ds_conta"_s
                                   << QVariantList{u"0040"_s} << 60 << u"0100"_s;
    QTest::newRow("order then limit")
        << u"select * from contas where cd_conta > ? order by ds_conta limit 7"_s
        << QVariantList{u"0040"_s} << 7 << u"0100"_s;
    QTest::newRow("order, limit and offset")
        << u"select * from contas order by cd_conta limit 5 offset 98"_s << QVariantList{} << 2
        << u"0099"_s;
    QTest::newRow("parameter in the order")
        << u"select * from contas where cd_conta <= ? order by case when cd_conta = ? then 0 "
           "else 1 end, cd_conta"_s
        << QVariantList{u"0010"_s, u"0007"_s} << 10 << u"0007"_s;
    QTest::newRow("order inside a subquery only")
        << u"select * from (select * from contas order by ds_conta limit 3) as primeiras"_s
        << QVariantList{} << 3 << u"0100"_s;
    QTest::newRow("order words in a text")
        << u"select * from contas where ds_conta <> 'x order by y limit 1' order by cd_conta"_s
        << QVariantList{} << 100 << u"0001"_s;
}

void tst_DataGrid::rowCountFollowsWhatTheOrderDecides()
{
    QFETCH(QString, sql);
    QFETCH(QVariantList, values);
    QFETCH(int, rows);
    QFETCH(QString, firstCode);
    addAccounts(100);
    QueryWindowModel model;
    model.setDatabasePath(m_path);
    model.setSql(sql, values);
    model.setColumns(kColumns);
    model.refresh();
    QCOMPARE(model.rowCount(), rows);
    QCOMPARE(model.text(0, 0), firstCode);
}

void tst_DataGrid::keyedWindowsFallBackToPositionOnNullKeys()
{
    addAccounts(120);
    QSqlQuery update(tessal::data::openDatabase(m_path));
    QVERIFY(update.exec(u"UPDATE contas SET ds_conta = NULL WHERE cd_conta > '0100'"_s));
    QueryWindowModel model;
    model.setWindowRows(25);
    model.setKeyFields({u"ds_conta"_s, u"cd_conta"_s});
    model.setDatabasePath(m_path);
    // Both engines put the Null names first when told to (a server's own default is last).
    model.setSql(u"select * from contas order by ds_conta nulls first, cd_conta"_s);
    model.setColumns(kColumns);
    model.refresh();
    // Null names sort first: rows 0..19 have them. Reading upwards from the end must still give
    // every row at its place.
    model.text(119, 0);
    for (int row = 119; row >= 0; --row) {
        const QString expected = row < 20 ? u"%1"_s.arg(101 + row, 4, 10, QChar(u'0'))
                                          : u"%1"_s.arg(100 - (row - 20), 4, 10, QChar(u'0'));
        QCOMPARE(model.text(row, 0), expected);
    }
}

void tst_DataGrid::rowsGetTheirAttributeAndPreviewOnceWhenRead()
{
    addAccounts(600);
    DataGrid grid;
    grid.model()->setWindowRows(100);
    grid.setDatabasePath(m_path);
    grid.setSql(u"select * from contas order by cd_conta"_s);
    grid.setColumns({{u"cd_conta"_s, u"Código"_s}});
    grid.setPreviewField(u"DS_CONTA"_s);
    int calls = 0;
    grid.setRowAttributeHook([&calls](const QList<QVariant> &row) {
        ++calls;
        return row.at(0).toString().toInt() % 2 ? u"odd"_s : u"even"_s;
    });
    grid.setRowStyle(u"odd"_s, {QColor(Qt::red), {}});
    grid.setRowStyle(u"even"_s, {QColor(Qt::blue), QColor(Qt::yellow)});
    grid.refresh();

    QueryWindowModel *model = grid.model();
    const QModelIndex first = model->index(0, 0);
    QCOMPARE(model->data(first, QueryWindowModel::PreviewRole).toString(), u"Conta 00600"_s);
    QCOMPARE(grid.rowAttribute(0), u"odd"_s);
    QCOMPARE(model->data(first, Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    QVERIFY(!model->data(first, Qt::BackgroundRole).isValid());
    const QModelIndex second = model->index(1, 0);
    QCOMPARE(model->data(second, Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));
    QCOMPARE(model->data(second, Qt::BackgroundRole).value<QColor>(), QColor(Qt::yellow));
    QCOMPARE(grid.rowAttribute(599), u"even"_s);
    QCOMPARE(model->preview(599), u"Conta 00001"_s);
    // Asking again, for any role, hands no row to the hook a second time.
    const int afterTwoWindows = calls;
    QCOMPARE(afterTwoWindows, 200);
    for (int row = 0; row < 100; ++row)
        model->data(model->index(row, 0), Qt::ForegroundRole);
    QCOMPARE(calls, afterTwoWindows);
}

void tst_DataGrid::dropDownColumnShowsAndOffersTheOtherGridsRows()
{
    addAccounts(3);
    QSqlQuery query(tessal::data::openDatabase(m_path));
    QVERIFY(query.exec(u"DELETE FROM baixas"_s));
    QVERIFY(query.exec(u"INSERT INTO baixas VALUES ('001', 'Pago'), ('002', 'Aberto')"_s));
    QVERIFY(query.exec(u"UPDATE contas SET ds_conta = '002' WHERE cd_conta = '0001'"_s));
    QVERIFY(query.exec(u"UPDATE contas SET ds_conta = '009' WHERE cd_conta = '0002'"_s));

    DataGrid list;
    list.setDatabasePath(m_path);
    list.setSql(u"SELECT  * FROM baixas  order by ds_baixa"_s);
    DataGrid grid;
    grid.setDatabasePath(m_path);
    grid.setSql(u"select * from contas order by cd_conta"_s);
    grid.setColumns(kColumns);
    grid.setColumnDropDown(2, &list, u"DS_BAIXA"_s, u"cd_baixa"_s, true);
    grid.refresh();
    list.refresh();

    const QList<std::pair<QVariant, QString>> items = grid.dropDownItems(2);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0).first.toString(), u"002"_s);
    QCOMPARE(items.at(0).second, u"Aberto"_s);
    QueryWindowModel *model = grid.model();
    QCOMPARE(model->data(model->index(0, 1)).toString(), u"Aberto"_s);
    QCOMPARE(model->data(model->index(1, 1)).toString(), u"009"_s); // not listed: as stored
    grid.setCurrentRow(0);
    QCOMPARE(grid.columnText(2), u"002"_s); // the value stays the code
    QVERIFY(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);
    QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));

    grid.resize(400, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QSignalSpy picks(&grid, &DataGrid::dropDownPicked);
    grid.view()->edit(model->index(0, 1));
    auto *editor = grid.view()->findChild<QComboBox *>(u"dropDown"_s);
    QVERIFY(editor);
    QCOMPARE(editor->count(), 2);
    QCOMPARE(editor->currentText(), u"Aberto"_s);
    editor->setCurrentIndex(1);
    emit editor->activated(1);
    QTRY_COMPARE(picks.size(), 1);
    QCOMPARE(picks.at(0).at(0).toInt(), 0);
    QCOMPARE(picks.at(0).at(1).toInt(), 2);
    QCOMPARE(picks.at(0).at(2).toString(), u"001"_s);
    // The grid itself stored nothing.
    QVERIFY(query.exec(u"SELECT ds_conta FROM contas WHERE cd_conta = '0001'"_s) && query.next());
    QCOMPARE(query.value(0).toString(), u"002"_s);
}

QTEST_MAIN(tst_DataGrid)
#include "tst_datagrid.moc"
