#pragma once

#include "cube/cubetypes.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace tessal::cube {

// Texts kept as UTF-8 in one block: a remark column has hundreds of thousands of distinct values,
// and one QString each would cost an allocation and several times the memory.
class TextPool
{
public:
    size_t size() const { return m_starts.size() - 1; }
    std::string_view view(size_t i) const
    {
        return {m_bytes.data() + m_starts[i], size_t(m_starts[i + 1] - m_starts[i])};
    }
    QString text(size_t i) const
    {
        const std::string_view v = view(i);
        return QString::fromUtf8(v.data(), qsizetype(v.size()));
    }
    void append(std::string_view s)
    {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        m_starts.push_back(m_bytes.size());
    }
    void reserve(size_t count, size_t bytes)
    {
        m_starts.reserve(count + 1);
        m_bytes.reserve(bytes);
    }

private:
    std::vector<char> m_bytes;
    std::vector<quint64> m_starts{0};
};

// The order of text items: without regard to case first, then exactly. ASCII is compared in
// place; anything else goes through QString's case folding.
int compareTexts(std::string_view a, std::string_view b);

// The distinct values of one dimension, sorted in the field's natural order (numbers and dates
// ascending, text without regard to case); a row stores the code (index) of its value. A null
// value, when present, is code 0 and sorts first.
class Dictionary
{
public:
    ValueKind kind() const { return m_kind; }
    quint32 size() const;
    bool hasNull() const { return m_hasNull; }
    bool isNull(quint32 code) const { return m_hasNull && code == 0; }

    // The item's key text: decimal for numbers, ISO for dates, the text itself.
    QString name(quint32 code) const;
    // What the heading shows when the user has not renamed the item (dates as dd/MM/yyyy).
    QString caption(quint32 code) const;
    double number(quint32 code) const;
    std::optional<quint32> find(const QString &name) const;

    static Dictionary makeIntegers(std::vector<qint64> sortedUnique, bool hasNull, ValueKind kind);
    static Dictionary makeNumbers(std::vector<double> sortedUnique, bool hasNull);
    static Dictionary makeTexts(TextPool sortedUnique, bool hasNull);

    ValueKind m_kind = ValueKind::Text;
    bool m_hasNull = false;
    std::vector<qint64> m_ints; // Integer values, or Date as Julian days
    std::vector<double> m_reals;
    TextPool m_texts;

private:
    quint32 offset() const { return m_hasNull ? 1 : 0; }
};

struct DimensionColumn
{
    Dictionary dictionary;
    std::vector<quint32> codes;
};

// Amounts are kept in whole cents when every value is a whole number of cents, so sums are exact;
// otherwise as doubles.
struct MeasureColumn
{
    bool inCents = true;
    std::vector<qint64> cents;
    std::vector<double> reals;
    double value(size_t row) const
    {
        return inCents ? static_cast<double>(cents[row]) / 100.0 : reals[row];
    }
};

MeasureColumn measureFromDimension(const DimensionColumn &dimension);
DimensionColumn dimensionFromMeasure(const MeasureColumn &measure);
MeasureColumn measureFromValues(const std::vector<double> &values);

// What the engine keeps of one field after a load: its dimension and/or its measure, each built
// when first needed and shared by fields over the same source column.
struct FieldData
{
    std::shared_ptr<const DimensionColumn> dimension;
    std::shared_ptr<const MeasureColumn> measure;
};

struct CubeData
{
    size_t rowCount = 0;
    std::vector<FieldData> fields; // parallel to the cube's fields
};

} // namespace tessal::cube
