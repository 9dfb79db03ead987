#pragma once

// How RecordSet and the grid model read the windows' fixed SQL texts; not part of the library's
// public interface.

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

// The statement without its closing top-level ORDER BY, for counting its rows: a server sorts a
// subquery's rows even when only their number is asked, which on a large account costs more than
// the count. The text comes back unchanged when the ORDER BY is followed by LIMIT, OFFSET or
// FETCH (the order then decides which rows there are) or holds a parameter (the bound values
// would no longer line up), and when there is none.
QString withoutClosingOrderBy(const QString &sql);

} // namespace tessal::data::detail
