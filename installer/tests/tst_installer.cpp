#include "core/config.h"
#include "core/ui/qtdialogs.h"
#include "installer/installation.h"
#include "installer/ui/finstalacao.h"
#include "testsupport/testcontext.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

using namespace tessal;
using tessal::test::TestContext;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestInstaller : public QObject
{
    Q_OBJECT

private slots:
    void loadStartsInProgramDirectory()
    {
        TestContext t;
        finstalacao window(*t.context);
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("DS_DIRETORIO"))->text(),
                 t.programDir());
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("ds_banco"))->text(),
                 QStringLiteral("CHEQUES.MDB"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Instalador de Sistemas"));
        QVERIFY(window.findChild<QComboBox *>(QStringLiteral("Drive"))->count() > 0);
        for (const char *name : {"Command4", "Command1", "Command6", "ler"})
            QVERIFY2(window.findChild<QPushButton *>(QString::fromLatin1(name)), name);
    }

    void writesConfigurationAsOneLine()
    {
        TestContext t;
        finstalacao window(*t.context);
        window.Dir_Change(QStringLiteral("/srv/tessal dados"));
        t.dialogs.expectMessage(QStringLiteral("Arquivo de Configuração Criado com sucesso!!"));
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Command4")),
                          Qt::LeftButton);
        TESSAL_VERIFY_DIALOGS(t.dialogs);
        QCOMPARE(readAll(configFilePath(t.programDir())), QByteArray("/srv/tessal dados\r\n"));
    }

    void refusesEmptyDirectory()
    {
        TestContext t;
        finstalacao window(*t.context);
        window.Dir_Change(QString());
        t.dialogs.expectMessage(
            QStringLiteral("Não posso criar arquivo de configuração com diretório vazio!!"));
        window.Command4_Click();
        TESSAL_VERIFY_DIALOGS(t.dialogs);
        QVERIFY(!QFile::exists(configFilePath(t.programDir())));
    }

    void failedWriteReportedWithoutSuccess()
    {
        TestContext t;
        // A folder where sys.ini should go makes the write fail.
        QVERIFY(QDir(t.programDir()).mkdir(QStringLiteral("sys.ini")));
        finstalacao window(*t.context);
        t.dialogs.expectMessage(QStringLiteral("Formulário: finstalacao"));
        window.Command4_Click();
        TESSAL_VERIFY_DIALOGS(t.dialogs);
        QCOMPARE(t.dialogs.messages().size(), 1); // no success message after the error box
        QVERIFY(readAll(t.errorLogPath()).contains("sys.ini"));
    }

    void createsValidLauncher()
    {
        TestContext t;
        QTemporaryDir desktop;
        finstalacao window(*t.context);
        window.setDesktopFolder(desktop.path());
        const QString install = QStringLiteral("/opt/Tessal \"Caixa\" $HOME 100%");
        window.Dir_Change(install);
        t.dialogs.expectMessage(QStringLiteral("Atalho Criado com sucesso!!"));
        window.Command1_Click();
        TESSAL_VERIFY_DIALOGS(t.dialogs);

        const QString launcher = desktop.filePath(QStringLiteral("Tessal Caixa.desktop"));
        const QByteArray text = readAll(launcher);
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("Exec=\"/opt/Tessal \\\\\"Caixa\\\\\" \\\\$HOME 100%%/tessal\"\n"));
        QVERIFY(QFileInfo(launcher).isExecutable());

        const QString validator =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QFAIL("desktop-file-validate is not installed: scripts/install-deps.sh installs "
                  "desktop-file-utils");
        QProcess p;
        p.start(validator, {launcher});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput() + p.readAllStandardError(), QByteArray());
    }

    void launcherFailureReportedWithoutSuccess()
    {
        TestContext t;
        finstalacao window(*t.context);
        window.setDesktopFolder(t.programDir() + QStringLiteral("/no-desktop"));
        t.dialogs.expectMessage(QStringLiteral("Erro No."));
        window.Command1_Click();
        TESSAL_VERIFY_DIALOGS(t.dialogs);
        QCOMPARE(t.dialogs.messages().size(), 1);
    }

    void unreadableDriveKeepsPreviousOne()
    {
        TestContext t;
        finstalacao window(*t.context);
        auto *drive = window.findChild<QComboBox *>(QStringLiteral("Drive"));
        const QString before = drive->currentText();
        t.dialogs.expectMessage(QStringLiteral("Drive não acessível"));
        window.Drive_Change(QStringLiteral("/no/such/volume"));
        TESSAL_VERIFY_DIALOGS(t.dialogs);
        QCOMPARE(drive->currentText(), before);
        QCOMPARE(window.chosenDirectory(), t.programDir());
    }

    void browsingForDatabaseChoosesItsFolder()
    {
        TestContext t;
        finstalacao window(*t.context);
        t.dialogs.answerOpenFile(QStringLiteral("/srv/dados/caixa.mdb"));
        window.ler_Click();
        QCOMPARE(window.chosenDirectory(), QStringLiteral("/srv/dados"));
        t.dialogs.answerOpenFile(QString()); // cancelled: nothing changes
        window.ler_Click();
        QCOMPARE(window.chosenDirectory(), QStringLiteral("/srv/dados"));
        TESSAL_VERIFY_DIALOGS(t.dialogs);
    }

    // With TESSAL_SCREENSHOT_DIR set, saves what the operator sees: the installer and the error
    // box its failed write shows.
    void screenshots()
    {
        const QString dir = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("TESSAL_SCREENSHOT_DIR not set");
        TestContext t;
        finstalacao window(*t.context);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.grab().save(dir + QStringLiteral("/installer.png")));

        QVERIFY(QDir(t.programDir()).mkdir(QStringLiteral("sys.ini")));
        t.dialogs.expectMessage(QStringLiteral("Erro No."));
        window.Command4_Click();
        const auto box =
            makeMessageBox(t.dialogs.messages().value(0), QString(), Dialogs::Icon::Critical);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QVERIFY(box->grab().save(dir + QStringLiteral("/error-box.png")));
    }

    void volumesListed()
    {
        const QStringList volumes = installer::installableVolumes();
        QVERIFY(volumes.contains(QDir::rootPath()));
        QVERIFY(!volumes.contains(QStringLiteral("/proc")));
    }
};

QTEST_MAIN(TestInstaller)
#include "tst_installer.moc"
