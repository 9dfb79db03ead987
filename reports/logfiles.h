#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

namespace tessal::reports {

// The activity-log files of one user in the program directory, newest day first. Only names of
// the exact shape the activity log writes ("FC" + the user's code + ddMMyy + ".log") are listed:
// another user's files, whose codes begin with this one's, and the error log never are.
QStringList userLogFiles(const QString &programDir, const QString &userCode);

// The day of a log file's name; an invalid date for a name of another shape.
QDate logFileDay(const QString &fileName, const QString &userCode);

} // namespace tessal::reports
