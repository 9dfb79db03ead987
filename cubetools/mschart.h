#pragma once

#include "cube/chartdata.h"

#include <QColor>
#include <QWidget>

class QChart;
class QChartView;
class QGraphicsSimpleTextItem;

namespace tessal::cube {

class DepthItem;

// The chart the analysis tools draw a piece of the cube with: the rows of the data array are the
// categories along the horizontal axis, its columns the series the legend names. The type is
// chosen by number:
//   1 bars, 2 lines with depth, 3 lines, 4 areas with depth, 5 areas, 6 steps with depth,
//   7 steps, 14 pies (one pie per category, a slice per series, in the series' colours).
// Any other number draws bars. The depth of 2, 4 and 6 is painted behind the flat chart: each
// series again, up and to the right, in a darker shade, joined to the front by its faces.
class MSChart : public QWidget
{
    Q_OBJECT
public:
    enum ChartType : int {
        Bar2D = 1,
        Line3D = 2,
        Line2D = 3,
        Area3D = 4,
        Area2D = 5,
        Step3D = 6,
        Step2D = 7,
        Pie2D = 14,
    };
    // what a new chart shows until it is told otherwise
    static constexpr int DefaultChartType = Bar2D;

    explicit MSChart(QWidget *parent = nullptr);
    ~MSChart() override;

    bool showLegend() const { return m_showLegend; }
    void setShowLegend(bool show);

    const ChartData &chartData() const { return m_data; }
    void setChartData(const ChartData &values);

    int chartType() const { return m_type; }
    void setChartType(int code);

    // the series' colours, in the order of the array's columns
    static QColor seriesColour(int series);

    QChart *chart() const { return m_chart; }
    QChartView *view() const { return m_view; }
    // True when the chart is drawn with depth now.
    bool hasDepth() const;

private:
    void rebuild();
    void addBars();
    void addPies();
    // lines and steps: `step` holds each value across its category
    void addLines(bool step);
    void addAreas();
    void addAxes();
    void placePieCaptions();

    int categories() const { return m_data.chartRows(); }
    int seriesCount() const { return m_data.chartColumns(); }
    QString categoryLabel(int category) const;
    QString seriesLabel(int series) const;
    double value(int category, int series) const;

    ChartData m_data;
    int m_type = DefaultChartType;
    bool m_showLegend = false;
    QChart *m_chart;
    QChartView *m_view;
    DepthItem *m_depth;
    // the pies' category captions, owned by the chart
    QList<QGraphicsSimpleTextItem *> m_pieCaptions;
};

} // namespace tessal::cube
