#pragma once

// How RecordSet reads the windows' fixed SQL texts; not part of the library's public interface.

#include <QList>
#include <QString>

namespace tessal::data::detail {

struct OrderTerm
{
    QString expression;
    bool descending = false;
};

struct TableRef
{
    QString table;     // as written in the FROM clause
    QString reference; // the alias when there is one, else the table name
};

// A SELECT split at its top-level clauses. `keyset` is true when the statement is a plain
// SELECT ... FROM ... [WHERE ...] [ORDER BY ...] over tables: then a position can be addressed
// by its ORDER BY values plus each table's rowid, and the clauses can be recombined with extra
// conditions and orderings. Anything else (GROUP BY, DISTINCT, UNION, LIMIT, subqueries in FROM,
// ORDER BY a column number) is still run as written, but only scanned.
struct SqlShape
{
    bool keyset = false;
    QString selectList;
    QString from;
    QString where;
    QList<OrderTerm> order;
    QList<TableRef> tables;
};

SqlShape parseSelect(const QString &sql);

} // namespace tessal::data::detail
