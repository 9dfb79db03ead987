// Writes the fuzzer's seed corpus: a small cube saved with every save kind, with and without a
// password, plus a layout-only cube of the analysis window's definition.

#include "cube/analysisdefinition.h"
#include "cube/cube.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tessal::cube;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_cube_seeds <directory>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path()))
        return 1;
    Cube cube;
    cube.addField(u"region"_s, u"Região"_s, Orientation::Row);
    cube.addField(u"year"_s, u"Ano"_s, Orientation::Column);
    cube.addField(u"day"_s, u"Dia"_s, Orientation::Page);
    cube.addField(u"amount"_s, u"Valor"_s, Orientation::Data)->setNumberFormat(u"#,##0.00"_s);
    RowTable t;
    t.columns = {u"region"_s, u"year"_s, u"day"_s, u"amount"_s};
    t.rows = {{u"Sul"_s, 2023, u"2023-01-05"_s, 10.5},
              {u"Norte"_s, 2024, u"2024-02-29"_s, 3.25},
              {u"Sul"_s, 2024, QVariant(), 1.0},
              {u"Leste"_s, 2023, u"2023-12-31"_s, 7.0}};
    cube.loadRows(t);
    cube.fields().item(0)->setItemIncluded(1, false);
    for (const QString &password : {QString(), u"senha"_s}) {
        cube.setPassword(password);
        for (int kind = 0; kind < 4; ++kind) {
            QFile f(dir.filePath(
                u"kind%1%2.cub"_s.arg(kind).arg(password.isEmpty() ? QString() : u"-pw"_s)));
            if (!f.open(QIODevice::WriteOnly) || f.write(cube.saveToBytes(kind)) < 0)
                return 1;
        }
    }
    Cube analysis;
    analysis.setDefinition(analysisCubeDefinition(u"caixa.mdb"_s));
    QFile f(dir.filePath(u"analysis-layout.cub"_s));
    if (!f.open(QIODevice::WriteOnly) || f.write(analysis.saveToBytes(1)) < 0)
        return 1;
    return 0;
}
