#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tessal::reports {

// The layouts the program ships: extrato.rpt, historicos.rpt and consolidado.rpt.
QStringList shippedLayoutNames();
QByteArray shippedLayout(const QString &name);

// Copies each shipped layout into the data directory (made first when missing, as the local
// directory of a server installation may be) when the directory has no file of that name; a file
// already there, the operator's own version included, is never touched. Returns the names copied.
// Throws tessal::Error when the directory or a file cannot be written.
QStringList installShippedLayouts(const QString &dataDir);

} // namespace tessal::reports
