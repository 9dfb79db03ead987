#pragma once

#include <QString>

namespace tessal {

// The logs and sys.ini are plain text in the system's encoding with CR LF line ends. Each call
// opens, writes and closes the file; nothing is held open between records.
void appendText(const QString &path, const QString &text);

// Writes the whole file or, on failure, leaves the previous one untouched.
void replaceText(const QString &path, const QString &text);

QString readText(const QString &path);

} // namespace tessal
