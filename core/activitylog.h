#pragma once

#include "core/clock.h"

#include <QString>

namespace tessal {

// One text file per user and day in the program directory, appended to by every notable action
// and read back by the log viewer.
class ActivityLog
{
public:
    ActivityLog(QString programDir, const Clock &clock);

    // "FC" + user code as stored + ddMMyy + ".log"
    static QString fileName(const QString &userCode, const QDate &day);
    // The wildcard of one user's files, for the log viewer.
    static QString filePattern(const QString &userCode);

    QString filePath(const QString &userCode, const QDate &day) const;

    // Throws tessal::Error when the file cannot be written; the caller's handler reports it.
    void write(const QString &userCode, const QString &userName, const QString &first,
               const QString &second) const;

private:
    QString m_programDir;
    const Clock &m_clock;
};

// "dd/MM/yyyy" and "hh:mm.ss", as both logs write them.
QString logDate(const QDateTime &moment);
QString logTime(const QDateTime &moment);

} // namespace tessal
