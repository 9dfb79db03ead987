#pragma once

#include <QString>

class QTemporaryDir;

namespace tessal::bench {

// The data directory of the million-entry benchmarks: the one TESSAL_BENCH_DATA_DIR names when it
// holds a cash database (scripts/run-benchmarks.sh generates it once for every benchmark), else
// one generated into `scratch`. Empty when it could not be made.
QString millionEntryDataDirectory(const QTemporaryDir &scratch);

// Writes the million-entry demo data (20 accounts over ten years ending 30/06/2026) into `dir`.
void generateMillionEntryData(const QString &dir);

} // namespace tessal::bench
