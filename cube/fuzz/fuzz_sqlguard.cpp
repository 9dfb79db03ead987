// libFuzzer target for the cube's statement guard (requireReadOnlySelect / makeQueryReader): any
// text must end in rows or a tessal::Error, and never change the database it is given, even a
// read-write connection. After every input the harness checks that no row changed, the schema
// and user version are the same, nothing is attached and no transaction was left open; anything
// else aborts, and the fuzzer reports the input.

#include "core/error.h"
#include "cube/rowsource.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

sqlite3 *g_raw = nullptr;
QSqlDatabase g_db;
int g_steps = 0;

qint64 scalar(const char *sql)
{
    sqlite3_stmt *s = nullptr;
    qint64 v = -1;
    if (sqlite3_prepare_v2(g_raw, sql, -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
        v = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return v;
}

struct State
{
    int changes;
    qint64 schema;
    qint64 user;
    qint64 databases;
    qint64 rows;
    bool operator==(const State &) const = default;
};

State state()
{
    return {sqlite3_total_changes(g_raw), scalar("PRAGMA schema_version"),
            scalar("PRAGMA user_version"), scalar("SELECT count(*) FROM pragma_database_list"),
            scalar("SELECT (SELECT count(*) FROM lancamentos) + (SELECT count(*) FROM contas)")};
}

State g_initial;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    g_db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fuzz"_s);
    g_db.setDatabaseName(u":memory:"_s);
    if (!g_db.open())
        std::abort();
    QSqlQuery q(g_db);
    for (const QString &sql :
         {u"CREATE TABLE contas (cd_conta TEXT PRIMARY KEY, ds_conta TEXT)"_s,
          u"CREATE TABLE lancamentos (cd_lancamento TEXT PRIMARY KEY, cd_conta TEXT, "
          "vl_lancamento REAL, dt_lancamento TEXT)"_s,
          u"CREATE VIEW v AS SELECT * FROM lancamentos JOIN contas USING (cd_conta)"_s,
          u"INSERT INTO contas VALUES ('001', 'Caixa'), ('002', 'Banco')"_s,
          u"INSERT INTO lancamentos VALUES ('1', '001', 10.5, '2024-01-02'), "
          "('2', '002', -3, '2024-02-03'), ('3', '001', 7, '2023-12-31')"_s,
          u"PRAGMA user_version = 2"_s})
        if (!q.exec(sql))
            std::abort();
    g_raw = *static_cast<sqlite3 *const *>(g_db.driver()->handle().constData());
    // a statement that runs long is cut off, like a fuzzer input that does not end
    sqlite3_progress_handler(
        g_raw, 1000, [](void *) { return ++g_steps > 2000 ? 1 : 0; }, nullptr);
    g_initial = state();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    g_steps = 0;
    try {
        auto reader = tessal::cube::makeQueryReader(g_db, sql);
        for (int row = 0; row < 200 && reader->next(); ++row)
            for (int c = 0; c < reader->columnCount(); ++c)
                if (reader->type(c) == tessal::cube::RowReader::Type::Text)
                    (void)reader->text(c);
    } catch (const tessal::Error &) {
    }
    g_steps = 0;
    if (!(state() == g_initial) || !sqlite3_get_autocommit(g_raw)) {
        std::fprintf(stderr, "the guard let a change through: %s\n", sql.toUtf8().constData());
        std::abort();
    }
    return 0;
}
