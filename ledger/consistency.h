#pragma once

#include "core/money.h"

#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tessal {
class Progress;
}

namespace tessal::ledger {

class Ledger;

// An account whose stored running balances are not the sums of its entries.
struct WrongAccount
{
    QString account;
    QString name; // ds_conta; empty when the account is not registered
    qint64 entries = 0;
    qint64 wrongEntries = 0;
    // The first wrong entry in date-then-code order, as stored.
    QString firstCode;
    QString firstDate;                 // dt_lancamento as stored (yyyy-MM-dd), empty for Null
    std::optional<double> firstStored; // vl_saldo; nothing when it is Null or not a number
    Cents firstExpected = 0;
    // On a server: the totals it keeps for the account (tessal_totais) are not the sums of its
    // entries; `kept` is what it keeps and `summed` what the entries give.
    bool totalsDiffer = false;
    std::pair<Cents, Cents> keptTotals;   // credits, debits
    std::pair<Cents, Cents> summedTotals; // credits, debits
};

// How far the engine's own check of the file goes.
enum class FileCheck {
    // PRAGMA quick_check (every page, b-tree and record of the file, read once) and every index's
    // entry count against its table's: about a second per million entries.
    Structure,
    // PRAGMA integrity_check: besides, every row looked up in every index of its table; several
    // times slower, for when the structure check is not enough to settle a doubt.
    IndexContents,
};

// What a check found. The balances are judged against the definition itself (every entry's
// vl_saldo is the sum from 0 of the account's entries in (dt_lancamento, cd_lancamento) order,
// "C" adding and "D" subtracting vl_lancamento in cents), never against the code that writes them.
struct CheckReport
{
    bool quick = false;                         // only some accounts (PRAGMA quick_check on a file)
    FileCheck fileCheck = FileCheck::Structure; // as asked; on a server nothing of it runs
    // The data are on a PostgreSQL server: there is no file here, the server keeps and checks its
    // own, so the engine's check did not run (integrityProblems stays empty) and only the
    // balances were checked, summed by the server itself.
    bool onServer = false;
    QStringList integrityProblems; // the engine's own findings; empty when it answered "ok"
    std::vector<WrongAccount> wrongAccounts; // by account code
    qint64 accountsChecked = 0;
    qint64 entriesChecked = 0;

    bool integrityOk() const { return integrityProblems.isEmpty(); }
    bool clean() const { return integrityOk() && wrongAccounts.empty(); }
    QStringList wrongAccountCodes() const;
};

// Every account of the cash database, and the engine's check of the file as deep as `fileCheck`
// asks. The file is read through a
// read-only connection, so a check never changes a byte of it. `progress`, when given, is
// advanced by entries; a stop asked there ends the check with tessal::Error. Throws tessal::Error
// for a file that cannot be opened as our cash database (missing, not SQLite, another program's).
// Entries without an account belong to no running balance and are not counted.
//
// A server URI in place of the path checks the server's ledger: the server sums every account
// itself, in one read-only transaction (so the whole check sees one state of the data), one
// statement for all the accounts, or one per batch of accounts when `progress` is given (which
// hears after each batch, and whose stop ends the check between two). The engine's check of a
// file has no counterpart there (see CheckReport::onServer). A server that cannot be reached, or
// that refuses the statement, throws tessal::Error.
CheckReport checkBalances(const QString &databasePath, Progress *progress = nullptr,
                          FileCheck fileCheck = FileCheck::Structure);

// Only the given accounts (each once, whatever the list repeats), and PRAGMA quick_check: what
// runs at start-up after a session that did not end cleanly. On a server, only the accounts.
CheckReport quickCheckBalances(const QString &databasePath, const QStringList &accounts);

// The accounts of the `count` entries with the highest codes (the last ones posted), without
// repeats; for the quick check, which adds them to the accounts it was told about.
QStringList accountsOfLastEntries(const QString &databasePath, int count);

// The accounts whose stored balances are wrong, by code: the full check's accounts without the
// engine's integrity check. Files and servers alike, as the other functions here.
QStringList accountsWithWrongBalances(const QString &databasePath);

// The report in Portuguese, one line per item, for the window and the command line: dates as
// dd/mm/yyyy and amounts with the locale's separators.
QStringList describe(const CheckReport &report, const QLocale &locale = programLocale());

// Rewrites the balances of the report's wrong accounts, each account in a transaction of its own,
// and calls `repaired` after each one (for the activity log). Returns the accounts rewritten.
// Refuses, with tessal::Error (InvalidInput) and nothing written, a report whose integrity check
// failed: a damaged file is reported and left as it is, never "repaired".
QStringList repairBalances(Ledger &ledger, const CheckReport &report,
                           const std::function<void(const WrongAccount &)> &repaired = {});

// The activity-log lines of a check and of one account's repair.
QString checkLogLine(const CheckReport &report);
QString repairLogLine();
QString repairLogDetail(const WrongAccount &account);

} // namespace tessal::ledger
