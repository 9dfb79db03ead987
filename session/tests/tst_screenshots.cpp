#include "controls/datagrid.h"
#include "core/config.h"
#include "core/money.h"
#include "core/passwordhash.h"
#include "data/database.h"
#include "ledger/ledger.h"
#include "ledger/ui/flancamentos.h"
#include "registers/registers.h"
#include "session/ui/fprincipal.h"
#include "session/ui/frmlogin.h"
#include "testsupport/serverdatabase.h"
#include "testsupport/testcontext.h"

#include <QComboBox>
#include <QListWidget>
#include <QLocale>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;

// What the operator sees, saved for the documentation: the login, the main window and the four
// registers over a small set of realistic rows.
class tst_Screenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void login();
    void mainWindow();
    void registers_data();
    void registers();
    void mainWindowOnServer();

private:
    void save(QWidget *window, const QString &file);

    QString m_dir;
    std::unique_ptr<tessal::test::TestContext> m_t;
};

void tst_Screenshots::initTestCase()
{
    m_dir = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (m_dir.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    QLocale::setDefault(tessal::programLocale());
    m_t = std::make_unique<tessal::test::TestContext>();
    const QString dataDir = m_t->dir.filePath(u"dados"_s);
    tessal::data::ensureDataDirectory(dataDir);
    tessal::writeConfigFile(m_t->context->configFilePath(), dataDir);
    m_t->context->session().setDataDirectory(dataDir);
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);

    QSqlQuery query(tessal::data::openDatabase(m_t->context->session().cashDatabasePath()));
    const QStringList statements = {
        u"INSERT INTO contas VALUES ('001', 'Caixa Geral'), ('002', 'Banco do Brasil'), "
        "('003', 'Itaú Conta Corrente'), ('004', 'Caixa Pequeno')"_s,
        u"INSERT INTO historicos VALUES ('00001', 'Venda à vista', 'C'), "
        "('00002', 'Pagamento de fornecedor', 'D'), ('00003', 'Tarifa bancária', 'D'), "
        "('00004', 'Recebimento de cliente', 'C'), ('00005', 'Retirada do sócio', 'D')"_s,
        u"INSERT INTO baixas VALUES ('002', 'Cheque'), ('003', 'Cartão de crédito'), "
        "('004', 'Boleto')"_s,
    };
    for (const QString &statement : statements)
        QVERIFY2(query.exec(statement), qPrintable(statement));
    QVERIFY(query.prepare(u"INSERT INTO usuarios VALUES (?, ?, ?)"_s));
    for (const auto &[code, name] :
         {std::pair{u"001"_s, u"Supervisor"_s}, std::pair{u"002"_s, u"Caixa"_s},
          std::pair{u"003"_s, u"Gerente"_s}}) {
        query.addBindValue(code);
        query.addBindValue(name);
        query.addBindValue(tessal::hashPassword(u"1234"_s));
        QVERIFY(query.exec());
    }
}

void tst_Screenshots::cleanupTestCase()
{
    if (!m_t)
        return;
    tessal::data::closeDatabase(m_t->context->session().cashDatabasePath());
    tessal::data::closeDatabase(m_t->context->session().menuDatabasePath());
}

void tst_Screenshots::save(QWidget *window, const QString &file)
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::qWait(100);
    QVERIFY(window->grab().save(m_dir + u"/"_s + file));
}

void tst_Screenshots::login()
{
    tessal::frmLogin login(*m_t->context);
    login.Form_Load();
    login.findChild<QComboBox *>(u"txtusername"_s)->setEditText(u"Supervisor"_s);
    save(&login, u"login.png"_s);
}

void tst_Screenshots::mainWindow()
{
    tessal::fprincipal main(*m_t->context);
    main.load();
    main.resize(1024, 700);
    save(&main, u"main.png"_s);
}

void tst_Screenshots::registers_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"fcontas", "fgrupos", "fusuarios", "fbaixas"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_Screenshots::registers()
{
    QFETCH(QString, name);
    const QList<std::pair<QString, tessal::RegisterFactory>> factories = {
        {u"fcontas"_s, &tessal::fcontas},
        {u"fgrupos"_s, &tessal::fgrupos},
        {u"fusuarios"_s, &tessal::fusuarios},
        {u"fbaixas"_s, &tessal::fbaixas}};
    tessal::RegisterFactory factory = nullptr;
    for (const auto &[member, make] : factories)
        if (member == name)
            factory = make;
    std::unique_ptr<tessal::RegisterWindow> window(factory(*m_t->context, nullptr));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // A record on show, as after a click in the grid.
    tessal::DataGrid *grid = window->grid();
    QTableView *view = grid->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(grid->model()->index(1, 1)).center());
    save(window.get(), name + u".png"_s);
}

// The program on the PostgreSQL server: the status bar names the server (never a password), and
// the ledger shows entries posted there.
void tst_Screenshots::mainWindowOnServer()
{
    tessal::test::ScratchServerDatabase server;
    TESSAL_REQUIRE_SERVER(server);
    const QString uri = server.address().uri();
    tessal::test::TestContext t;
    tessal::data::ensureDataDirectory(uri);
    tessal::writeConfigFile(t.context->configFilePath(), uri);
    t.context->session().setDataDirectory(uri);
    t.context->session().setUser(u"001"_s, u"Supervisor"_s);
    {
        QSqlQuery query(tessal::data::openDatabase(uri));
        QVERIFY(query.exec(u"INSERT INTO contas VALUES ('001', 'Caixa Geral'), "
                           "('002', 'Banco do Brasil')"_s));
        QVERIFY(query.exec(u"INSERT INTO historicos VALUES ('00001', 'Venda à vista', 'C'), "
                           "('00002', 'Pagamento de fornecedor', 'D')"_s));
    }
    tessal::ledger::Ledger book(uri);
    const QLocale locale = tessal::programLocale();
    for (int day = 1; day <= 12; ++day)
        book.post({u"001"_s, day % 3 ? u"00001"_s : u"00002"_s, u"Balcão"_s,
                   locale.toString(day * 37.5, 'f', 2),
                   QDate(2026, 12, day).toString(u"dd/MM/yyyy"_s)});

    tessal::fprincipal main(*t.context);
    main.load();
    main.resize(1024, 700);
    save(&main, u"main-servidor.png"_s);

    tessal::flancamentos ledgerWindow(*t.context);
    ledgerWindow.resize(1120, 640);
    ledgerWindow.show();
    auto *accounts = ledgerWindow.findChild<QListWidget *>(u"cd_conta"_s);
    QVERIFY(accounts);
    for (int row = 0; row < accounts->count(); ++row)
        if (accounts->item(row)->data(Qt::UserRole).toString() == u"001")
            accounts->setCurrentRow(row);
    QVERIFY(accounts->currentRow() >= 0);
    ledgerWindow.cd_conta_Click();
    save(&ledgerWindow, u"flancamentos-servidor.png"_s);
    tessal::data::closeDatabase(uri);
}

QTEST_MAIN(tst_Screenshots)
#include "tst_screenshots.moc"
