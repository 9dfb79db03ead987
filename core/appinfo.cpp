#include "core/appinfo.h"

#include "tessal_version.h"

namespace tessal {

QString applicationTitle()
{
    return QStringLiteral("Tessal Caixa");
}

QString versionText()
{
    return QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);
}

} // namespace tessal
