#include "testsupport/benchdata.h"

#include "data/database.h"
#include "data/demodata.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace tessal::bench {

void generateMillionEntryData(const QString &dir)
{
    data::DemoOptions options;
    options.entries = 1'000'000;
    options.accounts = 20;
    options.days = 3650;
    options.lastDate = QDate(2026, 6, 30);
    data::generateDemoData(dir, options);
}

QString millionEntryDataDirectory(const QTemporaryDir &scratch)
{
    const QString given = qEnvironmentVariable("TESSAL_BENCH_DATA_DIR");
    if (!given.isEmpty() && QFileInfo::exists(data::cashDatabasePath(given)))
        return given;
    if (!scratch.isValid())
        return {};
    std::fprintf(stderr, "# generating the million-entry database\n");
    generateMillionEntryData(scratch.path());
    return scratch.path();
}

} // namespace tessal::bench
