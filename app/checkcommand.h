#pragma once

#include "ledger/consistency.h"

#include <QString>

class QTextStream;

namespace tessal {

class ActivityLog;

// `tessal --check [--indices] DATA_DIR`: the full balance check of the data directory's cash
// database (with `--indices`, the engine's slower check of every index's contents too), with
// no window (it runs under QCoreApplication, so no display is needed). The findings go to `out`
// in Portuguese; wrong balances are repaired unless the engine found the file damaged. Returns
// the exit status: 0 nothing wrong, 1 balances repaired or a damaged file reported, 2 nothing
// could be checked (a missing directory or file, a file that is not our cash database). No
// database is ever created there, and a file that is refused keeps every byte.
//
// A PostgreSQL server's URI in place of DATA_DIR checks the server's books (see
// ledger::checkBalances); the password, if the server asks for one, is whatever libpq finds
// (~/.pgpass, PGPASSWORD), since nothing is asked here. A server that cannot be reached or
// refuses the login exits with 2.
//
// The activity log gets the check's and every repair's line. No one is logged in, so they are
// written under the user code CommandLineUser ("FCCMDddMMyy.log" beside the program), a code the
// program never gives a user (theirs are digits), under the name CommandLineUserName.
int runCheckCommand(const QString &dataDir, const ActivityLog &log, QTextStream &out,
                    QTextStream &err, ledger::FileCheck fileCheck = ledger::FileCheck::Structure);

inline constexpr auto CommandLineUser = "CMD";
inline constexpr auto CommandLineUserName = "LINHA DE COMANDO";

} // namespace tessal
