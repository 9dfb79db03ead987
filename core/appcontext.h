#pragma once

#include "core/activitylog.h"
#include "core/clock.h"
#include "core/errorreport.h"
#include "core/session.h"

#include <QString>

namespace tessal {

class Dialogs;

// What every window is given: where the program lives, the clock, the dialogs, the session and
// the logs. The program builds one at start-up; each test builds its own.
class AppContext
{
public:
    AppContext(QString programDir, QString errorLogPath, const Clock &clock, Dialogs &dialogs);

    const QString &programDir() const { return m_programDir; }
    const Clock &clock() const { return m_clock; }
    Dialogs &dialogs() { return m_dialogs; }
    Session &session() { return m_session; }
    const Session &session() const { return m_session; }
    const ActivityLog &activityLog() const { return m_activityLog; }
    const ErrorLog &errorLog() const { return m_errorLog; }
    ErrorReporter &errors() { return m_errors; }

    // One activity-log record for the logged-in user; throws when the file cannot be written.
    void log(const QString &first, const QString &second = QStringLiteral("**")) const;

    QString configFilePath() const;

private:
    QString m_programDir;
    const Clock &m_clock;
    Dialogs &m_dialogs;
    Session m_session;
    ActivityLog m_activityLog;
    ErrorLog m_errorLog;
    ErrorReporter m_errors;
};

} // namespace tessal
