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
    if (whole.size() > 15)
        return std::nullopt;
    const Cents units = whole.isEmpty() ? 0 : whole.toLongLong();
    const Cents hundredths = fraction.isEmpty() ? 0 : fraction.leftJustified(2, u'0').toLongLong();
    const Cents cents = units * 100 + hundredths;
    return negative ? -cents : cents;
}

QString formatFixed2(Cents cents, const QLocale &locale)
{
    const Cents magnitude = std::llabs(cents);
    QString text = QString::number(magnitude / 100) + locale.decimalPoint() +
                   QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'));
    return cents < 0 ? QStringLiteral("-") + text : text;
}

QString formatGrouped2(Cents cents, const QLocale &locale)
{
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    const Cents magnitude = std::llabs(cents);
    QString text = grouped.toString(magnitude / 100) + locale.decimalPoint() +
                   QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'));
    return cents < 0 ? QStringLiteral("-") + text : text;
}

QString formatPlain(double value, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'g', 15);
}

QLocale programLocale()
{
    const QLocale system = QLocale::system();
    if (system.language() == QLocale::C)
        return QLocale(QLocale::Portuguese, QLocale::Brazil);
    return system;
}

} // namespace tessal
