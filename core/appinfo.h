#pragma once

#include <QString>

namespace tessal {

// The title every message box carries unless it is given one of its own.
QString applicationTitle();

// major.minor.revision of the program, as the captions show it.
QString versionText();

} // namespace tessal
