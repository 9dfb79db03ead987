#include "testsupport/benchfigures.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace tessal::bench {

void print(const char *name, double value, const char *unit, const char *note)
{
    if (note)
        std::printf("# %s: %s\n", name, note);
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

void printCount(const char *name, qint64 value, const char *note)
{
    if (note)
        std::printf("# %s: %s\n", name, note);
    std::printf("%s: %lld\n", name, static_cast<long long>(value));
    std::fflush(stdout);
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double cpuMs()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

} // namespace tessal::bench
