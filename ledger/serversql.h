#pragma once

// The balance rule in a PostgreSQL server's SQL, for the ledger's rebuild and for the balance
// check: both must sum exactly as centsFromDouble and the walk over a file do.

#include <QString>

namespace tessal::ledger {

// centsFromDouble in SQL: the amount times 100 rounded to a whole number with halves away from
// zero, as llround does (round() on a double keeps no such promise and rounds halves to even on
// most servers), and Null as 0. The fraction a - trunc(a) of a double is exact.
inline QString centsOnServer(const QString &amount)
{
    return QStringLiteral(
               "COALESCE((trunc(%1) + CASE WHEN abs(%1 - trunc(%1)) >= 0.5 THEN sign(%1) ELSE 0 "
               "END)::bigint, 0)")
        .arg(QStringLiteral("(%1 * 100)").arg(amount));
}

// One entry's effect on the running balance, as signedAmountAt() has it; :credit and :debit are
// bound to "C" and "D".
inline const QString SignedCentsOnServer =
    QStringLiteral("CASE cd_status WHEN :credit THEN %1 WHEN :debit THEN -%1 ELSE 0 END")
        .arg(centsOnServer(QStringLiteral("vl_lancamento")));

} // namespace tessal::ledger
