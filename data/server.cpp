#include "data/server.h"

#include "data/database.h"
#include "data/sqlerror.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <array>
#include <libpq-fe.h>
#include <poll.h>

Q_DECLARE_OPAQUE_POINTER(PGconn *)

namespace tessal::data {

using namespace Qt::StringLiterals;

namespace {

QString connectionName(const ServerAddress &address, ServerAccess access)
{
    return u"%1:%2:%3"_s.arg(access == ServerAccess::ReadWrite ? u"tessal-pg"_s : u"tessal-pg-ro"_s)
        .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()), 0, 16)
        .arg(address.uri());
}

QString &keptPassword()
{
    static QString password;
    return password;
}

// libpq's words when the server wants a password it was not given, or refuses the one given
// (the second in the server's language, English or Portuguese).
const QStringList &passwordRefusals()
{
    static const QStringList words{u"no password supplied"_s, u"password authentication failed"_s,
                                   u"autenticação do tipo senha falhou"_s};
    return words;
}

// libpq's connection under Qt's driver, which the checks below read without a statement.
PGconn *libpqConnection(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (handle.metaType() != QMetaType::fromType<PGconn *>())
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

// Never waits: the socket is asked whether anything has arrived on it.
bool somethingArrived(PGconn *connection)
{
    pollfd socket{PQsocket(connection), POLLIN, 0};
    return ::poll(&socket, 1, 0) > 0;
}

// Whether a kept connection may be handed out for a new piece of work. Windows ask for the
// connection on every action, so on the normal path the answer costs no round trip to the server.
// Qt's isOpen() is libpq's state, and libpq learns that the server has gone only when it reads the
// socket: a connection the server ended while it sat idle (a restart, idle_session_timeout, an
// administrator's pg_terminate_backend) still looks open, and the operator's next action would
// fail on it. A server that ends a connection says why and closes the socket, and both wait there
// to be read; on an idle connection nothing else comes unasked but a notice or a notification. So
// one poll() that finds the socket quiet (the normal case: a system call, no statement) settles it
// as far as anything short of asking the server can; when something did arrive, libpq reads it and
// sees the stream end. What arrived without the end (a notice, or a farewell whose close is still
// on its way) is settled by one empty statement. A connection lost without a word (a cable
// pulled, a router that forgot it) cannot be told from a live one without a round trip: its next
// statement fails, libpq then marks it bad, and the action after that gets a new connection.
//
// Only a connection with nothing in flight is judged here. Inside a transaction, or while a
// statement is still delivering rows, the work that began on it must see its own connection fail
// and say so (the ledger tells the operator whether a change may have been stored): carried over
// to a new session, its remaining statements would run outside the transaction they belong to,
// and a change could be stored in part or twice.
bool fitForNewWork(const QSqlDatabase &db)
{
    if (!db.isOpen())
        return false;
    PGconn *connection = libpqConnection(db);
    if (connection == nullptr || PQtransactionStatus(connection) != PQTRANS_IDLE)
        return true;
    bool heard = false;
    // A few reads at most: a server sending notice after notice must not keep this busy.
    for (int reads = 0;
         reads < 4 && PQstatus(connection) == CONNECTION_OK && somethingArrived(connection);
         ++reads) {
        heard = true;
        PQconsumeInput(connection);
    }
    if (PQstatus(connection) != CONNECTION_OK)
        return false;
    if (!heard)
        return true;
    PGresult *answer = PQexec(connection, "");
    const bool answered = PQresultStatus(answer) == PGRES_EMPTY_QUERY;
    PQclear(answer);
    return answered && PQstatus(connection) == CONNECTION_OK;
}

// Codes, dates and statuses compare byte by byte (COLLATE "C"), as SQLite compares them, so that
// "order by dt_lancamento, cd_lancamento" walks the entries in the same order on both engines
// whatever the server's locale; descriptions compare without regard to case (citext), as the
// NOCASE columns of the files do.
const std::array Schema = {
    "CREATE EXTENSION IF NOT EXISTS citext",
    "CREATE TABLE contas (cd_conta text COLLATE \"C\" NOT NULL PRIMARY KEY, ds_conta citext)",
    "CREATE INDEX contas_ds_conta ON contas (ds_conta)",
    "CREATE TABLE historicos (cd_historico text COLLATE \"C\" NOT NULL PRIMARY KEY, "
    "ds_historico citext, cd_tipo text COLLATE \"C\")",
    "CREATE INDEX historicos_ds_historico ON historicos (ds_historico)",
    "CREATE TABLE lancamentos (cd_lancamento text COLLATE \"C\" NOT NULL PRIMARY KEY, "
    "cd_conta text COLLATE \"C\", cd_historico text COLLATE \"C\", ds_complemento citext, "
    "vl_lancamento double precision, dt_lancamento text COLLATE \"C\", "
    "cd_status text COLLATE \"C\", vl_saldo double precision, cd_baixa text COLLATE \"C\")",
    "CREATE INDEX lancamentos_conta_data ON lancamentos (cd_conta, dt_lancamento, cd_lancamento)",
    "CREATE INDEX lancamentos_conta_codigo ON lancamentos (cd_conta, cd_lancamento)",
    "CREATE INDEX lancamentos_historico ON lancamentos (cd_historico)",
    "CREATE INDEX lancamentos_conta_totais ON lancamentos "
    "(cd_conta, cd_historico, cd_status, vl_lancamento)",
    "CREATE TABLE baixas (cd_baixa text COLLATE \"C\" NOT NULL PRIMARY KEY, ds_baixa citext)",
    "CREATE INDEX baixas_ds_baixa ON baixas (ds_baixa)",
    "CREATE TABLE usuarios (cd_usuario text COLLATE \"C\" NOT NULL PRIMARY KEY, usuario citext, "
    "senha text COLLATE \"C\")",
    "CREATE INDEX usuarios_usuario ON usuarios (usuario)",
    "CREATE TABLE config (grupo integer NOT NULL, opcao integer NOT NULL, descricao text, "
    "ds_tootip text, opcoes integer, PRIMARY KEY (grupo, opcao))",
    "CREATE TABLE tessal_versao (versao integer NOT NULL)",

    // datepart(interval, text) as the files' connections have it: "yyyy", "q", "m" or "ww" in
    // any case; the text a stored date ("yyyy-mm-dd", a time may follow) or a typed one
    // ("dd/mm/yyyy"); Null for Null or for text that is no valid date; an error for any other
    // interval. Weeks start on Sunday and week 1 holds 1 January. Plain SQL expressions, which
    // the planner inlines into the query, so a million rows pay no function calls; only the
    // error is raised by a PL/pgSQL function, reached only on a row that asks for it.
    "CREATE FUNCTION tessal_data_valida(a integer, m integer, d integer) RETURNS date "
    "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT CASE WHEN a >= 1 AND m BETWEEN 1 AND 12 "
    "AND d >= 1 AND d <= CASE WHEN m = 2 THEN CASE WHEN (a % 4 = 0 AND a % 100 <> 0) OR "
    "a % 400 = 0 THEN 29 ELSE 28 END WHEN m IN (4, 6, 9, 11) THEN 30 ELSE 31 END "
    "THEN make_date(a, m, d) END $$",
    "CREATE FUNCTION tessal_data_do_texto(valor text) RETURNS date "
    "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT CASE "
    "WHEN valor ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}' THEN tessal_data_valida("
    "substr(valor, 1, 4)::integer, substr(valor, 6, 2)::integer, substr(valor, 9, 2)::integer) "
    "WHEN valor ~ '^[0-9]{2}/[0-9]{2}/[0-9]{4}$' THEN tessal_data_valida("
    "substr(valor, 7, 4)::integer, substr(valor, 4, 2)::integer, substr(valor, 1, 2)::integer) "
    "END $$",
    "CREATE FUNCTION tessal_parte_da_data(intervalo text, dia date) RETURNS integer "
    "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT CASE intervalo "
    "WHEN 'yyyy' THEN extract(year FROM dia)::integer "
    "WHEN 'q' THEN extract(quarter FROM dia)::integer "
    "WHEN 'm' THEN extract(month FROM dia)::integer "
    "WHEN 'ww' THEN (extract(doy FROM dia)::integer - 1 + "
    "extract(dow FROM make_date(extract(year FROM dia)::integer, 1, 1))::integer) / 7 + 1 END $$",
    // Volatile, so that the planner never raises it while folding constants: only a row that
    // reaches it does, as on the files.
    "CREATE FUNCTION tessal_intervalo_desconhecido(intervalo text) RETURNS integer "
    "LANGUAGE plpgsql VOLATILE AS $$ BEGIN RAISE EXCEPTION "
    "'datepart: intervalo desconhecido (use \"yyyy\", \"q\", \"m\" ou \"ww\")'; END $$",
    "CREATE FUNCTION datepart(intervalo text, valor text) RETURNS integer "
    "LANGUAGE sql VOLATILE AS $$ SELECT CASE "
    "WHEN intervalo IS NULL THEN NULL "
    "WHEN translate(intervalo, 'YQMW', 'yqmw') NOT IN ('yyyy', 'q', 'm', 'ww') "
    "THEN tessal_intervalo_desconhecido(intervalo) "
    "ELSE tessal_parte_da_data(translate(intervalo, 'YQMW', 'yqmw'), "
    "tessal_data_do_texto(valor)) END $$",
};

// Version 2: every account's totals in cents, kept by the server itself as entries come, change
// and go, so that showing or changing a large account never sums all of its entries again (the
// ledger reads them here). Triggers keep them whoever writes: the program on any workstation,
// the migration, an administrator's statement. Rows inserted or deleted are summed once per
// statement through its transition table, so a batch of a migration costs one sum; an update is
// counted row by row, and only when it changes an entry's account, amount or status: the balance
// rewrites of the ledger set vl_saldo alone and never fire it. "C" adds to credits and "D" to
// debits, compared exactly, and the amount becomes cents as the program's centsFromDouble does
// (halves away from zero; Null as 0). Entries without an account belong to no account's totals.
const std::array TotalsSchema = {
    "CREATE FUNCTION tessal_centavos(valor double precision) RETURNS bigint "
    "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT COALESCE((trunc(valor * 100) + CASE WHEN "
    "abs(valor * 100 - trunc(valor * 100)) >= 0.5 THEN sign(valor * 100) ELSE 0 END)::bigint, 0) "
    "$$",
    "CREATE TABLE tessal_totais (cd_conta text COLLATE \"C\" NOT NULL PRIMARY KEY, "
    "vl_creditos bigint NOT NULL, vl_debitos bigint NOT NULL)",
    // Inserted rows add, deleted rows subtract; both triggers name their rows "linhas".
    "CREATE FUNCTION tessal_totais_linhas() RETURNS trigger LANGUAGE plpgsql AS $$ "
    "DECLARE sinal integer := CASE WHEN TG_OP = 'INSERT' THEN 1 ELSE -1 END; BEGIN "
    "INSERT INTO tessal_totais AS t (cd_conta, vl_creditos, vl_debitos) "
    "SELECT cd_conta, sinal * sum(CASE WHEN cd_status = 'C' THEN "
    "tessal_centavos(vl_lancamento) ELSE 0 END), sinal * sum(CASE WHEN cd_status = 'D' THEN "
    "tessal_centavos(vl_lancamento) ELSE 0 END) FROM linhas WHERE cd_conta IS NOT NULL "
    "GROUP BY cd_conta ON CONFLICT (cd_conta) DO UPDATE SET "
    "vl_creditos = t.vl_creditos + excluded.vl_creditos, "
    "vl_debitos = t.vl_debitos + excluded.vl_debitos; RETURN NULL; END $$",
    "CREATE TRIGGER lancamentos_totais_inclusao AFTER INSERT ON lancamentos "
    "REFERENCING NEW TABLE AS linhas FOR EACH STATEMENT EXECUTE FUNCTION tessal_totais_linhas()",
    "CREATE TRIGGER lancamentos_totais_exclusao AFTER DELETE ON lancamentos "
    "REFERENCING OLD TABLE AS linhas FOR EACH STATEMENT EXECUTE FUNCTION tessal_totais_linhas()",
    // The old row's part leaves its account and the new row's joins its own (the same one or
    // another); grouped, so that one account is written once.
    "CREATE FUNCTION tessal_totais_alteracao() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
    "INSERT INTO tessal_totais AS t (cd_conta, vl_creditos, vl_debitos) "
    "SELECT conta, sum(creditos), sum(debitos) FROM (VALUES "
    "(OLD.cd_conta, -CASE WHEN OLD.cd_status = 'C' THEN tessal_centavos(OLD.vl_lancamento) "
    "ELSE 0 END, -CASE WHEN OLD.cd_status = 'D' THEN tessal_centavos(OLD.vl_lancamento) "
    "ELSE 0 END), "
    "(NEW.cd_conta, CASE WHEN NEW.cd_status = 'C' THEN tessal_centavos(NEW.vl_lancamento) "
    "ELSE 0 END, CASE WHEN NEW.cd_status = 'D' THEN tessal_centavos(NEW.vl_lancamento) "
    "ELSE 0 END)) AS parte (conta, creditos, debitos) WHERE conta IS NOT NULL GROUP BY conta "
    "ON CONFLICT (cd_conta) DO UPDATE SET vl_creditos = t.vl_creditos + excluded.vl_creditos, "
    "vl_debitos = t.vl_debitos + excluded.vl_debitos; RETURN NULL; END $$",
    "CREATE TRIGGER lancamentos_totais_alteracao AFTER UPDATE OF cd_conta, vl_lancamento, "
    "cd_status ON lancamentos FOR EACH ROW WHEN (OLD.cd_conta IS DISTINCT FROM NEW.cd_conta OR "
    "OLD.vl_lancamento IS DISTINCT FROM NEW.vl_lancamento OR "
    "OLD.cd_status IS DISTINCT FROM NEW.cd_status) EXECUTE FUNCTION tessal_totais_alteracao()",
    "CREATE FUNCTION tessal_totais_esvaziar() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
    "DELETE FROM tessal_totais; RETURN NULL; END $$",
    "CREATE TRIGGER lancamentos_totais_esvaziamento AFTER TRUNCATE ON lancamentos "
    "FOR EACH STATEMENT EXECUTE FUNCTION tessal_totais_esvaziar()",
    // The totals of what is there already: nothing in a new database; a database of version 1
    // is locked against writes first (see upgradeToTotals).
    "INSERT INTO tessal_totais (cd_conta, vl_creditos, vl_debitos) "
    "SELECT cd_conta, sum(CASE WHEN cd_status = 'C' THEN tessal_centavos(vl_lancamento) ELSE 0 "
    "END), sum(CASE WHEN cd_status = 'D' THEN tessal_centavos(vl_lancamento) ELSE 0 END) "
    "FROM lancamentos WHERE cd_conta IS NOT NULL GROUP BY cd_conta",
};

// Several workstations may create the schema at once; the first holds this lock until it
// commits and the others then find the tables made.
constexpr qint64 SchemaLock = 0x54534358; // "TSCX"

int tableCount(QSqlQuery &query)
{
    execOrThrow(query, u"SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = "
                       "current_schema()"_s);
    return query.next() ? query.value(0).toInt() : 0;
}

void runAll(QSqlQuery &query, const auto &statements)
{
    for (const char *statement : statements)
        execOrThrow(query, QString::fromUtf8(statement));
}

// From version 1, inside the schema's transaction. The table is locked against writes first and
// stays so until the commit: an entry another workstation stores meanwhile waits, then finds the
// triggers in place, so none is counted twice or missed.
void upgradeToTotals(QSqlQuery &query)
{
    execOrThrow(query, u"LOCK TABLE lancamentos IN SHARE ROW EXCLUSIVE MODE"_s);
    runAll(query, TotalsSchema);
    prepareOrThrow(query, u"UPDATE tessal_versao SET versao = ?"_s);
    query.addBindValue(ServerSchemaVersion);
    execOrThrow(query);
}

std::optional<int> storedVersion(QSqlQuery &query)
{
    execOrThrow(query, u"SELECT to_regclass('tessal_versao') IS NOT NULL"_s);
    if (!query.next() || !query.value(0).toBool())
        return std::nullopt;
    execOrThrow(query, u"SELECT max(versao) FROM tessal_versao"_s);
    return query.next() ? query.value(0).toInt() : 0;
}

} // namespace

QSqlDatabase openServerDatabase(const ServerAddress &address, const QString &password,
                                ServerAccess access)
{
    const QString name = connectionName(address, access);
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (fitForNewWork(db))
            return db;
        // A dead connection is replaced, never reopened in place: whoever still holds it (work
        // that was in flight when it dropped) keeps failing on it rather than going on in the new
        // session, and Qt disables it outright while it is held.
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    if (!QSqlDatabase::isDriverAvailable(u"QPSQL"_s))
        throw Error(ErrorNumber::DatabaseError,
                    u"O driver do PostgreSQL para o Qt não está instalado (pacote "
                    "libqt6sql6-psql); não é possível usar o servidor \"%1\"."_s.arg(address.uri()),
                    address.uri());
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, name);
    db.setHostName(address.host);
    if (address.port)
        db.setPort(*address.port);
    db.setDatabaseName(address.database);
    db.setUserName(address.user);
    const QString &given = password.isEmpty() ? keptPassword() : password;
    if (!given.isEmpty())
        db.setPassword(given);
    QStringList options{u"application_name='Tessal Caixa'"_s};
    if (access == ServerAccess::ReadOnly)
        options << u"options='-c default_transaction_read_only=on'"_s;
    for (const auto &[key, value] : address.options) {
        QString quoted = value;
        quoted.replace(u'\\', u"\\\\"_s).replace(u'\'', u"\\'"_s);
        options << key + u"='"_s + quoted + u'\'';
    }
    db.setConnectOptions(options.join(u';'));
    const bool opened = db.open();
    // The password is the operator's to type again, never this program's to keep.
    db.setPassword(QString());
    if (!opened) {
        const QString reason = db.lastError().databaseText().isEmpty()
                                   ? db.lastError().text()
                                   : db.lastError().databaseText();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw Error(ErrorNumber::DatabaseError,
                    u"Não foi possível conectar ao servidor \"%1\": %2"_s.arg(address.uri(),
                                                                              reason.trimmed()),
                    address.uri());
    }
    return db;
}

void setServerPassword(const QString &password)
{
    keptPassword() = password;
}

bool serverWantsPassword(const Error &refusal)
{
    for (const QString &words : passwordRefusals()) {
        if (refusal.info().description.contains(words, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

void closeServerDatabase(const ServerAddress &address)
{
    for (const ServerAccess access : {ServerAccess::ReadWrite, ServerAccess::ReadOnly})
        closeConnection(connectionName(address, access));
}

bool serverDatabaseIsEmpty(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    return tableCount(query) == 0;
}

void createServerSchema(const QSqlDatabase &db)
{
    Transaction transaction(db);
    createServerSchemaInTransaction(db);
    transaction.commit();
}

bool createServerSchemaInTransaction(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    execOrThrow(query, u"SELECT pg_advisory_xact_lock(%1)"_s.arg(SchemaLock));
    if (const std::optional<int> version = storedVersion(query)) {
        if (*version > ServerSchemaVersion)
            throw Error(ErrorNumber::NotADatabase,
                        u"O banco de dados do servidor foi criado por uma versão mais nova do "
                        "Tessal Caixa (esquema %1); atualize o programa."_s.arg(*version),
                        db.databaseName());
        if (*version < 2)
            upgradeToTotals(query);
        return false;
    }
    if (tableCount(query) != 0)
        throw Error(ErrorNumber::NotADatabase,
                    u"O banco de dados \"%1\" do servidor já tem tabelas que não são do Tessal "
                    "Caixa; indique um banco de dados vazio."_s.arg(db.databaseName()),
                    db.databaseName());
    runAll(query, Schema);
    runAll(query, TotalsSchema);

    prepareOrThrow(query, u"INSERT INTO baixas (cd_baixa, ds_baixa) VALUES (?, ?)"_s);
    query.addBindValue(u"001"_s);
    query.addBindValue(u"Normal"_s);
    execOrThrow(query);
    insertShippedMenu(query);
    prepareOrThrow(query, u"INSERT INTO tessal_versao (versao) VALUES (?)"_s);
    query.addBindValue(ServerSchemaVersion);
    execOrThrow(query);
    return true;
}

} // namespace tessal::data
