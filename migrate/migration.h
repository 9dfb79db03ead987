#pragma once

// Moving a data directory's books onto a PostgreSQL server: the two SQLite databases are read
// read-only and copied row for row into an empty server database, in one transaction that is
// committed only when the copy has been checked against the files.

#include "core/error.h" // every function here throws tessal::Error
#include "core/money.h"
#include "data/sqlerror.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

namespace tessal::migrate {

// One table's rows in the data directory and, once copied, on the server.
struct TableCount
{
    QString table; // the server's name (lowercase; MENU.mdb's CONFIG is "config")
    qint64 source = 0;
    std::optional<qint64> target; // unset until the copy has been counted
};

// An entry whose stored running balance is not the one its account's entries add up to.
struct WrongBalance
{
    QString account;
    QString entry;
    QVariant stored; // Null when the entry has no balance
    Cents expected = 0;
};

// The outcome of recomputing every entry's running balance: how many accounts and entries were
// walked, how many balances are wrong and the first few of them.
struct BalanceCheck
{
    qint64 accounts = 0;
    qint64 entries = 0;
    qint64 wrong = 0;
    QList<WrongBalance> examples;

    bool passed() const { return wrong == 0; }
};

// How many wrong entries a check keeps to show; the count covers them all.
inline constexpr int WrongBalanceExamples = 10;

// A data directory opened for the copy: caixa.mdb and MENU.mdb read-only (openDatabaseReadOnly,
// so neither file is ever written), each inside a read transaction held until the object goes,
// so that the counts, the balance check and the copy all see one state of the files even while
// a workstation is still writing. Refused with tessal::Error as openDatabaseReadOnly refuses: a
// missing file, one that is not SQLite, the other kind, another program's, a newer release's.
class Source
{
public:
    explicit Source(const QString &dataDir);
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;

    const QSqlDatabase &cash() const { return m_cash; }
    const QSqlDatabase &menu() const { return m_menu; }

    // Every copied table with its number of rows in the files, in the order of the copy.
    QList<TableCount> counts() const;

    // The stored balances against the program's own rule: per account, the entries by date (Null
    // first) and code, each amount rounded to cents, "C" adding it and "D" subtracting it, every
    // balance equal to the running sum exactly; a Null balance is wrong.
    BalanceCheck checkBalances() const;

private:
    QSqlDatabase m_cash;
    QSqlDatabase m_menu;
    std::optional<data::Transaction> m_cashRead;
    std::optional<data::Transaction> m_menuRead;
};

struct MigrationOptions
{
    // Told each step and, on the big tables, how far the copy has got.
    std::function<void(const QString &line)> progress;
    // Runs inside the transaction, after the rows are copied and before they are checked; tests
    // spoil the copy here to see that the check refuses it.
    std::function<void(const QSqlDatabase &server)> beforeCheck;
    // Rows per INSERT statement.
    int batchRows = 10000;
};

struct MigrationReport
{
    enum class Outcome {
        Copied,              // checked and committed
        TargetNotEmpty,      // the server database already had tables; nothing was written
        SourceBalancesWrong, // the files' balances are wrong; nothing was written
        CheckFailed,         // the copy did not match the files; rolled back
    };

    Outcome outcome = Outcome::TargetNotEmpty;
    QList<TableCount> tables;
    BalanceCheck sourceBalances;
    // Recomputed on the server by a window over the copied entries.
    BalanceCheck serverBalances;
    // Entries whose vl_saldo on the server is not, bit for bit, the one in the file (an entry
    // missing on either side counts too), and the first few of their codes.
    qint64 balancesUnlikeSource = 0;
    QStringList unlikeSourceExamples;

    bool countsAgree() const;
};

// Copies the source into the server database. Refuses, writing nothing, a server database that is
// not empty and a source whose balances are wrong (the operator repairs them with "Verificar
// Saldos" first, so the books start on the server right). Otherwise creates the schema, replaces
// the rows it seeds (settlement type "001", the shipped menu) with the files' own, copies every
// table and checks the copy, all in one transaction committed only when the check passes: the
// counts agree, every balance equals the file's, and the server's own running sums agree with
// the stored balances. A statement the server refuses throws tessal::Error, and the transaction
// is rolled back, leaving the database as empty as it was.
MigrationReport copyToServer(const Source &source, const QSqlDatabase &server,
                             const MigrationOptions &options = {});

} // namespace tessal::migrate
