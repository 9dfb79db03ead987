#pragma once

#include <QWidget>

class QButtonGroup;
class QGroupBox;
class QRadioButton;

namespace tessal {
class AppContext;
}

namespace tessal::cube {

class Cube;
class MSChart;

// "Olap - Gráficos": the chart of the cells chosen in the analysis window, as they were when it
// was opened (the window keeps the numbers, not the cube). The frame `Frame1` ("Opções") holds
// nine option buttons that choose how `MSChart` draws them; none is chosen on opening, when the
// chart shows its default bars.
class frmMSChart : public QWidget
{
    Q_OBJECT
public:
    explicit frmMSChart(AppContext &ctx, QWidget *parent = nullptr);
    ~frmMSChart() override;

    // A new window over `owner` charting the cube's current selection, shown without waiting for
    // it to close and deleted when it is closed. Throws tessal::Error when the cube cannot give
    // its selection; no window is left behind then.
    static frmMSChart *openFor(AppContext &ctx, const Cube &cube, QWidget *owner);

    MSChart *chart() const { return m_chart; }

    // The nine buttons' handler: the chosen one's chart type goes to the chart.
    void opcao_Click();

private:
    AppContext &m_ctx;
    MSChart *m_chart;
    QGroupBox *m_frame;
    QButtonGroup *m_group;
};

} // namespace tessal::cube
