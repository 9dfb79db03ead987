#include "data/sqlite.h"

#include "core/error.h"
#include "data/sqlerror.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <cstring>
#include <sqlite3.h>

namespace tessal::data {

using namespace Qt::StringLiterals;

namespace {

SqliteLibrary driverLibrary(const QSqlDatabase &db)
{
    const QString sql = u"SELECT sqlite_version(), sqlite_source_id()"_s;
    QSqlQuery query(db);
    execOrThrow(query, sql);
    if (!query.next())
        throw Error(ErrorNumber::DatabaseError, refusedStatement(query.lastError()), sql);
    return {query.value(0).toString(), query.value(1).toString()};
}

} // namespace

std::optional<QString> sqliteLibraryMismatch(const SqliteLibrary &driver)
{
    const QString ours = QString::fromUtf8(sqlite3_libversion());
    if (driver.version == ours && driver.sourceId == QString::fromUtf8(sqlite3_sourceid()))
        return std::nullopt;
    return u"O driver SQLite do Qt usa a biblioteca SQLite %1 e o programa usa a %2. As duas não "
           "podem trabalhar na mesma conexão, e o programa não continua para não danificar os "
           "dados. Instale o driver SQLite do Qt da distribuição (pacote libqt6sql6-sqlite), que "
           "usa a biblioteca SQLite do sistema."_s.arg(driver.version, ours);
}

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    if (db.driverName() != u"QSQLITE"_s || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || std::strcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    auto *raw = *static_cast<sqlite3 *const *>(handle.constData());
    if (!raw)
        throw Error(
            ErrorNumber::DatabaseError,
            u"A conexão com o banco de dados \"%1\" não está aberta."_s.arg(db.databaseName()),
            db.databaseName());
    // The driver plugin is loaded once per process, so one look answers for every connection;
    // a look that failed is taken again on the next call.
    static const std::optional<QString> mismatch = sqliteLibraryMismatch(driverLibrary(db));
    if (mismatch)
        throw Error(ErrorNumber::DatabaseError, *mismatch, db.databaseName());
    return raw;
}

sqlite3 *requireSqliteHandle(const QSqlDatabase &db, const QString &source)
{
    if (sqlite3 *raw = sqliteHandle(db))
        return raw;
    throw Error(ErrorNumber::DatabaseError,
                u"O driver de banco de dados não é o SQLite esperado."_s, source);
}

SqliteStatement::SqliteStatement(sqlite3 *db, const QString &sql)
    : m_db(db)
    , m_sql(sql)
{
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_statement, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        fail();
    }
}

SqliteStatement::SqliteStatement(sqlite3 *db, sqlite3_stmt *prepared, const QString &sql)
    : m_db(db)
    , m_sql(sql)
    , m_statement(prepared)
{}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

void SqliteStatement::bind(int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    check(sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()),
                            SQLITE_TRANSIENT));
}

void SqliteStatement::bindStatic(int index, const QByteArray &utf8)
{
    check(sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_STATIC));
}

void SqliteStatement::bind(int index, double value)
{
    check(sqlite3_bind_double(m_statement, index, value));
}

void SqliteStatement::bind(int index, qint64 value)
{
    check(sqlite3_bind_int64(m_statement, index, value));
}

void SqliteStatement::bind(int index, const QVariant &value)
{
    if (value.isNull()) {
        check(sqlite3_bind_null(m_statement, index));
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Bool:
        bind(index, value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        bind(index, value.toDouble());
        return;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        check(sqlite3_bind_blob(m_statement, index, bytes.constData(), int(bytes.size()),
                                SQLITE_TRANSIENT));
        return;
    }
    default:
        bind(index, value.toString());
    }
}

QVariant SqliteStatement::value(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(m_statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_statement, column);
    case SQLITE_TEXT:
        return QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    default:
        return {};
    }
}

bool SqliteStatement::step()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        fail();
    return false;
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
}

void SqliteStatement::check(int rc) const
{
    if (rc != SQLITE_OK)
        fail();
}

void SqliteStatement::fail() const
{
    throw Error(ErrorNumber::DatabaseError,
                refusedStatement(QString::fromUtf8(sqlite3_errmsg(m_db))), m_sql);
}

} // namespace tessal::data
