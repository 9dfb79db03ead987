#include "ledger/consistency.h"

#include "core/datasource.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "data/database.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"
#include "ledger/ledger.h"
#include "ledger/serversql.h"

#include <QSqlQuery>
#include <algorithm>
#include <cstring>
#include <list>
#include <map>
#include <sqlite3.h>
#include <string>

namespace tessal::ledger {

using namespace Qt::StringLiterals;

namespace {

// The walk reads lancamentos_conta_data (cd_conta, dt_lancamento, cd_lancamento) in its own
// order, so the engine does the sorting exactly as the ledger's queries sort, Null dates first.
const QString WalkAllSql =
    u"SELECT cd_conta, dt_lancamento, cd_lancamento, vl_lancamento, cd_status, vl_saldo FROM "
    "lancamentos WHERE cd_conta IS NOT NULL ORDER BY cd_conta, dt_lancamento, cd_lancamento"_s;
const QString WalkAccountSql =
    u"SELECT cd_conta, dt_lancamento, cd_lancamento, vl_lancamento, cd_status, vl_saldo FROM "
    "lancamentos WHERE cd_conta = ? ORDER BY dt_lancamento, cd_lancamento"_s;
const QString CountSql = u"SELECT COUNT(*) FROM lancamentos WHERE cd_conta IS NOT NULL"_s;
const QString NameSql = u"SELECT ds_conta FROM contas WHERE cd_conta = ?"_s;
const QString LastEntriesSql =
    u"SELECT cd_conta FROM lancamentos WHERE cd_conta IS NOT NULL ORDER BY cd_lancamento DESC "
    "LIMIT ?"_s;

enum Column { Account, Date, Code, Amount, Status, Balance };

// How often the progress box hears from the walk.
constexpr qint64 ProgressStep = 65536;

QString columnText(sqlite3_stmt *row, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(row, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(row, column)) : QString();
}

// One account's walk: the running sum and the first entry whose stored balance differs from it.
class AccountWalk
{
public:
    void start(const char *account, int size)
    {
        m_key.assign(account, size_t(size));
        m_wrong = WrongAccount();
        m_wrong.account = QString::fromUtf8(account, size);
        m_running = 0;
    }
    bool same(const char *account, int size) const
    {
        return size_t(size) == m_key.size() &&
               std::memcmp(account, m_key.data(), m_key.size()) == 0;
    }

    void add(sqlite3_stmt *row)
    {
        ++m_wrong.entries;
        if (sqlite3_column_type(row, Amount) != SQLITE_NULL &&
            sqlite3_column_bytes(row, Status) == 1) {
            const char status = *reinterpret_cast<const char *>(sqlite3_column_text(row, Status));
            const Cents amount = centsFromDouble(sqlite3_column_double(row, Amount));
            if (status == 'C')
                m_running += amount;
            else if (status == 'D')
                m_running -= amount;
        }
        const int type = sqlite3_column_type(row, Balance);
        const bool number = type == SQLITE_FLOAT || type == SQLITE_INTEGER;
        if (number && sqlite3_column_double(row, Balance) == doubleFromCents(m_running))
            return;
        if (m_wrong.wrongEntries++ == 0) {
            m_wrong.firstCode = columnText(row, Code);
            m_wrong.firstDate = columnText(row, Date);
            if (number)
                m_wrong.firstStored = sqlite3_column_double(row, Balance);
            m_wrong.firstExpected = m_running;
        }
    }

    // Adds the account to the report when any of its balances was wrong.
    void finish(CheckReport &report)
    {
        ++report.accountsChecked;
        report.entriesChecked += m_wrong.entries;
        if (m_wrong.wrongEntries > 0)
            report.wrongAccounts.push_back(std::move(m_wrong));
        m_key.clear();
    }

private:
    std::string m_key;
    WrongAccount m_wrong;
    Cents m_running = 0;
};

[[noreturn]] void stopped()
{
    throw Error(ErrorNumber::InvalidInput,
                u"A verificação dos saldos foi interrompida pelo operador."_s,
                u"Verificar Saldos"_s);
}

void advance(Progress *progress, qint64 done, qint64 total)
{
    if (progress && !progress->advance(done, total))
        stopped();
}

// The engine's check gives no figures while it runs, for seconds on a large file: the progress
// box hears from it (as a task of unknown length) every so many of the engine's steps, and a stop
// asked there interrupts it.
class EngineProgress
{
public:
    EngineProgress(sqlite3 *raw, Progress *progress)
        : m_raw(raw)
        , m_progress(progress)
    {
        if (m_progress)
            sqlite3_progress_handler(m_raw, 1'000'000, &EngineProgress::tick, this);
    }
    ~EngineProgress() { sqlite3_progress_handler(m_raw, 0, nullptr, nullptr); }
    EngineProgress(const EngineProgress &) = delete;
    EngineProgress &operator=(const EngineProgress &) = delete;

    void throwIfStopped() const
    {
        if (m_stopped)
            stopped();
    }

private:
    static int tick(void *self)
    {
        auto *p = static_cast<EngineProgress *>(self);
        p->m_stopped = !p->m_progress->advance(0, 0);
        return p->m_stopped ? 1 : 0;
    }

    sqlite3 *m_raw;
    Progress *m_progress;
    bool m_stopped = false;
};

void walkAll(sqlite3 *raw, CheckReport &report, Progress *progress)
{
    qint64 total = 0;
    if (progress) {
        data::SqliteStatement count(raw, CountSql);
        if (count.step())
            total = sqlite3_column_int64(count.get(), 0);
        advance(progress, 0, total);
    }
    data::SqliteStatement walk(raw, WalkAllSql);
    AccountWalk account;
    bool open = false;
    qint64 done = 0;
    while (walk.step()) {
        sqlite3_stmt *row = walk.get();
        const auto *key = reinterpret_cast<const char *>(sqlite3_column_text(row, Account));
        const int size = sqlite3_column_bytes(row, Account);
        if (!open || !account.same(key, size)) {
            if (open)
                account.finish(report);
            account.start(key, size);
            open = true;
        }
        account.add(row);
        if (++done % ProgressStep == 0)
            advance(progress, done, total);
    }
    if (open)
        account.finish(report);
    advance(progress, done, total);
}

void walkAccount(sqlite3 *raw, const QString &code, CheckReport &report)
{
    data::SqliteStatement walk(raw, WalkAccountSql);
    walk.bind(1, code);
    AccountWalk account;
    const QByteArray key = code.toUtf8();
    account.start(key.constData(), int(key.size()));
    while (walk.step())
        account.add(walk.get());
    account.finish(report);
}

// PRAGMA integrity_check or quick_check: one row "ok", or one row per problem found. On some
// damage the engine stops with SQLITE_CORRUPT instead of a row; that is a finding too.
QStringList engineProblems(sqlite3 *raw, const QString &pragma)
{
    data::SqliteStatement check(raw, u"PRAGMA "_s + pragma);
    QStringList lines;
    try {
        while (check.step())
            lines << columnText(check.get(), 0);
    } catch (const Error &e) {
        lines << e.description();
    }
    if (lines == QStringList{u"ok"_s})
        return {};
    return lines;
}

// What PRAGMA quick_check leaves out of integrity_check is the comparison of indexes with their
// tables. A count per index (each one a walk over that index's pages) still finds an index that
// lost or gained entries, at a small part of the cost of looking every row up. Partial indexes
// hold fewer entries by design and are left out. (The sum of ones and not count(*): the engine
// answers count(*) from the smallest index, whichever one INDEXED BY names.)
QStringList indexCountProblems(sqlite3 *raw)
{
    data::SqliteStatement list(raw, u"SELECT t.name, i.name FROM sqlite_schema AS t, "
                                    "pragma_index_list(t.name) AS i WHERE t.type = 'table' AND "
                                    "i.partial = 0 ORDER BY t.name, i.name"_s);
    std::vector<std::pair<QString, QString>> indexes;
    while (list.step())
        indexes.emplace_back(columnText(list.get(), 0), columnText(list.get(), 1));
    const auto quoted = [](QString name) -> QString {
        return u'"' + name.replace(u'"', u"\"\""_s) + u'"';
    };
    const auto count = [raw](const QString &sql) {
        data::SqliteStatement statement(raw, sql);
        return statement.step() ? sqlite3_column_int64(statement.get(), 0) : qint64(-1);
    };
    QStringList problems;
    QString table;
    qint64 rows = 0;
    for (const auto &[tableName, index] : indexes) {
        if (tableName != table) {
            table = tableName;
            rows = count(u"SELECT coalesce(sum(1), 0) FROM "_s + quoted(table) + u" NOT INDEXED"_s);
        }
        const qint64 entries = count(u"SELECT coalesce(sum(1), 0) FROM "_s + quoted(table) +
                                     u" INDEXED BY "_s + quoted(index));
        if (entries != rows)
            problems << u"índice %1: %2 entradas para %3 registros da tabela %4"_s.arg(index)
                            .arg(entries)
                            .arg(rows)
                            .arg(table);
    }
    return problems;
}

void nameAccounts(sqlite3 *raw, CheckReport &report)
{
    data::SqliteStatement name(raw, NameSql);
    for (WrongAccount &wrong : report.wrongAccounts) {
        name.bind(1, wrong.account);
        if (name.step())
            wrong.name = columnText(name.get(), 0);
        name.reset();
    }
}

// The whole file is read, much of it more than once (every index against its table): with a page
// cache of 256 MB instead of the default 2 MB the engine's check takes a third less time. Only
// for the check, as the connection is shared. (Mapping the file into memory is a little faster
// still, but a failed read of a mapped file on a network share ends the process.)
class LargeCache
{
public:
    explicit LargeCache(sqlite3 *raw)
        : m_raw(raw)
    {
        data::SqliteStatement size(m_raw, u"PRAGMA cache_size"_s);
        if (size.step())
            m_size = sqlite3_column_int64(size.get(), 0);
        data::SqliteStatement(m_raw, u"PRAGMA cache_size = -262144"_s).step();
    }
    ~LargeCache()
    {
        const QByteArray restore = "PRAGMA cache_size = " + QByteArray::number(m_size);
        sqlite3_exec(m_raw, restore.constData(), nullptr, nullptr, nullptr);
    }
    LargeCache(const LargeCache &) = delete;
    LargeCache &operator=(const LargeCache &) = delete;

private:
    sqlite3 *m_raw;
    qint64 m_size = -2000;
};

// Runs the engine's check and then the walk inside one read transaction, so that both see the
// same state of the file. On a file the engine found damaged, a walk that fails is one more
// problem to report rather than a failure of the check.
CheckReport runCheck(const QString &databasePath, bool quick, FileCheck fileCheck,
                     Progress *progress, const std::function<void(sqlite3 *, CheckReport &)> &walk)
{
    QSqlDatabase db = data::openDatabaseReadOnly(databasePath);
    sqlite3 *raw = data::requireSqliteHandle(db, databasePath);
    const LargeCache cache(raw);
    const data::Transaction transaction(db, data::Transaction::Read);
    CheckReport report;
    report.quick = quick;
    report.fileCheck = fileCheck;
    {
        const EngineProgress engine(raw, progress);
        const bool indexContents = fileCheck == FileCheck::IndexContents;
        report.integrityProblems =
            engineProblems(raw, indexContents ? u"integrity_check"_s : u"quick_check"_s);
        if (!quick && !indexContents && report.integrityOk())
            report.integrityProblems = indexCountProblems(raw);
        engine.throwIfStopped();
    }
    try {
        walk(raw, report);
        nameAccounts(raw, report);
    } catch (const Error &e) {
        if (report.integrityOk())
            throw;
        report.integrityProblems << e.description();
    }
    // Nothing was written: the transaction ends with the destructor's rollback, which a file the
    // engine found damaged does not refuse as it may refuse a COMMIT.
    return report;
}

// ---- On a PostgreSQL server ----

// The check of the accounts `accounts` picks, summed by the server itself: one row per account,
// by code, with its entries, its wrong ones and the first wrong entry (code, date, stored balance
// and the running sum there in cents). The running sum is taken in cents as the ledger's rebuild
// takes it, in (dt_lancamento, cd_lancamento) order with undated entries first as a file sorts
// them; a stored balance is right only when it equals that sum made a double as doubleFromCents
// makes it (a Null is wrong). The second window counts the wrong entries so far, so that the
// grouping picks the first one out of the same sorted pass.
QString checkOnServerSql(const QString &accounts)
{
    const QString order = u"PARTITION BY cd_conta ORDER BY dt_lancamento NULLS FIRST, "
                          "cd_lancamento ROWS UNBOUNDED PRECEDING"_s;
    return u"SELECT cd_conta, count(*), count(*) FILTER (WHERE wrong), "
           "min(cd_lancamento) FILTER (WHERE first_wrong), "
           "min(dt_lancamento) FILTER (WHERE first_wrong), "
           "min(vl_saldo) FILTER (WHERE first_wrong), min(running) FILTER (WHERE first_wrong), "
           "(SELECT ds_conta FROM contas WHERE contas.cd_conta = marked.cd_conta), "
           "COALESCE(sum(credit), 0)::bigint, COALESCE(sum(debit), 0)::bigint "
           "FROM (SELECT *, wrong AND count(*) FILTER (WHERE wrong) OVER (%1) = 1 AS first_wrong "
           "FROM (SELECT *, vl_saldo IS NULL OR vl_saldo <> running::double precision / 100 "
           "AS wrong FROM (SELECT cd_conta, cd_lancamento, dt_lancamento, vl_saldo, "
           "sum(%2) OVER (%1)::bigint AS running, "
           "CASE WHEN cd_status = :credit THEN %4 END AS credit, "
           "CASE WHEN cd_status = :debit THEN %4 END AS debit "
           "FROM lancamentos WHERE %3) AS walk) AS judged) "
           "AS marked GROUP BY cd_conta ORDER BY cd_conta"_s.arg(
               order, SignedCentsOnServer, accounts, centsOnServer(u"vl_lancamento"_s));
}

const QString CheckAllOnServerSql = checkOnServerSql(u"cd_conta IS NOT NULL"_s);
// The accounts from :first to :last by code, for a batch or for one account.
const QString CheckRangeOnServerSql =
    checkOnServerSql(u"cd_conta >= :first AND cd_conta <= :last"_s);
// The totals the server keeps for every account (schema version 2; see data/server.cpp), and
// those it keeps for an account that has no entry any more.
const QString KeptTotalsOnServerSql =
    u"SELECT cd_conta, vl_creditos, vl_debitos FROM tessal_totais"_s;
const QString OrphanTotalsOnServerSql =
    u"SELECT cd_conta, vl_creditos, vl_debitos, (SELECT ds_conta FROM contas WHERE "
    "contas.cd_conta = t.cd_conta) FROM tessal_totais AS t WHERE (vl_creditos <> 0 OR "
    "vl_debitos <> 0) AND NOT EXISTS (SELECT 1 FROM lancamentos AS l WHERE "
    "l.cd_conta = t.cd_conta)"_s;
// The accounts and their entries, for the batches and the progress box.
const QString AccountSizesOnServerSql =
    u"SELECT cd_conta, count(*) FROM lancamentos WHERE cd_conta IS NOT NULL GROUP BY cd_conta "
    "ORDER BY cd_conta"_s;

// A check's read-only transaction on the server. It is repeatable read, so that every statement
// of it sees the data as the first one did, whatever other workstations post meanwhile. The
// statements are declared before the transaction, so that it has ended (rolled back: nothing was
// written) before they are freed, which a server refuses inside an aborted transaction.
class ServerCheck
{
public:
    explicit ServerCheck(const QString &uri)
        : m_db(data::openDatabaseReadOnly(uri))
        , m_transaction(m_db, data::Transaction::Read)
    {
        QSqlQuery snapshot(m_db);
        data::execOrThrow(snapshot,
                          u"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"_s);
        // A database of schema version 1 (one `tessal --check` reaches before any workstation's
        // program has brought it up to date) keeps no totals.
        data::execOrThrow(snapshot, u"SELECT to_regclass('tessal_totais') IS NOT NULL"_s);
        if (snapshot.next() && snapshot.value(0).toBool()) {
            QSqlQuery &kept = run(KeptTotalsOnServerSql, {});
            while (kept.next())
                m_kept.emplace(kept.value(0).toString(),
                               std::pair{kept.value(1).toLongLong(), kept.value(2).toLongLong()});
            m_keepsTotals = true;
        }
    }

    void all(CheckReport &report)
    {
        add(run(CheckAllOnServerSql, {}), report);
        if (!m_keepsTotals)
            return;
        QSqlQuery &orphans = run(OrphanTotalsOnServerSql, {});
        while (orphans.next()) {
            WrongAccount account;
            account.account = orphans.value(0).toString();
            account.name = orphans.value(3).toString();
            account.totalsDiffer = true;
            account.keptTotals = {orphans.value(1).toLongLong(), orphans.value(2).toLongLong()};
            report.wrongAccounts.push_back(std::move(account));
        }
        std::sort(
            report.wrongAccounts.begin(), report.wrongAccounts.end(),
            [](const WrongAccount &a, const WrongAccount &b) { return a.account < b.account; });
    }

    // The accounts from `first` to `last` by code; how many of them have entries.
    qint64 range(const QString &first, const QString &last, CheckReport &report)
    {
        return add(run(CheckRangeOnServerSql, {{u":first"_s, first}, {u":last"_s, last}}), report);
    }

    std::vector<std::pair<QString, qint64>> accountSizes()
    {
        QSqlQuery &query = run(AccountSizesOnServerSql, {});
        std::vector<std::pair<QString, qint64>> sizes;
        while (query.next())
            sizes.emplace_back(query.value(0).toString(), query.value(1).toLongLong());
        return sizes;
    }

private:
    // Each statement is prepared once and kept for the transaction.
    QSqlQuery &run(const QString &sql, const QList<std::pair<QString, QString>> &binds)
    {
        auto found = std::find_if(m_statements.begin(), m_statements.end(),
                                  [&sql](const auto &statement) { return statement.first == sql; });
        if (found == m_statements.end()) {
            QSqlQuery &query = m_statements.emplace_back(sql, QSqlQuery(m_db)).second;
            query.setForwardOnly(true);
            data::prepareOrThrow(query, sql);
            found = std::prev(m_statements.end());
        }
        QSqlQuery &query = found->second;
        query.bindValue(u":credit"_s, u"C"_s);
        query.bindValue(u":debit"_s, u"D"_s);
        for (const auto &[name, value] : binds)
            query.bindValue(name, value);
        if (!query.exec())
            data::throwQueryError(query, sql);
        return query;
    }

    qint64 add(QSqlQuery &rows, CheckReport &report) const
    {
        qint64 accounts = 0;
        while (rows.next()) {
            ++accounts;
            const qint64 entries = rows.value(1).toLongLong();
            ++report.accountsChecked;
            report.entriesChecked += entries;
            const qint64 wrong = rows.value(2).toLongLong();
            const QString code = rows.value(0).toString();
            const std::pair<Cents, Cents> summed{rows.value(8).toLongLong(),
                                                 rows.value(9).toLongLong()};
            const auto keptAt = m_kept.find(code);
            const std::pair<Cents, Cents> kept =
                keptAt == m_kept.end() ? std::pair<Cents, Cents>{} : keptAt->second;
            const bool totalsDiffer = m_keepsTotals && kept != summed;
            if (wrong == 0 && !totalsDiffer)
                continue;
            WrongAccount account;
            account.account = code;
            account.name = rows.value(7).toString();
            account.entries = entries;
            account.wrongEntries = wrong;
            account.firstCode = rows.value(3).toString();
            account.firstDate = rows.value(4).toString();
            account.firstExpected = rows.value(6).toLongLong();
            if (!rows.isNull(5))
                account.firstStored = rows.value(5).toDouble();
            account.totalsDiffer = totalsDiffer;
            account.keptTotals = kept;
            account.summedTotals = summed;
            report.wrongAccounts.push_back(std::move(account));
        }
        rows.finish();
        return accounts;
    }

    QSqlDatabase m_db;
    std::list<std::pair<QString, QSqlQuery>> m_statements;
    data::Transaction m_transaction;
    bool m_keepsTotals = false;
    std::map<QString, std::pair<Cents, Cents>> m_kept; // read with the snapshot the check sees
};

CheckReport serverReport(bool quick, FileCheck fileCheck)
{
    CheckReport report;
    report.quick = quick;
    report.fileCheck = fileCheck;
    report.onServer = true;
    return report;
}

// Every account: in one statement, or with a progress box in batches of about ProgressStep
// entries (an account larger than that makes a batch of its own), the box hearing after each.
CheckReport checkAllOnServer(const QString &uri, Progress *progress, FileCheck fileCheck)
{
    CheckReport report = serverReport(false, fileCheck);
    ServerCheck check(uri);
    if (!progress) {
        check.all(report);
        return report;
    }
    const std::vector<std::pair<QString, qint64>> sizes = check.accountSizes();
    qint64 total = 0;
    for (const auto &size : sizes)
        total += size.second;
    advance(progress, 0, total);
    qint64 done = 0;
    for (size_t first = 0; first < sizes.size();) {
        size_t last = first;
        qint64 batch = sizes[first].second;
        while (last + 1 < sizes.size() && batch < ProgressStep)
            batch += sizes[++last].second;
        check.range(sizes[first].first, sizes[last].first, report);
        done += batch;
        advance(progress, done, total);
        first = last + 1;
    }
    return report;
}

// One statement per account, each account counted as checked as on a file, entries or none.
CheckReport quickCheckOnServer(const QString &uri, const QStringList &accounts)
{
    CheckReport report = serverReport(true, FileCheck::Structure);
    ServerCheck check(uri);
    for (const QString &account : accounts)
        if (check.range(account, account, report) == 0)
            ++report.accountsChecked;
    return report;
}

QStringList accountsOfLastEntriesOnServer(const QString &uri, int count)
{
    QSqlQuery last(data::openDatabaseReadOnly(uri));
    last.setForwardOnly(true);
    data::prepareOrThrow(last, LastEntriesSql);
    last.addBindValue(qint64(count));
    if (!last.exec())
        data::throwQueryError(last, LastEntriesSql);
    QStringList accounts;
    while (last.next()) {
        const QString account = last.value(0).toString();
        if (!accounts.contains(account))
            accounts << account;
    }
    return accounts;
}

QString shownDate(const QString &stored)
{
    if (stored.isEmpty())
        return u"(sem data)"_s;
    const QDate date = data::storedDate(stored.toStdString());
    return date.isValid() ? data::showDate(date) : stored;
}

QString shownBalance(const std::optional<double> &stored, const QLocale &locale)
{
    if (!stored)
        return u"(vazio)"_s;
    const Cents cents = centsFromDouble(*stored);
    if (doubleFromCents(cents) == *stored)
        return formatGrouped2(cents, locale);
    return locale.toString(*stored, 'f', QLocale::FloatingPointShortest);
}

QString accountLabel(const WrongAccount &wrong)
{
    return wrong.name.isEmpty() ? wrong.account : wrong.account + u" - "_s + wrong.name;
}

} // namespace

QStringList CheckReport::wrongAccountCodes() const
{
    QStringList codes;
    for (const WrongAccount &wrong : wrongAccounts)
        codes << wrong.account;
    return codes;
}

CheckReport checkBalances(const QString &databasePath, Progress *progress, FileCheck fileCheck)
{
    if (looksLikeServerUri(databasePath))
        return checkAllOnServer(databasePath, progress, fileCheck);
    return runCheck(
        databasePath, false, fileCheck, progress,
        [progress](sqlite3 *raw, CheckReport &report) { walkAll(raw, report, progress); });
}

CheckReport quickCheckBalances(const QString &databasePath, const QStringList &accounts)
{
    QStringList unique = accounts;
    unique.removeAll(QString());
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    if (looksLikeServerUri(databasePath))
        return quickCheckOnServer(databasePath, unique);
    return runCheck(databasePath, true, FileCheck::Structure, nullptr,
                    [&unique](sqlite3 *raw, CheckReport &report) {
                        for (const QString &account : std::as_const(unique))
                            walkAccount(raw, account, report);
                    });
}

QStringList accountsOfLastEntries(const QString &databasePath, int count)
{
    if (looksLikeServerUri(databasePath))
        return accountsOfLastEntriesOnServer(databasePath, count);
    QSqlDatabase db = data::openDatabaseReadOnly(databasePath);
    data::SqliteStatement last(data::requireSqliteHandle(db, databasePath), LastEntriesSql);
    last.bind(1, qint64(count));
    QStringList accounts;
    while (last.step()) {
        const QString account = columnText(last.get(), 0);
        if (!accounts.contains(account))
            accounts << account;
    }
    return accounts;
}

QStringList accountsWithWrongBalances(const QString &databasePath)
{
    if (looksLikeServerUri(databasePath))
        return checkAllOnServer(databasePath, nullptr, FileCheck::Structure).wrongAccountCodes();
    CheckReport report;
    QSqlDatabase db = data::openDatabaseReadOnly(databasePath);
    sqlite3 *raw = data::requireSqliteHandle(db, databasePath);
    const LargeCache cache(raw);
    data::Transaction transaction(db, data::Transaction::Read);
    walkAll(raw, report, nullptr);
    transaction.commit();
    return report.wrongAccountCodes();
}

QStringList describe(const CheckReport &report, const QLocale &locale)
{
    QStringList lines;
    const QString kind = report.quick ? u"verificação rápida do SQLite"_s
                         : report.fileCheck == FileCheck::IndexContents
                             ? u"verificação completa do SQLite, com o conteúdo dos índices"_s
                             : u"estrutura do arquivo e contagem dos índices"_s;
    if (report.onServer) {
        lines << u"Integridade dos arquivos: não verificada por este programa. Os dados estão em "
                 "um servidor PostgreSQL, que guarda e confere os seus próprios arquivos; os "
                 "saldos abaixo foram somados pelo próprio servidor."_s;
        if (!report.quick && report.fileCheck == FileCheck::IndexContents)
            lines << u"O conteúdo dos índices também não foi conferido: no servidor essa "
                     "conferência cabe ao administrador do banco de dados (por exemplo, com a "
                     "extensão amcheck)."_s;
    } else if (report.integrityOk()) {
        lines << u"Integridade do arquivo (%1): nenhum problema encontrado."_s.arg(kind);
    } else {
        lines << u"O ARQUIVO ESTÁ DANIFICADO (%1): %2 problema(s) encontrado(s):"_s.arg(
            kind, locale.toString(report.integrityProblems.size()));
        for (const QString &problem : report.integrityProblems)
            lines << u"    "_s + problem;
        lines << u"Nenhum saldo será corrigido neste arquivo. Restaure uma cópia de segurança "
                 "ou procure o suporte."_s;
    }
    lines << u"Contas verificadas: %1. Lançamentos verificados: %2."_s.arg(
        locale.toString(report.accountsChecked), locale.toString(report.entriesChecked));
    if (report.wrongAccounts.empty()) {
        lines << u"Todos os saldos conferem."_s;
        return lines;
    }
    const bool totals = std::any_of(report.wrongAccounts.begin(), report.wrongAccounts.end(),
                                    [](const WrongAccount &a) { return a.totalsDiffer; });
    lines << (totals ? u"Contas com saldos ou totais errados: %1."_s
                     : u"Contas com saldos errados: %1."_s)
                 .arg(locale.toString(qint64(report.wrongAccounts.size())));
    for (const WrongAccount &wrong : report.wrongAccounts) {
        if (wrong.wrongEntries > 0)
            lines << u"Conta %1: %2 lançamento(s), %3 saldo(s) errado(s). Primeiro erro no "
                     "lançamento %4 de %5: saldo gravado %6, saldo correto %7."_s.arg(
                         accountLabel(wrong), locale.toString(wrong.entries),
                         locale.toString(wrong.wrongEntries), wrong.firstCode,
                         shownDate(wrong.firstDate), shownBalance(wrong.firstStored, locale),
                         formatGrouped2(wrong.firstExpected, locale));
        if (wrong.totalsDiffer)
            lines << u"Conta %1: os totais guardados no servidor (créditos %2, débitos %3) não são "
                     "os dos lançamentos (créditos %4, débitos %5)."_s.arg(
                         accountLabel(wrong), formatGrouped2(wrong.keptTotals.first, locale),
                         formatGrouped2(wrong.keptTotals.second, locale),
                         formatGrouped2(wrong.summedTotals.first, locale),
                         formatGrouped2(wrong.summedTotals.second, locale));
    }
    return lines;
}

QStringList repairBalances(Ledger &ledger, const CheckReport &report,
                           const std::function<void(const WrongAccount &)> &repaired)
{
    if (!report.integrityOk())
        throw Error(ErrorNumber::InvalidInput,
                    u"O banco de dados está danificado (a verificação de integridade do SQLite "
                    "encontrou problemas). Os saldos não foram corrigidos: restaure uma cópia de "
                    "segurança ou procure o suporte."_s,
                    u"Verificar Saldos"_s);
    QStringList done;
    for (const WrongAccount &wrong : report.wrongAccounts) {
        ledger.rebuild(wrong.account);
        done << wrong.account;
        if (repaired)
            repaired(wrong);
    }
    return done;
}

QString checkLogLine(const CheckReport &report)
{
    // On a server the index contents are never checked, whatever was asked.
    const QString kind = report.quick ? u"RAPIDA"_s
                         : report.fileCheck == FileCheck::IndexContents && !report.onServer
                             ? u"COMPLETA COM INDICES"_s
                             : u"COMPLETA"_s;
    if (!report.integrityOk())
        return u"VERIFICOU OS SALDOS (%1): ARQUIVO DANIFICADO"_s.arg(kind);
    return u"VERIFICOU OS SALDOS (%1): %2 CONTA(S) COM SALDOS ERRADOS"_s.arg(kind).arg(
        report.wrongAccounts.size());
}

QString repairLogLine()
{
    return u"CORRIGIU OS SALDOS DA CONTA"_s;
}

QString repairLogDetail(const WrongAccount &account)
{
    return accountLabel(account);
}

} // namespace tessal::ledger
