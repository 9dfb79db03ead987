// Several workstations on one cash database, for `make test` and `make bench`: client processes
// (this executable with --client) post, alter and delete entries in random accounts at the same
// time until a deadline, each writing every change it saw confirmed to a journal of its own.
// Afterwards the parent compares the database with the journals:
//
//   - duplicate codes: a code that two clients both hold as their own live entry;
//   - lost changes: a confirmed entry missing, or holding other values than its last confirmed
//     change, or an alteration or deletion that found its own entry gone;
//   - unexpected entries: entries no client confirmed;
//   - inconsistent accounts: an account with a stored running balance that differs from the sum
//     recomputed from its entries in date-then-code order.
//
// Each client alters and deletes only the entries it posted, so the last change it confirmed for
// a code is what the database must hold. Changes refused with a message (a conflict the ledger
// could not resolve) are counted, and must have stored nothing, which the checks above show.
//
//   tessal_loadtest [--clients N] [--seconds S] [--posts-only] [--prefix NAME]
//
// The data source is a scratch one on the run's engine (TESSAL_TEST_ENGINE=postgresql for the
// test server named by TESSAL_TEST_PG_URI). Exit status 0 when every check holds, 1 otherwise;
// on a server run without a server it says so and exits 0, as the other server tests skip.

#include "core/error.h"
#include "core/money.h"
#include "data/database.h"
#include "data/sqlerror.h"
#include "ledger/ledger.h"
#include "testsupport/benchfigures.h"
#include "testsupport/scratchdata.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

using namespace tessal;
using namespace Qt::StringLiterals;

namespace {

const QStringList Accounts = {u"001"_s, u"002"_s, u"003"_s, u"004"_s, u"005"_s, u"006"_s};
const QString CreditDescription = u"00001"_s;
const QString DebitDescription = u"00002"_s;
const QDate FirstDay(2026, 1, 1);
constexpr int Days = 120;

QLocale ptBr()
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil);
}

// What a client last confirmed for one of its entries.
struct Confirmed
{
    QString account;
    QString description;
    Cents amount = 0;
    QString date; // yyyy-MM-dd
    friend bool operator==(const Confirmed &, const Confirmed &) = default;
};

struct Options
{
    int clients = 4;
    int seconds = 60;
    bool postsOnly = false;
    QString prefix = u"load_"_s;
};

// ---- the client ---------------------------------------------------------------------------------

int runClient(const QString &cashPath, const QString &journalPath, quint32 seed, int seconds,
              bool postsOnly)
{
    QFile journalFile(journalPath);
    if (!journalFile.open(QIODevice::WriteOnly | QIODevice::Text))
        return 2;
    QTextStream journal(&journalFile);
    QRandomGenerator random(seed);
    ledger::Ledger book(cashPath, ptBr());
    std::vector<QString> mine; // live entries this client posted
    QElapsedTimer clock;
    clock.start();
    const qint64 deadline = qint64(seconds) * 1000;
    while (clock.elapsed() < deadline) {
        const QString account = Accounts.at(int(random.bounded(Accounts.size())));
        const QString description = random.bounded(3) == 0 ? DebitDescription : CreditDescription;
        const Cents amount = 1 + random.bounded(500000);
        const QDate day = FirstDay.addDays(random.bounded(Days));
        const ledger::EntryInput input{account, description, u"carga"_s,
                                       formatFixed2(amount, ptBr()), day.toString(u"dd/MM/yyyy"_s)};
        const int pick = postsOnly || mine.empty() ? 0 : int(random.bounded(100));
        try {
            if (pick < 60) {
                const QString code = book.post(input).code;
                mine.push_back(code);
                journal << "P " << code << ' ' << account << ' ' << description << ' ' << amount
                        << ' ' << data::toStoredDate(day) << '\n';
            } else if (pick < 85) {
                const QString code = mine.at(random.bounded(quint32(mine.size())));
                const QString done = book.alter(code, input).code;
                journal << (done == code ? "A " : "L ") << code << ' ' << account << ' '
                        << description << ' ' << amount << ' ' << data::toStoredDate(day) << '\n';
            } else {
                const auto at = mine.begin() + random.bounded(quint32(mine.size()));
                const QString code = *at;
                const QString done = book.remove(code, account).code;
                mine.erase(at);
                journal << (done == code ? "D " : "L ") << code << '\n';
            }
        } catch (const Error &e) {
            // A refusal the operator would have read; the entry stays as it was.
            journal << "R " << e.info().description.simplified() << '\n';
        }
        journal.flush();
    }
    return 0;
}

// ---- the parent ---------------------------------------------------------------------------------

void seed(const QString &cashPath)
{
    QSqlDatabase db = data::openDatabase(cashPath);
    data::Transaction transaction(db);
    QSqlQuery query(db);
    query.prepare(u"INSERT INTO contas (cd_conta, ds_conta) VALUES (?, ?)"_s);
    for (const QString &account : Accounts) {
        query.addBindValue(account);
        query.addBindValue(QString(u"Conta "_s + account));
        data::execOrThrow(query);
    }
    query.prepare(
        u"INSERT INTO historicos (cd_historico, ds_historico, cd_tipo) VALUES (?, ?, ?)"_s);
    for (const auto &[code, name, kind] : {std::tuple{CreditDescription, u"Venda"_s, u"C"_s},
                                           std::tuple{DebitDescription, u"Compra"_s, u"D"_s}}) {
        query.addBindValue(code);
        query.addBindValue(name);
        query.addBindValue(kind);
        data::execOrThrow(query);
    }
    transaction.commit();
}

struct Tally
{
    qint64 posts = 0;
    qint64 alters = 0;
    qint64 deletes = 0;
    qint64 refused = 0;
    qint64 lost = 0;
    qint64 duplicates = 0;
    qint64 unexpected = 0;
    qint64 inconsistent = 0;
};

// Reads one client's journal into its live entries; a change that found its own entry gone is a
// lost one.
std::map<QString, Confirmed> readJournal(const QString &path, Tally &tally)
{
    std::map<QString, Confirmed> live;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        ++tally.lost;
        return live;
    }
    while (!file.atEnd()) {
        const QList<QByteArray> parts = file.readLine().trimmed().split(' ');
        const QByteArray kind = parts.value(0);
        const QString code = QString::fromLatin1(parts.value(1));
        if (kind == "P" || kind == "A") {
            (kind == "P" ? tally.posts : tally.alters) += 1;
            live[code] = {QString::fromLatin1(parts.value(2)), QString::fromLatin1(parts.value(3)),
                          parts.value(4).toLongLong(), QString::fromLatin1(parts.value(5))};
        } else if (kind == "D") {
            ++tally.deletes;
            live.erase(code);
        } else if (kind == "L") {
            ++tally.lost;
            live.erase(code);
        } else if (kind == "R") {
            ++tally.refused;
        }
    }
    return live;
}

// Compares the database with what the clients confirmed, and every account's balances with
// the sums of its entries.
void compare(const QString &cashPath, const std::vector<std::map<QString, Confirmed>> &clients,
             Tally &tally)
{
    std::map<QString, Confirmed> expected;
    for (const auto &live : clients)
        for (const auto &[code, entry] : live)
            if (!expected.emplace(code, entry).second)
                ++tally.duplicates;

    QSqlQuery query(data::openDatabase(cashPath));
    query.setForwardOnly(true);
    data::execOrThrow(query, u"SELECT cd_lancamento, cd_conta, cd_historico, vl_lancamento, "
                             "dt_lancamento, cd_status, vl_saldo FROM lancamentos ORDER BY "
                             "cd_conta, dt_lancamento, cd_lancamento"_s);
    std::set<QString> seen;
    std::set<QString> wrongAccounts;
    QString account;
    Cents running = 0;
    while (query.next()) {
        const QString code = query.value(0).toString();
        const Confirmed stored{query.value(1).toString(), query.value(2).toString(),
                               centsFromDouble(query.value(3).toDouble()),
                               query.value(4).toString()};
        seen.insert(code);
        const auto it = expected.find(code);
        if (it == expected.end())
            ++tally.unexpected;
        else if (!(it->second == stored))
            ++tally.lost;
        if (stored.account != account) {
            account = stored.account;
            running = 0;
        }
        const QString status = query.value(5).toString();
        running += status == u"C" ? stored.amount : status == u"D" ? -stored.amount : 0;
        if (query.value(6).isNull() || centsFromDouble(query.value(6).toDouble()) != running)
            wrongAccounts.insert(account);
    }
    for (const auto &[code, entry] : expected)
        tally.lost += seen.count(code) ? 0 : 1;
    tally.inconsistent = qint64(wrongAccounts.size());
}

int runParent(const Options &options)
{
    test::ScratchDataSource source;
    if (source.skipped()) {
        std::printf("# %s\n", qPrintable(test::noServerReason()));
        return 0;
    }
    if (!source.isValid()) {
        std::fprintf(stderr, "%s\n", qPrintable(source.error()));
        return 1;
    }
    const QString cashPath = source.cashPath();
    seed(cashPath);
    data::closeDatabase(cashPath);

    QTemporaryDir journals;
    std::vector<std::unique_ptr<QProcess>> children;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < options.clients; ++i) {
        auto child = std::make_unique<QProcess>();
        child->setProcessChannelMode(QProcess::ForwardedChannels);
        QStringList args{u"--client"_s, cashPath, journals.filePath(QString::number(i)),
                         QString::number(QRandomGenerator::global()->generate()),
                         QString::number(options.seconds)};
        if (options.postsOnly)
            args << u"--posts-only"_s;
        child->start(QCoreApplication::applicationFilePath(), args);
        children.push_back(std::move(child));
    }
    bool childrenOk = true;
    for (const auto &child : children) {
        childrenOk = child->waitForFinished(qint64(options.seconds + 120) * 1000) &&
                     child->exitStatus() == QProcess::NormalExit && child->exitCode() == 0 &&
                     childrenOk;
    }
    const double elapsedS = double(timer.elapsed()) / 1000.0;

    Tally tally;
    std::vector<std::map<QString, Confirmed>> live;
    for (int i = 0; i < options.clients; ++i)
        live.push_back(readJournal(journals.filePath(QString::number(i)), tally));
    compare(cashPath, live, tally);

    const QByteArray p = options.prefix.toLatin1();
    std::vector<QByteArray> names; // kept alive while printed
    const auto name = [&](const char *what) {
        names.push_back(p + what);
        return names.back().constData();
    };
    std::printf("# %s, %d client processes for %d s\n", qPrintable(test::testEngineName()),
                options.clients, options.seconds);
    bench::printCount(name("confirmed_posts"), tally.posts);
    bench::printCount(name("confirmed_alterations"), tally.alters);
    bench::printCount(name("confirmed_deletions"), tally.deletes);
    bench::print(name("changes_per_s"),
                 double(tally.posts + tally.alters + tally.deletes) / elapsedS, "1/s",
                 "every confirmed change of every client");
    if (options.postsOnly)
        bench::print(name("concurrent_posts_per_s"), double(tally.posts) / elapsedS, "1/s",
                     "posts of every client together");
    bench::printCount(name("refused_changes"), tally.refused,
                      "conflicts reported to the operator, nothing stored");
    bench::printCount(name("duplicate_codes"), tally.duplicates);
    bench::printCount(name("lost_changes"), tally.lost);
    bench::printCount(name("unexpected_entries"), tally.unexpected);
    bench::printCount(name("inconsistent_accounts"), tally.inconsistent);
    const bool ok = childrenOk && tally.posts > 0 && tally.duplicates == 0 && tally.lost == 0 &&
                    tally.unexpected == 0 && tally.inconsistent == 0;
    if (!childrenOk)
        std::fprintf(stderr, "a client process failed\n");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    if (args.size() >= 6 && args.at(1) == u"--client")
        return runClient(args.at(2), args.at(3), args.at(4).toUInt(), args.at(5).toInt(),
                         args.contains(u"--posts-only"_s));
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == u"--clients" && i + 1 < args.size())
            options.clients = args.at(++i).toInt();
        else if (args.at(i) == u"--seconds" && i + 1 < args.size())
            options.seconds = args.at(++i).toInt();
        else if (args.at(i) == u"--prefix" && i + 1 < args.size())
            options.prefix = args.at(++i);
        else if (args.at(i) == u"--posts-only")
            options.postsOnly = true;
        else {
            std::fprintf(stderr, "uso: tessal_loadtest [--clients N] [--seconds S] "
                                 "[--posts-only] [--prefix NOME]\n");
            return 2;
        }
    }
    return runParent(options);
}
