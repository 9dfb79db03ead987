#include "core/error.h"
#include "data/database.h"
#include "data/filesystem.h"
#include "data/sqlite.h"
#include "quotedsql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <sqlite3.h>

using namespace tessal;
using namespace tessal::data;
using namespace Qt::StringLiterals;

// Fails the test with the driver's own words when a statement is refused.
#define EXEC_OR_FAIL(query, sql)                                                                   \
    do {                                                                                           \
        if (!(query).exec(sql))                                                                    \
            QFAIL(qPrintable((query).lastError().text() + QLatin1String(" in: ") + (sql)));        \
    } while (false)

class tst_Database : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void createsSchemaAndSettlementType();
    void menuHasOneRowPerDispatchedButton();
    void ensureDataDirectoryCreatesBothAndKeepsExisting();
    void olderSchemaBroughtUpToDate();
    void olderMenuGainsUtilitiesKeepingOperatorsRows();
    void pathsUseDirectoryAsStored();
    void missingFileIsRefusedAndNotCreated();
    void foreignFileIsRefusedAndLeftUnchanged_data();
    void foreignFileIsRefusedAndLeftUnchanged();
    void foreignSqliteIsRefusedAndLeftUnchanged_data();
    void foreignSqliteIsRefusedAndLeftUnchanged();
    void earlierBuildsDatabasesAreTakenAndStamped();
    void readOnlyReadsWhatWritersCommitAndNeverWrites();
    void readOnlyOpensAClosedWalDatabaseAsItIs();
    void readOnlyTakesEarlierBuildsWithoutStamping();
    void readOnlyRefusesForeignSqlite_data();
    void readOnlyRefusesForeignSqlite();
    void readOnlyRefusesForeignFiles_data();
    void readOnlyRefusesForeignFiles();
    void driverAndProgramShareOneSqlite();
    void connectionIsReusedPerPath();
    void pragmasAreSet();
    void networkShareKeepsTheRollbackJournal();
    void networkFileSystemsAreRecognised();
    void datepartInSql_data();
    void datepartInSql();
    void datepartRefusesUnknownIntervalAndNullDates();
    void quotedSqlTextsAreAccepted_data();
    void quotedSqlTextsAreAccepted();
    void dateOrderIsChronological();
    void typedDates_data();
    void typedDates();
    void storedDatesRoundTrip();
    void storedDatesFromBytes_data();
    void storedDatesFromBytes();

private:
    QString cashPath() const { return cashDatabasePath(m_dir->path()); }
    void fillFixture();
    void expectEveryOpeningRefused(const QString &mentions);

    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

// Builds a SQLite file the way another program (or an earlier build of ours) would: through a
// plain connection, never through the data layer that is under test.
QString buildFile(const QString &path, const QStringList &statements)
{
    const QString name = u"maker:"_s + path;
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        if (!db.open())
            failure = db.lastError().text();
        QSqlQuery q(db);
        for (const QString &sql : statements) {
            if (failure.isEmpty() && !q.exec(sql))
                failure = q.lastError().text() + u" in: "_s + sql;
        }
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return failure;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a file of ours holds, taken from a database the data layer made: its schema statements.
QStringList schemaOf(const QString &path, DatabaseKind kind)
{
    QStringList statements;
    QSqlQuery q(openDatabase(path, kind));
    q.exec(u"SELECT sql FROM sqlite_master WHERE sql IS NOT NULL"_s);
    while (q.next())
        statements << q.value(0).toString();
    return statements;
}

} // namespace

void tst_Database::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_Database::cleanup()
{
    closeDatabase(cashPath());
    closeDatabase(menuDatabasePath(m_dir->path()));
    m_dir.reset();
}

// Every way in to caixa.mdb refuses it with a message naming the file and the reason.
void tst_Database::expectEveryOpeningRefused(const QString &mentions)
{
    const std::function<void()> openings[] = {
        [&] { openDatabase(cashPath()); },
        [&] { createCashDatabase(cashPath()); },
        [&] { ensureDataDirectory(m_dir->path()); },
    };
    for (const auto &open : openings) {
        try {
            open();
            QFAIL("a foreign file was accepted");
        } catch (const Error &e) {
            QCOMPARE(e.number(), ErrorNumber::NotADatabase);
            QVERIFY2(e.description().contains(u"caixa.mdb"_s), qPrintable(e.description()));
            QVERIFY2(e.description().contains(mentions), qPrintable(e.description()));
        }
    }
}

void tst_Database::fillFixture()
{
    const QString failure = testing::fillFixture(m_dir->path());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void tst_Database::createsSchemaAndSettlementType()
{
    createCashDatabase(cashPath());
    QSqlDatabase db = openDatabase(cashPath());
    QCOMPARE(db.record(u"LANCAMENTOS"_s).count(), 9);
    QCOMPARE(db.record(u"contas"_s).count(), 2);
    QCOMPARE(db.record(u"historicos"_s).count(), 3);
    QCOMPARE(db.record(u"baixas"_s).count(), 2);
    QCOMPARE(db.record(u"usuarios"_s).count(), 3);

    QSqlQuery q(db);
    EXEC_OR_FAIL(q, u"select cd_baixa from baixas"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"001"_s);
    QVERIFY(!q.next());
    EXEC_OR_FAIL(q, u"PRAGMA user_version"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), CashSchemaVersion);

    // Creating again must not duplicate or fail.
    createCashDatabase(cashPath());
    EXEC_OR_FAIL(q, u"select count(*) from baixas"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);

    // The orderings the windows use are served by indexes, not by sorting the whole table.
    const QStringList indexed = {
        u"select * from lancamentos where cd_conta='001' order by dt_lancamento, cd_lancamento"_s,
        u"select * from lancamentos where cd_conta='001' order by cd_lancamento"_s,
        u"select * from  lancamentos  order by cd_lancamento"_s,
        u"SELECT * FROM contas order by ds_conta"_s,
        u"SELECT * FROM historicos order by ds_historico"_s,
        u"SELECT * FROM Baixas order by ds_Baixa"_s,
        u"SELECT * FROM usuarios order by usuario"_s,
    };
    for (const QString &sql : indexed) {
        EXEC_OR_FAIL(q, u"EXPLAIN QUERY PLAN "_s + sql);
        QString plan;
        while (q.next())
            plan += q.value(3).toString() + u'\n';
        QVERIFY2(!plan.contains(u"TEMP B-TREE"_s), qPrintable(sql + u" -> "_s + plan));
    }
}

void tst_Database::menuHasOneRowPerDispatchedButton()
{
    const QString menu = menuDatabasePath(m_dir->path());
    createMenuDatabase(menu);
    QSqlQuery q(openDatabase(menu, DatabaseKind::Menu));
    EXEC_OR_FAIL(q, u"select * from  CONFIG order by GRUPO, OPCAO"_s);
    QStringList seen;
    QHash<int, int> perGroup;
    QHash<int, int> declared;
    while (q.next()) {
        const int grupo = q.value(u"grupo"_s).toInt();
        seen << QStringLiteral("%1.%2 %3")
                    .arg(grupo)
                    .arg(q.value(u"opcao"_s).toInt())
                    .arg(q.value(u"descricao"_s).toString());
        QVERIFY(!q.value(u"ds_tootip"_s).toString().isEmpty());
        ++perGroup[grupo];
        declared[grupo] = q.value(u"opcoes"_s).toInt();
    }
    const QStringList expected = {
        u"1.1 Contas"_s,
        u"1.2 Históricos"_s,
        u"1.3 Usuários"_s,
        u"1.4 Tipos de Baixa"_s,
        u"2.1 Lançamentos"_s,
        u"2.2 Análise (BI)"_s,
        u"3.1 Relatórios Financeiros"_s,
        u"3.2 Consolidado"_s,
        u"4.1 Movimento por Período"_s,
        u"5.1 Ajuda"_s,
        u"5.2 Log de Operação"_s,
        u"5.3 Verificar Saldos"_s,
        u"5.4 Cópia de Segurança"_s,
        u"5.5 Restaurar Cópia"_s,
    };
    QCOMPARE(seen, expected);
    QCOMPARE(declared, perGroup);
}

void tst_Database::ensureDataDirectoryCreatesBothAndKeepsExisting()
{
    const QString dir = m_dir->filePath(u"novo/dados"_s);
    ensureDataDirectory(dir);
    QVERIFY(QFile::exists(cashDatabasePath(dir)));
    QVERIFY(QFile::exists(menuDatabasePath(dir)));
    QCOMPARE(QDir(dir).entryList({u"*.tmp"_s}, QDir::Files | QDir::Hidden), QStringList());

    {
        QSqlQuery q(openDatabase(cashDatabasePath(dir)));
        EXEC_OR_FAIL(q, u"INSERT INTO contas VALUES ('001', 'Caixa')"_s);
    }
    ensureDataDirectory(dir);
    QSqlQuery q(openDatabase(cashDatabasePath(dir)));
    EXEC_OR_FAIL(q, u"select count(*) from contas"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    q = QSqlQuery();
    closeDatabase(cashDatabasePath(dir));
    closeDatabase(menuDatabasePath(dir));
}

// A caixa.mdb made by the first version lacks the index the account pick reads its totals from;
// opening the data directory adds it and keeps every row.
void tst_Database::olderSchemaBroughtUpToDate()
{
    ensureDataDirectory(m_dir->path());
    {
        QSqlQuery q(openDatabase(cashPath()));
        EXEC_OR_FAIL(q, u"DROP INDEX lancamentos_conta_totais"_s);
        EXEC_OR_FAIL(q, u"INSERT INTO contas (cd_conta, ds_conta) VALUES ('001', 'Caixa')"_s);
        EXEC_OR_FAIL(q, u"PRAGMA user_version=1"_s);
    }
    ensureDataDirectory(m_dir->path());
    QSqlQuery q(openDatabase(cashPath()));
    EXEC_OR_FAIL(q, u"PRAGMA user_version"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), CashSchemaVersion);
    EXEC_OR_FAIL(q,
                 u"SELECT count(*) FROM sqlite_master WHERE name = 'lancamentos_conta_totais'"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    EXEC_OR_FAIL(q, u"SELECT ds_conta FROM contas"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"Caixa"_s);
    EXEC_OR_FAIL(q, u"EXPLAIN QUERY PLAN SELECT sum(vl_lancamento) FROM lancamentos "
                    "WHERE cd_conta = '001' AND cd_status = 'C'"_s);
    QVERIFY(q.next());
    QVERIFY2(q.value(3).toString().contains(u"COVERING INDEX"_s),
             qPrintable(q.value(3).toString()));
}

// A menu of the first version has no utilities past the log viewer; the new buttons are added
// where their places are free, and what the operator changed or added stays as it is.
void tst_Database::olderMenuGainsUtilitiesKeepingOperatorsRows()
{
    ensureDataDirectory(m_dir->path());
    const QString menu = menuDatabasePath(m_dir->path());
    {
        QSqlQuery q(openDatabase(menu, DatabaseKind::Menu));
        EXEC_OR_FAIL(q, u"DELETE FROM CONFIG WHERE grupo = 5 AND opcao > 2"_s);
        EXEC_OR_FAIL(
            q, u"UPDATE CONFIG SET descricao = 'Ajuda Local' WHERE grupo = 5 AND opcao = 1"_s);
        EXEC_OR_FAIL(q, u"INSERT INTO CONFIG VALUES (5, 3, 'Calculadora', 'Minha', 3)"_s);
        EXEC_OR_FAIL(q, u"PRAGMA user_version=1"_s);
    }
    ensureDataDirectory(m_dir->path());
    QSqlQuery q(openDatabase(menu, DatabaseKind::Menu));
    EXEC_OR_FAIL(q, u"SELECT opcao, descricao FROM CONFIG WHERE grupo = 5 ORDER BY opcao"_s);
    QStringList seen;
    while (q.next())
        seen << q.value(0).toString() + u' ' + q.value(1).toString();
    QCOMPARE(seen, (QStringList{u"1 Ajuda Local"_s, u"2 Log de Operação"_s, u"3 Calculadora"_s,
                                u"4 Cópia de Segurança"_s, u"5 Restaurar Cópia"_s}));
    EXEC_OR_FAIL(q, u"PRAGMA user_version"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), MenuSchemaVersion);
}

void tst_Database::pathsUseDirectoryAsStored()
{
    const QString sep = QDir::separator();
    QCOMPARE(cashDatabasePath(u"/dados"_s), u"/dados"_s + sep + u"caixa.mdb"_s);
    QCOMPARE(menuDatabasePath(u"/dados"_s), u"/dados"_s + sep + u"MENU.mdb"_s);
    // Not normalised: a trailing separator stays, as the stored directory is used exactly.
    QCOMPARE(cashDatabasePath(u"/dados/"_s), u"/dados/"_s + sep + u"caixa.mdb"_s);
}

void tst_Database::missingFileIsRefusedAndNotCreated()
{
    try {
        openDatabase(cashPath());
        QFAIL("a missing database was opened");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::FileNotFound);
        QVERIFY2(e.description().contains(u"caixa.mdb"_s), qPrintable(e.description()));
        QCOMPARE(e.source(), u"caixa.mdb"_s);
    }
    QVERIFY(!QFile::exists(cashPath()));
}

void tst_Database::foreignFileIsRefusedAndLeftUnchanged_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("mentions");

    QByteArray jet(2048, '\0');
    jet.replace(0, 19, QByteArray("\x00\x01\x00\x00Standard Jet DB", 19));
    QTest::newRow("access-jet") << jet << u"Access"_s;
    QTest::newRow("text") << QByteArray("cd_conta;ds_conta\r\n001;Caixa\r\n") << u"SQLite"_s;
    QTest::newRow("empty") << QByteArray() << u"SQLite"_s;
    // Fifteen header bytes but not the sixteenth: only the whole header counts.
    QTest::newRow("short-header") << QByteArray("SQLite format 3") << u"SQLite"_s;
}

void tst_Database::foreignFileIsRefusedAndLeftUnchanged()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, mentions);
    {
        QFile f(cashPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(content), content.size());
    }
    const QDateTime modified = QFileInfo(cashPath()).lastModified();

    expectEveryOpeningRefused(mentions);
    if (QTest::currentTestFailed())
        return;

    QFile f(cashPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
    QCOMPARE(QFileInfo(cashPath()).lastModified(), modified);
    // No journal or WAL beside it either.
    QCOMPARE(QDir(m_dir->path()).entryList({u"caixa.mdb*"_s}, QDir::Files | QDir::Hidden),
             QStringList{u"caixa.mdb"_s});
}

// Any SQLite file under our names used to be taken as ours and changed: given the cash tables,
// switched to WAL. Now only our own databases are opened, and a refused file keeps every byte.
void tst_Database::foreignSqliteIsRefusedAndLeftUnchanged_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("mentions");

    const QString menuTable = u"CREATE TABLE CONFIG (grupo INTEGER, opcao INTEGER, descricao "
                              "TEXT, ds_tootip TEXT, opcoes INTEGER)"_s;
    QTest::newRow("menu of an earlier build") << QStringList{menuTable} << u"do menu"_s;
    QTest::newRow("stamped menu") << QStringList{menuTable, u"PRAGMA application_id=%1"_s.arg(
                                                                MenuApplicationId)}
                                  << u"do menu"_s;
    QTest::newRow("another program's id")
        << QStringList{u"CREATE TABLE contas (cd_conta TEXT, ds_conta TEXT)"_s,
                       u"PRAGMA application_id=1234567"_s}
        << u"outro programa"_s;
    QTest::newRow("tables not ours")
        << QStringList{u"CREATE TABLE clientes (id INTEGER)"_s} << u"não é o banco"_s;
    QTest::newRow("ours and a stranger")
        << QStringList{u"CREATE TABLE lancamentos (cd_lancamento TEXT)"_s,
                       u"CREATE TABLE clientes (id INTEGER)"_s}
        << u"não é o banco"_s;
    QTest::newRow("no tables") << QStringList{u"PRAGMA user_version=1"_s} << u"não é o banco"_s;
    QTest::newRow("newer release, rollback journal")
        << QStringList{u"CREATE TABLE lancamentos (cd_lancamento TEXT)"_s,
                       u"PRAGMA application_id=%1"_s.arg(CashApplicationId),
                       u"PRAGMA user_version=%1"_s.arg(CashSchemaVersion + 1)}
        << u"versão mais nova"_s;
    QTest::newRow("newer release, WAL")
        << QStringList{u"PRAGMA journal_mode=WAL"_s,
                       u"CREATE TABLE lancamentos (cd_lancamento TEXT)"_s,
                       u"PRAGMA application_id=%1"_s.arg(CashApplicationId),
                       u"PRAGMA user_version=%1"_s.arg(CashSchemaVersion + 1)}
        << u"versão mais nova"_s;
}

void tst_Database::foreignSqliteIsRefusedAndLeftUnchanged()
{
    QFETCH(QStringList, statements);
    QFETCH(QString, mentions);
    const QString failure = buildFile(cashPath(), statements);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QByteArray before = readAll(cashPath());
    QVERIFY(before.startsWith("SQLite format 3"));

    expectEveryOpeningRefused(mentions);
    if (QTest::currentTestFailed())
        return;

    // Every byte as it was, the journal mode in the header (bytes 18 and 19) included, and no
    // journal or WAL file left beside it.
    QCOMPARE(readAll(cashPath()), before);
    QCOMPARE(QDir(m_dir->path()).entryList({u"caixa.mdb*"_s}, QDir::Files | QDir::Hidden),
             QStringList{u"caixa.mdb"_s});
}

// Databases written before the stamp existed carry application id 0; their tables say they are
// ours, so they are taken, and stamped on the way.
void tst_Database::earlierBuildsDatabasesAreTakenAndStamped()
{
    QTemporaryDir model;
    QVERIFY(model.isValid());
    ensureDataDirectory(model.path());
    const QStringList cashSchema = schemaOf(cashDatabasePath(model.path()), DatabaseKind::Cash);
    const QStringList menuSchema = schemaOf(menuDatabasePath(model.path()), DatabaseKind::Menu);
    closeDatabase(cashDatabasePath(model.path()));
    closeDatabase(menuDatabasePath(model.path()));

    QString failure = buildFile(
        cashPath(), cashSchema + QStringList{u"INSERT INTO contas VALUES ('001', 'Caixa')"_s,
                                             u"PRAGMA user_version=1"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString menu = menuDatabasePath(m_dir->path());
    failure = buildFile(menu, menuSchema + QStringList{u"PRAGMA user_version=1"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    ensureDataDirectory(m_dir->path());
    QSqlQuery q(openDatabase(cashPath()));
    EXEC_OR_FAIL(q, u"PRAGMA application_id"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toLongLong(), qint64(CashApplicationId));
    EXEC_OR_FAIL(q, u"SELECT ds_conta FROM contas"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"Caixa"_s);
    QSqlQuery m(openDatabase(menu, DatabaseKind::Menu));
    EXEC_OR_FAIL(m, u"PRAGMA application_id"_s);
    QVERIFY(m.next());
    QCOMPARE(m.value(0).toLongLong(), qint64(MenuApplicationId));

    // Each stamp keeps the other kind out.
    QVERIFY_THROWS_EXCEPTION(Error, openDatabase(menu, DatabaseKind::Cash));
    QVERIFY_THROWS_EXCEPTION(Error, openDatabase(cashPath(), DatabaseKind::Menu));
}

namespace {

qint64 countOf(const QSqlDatabase &db, const QString &table)
{
    QSqlQuery q(db);
    return q.exec(u"SELECT count(*) FROM "_s + table) && q.next() ? q.value(0).toLongLong() : -1;
}

// Every file beside the database (journal, WAL and shared-memory files included) with its bytes.
QMap<QString, QByteArray> filesBeside(const QString &path)
{
    QMap<QString, QByteArray> out;
    for (const QFileInfo &info : QFileInfo(path).dir().entryInfoList(QDir::Files | QDir::Hidden))
        out[info.fileName()] = readAll(info.filePath());
    return out;
}

} // namespace

// The cube reads through its own connection, which sees what the windows commit (in WAL, while
// their connection is still open) and through which nothing can be written.
void tst_Database::readOnlyReadsWhatWritersCommitAndNeverWrites()
{
    fillFixture();
    QSqlDatabase writer = openDatabase(cashPath());
    QSqlQuery w(writer);
    EXEC_OR_FAIL(w, u"PRAGMA journal_mode"_s);
    QVERIFY(w.next());
    QCOMPARE(w.value(0).toString(), u"wal"_s);
    const qint64 before = countOf(writer, u"contas"_s);

    QSqlDatabase reader = openDatabaseReadOnly(cashPath());
    QVERIFY(reader.isOpen());
    QVERIFY(reader.connectionName() != writer.connectionName());
    QCOMPARE(openDatabaseReadOnly(m_dir->path() + u"/./caixa.mdb"_s).connectionName(),
             reader.connectionName());
    QCOMPARE(countOf(reader, u"contas"_s), before);
    // a commit through the writer, still in its WAL, is seen by the reader
    EXEC_OR_FAIL(w, u"INSERT INTO contas VALUES ('901', 'Nova')"_s);
    QCOMPARE(countOf(reader, u"contas"_s), before + 1);

    QSqlQuery r(reader);
    EXEC_OR_FAIL(r, u"SELECT datepart('m', '2024-05-01'), datepart('ww', '01/01/2022')"_s);
    QVERIFY(r.next());
    QCOMPARE(r.value(0).toInt(), 5);
    QCOMPARE(r.value(1).toInt(), 1);
    EXEC_OR_FAIL(r, u"PRAGMA query_only"_s);
    QVERIFY(r.next());
    QCOMPARE(r.value(0).toInt(), 1);

    const QStringList writes = {
        u"INSERT INTO contas VALUES ('902', 'x')"_s,
        u"UPDATE contas SET ds_conta = 'x'"_s,
        u"DELETE FROM contas"_s,
        u"DROP TABLE contas"_s,
        u"CREATE TABLE t (x)"_s,
        u"CREATE TEMP TABLE t (x)"_s,
        u"PRAGMA user_version = 99"_s,
        u"PRAGMA application_id = 7"_s,
        u"VACUUM"_s,
        u"VACUUM INTO '%1'"_s.arg(m_dir->filePath(u"copia.db"_s)),
    };
    for (const QString &sql : writes)
        QVERIFY2(!r.exec(sql), qPrintable(sql));
    // switching query_only off still leaves a connection to a file opened read-only
    r.exec(u"PRAGMA query_only = 0"_s);
    for (const QString &sql : writes.mid(0, 5))
        QVERIFY2(!r.exec(sql), qPrintable(sql));
    sqlite3 *raw = sqliteHandle(reader);
    QVERIFY(raw);
    QVERIFY(sqlite3_exec(raw, "DELETE FROM contas", nullptr, nullptr, nullptr) != SQLITE_OK);

    QCOMPARE(countOf(writer, u"contas"_s), before + 1);
    QSqlQuery check(writer);
    EXEC_OR_FAIL(check, u"PRAGMA user_version"_s);
    QVERIFY(check.next());
    QCOMPARE(check.value(0).toInt(), CashSchemaVersion);
    QVERIFY(!QFile::exists(m_dir->filePath(u"copia.db"_s)) ||
            readAll(m_dir->filePath(u"copia.db"_s)).isEmpty());

    // closeDatabase closes the read-only connection as well
    const QString name = reader.connectionName();
    reader = QSqlDatabase();
    r = QSqlQuery();
    closeDatabase(cashPath());
    QVERIFY(!QSqlDatabase::contains(name));
}

// A WAL database nobody has open (no -wal file beside it) is read as it is: its file keeps every
// byte, and the reader never checkpoints into it.
void tst_Database::readOnlyOpensAClosedWalDatabaseAsItIs()
{
    fillFixture();
    const qint64 entries = countOf(openDatabase(cashPath()), u"lancamentos"_s);
    QVERIFY(entries > 0);
    closeDatabase(cashPath());
    closeDatabase(menuDatabasePath(m_dir->path()));
    QVERIFY(!QFile::exists(cashPath() + u"-wal"_s));
    const QByteArray before = readAll(cashPath());
    QCOMPARE(before.at(18), char(2)); // WAL, as every connection of ours leaves it

    {
        QSqlDatabase reader = openDatabaseReadOnly(cashPath());
        QCOMPARE(countOf(reader, u"lancamentos"_s), entries);
        QSqlQuery q(reader);
        QVERIFY(!q.exec(u"DELETE FROM lancamentos"_s));
    }
    closeDatabase(cashPath());
    QCOMPARE(readAll(cashPath()), before);
    // SQLite leaves the (empty) WAL it needed to read, nothing in it
    QCOMPARE(readAll(cashPath() + u"-wal"_s), QByteArray());

    // and a writer coming afterwards works as usual
    QSqlQuery w(openDatabase(cashPath()));
    EXEC_OR_FAIL(w, u"DELETE FROM lancamentos WHERE 0"_s);
    QCOMPARE(countOf(openDatabase(cashPath()), u"lancamentos"_s), entries);
}

void tst_Database::readOnlyTakesEarlierBuildsWithoutStamping()
{
    QTemporaryDir model;
    QVERIFY(model.isValid());
    ensureDataDirectory(model.path());
    const QStringList cashSchema = schemaOf(cashDatabasePath(model.path()), DatabaseKind::Cash);
    closeDatabase(cashDatabasePath(model.path()));
    closeDatabase(menuDatabasePath(model.path()));
    const QString failure = buildFile(
        cashPath(), cashSchema + QStringList{u"INSERT INTO contas VALUES ('001', 'Caixa')"_s,
                                             u"PRAGMA user_version=1"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QMap<QString, QByteArray> before = filesBeside(cashPath());

    {
        QSqlDatabase reader = openDatabaseReadOnly(cashPath());
        QCOMPARE(countOf(reader, u"contas"_s), 1);
        QSqlQuery q(reader);
        EXEC_OR_FAIL(q, u"PRAGMA application_id"_s);
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toLongLong(), 0);
    }
    closeDatabase(cashPath());
    // a rollback-journal file stays one, unstamped, and nothing is left beside it
    QCOMPARE(filesBeside(cashPath()), before);
}

void tst_Database::readOnlyRefusesForeignSqlite_data()
{
    foreignSqliteIsRefusedAndLeftUnchanged_data();
}

void tst_Database::readOnlyRefusesForeignSqlite()
{
    QFETCH(QStringList, statements);
    QFETCH(QString, mentions);
    const QString failure = buildFile(cashPath(), statements);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QByteArray before = readAll(cashPath());
    try {
        openDatabaseReadOnly(cashPath());
        QFAIL("a foreign file was accepted");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::NotADatabase);
        QVERIFY2(e.description().contains(u"caixa.mdb"_s), qPrintable(e.description()));
        QVERIFY2(e.description().contains(mentions), qPrintable(e.description()));
    }
    QCOMPARE(readAll(cashPath()), before);
    // no connection is left behind for the refused file
    QCOMPARE(QSqlDatabase::connectionNames().filter(u"caixa.mdb"_s), QStringList());
}

void tst_Database::readOnlyRefusesForeignFiles_data()
{
    foreignFileIsRefusedAndLeftUnchanged_data();
}

void tst_Database::readOnlyRefusesForeignFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, mentions);
    {
        QFile f(cashPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(content), content.size());
    }
    QVERIFY_THROWS_EXCEPTION(Error, openDatabaseReadOnly(cashPath()));
    QCOMPARE(filesBeside(cashPath()), (QMap<QString, QByteArray>{{u"caixa.mdb"_s, content}}));
    // and a missing file is not created
    QVERIFY(QFile::remove(cashPath()));
    QVERIFY_THROWS_EXCEPTION(Error, openDatabaseReadOnly(cashPath()));
    QVERIFY(!QFile::exists(cashPath()));
}

// The raw handle is used through the functions of the library we link; Qt's driver must run that
// same library, or both would work on one connection with different code.
void tst_Database::driverAndProgramShareOneSqlite()
{
    ensureDataDirectory(m_dir->path());
    QSqlDatabase db = openDatabase(cashPath());
    QSqlQuery q(db);
    EXEC_OR_FAIL(q, u"SELECT sqlite_version(), sqlite_source_id()"_s);
    QVERIFY(q.next());
    const SqliteLibrary driver{q.value(0).toString(), q.value(1).toString()};
    QCOMPARE(driver.version, QString::fromUtf8(sqlite3_libversion()));
    QCOMPARE(sqliteLibraryMismatch(driver), std::nullopt);

    // The handle is the connection Qt writes through: our library sees Qt's change on it.
    sqlite3 *raw = sqliteHandle(db);
    QVERIFY(raw);
    const int before = sqlite3_total_changes(raw);
    EXEC_OR_FAIL(q, u"INSERT INTO contas VALUES ('001', 'Caixa')"_s);
    QCOMPARE(sqlite3_total_changes(raw), before + 1);

    // Another library is named with both versions and what to install.
    const auto message = sqliteLibraryMismatch({u"3.7.17"_s, driver.sourceId});
    QVERIFY(message);
    QVERIFY2(message->contains(u"3.7.17"_s) && message->contains(driver.version) &&
                 message->contains(u"libqt6sql6-sqlite"_s),
             qPrintable(*message));
    QVERIFY(sqliteLibraryMismatch({driver.version, u"outra compilação"_s}));
}

void tst_Database::connectionIsReusedPerPath()
{
    ensureDataDirectory(m_dir->path());
    QSqlDatabase a = openDatabase(cashPath());
    QSqlDatabase b = openDatabase(m_dir->path() + u"/./caixa.mdb"_s);
    QCOMPARE(a.connectionName(), b.connectionName());
    QSqlDatabase menu = openDatabase(menuDatabasePath(m_dir->path()), DatabaseKind::Menu);
    QVERIFY(menu.connectionName() != a.connectionName());
}

void tst_Database::pragmasAreSet()
{
    ensureDataDirectory(m_dir->path());
    QSqlQuery q(openDatabase(cashPath()));
    EXEC_OR_FAIL(q, u"PRAGMA journal_mode"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"wal"_s);
    EXEC_OR_FAIL(q, u"PRAGMA synchronous"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1); // NORMAL
    EXEC_OR_FAIL(q, u"PRAGMA foreign_keys"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 0);
}

// On a share WAL cannot work; the files there keep the rollback journal, synced in full, and a
// file another build left in WAL mode is switched back when it is opened alone.
void tst_Database::networkShareKeepsTheRollbackJournal()
{
    ensureDataDirectory(m_dir->path());
    {
        QSqlQuery q(openDatabase(cashPath()));
        EXEC_OR_FAIL(q, u"PRAGMA journal_mode"_s);
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), u"wal"_s);
    }
    closeDatabase(cashPath());
    const QString shared = QFileInfo(m_dir->path()).canonicalFilePath();
    setNetworkFileSystemProbe([shared](const QString &path) {
        return QFileInfo(path).canonicalFilePath().startsWith(shared);
    });
    const auto restore = qScopeGuard([] { setNetworkFileSystemProbe({}); });
    {
        QSqlQuery q(openDatabase(cashPath()));
        EXEC_OR_FAIL(q, u"PRAGMA journal_mode"_s);
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), u"delete"_s);
        EXEC_OR_FAIL(q, u"PRAGMA synchronous"_s);
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 2); // FULL
        EXEC_OR_FAIL(q, u"INSERT INTO contas VALUES ('001', 'Caixa')"_s);
    }
    QVERIFY(!QFile::exists(cashPath() + u"-wal"_s));
    closeDatabase(cashPath());

    // A new data directory made on the share is never in WAL mode either.
    const QString fresh = m_dir->filePath(u"nova"_s);
    ensureDataDirectory(fresh);
    QSqlQuery q(openDatabase(cashDatabasePath(fresh)));
    EXEC_OR_FAIL(q, u"PRAGMA journal_mode"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"delete"_s);
    q.finish();
    closeDatabase(cashDatabasePath(fresh));
    closeDatabase(menuDatabasePath(fresh));
}

void tst_Database::networkFileSystemsAreRecognised()
{
    QVERIFY(isNetworkFileSystemType(0x6969));      // NFS
    QVERIFY(isNetworkFileSystemType(0xFF534D42));  // CIFS
    QVERIFY(isNetworkFileSystemType(0xFE534D42));  // SMB2
    QVERIFY(!isNetworkFileSystemType(0xEF53));     // ext4
    QVERIFY(!isNetworkFileSystemType(0x01021994)); // tmpfs
    QVERIFY(!isNetworkFileSystemType(0x65735546)); // FUSE
    // The test's own temporary folder is a local disk, and a file not made yet is judged by its
    // folder.
    QVERIFY(!isOnNetworkFileSystem(m_dir->path()));
    QVERIFY(!isOnNetworkFileSystem(m_dir->filePath(u"ainda/nao/existe.mdb"_s)));
}

void tst_Database::datepartInSql_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("date");
    QTest::addColumn<int>("expected");

    QTest::newRow("year") << u"yyyy"_s << u"2026-07-15"_s << 2026;
    QTest::newRow("year-upper") << u"YYYY"_s << u"1999-12-31"_s << 1999;
    QTest::newRow("quarter-1-last-day") << u"q"_s << u"2026-03-31"_s << 1;
    QTest::newRow("quarter-2-first-day") << u"q"_s << u"2026-04-01"_s << 2;
    QTest::newRow("quarter-4") << u"q"_s << u"2026-12-31"_s << 4;
    QTest::newRow("month-jan") << u"m"_s << u"2026-01-01"_s << 1;
    QTest::newRow("month-dec") << u"m"_s << u"2026-12-31"_s << 12;
    QTest::newRow("month-leap-day") << u"m"_s << u"2024-02-29"_s << 2;
    // Weeks start on Sunday; week 1 holds 1 January.
    QTest::newRow("ww-jan1-saturday") << u"ww"_s << u"2022-01-01"_s << 1;
    QTest::newRow("ww-sunday-after-saturday-jan1") << u"ww"_s << u"2022-01-02"_s << 2;
    QTest::newRow("ww-dec31-saturday") << u"ww"_s << u"2022-12-31"_s << 53;
    QTest::newRow("ww-leap-year-from-saturday-dec31") << u"ww"_s << u"2000-12-31"_s << 54;
    QTest::newRow("ww-leap-year-dec30") << u"ww"_s << u"2000-12-30"_s << 53;
    QTest::newRow("ww-jan1-sunday") << u"ww"_s << u"2023-01-01"_s << 1;
    QTest::newRow("ww-first-saturday") << u"ww"_s << u"2023-01-07"_s << 1;
    QTest::newRow("ww-second-sunday") << u"ww"_s << u"2023-01-08"_s << 2;
    QTest::newRow("ww-dec31-sunday") << u"ww"_s << u"2023-12-31"_s << 53;
    QTest::newRow("ww-dec31-thursday") << u"ww"_s << u"2026-12-31"_s << 53;
    QTest::newRow("ww-typed-form") << u"ww"_s << u"04/01/2026"_s << 2;
    QTest::newRow("ww-stored-with-time") << u"ww"_s << u"2026-01-03 10:00:00"_s << 1;
}

void tst_Database::datepartInSql()
{
    QFETCH(QString, interval);
    QFETCH(QString, date);
    QFETCH(int, expected);

    createCashDatabase(cashPath());
    QSqlQuery q(openDatabase(cashPath()));
    QVERIFY(q.prepare(u"select datepart(?, ?)"_s));
    q.addBindValue(interval);
    q.addBindValue(date);
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), expected);

    // The C++ helper the cube uses agrees with the SQL function.
    const QDate parsed = date.contains(u'/') ? *parseTypedDate(date) : fromStoredDate(date);
    QCOMPARE(datePart(interval, parsed), std::optional<int>(expected));
}

void tst_Database::datepartRefusesUnknownIntervalAndNullDates()
{
    createCashDatabase(cashPath());
    QSqlQuery q(openDatabase(cashPath()));
    QVERIFY(!q.exec(u"select datepart('d', '2026-01-01')"_s));
    QVERIFY(q.lastError().text().contains(u"datepart"_s));

    EXEC_OR_FAIL(q, u"select datepart('m', NULL), datepart('m', '2026-02-31'), "
                    "datepart('m', 'amanhã')"_s);
    QVERIFY(q.next());
    QVERIFY(q.value(0).isNull());
    QVERIFY(q.value(1).isNull());
    QVERIFY(q.value(2).isNull());
}

void tst_Database::quotedSqlTextsAreAccepted_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("menu");
    for (const testing::QuotedSql &row : testing::quotedSqlTexts())
        QTest::newRow(row.name) << row.sql << row.rows << row.menu;
}

void tst_Database::quotedSqlTextsAreAccepted()
{
    QFETCH(QString, sql);
    QFETCH(int, rows);
    QFETCH(bool, menu);
    fillFixture();
    const QString path = menu ? menuDatabasePath(m_dir->path()) : cashPath();
    QSqlQuery q(openDatabase(path, menu ? DatabaseKind::Menu : DatabaseKind::Cash));
    q.setForwardOnly(true);
    EXEC_OR_FAIL(q, sql);
    int count = 0;
    while (q.next()) {
        ++count;
        if (sql.contains(u"datepart"_s)) {
            const QDate date = fromStoredDate(q.value(4).toString());
            QVERIFY(date.isValid());
            QCOMPARE(q.value(0).toInt(), date.year());
            QCOMPARE(q.value(1).toInt(), (date.month() - 1) / 3 + 1);
            QCOMPARE(q.value(2).toInt(), date.month());
        }
    }
    QCOMPARE(count, rows);
}

void tst_Database::dateOrderIsChronological()
{
    // Stored as typed (dd/MM/yyyy), 05/01/2026 would sort after 01/02/2026.
    fillFixture();
    QSqlQuery q(openDatabase(cashPath()));
    EXEC_OR_FAIL(q, u"select dt_lancamento from lancamentos order by dt_lancamento"_s);
    QList<QDate> dates;
    while (q.next())
        dates << fromStoredDate(q.value(0).toString());
    QCOMPARE(dates, (QList<QDate>{QDate(2025, 12, 31), QDate(2026, 1, 5), QDate(2026, 2, 10),
                                  QDate(2026, 3, 1)}));
}

void tst_Database::typedDates_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("expected");

    QTest::newRow("ordinary") << u"01/02/2007"_s << QDate(2007, 2, 1);
    QTest::newRow("leap-day") << u"29/02/2024"_s << QDate(2024, 2, 29);
    QTest::newRow("feb-31") << u"31/02/2026"_s << QDate();
    QTest::newRow("not-leap") << u"29/02/2026"_s << QDate();
    QTest::newRow("month-13") << u"01/13/2026"_s << QDate();
    QTest::newRow("day-zero") << u"00/01/2026"_s << QDate();
    QTest::newRow("short-day") << u"1/02/2026"_s << QDate();
    QTest::newRow("iso") << u"2026-02-01"_s << QDate();
    QTest::newRow("empty-mask") << u"  /  /    "_s << QDate();
    QTest::newRow("trailing") << u"01/02/2026x"_s << QDate();
    QTest::newRow("empty") << QString() << QDate();
}

void tst_Database::typedDates()
{
    QFETCH(QString, typed);
    QFETCH(QDate, expected);
    const std::optional<QDate> parsed = parseTypedDate(typed);
    QCOMPARE(parsed.has_value(), expected.isValid());
    if (parsed) {
        QCOMPARE(*parsed, expected);
        QCOMPARE(showDate(*parsed), typed);
    }
}

void tst_Database::storedDatesRoundTrip()
{
    const QDate date(2026, 3, 9);
    QCOMPARE(toStoredDate(date), u"2026-03-09"_s);
    QCOMPARE(fromStoredDate(u"2026-03-09"_s), date);
    QCOMPARE(fromStoredDate(u"09/03/2026"_s), QDate());
    QCOMPARE(fromStoredDate(u"2026-02-30"_s), QDate());
    QCOMPARE(fromStoredDate(u"-026-02-03"_s), QDate());
    QCOMPARE(toStoredDate(QDate()), QString());
    QCOMPARE(showDate(QDate()), QString());
}

// The one reader of stored dates, as the cube and the datepart function meet them: the engine's
// bytes, with whatever follows the date.
void tst_Database::storedDatesFromBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("date") << QByteArray("2024-02-29") << QDate(2024, 2, 29);
    QTest::newRow("with a time") << QByteArray("2024-12-31 23:59:59") << QDate(2024, 12, 31);
    QTest::newRow("no leap day") << QByteArray("2023-02-29") << QDate();
    QTest::newRow("month 13") << QByteArray("2024-13-01") << QDate();
    QTest::newRow("typed form") << QByteArray("31/12/2024") << QDate();
    QTest::newRow("short") << QByteArray("2024-1-5") << QDate();
    QTest::newRow("letters") << QByteArray("2024-0a-05") << QDate();
    QTest::newRow("year zero") << QByteArray("0000-01-01") << QDate();
    QTest::newRow("empty") << QByteArray() << QDate();
}

void tst_Database::storedDatesFromBytes()
{
    QFETCH(QByteArray, text);
    QFETCH(QDate, date);
    QCOMPARE(storedDate(std::string_view(text.constData(), size_t(text.size()))), date);
    QCOMPARE(fromStoredDate(QString::fromLatin1(text)), date);
}

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_database.moc"
