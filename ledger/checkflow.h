#pragma once

#include "ledger/consistency.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tessal {
class AppContext;
}

namespace tessal::ledger {

class Ledger;

// The questions around a check, shared by the "Verificar Saldos" window and the start-up check.

// Asks whether to repair the report's wrong accounts (the question starts with `intro`). On Yes
// repairs them (one activity-log line per account), checks again the same way (the full check
// behind a progress box, or the quick check of the accounts repaired) and returns that report; on
// No writes that to the log and returns nothing. Nothing is asked for a clean report or a damaged
// file (nothing for either).
std::optional<CheckReport> offerRepair(AppContext &ctx, Ledger &ledger, const CheckReport &report,
                                       const QString &intro);

// After the login, when the last session with this data directory did not end cleanly: a quick
// check of the accounts it noted and of the accounts of the last entries by code. Wrong balances
// are shown and their repair offered; a damaged file is reported; when nothing is found the
// operator is told so and offered the full check. `note` is given every account a repair
// rewrites (the new session's marker).
void checkAfterUncleanEnd(AppContext &ctx, const QStringList &notedAccounts,
                          const std::function<void(const QString &)> &note);

// How many of the last entries by code the start-up check adds to the accounts noted.
inline constexpr int LastEntriesChecked = 50;

} // namespace tessal::ledger
