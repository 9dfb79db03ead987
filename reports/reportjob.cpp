#include "reports/reportjob.h"

#include "core/appcontext.h"
#include "core/clock.h"
#include "core/error.h"
#include "core/errorreport.h"
#include "data/database.h"
#include "reports/reportdocument.h"

#include <QFileInfo>

namespace tessal::reports {

namespace {

[[noreturn]] void notRun(const QString &why, const QString &source)
{
    throw Error(ErrorNumber::InvalidInput, why + QStringLiteral(" O relatório não foi emitido."),
                source);
}

} // namespace

ReportJob::ReportJob(const Clock &clock)
    : m_clock(clock)
{}

ReportJob::~ReportJob() = default;

void ReportJob::setDataFile(int number, const QString &path)
{
    m_dataFile = State::Refused;
    if (number != 0)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("O relatório lê um só banco de dados, o de número 0 (pedido: "
                                   "%1).")
                        .arg(number),
                    path);
    m_db = data::openDatabase(path, data::DatabaseKind::Cash);
    m_dataFile = State::Set;
}

void ReportJob::setReportFile(const QString &path)
{
    m_reportFile = State::Refused;
    m_layout.reset();
    m_reportPath = path;
    m_layout = std::make_shared<const Layout>(readLayout(path));
    m_reportFile = State::Set;
}

void ReportJob::setWindowOptions(bool printing, int windowState)
{
    static const Qt::WindowState states[] = {Qt::WindowNoState, Qt::WindowMinimized,
                                             Qt::WindowMaximized};
    if (windowState < 0 || windowState > 2)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("Estado de janela %1 inválido (0 normal, 1 minimizada, 2 "
                                   "maximizada).")
                        .arg(windowState),
                    QStringLiteral("Report1"));
    m_preview.printing = printing;
    m_preview.windowState = states[windowState];
}

void ReportJob::setSelectionFormula(const QString &formula)
{
    m_selectionRefused = true;
    m_selection.reset();
    if (!formula.trimmed().isEmpty())
        m_selection = Selection::parse(formula);
    m_selectionRefused = false;
}

std::shared_ptr<ReportDocument> ReportJob::build(const ReportProgress &progress) const
{
    if (m_reportFile == State::Unset)
        notRun(QStringLiteral("Nenhum modelo de relatório foi indicado."), QString());
    if (m_reportFile == State::Refused) {
        const QString name = QFileInfo(m_reportPath).fileName();
        notRun(name.isEmpty()
                   ? QStringLiteral("Nenhum modelo de relatório foi escolhido.")
                   : QStringLiteral("O modelo de relatório \"%1\" foi recusado.").arg(name),
               m_reportPath);
    }
    if (m_dataFile != State::Set)
        notRun(QStringLiteral("O banco de dados do relatório não foi indicado ou foi recusado."),
               m_layout->fileName);
    if (m_selectionRefused)
        notRun(QStringLiteral("A fórmula de seleção foi recusada."), m_layout->fileName);
    const ReportRunner runner(*m_layout, m_selection);
    return std::make_shared<ReportDocument>(m_layout, runner.run(m_db, progress), m_clock.now());
}

void ReportJob::run(Dialogs &dialogs) const
{
    std::shared_ptr<ReportDocument> document;
    {
        const std::unique_ptr<Progress> progress = dialogs.progress(
            QStringLiteral("Relatório"),
            QStringLiteral("Preparando o relatório \"%1\"...")
                .arg(m_layout ? m_layout->title : QFileInfo(m_reportPath).fileName()));
        try {
            document =
                build([&](qint64 done, qint64 total) { return progress->advance(done, total); });
        } catch (const ReportCancelled &) {
            return; // the operator stopped it: nothing to show and nothing to report
        }
    }
    dialogs.preview(document, m_preview);
}

void runConsolidatedReport(AppContext &ctx, const QString &formName)
{
    HandlerSteps steps(ctx.errors(), formName);
    ReportJob job(ctx.clock());
    steps.run([&] { job.setDataFile(0, ctx.session().cashDatabasePath()); });
    steps.run([&] { job.setReportFile(ctx.session().consolidatedReportPath()); });
    steps.run([&] { job.setWindowOptions(true, 2); });
    steps.run([&] { job.run(ctx.dialogs()); });
}

} // namespace tessal::reports
