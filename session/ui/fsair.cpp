#include "session/ui/fsair.h"

#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/ui/backdroppainter.h"
#include "data/backup.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

// The copy the backup settings ask for at log-off, if any, with its activity-log lines.
void automaticBackupAtLogOff(const AppContext &ctx)
{
    if (ctx.session().onServer())
        return; // the server's data is copied on the server
    const data::BackupSettings settings =
        data::readBackupSettings(data::backupSettingsPath(ctx.programDir()));
    try {
        const auto done =
            data::automaticBackup(ctx.session().dataDirectory(), settings, ctx.clock().now());
        if (!done)
            return;
        ctx.log(u"CÓPIA DE SEGURANÇA AUTOMÁTICA GRAVADA"_s, done->backup);
        for (const QString &removed : done->removed)
            ctx.log(u"CÓPIA AUTOMÁTICA ANTIGA REMOVIDA"_s, removed);
    } catch (const Error &) {
        ctx.log(u"CÓPIA DE SEGURANÇA AUTOMÁTICA FALHOU"_s, settings.folder);
        throw;
    }
}

} // namespace

fsair::fsair(AppContext &ctx, std::function<void()> endProgram, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                          Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
    , m_endProgram(std::move(endProgram))
{
    setObjectName(u"fsair"_s);
    setWindowTitle(u"Sair do Sistema"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    BackdropPainter::install(this);

    auto *question = new QLabel(u"Deseja realmente sair do sistema?"_s, this);
    question->setObjectName(u"Label1"_s);
    question->setStyleSheet(u"color: white; font-size: 16pt; font-weight: bold;"_s);
    question->setAlignment(Qt::AlignCenter);

    auto *ok = new QPushButton(u"Ok"_s, this);
    ok->setObjectName(u"cmdOK"_s);
    ok->setDefault(true);
    auto *back = new QPushButton(u"Retornar"_s, this);
    back->setObjectName(u"cmdRetornar"_s);
    auto *sysInfo = new QPushButton(u"&Informações do Sistema..."_s, this);
    sysInfo->setObjectName(u"cmdSysInfo"_s);
    for (QPushButton *button : {ok, back, sysInfo})
        button->setMinimumSize(120, 34);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(back);
    buttons->addWidget(sysInfo);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(question, 1);
    layout->addLayout(buttons);
    resize(520, 220);

    connect(ok, &QPushButton::clicked, this, &fsair::cmdOK_Click);
    connect(back, &QPushButton::clicked, this, &fsair::cmdRetornar_Click);
    connect(sysInfo, &QPushButton::clicked, this, &fsair::cmdSysInfo_Click);
}

void fsair::cmdOK_Click()
{
    // A log that cannot be written is reported, but the operator still leaves.
    HandlerSteps steps(m_ctx.errors(), objectName());
    // A failed automatic copy is reported and logged, and the operator still leaves: a question
    // here would keep an unattended program, and its connections, open.
    steps.run([&] { automaticBackupAtLogOff(m_ctx); });
    steps.run([&] { m_ctx.log(u"************EFETUOU LOG OFF NO SISTEMA************"_s, u"**"_s); });
    if (m_endProgram)
        m_endProgram();
}

void fsair::cmdRetornar_Click()
{
    close();
}

void fsair::cmdSysInfo_Click()
{
    // The system-information tool is a Windows program found through its registry entries; no
    // such tool exists here.
    m_ctx.dialogs().message(u"System Information Is Unavailable At This Time"_s);
}

} // namespace tessal
