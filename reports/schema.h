#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tessal::reports {

// What an expression's value is; the prefix of a column's name gives its type, as everywhere in
// the cash database: dt_ dates (stored as "yyyy-MM-dd"), vl_ amounts, anything else text.
enum class ValueType { Boolean, Text, Date, Money, Number };

struct SchemaColumn
{
    QString table;  // lower case, as stored
    QString column; // lower case, as stored
    ValueType type;
};

// The tables and columns that layouts and selection formulas may name. Anything else (the users'
// table with its password hashes above all) is refused before any SQL is written, and the names
// that reach SQL are these, quoted, never the text a layout or formula carried.
std::optional<SchemaColumn> findColumn(const QString &table, const QString &column);
bool isReportTable(const QString &table);
QStringList reportTables();
QStringList reportColumns(const QString &table);

// "ValueType" as the operator reads it in a refusal ("data", "texto", ...).
QString typeName(ValueType type);

// A name quoted for SQL text ("lancamentos"), for names taken from the lists above.
QString quoted(const QString &name);

} // namespace tessal::reports
