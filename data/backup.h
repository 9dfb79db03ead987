#pragma once

#include "core/error.h" // every function here throws tessal::Error

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tessal::data {

// A backup is one folder holding a copy of both databases, caixa.mdb and MENU.mdb, each a single
// SQLite file in rollback-journal mode (nothing beside it is needed to read it), named after the
// moment it was taken: "tessal-copia-2026-12-09_08-55-33" when the operator asked for it,
// "tessal-copia-automatica-2026-12-09_08-55-33" when it was taken at log-off. A second backup in
// the same second gets "-2", "-3", ... after the time. One folder keeps the two files together,
// so a restore always puts back a menu and a cash database of the same moment.
enum class BackupKind { Manual, Automatic };

struct BackupName
{
    QDateTime taken;
    BackupKind kind = BackupKind::Manual;
    int sequence = 1; // 2 for the "-2" of a second backup in the same second
};

QString backupFolderName(const QDateTime &moment, BackupKind kind);
// Nothing for a name this program does not give its backups.
std::optional<BackupName> parseBackupFolderName(const QString &name);

// What a backup that passed verification holds.
struct BackupInfo
{
    QString folder;
    std::optional<BackupName> name; // nothing for a folder not named by this program
    qint64 entries = 0;             // lancamentos
    qint64 accounts = 0;            // contas
};

// Copies both databases of the data directory into a new backup inside `targetFolder`, while the
// program runs and other connections write: each file is copied with SQLite's online backup in
// one read transaction, so it holds exactly what had been committed at one moment. The backup is
// built in a hidden folder of a temporary name, verified, and only then renamed, so a failure
// leaves nothing half-written behind. Returns the backup's folder.
QString takeBackup(const QString &dataDir, const QString &targetFolder, const QDateTime &moment,
                   BackupKind kind = BackupKind::Manual);

// How deep a backup's pages are checked. Full runs PRAGMA integrity_check, which also compares
// every index with its table (seconds at a million entries); Quick runs PRAGMA quick_check, which
// reads every page and record but skips that comparison, and is what a fresh copy gets before it
// is renamed: a page-for-page copy of a consistent snapshot cannot bring an index out of step
// with its table, while a write that went wrong shows as a malformed page, which it finds.
enum class BackupCheck { Full, Quick };

// Checks a backup folder without writing anything into it: both files present, no pending
// journal beside them, the check "ok", our application id (or an earlier build's database
// without one, holding our tables), a schema version this release knows. A refusal says why in
// Portuguese.
BackupInfo verifyBackup(const QString &backupFolder, BackupCheck check = BackupCheck::Full);

// The backups this program made inside a folder, manual and automatic, newest first.
QStringList findBackups(const QString &folder);

struct RestoreResult
{
    BackupInfo restored;
    QString movedTo; // the folder inside the data directory now holding the previous files
};

// Puts a backup in place of the data directory's databases. The backup is verified first
// (BackupCheck::Full); then
// this thread's connections to the current files are closed and the files are taken over alone
// (another connection to them, in this program or elsewhere, makes the restore refuse); the
// current files, with any -wal, -shm or -journal beside them, are moved (never deleted) into
// "antes-da-restauracao-<date-time>" inside the data directory, and copies of the backup's files
// take their names. An older schema is then brought up to date. A refusal or a failure on the way
// leaves the current files where they were, byte for byte for a refused backup.
//
// `stop`, for tests, is called after each step that changes the data directory; throwing from it
// stops the restore there, to prove that the moved files are put back.
enum class RestoreStep {
    CurrentFileMoved, // one current file (or a -wal, -shm, -journal) moved aside
    CopyPlaced,       // one of the backup's files given its database's name
    SchemaUpdated,    // both files in place and brought up to the current schema
};
RestoreResult restoreBackup(const QString &backupFolder, const QString &dataDir,
                            const QDateTime &moment,
                            const std::function<void(RestoreStep)> &stop = {});

// Removes the automatic backups of the folder beyond the newest `keep`. Only folders named as
// this program names its automatic backups and holding nothing but caixa.mdb and MENU.mdb are
// removed; manual backups and every other file or folder are left alone. Returns the folders
// removed.
QStringList removeOldAutomaticBackups(const QString &folder, int keep);

// The machine's backup settings, kept in an ini file (copia.ini beside sys.ini).
inline constexpr int DefaultBackupsKept = 10;
inline constexpr int MaximumBackupsKept = 999;

struct BackupSettings
{
    bool automatic = false; // a backup when the operator leaves the program
    QString folder;
    int keep = DefaultBackupsKept; // automatic backups kept in the folder
    friend bool operator==(const BackupSettings &, const BackupSettings &) = default;
};

QString backupSettingsPath(const QString &programDir);
BackupSettings readBackupSettings(const QString &iniPath);
void writeBackupSettings(const QString &iniPath, const BackupSettings &settings);

struct AutomaticBackup
{
    QString backup;
    QStringList removed;
};

// The log-off backup: nothing when the settings have it off; otherwise takes an automatic backup
// into the settings' folder and removes the automatic backups beyond the number kept.
std::optional<AutomaticBackup>
automaticBackup(const QString &dataDir, const BackupSettings &settings, const QDateTime &moment);

} // namespace tessal::data
