#include "app/programwindows.h"

#include "core/appcontext.h"
#include "core/config.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "cube/ui/fcubovendas.h"
#include "data/database.h"
#include "data/serverconnect.h"
#include "installer/ui/finstalacao.h"
#include "ledger/checkflow.h"
#include "ledger/sessionmarker.h"
#include "ledger/ui/flancamentos.h"
#include "ledger/ui/fverificasaldos.h"
#include "reports/period/fconsultaperiodo.h"
#include "reports/reportjob.h"
#include "reports/shippedlayouts.h"
#include "reports/ui/fmostralog.h"
#include "reports/ui/frelatoriosfinanceiros.h"
#include "session/ui/fprincipal.h"
#include "session/ui/frmlogin.h"
#include "session/ui/frmsplash.h"
#include "utilities/ui/fcopiaseguranca.h"
#include "utilities/ui/frestaurarcopia.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>

using namespace Qt::StringLiterals;

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
    if (!prepareDataDirectory())
        return false;
    frmLogin login(m_ctx);
    login.Form_Load();
    login.exec();
    return login.OK();
}

bool ProgramWindows::prepareDataDirectory()
{
    m_ctx.session().setDataDirectory(readDataDirectory(m_ctx.configFilePath()));
    const QString dataDir = m_ctx.session().dataDirectory();
    if (m_ctx.session().onServer())
        return prepareServer();
    if (QFileInfo(dataDir).isDir()) {
        // A directory without caixa.mdb is as often a share not mounted yet or a mistyped path as
        // a new installation: entries posted into a new empty database there would be seen by
        // nobody else, so the operator decides, and a "no" writes nothing at all.
        if (!QFileInfo::exists(data::cashDatabasePath(dataDir)) &&
            !m_ctx.dialogs().askYesNo(
                QStringLiteral("Não há banco de dados de caixa (caixa.mdb) no diretório \"%1\".\n\n"
                               "Deseja criar um novo banco de dados de caixa nesse diretório?")
                    .arg(QDir::toNativeSeparators(dataDir)),
                QString()))
            return false;
        // A missing MENU.mdb is made again with the shipped menu, and an older schema is brought
        // up to date; a caixa.mdb of another engine or program is refused here, naming the file,
        // and left untouched.
        data::ensureDataDirectory(dataDir);
        // The shipped report layouts, where the operator has none of those names; a directory
        // that takes no new file (read-only) is reported, and the program goes on without them.
        HandlerSteps steps(m_ctx.errors(), QStringLiteral("Sub Main"));
        steps.run([&] { reports::installShippedLayouts(dataDir); });
    }
    return true;
}

bool ProgramWindows::prepareServer()
{
    if (!data::prepareServerDatabase(m_ctx.dialogs(), m_ctx.session().cashDatabasePath()))
        return false;
    // The layouts and the help file live beside the program on a server installation.
    const QString files = m_ctx.session().filesDirectory();
    HandlerSteps steps(m_ctx.errors(), QStringLiteral("Sub Main"));
    steps.run([&] { reports::installShippedLayouts(files); });
    return true;
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
        main.openWindow(QStringLiteral("flancamentos"), [this, &main] {
            auto *window = new flancamentos(m_ctx, &main);
            window->setChangeNote(changeNote());
            return window;
        });
    });
    main.dispatch().set(2, 2, [this, &main] {
        main.openWindow(QStringLiteral("fcubovendas"),
                        [this, &main] { return new cube::fcubovendas(m_ctx, &main); });
    });
    main.dispatch().set(4, 1, [this, &main] {
        main.openWindow(QStringLiteral("fconsultaperiodo"),
                        [this, &main] { return new fconsultaperiodo(m_ctx, &main); });
    });
    main.dispatch().set(3, 1, [this, &main] {
        main.openWindow(QStringLiteral("frelatoriosfinanceiros"),
                        [this, &main] { return new frelatoriosfinanceiros(m_ctx, &main); });
    });
    main.dispatch().set(
        3, 2, [this, &main] { reports::runConsolidatedReport(m_ctx, main.objectName()); });
    main.dispatch().set(5, 2, [this, &main] {
        main.openWindow(QStringLiteral("fmostralog"),
                        [this, &main] { return new fmostralog(m_ctx, &main); });
    });
    main.dispatch().set(5, 3, [this, &main] {
        main.openWindow(QStringLiteral("fverificasaldos"), [this, &main] {
            auto *window = new fverificasaldos(m_ctx, &main);
            window->setChangeNote(changeNote());
            return window;
        });
    });
    main.dispatch().set(5, 4, [this, &main] {
        if (refusedOnServer(u"Cópia de Segurança"_s,
                            u"As cópias de segurança dos dados são feitas no próprio servidor "
                            "(pg_dump), pelo seu administrador."_s))
            return;
        main.openWindow(QStringLiteral("fcopiaseguranca"),
                        [this, &main] { return new fcopiaseguranca(m_ctx, &main); });
    });
    main.dispatch().set(5, 5, [this, &main] {
        if (refusedOnServer(u"Restaurar Cópia"_s,
                            u"Uma cópia dos dados é restaurada no próprio servidor (pg_restore), "
                            "pelo seu administrador."_s))
            return;
        main.openWindow(QStringLiteral("frestaurarcopia"),
                        [this, &main] { return new frestaurarcopia(m_ctx, &main); });
    });
}

bool ProgramWindows::refusedOnServer(const QString &title, const QString &why)
{
    if (!m_ctx.session().onServer())
        return false;
    m_ctx.dialogs().message(u"Os dados desta instalação estão no servidor PostgreSQL. "_s + why,
                            title, Dialogs::Icon::Information);
    return true;
}

std::function<void(const QString &)> ProgramWindows::changeNote()
{
    return [this](const QString &account) {
        if (m_marker)
            m_marker->note(account);
    };
}

void ProgramWindows::startSession()
{
    // The marker and the check after an unclean end are about the data files; a server keeps
    // its own journal.
    if (m_ctx.session().onServer())
        return;
    const QString dataDir = m_ctx.session().dataDirectory();
    m_marker = std::make_unique<ledger::SessionMarker>(
        ledger::SessionMarker::pathFor(m_ctx.programDir(), dataDir));
    const std::optional<QStringList> leftOver = m_marker->leftOver();
    HandlerSteps steps(m_ctx.errors(), QStringLiteral("Sub Main"));
    // The new marker is written before the check, so that an end as bad during the repair still
    // leaves the accounts it was given.
    steps.run([&] { m_marker->begin(dataDir, leftOver.value_or(QStringList())); });
    if (leftOver)
        steps.run([&] { ledger::checkAfterUncleanEnd(m_ctx, *leftOver, changeNote()); });
}

void ProgramWindows::endSession()
{
    if (m_marker)
        m_marker->end();
}

void ProgramWindows::closeSplash()
{
    if (m_splash)
        m_splash->close();
}

void ProgramWindows::showMainWindow()
{
    m_main->show();
    startSession();
}

} // namespace tessal
