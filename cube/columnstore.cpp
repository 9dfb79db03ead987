#include "columnstore.h"

#include <QDate>
#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace tessal::cube {

quint32 Dictionary::size() const
{
    size_t n = 0;
    switch (m_kind) {
    case ValueKind::Integer:
    case ValueKind::Date:
        n = m_ints.size();
        break;
    case ValueKind::Number:
        n = m_reals.size();
        break;
    case ValueKind::Text:
        n = static_cast<size_t>(m_texts.size());
        break;
    }
    return static_cast<quint32>(n + offset());
}

QString Dictionary::name(quint32 code) const
{
    if (isNull(code))
        return {};
    const quint32 i = code - offset();
    switch (m_kind) {
    case ValueKind::Integer:
        return QString::number(m_ints[i]);
    case ValueKind::Date:
        return QDate::fromJulianDay(m_ints[i]).toString(Qt::ISODate);
    case ValueKind::Number:
        return QString::number(m_reals[i], 'g', 17);
    case ValueKind::Text:
        return m_texts[i];
    }
    return {};
}

QString Dictionary::caption(quint32 code) const
{
    if (isNull(code))
        return {};
    const quint32 i = code - offset();
    switch (m_kind) {
    case ValueKind::Date:
        return QDate::fromJulianDay(m_ints[i]).toString(u"dd/MM/yyyy"_s);
    case ValueKind::Number:
        return QString::number(m_reals[i], 'g', 15);
    default:
        return name(code);
    }
}

double Dictionary::number(quint32 code) const
{
    if (isNull(code))
        return 0;
    const quint32 i = code - offset();
    switch (m_kind) {
    case ValueKind::Integer:
        return static_cast<double>(m_ints[i]);
    case ValueKind::Number:
        return m_reals[i];
    case ValueKind::Date:
    case ValueKind::Text:
        break;
    }
    return 0;
}

bool Dictionary::textLess(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

std::optional<quint32> Dictionary::find(const QString &key) const
{
    if (key.isEmpty() && m_hasNull)
        return 0;
    auto found = [this](size_t i) { return std::optional<quint32>(quint32(i) + offset()); };
    switch (m_kind) {
    case ValueKind::Integer:
    case ValueKind::Date: {
        bool ok = false;
        qint64 v = 0;
        if (m_kind == ValueKind::Date) {
            const QDate d = QDate::fromString(key, Qt::ISODate);
            ok = d.isValid();
            v = d.toJulianDay();
        } else {
            v = key.toLongLong(&ok);
        }
        if (!ok)
            return std::nullopt;
        auto it = std::lower_bound(m_ints.begin(), m_ints.end(), v);
        if (it != m_ints.end() && *it == v)
            return found(size_t(it - m_ints.begin()));
        return std::nullopt;
    }
    case ValueKind::Number: {
        bool ok = false;
        const double v = key.toDouble(&ok);
        if (!ok)
            return std::nullopt;
        auto it = std::lower_bound(m_reals.begin(), m_reals.end(), v);
        if (it != m_reals.end() && *it == v)
            return found(size_t(it - m_reals.begin()));
        return std::nullopt;
    }
    case ValueKind::Text: {
        auto it = std::lower_bound(m_texts.begin(), m_texts.end(), key, &Dictionary::textLess);
        if (it != m_texts.end() && *it == key)
            return found(size_t(it - m_texts.begin()));
        return std::nullopt;
    }
    }
    return std::nullopt;
}

Dictionary Dictionary::makeIntegers(std::vector<qint64> sortedUnique, bool hasNull, ValueKind kind)
{
    Dictionary d;
    d.m_kind = kind;
    d.m_hasNull = hasNull;
    d.m_ints = std::move(sortedUnique);
    return d;
}

Dictionary Dictionary::makeNumbers(std::vector<double> sortedUnique, bool hasNull)
{
    Dictionary d;
    d.m_kind = ValueKind::Number;
    d.m_hasNull = hasNull;
    d.m_reals = std::move(sortedUnique);
    return d;
}

Dictionary Dictionary::makeTexts(QStringList sortedUnique, bool hasNull)
{
    Dictionary d;
    d.m_kind = ValueKind::Text;
    d.m_hasNull = hasNull;
    d.m_texts = std::move(sortedUnique);
    return d;
}

namespace {

bool isWholeCents(double v)
{
    if (!std::isfinite(v) || std::fabs(v) > 9.0e13)
        return false;
    const double c = v * 100.0;
    return std::fabs(c - std::nearbyint(c)) < 1e-6 * std::max(1.0, std::fabs(c));
}

} // namespace

MeasureColumn measureFromValues(const std::vector<double> &values)
{
    MeasureColumn m;
    m.inCents = std::all_of(values.begin(), values.end(), isWholeCents);
    if (m.inCents) {
        m.cents.resize(values.size());
        for (size_t i = 0; i < values.size(); ++i)
            m.cents[i] = static_cast<qint64>(std::llround(values[i] * 100.0));
    } else {
        m.reals = values;
    }
    return m;
}

MeasureColumn measureFromDimension(const DimensionColumn &dimension)
{
    const Dictionary &dict = dimension.dictionary;
    std::vector<double> perCode(dict.size());
    for (quint32 c = 0; c < dict.size(); ++c)
        perCode[c] = dict.number(c);
    MeasureColumn m;
    m.inCents = std::all_of(perCode.begin(), perCode.end(), isWholeCents);
    if (m.inCents) {
        std::vector<qint64> centsPerCode(perCode.size());
        for (size_t c = 0; c < perCode.size(); ++c)
            centsPerCode[c] = static_cast<qint64>(std::llround(perCode[c] * 100.0));
        m.cents.resize(dimension.codes.size());
        for (size_t i = 0; i < dimension.codes.size(); ++i)
            m.cents[i] = centsPerCode[dimension.codes[i]];
    } else {
        m.reals.resize(dimension.codes.size());
        for (size_t i = 0; i < dimension.codes.size(); ++i)
            m.reals[i] = perCode[dimension.codes[i]];
    }
    return m;
}

DimensionColumn dimensionFromMeasure(const MeasureColumn &measure)
{
    DimensionColumn d;
    const size_t n = measure.inCents ? measure.cents.size() : measure.reals.size();
    d.codes.resize(n);
    if (measure.inCents) {
        std::vector<qint64> sorted = measure.cents;
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        for (size_t i = 0; i < n; ++i)
            d.codes[i] = static_cast<quint32>(
                std::lower_bound(sorted.begin(), sorted.end(), measure.cents[i]) - sorted.begin());
        std::vector<double> values(sorted.size());
        for (size_t i = 0; i < sorted.size(); ++i)
            values[i] = static_cast<double>(sorted[i]) / 100.0;
        d.dictionary = Dictionary::makeNumbers(std::move(values), false);
    } else {
        std::vector<double> sorted = measure.reals;
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        for (size_t i = 0; i < n; ++i)
            d.codes[i] = static_cast<quint32>(
                std::lower_bound(sorted.begin(), sorted.end(), measure.reals[i]) - sorted.begin());
        d.dictionary = Dictionary::makeNumbers(std::move(sorted), false);
    }
    return d;
}

} // namespace tessal::cube
