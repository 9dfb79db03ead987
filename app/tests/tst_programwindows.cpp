#include "app/programwindows.h"
#include "core/config.h"
#include "core/pageddocument.h"
#include "data/backup.h"
#include "data/database.h"
#include "ledger/consistency.h"
#include "ledger/ledger.h"
#include "ledger/sessionmarker.h"
#include "reports/shippedlayouts.h"
#include "session/menuconfig.h"
#include "session/ui/fprincipal.h"
#include "testsupport/testcontext.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>

using namespace tessal;
using namespace Qt::StringLiterals;

// The program's own wiring: which window each place of the shipped menu opens.
class tst_ProgramWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::TestContext> m_t;
    QString m_dataDir;

    QWidget *openWindowNamed(fprincipal *main, const QString &name) const
    {
        for (QWidget *w : main->findChildren<QWidget *>(name, Qt::FindDirectChildrenOnly))
            if (w->isWindow() && w->isVisible())
                return w;
        return nullptr;
    }

private slots:
    void init()
    {
        m_t = std::make_unique<test::TestContext>();
        m_dataDir = m_t->dir.filePath(u"dados"_s);
        data::ensureDataDirectory(m_dataDir);
        writeConfigFile(m_t->context->configFilePath(), m_dataDir);
        m_t->context->session().setDataDirectory(m_dataDir);
    }

    void cleanup()
    {
        data::closeDatabase(data::cashDatabasePath(m_dataDir));
        data::closeDatabase(data::menuDatabasePath(m_dataDir));
        m_t.reset();
    }

    // A sys.ini naming a directory that exists but holds no caixa.mdb (a share not mounted yet, a
    // mistyped path) used to get new empty databases in silence.
    void directoryWithoutCashDatabaseAsksFirst_data()
    {
        QTest::addColumn<bool>("create");
        QTest::newRow("Não: nothing is written") << false;
        QTest::newRow("Sim: a new cash database") << true;
    }

    void directoryWithoutCashDatabaseAsksFirst()
    {
        QFETCH(bool, create);
        const QString share = m_t->dir.filePath(u"compartilhamento"_s);
        QVERIFY(QDir().mkpath(share));
        writeConfigFile(m_t->context->configFilePath(), share);
        m_t->dialogs.answerYesNo(create);

        ProgramWindows windows(*m_t->context);
        QCOMPARE(windows.prepareDataDirectory(), create);

        QCOMPARE(m_t->dialogs.asked().size(), 1);
        const auto &question = m_t->dialogs.asked().first();
        QCOMPARE(question.kind, test::ScriptedDialogs::Kind::YesNo);
        QCOMPARE(question.icon, Dialogs::Icon::Question);
        QVERIFY2(question.text.contains(QDir::toNativeSeparators(share)) &&
                     question.text.contains(u"caixa.mdb"_s),
                 qPrintable(question.text));
        const QStringList written =
            QDir(share).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        if (create) {
            QVERIFY2(written.contains(u"caixa.mdb"_s) && written.contains(u"MENU.mdb"_s),
                     qPrintable(written.join(u", "_s)));
            data::closeDatabase(data::cashDatabasePath(share));
            data::closeDatabase(data::menuDatabasePath(share));
        } else {
            QCOMPARE(written, QStringList());
        }
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    }

    // The menu belongs to the program, not to the operator's data: a missing one is made again.
    void missingMenuBesideCashDatabaseIsMadeAgain()
    {
        data::closeDatabase(data::menuDatabasePath(m_dataDir));
        QVERIFY(QFile::remove(data::menuDatabasePath(m_dataDir)));
        ProgramWindows windows(*m_t->context);
        QVERIFY(windows.prepareDataDirectory());
        QSqlQuery query(
            data::openDatabase(data::menuDatabasePath(m_dataDir), data::DatabaseKind::Menu));
        QVERIFY(query.exec(u"SELECT count(*) FROM CONFIG"_s));
        QVERIFY(query.next());
        QVERIFY(query.value(0).toInt() > 0);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    }

    void menuOpensEachWindowOnce_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("window");
        QTest::newRow("ledger") << 2 << 1 << u"flancamentos"_s;
        QTest::newRow("analysis cube") << 2 << 2 << u"fcubovendas"_s;
        QTest::newRow("financial reports") << 3 << 1 << u"frelatoriosfinanceiros"_s;
        QTest::newRow("log viewer") << 5 << 2 << u"fmostralog"_s;
        QTest::newRow("balance check") << 5 << 3 << u"fverificasaldos"_s;
        QTest::newRow("period query") << 4 << 1 << u"fconsultaperiodo"_s;
        QTest::newRow("backup") << 5 << 4 << u"fcopiaseguranca"_s;
        QTest::newRow("restore") << 5 << 5 << u"frestaurarcopia"_s;
    }

    void menuOpensEachWindowOnce()
    {
        QFETCH(int, group);
        QFETCH(int, position);
        QFETCH(QString, window);
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        fprincipal *main = windows.mainWindow();
        QVERIFY(main);
        QVERIFY(!openWindowNamed(main, window));
        main->ButtonBar1_ButtonClick(group, position);
        QWidget *opened = openWindowNamed(main, window);
        QVERIFY(opened);
        main->ButtonBar1_ButtonClick(group, position);
        QCOMPARE(openWindowNamed(main, window), opened);
        QCOMPARE(main->findChildren<QWidget *>(window, Qt::FindDirectChildrenOnly).size(), 1);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    }

    // Start-up gives the data directory the shipped layouts, and never touches one the operator
    // already has.
    void startUpCopiesTheMissingLayouts()
    {
        const QString mine = QDir(m_dataDir).filePath(u"consolidado.rpt"_s);
        QFile own(mine);
        QVERIFY(own.open(QIODevice::WriteOnly));
        own.write("meu consolidado\n");
        own.close();
        ProgramWindows windows(*m_t->context);
        QVERIFY(windows.prepareDataDirectory());
        for (const QString &name : reports::shippedLayoutNames())
            QVERIFY2(QFile::exists(QDir(m_dataDir).filePath(name)), qPrintable(name));
        QFile check(mine);
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), QByteArray("meu consolidado\n"));
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    }

    void consolidatedReportIsShownMaximised()
    {
        ProgramWindows windows(*m_t->context);
        QVERIFY(windows.prepareDataDirectory());
        windows.loadMainWindow();
        m_t->dialogs.expectPreview();
        windows.mainWindow()->ButtonBar1_ButtonClick(3, 2);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        QVERIFY(m_t->dialogs.lastPreview());
        QCOMPARE(m_t->dialogs.lastPreview()->title(), u"Consolidado das Contas"_s);
        QCOMPARE(m_t->dialogs.lastPreviewOptions().windowState, Qt::WindowMaximized);
    }

    // Without consolidado.rpt the steps are reported, the main window's name in the box, and
    // nothing is shown.
    void consolidatedReportWithoutItsLayoutIsReported()
    {
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        m_t->dialogs.expectMessage(u"consolidado.rpt\" não foi encontrado"_s);
        m_t->dialogs.expectMessage(u"O relatório não foi emitido."_s);
        windows.mainWindow()->ButtonBar1_ButtonClick(3, 2);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        for (const QString &box : m_t->dialogs.messages())
            QVERIFY2(box.contains(u"Formulário: fprincipal"_s), qPrintable(box));
        QVERIFY(!m_t->dialogs.lastPreview());
    }

    void helpButtonOpensTheHelpFile()
    {
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        const QString help = m_t->context->session().helpFilePath();
        {
            QFile f(help);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<html></html>");
        }
        m_t->dialogs.answerShell(true);
        windows.mainWindow()->ButtonBar1_ButtonClick(5, 1);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        QCOMPARE(m_t->dialogs.asked().first().text, help);
    }

    // The restore closes every connection of the program to the two files; the main window and
    // the windows opened after it must work on the restored ones.
    void restoreThroughTheMenuLeavesTheMainWindowWorking()
    {
        m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
        const QString target = m_t->dir.filePath(u"copias"_s);
        QVERIFY(QDir().mkpath(target));
        data::takeBackup(m_dataDir, target, m_t->clock.now());
        data::writeBackupSettings(data::backupSettingsPath(m_t->context->programDir()),
                                  {false, target, 10});
        {
            QSqlQuery query(
                data::openDatabase(data::menuDatabasePath(m_dataDir), data::DatabaseKind::Menu));
            QVERIFY(query.exec(u"UPDATE CONFIG SET descricao = 'Depois da cópia' WHERE grupo = 5 "
                               "AND opcao = 1"_s));
        }

        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        fprincipal *main = windows.mainWindow();
        main->show();
        main->ButtonBar1_ButtonClick(5, 5);
        QWidget *restore = openWindowNamed(main, u"frestaurarcopia"_s);
        QVERIFY(restore);
        m_t->dialogs.answerYesNo(true);
        m_t->dialogs.expectMessage(u"foram movidos para"_s);
        QTest::mouseClick(restore->findChild<QPushButton *>(u"cmdRestaurar"_s), Qt::LeftButton);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);

        const QList<MenuButton> menu = readMenuConfig(data::menuDatabasePath(m_dataDir));
        QVERIFY(!menu.isEmpty());
        QCOMPARE(menu.first().group, 1);
        const auto help = std::find_if(menu.begin(), menu.end(), [](const MenuButton &b) {
            return b.group == 5 && b.option == 1;
        });
        QVERIFY(help != menu.end());
        QCOMPARE(help->caption, u"Ajuda"_s);
        main->ButtonBar1_ButtonClick(2, 1);
        QVERIFY(openWindowNamed(main, u"flancamentos"_s));
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    }

    // The utilities that copy the data files say why they do not open on a server installation,
    // and the log-off takes no file copy there. The balance check works there: its window opens,
    // without the option of the file's index check.
    void fileUtilitiesAreRefusedOnAServer()
    {
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        fprincipal *main = windows.mainWindow();
        m_t->context->session().setDataDirectory(u"postgresql://caixa@localhost/caixa"_s);
        for (const auto &[position, window] :
             {std::pair{4, u"fcopiaseguranca"_s}, std::pair{5, u"frestaurarcopia"_s}}) {
            m_t->dialogs.expectMessage(u"estão no servidor PostgreSQL"_s);
            main->ButtonBar1_ButtonClick(5, position);
            QVERIFY2(!openWindowNamed(main, window), qPrintable(window));
            TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        }
        QCOMPARE(m_t->dialogs.asked().size(), 2);
        main->ButtonBar1_ButtonClick(5, 3);
        QWidget *check = openWindowNamed(main, u"fverificasaldos"_s);
        QVERIFY(check);
        QVERIFY(!check->findChild<QCheckBox *>(u"chkIndices"_s)->isEnabled());
        QCOMPARE(m_t->dialogs.asked().size(), 2);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        m_t->context->session().setDataDirectory(m_dataDir);
    }

    void placesOutsideTheTableDoNothing()
    {
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        const int before = windows.mainWindow()->findChildren<QWidget *>().size();
        for (const auto &[group, position] : {std::pair{2, 3}, std::pair{5, 9}, std::pair{6, 1}})
            windows.mainWindow()->ButtonBar1_ButtonClick(group, position);
        QCOMPARE(windows.mainWindow()->findChildren<QWidget *>().size(), before);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    }

    // ---- the session marker -------------------------------------------------------------------

    QString markerPath() const
    {
        return ledger::SessionMarker::pathFor(m_t->context->programDir(), m_dataDir);
    }

    QString cashPath() const { return data::cashDatabasePath(m_dataDir); }

    void post(const QString &account, const QString &amount, const QString &date) const
    {
        ledger::Ledger(cashPath()).post({account, u"00001"_s, QString(), amount, date});
    }

    void seedDescription() const
    {
        QSqlQuery query(data::openDatabase(cashPath()));
        QVERIFY(query.exec(u"INSERT INTO contas VALUES ('101', 'Caixa'), ('102', 'Banco'), "
                           "('103', 'Cofre')"_s));
        QVERIFY(query.exec(u"INSERT OR REPLACE INTO historicos VALUES ('00001', 'Venda', 'C')"_s));
    }

    void damage(const QString &code) const
    {
        QSqlQuery query(data::openDatabase(cashPath()));
        QVERIFY(query.exec(
            u"UPDATE lancamentos SET vl_saldo = 0.01 WHERE cd_lancamento = '%1'"_s.arg(code)));
    }

    // A clean start asks nothing; the marker lives from the start of the session to its end.
    void cleanStartWritesTheMarkerAndAsksNothing()
    {
        QVERIFY(!QFile::exists(markerPath()));
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        windows.showMainWindow();
        QVERIFY(QFile::exists(markerPath()));
        QCOMPARE(ledger::SessionMarker(markerPath()).leftOver(), std::optional(QStringList()));
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        QVERIFY(m_t->dialogs.asked().isEmpty());

        windows.endSession();
        QVERIFY(!QFile::exists(markerPath()));
    }

    // A marker left by a session that ended badly: the accounts it names are checked quickly,
    // and the wrong one is repaired after the operator's yes.
    void uncleanEndFindsTheNotedAccount()
    {
        seedDescription();
        post(u"102"_s, u"10,00"_s, u"01/03/2025"_s);
        post(u"102"_s, u"2,50"_s, u"02/03/2025"_s);
        for (int i = 0; i < 60; ++i)
            post(u"101"_s, u"1,00"_s, u"03/03/2025"_s);
        damage(u"0000000002"_s);
        ledger::SessionMarker left(markerPath());
        left.begin(m_dataDir);
        left.note(u"102"_s);

        m_t->dialogs.answerYesNo(true);
        m_t->dialogs.expectMessage(u"Saldos corrigidos"_s);
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        windows.showMainWindow();
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        const QString question = m_t->dialogs.asked().first().text;
        QVERIFY2(question.contains(u"não foi encerrado corretamente"_s) &&
                     question.contains(u"Conta 102 - Banco"_s),
                 qPrintable(question));
        QCOMPARE(ledger::accountsWithWrongBalances(cashPath()), QStringList());
        // The new session's marker carries the account until a clean end.
        QVERIFY(ledger::SessionMarker(markerPath()).leftOver()->contains(u"102"_s));
        windows.endSession();
        QVERIFY(!QFile::exists(markerPath()));
    }

    // Nothing wrong in the accounts changed last: the operator is told so and offered the full
    // check, which finds the damage in an account no one noted.
    void uncleanEndWithNothingFoundOffersTheFullCheck_data()
    {
        QTest::addColumn<bool>("full");
        QTest::newRow("Sim: the full check finds and repairs") << true;
        QTest::newRow("Não: nothing more is done") << false;
    }

    void uncleanEndWithNothingFoundOffersTheFullCheck()
    {
        QFETCH(bool, full);
        seedDescription();
        post(u"103"_s, u"7,00"_s, u"01/01/2025"_s);
        post(u"103"_s, u"3,00"_s, u"02/01/2025"_s);
        // More later entries than the start-up check reads, all in another account.
        for (int i = 0; i < 60; ++i)
            post(u"101"_s, u"1,00"_s, u"03/03/2025"_s);
        damage(u"0000000002"_s);
        ledger::SessionMarker(markerPath()).begin(m_dataDir);

        m_t->dialogs.answerYesNo(full);
        if (full) {
            m_t->dialogs.answerYesNo(true);
            m_t->dialogs.expectMessage(u"Saldos corrigidos"_s);
        }
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        windows.showMainWindow();
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        QVERIFY2(m_t->dialogs.asked().first().text.contains(u"não encontrou nenhum problema"_s),
                 qPrintable(m_t->dialogs.asked().first().text));
        QCOMPARE(ledger::accountsWithWrongBalances(cashPath()),
                 full ? QStringList() : QStringList{u"103"_s});
        windows.endSession();
    }
};

QTEST_MAIN(tst_ProgramWindows)
#include "tst_programwindows.moc"
