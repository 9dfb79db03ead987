#pragma once

#include <QString>

namespace tessal {

class Dialogs;
class SingleInstance;

// The windows the start-up routine hands over to, in the order it needs them.
class StartupWindows
{
public:
    virtual ~StartupWindows() = default;
    // The installer, shown modally; the program ends when it closes.
    virtual void runInstaller() = 0;
    // The login, shown modally; true when the operator logged in.
    virtual bool runLogin() = 0;
    // The splash is shown and painted at once, so that it is seen while the main window loads.
    virtual void showSplash() = 0;
    virtual void loadMainWindow() = 0;
    virtual void closeSplash() = 0;
    virtual void showMainWindow() = 0;
};

enum class StartupResult {
    AlreadyRunning, // another copy holds the lock; the operator was told
    Installed,      // no sys.ini: the installer ran, and the program ends
    LoginCancelled,
    Running, // the main window is up; the event loop takes over
};

// Start-up in its fixed order: single copy, configuration file, login, splash, main window.
StartupResult runStartup(SingleInstance &instance, Dialogs &dialogs, const QString &configPath,
                         StartupWindows &windows);

} // namespace tessal
