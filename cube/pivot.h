#pragma once

#include "cube/columnstore.h"
#include "cube/cubetypes.h"
#include "cube/hashindex.h"

#include <map>
#include <memory>
#include <vector>

namespace tessal::cube {

inline constexpr quint32 NoGroup = 0xffffffffu;

// One data field as the aggregation sees it: a count of rows, or a sum of a measure.
struct DataInput
{
    bool count = false;
    const MeasureColumn *measure = nullptr;
};

struct AggregationInput
{
    size_t rowCount = 0;
    std::vector<const DimensionColumn *> rowFields;    // outermost first
    std::vector<const DimensionColumn *> columnFields; // outermost first
    // fields with excluded items: a row is kept when every one includes its item
    std::vector<std::pair<const DimensionColumn *, std::vector<quint8>>> filters;
    std::vector<DataInput> dataFields;
};

// Aggregated values of the cells of one grid: R row groups by C column groups, each cell with its
// row count and one sum per data field. Dense when R x C is small, hashed otherwise.
class CellTable
{
public:
    void init(quint32 rows, quint32 columns, const std::vector<DataInput> &data, size_t expected);

    qint64 find(quint32 r, quint32 c) const
    {
        if (m_dense) {
            const size_t id = size_t(r) * m_columns + c;
            return m_counts[id] ? qint64(id) : -1;
        }
        const quint32 id = m_index.find(quint64(r) * m_columns + c);
        return id == KeyIndex::Empty ? -1 : qint64(id);
    }
    quint32 slot(quint32 r, quint32 c);
    size_t slotCount() const { return m_counts.size(); }
    quint32 cellRow(size_t id) const;
    quint32 cellColumn(size_t id) const;
    bool dense() const { return m_dense; }

    // value of data field d in cell id, as the engine shows it
    double value(size_t id, size_t d) const;

    std::vector<quint32> m_counts;
    std::vector<std::vector<qint64>> m_money; // per money data field
    std::vector<std::vector<double>> m_reals; // per non-money data field
    std::vector<int> m_slotOf;                // data field -> slot in m_money / m_reals; -1 count
    std::vector<bool> m_isMoney;
    KeyIndex m_index{16};
    quint32 m_rows = 0;
    quint32 m_columns = 0;
    bool m_dense = true;

    void growTo(size_t n);
};

// The groups of one axis: for each prefix length p (0 = everything, levels = full tuples) the
// distinct prefixes that occur, each with its parent prefix and its own item code.
struct AxisGroups
{
    int levels = 0;
    std::vector<quint32> groupCount;            // [p]
    std::vector<std::vector<quint32>> parent;   // [p][g] group at p - 1 (p >= 1)
    std::vector<std::vector<quint32>> code;     // [p][g] item code at level p - 1 (p >= 1)
    std::vector<std::vector<quint32>> ancestor; // [p][leaf group] group at p
    std::vector<quint64> hits;                  // rows per leaf group
    // per source row while the aggregation is built (null: all in group 0); released after
    std::vector<quint32> ownLeaf;
    const quint32 *leafOfRow = nullptr;

    quint32 ancestorOf(int p, quint32 leaf) const { return ancestor[p][leaf]; }
};

class Aggregation
{
public:
    explicit Aggregation(const AggregationInput &input);

    const AxisGroups &rows() const { return m_rows; }
    const AxisGroups &columns() const { return m_columns; }
    // cells of row prefixes of length p by column prefixes of length q
    const CellTable &table(int p, int q) const;
    size_t dataFieldCount() const { return m_data.size(); }

private:
    void group(AxisGroups &axis, const std::vector<const DimensionColumn *> &fields,
               const quint8 *mask);

    size_t m_rowCount = 0;
    std::vector<DataInput> m_data;
    AxisGroups m_rows;
    AxisGroups m_columns;
    mutable std::map<std::pair<int, int>, std::unique_ptr<CellTable>> m_tables;
};

// How one level of an axis orders its items and whether it closes its groups with a total line.
struct LevelSettings
{
    bool footer = false;
    RankingMode ranking = RankingMode::None;
    int rankingData = -1;             // index into the aggregation's data fields
    std::vector<quint32> captionRank; // per code, when ordered by caption; empty otherwise
};

// A line of an axis as shown: the items of a prefix of length `prefix`, or the total line of
// the field at level `prefix` (0-based) closing the group `group` of prefix length `prefix`.
struct AxisEntry
{
    int prefix = 0;
    quint32 group = 0;
    bool total = false;
};

// Lays out one axis: groups of the shown depth in order, with their total lines.
// `shownLevels` is how deep the axis is expanded (collapsed fields stop it).
std::vector<AxisEntry> layoutAxis(const Aggregation &aggregation, bool rowAxis, int shownLevels,
                                  const std::vector<LevelSettings> &levels);

// Item code at level `level` (0-based) of the group `group` of prefix length `prefix`.
quint32 itemCodeAt(const AxisGroups &axis, int prefix, quint32 group, int level);

} // namespace tessal::cube
