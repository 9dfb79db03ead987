#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <string_view>

namespace tessal::cube {

// Rows handed to the engine without a database: the tests' fixtures and any caller that already
// holds its rows.
struct RowTable
{
    QStringList columns;
    QList<QVariantList> rows;
};

// A forward-only cursor over the record source. The loader asks each value's type first and then
// reads it in that type, so SQLite's own values travel without a QVariant per cell.
class RowReader
{
public:
    enum class Type { Null, Integer, Real, Text };

    virtual ~RowReader() = default;
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual bool next() = 0;
    virtual Type type(int column) = 0;
    virtual qint64 integer(int column) = 0;
    virtual double real(int column) = 0;
    // UTF-8, valid until the next call to next()
    virtual std::string_view text(int column) = 0;
};

std::unique_ptr<RowReader> makeTableReader(const RowTable &table);

// Refuses, with tessal::Error CubeError::UnsafeStatement (1027), any `sql` that is not one
// read-only SELECT, before anything of it runs. On SQLite the statement is compiled under an
// authorizer that allows only what a SELECT reads (joins, subqueries, views, unions and CTEs,
// recursive ones included, and functions other than load_extension) and denies ATTACH, DETACH,
// PRAGMA, every write, transaction, savepoint and schema action; it must then be read-only by
// sqlite3_stmt_readonly(), no EXPLAIN, give columns, and be followed by nothing but whitespace
// and comments (a second statement is refused). On a PostgreSQL server the text must pass
// requireSelectText, and the server's plan for it, asked for in a read-only transaction that is
// rolled back, must neither write nor lock rows, read neither the users' table nor the server's
// catalogs, nor call a function that runs a query written in a text; the server must then take
// it as a cursor's query. A statement the engine cannot compile or plan at all (a syntax error,
// an unknown table, SELECT ... INTO on the server) throws ErrorNumber::DatabaseError with the
// engine's words.
// The analysis window can call it to check a record source before keeping it.
void requireReadOnlySelect(const QSqlDatabase &db, const QString &sql);

// The rule requireReadOnlySelect applies to the text on a PostgreSQL server, before anything is
// sent there, with the server's rules for quotes and comments (dollar quotes, E'' strings and
// nested comments included, a backslash in a plain string read both ways): after whitespace and
// comments it starts with SELECT, WITH or VALUES, and a ';' outside them may only end it. Throws
// CubeError::UnsafeStatement otherwise.
void requireSelectText(const QString &sql);

// The record source as a PostgreSQL server must read it: the double-quoted interval that opens a
// call of datepart ("yyyy", "q", "m" or "ww", in any case), which SQLite takes for a string and
// PostgreSQL for a column name, becomes a string ('yyyy', ...). Nothing else changes, and nothing
// inside strings, quoted names or comments.
QString datepartIntervalsAsStrings(const QString &sql);

// Runs `sql` on `db` after the requireReadOnlySelect checks (the same compiled statement is run,
// so nothing unchecked ever executes). Through SQLite's own handle when the connection is QSQLITE
// (a million rows in well under the interactive budget); when it is QPSQL, through a forward-only
// QSqlQuery in the read-only transaction, on the first row asked for (the columns are known before
// anything runs), the statement as datepartIntervalsAsStrings gives it. Any other engine is
// refused. Values come as on SQLite: texts, integers (booleans as 0 and
// 1), reals (numeric ones too), dates as "yyyy-MM-dd" text, nulls. Throws tessal::Error.
std::unique_ptr<RowReader> makeQueryReader(const QSqlDatabase &db, const QString &sql);

} // namespace tessal::cube
