#include "app/checkcommand.h"

#include "core/activitylog.h"
#include "core/datasource.h"
#include "core/error.h"
#include "data/database.h"
#include "ledger/consistency.h"
#include "ledger/ledger.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

void write(QTextStream &stream, const QStringList &lines)
{
    for (const QString &line : lines)
        stream << line << '\n';
    stream.flush();
}

} // namespace

int runCheckCommand(const QString &dataDir, const ActivityLog &log, QTextStream &out,
                    QTextStream &err, ledger::FileCheck fileCheck)
{
    const auto logLine = [&log](const QString &first, const QString &second) {
        log.write(QString::fromLatin1(CommandLineUser), QString::fromLatin1(CommandLineUserName),
                  first, second);
    };
    const bool server = looksLikeServerUri(dataDir);
    if (!server && !QFileInfo(dataDir).isDir()) {
        write(err, {u"O diretório de dados \"%1\" não existe."_s.arg(
                       QDir::toNativeSeparators(dataDir))});
        return 2;
    }
    const QString path = data::cashDatabasePath(dataDir); // the URI itself on a server
    ledger::CheckReport report;
    try {
        report = ledger::checkBalances(path, nullptr, fileCheck);
    } catch (const Error &e) {
        write(err, {e.description()});
        return 2;
    }
    write(out, {u"Verificação dos saldos de \"%1\""_s.arg(
                   server ? path : QDir::toNativeSeparators(path))});
    write(out, ledger::describe(report));
    try {
        logLine(ledger::checkLogLine(report), u"**"_s);
        if (report.clean())
            return 0;
        if (!report.integrityOk()) {
            write(out, {u"O arquivo não foi alterado."_s});
            return 1;
        }
        ledger::Ledger book(path);
        ledger::repairBalances(book, report, [&](const ledger::WrongAccount &account) {
            write(out, {u"Saldos corrigidos na conta %1."_s.arg(ledger::repairLogDetail(account))});
            logLine(ledger::repairLogLine(), ledger::repairLogDetail(account));
        });
        const ledger::CheckReport after = ledger::checkBalances(path, nullptr, fileCheck);
        logLine(ledger::checkLogLine(after), u"**"_s);
        write(out, {QString(), u"Nova verificação:"_s});
        write(out, ledger::describe(after));
    } catch (const Error &e) {
        write(err, {e.description()});
    }
    return 1;
}

} // namespace tessal
