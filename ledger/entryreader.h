#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

namespace tessal::ledger {

// A row of the ledger grid: an entry with its description, as "SELECT LANCAMENTOS.*,
// HISTORICOS.* FROM LANCAMENTOS INNER JOIN HISTORICOS ..." gives it, so an entry whose description
// is missing is not among the rows (it still counts in the totals).
struct EntryRow
{
    QString code;                  // cd_lancamento
    QString account;               // cd_conta
    QString description;           // cd_historico
    QString descriptionText;       // ds_historico
    QString descriptionType;       // cd_tipo
    QString remark;                // ds_complemento
    double amount = 0;             // vl_lancamento (Null as 0)
    QDate date;                    // dt_lancamento
    QString storedDate;            // dt_lancamento as stored, the key's first half
    QString status;                // cd_status
    std::optional<double> balance; // vl_saldo
    QString settlement;            // cd_baixa
};

// A place in an account's date-then-code order; rows strictly after (or before) it are read.
struct EntryKey
{
    QString storedDate; // yyyy-MM-dd
    QString code;
    static EntryKey of(const EntryRow &row) { return {row.storedDate, row.code}; }
};

// Reads an account's grid rows a window at a time by their (dt_lancamento, cd_lancamento) key,
// so a view over a large account holds only the rows on show: each read is one indexed range
// scan of at most `limit` rows, wherever in the account it starts.
class EntryReader
{
public:
    static constexpr int DefaultLimit = 256;

    EntryReader(QString databasePath, QString account);

    const QString &account() const { return m_account; }

    // The first rows, or the rows after `after`, in date-then-code order.
    QList<EntryRow> first(int limit = DefaultLimit) const;
    QList<EntryRow> after(const EntryKey &key, int limit = DefaultLimit) const;
    // The rows just before `before`, still in date-then-code order (for scrolling back up).
    QList<EntryRow> before(const EntryKey &key, int limit = DefaultLimit) const;
    // The last rows of the account, in date-then-code order.
    QList<EntryRow> last(int limit = DefaultLimit) const;

    // How many grid rows the account has (entries with a description).
    qint64 count() const;

private:
    QList<EntryRow> read(const QString &sql, const std::optional<EntryKey> &key, int limit,
                         bool reversed) const;

    QString m_path;
    QString m_account;
};

} // namespace tessal::ledger
