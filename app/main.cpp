#include "app/programwindows.h"
#include "app/startup.h"
#include "core/appcontext.h"
#include "core/error.h"
#include "core/money.h"
#include "core/singleinstance.h"
#include "core/ui/qtdialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
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
    return QApplication::exec();
}
