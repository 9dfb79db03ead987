#include "core/appcontext.h"

#include "core/config.h"

namespace tessal {

AppContext::AppContext(QString programDir, QString errorLogPath, const Clock &clock,
                       Dialogs &dialogs)
    : m_programDir(std::move(programDir))
    , m_clock(clock)
    , m_dialogs(dialogs)
    , m_activityLog(m_programDir, clock)
    , m_errorLog(std::move(errorLogPath), clock)
    , m_errors(dialogs, m_errorLog, m_session)
{
    m_session.setLocalFilesDirectory(
        joinPath(m_programDir, QString::fromUtf16(kLocalFilesDirectory)));
}

void AppContext::log(const QString &first, const QString &second) const
{
    m_activityLog.write(m_session.userCode(), m_session.userName(), first, second);
}

QString AppContext::configFilePath() const
{
    return tessal::configFilePath(m_programDir);
}

} // namespace tessal
