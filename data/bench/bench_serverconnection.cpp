// What handing out a server connection costs, one figure per line as `name: value unit`: every
// window asks data::openDatabase for its connection on each action, and a kept connection is
// checked for a server that has ended it before it is handed out. The server is the test cluster
// TESSAL_TEST_PG_URI names (scripts/pg-cluster.sh start DIR prints it); without one nothing is
// measured.

#include "core/error.h"
#include "data/database.h"
#include "testsupport/benchfigures.h"
#include "testsupport/otherconnection.h"
#include "testsupport/serverdatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tessal;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!test::testServer()) {
        std::printf("# bench_serverconnection: %s\n", qPrintable(test::noServerReason()));
        return 0;
    }
    test::ScratchServerDatabase database;
    if (!database.isValid()) {
        std::fprintf(stderr, "%s\n", qPrintable(database.error()));
        return 1;
    }
    const QString uri = database.address().uri();
    try {
        data::openDatabase(uri);
        constexpr int Calls = 100'000;
        std::vector<double> perCall;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < Calls; ++i)
                data::openDatabase(uri);
            perCall.push_back(double(timer.nsecsElapsed()) / Calls);
        }
        bench::print("pg_open_database_kept_ns", bench::median(perCall), "ns",
                     "one openDatabase() on a server URI that hands out the kept connection, the "
                     "check that the server has not ended it included; median of 5 runs of "
                     "100000 calls");

        std::vector<double> reconnect;
        for (int run = 0; run < 5; ++run) {
            const QString ended = test::execElsewhere(
                uri, u"SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE "
                     "application_name = 'Tessal Caixa' AND datname = current_database() AND "
                     "pid <> pg_backend_pid()"_s);
            if (!ended.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(ended));
                return 1;
            }
            QElapsedTimer timer;
            timer.start();
            QSqlQuery query(data::openDatabase(uri));
            if (!query.exec(u"SELECT 1"_s))
                return 1;
            reconnect.push_back(bench::msSince(timer));
        }
        bench::print("pg_reconnect_after_server_ended_ms", bench::median(reconnect), "ms",
                     "the first openDatabase() and statement after the server ended the idle "
                     "connection: a new connection opened silently; median of 5");
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    data::closeDatabase(uri);
    return 0;
}
