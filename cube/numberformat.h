#pragma once

#include <QLocale>
#include <QString>

namespace tessal::cube {

// A field's number format as the definitions write it ("#,##0.00", "0", "0.0%"): grouping when a
// comma precedes the decimal point, as many decimals as placeholders after it, an optional
// percent sign, and a second section for negative numbers. Empty or "General": the number as is.
QString formatNumber(double value, const QString &format, const QLocale &locale = QLocale());

} // namespace tessal::cube
