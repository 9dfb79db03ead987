#include "ledger/ledger.h"

#include "core/datasource.h"
#include "core/error.h"
#include "data/database.h"
#include "data/nextcode.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"
#include "ledger/serversql.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <list>
#include <sqlite3.h>

namespace tessal::ledger {

using namespace Qt::StringLiterals;

namespace {

using data::execOrThrow;
using data::prepareOrThrow;

[[noreturn]] void refuse(const QString &message, const QString &field)
{
    throw Error(ErrorNumber::InvalidInput, message, field);
}

Cents centsOf(const QVariant &stored)
{
    return stored.isNull() ? 0 : centsFromDouble(stored.toDouble());
}

void addTo(Totals &totals, const QString &status, Cents amount, int sign)
{
    if (status == u"C")
        totals.credits += sign * amount;
    else if (status == u"D")
        totals.debits += sign * amount;
}

// One entry's effect on the running balance. The status compares exactly, so "d" or "" adds
// nothing, as in the totals.
Cents signedAmountAt(sqlite3_stmt *row, int amountColumn, int statusColumn)
{
    if (sqlite3_column_type(row, amountColumn) == SQLITE_NULL)
        return 0;
    const auto *status = sqlite3_column_text(row, statusColumn);
    if (!status || sqlite3_column_bytes(row, statusColumn) != 1)
        return 0;
    const Cents amount = centsFromDouble(sqlite3_column_double(row, amountColumn));
    return status[0] == 'C' ? amount : (status[0] == 'D' ? -amount : 0);
}

const QString TotalsSql =
    u"SELECT COALESCE(SUM(CASE WHEN cd_status = ? THEN CAST(ROUND(vl_lancamento * 100) AS "
    "INTEGER) END), 0), COALESCE(SUM(CASE WHEN cd_status = ? THEN CAST(ROUND(vl_lancamento * 100) "
    "AS INTEGER) END), 0) FROM lancamentos WHERE cd_conta = ?"_s;

const QString InsertSql =
    u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, ds_complemento, "
    "vl_lancamento, dt_lancamento, cd_status, cd_baixa) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s;

const QString UpdateSql =
    u"UPDATE lancamentos SET cd_conta = ?, cd_historico = ?, ds_complemento = ?, "
    "vl_lancamento = ?, dt_lancamento = ?, cd_status = ? WHERE cd_lancamento = ?"_s;

const QString DeleteSql = u"DELETE FROM lancamentos WHERE cd_lancamento = ?"_s;

const QString EntrySql =
    u"SELECT cd_lancamento, cd_conta, cd_historico, ds_complemento, vl_lancamento, "
    "dt_lancamento, cd_status, vl_saldo, cd_baixa FROM lancamentos WHERE cd_lancamento = ?"_s;

const QString SettlementExistsSql = u"SELECT 1 FROM baixas WHERE cd_baixa = ?"_s;
const QString SettleSql = u"UPDATE lancamentos SET cd_baixa = ? WHERE cd_lancamento = ?"_s;

const QString StatusSql = u"SELECT cd_tipo FROM historicos WHERE cd_historico = ?"_s;

// The balance the rebuild starts from: the one stored on the entry just before the place.
const QString PreviousBalanceSql =
    u"SELECT vl_saldo FROM lancamentos WHERE cd_conta = ? AND (dt_lancamento, cd_lancamento) < "
    "(?, ?) ORDER BY dt_lancamento DESC, cd_lancamento DESC LIMIT 1"_s;

// Row values compare NULL as unknown, so an account holding an entry without a date cannot be
// rebuilt from a place: those entries sort first and the keyed queries would skip them.
const QString UndatedSql =
    u"SELECT 1 FROM lancamentos WHERE cd_conta = ? AND dt_lancamento IS NULL LIMIT 1"_s;

const QString WalkFromSql =
    u"SELECT rowid, vl_lancamento, cd_status, vl_saldo FROM lancamentos WHERE cd_conta = ? AND "
    "(dt_lancamento, cd_lancamento) >= (?, ?) ORDER BY dt_lancamento, cd_lancamento"_s;

const QString WalkAllSql =
    u"SELECT rowid, vl_lancamento, cd_status, vl_saldo FROM lancamentos WHERE cd_conta = ? "
    "ORDER BY dt_lancamento, cd_lancamento"_s;

const QString WriteBalanceSql = u"UPDATE lancamentos SET vl_saldo = ? WHERE rowid = ?"_s;

// ---- On a PostgreSQL server ----

// Every change on the server runs under this one transaction-scoped advisory lock, taken before it
// reads anything. A change reads what it then writes: the highest code, to store the next one, and
// the balance stored before its place, to rebuild the account from there. Two workstations doing
// that at once would hand out one code twice, or walk one account twice with each walk missing the
// other's entry. One lock for the whole ledger is the simple rule that is plainly correct: it
// serialises only the writers, whose changes take milliseconds; readers never take it and are
// never held up; and the server lets it go at the commit or the rollback whatever happens, a lost
// connection included. The transaction is made read committed first, whatever the server's
// default: only then does each statement after the lock see what the previous holder committed (a
// repeatable-read snapshot would be taken before the wait). On a file, BEGIN IMMEDIATE already
// lets one writer in at a time.
//
// The wait is bounded (lock_timeout, for this transaction only): a workstation that stopped
// half-way through a change keeps the lock until the server notices it has gone, and the operator
// is told that instead of facing a window that no longer answers. The isolation and the lock are
// sent as statements of their own: of several sent at once, the driver reports only the first
// one's error.
constexpr qint64 LedgerLock = 0x54534C44; // "TSLD"; the schema's lock is "TSCX" (data/server.cpp)

const QString IsolationSql = u"SET TRANSACTION ISOLATION LEVEL READ COMMITTED"_s;

// The wait is set first: the subquery runs before the lock is asked for.
QString lockSql(std::chrono::milliseconds wait)
{
    return u"SELECT pg_advisory_xact_lock(%1) FROM (SELECT set_config('lock_timeout', '%2', true)) "
           "AS espera"_s.arg(LedgerLock)
               .arg(wait.count());
}

QString lockWaitMessage(std::chrono::milliseconds wait)
{
    const qint64 seconds = std::max<qint64>(1, (wait.count() + 999) / 1000);
    return u"Outra estação está gravando lançamentos e não terminou em %1; esta alteração não foi "
           "gravada. Repita a operação em instantes."_s.arg(
               seconds == 1 ? u"1 segundo"_s : u"%1 segundos"_s.arg(seconds));
}

// One account's totals summed from its entries, as the server's triggers keep them.
const QString RetotalOnServerSql =
    u"INSERT INTO tessal_totais (cd_conta, vl_creditos, vl_debitos) SELECT :account, "
    "COALESCE(sum(CASE WHEN cd_status = 'C' THEN %1 END), 0), "
    "COALESCE(sum(CASE WHEN cd_status = 'D' THEN %1 END), 0) "
    "FROM lancamentos WHERE cd_conta = :account ON CONFLICT (cd_conta) DO UPDATE SET "
    "vl_creditos = excluded.vl_creditos, vl_debitos = excluded.vl_debitos"_s.arg(
        centsOnServer(u"vl_lancamento"_s));

// The server keeps every account's totals itself (data/server.cpp, tessal_totais), up to date
// with each statement of the transaction that reads them; an account without a row has none.
const QString TotalsOnServerSql =
    u"SELECT vl_creditos, vl_debitos FROM tessal_totais WHERE cd_conta = ?"_s;

// Writes the walk's balances where they differ from the stored ones (a Null included), as the
// walk on a file does, and counts them.
const QString WriteWalkOnServerSql =
    u"written AS (UPDATE lancamentos AS l SET vl_saldo = walk.balance FROM walk "
    "WHERE l.cd_lancamento = walk.cd_lancamento AND walk.balance IS NOT NULL "
    "AND walk.vl_saldo IS DISTINCT FROM walk.balance RETURNING 1)"_s;

// The rebuild from a place as one statement, so that it costs one round trip however many entries
// follow: the running sum is taken by the server in cents and turned into the stored double as
// doubleFromCents does (a whole number of cents divided by 100). It starts from the balance stored
// on the entry just before the place, or from 0 when there is none. It writes nothing and answers
// false when it cannot start there: an undated entry sorts before every place (the row values
// compare a Null as unknown, so the keyed reads would skip it), or the entry before has no balance
// written. Every entry from the place on has a date, so the order needs no rule for Nulls.
const QString RebuildFromOnServerSql =
    u"WITH previous AS (SELECT vl_saldo FROM lancamentos WHERE cd_conta = :account AND "
    "(dt_lancamento, cd_lancamento) < (:date, :code) "
    "ORDER BY dt_lancamento DESC, cd_lancamento DESC LIMIT 1), "
    "start AS (SELECT CASE WHEN EXISTS (SELECT 1 FROM lancamentos WHERE cd_conta = :account AND "
    "dt_lancamento IS NULL) THEN NULL WHEN NOT EXISTS (SELECT 1 FROM previous) THEN 0 "
    "ELSE (SELECT CASE WHEN vl_saldo IS NOT NULL THEN %1 END FROM previous) END AS cents), "
    "walk AS (SELECT cd_lancamento, vl_saldo, ((SELECT cents FROM start) + sum(%2) OVER "
    "(ORDER BY dt_lancamento, cd_lancamento ROWS UNBOUNDED PRECEDING))::bigint::double precision "
    "/ 100 AS balance FROM lancamentos WHERE cd_conta = :account AND "
    "(dt_lancamento, cd_lancamento) >= (:date, :code)), %3 "
    "SELECT (SELECT cents FROM start) IS NOT NULL, (SELECT count(*) FROM written)"_s.arg(
        centsOnServer(u"vl_saldo"_s), SignedCentsOnServer, WriteWalkOnServerSql);

// The whole account, undated entries first as a file sorts them.
const QString RebuildAllOnServerSql =
    u"WITH walk AS (SELECT cd_lancamento, vl_saldo, sum(%1) OVER (ORDER BY dt_lancamento NULLS "
    "FIRST, cd_lancamento ROWS UNBOUNDED PRECEDING)::bigint::double precision / 100 AS balance "
    "FROM lancamentos WHERE cd_conta = :account), %2 SELECT count(*) FROM written"_s.arg(
        SignedCentsOnServer, WriteWalkOnServerSql);

// What the operator is told when the server failed a change for a reason of its own rather than
// the statement's. Either way the server has undone the transaction, except that a connection
// lost while the commit was on its way leaves unknown whether it arrived.
QString conflictMessage(const QSqlError &error)
{
    return u"O servidor desfez a alteração por inteiro porque ela entrou em conflito com a de "
           "outra estação; nada foi gravado. Repita a operação. (%1)"_s.arg(
               data::refusedStatement(error));
}

QString lostConnectionMessage(const Error &error, bool committing)
{
    const QString what =
        committing ? u"A conexão com o servidor caiu enquanto a alteração era confirmada, e não há "
                     "como saber se ela foi gravada. Confira os lançamentos da conta antes de "
                     "repeti-la."_s
                   : u"A conexão com o servidor caiu e a alteração não foi gravada. Verifique a "
                     "rede e repita a operação."_s;
    return u"%1 (%2)"_s.arg(what, error.description());
}

} // namespace

struct Ledger::Position
{
    QString date; // stored yyyy-MM-dd
    QString code;
};

// One change's connection, statements and transaction, made in this order and undone in the
// reverse: the transaction has ended (rolled back unless committed) before the statements are
// freed, since a server refuses to free a prepared statement inside a transaction that an error
// has aborted, and the statement would then stay allocated for the rest of the session.
//
// On a server the statements are the ledger's, prepared once per connection and kept (see
// Ledger::Prepared): each costs a round trip to prepare and one to free, which for a post at the
// end of an account would be most of its time. A prepared statement outlives a rollback, so an
// error costs it nothing.
struct Ledger::Work
{
    Work(QSqlDatabase database, bool onServer, Intent intent, bool &commitStarted,
         Prepared *prepared, std::chrono::milliseconds lockWait)
        : db(std::move(database))
        , server(onServer)
        , kept(prepared)
        , wait(lockWait)
        , committing(commitStarted)
        , transaction(db, intent == Intent::Change ? data::Transaction::Change
                                                   : data::Transaction::Read)
    {
        if (server && intent == Intent::Change) {
            QSqlQuery lock(db);
            if (!lock.exec(IsolationSql) || !lock.exec(lockSql(wait)))
                refused(lock);
        }
    }

    // Prepared and forward-only; it lives as long as the Work, or as the connection when kept.
    QSqlQuery &prepare(const QString &sql)
    {
        if (kept) {
            QSqlQuery *known = kept->find(db, sql);
            return known ? *known : kept->add(db, sql);
        }
        QSqlQuery &query = statements.emplace_back(db);
        query.setForwardOnly(true);
        prepareOrThrow(query, sql);
        return query;
    }

    void exec(QSqlQuery &query)
    {
        if (!query.exec())
            refused(query);
    }

    [[noreturn]] void refused(const QSqlQuery &query) const
    {
        const QString state = query.lastError().nativeErrorCode();
        if (server) {
            // serialization_failure, deadlock_detected: the server chose this transaction to undo.
            if (state == u"40001" || state == u"40P01")
                throw Error(ErrorNumber::DatabaseError, conflictMessage(query.lastError()),
                            query.lastQuery());
            // lock_not_available: the wait for the ledger lock, or for a row another program
            // holds, ran out.
            if (state == u"55P03")
                throw Error(ErrorNumber::DatabaseError, lockWaitMessage(wait), query.lastQuery());
        }
        data::throwQueryError(query, query.lastQuery());
    }

    void commit()
    {
        committing = true;
        transaction.commit();
    }

    QSqlDatabase db;
    const bool server;
    Prepared *kept; // the ledger's statements kept on the server; null on a file
    const std::chrono::milliseconds wait;
    bool &committing; // the caller's: set as COMMIT is sent
    std::list<QSqlQuery> statements;
    data::Transaction transaction;
};

// A statement belongs to the connection it was prepared on: one opened again since (after the
// server dropped the old one) has none of them. A statement's driver is the one it was prepared
// through, or none once that driver is gone, so comparing it with the connection's tells them
// apart even when a new driver took the old one's place in memory.
QSqlQuery *Ledger::Prepared::find(const QSqlDatabase &db, const QString &sql)
{
    const auto found = m_statements.find(sql);
    if (found == m_statements.end())
        return nullptr;
    if (!db.isOpen() || found->second.driver() != db.driver()) {
        m_statements.clear();
        return nullptr;
    }
    return &found->second;
}

QSqlQuery &Ledger::Prepared::add(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    prepareOrThrow(query, sql);
    return m_statements.insert_or_assign(sql, std::move(query)).first->second;
}

template<typename Body> auto Ledger::run(Intent intent, Body &&body)
{
    QSqlDatabase db = database();
    bool committing = false;
    try {
        Work w(db, m_server, intent, committing, m_server ? m_prepared.get() : nullptr, m_lockWait);
        return body(w);
    } catch (const Error &e) {
        // Qt closes a connection the server has dropped; the next change opens a new one.
        if (!m_server || db.isOpen() || e.number() != ErrorNumber::DatabaseError)
            throw;
        throw Error(ErrorNumber::DatabaseError, lostConnectionMessage(e, committing), e.source());
    }
}

Ledger::Ledger(QString databasePath, QLocale locale)
    : m_path(std::move(databasePath))
    , m_server(looksLikeServerUri(m_path))
    , m_locale(std::move(locale))
    , m_prepared(std::make_unique<Prepared>())
{}

Ledger::~Ledger() = default;
Ledger::Ledger(Ledger &&) noexcept = default;
Ledger &Ledger::operator=(Ledger &&) noexcept = default;

QSqlDatabase Ledger::database() const
{
    return data::openDatabase(m_path);
}

Ledger::Parsed Ledger::parse(const EntryInput &input) const
{
    Parsed parsed;
    parsed.account = input.account.trimmed();
    if (parsed.account.isEmpty())
        refuse(u"Escolha uma conta na lista \"Contas\" antes de gravar o lançamento."_s,
               u"cd_conta"_s);
    parsed.description = input.description.trimmed();
    if (parsed.description.isEmpty())
        refuse(u"Escolha o histórico do lançamento."_s, u"DS_CONTA"_s);
    const auto amount = parseAmount(input.amount, m_locale);
    if (!amount)
        refuse(u"O valor \"%1\" não é um número válido. Digite o valor com até %2 dígitos antes "
               "das casas decimais e no máximo duas casas decimais, por exemplo %3."_s.arg(
                   input.amount, QString::number(MaxAmountDigits),
                   u"1234"_s + m_locale.decimalPoint() + u"50"_s),
               u"VL_LANCAMENTO"_s);
    parsed.amount = *amount;
    const auto date = data::parseTypedDate(input.date.trimmed());
    if (!date)
        refuse(u"A data \"%1\" não é uma data válida. Digite a data no formato dd/mm/aaaa."_s.arg(
                   input.date),
               u"dt_lancamento"_s);
    parsed.date = *date;
    parsed.remark = input.remark;
    return parsed;
}

QString Ledger::statusOf(Work &w, const QString &description)
{
    QSqlQuery &query = w.prepare(StatusSql);
    query.addBindValue(description);
    w.exec(query);
    if (!query.next())
        refuse(
            u"O histórico \"%1\" não está cadastrado. Escolha outro histórico."_s.arg(description),
            u"DS_CONTA"_s);
    // A description without a type still posts; its entries then count in no total.
    const QString status = query.value(0).isNull() ? QString() : query.value(0).toString();
    query.finish();
    return status;
}

QString Ledger::nextCode(QSqlDatabase db)
{
    // Inside a change's transaction the write lock (the ledger lock on a server) keeps the code
    // free until the commit.
    return data::nextCode(std::move(db), u"lancamentos"_s, u"cd_lancamento"_s, EntryCodeWidth);
}

QString Ledger::nextEntryCode()
{
    return nextCode(database());
}

std::optional<Entry> Ledger::entry(const QString &code)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    prepareOrThrow(query, EntrySql);
    query.addBindValue(code);
    execOrThrow(query);
    if (!query.next())
        return std::nullopt;
    Entry e;
    e.code = query.value(0).toString();
    e.account = query.value(1).toString();
    e.description = query.value(2).toString();
    e.remark = query.value(3).toString();
    e.amount = query.value(4).isNull() ? 0.0 : query.value(4).toDouble();
    e.date = data::fromStoredDate(query.value(5).toString());
    e.status = query.value(6).toString();
    if (!query.value(7).isNull())
        e.balance = query.value(7).toDouble();
    e.settlement = query.value(8).toString();
    return e;
}

// Windows of this process share one connection per file, so its own count of changed rows tells
// a write by any of them (a Ledger, a record set); data_version tells a commit by any other
// connection.
Ledger::Stamp Ledger::stamp(QSqlDatabase &db) const
{
    QSqlQuery query(db);
    execOrThrow(query, u"SELECT total_changes(), (SELECT data_version FROM pragma_data_version)"_s);
    Stamp s;
    if (query.next()) {
        s.changes = query.value(0).toULongLong();
        s.dataVersion = query.value(1).toLongLong();
    }
    return s;
}

// Stale: something other than this ledger has written to the file since its last change. The
// balances it wrote may not be running sums any more (an amount changed without a rebuild), so
// the next change rebuilds its accounts whole instead of starting from a stored balance.
//
// A server has no such counter, so there nothing is remembered: every change reads its account's
// totals, which the server keeps itself, and rebuilds from the balance stored before its place,
// which every change on the server leaves right under the ledger lock.
Ledger::Memory Ledger::recall(Work &w, const QString &account) const
{
    if (m_server || !m_totalsValid)
        return {};
    const bool stale = stamp(w.db) != m_totalsStamp;
    return {!stale && m_totalsAccount == account, stale};
}

std::optional<Ledger::Position> Ledger::Memory::from(std::optional<Position> place) const
{
    return stale ? std::nullopt : place;
}

// The stamp is taken before COMMIT, with the lock still held: nothing else can have written yet,
// and the commit itself moves neither counter.
void Ledger::commitRemembering(Work &w, const QString &account, const Totals &totals)
{
    if (m_server) {
        w.commit();
        return;
    }
    const Stamp current = stamp(w.db);
    m_totalsValid = false;
    w.commit();
    m_totalsAccount = account;
    m_totals = totals;
    m_totalsStamp = current;
    m_totalsValid = true;
}

Totals Ledger::computeTotals(Work &w, const QString &account)
{
    QSqlQuery &query = w.prepare(m_server ? TotalsOnServerSql : TotalsSql);
    if (!m_server) {
        query.addBindValue(u"C"_s);
        query.addBindValue(u"D"_s);
    }
    query.addBindValue(account);
    w.exec(query);
    Totals totals;
    if (query.next()) {
        totals.credits = query.value(0).toLongLong();
        totals.debits = query.value(1).toLongLong();
    }
    query.finish();
    return totals;
}

Totals Ledger::totals(const QString &account)
{
    // Read inside one transaction so the stamp and the sums describe the same state.
    return run(Intent::Read, [&](Work &w) {
        const Totals result = computeTotals(w, account);
        commitRemembering(w, account, result);
        return result;
    });
}

// Adjusts the remembered totals by the change's own amounts when they were still current as the
// change began (checked with the write lock held); sums the account again otherwise.
Totals Ledger::totalsAfter(Work &w, const QString &account, bool known, const Totals &delta)
{
    if (!known)
        return computeTotals(w, account);
    Totals t = m_totals;
    t.credits += delta.credits;
    t.debits += delta.debits;
    return t;
}

void Ledger::step(ChangeStep s) const
{
    if (m_hook)
        m_hook(s);
}

void Ledger::rebuildFrom(Work &w, const QString &account, const std::optional<Position> &from)
{
    if (m_note)
        m_note(account);
    if (m_server) {
        rebuildOnServer(w, account, from);
        return;
    }
    QSqlDatabase &db = w.db;
    Cents running = 0;
    bool fromStart = !from.has_value();
    if (from) {
        QSqlQuery undated(db);
        prepareOrThrow(undated, UndatedSql);
        undated.addBindValue(account);
        execOrThrow(undated);
        if (undated.next()) {
            fromStart = true;
        } else {
            QSqlQuery previous(db);
            prepareOrThrow(previous, PreviousBalanceSql);
            previous.addBindValue(account);
            previous.addBindValue(from->date);
            previous.addBindValue(from->code);
            execOrThrow(previous);
            if (previous.next()) {
                // A balance never written (a database from before the rebuild ran) cannot be
                // started from: rebuild the whole account instead.
                if (previous.value(0).isNull())
                    fromStart = true;
                else
                    running = centsFromDouble(previous.value(0).toDouble());
            }
        }
    }

    // The walk runs once per entry of a large account; through SQLite's own interface a row costs
    // a step and a write, not a round of QVariant conversions.
    sqlite3 *raw = data::requireSqliteHandle(db, m_path);
    data::SqliteStatement walk(raw, fromStart ? WalkAllSql : WalkFromSql);
    walk.bind(1, account);
    if (!fromStart) {
        walk.bind(2, from->date);
        walk.bind(3, from->code);
    }
    data::SqliteStatement write(raw, WriteBalanceSql);
    // vl_saldo is not in the index the walk reads, so rewriting it does not disturb the cursor.
    while (walk.step()) {
        running += signedAmountAt(walk.get(), 1, 2);
        const double balance = doubleFromCents(running);
        // A row already holding its balance exactly is left alone: the result is the same and
        // the write is what costs.
        if (sqlite3_column_type(walk.get(), 3) != SQLITE_NULL &&
            sqlite3_column_double(walk.get(), 3) == balance)
            continue;
        write.bind(1, balance);
        write.bind(2, sqlite3_int64(sqlite3_column_int64(walk.get(), 0)));
        write.step();
        write.reset();
        step(ChangeStep::BalanceWritten);
    }
}

// One statement per account, whichever way (see RebuildFromOnServerSql): a change posting after
// every other entry of its account costs the same few round trips as one in a new account.
void Ledger::rebuildOnServer(Work &w, const QString &account, const std::optional<Position> &from)
{
    const auto bindRule = [&](QSqlQuery &query) {
        query.bindValue(u":credit"_s, u"C"_s);
        query.bindValue(u":debit"_s, u"D"_s);
        query.bindValue(u":account"_s, account);
    };
    qint64 written = -1;
    if (from) {
        QSqlQuery &fromPlace = w.prepare(RebuildFromOnServerSql);
        bindRule(fromPlace);
        fromPlace.bindValue(u":date"_s, from->date);
        fromPlace.bindValue(u":code"_s, from->code);
        w.exec(fromPlace);
        if (fromPlace.next() && fromPlace.value(0).toBool())
            written = fromPlace.value(1).toLongLong();
        fromPlace.finish();
    }
    if (written < 0) {
        QSqlQuery &whole = w.prepare(RebuildAllOnServerSql);
        bindRule(whole);
        w.exec(whole);
        written = whole.next() ? whole.value(0).toLongLong() : 0;
        whole.finish();
    }
    for (qint64 i = 0; i < written; ++i)
        step(ChangeStep::BalanceWritten);
}

std::optional<Ledger::Stored> Ledger::stored(Work &w, const QString &code)
{
    QSqlQuery &read = w.prepare(EntrySql);
    read.addBindValue(code);
    w.exec(read);
    if (!read.next())
        return std::nullopt;
    Stored entry{read.value(1).toString(), centsOf(read.value(4)), read.value(5).toString(),
                 read.value(6).toString()};
    read.finish();
    return entry;
}

ChangeResult Ledger::post(const EntryInput &input)
{
    const Parsed p = parse(input);
    return run(Intent::Change, [&](Work &w) {
        const Memory memory = recall(w, p.account);
        const QString status = statusOf(w, p.description);
        const QString code = nextCode(w.db);
        const QString date = data::toStoredDate(p.date);

        QSqlQuery &insert = w.prepare(InsertSql);
        insert.addBindValue(code);
        insert.addBindValue(p.account);
        insert.addBindValue(p.description);
        insert.addBindValue(p.remark);
        insert.addBindValue(doubleFromCents(p.amount));
        insert.addBindValue(date);
        insert.addBindValue(status);
        insert.addBindValue(NewEntrySettlement.toString());
        w.exec(insert);
        step(ChangeStep::EntryWritten);

        rebuildFrom(w, p.account, memory.from(Position{date, code}));

        Totals delta;
        addTo(delta, status, p.amount, 1);
        const Totals result = totalsAfter(w, p.account, memory.known, delta);
        commitRemembering(w, p.account, result);
        return ChangeResult{code, result};
    });
}

ChangeResult Ledger::alter(const QString &code, const EntryInput &input)
{
    if (code.trimmed().isEmpty())
        refuse(u"Nenhum lançamento está selecionado para alteração. Escolha o lançamento na "
               "grade antes de usar \"Alterar\"."_s,
               u"cd_lancamento"_s);
    const Parsed p = parse(input);
    return run(Intent::Change, [&](Work &w) {
        const Memory memory = recall(w, p.account);
        const QString status = statusOf(w, p.description);

        const std::optional<Stored> old = stored(w, code);
        if (!old) {
            // Gone meanwhile (another workstation deleted it): nothing to write, but the account
            // on show is still rebuilt and totalled, as after any alteration.
            return rebuildWhole(w, p.account, memory.known);
        }
        const QString &oldAccount = old->account;
        const QString &oldDate = old->date;

        const QString date = data::toStoredDate(p.date);
        QSqlQuery &update = w.prepare(UpdateSql);
        update.addBindValue(p.account);
        update.addBindValue(p.description);
        update.addBindValue(p.remark);
        update.addBindValue(doubleFromCents(p.amount));
        update.addBindValue(date);
        update.addBindValue(status);
        update.addBindValue(code);
        w.exec(update);
        step(ChangeStep::EntryWritten);

        const bool oldDated = data::fromStoredDate(oldDate).isValid();
        if (oldAccount != p.account) {
            rebuildFrom(w, oldAccount,
                        memory.from(oldDated ? std::optional<Position>(Position{oldDate, code})
                                             : std::nullopt));
            rebuildFrom(w, p.account, memory.from(Position{date, code}));
        } else {
            // The entry may have moved either way; everything from the earlier place can change.
            std::optional<Position> from;
            if (oldDated)
                from = Position{std::min(oldDate, date), code};
            rebuildFrom(w, p.account, memory.from(from));
        }

        Totals delta;
        if (oldAccount == p.account)
            addTo(delta, old->status, old->amount, -1);
        addTo(delta, status, p.amount, 1);
        const Totals result =
            totalsAfter(w, p.account, memory.known && oldAccount == p.account, delta);
        commitRemembering(w, p.account, result);
        return ChangeResult{code, result};
    });
}

ChangeResult Ledger::remove(const QString &code, const QString &shownAccount)
{
    return run(Intent::Change, [&](Work &w) {
        const std::optional<Stored> gone = stored(w, code);
        if (!gone)
            return rebuildWhole(w, shownAccount, recall(w, shownAccount).known);
        const QString &account = gone->account;
        const QString &date = gone->date;
        const Memory memory = recall(w, account);

        QSqlQuery &erase = w.prepare(DeleteSql);
        erase.addBindValue(code);
        w.exec(erase);
        step(ChangeStep::EntryWritten);

        rebuildFrom(w, account,
                    memory.from(data::fromStoredDate(date).isValid()
                                    ? std::optional<Position>(Position{date, code})
                                    : std::nullopt));

        Totals delta;
        addTo(delta, gone->status, gone->amount, -1);
        const Totals result = totalsAfter(w, account, memory.known, delta);
        commitRemembering(w, account, result);
        return ChangeResult{code, result};
    });
}

bool Ledger::setSettlement(const QString &code, const QString &settlement)
{
    return run(Intent::Change, [&](Work &w) {
        QSqlQuery &known = w.prepare(SettlementExistsSql);
        known.addBindValue(settlement);
        w.exec(known);
        if (!known.next())
            refuse(
                u"O tipo de baixa \"%1\" não está cadastrado. Escolha outro tipo de baixa."_s.arg(
                    settlement),
                u"cd_baixa"_s);
        known.finish();
        QSqlQuery &update = w.prepare(SettleSql);
        update.addBindValue(settlement);
        update.addBindValue(code);
        w.exec(update);
        const bool changed = update.numRowsAffected() > 0;
        w.commit();
        return changed;
    });
}

Totals Ledger::rebuild(const QString &account)
{
    return run(Intent::Change,
               [&](Work &w) { return rebuildWhole(w, account, recall(w, account).known).totals; });
}

// The result's code is empty: no entry was changed.
ChangeResult Ledger::rebuildWhole(Work &w, const QString &account, bool known)
{
    rebuildFrom(w, account, std::nullopt);
    if (m_server) {
        // The account's totals are summed again too: a rebuild sets right whatever is derived
        // from the entries, should something have bypassed the server's triggers.
        QSqlQuery &retotal = w.prepare(RetotalOnServerSql);
        retotal.bindValue(u":account"_s, account);
        w.exec(retotal);
    }
    const Totals result = totalsAfter(w, account, known, Totals{});
    commitRemembering(w, account, result);
    return {QString(), result};
}

QString Ledger::deleteQuestion(double amount) const
{
    return deleteQuestion(amount, m_locale);
}

QString Ledger::deleteQuestion(double amount, const QLocale &locale)
{
    return u"Deseja Realmente excluir esse registro? :"_s + formatPlain(amount, locale);
}

} // namespace tessal::ledger
