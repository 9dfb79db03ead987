// Figures of the cube view over the million-entry cash database, one per line as
// `name: value unit`: a re-pivot as a drop makes it, up to the repainted screen, and scrolling a
// grid of hundreds of thousands of lines.
//
// With TESSAL_CUBEVIEW_SHOTS naming a folder, the screens measured are also saved there as PNG
// files to be looked at.

#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "cube/ui/cubeview.h"
#include "data/database.h"
#include "testsupport/benchdata.h"
#include "testsupport/benchfigures.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <climits>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tessal::bench;
using namespace tessal::cube;

namespace {

CubeField *byCaption(const Cube &cube, const QString &caption)
{
    for (CubeField *f : cube.fields())
        if (f->caption() == caption)
            return f;
    qFatal("no field %s", qPrintable(caption));
}

void paintNow(CubeView &view)
{
    view.viewport()->repaint();
    QApplication::processEvents();
}

void shoot(CubeView &view, const QString &name)
{
    const QString dir = qEnvironmentVariable("TESSAL_CUBEVIEW_SHOTS");
    if (!dir.isEmpty())
        view.grab().save(QDir(dir).filePath(name));
}

// Times of moving `field` to the rows through the view, as a drop does, with nothing of the layout
// computed before; the field goes back to its page between rounds. The first paint is where the
// engine adds up the cells on screen, so it is timed apart as well.
struct DropTimes
{
    double total = 0;
    double refresh = 0; // the move and the cube's refresh, the view following it
    double paint = 0;   // the first paint of the new grid
    double cpu = 0;     // processor time of the whole, less hurt by a busy machine
    int rows = 0;
};

DropTimes dropOnRows(Cube &cube, CubeView &view, CubeField *field, int rounds)
{
    std::vector<double> totals, refreshes, paints, cpus;
    DropTimes out;
    const int page = field->position();
    for (int round = 0; round < rounds; ++round) {
        cube.dropCachedResults();
        const double cpu = cpuMs();
        QElapsedTimer timer;
        timer.start();
        view.moveField(field, Orientation::Row, INT_MAX);
        const double refreshed = msSince(timer);
        paintNow(view);
        totals.push_back(msSince(timer));
        cpus.push_back(cpuMs() - cpu);
        refreshes.push_back(refreshed);
        paints.push_back(totals.back() - refreshed);
        out.rows = cube.rowCount();
        if (round + 1 < rounds) {
            view.moveField(field, Orientation::Page, page);
            paintNow(view);
        }
    }
    out.total = median(totals);
    out.refresh = median(refreshes);
    out.paint = median(paints);
    out.cpu = median(cpus);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString dataDir = millionEntryDataDirectory(scratch);
    if (dataDir.isEmpty()) {
        std::fprintf(stderr, "no benchmark database\n");
        return 1;
    }
    const QString path = tessal::data::cashDatabasePath(dataDir);
    try {
        Cube cube;
        cube.setDefinition(analysisCubeDefinition(path));
        cube.load(tessal::data::openDatabase(path));
        CubeView view;
        view.setObjectName(u"Cube1"_s);
        view.resize(1200, 800);
        view.setCube(&cube);
        view.show();
        paintNow(view);
        shoot(view, u"cubeview_year_by_month.png"_s);

        CubeField *account = byCaption(cube, u"Conta"_s);
        DropTimes drop = dropOnRows(cube, view, account, 7);
        print("cube_drag_repivot_paint_ms", drop.total, "ms",
              "median of 7 cold drops of Conta on the rows, refresh and repaint");
        print("cube_drag_repivot_refresh_ms", drop.refresh, "ms", "of which the refresh");
        print("cube_drag_repivot_paint_cpu_ms", drop.cpu, "ms", "processor time of the same");
        printCount("cube_drag_repivot_rows", drop.rows);
        shoot(view, u"cubeview_account_rows.png"_s);
        view.moveField(account, Orientation::Page, INT_MAX);

        CubeField *remark = byCaption(cube, u"Histórico"_s);
        drop = dropOnRows(cube, view, remark, 5);
        print("cube_drag_remark_repivot_paint_ms", drop.total, "ms",
              "median of 5 cold drops of Histórico on the rows, refresh and repaint");
        print("cube_drag_remark_repivot_refresh_ms", drop.refresh, "ms",
              "of which the refresh (the engine lays out the rows)");
        print("cube_drag_remark_repivot_first_paint_ms", drop.paint, "ms",
              "of which the first paint (the engine adds up the cell tables on screen)");
        print("cube_drag_remark_repivot_paint_cpu_ms", drop.cpu, "ms",
              "processor time of the same");
        printCount("cube_drag_remark_repivot_rows", drop.rows);

        // one screen down at a time through the middle of the grid
        QScrollBar *bar = view.verticalScrollBar();
        bar->setValue(bar->maximum() / 3);
        paintNow(view);
        std::vector<double> scrolls;
        for (int step = 0; step < 300 && bar->value() < bar->maximum(); ++step) {
            QElapsedTimer timer;
            timer.start();
            bar->setValue(bar->value() + bar->pageStep());
            paintNow(view);
            scrolls.push_back(msSince(timer));
        }
        print("cube_scroll_screen_ms", median(scrolls), "ms",
              "median of 300 screens down in the Histórico grid, repainted");
        shoot(view, u"cubeview_remark_scrolled.png"_s);

        if (!qEnvironmentVariableIsEmpty("TESSAL_CUBEVIEW_SHOTS")) {
            // two column levels with totals, two data fields, a collapsed row level
            view.moveField(remark, Orientation::Page, INT_MAX);
            view.moveField(byCaption(cube, u"Trimestre"_s), Orientation::Column, 0);
            view.moveField(account, Orientation::Row, INT_MAX);
            cube.addField(u"VL_LANCAMENTO"_s, u"Quantidade"_s, Orientation::Data)
                ->setAggregate(Aggregate::Count);
            cube.setCellFormatHandler([](CellFormat &f) {
                if (f.dataField == 1 && f.value > 400000)
                    f.backColor = 0xCCFFCC; // light green, blue in the high byte
            });
            cube.refresh();
            view.verticalScrollBar()->setValue(15);
            view.setSelection(Selection{2, 4, 17, 19});
            paintNow(view);
            shoot(view, u"cubeview_two_column_levels.png"_s);
            byCaption(cube, u"Ano"_s)->setExpanded(false);
            cube.refresh();
            paintNow(view);
            shoot(view, u"cubeview_collapsed_years.png"_s);
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
