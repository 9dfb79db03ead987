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

// Runs `sql` on `db`. Through SQLite's own handle when the connection is QSQLITE (a million rows
// in well under the interactive budget), through QSqlQuery otherwise. Throws tessal::Error.
std::unique_ptr<RowReader> makeQueryReader(const QSqlDatabase &db, const QString &sql);

} // namespace tessal::cube
