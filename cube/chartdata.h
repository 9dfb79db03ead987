#pragma once

#include <QList>
#include <QVariant>

namespace tessal::cube {

class Cube;

// What FillChartFromCube hands to a chart: element [0][0] empty, [i][0] the label of chart row i
// (a category), [0][j] the label of chart column j (a series), [i][j] a cell value as a double.
// The shorter side of the selection gives the categories; a tie puts the cube columns there.
struct ChartData
{
    QList<QVariantList> array;
    bool cubeRowsAreChartRows = false;
    int chartRows() const { return array.isEmpty() ? 0 : int(array.size()) - 1; }
    int chartColumns() const { return array.isEmpty() ? 0 : int(array.first().size()) - 1; }
};

// Built from the cube's current selection.
ChartData fillChartFromCube(const Cube &cube);

// True when more than one data field of the cube is visible.
bool hasSeveralVisibleDataFields(const Cube &cube);

} // namespace tessal::cube
