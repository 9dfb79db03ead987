#include "controls/groupedquerymodel.h"
#include "core/error.h"
#include "data/database.h"
#include "testsupport/scratchdata.h"

#include <QAbstractItemModelTester>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <memory>

using namespace tessal;
using namespace Qt::StringLiterals;

namespace {

// Three accounts, one of them without a name, and enough entries that every list crosses the
// model's window edges several times.
constexpr int Entries = 5000;

QString sqlWithIdentity(const QString &identity)
{
    return u"SELECT LANCAMENTOS.DT_LANCAMENTO, contas.ds_conta, LANCAMENTOS.VL_LANCAMENTO, "
           "LANCAMENTOS.CD_STATUS, %1 AS tessal_id FROM LANCAMENTOS INNER JOIN contas ON "
           "LANCAMENTOS.cd_conta = contas.CD_conta"_s.arg(identity);
}

// A file's rows are known by their rowid, a server's by the entry's code; the codes are written
// in the order the rows are stored, so both list the rows alike.
const QString Sql = sqlWithIdentity(test::testsOnServer() ? u"LANCAMENTOS.cd_lancamento"_s
                                                          : u"LANCAMENTOS.rowid"_s);

// A server's key may be any text: digits ("7", and "07" for another row), and texts that are not
// codes at all, more of them than the first size of the table that numbers them.
const QString TextsOfAnyShape = sqlWithIdentity(
    u"(CASE WHEN LANCAMENTOS.cd_lancamento <= '0000001500' THEN "
    "ltrim(LANCAMENTOS.cd_lancamento, '0') WHEN LANCAMENTOS.cd_lancamento <= '0000003000' THEN "
    "'0' || (CAST(LANCAMENTOS.cd_lancamento AS integer) - 1500) ELSE 'lançamento ' || "
    "LANCAMENTOS.cd_lancamento END) COLLATE \"C\""_s);

// Null values sort first going up and last going down, on either engine.
QString sortedBy(const QString &field, bool descending)
{
    return field + (descending ? u" DESC NULLS LAST"_s : u" ASC NULLS FIRST"_s) + u", tessal_id"_s;
}

const QList<GridColumn> Columns{{u"DT_LANCAMENTO"_s, u"Data"_s},
                                {u"ds_conta"_s, u"Conta"_s},
                                {u"VL_LANCAMENTO"_s, u"Valor"_s},
                                {u"CD_STATUS"_s, u"Situação"_s}};

} // namespace

class tst_GroupedQueryModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void listsEveryRowOnceInIdentityOrder();
    void sortsByAnyFieldBothWays_data();
    void sortsByAnyFieldBothWays();
    void groupsCountAndHoldTheirRows();
    void nestedGroupsAndSortWithinThem();
    void sortingByTheGroupFieldTurnsTheGroups();
    void boundValuesRestrictTheRows();
    void formatConditionsColourTheirRows();
    void ordinalsCountCollapsedGroups();
    void cancelledReadLeavesTheModelEmpty();
    void unknownFieldIsRefused();
    void scrollingHoldsABoundedNumberOfRows();
    void groupsByAnAmountFindTheirRows();
    void copiesNumberTheirRowsAlike_data();
    void copiesNumberTheirRowsAlike();
    void windowsReadWhileIdentitiesStreamLeaveThemWhole();
    void aReadCutShortIsRefusedNeverShortened();

private:
    // The same rows through a plain query, as "date|account|amount|status" texts.
    QStringList expected(const QString &where = {}, const QString &order = {},
                         const QString &sql = Sql) const;
    static QString rowText(const GroupedQueryModel &model, const QModelIndex &parent, int row);
    static QStringList rowsUnder(GroupedQueryModel &model, const QModelIndex &parent);

    std::unique_ptr<test::ScratchDataSource> m_source;
    QString m_path;
    std::unique_ptr<GroupedQueryModel> m_model;
};

void tst_GroupedQueryModel::initTestCase()
{
    m_source = std::make_unique<test::ScratchDataSource>();
    TESSAL_REQUIRE_DATA_SOURCE(*m_source);
    m_path = m_source->cashPath();
    QSqlDatabase db = data::openDatabase(m_path);
    QSqlQuery q(db);
    QVERIFY(q.exec(u"INSERT INTO contas VALUES ('001', 'Caixa'), ('002', 'Banco'), "
                   "('003', NULL)"_s));
    QVERIFY(db.transaction());
    QVERIFY(q.prepare(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, vl_lancamento, "
                      "dt_lancamento, cd_status) VALUES (?, ?, ?, ?, ?)"_s));
    for (int i = 1; i <= Entries; ++i) {
        q.addBindValue(u"%1"_s.arg(i, 10, 10, QLatin1Char('0')));
        q.addBindValue(u"00%1"_s.arg(i % 7 == 0 ? 3 : (i % 3 == 0 ? 2 : 1)));
        // Many equal amounts, so the sort's tie-break shows.
        q.addBindValue(double((i * 37) % 101) + 0.25);
        q.addBindValue(QDate(2024, 1, 1).addDays(i % 90).toString(u"yyyy-MM-dd"_s));
        q.addBindValue(i % 2 ? u"C"_s : u"D"_s);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
    QVERIFY(db.commit());
}

void tst_GroupedQueryModel::cleanupTestCase()
{
    m_model.reset();
    m_source.reset();
}

void tst_GroupedQueryModel::init()
{
    m_model = std::make_unique<GroupedQueryModel>();
    m_model->setDatabasePath(m_path);
    m_model->setSql(Sql);
    m_model->setColumns(Columns);
}

QStringList tst_GroupedQueryModel::expected(const QString &where, const QString &order,
                                            const QString &sql) const
{
    QSqlQuery q(data::openDatabase(m_path));
    const QString plain =
        u"SELECT DT_LANCAMENTO, ds_conta, VL_LANCAMENTO, CD_STATUS FROM (%1) AS q%2%3"_s.arg(
            sql, where.isEmpty() ? QString() : u" WHERE "_s + where,
            order.isEmpty() ? QString() : u" ORDER BY "_s + order);
    if (!q.exec(plain))
        qFatal("%s", qPrintable(q.lastError().text()));
    QStringList rows;
    while (q.next())
        rows << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                            q.value(3).toString()}
                    .join(u'|');
    return rows;
}

QString tst_GroupedQueryModel::rowText(const GroupedQueryModel &model, const QModelIndex &parent,
                                       int row)
{
    QStringList values;
    for (int c = 0; c < model.columnCount(); ++c)
        values << model.data(model.index(row, c, parent), GroupedQueryModel::StoredRole).toString();
    return values.join(u'|');
}

QStringList tst_GroupedQueryModel::rowsUnder(GroupedQueryModel &model, const QModelIndex &parent)
{
    if (model.canFetchMore(parent))
        model.fetchMore(parent);
    QStringList rows;
    for (int r = 0; r < model.rowCount(parent); ++r)
        rows << rowText(model, parent, r);
    return rows;
}

void tst_GroupedQueryModel::listsEveryRowOnceInIdentityOrder()
{
    QAbstractItemModelTester tester(m_model.get(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_model->refresh();
    QCOMPARE(m_model->totalRows(), Entries);
    QCOMPARE(m_model->columnCount(), 4);
    QCOMPARE(m_model->headerData(3, Qt::Horizontal).toString(), u"Situação"_s);
    QCOMPARE(rowsUnder(*m_model, {}), expected({}, u"tessal_id"_s));
    QVERIFY(!m_model->hasChildren(m_model->index(0, 0)));
}

void tst_GroupedQueryModel::sortsByAnyFieldBothWays_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("descending");
    QTest::newRow("amount ascending") << u"vl_lancamento"_s << false;
    QTest::newRow("amount descending") << u"VL_LANCAMENTO"_s << true;
    QTest::newRow("account with a null name") << u"ds_conta"_s << false;
    QTest::newRow("date descending") << u"dt_lancamento"_s << true;
}

void tst_GroupedQueryModel::sortsByAnyFieldBothWays()
{
    QFETCH(QString, field);
    QFETCH(bool, descending);
    m_model->setSort(field, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_model->refresh();
    // Equal values stay in the order of their identities, the same on every read.
    QCOMPARE(rowsUnder(*m_model, {}), expected({}, sortedBy(field, descending)));
}

void tst_GroupedQueryModel::groupsCountAndHoldTheirRows()
{
    m_model->setGrouping({u"DS_CONTA"_s});
    m_model->refresh();
    QCOMPARE(m_model->rowCount(), 3);
    QCOMPARE(m_model->totalRows(), Entries);
    // Groups in value order, the Null group first.
    const QStringList names{QString(), u"Banco"_s, u"Caixa"_s};
    qint64 counted = 0;
    for (int g = 0; g < 3; ++g) {
        const QModelIndex group = m_model->index(g, 0);
        QVERIFY(m_model->isGroup(group));
        QCOMPARE(m_model->data(group, GroupedQueryModel::GroupValueRole).toString(), names[g]);
        // Not read until it is opened.
        QCOMPARE(m_model->rowCount(group), 0);
        QVERIFY(m_model->hasChildren(group));
        const QString where =
            names[g].isNull() ? u"ds_conta IS NULL"_s : u"ds_conta = '%1'"_s.arg(names[g]);
        const QStringList rows = rowsUnder(*m_model, group);
        QCOMPARE(rows, expected(where, u"tessal_id"_s));
        QCOMPARE(m_model->data(group, GroupedQueryModel::GroupCountRole).toLongLong(), rows.size());
        counted += rows.size();
    }
    QCOMPARE(counted, Entries);
    // The tester opens every group itself, as a view does.
    m_model->refresh();
    QAbstractItemModelTester tester(m_model.get(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(m_model->rowCount(m_model->index(1, 0)), expected(u"ds_conta = 'Banco'"_s).size());
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QCOMPARE(
        m_model->data(m_model->index(2, 0)).toString(),
        u"Conta: Caixa (%1)"_s.arg(QLocale().toString(expected(u"ds_conta = 'Caixa'"_s).size())));
    QCOMPARE(m_model->data(m_model->index(0, 0)).toString(),
             u"Conta: (vazio) (%1)"_s.arg(expected(u"ds_conta IS NULL"_s).size()));
}

void tst_GroupedQueryModel::nestedGroupsAndSortWithinThem()
{
    m_model->setGrouping({u"ds_conta"_s, u"cd_status"_s});
    m_model->setSort(u"vl_lancamento"_s, Qt::DescendingOrder);
    m_model->refresh();
    const QModelIndex caixa = m_model->index(2, 0);
    m_model->fetchMore(caixa);
    QCOMPARE(m_model->rowCount(caixa), 2);
    for (int s = 0; s < 2; ++s) {
        const QModelIndex status = m_model->index(s, 0, caixa);
        QCOMPARE(m_model->parent(status), caixa);
        const QString value = m_model->data(status, GroupedQueryModel::GroupValueRole).toString();
        QCOMPARE(value, s == 0 ? u"C"_s : u"D"_s);
        QCOMPARE(rowsUnder(*m_model, status),
                 expected(u"ds_conta = 'Caixa' AND cd_status = '%1'"_s.arg(value),
                          sortedBy(u"vl_lancamento"_s, true)));
    }
}

void tst_GroupedQueryModel::sortingByTheGroupFieldTurnsTheGroups()
{
    m_model->setGrouping({u"ds_conta"_s});
    m_model->setSort(u"ds_conta"_s, Qt::DescendingOrder);
    m_model->refresh();
    QCOMPARE(m_model->data(m_model->index(0, 0), GroupedQueryModel::GroupValueRole).toString(),
             u"Caixa"_s);
    QVERIFY(m_model->data(m_model->index(2, 0), GroupedQueryModel::GroupValueRole).isNull());
}

void tst_GroupedQueryModel::boundValuesRestrictTheRows()
{
    m_model->setSql(Sql + u" WHERE LANCAMENTOS.DT_LANCAMENTO BETWEEN ? AND ?"_s,
                    {u"2024-01-10"_s, u"2024-01-10"_s});
    m_model->setGrouping({u"ds_conta"_s});
    m_model->refresh();
    qint64 rows = 0;
    for (int g = 0; g < m_model->rowCount(); ++g)
        rows += rowsUnder(*m_model, m_model->index(g, 0)).size();
    QCOMPARE(rows, expected(u"dt_lancamento = '2024-01-10'"_s).size());
    QVERIFY(rows > 0);
    QCOMPARE(m_model->totalRows(), rows);
}

void tst_GroupedQueryModel::formatConditionsColourTheirRows()
{
    m_model->setFormatConditions(u"CD_STATUS"_s,
                                 {{u"D"_s, Qt::red, Qt::yellow}, {u"C"_s, Qt::blue, Qt::yellow}});
    m_model->refresh();
    for (int r = 0; r < 600; r += 299) {
        const QString status = m_model->data(m_model->index(r, 3)).toString();
        const QColor fore = m_model->data(m_model->index(r, 0), Qt::ForegroundRole).value<QColor>();
        QCOMPARE(fore, status == u"D"_s ? QColor(Qt::red) : QColor(Qt::blue));
        QCOMPARE(m_model->data(m_model->index(r, 2), Qt::BackgroundRole).value<QColor>(),
                 QColor(Qt::yellow));
    }
}

void tst_GroupedQueryModel::ordinalsCountCollapsedGroups()
{
    m_model->setGrouping({u"ds_conta"_s});
    m_model->refresh();
    const QModelIndex caixa = m_model->index(2, 0);
    m_model->fetchMore(caixa);
    const qint64 before = expected(u"ds_conta IS NULL OR ds_conta = 'Banco'"_s).size();
    QCOMPARE(m_model->ordinalOf(m_model->index(0, 0, caixa)), before);
    QCOMPARE(m_model->ordinalOf(m_model->index(5, 1, caixa)), before + 5);
    QCOMPARE(m_model->ordinalOf(caixa), -1);
}

void tst_GroupedQueryModel::cancelledReadLeavesTheModelEmpty()
{
    int calls = 0;
    m_model->setSort(u"vl_lancamento"_s, Qt::AscendingOrder);
    m_model->setProgressHook([&](qint64, qint64) { return ++calls < 3; });
    try {
        m_model->refresh();
        QFAIL("a cancelled read was taken");
    } catch (const Error &e) {
        QVERIFY2(e.description().contains(u"cancelada"_s), qPrintable(e.description()));
    }
    QCOMPARE(calls, 3);
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->totalRows(), 0);
    // The connection keeps no progress callback behind: the next read runs to its end.
    m_model->setProgressHook({});
    m_model->refresh();
    QCOMPARE(m_model->totalRows(), Entries);
}

void tst_GroupedQueryModel::unknownFieldIsRefused()
{
    m_model->setGrouping({u"nao_existe"_s});
    QVERIFY_THROWS_EXCEPTION(Error, m_model->refresh());
    QCOMPARE(m_model->rowCount(), 0);
}

void tst_GroupedQueryModel::scrollingHoldsABoundedNumberOfRows()
{
    m_model->refresh();
    for (int r = 0; r < m_model->rowCount(); r += 10)
        m_model->data(m_model->index(r, 0));
    QVERIFY(m_model->windowsFetched() >= Entries / GroupedQueryModel::WindowRows);
    QVERIFY(m_model->rowsHeld() <=
            GroupedQueryModel::CachedWindows * GroupedQueryModel::WindowRows);
}

void tst_GroupedQueryModel::groupsByAnAmountFindTheirRows()
{
    // A group's value goes back to the engine to find its rows: an amount must come back as the
    // very number stored, or its group opens empty.
    m_model->setGrouping({u"VL_LANCAMENTO"_s});
    m_model->refresh();
    QCOMPARE(m_model->rowCount(), 101);
    qint64 counted = 0;
    for (int g = 0; g < m_model->rowCount(); ++g) {
        const QModelIndex group = m_model->index(g, 0);
        const double amount = m_model->data(group, GroupedQueryModel::GroupValueRole).toDouble();
        const qint64 count = m_model->data(group, GroupedQueryModel::GroupCountRole).toLongLong();
        m_model->load(group);
        QCOMPARE(m_model->rowCount(group), count);
        const int last = m_model->rowCount(group) - 1;
        QCOMPARE(
            m_model->data(m_model->index(last, 2, group), GroupedQueryModel::StoredRole).toDouble(),
            amount);
        counted += count;
    }
    QCOMPARE(counted, Entries);
}

void tst_GroupedQueryModel::copiesNumberTheirRowsAlike_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("serverOnly");
    QTest::newRow("the entry's identity") << Sql << false;
    QTest::newRow("texts of any shape") << TextsOfAnyShape << true;
}

void tst_GroupedQueryModel::copiesNumberTheirRowsAlike()
{
    QFETCH(QString, sql);
    QFETCH(bool, serverOnly);
    if (serverOnly && !test::testsOnServer())
        QSKIP("SQLite's rows are known by their rowid, an integer");
    m_model->setSql(sql);
    m_model->refresh();
    QCOMPARE(rowsUnder(*m_model, {}), expected({}, u"tessal_id"_s, sql));
    // Printing the selected rows finds them in a copy of the model by their identities.
    m_model->setSort(u"vl_lancamento"_s, Qt::AscendingOrder);
    m_model->refresh();
    GroupedQueryModel copy;
    copy.configureLike(*m_model);
    copy.setSort(u"dt_lancamento"_s, Qt::DescendingOrder);
    copy.refresh();
    QHash<qint64, QString> rows;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const qint64 identity = m_model->identityOf(m_model->index(r, 0));
        QVERIFY(identity >= 0);
        rows.insert(identity, rowText(*m_model, {}, r));
    }
    QCOMPARE(rows.size(), Entries); // one identity a row
    for (int r = 0; r < copy.rowCount(); r += 7)
        QCOMPARE(rowText(copy, {}, r), rows.value(copy.identityOf(copy.index(r, 0))));
    // Read again, while the copy lives, the rows keep their identities.
    const qint64 first = m_model->identityOf(m_model->index(0, 0));
    m_model->refresh();
    QCOMPARE(m_model->identityOf(m_model->index(0, 0)), first);
}

void tst_GroupedQueryModel::windowsReadWhileIdentitiesStreamLeaveThemWhole()
{
    // While the identities arrive, the hook lets the views paint, and a view reads windows of its
    // rows: on a server a statement on the same connection would drop the rows still to come.
    GroupedQueryModel shown;
    shown.configureLike(*m_model);
    shown.refresh();
    int calls = 0;
    bool painting = false;
    m_model->setSort(u"ds_conta"_s, Qt::DescendingOrder);
    m_model->setProgressHook([&](qint64, qint64) {
        // SQLite calls the hook again while the window's own statement runs; like the grid's
        // hook, this one does not paint again meanwhile.
        if (painting)
            return true;
        painting = true;
        const int row = (++calls * GroupedQueryModel::WindowRows * 3) % Entries;
        const bool shows = !shown.data(shown.index(row, 0)).toString().isEmpty();
        painting = false;
        return shows;
    });
    m_model->refresh();
    QVERIFY(calls > 0);
    QVERIFY(shown.windowsFetched() > 1);
    QCOMPARE(rowsUnder(*m_model, {}), expected({}, sortedBy(u"ds_conta"_s, true)));
}

void tst_GroupedQueryModel::aReadCutShortIsRefusedNeverShortened()
{
    // Another list read while this one streams: SQLite reads both whole; a server's driver
    // drops the rows still to come of the first, which must then say so rather than end early.
    GroupedQueryModel other;
    other.configureLike(*m_model);
    bool nested = false;
    m_model->setProgressHook([&](qint64, qint64) {
        if (!nested) {
            nested = true;
            other.refresh();
        }
        return true;
    });
    try {
        m_model->refresh();
        QCOMPARE(m_model->totalRows(), Entries);
        QCOMPARE(m_model->rowCount(), Entries);
    } catch (const Error &e) {
        QCOMPARE(m_model->rowCount(), 0);
        QVERIFY2(!e.description().isEmpty(), qPrintable(e.source()));
    }
    QVERIFY(nested);
    QCOMPARE(other.totalRows(), Entries);
}

QTEST_GUILESS_MAIN(tst_GroupedQueryModel)
#include "tst_groupedquerymodel.moc"
