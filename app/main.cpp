#include "app/checkcommand.h"
#include "app/programwindows.h"
#include "app/startup.h"
#include "core/activitylog.h"
#include "core/appcontext.h"
#include "core/error.h"
#include "core/money.h"
#include "core/singleinstance.h"
#include "core/ui/qtdialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// `tessal --check [--indices] DATA_DIR` (or a server's URI) needs no display: a core application,
// no window, no dialog.
int checkCommand(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Tessal Caixa"_s);
    QLocale::setDefault(tessal::programLocale());
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(2);
    const bool indexContents = args.removeAll(u"--indices"_s) > 0;
    if (args.size() != 1) {
        err << "Uso: tessal --check [--indices] DIRETORIO_DE_DADOS\n"
               "     tessal --check postgresql://USUARIO@SERVIDOR/BANCO\n";
        return 2;
    }
    tessal::SystemClock clock;
    const tessal::ActivityLog log(QCoreApplication::applicationDirPath(), clock);
    return tessal::runCheckCommand(args.first(), log, out, err,
                                   indexContents ? tessal::ledger::FileCheck::IndexContents
                                                 : tessal::ledger::FileCheck::Structure);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 2 && std::strcmp(argv[1], "--check") == 0)
        return checkCommand(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Tessal Caixa"_s);
    tessal::installTranslations();
    QLocale::setDefault(tessal::programLocale());

    // The program directory is the executable's: sys.ini, the error log and the activity logs
    // live there.
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString errorLog = programDir + u"/"_s +
                             QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() +
                             u".log"_s;

    tessal::SystemClock clock;
    tessal::QtDialogs dialogs;
    tessal::AppContext ctx(programDir, errorLog, clock, dialogs);
    tessal::SingleInstance instance;
    tessal::ProgramWindows windows(ctx);

    tessal::StartupResult result = tessal::StartupResult::LoginCancelled;
    try {
        result = tessal::runStartup(instance, dialogs, ctx.configFilePath(), windows);
    } catch (const tessal::Error &e) {
        // A sys.ini naming a directory without the databases, or a MENU.mdb that cannot be
        // read: the operator is told what failed and the program ends.
        ctx.errors().report(e.info(), u"Sub Main"_s);
        return 1;
    }
    if (result != tessal::StartupResult::Running)
        return 0;
    const int status = QApplication::exec();
    // Reached only through "Sair": a crash or a killed process leaves the session marker.
    windows.endSession();
    return status;
}
