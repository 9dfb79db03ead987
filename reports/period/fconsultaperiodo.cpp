#include "reports/period/fconsultaperiodo.h"

#include "controls/datagrid.h"
#include "controls/frmshowfields.h"
#include "controls/griddocument.h"
#include "controls/gridlayoutfile.h"
#include "controls/groupinggrid.h"
#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/money.h"
#include "core/ui/printpreview.h"
#include "data/database.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

const QString FormName = u"fconsultaperiodo"_s;

// Each entry once, joined to its own standard description and its account; the identity lets the
// grid read any window of rows by rowid in a file, by the entry's code on a server (whose rows
// have no rowid, and whose primary key finds a window's codes at once).
const QString Select =
    u"SELECT LANCAMENTOS.DT_LANCAMENTO, contas.ds_conta, HISTORICOS.DS_HISTORICO, "
    "LANCAMENTOS.ds_complemento, LANCAMENTOS.VL_LANCAMENTO, LANCAMENTOS.VL_SALDO, "
    "LANCAMENTOS.CD_STATUS"_s;
const QString FileIdentity = u", LANCAMENTOS.rowid AS tessal_id"_s;
const QString ServerIdentity = u", LANCAMENTOS.cd_lancamento AS tessal_id"_s;
const QString From = u" FROM HISTORICOS, LANCAMENTOS INNER JOIN contas ON LANCAMENTOS.cd_conta = "
                     "contas.CD_conta "_s;
const QString OwnDescription = u"WHERE LANCAMENTOS.CD_HISTORICO = HISTORICOS.CD_HISTORICO"_s;
const QString LayoutTitle = u"Salvar Lay Out"_s;
const QString ReadLayoutTitle = u"Ler Lay Out"_s;
const QString LayoutFilter = qtFileFilter(u"Lay Out (*.lyt)|*.lyt|"_s);
const QString InPeriod = u" AND LANCAMENTOS.DT_LANCAMENTO BETWEEN ? AND ?"_s;

// The drop-down list of the status column: what each stored letter means.
const QString StatusesSql =
    u"SELECT 'C' AS cd_status, 'Crédito' AS ds_status UNION ALL SELECT 'D', 'Débito'"_s;

QPushButton *addButton(QLayout *layout, QWidget *parent, const QString &name,
                       const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setMinimumHeight(30);
    layout->addWidget(button);
    return button;
}

QCheckBox *addCheck(QLayout *layout, QWidget *parent, const QString &name, const QString &caption)
{
    auto *check = new QCheckBox(caption, parent);
    check->setObjectName(name);
    layout->addWidget(check);
    return check;
}

QDateEdit *dateEdit(QWidget *parent, const QString &name, const QDate &date)
{
    auto *edit = new QDateEdit(date, parent);
    edit->setObjectName(name);
    edit->setDisplayFormat(u"dd/MM/yyyy"_s);
    edit->setCalendarPopup(true);
    return edit;
}

} // namespace

fperiodo::fperiodo(const QDate &from, const QDate &to, QWidget *parent)
    : QDialog(parent)
    , m_from(dateEdit(this, u"dt_inicio"_s, from))
    , m_to(dateEdit(this, u"dt_fim"_s, to))
{
    setObjectName(u"fperiodo"_s);
    setWindowTitle(u"Período"_s);
    auto *form = new QFormLayout;
    form->addRow(u"De:"_s, m_from);
    form->addRow(u"A"_s, m_to);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *ok = addButton(buttons, this, u"cmdOK"_s, u"OK"_s);
    auto *cancel = addButton(buttons, this, u"cmdCancel"_s, u"Cancela"_s);
    ok->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] {
        // A range typed backwards is the same range.
        const QDate first = std::min(m_from->date(), m_to->date());
        const QDate last = std::max(m_from->date(), m_to->date());
        emit periodChosen(first, last);
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QDate fperiodo::from() const
{
    return m_from->date();
}

QDate fperiodo::to() const
{
    return m_to->date();
}

fconsultaperiodo::fconsultaperiodo(AppContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_grid(new GroupingGrid(this))
    , m_statuses(new DataGrid(this))
    , m_period(new QLabel(this))
{
    setObjectName(FormName);
    setWindowTitle(u"Consulta de Movimento pôr Período"_s);
    m_grid->setObjectName(u"Grid1"_s);
    m_statuses->setObjectName(u"Grid2"_s);
    m_statuses->hide();
    m_period->setObjectName(u"periodo"_s);

    const QLocale locale = programLocale();
    m_grid->setIdentityField(u"tessal_id"_s);
    m_grid->setColumns({{u"DT_LANCAMENTO"_s, u"Data"_s},
                        {u"ds_conta"_s, u"Conta"_s},
                        {u"DS_HISTORICO"_s, u"Histórico"_s},
                        {u"ds_complemento"_s, u"Complemento"_s},
                        {u"VL_LANCAMENTO"_s, u"Valor"_s},
                        {u"VL_SALDO"_s, u"Saldo"_s},
                        {u"CD_STATUS"_s, u"Situação"_s}});
    m_grid->setColumnFormat(u"DT_LANCAMENTO"_s, [](const QVariant &stored) {
        return data::showDate(data::fromStoredDate(stored.toString()));
    });
    const auto money = [locale](const QVariant &stored) {
        return stored.isNull() ? QString()
                               : formatGrouped2(centsFromDouble(stored.toDouble()), locale);
    };
    m_grid->setColumnFormat(u"VL_LANCAMENTO"_s, money, Qt::AlignRight | Qt::AlignVCenter);
    m_grid->setColumnFormat(u"VL_SALDO"_s, money, Qt::AlignRight | Qt::AlignVCenter);
    auto *checks = new QHBoxLayout;
    addCheck(checks, this, u"Check1"_s, u"Agrupar Paginas"_s);
    addCheck(checks, this, u"Check3"_s, u"Repetir Cabeçalho"_s);
    addCheck(checks, this, u"Check2"_s, QString())
        ->setToolTip(u"Linhas separando os registros na impressão"_s);
    addCheck(checks, this, u"Check4"_s, u"Imprimir só as Slecionadas"_s);
    checks->addStretch(1);
    checks->addWidget(m_period);

    auto *buttons = new QHBoxLayout;
    auto *print = addButton(buttons, this, u"cmdPrint"_s, u"IMPRIMIR"_s);
    auto *preview = addButton(buttons, this, u"cmdPrintPreview"_s, u"VISUALIZAR"_s);
    auto *fields = addButton(buttons, this, u"Command2"_s, u"Escolher Campos"_s);
    fields->setToolTip(
        u"Aqui você inclui ou exclui campos da grade para gerar relatórios personalizados"_s);
    auto *group = addButton(buttons, this, u"Command3"_s, u"Agrupar"_s);
    auto *ungroup = addButton(buttons, this, u"Command4"_s, u"Desagrupar"_s);
    auto *saveLayout = addButton(buttons, this, u"Command5"_s, u"Salvar Lay-out"_s);
    auto *readLayout = addButton(buttons, this, u"Command6"_s, u"Ler Lay-out"_s);
    auto *period = addButton(buttons, this, u"Command8"_s, u"Período"_s);
    buttons->addStretch(1);
    auto *leave = addButton(buttons, this, u"Command1"_s, u"&Sair"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_grid, 1);
    layout->addLayout(checks);
    layout->addLayout(buttons);

    connect(print, &QPushButton::clicked, this, &fconsultaperiodo::cmdPrint_Click);
    connect(preview, &QPushButton::clicked, this, &fconsultaperiodo::cmdPrintPreview_Click);
    connect(fields, &QPushButton::clicked, this, &fconsultaperiodo::Command2_Click);
    connect(group, &QPushButton::clicked, this, &fconsultaperiodo::Command3_Click);
    connect(saveLayout, &QPushButton::clicked, this, &fconsultaperiodo::Command5_Click);
    connect(readLayout, &QPushButton::clicked, this, &fconsultaperiodo::Command6_Click);
    connect(ungroup, &QPushButton::clicked, this, &fconsultaperiodo::Command4_Click);
    connect(period, &QPushButton::clicked, this, &fconsultaperiodo::Command8_Click);
    connect(leave, &QPushButton::clicked, this, &fconsultaperiodo::Command1_Click);
    connect(m_grid, &GroupingGrid::readFailed, this, &fconsultaperiodo::reportReadFailure);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    resize(1100, 640);
    Form_Load();
}

fconsultaperiodo::~fconsultaperiodo() = default;

QString fconsultaperiodo::sql() const
{
    const QString &identity = m_ctx.session().onServer() ? ServerIdentity : FileIdentity;
    return Select + identity + From + OwnDescription + (m_from.isValid() ? InPeriod : QString());
}

QVariantList fconsultaperiodo::bindValues() const
{
    if (!m_from.isValid())
        return {};
    return {data::toStoredDate(m_from), data::toStoredDate(m_to)};
}

void fconsultaperiodo::Form_Load()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { m_ctx.log(u"ENTROU NO MODULO DE CONSULTA DE MOVIMENTO POR PERIODO"_s); });
    const QString path = m_ctx.session().cashDatabasePath();
    steps.run([&] {
        m_statuses->setDatabasePath(path);
        m_statuses->setSql(StatusesSql);
        m_statuses->refresh();
        m_grid->setColumnDropDown(u"CD_STATUS"_s, m_statuses, u"ds_status"_s, u"cd_status"_s);
    });
    steps.run([&] {
        m_grid->setDatabasePath(path);
        m_grid->setSql(sql(), bindValues());
        m_grid->refresh();
    });
    // The header has its sections once the grid has read its columns.
    QHeaderView *header = m_grid->view()->header();
    for (const auto &[column, width] : {std::pair{Date, 120},
                                        {Account, 150},
                                        {Description, 190},
                                        {Remark, 200},
                                        {Amount, 100},
                                        {Balance, 110}})
        if (column - 1 < header->count())
            header->resizeSection(column - 1, width);
    steps.run([&] {
        m_grid->setFormatConditions(u"CD_STATUS"_s,
                                    {{u"D"_s, QColor(255, 0, 0), QColor(255, 255, 0)},
                                     {u"C"_s, QColor(0, 0, 255), QColor(255, 255, 0)}});
    });
    showPeriod();
}

// The printer settings from the check boxes: group pages, repeated column headers, the rows'
// ruling lines (Check2), selected rows only; the date and time of the print in slot 2, and the
// page numbers in slot 3, set before each page.
std::shared_ptr<GridDocument> fconsultaperiodo::document()
{
    auto checked = [this](const QString &name) {
        return findChild<QCheckBox *>(name)->isChecked();
    };
    GridDocument::Settings settings;
    settings.title = windowTitle();
    settings.groupPages = checked(u"Check1"_s);
    settings.repeatHeaders = checked(u"Check3"_s);
    settings.rules = checked(u"Check2"_s);
    settings.selectedOnly = checked(u"Check4"_s);
    settings.slotText[1] = windowTitle();
    settings.slotText[2] = m_ctx.clock().now().toString(u"dd/MM/yyyy HH:mm:ss"_s);
    settings.pageEvent = [](int page, int pages) -> QString {
        return u"Page "_s + QString::number(page) + u"\r\n"_s + u" of "_s + QString::number(pages);
    };
    return m_grid->printDocument(std::move(settings));
}

void fconsultaperiodo::cmdPrint_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { m_ctx.log(u"IMPRIMIU O MOVIMENTO POR PERÍODO"_s); });
    steps.run([&] { m_ctx.dialogs().print(*document(), u"Imprimir"_s); });
}

void fconsultaperiodo::cmdPrintPreview_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { m_ctx.log(u"VISUALISOU MOVIMENTO POR PERÍODO"_s); });
    steps.run([&] {
        auto *window = new frmPreview(m_ctx, document(), parentWidget());
        window->setGeometry(geometry());
        m_previewWindow = window;
        // Once the preview ends, the query comes back as it was.
        connect(window, &frmPreview::closed, this, [this] {
            show();
            raise();
        });
        window->show();
        hide();
    });
}

frmPreview::frmPreview(AppContext &ctx, std::shared_ptr<const PagedDocument> document,
                       QWidget *parent)
    : QMainWindow(parent, Qt::Window)
    , m_ctx(ctx)
    , m_document(std::move(document))
    , m_preview(new PageView(m_document, this))
{
    setObjectName(u"frmPreview"_s);
    setWindowTitle(u"Print Preview"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    // Pages are painted as they come into sight, so a long print shows its first page at once.
    m_preview->setObjectName(u"grPrev"_s);
    setCentralWidget(m_preview);
    auto *tools = addToolBar(u"Visualização"_s);
    tools->setObjectName(u"previewTools"_s);
    tools->setMovable(false);
    QAction *print = tools->addAction(u"Imprimir"_s, this, &frmPreview::printAndClose);
    print->setShortcut(QKeySequence::Print);
    tools->addSeparator();
    tools
        ->addAction(u"Aproximar"_s, m_preview,
                    [this] { m_preview->setZoom(m_preview->zoom() * 1.25); })
        ->setShortcut(QKeySequence::ZoomIn);
    tools
        ->addAction(u"Afastar"_s, m_preview,
                    [this] { m_preview->setZoom(m_preview->zoom() / 1.25); })
        ->setShortcut(QKeySequence::ZoomOut);
    tools->addAction(u"Página inteira"_s, m_preview, [this] { m_preview->fitPage(); });
    tools->addSeparator();
    QAction *close = tools->addAction(u"Fechar"_s, this, &QWidget::close);
    close->setShortcut(QKeySequence(Qt::Key_Escape));
}

frmPreview::~frmPreview() = default;

void frmPreview::printAndClose()
{
    HandlerSteps steps(m_ctx.errors(), u"frmPreview"_s);
    bool printed = false;
    steps.run([&] { printed = m_ctx.dialogs().print(*m_document, u"Imprimir"_s); });
    if (printed)
        close();
}

void frmPreview::closeEvent(QCloseEvent *event)
{
    emit closed();
    QMainWindow::closeEvent(event);
}

void fconsultaperiodo::Command2_Click()
{
    frmShowfields chooser(this);
    chooser.ShowFields(*m_grid);
}

void fconsultaperiodo::Command5_Click()
{
    const QString path = m_ctx.dialogs().saveFileName(
        LayoutTitle, QDir(m_ctx.session().filesDirectory()).filePath(u"*.lyt"_s), LayoutFilter);
    if (path.isEmpty())
        return;
    try {
        writeGridLayout(path, m_grid->layout());
    } catch (const Error &e) {
        m_ctx.dialogs().message(e.description());
    }
}

void fconsultaperiodo::Command6_Click()
{
    const QString path = m_ctx.dialogs().openFileName(
        ReadLayoutTitle, m_ctx.session().filesDirectory(), LayoutFilter);
    if (path.isEmpty())
        return;
    try {
        // A file that is refused changes nothing: the grid takes only a layout read whole.
        m_grid->applyLayout(readGridLayout(path));
    } catch (const Error &e) {
        m_ctx.dialogs().message(e.description());
    }
}

void fconsultaperiodo::Command3_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { m_grid->groupByCurrentColumn(); });
}

void fconsultaperiodo::Command4_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { m_grid->ungroup(); });
}

void fconsultaperiodo::Command8_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { m_ctx.log(u"ENTROU NO MODULO DE CONSULTA DE MOVIMENTO POR PERÍODO"_s); });
    if (!m_periodWindow) {
        const QDate today = m_ctx.clock().now().date();
        m_periodWindow = new fperiodo(m_from.isValid() ? m_from : today.addDays(1 - today.day()),
                                      m_to.isValid() ? m_to : today, this);
        m_periodWindow->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_periodWindow, &fperiodo::periodChosen, this, &fconsultaperiodo::setPeriod);
    }
    m_periodWindow->show();
    m_periodWindow->raise();
    m_periodWindow->activateWindow();
}

void fconsultaperiodo::setPeriod(const QDate &from, const QDate &to)
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    m_from = from.isValid() && to.isValid() ? from : QDate();
    m_to = m_from.isValid() ? to : QDate();
    steps.run([&] {
        m_grid->setSql(sql(), bindValues());
        m_grid->refresh();
    });
    showPeriod();
}

void fconsultaperiodo::showPeriod()
{
    m_period->setText(m_from.isValid()
                          ? u"Período: %1 a %2"_s.arg(data::showDate(m_from), data::showDate(m_to))
                          : u"Período: todo o período"_s);
}

void fconsultaperiodo::Command1_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { m_ctx.log(u"SAIU DO MODULO DE CONSULTA DE MOVIMENTO Pôr Período"_s); });
    close();
}

void fconsultaperiodo::reportReadFailure(const ErrorInfo &error)
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { throw Error(error); });
}

} // namespace tessal
