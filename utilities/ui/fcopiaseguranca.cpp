#include "utilities/ui/fcopiaseguranca.h"

#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/money.h"
#include "data/backup.h"
#include "utilities/ui/busycursor.h"

#include <QCheckBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

const QString FormName = u"fcopiaseguranca"_s;

} // namespace

fcopiaseguranca::fcopiaseguranca(AppContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_settingsPath(data::backupSettingsPath(ctx.programDir()))
    , m_folder(new QLineEdit(this))
    , m_chooseFolder(new QPushButton(u"&Escolher pasta..."_s, this))
    , m_copy(new QPushButton(u"&Copiar agora"_s, this))
    , m_automatic(new QCheckBox(u"Fazer uma cópia &automática ao sair do sistema"_s, this))
    , m_keep(new QSpinBox(this))
    , m_result(new QLabel(this))
{
    setObjectName(FormName);
    setWindowTitle(u"Cópia de Segurança"_s);

    m_folder->setObjectName(u"txtPasta"_s);
    m_folder->setReadOnly(true);
    m_folder->setPlaceholderText(u"Nenhuma pasta escolhida"_s);
    m_chooseFolder->setObjectName(u"cmdPasta"_s);
    m_copy->setObjectName(u"cmdCopiar"_s);
    m_copy->setDefault(true);
    m_automatic->setObjectName(u"chkAutomatica"_s);
    m_keep->setObjectName(u"spnManter"_s);
    m_keep->setRange(1, data::MaximumBackupsKept);
    m_keep->setSuffix(u" cópias"_s);
    // A number typed is taken when the operator leaves the box, not at every digit.
    m_keep->setKeyboardTracking(false);
    m_result->setObjectName(u"lblResultado"_s);
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_result->setText(u"Nenhuma cópia feita nesta sessão."_s);
    auto *close = new QPushButton(u"&Fechar"_s, this);
    close->setObjectName(u"cmdFechar"_s);

    auto *explanation = new QLabel(
        u"A cópia guarda os dois bancos de dados (caixa.mdb e MENU.mdb) numa pasta com a data e a "
        "hora, dentro da pasta escolhida. Ela pode ser feita com o sistema em uso."_s,
        this);
    explanation->setObjectName(u"lblExplicacao"_s);
    explanation->setWordWrap(true);

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_chooseFolder);
    auto *folderLabel = new QLabel(u"&Pasta das cópias:"_s, this);
    folderLabel->setBuddy(m_chooseFolder);

    auto *automaticBox = new QGroupBox(u"Cópia automática"_s, this);
    automaticBox->setObjectName(u"grpAutomatica"_s);
    auto *keepLabel = new QLabel(u"&Manter as últimas:"_s, automaticBox);
    keepLabel->setBuddy(m_keep);
    auto *automaticLayout = new QFormLayout(automaticBox);
    automaticLayout->addRow(m_automatic);
    automaticLayout->addRow(keepLabel, m_keep);
    auto *keepNote = new QLabel(u"As cópias automáticas mais antigas que essas são apagadas; as "
                                "cópias feitas com \"Copiar agora\" nunca são apagadas."_s,
                                automaticBox);
    keepNote->setWordWrap(true);
    automaticLayout->addRow(keepNote);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_copy);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(folderLabel);
    layout->addLayout(folderRow);
    layout->addWidget(automaticBox);
    layout->addWidget(m_result);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setTabOrder(m_chooseFolder, m_copy);
    setTabOrder(m_copy, m_automatic);
    setTabOrder(m_automatic, m_keep);
    setTabOrder(m_keep, close);
    resize(560, 360);

    const data::BackupSettings settings = data::readBackupSettings(m_settingsPath);
    m_folder->setText(QDir::toNativeSeparators(settings.folder));
    m_automatic->setChecked(settings.automatic);
    m_keep->setValue(settings.keep);
    m_loading = false;

    connect(m_chooseFolder, &QPushButton::clicked, this, &fcopiaseguranca::cmdPasta_Click);
    connect(m_copy, &QPushButton::clicked, this, &fcopiaseguranca::cmdCopiar_Click);
    connect(close, &QPushButton::clicked, this, &fcopiaseguranca::cmdFechar_Click);
    connect(m_automatic, &QCheckBox::toggled, this, &fcopiaseguranca::saveSettings);
    connect(m_keep, &QSpinBox::valueChanged, this, &fcopiaseguranca::saveSettings);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &fcopiaseguranca::cmdFechar_Click);
}

void fcopiaseguranca::cmdPasta_Click()
{
    const QString chosen = m_ctx.dialogs().existingDirectory(
        u"Pasta das cópias de segurança"_s, QDir::fromNativeSeparators(m_folder->text()));
    if (chosen.isEmpty())
        return;
    m_folder->setText(QDir::toNativeSeparators(chosen));
    saveSettings();
}

void fcopiaseguranca::cmdCopiar_Click()
{
    const QString folder = QDir::fromNativeSeparators(m_folder->text());
    if (folder.isEmpty()) {
        m_ctx.dialogs().message(u"Escolha primeiro a pasta onde a cópia será gravada."_s,
                                windowTitle(), Dialogs::Icon::Information);
        return;
    }
    HandlerSteps steps(m_ctx.errors(), FormName);
    QString backup;
    const bool done = steps.run([&] {
        BusyCursor busy;
        backup = data::takeBackup(m_ctx.session().dataDirectory(), folder, m_ctx.clock().now());
    });
    const QDateTime now = m_ctx.clock().now();
    const QString when = now.toString(u"dd/MM/yyyy 'às' HH:mm:ss"_s);
    if (done) {
        m_result->setText(
            u"Cópia gravada em %1:\n%2"_s.arg(when, QDir::toNativeSeparators(backup)));
        steps.run([&] { m_ctx.log(u"CÓPIA DE SEGURANÇA GRAVADA"_s, backup); });
    } else {
        m_result->setText(u"A cópia de %1 não foi gravada (veja a mensagem de erro)."_s.arg(when));
        steps.run([&] { m_ctx.log(u"CÓPIA DE SEGURANÇA FALHOU"_s, folder); });
    }
}

void fcopiaseguranca::cmdFechar_Click()
{
    close();
}

void fcopiaseguranca::saveSettings()
{
    if (m_loading)
        return;
    const data::BackupSettings settings{
        m_automatic->isChecked(), QDir::fromNativeSeparators(m_folder->text()), m_keep->value()};
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        data::writeBackupSettings(m_settingsPath, settings);
        m_ctx.log(u"CÓPIA DE SEGURANÇA CONFIGURADA"_s,
                  u"automática=%1 manter=%2 pasta=%3"_s.arg(
                      settings.automatic ? u"sim"_s : u"não"_s,
                      programLocale().toString(settings.keep), settings.folder));
    });
}

} // namespace tessal
