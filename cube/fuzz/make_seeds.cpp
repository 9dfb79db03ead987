// Writes the fuzzer's seed corpus: a small cube saved with every save kind, with and without a
// password, plus a layout-only cube of the analysis window's definition, and files at the reader's
// edges: fields whose strings are all empty, item lists in and out of order (text, integer, date,
// number, odd bytes), amounts whose sums are NaN under a ranking, NaN amounts, and layout-only
// files whose record source or field expressions are not one read-only SELECT.

#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "cube/cubefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <limits>

using namespace Qt::StringLiterals;
using namespace tessal::cube;

namespace {

bool write(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

FieldDefinition field(const QString &source, Orientation orientation)
{
    FieldDefinition f;
    f.sourceExpression = f.name = f.caption = source;
    f.orientation = orientation;
    return f;
}

// One row field over `dictionary` (rows spread over its items) and one data field of `amounts`
// as reals, ranked by it when `ranking` is set. The writer does not check, so damaged
// dictionaries get in as they are.
QByteArray withDictionary(Dictionary dictionary, const std::vector<double> &amounts,
                          RankingMode ranking = RankingMode::None)
{
    CubeDefinition d;
    d.fields.push_back(field(u"regiao"_s, Orientation::Row));
    d.fields.back().rankingMode = ranking;
    d.fields.back().rankingDataField = ranking == RankingMode::None ? 0 : 1;
    d.fields.push_back(field(u"valor"_s, Orientation::Data));
    CubeData data;
    data.rowCount = amounts.size();
    auto dimension = std::make_shared<DimensionColumn>();
    const quint32 items = std::max<quint32>(dictionary.size(), 1);
    for (size_t i = 0; i < amounts.size(); ++i)
        dimension->codes.push_back(quint32(i % items));
    dimension->dictionary = std::move(dictionary);
    auto measure = std::make_shared<MeasureColumn>();
    measure->inCents = false;
    measure->reals = amounts;
    data.fields.push_back({dimension, nullptr});
    data.fields.push_back({nullptr, measure});
    return writeCubeFile(d, &data, SaveKind::LayoutAndData, QString());
}

Dictionary texts(std::initializer_list<std::string_view> items)
{
    TextPool pool;
    for (std::string_view item : items)
        pool.append(item);
    return Dictionary::makeTexts(std::move(pool), false);
}

bool writeEdgeSeeds(const QDir &dir)
{
    // fields whose five strings are all empty: the smallest field a file can hold
    CubeDefinition empty;
    for (int i = 0; i < 3; ++i) {
        FieldDefinition f;
        f.totalCaption.clear();
        f.position = i;
        f.orientation = i == 2 ? Orientation::Data : Orientation::Row;
        empty.fields.push_back(f);
    }
    CubeData rows;
    rows.rowCount = 2;
    for (int i = 0; i < 3; ++i) {
        auto column = std::make_shared<DimensionColumn>();
        column->dictionary = texts({"", "x"});
        column->codes = {0, 1};
        rows.fields.push_back({column, nullptr});
    }
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto ints = [](std::vector<qint64> v, ValueKind kind) {
        return Dictionary::makeIntegers(std::move(v), false, kind);
    };
    auto reals = [](std::vector<double> v) { return Dictionary::makeNumbers(std::move(v), false); };
    const std::vector<double> some{1, 2.5, -3, 4};
    std::vector<double> nanSums;
    for (int i = 0; i < 24; ++i)
        nanSums.push_back(i % 3 == 0 ? (i % 2 ? inf : -inf) : i);
    std::vector<qint64> regions;
    for (int i = 0; i < 12; ++i)
        regions.push_back(i);
    CubeDefinition hostile = analysisCubeDefinition(u"caixa.mdb"_s);
    hostile.properties.recordSource = u"SELECT 1; DELETE FROM LANCAMENTOS"_s;
    CubeDefinition smuggler = analysisCubeDefinition(u"/outro/banco.mdb"_s);
    smuggler.fields.push_back(
        field(u"0 AS a; ATTACH DATABASE 'x' AS x; SELECT 0"_s, Orientation::Page));
    const std::pair<QString, QByteArray> seeds[] = {
        {u"empty-fields-layout.cub"_s, writeCubeFile(empty, nullptr, SaveKind::LayoutOnly, {})},
        {u"empty-fields-data.cub"_s, writeCubeFile(empty, &rows, SaveKind::LayoutAndData, {})},
        {u"texts-sorted.cub"_s, withDictionary(texts({"A", "a", "Itaú", "b"}), some)},
        {u"texts-unsorted.cub"_s, withDictionary(texts({"b", "a", "c", "d"}), some)},
        {u"texts-repeated.cub"_s, withDictionary(texts({"a", "b", "b", "c"}), some)},
        {u"texts-odd-bytes.cub"_s, withDictionary(texts({"\xfe", "\xff", "\xff\xfe"}), some)},
        {u"integers-unsorted.cub"_s, withDictionary(ints({3, 1, 2}, ValueKind::Integer), some)},
        {u"dates-repeated.cub"_s,
         withDictionary(ints({2460000, 2460000, 2460001}, ValueKind::Date), some)},
        {u"numbers-unsorted.cub"_s, withDictionary(reals({2, 1, inf}), some)},
        {u"numbers-nan.cub"_s, withDictionary(reals({1, nan}), some)},
        {u"ranking-nan-sums.cub"_s,
         withDictionary(ints(regions, ValueKind::Integer), nanSums, RankingMode::Descending)},
        {u"ranking-nan-sums-asc.cub"_s,
         withDictionary(ints(regions, ValueKind::Integer), nanSums, RankingMode::Ascending)},
        {u"amounts-nan.cub"_s, withDictionary(reals({1, 2}), {1, nan, 2, 3})},
        {u"hostile-record-source.cub"_s, writeCubeFile(hostile, nullptr, SaveKind::LayoutOnly, {})},
        {u"hostile-field-expression.cub"_s,
         writeCubeFile(smuggler, nullptr, SaveKind::LayoutOnly | SaveKind::Compressed, {})},
    };
    for (const auto &[name, bytes] : seeds)
        if (!write(dir, name, bytes))
            return false;
    return true;
}

} // namespace

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
    return writeEdgeSeeds(dir) ? 0 : 1;
}
