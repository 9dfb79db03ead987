// A cube file, from a disk or from an address, must never run anything but one read-only SELECT
// on the cash database, nor reach any other database: these tests load hostile files and check
// that each is refused, that the ledger keeps every row and value, and that no other database
// changes (no other file moves). They run on SQLite files and again on the test server.

#include "core/error.h"
#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "cube/cubefile.h"
#include "cube/rowsource.h"
#include "cubefixture.h"
#include "data/database.h"
#include "testsupport/scratchdata.h"
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
    void datepartIntervalsBecomeStrings_data();
    void datepartIntervalsBecomeStrings();
    void readOnlyConnectionCannotWrite();
    void defaultOpenerIsReadOnly();
    void serverStatementsRunReadOnly();
    void rowErrorsEndTheLoad();
    void valuesComeAsOnSqlite();

private:
    // The analysis cube on the fixture's ledger, loaded, through `opener`.
    void prepare(Cube &cube, bool readWriteConnection);
    void checkNothingChanged(const Cube &cube, const CubeDefinition &definition, size_t rows);
    // What a cube file must never reach: the other database's files (an opening would show a
    // -wal or -shm beside it), or on the server the other database's entries.
    QMap<QString, QByteArray> otherDatabaseState() const;

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
    TESSAL_REQUIRE_DATA_SOURCE(*m_fixture);
    m_other = std::make_unique<CashFixture>(40, 99);
    TESSAL_REQUIRE_DATA_SOURCE(*m_other);
    // a view over the users' table: reading through it is reading the table
    QSqlQuery q(m_fixture->database());
    QVERIFY2(q.exec(u"CREATE VIEW acessos AS SELECT usuario, senha FROM usuarios"_s),
             qPrintable(q.lastError().text()));
    // closed, so all of it is in its one file and any opening would show beside it
    tessal::data::closeDatabase(m_other->path());
    m_otherFiles = otherDatabaseState();
    if (!m_other->onServer())
        QCOMPARE(m_otherFiles.keys(), (QStringList{u"MENU.mdb"_s, u"caixa.mdb"_s}));
    m_ledger = ledgerDigest(m_fixture->database());
    QVERIFY(m_ledger.startsWith("300:"));
}

void tst_CubeSafety::cleanupTestCase()
{
    if (!m_fixture || !m_fixture->isValid() || !m_other->isValid())
        return; // skipped without a server
    QCOMPARE(ledgerDigest(m_fixture->database()), m_ledger);
    QCOMPARE(otherDatabaseState(), m_otherFiles);
}

QMap<QString, QByteArray> tst_CubeSafety::otherDatabaseState() const
{
    if (m_other->onServer())
        return {{u"lancamentos"_s, ledgerDigest(m_other->database())}};
    return filesIn(QFileInfo(m_other->path()).absolutePath());
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
    QCOMPARE(otherDatabaseState(), m_otherFiles);
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
    // why the row does not apply to the other engine, where the statement is no threat but an
    // error of the engine's (a function or syntax it does not have); empty for both engines
    QTest::addColumn<QString>("sqliteOnly");
    QTest::addColumn<QString>("serverOnly");

    const QString other = m_other->path();
    const QString select = analysisCubeDefinition(QString()).properties.recordSource;
    const QString copy = m_dir.filePath(u"copia.db"_s);
    auto add = [](const char *name, const QString &source, const QString &expression = {},
                  bool otherDatabase = false) {
        QTest::newRow(name) << source << expression << otherDatabase << QString() << QString();
    };
    auto sqlite = [](const char *name, const QString &source, const QString &expression,
                     const QString &why) {
        QTest::newRow(name) << source << expression << false << why << QString();
    };
    auto server = [](const char *name, const QString &source, const QString &why) {
        QTest::newRow(name) << source << QString() << false << QString() << why;
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
    sqlite("load_extension", u"SELECT load_extension('/tmp/nada.so')"_s, {},
           u"the server has no load_extension"_s);
    add("users' password hashes", u"SELECT usuario, senha FROM usuarios"_s);
    add("expression: users' table", select, u"(SELECT max(senha) FROM usuarios)"_s);
    add("users' table through a view", u"SELECT * FROM acessos"_s);
    add("a backslash before the closing quote", u"SELECT 'C:\\'; DELETE FROM lancamentos; --'"_s);
    add("empty", QString());
    add("only a comment", u"-- DELETE FROM LANCAMENTOS"_s);
    // field expressions reach the database inside the record source's select list
    add("expression: a second statement", select,
        u"0 AS a FROM lancamentos; DELETE FROM lancamentos; SELECT 0"_s);
    add("expression: a write hidden behind a comment", select,
        u"0 AS a; UPDATE lancamentos SET vl_lancamento = 0 --"_s);
    add("expression: attach", select, u"1 AS a; ATTACH DATABASE '%1' AS x; SELECT 1"_s.arg(other));
    add("expression: pragma", select, u"1 AS a; PRAGMA query_only = 0; SELECT 1"_s);
    sqlite("expression: load_extension", select, u"load_extension('/tmp/nada.so')"_s,
           u"the server has no load_extension"_s);
    // a file naming another database is not followed; with a write it is refused as well
    add("other database, delete", u"DELETE FROM LANCAMENTOS"_s, {}, true);
    add("other database, select; delete", select + u"; DELETE FROM LANCAMENTOS"_s, {}, true);
    // what only the server has, or reads otherwise
    const QString noSuch = u"SQLite has no such syntax or function"_s;
    server("server: a write inside WITH",
           u"WITH apagados AS (DELETE FROM lancamentos RETURNING *) SELECT * FROM apagados"_s,
           noSuch);
    server("server: rows locked for update", u"SELECT * FROM lancamentos FOR UPDATE"_s, noSuch);
    server("server: users' table, quoted and qualified", u"SELECT * FROM public.\"usuarios\""_s,
           noSuch);
    server("server: a query written in a text",
           u"SELECT query_to_xml('SELECT senha FROM usuarios', true, false, '')"_s, noSuch);
    server("server: a table dumped whole", u"SELECT table_to_xml('usuarios', true, false, '')"_s,
           noSuch);
    server("server: words of a query in a text",
           u"SELECT * FROM ts_stat('SELECT to_tsvector(senha) FROM usuarios')"_s, noSuch);
    server("server: the statistics catalog",
           u"SELECT most_common_vals::text FROM pg_stats WHERE tablename = 'usuarios'"_s, noSuch);
    server("server: a semicolon after dollar quotes", u"SELECT $$;$$; DELETE FROM lancamentos"_s,
           noSuch);
    server("server: a semicolon after an escaped quote",
           u"SELECT E'\\';'; DELETE FROM lancamentos"_s, noSuch);
}

void tst_CubeSafety::hostileFilesAreRefused()
{
    QFETCH(QString, recordSource);
    QFETCH(QString, fieldExpression);
    QFETCH(bool, fileNamesOtherDatabase);
    QFETCH(QString, sqliteOnly);
    QFETCH(QString, serverOnly);
    if (m_fixture->onServer() && !sqliteOnly.isEmpty())
        QSKIP(qPrintable(sqliteOnly));
    if (!m_fixture->onServer() && !serverOnly.isEmpty())
        QSKIP(qPrintable(serverOnly));

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
    QVERIFY(bytes.contains(m_other->path().toUtf8()));
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
    QCOMPARE(otherDatabaseState(), m_otherFiles);
    QCOMPARE(ledgerDigest(m_fixture->database()), m_ledger);
}

void tst_CubeSafety::legitimateStatementsPass_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("sqliteOnly"); // why the row does not apply to the server
    QTest::addColumn<QString>("serverOnly"); // why it does not apply to SQLite
    auto add = [](const char *name, const QString &sql, int rows) {
        QTest::newRow(name) << sql << rows << QString() << QString();
    };
    add("plain", u"SELECT * FROM contas"_s, 4);
    add("trailing semicolon and comments",
        u"  -- contas\nSELECT * FROM contas; /* fim */ -- mesmo\n"_s, 4);
    add("join and subquery",
        u"SELECT c.ds_conta, (SELECT count(*) FROM lancamentos l WHERE l.cd_conta = "
        "c.cd_conta) AS n FROM contas c JOIN lancamentos l2 ON l2.cd_conta = c.cd_conta "
        "WHERE c.cd_conta IN (SELECT cd_conta FROM contas) GROUP BY c.cd_conta"_s,
        4);
    add("with", u"WITH x AS (SELECT cd_conta FROM contas) SELECT * FROM x"_s, 4);
    add("recursive with",
        u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10) "
        "SELECT i FROM n"_s,
        10);
    add("union and functions",
        u"SELECT upper(ds_conta), datepart('yyyy', '2024-05-01') FROM contas UNION "
        "SELECT 'x', 1"_s,
        5);
    add("values", u"VALUES (1), (2)"_s, 2);
    add("window function", u"SELECT cd_conta, row_number() OVER (ORDER BY cd_conta) FROM contas"_s,
        4);
    add("a semicolon inside a text", u"SELECT 'a; DELETE FROM contas'"_s, 1);
    add("datepart with a double-quoted interval",
        u"SELECT datepart(\"Q\", dt_lancamento) AS t FROM lancamentos"_s, 300);
    QTest::newRow("schema table") << u"SELECT name FROM sqlite_master WHERE name = 'contas'"_s << 1
                                  << u"sqlite_master is SQLite's"_s << QString();
    const QString serverSyntax = u"SQLite has no such syntax"_s;
    QTest::newRow("server: dollar-quoted semicolon")
        << u"SELECT $$a; DELETE FROM contas$$ AS t"_s << 1 << QString() << serverSyntax;
    QTest::newRow("server: escape string with a quote and a semicolon")
        << u"SELECT E'it\\'s; fine' AS t"_s << 1 << QString() << serverSyntax;
    QTest::newRow("server: nested comments")
        << u"SELECT 1 /* a /* b */ ; DELETE FROM contas */ AS t"_s << 1 << QString()
        << u"SQLite's comments do not nest"_s;
}

void tst_CubeSafety::legitimateStatementsPass()
{
    QFETCH(QString, sql);
    QFETCH(int, rows);
    QFETCH(QString, sqliteOnly);
    QFETCH(QString, serverOnly);
    if (m_fixture->onServer() && !sqliteOnly.isEmpty())
        QSKIP(qPrintable(sqliteOnly));
    if (!m_fixture->onServer() && !serverOnly.isEmpty())
        QSKIP(qPrintable(serverOnly));
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
    // the authorizer was only on while the statement was compiled, and the server's read-only
    // transaction has ended: the connection writes again
    QSqlQuery q(m_fixture->database());
    QVERIFY2(q.exec(u"UPDATE contas SET ds_conta = ds_conta WHERE 1 = 0"_s),
             qPrintable(q.lastError().text()));
}

void tst_CubeSafety::otherEnginesTextRule_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("select") << u"SELECT * FROM contas"_s << true;
    QTest::newRow("with, after a comment")
        << u"-- x\n/* y */ with x as (select 1) select * from x"_s << true;
    QTest::newRow("values") << u"VALUES (1), (2)"_s << true;
    QTest::newRow("semicolon in a text") << u"SELECT 'a;b', \"c;d\" FROM t"_s << true;
    QTest::newRow("doubled quote") << u"SELECT 'it''s; fine' FROM t"_s << true;
    QTest::newRow("delete") << u"DELETE FROM contas"_s << false;
    QTest::newRow("selected") << u"SELECTED"_s << false;
    QTest::newRow("select; delete") << u"SELECT 1; DELETE FROM contas"_s << false;
    // one statement still, as SQLite takes it
    QTest::newRow("trailing semicolon") << u"SELECT 1;"_s << true;
    QTest::newRow("trailing semicolon, then comments") << u"SELECT 1; -- a\n/* b */ "_s << true;
    QTest::newRow("two trailing semicolons") << u"SELECT 1;;"_s << false;
    QTest::newRow("semicolon after a text") << u"SELECT 'a'; DELETE FROM contas"_s << false;
    QTest::newRow("empty") << QString() << false;
    // PostgreSQL's own quoting
    QTest::newRow("dollar quotes") << u"SELECT $$a; b$$"_s << true;
    QTest::newRow("tagged dollar quotes hold other dollars")
        << u"SELECT $x$ $$; DELETE $x$"_s << true;
    QTest::newRow("semicolon after dollar quotes")
        << u"SELECT $$a$$; DELETE FROM contas"_s << false;
    QTest::newRow("a parameter is no dollar quote") << u"SELECT $1; DELETE FROM contas"_s << false;
    QTest::newRow("dollars inside a name quote nothing")
        << u"SELECT 1 AS a$$; DELETE FROM contas; SELECT $$"_s << false;
    QTest::newRow("escape string") << u"SELECT E'\\';' FROM t"_s << true;
    QTest::newRow("semicolon after an escape string")
        << u"SELECT E'\\''; DELETE FROM contas"_s << false;
    QTest::newRow("a backslash ends no standard string")
        << u"SELECT 'C:\\'; DELETE FROM contas; --'"_s << false;
    // with standard_conforming_strings off the server would read the second ';' as outside
    QTest::newRow("a backslash an older setting reads as an escape")
        << u"SELECT 'a\\', ';', 'b'"_s << false;
    QTest::newRow("unicode escape string") << u"SELECT U&'d\\0061t;a'"_s << true;
    QTest::newRow("nested comments") << u"SELECT 1 /* a /* b */ ; */"_s << true;
    QTest::newRow("semicolon after nested comments")
        << u"SELECT 1 /* a /* b */ */ ; DELETE FROM contas"_s << false;
}

void tst_CubeSafety::otherEnginesTextRule()
{
    QFETCH(QString, sql);
    QFETCH(bool, accepted);
    QCOMPARE(outcomeOf([&] { requireSelectText(sql); }).number,
             accepted ? 0 : CubeError::UnsafeStatement);
}

void tst_CubeSafety::datepartIntervalsBecomeStrings_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    auto same = [](const char *name, const QString &sql) { QTest::newRow(name) << sql << sql; };
    QTest::newRow("one interval") << u"SELECT datepart(\"m\", dt_lancamento) FROM lancamentos"_s
                                  << u"SELECT datepart('m', dt_lancamento) FROM lancamentos"_s;
    QTest::newRow("any case, blanks and a comment")
        << u"SELECT DatePart ( /* ano */ \"YYYY\" , dt) FROM t"_s
        << u"SELECT DatePart ( /* ano */ 'YYYY' , dt) FROM t"_s;
    QTest::newRow("every interval")
        << u"SELECT datepart(\"yyyy\",a), datepart(\"Q\",b), datepart(\"m\",c), "
           "datepart(\"wW\",d) FROM t"_s
        << u"SELECT datepart('yyyy',a), datepart('Q',b), datepart('m',c), datepart('wW',d) "
           "FROM t"_s;
    QTest::newRow("nested calls")
        << u"SELECT datepart(\"q\", x) * 100 + datepart(\"m\", x) AS m FROM t"_s
        << u"SELECT datepart('q', x) * 100 + datepart('m', x) AS m FROM t"_s;
    QTest::newRow("quoted and qualified names")
        << u"SELECT \"datepart\"(\"ww\", d), public.datepart(\"q\", d) FROM t"_s
        << u"SELECT \"datepart\"('ww', d), public.datepart('q', d) FROM t"_s;
    QTest::newRow("texts beside it keep their letters")
        << u"SELECT datepart(\"m\", d) AS mês, 'ação' FROM t"_s
        << u"SELECT datepart('m', d) AS mês, 'ação' FROM t"_s;
    same("no interval of datepart's", u"SELECT datepart(\"d\", d) FROM t"_s);
    same("a column named like an interval", u"SELECT \"m\", \"q\" FROM t"_s);
    same("the second argument", u"SELECT datepart(x, \"m\") FROM t"_s);
    same("other functions", u"SELECT mydatepart(\"m\", d), date_part(\"m\", d) FROM t"_s);
    same("a doubled quote", u"SELECT datepart(\"m\"\"\", d) FROM t"_s);
    same("inside a text", u"SELECT 'datepart(\"m\", d)' FROM t"_s);
    same("inside an escape string", u"SELECT E'\\'datepart(\"m\", d)' FROM t"_s);
    same("inside dollar quotes", u"SELECT $$datepart(\"m\", d)$$, $a$datepart(\"q\", d)$a$"_s);
    same("inside comments",
         u"-- datepart(\"m\", d)\n/* datepart(\"q\", d) /* datepart(\"q\", d) */ */ SELECT 1"_s);
    same("inside a quoted name", u"SELECT 1 AS \"datepart(\"\"m\"\", d)\""_s);
}

void tst_CubeSafety::datepartIntervalsBecomeStrings()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QCOMPARE(datepartIntervalsAsStrings(sql), expected);
}

void tst_CubeSafety::readOnlyConnectionCannotWrite()
{
    if (m_fixture->onServer())
        QSKIP("SQLite's read-only opening (the file, query_only, the raw handle); the cube's "
              "read-only transaction on the server is serverStatementsRunReadOnly's");
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

void tst_CubeSafety::serverStatementsRunReadOnly()
{
    if (!m_fixture->onServer())
        QSKIP("the read-only transaction is the server's guard; SQLite's is the authorizer");
    const QSqlDatabase readOnly = tessal::data::openDatabaseReadOnly(m_fixture->path());
    for (const QSqlDatabase &db : {m_fixture->database(), readOnly}) {
        // read-only on the read-write connection too
        {
            auto reader = makeQueryReader(
                db, u"SELECT current_setting('transaction_read_only') AS somente_leitura"_s);
            QVERIFY(reader->next());
            QCOMPARE(QString::fromUtf8(reader->text(0)), u"on"_s);
        }
        // settings a statement makes for the session end with its load
        {
            auto reader = makeQueryReader(
                db, u"SELECT set_config('default_transaction_read_only', 'off', false) AS a, "
                    "set_config('search_path', 'pg_catalog', false) AS b"_s);
            QVERIFY(reader->next());
            QCOMPARE(QString::fromUtf8(reader->text(1)), u"pg_catalog"_s);
        }
        QSqlQuery q(db);
        QVERIFY2(q.exec(u"SHOW search_path"_s) && q.next(), qPrintable(q.lastError().text()));
        QVERIFY2(q.value(0).toString() != u"pg_catalog"_s, qPrintable(q.value(0).toString()));
    }
    QSqlQuery q(readOnly);
    QVERIFY(q.exec(u"SHOW default_transaction_read_only"_s) && q.next());
    QCOMPARE(q.value(0).toString(), u"on"_s);
    QVERIFY(!q.exec(u"DELETE FROM lancamentos"_s));
    QCOMPARE(ledgerDigest(m_fixture->database()), m_ledger);
}

void tst_CubeSafety::rowErrorsEndTheLoad()
{
    // a row the engine cannot compute ends the load with the engine's words, and neither that
    // nor a reader dropped half-way leaves the connection in a transaction of the cube's
    auto contas = [](const QSqlDatabase &db) {
        int rows = 0;
        const Outcome outcome = outcomeOf([&] {
            auto reader = makeQueryReader(db, u"SELECT cd_conta FROM contas"_s);
            while (reader->next())
                ++rows;
        });
        return outcome.number == 0 ? rows : -1;
    };
    for (const QSqlDatabase &db :
         {m_fixture->database(), tessal::data::openDatabaseReadOnly(m_fixture->path())}) {
        int rows = 0;
        const Outcome failed = outcomeOf([&] {
            auto reader =
                makeQueryReader(db, u"SELECT datepart('dia', dt_lancamento) FROM lancamentos"_s);
            while (reader->next())
                ++rows;
        });
        QCOMPARE(failed.number, int(tessal::ErrorNumber::DatabaseError));
        QVERIFY2(failed.description.contains(u"intervalo desconhecido"_s),
                 qPrintable(failed.description));
        QCOMPARE(rows, 0);
        QCOMPARE(contas(db), 4);
        {
            auto reader = makeQueryReader(db, u"SELECT * FROM lancamentos"_s);
            QVERIFY(reader->next());
        }
        QCOMPARE(contas(db), 4);
    }
    QSqlQuery q(m_fixture->database());
    QVERIFY2(q.exec(u"UPDATE contas SET ds_conta = ds_conta WHERE 1 = 0"_s),
             qPrintable(q.lastError().text()));
}

void tst_CubeSafety::valuesComeAsOnSqlite()
{
    // what the loader is told of each value decides items and sums: a server's booleans,
    // bigints and numerics must arrive as SQLite's integers and reals do
    using Type = RowReader::Type;
    auto reader = makeQueryReader(
        tessal::data::openDatabaseReadOnly(m_fixture->path()),
        u"SELECT 7 AS inteiro, 2.5 AS real, 'texto' AS texto, NULL AS nulo, 1 = 1 AS verdade, "
        "(SELECT count(*) FROM contas) AS contagem, "
        "(SELECT avg(length(ds_conta)) FROM contas) AS media, "
        "(SELECT ds_conta FROM contas WHERE cd_conta = '003') AS acento, '' AS vazio"_s);
    const QStringList names{u"inteiro"_s,  u"real"_s,  u"texto"_s,  u"nulo"_s, u"verdade"_s,
                            u"contagem"_s, u"media"_s, u"acento"_s, u"vazio"_s};
    QCOMPARE(reader->columnCount(), int(names.size()));
    for (int i = 0; i < reader->columnCount(); ++i)
        QCOMPARE(reader->columnName(i), names[i]);
    QVERIFY(reader->next());
    const QList<Type> types{Type::Integer, Type::Real, Type::Text, Type::Null, Type::Integer,
                            Type::Integer, Type::Real, Type::Text, Type::Text};
    for (int i = 0; i < reader->columnCount(); ++i)
        QVERIFY2(reader->type(i) == types[i], qPrintable(names[i]));
    QCOMPARE(reader->integer(0), 7);
    QCOMPARE(reader->real(1), 2.5);
    QCOMPARE(QString::fromUtf8(reader->text(2)), u"texto"_s);
    QCOMPARE(reader->integer(4), 1);
    QCOMPARE(reader->integer(5), 4);
    QCOMPARE(reader->real(6), 8.0); // Caixa, Banco do Brasil, Itaú, Poupança: 32 letters
    QCOMPARE(QString::fromUtf8(reader->text(7)), u"Itaú"_s);
    QCOMPARE(reader->text(8).size(), size_t(0));
    QVERIFY(!reader->next());
}

QTEST_GUILESS_MAIN(tst_CubeSafety)
#include "tst_cubesafety.moc"
