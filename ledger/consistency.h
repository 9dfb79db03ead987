#pragma once

#include <QString>
#include <QStringList>

namespace tessal::ledger {

// The accounts whose stored running balances differ from the ones recomputed from scratch: every
// entry read, sorted by date and code, added in cents from 0, compared exactly with vl_saldo
// (a Null balance is wrong). Deliberately shares nothing with the rebuild, so it can judge it;
// reads the whole table, so it is for checks and repairs, not for the windows.
QStringList accountsWithWrongBalances(const QString &databasePath);

} // namespace tessal::ledger
