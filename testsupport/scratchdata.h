#pragma once

#include "testsupport/serverdatabase.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace tessal::test {

// Which engine this run of a database-facing test is for. Such tests are registered twice (see
// tessal_add_test's BOTH_ENGINES): once as they are, on SQLite files, and once with
// TESSAL_TEST_ENGINE=postgresql, on a scratch database of the test cluster.
bool testsOnServer();

// "SQLite" or "PostgreSQL", for messages.
QString testEngineName();

// A data source for one test on this run's engine, with the cash schema made and nothing else
// seeded beyond what the schema itself seeds: a data directory in a temporary directory, or a
// scratch database named by its URI. dataDirectory() is what sys.ini's last line would hold;
// cashPath() and menuPath() are what data::openDatabase takes (both the URI on a server).
class ScratchDataSource
{
public:
    ScratchDataSource();
    ~ScratchDataSource();
    ScratchDataSource(const ScratchDataSource &) = delete;
    ScratchDataSource &operator=(const ScratchDataSource &) = delete;

    // False when this run is for the server and there is none (see skipReason()), or the
    // database could not be made (see error()).
    bool isValid() const { return m_error.isEmpty() && !m_dataDirectory.isEmpty(); }
    bool skipped() const { return m_skipped; }
    QString error() const { return m_error; }

    bool onServer() const { return m_server != nullptr; }
    const QString &dataDirectory() const { return m_dataDirectory; }
    QString cashPath() const;
    QString menuPath() const;

private:
    std::optional<QTemporaryDir> m_dir;
    std::unique_ptr<ScratchServerDatabase> m_server;
    QString m_dataDirectory;
    QString m_error;
    bool m_skipped = false;
};

} // namespace tessal::test

// Skips the rest of a test, saying why, when this is the server run and there is no test server;
// fails when the data source could not be made.
#define TESSAL_REQUIRE_DATA_SOURCE(source)                                                         \
    do {                                                                                           \
        if ((source).skipped())                                                                    \
            QSKIP(qPrintable(tessal::test::noServerReason()));                                     \
        QVERIFY2((source).isValid(), qPrintable((source).error()));                                \
    } while (false)
