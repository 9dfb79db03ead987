#pragma once

#include "core/appcontext.h"
#include "core/clock.h"
#include "testsupport/scripteddialogs.h"

#include <QTemporaryDir>
#include <memory>

namespace tessal::test {

class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDateTime moment = QDateTime(QDate(2026, 12, 7), QTime(9, 5, 33)))
        : m_now(std::move(moment))
    {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &moment) { m_now = moment; }

private:
    QDateTime m_now;
};

// A fresh program directory with its own context, clock and scripted dialogs.
struct TestContext
{
    TestContext();

    QString programDir() const { return dir.path(); }
    QString errorLogPath() const;

    QTemporaryDir dir;
    FixedClock clock;
    ScriptedDialogs dialogs;
    std::unique_ptr<AppContext> context;
};

} // namespace tessal::test
