#include "controls/querywindowmodel.h"
#include "core/error.h"
#include "data/database.h"
#include "data/recordset.h"
#include "data/server.h"
#include "data/sqlerror.h"
#include "ledger/ledger.h"
#include "testsupport/otherconnection.h"
#include "testsupport/serverdatabase.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <libpq-fe.h>
#include <memory>
#include <poll.h>

Q_DECLARE_OPAQUE_POINTER(PGconn *)

using namespace tessal;
using namespace tessal::data;
using namespace Qt::StringLiterals;

// Runs a call of the program's, failing the test with the program's message when it throws.
#define WITHOUT_ERROR(call)                                                                        \
    do {                                                                                           \
        try {                                                                                      \
            call;                                                                                  \
        } catch (const Error &e) {                                                                 \
            QFAIL(qPrintable(e.description()));                                                    \
        }                                                                                          \
    } while (false)

// The server ends the program's connections while they sit idle, as a restart, idle_session_timeout
// or an administrator would; the program's next action must open a new connection by itself and
// go through. Work that was in flight when its connection dropped fails and is never carried over
// to the new connection. (A ledger change cut off half-way is told to the operator as lost and not
// stored: tst_ledger's lostConnectionStoresNothingAndSaysSo.)
class tst_Reconnect : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void recordSetReadsAfterTheServerEndedItsConnection();
    void ledgerPostsAfterTheServerEndedItsConnection();
    void gridRefreshesAfterTheServerEndedItsConnection();
    void readOnlyConnectionComesBackReadOnly();
    void failedStatementLeavesNoLastingError();
    void changeInFlightIsNeverCarriedOver();
    void statementDeliveringRowsIsLeftAlone();
    void liveConnectionIsKept();
    void unreachableDatabaseIsToldInPortuguese();

private:
    QString path() const { return m_scratch->address().uri(); }
    qint64 backend(const QSqlDatabase &db);
    QList<qint64> endProgramConnections();

    std::unique_ptr<test::ScratchServerDatabase> m_scratch;
};

void tst_Reconnect::init()
{
    m_scratch = std::make_unique<test::ScratchServerDatabase>();
    TESSAL_REQUIRE_SERVER(*m_scratch);
    createServerSchema(openDatabase(path()));
    QSqlQuery q(openDatabase(path()));
    QVERIFY2(q.exec(u"INSERT INTO contas VALUES ('001', 'Caixa'), ('002', 'Banco')"_s),
             qPrintable(q.lastError().text()));
    QVERIFY2(q.exec(u"INSERT INTO historicos VALUES ('00001', 'Venda', 'C')"_s),
             qPrintable(q.lastError().text()));
}

void tst_Reconnect::cleanup()
{
    setServerPassword({});
    m_scratch.reset();
}

qint64 tst_Reconnect::backend(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    if (!q.exec(u"SELECT pg_backend_pid()"_s) || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

// What an administrator does from another session: every connection of the program to the scratch
// database but the asking one is ended, and the call returns, with their process ids, once they
// are gone. Only this database's (picked before anything is ended): the other tests run beside
// this one on the same server.
QList<qint64> tst_Reconnect::endProgramConnections()
{
    const QString ended =
        test::valueElsewhere(path(), u"WITH ours AS MATERIALIZED (SELECT pid FROM pg_stat_activity "
                                     "WHERE application_name = 'Tessal Caixa' AND datname = "
                                     "current_database() AND pid <> pg_backend_pid()) "
                                     "SELECT string_agg(pid::text, ',') FROM ours "
                                     "WHERE pg_terminate_backend(pid, 5000)"_s)
            .toString();
    QList<qint64> pids;
    for (const QString &pid : ended.split(u',', Qt::SkipEmptyParts))
        pids << pid.toLongLong();
    return pids;
}

// A window's record set read before the server restarted, read again after it.
void tst_Reconnect::recordSetReadsAfterTheServerEndedItsConnection()
{
    RecordSet accounts(path(), u"select * from contas order by cd_conta"_s);
    accounts.refresh();
    const qint64 before = backend(openDatabase(path()));
    QVERIFY(endProgramConnections().contains(before));

    WITHOUT_ERROR(accounts.refresh());
    QCOMPARE(accounts.text(u"ds_conta"_s), u"Caixa"_s);
    accounts.moveNext();
    QCOMPARE(accounts.text(u"ds_conta"_s), u"Banco"_s);
    WITHOUT_ERROR(accounts.findFirst(u"cd_conta"_s, u"001"_s));
    QVERIFY(!accounts.noMatch());
    const qint64 after = backend(openDatabase(path()));
    QVERIFY(after != 0 && after != before);

    // A write through it after another drop goes through too, and is stored once.
    QVERIFY(endProgramConnections().contains(after));
    accounts.edit();
    accounts.setField(u"ds_conta"_s, u"Caixa geral"_s);
    WITHOUT_ERROR(accounts.update());
    QCOMPARE(test::valueElsewhere(path(), u"SELECT ds_conta FROM contas WHERE cd_conta = '001'"_s)
                 .toString(),
             u"Caixa geral"_s);
}

void tst_Reconnect::ledgerPostsAfterTheServerEndedItsConnection()
{
    ledger::Ledger ledger(path());
    const ledger::EntryInput entry{u"001"_s, u"00001"_s, {}, u"100"_s, u"01/06/2024"_s};
    QCOMPARE(ledger.post(entry).code, u"0000000001"_s);
    const qint64 before = backend(ledger.database());
    QVERIFY(endProgramConnections().contains(before));

    ledger::ChangeResult result;
    WITHOUT_ERROR(result = ledger.post(entry));
    QCOMPARE(result.code, u"0000000002"_s);
    QCOMPARE(result.totals, (ledger::Totals{20000, 0}));
    QCOMPARE(test::valueElsewhere(path(), u"SELECT count(*) FROM lancamentos"_s).toInt(), 2);
    QVERIFY(backend(ledger.database()) != before);
}

void tst_Reconnect::gridRefreshesAfterTheServerEndedItsConnection()
{
    QueryWindowModel grid;
    grid.setDatabasePath(path());
    grid.setSql(u"select cd_conta, ds_conta from contas order by cd_conta"_s);
    grid.refresh();
    QCOMPARE(grid.rowCount(), 2);
    const qint64 before = backend(openDatabase(path()));
    QVERIFY(endProgramConnections().contains(before));

    test::execElsewhere(path(), u"INSERT INTO contas VALUES ('003', 'Cofre')"_s);
    WITHOUT_ERROR(grid.refresh());
    QCOMPARE(grid.rowCount(), 3);
    QCOMPARE(grid.text(2, 1), u"Cofre"_s);
}

// The analysis cube's connection: replaced like the others, and still unable to change anything.
void tst_Reconnect::readOnlyConnectionComesBackReadOnly()
{
    const qint64 before = backend(openDatabaseReadOnly(path()));
    QVERIFY(before != 0);
    QVERIFY(endProgramConnections().contains(before));

    QSqlDatabase reader = openDatabaseReadOnly(path());
    const qint64 after = backend(reader);
    QVERIFY(after != 0 && after != before);
    QSqlQuery q(reader);
    QVERIFY(q.exec(u"SHOW default_transaction_read_only"_s) && q.next());
    QCOMPARE(q.value(0).toString(), u"on"_s);
    QVERIFY(!q.exec(u"INSERT INTO contas VALUES ('009', 'Nova')"_s));
    QCOMPARE(q.lastError().nativeErrorCode(), u"25006"_s); // read_only_sql_transaction
    // The read-write connection is still another one, and writes.
    QSqlDatabase writer = openDatabase(path());
    QVERIFY(writer.connectionName() != reader.connectionName());
    QSqlQuery w(writer);
    QVERIFY2(w.exec(u"INSERT INTO contas VALUES ('009', 'Nova')"_s),
             qPrintable(w.lastError().text()));
}

// A statement that ran into the drop fails, as it must; the next action is not left failing.
void tst_Reconnect::failedStatementLeavesNoLastingError()
{
    QSqlDatabase held = openDatabase(path());
    const qint64 before = backend(held);
    QVERIFY(endProgramConnections().contains(before));
    QSqlQuery q(held);
    QVERIFY(!q.exec(u"SELECT count(*) FROM contas"_s));

    const qint64 after = backend(openDatabase(path()));
    QVERIFY(after != 0 && after != before);
    QSqlQuery again(openDatabase(path()));
    QVERIFY(again.exec(u"SELECT count(*) FROM contas"_s) && again.next());
    QCOMPARE(again.value(0).toInt(), 2);
    // The old connection stays dead for whoever still holds it: nothing goes on through it in the
    // new session.
    QVERIFY(!held.isOpen());
    QVERIFY(!q.exec(u"SELECT count(*) FROM contas"_s));
}

// A transaction whose connection dropped is over: whatever its work asks next fails, even when it
// asks for the shared connection anew, so that no part of it is stored through a new connection.
void tst_Reconnect::changeInFlightIsNeverCarriedOver()
{
    {
        const qint64 before = backend(openDatabase(path()));
        Transaction change(openDatabase(path()));
        QSqlQuery first(openDatabase(path()));
        QVERIFY(first.exec(u"INSERT INTO contas VALUES ('010', 'Primeira')"_s));
        QVERIFY(endProgramConnections().contains(before));
        QSqlQuery second(openDatabase(path()));
        QVERIFY(!second.exec(u"INSERT INTO contas VALUES ('011', 'Segunda')"_s));
        QVERIFY_THROWS_EXCEPTION(Error, change.commit());
    }
    QSqlQuery check(openDatabase(path()));
    QVERIFY(check.exec(u"SELECT count(*) FROM contas WHERE cd_conta IN ('010', '011')"_s) &&
            check.next());
    QCOMPARE(check.value(0).toInt(), 0);
}

// A statement still delivering its rows a few at a time (a forward-only read) is work in flight
// too: asking for the connection meanwhile neither takes it away nor disturbs the reading.
void tst_Reconnect::statementDeliveringRowsIsLeftAlone()
{
    QSqlQuery rows(openDatabase(path()));
    rows.setForwardOnly(true);
    QVERIFY(rows.exec(u"SELECT n FROM generate_series(1, 20000) AS n"_s));
    int read = 0;
    while (rows.next()) {
        if (++read == 10)
            QVERIFY(openDatabase(path()).driver() == rows.driver());
    }
    QCOMPARE(read, 20000);
    QVERIFY(!rows.lastError().isValid());
}

// On the normal path the same connection is handed out again, and what the server sends unasked
// on a live connection (a notification here) does not make the program give up a good one.
void tst_Reconnect::liveConnectionIsKept()
{
    QSqlDatabase db = openDatabase(path());
    const qint64 first = backend(db);
    QCOMPARE(backend(openDatabase(path())), first);

    QSqlQuery listen(db);
    QVERIFY(listen.exec(u"LISTEN tessal_teste"_s));
    QCOMPARE(test::execElsewhere(path(), u"SELECT pg_notify('tessal_teste', 'oi')"_s), QString());
    const QVariant handle = db.driver()->handle();
    QCOMPARE(handle.metaType(), QMetaType::fromType<PGconn *>());
    pollfd socket{PQsocket(*static_cast<PGconn *const *>(handle.constData())), POLLIN, 0};
    QVERIFY2(::poll(&socket, 1, 10000) == 1, "the notification never arrived");

    QCOMPARE(backend(openDatabase(path())), first);
}

// The server is there but the database takes no connection: the reconnection fails at once with
// the program's own message, naming the address and never the kept password; once the database
// takes connections again the next action goes through.
void tst_Reconnect::unreachableDatabaseIsToldInPortuguese()
{
    setServerPassword(u"s3gr3d0"_s);
    const QString database = m_scratch->address().database;
    const qint64 before = backend(openDatabase(path()));
    QVERIFY(endProgramConnections().contains(before));
    // From the cluster's own database: the scratch one is about to refuse every connection.
    QSqlDatabase cluster = openServerDatabase(*test::testServer());
    {
        QSqlQuery admin(cluster);
        QVERIFY2(admin.exec(u"ALTER DATABASE %1 WITH ALLOW_CONNECTIONS false"_s.arg(database)),
                 qPrintable(admin.lastError().text()));
    }
    try {
        RecordSet accounts(path(), u"select * from contas"_s);
        accounts.refresh();
        QFAIL("a connection to a database that takes none was opened");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::DatabaseError);
        QVERIFY2(e.description().startsWith(
                     u"Não foi possível conectar ao servidor \"%1\":"_s.arg(path())),
                 qPrintable(e.description()));
        QVERIFY2(e.description().contains(database), qPrintable(e.description()));
        QVERIFY(!e.description().contains(u"s3gr3d0"_s));
    }

    {
        QSqlQuery admin(cluster);
        QVERIFY2(admin.exec(u"ALTER DATABASE %1 WITH ALLOW_CONNECTIONS true"_s.arg(database)),
                 qPrintable(admin.lastError().text()));
    }
    RecordSet accounts(path(), u"select * from contas order by cd_conta"_s);
    WITHOUT_ERROR(accounts.refresh());
    QCOMPARE(accounts.text(u"cd_conta"_s), u"001"_s);
}

QTEST_GUILESS_MAIN(tst_Reconnect)
#include "tst_reconnect.moc"
