#include "cube/chartdata.h"
#include "cube/cube.h"
#include "cubefixture.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace tessal::cube;
using tessal::cube::test::defineSmallCube;
using tessal::cube::test::smallCubeTable;

// The small cube's grid, worked out by hand:
//   rows    0 Norte x, 1 Norte y, 2 Norte Total, 3 Sul x, 4 Sul y, 5 Sul Total, 6 Total
//   columns 0 2023 Valor, 1 2023 Quantidade, 2 2024 Valor, 3 2024 Quantidade,
//           4 Total Valor, 5 Total Quantidade
class tst_ChartData : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void singleCell();
    void twoRowsFiveColumns();
    void fiveRowsTwoColumns();
    void reversedBoundsGiveTheSameChart();
    void severalDataFieldsWithoutColumnFields();
    void oneVisibleDataFieldLeavesTheCaptionOut();
    void severalVisible_data();
    void severalVisible();

private:
    std::unique_ptr<Cube> m_cube;
};

void tst_ChartData::init()
{
    m_cube = std::make_unique<Cube>();
    defineSmallCube(*m_cube);
    m_cube->loadRows(smallCubeTable());
}

void tst_ChartData::singleCell()
{
    m_cube->setSelection({2, 2, 0, 0});
    const ChartData chart = fillChartFromCube(*m_cube);
    QCOMPARE(chart.chartRows(), 1);
    QCOMPARE(chart.chartColumns(), 1);
    QVERIFY(!chart.cubeRowsAreChartRows);
    QVERIFY(!chart.array[0][0].isValid());
    QCOMPARE(chart.array[0][1].toString(), u"Norte - x"_s);
    QCOMPARE(chart.array[1][0].toString(), u"2024 - Valor"_s);
    QCOMPARE(chart.array[1][1].toDouble(), 100.0);
}

void tst_ChartData::twoRowsFiveColumns()
{
    m_cube->setSelection({0, 4, 0, 1});
    const ChartData chart = fillChartFromCube(*m_cube);
    QVERIFY(chart.cubeRowsAreChartRows);
    QCOMPARE(chart.chartRows(), 2);    // categories: the cube rows
    QCOMPARE(chart.chartColumns(), 5); // series: the cube columns
    QCOMPARE(chart.array[1][0].toString(), u"Norte - x"_s);
    QCOMPARE(chart.array[2][0].toString(), u"Norte - y"_s);
    const QStringList series{u"2023 - Valor"_s, u"2023 - Quantidade"_s, u"2024 - Valor"_s,
                             u"2024 - Quantidade"_s, u"Total - Valor"_s};
    for (int j = 1; j <= 5; ++j)
        QCOMPARE(chart.array[0][j].toString(), series[j - 1]);
    QCOMPARE(chart.array[2][1].toDouble(), 0.30);
    QCOMPARE(chart.array[2][2].toDouble(), 2.0);
    QCOMPARE(chart.array[1][3].toDouble(), 100.0);
    QCOMPARE(chart.array[1][1].toDouble(), 0.0); // an empty cell charts as zero
    QCOMPARE(chart.array[2][5].toDouble(), 0.30);
}

void tst_ChartData::fiveRowsTwoColumns()
{
    m_cube->setSelection({4, 5, 2, 6});
    const ChartData chart = fillChartFromCube(*m_cube);
    QVERIFY(!chart.cubeRowsAreChartRows);
    QCOMPARE(chart.chartRows(), 2);    // categories: the cube columns
    QCOMPARE(chart.chartColumns(), 5); // series: the cube rows
    QCOMPARE(chart.array[1][0].toString(), u"Total - Valor"_s);
    QCOMPARE(chart.array[2][0].toString(), u"Total - Quantidade"_s);
    const QStringList series{u"Norte - Total"_s, u"Sul - x"_s, u"Sul - y"_s, u"Sul - Total"_s,
                             u"Total"_s};
    for (int j = 1; j <= 5; ++j)
        QCOMPARE(chart.array[0][j].toString(), series[j - 1]);
    QCOMPARE(chart.array[1][1].toDouble(), 100.30);
    QCOMPARE(chart.array[1][5].toDouble(), 117.05);
    QCOMPARE(chart.array[2][5].toDouble(), 6.0);
    QCOMPARE(chart.array[2][3].toDouble(), 1.0);
}

void tst_ChartData::reversedBoundsGiveTheSameChart()
{
    m_cube->setSelection({0, 4, 0, 1});
    const ChartData forward = fillChartFromCube(*m_cube);
    m_cube->setSelection({4, 0, 1, 0});
    QCOMPARE(fillChartFromCube(*m_cube).array, forward.array);
}

void tst_ChartData::severalDataFieldsWithoutColumnFields()
{
    m_cube->fields().item(2)->setOrientation(Orientation::Page);
    QCOMPARE(m_cube->columnCount(), 2);
    m_cube->setSelection({0, 1, 6, 6});
    const ChartData chart = fillChartFromCube(*m_cube);
    // one row, two columns: the columns are the series
    QVERIFY(chart.cubeRowsAreChartRows);
    QCOMPARE(chart.array[0][1].toString(), u" - Valor"_s);
    QCOMPARE(chart.array[0][2].toString(), u" - Quantidade"_s);
    QCOMPARE(chart.array[1][0].toString(), u"Total"_s);
    QCOMPARE(chart.array[1][1].toDouble(), 117.05);
}

void tst_ChartData::oneVisibleDataFieldLeavesTheCaptionOut()
{
    m_cube->dataFields().item(1)->setVisible(false);
    m_cube->setSelection({0, 2, 0, 0});
    const ChartData chart = fillChartFromCube(*m_cube);
    QCOMPARE(chart.array[0][1].toString(), u"2023"_s);
    QCOMPARE(chart.array[0][3].toString(), u"Total"_s);
}

void tst_ChartData::severalVisible_data()
{
    QTest::addColumn<int>("dataFields");
    QTest::addColumn<int>("hidden");
    QTest::addColumn<bool>("expected");
    QTest::newRow("none") << 0 << 0 << false;
    QTest::newRow("one") << 1 << 0 << false;
    QTest::newRow("two visible") << 2 << 0 << true;
    QTest::newRow("two, one hidden") << 2 << 1 << false;
    QTest::newRow("three, one hidden") << 3 << 1 << true;
    QTest::newRow("three, all hidden") << 3 << 3 << false;
}

void tst_ChartData::severalVisible()
{
    QFETCH(int, dataFields);
    QFETCH(int, hidden);
    QFETCH(bool, expected);
    Cube cube;
    for (int i = 0; i < dataFields; ++i)
        cube.addField(u"amount"_s, u"D%1"_s.arg(i), Orientation::Data)->setVisible(i >= hidden);
    QCOMPARE(hasSeveralVisibleDataFields(cube), expected);
}

QTEST_GUILESS_MAIN(tst_ChartData)
#include "tst_cubechart.moc"
