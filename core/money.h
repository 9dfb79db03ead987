#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace tessal {

// Amounts are added in whole cents so that 0,10 + 0,20 is 0,30 exactly; the stored fields stay
// doubles and are converted at the edge.
using Cents = qint64;

Cents centsFromDouble(double value);
double doubleFromCents(Cents cents);

inline constexpr int MaxAmountDigits = 12;

// An amount typed by the operator, by the locale's rules ("1.234,56" in pt_BR); the one rule for
// every amount the program reads. Refused (nullopt) when it is not a number, has more than two
// decimals or more than MaxAmountDigits digits before them.
std::optional<Cents> parseAmount(const QString &text, const QLocale &locale = QLocale());

// "0.00" with the locale's decimal separator and no grouping: "-20,00" in pt_BR.
QString formatFixed2(Cents cents, const QLocale &locale = QLocale());

// "#,##0.00": grouped thousands, two decimals.
QString formatGrouped2(Cents cents, const QLocale &locale = QLocale());

// A double as the old program wrote numbers into text: no grouping, the locale's separator,
// only the decimals it needs ("30", "12,5"), and in full ("123456789012,34", never "1e+15").
QString formatPlain(double value, const QLocale &locale = QLocale());

// The locale the program works in: the system's, or pt_BR where the system names none.
QLocale programLocale();

} // namespace tessal
