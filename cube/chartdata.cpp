#include "cube/chartdata.h"

#include "cube/cube.h"

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString Separator = u" - "_s;

// Heading texts of levels 1..depth, each after the first preceded by " - ".
QString joined(const Cube &cube, bool columns, int index, int depth)
{
    QString label;
    for (int level = 1; level <= depth; ++level) {
        if (level > 1)
            label += Separator;
        label += columns ? cube.columnHeadingText(level, index) : cube.rowHeadingText(level, index);
    }
    return label;
}

int steps(int from, int to, const std::function<int(int)> &next)
{
    int count = 0;
    for (int i = from; i < to;) {
        i = next(i);
        if (i < 0)
            break;
        ++count;
    }
    return count;
}

} // namespace

bool hasSeveralVisibleDataFields(const Cube &cube)
{
    const FieldCollection data = cube.dataFields();
    const int n = data.count();
    if (n < 2)
        return false;
    int hidden = 0;
    for (int i = 0; i < n; ++i)
        if (!data.item(i)->isVisible())
            ++hidden;
    return hidden == 0 || n - hidden > 1;
}

ChartData fillChartFromCube(const Cube &cube)
{
    const Selection &s = cube.selection();
    const int c1 = std::min(s.column1, s.column2), c2 = std::max(s.column1, s.column2);
    const int r1 = std::min(s.row1, s.row2), r2 = std::max(s.row1, s.row2);
    const int sR = steps(r1, r2, [&cube](int r) { return cube.nextRow(r); });
    const int sC = steps(c1, c2, [&cube](int c) { return cube.nextColumn(c); });
    ChartData chart;
    chart.cubeRowsAreChartRows = sR < sC;
    const int nR = sR + 1, nC = sC + 1;
    const int A = chart.cubeRowsAreChartRows ? nR : nC;
    const int B = chart.cubeRowsAreChartRows ? nC : nR;
    chart.array = QList<QVariantList>(A + 1, QVariantList(B + 1));
    auto put = [&chart](int i, int j, const QVariant &v) {
        if (i < chart.array.size() && j < chart.array[i].size())
            chart.array[i][j] = v;
    };

    const bool several = hasSeveralVisibleDataFields(cube);
    const int K = cube.columnFields().count();
    std::vector<int> columns, rows;
    for (int c = c1; c >= 0 && c <= c2; c = cube.nextColumn(c))
        columns.push_back(c);
    for (int r = r1; r >= 0 && r <= r2; r = cube.nextRow(r))
        rows.push_back(r);

    for (size_t k = 0; k < columns.size(); ++k) {
        const int c = columns[k];
        const int n = int(k) + 1;
        const int depth = cube.columnDepth(c);
        const QString label = several ? joined(cube, true, c, depth - 1) + Separator +
                                            cube.columnHeadingText(K + 1, c)
                                      : joined(cube, true, c, depth);
        if (chart.cubeRowsAreChartRows)
            put(0, n, label);
        else
            put(n, 0, label);
    }
    for (size_t k = 0; k < rows.size(); ++k) {
        const int r = rows[k];
        const int n = int(k) + 1;
        const QString label = joined(cube, false, r, cube.rowDepth(r));
        if (chart.cubeRowsAreChartRows)
            put(n, 0, label);
        else
            put(0, n, label);
    }
    for (size_t kc = 0; kc < columns.size(); ++kc) {
        for (size_t kr = 0; kr < rows.size(); ++kr) {
            const double v = cube.cellValue(columns[kc], rows[kr]).toDouble();
            const int n = int(kc) + 1, m = int(kr) + 1;
            if (chart.cubeRowsAreChartRows)
                put(m, n, v);
            else
                put(n, m, v);
        }
    }
    return chart;
}

} // namespace tessal::cube
