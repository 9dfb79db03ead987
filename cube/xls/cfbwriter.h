#pragma once

#include <QByteArray>
#include <QString>

namespace tessal::cube::xls {

// Wraps one stream in an OLE2 compound file (version 3, 512-byte sectors), the container that
// legacy spreadsheet files are. The stream is padded to the 4096-byte mini-stream cutoff so that
// it always lives in regular sectors.
QByteArray compoundFile(const QString &streamName, const QByteArray &stream);

} // namespace tessal::cube::xls
