#include "cube/pivot.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tessal::cube {

namespace {

// Above these sizes a flat lookup table costs more memory than it saves time.
constexpr quint64 FlatKeyLimit = quint64(1) << 22;
constexpr quint64 DenseCellLimit = quint64(1) << 22;

// Sums of cents wrap around instead of overflowing: amounts the loader keeps in cents are at most
// 9e15 cents each, so only a crafted cube file reaches the limit, and there the sum must be
// wrong, not undefined behaviour.
inline void addCents(qint64 &sum, qint64 value)
{
    sum = static_cast<qint64>(static_cast<quint64>(sum) + static_cast<quint64>(value));
}

} // namespace

void CellTable::init(quint32 rows, quint32 columns, const std::vector<DataInput> &data,
                     size_t expected)
{
    m_rows = rows;
    m_columns = columns;
    m_dense = quint64(rows) * columns <= DenseCellLimit;
    m_slotOf.clear();
    m_isMoney.clear();
    size_t moneyCount = 0, realCount = 0;
    for (const DataInput &d : data) {
        const bool money = !d.count && d.measure && d.measure->inCents;
        m_isMoney.push_back(money);
        if (d.count || !d.measure)
            m_slotOf.push_back(-1);
        else
            m_slotOf.push_back(static_cast<int>(money ? moneyCount++ : realCount++));
    }
    m_money.assign(moneyCount, {});
    m_reals.assign(realCount, {});
    if (m_dense) {
        growTo(size_t(rows) * columns);
    } else {
        m_index = KeyIndex(expected);
        m_counts.reserve(expected);
    }
}

void CellTable::growTo(size_t n)
{
    m_counts.resize(n, 0);
    for (auto &v : m_money)
        v.resize(n, 0);
    for (auto &v : m_reals)
        v.resize(n, 0.0);
}

quint32 CellTable::slot(quint32 r, quint32 c)
{
    if (m_dense)
        return r * m_columns + c;
    const quint32 id = m_index.insert(quint64(r) * m_columns + c);
    if (id >= m_counts.size())
        growTo(size_t(id) + 1);
    return id;
}

quint32 CellTable::cellRow(size_t id) const
{
    return m_dense ? static_cast<quint32>(id / m_columns)
                   : static_cast<quint32>(m_index.keys()[id] / m_columns);
}

quint32 CellTable::cellColumn(size_t id) const
{
    return m_dense ? static_cast<quint32>(id % m_columns)
                   : static_cast<quint32>(m_index.keys()[id] % m_columns);
}

double CellTable::value(size_t id, size_t d) const
{
    const int s = m_slotOf[d];
    if (s < 0)
        return static_cast<double>(m_counts[id]);
    if (m_isMoney[d])
        return static_cast<double>(m_money[static_cast<size_t>(s)][id]) / 100.0;
    return m_reals[static_cast<size_t>(s)][id];
}

Aggregation::Aggregation(const AggregationInput &input)
    : m_rowCount(input.rowCount)
    , m_data(input.dataFields)
{
    const size_t n = m_rowCount;
    std::vector<quint8> mask;
    if (!input.filters.empty()) {
        mask.assign(n, 1);
        for (const auto &[dim, included] : input.filters) {
            const quint32 *codes = dim->codes.data();
            const quint8 *inc = included.data();
            for (size_t i = 0; i < n; ++i)
                mask[i] &= inc[codes[i]];
        }
    }
    const quint8 *maskPtr = mask.empty() ? nullptr : mask.data();
    group(m_rows, input.rowFields, maskPtr);
    group(m_columns, input.columnFields, maskPtr);

    const quint32 R = m_rows.groupCount[size_t(m_rows.levels)];
    const quint32 C = m_columns.groupCount[size_t(m_columns.levels)];
    auto leaf = std::make_unique<CellTable>();
    leaf->init(R, C, m_data, std::min<size_t>(n, size_t(R) * C) / 4 + 16);
    m_rows.hits.assign(R, 0);
    m_columns.hits.assign(C, 0);

    std::vector<quint32> cellOf(n);
    const quint32 *rl = m_rows.leafOfRow;
    const quint32 *cl = m_columns.leafOfRow;
    quint32 *counts = leaf->dense() ? leaf->m_counts.data() : nullptr;
    for (size_t i = 0; i < n; ++i) {
        const quint32 r = rl ? rl[i] : 0;
        const quint32 c = cl ? cl[i] : 0;
        if ((maskPtr && !maskPtr[i]) || r == NoGroup || c == NoGroup) {
            cellOf[i] = NoGroup;
            continue;
        }
        quint32 id;
        if (counts) {
            id = r * C + c;
            ++counts[id];
        } else {
            id = leaf->slot(r, c);
            ++leaf->m_counts[id];
        }
        cellOf[i] = id;
        ++m_rows.hits[r];
        ++m_columns.hits[c];
    }
    for (size_t d = 0; d < m_data.size(); ++d) {
        const int s = leaf->m_slotOf[d];
        if (s < 0)
            continue;
        const quint32 *cell = cellOf.data();
        if (leaf->m_isMoney[d]) {
            qint64 *sums = leaf->m_money[size_t(s)].data();
            const qint64 *v = m_data[d].measure->cents.data();
            for (size_t i = 0; i < n; ++i)
                if (cell[i] != NoGroup)
                    addCents(sums[cell[i]], v[i]);
        } else {
            double *sums = leaf->m_reals[size_t(s)].data();
            const double *v = m_data[d].measure->reals.data();
            for (size_t i = 0; i < n; ++i)
                if (cell[i] != NoGroup)
                    sums[cell[i]] += v[i];
        }
    }
    m_tables[{m_rows.levels, m_columns.levels}] = std::move(leaf);
    // the per-row groups served this pass only; cached aggregations keep just their results
    for (AxisGroups *axis : {&m_rows, &m_columns}) {
        std::vector<quint32>().swap(axis->ownLeaf);
        axis->leafOfRow = nullptr;
    }
}

void Aggregation::group(AxisGroups &axis, const std::vector<const DimensionColumn *> &fields,
                        const quint8 *mask)
{
    const size_t n = m_rowCount;
    const int levels = static_cast<int>(fields.size());
    axis.levels = levels;
    axis.groupCount.assign(size_t(levels) + 1, 0);
    axis.parent.assign(size_t(levels) + 1, {});
    axis.code.assign(size_t(levels) + 1, {});
    axis.groupCount[0] = 1;
    axis.leafOfRow = nullptr;
    if (levels > 0) {
        // the first level's groups are its codes: no pass over the rows at all
        const DimensionColumn *first = fields[0];
        const quint32 card = first->dictionary.size();
        axis.groupCount[1] = card;
        axis.parent[1].assign(card, 0);
        axis.code[1].resize(card);
        std::iota(axis.code[1].begin(), axis.code[1].end(), 0u);
        axis.leafOfRow = first->codes.data();
    }
    for (int p = 2; p <= levels; ++p) {
        const DimensionColumn *field = fields[size_t(p) - 1];
        const quint32 *codes = field->codes.data();
        const quint64 card = field->dictionary.size();
        const quint64 keySpace = quint64(axis.groupCount[size_t(p) - 1]) * card;
        const quint32 *prev = axis.leafOfRow;
        std::vector<quint32> out(n);
        std::vector<quint64> keys;
        if (keySpace <= FlatKeyLimit) {
            std::vector<quint32> flat(keySpace, NoGroup);
            for (size_t i = 0; i < n; ++i) {
                const quint32 g = prev[i];
                if (g == NoGroup || (mask && !mask[i])) {
                    out[i] = NoGroup;
                    continue;
                }
                const quint64 k = g * card + codes[i];
                quint32 id = flat[k];
                if (id == NoGroup) {
                    id = flat[k] = static_cast<quint32>(keys.size());
                    keys.push_back(k);
                }
                out[i] = id;
            }
        } else {
            KeyIndex index(1024);
            for (size_t i = 0; i < n; ++i) {
                const quint32 g = prev[i];
                if (g == NoGroup || (mask && !mask[i])) {
                    out[i] = NoGroup;
                    continue;
                }
                out[i] = index.insert(g * card + codes[i]);
            }
            keys = index.keys();
        }
        axis.groupCount[size_t(p)] = static_cast<quint32>(keys.size());
        axis.parent[size_t(p)].resize(keys.size());
        axis.code[size_t(p)].resize(keys.size());
        for (size_t g = 0; g < keys.size(); ++g) {
            axis.parent[size_t(p)][g] = static_cast<quint32>(keys[g] / card);
            axis.code[size_t(p)][g] = static_cast<quint32>(keys[g] % card);
        }
        axis.ownLeaf = std::move(out);
        axis.leafOfRow = axis.ownLeaf.data();
    }
    const quint32 leaves = axis.groupCount[size_t(levels)];
    axis.ancestor.assign(size_t(levels) + 1, {});
    axis.ancestor[size_t(levels)].resize(leaves);
    std::iota(axis.ancestor[size_t(levels)].begin(), axis.ancestor[size_t(levels)].end(), 0u);
    for (int p = levels; p >= 1; --p) {
        std::vector<quint32> &up = axis.ancestor[size_t(p) - 1];
        up.resize(leaves);
        const std::vector<quint32> &cur = axis.ancestor[size_t(p)];
        const std::vector<quint32> &par = axis.parent[size_t(p)];
        for (quint32 g = 0; g < leaves; ++g)
            up[g] = par[cur[g]];
    }
}

const CellTable &Aggregation::table(int p, int q) const
{
    auto it = m_tables.find({p, q});
    if (it != m_tables.end())
        return *it->second;
    const CellTable &leaf = *m_tables.at({m_rows.levels, m_columns.levels});
    auto t = std::make_unique<CellTable>();
    const quint32 R = m_rows.groupCount[size_t(p)];
    const quint32 C = m_columns.groupCount[size_t(q)];
    t->init(R, C, m_data, std::min<size_t>(leaf.slotCount(), size_t(R) * C) + 16);
    const std::vector<quint32> &rowUp = m_rows.ancestor[size_t(p)];
    const std::vector<quint32> &colUp = m_columns.ancestor[size_t(q)];
    for (size_t id = 0; id < leaf.slotCount(); ++id) {
        const quint32 cnt = leaf.m_counts[id];
        if (!cnt)
            continue;
        const quint32 s = t->slot(rowUp[leaf.cellRow(id)], colUp[leaf.cellColumn(id)]);
        t->m_counts[s] += cnt;
        for (size_t m = 0; m < leaf.m_money.size(); ++m)
            addCents(t->m_money[m][s], leaf.m_money[m][id]);
        for (size_t m = 0; m < leaf.m_reals.size(); ++m)
            t->m_reals[m][s] += leaf.m_reals[m][id];
    }
    const CellTable &ref = *t;
    m_tables[{p, q}] = std::move(t);
    return ref;
}

quint32 itemCodeAt(const AxisGroups &axis, int prefix, quint32 group, int level)
{
    int p = prefix;
    quint32 g = group;
    while (p > level + 1) {
        g = axis.parent[size_t(p)][g];
        --p;
    }
    return axis.code[size_t(level) + 1][g];
}

std::vector<AxisEntry> layoutAxis(const Aggregation &aggregation, bool rowAxis, int shownLevels,
                                  const std::vector<LevelSettings> &levels)
{
    const AxisGroups &axis = rowAxis ? aggregation.rows() : aggregation.columns();
    const int L = std::min(shownLevels, axis.levels);
    std::vector<AxisEntry> entries;
    if (L <= 0) {
        entries.push_back({0, 0, false});
        return entries;
    }
    const quint32 count = axis.groupCount[size_t(L)];
    std::vector<quint64> hits(count, 0);
    {
        const std::vector<quint32> &up = axis.ancestor[size_t(L)];
        for (size_t leaf = 0; leaf < axis.hits.size(); ++leaf)
            hits[up[leaf]] += axis.hits[leaf];
    }
    // ancestors of the shown groups at every prefix length
    std::vector<std::vector<quint32>> anc(static_cast<size_t>(L) + 1);
    anc[size_t(L)].resize(count);
    std::iota(anc[size_t(L)].begin(), anc[size_t(L)].end(), 0u);
    for (int p = L; p >= 1; --p) {
        anc[size_t(p) - 1].resize(count);
        for (quint32 g = 0; g < count; ++g)
            anc[size_t(p) - 1][g] = axis.parent[size_t(p)][anc[size_t(p)][g]];
    }
    // one sort key per level and prefix group; ties fall back to the items' natural order
    std::vector<std::vector<double>> keys(static_cast<size_t>(L));
    for (int l = 0; l < L; ++l) {
        const LevelSettings &s = levels[size_t(l)];
        const quint32 groups = axis.groupCount[size_t(l) + 1];
        if (s.ranking != RankingMode::None && s.rankingData >= 0 &&
            size_t(s.rankingData) < aggregation.dataFieldCount()) {
            const CellTable &t =
                rowAxis ? aggregation.table(l + 1, 0) : aggregation.table(0, l + 1);
            keys[size_t(l)].resize(groups);
            for (quint32 a = 0; a < groups; ++a) {
                const qint64 id = rowAxis ? t.find(a, 0) : t.find(0, a);
                const double v = id < 0 ? 0.0 : t.value(size_t(id), size_t(s.rankingData));
                keys[size_t(l)][a] = s.ranking == RankingMode::Descending ? -v : v;
            }
        } else if (!s.captionRank.empty()) {
            keys[size_t(l)].resize(groups);
            for (quint32 a = 0; a < groups; ++a)
                keys[size_t(l)][a] = s.captionRank[axis.code[size_t(l) + 1][a]];
        }
    }
    std::vector<quint32> order;
    order.reserve(count);
    for (quint32 g = 0; g < count; ++g)
        if (hits[g])
            order.push_back(g);
    std::sort(order.begin(), order.end(), [&](quint32 x, quint32 y) {
        for (int l = 0; l < L; ++l) {
            const quint32 ax = anc[size_t(l) + 1][x], ay = anc[size_t(l) + 1][y];
            if (ax == ay)
                continue;
            const std::vector<double> &k = keys[size_t(l)];
            if (!k.empty()) {
                // A ranked total can be NaN (the sum of +inf and -inf amounts), and < with a NaN
                // is no strict weak order, which std::sort needs. NaN ranks after every number in
                // both directions (negating it for the descending order keeps it NaN) and ties
                // with other NaNs, which then follow the natural order like any tie.
                const double a = k[ax], b = k[ay];
                const bool nanA = std::isnan(a), nanB = std::isnan(b);
                if (nanA != nanB)
                    return nanB;
                if (!nanA && a != b)
                    return a < b;
            }
            return axis.code[size_t(l) + 1][ax] < axis.code[size_t(l) + 1][ay];
        }
        return false;
    });
    entries.reserve(order.size() + 16);
    auto closeGroups = [&](quint32 last, int downTo) {
        for (int i = L - 1; i >= downTo; --i)
            if (levels[size_t(i)].footer)
                entries.push_back({i, anc[size_t(i)][last], true});
    };
    for (size_t k = 0; k < order.size(); ++k) {
        const quint32 g = order[k];
        if (k > 0) {
            const quint32 prev = order[k - 1];
            int d = 0;
            while (d < L && anc[size_t(d) + 1][prev] == anc[size_t(d) + 1][g])
                ++d;
            closeGroups(prev, d + 1);
        }
        entries.push_back({L, g, false});
    }
    if (!order.empty())
        closeGroups(order.back(), 0);
    return entries;
}

} // namespace tessal::cube
