#pragma once

#include "core/datasource.h"
#include "core/error.h" // every function here throws tessal::Error

#include <QSqlDatabase>
#include <QString>

namespace tessal::data {

// The schema version of a server database, kept in its table tessal_versao; the server holds
// the cash tables and CONFIG together, so one number covers both. Version 2 added the accounts'
// totals (tessal_totais), which the server keeps itself; a database of version 1 is brought up to
// date when the program first opens it.
inline constexpr int ServerSchemaVersion = 2;

// The connection for a PostgreSQL server, one per address, access and thread, opened on first use
// through Qt's PostgreSQL driver and reused afterwards. The password is the one given here, else
// the one setServerPassword() keeps, else whatever libpq finds itself (~/.pgpass, PGPASSWORD, a
// service file). A read-only connection runs every transaction read-only, so no statement through
// it can change the data. A kept connection that a statement found lost, or that the server ended
// while it sat idle (a restart, idle_session_timeout, pg_terminate_backend), is replaced by a new
// one here, with the same access and the kept password, without a round trip on the normal path;
// one with a transaction open or a statement still delivering rows is handed out as it is, so the
// work in flight on it fails and is never carried over. Refused with tessal::Error: the driver not
// installed, a server that cannot be reached or refuses the login (the message names the address,
// never a password; serverWantsPassword() tells that case apart).
enum class ServerAccess { ReadWrite, ReadOnly };
QSqlDatabase openServerDatabase(const ServerAddress &address, const QString &password = {},
                                ServerAccess access = ServerAccess::ReadWrite);

// The password the operator typed at start-up, kept in this process's memory only (never written
// anywhere) for the connections opened later; an empty text forgets it.
void setServerPassword(const QString &password);

// True when an opening failed because the server asked for a password it was not given or
// refused the one given: the program then asks the operator.
bool serverWantsPassword(const Error &refusal);

// Closes this thread's connections for the address (read-write and read-only), if any.
void closeServerDatabase(const ServerAddress &address);

// True when the database holds none of this program's tables (nor anything else in its public
// schema): the only kind a data directory may be moved into.
bool serverDatabaseIsEmpty(const QSqlDatabase &db);

// Gives the server database the program's tables (the cash tables and CONFIG, with the same
// columns as caixa.mdb and MENU.mdb), their indexes, the settlement type "001", the shipped menu
// and the `datepart` SQL function, in one transaction. A database already at the current version
// is left as it is, one of an older version is brought up to date; one of a newer release, or one
// holding tables that are not ours, is refused.
void createServerSchema(const QSqlDatabase &db);

// As createServerSchema, inside the caller's open transaction, which the caller commits or rolls
// back: the tables and whatever the caller writes into them next appear together or not at all.
// True when the tables were made here, false when the database already had them.
bool createServerSchemaInTransaction(const QSqlDatabase &db);

} // namespace tessal::data
