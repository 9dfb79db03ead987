#include "cube/loader.h"

#include "core/error.h"
#include "cube/hashindex.h"
#include "data/database.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString Source = u"Cube"_s;

QString bareName(QString expression)
{
    expression = expression.trimmed();
    const qsizetype dot = expression.lastIndexOf(u'.');
    if (dot >= 0)
        expression = expression.mid(dot + 1);
    if (expression.size() >= 2 && ((expression.front() == u'[' && expression.back() == u']') ||
                                   (expression.front() == u'"' && expression.back() == u'"') ||
                                   (expression.front() == u'`' && expression.back() == u'`')))
        expression = expression.mid(1, expression.size() - 2);
    return expression;
}

int findColumn(const QString &expression, const QStringList &columns)
{
    const QString trimmed = expression.trimmed();
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(trimmed, Qt::CaseInsensitive) == 0)
            return i;
    const QString bare = bareName(trimmed);
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(bare, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString withoutSpaces(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s)
        if (!c.isSpace())
            out.append(c);
    return out;
}

// The argument of `expression` when it is `template` with "<field>" replaced by something.
std::optional<QString> templateArgument(const QString &expression, const QString &tmpl)
{
    const QString t = withoutSpaces(tmpl);
    const qsizetype at = t.indexOf(u"<field>"_s, 0, Qt::CaseInsensitive);
    if (at < 0)
        return std::nullopt;
    const QString prefix = t.left(at);
    const QString suffix = t.mid(at + 7);
    const QString e = withoutSpaces(expression);
    if (e.size() <= prefix.size() + suffix.size() || !e.startsWith(prefix, Qt::CaseInsensitive) ||
        !e.endsWith(suffix, Qt::CaseInsensitive))
        return std::nullopt;
    return e.mid(prefix.size(), e.size() - prefix.size() - suffix.size());
}

// `ids` in compareTexts order of their texts. Most comparisons are settled by the first sixteen
// bytes folded to lower case and packed into two integers, which keeps the sort of a remark
// column's hundreds of thousands of texts out of the texts' own memory.
template<typename ViewOf>
std::vector<quint32> sortTextIds(const std::vector<quint32> &ids, ViewOf viewOf)
{
    struct Key
    {
        quint64 high = 0;
        quint64 low = 0;
        quint32 id = 0;
        bool exact = true; // the key decides whenever the keys differ
    };
    std::vector<Key> keys;
    keys.reserve(ids.size());
    for (quint32 id : ids) {
        Key k;
        k.id = id;
        const std::string_view v = viewOf(id);
        for (size_t b = 0; b < 16; ++b) {
            unsigned char c = b < v.size() ? static_cast<unsigned char>(v[b]) : 0;
            if (c & 0x80 || (c == 0 && b < v.size()))
                k.exact = false;
            if (c >= 'A' && c <= 'Z')
                c = static_cast<unsigned char>(c + 32);
            quint64 &word = b < 8 ? k.high : k.low;
            word = (word << 8) | c;
        }
        keys.push_back(k);
    }
    std::sort(keys.begin(), keys.end(), [&viewOf](const Key &a, const Key &b) {
        if (a.exact && b.exact && (a.high != b.high || a.low != b.low))
            return a.high != b.high ? a.high < b.high : a.low < b.low;
        return compareTexts(viewOf(a.id), viewOf(b.id)) < 0;
    });
    std::vector<quint32> order(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].id;
    return order;
}

bool isIsoDate(std::string_view s)
{
    return s.size() == 10 && data::storedDate(s).isValid();
}

// One provisional value of a dimension column, before the kind is known.
struct RawEntry
{
    RowReader::Type type = RowReader::Type::Null;
    qint64 integer = 0;
    double real = 0;
    quint32 text = 0;
};

class ColumnBuilder
{
public:
    bool wantDimension = false;
    bool wantMeasure = false;

    void reserve(size_t rows)
    {
        if (wantDimension)
            m_ids.reserve(rows);
        if (wantMeasure)
            m_values.reserve(rows);
    }

    void add(RowReader &reader, int column)
    {
        const RowReader::Type type = reader.type(column);
        // a column of mostly distinct texts (remarks) is cheaper sorted once than hashed per row
        if (wantDimension && !m_sortMode && m_ids.size() == SortModeCheckRow &&
            !m_textIds.empty() && m_entries.size() * 2 > m_ids.size())
            switchToSortMode();
        if (wantDimension && m_sortMode) {
            addToRows(reader, column, type);
        } else if (wantDimension) {
            quint32 id = 0;
            switch (type) {
            case RowReader::Type::Null:
                if (m_nullId == KeyIndex::Empty) {
                    m_nullId = newEntry(RawEntry{});
                }
                id = m_nullId;
                break;
            case RowReader::Type::Integer: {
                const qint64 v = reader.integer(column);
                id = intern(m_ints, static_cast<quint64>(v), m_intIds, RawEntry{type, v, 0, 0});
                break;
            }
            case RowReader::Type::Real: {
                double v = reader.real(column);
                if (std::isnan(v)) {
                    if (m_nullId == KeyIndex::Empty)
                        m_nullId = newEntry(RawEntry{});
                    id = m_nullId;
                    break;
                }
                if (v == 0)
                    v = 0; // one item for 0 and -0
                quint64 bits;
                std::memcpy(&bits, &v, sizeof bits);
                id = intern(m_reals, bits, m_realIds, RawEntry{type, 0, v, 0});
                break;
            }
            case RowReader::Type::Text: {
                const std::string_view s = reader.text(column);
                // runs of equal values (dates of entries posted in order) skip the hash
                if (m_lastText != KeyIndex::Empty && m_texts.view(m_lastText) == s) {
                    id = m_textIds[m_lastText];
                    break;
                }
                const quint32 t = m_texts.insert(s);
                if (t == m_textIds.size())
                    m_textIds.push_back(newEntry(RawEntry{type, 0, 0, t}));
                m_lastText = t;
                id = m_textIds[t];
                break;
            }
            }
            m_ids.push_back(id);
        }
        if (wantMeasure) {
            double v = 0;
            switch (type) {
            case RowReader::Type::Null:
                break;
            case RowReader::Type::Integer:
                v = static_cast<double>(reader.integer(column));
                break;
            case RowReader::Type::Real:
                v = reader.real(column);
                if (!std::isfinite(v))
                    v = 0;
                break;
            case RowReader::Type::Text: {
                const std::string_view s = reader.text(column);
                v = QByteArray::fromRawData(s.data(), static_cast<qsizetype>(s.size())).toDouble();
                break;
            }
            }
            m_values.push_back(v);
        }
    }

    std::shared_ptr<DimensionColumn> finishDimension()
    {
        if (m_sortMode)
            return finishRows();
        auto column = std::make_shared<DimensionColumn>();
        bool anyText = false, anyReal = false, anyInt = false;
        for (const RawEntry &e : m_entries) {
            anyText |= e.type == RowReader::Type::Text;
            anyReal |= e.type == RowReader::Type::Real;
            anyInt |= e.type == RowReader::Type::Integer;
        }
        const bool hasNull = m_nullId != KeyIndex::Empty;
        std::vector<quint32> finalCode(m_entries.size(), 0);
        if (anyText && !anyReal && !anyInt && allTextsAreDates()) {
            std::vector<qint64> days(m_entries.size(), 0);
            for (size_t i = 0; i < m_entries.size(); ++i)
                if (m_entries[i].type == RowReader::Type::Text)
                    days[i] = data::storedDate(m_texts.view(m_entries[i].text)).toJulianDay();
            column->dictionary = Dictionary::makeIntegers(sortedCodes(days, finalCode, hasNull),
                                                          hasNull, ValueKind::Date);
        } else if (anyText) {
            // numbers among texts become texts; equal texts then merge into one item
            std::vector<std::string> numberTexts(anyInt || anyReal ? m_entries.size() : 0);
            std::vector<std::string_view> views(m_entries.size());
            for (size_t i = 0; i < m_entries.size(); ++i) {
                const RawEntry &e = m_entries[i];
                if (e.type == RowReader::Type::Text) {
                    views[i] = m_texts.view(e.text);
                    continue;
                }
                if (e.type == RowReader::Type::Integer)
                    numberTexts[i] = std::to_string(e.integer);
                else if (e.type == RowReader::Type::Real)
                    numberTexts[i] = QString::number(e.real, 'g', 15).toStdString();
                views[i] = numberTexts.empty() ? std::string_view() : numberTexts[i];
            }
            auto less = [&views](quint32 a, quint32 b) {
                return compareTexts(views[a], views[b]) < 0;
            };
            std::vector<quint32> ids;
            ids.reserve(views.size());
            for (quint32 i = 0; i < views.size(); ++i)
                if (i != m_nullId)
                    ids.push_back(i);
            std::vector<quint32> order = sortTextIds(ids, [&views](quint32 i) { return views[i]; });
            TextPool pool;
            const quint32 base = hasNull ? 1 : 0;
            quint32 count = 0;
            for (size_t k = 0; k < order.size(); ++k) {
                if (k == 0 || less(order[k - 1], order[k])) {
                    pool.append(views[order[k]]);
                    ++count;
                }
                finalCode[order[k]] = base + count - 1;
            }
            if (hasNull)
                finalCode[m_nullId] = 0;
            column->dictionary = Dictionary::makeTexts(std::move(pool), hasNull);
        } else if (anyReal) {
            std::vector<double> reals(m_entries.size(), 0);
            for (size_t i = 0; i < m_entries.size(); ++i)
                reals[i] = m_entries[i].type == RowReader::Type::Integer
                               ? static_cast<double>(m_entries[i].integer)
                               : m_entries[i].real;
            column->dictionary =
                Dictionary::makeNumbers(sortedCodes(reals, finalCode, hasNull), hasNull);
        } else {
            std::vector<qint64> ints(m_entries.size(), 0);
            for (size_t i = 0; i < m_entries.size(); ++i)
                ints[i] = m_entries[i].integer;
            column->dictionary = Dictionary::makeIntegers(sortedCodes(ints, finalCode, hasNull),
                                                          hasNull, ValueKind::Integer);
        }
        column->codes.resize(m_ids.size());
        for (size_t i = 0; i < m_ids.size(); ++i)
            column->codes[i] = finalCode[m_ids[i]];
        std::vector<quint32>().swap(m_ids);
        return column;
    }

    std::shared_ptr<MeasureColumn> finishMeasure()
    {
        auto m = std::make_shared<MeasureColumn>(measureFromValues(m_values));
        std::vector<double>().swap(m_values);
        return m;
    }

private:
    static constexpr size_t SortModeCheckRow = 65536;
    static constexpr quint32 NullRow = 0xffffffffu;

    void appendRow(std::string_view s)
    {
        m_rowStarts.push_back(m_rowBytes.size());
        m_rowLengths.push_back(static_cast<quint32>(s.size()));
        m_rowBytes.insert(m_rowBytes.end(), s.begin(), s.end());
    }
    void appendNullRow()
    {
        m_rowStarts.push_back(m_rowBytes.size());
        m_rowLengths.push_back(NullRow);
    }
    std::string_view rowText(quint32 row) const
    {
        return {m_rowBytes.data() + m_rowStarts[row], m_rowLengths[row]};
    }

    // From here on every row keeps its own text; the rows read so far are copied over.
    void switchToSortMode()
    {
        m_rowStarts.reserve(m_ids.size() * 16);
        m_rowLengths.reserve(m_ids.size() * 16);
        for (quint32 id : m_ids) {
            const RawEntry &e = m_entries[id];
            switch (e.type) {
            case RowReader::Type::Null:
                appendNullRow();
                break;
            case RowReader::Type::Text:
                appendRow(m_texts.view(e.text));
                break;
            case RowReader::Type::Integer:
                m_rowsHoldNumbers = true;
                appendRow(std::to_string(e.integer));
                break;
            case RowReader::Type::Real:
                m_rowsHoldNumbers = true;
                appendRow(QString::number(e.real, 'g', 15).toStdString());
                break;
            }
        }
        std::vector<quint32>().swap(m_ids);
        std::vector<RawEntry>().swap(m_entries);
        std::vector<quint32>().swap(m_textIds);
        m_texts = StringIndex();
        m_nullId = KeyIndex::Empty;
        m_lastText = KeyIndex::Empty;
        m_sortMode = true;
    }

    void addToRows(RowReader &reader, int column, RowReader::Type type)
    {
        switch (type) {
        case RowReader::Type::Null:
            appendNullRow();
            break;
        case RowReader::Type::Text:
            appendRow(reader.text(column));
            break;
        case RowReader::Type::Integer:
            // numbers among texts are items as texts, as in the hashed path
            m_rowsHoldNumbers = true;
            appendRow(std::to_string(reader.integer(column)));
            break;
        case RowReader::Type::Real: {
            const double v = reader.real(column);
            if (std::isnan(v)) {
                appendNullRow();
                break;
            }
            m_rowsHoldNumbers = true;
            appendRow(QString::number(v, 'g', 15).toStdString());
            break;
        }
        }
    }

    std::shared_ptr<DimensionColumn> finishRows()
    {
        const size_t n = m_rowLengths.size();
        std::vector<quint32> ids;
        ids.reserve(n);
        for (quint32 r = 0; r < n; ++r)
            if (m_rowLengths[r] != NullRow)
                ids.push_back(r);
        const bool hasNull = ids.size() < n;
        const std::vector<quint32> order =
            sortTextIds(ids, [this](quint32 r) { return rowText(r); });
        auto column = std::make_shared<DimensionColumn>();
        column->codes.assign(n, 0);
        TextPool pool;
        std::vector<std::string_view> unique;
        const quint32 base = hasNull ? 1 : 0;
        for (size_t k = 0; k < order.size(); ++k) {
            const std::string_view v = rowText(order[k]);
            if (unique.empty() || unique.back() != v)
                unique.push_back(v);
            column->codes[order[k]] = base + static_cast<quint32>(unique.size() - 1);
        }
        const bool dates = !m_rowsHoldNumbers && !unique.empty() &&
                           std::all_of(unique.begin(), unique.end(), isIsoDate);
        if (dates) {
            // ISO dates sort as text in date order
            std::vector<qint64> days;
            days.reserve(unique.size());
            for (std::string_view v : unique)
                days.push_back(data::storedDate(v).toJulianDay());
            column->dictionary =
                Dictionary::makeIntegers(std::move(days), hasNull, ValueKind::Date);
        } else {
            for (std::string_view v : unique)
                pool.append(v);
            column->dictionary = Dictionary::makeTexts(std::move(pool), hasNull);
        }
        std::vector<char>().swap(m_rowBytes);
        std::vector<size_t>().swap(m_rowStarts);
        std::vector<quint32>().swap(m_rowLengths);
        return column;
    }

    quint32 newEntry(const RawEntry &e)
    {
        m_entries.push_back(e);
        return static_cast<quint32>(m_entries.size() - 1);
    }
    quint32 intern(KeyIndex &index, quint64 key, std::vector<quint32> &ids, const RawEntry &e)
    {
        const quint32 k = index.insert(key);
        if (k == ids.size())
            ids.push_back(newEntry(e));
        return ids[k];
    }
    bool allTextsAreDates() const
    {
        for (quint32 t = 0; t < m_texts.size(); ++t) {
            if (!isIsoDate(m_texts.view(t)))
                return false;
        }
        return m_texts.size() > 0;
    }

    // Sorts the provisional values, merges equal ones and fills finalCode (provisional id ->
    // code); the null entry, if any, becomes code 0.
    template<typename T, typename Less = std::less<T>>
    std::vector<T> sortedCodes(const std::vector<T> &values, std::vector<quint32> &finalCode,
                               bool hasNull, Less less = Less())
    {
        std::vector<quint32> order;
        order.reserve(values.size());
        for (quint32 i = 0; i < values.size(); ++i)
            if (i != m_nullId)
                order.push_back(i);
        std::sort(order.begin(), order.end(),
                  [&](quint32 a, quint32 b) { return less(values[a], values[b]); });
        std::vector<T> unique;
        const quint32 base = hasNull ? 1 : 0;
        for (size_t k = 0; k < order.size(); ++k) {
            const T &v = values[order[k]];
            if (unique.empty() || less(unique.back(), v))
                unique.push_back(v);
            finalCode[order[k]] = base + static_cast<quint32>(unique.size() - 1);
        }
        if (hasNull)
            finalCode[m_nullId] = 0;
        return unique;
    }

    std::vector<RawEntry> m_entries;
    std::vector<quint32> m_ids;
    std::vector<double> m_values;
    KeyIndex m_ints{64};
    KeyIndex m_reals{64};
    StringIndex m_texts;
    std::vector<quint32> m_intIds;
    std::vector<quint32> m_realIds;
    std::vector<quint32> m_textIds;
    quint32 m_nullId = KeyIndex::Empty;
    quint32 m_lastText = KeyIndex::Empty;
    bool m_sortMode = false;
    bool m_rowsHoldNumbers = false;
    std::vector<char> m_rowBytes;
    std::vector<size_t> m_rowStarts;
    std::vector<quint32> m_rowLengths;
};

std::shared_ptr<DimensionColumn> derive(const DimensionColumn &base, DatePart part)
{
    const Dictionary &dict = base.dictionary;
    std::vector<int> partOfCode(dict.size(), -1);
    bool anyNull = false;
    for (quint32 c = 0; c < dict.size(); ++c) {
        QDate date;
        if (dict.kind() == ValueKind::Date && !dict.isNull(c))
            date = QDate::fromJulianDay(dict.m_ints[c - (dict.hasNull() ? 1 : 0)]);
        else if (dict.kind() == ValueKind::Text && !dict.isNull(c))
            date = data::fromStoredDate(dict.name(c));
        if (date.isValid())
            partOfCode[c] = datePart(part, date);
        else
            anyNull = true;
    }
    std::vector<qint64> values;
    for (int v : partOfCode)
        if (v >= 0)
            values.push_back(v);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    std::vector<quint32> map(dict.size());
    const quint32 base0 = anyNull ? 1 : 0;
    for (quint32 c = 0; c < dict.size(); ++c)
        map[c] = partOfCode[c] < 0
                     ? 0
                     : base0 + static_cast<quint32>(
                                   std::lower_bound(values.begin(), values.end(), partOfCode[c]) -
                                   values.begin());
    auto column = std::make_shared<DimensionColumn>();
    column->dictionary = Dictionary::makeIntegers(std::move(values), anyNull, ValueKind::Integer);
    column->codes.resize(base.codes.size());
    for (size_t i = 0; i < base.codes.size(); ++i)
        column->codes[i] = map[base.codes[i]];
    return column;
}

} // namespace

// Derived once per distinct date, so going through the database's own rule costs nothing and
// keeps the cube's weeks equal to what datepart gives in SQL.
int datePart(DatePart part, const QDate &date)
{
    static const QString intervals[] = {QString(), QStringLiteral("yyyy"), QStringLiteral("q"),
                                        QStringLiteral("m"), QStringLiteral("ww")};
    return data::datePart(intervals[static_cast<int>(part)], date).value_or(0);
}

std::optional<SourceBinding> bindSource(const QString &expression, const QStringList &columns,
                                        const CubeProperties &properties)
{
    const int direct = findColumn(expression, columns);
    if (direct >= 0)
        return SourceBinding{direct, DatePart::None};
    const std::pair<const QString *, DatePart> templates[] = {
        {&properties.sqlYearPart, DatePart::Year},
        {&properties.sqlQuarterPart, DatePart::Quarter},
        {&properties.sqlMonthPart, DatePart::Month},
        {&properties.sqlWeekPart, DatePart::Week},
    };
    for (const auto &[tmpl, part] : templates) {
        if (const auto arg = templateArgument(expression, *tmpl)) {
            const int column = findColumn(*arg, columns);
            if (column >= 0)
                return SourceBinding{column, part};
        }
    }
    return std::nullopt;
}

QString extraColumnName(int index)
{
    return u"_cube_"_s + QString::number(index);
}

QString withExtraColumns(const QString &recordSource, const QStringList &expressions)
{
    static const QRegularExpression select(u"^\\s*select(\\s+distinct)?\\s"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = select.match(recordSource);
    if (!m.hasMatch() || expressions.isEmpty())
        return recordSource;
    QString extra;
    for (int i = 0; i < expressions.size(); ++i)
        extra += expressions[i] + u" AS "_s + extraColumnName(i) + u", "_s;
    return recordSource.left(m.capturedEnd()) + extra + recordSource.mid(m.capturedEnd());
}

CubeData loadRows(RowReader &reader, const std::vector<FieldDefinition> &fields,
                  const CubeProperties &properties)
{
    QStringList columns;
    for (int i = 0; i < reader.columnCount(); ++i)
        columns << reader.columnName(i);

    std::vector<SourceBinding> bindings;
    std::vector<ColumnBuilder> builders(static_cast<size_t>(columns.size()));
    int extra = 0;
    for (const FieldDefinition &f : fields) {
        std::optional<SourceBinding> b = bindSource(f.sourceExpression, columns, properties);
        if (!b) {
            // expressions the caller moved into the select list come back under their own names
            const int column = columns.indexOf(extraColumnName(extra));
            if (column >= 0) {
                b = SourceBinding{column, DatePart::None};
                ++extra;
            }
        }
        if (!b)
            throw Error(ErrorNumber::DatabaseError,
                        u"Campo não encontrado na origem dos dados: "_s + f.sourceExpression,
                        Source);
        ColumnBuilder &builder = builders[static_cast<size_t>(b->column)];
        if (b->part != DatePart::None || f.orientation != Orientation::Data)
            builder.wantDimension = true;
        else
            builder.wantMeasure = true;
        bindings.push_back(*b);
    }

    std::vector<int> used;
    for (int c = 0; c < columns.size(); ++c)
        if (builders[c].wantDimension || builders[c].wantMeasure)
            used.push_back(c);

    size_t rows = 0;
    while (reader.next()) {
        for (int c : used)
            builders[static_cast<size_t>(c)].add(reader, c);
        ++rows;
    }

    std::vector<std::shared_ptr<DimensionColumn>> dimensions(builders.size());
    std::vector<std::shared_ptr<MeasureColumn>> measures(builders.size());
    for (int c : used) {
        if (builders[c].wantDimension)
            dimensions[c] = builders[c].finishDimension();
        if (builders[c].wantMeasure)
            measures[c] = builders[c].finishMeasure();
    }

    CubeData data;
    data.rowCount = rows;
    for (const SourceBinding &b : bindings) {
        FieldData fd;
        if (b.part != DatePart::None) {
            fd.dimension = derive(*dimensions[b.column], b.part);
        } else {
            fd.dimension = dimensions[b.column];
            fd.measure = measures[b.column];
        }
        data.fields.push_back(std::move(fd));
    }
    return data;
}

CubeData loadFromDatabase(const QSqlDatabase &db, const std::vector<FieldDefinition> &fields,
                          const CubeProperties &properties)
{
    std::unique_ptr<RowReader> reader = makeQueryReader(db, properties.recordSource);
    QStringList columns;
    for (int i = 0; i < reader->columnCount(); ++i)
        columns << reader->columnName(i);
    QStringList unbound;
    for (const FieldDefinition &f : fields)
        if (!bindSource(f.sourceExpression, columns, properties))
            unbound << f.sourceExpression;
    if (!unbound.isEmpty()) {
        reader.reset();
        reader = makeQueryReader(db, withExtraColumns(properties.recordSource, unbound));
    }
    return loadRows(*reader, fields, properties);
}

} // namespace tessal::cube
