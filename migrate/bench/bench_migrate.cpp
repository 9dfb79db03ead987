// Figures for moving the million-entry data directory onto a PostgreSQL server, one per line as
// `name: value unit`. The server is the test cluster TESSAL_TEST_PG_URI names
// (scripts/pg-cluster.sh start DIR prints it); without one nothing is measured.

#include "data/database.h"
#include "data/server.h"
#include "migrate/migration.h"
#include "testsupport/benchdata.h"
#include "testsupport/benchfigures.h"
#include "testsupport/serverdatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

using namespace tessal;
using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!test::testServer()) {
        std::printf("# bench_migrate: %s\n", qPrintable(test::noServerReason()));
        return 0;
    }
    QTemporaryDir scratch;
    const QString dataDir = bench::millionEntryDataDirectory(scratch);
    if (dataDir.isEmpty())
        return 1;
    try {
        test::ScratchServerDatabase database;
        if (!database.isValid()) {
            std::fprintf(stderr, "%s\n", qPrintable(database.error()));
            return 1;
        }
        QElapsedTimer timer;
        double copyMs = 0;
        migrate::MigrationOptions options;
        options.progress = [&](const QString &line) {
            if (line.startsWith(u"Copiando lancamentos"_s))
                timer.start();
            else if (line.startsWith(u"Conferindo a cópia"_s))
                copyMs = bench::msSince(timer);
        };
        QElapsedTimer total;
        total.start();
        migrate::MigrationReport report;
        {
            const migrate::Source source(dataDir);
            report = migrate::copyToServer(source, data::openServerDatabase(database.address()),
                                           options);
        }
        const double totalMs = bench::msSince(total);
        if (report.outcome != migrate::MigrationReport::Outcome::Copied) {
            std::fprintf(stderr, "the migration was not committed\n");
            return 1;
        }
        bench::print("migrate_million_entries_total", totalMs / 1000.0, "s",
                     "source balance check, schema, copy of every table, check and commit");
        bench::print("migrate_million_entries_copy_lancamentos", copyMs / 1000.0, "s",
                     "the copy of lancamentos alone, batches of 500 rows");
        bench::print("migrate_million_entries_rows_per_second",
                     double(report.serverBalances.entries) / (copyMs / 1000.0), "rows/s");
        bench::printCount("migrate_million_entries_checked", report.serverBalances.entries);
        data::closeServerDatabase(database.address());
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    data::closeDatabase(data::cashDatabasePath(dataDir));
    data::closeDatabase(data::menuDatabasePath(dataDir));
    return 0;
}
