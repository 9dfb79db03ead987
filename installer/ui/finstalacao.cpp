#include "installer/ui/finstalacao.h"

#include "core/appcontext.h"
#include "core/config.h"
#include "core/datasource.h"
#include "core/dialogs.h"
#include "core/ui/backdroppainter.h"
#include "data/database.h"
#include "data/serverconnect.h"
#include "installer/installation.h"
#include "reports/shippedlayouts.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace tessal {

namespace {

QLabel *instruction(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
    return label;
}

} // namespace

finstalacao::finstalacao(AppContext &context, QWidget *parent)
    : QDialog(parent)
    , m_context(context)
    , m_desktopFolder(installer::desktopFolder())
{
    setObjectName(QStringLiteral("finstalacao"));
    setWindowTitle(QStringLiteral("Instalador de Sistemas"));
    BackdropPainter::install(this);

    m_drive = new QComboBox(this);
    m_drive->setObjectName(QStringLiteral("Drive"));
    m_dirModel = new QFileSystemModel(this);
    m_dirModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_dir = new QTreeView(this);
    m_dir->setObjectName(QStringLiteral("Dir"));
    m_dir->setModel(m_dirModel);
    for (int column = 1; column < m_dirModel->columnCount(); ++column)
        m_dir->hideColumn(column);
    m_dir->header()->hide();

    m_fileModel = new QFileSystemModel(this);
    m_fileModel->setFilter(QDir::Files);
    m_fileModel->setNameFilters({QStringLiteral("CHEQUES.MDB")});
    m_fileModel->setNameFilterDisables(false);
    m_file = new QListView(this);
    m_file->setObjectName(QStringLiteral("File"));
    m_file->setModel(m_fileModel);

    m_directory = new QLabel(this);
    m_directory->setObjectName(QStringLiteral("DS_DIRETORIO"));
    m_directory->setFrameShape(QFrame::Panel);
    m_directory->setFrameShadow(QFrame::Sunken);
    m_directory->setAutoFillBackground(true);
    auto *database = new QLabel(QStringLiteral("CHEQUES.MDB"), this);
    database->setObjectName(QStringLiteral("ds_banco"));
    database->setStyleSheet(QStringLiteral("color: white;"));

    auto *browse = new QPushButton(QStringLiteral("Procurar..."), this);
    browse->setObjectName(QStringLiteral("ler"));
    auto *writeConfig = new QPushButton(QStringLiteral(" I - Criar Arquivo de Configuração"), this);
    writeConfig->setObjectName(QStringLiteral("Command4"));
    auto *shortcut = new QPushButton(QStringLiteral(" II - Criar Atalhos"), this);
    shortcut->setObjectName(QStringLiteral("Command1"));
    m_server = new QLineEdit(this);
    m_server->setObjectName(QStringLiteral("txtServidor"));
    m_server->setPlaceholderText(QStringLiteral("postgresql://usuario@servidor:5432/banco"));
    auto *useServer = new QPushButton(QStringLiteral("Usar o Ser&vidor"), this);
    useServer->setObjectName(QStringLiteral("cmdServidor"));
    auto *leave = new QPushButton(QStringLiteral("&Sair "), this);
    leave->setObjectName(QStringLiteral("Command6"));

    auto *layout = new QGridLayout(this);
    layout->addWidget(instruction(QStringLiteral("1-) Localize o Diretório de Instalação onde "
                                                 "Conterá o Banco de dados"),
                                  this),
                      0, 0, 1, 2);
    layout->addWidget(m_drive, 1, 0);
    layout->addWidget(m_dir, 2, 0);
    layout->addWidget(m_file, 2, 1);
    layout->addWidget(database, 1, 1);
    layout->addWidget(m_directory, 3, 0);
    layout->addWidget(browse, 3, 1);
    layout->addWidget(
        instruction(QStringLiteral("2-) Click em CriarArquivo de Configuração "), this), 4, 0);
    layout->addWidget(writeConfig, 4, 1);
    layout->addWidget(instruction(QStringLiteral("3-) Click em Criar Atalhos "), this), 5, 0);
    layout->addWidget(shortcut, 5, 1);
    layout->addWidget(
        instruction(QStringLiteral("Em sistemas Linux o atalho é criado na Área de Trabalho do "
                                   "usuário; marque-o como confiável se o ambiente pedir."),
                    this),
        6, 0, 1, 2);
    layout->addWidget(
        instruction(QStringLiteral("Em sistemas Windows o atalho é criado na Área de Trabalho e "
                                   "pode ser fixado no menu Iniciar."),
                    this),
        7, 0, 1, 2);
    layout->addWidget(instruction(QStringLiteral("Pasta sugerida para a instalação: ") +
                                      installer::defaultInstallFolder(),
                                  this),
                      8, 0, 1, 2);
    layout->addWidget(instruction(QStringLiteral("A senha padrão do usuário Supervisor dos dados "
                                                 "de demonstração é 1234."),
                                  this),
                      9, 0, 1, 2);
    layout->addWidget(
        instruction(QStringLiteral("Ou, para várias estações num só caixa, informe o endereço do "
                                   "servidor PostgreSQL (a senha não vai no endereço: ela é "
                                   "pedida ao entrar) e clique em Usar o Servidor:"),
                    this),
        10, 0, 1, 2);
    layout->addWidget(m_server, 11, 0);
    layout->addWidget(useServer, 11, 1);
    layout->addWidget(leave, 12, 1);
    resize(640, 620);

    // Load: start in the program's own directory.
    fillDrives();
    const QString programDir = m_context.programDir();
    m_directory->setText(programDir);
    m_currentDrive = driveOf(programDir);
    m_drive->setCurrentText(m_currentDrive);
    m_dirModel->setRootPath(m_currentDrive);
    m_dir->setRootIndex(m_dirModel->index(m_currentDrive));
    m_followed = programDir;
    revealFollowed();
    Dir_Change(programDir);

    // The model reads each folder on a worker thread and sorts it some time after its rows
    // arrive, which moves the program directory away from where the tree scrolled to; every
    // such change brings it back into view until the operator takes the tree over.
    connect(m_dirModel, &QFileSystemModel::directoryLoaded, this, &finstalacao::revealFollowed);
    connect(m_dirModel, &QAbstractItemModel::layoutChanged, this, &finstalacao::revealFollowed);
    const auto operatorMoved = [this] {
        if (!m_revealing)
            stopFollowing();
    };
    connect(m_dir, &QTreeView::expanded, this, operatorMoved);
    connect(m_dir, &QTreeView::collapsed, this, operatorMoved);
    connect(m_dir->verticalScrollBar(), &QAbstractSlider::actionTriggered, this, operatorMoved);
    connect(m_dir->horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, operatorMoved);

    connect(m_drive, &QComboBox::textActivated, this, &finstalacao::Drive_Change);
    connect(m_dir->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                const QString directory = m_dirModel->filePath(current);
                if (directory != m_followed)
                    stopFollowing();
                Dir_Change(directory);
            });
    connect(browse, &QPushButton::clicked, this, &finstalacao::ler_Click);
    connect(writeConfig, &QPushButton::clicked, this, &finstalacao::Command4_Click);
    connect(shortcut, &QPushButton::clicked, this, &finstalacao::Command1_Click);
    connect(useServer, &QPushButton::clicked, this, &finstalacao::cmdServidor_Click);
    connect(m_server, &QLineEdit::returnPressed, this, &finstalacao::cmdServidor_Click);
    connect(leave, &QPushButton::clicked, this, &QDialog::reject);
}

QString finstalacao::chosenDirectory() const
{
    return m_directory->text();
}

void finstalacao::fillDrives()
{
    m_drive->clear();
    m_drive->addItems(installer::installableVolumes());
}

QString finstalacao::driveOf(const QString &directory) const
{
    // The volume holding the directory: the longest mount root that is a prefix of it.
    QString best = QDir::rootPath();
    for (int i = 0; i < m_drive->count(); ++i) {
        const QString root = m_drive->itemText(i);
        const QString prefix = root.endsWith(u'/') ? root : root + u'/';
        if ((directory == root || directory.startsWith(prefix)) && root.size() > best.size())
            best = root;
    }
    return best;
}

void finstalacao::revealFollowed()
{
    if (m_followed.isEmpty() || m_revealing)
        return;
    const QModelIndex target = m_dirModel->index(m_followed);
    if (!target.isValid())
        return;
    const QScopedValueRollback guard(m_revealing, true);
    m_dir->setCurrentIndex(target);
    m_dir->scrollTo(target); // also expands every folder above it
}

void finstalacao::stopFollowing()
{
    m_followed.clear();
}

void finstalacao::Drive_Change(const QString &drive)
{
    if (!installer::isReadableDirectory(drive)) {
        m_context.dialogs().message(QStringLiteral("Drive não acessível"));
        m_drive->setCurrentText(m_currentDrive);
        return;
    }
    stopFollowing();
    m_currentDrive = drive;
    if (m_drive->findText(drive) < 0)
        m_drive->addItem(drive);
    m_drive->setCurrentText(drive);
    m_dirModel->setRootPath(drive);
    m_dir->setRootIndex(m_dirModel->index(drive));
    Dir_Change(drive);
}

void finstalacao::Dir_Change(const QString &directory)
{
    m_directory->setText(directory);
    m_fileModel->setRootPath(directory);
    m_file->setRootIndex(m_fileModel->index(directory));
}

void finstalacao::ler_Click()
{
    HandlerSteps steps(m_context.errors(), objectName());
    steps.run([&] {
        const QString chosen = m_context.dialogs().openFileName(
            QString(), m_directory->text(),
            qtFileFilter(QStringLiteral("Arquivo de Dados (*.mdb)|*.mdb|All Files (*.*)|*.*|")));
        // The label names a directory: a chosen database file gives its folder.
        if (!chosen.isEmpty())
            m_directory->setText(QFileInfo(chosen).absolutePath());
    });
}

void finstalacao::Command4_Click()
{
    if (m_directory->text().isEmpty()) {
        m_context.dialogs().message(
            QStringLiteral("Não posso criar arquivo de configuração com diretório vazio!!"));
        return;
    }
    HandlerSteps steps(m_context.errors(), objectName());
    const QString directory = m_directory->text();
    // The directory chosen here is meant to hold the databases and the report layouts, so they are
    // made now, without the question start-up asks of a directory that lacks them; a foreign
    // caixa.mdb there is refused before sys.ini points at it.
    if (steps.run([&] {
            data::ensureDataDirectory(directory);
            reports::installShippedLayouts(directory);
        }) &&
        steps.run([&] { writeConfigFile(m_context.configFilePath(), directory); }))
        m_context.dialogs().message(QStringLiteral("Arquivo de Configuração Criado com sucesso!!"));
}

// A server installation: the address is checked (one holding a password is refused without being
// repeated), the server reached and its database made ready, and only then is sys.ini written
// with the address; the report layouts go to the local directory beside the program, since
// there is no shared data directory.
void finstalacao::cmdServidor_Click()
{
    const QString typed = m_server->text().trimmed();
    if (!looksLikeServerUri(typed)) {
        m_context.dialogs().message(QStringLiteral("Informe o endereço do servidor no formato "
                                                   "postgresql://usuario@servidor:porta/banco"));
        m_server->setFocus();
        return;
    }
    HandlerSteps steps(m_context.errors(), objectName());
    QString uri;
    bool ready = false;
    const QString files = m_context.session().localFilesDirectory();
    if (!steps.run([&] {
            uri = dataSourceFromConfigLine(typed).server.uri();
            ready = data::prepareServerDatabase(m_context.dialogs(), uri);
        }) ||
        !ready)
        return;
    if (steps.run([&] { reports::installShippedLayouts(files); }) &&
        steps.run([&] { writeConfigFile(m_context.configFilePath(), uri); }))
        m_context.dialogs().message(QStringLiteral("Arquivo de Configuração Criado com sucesso!!"));
}

void finstalacao::Command1_Click()
{
    HandlerSteps steps(m_context.errors(), objectName());
    if (steps.run([&] { installer::createLauncher(m_desktopFolder, m_directory->text()); }))
        m_context.dialogs().message(QStringLiteral("Atalho Criado com sucesso!!"));
}

} // namespace tessal
