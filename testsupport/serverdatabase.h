#pragma once

#include "core/datasource.h"

#include <QString>
#include <optional>

namespace tessal::test {

// The test cluster scripts/run-tests.sh starts, named by TESSAL_TEST_PG_URI; nothing when the
// variable is not set (PostgreSQL is not installed), which the server half of a test reports by
// skipping with noServerReason().
std::optional<ServerAddress> testServer();
QString noServerReason();

// A database of its own on the test cluster, created empty for one test and dropped afterwards
// (this thread's connections to it are closed first), so tests run side by side.
class ScratchServerDatabase
{
public:
    ScratchServerDatabase();
    ~ScratchServerDatabase();
    ScratchServerDatabase(const ScratchServerDatabase &) = delete;
    ScratchServerDatabase &operator=(const ScratchServerDatabase &) = delete;

    // False when there is no test server, or the database could not be made (see error()).
    bool isValid() const { return m_address.has_value(); }
    QString error() const { return m_error; }
    const ServerAddress &address() const { return *m_address; }

private:
    std::optional<ServerAddress> m_address;
    QString m_error;
};

} // namespace tessal::test

// Skips the rest of a test, saying why, when there is no test server; fails when there is one but
// the scratch database could not be made.
#define TESSAL_REQUIRE_SERVER(scratch)                                                             \
    do {                                                                                           \
        if (!tessal::test::testServer())                                                           \
            QSKIP(qPrintable(tessal::test::noServerReason()));                                     \
        QVERIFY2((scratch).isValid(), qPrintable((scratch).error()));                              \
    } while (false)
