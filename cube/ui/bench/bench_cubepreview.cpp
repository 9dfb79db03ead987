// The analysis window's print preview on the million-entry cash database: from building the
// printed pages of the grid to the first page painted at screen resolution, the page count known.
// The grid is pivoted before the clock starts, as the window has already shown it.

#include "core/error.h"
#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "cube/ui/cubedocument.h"
#include "data/database.h"
#include "testsupport/benchdata.h"
#include "testsupport/benchfigures.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tessal::bench;
using namespace tessal::cube;

namespace {

constexpr int ScreenDpi = 96;
constexpr int Rounds = 5;

struct FirstPage
{
    double ms = 0;
    int pages = 0;
    int rows = 0;
};

// The median of a few rounds of: document, page count, first page in an image.
FirstPage firstPage(const Cube &cube)
{
    FirstPage result;
    result.rows = cube.rowCount(); // pivots now, outside the clock
    std::vector<double> times;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const CubeDocument document(cube, u"Análise"_s);
        result.pages = document.pageCount();
        const QSizeF points = document.pageLayout().fullRect(QPageLayout::Point).size();
        QImage image((points * ScreenDpi / 72.0).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(qRound(ScreenDpi / 0.0254));
        image.setDotsPerMeterY(qRound(ScreenDpi / 0.0254));
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            document.paintPage(painter, 0);
        }
        times.push_back(msSince(timer));
    }
    result.ms = median(times);
    return result;
}

CubeField *byCaption(const Cube &cube, const QString &caption)
{
    for (CubeField *f : cube.fields())
        if (f->caption() == caption)
            return f;
    qFatal("no field %s", qPrintable(caption));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString dataDir = millionEntryDataDirectory(scratch);
    if (dataDir.isEmpty()) {
        std::fprintf(stderr, "could not make the benchmark database\n");
        return 1;
    }
    const QString path = tessal::data::cashDatabasePath(dataDir);
    try {
        Cube cube;
        cube.setDefinition(analysisCubeDefinition(path));
        cube.load(tessal::data::openDatabase(path));

        const FirstPage small = firstPage(cube);
        print("cube_preview_first_page_small_ms", small.ms, "ms",
              qPrintable(u"median of %1; the window's first layout, %2 rows, %3 pages"_s.arg(Rounds)
                             .arg(small.rows)
                             .arg(small.pages)));

        byCaption(cube, u"Histórico"_s)->setOrientation(Orientation::Row);
        cube.refresh();
        const FirstPage big = firstPage(cube);
        print("cube_preview_first_page_ms", big.ms, "ms",
              qPrintable(u"median of %1; remarks on the rows, %2 rows, %3 pages"_s.arg(Rounds)
                             .arg(big.rows)
                             .arg(big.pages)));
        printCount("cube_preview_pages", big.pages, "pages of the remarks layout");
    } catch (const tessal::Error &e) {
        std::fprintf(stderr, "preview benchmark failed: %d %s\n", e.number(),
                     qPrintable(e.description()));
        return 1;
    }
    return 0;
}
