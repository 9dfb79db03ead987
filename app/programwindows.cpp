#include "app/programwindows.h"

#include "core/appcontext.h"
#include "core/config.h"
#include "data/database.h"
#include "installer/ui/finstalacao.h"
#include "ledger/ui/flancamentos.h"
#include "session/ui/fprincipal.h"
#include "session/ui/frmlogin.h"
#include "session/ui/frmsplash.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>

namespace tessal {

ProgramWindows::ProgramWindows(AppContext &ctx)
    : m_ctx(ctx)
{}

ProgramWindows::~ProgramWindows() = default;

void ProgramWindows::runInstaller()
{
    finstalacao installer(m_ctx);
    installer.exec();
}

bool ProgramWindows::runLogin()
{
    m_ctx.session().setDataDirectory(readDataDirectory(m_ctx.configFilePath()));
    // A data directory without its databases gets them, and an older schema is brought up to
    // date; a caixa.mdb of another engine is refused here, naming the file, and left untouched.
    if (QFileInfo(m_ctx.session().dataDirectory()).isDir())
        data::ensureDataDirectory(m_ctx.session().dataDirectory());
    frmLogin login(m_ctx);
    login.Form_Load();
    login.exec();
    return login.OK();
}

void ProgramWindows::showSplash()
{
    m_splash = new frmSplash;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        m_splash->move(screen->availableGeometry().center() - m_splash->rect().center());
    m_splash->show();
    m_splash->repaint();
    QApplication::processEvents();
}

void ProgramWindows::loadMainWindow()
{
    m_main = std::make_unique<fprincipal>(m_ctx);
    registerWindows(*m_main);
    m_main->load();
}

void ProgramWindows::registerWindows(fprincipal &main)
{
    // The shipped menu's "Ajuda" button holds the first place of group 5 so that the log viewer
    // sits second; it opens the same help as F1.
    main.dispatch().set(5, 1, [&main] { main.showHelp(); });
    main.dispatch().set(2, 1, [this, &main] {
        main.openWindow(QStringLiteral("flancamentos"),
                        [this, &main] { return new flancamentos(m_ctx, &main); });
    });
}

void ProgramWindows::closeSplash()
{
    if (m_splash)
        m_splash->close();
}

void ProgramWindows::showMainWindow()
{
    m_main->show();
}

} // namespace tessal
