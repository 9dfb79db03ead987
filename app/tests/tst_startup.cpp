#include "app/startup.h"
#include "core/singleinstance.h"
#include "testsupport/testcontext.h"

#include <QFile>
#include <QTest>

using namespace tessal;
using tessal::test::ScriptedDialogs;

namespace {

// Records which windows the routine asked for, in order.
class RecordingWindows final : public StartupWindows
{
public:
    bool loginAccepted = true;
    QStringList calls;

    void runInstaller() override { calls << QStringLiteral("installer"); }
    bool runLogin() override
    {
        calls << QStringLiteral("login");
        return loginAccepted;
    }
    void showSplash() override { calls << QStringLiteral("splash"); }
    void loadMainWindow() override { calls << QStringLiteral("load main"); }
    void closeSplash() override { calls << QStringLiteral("close splash"); }
    void showMainWindow() override { calls << QStringLiteral("show main"); }
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString configPath() const { return m_dir.filePath(QStringLiteral("sys.ini")); }
    void writeConfig()
    {
        QFile f(configPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("/dados\r\n");
    }

private slots:
    void init() { QFile::remove(configPath()); }

    void fullStartInOrder()
    {
        writeConfig();
        SingleInstance lock(m_dir.filePath(QStringLiteral("lock")));
        ScriptedDialogs dialogs;
        RecordingWindows windows;
        QCOMPARE(runStartup(lock, dialogs, configPath(), windows), StartupResult::Running);
        QCOMPARE(windows.calls,
                 (QStringList{QStringLiteral("login"), QStringLiteral("splash"),
                              QStringLiteral("load main"), QStringLiteral("close splash"),
                              QStringLiteral("show main")}));
        TESSAL_VERIFY_DIALOGS(dialogs);
    }

    void missingConfigRunsOnlyTheInstaller()
    {
        SingleInstance lock(m_dir.filePath(QStringLiteral("lock")));
        ScriptedDialogs dialogs;
        RecordingWindows windows;
        QCOMPARE(runStartup(lock, dialogs, configPath(), windows), StartupResult::Installed);
        QCOMPARE(windows.calls, QStringList{QStringLiteral("installer")});
        TESSAL_VERIFY_DIALOGS(dialogs);
    }

    void cancelledLoginShowsNoSplash()
    {
        writeConfig();
        SingleInstance lock(m_dir.filePath(QStringLiteral("lock")));
        ScriptedDialogs dialogs;
        RecordingWindows windows;
        windows.loginAccepted = false;
        QCOMPARE(runStartup(lock, dialogs, configPath(), windows), StartupResult::LoginCancelled);
        QCOMPARE(windows.calls, QStringList{QStringLiteral("login")});
    }

    void secondCopyToldAndStopped()
    {
        writeConfig();
        SingleInstance running(m_dir.filePath(QStringLiteral("lock")));
        QVERIFY(running.tryAcquire());
        SingleInstance second(m_dir.filePath(QStringLiteral("lock")));
        ScriptedDialogs dialogs;
        dialogs.expectMessage(QStringLiteral("Programa Já Encontra-se Ativo..."));
        RecordingWindows windows;
        QCOMPARE(runStartup(second, dialogs, configPath(), windows), StartupResult::AlreadyRunning);
        QVERIFY(windows.calls.isEmpty());
        TESSAL_VERIFY_DIALOGS(dialogs);
        QCOMPARE(dialogs.asked().first().text, QStringLiteral("Programa Já Encontra-se Ativo..."));
        QVERIFY(running.isHeld());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
