#include "cubetools/fexport.h"

#include "core/appcontext.h"
#include "core/config.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "cube/cube.h"
#include "cube/exports.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString FormName = u"fexport"_s;
const QString HtmlFile = u"HtmlExport.htm"_s;
const QString SpreadsheetFile = u"ExcelExport.xls"_s;

// What an entry of the data-field list keeps: the field's position in the data-field collection.
constexpr int PositionRole = Qt::UserRole;

QCheckBox *checkBox(const QString &name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(true);
    return box;
}

QRadioButton *optionButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QRadioButton(caption, parent);
    b->setObjectName(name);
    return b;
}

// Shows the wait cursor while a large cube is written.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

fexport::fexport(AppContext &ctx, Cube *cube, QWidget *parent)
    : QDialog(parent)
    , m_ctx(ctx)
    , m_cube(cube)
    , m_dataFieldsLabel(new QLabel(u"Dados Visiveis"_s, this))
    , m_dataFields(new QListWidget(this))
    , m_options(new QGroupBox(u"Export Options"_s, this))
    , m_totals(checkBox(u"ckbIncludeTotals"_s, u"Incluir Totais"_s, m_options))
    , m_formatted(
          checkBox(u"ckbExportFormattedNumbers"_s, u"Exportar Números com formato"_s, m_options))
    , m_colours(checkBox(u"ckbIncludeAttribColors"_s, u"Incluir Cores"_s, m_options))
    , m_merge(checkBox(u"ckbMergeRowsAndColumns"_s, u"Merge Rows/Columns"_s, m_options))
    , m_show(checkBox(u"ShowFileCheck"_s, u"Mostrar"_s, this))
    , m_html(optionButton(u"robHTML"_s, u"HTML"_s, this))
    , m_excel(optionButton(u"robExcel"_s, u"Excel"_s, this))
    , m_export(new QPushButton(u"Exportar"_s, this))
{
    setObjectName(FormName);
    setWindowTitle(u"Exportar Dados"_s);
    setAttribute(Qt::WA_DeleteOnClose);

    m_dataFieldsLabel->setObjectName(u"lblVisDataFields"_s);
    m_dataFieldsLabel->setBuddy(m_dataFields);
    m_dataFields->setObjectName(u"lstVisDataField"_s);
    m_dataFields->setMinimumSize(180, 120);
    m_options->setObjectName(u"Frame1"_s);
    m_export->setObjectName(u"cmdExport"_s);
    m_export->setDefault(true);

    auto *format = new QButtonGroup(this);
    format->addButton(m_html);
    format->addButton(m_excel);
    m_html->setChecked(true);

    auto *optionsLayout = new QVBoxLayout(m_options);
    for (QCheckBox *box : {m_totals, m_formatted, m_colours, m_merge})
        optionsLayout->addWidget(box);
    optionsLayout->addStretch(1);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    grid->addWidget(m_dataFieldsLabel, 0, 0);
    grid->addWidget(m_dataFields, 1, 0);
    grid->addWidget(m_options, 1, 1);
    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(12);
    bottom->addWidget(m_html);
    bottom->addWidget(m_excel);
    bottom->addSpacing(12);
    bottom->addWidget(m_show);
    bottom->addStretch(1);
    bottom->addWidget(m_export);
    grid->addLayout(bottom, 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(1, 1);

    setTabOrder(m_dataFields, m_totals);
    setTabOrder(m_totals, m_formatted);
    setTabOrder(m_formatted, m_colours);
    setTabOrder(m_colours, m_merge);
    setTabOrder(m_merge, m_html);
    setTabOrder(m_html, m_excel);
    setTabOrder(m_excel, m_show);
    setTabOrder(m_show, m_export);

    connect(m_dataFields, &QListWidget::itemChanged, this, &fexport::lstVisDataField_ItemCheck);
    connect(m_export, &QPushButton::clicked, this, &fexport::cmdExport_Click);

    Form_Load();
    m_dataFields->setFocus(Qt::OtherFocusReason);
    if (m_dataFields->count() > 0)
        m_dataFields->setCurrentRow(0);
}

fexport::~fexport() = default;

fexport *fexport::showFor(AppContext &ctx, Cube *cube, QWidget *owner)
{
    // one form at a time: the one open goes, with whatever it was showing
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->objectName() == FormName) {
            w->hide();
            delete w;
        }
    }
    auto *form = new fexport(ctx, cube, owner);
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

QString fexport::exportPath() const
{
    return joinPath(m_ctx.programDir(), m_html->isChecked() ? HtmlFile : SpreadsheetFile);
}

void fexport::Form_Load()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        if (!m_cube)
            return;
        m_dataFields->clear();
        const FieldCollection fields = m_cube->dataFields();
        for (int i = 0; i < fields.count(); ++i) {
            auto *item = new QListWidgetItem(fields.item(i)->caption());
            item->setData(PositionRole, i);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            m_dataFields->addItem(item);
            // ticked once listed, so that the tick goes through the list's own handler and
            // shows the field
            item->setCheckState(Qt::Checked);
        }
    });
}

void fexport::lstVisDataField_ItemCheck(QListWidgetItem *item)
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        if (!m_cube)
            return;
        CubeField *field = m_cube->dataFields().item(item->data(PositionRole).toInt());
        if (!field)
            return;
        const bool visible = item->checkState() == Qt::Checked;
        if (field->isVisible() == visible)
            return;
        field->setVisible(visible);
        m_cube->refresh();
    });
}

void fexport::cmdExport_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    const QString path = exportPath();
    bool written = false;
    steps.run([&] {
        if (!m_cube)
            return;
        const ExportOptions options{m_totals->isChecked(), m_formatted->isChecked(),
                                    m_colours->isChecked(), m_merge->isChecked()};
        {
            const BusyCursor busy;
            written = m_html->isChecked() ? exportHtmlFile(*m_cube, path, options)
                                          : exportSpreadsheetFile(*m_cube, path, options);
        }
        if (!written)
            m_ctx.dialogs().message(
                u"Não foi possível gravar o arquivo %1.\n\nVerifique se a pasta do programa "
                "permite gravação e se há espaço livre no disco; o arquivo anterior, se havia "
                "um, ficou como estava."_s.arg(QDir::toNativeSeparators(path)),
                u"Exportar Dados"_s, Dialogs::Icon::Critical);
    });
    if (!written)
        return;
    if (m_show->isChecked())
        steps.run([&] { m_ctx.dialogs().openWithShell(path); });
    close();
}

} // namespace tessal::cube
