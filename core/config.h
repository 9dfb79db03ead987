#pragma once

#include <QString>

namespace tessal {

// The file beside the executable that names the data directory.
inline constexpr char16_t kConfigFileName[] = u"sys.ini";

QString configFilePath(const QString &programDir);

// Beside the executable: the report layouts, grid layouts and help file of an installation whose
// books are on a PostgreSQL server, which has no shared data directory to hold them.
inline constexpr char16_t kLocalFilesDirectory[] = u"dados-locais";

// Directory and file joined with the platform's separator; the directory is used as stored.
QString joinPath(const QString &directory, const QString &fileName);

// sys.ini is read line after line and the last line read is the data directory, so a file of
// three lines yields its third and an empty file an empty directory.
QString readDataDirectory(const QString &configPath);

// Exactly one line: the directory followed by CR LF.
void writeConfigFile(const QString &configPath, const QString &dataDirectory);

} // namespace tessal
