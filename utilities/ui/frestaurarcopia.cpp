#include "utilities/ui/frestaurarcopia.h"

#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/money.h"
#include "data/backup.h"
#include "data/database.h"
#include "utilities/ui/busycursor.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

const QString FormName = u"frestaurarcopia"_s;

QString takenText(const std::optional<data::BackupName> &name)
{
    if (!name)
        return {};
    return name->taken.toString(u"dd/MM/yyyy 'às' HH:mm:ss"_s) +
           (name->kind == data::BackupKind::Automatic ? u" (automática)"_s : QString());
}

// The list's text for a backup: its moment, or the folder's name for one named otherwise.
QString itemText(const QString &path)
{
    const QString folderName = QFileInfo(path).fileName();
    const QString taken = takenText(data::parseBackupFolderName(folderName));
    return taken.isEmpty() ? folderName : u"Cópia de "_s + taken;
}

} // namespace

frestaurarcopia::frestaurarcopia(AppContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_folder(new QLabel(this))
    , m_backups(new QListWidget(this))
    , m_contents(new QLabel(this))
    , m_restore(new QPushButton(u"&Restaurar"_s, this))
{
    setObjectName(FormName);
    setWindowTitle(u"Restaurar Cópia"_s);

    m_folder->setObjectName(u"lblPasta"_s);
    m_folder->setWordWrap(true);
    m_backups->setObjectName(u"lstCopias"_s);
    auto *listLabel = new QLabel(u"&Cópias encontradas:"_s, this);
    listLabel->setBuddy(m_backups);
    m_contents->setObjectName(u"lblConteudo"_s);
    m_contents->setWordWrap(true);
    m_contents->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_contents->setMinimumHeight(72);
    m_contents->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *search = new QPushButton(u"&Outra pasta..."_s, this);
    search->setObjectName(u"cmdProcurar"_s);
    m_restore->setObjectName(u"cmdRestaurar"_s);
    m_restore->setEnabled(false);
    auto *close = new QPushButton(u"&Fechar"_s, this);
    close->setObjectName(u"cmdFechar"_s);
    auto *warning = new QLabel(
        u"A restauração substitui os bancos de dados atuais pelos da cópia. Os atuais não são "
        "apagados: vão para uma pasta \"antes-da-restauracao\" dentro do diretório de dados."_s,
        this);
    warning->setObjectName(u"lblAviso"_s);
    warning->setWordWrap(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(search);
    buttons->addStretch(1);
    buttons->addWidget(m_restore);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_folder);
    layout->addWidget(listLabel);
    layout->addWidget(m_backups, 1);
    layout->addWidget(m_contents);
    layout->addWidget(warning);
    layout->addLayout(buttons);
    setTabOrder(m_backups, m_restore);
    setTabOrder(m_restore, search);
    setTabOrder(search, close);
    resize(560, 420);

    connect(m_backups, &QListWidget::currentRowChanged, this, &frestaurarcopia::showChosen);
    connect(search, &QPushButton::clicked, this, &frestaurarcopia::cmdProcurar_Click);
    connect(m_restore, &QPushButton::clicked, this, &frestaurarcopia::cmdRestaurar_Click);
    connect(close, &QPushButton::clicked, this, &frestaurarcopia::cmdFechar_Click);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &frestaurarcopia::cmdFechar_Click);

    showBackupsOf(data::readBackupSettings(data::backupSettingsPath(ctx.programDir())).folder);
}

void frestaurarcopia::showBackupsOf(const QString &folder)
{
    m_backups->clear();
    if (folder.isEmpty()) {
        m_folder->setText(u"Nenhuma pasta de cópias foi escolhida: use \"Outra pasta...\"."_s);
        showChosen();
        return;
    }
    m_folder->setText(u"Cópias em: "_s + QDir::toNativeSeparators(folder));
    const bool isBackup = QFileInfo::exists(QDir(folder).filePath(u"caixa.mdb"_s)) ||
                          QFileInfo::exists(QDir(folder).filePath(u"MENU.mdb"_s));
    const QStringList backups = isBackup ? QStringList{folder} : data::findBackups(folder);
    for (const QString &backup : backups) {
        auto *item = new QListWidgetItem(itemText(backup), m_backups);
        item->setData(Qt::UserRole, backup);
        item->setToolTip(QDir::toNativeSeparators(backup));
    }
    if (m_backups->count() > 0)
        m_backups->setCurrentRow(0);
    else
        showChosen();
    m_backups->setFocus();
}

QString frestaurarcopia::chosenBackup() const
{
    const QListWidgetItem *item = m_backups->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void frestaurarcopia::showChosen()
{
    const QString backup = chosenBackup();
    m_restore->setEnabled(false);
    if (backup.isEmpty()) {
        m_contents->setText(u"Nenhuma cópia encontrada."_s);
        return;
    }
    // The pick reads what the backup holds with the quick check; the restore runs the full one.
    try {
        BusyCursor busy;
        const data::BackupInfo info = data::verifyBackup(backup, data::BackupCheck::Quick);
        const QLocale locale = programLocale();
        const QString taken = takenText(info.name);
        m_contents->setText((taken.isEmpty() ? QString() : u"Cópia de %1\n"_s.arg(taken)) +
                            u"%1 lançamentos em %2 contas\n%3"_s.arg(
                                locale.toString(info.entries), locale.toString(info.accounts),
                                QDir::toNativeSeparators(info.folder)));
        m_restore->setEnabled(true);
    } catch (const Error &e) {
        m_contents->setText(u"Esta cópia não pode ser restaurada: "_s + e.description());
    }
}

QStringList frestaurarcopia::otherOpenWindows() const
{
    const QWidget *main = parentWidget() ? parentWidget()->window() : nullptr;
    QStringList titles;
    for (const QWidget *window : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = window->windowType();
        if (window == this || window == main || !window->isVisible() ||
            (type != Qt::Window && type != Qt::Dialog))
            continue;
        titles.append(window->windowTitle());
    }
    titles.sort();
    return titles;
}

void frestaurarcopia::cmdProcurar_Click()
{
    const QString chosen =
        m_ctx.dialogs().existingDirectory(u"Pasta da cópia de segurança"_s, chosenBackup());
    if (!chosen.isEmpty())
        showBackupsOf(chosen);
}

void frestaurarcopia::cmdRestaurar_Click()
{
    const QString backup = chosenBackup();
    if (backup.isEmpty())
        return;
    HandlerSteps steps(m_ctx.errors(), FormName);
    const QStringList others = otherOpenWindows();
    if (!others.isEmpty()) {
        m_ctx.dialogs().message(u"Feche as outras janelas do sistema antes de restaurar uma "
                                "cópia, porque elas usam os bancos de dados:\n\n"_s +
                                    others.join(u'\n'),
                                windowTitle(), Dialogs::Icon::Warning);
        steps.run([&] { m_ctx.log(u"RESTAURAÇÃO RECUSADA: OUTRAS JANELAS ABERTAS"_s, backup); });
        return;
    }
    if (!m_ctx.dialogs().askYesNo(
            u"Restaurar esta cópia?\n\n%1\n\nOs bancos de dados atuais serão movidos para uma "
            "pasta dentro do diretório de dados e substituídos pelos da cópia."_s.arg(
                m_contents->text()),
            windowTitle()))
        return;

    data::RestoreResult result;
    const bool done = steps.run([&] {
        BusyCursor busy;
        result = data::restoreBackup(backup, m_ctx.session().dataDirectory(), m_ctx.clock().now());
    });
    if (!done) {
        steps.run([&] { m_ctx.log(u"RESTAURAÇÃO DA CÓPIA FALHOU"_s, backup); });
        return;
    }
    steps.run([&] {
        m_ctx.log(u"CÓPIA DE SEGURANÇA RESTAURADA"_s, backup);
        m_ctx.log(u"BANCOS ANTERIORES MOVIDOS PARA"_s, result.movedTo);
    });
    m_ctx.dialogs().message(u"A cópia foi restaurada.\n\nOs bancos de dados anteriores foram "
                            "movidos para:\n%1"_s.arg(QDir::toNativeSeparators(result.movedTo)),
                            windowTitle(), Dialogs::Icon::Information);
}

void frestaurarcopia::cmdFechar_Click()
{
    close();
}

} // namespace tessal
