#include "testsupport/pdftext.h"

#include <QProcess>
#include <QtGlobal>

namespace tessal::test {

QStringList pdfPages(const QString &pdfPath)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"),
                    {QStringLiteral("-layout"), pdfPath, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(60000) || pdftotext.exitStatus() != QProcess::NormalExit ||
        pdftotext.exitCode() != 0)
        qFatal("pdftotext could not read %s (poppler-utils is installed by "
               "scripts/install-deps.sh)",
               qPrintable(pdfPath));
    return QString::fromUtf8(pdftotext.readAllStandardOutput())
        .split(QLatin1Char('\f'), Qt::SkipEmptyParts);
}

} // namespace tessal::test
