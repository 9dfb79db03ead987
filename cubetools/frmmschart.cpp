#include "cubetools/frmmschart.h"

#include "core/appcontext.h"
#include "cubetools/modulexx.h"
#include "cubetools/mschart.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

struct Option
{
    const char16_t *name;
    const char16_t *caption;
    int chartType;
};

// In the order the handler looks at them. "Barra 3D" draws what "Área 3D" draws: the window has
// always offered it that way.
const Option Options[] = {
    {u"opcao1", u"Barra 3D", MSChart::Area3D},   {u"opcao2", u"Barra 2D", MSChart::Bar2D},
    {u"opcao3", u"Pie 2D", MSChart::Pie2D},      {u"area3d", u"Área 3D", MSChart::Area3D},
    {u"area2d", u"Área 2D", MSChart::Area2D},    {u"linha3d", u"Linhas 3D", MSChart::Line3D},
    {u"linha2d", u"Linhas 2D", MSChart::Line2D}, {u"step3d", u"Step 3D", MSChart::Step3D},
    {u"step2d", u"Step 2D", MSChart::Step2D},
};

} // namespace

frmMSChart::frmMSChart(AppContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_chart(new MSChart(this))
    , m_frame(new QGroupBox(u"Opções"_s, this))
    , m_group(new QButtonGroup(this))
{
    setObjectName(u"frmMSChart"_s);
    setWindowTitle(u"Olap - Gráficos"_s);
    m_frame->setObjectName(u"Frame1"_s);

    auto *options = new QVBoxLayout(m_frame);
    for (const Option &option : Options) {
        auto *button = new QRadioButton(QString::fromUtf16(option.caption), m_frame);
        button->setObjectName(QString::fromUtf16(option.name));
        m_group->addButton(button);
        options->addWidget(button);
    }
    options->addStretch();
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::buttonClicked, this, &frmMSChart::opcao_Click);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_frame);
    layout->addWidget(m_chart, 1);
    resize(820, 520);
}

frmMSChart::~frmMSChart() = default;

frmMSChart *frmMSChart::openFor(AppContext &ctx, const Cube &cube, QWidget *owner)
{
    auto window = std::make_unique<frmMSChart>(ctx, owner);
    ModuleXX::FillChartFromCube(cube, *window->m_chart);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window.release();
}

void frmMSChart::opcao_Click()
{
    for (const Option &option : Options) {
        const auto *button = m_frame->findChild<QRadioButton *>(QString::fromUtf16(option.name));
        if (button->isChecked())
            m_chart->setChartType(option.chartType);
    }
}

} // namespace tessal::cube
