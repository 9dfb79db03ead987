#include "core/error.h"
#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "cube/cubefile.h"
#include "cubefixture.h"
#include "testsupport/tinyhttpserver.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;
using namespace tessal::cube;
using tessal::cube::test::CashFixture;
using tessal::test::TinyHttpServer;

namespace {

// The whole visible grid as text, to compare two cubes cell by cell.
QStringList gridOf(const Cube &cube)
{
    QStringList out;
    for (int r = 0; r < cube.rowCount(); ++r) {
        QStringList line;
        for (int l = 1; l <= cube.rowHeadingLevels(); ++l)
            line << cube.rowHeadingText(l, r);
        for (int c = 0; c < cube.columnCount(); ++c)
            line << cube.cellValue(c, r).toString();
        out << line.join(u'|');
    }
    for (int c = 0; c < cube.columnCount(); ++c)
        for (int l = 1; l <= cube.columnHeadingLevels(); ++l)
            out << cube.columnHeadingText(l, c);
    return out;
}

int errorNumberOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const tessal::Error &e) {
        return e.number();
    }
    return 0;
}

} // namespace

class tst_CubeFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void layoutOnlyReloadsFromDatabase();
    void fieldWithEmptyStringsRoundTrips();
    void itemListsMustBeSortedAndUnique_data();
    void itemListsMustBeSortedAndUnique();
    void ownFilesWithOddTextsLoad();
    void rankingWithNaNTotals();
    void nanAmountsAreRefused();
    void fuzzerFindings();
    void missingFile();
    void passwords();
    void tamperedFiles_data();
    void tamperedFiles();
    void everyTruncationIsRefused();
    void foreignFiles();
    void loadFromAddress();
    void addressFailure();

private:
    std::unique_ptr<CashFixture> m_fixture;
    QTemporaryDir m_dir;
    void prepare(Cube &cube);
};

void tst_CubeFile::initTestCase()
{
    m_fixture = std::make_unique<CashFixture>(600);
    TESSAL_REQUIRE_DATA_SOURCE(*m_fixture);
}

void tst_CubeFile::prepare(Cube &cube)
{
    cube.setDefinition(analysisCubeDefinition(m_fixture->path()));
    cube.load(m_fixture->database());
    // a layout worth keeping: another row field, a ranking, a renamed and an excluded item
    CubeField *conta = cube.pageFields().item(u"ds_conta"_s);
    conta->setOrientation(Orientation::Row);
    conta->setRankingMode(RankingMode::Descending);
    conta->setRankingDataField(1);
    CubeField *status = cube.pageFields().item(u"cd_tipo"_s);
    status->setItemCaption(status->itemIndex(u"C"_s), u"Crédito"_s);
    CubeField *baixa = cube.pageFields().item(u"ds_baixa"_s);
    baixa->setItemIncluded(baixa->itemIndex(u"Baixado"_s), false);
    cube.columnFields().item(0)->setGroupFooter(0);
}

void tst_CubeFile::roundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("password");
    for (int kind = 0; kind < 4; ++kind) {
        QTest::addRow("kind %d", kind) << kind << QString();
        QTest::addRow("kind %d with password", kind) << kind << u"segredo"_s;
    }
}

void tst_CubeFile::roundTrip()
{
    QFETCH(int, kind);
    QFETCH(QString, password);
    Cube original;
    prepare(original);
    original.setPassword(password);
    const QString path = m_dir.filePath(u"cubo%1.cub"_s.arg(kind));
    QVERIFY(original.saveToFile(path, kind));

    Cube copy;
    copy.setPassword(password);
    // layout-only files read their rows from the database the cube was set to
    copy.properties().databaseName = m_fixture->path();
    copy.setDatabaseOpener([this](const QString &dbPath) {
        if (dbPath != m_fixture->path())
            throw tessal::Error(1, u"wrong database"_s, u"test"_s);
        return m_fixture->database();
    });
    QVERIFY(copy.loadFromFile(path));
    QCOMPARE(copy.definition(), original.definition());
    QCOMPARE(copy.hasData(), true);
    QCOMPARE(gridOf(copy), gridOf(original));

    // kinds 0 and 2 open without any database
    if ((kind & 1) == 0) {
        Cube standalone;
        standalone.setPassword(password);
        QVERIFY(standalone.loadFromFile(path));
        QCOMPARE(gridOf(standalone), gridOf(original));
        QCOMPARE(standalone.loadedRowCount(), original.loadedRowCount());
    }
}

void tst_CubeFile::layoutOnlyReloadsFromDatabase()
{
    Cube original;
    prepare(original);
    const QByteArray layout = original.saveToBytes(SaveKind::LayoutOnly);
    const QByteArray full = original.saveToBytes(SaveKind::LayoutAndData);
    QVERIFY(layout.size() * 10 < full.size());
    QVERIFY(original.saveToBytes(SaveKind::LayoutAndData | SaveKind::Compressed).size() <
            full.size());
    // by default the cube opens the database it was set to, read-only
    Cube reloaded;
    reloaded.properties().databaseName = m_fixture->path();
    reloaded.loadFromBytes(layout);
    QVERIFY(reloaded.hasData());
    QCOMPARE(gridOf(reloaded), gridOf(original));
    // without a way to the database the layout stands alone, with no rows
    Cube copy;
    copy.properties().databaseName = m_fixture->path();
    copy.setDatabaseOpener({});
    copy.loadFromBytes(layout);
    QVERIFY(!copy.hasData());
    QCOMPARE(copy.rowCount(), 0);
    QCOMPARE(copy.definition(), original.definition());
    // nor does a cube that was set to no database follow the one the file names
    Cube unset;
    unset.loadFromBytes(layout);
    QVERIFY(!unset.hasData());
    QCOMPARE(unset.properties().databaseName, QString());
    CubeDefinition expected = original.definition();
    expected.properties.databaseName.clear();
    QCOMPARE(unset.definition(), expected);
}

void tst_CubeFile::fieldWithEmptyStringsRoundTrips()
{
    // the smallest field there is: five empty strings and no item states
    FieldDefinition empty;
    empty.totalCaption.clear();
    QVERIFY(empty.caption.isEmpty() && empty.name.isEmpty() && empty.sourceExpression.isEmpty() &&
            empty.numberFormat.isEmpty());
    for (int count = 1; count <= 3; ++count) {
        CubeDefinition d;
        d.properties.recordSource.clear();
        d.properties.connect.clear();
        for (int i = 0; i < count; ++i) {
            FieldDefinition f = empty;
            f.position = i;
            d.fields.push_back(f);
        }
        for (int kind : {SaveKind::LayoutOnly, SaveKind::LayoutOnly | SaveKind::Compressed}) {
            const QByteArray bytes = writeCubeFile(d, nullptr, kind, QString());
            CubeFileContents back;
            QCOMPARE(errorNumberOf([&] { back = readCubeFile(bytes, QString()); }), 0);
            QCOMPARE(back.definition, d);
            QVERIFY(!back.hasData);
        }
        // and with rows: each field a dimension of one item
        CubeData data;
        data.rowCount = 2;
        for (int i = 0; i < count; ++i) {
            auto column = std::make_shared<DimensionColumn>();
            TextPool texts;
            texts.append("x");
            column->dictionary = Dictionary::makeTexts(std::move(texts), false);
            column->codes = {0, 0};
            data.fields.push_back({column, nullptr});
        }
        const QByteArray bytes = writeCubeFile(d, &data, SaveKind::LayoutAndData, QString());
        CubeFileContents back;
        QCOMPARE(errorNumberOf([&] { back = readCubeFile(bytes, QString()); }), 0);
        QCOMPARE(back.definition, d);
        QCOMPARE(back.data.rowCount, size_t(2));
    }
}

namespace {

// A file of one row field over `dictionary` (every row on its first item) and nothing else,
// written as it stands: the writer does not check, so a damaged dictionary gets in.
QByteArray fileWithDictionary(Dictionary dictionary)
{
    CubeDefinition d;
    FieldDefinition f;
    f.sourceExpression = f.name = f.caption = u"campo"_s;
    f.orientation = Orientation::Row;
    d.fields.push_back(f);
    CubeData data;
    data.rowCount = 3;
    auto column = std::make_shared<DimensionColumn>();
    column->dictionary = std::move(dictionary);
    column->codes = {0, 0, 0};
    data.fields.push_back({column, nullptr});
    return writeCubeFile(d, &data, SaveKind::LayoutAndData, QString());
}

Dictionary texts(std::initializer_list<std::string_view> items)
{
    TextPool pool;
    for (std::string_view item : items)
        pool.append(item);
    return Dictionary::makeTexts(std::move(pool), false);
}

} // namespace

void tst_CubeFile::itemListsMustBeSortedAndUnique_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("error");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto ints = [](std::vector<qint64> v, ValueKind kind = ValueKind::Integer) {
        return Dictionary::makeIntegers(std::move(v), false, kind);
    };
    auto reals = [](std::vector<double> v) { return Dictionary::makeNumbers(std::move(v), false); };
    QTest::newRow("texts in order") << fileWithDictionary(texts({"A", "a", "b", "Banco"})) << 0;
    QTest::newRow("texts out of order") << fileWithDictionary(texts({"b", "a"})) << 1024;
    QTest::newRow("texts, case out of order") << fileWithDictionary(texts({"a", "A"})) << 1024;
    QTest::newRow("texts repeated") << fileWithDictionary(texts({"a", "b", "b"})) << 1024;
    QTest::newRow("accented texts in order")
        << fileWithDictionary(texts({"Caixa", "Itaú", "Poupança"})) << 0;
    QTest::newRow("accented texts out of order")
        << fileWithDictionary(texts({"Poupança", "Itaú"})) << 1024;
    // bytes that are not UTF-8 all decode to U+FFFD; their bytes still order them
    QTest::newRow("odd bytes in order") << fileWithDictionary(texts({"þ", "ÿ"})) << 0;
    QTest::newRow("odd bytes out of order") << fileWithDictionary(texts({"ÿ", "þ"})) << 1024;
    QTest::newRow("odd bytes repeated") << fileWithDictionary(texts({"ÿ", "ÿ"})) << 1024;
    QTest::newRow("integers in order") << fileWithDictionary(ints({-5, 0, 7})) << 0;
    QTest::newRow("integers out of order") << fileWithDictionary(ints({7, 0})) << 1024;
    QTest::newRow("integers repeated") << fileWithDictionary(ints({1, 1})) << 1024;
    QTest::newRow("dates repeated")
        << fileWithDictionary(ints({2460000, 2460000}, ValueKind::Date)) << 1024;
    QTest::newRow("numbers in order") << fileWithDictionary(reals({-inf, -1.5, 0, 2, inf})) << 0;
    QTest::newRow("numbers out of order") << fileWithDictionary(reals({2, 1})) << 1024;
    QTest::newRow("numbers repeated") << fileWithDictionary(reals({1, 1})) << 1024;
    QTest::newRow("zero and minus zero") << fileWithDictionary(reals({-0.0, 0.0})) << 1024;
    QTest::newRow("NaN item") << fileWithDictionary(reals({nan})) << 1024;
    QTest::newRow("NaN among items") << fileWithDictionary(reals({1, nan, 3})) << 1024;
}

void tst_CubeFile::itemListsMustBeSortedAndUnique()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, error);
    QCOMPARE(errorNumberOf([&] { readCubeFile(bytes, QString()); }), error);
    Cube cube;
    cube.setDatabaseOpener({});
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), error);
    if (error == 0) {
        // every item is found by its own name
        CubeField *f = cube.fields().item(0);
        for (int i = 0; i < f->itemCount(); ++i)
            QCOMPARE(f->itemIndex(f->itemName(i)), i);
    } else {
        QCOMPARE(cube.fields().count(), 0); // refused as a whole
    }
}

// The program's own files always pass the reader's checks, odd texts from the database included.
void tst_CubeFile::ownFilesWithOddTextsLoad()
{
    if (m_fixture->onServer())
        QSKIP("texts that are no UTF-8 exist only in SQLite files; the server refuses them");
    Cube cube;
    cube.addField(u"t"_s, u"Texto"_s, Orientation::Row);
    cube.addField(u"v"_s, u"Valor"_s, Orientation::Data);
    cube.properties().recordSource =
        u"SELECT CAST(x'ff' AS TEXT) AS t, 1 AS v UNION ALL SELECT CAST(x'fe' AS TEXT), 2 "
        "UNION ALL SELECT CAST(x'ff' AS TEXT), 4 UNION ALL SELECT 'a', 8 UNION ALL SELECT 'A', 16"_s;
    cube.load(m_fixture->database());
    QCOMPARE(cube.fields().item(0)->itemCount(), 4);
    for (int kind = 0; kind < 4; kind += 2) {
        Cube copy;
        QCOMPARE(errorNumberOf([&] { copy.loadFromBytes(cube.saveToBytes(kind)); }), 0);
        QCOMPARE(gridOf(copy), gridOf(cube));
    }
}

namespace {

// `regions` row items, each with two amounts (as reals, not cents): the region's sum is NaN where
// the two are +inf and -inf.
QByteArray fileWithAmounts(const std::vector<std::pair<double, double>> &regions)
{
    CubeDefinition d;
    FieldDefinition region;
    region.sourceExpression = region.name = region.caption = u"regiao"_s;
    region.orientation = Orientation::Row;
    d.fields.push_back(region);
    FieldDefinition amount;
    amount.sourceExpression = amount.caption = u"valor"_s;
    amount.name = u"sumvalor"_s;
    amount.orientation = Orientation::Data;
    d.fields.push_back(amount);
    CubeData data;
    data.rowCount = regions.size() * 2;
    auto dimension = std::make_shared<DimensionColumn>();
    std::vector<qint64> names;
    auto measure = std::make_shared<MeasureColumn>();
    measure->inCents = false;
    for (size_t i = 0; i < regions.size(); ++i) {
        names.push_back(qint64(i) + 1);
        dimension->codes.push_back(quint32(i));
        dimension->codes.push_back(quint32(i));
        measure->reals.push_back(regions[i].first);
        measure->reals.push_back(regions[i].second);
    }
    dimension->dictionary = Dictionary::makeIntegers(std::move(names), false, ValueKind::Integer);
    data.fields.push_back({dimension, nullptr});
    data.fields.push_back({nullptr, measure});
    return writeCubeFile(d, &data, SaveKind::LayoutAndData, QString());
}

} // namespace

void tst_CubeFile::rankingWithNaNTotals()
{
    const double inf = std::numeric_limits<double>::infinity();
    // 60 regions, enough for std::sort to leave its insertion sort: every fifth sums to NaN,
    // the others to their number (mod 7, so there are ties), region 3 to +inf, region 4 to -inf.
    std::vector<std::pair<double, double>> regions;
    for (int i = 1; i <= 60; ++i) {
        if (i % 5 == 0)
            regions.emplace_back(inf, -inf);
        else if (i == 3)
            regions.emplace_back(inf, 1);
        else if (i == 4)
            regions.emplace_back(-inf, 1);
        else
            regions.emplace_back(i % 7, 0.5);
    }
    const QByteArray bytes = fileWithAmounts(regions);
    auto sumOf = [&](int region) {
        return regions[size_t(region) - 1].first + regions[size_t(region) - 1].second;
    };
    for (RankingMode mode : {RankingMode::Descending, RankingMode::Ascending}) {
        Cube cube;
        cube.setDatabaseOpener({});
        QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), 0);
        CubeField *region = cube.rowFields().item(0);
        region->setRankingMode(mode);
        region->setRankingDataField(1);
        cube.refresh();
        QList<int> order;
        for (int r = 0; r < cube.rowCount(); ++r)
            if (!cube.isTotalRow(r))
                order << cube.rowHeadingText(1, r).toInt();
        QCOMPARE(order.size(), 60);
        // the numbers in the ranking's direction, ties in the items' own order, then the NaNs
        // in their own order
        QList<int> expected;
        for (int i = 1; i <= 60; ++i)
            if (!std::isnan(sumOf(i)))
                expected << i;
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
            return mode == RankingMode::Descending ? sumOf(a) > sumOf(b) : sumOf(a) < sumOf(b);
        });
        for (int i = 5; i <= 60; i += 5)
            expected << i;
        QCOMPARE(order, expected);
        QVERIFY(std::isnan(cube.cellValue(0, order.indexOf(60)).toDouble()));
    }
}

// What the fuzzer found (undefined behaviour reported by the sanitizers, harmless in practice):
// an empty item list or column read into an empty vector (memcpy from or to a null pointer), and a
// ranking data field of -2147483648 (its number less one overflowed).
void tst_CubeFile::fuzzerFindings()
{
    Cube small;
    small.addField(u"a"_s, u"A"_s, Orientation::Row);
    small.addField(u"d"_s, u"D"_s, Orientation::Column);
    small.addField(u"b"_s, u"B"_s, Orientation::Data);
    RowTable none;
    none.columns = {u"a"_s, u"d"_s, u"b"_s};
    small.loadRows(none);
    for (int kind : {SaveKind::LayoutAndData, SaveKind::LayoutAndData | SaveKind::Compressed}) {
        Cube copy;
        copy.setDatabaseOpener({});
        QCOMPARE(errorNumberOf([&] { copy.loadFromBytes(small.saveToBytes(kind)); }), 0);
        QVERIFY(copy.hasData());
        QCOMPARE(copy.loadedRowCount(), size_t(0));
        QCOMPARE(gridOf(copy), gridOf(small));
    }

    const std::vector<std::pair<double, double>> regions{{3, 0}, {1, 0}, {2, 0}};
    for (int number :
         {std::numeric_limits<int>::min(), -1, 0, 2, std::numeric_limits<int>::max()}) {
        Cube cube;
        cube.setDatabaseOpener({});
        QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(fileWithAmounts(regions)); }), 0);
        CubeField *region = cube.rowFields().item(0);
        region->setRankingMode(RankingMode::Descending);
        region->setRankingDataField(number);
        QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(cube.saveToBytes(0)); }), 0);
        // no such data field: the items keep their own order
        QCOMPARE(cube.rowHeadingText(1, 0), u"1"_s);
        QCOMPARE(cube.rowHeadingText(1, 2), u"3"_s);
    }
}

void tst_CubeFile::nanAmountsAreRefused()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Cube cube;
    cube.setDatabaseOpener({});
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(fileWithAmounts({{1, 2}, {3, nan}})); }), 1024);
    QCOMPARE(cube.fields().count(), 0);
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(fileWithAmounts({{1, 2}, {3, 4}})); }), 0);
}

void tst_CubeFile::missingFile()
{
    Cube cube;
    QCOMPARE(errorNumberOf([&] { cube.loadFromFile(m_dir.filePath(u"nada.cub"_s)); }), 1014);
    QCOMPARE(errorNumberOf([&] { cube.loadFromFile(QString()); }), 1014);
}

void tst_CubeFile::passwords()
{
    Cube original;
    prepare(original);
    original.setPassword(u"segredo"_s);
    const QByteArray bytes = original.saveToBytes(SaveKind::LayoutAndData | SaveKind::Compressed);
    QVERIFY(!bytes.contains("Banco do Brasil")); // the rows are not readable without the key
    Cube cube;
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), 1021);
    cube.setPassword(u"Segredo"_s);
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), 1021);
    QCOMPARE(cube.fields().count(), 0); // a failed load leaves the cube as it was
    cube.setPassword(u"segredo"_s);
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), 0);
    QCOMPARE(gridOf(cube), gridOf(original));
    // a password offered to an unprotected file is not needed and does no harm
    original.setPassword(QString());
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(original.saveToBytes(0)); }), 0);
}

void tst_CubeFile::tamperedFiles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("password");
    QTest::addColumn<double>("where"); // fraction of the file where a byte is flipped
    for (double where : {0.2, 0.5, 0.99}) {
        QTest::addRow("plain at %.2f", where) << 0 << QString() << where;
        QTest::addRow("compressed at %.2f", where) << 2 << QString() << where;
        QTest::addRow("protected at %.2f", where) << 2 << u"pw"_s << where;
    }
}

void tst_CubeFile::tamperedFiles()
{
    QFETCH(int, kind);
    QFETCH(QString, password);
    QFETCH(double, where);
    Cube original;
    prepare(original);
    original.setPassword(password);
    QByteArray bytes = original.saveToBytes(kind);
    const auto at = qsizetype(where * double(bytes.size()));
    QVERIFY(at > 100); // past the header: the password check still passes
    bytes[at] = char(bytes[at] ^ 0x20);
    Cube cube;
    cube.setPassword(password);
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes); }), 1024);
}

void tst_CubeFile::everyTruncationIsRefused()
{
    Cube small;
    small.addField(u"a"_s, u"A"_s, Orientation::Row);
    small.addField(u"b"_s, u"B"_s, Orientation::Data);
    RowTable t;
    t.columns = {u"a"_s, u"b"_s};
    t.rows = {{u"x"_s, 1.5}, {u"y"_s, 2}};
    small.loadRows(t);
    for (int kind = 0; kind < 4; ++kind) {
        const QByteArray bytes = small.saveToBytes(kind);
        for (qsizetype n = 0; n < bytes.size(); ++n) {
            Cube cube;
            QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(bytes.left(n)); }), 1024);
        }
    }
}

void tst_CubeFile::foreignFiles()
{
    Cube cube;
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes("PK\x03\x04 not a cube at all"); }), 1024);
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(QByteArray(4096, '\0')); }), 1024);
    QByteArray newer = cube.saveToBytes(0);
    newer[8] = 9; // a version this program does not know
    QCOMPARE(errorNumberOf([&] { cube.loadFromBytes(newer); }), 1024);
    const QString text = m_dir.filePath(u"texto.cub"_s);
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("SELECT * FROM lancamentos\n");
    f.close();
    QCOMPARE(errorNumberOf([&] { cube.loadFromFile(text); }), 1024);
}

void tst_CubeFile::loadFromAddress()
{
    Cube original;
    prepare(original);
    TinyHttpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    server.body = original.saveToBytes(SaveKind::LayoutAndData | SaveKind::Compressed);
    Cube cube;
    QSignalSpy done(&cube, &Cube::addressLoaded);
    cube.setLoadFromAddress(u"http://127.0.0.1:%1/vendas.cub"_s.arg(server.serverPort()));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.first().at(0).toBool(), true);
    QCOMPARE(gridOf(cube), gridOf(original));
}

void tst_CubeFile::addressFailure()
{
    TinyHttpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    Cube cube;
    QSignalSpy done(&cube, &Cube::addressLoaded);
    server.status = 404;
    cube.setLoadFromAddress(u"http://127.0.0.1:%1/nada.cub"_s.arg(server.serverPort()));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.last().at(0).toBool(), false);
    QCOMPARE(done.last().at(1).toInt(), int(CubeError::FetchFailed));
    server.status = 200;
    server.body = "garbage";
    cube.setLoadFromAddress(u"http://127.0.0.1:%1/lixo.cub"_s.arg(server.serverPort()));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.last().at(0).toBool(), false);
    QCOMPARE(done.last().at(1).toInt(), int(CubeError::BadFile));
}

QTEST_GUILESS_MAIN(tst_CubeFile)
#include "tst_cubefile.moc"
