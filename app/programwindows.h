#pragma once

#include "app/startup.h"

#include <QPointer>
#include <functional>
#include <memory>

namespace tessal {

class AppContext;
class fprincipal;
class frmSplash;
namespace ledger {
class SessionMarker;
}

// The program's own windows behind the start-up routine.
class ProgramWindows final : public StartupWindows
{
public:
    explicit ProgramWindows(AppContext &ctx);
    ~ProgramWindows() override;

    void runInstaller() override;
    // sys.ini is read into the session first, as the main window's load step would, because the
    // login reads the users from the data directory it names.
    bool runLogin() override;
    // Reads sys.ini into the session and readies its data directory; false when the operator
    // declined to create a cash database there, and the program ends.
    bool prepareDataDirectory();
    // The same for a PostgreSQL server: connects (asking for the password when libpq finds none),
    // gives an empty database the tables once the operator agrees, and readies the local folder
    // of layouts and help. False when the operator cancelled.
    bool prepareServer();
    void showSplash() override;
    void loadMainWindow() override;
    void closeSplash() override;
    void showMainWindow() override;

    // Null until loadMainWindow().
    fprincipal *mainWindow() const { return m_main.get(); }

    // The program was left through "Sair": the session marker goes (see ledger::SessionMarker).
    void endSession();

private:
    // The windows of the subsystems past the registers, at their places in the bar.
    void registerWindows(fprincipal &main);
    // Writes the session marker and, when the last session with this data directory did not end
    // cleanly, runs the quick balance check (ledger::checkAfterUncleanEnd).
    void startSession();
    // What the ledger's changes tell the marker.
    std::function<void(const QString &)> changeNote();
    // On a server installation the utilities that work on the data files say why they do not
    // open; returns whether it said so.
    bool refusedOnServer(const QString &title, const QString &why);

    AppContext &m_ctx;
    std::unique_ptr<fprincipal> m_main;
    QPointer<frmSplash> m_splash;
    std::unique_ptr<ledger::SessionMarker> m_marker;
};

} // namespace tessal
