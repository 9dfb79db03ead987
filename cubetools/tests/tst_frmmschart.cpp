#include "cube/chartdata.h"
#include "cube/cube.h"
#include "cube/tests/cubefixture.h"
#include "cubetools/frmmschart.h"
#include "cubetools/modulexx.h"
#include "cubetools/mschart.h"
#include "testsupport/testcontext.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QGraphicsTextItem>
#include <QGroupBox>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QPointer>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QValueAxis>

using namespace tessal;
using namespace tessal::cube;
using namespace Qt::StringLiterals;

namespace {

// The nine options in the window's order with the chart type each chooses.
struct Option
{
    QString name;
    QString caption;
    int chartType;
};

const QList<Option> Options{
    {u"opcao1"_s, u"Barra 3D"_s, 4},   {u"opcao2"_s, u"Barra 2D"_s, 1},
    {u"opcao3"_s, u"Pie 2D"_s, 14},    {u"area3d"_s, u"Área 3D"_s, 4},
    {u"area2d"_s, u"Área 2D"_s, 5},    {u"linha3d"_s, u"Linhas 3D"_s, 2},
    {u"linha2d"_s, u"Linhas 2D"_s, 3}, {u"step3d"_s, u"Step 3D"_s, 6},
    {u"step2d"_s, u"Step 2D"_s, 7},
};

// Four accounts by quarter, in the thousands, for the pictures and the number format: a square
// selection puts the quarters along the axis and the accounts in the legend.
RowTable quarterTable()
{
    RowTable t;
    t.columns = {u"conta"_s, u"trimestre"_s, u"valor"_s};
    const QStringList accounts{u"Caixa"_s, u"Banco do Brasil"_s, u"Itaú"_s, u"Poupança"_s};
    for (int a = 0; a < accounts.size(); ++a)
        for (int q = 1; q <= 4; ++q)
            t.rows << QVariantList{accounts[a], u"%1º tri"_s.arg(q),
                                   1500.0 + 900.0 * ((a * 7 + q * 3) % 5) + 250.5 * a};
    return t;
}

void defineQuarterCube(Cube &cube)
{
    cube.addField(u"conta"_s, u"Conta"_s, Orientation::Row);
    cube.addField(u"trimestre"_s, u"Trimestre"_s, Orientation::Column);
    cube.addField(u"valor"_s, u"Valor"_s, Orientation::Data)->setNumberFormat(u"#,##0.00"_s);
}

QStringList categoryLabels(const ChartData &data)
{
    QStringList out;
    for (int i = 1; i <= data.chartRows(); ++i)
        out << data.array[i][0].toString();
    return out;
}

QStringList seriesLabels(const ChartData &data)
{
    QStringList out;
    for (int j = 1; j <= data.chartColumns(); ++j)
        out << data.array[0][j].toString();
    return out;
}

template<class T> QList<T *> seriesOf(const QChart *chart)
{
    QList<T *> out;
    for (QAbstractSeries *s : chart->series())
        if (auto *typed = qobject_cast<T *>(s))
            out << typed;
    return out;
}

QStringList visibleLegendLabels(QChart *chart)
{
    QStringList out;
    for (QLegendMarker *marker : chart->legend()->markers())
        if (marker->isVisible())
            out << marker->label();
    return out;
}

// How many pixels of the picture have exactly this colour.
// The chart lets go of the drawing of a replaced series or axis later, through the event loop:
// the pictures are taken once it has.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

int pixelsOf(const QImage &image, const QColor &colour)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const QRgb wanted = colour.rgb();
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            count += (line[x] & 0xffffff) == (wanted & 0xffffff);
    }
    return count;
}

} // namespace

class tst_frmMSChart : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsAsTheWindowNamesThem();
    void singleCellGivesATwoByTwoArray();
    void drawingFollowsTheArray_data();
    void drawingFollowsTheArray();
    void severalDataFieldsWithoutColumnFields();
    void repeatedLabelsAndNegativeValues_data();
    void repeatedLabelsAndNegativeValues();
    void legendNamesTheSeries_data();
    void legendNamesTheSeries();
    void eachOptionSetsItsType_data();
    void eachOptionSetsItsType();
    void barra3DDrawsWhatArea3DDraws();
    void depthOnlyOnThe3DKinds_data();
    void depthOnlyOnThe3DKinds();
    void valueAxisWritesNumbersInPortuguese();
    void windowKeepsTheDataOfItsMoment();
    void eachPressOpensAnotherWindow();
    void screenshot();

private:
    frmMSChart *open();
    static QRadioButton *option(const frmMSChart *w, const QString &name);
    static void choose(const frmMSChart *w, const QString &name);
    static QImage picture(const frmMSChart *w);
    QImage contactSheet();

    std::unique_ptr<tessal::test::TestContext> m_t;
    std::unique_ptr<Cube> m_cube;
    QList<QPointer<frmMSChart>> m_windows;
};

void tst_frmMSChart::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    m_cube = std::make_unique<Cube>();
    cube::test::defineSmallCube(*m_cube);
    m_cube->loadRows(cube::test::smallCubeTable());
}

void tst_frmMSChart::cleanup()
{
    for (const QPointer<frmMSChart> &w : std::as_const(m_windows))
        delete w.data();
    m_windows.clear();
    m_cube.reset();
    m_t.reset();
}

// The small cube's grid (cube/tests/tst_cubechart.cpp works it out):
//   rows    0 Norte x, 1 Norte y, 2 Norte Total, 3 Sul x, 4 Sul y, 5 Sul Total, 6 Total
//   columns 0 2023 Valor, 1 2023 Quantidade, 2 2024 Valor, 3 2024 Quantidade,
//           4 Total Valor, 5 Total Quantidade
frmMSChart *tst_frmMSChart::open()
{
    frmMSChart *w = frmMSChart::openFor(*m_t->context, *m_cube, nullptr);
    m_windows << w;
    if (!QTest::qWaitForWindowExposed(w))
        qWarning("chart window not exposed");
    return w;
}

QRadioButton *tst_frmMSChart::option(const frmMSChart *w, const QString &name)
{
    auto *button = w->findChild<QRadioButton *>(name);
    if (!button)
        qFatal("no option button %s", qPrintable(name));
    return button;
}

void tst_frmMSChart::choose(const frmMSChart *w, const QString &name)
{
    QRadioButton *button = option(w, name);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    settle();
}

QImage tst_frmMSChart::picture(const frmMSChart *w)
{
    settle();
    return w->chart()->grab().toImage();
}

void tst_frmMSChart::controlsAsTheWindowNamesThem()
{
    m_cube->setSelection({0, 4, 0, 1});
    frmMSChart *w = open();
    QCOMPARE(w->objectName(), u"frmMSChart"_s);
    QCOMPARE(w->windowTitle(), u"Olap - Gráficos"_s);
    QVERIFY(w->isVisible());
    QVERIFY(!w->isModal());
    QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(w->chart()->objectName(), u"MSChart"_s);
    auto *frame = w->findChild<QGroupBox *>(u"Frame1"_s);
    QVERIFY(frame);
    QCOMPARE(frame->title(), u"Opções"_s);

    const QList<QRadioButton *> buttons = frame->findChildren<QRadioButton *>();
    QCOMPARE(buttons.size(), Options.size());
    for (qsizetype k = 0; k < Options.size(); ++k) {
        QCOMPARE(buttons[k]->objectName(), Options[k].name);
        QCOMPARE(buttons[k]->text(), Options[k].caption);
        QVERIFY2(!buttons[k]->isChecked(), qPrintable(Options[k].name));
    }
    // nothing chosen: the chart keeps its default drawing
    QCOMPARE(w->chart()->chartType(), MSChart::DefaultChartType);
    QCOMPARE(seriesOf<QBarSeries>(w->chart()->chart()).size(), 1);
    QVERIFY(w->chart()->showLegend());
    QVERIFY(w->chart()->chart()->legend()->isVisible());
}

void tst_frmMSChart::singleCellGivesATwoByTwoArray()
{
    m_cube->setSelection({2, 2, 0, 0}); // Norte x in 2024, Valor
    frmMSChart *w = open();
    const ChartData &data = w->chart()->chartData();
    QCOMPARE(data.array.size(), 2);
    QCOMPARE(data.array[0].size(), 2);
    QCOMPARE(data.array[1].size(), 2);
    QVERIFY(!data.array[0][0].isValid());
    QCOMPARE(data.array[0][1].toString(), u"Norte - x"_s);
    QCOMPARE(data.array[1][0].toString(), u"2024 - Valor"_s);
    QCOMPARE(data.array[1][1].toDouble(), 100.0);

    const QList<QBarSeries *> bars = seriesOf<QBarSeries>(w->chart()->chart());
    QCOMPARE(bars.size(), 1);
    QCOMPARE(bars[0]->count(), 1);
    QCOMPARE(bars[0]->barSets()[0]->label(), u"Norte - x"_s);
    QCOMPARE(bars[0]->barSets()[0]->at(0), 100.0);
}

void tst_frmMSChart::drawingFollowsTheArray_data()
{
    QTest::addColumn<Selection>("selection");
    QTest::addColumn<int>("chartType");
    QTest::addColumn<QStringList>("categories");
    QTest::addColumn<QStringList>("series");
    const Selection twoByFive{0, 4, 0, 1};
    const QStringList twoRows{u"Norte - x"_s, u"Norte - y"_s};
    const QStringList fiveColumns{u"2023 - Valor"_s, u"2023 - Quantidade"_s, u"2024 - Valor"_s,
                                  u"2024 - Quantidade"_s, u"Total - Valor"_s};
    const Selection fiveByTwo{4, 5, 2, 6};
    const QStringList twoColumns{u"Total - Valor"_s, u"Total - Quantidade"_s};
    const QStringList fiveRows{u"Norte - Total"_s, u"Sul - x"_s, u"Sul - y"_s, u"Sul - Total"_s,
                               u"Total"_s};
    for (const int type : {MSChart::Bar2D, MSChart::Line2D, MSChart::Line3D, MSChart::Area2D,
                           MSChart::Area3D, MSChart::Step2D, MSChart::Step3D, MSChart::Pie2D}) {
        QTest::addRow("2 rows x 5 columns, type %d", type)
            << twoByFive << type << twoRows << fiveColumns;
        QTest::addRow("5 rows x 2 columns, type %d", type)
            << fiveByTwo << type << twoColumns << fiveRows;
    }
}

// The shorter side of the selection runs along the axis, the longer one makes the series; every
// kind of drawing shows the same numbers in the same places.
void tst_frmMSChart::drawingFollowsTheArray()
{
    QFETCH(Selection, selection);
    QFETCH(int, chartType);
    QFETCH(QStringList, categories);
    QFETCH(QStringList, series);
    m_cube->setSelection(selection);
    frmMSChart *w = open();
    MSChart *chart = w->chart();
    const ChartData &data = chart->chartData();
    QCOMPARE(data.array, fillChartFromCube(*m_cube).array);
    QCOMPARE(categoryLabels(data), categories);
    QCOMPARE(seriesLabels(data), series);
    auto value = [&data](int category, int s) {
        return data.array[category + 1][s + 1].toDouble();
    };

    chart->setChartType(chartType);
    QChart *qchart = chart->chart();
    const qsizetype nCategories = categories.size(), nSeries = series.size();
    if (chartType == MSChart::Pie2D) {
        // a pie per category, a slice per series
        const QList<QPieSeries *> pies = seriesOf<QPieSeries>(qchart);
        QCOMPARE(pies.size(), nCategories);
        QCOMPARE(qchart->series().size(), nCategories);
        for (qsizetype i = 0; i < nCategories; ++i) {
            QCOMPARE(pies[i]->name(), categories[i]);
            QCOMPARE(pies[i]->count(), nSeries);
            for (qsizetype j = 0; j < nSeries; ++j) {
                QCOMPARE(pies[i]->slices()[j]->label(), series[j]);
                QCOMPARE(pies[i]->slices()[j]->value(), std::abs(value(int(i), int(j))));
            }
        }
        return;
    }

    const auto axes = qchart->axes(Qt::Horizontal);
    QCOMPARE(axes.size(), 1);
    auto *axis = qobject_cast<QBarCategoryAxis *>(axes.first());
    QVERIFY(axis);
    QCOMPARE(axis->categories(), categories);

    if (chartType == MSChart::Bar2D) {
        const QList<QBarSeries *> bars = seriesOf<QBarSeries>(qchart);
        QCOMPARE(qchart->series().size(), 1);
        QCOMPARE(bars.first()->count(), nSeries);
        for (qsizetype j = 0; j < nSeries; ++j) {
            const QBarSet *set = bars.first()->barSets()[j];
            QCOMPARE(set->label(), series[j]);
            QCOMPARE(set->count(), nCategories);
            for (qsizetype i = 0; i < nCategories; ++i)
                QCOMPARE(set->at(i), value(int(i), int(j)));
        }
        return;
    }

    QCOMPARE(qchart->series().size(), nSeries);
    const bool step = chartType == MSChart::Step2D || chartType == MSChart::Step3D;
    for (qsizetype j = 0; j < nSeries; ++j) {
        QAbstractSeries *s = qchart->series()[j];
        QCOMPARE(s->name(), series[j]);
        QList<QPointF> points;
        if (auto *area = qobject_cast<QAreaSeries *>(s))
            points = area->upperSeries()->points();
        else if (auto *line = qobject_cast<QLineSeries *>(s))
            points = line->points();
        else
            QFAIL("neither a line nor an area");
        QCOMPARE(points.size(), step ? 2 * nCategories : nCategories);
        for (qsizetype k = 0; k < points.size(); ++k) {
            const int category = int(step ? k / 2 : k);
            QCOMPARE(points[k].y(), value(category, int(j)));
            // a step holds its value across its category, a line goes through its middle
            const double x = step ? category + (k % 2 ? 0.5 : -0.5) : category;
            QCOMPARE(points[k].x(), x);
        }
    }
}

void tst_frmMSChart::severalDataFieldsWithoutColumnFields()
{
    m_cube->fields().item(2)->setOrientation(Orientation::Page); // the year leaves the columns
    QVERIFY(ModuleXX::HasSeveralVisibleDataFields(*m_cube));
    m_cube->setSelection({0, 1, 6, 6});
    frmMSChart *w = open();
    const QStringList expected{u" - Valor"_s, u" - Quantidade"_s};
    QCOMPARE(seriesLabels(w->chart()->chartData()), expected);
    QCOMPARE(visibleLegendLabels(w->chart()->chart()), expected);

    // one of them hidden: a single data field, so no caption joins the labels
    m_cube->dataFields().item(1)->setVisible(false);
    QVERIFY(!ModuleXX::HasSeveralVisibleDataFields(*m_cube));
}

void tst_frmMSChart::repeatedLabelsAndNegativeValues_data()
{
    QTest::addColumn<int>("chartType");
    QTest::newRow("bars") << int(MSChart::Bar2D);
    QTest::newRow("lines") << int(MSChart::Line3D);
    QTest::newRow("areas") << int(MSChart::Area2D);
    QTest::newRow("steps") << int(MSChart::Step2D);
}

// Row headings can repeat (two "Total" rows of different groups) and sums can be negative: every
// category keeps its place on the axis and the axis reaches below zero.
void tst_frmMSChart::repeatedLabelsAndNegativeValues()
{
    QFETCH(int, chartType);
    ChartData data;
    data.array = {QVariantList{QVariant(), u"Valor"_s}, QVariantList{u"Total"_s, -250.0},
                  QVariantList{u"Total"_s, 400.0}, QVariantList{u""_s, 125.0}};
    MSChart chart;
    chart.setChartData(data);
    chart.setChartType(chartType);
    chart.resize(500, 300);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));

    auto *x = qobject_cast<QBarCategoryAxis *>(chart.chart()->axes(Qt::Horizontal).value(0));
    QVERIFY(x);
    QCOMPARE(x->count(), 3);
    // the repeated label reads the same on screen
    QCOMPARE(x->categories()[1].trimmed().remove(QChar(0x200B)), u"Total"_s);
    auto *y = qobject_cast<QValueAxis *>(chart.chart()->axes(Qt::Vertical).value(0));
    QVERIFY(y);
    QVERIFY2(y->min() <= -250 && y->max() >= 400,
             qPrintable(u"%1 .. %2"_s.arg(y->min()).arg(y->max())));
}

void tst_frmMSChart::legendNamesTheSeries_data()
{
    QTest::addColumn<QString>("button");
    for (const Option &o : Options)
        QTest::newRow(qPrintable(o.name)) << o.name;
}

void tst_frmMSChart::legendNamesTheSeries()
{
    QFETCH(QString, button);
    m_cube->setSelection({0, 4, 0, 1});
    frmMSChart *w = open();
    choose(w, button);
    QChart *chart = w->chart()->chart();
    QVERIFY(chart->legend()->isVisible());
    // every series once, whatever the kind: the pies share one list of slices
    QCOMPARE(visibleLegendLabels(chart), seriesLabels(w->chart()->chartData()));
}

void tst_frmMSChart::eachOptionSetsItsType_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("chartType");
    for (const Option &o : Options)
        QTest::newRow(qPrintable(o.name)) << o.name << o.chartType;
}

void tst_frmMSChart::eachOptionSetsItsType()
{
    QFETCH(QString, button);
    QFETCH(int, chartType);
    m_cube->setSelection({0, 4, 0, 1});
    frmMSChart *w = open();
    // a type none of the buttons gives, so that a click that changes nothing cannot pass
    w->chart()->setChartType(-1);
    choose(w, button);
    QVERIFY(option(w, button)->isChecked());
    QCOMPARE(w->chart()->chartType(), chartType);
    for (const Option &o : Options)
        QCOMPARE(option(w, o.name)->isChecked(), o.name == button);

    // and from another button's choice
    const QString other = button == u"opcao2"_s ? u"step2d"_s : u"opcao2"_s;
    choose(w, other);
    QVERIFY(!option(w, button)->isChecked());
    choose(w, button);
    QCOMPARE(w->chart()->chartType(), chartType);
}

void tst_frmMSChart::barra3DDrawsWhatArea3DDraws()
{
    m_cube->setSelection({0, 4, 0, 1});
    frmMSChart *w = open();
    choose(w, u"area3d"_s);
    const QImage area = picture(w);
    choose(w, u"opcao1"_s);
    QCOMPARE(w->chart()->chartType(), int(MSChart::Area3D));
    QCOMPARE(seriesOf<QAreaSeries>(w->chart()->chart()).size(), 5);
    QCOMPARE(picture(w), area);
    // the pictures are of the chart: another kind looks different
    choose(w, u"opcao2"_s);
    QVERIFY(picture(w) != area);
}

void tst_frmMSChart::depthOnlyOnThe3DKinds_data()
{
    QTest::addColumn<QString>("flat");
    QTest::addColumn<QString>("deep");
    QTest::newRow("lines") << u"linha2d"_s << u"linha3d"_s;
    QTest::newRow("areas") << u"area2d"_s << u"area3d"_s;
    QTest::newRow("steps") << u"step2d"_s << u"step3d"_s;
}

// The depth is painted in a darker shade of each series' colour; the flat kind never uses it.
void tst_frmMSChart::depthOnlyOnThe3DKinds()
{
    QFETCH(QString, flat);
    QFETCH(QString, deep);
    m_cube->setSelection({0, 4, 0, 1});
    frmMSChart *w = open();
    const QColor shade = MSChart::seriesColour(0).darker(135);

    choose(w, flat);
    QVERIFY(!w->chart()->hasDepth());
    const QImage flatPicture = picture(w);
    QCOMPARE(pixelsOf(flatPicture, shade), 0);

    choose(w, deep);
    QVERIFY(w->chart()->hasDepth());
    const QImage deepPicture = picture(w);
    QVERIFY(deepPicture != flatPicture);
    QVERIFY2(pixelsOf(deepPicture, shade) > 100,
             qPrintable(u"%1 pixels of the depth's shade"_s.arg(pixelsOf(deepPicture, shade))));
}

void tst_frmMSChart::valueAxisWritesNumbersInPortuguese()
{
    QCOMPARE(QLocale().name(), u"pt_BR"_s);
    m_cube = std::make_unique<Cube>();
    defineQuarterCube(*m_cube);
    m_cube->loadRows(quarterTable());
    m_cube->setSelection({0, 3, 0, 3});
    frmMSChart *w = open();
    QCoreApplication::processEvents();
    QStringList texts;
    for (QGraphicsItem *item : w->chart()->view()->scene()->items())
        if (auto *text = dynamic_cast<QGraphicsTextItem *>(item); text && text->isVisible())
            texts << text->toPlainText();
    // the values run into the thousands: "6.000" or "6.000,0", never "6,000.0" or "6000"
    static const QRegularExpression portuguese(u"^\\d{1,3}(\\.\\d{3})+(,\\d+)?$"_s);
    static const QRegularExpression other(u"^\\d{1,3}(,\\d{3})+(\\.\\d+)?$|^\\d{4,}([.,]\\d+)?$"_s);
    QVERIFY2(!texts.filter(portuguese).isEmpty(), qPrintable(texts.join(u" | "_s)));
    QVERIFY2(texts.filter(other).isEmpty(), qPrintable(texts.join(u" | "_s)));
}

// The window charts the cube as it was when opened; a later change shows only in a new window.
void tst_frmMSChart::windowKeepsTheDataOfItsMoment()
{
    m_cube->setSelection({0, 4, 0, 1});
    frmMSChart *first = open();
    const ChartData before = first->chart()->chartData();
    QCOMPARE(before.array, fillChartFromCube(*m_cube).array);
    const QImage picture1 = picture(first);

    m_cube->setSelection({4, 5, 2, 6});
    RowTable more = cube::test::smallCubeTable();
    more.rows << QVariantList{u"Sul"_s, u"x"_s, 2024, 5000.0};
    m_cube->loadRows(more);
    m_cube->refresh();
    QCoreApplication::processEvents();

    QCOMPARE(first->chart()->chartData().array, before.array);
    QCOMPARE(first->chart()->chartData().cubeRowsAreChartRows, before.cubeRowsAreChartRows);
    QCOMPARE(picture(first), picture1);

    frmMSChart *second = open();
    QVERIFY(second->chart()->chartData().array != before.array);
    QCOMPARE(second->chart()->chartData().array, fillChartFromCube(*m_cube).array);
}

void tst_frmMSChart::eachPressOpensAnotherWindow()
{
    QWidget owner;
    m_cube->setSelection({0, 4, 0, 1});
    frmMSChart *first = frmMSChart::openFor(*m_t->context, *m_cube, &owner);
    frmMSChart *second = frmMSChart::openFor(*m_t->context, *m_cube, &owner);
    QVERIFY(first != second);
    QVERIFY(first->isVisible());
    QVERIFY(second->isVisible());
    QVERIFY(first->isWindow());
    QCOMPARE(owner.findChildren<frmMSChart *>().size(), 2);
    choose(first, u"linha2d"_s);
    QCOMPARE(second->chart()->chartType(), MSChart::DefaultChartType);

    // closing one deletes it and leaves the other open
    const QPointer<frmMSChart> closed(first);
    QVERIFY(first->close());
    QTRY_VERIFY(closed.isNull());
    QCOMPARE(owner.findChildren<frmMSChart *>().size(), 1);
    QVERIFY(second->isVisible());
}

QImage tst_frmMSChart::contactSheet()
{
    m_cube = std::make_unique<Cube>();
    defineQuarterCube(*m_cube);
    m_cube->loadRows(quarterTable());
    m_cube->setSelection({0, 3, 0, 3}); // four accounts by four quarters
    frmMSChart *w = open();
    w->resize(760, 480);
    QCoreApplication::processEvents();

    QList<QImage> pictures;
    for (const Option &o : Options) {
        choose(w, o.name);
        pictures << w->grab().toImage();
    }
    const QSize cell = pictures.first().size();
    const int captionHeight = 30;
    QImage sheet(3 * cell.width(), 3 * (cell.height() + captionHeight), QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPointSize(12);
    font.setBold(true);
    painter.setFont(font);
    for (qsizetype k = 0; k < pictures.size(); ++k) {
        const int x = int(k % 3) * cell.width();
        const int y = int(k / 3) * (cell.height() + captionHeight);
        painter.drawText(QRect(x, y, cell.width(), captionHeight), Qt::AlignCenter,
                         u"%1 (%2, tipo %3)"_s.arg(Options[k].caption, Options[k].name)
                             .arg(Options[k].chartType));
        painter.drawImage(x, y + captionHeight, pictures[k]);
        painter.setPen(Qt::gray);
        painter.drawRect(x, y, cell.width() - 1, cell.height() + captionHeight - 1);
        painter.setPen(Qt::black);
    }
    return sheet;
}

void tst_frmMSChart::screenshot()
{
    const QString target = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (target.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    QVERIFY(contactSheet().save(QDir(target).filePath(u"frmmschart-tipos.png"_s)));
}

QTEST_MAIN(tst_frmMSChart)
#include "tst_frmmschart.moc"
