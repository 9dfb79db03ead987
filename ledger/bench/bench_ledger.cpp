// The ledger's figures for `make bench`, one per line as `name: value unit`, on a generated data
// directory of 1,000,000 entries over 20 accounts; then the crash test, which kills a child
// process (this executable with --crash-child) at random moments while it posts, alters and
// deletes, and checks the database after each kill.
//
//   bench_ledger                 both parts
//   bench_ledger --perf-only     the timings only
//   bench_ledger --crash-only [kills]
//   bench_ledger --open-only     only the account pick in the window
//   bench_ledger --check-only    only the balance check and repair, on a copy of the shared
//                                million-entry data directory (TESSAL_BENCH_DATA_DIR)
//   bench_ledger --server-only   only the figures on the PostgreSQL server named by
//                                TESSAL_TEST_PG_URI (part of a full run when it is set): the
//                                million entries moved there with tessal-migrate, then the post
//                                of an account's last entry and the account pick in the window

#include "controls/datagrid.h"
#include "core/datasource.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "core/money.h"
#include "data/database.h"
#include "data/demodata.h"
#include "data/nextcode.h"
#include "ledger/consistency.h"
#include "ledger/ledger.h"
#include "ledger/ui/flancamentos.h"
#include "migrate/migration.h"
#include "testsupport/benchdata.h"
#include "testsupport/benchfigures.h"
#include "testsupport/serverdatabase.h"
#include "testsupport/testcontext.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

using namespace tessal;
using namespace tessal::ledger;
using namespace Qt::StringLiterals;
using namespace tessal::bench;

namespace {

const QLocale PtBr(QLocale::Portuguese, QLocale::Brazil);

void run(QSqlQuery &query, const QString &sql)
{
    if (!query.exec(sql))
        throw Error(ErrorNumber::DatabaseError, query.lastError().text(), sql);
}

void run(QSqlQuery &query)
{
    if (!query.exec())
        throw Error(ErrorNumber::DatabaseError, query.lastError().text(), query.lastQuery());
}

// ---- data ---------------------------------------------------------------------------------------

void generate(const QString &dir, int accounts, int entries, int days)
{
    data::DemoOptions options;
    options.accounts = accounts;
    options.entries = entries;
    options.days = days;
    options.lastDate = QDate(2025, 12, 31);
    data::generateDemoData(dir, options);
}

QString descriptionOfType(const QString &path, const QString &type)
{
    QSqlQuery query(data::openDatabase(path));
    query.prepare(u"SELECT cd_historico FROM historicos WHERE cd_tipo = ? ORDER BY cd_historico "
                  "LIMIT 1"_s);
    query.addBindValue(type);
    run(query);
    if (!query.next())
        throw Error(ErrorNumber::DatabaseError, u"sem histórico do tipo %1"_s.arg(type), path);
    return query.value(0).toString();
}

struct Largest
{
    QString account;
    qint64 entries = 0;
    QDate lastDate;
};

Largest largestAccount(const QString &path)
{
    QSqlQuery query(data::openDatabase(path));
    run(query, u"SELECT cd_conta, COUNT(*) FROM lancamentos GROUP BY cd_conta ORDER BY 2 DESC "
               "LIMIT 1"_s);
    query.next();
    Largest largest{query.value(0).toString(), query.value(1).toLongLong(), {}};
    query.prepare(u"SELECT MAX(dt_lancamento) FROM lancamentos WHERE cd_conta = ?"_s);
    query.addBindValue(largest.account);
    run(query);
    query.next();
    largest.lastDate = data::fromStoredDate(query.value(0).toString());
    return largest;
}

qint64 accountEntries(const QString &path, const QString &account)
{
    QSqlQuery query(data::openDatabase(path));
    query.prepare(u"SELECT COUNT(*) FROM lancamentos WHERE cd_conta = ?"_s);
    query.addBindValue(account);
    run(query);
    query.next();
    return query.value(0).toLongLong();
}

// The old program's posting: the new entry stored on its own, the totals summed in doubles over
// the account by code, then every entry of the account rewritten in date-then-code order, one
// statement at a time and each its own transaction. The entries are read first: an open cursor
// would hold every write in one implicit transaction, which the old program did not have.
struct DescribedPass
{
    double ms = 0;
    qint64 rows = 0;
    qint64 rewritten = 0;
    qint64 inexact = 0; // balances the double sum got wrong in the cents
};

DescribedPass describedPosting(const QString &path, const QString &account,
                               const QString &description, const QDate &date, qint64 sampleRows)
{
    QSqlDatabase db = data::openDatabase(path);
    QElapsedTimer timer;
    timer.start();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, "
                  "ds_complemento, vl_lancamento, dt_lancamento, cd_status, cd_baixa) VALUES (?, "
                  "?, ?, 'antigo', 12.34, ?, 'C', '001')"_s);
    query.addBindValue(data::nextCode(db, u"lancamentos"_s));
    query.addBindValue(account);
    query.addBindValue(description);
    query.addBindValue(data::toStoredDate(date));
    run(query);

    double credits = 0, debits = 0;
    query.prepare(u"select * from  lancamentos where cd_conta=? order by cd_lancamento"_s);
    query.addBindValue(account);
    run(query);
    while (query.next()) {
        const QString status = query.value(u"cd_status"_s).toString();
        if (status == u"D")
            debits += query.value(u"vl_lancamento"_s).toDouble();
        else if (status == u"C")
            credits += query.value(u"vl_lancamento"_s).toDouble();
    }
    query.finish();
    (void)credits;
    (void)debits;

    struct Row
    {
        QString code;
        double amount;
        QString status;
    };
    std::vector<Row> rows;
    query.prepare(u"select * from  lancamentos where cd_conta=? order by dt_lancamento, "
                  "cd_lancamento"_s);
    query.addBindValue(account);
    run(query);
    while (query.next())
        rows.push_back({query.value(u"cd_lancamento"_s).toString(),
                        query.value(u"vl_lancamento"_s).toDouble(),
                        query.value(u"cd_status"_s).toString()});
    query.finish();

    QSqlQuery write(db);
    write.prepare(u"UPDATE lancamentos SET vl_saldo = ? WHERE cd_lancamento = ?"_s);
    DescribedPass pass;
    pass.rows = qint64(rows.size());
    double running = 0;
    Cents exact = 0;
    for (const Row &row : rows) {
        if (row.status == u"D") {
            running -= row.amount;
            exact -= centsFromDouble(row.amount);
        } else if (row.status == u"C") {
            running += row.amount;
            exact += centsFromDouble(row.amount);
        }
        pass.inexact += running != doubleFromCents(exact);
        if (pass.rewritten < sampleRows) {
            write.bindValue(0, running);
            write.bindValue(1, row.code);
            run(write);
            ++pass.rewritten;
        }
    }
    pass.ms = msSince(timer);
    return pass;
}

void scramble(const QString &path, const QString &account)
{
    QSqlQuery query(data::openDatabase(path));
    query.prepare(u"UPDATE lancamentos SET vl_saldo = -1 WHERE cd_conta = ?"_s);
    query.addBindValue(account);
    run(query);
}

void openAccount(const QString &path, const QString &account, const char *prefix = "")
{
    std::vector<double> ms;
    std::vector<double> mb;
    QString held;
    for (int i = 0; i < 3; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {u"--open-child"_s, path, account});
        if (!child.waitForFinished(120000) || child.exitCode() != 0)
            throw Error(ErrorNumber::FileAccess, u"a medida de abertura falhou"_s, path);
        const QStringList figures =
            QString::fromLatin1(child.readAllStandardOutput()).simplified().split(u' ');
        if (figures.size() != 4)
            throw Error(ErrorNumber::FileAccess, u"a medida de abertura falhou"_s, path);
        ms.push_back(figures.at(0).toDouble());
        mb.push_back(figures.at(1).toDouble());
        held = figures.at(2) + u" of "_s + figures.at(3);
    }
    const auto name = [prefix](const char *figure) -> QByteArray {
        return QByteArray(prefix) + figure;
    };
    print(name("open_account_first_rows_ms").constData(), median(ms), "ms",
          "ledger window, offscreen: grid painted + totals; median of 3 processes");
    print(name("open_account_cold_first_rows_ms").constData(), ms.front(), "ms",
          "the first of them");
    print(name("open_account_memory_mb").constData(), median(mb), "MB",
          "ledger window, offscreen; median of 3");
    std::printf("# open_account rows held: %s\n", qPrintable(held));
    std::fflush(stdout);
}

// The full check as the window and `tessal --check` run it (the engine's check of the file and the
// walk over every entry), the deeper one that looks every row up in every index, the walk alone,
// and the repair of one account damaged by one entry.
void checkFigures(const QString &path)
{
    data::closeDatabase(path);
    std::vector<double> times;
    std::vector<double> walks;
    CheckReport report;
    QElapsedTimer timer;
    for (int i = 0; i < 3; ++i) {
        timer.restart();
        report = checkBalances(path);
        times.push_back(msSince(timer));
        timer.restart();
        accountsWithWrongBalances(path);
        walks.push_back(msSince(timer));
    }
    print("check_1m_entries_ms", median(times), "ms",
          "full check: PRAGMA quick_check + index counts + every balance; median of 3; "
          "target <= 3000 ms");
    timer.restart();
    checkBalances(path, nullptr, FileCheck::IndexContents);
    print("check_1m_with_index_contents_ms", msSince(timer), "ms",
          "the same with PRAGMA integrity_check (chkIndices, --indices); one run");
    print("check_1m_balances_only_ms", median(walks), "ms",
          "the walk over every balance without the engine's check; median of 3");
    printCount("check_1m_entries_checked", report.entriesChecked);
    printCount("check_1m_wrong_accounts", qint64(report.wrongAccounts.size()));

    const Largest largest = largestAccount(path);
    QSqlQuery query(data::openDatabase(path));
    query.prepare(u"UPDATE lancamentos SET vl_saldo = vl_saldo + 1 WHERE cd_lancamento = (SELECT "
                  "cd_lancamento FROM lancamentos WHERE cd_conta = ? ORDER BY dt_lancamento, "
                  "cd_lancamento LIMIT 1 OFFSET ?)"_s);
    query.addBindValue(largest.account);
    query.addBindValue(largest.entries / 2);
    run(query);
    const CheckReport damaged = quickCheckBalances(path, {largest.account});
    Ledger ledger(path, PtBr);
    timer.restart();
    repairBalances(ledger, damaged);
    print("repair_one_account_ms", msSince(timer), "ms",
          "Ledger::rebuild of the largest account, one balance damaged in its middle");
    printCount("repair_one_account_entries", largest.entries);
    printCount("inconsistent_accounts_after_repair", accountsWithWrongBalances(path).size());
    data::closeDatabase(path);
}

void checkOnly()
{
    QTemporaryDir scratch;
    const QString dataDir = millionEntryDataDirectory(scratch);
    if (dataDir.isEmpty())
        throw Error(ErrorNumber::FileNotFound, u"sem diretório de dados de um milhão"_s, QString());
    // The repair writes: the shared directory is copied first.
    const QString path = data::cashDatabasePath(scratch.path() + u"/check"_s);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (dataDir != QFileInfo(path).absolutePath() &&
        !QFile::copy(data::cashDatabasePath(dataDir), path))
        throw Error(ErrorNumber::FileAccess, u"a cópia do banco falhou"_s, path);
    checkFigures(path);
}

// 101 posts at the end of the account, a day later every fifth; the time of each. `last` is left
// on the last date posted.
std::vector<double> postLast(Ledger &ledger, const QString &account, const QString &credit,
                             QDate &last)
{
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < 101; ++i) {
        last = last.addDays(i % 5 == 0 ? 1 : 0);
        timer.restart();
        ledger.post({account, credit, u"bench"_s, u"10,01"_s, data::showDate(last)});
        times.push_back(msSince(timer));
    }
    return times;
}

void performance(bool openOnly)
{
    QTemporaryDir dir;
    const QString path = data::cashDatabasePath(dir.path());

    QElapsedTimer timer;
    timer.start();
    generate(dir.path(), 20, 1'000'000, 3650);
    print("generate_1m_entries_s", msSince(timer) / 1000.0, "s");
    data::closeDatabase(path);

    const Largest largest = largestAccount(path);
    printCount("largest_account_entries", largest.entries);
    data::closeDatabase(path);

    // Picking the account in the window, each time in a process of its own so that the memory it
    // grows by is the pick's and not what generating the data left behind. The first pick meets
    // a cold file cache; the median of three is the figure.
    openAccount(path, largest.account);
    if (openOnly)
        return;

    const QString credit = descriptionOfType(path, u"C"_s);
    const QString debit = descriptionOfType(path, u"D"_s);
    Ledger ledger(path, PtBr);
    ledger.totals(largest.account);
    QDate last = largest.lastDate;

    std::vector<double> times = postLast(ledger, largest.account, credit, last);
    print("post_last_ms", median(times), "ms", "median of 101");

    times.clear();
    for (int i = 0; i < 9; ++i) {
        timer.restart();
        ledger.post(
            {largest.account, debit, u"bench"_s, u"3,33"_s, data::showDate(last.addDays(-365))});
        times.push_back(msSince(timer));
    }
    print("post_backdated_365d_ms", median(times), "ms", "median of 9");

    times.clear();
    const qint64 entries = accountEntries(path, largest.account);
    for (int i = 0; i < 3; ++i) {
        scramble(path, largest.account);
        timer.restart();
        ledger.rebuild(largest.account);
        times.push_back(msSince(timer) * 1000.0 / double(entries));
    }
    print("full_rebuild_us_per_entry", median(times), "us", "median of 3");

    const DescribedPass pass =
        describedPosting(path, largest.account, credit, last.addDays(-365), 1'000'000'000);
    print("described_full_pass_ms", pass.ms, "ms");
    printCount("described_full_pass_rows", pass.rewritten);
    printCount("described_full_pass_inexact_balances", pass.inexact);

    ledger.rebuild(largest.account);
    printCount("inconsistent_accounts_after_bench", accountsWithWrongBalances(path).size());
    checkFigures(path);
}

// The same data on the server: the million-entry directory moved with the migration (which
// checks every balance on the way), then the post of the largest account's last entry and its
// pick in the window, on loopback.
// The full balance check on the server, as `tessal --check` runs it (one statement) and as
// Verificar Saldos runs it (batches of accounts, a progress box hearing after each).
void serverCheckFigures(const QString &uri)
{
    class Batches final : public Progress
    {
    public:
        bool advance(qint64, qint64) override
        {
            ++calls;
            return true;
        }
        int calls = 0;
    } batches;
    QElapsedTimer timer;
    timer.start();
    const CheckReport whole = checkBalances(uri);
    print("pg_check_1m_entries_ms", msSince(timer), "ms",
          "full balance check summed by the server in one statement; one run");
    timer.restart();
    const CheckReport batched = checkBalances(uri, &batches);
    print("pg_check_1m_in_batches_ms", msSince(timer), "ms",
          "the same in batches of about 65536 entries behind a progress box; one run");
    printCount("pg_check_1m_entries_checked", whole.entriesChecked);
    printCount("pg_check_1m_wrong_accounts", qint64(whole.wrongAccounts.size()));
    printCount("pg_check_1m_progress_calls", batches.calls);
    if (batched.entriesChecked != whole.entriesChecked ||
        batched.wrongAccountCodes() != whole.wrongAccountCodes())
        throw Error(ErrorNumber::DatabaseError, u"as duas verificações discordam"_s, uri);
}

void serverFigures()
{
    if (!test::testServer()) {
        std::printf("# %s\n", qPrintable(test::noServerReason()));
        return;
    }
    QTemporaryDir scratch;
    QString dataDir = millionEntryDataDirectory(scratch);
    if (dataDir.isEmpty()) {
        dataDir = scratch.path();
        generate(dataDir, 20, 1'000'000, 3650);
        data::closeDatabase(data::cashDatabasePath(dataDir));
    }
    test::ScratchServerDatabase server;
    if (!server.isValid())
        throw Error(ErrorNumber::DatabaseError, server.error(), QString());
    const QString uri = server.address().uri();
    QElapsedTimer timer;
    timer.start();
    {
        const migrate::Source source(dataDir);
        const migrate::MigrationReport report =
            migrate::copyToServer(source, data::openDatabase(uri));
        if (report.outcome != migrate::MigrationReport::Outcome::Copied)
            throw Error(ErrorNumber::DatabaseError, u"a migração para o servidor falhou"_s, uri);
    }
    print("pg_migrate_1m_entries_ms", msSince(timer), "ms", "tessal-migrate, copy and check");
    serverCheckFigures(uri);
    const Largest largest = largestAccount(data::cashDatabasePath(dataDir));
    data::closeDatabase(data::cashDatabasePath(dataDir));

    openAccount(uri, largest.account, "pg_");

    const QString credit = descriptionOfType(uri, u"C"_s);
    Ledger ledger(uri, PtBr);
    ledger.totals(largest.account);
    QDate last = largest.lastDate;
    print("pg_post_last_ms", median(postLast(ledger, largest.account, credit, last)), "ms",
          "median of 101, loopback; target <= 5 ms");
    data::closeDatabase(uri);
}

// The pick of the largest account in the ledger window, offscreen, in a fresh process: from the
// click until the grid has painted its first rows and the totals are shown. The memory is the
// growth of the process over the pick, the window being open already.
int openChild(const QString &path, const QString &account)
{
    test::TestContext t;
    t.context->session().setDataDirectory(
        looksLikeServerUri(path) ? path : QFileInfo(path).absolutePath());
    flancamentos window(*t.context);
    window.resize(1120, 640);
    window.show();
    QCoreApplication::processEvents();
    auto *accounts = window.findChild<QListWidget *>(u"cd_conta"_s);
    QListWidgetItem *item = nullptr;
    for (int i = 0; i < accounts->count() && !item; ++i)
        if (accounts->item(i)->data(Qt::UserRole).toString() == account)
            item = accounts->item(i);
    if (!item)
        throw Error(ErrorNumber::DatabaseError, u"conta fora da lista"_s, account);

    const double before = residentMb();
    QElapsedTimer timer;
    timer.start();
    // Making the account current picks it, as the operator's click does (the window opens with
    // none current).
    accounts->setCurrentItem(item);
    window.grid()->view()->viewport()->repaint();
    window.findChild<QLabel *>(u"saldo"_s)->repaint();
    const double ms = msSince(timer);
    const double grown = residentMb() - before;

    const QueryWindowModel *model = window.grid()->model();
    if (model->rowsHeld() == 0 || window.findChild<QLabel *>(u"saldo"_s)->text().isEmpty() ||
        !t.dialogs.asked().isEmpty())
        throw Error(ErrorNumber::DatabaseError, u"a conta não foi mostrada"_s, account);
    // Raw figures for the parent: ms, MB, rows held, grid rows.
    std::printf("%.3f %.3f %d %d\n", ms, grown, model->rowsHeld(), model->rowCount());
    std::fflush(stdout);
    return 0;
}

// ---- crash test --------------------------------------------------------------------------------

const QStringList CrashAccounts{u"001"_s, u"002"_s, u"003"_s, u"004"_s, u"005"_s};

void prepareCrashDatabase(const QString &dir)
{
    data::ensureDataDirectory(dir);
    const QString path = data::cashDatabasePath(dir);
    QSqlQuery query(data::openDatabase(path));
    run(query, u"INSERT INTO contas VALUES ('001', 'A'), ('002', 'B'), ('003', 'C'), ('004', 'D'), "
               "('005', 'E')"_s);
    run(query, u"INSERT INTO historicos VALUES ('00001', 'Entrada', 'C'), ('00002', 'Saida', "
               "'D'), ('00003', 'Outro', 'd')"_s);
    Ledger ledger(path, PtBr);
    QRandomGenerator random(99);
    for (int i = 0; i < 2000; ++i)
        ledger.post({CrashAccounts.at(random.bounded(5)),
                     i % 3 ? u"00001"_s : u"00002"_s,
                     {},
                     u"%1,%2"_s.arg(random.bounded(1000)).arg(random.bounded(100)),
                     data::showDate(QDate(2024, 1, 1).addDays(random.bounded(730)))});
    data::closeDatabase(path);
}

void say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Posts, alters, deletes and rebuilds until killed. "B <op> [code]" is written before each
// change and "OK <op> <code>" only after its commit, so the parent knows which change may or may
// not have happened when the kill came.
int crashChild(const QString &dir, quint32 seed)
{
    const QString path = data::cashDatabasePath(dir);
    Ledger ledger(path, PtBr);
    QSqlQuery pick(data::openDatabase(path));
    QRandomGenerator random(seed);
    auto randomCode = [&]() -> QString {
        run(pick, u"SELECT MAX(rowid) FROM lancamentos"_s);
        const qint64 top = pick.next() ? pick.value(0).toLongLong() : 0;
        pick.finish();
        pick.prepare(u"SELECT cd_lancamento FROM lancamentos WHERE rowid >= ? ORDER BY rowid "
                     "LIMIT 1"_s);
        pick.addBindValue(qint64(random.bounded(quint64(top) + 1)));
        run(pick);
        const QString code = pick.next() ? pick.value(0).toString() : QString();
        pick.finish();
        return code;
    };
    auto randomInput = [&]() {
        static const QStringList descriptions{u"00001"_s, u"00002"_s, u"00002"_s, u"00003"_s};
        return EntryInput{CrashAccounts.at(random.bounded(5)), descriptions.at(random.bounded(4)),
                          u"crash"_s, u"%1,%2"_s.arg(random.bounded(1000)).arg(random.bounded(100)),
                          data::showDate(QDate(2024, 1, 1).addDays(random.bounded(800)))};
    };
    say("ready");
    for (;;) {
        const int op = random.bounded(20);
        if (op < 10) {
            say("B P");
            const ChangeResult r = ledger.post(randomInput());
            say("OK P " + r.code.toLatin1());
        } else if (op < 15) {
            const QString code = randomCode();
            if (code.isEmpty())
                continue;
            say("B A " + code.toLatin1());
            ledger.alter(code, randomInput());
            say("OK A " + code.toLatin1());
        } else if (op < 19) {
            const QString code = randomCode();
            if (code.isEmpty())
                continue;
            say("B D " + code.toLatin1());
            ledger.remove(code, CrashAccounts.at(random.bounded(5)));
            say("OK D " + code.toLatin1());
        } else {
            say("B R");
            ledger.rebuild(CrashAccounts.at(random.bounded(5)));
            say("OK R");
        }
    }
}

QStringList existingCodes(const QString &path)
{
    QSqlQuery query(data::openDatabase(path));
    query.setForwardOnly(true);
    run(query, u"SELECT cd_lancamento FROM lancamentos"_s);
    QStringList codes;
    while (query.next())
        codes << query.value(0).toString();
    return codes;
}

int crashTest(int kills)
{
    QTemporaryDir dir;
    prepareCrashDatabase(dir.path());
    const QString path = data::cashDatabasePath(dir.path());
    std::set<QString> present, deleted;
    for (const QString &code : existingCodes(path))
        present.insert(code);
    data::closeDatabase(path);

    QRandomGenerator random(4242);
    qint64 inconsistent = 0, integrityFailures = 0, lost = 0, resurrected = 0, midChange = 0,
           confirmed = 0;
    int done = 0;
    for (; done < kills; ++done) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--crash-child"_s, dir.path(), QString::number(random.generate())});
        if (!child.waitForStarted(10000))
            throw Error(ErrorNumber::FileAccess, child.errorString(), u"crash child"_s);
        QByteArray output;
        while (!output.contains("ready\n") && child.waitForReadyRead(10000))
            output += child.readAllStandardOutput();
        if (!output.contains("ready\n"))
            throw Error(ErrorNumber::FileAccess, u"o processo filho não iniciou"_s, u"crash"_s);
        QThread::usleep(random.bounded(200, 60000));
        child.kill(); // SIGKILL
        child.waitForFinished(10000);
        output += child.readAllStandardOutput();

        // Only whole lines were surely written before the kill.
        QList<QByteArray> lines = output.split('\n');
        lines.removeLast();
        QString pendingDelete;
        bool pending = false;
        bool pendingPost = false;
        for (const QByteArray &line : lines) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.first() == "B") {
                pending = true;
                pendingPost = parts.size() == 2 && parts[1] == "P";
                pendingDelete = parts.size() == 3 && parts[1] == "D" ? QString::fromLatin1(parts[2])
                                                                     : QString();
            } else if (parts.first() == "OK") {
                pending = false;
                pendingPost = false;
                pendingDelete.clear();
                ++confirmed;
                const QString code = parts.size() == 3 ? QString::fromLatin1(parts[2]) : QString();
                if (parts[1] == "P") {
                    // The next code is the highest plus one, so deleting the newest entry frees
                    // its code for the next posting: that is a new entry, not the old one back.
                    present.insert(code);
                    deleted.erase(code);
                } else if (parts[1] == "D") {
                    present.erase(code);
                    deleted.insert(code);
                }
            } else if (parts.first() != "ready") {
                std::fprintf(stderr, "crash child: %s\n", line.constData());
            }
        }
        midChange += pending ? 1 : 0;

        QSqlQuery integrity(data::openDatabase(path));
        run(integrity, u"PRAGMA integrity_check"_s);
        const bool ok = integrity.next() && integrity.value(0).toString() == u"ok";
        integrity.finish();
        integrityFailures += ok ? 0 : 1;

        const QStringList codes = existingCodes(path);
        const std::set<QString> now(codes.begin(), codes.end());
        // A posting that committed without being reported holds the highest code.
        if (pendingPost && !now.empty() && deleted.count(*now.rbegin())) {
            deleted.erase(*now.rbegin());
            present.insert(*now.rbegin());
        }
        for (const QString &code : present)
            lost += (!now.count(code) && code != pendingDelete) ? 1 : 0;
        for (const QString &code : deleted)
            resurrected += now.count(code);
        // A delete that committed without being reported: the entry is gone for good.
        if (!pendingDelete.isEmpty() && !now.count(pendingDelete)) {
            present.erase(pendingDelete);
            deleted.insert(pendingDelete);
        }
        inconsistent += accountsWithWrongBalances(path).size();
        data::closeDatabase(path);
    }
    printCount("crash_kills", done);
    printCount("crash_kills_mid_change", midChange);
    printCount("crash_confirmed_changes", confirmed);
    printCount("crash_integrity_failures", integrityFailures);
    printCount("crash_lost_commits", lost);
    printCount("crash_deleted_entries_back", resurrected);
    printCount("crash_inconsistent_accounts", inconsistent);
    return (inconsistent || integrityFailures || lost || resurrected) ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    // The pick is measured in the window, which needs a GUI application (offscreen).
    const bool openChildRun = argc >= 4 && std::strcmp(argv[1], "--open-child") == 0;
    if (openChildRun && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app(openChildRun ? new QApplication(argc, argv)
                                                       : new QCoreApplication(argc, argv));
    const QStringList args = QCoreApplication::arguments();
    try {
        if (openChildRun)
            return openChild(args.at(2), args.at(3));
        if (args.size() >= 4 && args.at(1) == u"--crash-child")
            return crashChild(args.at(2), args.at(3).toUInt());
        const bool crashOnly = args.size() >= 2 && args.at(1) == u"--crash-only";
        const bool perfOnly = args.size() >= 2 && args.at(1) == u"--perf-only";
        const bool openOnly = args.size() >= 2 && args.at(1) == u"--open-only";
        if (args.size() >= 2 && args.at(1) == u"--check-only") {
            checkOnly();
            return 0;
        }
        if (args.size() >= 2 && args.at(1) == u"--server-only") {
            serverFigures();
            return 0;
        }
        if (!crashOnly)
            performance(openOnly);
        if (!crashOnly && !openOnly)
            serverFigures();
        if (openOnly)
            return 0;
        if (!perfOnly)
            return crashTest(crashOnly && args.size() >= 3 ? args.at(2).toInt() : 200);
        return 0;
    } catch (const Error &e) {
        std::fprintf(stderr, "bench_ledger: %s (%s)\n", qPrintable(e.description()),
                     qPrintable(e.source()));
        return 2;
    }
}
