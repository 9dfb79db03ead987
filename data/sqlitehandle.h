#pragma once

// The raw SQLite handle behind a Qt connection, for the few places that need the C interface
// (registering functions, bulk inserts). Not part of the library's public interface.

#include <QSqlDatabase>
#include <QString>

struct sqlite3;

namespace tessal::data::detail {

// Throws tessal::Error (source: source) when the connection is not the system SQLite's.
sqlite3 *sqliteHandle(const QSqlDatabase &db, const QString &source);

} // namespace tessal::data::detail
