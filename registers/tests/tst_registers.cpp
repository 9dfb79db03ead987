#include "controls/datagrid.h"
#include "core/config.h"
#include "core/passwordhash.h"
#include "data/database.h"
#include "registers/registers.h"
#include "testsupport/otherconnection.h"
#include "testsupport/scratchdata.h"
#include "testsupport/testcontext.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;
using tessal::RegisterWindow;
using tessal::test::execElsewhere;
using tessal::test::ScriptedDialogs;

namespace {

struct Member
{
    tessal::RegisterFactory factory;
    QString table;
    QString codeField;
    QString nameField;
};

Member member(const QString &name)
{
    if (name == u"fcontas"_s)
        return {&tessal::fcontas, u"contas"_s, u"cd_conta"_s, u"ds_conta"_s};
    if (name == u"fgrupos"_s)
        return {&tessal::fgrupos, u"historicos"_s, u"cd_historico"_s, u"ds_historico"_s};
    if (name == u"fusuarios"_s)
        return {&tessal::fusuarios, u"usuarios"_s, u"cd_usuario"_s, u"usuario"_s};
    return {&tessal::fbaixas, u"baixas"_s, u"cd_baixa"_s, u"ds_baixa"_s};
}

Member memberOfTable(const QString &table)
{
    for (const QString &name : {u"fcontas"_s, u"fgrupos"_s, u"fusuarios"_s, u"fbaixas"_s})
        if (member(name).table == table)
            return member(name);
    return {};
}

} // namespace

class tst_Registers : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void includeOnEmptyTableTakesTheFirstCode_data() { members(); }
    void includeOnEmptyTableTakesTheFirstCode();
    void includeWithEmptyNameStoresEmptyName_data() { members(); }
    void includePastTheCodeWidthIsRefused_data() { members(); }
    void includePastTheCodeWidthIsRefused();
    void includeWithEmptyNameStoresEmptyName();
    void onlyChoosingAGridRowFillsTheFields_data() { members(); }
    void onlyChoosingAGridRowFillsTheFields();
    void alterChangesTheRecordOnShow_data() { members(); }
    void alterChangesTheRecordOnShow();
    void alterAfterClearingChangesNothing_data() { members(); }
    void alterAfterClearingChangesNothing();
    void deleteAnsweredNoLeavesTheTable_data() { members(); }
    void deleteAnsweredNoLeavesTheTable();
    void deleteTakesTheGridRowNotTheFields_data() { members(); }
    void deleteTakesTheGridRowNotTheFields();
    void deleteWithNoRowChosenAsksNothing_data() { members(); }
    void deleteWithNoRowChosenAsksNothing();
    void escapeCloses();
    void failingStepsAreReportedAndTheHandlerGoesOn();

    void entryTypeIsStoredAsLetterAndStaysChosen();
    void entryTypeIsShownFromTheStoredLetter();
    void passwordsAreHashedAndNeverShown();
    void enterMovesToTheNextFieldOnlyInTheUsersRegister();
    void settlementTypesLogTheirWork();

    void includeTakesTheNextCodeWhenAnotherWorkstationTookIt_data() { members(); }
    void includeTakesTheNextCodeWhenAnotherWorkstationTookIt();
    void includeWithNoCodeLeftAfterAConflictStoresNothing();
    void includeRefusedForAnotherRepeatedValueStoresNothing();
    void otherWorkstationsChangesShowOnTheNextReread();

private:
    void members();
    std::unique_ptr<RegisterWindow> open(const QString &name);
    QString cash() const { return m_source->cashPath(); }
    void seed(const QString &table, const QList<std::pair<QString, QString>> &rows);
    QStringList rows(const QString &table) const;
    QStringList logLines() const;
    static void type(RegisterWindow *window, const QString &control, const QString &text);
    static void click(RegisterWindow *window, const QString &button);
    static QString fieldText(RegisterWindow *window, const QString &control);
    static void selectGridRow(RegisterWindow *window, int row);

    std::unique_ptr<tessal::test::TestContext> m_t;
    std::unique_ptr<tessal::test::ScratchDataSource> m_source;
};

void tst_Registers::members()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("firstCode");
    QTest::addColumn<QString>("secondCode");
    QTest::newRow("fcontas") << u"fcontas"_s << u"001"_s << u"002"_s;
    QTest::newRow("fgrupos") << u"fgrupos"_s << u"00001"_s << u"00002"_s;
    QTest::newRow("fusuarios") << u"fusuarios"_s << u"001"_s << u"002"_s;
    QTest::newRow("fbaixas") << u"fbaixas"_s << u"001"_s << u"002"_s;
}

void tst_Registers::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    m_source = std::make_unique<tessal::test::ScratchDataSource>();
    TESSAL_REQUIRE_DATA_SOURCE(*m_source);
    m_t->context->session().setDataDirectory(m_source->dataDirectory());
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
    // Start from empty tables: the cash database comes with settlement type "001".
    QSqlQuery query(tessal::data::openDatabase(cash()));
    for (const QString &table : {u"contas"_s, u"historicos"_s, u"usuarios"_s, u"baixas"_s})
        QVERIFY(query.exec(u"DELETE FROM "_s + table));
}

void tst_Registers::cleanup()
{
    m_source.reset();
    m_t.reset();
}

std::unique_ptr<RegisterWindow> tst_Registers::open(const QString &name)
{
    std::unique_ptr<RegisterWindow> window(member(name).factory(*m_t->context, nullptr));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("register window not exposed");
    return window;
}

void tst_Registers::seed(const QString &table, const QList<std::pair<QString, QString>> &rows)
{
    const Member m = member(table == u"contas"_s       ? u"fcontas"_s
                            : table == u"historicos"_s ? u"fgrupos"_s
                            : table == u"usuarios"_s   ? u"fusuarios"_s
                                                       : u"fbaixas"_s);
    QSqlQuery query(tessal::data::openDatabase(cash()));
    QVERIFY(query.prepare(
        u"INSERT INTO %1 (%2, %3) VALUES (?, ?)"_s.arg(table, m.codeField, m.nameField)));
    for (const auto &[code, name] : rows) {
        query.addBindValue(code);
        query.addBindValue(name);
        QVERIFY(query.exec());
    }
}

// "code|name" in code order.
QStringList tst_Registers::rows(const QString &table) const
{
    const Member m = memberOfTable(table);
    QSqlQuery query(tessal::data::openDatabase(cash()));
    query.exec(u"SELECT %1, %2 FROM %3 ORDER BY %1"_s.arg(m.codeField, m.nameField, m.table));
    QStringList found;
    while (query.next())
        found << query.value(0).toString() + u"|"_s + query.value(1).toString();
    return found;
}

// The first text and detail of each activity-log record of the day.
QStringList tst_Registers::logLines() const
{
    QFile file(m_t->context->activityLog().filePath(u"001"_s, m_t->clock.now().date()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    const QString prefix = u"Data: 07/12/2026 Hora: 09:05.33-Supervisor-"_s;
    for (const QString &line : QString::fromLocal8Bit(file.readAll()).split(u"\r\n"_s))
        if (line.startsWith(prefix))
            lines << line.mid(prefix.size());
    return lines;
}

void tst_Registers::type(RegisterWindow *window, const QString &control, const QString &text)
{
    auto *edit = window->findChild<QLineEdit *>(control);
    QVERIFY2(edit, qPrintable(control));
    edit->clear();
    // QTest types ASCII only; accented text is put in as an input method would.
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        QTest::keyClicks(edit, text);
    else
        edit->insert(text);
}

void tst_Registers::click(RegisterWindow *window, const QString &button)
{
    auto *found = window->findChild<QPushButton *>(button);
    QVERIFY2(found, qPrintable(button));
    QTest::mouseClick(found, Qt::LeftButton);
}

QString tst_Registers::fieldText(RegisterWindow *window, const QString &control)
{
    if (auto *edit = window->findChild<QLineEdit *>(control))
        return edit->text();
    if (auto *list = window->findChild<QComboBox *>(control))
        return list->currentText();
    return u"<no %1>"_s.arg(control);
}

void tst_Registers::selectGridRow(RegisterWindow *window, int row)
{
    auto *grid = window->findChild<tessal::DataGrid *>(u"Grid1"_s);
    QVERIFY(grid);
    QTableView *view = grid->view();
    const QRect cell = view->visualRect(grid->model()->index(row, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(grid->currentRow(), row);
}

void tst_Registers::includeOnEmptyTableTakesTheFirstCode()
{
    QFETCH(QString, name);
    QFETCH(QString, firstCode);
    QFETCH(QString, secondCode);
    const Member m = member(name);
    if (name == u"fbaixas"_s)
        m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
    auto window = open(name);

    // A code typed by the operator is replaced by the next free one.
    type(window.get(), m.codeField, u"777"_s);
    type(window.get(), m.nameField, u"Banco Itaú"_s);
    click(window.get(), u"CONFIRMA"_s);
    QCOMPARE(rows(m.table), QStringList{firstCode + u"|Banco Itaú"_s});
    QCOMPARE(fieldText(window.get(), m.codeField), QString());
    QCOMPARE(fieldText(window.get(), m.nameField), QString());

    type(window.get(), m.nameField, u"Caixa"_s);
    click(window.get(), u"CONFIRMA"_s);
    QCOMPARE(rows(m.table), (QStringList{firstCode + u"|Banco Itaú"_s, secondCode + u"|Caixa"_s}));
    QCOMPARE(window->grid()->rowCount(), 2);
    QCOMPARE(m_t->context->session().currentProcedure(), window->windowTitle());
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

// With the highest code of the table's width taken (a 1000th account), the next one would not
// keep the codes' text order: the include is refused and nothing is stored.
void tst_Registers::includePastTheCodeWidthIsRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, firstCode);
    const Member m = member(name);
    const QString highest(firstCode.size(), u'9');
    seed(m.table, {{highest, u"Último"_s}});
    auto window = open(name);
    m_t->dialogs.clearAsked();
    // From cleared fields (an empty code) and with a code typed over: neither may be stored.
    for (const QString &typedCode : {QString(), u"ABC"_s}) {
        click(window.get(), u"Command2"_s);
        type(window.get(), m.codeField, typedCode);
        type(window.get(), m.nameField, u"Mais um"_s);
        m_t->dialogs.expectMessage(u"Erro No.3022"_s);
        click(window.get(), u"CONFIRMA"_s);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        QVERIFY(m_t->dialogs.messages().last().contains(u"Formulário: "_s + name));
        QCOMPARE(rows(m.table), QStringList{highest + u"|Último"_s});
    }
}

void tst_Registers::includeWithEmptyNameStoresEmptyName()
{
    QFETCH(QString, name);
    QFETCH(QString, firstCode);
    auto window = open(name);
    click(window.get(), u"CONFIRMA"_s);
    QCOMPARE(rows(member(name).table), QStringList{firstCode + u"|"_s});
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

// Opening and re-reading list the records; the fields show one only when the operator chooses
// its row, by the mouse or the keyboard.
void tst_Registers::onlyChoosingAGridRowFillsTheFields()
{
    QFETCH(QString, name);
    const Member m = member(name);
    seed(m.table, {{u"001"_s, u"Zeta"_s}, {u"002"_s, u"Alfa"_s}, {u"003"_s, u"Meio"_s}});
    auto window = open(name);
    QApplication::setActiveWindow(window.get());
    tessal::DataGrid *grid = window->grid();
    QCOMPARE(grid->rowCount(), 3);
    const auto shown = [&] {
        QStringList texts;
        for (const tessal::RegisterField &field : window->def().fields)
            texts << fieldText(window.get(), field.control);
        return texts.join(u'|');
    };
    // Every field empty: code and name, and the type list and password box where there are.
    const QString empty = QStringList(window->def().fields.size(), QString()).join(u'|');
    const auto record = [&](const QString &code, const QString &recordName) {
        return fieldText(window.get(), m.codeField) + u"|"_s +
                   fieldText(window.get(), m.nameField) ==
               code + u"|"_s + recordName;
    };

    QCOMPARE(shown(), empty);
    QCOMPARE(grid->currentRow(), -1);
    // Tabbing into the grid chooses nothing either.
    QTableView *view = grid->view();
    view->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(view->hasFocus());
    QCOMPARE(shown(), empty);

    // The grid lists by name: Alfa, Meio, Zeta. The first arrow key takes the first row.
    QTest::keyClick(view, Qt::Key_Down);
    QVERIFY2(record(u"002"_s, u"Alfa"_s), qPrintable(shown()));
    QTest::keyClick(view, Qt::Key_Down);
    QVERIFY2(record(u"003"_s, u"Meio"_s), qPrintable(shown()));
    QTest::keyClick(view, Qt::Key_End);
    QVERIFY2(record(u"001"_s, u"Zeta"_s), qPrintable(shown()));
    QTest::keyClick(view, Qt::Key_Home);
    QVERIFY2(record(u"002"_s, u"Alfa"_s), qPrintable(shown()));
    selectGridRow(window.get(), 2);
    QVERIFY2(record(u"001"_s, u"Zeta"_s), qPrintable(shown()));
    QTest::keyClick(view, Qt::Key_Up);
    QVERIFY2(record(u"003"_s, u"Meio"_s), qPrintable(shown()));

    // After "&Limpa Campos" the row still current is brought back by Enter or a click on it.
    click(window.get(), u"Command2"_s);
    QCOMPARE(fieldText(window.get(), m.nameField), QString());
    QTest::keyClick(view, Qt::Key_Return);
    QVERIFY2(record(u"003"_s, u"Meio"_s), qPrintable(shown()));
    click(window.get(), u"Command2"_s);
    selectGridRow(window.get(), 1);
    QVERIFY2(record(u"003"_s, u"Meio"_s), qPrintable(shown()));

    // The re-read after an include lists the new record and chooses none.
    click(window.get(), u"Command2"_s);
    type(window.get(), m.nameField, u"Beta"_s);
    click(window.get(), u"CONFIRMA"_s);
    QCOMPARE(grid->rowCount(), 4);
    QCOMPARE(grid->currentRow(), -1);
    QCOMPARE(fieldText(window.get(), m.codeField), QString());
    QCOMPARE(fieldText(window.get(), m.nameField), QString());
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_Registers::alterChangesTheRecordOnShow()
{
    QFETCH(QString, name);
    const Member m = member(name);
    seed(m.table, {{u"001"_s, u"Alfa"_s}, {u"002"_s, u"Beta"_s}});
    auto window = open(name);
    selectGridRow(window.get(), 1);
    type(window.get(), m.nameField, u"Beta Nova"_s);
    click(window.get(), u"alterar"_s);
    QCOMPARE(rows(m.table), (QStringList{u"001|Alfa"_s, u"002|Beta Nova"_s}));
    QCOMPARE(fieldText(window.get(), m.nameField), QString());
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_Registers::alterAfterClearingChangesNothing()
{
    QFETCH(QString, name);
    const Member m = member(name);
    seed(m.table, {{u"001"_s, u"Alfa"_s}, {u"002"_s, u"Beta"_s}});
    auto window = open(name);
    selectGridRow(window.get(), 1);
    QCOMPARE(fieldText(window.get(), m.nameField), u"Beta"_s);
    click(window.get(), u"Command2"_s);
    QCOMPARE(fieldText(window.get(), m.codeField), QString());
    QCOMPARE(fieldText(window.get(), m.nameField), QString());
    click(window.get(), u"alterar"_s);
    QCOMPARE(rows(m.table), (QStringList{u"001|Alfa"_s, u"002|Beta"_s}));
    QCOMPARE(fieldText(window.get(), m.nameField), QString());
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_Registers::deleteAnsweredNoLeavesTheTable()
{
    QFETCH(QString, name);
    const Member m = member(name);
    seed(m.table, {{u"001"_s, u"Alfa"_s}, {u"002"_s, u"Beta"_s}});
    auto window = open(name);
    selectGridRow(window.get(), 1);
    m_t->dialogs.answerYesNo(false);
    click(window.get(), u"EXCLUIR"_s);
    QCOMPARE(rows(m.table), (QStringList{u"001|Alfa"_s, u"002|Beta"_s}));
    QCOMPARE(fieldText(window.get(), m.nameField), QString());
    const auto &asked = m_t->dialogs.asked();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.at(0).text, u"Deseja Realmente excluir esse registro? :Beta"_s);
    QCOMPARE(asked.at(0).title, u"EXCLUSÃO"_s);
    QCOMPARE(asked.at(0).icon, tessal::Dialogs::Icon::Question);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_Registers::deleteTakesTheGridRowNotTheFields()
{
    QFETCH(QString, name);
    const Member m = member(name);
    seed(m.table, {{u"001"_s, u"Alfa"_s}, {u"002"_s, u"Beta"_s}, {u"003"_s, u"Gama"_s}});
    auto window = open(name);
    selectGridRow(window.get(), 1);
    // The fields now name another record; the grid's row still decides.
    type(window.get(), m.codeField, u"003"_s);
    type(window.get(), m.nameField, u"Gama"_s);
    m_t->dialogs.answerYesNo(true);
    click(window.get(), u"EXCLUIR"_s);
    QCOMPARE(rows(m.table), (QStringList{u"001|Alfa"_s, u"003|Gama"_s}));
    QCOMPARE(window->grid()->rowCount(), 2);
    QCOMPARE(fieldText(window.get(), m.codeField), QString());
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

// After opening and after each re-read no row is current: "&Excluir" has no record to offer
// and must not offer one the operator never chose.
void tst_Registers::deleteWithNoRowChosenAsksNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, firstCode);
    QFETCH(QString, secondCode);
    const Member m = member(name);
    seed(m.table, {{firstCode, u"Alfa"_s}});
    auto window = open(name);
    click(window.get(), u"EXCLUIR"_s);
    type(window.get(), m.nameField, u"Beta"_s);
    click(window.get(), u"CONFIRMA"_s);
    click(window.get(), u"EXCLUIR"_s);
    QCOMPARE(rows(m.table), (QStringList{firstCode + u"|Alfa"_s, secondCode + u"|Beta"_s}));
    TESSAL_VERIFY_DIALOGS(m_t->dialogs); // no question nor box: none is scripted
}

void tst_Registers::escapeCloses()
{
    auto window = open(u"fcontas"_s);
    auto *name = window->findChild<QLineEdit *>(u"ds_conta"_s);
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Escape);
    QVERIFY(!window->isVisible());
}

void tst_Registers::failingStepsAreReportedAndTheHandlerGoesOn()
{
    auto window = open(u"fcontas"_s);
    type(window.get(), u"ds_conta"_s, u"Perdida"_s);
    {
        QSqlQuery query(tessal::data::openDatabase(cash()));
        QVERIFY(query.exec(u"ALTER TABLE contas RENAME TO contas_antigas"_s));
    }
    // Each failing step (next code, refresh, grid) shows its own box; without a code there is
    // nothing to look up or store, and the handler still clears the fields at the end.
    for (int i = 0; i < 3; ++i)
        m_t->dialogs.expectMessage(u"Formulário: fcontas"_s);
    click(window.get(), u"CONFIRMA"_s);
    QCOMPARE(fieldText(window.get(), u"ds_conta"_s), QString());
    for (const auto &asked : m_t->dialogs.asked())
        QVERIFY2(asked.text.contains(u"Procedure: Cadastro de Contas"_s), qPrintable(asked.text));
    QFile errorLog(m_t->errorLogPath());
    QVERIFY(errorLog.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(errorLog.readAll()).count(u"Formulário: fcontas"_s), 3);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_Registers::entryTypeIsStoredAsLetterAndStaysChosen()
{
    auto window = open(u"fgrupos"_s);
    auto *list = window->findChild<QComboBox *>(u"cd_tipo"_s);
    QVERIFY(list);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(0), u"Crédito"_s);
    QCOMPARE(list->itemText(1), u"Débito"_s);

    // Nothing chosen: the type is left unset.
    type(window.get(), u"ds_historico"_s, u"Sem tipo"_s);
    click(window.get(), u"CONFIRMA"_s);
    list->setCurrentText(u"Débito"_s);
    type(window.get(), u"ds_historico"_s, u"Pagamento"_s);
    click(window.get(), u"CONFIRMA"_s);
    QCOMPARE(list->currentText(), u"Débito"_s); // clearing keeps the choice
    type(window.get(), u"ds_historico"_s, u"Tarifa"_s);
    click(window.get(), u"CONFIRMA"_s);
    list->setCurrentText(u"Crédito"_s);
    type(window.get(), u"ds_historico"_s, u"Venda"_s);
    click(window.get(), u"CONFIRMA"_s);

    QSqlQuery query(tessal::data::openDatabase(cash()));
    QVERIFY(query.exec(
        u"SELECT cd_historico, ds_historico, cd_tipo FROM historicos ORDER BY cd_historico"_s));
    QStringList stored;
    while (query.next())
        stored << u"%1 %2 %3"_s.arg(query.value(0).toString(), query.value(1).toString(),
                                    query.value(2).isNull() ? u"NULL"_s
                                                            : query.value(2).toString());
    QCOMPARE(stored, (QStringList{u"00001 Sem tipo NULL"_s, u"00002 Pagamento D"_s,
                                  u"00003 Tarifa D"_s, u"00004 Venda C"_s}));
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_Registers::entryTypeIsShownFromTheStoredLetter()
{
    QSqlQuery query(tessal::data::openDatabase(cash()));
    QVERIFY(query.exec(u"INSERT INTO historicos VALUES ('00001', 'A Credito', 'C'), "
                       "('00002', 'B Debito', 'D'), ('00003', 'C Outro', 'X')"_s));
    auto window = open(u"fgrupos"_s);
    auto *list = window->findChild<QComboBox *>(u"cd_tipo"_s);
    selectGridRow(window.get(), 1);
    QCOMPARE(list->currentText(), u"Débito"_s);
    selectGridRow(window.get(), 0);
    QCOMPARE(list->currentText(), u"Crédito"_s);
    selectGridRow(window.get(), 2); // any other letter leaves the list as it was
    QCOMPARE(list->currentText(), u"Crédito"_s);
    QCOMPARE(fieldText(window.get(), u"ds_historico"_s), u"C Outro"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_Registers::passwordsAreHashedAndNeverShown()
{
    auto window = open(u"fusuarios"_s);
    auto *senha = window->findChild<QLineEdit *>(u"senha"_s);
    QCOMPARE(senha->echoMode(), QLineEdit::Password);
    QCOMPARE(senha->toolTip(), u"Digite a senha para permitir o acesso desse usuário. è sugerido "
                               "uma sequencia de no maximo 5 letras ou digitos"_s);
    type(window.get(), u"usuario"_s, u"Ana"_s);
    type(window.get(), u"senha"_s, u"Abc12"_s);
    click(window.get(), u"CONFIRMA"_s);

    auto storedHash = [this] {
        QSqlQuery query(tessal::data::openDatabase(cash()));
        query.exec(u"SELECT senha FROM usuarios WHERE cd_usuario = '001'"_s);
        return query.next() ? query.value(0).toString() : QString();
    };
    const QString first = storedHash();
    QVERIFY(first != u"Abc12"_s);
    QVERIFY(tessal::verifyPassword(first, u"Abc12"_s));

    selectGridRow(window.get(), 0);
    QCOMPARE(fieldText(window.get(), u"usuario"_s), u"Ana"_s);
    QCOMPARE(senha->text(), QString()); // the stored password is never shown

    // Renaming with the box left empty keeps the password.
    type(window.get(), u"usuario"_s, u"Ana Maria"_s);
    click(window.get(), u"alterar"_s);
    QCOMPARE(rows(u"usuarios"_s), QStringList{u"001|Ana Maria"_s});
    QCOMPARE(storedHash(), first);

    selectGridRow(window.get(), 0);
    type(window.get(), u"senha"_s, u"Novo9"_s);
    click(window.get(), u"alterar"_s);
    QVERIFY(tessal::verifyPassword(storedHash(), u"Novo9"_s));
    QVERIFY(!tessal::verifyPassword(storedHash(), u"Abc12"_s));
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_Registers::enterMovesToTheNextFieldOnlyInTheUsersRegister()
{
    auto users = open(u"fusuarios"_s);
    users->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(users.get()));
    auto *name = users->findChild<QLineEdit *>(u"usuario"_s);
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), users->findChild<QLineEdit *>(u"senha"_s));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    QVERIFY(QApplication::focusWidget() != users->findChild<QLineEdit *>(u"senha"_s));
    QCOMPARE(rows(u"usuarios"_s), QStringList()); // Enter never includes
    users.reset();

    auto accounts = open(u"fcontas"_s);
    accounts->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(accounts.get()));
    auto *account = accounts->findChild<QLineEdit *>(u"ds_conta"_s);
    account->setFocus();
    QTest::keyClick(account, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), account);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_Registers::settlementTypesLogTheirWork()
{
    auto window = open(u"fbaixas"_s);
    QCOMPARE(logLines(), QStringList{u"ENTROU NO MODULO DE CADASTRO DE BAIXAS-**"_s});

    type(window.get(), u"ds_baixa"_s, u"Cheque"_s);
    click(window.get(), u"CONFIRMA"_s);
    selectGridRow(window.get(), 0);
    type(window.get(), u"ds_baixa"_s, u"Cheque pré"_s);
    click(window.get(), u"alterar"_s);
    selectGridRow(window.get(), 0);
    m_t->dialogs.answerYesNo(false); // declined: no line
    click(window.get(), u"EXCLUIR"_s);
    selectGridRow(window.get(), 0);
    m_t->dialogs.answerYesNo(true);
    click(window.get(), u"EXCLUIR"_s);
    QCOMPARE(rows(u"baixas"_s), QStringList());
    click(window.get(), u"Command1"_s);
    QVERIFY(!window->isVisible());

    QCOMPARE(logLines(), (QStringList{u"ENTROU NO MODULO DE CADASTRO DE BAIXAS-**"_s,
                                      u"INCLUI UM NOVO REGISTRO-Cheque"_s,
                                      u"EXECUTOU UMA ALTERACAO NO REGISTRO-Cheque pré"_s,
                                      u"CONFIRMOU A EXCLUSAO DO REGISTRO-Cheque pré"_s,
                                      u"SAIU DO MODULO DE CADASTRO DE BAIXAS-**"_s}));

    // Leaving with Esc writes nothing.
    auto again = open(u"fbaixas"_s);
    QTest::keyClick(again->findChild<QLineEdit *>(u"ds_baixa"_s), Qt::Key_Escape);
    QVERIFY(!again->isVisible());
    QCOMPARE(logLines().size(), 6);
    QCOMPARE(logLines().last(), u"ENTROU NO MODULO DE CADASTRO DE BAIXAS-**"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

// Another workstation stores a record under the code this one has just shown: the include takes
// the next free code, says so, and the re-read lists both records.
void tst_Registers::includeTakesTheNextCodeWhenAnotherWorkstationTookIt()
{
    QFETCH(QString, name);
    QFETCH(QString, firstCode);
    QFETCH(QString, secondCode);
    const Member m = member(name);
    const QString thirdCode =
        QString::number(secondCode.toInt() + 1).rightJustified(secondCode.size(), u'0');
    seed(m.table, {{firstCode, u"Alfa"_s}});
    auto window = open(name);
    QStringList shown;
    QString elsewhere;
    connect(window.get(), &RegisterWindow::codeShown, this, [&](const QString &code) {
        shown << code;
        elsewhere = execElsewhere(
            cash(),
            u"INSERT INTO %1 (%2, %3) VALUES (?, ?)"_s.arg(m.table, m.codeField, m.nameField),
            {code, u"Outra estação"_s});
    });
    type(window.get(), m.nameField, u"Beta"_s);
    m_t->dialogs.expectMessage(thirdCode);
    click(window.get(), u"CONFIRMA"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    QCOMPARE(elsewhere, QString());
    QCOMPARE(shown, QStringList{secondCode});
    const auto &told = m_t->dialogs.asked().last();
    QCOMPARE(told.text,
             u"O código %1 foi usado por outra estação enquanto este registro era "
             "gravado; o registro foi incluído com o código %2."_s.arg(secondCode, thirdCode));
    QCOMPARE(told.title, window->windowTitle());
    QCOMPARE(told.icon, tessal::Dialogs::Icon::Information);
    QCOMPARE(rows(m.table), (QStringList{firstCode + u"|Alfa"_s, secondCode + u"|Outra estação"_s,
                                         thirdCode + u"|Beta"_s}));
    QCOMPARE(window->grid()->rowCount(), 3);
    QCOMPARE(fieldText(window.get(), m.codeField), QString());
}

// The code shown was the last one of the width and another workstation took it: there is none
// left, the error box says so and nothing of this include is stored.
void tst_Registers::includeWithNoCodeLeftAfterAConflictStoresNothing()
{
    seed(u"contas"_s, {{u"998"_s, u"Penúltima"_s}});
    auto window = open(u"fcontas"_s);
    QString elsewhere;
    connect(window.get(), &RegisterWindow::codeShown, this, [&](const QString &code) {
        elsewhere =
            execElsewhere(cash(), u"INSERT INTO contas VALUES (?, 'Outra estação')"_s, {code});
    });
    type(window.get(), u"ds_conta"_s, u"Caixa"_s);
    m_t->dialogs.expectMessage(u"Erro No.3022"_s);
    click(window.get(), u"CONFIRMA"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    QCOMPARE(elsewhere, QString());
    QVERIFY(m_t->dialogs.messages().last().contains(u"último código de 3 dígitos"_s));
    QCOMPARE(rows(u"contas"_s), (QStringList{u"998|Penúltima"_s, u"999|Outra estação"_s}));
    QCOMPARE(window->grid()->rowCount(), 2);
}

// A refusal that another code would not help (here a unique index the administrator put on the
// names) is told at once and stores nothing.
void tst_Registers::includeRefusedForAnotherRepeatedValueStoresNothing()
{
    {
        QSqlQuery query(tessal::data::openDatabase(cash()));
        QVERIFY(query.exec(u"CREATE UNIQUE INDEX contas_nome_unico ON contas (ds_conta)"_s));
    }
    seed(u"contas"_s, {{u"001"_s, u"Caixa"_s}});
    auto window = open(u"fcontas"_s);
    type(window.get(), u"ds_conta"_s, u"Caixa"_s);
    m_t->dialogs.expectMessage(u"O registro não foi gravado"_s);
    click(window.get(), u"CONFIRMA"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    QCOMPARE(m_t->dialogs.asked().last().icon, tessal::Dialogs::Icon::Warning);
    QCOMPARE(rows(u"contas"_s), QStringList{u"001|Caixa"_s});
    QCOMPARE(fieldText(window.get(), u"ds_conta"_s), QString());
}

// Regression: the window's record set kept a statement open on the shared connection, and on a
// file that held an old snapshot for every read through it. Choosing a row showed the record as
// it was, and the next include read a code already taken and was refused as locked.
void tst_Registers::otherWorkstationsChangesShowOnTheNextReread()
{
    seed(u"contas"_s, {{u"001"_s, u"Alfa"_s}, {u"002"_s, u"Beta"_s}});
    auto window = open(u"fcontas"_s);
    QCOMPARE(window->grid()->rowCount(), 2);
    QCOMPARE(execElsewhere(cash(), u"UPDATE contas SET ds_conta = 'Beta Nova' "
                                   "WHERE cd_conta = '002'"_s),
             QString());
    QCOMPARE(execElsewhere(cash(), u"INSERT INTO contas VALUES ('003', 'Gama')"_s), QString());

    selectGridRow(window.get(), 1);
    QCOMPARE(fieldText(window.get(), u"ds_conta"_s), u"Beta Nova"_s);
    click(window.get(), u"Command2"_s);
    type(window.get(), u"ds_conta"_s, u"Delta"_s);
    click(window.get(), u"CONFIRMA"_s);
    QCOMPARE(rows(u"contas"_s),
             (QStringList{u"001|Alfa"_s, u"002|Beta Nova"_s, u"003|Gama"_s, u"004|Delta"_s}));
    tessal::DataGrid *grid = window->grid();
    QStringList listed;
    for (int row = 0; row < grid->rowCount(); ++row)
        listed << grid->model()->text(row, 1);
    QCOMPARE(listed, (QStringList{u"Alfa"_s, u"Beta Nova"_s, u"Delta"_s, u"Gama"_s}));
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

QTEST_MAIN(tst_Registers)
#include "tst_registers.moc"
