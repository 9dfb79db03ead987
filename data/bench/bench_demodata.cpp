// Figures for the data layer at a million entries, one per line as `name: value unit`.

#include "data/database.h"
#include "data/demodata.h"
#include "data/nextcode.h"
#include "data/recordset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

using namespace tessal::data;
using namespace Qt::StringLiterals;

namespace {

void print(const char *name, double value, const char *unit)
{
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    try {
        DemoOptions options;
        options.entries = 1'000'000;
        options.accounts = 20;
        options.lastDate = QDate(2026, 6, 30);

        QElapsedTimer timer;
        timer.start();
        generateDemoData(dir.path(), options);
        print("demo_generate_1m_entries", double(timer.elapsed()) / 1000.0, "s");

        const QString cash = cashDatabasePath(dir.path());
        QSqlQuery q(openDatabase(cash));
        q.exec(u"select cd_conta, count(*) from lancamentos group by cd_conta "
               "order by count(*) desc limit 1"_s);
        q.next();
        const QString largest = q.value(0).toString();
        print("demo_largest_account_entries", q.value(1).toDouble(), "entries");
        q = QSqlQuery();

        RecordSet entries(cash, u"select * from  lancamentos where cd_conta="_s + u"'"_s + largest +
                                    u"'"_s + u" order by dt_lancamento, cd_lancamento"_s);
        timer.restart();
        double sum = 0;
        qint64 rows = 0;
        for (entries.refresh(); !entries.eof(); entries.moveNext()) {
            sum += entries.number(u"vl_lancamento"_s);
            ++rows;
        }
        print("recordset_scan_largest_account", double(timer.elapsed()) / 1000.0, "s");
        print("recordset_scan_rows", double(rows), "rows");

        RecordSet all(cash, u"select * from  lancamentos  order by cd_lancamento"_s);
        timer.restart();
        all.refresh();
        all.moveLast();
        print("recordset_refresh_and_movelast_1m", double(timer.nsecsElapsed()) / 1e6, "ms");

        timer.restart();
        all.findFirst(u"CD_lancamento"_s, u"0000500000"_s);
        for (int i = 0; i < 1000 && !all.eof(); ++i)
            all.moveNext();
        print("recordset_findfirst_then_1000_movenext", double(timer.nsecsElapsed()) / 1e6, "ms");

        timer.restart();
        const int calls = 1000;
        for (int i = 0; i < calls; ++i)
            nextCode(openDatabase(cash), u"lancamentos"_s);
        print("next_code_lancamentos_1m", double(timer.nsecsElapsed()) / 1e3 / calls, "us");

        RecordSet cube(cash, u"SELECT datepart(\"ww\",LANCAMENTOS.DT_LANCAMENTO) AS w FROM "
                             "LANCAMENTOS"_s);
        timer.restart();
        qint64 weeks = 0;
        for (cube.refresh(); !cube.eof(); cube.moveNext())
            weeks += qint64(cube.number(u"w"_s));
        print("datepart_ww_1m_rows", double(timer.elapsed()) / 1000.0, "s");
        if (sum == 0 && weeks == 0)
            return 2;
    } catch (const tessal::Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    closeDatabase(cashDatabasePath(dir.path()));
    closeDatabase(menuDatabasePath(dir.path()));
    return 0;
}
