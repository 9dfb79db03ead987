#include "cube/rowsource.h"

#include "core/error.h"
#include "cube/cube.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringEncoder>
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
        if (v.typeId() == QMetaType::QString)
            return utf8(*static_cast<const QString *>(v.constData()));
        if (v.typeId() == QMetaType::QDate)
            return utf8(v.toDate().toString(Qt::ISODate));
        if (v.typeId() == QMetaType::QDateTime)
            return utf8(v.toDateTime().date().toString(Qt::ISODate));
        return utf8(v.toString());
    }

protected:
    virtual const QVariant &current(int column) = 0;

private:
    // into one buffer kept from value to value: a million rows of texts allocate nothing
    std::string_view utf8(QStringView s)
    {
        m_buffer.resize(m_encoder.requiredSpace(s.size()));
        const char *end = m_encoder.appendToBuffer(m_buffer.data(), s);
        return {m_buffer.constData(), static_cast<size_t>(end - m_buffer.constData())};
    }

    QStringEncoder m_encoder{QStringEncoder::Utf8};
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

// ---- PostgreSQL -------------------------------------------------------------------------------

bool isServerBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isWordStart(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u >= 0x80;
}

bool isTagPart(char c)
{
    return isWordStart(c) || (c >= '0' && c <= '9');
}

bool sameWord(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A statement read token by token as PostgreSQL's lexer reads it, as far as that decides what is
// text and what is statement: comments (a block comment nests), string constants ('...' with ''
// inside; E'...', where a backslash takes the next character; B, X, N and U& ones), quoted names
// ("..."), dollar-quoted text ($$...$$, $tag$...$tag$), words (which may hold '$') and single
// symbols. A server whose standard_conforming_strings is off reads a backslash in every '...' as
// E'...' does: `backslashesInStrings` reads the text so.
class ServerLexer
{
public:
    enum class Token { Blank, String, QuotedName, Word, Symbol, Unclosed };

    ServerLexer(std::string_view sql, bool backslashesInStrings)
        : m_sql(sql)
        , m_backslashes(backslashesInStrings)
    {}

    bool atEnd() const { return m_end >= m_sql.size(); }
    size_t start() const { return m_start; }
    size_t end() const { return m_end; }
    std::string_view text() const { return m_sql.substr(m_start, m_end - m_start); }

    Token next()
    {
        m_start = m_end;
        const std::string_view rest = m_sql.substr(m_start);
        const char c = rest.front();
        if (isServerBlank(c)) {
            m_end = m_start + 1;
            while (m_end < m_sql.size() && isServerBlank(m_sql[m_end]))
                ++m_end;
            return Token::Blank;
        }
        if (rest.starts_with("--")) {
            const size_t newline = m_sql.find('\n', m_start);
            m_end = newline == std::string_view::npos ? m_sql.size() : newline + 1;
            return Token::Blank;
        }
        if (rest.starts_with("/*"))
            return blockComment();
        if (c == '\'')
            return quoted(m_start, m_backslashes, Token::String);
        if (c == '"')
            return quoted(m_start, false, Token::QuotedName);
        if (c == '$')
            return dollarQuoted();
        if (isWordStart(c))
            return word();
        m_end = m_start + 1;
        return Token::Symbol;
    }

private:
    Token blockComment()
    {
        int depth = 1;
        size_t at = m_start + 2;
        while (at < m_sql.size()) {
            const std::string_view pair = m_sql.substr(at, 2);
            if (pair == "/*") {
                ++depth;
                at += 2;
            } else if (pair == "*/") {
                at += 2;
                if (--depth == 0) {
                    m_end = at;
                    return Token::Blank;
                }
            } else {
                ++at;
            }
        }
        m_end = m_sql.size();
        return Token::Unclosed;
    }

    // From the opening quote at `open` to its closing one; a doubled quote stays inside.
    Token quoted(size_t open, bool backslashes, Token kind)
    {
        const char quote = m_sql[open];
        size_t at = open + 1;
        while (at < m_sql.size()) {
            const char c = m_sql[at];
            if (backslashes && c == '\\') {
                at += 2;
            } else if (c != quote) {
                ++at;
            } else if (at + 1 < m_sql.size() && m_sql[at + 1] == quote) {
                at += 2;
            } else {
                m_end = at + 1;
                return kind;
            }
        }
        m_end = m_sql.size();
        return Token::Unclosed;
    }

    Token dollarQuoted()
    {
        size_t at = m_start + 1;
        if (at < m_sql.size() && isWordStart(m_sql[at])) {
            while (at < m_sql.size() && isTagPart(m_sql[at]))
                ++at;
        }
        if (at >= m_sql.size() || m_sql[at] != '$') {
            m_end = m_start + 1; // a parameter ($1) or a lone '$'
            return Token::Symbol;
        }
        const std::string_view tag = m_sql.substr(m_start, at + 1 - m_start);
        const size_t close = m_sql.find(tag, at + 1);
        if (close == std::string_view::npos) {
            m_end = m_sql.size();
            return Token::Unclosed;
        }
        m_end = close + tag.size();
        return Token::String;
    }

    Token word()
    {
        size_t at = m_start + 1;
        while (at < m_sql.size() && (isTagPart(m_sql[at]) || m_sql[at] == '$'))
            ++at;
        const char after = at < m_sql.size() ? m_sql[at] : '\0';
        if (at == m_start + 1 && after == '\'') {
            switch (m_sql[m_start]) {
            case 'e':
            case 'E':
                return quoted(at, true, Token::String);
            case 'b':
            case 'B':
            case 'x':
            case 'X':
                return quoted(at, false, Token::String);
            case 'n':
            case 'N':
                return quoted(at, m_backslashes, Token::String);
            default:
                break;
            }
        }
        if (at == m_start + 1 && (m_sql[m_start] == 'u' || m_sql[m_start] == 'U') && after == '&' &&
            at + 1 < m_sql.size() && (m_sql[at + 1] == '\'' || m_sql[at + 1] == '"'))
            return quoted(at + 1, false, m_sql[at + 1] == '"' ? Token::QuotedName : Token::String);
        m_end = at;
        return Token::Word;
    }

    std::string_view m_sql;
    bool m_backslashes;
    size_t m_start = 0;
    size_t m_end = 0;
};

using Token = ServerLexer::Token;

// Why `sql`, read with or without backslashes in its strings, is not one statement starting with
// SELECT, WITH or VALUES; nothing when it is. A ';' may only close it, before blanks and comments.
// A text, name or comment left open is no concern here: the server refuses the whole text unrun.
QString serverTextProblem(std::string_view sql, bool backslashesInStrings)
{
    ServerLexer lexer(sql, backslashesInStrings);
    bool started = false;
    bool closed = false;
    while (!lexer.atEnd()) {
        const Token token = lexer.next();
        if (token == Token::Blank)
            continue;
        if (closed)
            return u"há um ponto e vírgula fora de um texto entre aspas"_s;
        if (!started) {
            started = true;
            if (token != Token::Word || !(startsWithKeyword(lexer.text(), "SELECT") ||
                                          startsWithKeyword(lexer.text(), "WITH") ||
                                          startsWithKeyword(lexer.text(), "VALUES")))
                return u"a instrução não começa por SELECT, WITH ou VALUES"_s;
        } else if (token == Token::Symbol && lexer.text() == ";") {
            closed = true;
        }
    }
    return started ? QString() : u"a instrução não começa por SELECT, WITH ou VALUES"_s;
}

// What the server's plan for a statement reads that the cube must never show: the users' table
// (logins and password hashes), the server's own catalogs (pg_stats holds samples of every
// column's values, pg_stat_activity the other sessions' statements), and functions that run a
// statement written in a text (query_to_xml('SELECT senha FROM usuarios', ...), ts_stat,
// ts_rewrite, the *_to_xml dumps of whole tables, dblink's), whose reads no plan shows. Nothing
// when it reads none of them.
//
// The plan is the server's own reading of the statement, so nothing is parsed here: views are
// expanded into the tables they read, names arrive unquoted and schema-qualified, and only what
// would run is listed (a subquery the planner drops reads nothing). Every function call is spelt
// out in the plan's expressions in one way, `name(` or `schema.name(`, whatever case or quotes the
// statement used. The relations the plan names stay locked until the transaction ends, so a view
// cannot be redefined between this check and the run.
QString planProblem(const QJsonValue &value)
{
    static const QRegularExpression textQueries(
        u"(?<![\\w$])(\\w*_to_xml\\w*|ts_stat|ts_rewrite|dblink\\w*)\\("_s,
        QRegularExpression::CaseInsensitiveOption);
    if (value.isString()) {
        const QRegularExpressionMatch match = textQueries.match(value.toString());
        if (match.hasMatch())
            return u"usa a função %1, que executa uma consulta escrita num texto"_s.arg(
                match.captured(1));
        return {};
    }
    if (value.isArray()) {
        for (const QJsonValue &item : value.toArray())
            if (QString problem = planProblem(item); !problem.isEmpty())
                return problem;
        return {};
    }
    if (!value.isObject())
        return {};
    const QJsonObject node = value.toObject();
    const QString type = node.value(u"Node Type"_s).toString();
    if (type == u"ModifyTable"_s)
        return u"altera o banco de dados"_s; // a WITH that writes
    if (type == u"LockRows"_s)
        return u"bloqueia linhas para alterá-las (FOR UPDATE, FOR SHARE)"_s;
    if (const QJsonValue relation = node.value(u"Relation Name"_s); relation.isString()) {
        const QString schema = node.value(u"Schema"_s).toString();
        if (relation.toString().compare(u"usuarios"_s, Qt::CaseInsensitive) == 0)
            return u"lê a tabela de usuários, que o cubo não mostra"_s;
        if (schema.startsWith(u"pg_"_s) || schema == u"information_schema"_s)
            return u"lê o catálogo do servidor (%1.%2), que o cubo não mostra"_s.arg(
                schema, relation.toString());
    }
    for (auto it = node.begin(); it != node.end(); ++it)
        if (QString problem = planProblem(it.value()); !problem.isEmpty())
            return problem;
    return {};
}

[[noreturn]] void throwServerRefusal(const QSqlQuery &query, const QString &sql)
{
    throw Error(ErrorNumber::DatabaseError, data::refusedStatement(query.lastError()), sql);
}

// The transaction the cube's statements run in on the server: read-only whatever the
// connection's default (a read-write connection too can run the cube without risk), and rolled
// back at the end, so nothing a statement may set for the session (set_config(), say) outlives
// it. One at a time per connection; the connection must not be in a transaction of its own.
class ServerTransaction
{
public:
    explicit ServerTransaction(const QSqlDatabase &db)
        : m_db(db)
    {
        QSqlQuery query(m_db);
        if (!query.exec(u"START TRANSACTION READ ONLY"_s))
            throwServerRefusal(query, Source);
    }
    ~ServerTransaction()
    {
        QSqlQuery query(m_db);
        query.exec(u"ROLLBACK"_s); // a connection that is gone has nothing to roll back
    }
    ServerTransaction(const ServerTransaction &) = delete;
    ServerTransaction &operator=(const ServerTransaction &) = delete;

private:
    QSqlDatabase m_db;
};

// The record source as the server is to run it, its intervals as strings, once it is one SELECT
// by requireSelectText's rule. Nothing has been sent to the server yet. Qt's driver sends every
// statement through the simple query protocol, which runs each statement of a text in turn: this
// reading is what keeps a second one from running at all (the transaction would still refuse
// its writes, but not a COMMIT that ended the transaction).
QString serverStatement(const QString &sql)
{
    QString statement = datepartIntervalsAsStrings(sql);
    const QByteArray text = statement.toUtf8();
    const std::string_view view(text.constData(), size_t(text.size()));
    for (const bool backslashes : {false, true})
        if (const QString problem = serverTextProblem(view, backslashes); !problem.isEmpty())
            refuse(problem, sql);
    return statement;
}

// Asks the server for the plan of `statement`, inside the caller's ServerTransaction, and refuses
// it by planProblem. EXPLAIN without ANALYZE plans the statement and runs nothing of it.
void requireHarmlessPlan(const QSqlDatabase &db, const QString &statement, const QString &sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(u"EXPLAIN (VERBOSE, FORMAT JSON) "_s + statement) || !query.next())
        throwServerRefusal(query, sql);
    QJsonParseError error;
    const QJsonDocument plan = QJsonDocument::fromJson(query.value(0).toString().toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !plan.isArray())
        refuse(u"o plano da instrução no servidor não pôde ser lido"_s, sql);
    if (const QString problem = planProblem(plan.array()); !problem.isEmpty())
        refuse(u"a instrução "_s + problem, sql);
}

// The rows of a record source on a PostgreSQL server, after the checks above, in the
// ServerTransaction. A cursor declared for the statement names its columns before anything of it
// runs (the loader may drop the reader once it has read them), and the server declares one only
// for a query: not for SELECT ... INTO, nor for a WITH that writes. The rows themselves come from
// the statement run, forward-only, when the first is asked for: the server streams them while the
// loader takes them in. (Fetched from the cursor in batches of 20,000 instead, a million rows of
// the analysis cube took 1.5 to 1.9 s to read against 0.6 to 1 s, the server being the slow side.)
// A reader dropped half-way lets Qt's driver read the rest of the rows and drop them.
class ServerReader final : public VariantReader
{
public:
    ServerReader(const QSqlDatabase &db, const QString &sql)
        : m_sql(sql)
        , m_statement(serverStatement(sql))
        , m_transaction(db)
        , m_rows(db)
    {
        requireHarmlessPlan(db, m_statement, sql);
        describe(db);
        m_rows.setForwardOnly(true);
        m_rows.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    }
    int columnCount() const override { return static_cast<int>(m_names.size()); }
    QString columnName(int column) const override { return m_names.at(column); }
    bool next() override
    {
        ++m_row;
        if (!m_running) {
            m_running = true;
            if (!m_rows.exec(m_statement))
                throwServerRefusal(m_rows, m_sql);
        }
        if (m_rows.next())
            return true;
        // a row that fails (datepart with an unknown interval, a division by zero) ends the rows
        if (m_rows.lastError().isValid())
            throwServerRefusal(m_rows, m_sql);
        return false;
    }

protected:
    const QVariant &current(int column) override
    {
        // each value converted once per row, and only the values the loader asks for
        if (m_readInRow[size_t(column)] != m_row) {
            m_values[column] = m_rows.value(column);
            m_readInRow[size_t(column)] = m_row;
        }
        return m_values.at(column);
    }

private:
    void describe(const QSqlDatabase &db)
    {
        QSqlQuery cursor(db);
        if (!cursor.exec(u"DECLARE tessal_cubo NO SCROLL CURSOR FOR "_s + m_statement))
            throwServerRefusal(cursor, m_sql);
        // FETCH 0 before the first row returns none and computes none, but describes them
        if (!cursor.exec(u"FETCH 0 FROM tessal_cubo"_s))
            throwServerRefusal(cursor, m_sql);
        const QSqlRecord record = cursor.record();
        for (int i = 0; i < record.count(); ++i)
            m_names << record.fieldName(i);
        m_values.resize(record.count());
        m_readInRow.assign(size_t(record.count()), 0);
        if (!cursor.exec(u"CLOSE tessal_cubo"_s))
            throwServerRefusal(cursor, m_sql);
    }

    QString m_sql;                   // as the cube holds it, for the messages
    QString m_statement;             // as the server runs it
    ServerTransaction m_transaction; // rolled back after m_rows is gone
    QSqlQuery m_rows;
    bool m_running = false;
    QStringList m_names;
    QList<QVariant> m_values;
    std::vector<quint64> m_readInRow; // the row each of m_values was read in
    quint64 m_row = 0;
};

bool isServer(const QSqlDatabase &db)
{
    return db.driverName() == u"QPSQL"_s;
}

[[noreturn]] void refuseEngine(const QSqlDatabase &db)
{
    throw Error(ErrorNumber::DatabaseError,
                u"O cubo lê arquivos SQLite e servidores PostgreSQL; o banco de dados \"%1\" "
                "usa o driver %2."_s.arg(db.databaseName(), db.driverName()),
                Source);
}

} // namespace

std::unique_ptr<RowReader> makeTableReader(const RowTable &table)
{
    return std::make_unique<TableReader>(table);
}

void requireSelectText(const QString &sql)
{
    serverStatement(sql);
}

QString datepartIntervalsAsStrings(const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    const std::string_view view(text.constData(), size_t(text.size()));
    // what the last tokens were: datepart, then its '(' (blanks and comments between are skipped)
    enum class After { Other, Name, Parenthesis } after = After::Other;
    QByteArray out;
    size_t copied = 0;
    ServerLexer lexer(view, false);
    while (!lexer.atEnd()) {
        const Token token = lexer.next();
        if (token == Token::Blank)
            continue;
        const std::string_view word = lexer.text();
        if (after == After::Parenthesis && token == Token::QuotedName) {
            const std::string_view inside = word.substr(1, word.size() - 2);
            if (sameWord(inside, "yyyy") || sameWord(inside, "q") || sameWord(inside, "m") ||
                sameWord(inside, "ww")) {
                out.append(view.substr(copied, lexer.start() - copied));
                out.append('\'').append(inside).append('\'');
                copied = lexer.end();
            }
        }
        if ((token == Token::Word && sameWord(word, "datepart")) ||
            (token == Token::QuotedName && word == "\"datepart\""))
            after = After::Name;
        else if (after == After::Name && token == Token::Symbol && word == "(")
            after = After::Parenthesis;
        else
            after = After::Other;
    }
    if (copied == 0)
        return sql;
    out.append(view.substr(copied));
    return QString::fromUtf8(out);
}

void requireReadOnlySelect(const QSqlDatabase &db, const QString &sql)
{
    if (!db.isOpen())
        throw Error(ErrorNumber::DatabaseError, u"A base de dados não está aberta."_s, Source);
    if (sqlite3 *handle = data::sqliteHandle(db)) {
        sqlite3_finalize(prepareReadOnlySelect(handle, sql));
        return;
    }
    if (!isServer(db))
        refuseEngine(db);
    // the reader's own checks, the cursor's declaration included, and not one row
    const ServerReader checked(db, sql);
}

std::unique_ptr<RowReader> makeQueryReader(const QSqlDatabase &db, const QString &sql)
{
    if (!db.isOpen())
        throw Error(ErrorNumber::DatabaseError, u"A base de dados não está aberta."_s, Source);
    if (sqlite3 *handle = data::sqliteHandle(db))
        return std::make_unique<SqliteReader>(handle, sql); // checked as it is prepared
    if (!isServer(db))
        refuseEngine(db);
    return std::make_unique<ServerReader>(db, sql); // checked before anything of it runs
}

} // namespace tessal::cube
