#include "ledger/checkflow.h"

#include "core/appcontext.h"
#include "core/dialogs.h"
#include "ledger/ledger.h"

namespace tessal::ledger {

using namespace Qt::StringLiterals;

namespace {

const QString Title = u"Verificar Saldos"_s;

QString text(const CheckReport &report)
{
    return describe(report).join(u'\n');
}

// Runs the full check behind a progress box and writes its log line.
CheckReport fullCheck(AppContext &ctx, const QString &path,
                      FileCheck fileCheck = FileCheck::Structure)
{
    const std::unique_ptr<Progress> progress =
        ctx.dialogs().progress(Title, u"Verificando os saldos de todas as contas..."_s);
    const CheckReport report = checkBalances(path, progress.get(), fileCheck);
    ctx.log(checkLogLine(report));
    return report;
}

// Shows what a check found and, when balances are wrong, offers to repair them and shows the
// result.
void showAndOffer(AppContext &ctx, Ledger &ledger, const CheckReport &report, const QString &intro)
{
    if (!report.integrityOk()) {
        ctx.dialogs().message(intro + u"\n\n"_s + text(report), Title, Dialogs::Icon::Critical);
        return;
    }
    if (const auto after = offerRepair(ctx, ledger, report, intro + u"\n\n"_s + text(report)))
        ctx.dialogs().message(u"Saldos corrigidos. Nova verificação:\n\n"_s + text(*after), Title,
                              after->clean() ? Dialogs::Icon::Information : Dialogs::Icon::Warning);
}

} // namespace

std::optional<CheckReport> offerRepair(AppContext &ctx, Ledger &ledger, const CheckReport &report,
                                       const QString &intro)
{
    if (!report.integrityOk() || report.wrongAccounts.empty())
        return std::nullopt;
    if (!ctx.dialogs().askYesNo(intro +
                                    u"\n\nDeseja corrigir os saldos de %1 conta(s) agora?"_s.arg(
                                        report.wrongAccounts.size()),
                                Title)) {
        ctx.log(u"DESISTIU DE CORRIGIR OS SALDOS"_s);
        return std::nullopt;
    }
    const QStringList repaired = repairBalances(ledger, report, [&](const WrongAccount &account) {
        ctx.log(repairLogLine(), repairLogDetail(account));
    });
    if (!report.quick)
        return fullCheck(ctx, ledger.databasePath(), report.fileCheck);
    const CheckReport after = quickCheckBalances(ledger.databasePath(), repaired);
    ctx.log(checkLogLine(after));
    return after;
}

void checkAfterUncleanEnd(AppContext &ctx, const QStringList &notedAccounts,
                          const std::function<void(const QString &)> &note)
{
    const QString path = ctx.session().cashDatabasePath();
    Ledger ledger(path);
    ledger.setChangeNote(note);
    const QString unclean = u"O programa não foi encerrado corretamente na última vez em que foi "
                            "usado com este diretório de dados."_s;
    QStringList accounts = notedAccounts;
    accounts << accountsOfLastEntries(path, LastEntriesChecked);
    const CheckReport quick = quickCheckBalances(path, accounts);
    ctx.log(checkLogLine(quick));
    if (!quick.clean()) {
        showAndOffer(ctx, ledger, quick,
                     unclean + u" A verificação rápida das contas alteradas por último "
                               "encontrou:"_s);
        return;
    }
    if (!ctx.dialogs().askYesNo(
            unclean + u"\n\nA verificação rápida das %1 conta(s) alteradas por último não "
                      "encontrou nenhum problema.\n\nDeseja fazer agora a verificação completa "
                      "de todos os saldos? Em um arquivo grande ela pode levar alguns "
                      "segundos."_s.arg(quick.accountsChecked),
            Title))
        return;
    const CheckReport full = fullCheck(ctx, path);
    if (full.clean()) {
        ctx.dialogs().message(text(full), Title, Dialogs::Icon::Information);
        return;
    }
    showAndOffer(ctx, ledger, full, u"A verificação completa encontrou:"_s);
}

} // namespace tessal::ledger
