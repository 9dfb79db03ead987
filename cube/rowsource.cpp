#include "cube/rowsource.h"

#include "core/error.h"
#include "cube/cube.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"

#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <cctype>
#include <sqlite3.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString Source = u"Cube"_s;

// Shared by the table and QSqlQuery readers: both hold the current row as QVariants.
class VariantReader : public RowReader
{
public:
    Type type(int column) override
    {
        const QVariant &v = current(column);
        if (v.isNull())
            return Type::Null;
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            return Type::Integer;
        case QMetaType::Double:
        case QMetaType::Float:
            return Type::Real;
        default:
            return Type::Text;
        }
    }
    qint64 integer(int column) override { return current(column).toLongLong(); }
    double real(int column) override { return current(column).toDouble(); }
    std::string_view text(int column) override
    {
        const QVariant &v = current(column);
        if (v.typeId() == QMetaType::QDate)
            m_buffer = v.toDate().toString(Qt::ISODate).toUtf8();
        else if (v.typeId() == QMetaType::QDateTime)
            m_buffer = v.toDateTime().date().toString(Qt::ISODate).toUtf8();
        else
            m_buffer = v.toString().toUtf8();
        return {m_buffer.constData(), static_cast<size_t>(m_buffer.size())};
    }

protected:
    virtual const QVariant &current(int column) = 0;

private:
    QByteArray m_buffer;
};

class TableReader final : public VariantReader
{
public:
    explicit TableReader(const RowTable &table)
        : m_table(table)
    {}
    int columnCount() const override { return static_cast<int>(m_table.columns.size()); }
    QString columnName(int column) const override { return m_table.columns.at(column); }
    bool next() override { return ++m_row < m_table.rows.size(); }

protected:
    const QVariant &current(int column) override
    {
        const QVariantList &row = m_table.rows.at(m_row);
        return column < row.size() ? row.at(column) : m_null;
    }

private:
    const RowTable &m_table;
    qsizetype m_row = -1;
    QVariant m_null;
};

class SqlQueryReader final : public VariantReader
{
public:
    SqlQueryReader(const QSqlDatabase &db, const QString &sql)
        : m_query(db)
    {
        m_query.setForwardOnly(true);
        if (!m_query.exec(sql))
            throw Error(ErrorNumber::DatabaseError, m_query.lastError().text(), Source);
        const QSqlRecord rec = m_query.record();
        for (int i = 0; i < rec.count(); ++i)
            m_names << rec.fieldName(i);
        m_values.resize(rec.count());
    }
    int columnCount() const override { return static_cast<int>(m_names.size()); }
    QString columnName(int column) const override { return m_names.at(column); }
    bool next() override
    {
        if (!m_query.next())
            return false;
        for (int i = 0; i < m_values.size(); ++i)
            m_values[i] = m_query.value(i);
        return true;
    }

protected:
    const QVariant &current(int column) override { return m_values.at(column); }

private:
    QSqlQuery m_query;
    QStringList m_names;
    QList<QVariant> m_values;
};

// ---- the read-only guard ----------------------------------------------------------------------

[[noreturn]] void refuse(const QString &why, const QString &sql)
{
    throw Error(CubeError::UnsafeStatement,
                u"A origem dos dados do cubo foi recusada: %1. O cubo só executa uma única "
                "consulta SELECT, que apenas lê o banco de dados; nada foi executado."_s.arg(why),
                sql);
}

// Skips SQL whitespace and comments ("-- to the end of the line", "/* ... */", an unclosed one
// running to the end, as SQLite reads it) from `at`; returns where the next token starts.
size_t skipBlanks(std::string_view sql, size_t at)
{
    while (at < sql.size()) {
        const char c = sql[at];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            ++at;
        } else if (sql.substr(at, 2) == "--") {
            const size_t end = sql.find('\n', at);
            at = end == std::string_view::npos ? sql.size() : end + 1;
        } else if (sql.substr(at, 2) == "/*") {
            const size_t end = sql.find("*/", at + 2);
            at = end == std::string_view::npos ? sql.size() : end + 2;
        } else {
            break;
        }
    }
    return at;
}

bool startsWithKeyword(std::string_view sql, std::string_view keyword)
{
    if (sql.size() < keyword.size())
        return false;
    for (size_t i = 0; i < keyword.size(); ++i) {
        char c = sql[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != keyword[i])
            return false;
    }
    if (sql.size() == keyword.size())
        return true;
    const unsigned char next = static_cast<unsigned char>(sql[keyword.size()]);
    return !(std::isalnum(next) || next == '_' || next >= 0x80);
}

// True when a ';' stands outside string literals, quoted names and comments.
bool hasSemicolon(std::string_view sql)
{
    size_t at = 0;
    while (at < sql.size()) {
        const size_t token = skipBlanks(sql, at);
        if (token != at) {
            at = token;
            continue;
        }
        const char c = sql[at];
        if (c == ';')
            return true;
        if (c == '\'' || c == '"') {
            // a doubled quote closes and reopens: the loop just enters the literal again
            const size_t end = sql.find(c, at + 1);
            if (end == std::string_view::npos)
                return false; // an unclosed literal: the server refuses it
            at = end + 1;
            continue;
        }
        ++at;
    }
    return false;
}

const char *actionName(int action)
{
    switch (action) {
    case SQLITE_INSERT:
        return "INSERT";
    case SQLITE_UPDATE:
        return "UPDATE";
    case SQLITE_DELETE:
        return "DELETE";
    case SQLITE_ATTACH:
        return "ATTACH";
    case SQLITE_DETACH:
        return "DETACH";
    case SQLITE_PRAGMA:
        return "PRAGMA";
    case SQLITE_TRANSACTION:
        return "BEGIN/COMMIT/ROLLBACK";
    case SQLITE_SAVEPOINT:
        return "SAVEPOINT";
    case SQLITE_ANALYZE:
        return "ANALYZE";
    case SQLITE_REINDEX:
        return "REINDEX";
    case SQLITE_ALTER_TABLE:
        return "ALTER TABLE";
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TEMP_INDEX:
        return "CREATE INDEX";
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TEMP_TABLE:
        return "CREATE TABLE";
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_TEMP_TRIGGER:
        return "CREATE TRIGGER";
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_TEMP_VIEW:
        return "CREATE VIEW";
    case SQLITE_CREATE_VTABLE:
        return "CREATE VIRTUAL TABLE";
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TEMP_INDEX:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TEMP_TABLE:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_TEMP_TRIGGER:
    case SQLITE_DROP_VIEW:
    case SQLITE_DROP_TEMP_VIEW:
    case SQLITE_DROP_VTABLE:
        return "DROP";
    default:
        return nullptr;
    }
}

struct AuthorizerState
{
    QString denied; // what the statement asked for that is not reading, as a phrase
};

// Allows what a plain SELECT compiles to (with joins, subqueries, views, unions and common table
// expressions, recursive ones included): the SELECT itself, reading columns, calling functions
// and the recursive step of a CTE. Everything else is denied: writes (INSERT, UPDATE, DELETE, the
// RETURNING forms), ATTACH and DETACH, PRAGMA, transactions and savepoints, and every schema
// action, temporary ones included. load_extension() is denied too, as it would bring code in, and
// so is reading the users' table: a cube file has no business showing logins and password hashes.
int readOnlyAuthorizer(void *user, int action, const char *table, const char *detail, const char *,
                       const char *)
{
    auto *state = static_cast<AuthorizerState *>(user);
    switch (action) {
    case SQLITE_READ:
        if (table && sqlite3_stricmp(table, "usuarios") == 0) {
            if (state->denied.isEmpty())
                state->denied = u"lê a tabela de usuários, que o cubo não mostra"_s;
            return SQLITE_DENY;
        }
        return SQLITE_OK;
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    case SQLITE_FUNCTION:
        if (detail && sqlite3_stricmp(detail, "load_extension") == 0) {
            if (state->denied.isEmpty())
                state->denied = u"usa a função load_extension, que não é permitida"_s;
            return SQLITE_DENY;
        }
        return SQLITE_OK;
    default:
        break;
    }
    if (state->denied.isEmpty()) {
        const char *name = actionName(action);
        state->denied = (name ? u"pede a operação %1"_s.arg(QLatin1StringView(name))
                              : u"pede a operação de código %1"_s.arg(action)) +
                        u", que não é leitura"_s;
    }
    return SQLITE_DENY;
}

// Prepares `sql` as one read-only SELECT on `db`, or refuses it: nothing of it has run either way
// (preparing compiles, it does not execute).
sqlite3_stmt *prepareReadOnlySelect(sqlite3 *db, const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    AuthorizerState state;
    sqlite3_stmt *statement = nullptr;
    const char *tail = nullptr;
    int rc = SQLITE_OK;
    {
        // The authorizer belongs to the connection, which other code shares: it is on only while
        // this statement is compiled. A statement that SQLite compiles again later (after a
        // schema change) is the same text, already known to be one read-only SELECT.
        struct Authorizer
        {
            sqlite3 *db;
            Authorizer(sqlite3 *handle, AuthorizerState *state)
                : db(handle)
            {
                sqlite3_set_authorizer(db, &readOnlyAuthorizer, state);
            }
            ~Authorizer() { sqlite3_set_authorizer(db, nullptr, nullptr); }
            Authorizer(const Authorizer &) = delete;
            Authorizer &operator=(const Authorizer &) = delete;
        } authorizer(db, &state);
        rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, &tail);
    }
    if (rc != SQLITE_OK) {
        const QString engine = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        if (!state.denied.isEmpty())
            refuse(u"a instrução "_s + state.denied, sql);
        throw Error(ErrorNumber::DatabaseError, data::refusedStatement(engine), sql);
    }
    QString why;
    if (!statement)
        why = u"não há nenhuma instrução"_s;
    else if (!sqlite3_stmt_readonly(statement))
        why = u"a instrução altera o banco de dados"_s;
    else if (sqlite3_stmt_isexplain(statement) || sqlite3_column_count(statement) == 0)
        why = u"a instrução não é uma consulta SELECT"_s;
    else if (const size_t rest = size_t(text.constData() + text.size() - tail);
             skipBlanks(std::string_view(tail, rest), 0) != rest)
        why = u"há mais de uma instrução"_s;
    if (!why.isEmpty()) {
        sqlite3_finalize(statement);
        refuse(why, sql);
    }
    return statement;
}

class SqliteReader final : public RowReader
{
public:
    SqliteReader(sqlite3 *handle, const QString &sql)
        : m_statement(handle, prepareReadOnlySelect(handle, sql), sql)
    {
        m_values.assign(static_cast<size_t>(sqlite3_column_count(m_statement.get())), nullptr);
    }

    int columnCount() const override { return sqlite3_column_count(m_statement.get()); }
    QString columnName(int column) const override
    {
        return QString::fromUtf8(sqlite3_column_name(m_statement.get(), column));
    }
    bool next() override
    {
        std::fill(m_values.begin(), m_values.end(), nullptr);
        return m_statement.step();
    }
    Type type(int column) override
    {
        switch (sqlite3_value_type(value(column))) {
        case SQLITE_INTEGER:
            return Type::Integer;
        case SQLITE_FLOAT:
            return Type::Real;
        case SQLITE_NULL:
            return Type::Null;
        default:
            return Type::Text;
        }
    }
    qint64 integer(int column) override { return sqlite3_value_int64(value(column)); }
    double real(int column) override { return sqlite3_value_double(value(column)); }
    std::string_view text(int column) override
    {
        sqlite3_value *v = value(column);
        const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
        const int n = sqlite3_value_bytes(v);
        return p ? std::string_view(p, static_cast<size_t>(n)) : std::string_view();
    }

private:
    // One call per value that takes the connection's mutex; the sqlite3_value functions after it
    // do not, which matters at a million rows by seven columns.
    sqlite3_value *value(int column)
    {
        sqlite3_value *&v = m_values[static_cast<size_t>(column)];
        if (!v)
            v = sqlite3_column_value(m_statement.get(), column);
        return v;
    }
    data::SqliteStatement m_statement;
    std::vector<sqlite3_value *> m_values;
};

} // namespace

std::unique_ptr<RowReader> makeTableReader(const RowTable &table)
{
    return std::make_unique<TableReader>(table);
}

// Other engines (a PostgreSQL server may come) are not parsed here: the text must start with
// SELECT or WITH and hold no ';' outside literals, so it is one statement. What really keeps such
// a server's data safe is running the cube in a read-only transaction (SET TRANSACTION READ ONLY)
// under a user that may only read; whoever adds that backend adds that.
void requireSelectText(const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    const std::string_view view(text.constData(), size_t(text.size()));
    const std::string_view start = view.substr(skipBlanks(view, 0));
    if (!startsWithKeyword(start, "SELECT") && !startsWithKeyword(start, "WITH"))
        refuse(u"a instrução não começa por SELECT ou WITH"_s, sql);
    if (hasSemicolon(view))
        refuse(u"há um ponto e vírgula fora de um texto entre aspas"_s, sql);
}

void requireReadOnlySelect(const QSqlDatabase &db, const QString &sql)
{
    if (!db.isOpen())
        throw Error(ErrorNumber::DatabaseError, u"A base de dados não está aberta."_s, Source);
    if (sqlite3 *handle = data::sqliteHandle(db)) {
        sqlite3_finalize(prepareReadOnlySelect(handle, sql));
        return;
    }
    requireSelectText(sql);
}

std::unique_ptr<RowReader> makeQueryReader(const QSqlDatabase &db, const QString &sql)
{
    if (!db.isOpen())
        throw Error(ErrorNumber::DatabaseError, u"A base de dados não está aberta."_s, Source);
    if (sqlite3 *handle = data::sqliteHandle(db))
        return std::make_unique<SqliteReader>(handle, sql); // checked as it is prepared
    requireSelectText(sql);
    return std::make_unique<SqlQueryReader>(db, sql);
}

} // namespace tessal::cube
