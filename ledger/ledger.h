#pragma once

#include "core/money.h"

#include <QDate>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tessal::ledger {

// What the operator typed for an entry, as typed: the ledger parses and refuses it, so a window
// hands its fields over unchanged.
struct EntryInput
{
    QString account;     // cd_conta (bound value of the account list)
    QString description; // cd_historico (bound value of the description list)
    QString remark;      // ds_complemento
    QString amount;      // vl_lancamento, by the locale's number rules
    QString date;        // dt_lancamento, dd/mm/yyyy
};

// An account's position from the stored status of its entries: "C" adds to credits, "D" to
// debits, compared exactly; any other status counts in neither.
struct Totals
{
    Cents credits = 0;
    Cents debits = 0;
    Cents balance() const { return credits - debits; }
    friend bool operator==(const Totals &, const Totals &) = default;
};

// One stored entry, as the entry-fill routine shows it.
struct Entry
{
    QString code;                  // cd_lancamento
    QString account;               // cd_conta
    QString description;           // cd_historico
    QString remark;                // ds_complemento
    double amount = 0;             // vl_lancamento (Null as 0)
    QDate date;                    // dt_lancamento
    QString status;                // cd_status
    std::optional<double> balance; // vl_saldo
    QString settlement;            // cd_baixa
};

// The result of a post, alteration or deletion: the entry's code and the account's totals as
// they stand after the change.
struct ChangeResult
{
    QString code;
    Totals totals;
};

// Where a test may stop a change half-way (by throwing from the hook) to prove that nothing of
// it is kept. On a server an account's balances are rewritten by one statement, and the hook hears
// of each of them once that statement is done, still inside the transaction.
enum class ChangeStep {
    EntryWritten,   // the entry has been inserted, updated or deleted
    BalanceWritten, // one more entry's vl_saldo has been rewritten
};

inline constexpr int EntryCodeWidth = 10;
inline constexpr QStringView NewEntrySettlement = u"001";

// Posting, altering and deleting ledger entries on one cash database. Each change is one
// transaction holding the entry, the rebuilt running balances and the totals read back, so a
// failure or a crash leaves all of it or none of it.
//
// Running balances: every entry's vl_saldo is the sum, from 0, of the account's entries in
// (dt_lancamento, cd_lancamento) order, added in cents. A change only rewrites the entries from
// its own place onward, starting from the balance stored on the entry just before that place.
//
// Several workstations: on a file, BEGIN IMMEDIATE lets one change write at a time; on a
// PostgreSQL server every change first takes one advisory lock of the ledger's, held until its
// commit or rollback. Either way no code is handed out twice and no account is rebuilt by two
// changes at once, while readers go on unhindered.
//
// Every failure throws tessal::Error: ErrorNumber::InvalidInput (with a message for the operator)
// for input refused before anything is stored, ErrorNumber::CodeOverflow when no entry code is
// left, ErrorNumber::DatabaseError for a statement the engine refused, for a conflict with another
// workstation the server resolved by undoing this change, for a wait on another workstation's
// change that ran out (see setLockWait), and for a connection to the server lost
// on the way (the message then says whether the change may have been stored).
class Ledger
{
public:
    explicit Ledger(QString databasePath, QLocale locale = programLocale());
    ~Ledger();
    Ledger(Ledger &&) noexcept;
    Ledger &operator=(Ledger &&) noexcept;

    const QString &databasePath() const { return m_path; }
    QSqlDatabase database() const;

    // The account load: its totals from every entry, whatever their description.
    Totals totals(const QString &account);

    // The code the next post would take: the highest entry code of all accounts plus 1,
    // "0000000001" for an empty table. Throws CodeOverflow past "9999999999".
    QString nextEntryCode();

    // The entry of a code, or nothing when there is none.
    std::optional<Entry> entry(const QString &code);

    // Stores a new entry under the next code, with the chosen description's cd_tipo as its status
    // and settlement "001", and rebuilds the balances from its place.
    ChangeResult post(const EntryInput &input);

    // Rewrites the entry of `code` (account, description, remark, amount, date, and the status
    // taken again from the description); its settlement is kept. Balances are rebuilt from the
    // earlier of the entry's old and new places, in the old and the new account when they differ.
    // When no entry has that code (deleted meanwhile), no entry is written, the input's account is
    // rebuilt whole and totalled, and the result's code is empty.
    ChangeResult alter(const QString &code, const EntryInput &input);

    // Deletes the entry of `code` and rebuilds its account's balances from its place. When no
    // entry has that code (deleted meanwhile), the account on show is rebuilt whole and totalled
    // instead, and the result's code is empty.
    ChangeResult remove(const QString &code, const QString &shownAccount);

    // Gives the entry of `code` another settlement type (cd_baixa), which must be a row of
    // baixas; nothing else of the entry changes. False when no entry has that code.
    bool setSettlement(const QString &code, const QString &settlement);

    // Rewrites every entry's balance of the account from its first entry, in one transaction
    // (after a deletion the operator declined, for instance).
    Totals rebuild(const QString &account);

    // The deletion question, with the amount as the old program wrote numbers into text.
    QString deleteQuestion(double amount) const;
    static QString deleteQuestion(double amount, const QLocale &locale);

    void setStepHook(std::function<void(ChangeStep)> hook) { m_hook = std::move(hook); }

    // How long a change on a server waits for another workstation's change to end before it
    // gives up, stores nothing and tells the operator so (ErrorNumber::DatabaseError).
    void setLockWait(std::chrono::milliseconds wait) { m_lockWait = wait; }

    // Called with every account whose balances a change rewrites, inside its transaction and
    // before the commit (the session marker keeps them; see SessionMarker).
    void setChangeNote(std::function<void(const QString &account)> note)
    {
        m_note = std::move(note);
    }

private:
    struct Parsed
    {
        QString account;
        QString description;
        QString remark;
        Cents amount = 0;
        QDate date;
    };
    struct Position;

    Parsed parse(const EntryInput &input) const;
    // What a change needs of the entry it rewrites or deletes, as stored.
    struct Stored
    {
        QString account;
        Cents amount = 0;
        QString date; // yyyy-MM-dd
        QString status;
    };
    // One change's (or one read's) connection, statements and transaction; see ledger.cpp.
    struct Work;
    // The statements a ledger has prepared on a server, by their text, for the connection they
    // were prepared on; see Work.
    class Prepared
    {
    public:
        QSqlQuery *find(const QSqlDatabase &db, const QString &sql);
        QSqlQuery &add(const QSqlDatabase &db, const QString &sql);

    private:
        std::map<QString, QSqlQuery> m_statements;
    };
    enum class Intent { Read, Change };
    // Runs `body` in a Work of its own and tells the operator, on a server, of a connection lost
    // on the way.
    template<typename Body> auto run(Intent intent, Body &&body);

    static std::optional<Stored> stored(Work &w, const QString &code);
    QString statusOf(Work &w, const QString &description);
    QString nextCode(QSqlDatabase db);
    void rebuildFrom(Work &w, const QString &account, const std::optional<Position> &from);
    void rebuildOnServer(Work &w, const QString &account, const std::optional<Position> &from);
    Totals computeTotals(Work &w, const QString &account);
    // What the last change left remembered: the account's totals still current (known), or a
    // write by someone else since (stale), which the next change does not build upon.
    struct Memory
    {
        bool known = false;
        bool stale = false;
        std::optional<Position> from(std::optional<Position> place) const;
    };
    Memory recall(Work &w, const QString &account) const;
    Totals totalsAfter(Work &w, const QString &account, bool known, const Totals &delta);
    struct Stamp
    {
        qint64 dataVersion = -1;
        quint64 changes = 0;
        friend bool operator==(const Stamp &, const Stamp &) = default;
    };
    Stamp stamp(QSqlDatabase &db) const;
    ChangeResult rebuildWhole(Work &w, const QString &account, bool known);
    void commitRemembering(Work &w, const QString &account, const Totals &totals);
    void step(ChangeStep s) const;

    QString m_path;
    bool m_server; // a PostgreSQL URI rather than a file
    QLocale m_locale;
    std::function<void(ChangeStep)> m_hook;
    std::function<void(const QString &)> m_note;
    std::unique_ptr<Prepared> m_prepared;
    std::chrono::milliseconds m_lockWait{10'000};

    // The last account's totals, kept so that a change adjusts them by its own amounts instead of
    // summing a large account again. They are trusted only while nothing else has written to the
    // file since (see stamp()); a server keeps every account's totals itself, so nothing is kept
    // here.
    QString m_totalsAccount;
    Totals m_totals;
    Stamp m_totalsStamp;
    bool m_totalsValid = false;
};

} // namespace tessal::ledger
