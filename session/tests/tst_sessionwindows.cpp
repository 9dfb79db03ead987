#include "controls/buttonbar.h"
#include "core/appinfo.h"
#include "core/config.h"
#include "core/error.h"
#include "core/passwordhash.h"
#include "data/backup.h"
#include "data/database.h"
#include "data/filesystem.h"
#include "session/ui/fprincipal.h"
#include "session/ui/frmlogin.h"
#include "session/ui/frmsplash.h"
#include "testsupport/immutabledirectory.h"
#include "testsupport/testcontext.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using tessal::fprincipal;
using tessal::frmLogin;

struct ConfigRow
{
    int grupo;
    int opcao;
    QString descricao;
};

class tst_SessionWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstRunCreatesTheSupervisor();
    void loginRefusesWrongPasswords_data();
    void loginRefusesWrongPasswords();
    void choosingInTheListFillsTheNameAndMovesToPassword();
    void cancelEndsWithoutALogLine();

    void mainWindowShowsTheSession();
    void mainWindowCannotBeClosed();
    void sharedFolderIsPointedOut();
    void fourOptionsInGroupTwoGiveFourButtons();
    void positionNotCaptionChoosesTheWindow_data();
    void positionNotCaptionChoosesTheWindow();
    void unknownGroupInConfigStopsTheLoad();
    void helpKeyOpensTheHelpFileWhenItExists();

    void exitWindowLogsOffAndEnds();
    void exitWindowTakesTheAutomaticCopyFirst_data();
    void exitWindowTakesTheAutomaticCopyFirst();
    void contactWindowOpensFromThePicture();
    void splashShowsTheVersion();

private:
    void addUser(const QString &code, const QString &name, const QString &password);
    void writeConfig(const QList<ConfigRow> &rows);
    QString logText(const QString &userCode) const;
    QWidget *topLevel(const QString &name) const;
    static void click(QWidget *window, const QString &name);
    void typeLogin(frmLogin &login, const QString &user, const QString &password);

    std::unique_ptr<tessal::test::TestContext> m_t;
    QString m_dataDir;
};

void tst_SessionWindows::init()
{
    qputenv("USER", "operador");
    m_t = std::make_unique<tessal::test::TestContext>();
    m_dataDir = m_t->dir.filePath(u"dados"_s);
    tessal::data::ensureDataDirectory(m_dataDir);
    tessal::writeConfigFile(m_t->context->configFilePath(), m_dataDir);
    m_t->context->session().setDataDirectory(m_dataDir);
}

void tst_SessionWindows::cleanup()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        delete window;
    tessal::data::closeDatabase(m_t->context->session().cashDatabasePath());
    tessal::data::closeDatabase(m_t->context->session().menuDatabasePath());
    m_t.reset();
}

void tst_SessionWindows::addUser(const QString &code, const QString &name, const QString &password)
{
    QSqlQuery query(tessal::data::openDatabase(m_t->context->session().cashDatabasePath()));
    QVERIFY(query.prepare(u"INSERT INTO usuarios (cd_usuario, usuario, senha) VALUES (?, ?, ?)"_s));
    query.addBindValue(code);
    query.addBindValue(name);
    query.addBindValue(tessal::hashPassword(password));
    QVERIFY(query.exec());
}

void tst_SessionWindows::writeConfig(const QList<ConfigRow> &rows)
{
    QSqlQuery query(tessal::data::openDatabase(m_t->context->session().menuDatabasePath(),
                                               tessal::data::DatabaseKind::Menu));
    QVERIFY(query.exec(u"DELETE FROM CONFIG"_s));
    QVERIFY(query.prepare(u"INSERT INTO CONFIG (grupo, opcao, descricao, ds_tootip, opcoes) "
                          "VALUES (?, ?, ?, ?, 0)"_s));
    for (const ConfigRow &row : rows) {
        query.addBindValue(row.grupo);
        query.addBindValue(row.opcao);
        query.addBindValue(row.descricao);
        query.addBindValue(QString(u"Dica de "_s + row.descricao));
        QVERIFY(query.exec());
    }
}

QString tst_SessionWindows::logText(const QString &userCode) const
{
    QFile file(m_t->context->activityLog().filePath(userCode, m_t->clock.now().date()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll());
}

QWidget *tst_SessionWindows::topLevel(const QString &name) const
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->objectName() == name && window->isVisible())
            return window;
    return nullptr;
}

void tst_SessionWindows::click(QWidget *window, const QString &name)
{
    auto *button = window->findChild<QAbstractButton *>(name);
    QVERIFY2(button, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton);
}

void tst_SessionWindows::typeLogin(frmLogin &login, const QString &user, const QString &password)
{
    auto *name = login.findChild<QComboBox *>(u"txtusername"_s);
    auto *secret = login.findChild<QLineEdit *>(u"txtPassword"_s);
    QVERIFY(name && secret);
    name->lineEdit()->clear();
    QTest::keyClicks(name->lineEdit(), user);
    secret->clear();
    QTest::keyClicks(secret, password);
}

void tst_SessionWindows::firstRunCreatesTheSupervisor()
{
    QString nameOffered;
    QString registerShown;
    // Stands in for the modal run: the operator types a password, includes and leaves.
    auto operatorCreatesSupervisor = [&](QWidget *window) {
        registerShown = window->objectName();
        nameOffered = window->findChild<QLineEdit *>(u"usuario"_s)->text();
        window->show();
        QTest::keyClicks(window->findChild<QLineEdit *>(u"senha"_s), u"Segredo1"_s);
        QTest::mouseClick(window->findChild<QPushButton *>(u"CONFIRMA"_s), Qt::LeftButton);
        QTest::mouseClick(window->findChild<QPushButton *>(u"Command1"_s), Qt::LeftButton);
    };
    m_t->dialogs.expectMessage(u"Não existe usuario cadastrado!!! Antes de continuar preencha a "
                               "senha do supervisor click em incluir !! Obrigado Bom Teste"_s);
    frmLogin login(*m_t->context, operatorCreatesSupervisor);
    login.Form_Load();
    QCOMPARE(registerShown, u"fusuarios"_s);
    QCOMPARE(nameOffered, u"Supervisor"_s);

    auto *list = login.findChild<QListWidget *>(u"DBList1"_s);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), u"Supervisor"_s);
    // The operating-system user is offered first.
    QCOMPARE(login.findChild<QComboBox *>(u"txtusername"_s)->currentText(), u"operador"_s);

    login.show();
    typeLogin(login, u"Supervisor"_s, u"Segredo1"_s);
    click(&login, u"cmdOK"_s);
    QVERIFY(login.OK());
    QVERIFY(!login.isVisible());
    QCOMPARE(m_t->context->session().userCode(), u"001"_s);
    QCOMPARE(m_t->context->session().userName(), u"Supervisor"_s);
    QVERIFY2(logText(u"001"_s).startsWith(u"Data: 07/12/2026 Hora: 09:05.33-Supervisor-**** "
                                          "EFETUOU LOGIN NO SISTEMA-**\r\n"_s),
             qPrintable(logText(u"001"_s)));
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_SessionWindows::loginRefusesWrongPasswords_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("differs only in case") << u"Supervisor"_s << u"segredo1"_s;
    QTest::newRow("another user's password") << u"Caixa"_s << u"Segredo1"_s;
    QTest::newRow("user that does not exist") << u"Fulano"_s << u"Segredo1"_s;
    QTest::newRow("empty password") << u"Supervisor"_s << QString();
}

void tst_SessionWindows::loginRefusesWrongPasswords()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    addUser(u"001"_s, u"Supervisor"_s, u"Segredo1"_s);
    addUser(u"002"_s, u"Caixa"_s, u"outra"_s);
    frmLogin login(*m_t->context, [](QWidget *) { QFAIL("no users register expected"); });
    login.Form_Load();
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));

    // No limit on attempts: three refusals, then the right password still gets in.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_t->dialogs.expectMessage(u"Senha incorreta Tente Novamente!"_s);
        typeLogin(login, user, password);
        click(&login, u"cmdOK"_s);
        QVERIFY(!login.OK());
        QVERIFY(login.isVisible());
        QCOMPARE(m_t->dialogs.asked().last().title, u"Login"_s);
        auto *secret = login.findChild<QLineEdit *>(u"txtPassword"_s);
        QCOMPARE(secret->selectedText(), password);
        QVERIFY(secret->hasFocus() || QApplication::focusWidget() == nullptr);
    }
    QCOMPARE(logText(u"001"_s), QString());
    QCOMPARE(m_t->context->session().userCode(), QString());

    typeLogin(login, u"Supervisor"_s, u"Segredo1"_s);
    click(&login, u"cmdOK"_s);
    QVERIFY(login.OK());
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_SessionWindows::choosingInTheListFillsTheNameAndMovesToPassword()
{
    addUser(u"001"_s, u"Supervisor"_s, u"Segredo1"_s);
    addUser(u"002"_s, u"Caixa"_s, u"outra"_s);
    frmLogin login(*m_t->context, {});
    login.Form_Load();
    login.show();
    login.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&login));
    auto *list = login.findChild<QListWidget *>(u"DBList1"_s);
    QCOMPARE(list->toolTip(), u"Escolha o usuário do sistema"_s);
    QCOMPARE(login.findChild<QComboBox *>(u"txtusername"_s)->toolTip(),
             u"Escolha o usuário do sistema"_s);
    QCOMPARE(list->item(0)->text(), u"Caixa"_s); // name order
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    QCOMPARE(login.findChild<QComboBox *>(u"txtusername"_s)->currentText(), u"Caixa"_s);
    auto *secret = login.findChild<QLineEdit *>(u"txtPassword"_s);
    QCOMPARE(QApplication::focusWidget(), secret);
    QCOMPARE(secret->echoMode(), QLineEdit::Password);
    QTest::keyClicks(secret, u"outra"_s);
    click(&login, u"cmdOK"_s);
    QVERIFY(login.OK());
    QCOMPARE(m_t->context->session().userCode(), u"002"_s);
    QVERIFY(logText(u"002"_s).contains(u"-Caixa-**** EFETUOU LOGIN NO SISTEMA-**"_s));
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_SessionWindows::cancelEndsWithoutALogLine()
{
    addUser(u"001"_s, u"Supervisor"_s, u"Segredo1"_s);
    frmLogin login(*m_t->context, {});
    login.Form_Load();
    login.show();
    typeLogin(login, u"Supervisor"_s, u"Segredo1"_s);
    click(&login, u"cmdCancel"_s);
    QVERIFY(!login.OK());
    QVERIFY(!login.isVisible());
    QVERIFY(
        !QFile::exists(m_t->context->activityLog().filePath(u"001"_s, m_t->clock.now().date())));
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_SessionWindows::mainWindowShowsTheSession()
{
    // The load step reads sys.ini itself: a session pointing elsewhere is corrected by it.
    m_t->context->session().setDataDirectory(u"/em/outro/lugar"_s);
    fprincipal main(*m_t->context);
    main.load();
    QCOMPARE(main.windowTitle(), u"SISTEMA CONTROLE DE CAIXA - "_s + tessal::versionText());
    QCOMPARE(tessal::versionText(), u"1.0.0"_s);
    auto label = [&](const QString &name) { return main.findChild<QLabel *>(name)->text(); };
    QCOMPARE(label(u"panel1"_s), m_dataDir);
    QCOMPARE(m_t->context->session().dataDirectory(), m_dataDir);
    QCOMPARE(label(u"sistema"_s), u"-CONTROLE DE CAIXA"_s);
    QCOMPARE(label(u"Label3"_s), u"F-HELP"_s);
    QVERIFY(main.findChild<QStatusBar *>(u"StatusBar1"_s));
    QCOMPARE(main.findChild<QPushButton *>(u"Command1"_s)->text(), u"&SAIR"_s);
    QCOMPARE(main.findChild<QLabel *>(u"Image2"_s)->toolTip(),
             u"CLick aqui para saber como contactar a empresa desenvolvedora."_s);

    m_t->context->session().setUser(u"007"_s, u"Bond"_s);
    QCOMPARE(label(u"codigouser"_s), u"007"_s);
    QCOMPARE(label(u"usuario"_s), u"Bond"_s);

    // The shipped CONFIG: five groups, the registers first.
    tessal::ButtonBar *bar = main.findChild<tessal::ButtonBar *>(u"ButtonBar1"_s);
    QVERIFY(bar);
    QVERIFY(bar->groupCount() >= 5);
    QCOMPARE(bar->group(1)->buttonCount(), 4);
    QCOMPARE(bar->group(1)->button(1)->objectName(), u"K11"_s);
    QVERIFY(!bar->group(1)->button(1)->toolTip().isEmpty());
}

// A data directory on a network share gets a notice in the status bar that several workstations
// need the server; a local one does not.
void tst_SessionWindows::sharedFolderIsPointedOut()
{
    const auto restore = qScopeGuard([] { tessal::data::setNetworkFileSystemProbe({}); });
    {
        fprincipal main(*m_t->context);
        main.load();
        QVERIFY(main.findChild<QLabel *>(u"sharedFolderNotice"_s)->isHidden());
    }
    QString asked;
    tessal::data::setNetworkFileSystemProbe([&asked](const QString &path) {
        asked = path;
        return true;
    });
    fprincipal main(*m_t->context);
    main.show();
    main.load();
    QLabel *notice = main.findChild<QLabel *>(u"sharedFolderNotice"_s);
    QVERIFY(notice->isVisible());
    QVERIFY(notice->text().contains(u"várias estações"_s));
    QVERIFY(notice->toolTip().contains(u"PostgreSQL"_s));
    QCOMPARE(asked, m_dataDir);
}

void tst_SessionWindows::mainWindowCannotBeClosed()
{
    fprincipal main(*m_t->context);
    main.load();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(!main.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!main.close());
    QVERIFY(main.isVisible());
}

void tst_SessionWindows::fourOptionsInGroupTwoGiveFourButtons()
{
    writeConfig({{1, 1, u"Contas"_s},
                 {2, 1, u"Lançamentos"_s},
                 {2, 2, u"Análise"_s},
                 {2, 3, u"Terceira"_s},
                 {2, 4, u"Quarta"_s}});
    fprincipal main(*m_t->context);
    QStringList opened;
    main.dispatch().set(2, 1, [&] { opened << u"flancamentos"_s; });
    main.dispatch().set(2, 2, [&] { opened << u"fcubovendas"_s; });
    main.load();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    tessal::ButtonBarGroup *group = main.buttonBar()->group(2);
    QCOMPARE(group->buttonCount(), 4);
    QStringList keys;
    for (int position = 1; position <= 4; ++position)
        keys << group->button(position)->objectName();
    QCOMPARE(keys, (QStringList{u"K12"_s, u"K22"_s, u"K32"_s, u"K42"_s}));
    QCOMPARE(group->button(3)->toolTip(), u"Dica de Terceira"_s);

    // The bar shows one group at a time; the operator opens group 2 first.
    QVERIFY(!group->isExpanded());
    QTest::mouseClick(group->findChild<QToolButton *>(u"header"_s), Qt::LeftButton);
    QVERIFY(group->button(3)->isVisible());

    const int windowsBefore = QApplication::topLevelWidgets().size();
    click(&main, u"K32"_s);
    click(&main, u"K42"_s);
    QCOMPARE(opened, QStringList());
    QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
    // The first two are live, so the silence of the last two is not a dead bar.
    click(&main, u"K12"_s);
    click(&main, u"K22"_s);
    QCOMPARE(opened, (QStringList{u"flancamentos"_s, u"fcubovendas"_s}));
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_SessionWindows::positionNotCaptionChoosesTheWindow_data()
{
    QTest::addColumn<QList<int>>("options"); // opcao of Contas, Históricos, Usuários, Baixas
    QTest::addColumn<QString>("key");        // the button clicked
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("window");

    QTest::newRow("shipped order")
        << QList<int>{1, 2, 3, 4} << u"K11"_s << u"Contas"_s << u"fcontas"_s;
    QTest::newRow("Contas numbered last")
        << QList<int>{9, 2, 3, 4} << u"K91"_s << u"Contas"_s << u"fbaixas"_s;
    QTest::newRow("Usuários numbered first")
        << QList<int>{2, 3, 1, 4} << u"K11"_s << u"Usuários"_s << u"fcontas"_s;
    QTest::newRow("gaps keep the rank")
        << QList<int>{10, 20, 30, 40} << u"K301"_s << u"Usuários"_s << u"fusuarios"_s;
}

void tst_SessionWindows::positionNotCaptionChoosesTheWindow()
{
    QFETCH(QList<int>, options);
    QFETCH(QString, key);
    QFETCH(QString, caption);
    QFETCH(QString, window);
    writeConfig({{1, options[0], u"Contas"_s},
                 {1, options[1], u"Históricos"_s},
                 {1, options[2], u"Usuários"_s},
                 {1, options[3], u"Tipos de Baixa"_s}});
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
    fprincipal main(*m_t->context);
    main.load();
    main.show();
    auto *button = main.findChild<QToolButton *>(key);
    QVERIFY(button);
    QCOMPARE(button->text(), caption);
    QTest::mouseClick(button, Qt::LeftButton);
    QWidget *opened = topLevel(window);
    QVERIFY2(opened, qPrintable(window));
    QCOMPARE(opened->parentWidget(), &main);
    QVERIFY(!opened->isModal());
    // Asking again brings the open window forward instead of opening a second one.
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(main.findChildren<QWidget *>(window, Qt::FindDirectChildrenOnly).size(), 1);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_SessionWindows::unknownGroupInConfigStopsTheLoad()
{
    writeConfig({{1, 1, u"Contas"_s}, {6, 1, u"Sexta"_s}});
    fprincipal main(*m_t->context);
    QVERIFY_THROWS_EXCEPTION(tessal::Error, main.load());
}

void tst_SessionWindows::helpKeyOpensTheHelpFileWhenItExists()
{
    fprincipal main(*m_t->context);
    main.load();
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));

    // No help file: F1 does nothing (an unexpected shell call would fail the dialog check).
    QTest::keyClick(&main, Qt::Key_F1);
    QCOMPARE(m_t->dialogs.asked().size(), 0);

    QFile help(m_t->context->session().helpFilePath());
    QVERIFY(help.open(QIODevice::WriteOnly));
    help.write("<html><body>Ajuda</body></html>");
    help.close();
    m_t->dialogs.answerShell(true);
    QTest::keyClick(&main, Qt::Key_F1);
    QCOMPARE(m_t->dialogs.asked().size(), 1);
    QCOMPARE(m_t->dialogs.asked().at(0).kind, tessal::test::ScriptedDialogs::Kind::Shell);
    QCOMPARE(m_t->dialogs.asked().at(0).text, m_dataDir + u"/tessal.hlp"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_SessionWindows::exitWindowLogsOffAndEnds()
{
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
    fprincipal main(*m_t->context);
    int ended = 0;
    main.setEndProgram([&] { ++ended; });
    main.load();
    main.show();

    click(&main, u"Command1"_s);
    QWidget *exit = topLevel(u"fsair"_s);
    QVERIFY(exit);
    m_t->dialogs.expectMessage(u"System Information Is Unavailable At This Time"_s);
    click(exit, u"cmdSysInfo"_s);
    click(exit, u"cmdRetornar"_s);
    QVERIFY(!topLevel(u"fsair"_s));
    QCOMPARE(ended, 0);
    QCOMPARE(logText(u"001"_s), QString());

    click(&main, u"Command1"_s);
    exit = topLevel(u"fsair"_s);
    QVERIFY(exit);
    click(exit, u"cmdOK"_s);
    QCOMPARE(ended, 1);
    QCOMPARE(logText(u"001"_s),
             u"Data: 07/12/2026 Hora: 09:05.33-Supervisor-************EFETUOU LOG OFF NO "
             "SISTEMA************-**\r\n"_s +
                 QString(113, u'-') + u"\r\n"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_SessionWindows::exitWindowTakesTheAutomaticCopyFirst_data()
{
    QTest::addColumn<bool>("locked");
    QTest::addColumn<bool>("server");
    QTest::newRow("copy taken") << false << false;
    // A copy that fails is reported and logged, and the operator still leaves.
    QTest::newRow("folder that takes no file") << true << false;
    // The data of a server installation is not in files here: nothing to copy.
    QTest::newRow("server installation") << false << true;
}

void tst_SessionWindows::exitWindowTakesTheAutomaticCopyFirst()
{
    QFETCH(bool, locked);
    QFETCH(bool, server);
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
    const QString target = m_t->dir.filePath(u"copias"_s);
    QVERIFY(QDir().mkpath(target));
    // Two older automatic copies with one kept: both go once the new one is made.
    for (const int day : {5, 6})
        tessal::data::takeBackup(m_dataDir, target, QDateTime(QDate(2026, 12, day), QTime(18, 0)),
                                 tessal::data::BackupKind::Automatic);
    tessal::data::writeBackupSettings(tessal::data::backupSettingsPath(m_t->context->programDir()),
                                      {true, target, 1});
    fprincipal main(*m_t->context);
    int ended = 0;
    main.setEndProgram([&] { ++ended; });
    main.load();
    main.show();
    click(&main, u"Command1"_s);
    QWidget *exit = topLevel(u"fsair"_s);
    QVERIFY(exit);
    if (server)
        m_t->context->session().setDataDirectory(u"postgresql://caixa@localhost/caixa"_s);
    {
        std::optional<tessal::test::ImmutableDirectory> immutable;
        if (locked) {
            immutable.emplace(target);
            QVERIFY(immutable->holds());
            m_t->dialogs.expectMessage(u"Não foi possível gravar a cópia de segurança"_s);
        }
        click(exit, u"cmdOK"_s);
    }
    QCOMPARE(ended, 1);
    const QString made = QDir(target).filePath(u"tessal-copia-automatica-2026-12-07_09-05-33"_s);
    const QStringList lines = logText(u"001"_s).split(u"\r\n"_s, Qt::SkipEmptyParts);
    QStringList records;
    for (const QString &line : lines)
        if (!line.startsWith(u'-'))
            records.append(line.section(u'-', 2, 2));
    if (server) {
        QCOMPARE(tessal::data::findBackups(target).size(), 2);
        QCOMPARE(records, QStringList{u"************EFETUOU LOG OFF NO SISTEMA************"_s});
    } else if (locked) {
        QCOMPARE(tessal::data::findBackups(target).size(), 2);
        QCOMPARE(records, (QStringList{u"CÓPIA DE SEGURANÇA AUTOMÁTICA FALHOU"_s,
                                       u"************EFETUOU LOG OFF NO SISTEMA************"_s}));
    } else {
        QCOMPARE(tessal::data::findBackups(target), QStringList{made});
        QCOMPARE(tessal::data::verifyBackup(made).accounts, qint64(0));
        QCOMPARE(records, (QStringList{u"CÓPIA DE SEGURANÇA AUTOMÁTICA GRAVADA"_s,
                                       u"CÓPIA AUTOMÁTICA ANTIGA REMOVIDA"_s,
                                       u"CÓPIA AUTOMÁTICA ANTIGA REMOVIDA"_s,
                                       u"************EFETUOU LOG OFF NO SISTEMA************"_s}));
    }
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
}

void tst_SessionWindows::contactWindowOpensFromThePicture()
{
    fprincipal main(*m_t->context);
    main.load();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QTest::mouseClick(main.findChild<QLabel *>(u"Image2"_s), Qt::LeftButton);
    QWidget *contact = topLevel(u"ffaleconosco"_s);
    QVERIFY(contact);
    QCOMPARE(contact->windowTitle(), u"Fale Conosco"_s);
    auto *leave = contact->findChild<QPushButton *>(u"cmdSair"_s);
    QCOMPARE(leave->text(), u"&Sair"_s);
    QTest::mouseClick(leave, Qt::LeftButton);
    QVERIFY(!topLevel(u"ffaleconosco"_s));
}

void tst_SessionWindows::splashShowsTheVersion()
{
    tessal::frmSplash splash;
    QCOMPARE(splash.findChild<QLabel *>(u"versao"_s)->text(), tessal::versionText());
}

QTEST_MAIN(tst_SessionWindows)
#include "tst_sessionwindows.moc"
