// Figures of the analysis window for `make bench`, one per line as `name: value unit`. The data
// directory holds the million-entry demo data (the one TESSAL_BENCH_DATA_DIR names, or one
// generated here). The window is the program's own, offscreen, on a fresh program directory
// whose sys.ini names that data directory.

#include "core/appcontext.h"
#include "core/config.h"
#include "cube/cube.h"
#include "cube/ui/cubeview.h"
#include "cube/ui/fcubovendas.h"
#include "data/database.h"
#include "testsupport/benchdata.h"
#include "testsupport/benchfigures.h"
#include "testsupport/testcontext.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tessal;
using namespace tessal::bench;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString dataDir = millionEntryDataDirectory(scratch);
    if (dataDir.isEmpty())
        return 1;

    std::vector<double> opens;
    int rows = 0;
    for (int run = 0; run < 3; ++run) {
        test::TestContext t;
        writeConfigFile(t.context->configFilePath(), dataDir);
        QElapsedTimer timer;
        timer.start();
        // what the main menu's button runs: the window built (its cube loaded from caixa.mdb),
        // shown, and the cube's first screen painted
        auto *window = new cube::fcubovendas(*t.context);
        window->resize(1200, 800);
        window->show();
        if (!QTest::qWaitForWindowExposed(window))
            return 1;
        window->view()->viewport()->repaint();
        opens.push_back(msSince(timer));
        rows = window->cube()->rowCount();
        delete window;
        data::closeDatabase(data::cashDatabasePath(dataDir));
    }
    if (rows == 0) {
        std::fprintf(stderr, "the cube came up empty\n");
        return 1;
    }
    print("cube_window_open_ms", median(opens), "ms",
          "menu's window built on 1,000,000 entries, shown and its first screen painted, median "
          "of 3");
    return 0;
}
