#pragma once

#include "core/error.h"
#include "data/database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <thread>

namespace tessal::test {

// Statements run as another workstation would run them, on a connection of its own to the same
// database: data::openDatabase keeps one connection per thread, so a second thread gets a second
// connection, which it closes before returning.

namespace detail {

// Runs the statement on a second connection; `read` takes its result. Returns the engine's words
// when the statement is refused, else an empty text.
template<typename Read>
QString runElsewhere(const QString &databasePath, const QString &sql, const QVariantList &binds,
                     Read &&read)
{
    QString failure;
    std::thread other([&] {
        try {
            QSqlQuery query(data::openDatabase(databasePath));
            if (!query.prepare(sql)) {
                failure = query.lastError().text();
            } else {
                for (const QVariant &value : binds)
                    query.addBindValue(value);
                if (query.exec())
                    read(query);
                else
                    failure = query.lastError().text();
            }
        } catch (const Error &e) {
            failure = e.description();
        }
        data::closeDatabase(databasePath);
    });
    other.join();
    return failure.isEmpty() ? QString() : failure + QStringLiteral(" in: ") + sql;
}

} // namespace detail

// Returns the engine's words when the statement is refused, else an empty text.
inline QString execElsewhere(const QString &databasePath, const QString &sql,
                             const QVariantList &binds = {})
{
    return detail::runElsewhere(databasePath, sql, binds, [](QSqlQuery &) {});
}

// The first value of the statement's first row as the other connection sees it; an invalid
// QVariant when there is no row, and the refusal's words when the statement is refused.
inline QVariant valueElsewhere(const QString &databasePath, const QString &sql,
                               const QVariantList &binds = {})
{
    QVariant value;
    const QString failure = detail::runElsewhere(databasePath, sql, binds, [&](QSqlQuery &query) {
        if (query.next())
            value = query.value(0);
    });
    return failure.isEmpty() ? value : QVariant(failure);
}

} // namespace tessal::test
