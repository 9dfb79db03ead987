#include "ledger/consistency.h"

#include "core/error.h"
#include "core/money.h"
#include "data/database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

namespace tessal::ledger {

using namespace Qt::StringLiterals;

QStringList accountsWithWrongBalances(const QString &databasePath)
{
    struct Row
    {
        QString date;
        QString code;
        Cents amount = 0;
        QString status;
        QVariant stored;
    };
    const QString sql = u"SELECT cd_conta, dt_lancamento, cd_lancamento, vl_lancamento, "
                        "cd_status, vl_saldo FROM lancamentos"_s;
    std::map<QString, std::vector<Row>> accounts;
    QSqlQuery query(data::openDatabase(databasePath));
    query.setForwardOnly(true);
    if (!query.exec(sql))
        throw Error(ErrorNumber::DatabaseError, query.lastError().text(), sql);
    while (query.next())
        accounts[query.value(0).toString()].push_back(
            {query.value(1).toString(), query.value(2).toString(),
             query.isNull(3) ? 0 : centsFromDouble(query.value(3).toDouble()),
             query.value(4).toString(), query.value(5)});

    QStringList wrong;
    for (auto &[account, rows] : accounts) {
        // Null dates sort first, as the engine sorts them.
        std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
            return std::tie(a.date, a.code) < std::tie(b.date, b.code);
        });
        Cents running = 0;
        for (const Row &row : rows) {
            if (row.status == u"C")
                running += row.amount;
            else if (row.status == u"D")
                running -= row.amount;
            if (row.stored.isNull() || row.stored.toDouble() != doubleFromCents(running)) {
                wrong << account;
                break;
            }
        }
    }
    return wrong;
}

} // namespace tessal::ledger
