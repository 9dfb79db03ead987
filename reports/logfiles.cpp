#include "reports/logfiles.h"

#include "core/activitylog.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace tessal::reports {

QDate logFileDay(const QString &fileName, const QString &userCode)
{
    const QRegularExpression shape(u"^FC"_s + QRegularExpression::escape(userCode) +
                                   u"(\\d{2})(\\d{2})(\\d{2})\\.log$"_s);
    const QRegularExpressionMatch match = shape.match(fileName);
    if (!match.hasMatch())
        return {};
    // The log writes the year's last two digits; the program's years are this century's.
    return QDate(2000 + match.captured(3).toInt(), match.captured(2).toInt(),
                 match.captured(1).toInt());
}

QStringList userLogFiles(const QString &programDir, const QString &userCode)
{
    const QStringList candidates =
        QDir(programDir).entryList({ActivityLog::filePattern(userCode)}, QDir::Files);
    std::vector<std::pair<QDate, QString>> files;
    for (const QString &name : candidates) {
        const QDate day = logFileDay(name, userCode);
        if (day.isValid())
            files.emplace_back(day, name);
    }
    std::sort(files.begin(), files.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    QStringList names;
    for (const auto &file : files)
        names << file.second;
    return names;
}

} // namespace tessal::reports
