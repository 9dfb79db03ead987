#pragma once

#include "core/dialogs.h"
#include "reports/layout.h"
#include "reports/reportdata.h"
#include "reports/selection.h"

#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <optional>

namespace tessal {
class AppContext;
class Clock;
} // namespace tessal

namespace tessal::reports {

class ReportDocument;

// The report engine as the windows drive it, one operation per step: the data file, the report
// file, the window options, the selection formula, and run. Each operation checks what it is
// given and throws tessal::Error when it refuses it; a refused setting stays refused, so run()
// then declines to print rather than go on with a default (a refused formula never turns into
// "every account").
class ReportJob
{
public:
    explicit ReportJob(const Clock &clock);
    ~ReportJob();

    // Data file 0 is the cash database; it is opened and checked now.
    void setDataFile(int number, const QString &path);
    // Reads and checks the layout now.
    void setReportFile(const QString &path);
    // `printing`: the preview offers printing and saving; `windowState`: 0 normal, 1 minimised,
    // 2 maximised.
    void setWindowOptions(bool printing, int windowState);
    // Reads the formula now (a text it cannot read is refused with its position); it is checked
    // against the layout's tables when the report runs. An empty text means no formula.
    void setSelectionFormula(const QString &formula);

    // Reads the rows and lays the pages out. Throws ReportCancelled when progress says stop.
    std::shared_ptr<ReportDocument> build(const ReportProgress &progress = {}) const;
    // Builds with a progress box and shows the preview; a report the operator stopped shows
    // nothing.
    void run(Dialogs &dialogs) const;

private:
    enum class State { Unset, Set, Refused };

    const Clock &m_clock;
    QSqlDatabase m_db;
    State m_dataFile = State::Unset;
    std::shared_ptr<const Layout> m_layout;
    State m_reportFile = State::Unset;
    QString m_reportPath;
    std::optional<Selection> m_selection;
    bool m_selectionRefused = false;
    PreviewOptions m_preview;
};

// The consolidated report of the main menu: the cash database, consolidado.rpt from the data
// directory, the window options, run; no formula. A failing step is reported and the next runs.
void runConsolidatedReport(AppContext &ctx, const QString &formName);

} // namespace tessal::reports
