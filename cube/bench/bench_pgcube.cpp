// The analysis cube loaded from a million entries on a PostgreSQL server, one figure per line as
// `name: value unit`. The server is the test cluster TESSAL_TEST_PG_URI names
// (scripts/pg-cluster.sh start DIR prints it); without one nothing is measured.
//
// The entries are made on the server itself by one INSERT ... SELECT over generate_series, with
// the spread of the million-entry data directory: 20 accounts, the first three times as busy as
// the others; 16 descriptions; ten years ending 30/06/2026; a remark on two entries in three, all
// of them distinct; a settlement other than the default on one in five.

#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "data/database.h"
#include "data/sqlerror.h"
#include "testsupport/benchfigures.h"
#include "testsupport/serverdatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tessal;

namespace {

constexpr int Entries = 1'000'000;

const char *const Fill[] = {
    "INSERT INTO contas (cd_conta, ds_conta) SELECT lpad(a::text, 3, '0'), 'Conta ' || a "
    "FROM generate_series(1, 20) AS a",
    "INSERT INTO historicos (cd_historico, ds_historico, cd_tipo) "
    "SELECT lpad(h::text, 5, '0'), CASE WHEN h <= 5 THEN 'Receita ' ELSE 'Despesa ' END || h, "
    "CASE WHEN h <= 5 THEN 'C' ELSE 'D' END FROM generate_series(1, 16) AS h",
    "INSERT INTO baixas (cd_baixa, ds_baixa) VALUES ('002', 'Dinheiro'), ('003', 'Cheque'), "
    "('004', 'Cartão'), ('005', 'Transferência'), ('006', 'Boleto')",
};

// multiplying by large primes spreads accounts, descriptions and amounts over the entries
const char FillEntries[] =
    "INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, ds_complemento, "
    "vl_lancamento, dt_lancamento, cd_status, vl_saldo, cd_baixa) "
    "SELECT lpad((i + 1)::text, 10, '0'), "
    "lpad(greatest(1, (i * 7919) % 22 - 1)::text, 3, '0'), lpad((1 + h)::text, 5, '0'), "
    "CASE WHEN i % 3 = 0 THEN '' ELSE 'Doc. ' || (100000 + i) END, "
    "(500 + (i * 2654435761) % 300000) / 100.0, "
    "to_char(date '2016-07-03' + (i * 3650 / %1)::integer, 'YYYY-MM-DD'), "
    "CASE WHEN h < 5 THEN 'C' ELSE 'D' END, 0, "
    "CASE WHEN i % 5 <> 0 THEN '001' ELSE lpad((2 + i / 5 % 5)::text, 3, '0') END "
    "FROM (SELECT i, (i * 104729) % 16 AS h FROM generate_series(0::bigint, %1 - 1) AS i) AS n";

// What the window shows once loaded: the grid's first screen.
double touchGrid(const cube::Cube &cube)
{
    double sum = 0;
    for (int r = 0; r < std::min(cube.rowCount(), 60); ++r)
        for (int c = 0; c < std::min(cube.columnCount(), 40); ++c)
            sum += cube.cellValue(c, r).toDouble();
    return sum;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!test::testServer()) {
        std::printf("# bench_pgcube: %s\n", qPrintable(test::noServerReason()));
        return 0;
    }
    test::ScratchServerDatabase database;
    if (!database.isValid()) {
        std::fprintf(stderr, "%s\n", qPrintable(database.error()));
        return 1;
    }
    const QString uri = database.address().uri();
    try {
        QElapsedTimer timer;
        timer.start();
        data::createCashDatabase(uri);
        {
            QSqlDatabase db = data::openDatabase(uri);
            data::Transaction transaction(db);
            QSqlQuery query(db);
            for (const char *statement : Fill)
                data::execOrThrow(query, QString::fromUtf8(statement));
            // the secondary indexes of lancamentos are made again afterwards, as the schema has
            // them, rather than kept up to date entry by entry
            data::execOrThrow(query, u"SELECT indexname, indexdef FROM pg_indexes WHERE "
                                     "schemaname = current_schema() AND tablename = 'lancamentos' "
                                     "AND indexname <> 'lancamentos_pkey'"_s);
            QList<std::pair<QString, QString>> indexes;
            while (query.next())
                indexes.append({query.value(0).toString(), query.value(1).toString()});
            for (const auto &[name, definition] : std::as_const(indexes))
                data::execOrThrow(query, u"DROP INDEX \"%1\""_s.arg(name));
            data::execOrThrow(query, QString::fromUtf8(FillEntries).arg(Entries));
            for (const auto &[name, definition] : std::as_const(indexes))
                data::execOrThrow(query, definition);
            transaction.commit();
            // the planner's figures for the join, as autovacuum would gather them in time
            data::execOrThrow(query, u"ANALYZE"_s);
        }
        bench::print("pg_cube_fill_s", bench::msSince(timer) / 1000.0, "s",
                     "schema and a million entries made on the server");

        // each load from opening the read-only connection to the grid's first screen
        std::vector<double> loads, cpu;
        for (int round = 0; round < 3; ++round) {
            data::closeDatabase(uri);
            cube::Cube cube;
            cube.setDefinition(cube::analysisCubeDefinition(uri));
            timer.restart();
            const double cpuBefore = bench::cpuMs();
            cube.load(data::openDatabaseReadOnly(uri));
            const double firstScreen = touchGrid(cube);
            loads.push_back(bench::msSince(timer));
            cpu.push_back(bench::cpuMs() - cpuBefore);
            if (firstScreen == 0 || cube.loadedRowCount() != size_t(Entries)) {
                std::fprintf(stderr, "the cube loaded %zu rows\n", cube.loadedRowCount());
                return 1;
            }
        }
        bench::print("pg_cube_load_ms", bench::median(loads), "ms",
                     "median of three loads of the analysis cube, from opening the read-only "
                     "connection to the grid's first screen");
        bench::print("pg_cube_load_cpu_ms", bench::median(cpu), "ms",
                     "this process alone; the server's time is not in it");
        bench::printCount("pg_cube_rows_loaded", Entries);
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    data::closeDatabase(uri);
    return 0;
}
