#include "data/database.h"

#include "core/datasource.h"
#include "core/error.h"
#include "data/filesystem.h"
#include "data/server.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <array>
#include <cstring>
#include <functional>
#include <sqlite3.h>

namespace tessal::data {

namespace {

constexpr char SqliteHeader[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                   'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};

enum class FileKind { Missing, Sqlite, AccessJet, Other };

// Reads only the header: a file that is not ours must come out of this byte for byte as it went in.
FileKind inspectFile(const QString &path)
{
    QFileInfo info(path);
    if (!info.exists())
        return FileKind::Missing;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorNumber::FileAccess,
                    QStringLiteral("Não foi possível ler o arquivo \"%1\": %2")
                        .arg(QDir::toNativeSeparators(path), file.errorString()),
                    info.fileName());
    const QByteArray head = file.read(32);
    if (head.size() >= 16 && std::memcmp(head.constData(), SqliteHeader, 16) == 0)
        return FileKind::Sqlite;
    // Access keeps its engine's name at offset 4 ("Standard Jet DB", "Standard ACE DB").
    if (head.size() >= 19 &&
        (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB"))
        return FileKind::AccessJet;
    return FileKind::Other;
}

[[noreturn]] void refuseFile(const QString &path, FileKind kind)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QString name = QFileInfo(path).fileName();
    if (kind == FileKind::Missing)
        throw Error(ErrorNumber::FileNotFound,
                    QStringLiteral("O banco de dados \"%1\" não foi encontrado.").arg(shown), name);
    if (kind == FileKind::AccessJet)
        throw Error(ErrorNumber::NotADatabase,
                    QStringLiteral("O arquivo \"%1\" é um banco de dados do Microsoft Access, que "
                                   "este programa não lê. O arquivo não foi aberto nem alterado.")
                        .arg(shown),
                    name);
    throw Error(ErrorNumber::NotADatabase,
                QStringLiteral("O arquivo \"%1\" não é um banco de dados SQLite do Tessal Caixa. O "
                               "arquivo não foi aberto nem alterado.")
                    .arg(shown),
                name);
}

// What tells one of our databases from any other SQLite file: the application id stamped in its
// header, the schema version it was written with, and the tables it must hold.
struct KindInfo
{
    qint32 applicationId;
    int schemaVersion;
    QSet<QString> tables; // lower case, as SQLite compares names
    QString mainTable;
    QString label;
};

const KindInfo &infoOf(DatabaseKind kind)
{
    static const KindInfo cash{CashApplicationId,
                               CashSchemaVersion,
                               {QStringLiteral("contas"), QStringLiteral("historicos"),
                                QStringLiteral("lancamentos"), QStringLiteral("baixas"),
                                QStringLiteral("usuarios")},
                               QStringLiteral("lancamentos"),
                               QStringLiteral("o banco de dados de caixa")};
    static const KindInfo menu{MenuApplicationId,
                               MenuSchemaVersion,
                               {QStringLiteral("config")},
                               QStringLiteral("config"),
                               QStringLiteral("o banco de dados do menu")};
    return kind == DatabaseKind::Cash ? cash : menu;
}

// Read-write connections are the ones every window shares; read-only ones (the cube's) are kept
// apart under names of their own, so neither is ever handed out for the other.
enum class Access { ReadWrite, ReadOnly };

QString connectionName(const QString &canonicalPath, DatabaseKind kind,
                       Access access = Access::ReadWrite)
{
    return QStringLiteral("%1:%2:%3:%4")
        .arg(access == Access::ReadWrite ? QLatin1String("tessal-data")
                                         : QLatin1String("tessal-data-ro"))
        .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()), 0, 16)
        .arg(kind == DatabaseKind::Cash ? QLatin1String("cash") : QLatin1String("menu"))
        .arg(canonicalPath);
}

[[noreturn]] void refuseContent(const QString &path, const QString &why)
{
    throw Error(ErrorNumber::NotADatabase,
                QStringLiteral("O arquivo \"%1\" %2 O arquivo não foi aberto nem alterado.")
                    .arg(QDir::toNativeSeparators(path), why),
                QFileInfo(path).fileName());
}

qint64 pragmaValue(QSqlQuery &query, const QString &pragma)
{
    execOrThrow(query, QStringLiteral("PRAGMA ") + pragma);
    return query.next() ? query.value(0).toLongLong() : 0;
}

// Only reads: a file refused here must come out of it byte for byte as it went in. True when the
// file is ours but carries no stamp yet (written by an earlier build), so the caller stamps it.
bool checkIdentity(QSqlDatabase &db, const QString &path, DatabaseKind kind)
{
    const KindInfo &expected = infoOf(kind);
    const KindInfo &other =
        infoOf(kind == DatabaseKind::Cash ? DatabaseKind::Menu : DatabaseKind::Cash);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const qint64 applicationId = pragmaValue(query, QStringLiteral("application_id"));
    const qint64 version = pragmaValue(query, QStringLiteral("user_version"));
    if (applicationId == other.applicationId)
        refuseContent(
            path, QStringLiteral("é %1 do Tessal Caixa, não %2.").arg(other.label, expected.label));
    if (applicationId != 0 && applicationId != expected.applicationId)
        refuseContent(path, QStringLiteral("é um banco de dados SQLite de outro programa, não %1 "
                                           "do Tessal Caixa.")
                                .arg(expected.label));
    if (applicationId == 0) {
        execOrThrow(query, QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type = "
                                          "'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"));
        QSet<QString> tables;
        while (query.next())
            tables.insert(query.value(0).toString());
        query.finish();
        if (!tables.contains(expected.mainTable) || !expected.tables.contains(tables)) {
            if (tables.contains(other.mainTable) && other.tables.contains(tables))
                refuseContent(path, QStringLiteral("é %1 do Tessal Caixa, não %2.")
                                        .arg(other.label, expected.label));
            refuseContent(path, QStringLiteral("é um banco de dados SQLite que não é %1 do "
                                               "Tessal Caixa.")
                                    .arg(expected.label));
        }
    }
    if (version > expected.schemaVersion)
        refuseContent(path, QStringLiteral("foi gravado por uma versão mais nova do Tessal Caixa "
                                           "(esquema %1; esta versão conhece até o esquema %2). "
                                           "Atualize o programa para usá-lo.")
                                .arg(version)
                                .arg(expected.schemaVersion));
    return applicationId == 0;
}

// ---- datepart ----------------------------------------------------------------------------------

enum class Interval { Year, Quarter, Month, Week };

std::optional<Interval> intervalFromAscii(const char *text, int size)
{
    auto is = [&](const char *name) {
        const int n = int(std::strlen(name));
        if (n != size)
            return false;
        for (int i = 0; i < n; ++i) {
            char c = text[i];
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
            if (c != name[i])
                return false;
        }
        return true;
    };
    if (is("yyyy"))
        return Interval::Year;
    if (is("q"))
        return Interval::Quarter;
    if (is("m"))
        return Interval::Month;
    if (is("ww"))
        return Interval::Week;
    return std::nullopt;
}

int partOf(Interval interval, const QDate &date)
{
    switch (interval) {
    case Interval::Year:
        return date.year();
    case Interval::Quarter:
        return (date.month() - 1) / 3 + 1;
    case Interval::Month:
        return date.month();
    case Interval::Week: {
        // Weeks start on Sunday and week 1 is the one holding 1 January, so the first days of a
        // year starting on a Saturday are a week of their own and 31 December can fall in week 54.
        const int jan1Weekday = QDate(date.year(), 1, 1).dayOfWeek() % 7; // Sunday = 0
        return (date.dayOfYear() - 1 + jan1Weekday) / 7 + 1;
    }
    }
    return 0;
}

int digitsAt(const unsigned char *text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The date whose year, month and day stand at the given places of the text; digitsAt gives -1
// for a non-digit, and QDate would take a negative year as valid.
QDate dateAt(const unsigned char *text, int yearAt, int monthAt, int dayAt)
{
    const int year = digitsAt(text, yearAt, 4);
    const int month = digitsAt(text, monthAt, 2);
    const int day = digitsAt(text, dayAt, 2);
    if (year < 1 || month < 1 || day < 1)
        return {};
    return QDate(year, month, day);
}

// The typed form, which the cube's date-part templates also meet in the text they are given.
QDate typedDateFromText(const unsigned char *text, int size)
{
    if (size != 10 || text[2] != '/' || text[5] != '/')
        return {};
    return dateAt(text, 6, 3, 0);
}

void datepartFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *intervalText = sqlite3_value_text(argv[0]);
    if (!intervalText) {
        sqlite3_result_null(context);
        return;
    }
    const auto interval = intervalFromAscii(reinterpret_cast<const char *>(intervalText),
                                            sqlite3_value_bytes(argv[0]));
    if (!interval) {
        sqlite3_result_error(
            context, "datepart: intervalo desconhecido (use \"yyyy\", \"q\", \"m\" ou \"ww\")", -1);
        return;
    }
    if (sqlite3_value_type(argv[1]) != SQLITE_TEXT) {
        sqlite3_result_null(context);
        return;
    }
    const auto *text = sqlite3_value_text(argv[1]);
    const int size = sqlite3_value_bytes(argv[1]);
    QDate date = storedDate(std::string_view(reinterpret_cast<const char *>(text), size_t(size)));
    if (!date.isValid())
        date = typedDateFromText(text, size);
    if (!date.isValid()) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_int(context, partOf(*interval, date));
}

// A new file (fresh) is one being built here and holds nothing to check yet; a read-only
// opening is checked like an existing one but never written to.
enum class Opening { Existing, Fresh, ReadOnly };

void configureConnection(QSqlDatabase &db, const QString &path, DatabaseKind kind, Opening opening)
{
    const QString source = QFileInfo(path).fileName();
    sqlite3 *raw = requireSqliteHandle(db, source);
    // A read-only connection never checkpoints a WAL into the file, not even when it is closed
    // after a refusal.
    if (opening == Opening::ReadOnly)
        sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    const bool unstamped = opening != Opening::Fresh && checkIdentity(db, path, kind);
    // An earlier build's database is stamped only through a connection that may write; read-only
    // it is taken as it is.
    const bool stamp = unstamped && opening == Opening::Existing;
    // The cube's date-part templates quote their interval in double quotes ("yyyy"); SQLite reads
    // those as text only while this compatibility switch is on, so it is set explicitly rather
    // than left to how the library was built.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
    if (sqlite3_create_function_v2(raw, "datepart", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   &datepartFunction, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw Error(ErrorNumber::DatabaseError,
                    QStringLiteral("Não foi possível registrar a função datepart: %1")
                        .arg(QString::fromUtf8(sqlite3_errmsg(raw))),
                    source);

    QSqlQuery query(db);
    if (opening == Opening::ReadOnly) {
        // The file is opened read-only; query_only also keeps out what that leaves possible
        // (temporary tables and the like). The journal mode stays whatever the writers set:
        // WAL is read as it is.
        execOrThrow(query, QStringLiteral("PRAGMA query_only=1"));
        return;
    }
    if (stamp)
        execOrThrow(query,
                    QStringLiteral("PRAGMA application_id=%1").arg(infoOf(kind).applicationId));
    // WAL lets a window keep a record set open while another writes; NORMAL is durable enough
    // under WAL and keeps the balance rebuild from syncing on every row. On a network share WAL
    // cannot work (its index is memory shared by one machine's processes), so the file keeps
    // the rollback journal there, synced in full.
    if (isOnNetworkFileSystem(path)) {
        execOrThrow(query, QStringLiteral("PRAGMA journal_mode=DELETE"));
        execOrThrow(query, QStringLiteral("PRAGMA synchronous=FULL"));
    } else {
        execOrThrow(query, QStringLiteral("PRAGMA journal_mode=WAL"));
        execOrThrow(query, QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    // The program never declared relations, and an entry whose description is gone must still
    // count in its account's totals.
    execOrThrow(query, QStringLiteral("PRAGMA foreign_keys=OFF"));
}

QSqlDatabase openConnection(const QString &name, const QString &path, DatabaseKind kind,
                            Opening opening)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.setConnectOptions(opening == Opening::ReadOnly
                             ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY")
                             : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        const QString reason = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw Error(ErrorNumber::FileAccess,
                    QStringLiteral("Não foi possível abrir o banco de dados \"%1\": %2")
                        .arg(QDir::toNativeSeparators(path), reason),
                    QFileInfo(path).fileName());
    }
    try {
        configureConnection(db, path, kind, opening);
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw;
    }
    return db;
}

// ---- schema -------------------------------------------------------------------------------------

// Names and descriptions are compared and sorted without regard to case, as operators expect
// ("banco" beside "Banco"); codes and passwords compare exactly.
const std::array CashSchema = {
    "CREATE TABLE IF NOT EXISTS contas (cd_conta TEXT NOT NULL PRIMARY KEY, "
    "ds_conta TEXT COLLATE NOCASE)",
    "CREATE INDEX IF NOT EXISTS contas_ds_conta ON contas (ds_conta)",
    "CREATE TABLE IF NOT EXISTS historicos (cd_historico TEXT NOT NULL PRIMARY KEY, "
    "ds_historico TEXT COLLATE NOCASE, cd_tipo TEXT)",
    "CREATE INDEX IF NOT EXISTS historicos_ds_historico ON historicos (ds_historico)",
    "CREATE TABLE IF NOT EXISTS lancamentos (cd_lancamento TEXT NOT NULL PRIMARY KEY, "
    "cd_conta TEXT, cd_historico TEXT, ds_complemento TEXT COLLATE NOCASE, vl_lancamento REAL, "
    "dt_lancamento TEXT, cd_status TEXT, vl_saldo REAL, cd_baixa TEXT)",
    // The ledger's grid, totals and rebuild pass read one account by date then code; the
    // register windows read one account by code; the joins look descriptions up per entry.
    "CREATE INDEX IF NOT EXISTS lancamentos_conta_data ON lancamentos "
    "(cd_conta, dt_lancamento, cd_lancamento)",
    "CREATE INDEX IF NOT EXISTS lancamentos_conta_codigo ON lancamentos (cd_conta, cd_lancamento)",
    "CREATE INDEX IF NOT EXISTS lancamentos_historico ON lancamentos (cd_historico)",
    // Version 2: picking an account counts its grid rows (the join with historicos) and sums its
    // totals; with every column those passes read in one index they never touch the table rows,
    // which is four times faster on an account of a hundred thousand entries.
    "CREATE INDEX IF NOT EXISTS lancamentos_conta_totais ON lancamentos "
    "(cd_conta, cd_historico, cd_status, vl_lancamento)",
    "CREATE TABLE IF NOT EXISTS baixas (cd_baixa TEXT NOT NULL PRIMARY KEY, "
    "ds_baixa TEXT COLLATE NOCASE)",
    "CREATE INDEX IF NOT EXISTS baixas_ds_baixa ON baixas (ds_baixa)",
    "CREATE TABLE IF NOT EXISTS usuarios (cd_usuario TEXT NOT NULL PRIMARY KEY, "
    "usuario TEXT COLLATE NOCASE, senha TEXT)",
    "CREATE INDEX IF NOT EXISTS usuarios_usuario ON usuarios (usuario)",
};

const std::array MenuSchema = {
    "CREATE TABLE IF NOT EXISTS CONFIG (grupo INTEGER NOT NULL, opcao INTEGER NOT NULL, "
    "descricao TEXT, ds_tootip TEXT, opcoes INTEGER, PRIMARY KEY (grupo, opcao))",
};

struct MenuRow
{
    int grupo;
    int opcao;
    const char *descricao;
    const char *tooltip;
};

// One row per button the main window dispatches on; the button bar counts positions, so group 5
// needs a first button for the log viewer to sit second.
const std::array DefaultMenu = {
    MenuRow{1, 1, "Contas", "Cadastro das contas de caixa"},
    MenuRow{1, 2, "Históricos", "Cadastro dos históricos padrão de débito e crédito"},
    MenuRow{1, 3, "Usuários", "Cadastro dos usuários do sistema"},
    MenuRow{1, 4, "Tipos de Baixa", "Cadastro dos tipos de baixa dos lançamentos"},
    MenuRow{2, 1, "Lançamentos", "Manutenção dos lançamentos de caixa"},
    MenuRow{2, 2, "Análise (BI)", "Análise multidimensional dos lançamentos"},
    MenuRow{3, 1, "Relatórios Financeiros", "Relatórios financeiros por conta e período"},
    MenuRow{3, 2, "Consolidado", "Relatório consolidado de todas as contas"},
    MenuRow{4, 1, "Movimento por Período", "Consulta do movimento de caixa por período"},
    MenuRow{5, 1, "Ajuda", "Ajuda do sistema"},
    MenuRow{5, 2, "Log de Operação", "Consulta dos registros de operação do sistema"},
    MenuRow{5, 3, "Verificar Saldos", "Verificação e reparo dos saldos dos lançamentos"},
    MenuRow{5, 4, "Cópia de Segurança", "Cópia de segurança dos bancos de dados"},
    MenuRow{5, 5, "Restaurar Cópia", "Restauração de uma cópia de segurança"},
};

int userVersion(QSqlQuery &query)
{
    execOrThrow(query, QStringLiteral("PRAGMA user_version"));
    return query.next() ? query.value(0).toInt() : 0;
}

template<typename Schema>
void applySchema(QSqlDatabase db, DatabaseKind kind, const Schema &schema,
                 const std::function<void(QSqlQuery &)> &seed)
{
    const KindInfo &info = infoOf(kind);
    QSqlQuery query(db);
    if (userVersion(query) >= info.schemaVersion)
        return;
    Transaction transaction(db);
    for (const char *statement : schema)
        execOrThrow(query, QString::fromUtf8(statement));
    seed(query);
    execOrThrow(query, QStringLiteral("PRAGMA application_id=%1").arg(info.applicationId));
    execOrThrow(query, QStringLiteral("PRAGMA user_version=%1").arg(info.schemaVersion));
    transaction.commit();
}

void seedCash(QSqlQuery &query)
{
    // Every new entry is posted with settlement type "001"; without the row the inner joins of
    // the cube would drop every new entry.
    prepareOrThrow(
        query, QStringLiteral("INSERT OR IGNORE INTO baixas (cd_baixa, ds_baixa) VALUES (?, ?)"));
    query.addBindValue(QStringLiteral("001"));
    query.addBindValue(QStringLiteral("Normal"));
    execOrThrow(query);
}

void createDatabase(const QString &path, DatabaseKind kind,
                    const std::function<void(QSqlDatabase)> &apply)
{
    const FileKind fileKind = inspectFile(path);
    if (fileKind == FileKind::Sqlite) {
        apply(openDatabase(path, kind));
        return;
    }
    if (fileKind != FileKind::Missing)
        refuseFile(path, fileKind);

    // Built under a temporary name and renamed, so an interrupted creation never leaves a
    // half-made database under the real name.
    const QFileInfo target(path);
    const QString temporary = target.absolutePath() + QLatin1String("/.") + target.fileName() +
                              QLatin1Char('.') + QUuid::createUuid().toString(QUuid::Id128) +
                              QLatin1String(".tmp");
    const QString name = QStringLiteral("tessal-create:") + temporary;
    try {
        {
            QSqlDatabase db = openConnection(name, temporary, kind, Opening::Fresh);
            apply(db);
            QSqlQuery query(db);
            // Leave the new file in rollback-journal mode on disk only while it is moved; WAL is
            // set again by every connection that opens it.
            execOrThrow(query, QStringLiteral("PRAGMA journal_mode=DELETE"));
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    } catch (...) {
        QSqlDatabase::removeDatabase(name);
        QFile::remove(temporary);
        throw;
    }
    if (!QFile::rename(temporary, path)) {
        QFile::remove(temporary);
        // Someone else created it meanwhile: use theirs if it is ours, refuse it otherwise.
        const FileKind now = inspectFile(path);
        if (now != FileKind::Sqlite)
            throw Error(ErrorNumber::FileAccess,
                        QStringLiteral("Não foi possível criar o banco de dados \"%1\".")
                            .arg(QDir::toNativeSeparators(path)),
                        target.fileName());
        apply(openDatabase(path, kind));
    }
}

} // namespace

namespace {

QSqlDatabase openShared(const QString &path, DatabaseKind kind, Access access)
{
    // An open connection was checked when it was opened; windows ask for it on every refresh.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QString name = connectionName(canonical, kind, access);
    if (!canonical.isEmpty() && QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            return db;
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    const FileKind fileKind = inspectFile(path);
    if (fileKind != FileKind::Sqlite)
        refuseFile(path, fileKind);
    return openConnection(connectionName(QFileInfo(path).canonicalFilePath(), kind, access), path,
                          kind, access == Access::ReadOnly ? Opening::ReadOnly : Opening::Existing);
}

} // namespace

void insertShippedMenu(QSqlQuery &query)
{
    prepareOrThrow(query, QStringLiteral("INSERT INTO CONFIG (grupo, opcao, descricao, ds_tootip, "
                                         "opcoes) VALUES (?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"));
    for (const MenuOption &option : shippedMenu()) {
        query.addBindValue(option.grupo);
        query.addBindValue(option.opcao);
        query.addBindValue(option.descricao);
        query.addBindValue(option.tooltip);
        query.addBindValue(option.opcoes);
        execOrThrow(query);
    }
}

void closeConnection(const QString &name)
{
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QList<MenuOption> shippedMenu()
{
    QList<MenuOption> options;
    for (const MenuRow &row : DefaultMenu) {
        int inGroup = 0;
        for (const MenuRow &other : DefaultMenu)
            inGroup += other.grupo == row.grupo ? 1 : 0;
        options.append({row.grupo, row.opcao, QString::fromUtf8(row.descricao),
                        QString::fromUtf8(row.tooltip), inGroup});
    }
    return options;
}

QSqlDatabase openDatabase(const QString &path, DatabaseKind kind)
{
    if (looksLikeServerUri(path))
        return openServerDatabase(dataSourceFromConfigLine(path).server);
    return openShared(path, kind, Access::ReadWrite);
}

QSqlDatabase openDatabaseReadOnly(const QString &path, DatabaseKind kind)
{
    if (looksLikeServerUri(path))
        return openServerDatabase(dataSourceFromConfigLine(path).server, {},
                                  ServerAccess::ReadOnly);
    return openShared(path, kind, Access::ReadOnly);
}

bool checkDatabaseIdentity(QSqlDatabase &db, const QString &path, DatabaseKind kind)
{
    return checkIdentity(db, path, kind);
}

void closeDatabase(const QString &path)
{
    if (looksLikeServerUri(path)) {
        closeServerDatabase(dataSourceFromConfigLine(path).server);
        return;
    }
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return;
    for (const DatabaseKind kind : {DatabaseKind::Cash, DatabaseKind::Menu}) {
        for (const Access access : {Access::ReadWrite, Access::ReadOnly})
            closeConnection(connectionName(canonical, kind, access));
    }
}

void createCashDatabase(const QString &path)
{
    if (looksLikeServerUri(path)) {
        createServerSchema(openDatabase(path));
        return;
    }
    createDatabase(path, DatabaseKind::Cash, [](QSqlDatabase db) {
        applySchema(db, DatabaseKind::Cash, CashSchema, seedCash);
    });
}

void createMenuDatabase(const QString &path)
{
    if (looksLikeServerUri(path)) {
        createServerSchema(openDatabase(path));
        return;
    }
    createDatabase(path, DatabaseKind::Menu, [](QSqlDatabase db) {
        applySchema(db, DatabaseKind::Menu, MenuSchema, insertShippedMenu);
    });
}

void ensureDataDirectory(const QString &dir)
{
    if (looksLikeServerUri(dir)) {
        createServerSchema(openDatabase(dir));
        return;
    }
    if (!QDir().mkpath(dir))
        throw Error(ErrorNumber::PathNotFound,
                    QStringLiteral("Não foi possível criar o diretório de dados \"%1\".")
                        .arg(QDir::toNativeSeparators(dir)),
                    dir);
    // Existing files go through the same path: a foreign caixa.mdb is refused here, at start-up,
    // rather than at the first window, and an older schema is brought up to date.
    createCashDatabase(cashDatabasePath(dir));
    createMenuDatabase(menuDatabasePath(dir));
}

QSqlQuery runQuery(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    execOrThrow(query, sql);
    return query;
}

QString cashDatabasePath(const QString &dataDir)
{
    if (looksLikeServerUri(dataDir))
        return dataDir;
    return dataDir + QDir::separator() + QLatin1String("caixa.mdb");
}

QString menuDatabasePath(const QString &dataDir)
{
    if (looksLikeServerUri(dataDir))
        return dataDir;
    return dataDir + QDir::separator() + QLatin1String("MENU.mdb");
}

QString toStoredDate(const QDate &date)
{
    return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QDate storedDate(std::string_view text)
{
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return {};
    return dateAt(reinterpret_cast<const unsigned char *>(text.data()), 0, 5, 8);
}

QDate fromStoredDate(const QString &stored)
{
    if (stored.size() < 10)
        return {};
    return storedDate(stored.left(10).toLatin1().toStdString());
}

std::optional<QDate> parseTypedDate(const QString &ddmmyyyy)
{
    static const QRegularExpression shape(QStringLiteral("^(\\d{2})/(\\d{2})/(\\d{4})$"));
    const QRegularExpressionMatch match = shape.match(ddmmyyyy);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(3).toInt(), match.captured(2).toInt(),
                     match.captured(1).toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString showDate(const QDate &date)
{
    return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : QString();
}

std::optional<int> datePart(const QString &interval, const QDate &date)
{
    const QByteArray ascii = interval.toLatin1();
    const auto which = intervalFromAscii(ascii.constData(), int(ascii.size()));
    if (!which || !date.isValid())
        return std::nullopt;
    return partOf(*which, date);
}

} // namespace tessal::data
