#pragma once

// What the benchmarks share: figures printed exactly as "name: value unit" (how one was
// measured on a comment line before it), timings, medians and the process's memory.

#include <QElapsedTimer>
#include <QtGlobal>
#include <vector>

namespace tessal::bench {

void print(const char *name, double value, const char *unit, const char *note = nullptr);
void printCount(const char *name, qint64 value, const char *note = nullptr);
double msSince(const QElapsedTimer &timer);
// 0 for no values.
double median(std::vector<double> values);
// Resident memory of this process (VmRSS), in MB.
double residentMb();
// Processor time of this process, user and system, in ms.
double cpuMs();

} // namespace tessal::bench
