#pragma once

#include <QString>
#include <QStringList>

namespace tessal::installer {

// The name of the launcher the installer puts on the desktop.
QString launcherFileName();

// The user's desktop folder (XDG on Linux).
QString desktopFolder();

// The program file inside an installation directory.
QString programPath(const QString &installDirectory);

// Text of a freedesktop launcher that starts the program installed in the directory.
QString desktopEntry(const QString &installDirectory);

// Writes the launcher (on Windows a shell shortcut) into the desktop folder and returns its path.
// Throws tessal::Error when it cannot be written.
QString createLauncher(const QString &desktopDirectory, const QString &installDirectory);

// The roots of the mounted volumes that can hold an installation, for the drive list.
QStringList installableVolumes();

// Whether a drive or folder can be listed; the drive list refuses one that cannot.
bool isReadableDirectory(const QString &path);

// Where the instructions suggest installing.
QString defaultInstallFolder();

} // namespace tessal::installer
