#pragma once

#include "cube/cubetypes.h"

namespace tessal::cube {

// The analysis window's cube over the ledger entries: sum of entry values by year (rows) and
// month (columns), with the other eight dimensions as page fields. `databasePath` becomes
// DatabaseName.
CubeDefinition analysisCubeDefinition(const QString &databasePath = QString());

} // namespace tessal::cube
