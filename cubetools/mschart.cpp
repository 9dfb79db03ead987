#include "cubetools/mschart.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsObject>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tessal::cube {

// Paints the depth of the current series behind the flat chart: each line (or an area's top
// edge) is swept up and to the right into a band of faces, and an area also gets its right-hand
// side. It sits above the grid and below the series, so the front drawing of
// every series stays on top.
class DepthItem : public QGraphicsObject
{
public:
    enum class Kind { None, Lines, Areas };

    explicit DepthItem(QChart *chart)
        : QGraphicsObject(chart)
        , m_chart(chart)
    {
        setObjectName(u"depth"_s);
        // the chart's grid is drawn at 2, its axes at 3 and its series at 4
        setZValue(3.5);
        setVisible(false);
    }

    Kind kind() const { return m_kind; }
    void plotAreaChanged()
    {
        prepareGeometryChange();
        update();
    }
    void setKind(Kind kind)
    {
        m_kind = kind;
        setVisible(kind != Kind::None);
        update();
    }

    // How far back the chart reaches, in pixels: a share of the plot area, so that a small
    // window does not drown in depth and a large one still shows it.
    QPointF offset() const
    {
        const QRectF plot = m_chart->plotArea();
        const qreal side = std::clamp(std::min(plot.width(), plot.height()) * 0.05, 6.0, 22.0);
        return {side, -side * 0.8};
    }

    QRectF boundingRect() const override
    {
        const QPointF d = offset();
        return m_chart->plotArea().adjusted(0, d.y() - 1, d.x() + 1, 0);
    }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *) override
    {
        if (m_kind == Kind::None)
            return;
        painter->setRenderHint(QPainter::Antialiasing);
        const QPointF d = offset();
        const QList<QAbstractSeries *> all = m_chart->series();
        // the first series is drawn last, so that its depth covers the others'
        for (auto it = all.crbegin(); it != all.crend(); ++it) {
            QAbstractSeries *series = *it;
            QList<QPointF> values;
            QColor colour;
            if (auto *line = qobject_cast<QLineSeries *>(series)) {
                values = line->points();
                colour = line->color();
            } else if (auto *area = qobject_cast<QAreaSeries *>(series)) {
                values = area->upperSeries()->points();
                colour = area->brush().color();
                colour.setAlpha(255);
            }
            if (values.isEmpty())
                continue;
            QPolygonF front;
            for (const QPointF &v : values)
                front << m_chart->mapToPosition(v, series);
            const QColor side = colour.darker(135);
            const QColor edge = colour.darker(190);
            painter->setPen(QPen(edge, 1));

            if (m_kind == Kind::Areas) {
                // the right-hand side; the back wall stays hidden behind the front
                const qreal base = m_chart->mapToPosition({values.last().x(), 0}, series).y();
                const QPointF top = front.last();
                const QPointF bottom(top.x(), base);
                painter->setBrush(side.darker(115));
                painter->drawPolygon(QPolygonF{top, bottom, bottom + d, top + d});
            }
            painter->setBrush(side);
            for (qsizetype i = 0; i + 1 < front.size(); ++i)
                painter->drawPolygon(
                    QPolygonF{front[i], front[i + 1], front[i + 1] + d, front[i] + d});
            if (front.size() == 1) // a single point still shows as a short rod
                painter->drawLine(front.first(), front.first() + d);
        }
    }

private:
    QChart *m_chart;
    Kind m_kind = Kind::None;
};

namespace {

// QBarCategoryAxis refuses a category it already has; a repeated label gets invisible
// zero-width spaces so that every category keeps its place and reads the same.
QStringList distinct(const QStringList &labels)
{
    QStringList out;
    for (QString label : labels) {
        while (out.contains(label))
            label += QChar(0x200B);
        out << label;
    }
    return out;
}

} // namespace

MSChart::MSChart(QWidget *parent)
    : QWidget(parent)
    , m_chart(new QChart)
    , m_view(new QChartView(m_chart, this))
    , m_depth(new DepthItem(m_chart))
{
    setObjectName(u"MSChart"_s);
    m_view->setRenderHint(QPainter::Antialiasing);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->legend()->setVisible(m_showLegend);
    connect(m_chart, &QChart::plotAreaChanged, this, [this] {
        placePieCaptions();
        m_depth->plotAreaChanged();
    });
}

MSChart::~MSChart() = default;

void MSChart::setShowLegend(bool show)
{
    m_showLegend = show;
    m_chart->legend()->setVisible(show);
}

void MSChart::setChartData(const ChartData &values)
{
    m_data = values;
    rebuild();
}

void MSChart::setChartType(int code)
{
    m_type = code;
    rebuild();
}

QColor MSChart::seriesColour(int series)
{
    static const QColor palette[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                     QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28),
                                     QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                                     QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
                                     QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf)};
    constexpr int size = int(std::size(palette));
    if (series < size)
        return palette[series];
    // past the palette: hues spread by the golden angle keep neighbours apart
    return QColor::fromHsv(int(std::lround(series * 137.5)) % 360, 170, 200);
}

bool MSChart::hasDepth() const
{
    return m_depth->kind() != DepthItem::Kind::None;
}

QString MSChart::categoryLabel(int category) const
{
    return m_data.array.value(category + 1).value(0).toString();
}

QString MSChart::seriesLabel(int series) const
{
    return m_data.array.value(0).value(series + 1).toString();
}

double MSChart::value(int category, int series) const
{
    // a short row (an array not built by the cube) charts its missing cells as zero
    return m_data.array.value(category + 1).value(series + 1).toDouble();
}

void MSChart::rebuild()
{
    m_chart->removeAllSeries();
    for (QAbstractAxis *axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    qDeleteAll(m_pieCaptions);
    m_pieCaptions.clear();
    // the chart writes its numbers the program's way (pt-BR: 1.234,5)
    m_chart->setLocalizeNumbers(true);
    m_chart->setLocale(QLocale());
    m_depth->setKind(DepthItem::Kind::None);
    if (categories() < 1 || seriesCount() < 1)
        return;

    switch (m_type) {
    case Line3D:
    case Line2D:
        addLines(false);
        break;
    case Step3D:
    case Step2D:
        addLines(true);
        break;
    case Area3D:
    case Area2D:
        addAreas();
        break;
    case Pie2D:
        addPies();
        return;
    default:
        addBars();
        break;
    }
    addAxes();
    if (m_type == Line3D || m_type == Step3D)
        m_depth->setKind(DepthItem::Kind::Lines);
    else if (m_type == Area3D)
        m_depth->setKind(DepthItem::Kind::Areas);
    m_chart->legend()->setVisible(m_showLegend);
}

void MSChart::addBars()
{
    auto *bars = new QBarSeries;
    for (int j = 0; j < seriesCount(); ++j) {
        auto *set = new QBarSet(seriesLabel(j));
        set->setColor(seriesColour(j));
        set->setBorderColor(seriesColour(j).darker(150));
        for (int i = 0; i < categories(); ++i)
            set->append(value(i, j));
        bars->append(set);
    }
    m_chart->addSeries(bars);
}

void MSChart::addLines(bool step)
{
    for (int j = 0; j < seriesCount(); ++j) {
        auto *line = new QLineSeries;
        line->setName(seriesLabel(j));
        QPen pen(seriesColour(j), 2.5);
        pen.setJoinStyle(Qt::MiterJoin);
        line->setPen(pen);
        for (int i = 0; i < categories(); ++i) {
            if (step)
                line->append({QPointF(i - 0.5, value(i, j)), QPointF(i + 0.5, value(i, j))});
            else
                line->append(i, value(i, j));
        }
        // a lone category would otherwise draw nothing at all
        line->setPointsVisible(!step && categories() == 1);
        m_chart->addSeries(line);
    }
}

void MSChart::addAreas()
{
    for (int j = 0; j < seriesCount(); ++j) {
        auto *area = new QAreaSeries;
        auto *upper = new QLineSeries(area);
        for (int i = 0; i < categories(); ++i)
            upper->append(i, value(i, j));
        // one category: a band across it rather than an invisible sliver
        if (categories() == 1)
            upper->replace({QPointF(-0.4, value(0, j)), QPointF(0.4, value(0, j))});
        area->setUpperSeries(upper);
        area->setName(seriesLabel(j));
        // the areas overlap: a see-through fill keeps the ones behind readable
        QColor fill = seriesColour(j);
        fill.setAlpha(150);
        area->setBrush(fill);
        area->setPen(QPen(seriesColour(j).darker(130), 1.5));
        m_chart->addSeries(area);
    }
}

void MSChart::addAxes()
{
    QStringList labels;
    for (int i = 0; i < categories(); ++i)
        labels << categoryLabel(i);
    auto *x = new QBarCategoryAxis;
    x->append(distinct(labels));
    double low = 0, high = 0;
    for (int i = 0; i < categories(); ++i)
        for (int j = 0; j < seriesCount(); ++j) {
            low = std::min(low, value(i, j));
            high = std::max(high, value(i, j));
        }
    if (low == high)
        high = low + 1;
    auto *y = new QValueAxis;
    y->setRange(low, high);
    y->applyNiceNumbers();
    // whole ticks are written without decimals: "6.000" rather than "6.000,0"
    const double interval = (y->max() - y->min()) / std::max(1, y->tickCount() - 1);
    if (interval >= 1 && std::floor(interval) == interval)
        y->setLabelFormat(u"%.0f"_s);
    m_chart->addAxis(x, Qt::AlignBottom);
    m_chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries *series : m_chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
}

void MSChart::addPies()
{
    for (int i = 0; i < categories(); ++i) {
        auto *pie = new QPieSeries;
        pie->setName(categoryLabel(i));
        for (int j = 0; j < seriesCount(); ++j) {
            // a slice shows a share: a negative value counts by its size
            QPieSlice *slice = pie->append(seriesLabel(j), std::abs(value(i, j)));
            slice->setColor(seriesColour(j));
            slice->setBorderColor(Qt::white);
        }
        m_chart->addSeries(pie);
        // every pie has the same slices in the same colours: the legend lists them once
        if (i > 0)
            for (QLegendMarker *marker : m_chart->legend()->markers(pie))
                marker->setVisible(false);
        m_pieCaptions << new QGraphicsSimpleTextItem(categoryLabel(i), m_chart);
    }
    m_chart->legend()->setVisible(m_showLegend);
    placePieCaptions();
}

// Lays the pies out in a grid over the plot area, each with its category written under it.
void MSChart::placePieCaptions()
{
    QList<QPieSeries *> pies;
    for (QAbstractSeries *series : m_chart->series())
        if (auto *pie = qobject_cast<QPieSeries *>(series))
            pies << pie;
    if (pies.isEmpty())
        return;
    const int n = int(pies.size());
    const int columns = int(std::ceil(std::sqrt(double(n))));
    const int rows = (n + columns - 1) / columns;
    const QRectF plot = m_chart->plotArea();
    const qreal cellWidth = plot.width() / columns, cellHeight = plot.height() / rows;
    const qreal captionHeight = QFontMetricsF(m_chart->font()).height() + 4;
    const qreal diameter = std::max(0.0, std::min(cellWidth, cellHeight - captionHeight) * 0.85);
    const qreal shortest = std::max(1.0, std::min(plot.width(), plot.height()));
    for (int k = 0; k < n; ++k) {
        const int row = k / columns, column = k % columns;
        const qreal centreX = (column + 0.5) * cellWidth;
        const qreal centreY = row * cellHeight + (cellHeight - captionHeight) / 2;
        pies[k]->setHorizontalPosition(centreX / std::max(1.0, plot.width()));
        pies[k]->setVerticalPosition(centreY / std::max(1.0, plot.height()));
        pies[k]->setPieSize(diameter / shortest);
        if (k < m_pieCaptions.size()) {
            QGraphicsSimpleTextItem *caption = m_pieCaptions[k];
            const QRectF box = caption->boundingRect();
            caption->setPos(plot.left() + centreX - box.width() / 2,
                            plot.top() + centreY + diameter / 2 + 4);
        }
    }
}

} // namespace tessal::cube
