#include "core/activitylog.h"

#include "core/config.h"
#include "core/textfile.h"

namespace tessal {

ActivityLog::ActivityLog(QString programDir, const Clock &clock)
    : m_programDir(std::move(programDir))
    , m_clock(clock)
{}

QString ActivityLog::fileName(const QString &userCode, const QDate &day)
{
    return QStringLiteral("FC") + userCode + day.toString(QStringLiteral("ddMMyy")) +
           QStringLiteral(".log");
}

QString ActivityLog::filePattern(const QString &userCode)
{
    return QStringLiteral("FC") + userCode + QStringLiteral("*.log");
}

QString ActivityLog::filePath(const QString &userCode, const QDate &day) const
{
    return joinPath(m_programDir, fileName(userCode, day));
}

void ActivityLog::write(const QString &userCode, const QString &userName, const QString &first,
                        const QString &second) const
{
    // The moment is read once, so the record's date and the file's day always agree.
    const QDateTime moment = m_clock.now();
    const QString record = QStringLiteral("Data: ") + logDate(moment) + QStringLiteral(" Hora: ") +
                           logTime(moment) + u'-' + userName + u'-' + first + u'-' + second +
                           QStringLiteral("\r\n") + QString(113, u'-') + QStringLiteral("\r\n");
    appendText(filePath(userCode, moment.date()), record);
}

QString logDate(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("dd/MM/yyyy"));
}

QString logTime(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("HH:mm.ss"));
}

} // namespace tessal
