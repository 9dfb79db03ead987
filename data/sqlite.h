#pragma once

// SQLite's own interface behind a Qt connection, for the few passes where a row through QSqlQuery
// costs more than the work itself (the balance walk, the cube's load, bulk inserts) and for
// registering functions. Qt's driver and this program must use one and the same SQLite library:
// a handle of one library used through the functions of another corrupts the connection, so the
// handle is given out only after that has been checked.

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace tessal::data {

// The library Qt's driver runs, as it answers sqlite_version() and sqlite_source_id().
struct SqliteLibrary
{
    QString version;
    QString sourceId;
};

// The message for a driver running another SQLite than the one linked into the program, or
// nothing when both are the same library.
std::optional<QString> sqliteLibraryMismatch(const SqliteLibrary &driver);

// The raw handle of a connection of Qt's SQLite driver; nullptr for a connection of another
// driver. Throws tessal::Error (DatabaseError) when the driver's SQLite is not the program's.
sqlite3 *sqliteHandle(const QSqlDatabase &db);

// As sqliteHandle(), for callers that only work on SQLite: another driver is refused too.
sqlite3 *requireSqliteHandle(const QSqlDatabase &db, const QString &source);

// One prepared statement on a raw handle. Every refusal throws tessal::Error with the engine's
// words and the statement as its source.
class SqliteStatement
{
public:
    SqliteStatement(sqlite3 *db, const QString &sql);
    // Takes over a statement prepared elsewhere (by a caller that checks what it prepares); it
    // is finalized here.
    SqliteStatement(sqlite3 *db, sqlite3_stmt *prepared, const QString &sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    void bind(int index, const QString &text);
    // The bytes must stay alive until the statement is stepped and reset.
    void bindStatic(int index, const QByteArray &utf8);
    void bind(int index, double value);
    void bind(int index, qint64 value);
    // Null, text, whole and real numbers, bytes; anything else as its text.
    void bind(int index, const QVariant &value);

    // True while there is a row; false once the statement is done.
    bool step();
    void reset();
    sqlite3_stmt *get() const { return m_statement; }
    // The current row's value in a column (from 0), as the engine holds it.
    QVariant value(int column) const;
    const QString &sql() const { return m_sql; }

    [[noreturn]] void fail() const;

private:
    void check(int rc) const;

    sqlite3 *m_db;
    QString m_sql;
    sqlite3_stmt *m_statement = nullptr;
};

} // namespace tessal::data
