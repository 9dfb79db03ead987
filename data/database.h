#pragma once

#include "core/error.h" // every function here throws tessal::Error

#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

namespace tessal::data {

// Schema version written to PRAGMA user_version of both databases; a later release that changes
// the tables reads it to know which steps to run.
inline constexpr int CashSchemaVersion = 2;
inline constexpr int MenuSchemaVersion = 1;

// The connection for an existing SQLite file, one per path and thread, opened on first use and
// reused afterwards. `datepart` ("yyyy", "q", "m", "ww") is registered on it. A missing file or a
// file that is not SQLite (an Access/Jet database, for instance) is refused with tessal::Error
// and left untouched: nothing is ever created here.
QSqlDatabase openDatabase(const QString &path);

// Closes this thread's connection for the path, if any. Record sets still holding it must be
// gone first.
void closeDatabase(const QString &path);

// Gives the file the cash (caixa.mdb) or menu (MENU.mdb) schema. A missing file is created whole
// (built beside the target and renamed into place, so a crash never leaves half a database); an
// existing SQLite file is brought up to the current schema version; anything else is refused.
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
std::optional<QDate> parseTypedDate(const QString &ddmmyyyy); // strict dd/MM/yyyy
QString showDate(const QDate &date); // "dd/MM/yyyy"; empty for an invalid date

// The values `datepart` gives for a date; exposed so the cube and its tests use the same rule.
// interval is "yyyy", "q", "m" or "ww" (any case); std::nullopt for any other interval.
std::optional<int> datePart(const QString &interval, const QDate &date);

} // namespace tessal::data
