#pragma once

#include "core/error.h" // every function here throws tessal::Error

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>
#include <string_view>

namespace tessal::data {

// Schema version written to PRAGMA user_version of both databases; a later release that changes
// the tables reads it to know which steps to run. Menu version 2 adds the utilities' buttons to a
// menu of version 1, keeping every row the operator has.
inline constexpr int CashSchemaVersion = 2;
inline constexpr int MenuSchemaVersion = 2;

// PRAGMA application_id of our two databases ("TSCX" and "TSMN"), which tells them from any other
// SQLite file, each other included.
inline constexpr qint32 CashApplicationId = 0x54534358;
inline constexpr qint32 MenuApplicationId = 0x54534D4E;

enum class DatabaseKind { Cash, Menu };

// One button of the shipped main menu, as a row of CONFIG.
struct MenuOption
{
    int grupo;
    int opcao;
    QString descricao;
    QString tooltip; // ds_tootip
    int opcoes;      // how many options its group has
};

// The menu a new MENU.mdb (or a new server database) is given.
QList<MenuOption> shippedMenu();
// Adds the shipped menu's rows to CONFIG where their places are free, on either engine; the
// operator's own rows stay as they are.
void insertShippedMenu(QSqlQuery &query);

// Closes and forgets a named connection of this thread, if there is one.
void closeConnection(const QString &name);

// The connection for an existing database of the kind, one per path, kind and thread, opened on
// first use and reused afterwards. `datepart` ("yyyy", "q", "m", "ww") is registered on it.
// Refused with tessal::Error, and left byte for byte as it was: a missing file (nothing is ever
// created here), a file that is not SQLite (an Access/Jet database, for instance), a database of
// the other kind or of another program, and one written by a newer release. A database of an
// earlier build, which carries no application id, is taken when its tables are ours, and stamped.
//
// A PostgreSQL connection URI in place of the path opens the server's connection instead (see
// data/server.h): the server holds the cash tables and CONFIG in one database, so both kinds give
// the same connection. The same goes for openDatabaseReadOnly, closeDatabase and
// ensureDataDirectory, and cashDatabasePath/menuDatabasePath give the URI back: code that passes
// the session's database "path" along works on either engine.
QSqlDatabase openDatabase(const QString &path, DatabaseKind kind = DatabaseKind::Cash);

// A read-only connection for an existing database of the kind, for code that only reads (the
// analysis cube). One per path, kind and thread, kept apart from openDatabase's connection. The
// file is opened with SQLITE_OPEN_READONLY and PRAGMA query_only is on, so no statement through
// it can change the file (temporary tables included); `datepart` is registered on it as on
// openDatabase's. The file is refused as openDatabase refuses it (missing, not SQLite, the other
// kind, another program's, a newer release's) and is never written: an earlier build's database
// without the application id is taken as it is, not stamped. Works on WAL databases (it reads the
// writers' committed changes, never checkpoints) and on rollback-journal ones alike; on a WAL
// database that no connection has open, SQLite creates the (empty) -wal and -shm files it needs to
// read and leaves them, the database file itself keeping every byte.
QSqlDatabase openDatabaseReadOnly(const QString &path, DatabaseKind kind = DatabaseKind::Cash);

// Refuses, with the words openDatabase uses, a database behind `db` that is not one of ours of
// the kind (another program's, the other kind's) or was written by a newer release. Only reads;
// true when the file is an earlier build's (no application id, our tables), which openDatabase
// would stamp. For code that checks a file it will not open through openDatabase (a backup).
bool checkDatabaseIdentity(QSqlDatabase &db, const QString &path, DatabaseKind kind);

// Closes this thread's connections for the path (read-write and read-only), if any. Record sets
// still holding them must be gone first.
void closeDatabase(const QString &path);

// Gives the file the cash (caixa.mdb) or menu (MENU.mdb) schema. A missing file is created whole
// (built beside the target and renamed into place, so a crash never leaves half a database); an
// existing SQLite file is brought up to the current schema version; anything else is refused. A
// server URI gets the server schema (createServerSchema), where both live in one database.
void createCashDatabase(const QString &path);
void createMenuDatabase(const QString &path);

// Creates the data directory and whichever of caixa.mdb and MENU.mdb is missing; existing ones
// are checked (a foreign file is refused) and brought up to the current schema version.
void ensureDataDirectory(const QString &dir);

// The data directory is used exactly as stored, followed by the platform's separator.
// Runs a read-only statement forward-only, throwing tessal::Error with the engine's own words
// when it is refused; the caller walks the rows with next().
QSqlQuery runQuery(const QSqlDatabase &db, const QString &sql);

QString cashDatabasePath(const QString &dataDir);
QString menuDatabasePath(const QString &dataDir);

// Dates are stored as ISO text so that "order by dt_lancamento" is chronological; operators see
// and type them as dd/MM/yyyy.
QString toStoredDate(const QDate &date);     // "yyyy-MM-dd"; empty for an invalid date
QDate fromStoredDate(const QString &stored); // invalid QDate when the text is not a date
// The stored date at the start of UTF-8 text ("yyyy-MM-dd", a time may follow); invalid QDate
// otherwise. For passes over many rows, which read the engine's bytes without a QString.
QDate storedDate(std::string_view text);
std::optional<QDate> parseTypedDate(const QString &ddmmyyyy); // strict dd/MM/yyyy
QString showDate(const QDate &date); // "dd/MM/yyyy"; empty for an invalid date

// The values `datepart` gives for a date; exposed so the cube and its tests use the same rule.
// interval is "yyyy", "q", "m" or "ww" (any case); std::nullopt for any other interval.
std::optional<int> datePart(const QString &interval, const QDate &date);

} // namespace tessal::data
