#include "data/backup.h"

#include "data/database.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <algorithm>
#include <array>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace tessal::data {

namespace {

const QString CashFile = u"caixa.mdb"_s;
const QString MenuFile = u"MENU.mdb"_s;
const QString TimeFormat = u"yyyy-MM-dd_HH-mm-ss"_s;
const QString BackupPrefix = u"tessal-copia-"_s;
const QString AutomaticPrefix = u"tessal-copia-automatica-"_s;

struct DatabaseFile
{
    QString name;
    DatabaseKind kind;
};

const std::array<DatabaseFile, 2> &databaseFiles()
{
    static const std::array<DatabaseFile, 2> files{DatabaseFile{CashFile, DatabaseKind::Cash},
                                                   DatabaseFile{MenuFile, DatabaseKind::Menu}};
    return files;
}

// What SQLite may keep beside a database: a write-ahead log and its index, or a rollback journal.
const std::array<QString, 3> &companionSuffixes()
{
    static const std::array<QString, 3> suffixes{u"-wal"_s, u"-shm"_s, u"-journal"_s};
    return suffixes;
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A connection of this module's own, never shared with the windows: opened through Qt's driver
// so that its raw handle comes out of the check that the driver and the program run one SQLite.
class OwnConnection
{
public:
    OwnConnection(const QString &databaseName, const QString &options, const QString &path)
        : m_name(u"tessal-backup:"_s + QUuid::createUuid().toString(QUuid::Id128))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        db.setDatabaseName(databaseName);
        db.setConnectOptions(options);
        if (!db.open()) {
            const QString reason = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_name);
            throw Error(
                ErrorNumber::FileAccess,
                u"Não foi possível abrir o banco de dados \"%1\": %2"_s.arg(shown(path), reason),
                QFileInfo(path).fileName());
        }
        m_raw = requireSqliteHandle(db, QFileInfo(path).fileName());
    }
    ~OwnConnection()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    OwnConnection(const OwnConnection &) = delete;
    OwnConnection &operator=(const OwnConnection &) = delete;

    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }
    sqlite3 *raw() const { return m_raw; }

private:
    QString m_name;
    sqlite3 *m_raw = nullptr;
};

// Opens a file that nobody writes (a backup) read-only and without locking or change detection,
// so that checking it can neither write into its folder nor be kept out by a lock.
OwnConnection openUnchanging(const QString &path)
{
    QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    url.setQuery(u"immutable=1"_s);
    return OwnConnection(url.toString(QUrl::FullyEncoded),
                         u"QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"_s, path);
}

QString pragmaText(const QSqlDatabase &db, const QString &pragma)
{
    QSqlQuery query = runQuery(db, u"PRAGMA "_s + pragma);
    return query.next() ? query.value(0).toString() : QString();
}

qint64 countRows(const QSqlDatabase &db, const QString &table)
{
    QSqlQuery query = runQuery(db, u"SELECT count(*) FROM "_s + table);
    return query.next() ? query.value(0).toLongLong() : 0;
}

[[noreturn]] void failCopy(const QString &path, const QString &why)
{
    throw Error(ErrorNumber::FileAccess,
                u"Não foi possível copiar o banco de dados para \"%1\": %2"_s.arg(shown(path), why),
                QFileInfo(path).fileName());
}

// Copies a database page by page into a new file with SQLite's online backup: one step of every
// page, so the source is read in a single read transaction and the copy holds what had been
// committed when it started, whatever other connections write meanwhile. The copy is left in
// rollback-journal mode, one file that needs nothing beside it.
void copyDatabase(const OwnConnection &source, const QString &destinationPath)
{
    // The source only reads: closing it must not checkpoint the writers' log into the file.
    sqlite3_db_config(source.raw(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    OwnConnection destination(destinationPath, u"QSQLITE_BUSY_TIMEOUT=5000"_s, destinationPath);
    sqlite3_backup *backup = sqlite3_backup_init(destination.raw(), "main", source.raw(), "main");
    if (!backup)
        failCopy(destinationPath, QString::fromUtf8(sqlite3_errmsg(destination.raw())));
    const int stepped = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE)
        failCopy(destinationPath, QString::fromUtf8(sqlite3_errstr(stepped)));
    if (finished != SQLITE_OK)
        failCopy(destinationPath, QString::fromUtf8(sqlite3_errmsg(destination.raw())));
    // The copied first page says WAL when the source was in WAL mode.
    if (pragmaText(destination.database(), u"journal_mode=DELETE"_s) != u"delete"_s)
        failCopy(destinationPath, u"o modo de diário da cópia não pôde ser acertado."_s);
}

OwnConnection openSource(const QString &path)
{
    if (!QFileInfo(path).isFile())
        throw Error(ErrorNumber::FileNotFound,
                    u"O banco de dados \"%1\" não foi encontrado."_s.arg(shown(path)),
                    QFileInfo(path).fileName());
    return OwnConnection(path, u"QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"_s, path);
}

bool startsAsSqlite(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(
            ErrorNumber::FileAccess,
            u"Não foi possível ler o arquivo \"%1\": %2"_s.arg(shown(path), file.errorString()),
            QFileInfo(path).fileName());
    return file.read(16) == QByteArray("SQLite format 3", 16);
}

[[noreturn]] void refuseFile(const QString &path, const QString &why)
{
    throw Error(ErrorNumber::NotADatabase, u"O arquivo \"%1\" %2"_s.arg(shown(path), why),
                QFileInfo(path).fileName());
}

struct FileCheck
{
    qint64 entries = 0;
    qint64 accounts = 0;
};

// Reads one database file of a backup and refuses it when it cannot be restored as it is.
FileCheck checkBackupFile(const QString &path, DatabaseKind kind, BackupCheck depth)
{
    if (!QFileInfo(path).isFile())
        throw Error(ErrorNumber::FileNotFound,
                    u"A cópia está incompleta: falta o arquivo \"%1\"."_s.arg(shown(path)),
                    QFileInfo(path).fileName());
    for (const QString &suffix : companionSuffixes())
        if (suffix != u"-shm"_s && QFileInfo::exists(path + suffix))
            refuseFile(path, u"tem um diário pendente (\"%1\"): não é uma cópia completa feita "
                             "por este programa."_s.arg(QFileInfo(path + suffix).fileName()));
    if (!startsAsSqlite(path))
        refuseFile(path, u"não é um banco de dados SQLite."_s);

    OwnConnection connection = openUnchanging(path);
    QSqlDatabase db = connection.database();
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        // A damaged file may not even let the check run; either way it is damaged.
        if (!query.exec(depth == BackupCheck::Full ? u"PRAGMA integrity_check(1)"_s
                                                   : u"PRAGMA quick_check(1)"_s))
            refuseFile(path, u"está danificado (%1)."_s.arg(query.lastError().databaseText()));
        const QString verdict = query.next() ? query.value(0).toString() : QString();
        if (verdict != u"ok"_s)
            refuseFile(path, u"está danificado: a verificação de integridade do SQLite "
                             "encontrou \"%1\"."_s.arg(verdict));
    }
    checkDatabaseIdentity(db, path, kind);
    FileCheck check;
    if (kind == DatabaseKind::Cash) {
        check.entries = countRows(db, u"lancamentos"_s);
        check.accounts = countRows(db, u"contas"_s);
    }
    return check;
}

// The backup's name, or the name followed by "-2", "-3", ... when a folder of that name exists.
QString freeName(const QDir &folder, const QString &name)
{
    QString candidate = name;
    for (int sequence = 2; folder.exists(candidate); ++sequence)
        candidate = name + u'-' + QString::number(sequence);
    return candidate;
}

QString temporaryName(const QString &name)
{
    return u"."_s + name + u'.' + QUuid::createUuid().toString(QUuid::Id128) + u".tmp"_s;
}

// The folders named as this program names its backups, of one kind or of both, newest first.
QStringList backupsIn(const QString &folder, std::optional<BackupKind> kind)
{
    struct Found
    {
        QString path;
        BackupName name;
    };
    std::vector<Found> found;
    const QDir dir(folder);
    for (const QFileInfo &entry : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const auto name = parseBackupFolderName(entry.fileName());
        if (name && (!kind || name->kind == *kind))
            found.push_back({entry.absoluteFilePath(), *name});
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.name.taken != b.name.taken)
            return a.name.taken > b.name.taken;
        return a.name.sequence > b.name.sequence;
    });
    QStringList paths;
    for (const Found &backup : found)
        paths.append(backup.path);
    return paths;
}

[[noreturn]] void refuseRestore(const QString &backupFolder, const QString &why)
{
    throw Error(ErrorNumber::NotADatabase,
                u"A cópia \"%1\" não foi restaurada: %2 Os bancos de dados atuais não foram "
                "alterados."_s.arg(shown(backupFolder), why),
                QFileInfo(backupFolder).fileName());
}

// Holds a current database alone while it is moved aside: out of WAL mode (which checkpoints
// the log into the file and removes the -wal and -shm, and which SQLite grants only to a
// connection that has the file to itself) and under an exclusive lock, so no other connection
// reads or writes it until the restore is over.
class ExclusiveHold
{
public:
    explicit ExclusiveHold(const QString &path)
        : m_connection(path, u"QSQLITE_BUSY_TIMEOUT=1000"_s, path)
    {
        QSqlQuery query(m_connection.database());
        const bool alone = query.exec(u"PRAGMA journal_mode=DELETE"_s) && query.next() &&
                           query.value(0).toString() == u"delete"_s &&
                           query.exec(u"BEGIN EXCLUSIVE"_s);
        if (!alone)
            throw Error(ErrorNumber::FileAccess,
                        u"O banco de dados \"%1\" está aberto em outra janela, em outro programa "
                        "ou em outro computador. Feche-o em todos os lugares e tente de novo; "
                        "nada foi restaurado."_s.arg(shown(path)),
                        QFileInfo(path).fileName());
    }
    ~ExclusiveHold()
    {
        QSqlQuery query(m_connection.database());
        query.exec(u"ROLLBACK"_s);
    }
    ExclusiveHold(const ExclusiveHold &) = delete;
    ExclusiveHold &operator=(const ExclusiveHold &) = delete;

private:
    OwnConnection m_connection;
};

// Renames done so far, undone in reverse order when a later step fails.
class Renames
{
public:
    void move(const QString &from, const QString &to)
    {
        if (!QFile::rename(from, to))
            throw Error(ErrorNumber::FileAccess,
                        u"Não foi possível mover \"%1\" para \"%2\"."_s.arg(shown(from), shown(to)),
                        QFileInfo(from).fileName());
        m_done.append({from, to});
    }
    void undo()
    {
        while (!m_done.isEmpty()) {
            const auto [from, to] = m_done.takeLast();
            QFile::rename(to, from);
        }
    }

private:
    QList<std::pair<QString, QString>> m_done;
};

} // namespace

QString backupFolderName(const QDateTime &moment, BackupKind kind)
{
    return (kind == BackupKind::Automatic ? AutomaticPrefix : BackupPrefix) +
           moment.toString(TimeFormat);
}

std::optional<BackupName> parseBackupFolderName(const QString &name)
{
    static const QRegularExpression pattern(
        u"^tessal-copia-(automatica-)?(\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2})(?:-(\\d{1,4}))?$"_s);
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    const QDateTime taken = QDateTime::fromString(match.captured(2), TimeFormat);
    const int sequence = match.hasCaptured(3) ? match.captured(3).toInt() : 1;
    if (!taken.isValid() || sequence < 1)
        return std::nullopt;
    return BackupName{taken, match.hasCaptured(1) ? BackupKind::Automatic : BackupKind::Manual,
                      sequence};
}

QString takeBackup(const QString &dataDir, const QString &targetFolder, const QDateTime &moment,
                   BackupKind kind)
{
    if (targetFolder.isEmpty() || !QFileInfo(targetFolder).isDir())
        throw Error(ErrorNumber::PathNotFound,
                    u"A pasta da cópia de segurança \"%1\" não existe."_s.arg(shown(targetFolder)),
                    targetFolder);
    QDir target(targetFolder);
    const QString name = freeName(target, backupFolderName(moment, kind));
    const QString temporary = target.filePath(temporaryName(name));
    if (!target.mkdir(QFileInfo(temporary).fileName()))
        throw Error(ErrorNumber::FileAccess,
                    u"Não foi possível gravar a cópia de segurança na pasta \"%1\": a pasta não "
                    "aceita novos arquivos (sem permissão de escrita ou protegida)."_s.arg(
                        shown(targetFolder)),
                    targetFolder);
    try {
        for (const DatabaseFile &file : databaseFiles())
            copyDatabase(openSource(QDir(dataDir).filePath(file.name)),
                         QDir(temporary).filePath(file.name));
        verifyBackup(temporary, BackupCheck::Quick);
        if (!target.rename(QFileInfo(temporary).fileName(), name))
            throw Error(
                ErrorNumber::FileAccess,
                u"Não foi possível dar o nome \"%1\" à cópia de segurança na pasta \"%2\"."_s.arg(
                    name, shown(targetFolder)),
                targetFolder);
    } catch (...) {
        QDir(temporary).removeRecursively();
        throw;
    }
    return target.filePath(name);
}

BackupInfo verifyBackup(const QString &backupFolder, BackupCheck depth)
{
    if (!QFileInfo(backupFolder).isDir())
        throw Error(ErrorNumber::PathNotFound,
                    u"A cópia \"%1\" não foi encontrada."_s.arg(shown(backupFolder)), backupFolder);
    BackupInfo info;
    info.folder = QFileInfo(backupFolder).absoluteFilePath();
    info.name = parseBackupFolderName(QFileInfo(backupFolder).fileName());
    for (const DatabaseFile &file : databaseFiles()) {
        const FileCheck check =
            checkBackupFile(QDir(backupFolder).filePath(file.name), file.kind, depth);
        if (file.kind == DatabaseKind::Cash) {
            info.entries = check.entries;
            info.accounts = check.accounts;
        }
    }
    return info;
}

QStringList findBackups(const QString &folder)
{
    return backupsIn(folder, std::nullopt);
}

RestoreResult restoreBackup(const QString &backupFolder, const QString &dataDir,
                            const QDateTime &moment, const std::function<void(RestoreStep)> &stop)
{
    auto reached = [&stop](RestoreStep step) {
        if (stop)
            stop(step);
    };
    if (!QFileInfo(dataDir).isDir())
        throw Error(ErrorNumber::PathNotFound,
                    u"O diretório de dados \"%1\" não existe."_s.arg(shown(dataDir)), dataDir);
    RestoreResult result;
    try {
        result.restored = verifyBackup(backupFolder);
    } catch (const Error &e) {
        refuseRestore(backupFolder, e.description());
    }

    // The backup's files are copied into the data directory under temporary names first, so the
    // current files are moved only once both copies are complete.
    QDir data(dataDir);
    QStringList staged;
    auto removeStaged = [&staged] {
        for (const QString &path : std::as_const(staged))
            QFile::remove(path);
    };
    try {
        for (const DatabaseFile &file : databaseFiles()) {
            staged.append(data.filePath(temporaryName(file.name)));
            const QString source = QDir(backupFolder).filePath(file.name);
            copyDatabase(openUnchanging(source), staged.last());
            OwnConnection copy(staged.last(), u"QSQLITE_OPEN_READONLY"_s, staged.last());
            QSqlDatabase db = copy.database();
            checkDatabaseIdentity(db, source, file.kind);
        }
    } catch (...) {
        removeStaged();
        throw;
    }

    Renames renames;
    QStringList placed; // the databases whose copy has taken the current file's name
    try {
        for (const DatabaseFile &file : databaseFiles())
            closeDatabase(data.filePath(file.name));
        std::vector<std::unique_ptr<ExclusiveHold>> holds;
        for (const DatabaseFile &file : databaseFiles())
            if (QFileInfo::exists(data.filePath(file.name)))
                holds.push_back(std::make_unique<ExclusiveHold>(data.filePath(file.name)));

        const QString aside =
            freeName(data, u"antes-da-restauracao-"_s + moment.toString(TimeFormat));
        if (!data.mkdir(aside))
            throw Error(
                ErrorNumber::FileAccess,
                u"Não foi possível criar a pasta \"%1\" para os bancos de dados atuais."_s.arg(
                    shown(data.filePath(aside))),
                aside);
        result.movedTo = data.filePath(aside);
        for (const DatabaseFile &file : databaseFiles()) {
            QStringList names{file.name};
            for (const QString &suffix : companionSuffixes())
                names.append(file.name + suffix);
            for (const QString &name : std::as_const(names))
                if (QFileInfo::exists(data.filePath(name))) {
                    renames.move(data.filePath(name), QDir(result.movedTo).filePath(name));
                    reached(RestoreStep::CurrentFileMoved);
                }
        }
        for (qsizetype i = 0; i < staged.size(); ++i) {
            renames.move(staged[i], data.filePath(databaseFiles()[size_t(i)].name));
            placed.append(databaseFiles()[size_t(i)].name);
            reached(RestoreStep::CopyPlaced);
        }
        holds.clear();
        ensureDataDirectory(dataDir);
        reached(RestoreStep::SchemaUpdated);
    } catch (...) {
        for (const DatabaseFile &file : databaseFiles())
            closeDatabase(data.filePath(file.name));
        // A -wal or -shm beside a placed copy is the copy's (the current file's went aside before
        // any copy was placed); left there it would be read into the file put back.
        for (const QString &name : std::as_const(placed))
            for (const QString &suffix : companionSuffixes())
                QFile::remove(data.filePath(name + suffix));
        renames.undo();
        removeStaged();
        if (!result.movedTo.isEmpty())
            data.rmdir(result.movedTo);
        throw;
    }
    return result;
}

QStringList removeOldAutomaticBackups(const QString &folder, int keep)
{
    const QStringList backups = backupsIn(folder, BackupKind::Automatic);
    QStringList removed;
    for (qsizetype i = std::max(keep, 0); i < backups.size(); ++i) {
        QDir backup(backups[i]);
        const QStringList entries =
            backup.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const bool onlyOurs = std::all_of(entries.begin(), entries.end(), [](const QString &e) {
            return e == CashFile || e == MenuFile;
        });
        if (!onlyOurs)
            continue;
        for (const QString &entry : entries)
            backup.remove(entry);
        if (QDir(folder).rmdir(QFileInfo(backups[i]).fileName()))
            removed.append(backups[i]);
    }
    return removed;
}

QString backupSettingsPath(const QString &programDir)
{
    return QDir(programDir).filePath(u"copia.ini"_s);
}

BackupSettings readBackupSettings(const QString &iniPath)
{
    const QSettings ini(iniPath, QSettings::IniFormat);
    BackupSettings settings;
    settings.automatic = ini.value(u"CopiaDeSeguranca/Automatica"_s, false).toBool();
    settings.folder = ini.value(u"CopiaDeSeguranca/Pasta"_s).toString();
    bool ok = false;
    const int keep = ini.value(u"CopiaDeSeguranca/Manter"_s, DefaultBackupsKept).toInt(&ok);
    settings.keep = ok && keep >= 1 ? std::min(keep, MaximumBackupsKept) : DefaultBackupsKept;
    return settings;
}

void writeBackupSettings(const QString &iniPath, const BackupSettings &settings)
{
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.setValue(u"CopiaDeSeguranca/Automatica"_s, settings.automatic);
    ini.setValue(u"CopiaDeSeguranca/Pasta"_s, settings.folder);
    ini.setValue(u"CopiaDeSeguranca/Manter"_s, settings.keep);
    ini.sync();
    if (ini.status() != QSettings::NoError)
        throw Error(
            ErrorNumber::FileAccess,
            u"Não foi possível gravar as configurações da cópia de segurança em \"%1\"."_s.arg(
                shown(iniPath)),
            QFileInfo(iniPath).fileName());
}

std::optional<AutomaticBackup>
automaticBackup(const QString &dataDir, const BackupSettings &settings, const QDateTime &moment)
{
    if (!settings.automatic)
        return std::nullopt;
    if (settings.folder.isEmpty())
        throw Error(ErrorNumber::PathNotFound,
                    u"A cópia de segurança automática está ligada, mas nenhuma pasta foi "
                    "escolhida para ela."_s,
                    u"copia.ini"_s);
    AutomaticBackup done;
    done.backup = takeBackup(dataDir, settings.folder, moment, BackupKind::Automatic);
    done.removed = removeOldAutomaticBackups(settings.folder, settings.keep);
    return done;
}

} // namespace tessal::data
