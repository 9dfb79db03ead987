#include "cube/columnstore.h"

#include "data/database.h"

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
        n = m_texts.size();
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
        return m_texts.text(i);
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

int compareTexts(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if ((x | y) & 0x80) {
            const QString qa = QString::fromUtf8(a.data(), qsizetype(a.size()));
            const QString qb = QString::fromUtf8(b.data(), qsizetype(b.size()));
            const int c = qa.compare(qb, Qt::CaseInsensitive);
            if (c != 0)
                return c < 0 ? -1 : 1;
            if (qa != qb)
                return qa < qb ? -1 : 1;
            // Bytes that are not UTF-8 decode to the same replacement character; the bytes still
            // tell such texts apart, so 0 means the very same text and the order stays a total
            // one (the loader's merge, the file reader's check and find all rely on that).
            break;
        }
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
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
            const QDate d = key.size() == 10 ? data::fromStoredDate(key) : QDate();
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
        const QByteArray utf8 = key.toUtf8();
        const std::string_view k(utf8.constData(), size_t(utf8.size()));
        size_t lo = 0, hi = m_texts.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (compareTexts(m_texts.view(mid), k) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo < m_texts.size() && m_texts.view(lo) == k)
            return found(lo);
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

Dictionary Dictionary::makeTexts(TextPool sortedUnique, bool hasNull)
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
