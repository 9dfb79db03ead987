#include "core/singleinstance.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using tessal::SingleInstance;

// Each test starts real processes: the lock has to hold across processes, not just objects.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    static QString holder()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/lockholder");
    }

    static void startHolder(QProcess &p, const QString &dir)
    {
        p.start(holder(), {dir});
        QVERIFY(p.waitForStarted());
        QVERIFY(p.waitForReadyRead(10000));
        QCOMPARE(p.readLine().trimmed(), QByteArray("held"));
    }

private slots:
    void secondProcessRefused()
    {
        QTemporaryDir dir;
        QProcess first;
        startHolder(first, dir.path());

        QProcess second;
        second.start(holder(), {dir.path()});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.readAll().trimmed(), QByteArray("refused"));
        QCOMPARE(second.exitCode(), 1);

        // Within this process too, while the first holds it.
        SingleInstance here(dir.path());
        QVERIFY(!here.tryAcquire());

        first.write("\n");
        QVERIFY(first.waitForFinished(10000));
        QVERIFY(here.tryAcquire());
    }

    void staleLockOfKilledProcessRecovered()
    {
        QTemporaryDir dir;
        QProcess crashed;
        startHolder(crashed, dir.path());
        crashed.kill(); // SIGKILL: the lock file stays behind
        QVERIFY(crashed.waitForFinished(10000));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("tessal-caixa.lock"))));

        QProcess next;
        next.start(holder(), {dir.path()});
        QVERIFY(next.waitForReadyRead(10000));
        QCOMPARE(next.readLine().trimmed(), QByteArray("held"));
        next.write("\n");
        QVERIFY(next.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
