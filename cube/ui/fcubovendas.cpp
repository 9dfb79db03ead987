#include "cube/ui/fcubovendas.h"

#include "core/appcontext.h"
#include "core/config.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "core/errorreport.h"
#include "core/ui/backdroppainter.h"
#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "cube/datamarkers.h"
#include "cube/ui/cubedocument.h"
#include "cube/ui/cubeview.h"
#include "cube/ui/datamarkerseditorform.h"
#include "cube/ui/passwordform.h"
#include "cube/ui/saveform.h"
#include "cubetools/fexport.h"
#include "cubetools/frmmschart.h"
#include "cubetools/rankform.h"
#include "data/database.h"

#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString FormName = u"fcubovendas"_s;

// The old layout's measures were twips; a pixel is 15 of them on a 96 dpi screen.
constexpr int Gap = 6;           // 90 twips
constexpr int BottomMargin = 24; // 360 twips
constexpr int TopHeight = 64;
constexpr int LeftWidth = 190;

bool isAddress(const QString &path)
{
    return path.contains(u"http://"_s, Qt::CaseInsensitive) ||
           path.contains(u"https://"_s, Qt::CaseInsensitive);
}

} // namespace

fcubovendas::fcubovendas(AppContext &ctx, QWidget *parent)
    : QMainWindow(parent)
    , m_ctx(ctx)
    , m_cube(new Cube(this))
    , m_client(new QWidget(this))
    , m_top(new QWidget(m_client))
    , m_left(new QWidget(m_client))
    , m_view(new CubeView(m_client))
    , m_dataFields(new QListWidget(m_left))
    , m_preview(new QPushButton(u"Print Preview"_s, m_left))
    , m_close(new QPushButton(u"Sair"_s, m_left))
{
    setObjectName(FormName);
    setWindowTitle(u"Bi - Business Inteligence"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1000, 680);
    m_cube->setObjectName(u"Cube1Engine"_s);

    // The title pictures: the banded backdrop under the two captions and under the left column.
    m_top->setObjectName(u"TopPicture"_s);
    m_left->setObjectName(u"LeftPicture"_s);
    BackdropPainter::install(m_top);
    BackdropPainter::install(m_left);
    auto *title = new QLabel(u"Gerador de Relatórios Multi - Dimensional"_s, m_top);
    title->setObjectName(u"TitleCaption"_s);
    QFont titleFont = title->font();
    titleFont.setPointSize(16);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setStyleSheet(u"color: white;"_s);
    auto *subtitle = new QLabel(u"Olap Server"_s, m_top);
    subtitle->setObjectName(u"SubTitleCaption"_s);
    subtitle->setStyleSheet(u"color: white;"_s);
    auto *topLayout = new QVBoxLayout(m_top);
    topLayout->setContentsMargins(12, 6, 12, 6);
    topLayout->addWidget(title);
    topLayout->addWidget(subtitle);

    m_dataFields->setObjectName(u"lstVisDataField"_s);
    m_dataFields->setToolTip(u"Campos de dados mostrados no cubo"_s);
    m_preview->setObjectName(u"cmdPreview"_s);
    m_close->setObjectName(u"Command1"_s);
    auto *leftLayout = new QVBoxLayout(m_left);
    leftLayout->setContentsMargins(8, 8, 8, 8);
    leftLayout->addWidget(m_dataFields, 1);
    leftLayout->addWidget(m_preview);
    leftLayout->addWidget(m_close);

    m_view->setObjectName(u"Cube1"_s);
    m_view->setCube(m_cube);
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    // "Menu Opções"
    QMenu *menu = menuBar()->addMenu(u"Menu Opções"_s);
    menu->setObjectName(u"Menu"_s);
    auto addItem = [this, menu](const QString &name, const QString &caption, auto slot) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    addItem(u"Abrir"_s, u"Abrir"_s, &fcubovendas::Abrir_Click);
    addItem(u"Salvar"_s, u"Salvar"_s, &fcubovendas::Salvar_Click);
    addItem(u"Classificar"_s, u"Classificar"_s, &fcubovendas::Classificar_Click);
    addItem(u"graficos"_s, u"Graficos"_s, &fcubovendas::graficos_Click);
    addItem(u"retirar"_s, u"Retirar Totais"_s, &fcubovendas::retirar_Click);
    addItem(u"Inserir"_s, u"Inserir Totais"_s, &fcubovendas::Inserir_Click);
    addItem(u"Marcadores"_s, u"Marcadores"_s, &fcubovendas::Marcadores_Click);
    addItem(u"Exportar"_s, u"Exportar"_s, &fcubovendas::Exportar_Click);

    connect(m_preview, &QPushButton::clicked, this, &fcubovendas::cmdPreview_Click);
    connect(m_close, &QPushButton::clicked, this, &fcubovendas::Command1_Click);
    connect(m_dataFields, &QListWidget::itemChanged, this, &fcubovendas::lstVisDataField_ItemCheck);

    // StatusBar1: six panels, of which the program writes the first, the second and the last
    QStatusBar *status = statusBar();
    status->setObjectName(u"StatusBar1"_s);
    for (int i = 0; i < 6; ++i) {
        m_panels[i] = new QLabel(status);
        m_panels[i]->setObjectName(u"panel"_s + QString::number(i + 1));
        if (i == 0)
            status->addWidget(m_panels[i], 1);
        else
            status->addPermanentWidget(m_panels[i]);
    }

    Form_Load();
}

fcubovendas::~fcubovendas() = default;

void fcubovendas::Form_Load()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    QString dataDir;
    steps.run([&] { dataDir = readDataDirectory(m_ctx.configFilePath()); });
    m_panels[0]->setText(dataDir);
    m_panels[1]->setText(u"USUARIO"_s);
    m_panels[5]->setText(QString());

    // The cube reads this window's own cash database, through its read-only connection; a cube
    // file opened later keeps it, whatever database the file names.
    m_cube->setDefinition(analysisCubeDefinition(data::cashDatabasePath(dataDir)));
    m_markers = std::make_unique<DataMarkerCollection>();
    m_cube->setCellFormatHandler(
        [this](CellFormat &format) { applyDataMarkers(*m_markers, *m_cube, format); });
    steps.run([&] { m_cube->refresh(); });
    steps.run([&] { FillDataFieldList(); });
}

void fcubovendas::FillDataFieldList()
{
    // ticking the new entries is not the operator's doing
    const QSignalBlocker quiet(m_dataFields);
    m_dataFields->clear();
    const FieldCollection fields = m_cube->dataFields();
    for (int i = 0; i < fields.count(); ++i) {
        auto *item = new QListWidgetItem(fields.item(i)->caption(), m_dataFields);
        item->setData(Qt::UserRole, i);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
}

void fcubovendas::lstVisDataField_ItemCheck(QListWidgetItem *item)
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        CubeField *field = m_cube->dataFields().item(item->data(Qt::UserRole).toInt());
        if (!field)
            return;
        field->setVisible(item->checkState() == Qt::Checked);
        m_cube->refresh();
    });
}

void fcubovendas::SetAllGroupFooterTypes(int value)
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        for (CubeField *field : m_cube->fields())
            field->setGroupFooter(value);
        m_cube->refresh();
    });
}

bool fcubovendas::GetCubeFilePath(QString &path)
{
    path = m_ctx.dialogs().openFileName(u"Open a CUB file for viewing"_s, m_cubeFilePath,
                                        qtFileFilter(u"CUB Files (*.CUB)|*.cub"_s));
    return !path.isEmpty();
}

bool fcubovendas::LoadCubeFile(const QString &path, int attempts)
{
    if (path.isEmpty())
        return false;
    int counter = 0;
    for (;;) {
        try {
            if (isAddress(path)) {
                loadFromAddressAndWait(path);
                return true;
            }
            return m_cube->loadFromFile(path);
        } catch (const Error &e) {
            switch (e.number()) {
            case CubeError::FileNotFound:
                m_ctx.dialogs().message(u"Arquivo nao existe"_s, u"Try Again"_s,
                                        Dialogs::Icon::Information);
                return false;
            case CubeError::WrongPassword: {
                ++counter;
                if (counter > attempts)
                    return false;
                const QString prompt =
                    u"Por favor digite a senha correta para abrir esse arquivo."_s + u"\r\n"_s +
                    QString::number(counter) + u" of "_s + QString::number(attempts) +
                    u" chance(s)..."_s;
                PasswordForm form(this);
                const std::optional<QString> password =
                    form.GetPassword(prompt, u"Protegido por senha"_s);
                if (!password)
                    return false;
                m_cube->setPassword(*password);
                break; // and load again
            }
            default:
                m_ctx.dialogs().message(u"Erro inesperado "_s + u"\r\n"_s +
                                            QString::number(e.number()) + u"\r\n"_s +
                                            e.description(),
                                        u"EXITING PROGRAM!"_s, Dialogs::Icon::Critical);
                return false;
            }
        }
    }
}

void fcubovendas::loadFromAddressAndWait(const QString &address)
{
    std::unique_ptr<Progress> progress =
        m_ctx.dialogs().progress(u"Abrir cubo"_s, u"Buscando o arquivo do cubo em "_s + address);
    QEventLoop loop;
    bool ok = false;
    int number = CubeError::FetchFailed;
    QString message;
    qint64 received = 0;
    qint64 total = 0;
    bool stopped = false;
    bool finished = false; // a refused address is told before the loop would start
    const auto done = connect(m_cube, &Cube::addressLoaded, &loop,
                              [&](bool loaded, int errorNumber, const QString &text) {
                                  ok = loaded;
                                  number = errorNumber;
                                  message = text;
                                  finished = true;
                                  loop.quit();
                              });
    const auto moved = connect(m_cube, &Cube::addressProgress, &loop, [&](qint64 r, qint64 t) {
        received = r;
        total = t;
    });
    // The box is asked every tenth of a second, so "Cancelar" is heard while nothing arrives.
    QTimer tick;
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (!stopped && !progress->advance(received, total)) {
            stopped = true;
            m_cube->cancelLoadFromAddress();
        }
    });
    tick.start(100);
    m_cube->setLoadFromAddress(address);
    if (!finished)
        loop.exec();
    disconnect(done);
    disconnect(moved);
    if (stopped && !ok)
        throw Error(CubeError::FetchFailed, u"Busca do arquivo interrompida pelo operador."_s,
                    FormName);
    if (!ok)
        throw Error(number, message, FormName);
}

void fcubovendas::Abrir_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    QString path;
    bool chosen = false;
    steps.run([&] { chosen = GetCubeFilePath(path); });
    if (!chosen)
        return;
    bool loaded = false;
    steps.run([&] { loaded = LoadCubeFile(path, 3); });
    if (loaded) {
        m_cubeFilePath = path;
        m_view->setVisible(true);
        steps.run([&] { FillDataFieldList(); });
        m_ctx.dialogs().message(u"Arquivo carregado com sucesso!"_s, u"Congratulaçõe"_s,
                                Dialogs::Icon::Information);
    } else {
        m_view->setVisible(false);
        m_ctx.dialogs().message(u"houve algum problema ao carregar arquivo do cubo."_s,
                                u"E R R O"_s, Dialogs::Icon::Information);
    }
}

void fcubovendas::Salvar_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        if (!m_saveForm) {
            m_saveForm = new SaveForm(m_ctx, this);
            m_saveForm->setAttribute(Qt::WA_DeleteOnClose);
            m_saveForm->setCube(m_cube);
        }
        m_saveForm->presetFromCube();
        m_saveForm->show();
        m_saveForm->raise();
    });
}

SaveForm *fcubovendas::saveForm() const
{
    return m_saveForm.data();
}

void fcubovendas::Classificar_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    // one ranking window at a time, kept and reused while it is open; no field chosen beforehand
    steps.run([&] { RankForm::openFor(m_ctx, m_cube, this, nullptr); });
}

void fcubovendas::graficos_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    // a new chart every time, each with the selection of its moment
    steps.run([&] { frmMSChart::openFor(m_ctx, *m_cube, this); });
}

void fcubovendas::Exportar_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { fexport::showFor(m_ctx, m_cube, this); });
}

void fcubovendas::retirar_Click()
{
    SetAllGroupFooterTypes(0);
}

void fcubovendas::Inserir_Click()
{
    SetAllGroupFooterTypes(-1);
}

void fcubovendas::Marcadores_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        DataMarkersEditorForm form(m_ctx, this);
        form.ShowDataMarkers(*m_cube, *m_markers);
    });
}

void fcubovendas::cmdPreview_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        PreviewOptions options;
        options.windowState = Qt::WindowMaximized;
        m_ctx.dialogs().preview(std::make_shared<CubeDocument>(*m_cube), options);
    });
}

void fcubovendas::Command1_Click()
{
    close();
}

bool fcubovendas::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        placeControls();
    return QMainWindow::eventFilter(watched, event);
}

void fcubovendas::placeControls()
{
    const int width = m_client->width();
    const int height = m_client->height();
    m_top->setGeometry(Gap, Gap, std::max(0, width - 2 * Gap), TopHeight);
    const int leftTop = m_top->geometry().bottom() + 1 + Gap;
    const int leftHeight = std::max(0, height - leftTop - BottomMargin);
    m_left->setGeometry(Gap, leftTop, LeftWidth, leftHeight);
    const int cubeLeft = m_left->geometry().right() + 1 + Gap;
    m_view->setGeometry(cubeLeft, leftTop, std::max(0, width - cubeLeft - Gap), leftHeight);
    m_top->update();
    m_left->update();
}

} // namespace tessal::cube
