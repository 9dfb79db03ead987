#include "ledger/ui/fverificasaldos.h"

#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "ledger/checkflow.h"
#include "ledger/consistency.h"
#include "ledger/ledger.h"

#include <QCheckBox>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

const QString FormName = u"fverificasaldos"_s;

} // namespace

fverificasaldos::fverificasaldos(AppContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_summary(new QLabel(this))
    , m_result(new QPlainTextEdit(this))
    , m_check(new QPushButton(u"&Verificar"_s, this))
    , m_indexContents(
          new QCheckBox(u"Conferir também o &conteúdo dos índices (bem mais demorado)"_s, this))
{
    setObjectName(FormName);
    setWindowTitle(u"Verificar Saldos"_s);

    const bool server = m_ctx.session().onServer();
    auto *intro = new QLabel(
        server ? u"Confere o saldo gravado em cada lançamento com a soma dos lançamentos da conta, "
                 "em ordem de data e código, calculada pelo próprio servidor PostgreSQL. Saldos "
                 "errados podem ser corrigidos em seguida. Os arquivos do banco de dados ficam no "
                 "servidor, que os guarda e confere: a verificação de integridade de arquivos "
                 "não se aplica aqui."_s
               : u"Confere o arquivo com a verificação de integridade do SQLite e o saldo gravado "
                 "em cada lançamento com a soma dos lançamentos da conta, em ordem de data e "
                 "código. Saldos errados podem ser corrigidos em seguida; um arquivo danificado "
                 "nunca é alterado."_s,
        this);
    intro->setObjectName(u"lblExplica"_s);
    intro->setWordWrap(true);
    m_summary->setObjectName(u"lblResumo"_s);
    m_summary->setWordWrap(true);
    m_summary->setStyleSheet(u"font-weight: bold;"_s);
    m_result->setObjectName(u"txtResultado"_s);
    m_result->setReadOnly(true);
    m_result->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_indexContents->setObjectName(u"chkIndices"_s);
    if (server) {
        m_indexContents->setEnabled(false);
        m_indexContents->setToolTip(
            u"No servidor PostgreSQL os índices são conferidos pelo administrador do banco de "
            "dados (por exemplo, com a extensão amcheck), não por esta estação."_s);
    }
    m_check->setObjectName(u"cmdVerificar"_s);
    m_check->setDefault(true);
    auto *leave = new QPushButton(u"&Sair"_s, this);
    leave->setObjectName(u"cmdSair"_s);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_check);
    buttons->addStretch(1);
    buttons->addWidget(leave);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_summary);
    layout->addWidget(m_result, 1);
    layout->addWidget(m_indexContents);
    layout->addLayout(buttons);
    resize(900, 520);
    setTabOrder(m_indexContents, m_check);
    setTabOrder(m_check, leave);
    setTabOrder(leave, m_result);

    connect(m_check, &QPushButton::clicked, this, &fverificasaldos::cmdVerificar_Click);
    connect(leave, &QPushButton::clicked, this, &fverificasaldos::cmdSair_Click);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    m_summary->setText(server ? u"Servidor PostgreSQL: %1"_s.arg(m_ctx.session().dataDirectory())
                              : u"Diretório de dados: %1"_s.arg(
                                    QDir::toNativeSeparators(m_ctx.session().dataDirectory())));
    m_check->setFocus();
}

void fverificasaldos::append(const QStringList &lines)
{
    m_result->appendPlainText(lines.join(u'\n'));
}

void fverificasaldos::cmdVerificar_Click()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), FormName);
    const QString path = m_ctx.session().cashDatabasePath();
    m_result->clear();
    std::optional<ledger::CheckReport> report;
    steps.run([&] {
        const std::unique_ptr<Progress> progress = m_ctx.dialogs().progress(
            windowTitle(), u"Verificando os saldos de todas as contas..."_s);
        report =
            ledger::checkBalances(path, progress.get(),
                                  m_indexContents->isChecked() ? ledger::FileCheck::IndexContents
                                                               : ledger::FileCheck::Structure);
    });
    if (!report)
        return;
    append(ledger::describe(*report));
    steps.run([&] { m_ctx.log(ledger::checkLogLine(*report)); });
    if (!report->integrityOk()) {
        m_summary->setText(u"O arquivo está danificado: nenhum saldo foi corrigido."_s);
        m_ctx.dialogs().message(
            u"A verificação de integridade do SQLite encontrou problemas no arquivo \"%1\". "
            "Nenhum saldo foi corrigido: restaure uma cópia de segurança ou procure o "
            "suporte."_s.arg(QDir::toNativeSeparators(path)),
            windowTitle(), Dialogs::Icon::Critical);
        return;
    }
    if (report->clean()) {
        m_summary->setText(u"Nenhum problema encontrado."_s);
        return;
    }
    m_summary->setText(u"%1 conta(s) com saldos errados."_s.arg(report->wrongAccounts.size()));
    ledger::Ledger book(path);
    book.setChangeNote(m_note);
    steps.run([&] {
        const auto after =
            ledger::offerRepair(m_ctx, book, *report,
                                u"A verificação encontrou %1 conta(s) com saldos errados."_s.arg(
                                    report->wrongAccounts.size()));
        if (!after) {
            m_summary->setText(u"%1 conta(s) com saldos errados; os saldos não foram "
                               "corrigidos."_s.arg(report->wrongAccounts.size()));
            return;
        }
        append({QString(), u"Saldos corrigidos em %1 conta(s). Nova verificação:"_s.arg(
                               report->wrongAccounts.size())});
        append(ledger::describe(*after));
        m_summary->setText(after->clean()
                               ? u"Saldos corrigidos; a nova verificação não encontrou problemas."_s
                               : u"A nova verificação ainda encontrou problemas."_s);
    });
}

void fverificasaldos::cmdSair_Click()
{
    close();
}

} // namespace tessal
