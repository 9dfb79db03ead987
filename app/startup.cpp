#include "app/startup.h"

#include "core/dialogs.h"
#include "core/singleinstance.h"

#include <QFileInfo>

namespace tessal {

StartupResult runStartup(SingleInstance &instance, Dialogs &dialogs, const QString &configPath,
                         StartupWindows &windows)
{
    if (!instance.tryAcquire()) {
        dialogs.message(QStringLiteral("Programa Já Encontra-se Ativo..."));
        return StartupResult::AlreadyRunning;
    }
    if (!QFileInfo::exists(configPath)) {
        windows.runInstaller();
        return StartupResult::Installed;
    }
    if (!windows.runLogin())
        return StartupResult::LoginCancelled;
    windows.showSplash();
    windows.loadMainWindow();
    windows.closeSplash();
    windows.showMainWindow();
    return StartupResult::Running;
}

} // namespace tessal
