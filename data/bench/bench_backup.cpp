// The backup's figures for `make bench`, one per line as `name: value unit`, on the million-entry
// data directory (TESSAL_BENCH_DATA_DIR, or one generated here). That directory is shared with
// the other benchmarks and is never written: the program's files are copied into a scratch
// directory first and the backups are taken from there, with a connection holding them open in
// WAL mode as the running program does.

#include "core/error.h"
#include "data/backup.h"
#include "data/database.h"
#include "testsupport/benchdata.h"
#include "testsupport/benchfigures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

using namespace tessal;
using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir generated;
    QTemporaryDir scratch;
    const QString source = bench::millionEntryDataDirectory(generated);
    if (source.isEmpty() || !scratch.isValid())
        return 1;
    const QString dataDir = QDir(scratch.path()).filePath(u"dados"_s);
    const QString target = QDir(scratch.path()).filePath(u"copias"_s);
    try {
        if (!QDir().mkpath(dataDir) || !QDir().mkpath(target))
            return 1;
        for (const QString &name : {u"caixa.mdb"_s, u"MENU.mdb"_s})
            if (!QFile::copy(QDir(source).filePath(name), QDir(dataDir).filePath(name)))
                return 1;
        data::openDatabase(data::cashDatabasePath(dataDir));
        data::openDatabase(data::menuDatabasePath(dataDir), data::DatabaseKind::Menu);

        // Three backups, each into a folder of its own second; the median is the figure.
        std::vector<double> times;
        QString last;
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer timer;
            timer.start();
            last =
                data::takeBackup(dataDir, target, QDateTime(QDate(2026, 12, 9), QTime(8, 0, run)));
            times.push_back(bench::msSince(timer));
        }
        bench::print("backup_1m_entries_ms", bench::median(times), "ms",
                     "median of 3 full backups (both databases copied online, then verified with "
                     "integrity_check before the rename); target <= 5000 ms");

        QElapsedTimer timer;
        timer.start();
        const data::BackupInfo info = data::verifyBackup(last);
        bench::print("backup_verify_1m_entries_ms", bench::msSince(timer), "ms",
                     "verification of one backup alone, as the restore window does on a pick");
        bench::printCount("backup_1m_entries_count", info.entries);

        timer.restart();
        data::restoreBackup(last, dataDir, QDateTime(QDate(2026, 12, 9), QTime(9, 0, 0)));
        bench::print("restore_1m_entries_ms", bench::msSince(timer), "ms",
                     "restore of one backup: verification, staging copies, the swap and the "
                     "schema check");
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    data::closeDatabase(data::cashDatabasePath(dataDir));
    data::closeDatabase(data::menuDatabasePath(dataDir));
    return 0;
}
