#include "core/error.h"
#include "cube/cube.h"
#include "cube/datamarkers.h"
#include "cubefixture.h"

#include <QTest>

using namespace tessal;
using namespace tessal::cube;
using namespace Qt::StringLiterals;

namespace {

constexpr quint32 Green = 0x00ff00;
constexpr quint32 Red = 0x0000ff;
constexpr quint32 Blue = 0xff0000;

// The number of the error `call` raises; 0 when it raises none.
template<class Call> int errorOf(Call &&call)
{
    try {
        call();
    } catch (const Error &e) {
        return e.number();
    }
    return 0;
}

QStringList namesInOrder(const DataMarkerCollection &markers)
{
    QStringList names;
    for (const dataMarker &m : markers)
        names << m.dataFieldName;
    return names;
}

} // namespace

class tst_DataMarkers : public QObject
{
    Q_OBJECT

private slots:
    void addKeepsOrderAndEveryValue();
    void keysReachTheirMarker();
    void removeByIndexAndByKey();
    void badIndexOrKeyIsAnError();
    void duplicateKeyAddsNothing();

    void lastMatchingMarkerColoursTheCell();
    void markerOfAnotherDataFieldNeverApplies();
    void totalCellsComeWithANegativeNumber();
    void cellWithoutDataFieldIsLeftAlone();

    void numbers_data();
    void numbers();
    void ranges_data();
    void ranges();

private:
    // the cell of `account` ("" for the total row) and `year` ("" for the total column) showing
    // data field `dataField`
    static QPoint cell(const Cube &cube, const QString &account, const QString &year,
                       int dataField);
    static CellFormat formatOf(const Cube &cube, const QString &account, const QString &year,
                               int dataField);
};

void tst_DataMarkers::addKeepsOrderAndEveryValue()
{
    DataMarkerCollection markers;
    QCOMPARE(markers.Count(), 0);
    QVERIFY(markers.begin() == markers.end());
    dataMarker &first = markers.Add(Red, Green, -2, 4.9, u"sumVL_LANCAMENTO"_s);
    QCOMPARE(first.ForeColor, Red);
    QCOMPARE(first.BackColor, Green);
    QCOMPARE(first.LowValue, -2.0);
    QCOMPARE(first.HighValue, 4.9);
    QCOMPARE(first.dataFieldName, u"sumVL_LANCAMENTO"_s);
    markers.Add(0, 0, 1, 2, u"b"_s);
    markers.Add(0, 0, 3, 4, u"c"_s, u"k"_s);
    QCOMPARE(markers.Count(), 3);
    QCOMPARE(markers.Item(1).dataFieldName, u"sumVL_LANCAMENTO"_s);
    QCOMPARE(markers.Item(2).dataFieldName, u"b"_s);
    QCOMPARE(markers.Item(3).dataFieldName, u"c"_s);
    QCOMPARE(namesInOrder(markers), (QStringList{u"sumVL_LANCAMENTO"_s, u"b"_s, u"c"_s}));
    // Item gives the marker itself, not a copy
    markers.Item(2).HighValue = 20;
    QCOMPARE(markers.Item(2).HighValue, 20.0);
}

void tst_DataMarkers::keysReachTheirMarker()
{
    DataMarkerCollection markers;
    markers.Add(0, 0, 0, 1, u"a"_s, u"primeiro"_s);
    markers.Add(0, 0, 0, 1, u"b"_s);
    markers.Add(0, 0, 0, 1, u"c"_s, u"terceiro"_s);
    QCOMPARE(markers.Item(u"primeiro"_s).dataFieldName, u"a"_s);
    QCOMPARE(markers.Item(u"terceiro"_s).dataFieldName, u"c"_s);
    // as the old collections did, a key is found whatever its case
    QCOMPARE(markers.Item(u"TERCEIRO"_s).dataFieldName, u"c"_s);
    // a marker added without a key cannot be reached by the empty key
    QCOMPARE(errorOf([&] { markers.Item(QString()); }), DataMarkerError::BadArgument);
    const DataMarkerCollection &constant = markers;
    QCOMPARE(constant.Item(u"primeiro"_s).dataFieldName, u"a"_s);
    QCOMPARE(constant.Item(3).dataFieldName, u"c"_s);
}

void tst_DataMarkers::removeByIndexAndByKey()
{
    DataMarkerCollection markers;
    markers.Add(0, 0, 0, 1, u"a"_s, u"ka"_s);
    markers.Add(0, 0, 0, 1, u"b"_s);
    markers.Add(0, 0, 0, 1, u"c"_s, u"kc"_s);
    markers.Add(0, 0, 0, 1, u"d"_s, u"kd"_s);

    markers.Remove(2);
    QCOMPARE(namesInOrder(markers), (QStringList{u"a"_s, u"c"_s, u"d"_s}));
    // the keys moved up with their markers
    QCOMPARE(markers.Item(u"kc"_s).dataFieldName, u"c"_s);
    QCOMPARE(markers.Item(2).dataFieldName, u"c"_s);

    markers.Remove(u"kc"_s);
    QCOMPARE(namesInOrder(markers), (QStringList{u"a"_s, u"d"_s}));
    QCOMPARE(markers.Item(u"kd"_s).dataFieldName, u"d"_s);
    QCOMPARE(errorOf([&] { markers.Item(u"kc"_s); }), DataMarkerError::BadArgument);
    // a removed marker's key is free again
    markers.Add(0, 0, 0, 1, u"e"_s, u"kc"_s);
    QCOMPARE(markers.Item(u"kc"_s).dataFieldName, u"e"_s);

    markers.Remove(1);
    markers.Remove(markers.Count());
    QCOMPARE(namesInOrder(markers), (QStringList{u"d"_s}));
}

void tst_DataMarkers::badIndexOrKeyIsAnError()
{
    DataMarkerCollection markers;
    QCOMPARE(errorOf([&] { markers.Item(1); }), DataMarkerError::OutOfRange);
    markers.Add(0, 0, 0, 1, u"a"_s, u"k"_s);
    markers.Add(0, 0, 0, 1, u"b"_s);
    for (int index : {0, -1, 3, 1000}) {
        QCOMPARE(errorOf([&] { markers.Item(index); }), DataMarkerError::OutOfRange);
        QCOMPARE(errorOf([&] { markers.Remove(index); }), DataMarkerError::OutOfRange);
    }
    QCOMPARE(errorOf([&] { markers.Item(u"x"_s); }), DataMarkerError::BadArgument);
    QCOMPARE(errorOf([&] { markers.Remove(u"x"_s); }), DataMarkerError::BadArgument);
    QCOMPARE(markers.Count(), 2);
    try {
        markers.Item(3);
        QFAIL("no error for the third of two markers");
    } catch (const Error &e) {
        QCOMPARE(e.source(), u"DataMarkerCollection"_s);
        QVERIFY2(e.description().contains(u'3'), qPrintable(e.description()));
    }
}

void tst_DataMarkers::duplicateKeyAddsNothing()
{
    DataMarkerCollection markers;
    markers.Add(0, 0, 0, 1, u"a"_s, u"k"_s);
    QCOMPARE(errorOf([&] { markers.Add(0, 0, 5, 6, u"b"_s, u"K"_s); }),
             DataMarkerError::DuplicateKey);
    QCOMPARE(markers.Count(), 1);
    QCOMPARE(markers.Item(u"k"_s).dataFieldName, u"a"_s);
    // markers without key never clash
    markers.Add(0, 0, 0, 1, u"b"_s);
    markers.Add(0, 0, 0, 1, u"c"_s, QString());
    QCOMPARE(markers.Count(), 3);
}

QPoint tst_DataMarkers::cell(const Cube &cube, const QString &account, const QString &year,
                             int dataField)
{
    int row = -1;
    for (int r = 0; r < cube.rowCount() && row < 0; ++r) {
        if (account.isEmpty() ? cube.isTotalRow(r) : cube.rowHeadingText(1, r) == account)
            row = r;
    }
    int column = -1;
    for (int c = 0; c < cube.columnCount() && column < 0; ++c) {
        const bool yearMatches =
            year.isEmpty() ? cube.isTotalColumn(c) : cube.columnHeadingText(1, c) == year;
        if (yearMatches && cube.dataFieldAt(c) == dataField)
            column = c;
    }
    return {column, row};
}

CellFormat tst_DataMarkers::formatOf(const Cube &cube, const QString &account, const QString &year,
                                     int dataField)
{
    const QPoint at = cell(cube, account, year, dataField);
    if (at.x() < 0 || at.y() < 0)
        qFatal("no cell for %s %s", qPrintable(account), qPrintable(year));
    return cube.cellFormat(at.x(), at.y());
}

void tst_DataMarkers::lastMatchingMarkerColoursTheCell()
{
    Cube cube;
    tessal::cube::test::defineEntriesCube(cube);
    cube.loadRows(tessal::cube::test::entriesTable());
    DataMarkerCollection markers;
    cube.setCellFormatHandler([&](CellFormat &f) { applyDataMarkers(markers, cube, f); });
    markers.Add(Blue, Green, 0, 100, u"sumVL_LANCAMENTO"_s);
    markers.Add(Blue, Red, 50, 150, u"sumVL_LANCAMENTO"_s);

    // the values first, or a wrong cell would pass for a coloured one
    const QPoint caixa2023 = cell(cube, u"Caixa"_s, u"2023"_s, 0);
    QCOMPARE(cube.cellValue(caixa2023.x(), caixa2023.y()).toDouble(), 75.0);
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 0).backColor, Red);
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 0).foreColor, Blue);
    QCOMPARE(formatOf(cube, u"Banco"_s, u"2023"_s, 0).backColor, Green); // 30: only the first
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2024"_s, 0).backColor, Red);   // 120: only the second
    const CellFormat outside = formatOf(cube, u"Banco"_s, u"2024"_s, 0); // 190: neither
    QCOMPARE(outside.backColor, White);
    QCOMPARE(outside.foreColor, Black);

    // both ends belong to the range
    markers.Item(1).LowValue = 75;
    markers.Item(1).HighValue = 75;
    markers.Remove(2);
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 0).backColor, Green);
    markers.Item(1).HighValue = 74.99;
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 0).backColor, White);
    markers.Item(1).LowValue = 75.01;
    markers.Item(1).HighValue = 100;
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 0).backColor, White);
}

void tst_DataMarkers::markerOfAnotherDataFieldNeverApplies()
{
    Cube cube;
    tessal::cube::test::defineEntriesCube(cube);
    cube.loadRows(tessal::cube::test::entriesTable());
    DataMarkerCollection markers;
    cube.setCellFormatHandler([&](CellFormat &f) { applyDataMarkers(markers, cube, f); });
    // every value of either field is in this range, but the marker belongs to the count
    markers.Add(Blue, Red, -1000, 1000, u"countVL_LANCAMENTO"_s);
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 0).backColor, White);
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 1).backColor, Red);
    // the caption is not the name, and names are compared as written
    markers.Item(1).dataFieldName = u"Valor"_s;
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 0).backColor, White);
    markers.Item(1).dataFieldName = u"SUMVL_LANCAMENTO"_s;
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 0).backColor, White);
    markers.Item(1).dataFieldName = u"sumVL_LANCAMENTO"_s;
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 0).backColor, Red);
    QCOMPARE(formatOf(cube, u"Caixa"_s, u"2023"_s, 1).backColor, White);
}

void tst_DataMarkers::totalCellsComeWithANegativeNumber()
{
    Cube cube;
    tessal::cube::test::defineEntriesCube(cube);
    cube.loadRows(tessal::cube::test::entriesTable());
    DataMarkerCollection markers;
    QList<int> numbers;
    cube.setCellFormatHandler([&](CellFormat &f) {
        numbers << f.dataField;
        applyDataMarkers(markers, cube, f);
    });
    // only the grand total of the amounts reaches 415
    markers.Add(Blue, Red, 400, 500, u"sumVL_LANCAMENTO"_s);
    const CellFormat total = formatOf(cube, QString(), QString(), 0);
    QCOMPARE(total.value, 415.0);
    QCOMPARE(numbers.last(), -1);
    QCOMPARE(total.backColor, Red);
    const CellFormat countTotal = formatOf(cube, QString(), QString(), 1);
    QCOMPARE(numbers.last(), -2);
    QCOMPARE(countTotal.backColor, White);
    // a row total of the count: 2 entries of Caixa, -2 as its number
    markers.Add(0, Green, 2, 2, u"countVL_LANCAMENTO"_s);
    QCOMPARE(formatOf(cube, u"Caixa"_s, QString(), 1).backColor, Green);
    QCOMPARE(numbers.last(), -2);
}

void tst_DataMarkers::cellWithoutDataFieldIsLeftAlone()
{
    Cube cube;
    tessal::cube::test::defineEntriesCube(cube);
    cube.loadRows(tessal::cube::test::entriesTable());
    DataMarkerCollection markers;
    markers.Add(Blue, Red, -1000, 1000, u"sumVL_LANCAMENTO"_s);
    for (int number : {0, 3, -3, 1000}) {
        CellFormat f;
        f.value = 5;
        f.dataField = number;
        applyDataMarkers(markers, cube, f);
        QCOMPARE(f.backColor, White);
        QCOMPARE(f.foreColor, Black);
    }
    CellFormat f;
    f.value = 5;
    f.dataField = -1;
    applyDataMarkers(markers, cube, f);
    QCOMPARE(f.backColor, Red);
}

void tst_DataMarkers::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << u"12"_s << true << 12.0;
    QTest::newRow("dot") << u"4.9"_s << true << 4.9;
    QTest::newRow("comma") << u"4,9"_s << true << 4.9;
    QTest::newRow("spaces") << u"  4,9 "_s << true << 4.9;
    QTest::newRow("minus") << u"-2"_s << true << -2.0;
    QTest::newRow("plus") << u"+3"_s << true << 3.0;
    QTest::newRow("parentheses") << u"(2)"_s << true << -2.0;
    QTest::newRow("spaced parentheses") << u"( 2,5 )"_s << true << -2.5;
    QTest::newRow("no integer part") << u".5"_s << true << 0.5;
    QTest::newRow("lone dot is decimal") << u"1.234"_s << true << 1.234;
    QTest::newRow("pt-BR grouping") << u"1.234,5"_s << true << 1234.5;
    QTest::newRow("en grouping") << u"1,234,567.25"_s << true << 1234567.25;
    QTest::newRow("two dots") << u"1.234.567"_s << false << 0.0;
    QTest::newRow("two commas") << u"1,5,2"_s << false << 0.0;
    QTest::newRow("bad grouping") << u"12,34.5"_s << false << 0.0;
    QTest::newRow("grouping after decimal") << u"1.5,234"_s << false << 0.0;
    QTest::newRow("empty") << QString() << false << 0.0;
    QTest::newRow("separator only") << u","_s << false << 0.0;
    QTest::newRow("letters") << u"x"_s << false << 0.0;
    QTest::newRow("exponent") << u"1e3"_s << false << 0.0;
    QTest::newRow("signed in parentheses") << u"(-2)"_s << false << 0.0;
    QTest::newRow("empty parentheses") << u"()"_s << false << 0.0;
    QTest::newRow("half parentheses") << u"(2"_s << false << 0.0;
    QTest::newRow("nested parentheses") << u"((2))"_s << false << 0.0;
    QTest::newRow("too long to be finite") << QString(400, u'9') << false << 0.0;
}

void tst_DataMarkers::numbers()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    const std::optional<double> parsed = parseMarkerNumber(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
}

void tst_DataMarkers::ranges_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<QString>("refusal"); // empty when the range is taken
    QTest::addColumn<int>("icon");
    const int info = int(Dialogs::Icon::Information);
    const int warning = int(Dialogs::Icon::Warning);
    const QString invalid = u"Invalid Data Marker range."_s;
    QTest::newRow("prompt's example") << u"(2) - 4.9"_s << -2.0 << 4.9 << QString() << 0;
    QTest::newRow("backwards") << u"10 - 5"_s << 5.0 << 10.0 << QString() << 0;
    QTest::newRow("pt-BR decimals") << u"4,9-(1,5)"_s << -1.5 << 4.9 << QString() << 0;
    QTest::newRow("both negative") << u"(10) - (2)"_s << -10.0 << -2.0 << QString() << 0;
    QTest::newRow("one value") << u"7 - 7"_s << 7.0 << 7.0 << QString() << 0;
    QTest::newRow("grouped") << u"1.234,5 - 0"_s << 0.0 << 1234.5 << QString() << 0;
    QTest::newRow("leading minus") << u"-3 - 4"_s << 0.0 << 0.0 << invalid << info;
    QTest::newRow("no dash") << u"5"_s << 0.0 << 0.0 << invalid << info;
    QTest::newRow("three parts") << u"1 - 2 - 3"_s << 0.0 << 0.0 << invalid << info;
    QTest::newRow("blank") << u"   "_s << 0.0 << 0.0 << invalid << info;
    QTest::newRow("not a number") << u"1 - x"_s << 0.0 << 0.0 << u"'x' is not a valid number."_s
                                  << warning;
    QTest::newRow("first not a number")
        << u" abc - 2"_s << 0.0 << 0.0 << u"'abc' is not a valid number."_s << warning;
    QTest::newRow("missing second")
        << u"5 -"_s << 0.0 << 0.0 << u"'' is not a valid number."_s << warning;
    QTest::newRow("letters in parentheses")
        << u"(x) - 1"_s << 0.0 << 0.0 << u"'(x)' is not a valid number."_s << warning;
    QTest::newRow("ambiguous grouping")
        << u"0 - 1.234.567"_s << 0.0 << 0.0 << u"'1.234.567' is not a valid number."_s << warning;
}

void tst_DataMarkers::ranges()
{
    QFETCH(QString, answer);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(QString, refusal);
    QFETCH(int, icon);
    const MarkerRange range = parseMarkerRange(answer);
    if (refusal.isEmpty()) {
        QVERIFY2(!range.refusal, qPrintable(range.refusal ? range.refusal->text : QString()));
        QCOMPARE(range.low, low);
        QCOMPARE(range.high, high);
        return;
    }
    QVERIFY(range.refusal);
    QCOMPARE(range.refusal->text, refusal);
    QCOMPARE(range.refusal->title, u"Please Try Again..."_s);
    QCOMPARE(int(range.refusal->icon), icon);
}

QTEST_APPLESS_MAIN(tst_DataMarkers)
#include "tst_datamarkers.moc"
