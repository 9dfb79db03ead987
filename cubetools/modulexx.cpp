#include "cubetools/modulexx.h"

#include "cube/chartdata.h"
#include "cube/cube.h"
#include "cubetools/mschart.h"

namespace tessal::cube::ModuleXX {

void FillChartFromCube(const Cube &cube, MSChart &chart)
{
    chart.setShowLegend(true);
    chart.setChartData(fillChartFromCube(cube));
}

bool HasSeveralVisibleDataFields(const Cube &cube)
{
    return hasSeveralVisibleDataFields(cube);
}

} // namespace tessal::cube::ModuleXX
