// The ledger window driven through its controls' names, on the offscreen platform.

#include "controls/datagrid.h"
#include "data/database.h"
#include "data/demodata.h"
#include "ledger/consistency.h"
#include "ledger/ui/flancamentos.h"
#include "testsupport/testcontext.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;
using tessal::DataGrid;
using tessal::flancamentos;
using tessal::QueryWindowModel;

namespace {

const QString Credit = u"00001"_s; // "Venda", C
const QString Debit = u"00002"_s;  // "Compra", D
const QString Caption = u"Manutenção de Lançamentos"_s;

} // namespace

class tst_flancamentos : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithEveryControlAndNothingPicked();
    void emptyAccountShowsZeroTotals();
    void keyboardMovesInTheAccountListPickTheAccount_data();
    void keyboardMovesInTheAccountListPickTheAccount();
    void eachPickReadsTheAccountOnce();
    void onlyChoosingAGridRowFillsTheEntry();
    void partlyTypedPostTakesNothingFromAnOlderEntry();
    void firstEntryIsPostedAndShown();
    void rowChoiceFillsTheFieldsAndAlterRebuilds();
    void largestAmountShownInFullAndAlteredExactly();
    void deleteAsksAndRebuildsEitherWay_data();
    void deleteAsksAndRebuildsEitherWay();
    void deleteWithNoRowChosenAsksNothing();
    void refusalsShowTheErrorBoxAndStoreNothing_data();
    void refusalsShowTheErrorBoxAndStoreNothing();
    void debitsAndCreditsLookDifferent();
    void settlementPickStoresTheType();
    void largeAccountIsReadAWindowAtATime();
    void escapeClosesAndEnterMovesOn();
    void screenshotOnDemoData();

private:
    std::unique_ptr<flancamentos> open();
    void run(const QString &sql) const;
    void postThroughWindow(flancamentos *w, const QString &date, const QString &description,
                           const QString &amount, const QString &remark = {});
    QStringList snapshot() const;
    void seedThreeAccounts();
    QStringList codesOf(const QString &account) const;
    static QStringList gridCodes(flancamentos *w);
    QList<double> balances(const QString &account) const;
    static void pick(flancamentos *w, const QString &accountName);
    static void type(flancamentos *w, const QString &control, const QString &text);
    static void choose(flancamentos *w, const QString &description);
    static void click(flancamentos *w, const QString &button);
    static QString label(flancamentos *w, const QString &name);
    static QString totals(flancamentos *w);
    static QString entryOnShow(flancamentos *w);

    std::unique_ptr<tessal::test::TestContext> m_t;
    QString m_path;
};

void tst_flancamentos::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    const QString dataDir = m_t->dir.filePath(u"dados"_s);
    tessal::data::ensureDataDirectory(dataDir);
    m_t->context->session().setDataDirectory(dataDir);
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
    m_path = m_t->context->session().cashDatabasePath();
    run(u"INSERT INTO contas VALUES ('001', 'Caixa'), ('002', 'Banco'), ('003', 'Grande')"_s);
    run(u"INSERT INTO historicos VALUES ('00001', 'Venda', 'C'), ('00002', 'Compra', 'D')"_s);
    // The cash database comes with settlement type "001" ("Normal").
    run(u"INSERT INTO baixas VALUES ('002', 'Pago')"_s);
}

void tst_flancamentos::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    tessal::data::closeDatabase(m_path);
    m_t.reset();
}

std::unique_ptr<flancamentos> tst_flancamentos::open()
{
    auto window = std::make_unique<flancamentos>(*m_t->context);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("ledger window not exposed");
    return window;
}

void tst_flancamentos::run(const QString &sql) const
{
    QSqlQuery query(tessal::data::openDatabase(m_path));
    if (!query.exec(sql))
        QFAIL(qPrintable(query.lastError().text() + u" in: "_s + sql));
}

QStringList tst_flancamentos::snapshot() const
{
    QSqlQuery query(tessal::data::openDatabase(m_path));
    query.exec(u"SELECT * FROM lancamentos ORDER BY cd_lancamento"_s);
    QStringList rows;
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.record().count(); ++i)
            fields << (query.isNull(i) ? u"<null>"_s : query.value(i).toString());
        rows << fields.join(u'|');
    }
    return rows;
}

QList<double> tst_flancamentos::balances(const QString &account) const
{
    QSqlQuery query(tessal::data::openDatabase(m_path));
    query.prepare(u"SELECT vl_saldo FROM lancamentos WHERE cd_conta = ? ORDER BY dt_lancamento, "
                  "cd_lancamento"_s);
    query.addBindValue(account);
    query.exec();
    QList<double> list;
    while (query.next())
        list << query.value(0).toDouble();
    return list;
}

// Banco (002) holds a credit of 10; Caixa (001) a credit of 20 and a debit of 5; Grande (003)
// a credit of 300: each account shows totals and rows no other one has.
void tst_flancamentos::seedThreeAccounts()
{
    tessal::ledger::Ledger book(m_path);
    book.post({u"002"_s, Credit, u"banco"_s, u"10"_s, u"01/03/2024"_s});
    book.post({u"001"_s, Credit, u"caixa"_s, u"20"_s, u"02/03/2024"_s});
    book.post({u"001"_s, Debit, u"caixa"_s, u"5"_s, u"03/03/2024"_s});
    book.post({u"003"_s, Credit, u"grande"_s, u"300"_s, u"04/03/2024"_s});
}

// The entry codes of an account, by date and code as the grid lists them.
QStringList tst_flancamentos::codesOf(const QString &account) const
{
    QSqlQuery query(tessal::data::openDatabase(m_path));
    query.prepare(u"SELECT cd_lancamento FROM lancamentos WHERE cd_conta = ? ORDER BY "
                  "dt_lancamento, cd_lancamento"_s);
    query.addBindValue(account);
    query.exec();
    QStringList codes;
    while (query.next())
        codes << query.value(0).toString();
    return codes;
}

QStringList tst_flancamentos::gridCodes(flancamentos *w)
{
    QueryWindowModel *model = w->grid()->model();
    QStringList codes;
    for (int row = 0; row < model->rowCount(); ++row)
        codes << model->text(row, flancamentos::EntryCode - 1);
    return codes;
}

void tst_flancamentos::pick(flancamentos *w, const QString &accountName)
{
    auto *list = w->findChild<QListWidget *>(u"cd_conta"_s);
    QVERIFY(list);
    const QList<QListWidgetItem *> found = list->findItems(accountName, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    const QRect place = list->visualItemRect(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
}

void tst_flancamentos::type(flancamentos *w, const QString &control, const QString &text)
{
    auto *edit = w->findChild<QLineEdit *>(control);
    QVERIFY2(edit, qPrintable(control));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    edit->setCursorPosition(0);
    // Under the date mask the digits are typed and the mask puts the slashes in; after an entry
    // was shown the mask is off and the slashes are typed too.
    QTest::keyClicks(edit, edit->inputMask().isEmpty() ? text : QString(text).remove(u'/'));
}

void tst_flancamentos::choose(flancamentos *w, const QString &description)
{
    auto *list = w->findChild<QComboBox *>(u"DS_CONTA"_s);
    QVERIFY(list);
    list->setCurrentIndex(list->findText(description));
}

void tst_flancamentos::click(flancamentos *w, const QString &button)
{
    auto *found = w->findChild<QPushButton *>(button);
    QVERIFY2(found, qPrintable(button));
    QTest::mouseClick(found, Qt::LeftButton);
}

QString tst_flancamentos::label(flancamentos *w, const QString &name)
{
    auto *found = w->findChild<QLabel *>(name);
    return found ? found->text() : u"<none>"_s;
}

QString tst_flancamentos::totals(flancamentos *w)
{
    return label(w, u"creditos"_s) + u" "_s + label(w, u"debitos"_s) + u" "_s +
           label(w, u"saldo"_s);
}

// The entry fields as "code|date|description|amount|remark".
QString tst_flancamentos::entryOnShow(flancamentos *w)
{
    return QStringList{label(w, u"cd_lancamento"_s),
                       w->findChild<QLineEdit *>(u"dt_lancamento"_s)->text(),
                       w->findChild<QComboBox *>(u"DS_CONTA"_s)->currentText(),
                       w->findChild<QLineEdit *>(u"VL_LANCAMENTO"_s)->text(),
                       w->findChild<QLineEdit *>(u"DS_complemento"_s)->text()}
        .join(u'|');
}

void tst_flancamentos::postThroughWindow(flancamentos *w, const QString &date,
                                         const QString &description, const QString &amount,
                                         const QString &remark)
{
    type(w, u"dt_lancamento"_s, date);
    choose(w, description);
    type(w, u"VL_LANCAMENTO"_s, amount);
    type(w, u"DS_complemento"_s, remark);
    click(w, u"CONFIRMA"_s);
}

void tst_flancamentos::opensWithEveryControlAndNothingPicked()
{
    auto w = open();
    QCOMPARE(w->objectName(), u"flancamentos"_s);
    QCOMPARE(w->windowTitle(), Caption);
    const QList<std::pair<QString, QString>> buttons = {{u"CONFIRMA"_s, u"&Incluir"_s},
                                                        {u"alterar"_s, u"&Alterar"_s},
                                                        {u"EXCLUIR"_s, u"&Excluir"_s},
                                                        {u"Command2"_s, u"&Limpa Campos"_s},
                                                        {u"Command1"_s, u"&Sair"_s}};
    for (const auto &[name, caption] : buttons) {
        auto *button = w->findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->text(), caption);
    }
    QStringList captions;
    for (const QLabel *l : w->findChildren<QLabel *>())
        captions << l->text();
    for (const QString &caption : {u"Histórico.:"_s, u"Obs.:"_s, u"Valor.:"_s, u"Data.:"_s,
                                   u"Créditos"_s, u"Débitos"_s, u"Saldo"_s})
        QVERIFY2(captions.contains(caption), qPrintable(caption));

    auto *accounts = w->findChild<QListWidget *>(u"cd_conta"_s);
    QCOMPARE(accounts->count(), 3);
    QCOMPARE(accounts->item(0)->text(), u"Banco"_s); // by name
    QCOMPARE(accounts->item(0)->data(Qt::UserRole).toString(), u"002"_s);
    QCOMPARE(w->account(), QString());
    QCOMPARE(totals(w.get()), u"  "_s);
    auto *descriptions = w->findChild<QComboBox *>(u"DS_CONTA"_s);
    QCOMPARE(descriptions->count(), 2);
    QCOMPARE(descriptions->itemText(0), u"Compra"_s);
    QCOMPARE(descriptions->itemData(0).toString(), Debit);
    QCOMPARE(descriptions->currentIndex(), -1);
    QCOMPARE(w->findChild<QLineEdit *>(u"VL_LANCAMENTO"_s)->text(), u"0"_s);
    auto *date = w->findChild<QLineEdit *>(u"dt_lancamento"_s);
    QCOMPARE(date->inputMask(), u"99/99/9999"_s);
    QCOMPARE(date->text(), u"//"_s);
    QVERIFY(w->findChild<QLineEdit *>(u"DS_complemento"_s));
    QCOMPARE(label(w.get(), u"cd_lancamento"_s), QString());

    DataGrid *grid = w->findChild<DataGrid *>(u"Grid1"_s);
    QVERIFY(grid);
    QCOMPARE(grid->rowCount(), 0);
    QStringList headers;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        headers << grid->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{u"Data"_s, u"Histórico"_s, u"Valor"_s, u"Saldo"_s, u"Status"_s,
                                   u"Lancamento"_s, u"Situação"_s}));
    QVERIFY(w->findChild<DataGrid *>(u"Grid2"_s));
}

void tst_flancamentos::emptyAccountShowsZeroTotals()
{
    auto w = open();
    pick(w.get(), u"Caixa"_s);
    QCOMPARE(w->account(), u"001"_s);
    QCOMPARE(totals(w.get()), u"0,00 0,00 0,00"_s);
    QCOMPARE(w->grid()->rowCount(), 0);
}

void tst_flancamentos::keyboardMovesInTheAccountListPickTheAccount_data()
{
    // The list shows the accounts by name: Banco (002), Caixa (001), Grande (003).
    QTest::addColumn<QString>("start"); // clicked first; empty: the list is tabbed into
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("expectedTotals");
    QTest::newRow("down") << u"Banco"_s << int(Qt::Key_Down) << u"001"_s << u"20,00 5,00 15,00"_s;
    QTest::newRow("up") << u"Grande"_s << int(Qt::Key_Up) << u"001"_s << u"20,00 5,00 15,00"_s;
    QTest::newRow("end") << u"Banco"_s << int(Qt::Key_End) << u"003"_s << u"300,00 0,00 300,00"_s;
    QTest::newRow("home") << u"Grande"_s << int(Qt::Key_Home) << u"002"_s << u"10,00 0,00 10,00"_s;
    QTest::newRow("page down") << u"Banco"_s << int(Qt::Key_PageDown) << u"003"_s
                               << u"300,00 0,00 300,00"_s;
    QTest::newRow("page up") << u"Grande"_s << int(Qt::Key_PageUp) << u"002"_s
                             << u"10,00 0,00 10,00"_s;
    QTest::newRow("letter") << u"Banco"_s << int(Qt::Key_G) << u"003"_s << u"300,00 0,00 300,00"_s;
    QTest::newRow("first key after tabbing in")
        << QString() << int(Qt::Key_Down) << u"002"_s << u"10,00 0,00 10,00"_s;
}

// Every move of the list's current account loads that account, so "&Incluir" posts to the
// account the list shows, never to one picked before.
void tst_flancamentos::keyboardMovesInTheAccountListPickTheAccount()
{
    QFETCH(QString, start);
    QFETCH(int, key);
    QFETCH(QString, expected);
    QFETCH(QString, expectedTotals);
    seedThreeAccounts();
    auto w = open();
    QApplication::setActiveWindow(w.get());
    auto *list = w->findChild<QListWidget *>(u"cd_conta"_s);
    if (start.isEmpty()) {
        // Focus alone picks nothing: the operator has not chosen an account yet.
        list->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), list);
        QCOMPARE(w->account(), QString());
        QCOMPARE(w->grid()->rowCount(), 0);
    } else {
        pick(w.get(), start);
        QVERIFY(w->account() != expected); // or the key's effect could not be told apart
        list->setFocus();
    }
    QSignalSpy rereads(w->grid()->model(), &QAbstractItemModel::modelReset);
    const char letter = key == Qt::Key_G ? 'g' : 0;
    if (letter)
        QTest::keyClick(list, letter);
    else
        QTest::keyClick(list, Qt::Key(key));

    QCOMPARE(list->currentItem()->data(Qt::UserRole).toString(), expected);
    QCOMPARE(w->account(), expected);
    QCOMPARE(rereads.size(), 1);
    QCOMPARE(totals(w.get()), expectedTotals);
    QCOMPARE(gridCodes(w.get()), codesOf(expected));

    postThroughWindow(w.get(), u"05/03/2024"_s, u"Venda"_s, u"7"_s, u"pelo teclado"_s);
    QSqlQuery query(tessal::data::openDatabase(m_path));
    QVERIFY(
        query.exec(u"SELECT cd_conta FROM lancamentos WHERE ds_complemento = 'pelo teclado'"_s));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), expected);
    QVERIFY(!query.next());
    QCOMPARE(gridCodes(w.get()), codesOf(expected));
}

// A click that moves to another account reads it once, not once for the move and once more for
// the click; a click on the account already picked reads it again; Enter only moves on.
void tst_flancamentos::eachPickReadsTheAccountOnce()
{
    seedThreeAccounts();
    auto w = open();
    QApplication::setActiveWindow(w.get());
    QSignalSpy rereads(w->grid()->model(), &QAbstractItemModel::modelReset);
    pick(w.get(), u"Caixa"_s);
    QCOMPARE(w->account(), u"001"_s);
    QCOMPARE(rereads.size(), 1);
    pick(w.get(), u"Grande"_s);
    QCOMPARE(w->account(), u"003"_s);
    QCOMPARE(rereads.size(), 2);
    QCOMPARE(totals(w.get()), u"300,00 0,00 300,00"_s);

    // Entries stored behind the window's back show when the picked account is clicked again.
    tessal::ledger::Ledger(m_path).post({u"003"_s, Debit, u"fora"_s, u"50"_s, u"06/03/2024"_s});
    pick(w.get(), u"Grande"_s);
    QCOMPARE(rereads.size(), 3);
    QCOMPARE(totals(w.get()), u"300,00 50,00 250,00"_s);
    QCOMPARE(gridCodes(w.get()), codesOf(u"003"_s));

    auto *list = w->findChild<QListWidget *>(u"cd_conta"_s);
    list->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), list);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), w->findChild<QLineEdit *>(u"dt_lancamento"_s));
    QCOMPARE(rereads.size(), 3);
    QCOMPARE(w->account(), u"003"_s);
}

// Picking an account lists its entries and shows none of them; an entry is shown only when the
// operator chooses its row, by the mouse or the keyboard.
void tst_flancamentos::onlyChoosingAGridRowFillsTheEntry()
{
    seedThreeAccounts();
    auto w = open();
    QApplication::setActiveWindow(w.get());
    const QString nothing = u"|//||0|"_s;
    QCOMPARE(entryOnShow(w.get()), nothing);
    pick(w.get(), u"Caixa"_s);
    QCOMPARE(w->grid()->rowCount(), 2);
    QCOMPARE(entryOnShow(w.get()), nothing);
    QCOMPARE(w->grid()->currentRow(), -1);

    // Tabbing from the remark on to the grid passes over the buttons and chooses nothing.
    QTableView *view = w->grid()->view();
    auto *remark = w->findChild<QLineEdit *>(u"DS_complemento"_s);
    remark->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), remark);
    for (int i = 0; i < 12 && QApplication::focusWidget() != view; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), view);
    QCOMPARE(entryOnShow(w.get()), nothing);

    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(entryOnShow(w.get()), u"0000000002|02/03/2024|Venda|20|caixa"_s);
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(entryOnShow(w.get()), u"0000000003|03/03/2024|Compra|5|caixa"_s);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(w->grid()->model()->index(0, 1)).center());
    QCOMPARE(entryOnShow(w.get()), u"0000000002|02/03/2024|Venda|20|caixa"_s);

    // Picking another account by the keyboard re-reads the grid without choosing a row of it.
    click(w.get(), u"Command2"_s);
    auto *list = w->findChild<QListWidget *>(u"cd_conta"_s);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(w->account(), u"003"_s);
    QCOMPARE(w->grid()->currentRow(), -1);
    QCOMPARE(entryOnShow(w.get()), nothing);
}

// An older entry must not lend its fields to a new one the operator typed only in part: with the
// date left empty the post is refused; with the date typed the remark stays empty.
void tst_flancamentos::partlyTypedPostTakesNothingFromAnOlderEntry()
{
    tessal::ledger::Ledger(m_path).post(
        {u"001"_s, Credit, u"entrada antiga"_s, u"100"_s, u"01/01/2020"_s});
    auto w = open();
    pick(w.get(), u"Caixa"_s);
    const QStringList before = snapshot();
    choose(w.get(), u"Compra"_s);
    type(w.get(), u"VL_LANCAMENTO"_s, u"15"_s);
    m_t->dialogs.expectMessage(u"dt_lancamento"_s);
    click(w.get(), u"CONFIRMA"_s);
    // Joined, so that a wrongly stored row shows in the failure.
    QCOMPARE(snapshot().join(u" / "_s), before.join(u" / "_s));
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);

    type(w.get(), u"dt_lancamento"_s, u"10/03/2024"_s);
    click(w.get(), u"CONFIRMA"_s);
    QSqlQuery query(tessal::data::openDatabase(m_path));
    QVERIFY(query.exec(u"SELECT cd_conta, cd_historico, ds_complemento, vl_lancamento, "
                       "dt_lancamento FROM lancamentos WHERE cd_lancamento = '0000000002'"_s));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), u"001"_s);
    QCOMPARE(query.value(1).toString(), Debit);
    QCOMPARE(query.value(2).toString(), QString());
    QCOMPARE(query.value(3).toDouble(), 15.0);
    QCOMPARE(query.value(4).toString(), u"2024-03-10"_s);
    QCOMPARE(totals(w.get()), u"100,00 15,00 85,00"_s);
}

void tst_flancamentos::firstEntryIsPostedAndShown()
{
    auto w = open();
    pick(w.get(), u"Caixa"_s);
    QSignalSpy rereads(w->grid()->model(), &QAbstractItemModel::modelReset);
    m_t->context->session().setCurrentProcedure(QString());
    postThroughWindow(w.get(), u"01/02/2007"_s, u"Venda"_s, u"50"_s, u"primeira venda"_s);

    QCOMPARE(snapshot(),
             (QStringList{u"0000000001|001|00001|primeira venda|50|2007-02-01|C|50|001"_s}));
    QCOMPARE(totals(w.get()), u"50,00 0,00 50,00"_s);
    QCOMPARE(m_t->context->session().currentProcedure(), Caption);
    QCOMPARE(rereads.size(), 1);

    DataGrid *grid = w->grid();
    QCOMPARE(grid->rowCount(), 1);
    QueryWindowModel *model = grid->model();
    QCOMPARE(model->data(model->index(0, 0)).toString(), u"01/02/2007"_s);
    QCOMPARE(model->data(model->index(0, 1)).toString(), u"Venda"_s);
    QCOMPARE(model->data(model->index(0, 3)).toString(), u"50,00"_s);
    QCOMPARE(model->data(model->index(0, 6)).toString(), u"Normal"_s);
    QCOMPARE(model->data(model->index(0, 0), QueryWindowModel::PreviewRole).toString(),
             u"primeira venda"_s);
    QCOMPARE(model->text(0, flancamentos::EntryCode - 1), u"0000000001"_s);
    QCOMPARE(grid->currentRow(), -1); // listed, not chosen

    // The fields are cleared for the next entry, with the focus on the description.
    QCOMPARE(label(w.get(), u"cd_lancamento"_s), QString());
    QCOMPARE(w->findChild<QLineEdit *>(u"VL_LANCAMENTO"_s)->text(), u"0"_s);
    QCOMPARE(w->findChild<QLineEdit *>(u"dt_lancamento"_s)->text(), u"//"_s);
    QCOMPARE(w->findChild<QLineEdit *>(u"DS_complemento"_s)->text(), QString());
    QCOMPARE(w->findChild<QComboBox *>(u"DS_CONTA"_s)->currentIndex(), -1);
    QCOMPARE(QApplication::focusWidget(), w->findChild<QComboBox *>(u"DS_CONTA"_s));

    // Cents are exact: 0,10 + 0,20 shows 0,30 in the grid and in the totals.
    postThroughWindow(w.get(), u"02/02/2007"_s, u"Venda"_s, u"0,10"_s);
    postThroughWindow(w.get(), u"03/02/2007"_s, u"Venda"_s, u"0,20"_s);
    QCOMPARE(totals(w.get()), u"50,30 0,00 50,30"_s);
    QCOMPARE(model->data(model->index(2, 3)).toString(), u"50,30"_s);
}

// The largest amount the ledger accepts comes into the field in full, and an alteration of the
// remark alone stores it back to the cent (it used to show "12345678901234,6" and store ,60).
void tst_flancamentos::largestAmountShownInFullAndAlteredExactly()
{
    auto w = open();
    pick(w.get(), u"Caixa"_s);
    postThroughWindow(w.get(), u"01/06/2024"_s, u"Venda"_s, u"999.999.999.999,99"_s, u"a"_s);
    QTableView *view = w->grid()->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(w->grid()->model()->index(0, 1)).center());
    QCOMPARE(w->findChild<QLineEdit *>(u"VL_LANCAMENTO"_s)->text(), u"999999999999,99"_s);
    type(w.get(), u"DS_complemento"_s, u"outra"_s);
    click(w.get(), u"alterar"_s);
    QSqlQuery query(tessal::data::openDatabase(m_path));
    QVERIFY(query.exec(u"SELECT CAST(ROUND(vl_lancamento * 100) AS INTEGER), ds_complemento, "
                       "vl_saldo FROM lancamentos"_s));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toLongLong(), 99999999999999LL);
    QCOMPARE(query.value(1).toString(), u"outra"_s);
    QCOMPARE(query.value(2).toDouble(), 999999999999.99);
    QCOMPARE(totals(w.get()), u"999999999999,99 0,00 999999999999,99"_s);

    // Past twelve digits the amount is refused with the error box, and nothing is stored.
    const QStringList before = snapshot();
    m_t->dialogs.expectMessage(u"até 12 dígitos"_s);
    postThroughWindow(w.get(), u"02/06/2024"_s, u"Venda"_s, u"1000000000000"_s);
    QCOMPARE(snapshot(), before);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_flancamentos::rowChoiceFillsTheFieldsAndAlterRebuilds()
{
    auto w = open();
    pick(w.get(), u"Caixa"_s);
    postThroughWindow(w.get(), u"01/06/2024"_s, u"Venda"_s, u"100"_s, u"a"_s);
    postThroughWindow(w.get(), u"02/06/2024"_s, u"Compra"_s, u"30"_s, u"b"_s);
    postThroughWindow(w.get(), u"03/06/2024"_s, u"Venda"_s, u"20"_s, u"c"_s);
    QCOMPARE(balances(u"001"_s), (QList<double>{100, 70, 90}));

    // A click on the second row shows that entry.
    QTableView *view = w->grid()->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(w->grid()->model()->index(1, 1)).center());
    QCOMPARE(label(w.get(), u"cd_lancamento"_s), u"0000000002"_s);
    QCOMPARE(w->findChild<QLineEdit *>(u"dt_lancamento"_s)->text(), u"02/06/2024"_s);
    QCOMPARE(w->findChild<QComboBox *>(u"DS_CONTA"_s)->currentText(), u"Compra"_s);
    QCOMPARE(w->findChild<QLineEdit *>(u"VL_LANCAMENTO"_s)->text(), u"30"_s);
    QCOMPARE(w->findChild<QLineEdit *>(u"DS_complemento"_s)->text(), u"b"_s);

    // Back to the first row; its amount becomes 150.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(w->grid()->model()->index(0, 1)).center());
    QCOMPARE(label(w.get(), u"cd_lancamento"_s), u"0000000001"_s);
    type(w.get(), u"VL_LANCAMENTO"_s, u"150"_s);
    QSignalSpy rereads(w->grid()->model(), &QAbstractItemModel::modelReset);
    click(w.get(), u"alterar"_s);
    QCOMPARE(rereads.size(), 1);
    QCOMPARE(balances(u"001"_s), (QList<double>{150, 120, 140}));
    QCOMPARE(totals(w.get()), u"170,00 30,00 140,00"_s);
    QCOMPARE(label(w.get(), u"cd_lancamento"_s), QString());

    // After "&Limpa Campos" the grid row is still current, but there is no entry on show: the
    // alteration is refused rather than writing empty fields onto that row.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(w->grid()->model()->index(1, 1)).center());
    QCOMPARE(label(w.get(), u"cd_lancamento"_s), u"0000000002"_s);
    const QStringList before = snapshot();
    click(w.get(), u"Command2"_s);
    QCOMPARE(w->grid()->currentRow(), 1);
    m_t->dialogs.expectMessage(u"Nenhum lançamento está selecionado"_s);
    click(w.get(), u"alterar"_s);
    QCOMPARE(snapshot(), before);
}

void tst_flancamentos::deleteAsksAndRebuildsEitherWay_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QList<double>>("expected");
    QTest::addColumn<QString>("expectedTotals");
    QTest::newRow("yes") << true << QList<double>{100, 120} << u"120,00 0,00 120,00"_s;
    QTest::newRow("no") << false << QList<double>{100, 70, 90} << u"120,00 30,00 90,00"_s;
}

void tst_flancamentos::deleteAsksAndRebuildsEitherWay()
{
    QFETCH(bool, yes);
    QFETCH(QList<double>, expected);
    QFETCH(QString, expectedTotals);
    auto w = open();
    pick(w.get(), u"Caixa"_s);
    postThroughWindow(w.get(), u"01/06/2024"_s, u"Venda"_s, u"100"_s);
    postThroughWindow(w.get(), u"02/06/2024"_s, u"Compra"_s, u"30"_s);
    postThroughWindow(w.get(), u"03/06/2024"_s, u"Venda"_s, u"20"_s);
    // Wrong balances stored behind the window's back: a declined deletion must still rewrite
    // them all, or this case could pass with no rebuild at all.
    if (!yes)
        run(u"UPDATE lancamentos SET vl_saldo = -1"_s);

    w->grid()->setCurrentRow(1);
    m_t->dialogs.answerYesNo(yes);
    click(w.get(), u"EXCLUIR"_s);
    QCOMPARE(m_t->dialogs.asked().size(), 1);
    QCOMPARE(m_t->dialogs.asked().first().text, u"Deseja Realmente excluir esse registro? :30"_s);
    QCOMPARE(m_t->dialogs.asked().first().title, u"EXCLUSÃO"_s);
    QCOMPARE(balances(u"001"_s), expected);
    QCOMPARE(totals(w.get()), expectedTotals);
    QCOMPARE(w->grid()->rowCount(), expected.size());
    QCOMPARE(w->findChild<QLineEdit *>(u"VL_LANCAMENTO"_s)->text(), u"0"_s);
    QCOMPARE(label(w.get(), u"cd_lancamento"_s), QString());
    QVERIFY(tessal::ledger::accountsWithWrongBalances(m_path).isEmpty());
}

// After an account pick and after a posting no row is current: "&Excluir" has no entry to
// offer and must not offer one the operator never chose.
void tst_flancamentos::deleteWithNoRowChosenAsksNothing()
{
    seedThreeAccounts();
    auto w = open();
    pick(w.get(), u"Caixa"_s);
    click(w.get(), u"EXCLUIR"_s);
    postThroughWindow(w.get(), u"05/03/2024"_s, u"Venda"_s, u"1"_s);
    const QStringList before = snapshot();
    click(w.get(), u"EXCLUIR"_s);
    QCOMPARE(snapshot(), before);
    QCOMPARE(codesOf(u"001"_s).size(), 3);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs); // no question nor box: none is scripted
}

void tst_flancamentos::refusalsShowTheErrorBoxAndStoreNothing_data()
{
    QTest::addColumn<bool>("pickAccount");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("message");
    QTest::newRow("no account") << false << u"Venda"_s << u"10"_s << u"01/02/2007"_s
                                << u"Escolha uma conta"_s;
    QTest::newRow("no description")
        << true << QString() << u"10"_s << u"01/02/2007"_s << u"Escolha o histórico"_s;
    QTest::newRow("not a number") << true << u"Venda"_s << u"dez"_s << u"01/02/2007"_s
                                  << u"VL_LANCAMENTO"_s;
    QTest::newRow("three decimals")
        << true << u"Venda"_s << u"1,234"_s << u"01/02/2007"_s << u"VL_LANCAMENTO"_s;
    QTest::newRow("no such day") << true << u"Venda"_s << u"10"_s << u"31/02/2026"_s
                                 << u"31/02/2026"_s;
    QTest::newRow("date half typed")
        << true << u"Venda"_s << u"10"_s << u"01/02"_s << u"dt_lancamento"_s;
}

void tst_flancamentos::refusalsShowTheErrorBoxAndStoreNothing()
{
    QFETCH(bool, pickAccount);
    QFETCH(QString, description);
    QFETCH(QString, amount);
    QFETCH(QString, date);
    QFETCH(QString, message);
    auto w = open();
    if (pickAccount) {
        pick(w.get(), u"Banco"_s);
        postThroughWindow(w.get(), u"01/01/2020"_s, u"Venda"_s, u"5"_s);
        QCOMPARE(snapshot().size(), 1);
    }
    const QStringList before = snapshot();

    m_t->dialogs.expectMessage(u"Formulário: flancamentos"_s);
    type(w.get(), u"dt_lancamento"_s, date);
    choose(w.get(), description);
    type(w.get(), u"VL_LANCAMENTO"_s, amount);
    click(w.get(), u"CONFIRMA"_s);
    QCOMPARE(m_t->dialogs.asked().size(), 1);
    const QString box = m_t->dialogs.asked().last().text;
    QVERIFY2(box.contains(message), qPrintable(box));
    QVERIFY2(box.contains(u"Procedure: "_s + Caption), qPrintable(box));
    QCOMPARE(snapshot(), before);
    // The typed fields stay for the operator to correct.
    QCOMPARE(w->findChild<QLineEdit *>(u"VL_LANCAMENTO"_s)->text(), amount);
}

void tst_flancamentos::debitsAndCreditsLookDifferent()
{
    auto w = open();
    pick(w.get(), u"Caixa"_s);
    postThroughWindow(w.get(), u"01/06/2024"_s, u"Compra"_s, u"30"_s);
    postThroughWindow(w.get(), u"01/06/2024"_s, u"Venda"_s, u"100"_s);
    QCOMPARE(balances(u"001"_s), (QList<double>{-30, 70}));

    DataGrid *grid = w->grid();
    QCOMPARE(grid->rowAttribute(0), u"D"_s);
    QCOMPARE(grid->rowAttribute(1), u"C"_s);
    QueryWindowModel *model = grid->model();
    const QVariant debit = model->data(model->index(0, 1), Qt::ForegroundRole);
    const QVariant credit = model->data(model->index(1, 1), Qt::ForegroundRole);
    QVERIFY(debit.isValid() && credit.isValid());
    QVERIFY(debit.value<QColor>() != credit.value<QColor>());
    // The look follows the stored status, not the description's type of today.
    run(u"UPDATE historicos SET cd_tipo = 'C' WHERE cd_historico = '00002'"_s);
    pick(w.get(), u"Caixa"_s);
    QCOMPARE(grid->rowAttribute(0), u"D"_s);
    QCOMPARE(totals(w.get()), u"100,00 30,00 70,00"_s);

    // Debits larger than the credits show a leading minus.
    run(u"UPDATE historicos SET cd_tipo = 'D' WHERE cd_historico = '00002'"_s);
    pick(w.get(), u"Banco"_s);
    postThroughWindow(w.get(), u"02/06/2024"_s, u"Venda"_s, u"10"_s);
    postThroughWindow(w.get(), u"02/06/2024"_s, u"Compra"_s, u"30"_s);
    QCOMPARE(totals(w.get()), u"10,00 30,00 -20,00"_s);
    QCOMPARE(grid->model()->data(grid->model()->index(1, 3)).toString(), u"-20,00"_s);
}

void tst_flancamentos::settlementPickStoresTheType()
{
    auto w = open();
    pick(w.get(), u"Caixa"_s);
    postThroughWindow(w.get(), u"01/06/2024"_s, u"Venda"_s, u"100"_s);
    postThroughWindow(w.get(), u"02/06/2024"_s, u"Venda"_s, u"5"_s);
    DataGrid *grid = w->grid();
    QueryWindowModel *model = grid->model();
    const QModelIndex cell = model->index(1, flancamentos::Settlement - 1);
    QVERIFY(model->flags(cell) & Qt::ItemIsEditable);
    grid->view()->edit(cell);
    auto *list = grid->view()->findChild<QComboBox *>(u"dropDown"_s);
    QVERIFY(list);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(0), u"Normal"_s);
    QCOMPARE(list->currentText(), u"Normal"_s);
    const QStringList before = snapshot();
    list->setCurrentIndex(1);
    emit list->activated(1);
    QTRY_COMPARE(model->data(model->index(1, flancamentos::Settlement - 1)).toString(), u"Pago"_s);
    QStringList expected = before;
    expected[1] = expected[1].chopped(3) + u"002"_s;
    QCOMPARE(snapshot(), expected);
    QCOMPARE(grid->currentRow(), 1);
}

void tst_flancamentos::largeAccountIsReadAWindowAtATime()
{
    // Thousands of entries, stored directly and balanced once; several hundred per window edge.
    {
        QSqlDatabase db = tessal::data::openDatabase(m_path);
        QVERIFY(db.transaction());
        QSqlQuery insert(db);
        QVERIFY(insert.prepare(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, "
                               "ds_complemento, vl_lancamento, dt_lancamento, cd_status, cd_baixa) "
                               "VALUES (?, '003', ?, ?, ?, ?, ?, '001')"_s));
        const QDate start(2020, 1, 1);
        for (int i = 1; i <= 6000; ++i) {
            const bool credit = i % 3 != 0;
            insert.addBindValue(u"%1"_s.arg(i, 10, 10, QChar(u'0')));
            insert.addBindValue(credit ? Credit : Debit);
            insert.addBindValue(u"nota %1"_s.arg(i));
            insert.addBindValue(credit ? 2.0 : 1.0);
            insert.addBindValue(tessal::data::toStoredDate(start.addDays(i / 4)));
            insert.addBindValue(credit ? u"C"_s : u"D"_s);
            QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
        }
        QVERIFY(db.commit());
        tessal::ledger::Ledger(m_path).rebuild(u"003"_s);
    }
    auto w = open();
    pick(w.get(), u"Grande"_s);
    DataGrid *grid = w->grid();
    QueryWindowModel *model = grid->model();
    QCOMPARE(grid->rowCount(), 6000);
    QCOMPARE(totals(w.get()), u"8000,00 2000,00 6000,00"_s);
    QVERIFY2(model->rowsHeld() <= 2 * QueryWindowModel::DefaultWindowRows,
             qPrintable(QString::number(model->rowsHeld())));

    // Scrolling down page by page reads the next windows by key; the rows held stay bounded.
    QTableView *view = grid->view();
    QScrollBar *bar = view->verticalScrollBar();
    QVERIFY2(bar->maximum() > 0, "the view has not laid the rows out: nothing would scroll");
    for (int i = 0; i < 2000 && bar->value() < bar->maximum(); ++i) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCoreApplication::processEvents();
    }
    QCOMPARE(bar->value(), bar->maximum());
    const QModelIndex last = view->indexAt(view->viewport()->rect().bottomLeft() - QPoint(0, 4));
    QVERIFY(last.isValid());
    QVERIFY2(last.row() > 5900, qPrintable(QString::number(last.row())));
    QCOMPARE(model->data(model->index(5999, 3)).toString(), u"6.000,00"_s);
    QCOMPARE(model->data(model->index(5999, 5)).toString(), u"0000006000"_s);
    QVERIFY(model->windowsFetchedByKey() > 10);
    QVERIFY2(model->rowsHeld() <=
                 QueryWindowModel::DefaultCachedWindows * QueryWindowModel::DefaultWindowRows,
             qPrintable(QString::number(model->rowsHeld())));
}

void tst_flancamentos::escapeClosesAndEnterMovesOn()
{
    auto w = open();
    QApplication::setActiveWindow(w.get());
    auto *date = w->findChild<QLineEdit *>(u"dt_lancamento"_s);
    auto *description = w->findChild<QComboBox *>(u"DS_CONTA"_s);
    auto *amount = w->findChild<QLineEdit *>(u"VL_LANCAMENTO"_s);
    auto *remark = w->findChild<QLineEdit *>(u"DS_complemento"_s);
    date->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), date);
    QTest::keyClick(date, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), description);
    QTest::keyClick(description, Qt::Key_Enter);
    QCOMPARE(QApplication::focusWidget(), amount);
    QTest::keyClick(amount, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), remark);
    QVERIFY(snapshot().isEmpty()); // Enter never posts

    QVERIFY(w->isVisible());
    QTest::keyClick(remark, Qt::Key_Escape);
    QVERIFY(!w->isVisible());
}

// Writes flancamentos.png to TESSAL_SCREENSHOT_DIR when that is set: the window on the demo
// data, with the demo's first account picked and an entry on show.
void tst_flancamentos::screenshotOnDemoData()
{
    const QString target = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (target.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    const QString demoDir = m_t->dir.filePath(u"demo"_s);
    tessal::data::DemoOptions options;
    options.lastDate = QDate(2026, 12, 7);
    tessal::data::generateDemoData(demoDir, options);
    m_t->context->session().setDataDirectory(demoDir);
    auto w = open();
    auto *accounts = w->findChild<QListWidget *>(u"cd_conta"_s);
    QVERIFY(accounts->count() > 0);
    QListWidgetItem *largest = accounts->item(0);
    for (int i = 0; i < accounts->count(); ++i)
        if (accounts->item(i)->data(Qt::UserRole).toString() == u"001"_s)
            largest = accounts->item(i);
    QTest::mouseClick(accounts->viewport(), Qt::LeftButton, {},
                      accounts->visualItemRect(largest).center());
    QVERIFY(w->grid()->rowCount() > 10);
    QTableView *view = w->grid()->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(w->grid()->model()->index(3, 1)).center());
    QVERIFY(!w->findChild<QLabel *>(u"cd_lancamento"_s)->text().isEmpty());
    QCoreApplication::processEvents();
    QVERIFY(w->grab().save(QDir(target).filePath(u"flancamentos.png"_s)));
    tessal::data::closeDatabase(tessal::data::cashDatabasePath(demoDir));
}

QTEST_MAIN(tst_flancamentos)
#include "tst_flancamentos.moc"
