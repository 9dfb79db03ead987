#include "core/config.h"

#include "core/textfile.h"

#include <QDir>

namespace tessal {

QString configFilePath(const QString &programDir)
{
    return joinPath(programDir, QString::fromUtf16(kConfigFileName));
}

QString joinPath(const QString &directory, const QString &fileName)
{
    return directory + QDir::separator() + fileName;
}

QString readDataDirectory(const QString &configPath)
{
    const QString text = readText(configPath);
    QString last;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        const bool finalLine = end < 0;
        if (finalLine)
            end = text.size();
        QString line = text.mid(start, end - start);
        if (line.endsWith(u'\r'))
            line.chop(1);
        last = line;
        start = end + 1;
    }
    return last;
}

void writeConfigFile(const QString &configPath, const QString &dataDirectory)
{
    replaceText(configPath, dataDirectory + QStringLiteral("\r\n"));
}

} // namespace tessal
