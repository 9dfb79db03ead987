// A cube file, from a disk or from an address, must never run anything but one read-only SELECT
// on the cash database, nor reach any other database: these tests load hostile files and check
// that each is refused, that the ledger keeps every row and value, and that no other file moves.

#include "core/error.h"
#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "cube/cubefile.h"
#include "cube/rowsource.h"
#include "cubefixture.h"
#include "data/database.h"
#include "testsupport/tinyhttpserver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using namespace tessal::cube;
using tessal::cube::test::CashFixture;
using tessal::test::TinyHttpServer;

namespace {

struct Outcome
{
    int number = 0;
    QString description;
};

Outcome outcomeOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const tessal::Error &e) {
        return {e.number(), e.description()};
    }
    return {};
}

// Row count and a hash of every value of every ledger row, in code order.
QByteArray ledgerDigest(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(u"SELECT * FROM lancamentos ORDER BY cd_lancamento"_s))
        return "error: " + q.lastError().text().toUtf8();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 rows = 0;
    while (q.next()) {
        ++rows;
        for (int i = 0; i < q.record().count(); ++i)
            hash.addData(QByteArray(q.value(i).toString().toUtf8() + '\x1f' +
                                    QByteArray::number(q.value(i).typeId()) + '\x1e'));
    }
    return QByteArray::number(rows) + ':' + hash.result().toHex();
}

qint64 ledgerCount(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    return q.exec(u"SELECT count(*) FROM lancamentos"_s) && q.next() ? q.value(0).toLongLong() : -1;
}

// Every file in the directory with its bytes, so a file that appears, goes or changes shows.
QMap<QString, QByteArray> filesIn(const QString &dir)
{
    QMap<QString, QByteArray> out;
    for (const QFileInfo &info : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile f(info.filePath());
        out[info.fileName()] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?");
    }
    return out;
}

} // namespace

class tst_CubeSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void hostileFilesAreRefused_data();
    void hostileFilesAreRefused();
    void layoutOnlyFileReadsTheCubesOwnDatabase();
    void legitimateStatementsPass_data();
    void legitimateStatementsPass();
    void otherEnginesTextRule_data();
    void otherEnginesTextRule();
    void readOnlyConnectionCannotWrite();
    void defaultOpenerIsReadOnly();

private:
    // The analysis cube on the fixture's ledger, loaded, through `opener`.
    void prepare(Cube &cube, bool readWriteConnection);
    void checkNothingChanged(const Cube &cube, const CubeDefinition &definition, size_t rows);

    std::unique_ptr<CashFixture> m_fixture;
    std::unique_ptr<CashFixture> m_other; // another cash database: a file must never reach it
    QTemporaryDir m_dir;
    QByteArray m_ledger;
    QMap<QString, QByteArray> m_otherFiles;
    QStringList m_opened; // every path the cubes' openers were asked for
};

void tst_CubeSafety::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_fixture = std::make_unique<CashFixture>(300);
    m_other = std::make_unique<CashFixture>(40, 99);
    // closed, so all of it is in its one file and any opening would show beside it
    tessal::data::closeDatabase(m_other->path());
    m_otherFiles = filesIn(QFileInfo(m_other->path()).absolutePath());
    QCOMPARE(m_otherFiles.keys(), QStringList{u"caixa.mdb"_s});
    m_ledger = ledgerDigest(m_fixture->database());
    QVERIFY(m_ledger.startsWith("300:"));
}

void tst_CubeSafety::cleanupTestCase()
{
    QCOMPARE(ledgerDigest(m_fixture->database()), m_ledger);
    QCOMPARE(filesIn(QFileInfo(m_other->path()).absolutePath()), m_otherFiles);
}

void tst_CubeSafety::prepare(Cube &cube, bool readWriteConnection)
{
    cube.setDefinition(analysisCubeDefinition(m_fixture->path()));
    cube.setDatabaseOpener([this, readWriteConnection](const QString &path) {
        m_opened << path;
        // the read-write connection shows that the statement check alone keeps the ledger safe
        return readWriteConnection ? tessal::data::openDatabase(path)
                                   : tessal::data::openDatabaseReadOnly(path);
    });
    cube.refresh();
}

void tst_CubeSafety::checkNothingChanged(const Cube &cube, const CubeDefinition &definition,
                                         size_t rows)
{
    QCOMPARE(ledgerDigest(m_fixture->database()), m_ledger);
    QCOMPARE(filesIn(QFileInfo(m_other->path()).absolutePath()), m_otherFiles);
    QVERIFY2(!QFile::exists(m_dir.filePath(u"copia.db"_s)), "VACUUM INTO wrote a copy");
    for (const QString &path : std::as_const(m_opened))
        QCOMPARE(path, m_fixture->path());
    // a refused file leaves the cube as it was
    QCOMPARE(cube.definition(), definition);
    QCOMPARE(cube.loadedRowCount(), rows);
    QVERIFY(cube.hasData());
}

void tst_CubeSafety::hostileFilesAreRefused_data()
{
    QTest::addColumn<QString>("recordSource");
    QTest::addColumn<QString>("fieldExpression"); // a field added to the file, when not empty
    QTest::addColumn<bool>("fileNamesOtherDatabase");

    const QString other = m_other->path();
    const QString select = analysisCubeDefinition(QString()).properties.recordSource;
    const QString copy = m_dir.filePath(u"copia.db"_s);
    auto add = [](const char *name, const QString &source, const QString &expression = {},
                  bool otherDatabase = false) {
        QTest::newRow(name) << source << expression << otherDatabase;
    };
    add("delete", u"DELETE FROM LANCAMENTOS"_s);
    add("select; delete", u"SELECT 1; DELETE FROM LANCAMENTOS"_s);
    add("select; delete after a comment",
        u"SELECT 1 /* nada */ ; -- fim\nDELETE FROM LANCAMENTOS"_s);
    add("the cube's own select; delete", select + u";\nDELETE FROM LANCAMENTOS"_s);
    add("select; select", u"SELECT 1; SELECT 2"_s);
    add("attach", u"ATTACH DATABASE '%1' AS x"_s.arg(other));
    add("select; attach", u"SELECT 1; ATTACH DATABASE '%1' AS x"_s.arg(other));
    add("detach", u"DETACH DATABASE temp"_s);
    add("pragma that writes", u"PRAGMA user_version = 77"_s);
    add("pragma journal mode", u"PRAGMA journal_mode = DELETE"_s);
    add("pragma that reads", u"PRAGMA table_info(lancamentos)"_s);
    add("update", u"UPDATE lancamentos SET vl_lancamento = 0"_s);
    add("insert returning", u"INSERT INTO contas VALUES ('999', 'x') RETURNING *"_s);
    add("delete returning", u"DELETE FROM lancamentos RETURNING *"_s);
    add("replace", u"REPLACE INTO contas VALUES ('001', 'x')"_s);
    add("drop", u"DROP TABLE lancamentos"_s);
    add("create table as", u"CREATE TABLE c AS SELECT * FROM lancamentos"_s);
    add("create temp table", u"CREATE TEMP TABLE t AS SELECT * FROM lancamentos"_s);
    add("create trigger",
        u"CREATE TEMP TRIGGER t AFTER INSERT ON contas BEGIN DELETE FROM lancamentos; END"_s);
    add("alter", u"ALTER TABLE lancamentos RENAME TO x"_s);
    add("begin", u"BEGIN IMMEDIATE"_s);
    add("savepoint", u"SAVEPOINT s"_s);
    add("vacuum into", u"VACUUM INTO '%1'"_s.arg(copy));
    add("reindex", u"REINDEX"_s);
    add("analyze", u"ANALYZE"_s);
    add("explain delete", u"EXPLAIN DELETE FROM lancamentos"_s);
    add("explain select", u"EXPLAIN QUERY PLAN SELECT * FROM lancamentos"_s);
    add("load_extension", u"SELECT load_extension('/tmp/nada.so')"_s);
    add("users' password hashes", u"SELECT usuario, senha FROM usuarios"_s);
    add("expression: users' table", select, u"(SELECT max(senha) FROM usuarios)"_s);
    add("empty", QString());
    add("only a comment", u"-- DELETE FROM LANCAMENTOS"_s);
    // field expressions reach the database inside the record source's select list
    add("expression: a second statement", select,
        u"0 AS a FROM lancamentos; DELETE FROM lancamentos; SELECT 0"_s);
    add("expression: a write hidden behind a comment", select,
        u"0 AS a; UPDATE lancamentos SET vl_lancamento = 0 --"_s);
    add("expression: attach", select, u"1 AS a; ATTACH DATABASE '%1' AS x; SELECT 1"_s.arg(other));
    add("expression: pragma", select, u"1 AS a; PRAGMA query_only = 0; SELECT 1"_s);
    add("expression: load_extension", select, u"load_extension('/tmp/nada.so')"_s);
    // a file naming another database is not followed; with a write it is refused as well
    add("other database, delete", u"DELETE FROM LANCAMENTOS"_s, {}, true);
    add("other database, select; delete", select + u"; DELETE FROM LANCAMENTOS"_s, {}, true);
}

void tst_CubeSafety::hostileFilesAreRefused()
{
    QFETCH(QString, recordSource);
    QFETCH(QString, fieldExpression);
    QFETCH(bool, fileNamesOtherDatabase);

    CubeDefinition hostile =
        analysisCubeDefinition(fileNamesOtherDatabase ? m_other->path() : m_fixture->path());
    hostile.properties.recordSource = recordSource;
    if (!fieldExpression.isEmpty()) {
        FieldDefinition f;
        f.sourceExpression = fieldExpression;
        f.caption = f.name = u"x"_s;
        f.orientation = Orientation::Page;
        hostile.fields.push_back(f);
    }
    const QByteArray bytes = writeCubeFile(hostile, nullptr, SaveKind::LayoutOnly, QString());
    const QString path = m_dir.filePath(u"hostil.cub"_s);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    for (const bool readWrite : {true, false}) {
        m_opened.clear();
        // from a local file
        {
            Cube cube;
            prepare(cube, readWrite);
            const CubeDefinition before = cube.definition();
            const size_t rows = cube.loadedRowCount();
            QCOMPARE(rows, size_t(300 - 300 / 50)); // entries without a settlement type drop out
            QSignalSpy refreshed(&cube, &Cube::refreshed);
            const Outcome outcome = outcomeOf([&] { cube.loadFromFile(path); });
            checkNothingChanged(cube, before, rows);
            if (QTest::currentTestFailed())
                return;
            QVERIFY2(outcome.number == CubeError::UnsafeStatement,
                     qPrintable(u"%1: %2"_s.arg(outcome.number).arg(outcome.description)));
            QVERIFY2(outcome.description.contains(u"recusada"_s), qPrintable(outcome.description));
            QCOMPARE(refreshed.count(), 0);
            // and neither does refreshing afterwards run anything of the file
            cube.reload();
            checkNothingChanged(cube, before, rows);
        }
        // from an address
        {
            TinyHttpServer server;
            QVERIFY(server.listen(QHostAddress::LocalHost));
            server.body = bytes;
            Cube cube;
            prepare(cube, readWrite);
            const CubeDefinition before = cube.definition();
            const size_t rows = cube.loadedRowCount();
            QSignalSpy done(&cube, &Cube::addressLoaded);
            cube.setLoadFromAddress(u"http://127.0.0.1:%1/hostil.cub"_s.arg(server.serverPort()));
            QVERIFY(done.wait(10000));
            QTest::qWait(50); // a second, successful report would arrive here
            checkNothingChanged(cube, before, rows);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(done.count(), 1);
            QCOMPARE(server.requests, 1);
            QCOMPARE(done.first().at(0).toBool(), false);
            QCOMPARE(done.first().at(1).toInt(), CubeError::UnsafeStatement);
            QVERIFY(done.first().at(2).toString().contains(u"recusada"_s));
        }
    }
}

void tst_CubeSafety::layoutOnlyFileReadsTheCubesOwnDatabase()
{
    // a legitimate layout that names the other database: the rows still come from the cube's
    Cube original;
    original.setDefinition(analysisCubeDefinition(m_other->path()));
    const QByteArray bytes = original.saveToBytes(SaveKind::LayoutOnly);
    QVERIFY(bytes.contains(QFileInfo(m_other->path()).absolutePath().toUtf8()));
    const QString path = m_dir.filePath(u"layout.cub"_s);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    const size_t ownRows = size_t(300 - 300 / 50);
    m_opened.clear();
    {
        Cube cube;
        prepare(cube, false);
        cube.clearFields();
        QVERIFY(cube.loadFromFile(path));
        QVERIFY(cube.hasData());
        QCOMPARE(cube.loadedRowCount(), ownRows);
        QCOMPARE(cube.properties().databaseName, m_fixture->path());
        QCOMPARE(cube.fields().count(), original.fields().count());
    }
    {
        TinyHttpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        server.body = bytes;
        Cube cube;
        cube.properties().databaseName = m_fixture->path(); // the default read-only opener
        QSignalSpy done(&cube, &Cube::addressLoaded);
        cube.setLoadFromAddress(u"http://127.0.0.1:%1/layout.cub"_s.arg(server.serverPort()));
        QVERIFY(done.wait(10000));
        QCOMPARE(done.count(), 1);
        QCOMPARE(done.first().at(0).toBool(), true);
        QCOMPARE(cube.loadedRowCount(), ownRows);
        QCOMPARE(cube.properties().databaseName, m_fixture->path());
    }
    for (const QString &opened : std::as_const(m_opened))
        QCOMPARE(opened, m_fixture->path());
    QCOMPARE(filesIn(QFileInfo(m_other->path()).absolutePath()), m_otherFiles);
    QCOMPARE(ledgerDigest(m_fixture->database()), m_ledger);
}

void tst_CubeSafety::legitimateStatementsPass_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("rows");
    QTest::newRow("plain") << u"SELECT * FROM contas"_s << 4;
    QTest::newRow("trailing semicolon and comments")
        << u"  -- contas\nSELECT * FROM contas; /* fim */ -- mesmo\n"_s << 4;
    QTest::newRow("join and subquery")
        << u"SELECT c.ds_conta, (SELECT count(*) FROM lancamentos l WHERE l.cd_conta = "
           "c.cd_conta) AS n FROM contas c JOIN lancamentos l2 ON l2.cd_conta = c.cd_conta "
           "WHERE c.cd_conta IN (SELECT cd_conta FROM contas) GROUP BY c.cd_conta"_s
        << 4;
    QTest::newRow("with") << u"WITH x AS (SELECT cd_conta FROM contas) SELECT * FROM x"_s << 4;
    QTest::newRow("recursive with")
        << u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10) "
           "SELECT i FROM n"_s
        << 10;
    QTest::newRow("union and functions")
        << u"SELECT upper(ds_conta), datepart('yyyy', '2024-05-01') FROM contas UNION "
           "SELECT 'x', 1"_s
        << 5;
    QTest::newRow("values") << u"VALUES (1), (2)"_s << 2;
    QTest::newRow("window function")
        << u"SELECT cd_conta, row_number() OVER (ORDER BY cd_conta) FROM contas"_s << 4;
    QTest::newRow("a semicolon inside a text") << u"SELECT 'a; DELETE FROM contas'"_s << 1;
    QTest::newRow("schema table") << u"SELECT name FROM sqlite_master WHERE name = 'contas'"_s << 1;
}

void tst_CubeSafety::legitimateStatementsPass()
{
    QFETCH(QString, sql);
    QFETCH(int, rows);
    for (const QSqlDatabase &db :
         {m_fixture->database(), tessal::data::openDatabaseReadOnly(m_fixture->path())}) {
        QCOMPARE(outcomeOf([&] { requireReadOnlySelect(db, sql); }).number, 0);
        int count = 0;
        const Outcome outcome = outcomeOf([&] {
            auto reader = makeQueryReader(db, sql);
            while (reader->next())
                ++count;
        });
        QVERIFY2(outcome.number == 0, qPrintable(outcome.description));
        QCOMPARE(count, rows);
    }
    // the authorizer was only on while the statement was compiled: the connection writes again
    QSqlQuery q(m_fixture->database());
    QVERIFY2(q.exec(u"UPDATE contas SET ds_conta = ds_conta WHERE 0"_s),
             qPrintable(q.lastError().text()));
}

void tst_CubeSafety::otherEnginesTextRule_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("select") << u"SELECT * FROM contas"_s << true;
    QTest::newRow("with, after a comment")
        << u"-- x\n/* y */ with x as (select 1) select * from x"_s << true;
    QTest::newRow("semicolon in a text") << u"SELECT 'a;b', \"c;d\" FROM t"_s << true;
    QTest::newRow("doubled quote") << u"SELECT 'it''s; fine' FROM t"_s << true;
    QTest::newRow("delete") << u"DELETE FROM contas"_s << false;
    QTest::newRow("selected") << u"SELECTED"_s << false;
    QTest::newRow("select; delete") << u"SELECT 1; DELETE FROM contas"_s << false;
    QTest::newRow("trailing semicolon") << u"SELECT 1;"_s << false;
    QTest::newRow("semicolon after a text") << u"SELECT 'a'; DELETE FROM contas"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void tst_CubeSafety::otherEnginesTextRule()
{
    QFETCH(QString, sql);
    QFETCH(bool, accepted);
    QCOMPARE(outcomeOf([&] { requireSelectText(sql); }).number,
             accepted ? 0 : CubeError::UnsafeStatement);
}

void tst_CubeSafety::readOnlyConnectionCannotWrite()
{
    QSqlDatabase db = tessal::data::openDatabaseReadOnly(m_fixture->path());
    QVERIFY(db.isOpen());
    QVERIFY(db.connectionName() != m_fixture->database().connectionName());
    QCOMPARE(ledgerCount(db), qint64(300));
    QSqlQuery q(db);
    // reads work, datepart included
    QVERIFY2(q.exec(u"SELECT datepart('yyyy', dt_lancamento) FROM lancamentos LIMIT 1"_s),
             qPrintable(q.lastError().text()));
    QVERIFY(q.next());
    QVERIFY(q.value(0).toInt() >= 2021);
    for (const QString &write :
         {u"DELETE FROM lancamentos"_s, u"UPDATE lancamentos SET vl_lancamento = 0"_s,
          u"INSERT INTO contas VALUES ('999', 'x')"_s, u"CREATE TEMP TABLE t (x)"_s,
          u"CREATE TABLE t (x)"_s, u"PRAGMA user_version = 77"_s, u"PRAGMA query_only = 0"_s}) {
        q.exec(write);
        // query_only may be switched off by a statement, but the file stays read-only
        q.exec(u"DELETE FROM lancamentos"_s);
        QVERIFY2(q.lastError().isValid(), qPrintable(write));
    }
    // through SQLite's own handle too
    QVERIFY(q.exec(u"SELECT 1"_s));
    sqlite3 *raw = *static_cast<sqlite3 *const *>(db.driver()->handle().constData());
    QVERIFY(sqlite3_exec(raw, "DELETE FROM lancamentos", nullptr, nullptr, nullptr) != SQLITE_OK);
    QCOMPARE(ledgerDigest(m_fixture->database()), m_ledger);
    QCOMPARE(ledgerCount(db), qint64(300));
}

void tst_CubeSafety::defaultOpenerIsReadOnly()
{
    // the cube's own opener opens the read-only connection, and only that
    tessal::data::closeDatabase(m_fixture->path());
    QCOMPARE(QSqlDatabase::connectionNames().filter(m_fixture->path()), QStringList());
    Cube cube;
    cube.setDefinition(analysisCubeDefinition(m_fixture->path()));
    cube.refresh();
    QVERIFY(cube.hasData());
    const QStringList names = QSqlDatabase::connectionNames().filter(m_fixture->path());
    QCOMPARE(names.size(), 1);
    QSqlDatabase used = QSqlDatabase::database(names.first(), false);
    QCOMPARE(used.connectionName(),
             tessal::data::openDatabaseReadOnly(m_fixture->path()).connectionName());
    QSqlQuery q(used);
    QVERIFY(!q.exec(u"DELETE FROM lancamentos"_s));
    QCOMPARE(ledgerDigest(m_fixture->database()), m_ledger);
}

QTEST_GUILESS_MAIN(tst_CubeSafety)
#include "tst_cubesafety.moc"
