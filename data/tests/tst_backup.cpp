// Backups of the two databases taken while the program runs, their verification, restore and the
// automatic copies' retention.

#include "core/money.h"
#include "data/backup.h"
#include "data/database.h"
#include "data/demodata.h"
#include "ledger/consistency.h"
#include "ledger/ledger.h"
#include "testsupport/immutabledirectory.h"
#include "testsupport/testcontext.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

using namespace Qt::StringLiterals;
namespace data = tessal::data;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, qint64 offset, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(offset));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// A connection of the test's own on any SQLite file, outside the program's shared ones.
class Raw
{
public:
    explicit Raw(const QString &path)
        : m_name(u"tst-backup-"_s + QUuid::createUuid().toString(QUuid::Id128))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        db.setDatabaseName(path);
        if (!db.open())
            qWarning("cannot open %s", qPrintable(path));
    }
    ~Raw()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    QVariant value(const QString &sql) const
    {
        QSqlQuery query(db());
        if (!query.exec(sql) || !query.next())
            qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return query.value(0);
    }
    bool run(const QString &sql) const
    {
        QSqlQuery query(db());
        return query.exec(sql);
    }

private:
    QString m_name;
};

} // namespace

class tst_Backup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void folderNamesRoundTrip_data();
    void folderNamesRoundTrip();
    void backupHoldsBothDatabasesAsSingleFiles();
    void secondBackupInTheSameSecondGetsItsOwnFolder();
    void backupWhileAnotherConnectionWritesIsConsistentAndRestores();
    void failedBackupLeavesNothingBehind_data();
    void failedBackupLeavesNothingBehind();
    void refusedBackupsLeaveTheCurrentFilesUntouched_data();
    void refusedBackupsLeaveTheCurrentFilesUntouched();
    void restoreMovesTheCurrentFilesAsideAndPutsTheBackupInPlace();
    void restoreBringsAnEarlierBuildsBackupUpToDate();
    void restoreStoppedHalfWayPutsTheFilesBack_data();
    void restoreStoppedHalfWayPutsTheFilesBack();
    void restoreRefusedWhileAnotherConnectionHoldsTheDatabase();
    void restoreRefusedWhileAnotherProgramHoldsTheDatabase();
    void findBackupsListsOnlyThisProgramsNewestFirst();
    void settingsRoundTripWithDefaults();
    void automaticBackupKeepsTheNewestAndTouchesNothingElse();
    void automaticBackupOffTakesNothing();

private:
    QString cash() const { return data::cashDatabasePath(m_dataDir); }
    QString menu() const { return data::menuDatabasePath(m_dataDir); }
    qint64 entryCount(const QString &path) const;
    QMap<QString, QByteArray> currentFiles() const;
    QString backup();

    std::unique_ptr<tessal::test::TestContext> m_t;
    QString m_dataDir;
    QString m_target;
};

void tst_Backup::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    m_dataDir = m_t->dir.filePath(u"dados"_s);
    m_target = m_t->dir.filePath(u"copias"_s);
    QVERIFY(QDir().mkpath(m_target));
    data::DemoOptions options;
    options.lastDate = QDate(2026, 6, 30);
    data::generateDemoData(m_dataDir, options);
    // The program's own connections stay open, in WAL mode, as they are while it runs.
    QCOMPARE(entryCount(cash()), qint64(options.entries));
    data::openDatabase(menu(), data::DatabaseKind::Menu);
}

void tst_Backup::cleanup()
{
    data::closeDatabase(cash());
    data::closeDatabase(menu());
    m_t.reset();
}

qint64 tst_Backup::entryCount(const QString &path) const
{
    QSqlQuery query =
        data::runQuery(data::openDatabase(path), u"SELECT count(*) FROM lancamentos"_s);
    return query.next() ? query.value(0).toLongLong() : -1;
}

// Each current database with whatever SQLite keeps beside it, as bytes.
QMap<QString, QByteArray> tst_Backup::currentFiles() const
{
    QMap<QString, QByteArray> files;
    for (const QString &name : entriesOf(m_dataDir))
        files.insert(name, bytesOf(QDir(m_dataDir).filePath(name)));
    return files;
}

QString tst_Backup::backup()
{
    return data::takeBackup(m_dataDir, m_target, m_t->clock.now());
}

void tst_Backup::folderNamesRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ours");
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<int>("sequence");
    QTest::newRow("manual") << u"tessal-copia-2026-12-09_08-55-33"_s << true << false << 1;
    QTest::newRow("automatic") << u"tessal-copia-automatica-2026-12-09_08-55-33"_s << true << true
                               << 1;
    QTest::newRow("second in the second")
        << u"tessal-copia-automatica-2026-12-09_08-55-33-2"_s << true << true << 2;
    QTest::newRow("invalid time") << u"tessal-copia-2026-13-09_08-55-33"_s << false << false << 0;
    QTest::newRow("other word") << u"tessal-copia-automatica-fotos"_s << false << false << 0;
    QTest::newRow("trailing text")
        << u"tessal-copia-2026-12-09_08-55-33.zip"_s << false << false << 0;
}

void tst_Backup::folderNamesRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(bool, ours);
    QFETCH(bool, automatic);
    QFETCH(int, sequence);
    const auto parsed = data::parseBackupFolderName(name);
    QCOMPARE(parsed.has_value(), ours);
    if (!parsed)
        return;
    QCOMPARE(parsed->kind, automatic ? data::BackupKind::Automatic : data::BackupKind::Manual);
    QCOMPARE(parsed->sequence, sequence);
    QCOMPARE(parsed->taken, QDateTime(QDate(2026, 12, 9), QTime(8, 55, 33)));
    if (sequence == 1)
        QCOMPARE(data::backupFolderName(parsed->taken, parsed->kind), name);
}

void tst_Backup::backupHoldsBothDatabasesAsSingleFiles()
{
    {
        QSqlQuery query(data::openDatabase(cash()));
        QVERIFY(
            query.exec(u"UPDATE contas SET ds_conta = 'Conta alterada' WHERE cd_conta = '001'"_s));
    }
    // The change sits in the write-ahead log; the copy must hold it all the same.
    QVERIFY(QFileInfo(cash() + u"-wal"_s).size() > 0);
    const QString folder = backup();
    QCOMPARE(folder, QDir(m_target).filePath(u"tessal-copia-2026-12-07_09-05-33"_s));
    QCOMPARE(entriesOf(m_target), QStringList{u"tessal-copia-2026-12-07_09-05-33"_s});
    QCOMPARE(entriesOf(folder), (QStringList{u"MENU.mdb"_s, u"caixa.mdb"_s}));
    for (const QString &name : {u"MENU.mdb"_s, u"caixa.mdb"_s}) {
        // Bytes 18 and 19 of the header are 1 for a rollback-journal database, 2 for WAL.
        const QByteArray header = bytesOf(QDir(folder).filePath(name)).left(20);
        QCOMPARE(int(header[18]), 1);
        QCOMPARE(int(header[19]), 1);
    }
    const data::BackupInfo info = data::verifyBackup(folder);
    QCOMPARE(info.entries, entryCount(cash()));
    QCOMPARE(info.accounts, qint64(4));
    QVERIFY(info.name.has_value());
    QCOMPARE(info.name->taken, m_t->clock.now());
    Raw copy(QDir(folder).filePath(u"caixa.mdb"_s));
    QCOMPARE(copy.value(u"SELECT ds_conta FROM contas WHERE cd_conta = '001'"_s).toString(),
             u"Conta alterada"_s);
    Raw menuCopy(QDir(folder).filePath(u"MENU.mdb"_s));
    QCOMPARE(menuCopy.value(u"SELECT count(*) FROM CONFIG"_s).toInt(), 14);
}

void tst_Backup::secondBackupInTheSameSecondGetsItsOwnFolder()
{
    const QString first = backup();
    const QString second = backup();
    QCOMPARE(QFileInfo(second).fileName(), u"tessal-copia-2026-12-07_09-05-33-2"_s);
    QVERIFY(first != second);
    QCOMPARE(entriesOf(m_target).size(), 2);
    QCOMPARE(data::findBackups(m_target), (QStringList{second, first}));
}

void tst_Backup::backupWhileAnotherConnectionWritesIsConsistentAndRestores()
{
    // A writer on a connection of its own posts entries through the ledger, each one rewriting
    // the running balances after it; every count it commits is recorded.
    QString account;
    QString description;
    {
        QSqlQuery query = data::runQuery(
            data::openDatabase(cash()),
            u"SELECT cd_conta, count(*) FROM lancamentos GROUP BY cd_conta ORDER BY 2 DESC"_s);
        QVERIFY(query.next());
        account = query.value(0).toString();
        query = data::runQuery(data::openDatabase(cash()),
                               u"SELECT cd_historico FROM historicos ORDER BY 1"_s);
        QVERIFY(query.next());
        description = query.value(0).toString();
    }
    std::mutex mutex;
    std::set<qint64> committed{entryCount(cash())};
    std::atomic<int> commits = 0;
    std::atomic<bool> stop = false;
    std::atomic<bool> failed = false;
    const QString path = cash();
    std::thread writer([&] {
        try {
            tessal::ledger::Ledger ledger(path);
            for (int i = 0; !stop; ++i) {
                tessal::ledger::EntryInput input;
                input.account = account;
                input.description = description;
                input.amount = u"%1,%2"_s.arg(10 + i % 90).arg(i % 100, 2, 10, QLatin1Char('0'));
                // Early dates, so each post rewrites most of the account's balances.
                input.date = QDate(2024, 7, 1).addDays(i % 30).toString(u"dd/MM/yyyy"_s);
                ledger.post(input);
                QSqlQuery count =
                    data::runQuery(ledger.database(), u"SELECT count(*) FROM lancamentos"_s);
                count.next();
                std::lock_guard lock(mutex);
                committed.insert(count.value(0).toLongLong());
                ++commits;
            }
        } catch (...) {
            failed = true;
        }
        data::closeDatabase(path);
    });
    while (commits < 3 && !failed)
        QThread::msleep(1);

    // Backups are taken until one of them ran while the writer committed, so that the test
    // cannot pass on copies that only ever saw a quiet file.
    QStringList taken;
    bool overlapped = false;
    for (int round = 0; round < 50 && !overlapped && !failed; ++round) {
        m_t->clock.set(m_t->clock.now().addSecs(1));
        const int before = commits;
        taken.append(backup());
        overlapped = commits > before;
    }
    stop = true;
    writer.join();
    QVERIFY(!failed);
    QVERIFY2(overlapped, "no backup ran while the writer committed");

    for (const QString &folder : std::as_const(taken)) {
        const data::BackupInfo info = data::verifyBackup(folder);
        QVERIFY2(committed.count(info.entries) == 1,
                 qPrintable(u"%1 entries were never committed at once"_s.arg(info.entries)));
        // The checker reads through the program's connection, which sets WAL: it gets a copy.
        const QString copy = m_t->dir.filePath(u"verificar.mdb"_s);
        QFile::remove(copy);
        QVERIFY(QFile::copy(QDir(folder).filePath(u"caixa.mdb"_s), copy));
        QCOMPARE(tessal::ledger::accountsWithWrongBalances(copy), QStringList());
        data::closeDatabase(copy);
    }

    const data::BackupInfo last = data::verifyBackup(taken.last());
    const data::RestoreResult restored =
        data::restoreBackup(taken.last(), m_dataDir, m_t->clock.now());
    QCOMPARE(restored.restored.entries, last.entries);
    QCOMPARE(entryCount(cash()), last.entries);
    QCOMPARE(tessal::ledger::accountsWithWrongBalances(cash()), QStringList());
}

void tst_Backup::failedBackupLeavesNothingBehind_data()
{
    QTest::addColumn<bool>("immutableTarget");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("message");
    QTest::newRow("folder that takes no file") << true << QString() << u"Não foi possível gravar"_s;
    QTest::newRow("menu database missing") << false << u"MENU.mdb"_s << u"não foi encontrado"_s;
    QTest::newRow("target folder missing") << false << u"copias"_s << u"não existe"_s;
}

void tst_Backup::failedBackupLeavesNothingBehind()
{
    QFETCH(bool, immutableTarget);
    QFETCH(QString, missing);
    QFETCH(QString, message);
    if (missing == u"MENU.mdb"_s) {
        data::closeDatabase(menu());
        QVERIFY(QFile::remove(menu()));
    }
    if (missing == u"copias"_s)
        QVERIFY(QDir(m_target).removeRecursively());
    const QMap<QString, QByteArray> before = currentFiles();
    std::optional<tessal::test::ImmutableDirectory> immutable;
    if (immutableTarget) {
        immutable.emplace(m_target);
        QVERIFY(immutable->holds());
    }
    try {
        backup();
        QFAIL("the backup was taken");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().contains(message), qPrintable(e.description()));
    }
    immutable.reset();
    if (missing != u"copias"_s)
        QCOMPARE(entriesOf(m_target), QStringList());
    QCOMPARE(currentFiles().keys(), before.keys());
}

void tst_Backup::refusedBackupsLeaveTheCurrentFilesUntouched_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("foreign SQLite file") << u"foreign"_s << u"outro programa"_s;
    QTest::newRow("not an SQLite file") << u"text"_s << u"não é um banco de dados SQLite"_s;
    QTest::newRow("damaged file") << u"damaged"_s << u"danificado"_s;
    QTest::newRow("newer schema") << u"newer"_s << u"versão mais nova"_s;
    QTest::newRow("menu database missing") << u"missing"_s << u"incompleta"_s;
    QTest::newRow("menu in place of the cash database") << u"swapped"_s << u"do menu"_s;
    QTest::newRow("pending journal") << u"journal"_s << u"diário pendente"_s;
}

void tst_Backup::refusedBackupsLeaveTheCurrentFilesUntouched()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);
    const QString folder = backup();
    const QString copy = QDir(folder).filePath(u"caixa.mdb"_s);
    if (damage == u"foreign"_s) {
        QVERIFY(QFile::remove(copy));
        Raw other(copy);
        QVERIFY(other.run(u"CREATE TABLE fotos (nome TEXT)"_s));
        QVERIFY(other.run(u"PRAGMA application_id = 12345"_s));
    } else if (damage == u"text"_s) {
        QVERIFY(QFile::remove(copy));
        QFile text(copy);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Lista de compras\n");
    } else if (damage == u"damaged"_s) {
        // Past the first pages, into the entries' b-tree: the header still reads as ours.
        const qint64 size = QFileInfo(copy).size();
        QVERIFY(size > 16 * 4096);
        writeBytes(copy, size / 2, QByteArray(8192, '\x5a'));
    } else if (damage == u"newer"_s) {
        Raw file(copy);
        QVERIFY(file.run(u"PRAGMA user_version = %1"_s.arg(data::CashSchemaVersion + 1)));
    } else if (damage == u"missing"_s) {
        QVERIFY(QFile::remove(QDir(folder).filePath(u"MENU.mdb"_s)));
    } else if (damage == u"swapped"_s) {
        QVERIFY(QFile::remove(copy));
        QVERIFY(QFile::copy(QDir(folder).filePath(u"MENU.mdb"_s), copy));
    } else if (damage == u"journal"_s) {
        QFile journal(copy + u"-journal"_s);
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write(QByteArray(512, '\0'));
    }
    const QMap<QString, QByteArray> before = currentFiles();
    QVERIFY(before.contains(u"caixa.mdb-wal"_s));
    const QStringList backupFiles = entriesOf(folder);

    try {
        data::verifyBackup(folder);
        QFAIL("the backup passed verification");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().contains(message), qPrintable(e.description()));
    }
    try {
        data::restoreBackup(folder, m_dataDir, m_t->clock.now());
        QFAIL("the backup was restored");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().contains(message), qPrintable(e.description()));
        QVERIFY2(e.description().contains(u"não foram alterados"_s), qPrintable(e.description()));
    }
    QCOMPARE(currentFiles(), before);
    QCOMPARE(entriesOf(folder), backupFiles);
}

void tst_Backup::restoreMovesTheCurrentFilesAsideAndPutsTheBackupInPlace()
{
    const qint64 backedUp = entryCount(cash());
    const QString folder = backup();
    {
        QSqlQuery query(data::openDatabase(cash()));
        QVERIFY(query.exec(u"DELETE FROM lancamentos WHERE cd_conta = '001'"_s));
        QVERIFY(query.exec(u"INSERT INTO contas VALUES ('099', 'Depois da cópia')"_s));
    }
    const qint64 later = entryCount(cash());
    QVERIFY(later < backedUp);
    QVERIFY(QFileInfo(cash() + u"-wal"_s).size() > 0);

    m_t->clock.set(QDateTime(QDate(2026, 12, 9), QTime(10, 0, 1)));
    const data::RestoreResult result = data::restoreBackup(folder, m_dataDir, m_t->clock.now());
    QCOMPARE(result.movedTo,
             QDir(m_dataDir).filePath(u"antes-da-restauracao-2026-12-09_10-00-01"_s));
    QCOMPARE(result.restored.entries, backedUp);

    // The previous files are whole single files in the folder, with every change they had.
    QCOMPARE(entriesOf(result.movedTo), (QStringList{u"MENU.mdb"_s, u"caixa.mdb"_s}));
    {
        Raw previous(QDir(result.movedTo).filePath(u"caixa.mdb"_s));
        QCOMPARE(previous.value(u"SELECT count(*) FROM lancamentos"_s).toLongLong(), later);
        QCOMPARE(previous.value(u"SELECT ds_conta FROM contas WHERE cd_conta = '099'"_s).toString(),
                 u"Depois da cópia"_s);
        QCOMPARE(previous.value(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
    }
    // The data directory holds the backup's data, opened by the program as before.
    QCOMPARE(entryCount(cash()), backedUp);
    QSqlQuery query = data::runQuery(data::openDatabase(cash()),
                                     u"SELECT count(*) FROM contas WHERE cd_conta = '099'"_s);
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 0);
    QVERIFY(QFileInfo::exists(menu()));
    QSqlQuery menuRows = data::runQuery(data::openDatabase(menu(), data::DatabaseKind::Menu),
                                        u"SELECT count(*) FROM CONFIG"_s);
    QVERIFY(menuRows.next());
    QCOMPARE(menuRows.value(0).toInt(), 14);
    // The backup itself is left as it was.
    QCOMPARE(data::verifyBackup(folder).entries, backedUp);
    QCOMPARE(entriesOf(folder), (QStringList{u"MENU.mdb"_s, u"caixa.mdb"_s}));
    // No temporary file is left in the data directory.
    for (const QString &name : entriesOf(m_dataDir))
        QVERIFY2(!name.startsWith(u'.'), qPrintable(name));
}

void tst_Backup::restoreBringsAnEarlierBuildsBackupUpToDate()
{
    const QString folder = backup();
    {
        // An earlier build wrote no application id and schema version 1.
        Raw file(QDir(folder).filePath(u"caixa.mdb"_s));
        QVERIFY(file.run(u"PRAGMA application_id = 0"_s));
        QVERIFY(file.run(u"PRAGMA user_version = 1"_s));
        QVERIFY(file.run(u"DROP INDEX lancamentos_conta_totais"_s));
    }
    data::restoreBackup(folder, m_dataDir, m_t->clock.now());
    Raw restored(cash());
    QCOMPARE(restored.value(u"PRAGMA user_version"_s).toInt(), data::CashSchemaVersion);
    QCOMPARE(restored.value(u"PRAGMA application_id"_s).toInt(), data::CashApplicationId);
    QCOMPARE(restored
                 .value(u"SELECT count(*) FROM sqlite_master WHERE name = "
                        "'lancamentos_conta_totais'"_s)
                 .toInt(),
             1);
}

void tst_Backup::restoreStoppedHalfWayPutsTheFilesBack_data()
{
    QTest::addColumn<data::RestoreStep>("step");
    QTest::addColumn<int>("occurrence");
    QTest::newRow("after the first file moved") << data::RestoreStep::CurrentFileMoved << 1;
    QTest::newRow("after every file moved") << data::RestoreStep::CopyPlaced << 1;
    QTest::newRow("with both copies in place") << data::RestoreStep::CopyPlaced << 2;
    QTest::newRow("after the schema update") << data::RestoreStep::SchemaUpdated << 1;
}

void tst_Backup::restoreStoppedHalfWayPutsTheFilesBack()
{
    QFETCH(data::RestoreStep, step);
    QFETCH(int, occurrence);
    const QString folder = backup();
    {
        QSqlQuery change(data::openDatabase(cash()));
        QVERIFY(change.exec(u"DELETE FROM lancamentos WHERE cd_conta = '001'"_s));
        QSqlQuery menuChange(data::openDatabase(menu(), data::DatabaseKind::Menu));
        QVERIFY(menuChange.exec(u"DELETE FROM CONFIG WHERE grupo = 4"_s));
    }
    const qint64 entries = entryCount(cash());
    int seen = 0;
    bool stopped = false;
    try {
        data::restoreBackup(folder, m_dataDir, m_t->clock.now(), [&](data::RestoreStep reached) {
            if (reached == step && ++seen == occurrence) {
                stopped = true;
                throw tessal::Error(tessal::ErrorNumber::FileAccess, u"parada do teste"_s, {});
            }
        });
    } catch (const tessal::Error &e) {
        QCOMPARE(e.description(), u"parada do teste"_s);
    }
    QVERIFY(stopped);
    // The current files are back with everything they held, and nothing else is left.
    QStringList left = entriesOf(m_dataDir);
    left.removeIf(
        [](const QString &name) { return name.endsWith(u"-wal"_s) || name.endsWith(u"-shm"_s); });
    QCOMPARE(left, (QStringList{u"MENU.mdb"_s, u"caixa.mdb"_s}));
    QCOMPARE(entryCount(cash()), entries);
    QSqlQuery menuRows = data::runQuery(data::openDatabase(menu(), data::DatabaseKind::Menu),
                                        u"SELECT count(*) FROM CONFIG"_s);
    QVERIFY(menuRows.next());
    QCOMPARE(menuRows.value(0).toInt(), 13);
    QCOMPARE(tessal::ledger::accountsWithWrongBalances(cash()), QStringList());
}

void tst_Backup::restoreRefusedWhileAnotherConnectionHoldsTheDatabase()
{
    const QString folder = backup();
    {
        QSqlQuery change(data::openDatabase(cash()));
        QVERIFY(change.exec(u"INSERT INTO contas VALUES ('099', 'Outra janela')"_s));
    }
    const qint64 entries = entryCount(cash());
    {
        // Another program's connection, which the restore cannot close.
        Raw other(cash());
        QCOMPARE(other.value(u"SELECT count(*) FROM contas"_s).toInt(), 5);
        const QByteArray file = bytesOf(cash());
        const QByteArray log = bytesOf(cash() + u"-wal"_s);
        QVERIFY(!log.isEmpty());
        try {
            data::restoreBackup(folder, m_dataDir, m_t->clock.now());
            QFAIL("restored under an open connection");
        } catch (const tessal::Error &e) {
            QVERIFY2(e.description().contains(u"está aberto"_s), qPrintable(e.description()));
        }
        QCOMPARE(bytesOf(cash()), file);
        QCOMPARE(bytesOf(cash() + u"-wal"_s), log);
        // The other connection still reads and writes.
        QVERIFY(other.run(u"INSERT INTO contas VALUES ('098', 'Ainda aberta')"_s));
    }
    // Nothing moved aside and no copy left behind (the -wal and -shm go with the last connection).
    QStringList left = entriesOf(m_dataDir);
    left.removeIf(
        [](const QString &name) { return name.contains(u"-wal"_s) || name.contains(u"-shm"_s); });
    QCOMPARE(left, (QStringList{u"MENU.mdb"_s, u"caixa.mdb"_s}));
    QCOMPARE(entryCount(cash()), entries);
    Raw check(cash());
    QCOMPARE(check.value(u"SELECT count(*) FROM contas"_s).toInt(), 6);
    QCOMPARE(check.value(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
}

void tst_Backup::restoreRefusedWhileAnotherProgramHoldsTheDatabase()
{
    const QString folder = backup();
    {
        QSqlQuery change(data::openDatabase(cash()));
        QVERIFY(change.exec(u"DELETE FROM lancamentos WHERE cd_conta = '001'"_s));
    }
    const qint64 entries = entryCount(cash());
    // Another process (this executable, see main()) with the cash database open, as the program
    // on another workstation has it.
    QProcess other;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TST_BACKUP_HOLD"_s, cash());
    other.setProcessEnvironment(environment);
    other.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(other.waitForStarted());
    QVERIFY(other.waitForReadyRead(10000));
    QCOMPARE(other.readLine().trimmed(), QByteArray("aberto"));
    const QByteArray file = bytesOf(cash());
    try {
        data::restoreBackup(folder, m_dataDir, m_t->clock.now());
        QFAIL("restored under another program's connection");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().contains(u"está aberto"_s), qPrintable(e.description()));
    }
    QCOMPARE(bytesOf(cash()), file);
    QCOMPARE(entryCount(cash()), entries);

    // Once the other program has closed it, the same restore goes through.
    other.closeWriteChannel();
    QVERIFY(other.waitForFinished(10000));
    QCOMPARE(other.exitCode(), 0);
    data::restoreBackup(folder, m_dataDir, m_t->clock.now());
    QVERIFY(entryCount(cash()) > entries);
}

void tst_Backup::findBackupsListsOnlyThisProgramsNewestFirst()
{
    const QString first = backup();
    m_t->clock.set(m_t->clock.now().addDays(1));
    const QString automatic =
        data::takeBackup(m_dataDir, m_target, m_t->clock.now(), data::BackupKind::Automatic);
    QVERIFY(QDir(m_target).mkdir(u"fotos"_s));
    QFile note(QDir(m_target).filePath(u"tessal-copia-2026-12-01_00-00-00.txt"_s));
    QVERIFY(note.open(QIODevice::WriteOnly));
    QCOMPARE(data::findBackups(m_target), (QStringList{automatic, first}));
}

void tst_Backup::settingsRoundTripWithDefaults()
{
    const QString path = data::backupSettingsPath(m_t->programDir());
    QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(m_t->programDir()).absoluteFilePath());
    const data::BackupSettings defaults = data::readBackupSettings(path);
    QCOMPARE(defaults.automatic, false);
    QCOMPARE(defaults.keep, 10);
    QCOMPARE(defaults.folder, QString());

    const data::BackupSettings chosen{true, m_target + u"/pasta com espaço ç"_s, 3};
    data::writeBackupSettings(path, chosen);
    QVERIFY(data::readBackupSettings(path) == chosen);

    // A number kept that is no number, or out of range, reads as the default or the limit.
    QFile ini(path);
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[CopiaDeSeguranca]\nAutomatica=true\nManter=muitas\n");
    ini.close();
    QCOMPARE(data::readBackupSettings(path).keep, 10);
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[CopiaDeSeguranca]\nManter=5000\n");
    ini.close();
    QCOMPARE(data::readBackupSettings(path).keep, data::MaximumBackupsKept);

    // A settings file that cannot be written is reported.
    tessal::test::ImmutableDirectory locked(m_t->programDir());
    QVERIFY(locked.holds());
    try {
        data::writeBackupSettings(QDir(m_t->programDir()).filePath(u"outra.ini"_s), chosen);
        QFAIL("settings written into a locked folder");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().contains(u"Não foi possível gravar as configurações"_s),
                 qPrintable(e.description()));
    }
}

void tst_Backup::automaticBackupKeepsTheNewestAndTouchesNothingElse()
{
    // What the operator or another program keeps in the same folder.
    const QString manual = backup();
    QVERIFY(QDir(m_target).mkdir(u"tessal-copia-automatica-fotos"_s));
    QFile note(QDir(m_target).filePath(u"leia-me.txt"_s));
    QVERIFY(note.open(QIODevice::WriteOnly));
    note.close();
    // An automatic copy the operator put a file into is theirs now.
    const QString annotated =
        QDir(m_target).filePath(u"tessal-copia-automatica-2020-01-01_00-00-00"_s);
    QVERIFY(QDir().mkpath(annotated));
    QFile keep(QDir(annotated).filePath(u"anotacoes.txt"_s));
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.close();

    const data::BackupSettings settings{true, m_target, 3};
    QStringList made;
    for (int day = 1; day <= 5; ++day) {
        m_t->clock.set(QDateTime(QDate(2026, 12, day), QTime(18, 30, 0)));
        const auto done = data::automaticBackup(m_dataDir, settings, m_t->clock.now());
        QVERIFY(done.has_value());
        made.append(done->backup);
        // Four copies exist after the fourth log-off: the oldest goes.
        QCOMPARE(done->removed, day == 4   ? QStringList{made[0]}
                                : day == 5 ? QStringList{made[1]}
                                           : QStringList());
    }
    QStringList expected{QFileInfo(manual).fileName(), u"leia-me.txt"_s,
                         u"tessal-copia-automatica-2020-01-01_00-00-00"_s,
                         u"tessal-copia-automatica-fotos"_s};
    for (int i = 2; i < 5; ++i)
        expected.append(QFileInfo(made[i]).fileName());
    expected.sort();
    QCOMPARE(entriesOf(m_target), expected);
    QCOMPARE(entriesOf(annotated), QStringList{u"anotacoes.txt"_s});
    for (int i = 2; i < 5; ++i)
        QCOMPARE(data::verifyBackup(made[i]).entries, entryCount(cash()));
}

void tst_Backup::automaticBackupOffTakesNothing()
{
    QVERIFY(!data::automaticBackup(m_dataDir, {false, m_target, 1}, m_t->clock.now()));
    QCOMPARE(entriesOf(m_target), QStringList());
    try {
        data::automaticBackup(m_dataDir, {true, QString(), 1}, m_t->clock.now());
        QFAIL("an automatic backup without a folder");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().contains(u"nenhuma pasta"_s), qPrintable(e.description()));
    }
}

namespace {

// The other program of restoreRefusedWhileAnotherProgramHoldsTheDatabase: opens the database,
// reads it, says so, and keeps it open until its input is closed.
int holdDatabase(int argc, char **argv, const QString &path)
{
    QCoreApplication app(argc, argv);
    int status = 1;
    {
        Raw held(path);
        if (held.value(u"SELECT count(*) FROM contas"_s).toInt() > 0) {
            std::puts("aberto");
            std::fflush(stdout);
            while (std::getchar() != EOF) {
            }
            status = 0;
        }
    }
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("TST_BACKUP_HOLD"))
        return holdDatabase(argc, argv, qEnvironmentVariable("TST_BACKUP_HOLD"));
    QCoreApplication app(argc, argv);
    tst_Backup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_backup.moc"
