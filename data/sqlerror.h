#pragma once

// Checked statements for every library that runs SQL: a statement the engine refuses becomes a
// tessal::Error carrying the engine's words, with the statement as its source.

#include "core/error.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

namespace tessal::data {

// The description the error box shows for a statement the engine refused: what the engine said,
// in front of the statement so the operator's report carries both.
inline QString refusedStatement(const QString &engineText)
{
    return QStringLiteral("O banco de dados recusou a instrução: %1").arg(engineText);
}

inline QString refusedStatement(const QSqlError &error)
{
    return refusedStatement(error.databaseText().isEmpty() ? error.text() : error.databaseText());
}

[[noreturn]] inline void throwQueryError(const QSqlQuery &query, const QString &sql)
{
    throw Error(ErrorNumber::DatabaseError, refusedStatement(query.lastError()), sql);
}

inline void prepareOrThrow(QSqlQuery &query, const QString &sql)
{
    if (!query.prepare(sql))
        throwQueryError(query, sql);
}

inline void execOrThrow(QSqlQuery &query)
{
    if (!query.exec())
        throwQueryError(query, query.lastQuery());
}

inline void execOrThrow(QSqlQuery &query, const QString &sql)
{
    if (!query.exec(sql))
        throwQueryError(query, sql);
}

namespace detail {

// Quotes an identifier for SQL text; names come from code or from the schema, never from typing,
// but quoting keeps a reserved word or an odd name from changing the statement.
inline QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace detail

// Scopes a change of several rows: without commit() the destructor rolls it back.
// On a file a change takes the write lock up front (BEGIN IMMEDIATE), so a second program waits on
// the busy timeout instead of failing half-way when its read turns into a write; a read takes none
// and only makes the statements inside it see one state of the file. A server locks rows as they
// are written and has no such mode: there a transaction is a plain BEGIN.
class Transaction
{
public:
    enum Kind { Change, Read };
    explicit Transaction(QSqlDatabase db, Kind kind = Change)
        : m_db(std::move(db))
    {
        QSqlQuery query(m_db);
        const bool server = m_db.driverName() == QLatin1String("QPSQL");
        execOrThrow(query, kind == Change && !server ? QStringLiteral("BEGIN IMMEDIATE")
                                                     : QStringLiteral("BEGIN"));
    }
    ~Transaction()
    {
        if (!m_done) {
            QSqlQuery query(m_db);
            query.exec(QStringLiteral("ROLLBACK"));
        }
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit()
    {
        QSqlQuery query(m_db);
        execOrThrow(query, QStringLiteral("COMMIT"));
        m_done = true;
    }

private:
    QSqlDatabase m_db;
    bool m_done = false;
};

} // namespace tessal::data
