#pragma once

namespace tessal::cube {

class Cube;
class MSChart;

// The routines the analysis tools share.
namespace ModuleXX {

// Gives the chart the cube's current selection as its data, with the legend on. Throws
// tessal::Error when the cube cannot give it.
void FillChartFromCube(const Cube &cube, MSChart &chart);

// True when more than one data field of the cube is visible.
bool HasSeveralVisibleDataFields(const Cube &cube);

} // namespace ModuleXX

} // namespace tessal::cube
