// `tessal --check DATA_DIR` run as the operator would run it: the built program, in a process of
// its own, with no display. On the server run, DATA_DIR is a scratch database's URI.

#include "core/activitylog.h"
#include "core/textfile.h"
#include "data/database.h"
#include "data/server.h"
#include "ledger/consistency.h"
#include "ledger/ledger.h"
#include "ledger/tests/ledgerfixture.h"
#include "testsupport/serverdatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tessal;
using namespace tessal::ledger;
using namespace tessal::ledger::test;
using namespace Qt::StringLiterals;

namespace {

const QLocale PtBr(QLocale::Portuguese, QLocale::Brazil);

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class tst_CheckCommand : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cleanDataExitsZero();
    void wrongBalancesAreRepairedExitOne();
    void damagedFileIsReportedAndLeftAlone();
    void unreadableDataExitsTwo_data();
    void unreadableDataExitsTwo();
    void unreadableServerExitsTwo_data();
    void unreadableServerExitsTwo();

private:
    // The program copied into a directory of its own, so its activity logs land there.
    Run check(const QString &dataDir, const QStringList &options = {}) const;
    QString dataDir() const { return m_file->source().dataDirectory(); }
    bool onServer() const { return m_file->source().onServer(); }
    QString logText() const;
    void post(const QString &account, const QString &amount, const QString &date);

    std::unique_ptr<QTemporaryDir> m_programDir;
    std::unique_ptr<CashFile> m_file;
};

void tst_CheckCommand::init()
{
    m_programDir = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(QStringLiteral(TESSAL_EXECUTABLE), m_programDir->filePath(u"tessal"_s)));
    m_file = std::make_unique<CashFile>();
    TESSAL_REQUIRE_DATA_SOURCE(m_file->source());
}

void tst_CheckCommand::cleanup()
{
    m_file.reset();
    m_programDir.reset();
}

Run tst_CheckCommand::check(const QString &dir, const QStringList &options) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    process.setProcessEnvironment(env);
    process.start(m_programDir->filePath(u"tessal"_s),
                  QStringList{u"--check"_s} + options + QStringList{dir});
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString tst_CheckCommand::logText() const
{
    QString text;
    const QStringList files = QDir(m_programDir->path()).entryList({u"FCCMD*.log"_s});
    for (const QString &name : files)
        text += readText(m_programDir->filePath(name));
    return text;
}

void tst_CheckCommand::post(const QString &account, const QString &amount, const QString &date)
{
    Ledger(m_file->path(), PtBr).post({account, Credit, QString(), amount, date});
}

void tst_CheckCommand::cleanDataExitsZero()
{
    post(u"001"_s, u"10,00"_s, u"01/02/2025"_s);
    post(u"002"_s, u"20,00"_s, u"02/02/2025"_s);
    data::closeDatabase(m_file->path());
    const Run run = check(dataDir());
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(u"Todos os saldos conferem."_s), qPrintable(run.out + run.err));
    QVERIFY2(run.out.contains(u"Lançamentos verificados: 2."_s), qPrintable(run.out));
    QVERIFY(logText().contains(u"LINHA DE COMANDO-VERIFICOU OS SALDOS (COMPLETA): 0 CONTA(S)"_s));

    QVERIFY2(run.out.contains(u"Verificação dos saldos de \"%1\""_s.arg(
                 onServer() ? dataDir() : QDir::toNativeSeparators(m_file->path()))),
             qPrintable(run.out));

    // A server's index contents are its administrator's to check: said so, and never logged as
    // checked.
    const Run indexes = check(dataDir(), {u"--indices"_s});
    QCOMPARE(indexes.status, 0);
    if (onServer()) {
        QVERIFY2(indexes.out.contains(u"O conteúdo dos índices também não foi conferido"_s),
                 qPrintable(indexes.out + indexes.err));
        QVERIFY(!logText().contains(u"COM INDICES"_s));
    } else {
        QVERIFY2(indexes.out.contains(u"com o conteúdo dos índices): nenhum problema"_s),
                 qPrintable(indexes.out + indexes.err));
        QVERIFY(logText().contains(u"VERIFICOU OS SALDOS (COMPLETA COM INDICES): 0 CONTA(S)"_s));
    }

    const Run twoDirectories = check(dataDir(), {dataDir()});
    QCOMPARE(twoDirectories.status, 2);
    QVERIFY2(twoDirectories.err.contains(u"Uso: tessal --check [--indices]"_s),
             qPrintable(twoDirectories.err));
}

void tst_CheckCommand::wrongBalancesAreRepairedExitOne()
{
    post(u"002"_s, u"20,00"_s, u"02/02/2025"_s);
    post(u"002"_s, u"5,50"_s, u"01/02/2025"_s);
    m_file->run(u"UPDATE lancamentos SET vl_saldo = NULL WHERE cd_lancamento = '0000000002'"_s);
    data::closeDatabase(m_file->path());
    const Run run = check(dataDir());
    QCOMPARE(run.status, 1);
    QVERIFY2(run.out.contains(u"Conta 002 - Banco"_s), qPrintable(run.out + run.err));
    QVERIFY2(run.out.contains(u"0000000002 de 01/02/2025: saldo gravado (vazio), saldo correto "_s +
                              formatGrouped2(550, PtBr)),
             qPrintable(run.out));
    QVERIFY2(run.out.contains(u"Saldos corrigidos na conta 002 - Banco."_s), qPrintable(run.out));
    QVERIFY(run.out.indexOf(u"Todos os saldos conferem."_s) >
            run.out.indexOf(u"Nova verificação"_s));
    QCOMPARE(accountsWithWrongBalances(m_file->path()), QStringList());
    QCOMPARE(m_file->balanceList(u"002"_s), (QList<double>{5.50, 25.50}));
    QVERIFY(logText().contains(u"CORRIGIU OS SALDOS DA CONTA-002 - Banco"_s));

    data::closeDatabase(m_file->path());
    QCOMPARE(check(dataDir()).status, 0);
}

void tst_CheckCommand::damagedFileIsReportedAndLeftAlone()
{
    if (onServer())
        QSKIP("about a damaged SQLite file; a server keeps and checks its own files");
    for (int i = 0; i < 300; ++i)
        post(i % 2 ? u"001"_s : u"003"_s, u"1,10"_s,
             data::showDate(QDate(2025, 1, 1).addDays(i % 50)));
    m_file->run(u"UPDATE lancamentos SET vl_saldo = 0 WHERE cd_lancamento = '0000000009'"_s);
    damageIndexPage(m_file->path(), u"lancamentos_historico"_s);
    if (QTest::currentTestFailed())
        return;
    const QByteArray before = fileBytes(m_file->path());
    const Run run = check(dataDir());
    QCOMPARE(run.status, 1);
    QVERIFY2(run.out.contains(u"O ARQUIVO ESTÁ DANIFICADO"_s), qPrintable(run.out + run.err));
    QVERIFY2(run.out.contains(u"O arquivo não foi alterado."_s), qPrintable(run.out));
    QVERIFY(!run.out.contains(u"Saldos corrigidos"_s));
    QCOMPARE(fileBytes(m_file->path()), before);
    QVERIFY(logText().contains(u"ARQUIVO DANIFICADO"_s));
    QVERIFY(!logText().contains(u"CORRIGIU"_s));
}

void tst_CheckCommand::unreadableDataExitsTwo_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing directory") << u"missing directory"_s;
    QTest::newRow("directory without caixa.mdb") << u"no file"_s;
    QTest::newRow("not SQLite") << u"text"_s;
    QTest::newRow("the menu database") << u"menu"_s;
}

void tst_CheckCommand::unreadableDataExitsTwo()
{
    QFETCH(QString, kind);
    if (onServer())
        QSKIP("data directories only");
    QTemporaryDir scratch;
    QString dir = scratch.filePath(u"dados"_s);
    if (kind != u"missing directory")
        QVERIFY(QDir().mkpath(dir));
    const QString cash = data::cashDatabasePath(dir);
    if (kind == u"text") {
        QFile file(cash);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("isto não é um banco de dados\n");
    } else if (kind == u"menu") {
        data::createMenuDatabase(data::menuDatabasePath(dir));
        data::closeDatabase(data::menuDatabasePath(dir));
        QVERIFY(QFile::copy(data::menuDatabasePath(dir), cash));
    }
    const QByteArray before = fileBytes(cash);
    const Run run = check(dir);
    QCOMPARE(run.status, 2);
    QVERIFY2(!run.err.isEmpty(), qPrintable(run.out));
    QCOMPARE(fileBytes(cash), before);
    QCOMPARE(QFileInfo::exists(cash), kind == u"text" || kind == u"menu");
}

void tst_CheckCommand::unreadableServerExitsTwo_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a password in the URI") << u"password"_s;
    QTest::newRow("no such database") << u"missing"_s;
    QTest::newRow("a database without our tables") << u"empty"_s;
}

// Nothing is made on a server the command cannot check: a database without the program's tables
// is left empty.
void tst_CheckCommand::unreadableServerExitsTwo()
{
    QFETCH(QString, kind);
    if (!onServer())
        QSKIP("the server run only");
    tessal::test::ScratchServerDatabase empty;
    TESSAL_REQUIRE_SERVER(empty);
    ServerAddress address = empty.address();
    QString uri = address.uri();
    if (kind == u"password") {
        uri.replace(u"postgresql://"_s + address.user + u'@',
                    u"postgresql://"_s + address.user + u":segredo@"_s);
        QVERIFY(uri.contains(u":segredo@"_s));
    } else if (kind == u"missing") {
        address.database += u"_nao_existe"_s;
        uri = address.uri();
    }
    const Run run = check(uri);
    QCOMPARE(run.status, 2);
    QVERIFY2(!run.err.isEmpty(), qPrintable(run.out));
    QVERIFY2(!run.err.contains(u"segredo"_s), qPrintable(run.err));
    QVERIFY(logText().isEmpty());
    QVERIFY(data::serverDatabaseIsEmpty(data::openDatabase(empty.address().uri())));
}

QTEST_GUILESS_MAIN(tst_CheckCommand)
#include "tst_checkcommand.moc"
