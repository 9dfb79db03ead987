#include "core/money.h"

#include <cmath>
#include <cstdlib>

namespace tessal {

Cents centsFromDouble(double value)
{
    return static_cast<Cents>(std::llround(value * 100.0));
}

double doubleFromCents(Cents cents)
{
    return static_cast<double>(cents) / 100.0;
}

std::optional<Cents> parseAmount(const QString &text, const QLocale &locale)
{
    QString s = text.trimmed();
    if (s.isEmpty())
        return std::nullopt;
    const QString decimal = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    bool negative = false;
    if (s.startsWith(locale.negativeSign()) || s.startsWith(u'-')) {
        negative = true;
        s = s.mid(1).trimmed();
    } else if (s.startsWith(u'+')) {
        s = s.mid(1).trimmed();
    }
    QString whole = s;
    QString fraction;
    const qsizetype at = s.indexOf(decimal);
    if (at >= 0) {
        whole = s.left(at);
        fraction = s.mid(at + decimal.size());
    }
    // Grouping is accepted only where it belongs: groups of three digits.
    if (!group.isEmpty() && whole.contains(group)) {
        const QStringList groups = whole.split(group);
        for (qsizetype i = 0; i < groups.size(); ++i) {
            const auto size = groups.at(i).size();
            if ((i == 0 && (size < 1 || size > 3)) || (i > 0 && size != 3))
                return std::nullopt;
        }
        whole = groups.join(QString());
    }
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;
    if (fraction.size() > 2)
        return std::nullopt;
    for (const QChar c : QString(whole + fraction)) {
        if (!c.isDigit() || c.unicode() > u'9')
            return std::nullopt;
    }
    // Twelve digits keep every amount, and the balances of many of them, exact to the cent in
    // the double the table stores.
    while (whole.size() > 1 && whole.startsWith(u'0'))
        whole.remove(0, 1);
    if (whole.size() > MaxAmountDigits)
        return std::nullopt;
    const Cents units = whole.isEmpty() ? 0 : whole.toLongLong();
    const Cents hundredths = fraction.isEmpty() ? 0 : fraction.leftJustified(2, u'0').toLongLong();
    const Cents cents = units * 100 + hundredths;
    return negative ? -cents : cents;
}

namespace {

QString formatCents(Cents cents, const QLocale &locale, bool grouped)
{
    QLocale shown = locale;
    shown.setNumberOptions(grouped ? locale.numberOptions() & ~QLocale::OmitGroupSeparator
                                   : QLocale::OmitGroupSeparator);
    const Cents magnitude = std::llabs(cents);
    QString text = shown.toString(magnitude / 100) + locale.decimalPoint() +
                   QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'));
    return cents < 0 ? QStringLiteral("-") + text : text;
}

} // namespace

QString formatFixed2(Cents cents, const QLocale &locale)
{
    return formatCents(cents, locale, false);
}

QString formatGrouped2(Cents cents, const QLocale &locale)
{
    return formatCents(cents, locale, true);
}

QString formatPlain(double value, const QLocale &locale)
{
    // Every digit the value holds and never an exponent: an amount of twelve digits and cents
    // must come back exactly when the operator stores the field again.
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'f', QLocale::FloatingPointShortest);
}

QLocale programLocale()
{
    const QLocale system = QLocale::system();
    if (system.language() == QLocale::C)
        return QLocale(QLocale::Portuguese, QLocale::Brazil);
    return system;
}

} // namespace tessal
