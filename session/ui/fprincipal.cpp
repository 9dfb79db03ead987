#include "session/ui/fprincipal.h"

#include "controls/buttonbar.h"
#include "core/appcontext.h"
#include "core/appinfo.h"
#include "core/config.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "core/ui/backdroppainter.h"
#include "data/filesystem.h"
#include "registers/registers.h"
#include "session/menuconfig.h"
#include "session/ui/ffaleconosco.h"
#include "session/ui/fsair.h"
#include "session/ui/menuicons.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

QLabel *whiteLabel(const QString &name, const QString &text, int points, bool bold, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setStyleSheet(u"color: white; font-size: %1pt;%2"_s.arg(points).arg(
        bold ? u" font-weight: bold;"_s : QString()));
    return label;
}

} // namespace

fprincipal::fprincipal(AppContext &ctx, QWidget *parent)
    : QMainWindow(parent)
    , m_ctx(ctx)
    , m_endProgram([] { QCoreApplication::exit(0); })
    , m_bar(new ButtonBar(this))
    , m_statusBar(new QStatusBar(this))
{
    setObjectName(u"fprincipal"_s);
    setWindowTitle(u"Menu Principal"_s);
    // No close button: the window is left only through fsair.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint);
    BackdropPainter::install(this);

    m_bar->setObjectName(u"ButtonBar1"_s);
    m_bar->setFixedWidth(200);
    QList<QIcon> images;
    for (const MenuGroup &group : menuGroups()) {
        m_bar->addGroup(group.caption, group.icon);
        images.append(group.icon);
    }
    // A button's large image is the one of its group: CONFIG gives the group number for both.
    m_bar->setImages(images);
    m_bar->setExclusive(true);

    auto *central = new QWidget(this);
    central->setObjectName(u"central"_s);
    auto *outer = new QHBoxLayout(central);
    outer->setContentsMargins(6, 6, 12, 6);
    outer->addWidget(m_bar);

    auto *area = new QGridLayout;
    m_image2 = new QLabel(central);
    m_image2->setObjectName(u"Image2"_s);
    m_image2->setPixmap(productPixmap(128));
    m_image2->setCursor(Qt::PointingHandCursor);
    m_image2->setToolTip(u"CLick aqui para saber como contactar a empresa desenvolvedora."_s);
    m_image2->installEventFilter(this);

    auto *label1 = whiteLabel(u"Label1"_s, u"Tessal Caixa"_s, 36, true, central);
    m_sistema = whiteLabel(u"sistema"_s, QString(), 18, true, central);
    auto *userCaption = whiteLabel(u"Label2"_s, u"Usuário:"_s, 12, false, central);
    m_codigouser = whiteLabel(u"codigouser"_s, QString(), 12, true, central);
    m_usuario = whiteLabel(u"usuario"_s, QString(), 12, true, central);
    auto *label3 = whiteLabel(u"Label3"_s, u"F-HELP"_s, 11, true, central);
    label3->setToolTip(u"Pressione F1 para abrir a ajuda"_s);

    m_command1 = new QPushButton(u"&SAIR"_s, central);
    m_command1->setObjectName(u"Command1"_s);
    m_command1->setMinimumSize(120, 40);
    m_command1->setStyleSheet(u"font-weight: bold;"_s);

    auto *titles = new QVBoxLayout;
    titles->addWidget(label1);
    titles->addWidget(m_sistema);
    auto *header = new QHBoxLayout;
    header->addWidget(m_image2);
    header->addSpacing(12);
    header->addLayout(titles);
    header->addStretch(1);

    auto *user = new QHBoxLayout;
    user->addWidget(userCaption);
    user->addWidget(m_codigouser);
    user->addWidget(whiteLabel(u"Label4"_s, u"-"_s, 12, true, central));
    user->addWidget(m_usuario);
    user->addStretch(1);

    area->addLayout(header, 0, 0, 1, 2);
    area->addLayout(user, 1, 0, 1, 2);
    area->setRowStretch(2, 1);
    area->addWidget(label3, 3, 0, Qt::AlignLeft | Qt::AlignBottom);
    area->addWidget(m_command1, 3, 1, Qt::AlignRight | Qt::AlignBottom);
    outer->addLayout(area, 1);
    setCentralWidget(central);

    m_statusBar->setObjectName(u"StatusBar1"_s);
    m_panel1 = new QLabel(m_statusBar);
    m_panel1->setObjectName(u"panel1"_s);
    m_panel2 = new QLabel(m_statusBar);
    m_panel2->setObjectName(u"panel2"_s);
    m_panel3 = new QLabel(m_statusBar);
    m_panel3->setObjectName(u"panel3"_s);
    // Shown while the data directory lies on a network share, where one workstation is safe and
    // several are not.
    m_sharedFolderNotice =
        new QLabel(u"Pasta de rede: para várias estações use o servidor PostgreSQL"_s, m_statusBar);
    m_sharedFolderNotice->setObjectName(u"sharedFolderNotice"_s);
    m_sharedFolderNotice->setStyleSheet(u"color: #a04000; font-weight: bold;"_s);
    m_sharedFolderNotice->setToolTip(
        u"Os bancos de dados estão numa pasta compartilhada pela rede. Uma estação por vez pode "
        "usá-los com segurança; para várias estações lançando ao mesmo tempo, instale o servidor "
        "PostgreSQL e indique-o no sys.ini (veja o manual de instalação)."_s);
    m_sharedFolderNotice->hide();
    m_statusBar->addWidget(m_panel1, 1);
    m_statusBar->addWidget(m_sharedFolderNotice);
    m_statusBar->addPermanentWidget(m_panel2);
    m_statusBar->addPermanentWidget(m_panel3);
    setStatusBar(m_statusBar);

    connect(m_bar, &ButtonBar::buttonClicked, this, &fprincipal::ButtonBar1_ButtonClick);
    connect(m_command1, &QPushButton::clicked, this, &fprincipal::Command1_Click);
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &fprincipal::showHelp);
    connect(&m_ctx.session(), &Session::dataDirectoryChanged, this, &fprincipal::showSessionValues);
    connect(&m_ctx.session(), &Session::userChanged, this, &fprincipal::showSessionValues);

    auto *clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, [this] {
        const QDateTime now = m_ctx.clock().now();
        m_panel2->setText(QLocale().toString(now.date(), QLocale::ShortFormat));
        m_panel3->setText(now.time().toString(u"HH:mm"_s));
    });
    clock->start(1000);
    QMetaObject::invokeMethod(clock, "timeout");

    const QList<std::tuple<int, QString, RegisterFactory>> registers = {
        {1, u"fcontas"_s, &fcontas},
        {2, u"fgrupos"_s, &fgrupos},
        {3, u"fusuarios"_s, &fusuarios},
        {4, u"fbaixas"_s, &fbaixas}};
    for (const auto &[position, name, factory] : registers)
        m_dispatch.set(1, position, [this, name, factory] {
            openWindow(name, [this, factory] { return factory(m_ctx, this); });
        });

    showSessionValues();
    resize(1024, 700);
}

void fprincipal::load()
{
    m_sistema->setText(u"-CONTROLE DE CAIXA"_s);
    m_ctx.session().setDataDirectory(readDataDirectory(m_ctx.configFilePath()));
    m_sharedFolderNotice->setVisible(data::isOnNetworkFileSystem(m_ctx.session().dataDirectory()));
    setWindowTitle(u"SISTEMA CONTROLE DE CAIXA - "_s + versionText());
    if (!m_loaded)
        buildBar();
    m_loaded = true;
}

void fprincipal::buildBar()
{
    for (const MenuButton &row : readMenuConfig(m_ctx.session().menuDatabasePath())) {
        ButtonBarGroup *group = m_bar->group(row.group);
        if (!group)
            throw Error(
                ErrorNumber::InvalidInput,
                u"O menu (CONFIG) cita o grupo %1, que a barra de botões não tem."_s.arg(row.group),
                u"ButtonBar1"_s);
        QToolButton *button = group->addButton(row.key, row.caption, row.group);
        button->setToolTip(row.toolTip);
    }
}

void fprincipal::showSessionValues()
{
    const Session &session = m_ctx.session();
    m_panel1->setText(session.dataDirectory());
    m_codigouser->setText(session.userCode());
    m_usuario->setText(session.userName());
}

void fprincipal::ButtonBar1_ButtonClick(int group, int position)
{
    m_dispatch.run(group, position);
}

void fprincipal::Command1_Click()
{
    openWindow(u"fsair"_s, [this] { return new fsair(m_ctx, m_endProgram, this); });
}

void fprincipal::Image2_Click()
{
    openWindow(u"ffaleconosco"_s, [this] { return new ffaleconosco(this); });
}

void fprincipal::showHelp()
{
    const QString path = m_ctx.session().helpFilePath();
    if (QFileInfo::exists(path))
        m_ctx.dialogs().openWithShell(path);
}

void fprincipal::openWindow(const QString &name, const std::function<QWidget *()> &create)
{
    QWidget *window = nullptr;
    for (QWidget *child : findChildren<QWidget *>(name, Qt::FindDirectChildrenOnly))
        if (child->isWindow() && child->isVisible())
            window = child;
    if (!window) {
        window = create();
        if (!window)
            return;
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void fprincipal::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

bool fprincipal::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_image2 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Image2_Click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace tessal
