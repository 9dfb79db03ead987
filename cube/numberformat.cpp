#include "cube/numberformat.h"

#include "core/money.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

bool isPlaceholder(QChar c)
{
    return c == u'#' || c == u'0' || c == u',' || c == u'.';
}

} // namespace

QString formatNumber(double value, const QString &format, const QLocale &locale)
{
    if (format.isEmpty() || format.compare(u"General"_s, Qt::CaseInsensitive) == 0)
        return formatPlain(value, locale);
    const QStringList sections = format.split(u';');
    QString section = sections.at(0);
    bool negativeSection = false;
    if (value < 0 && sections.size() > 1 && !sections.at(1).isEmpty()) {
        section = sections.at(1);
        negativeSection = true;
    }
    // split into literal prefix, the number pattern and literal suffix
    qsizetype begin = 0;
    while (begin < section.size() && !isPlaceholder(section[begin]))
        ++begin;
    qsizetype end = begin;
    while (end < section.size() && isPlaceholder(section[end]))
        ++end;
    QString prefix = section.left(begin);
    QString suffix = section.mid(end);
    const QString pattern = section.mid(begin, end - begin);
    prefix.remove(u'"');
    suffix.remove(u'"');
    const qsizetype point = pattern.indexOf(u'.');
    const QString integerPart = point < 0 ? pattern : pattern.left(point);
    const int decimals =
        point < 0 ? 0 : int(pattern.size() - point - 1 - pattern.mid(point + 1).count(u','));
    const bool grouping = integerPart.contains(u',');
    double v = negativeSection ? std::fabs(value) : value;
    if (suffix.contains(u'%') || prefix.contains(u'%'))
        v *= 100.0;
    QLocale loc = locale;
    loc.setNumberOptions(grouping ? QLocale::DefaultNumberOptions : QLocale::OmitGroupSeparator);
    QString number = loc.toString(v, 'f', decimals);
    // "#,##0" writes 0 for values below one; "#,###" writes nothing
    if (!integerPart.contains(u'0')) {
        const QString zero = loc.toString(0.0, 'f', 0);
        if (number.startsWith(zero) && std::fabs(v) < 1.0)
            number.remove(0, zero.size());
    }
    return prefix + number + suffix;
}

} // namespace tessal::cube
