// Prepares the demo data directory that `make run` starts the program on: the databases with
// about two years of entries, the supervisor user, the help file, the report layouts, and a
// sys.ini beside the executable naming the directory. Nothing is changed when they already exist.
#include "core/config.h"
#include "core/error.h"
#include "core/passwordhash.h"
#include "data/database.h"
#include "data/demodata.h"
#include "reports/shippedlayouts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

// The supervisor's password of the demo data; the README gives it.
constexpr char16_t kDemoPassword[] = u"1234";

void copyHelpFile(const QString &dataDir)
{
    const QString target = tessal::joinPath(dataDir, QStringLiteral("tessal.hlp"));
    if (QFileInfo::exists(target))
        return;
    if (!QFile::copy(QStringLiteral(":/demo/tessal.hlp"), target))
        throw tessal::Error(tessal::ErrorNumber::FileAccess,
                            QStringLiteral("Não foi possível criar ") + target, target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                      QFile::ReadOther);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        err << "uso: tessal-demo-setup <diretório de dados> <diretório do programa>\n";
        return 2;
    }
    const QString dataDir = QFileInfo(args.at(1)).absoluteFilePath();
    const QString programDir = QFileInfo(args.at(2)).absoluteFilePath();
    try {
        if (!QFileInfo::exists(tessal::data::cashDatabasePath(dataDir))) {
            QDir().mkpath(dataDir);
            tessal::data::DemoOptions options;
            options.supervisorPasswordHash =
                tessal::hashPassword(QString::fromUtf16(kDemoPassword));
            tessal::data::generateDemoData(dataDir, options);
            QTextStream(stdout) << "Dados de demonstração criados em " << dataDir << "\n";
        }
        tessal::data::ensureDataDirectory(dataDir);
        copyHelpFile(dataDir);
        tessal::reports::installShippedLayouts(dataDir);
        QDir().mkpath(programDir);
        const QString config = tessal::configFilePath(programDir);
        if (!QFileInfo::exists(config))
            tessal::writeConfigFile(config, dataDir);
    } catch (const tessal::Error &e) {
        err << e.description() << "\n";
        return 1;
    }
    return 0;
}
