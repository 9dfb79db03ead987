#include "ledger/ledger.h"

#include "core/error.h"
#include "data/database.h"
#include "data/nextcode.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"

#include <QSqlQuery>
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

} // namespace

struct Ledger::Position
{
    QString date; // stored yyyy-MM-dd
    QString code;
};

Ledger::Ledger(QString databasePath, QLocale locale)
    : m_path(std::move(databasePath))
    , m_locale(std::move(locale))
{}

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

QString Ledger::statusOf(QSqlDatabase &db, const QString &description)
{
    QSqlQuery query(db);
    prepareOrThrow(query, StatusSql);
    query.addBindValue(description);
    execOrThrow(query);
    if (!query.next())
        refuse(
            u"O histórico \"%1\" não está cadastrado. Escolha outro histórico."_s.arg(description),
            u"DS_CONTA"_s);
    // A description without a type still posts; its entries then count in no total.
    return query.value(0).isNull() ? QString() : query.value(0).toString();
}

QString Ledger::nextCode(QSqlDatabase &db)
{
    // Inside the change's transaction: the write lock keeps the code free until the commit.
    return data::nextCode(db, u"lancamentos"_s, u"cd_lancamento"_s, EntryCodeWidth);
}

QString Ledger::nextEntryCode()
{
    QSqlDatabase db = database();
    return nextCode(db);
}

std::optional<Entry> Ledger::entry(const QString &code)
{
    QSqlDatabase db = database();
    QSqlQuery query(db);
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
Ledger::Memory Ledger::recall(QSqlDatabase &db, const QString &account) const
{
    if (!m_totalsValid)
        return {};
    const bool stale = stamp(db) != m_totalsStamp;
    return {!stale && m_totalsAccount == account, stale};
}

std::optional<Ledger::Position> Ledger::Memory::from(std::optional<Position> place) const
{
    return stale ? std::nullopt : place;
}

// The stamp is taken before COMMIT, with the lock still held: nothing else can have written yet,
// and the commit itself moves neither counter.
void Ledger::commitRemembering(data::Transaction &transaction, QSqlDatabase &db,
                               const QString &account, const Totals &totals)
{
    const Stamp current = stamp(db);
    m_totalsValid = false;
    transaction.commit();
    m_totalsAccount = account;
    m_totals = totals;
    m_totalsStamp = current;
    m_totalsValid = true;
}

Totals Ledger::computeTotals(QSqlDatabase &db, const QString &account)
{
    QSqlQuery query(db);
    prepareOrThrow(query, TotalsSql);
    query.addBindValue(u"C"_s);
    query.addBindValue(u"D"_s);
    query.addBindValue(account);
    execOrThrow(query);
    Totals totals;
    if (query.next()) {
        totals.credits = query.value(0).toLongLong();
        totals.debits = query.value(1).toLongLong();
    }
    return totals;
}

Totals Ledger::totals(const QString &account)
{
    QSqlDatabase db = database();
    // Read inside one transaction so the stamp and the sums describe the same state.
    data::Transaction transaction(db, data::Transaction::Read);
    const Totals result = computeTotals(db, account);
    commitRemembering(transaction, db, account, result);
    return result;
}

// Adjusts the remembered totals by the change's own amounts when they were still current as the
// change began (checked with the write lock held); sums the account again otherwise.
Totals Ledger::totalsAfter(QSqlDatabase &db, const QString &account, bool known,
                           const Totals &delta)
{
    if (!known)
        return computeTotals(db, account);
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

void Ledger::rebuildFrom(QSqlDatabase &db, const QString &account,
                         const std::optional<Position> &from)
{
    if (m_note)
        m_note(account);
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

std::optional<Ledger::Stored> Ledger::stored(QSqlDatabase &db, const QString &code)
{
    QSqlQuery read(db);
    prepareOrThrow(read, EntrySql);
    read.addBindValue(code);
    execOrThrow(read);
    if (!read.next())
        return std::nullopt;
    return Stored{read.value(1).toString(), centsOf(read.value(4)), read.value(5).toString(),
                  read.value(6).toString()};
}

ChangeResult Ledger::post(const EntryInput &input)
{
    const Parsed p = parse(input);
    QSqlDatabase db = database();
    data::Transaction transaction(db);
    const Memory memory = recall(db, p.account);
    const QString status = statusOf(db, p.description);
    const QString code = nextCode(db);
    const QString date = data::toStoredDate(p.date);

    QSqlQuery insert(db);
    prepareOrThrow(insert, InsertSql);
    insert.addBindValue(code);
    insert.addBindValue(p.account);
    insert.addBindValue(p.description);
    insert.addBindValue(p.remark);
    insert.addBindValue(doubleFromCents(p.amount));
    insert.addBindValue(date);
    insert.addBindValue(status);
    insert.addBindValue(NewEntrySettlement.toString());
    execOrThrow(insert);
    step(ChangeStep::EntryWritten);

    rebuildFrom(db, p.account, memory.from(Position{date, code}));

    Totals delta;
    addTo(delta, status, p.amount, 1);
    const Totals result = totalsAfter(db, p.account, memory.known, delta);
    commitRemembering(transaction, db, p.account, result);
    return {code, result};
}

ChangeResult Ledger::alter(const QString &code, const EntryInput &input)
{
    if (code.trimmed().isEmpty())
        refuse(u"Nenhum lançamento está selecionado para alteração. Escolha o lançamento na "
               "grade antes de usar \"Alterar\"."_s,
               u"cd_lancamento"_s);
    const Parsed p = parse(input);
    QSqlDatabase db = database();
    data::Transaction transaction(db);
    const Memory memory = recall(db, p.account);
    const QString status = statusOf(db, p.description);

    const std::optional<Stored> old = stored(db, code);
    if (!old) {
        // Gone meanwhile (another workstation deleted it): nothing to write, but the account on
        // show is still rebuilt and totalled, as after any alteration.
        return rebuildWhole(db, transaction, p.account, memory.known);
    }
    const QString &oldAccount = old->account;
    const QString &oldDate = old->date;

    const QString date = data::toStoredDate(p.date);
    QSqlQuery update(db);
    prepareOrThrow(update, UpdateSql);
    update.addBindValue(p.account);
    update.addBindValue(p.description);
    update.addBindValue(p.remark);
    update.addBindValue(doubleFromCents(p.amount));
    update.addBindValue(date);
    update.addBindValue(status);
    update.addBindValue(code);
    execOrThrow(update);
    step(ChangeStep::EntryWritten);

    const bool oldDated = data::fromStoredDate(oldDate).isValid();
    if (oldAccount != p.account) {
        rebuildFrom(db, oldAccount,
                    memory.from(oldDated ? std::optional<Position>(Position{oldDate, code})
                                         : std::nullopt));
        rebuildFrom(db, p.account, memory.from(Position{date, code}));
    } else {
        // The entry may have moved either way; everything from the earlier place can change.
        std::optional<Position> from;
        if (oldDated)
            from = Position{std::min(oldDate, date), code};
        rebuildFrom(db, p.account, memory.from(from));
    }

    Totals delta;
    if (oldAccount == p.account)
        addTo(delta, old->status, old->amount, -1);
    addTo(delta, status, p.amount, 1);
    const Totals result =
        totalsAfter(db, p.account, memory.known && oldAccount == p.account, delta);
    commitRemembering(transaction, db, p.account, result);
    return {code, result};
}

ChangeResult Ledger::remove(const QString &code, const QString &shownAccount)
{
    QSqlDatabase db = database();
    data::Transaction transaction(db);
    const std::optional<Stored> gone = stored(db, code);
    if (!gone)
        return rebuildWhole(db, transaction, shownAccount, recall(db, shownAccount).known);
    const QString &account = gone->account;
    const QString &date = gone->date;
    const Memory memory = recall(db, account);

    QSqlQuery erase(db);
    prepareOrThrow(erase, DeleteSql);
    erase.addBindValue(code);
    execOrThrow(erase);
    step(ChangeStep::EntryWritten);

    rebuildFrom(db, account,
                memory.from(data::fromStoredDate(date).isValid()
                                ? std::optional<Position>(Position{date, code})
                                : std::nullopt));

    Totals delta;
    addTo(delta, gone->status, gone->amount, -1);
    const Totals result = totalsAfter(db, account, memory.known, delta);
    commitRemembering(transaction, db, account, result);
    return {code, result};
}

bool Ledger::setSettlement(const QString &code, const QString &settlement)
{
    QSqlDatabase db = database();
    data::Transaction transaction(db);
    QSqlQuery known(db);
    prepareOrThrow(known, SettlementExistsSql);
    known.addBindValue(settlement);
    execOrThrow(known);
    if (!known.next())
        refuse(u"O tipo de baixa \"%1\" não está cadastrado. Escolha outro tipo de baixa."_s.arg(
                   settlement),
               u"cd_baixa"_s);
    known.finish();
    QSqlQuery update(db);
    prepareOrThrow(update, SettleSql);
    update.addBindValue(settlement);
    update.addBindValue(code);
    execOrThrow(update);
    const bool changed = update.numRowsAffected() > 0;
    transaction.commit();
    return changed;
}

Totals Ledger::rebuild(const QString &account)
{
    QSqlDatabase db = database();
    data::Transaction transaction(db);
    return rebuildWhole(db, transaction, account, recall(db, account).known).totals;
}

// The result's code is empty: no entry was changed.
ChangeResult Ledger::rebuildWhole(QSqlDatabase &db, data::Transaction &transaction,
                                  const QString &account, bool known)
{
    rebuildFrom(db, account, std::nullopt);
    const Totals result = totalsAfter(db, account, known, Totals{});
    commitRemembering(transaction, db, account, result);
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
