#include "reports/ui/frelatoriosfinanceiros.h"

#include "core/appcontext.h"
#include "core/config.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "core/errorreport.h"
#include "data/database.h"
#include "reports/reportjob.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

const QString FormName = u"frelatoriosfinanceiros"_s;
const QString AccountsSql = u"select * from  contas order by cd_conta"_s;
const QString ForumAddress = u"https://forum.tessal.com.br/relatorios"_s;

QDateEdit *dateField(QWidget *parent, const QString &name, const QDate &today)
{
    auto *field = new QDateEdit(today, parent);
    field->setObjectName(name);
    field->setCalendarPopup(true);
    field->setDisplayFormat(u"dd/MM/yyyy"_s);
    field->setMinimumWidth(120);
    return field;
}

} // namespace

frelatoriosfinanceiros::frelatoriosfinanceiros(AppContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_account(new QComboBox(this))
    , m_from(dateField(this, u"dt_inicio"_s, ctx.clock().now().date()))
    , m_to(dateField(this, u"dt_fim"_s, ctx.clock().now().date()))
    , m_layouts(new QListWidget(this))
{
    setObjectName(FormName);
    setWindowTitle(u"Relatórios Financeiros"_s);

    m_account->setObjectName(u"ds_conta"_s);
    m_account->setMinimumWidth(280);
    auto *accountFrame = new QGroupBox(u"Conta"_s, this);
    (new QVBoxLayout(accountFrame))->addWidget(m_account);

    auto *periodFrame = new QGroupBox(u"Período"_s, this);
    auto *period = new QHBoxLayout(periodFrame);
    period->addWidget(new QLabel(u"De:"_s, this));
    period->addWidget(m_from);
    period->addSpacing(12);
    period->addWidget(new QLabel(u"A"_s, this));
    period->addWidget(m_to);
    period->addStretch(1);

    m_layouts->setObjectName(u"diretorio"_s);
    m_layouts->setMinimumHeight(140);
    auto *layoutsFrame = new QGroupBox(u"Relatório"_s, this);
    (new QVBoxLayout(layoutsFrame))->addWidget(m_layouts);

    auto *invitation = new QLabel(
        u"Precisa de outro relatório? Copie um dos modelos .rpt do diretório de dados e "
        "altere-o, ou sugira novos modelos no fórum: <a href=\"%1\">%1</a>"_s.arg(ForumAddress),
        this);
    invitation->setObjectName(u"Label1"_s);
    invitation->setWordWrap(true);
    invitation->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(invitation, &QLabel::linkActivated, this,
            [this](const QString &link) { m_ctx.dialogs().openWithShell(link); });

    auto *run = new QPushButton(u"&Executar"_s, this);
    run->setObjectName(u"Command3"_s);
    run->setDefault(true);
    auto *leave = new QPushButton(u"&Sair"_s, this);
    leave->setObjectName(u"Command1"_s);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(run);
    buttons->addWidget(leave);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(accountFrame);
    layout->addWidget(periodFrame);
    layout->addWidget(layoutsFrame, 1);
    layout->addWidget(invitation);
    layout->addLayout(buttons);
    resize(520, 460);

    connect(run, &QPushButton::clicked, this, &frelatoriosfinanceiros::Command3_Click);
    connect(leave, &QPushButton::clicked, this, &frelatoriosfinanceiros::Command1_Click);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    Form_Load();
}

void frelatoriosfinanceiros::Form_Load()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        m_account->clear();
        QSqlQuery query =
            data::runQuery(data::openDatabase(m_ctx.session().cashDatabasePath()), AccountsSql);
        const int code = query.record().indexOf(u"cd_conta"_s);
        const int name = query.record().indexOf(u"ds_conta"_s);
        while (query.next())
            m_account->addItem(query.value(name).toString(), query.value(code).toString());
        m_account->setCurrentIndex(-1);
    });
    steps.run([&] {
        m_layouts->clear();
        m_layouts->addItems(QDir(m_ctx.session().filesDirectory())
                                .entryList({u"*.rpt"_s}, QDir::Files, QDir::Name));
    });
}

QString frelatoriosfinanceiros::selectionFormula() const
{
    // With no account chosen the code is empty, and the engine refuses the formula.
    const QString account = m_account->currentData().toString();
    const QString format = u"yyyy/MM/dd"_s;
    // The code goes into the formula as a text between apostrophes; one inside it is doubled,
    // so that it cannot end the text and the formula selects that account and nothing else.
    return u"{lancamentos.dt_lancamento} >=  "_s + u"#"_s + m_from->date().toString(format) +
           u"# AND {lancamentos.dt_lancamento} <= #"_s + m_to->date().toString(format) + u"#"_s +
           u"  and {lancamentos.cd_conta}="_s + u"'"_s + QString(account).replace(u"'"_s, u"''"_s) +
           u"'"_s;
}

void frelatoriosfinanceiros::Command3_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    reports::ReportJob report(m_ctx.clock());
    // The layout the operator picked (the current row alone is not a pick: the list makes its first
    // row current when it takes the focus).
    const QList<QListWidgetItem *> picked = m_layouts->selectedItems();
    const QListWidgetItem *chosen = picked.isEmpty() ? nullptr : picked.first();
    steps.run([&] { report.setDataFile(0, m_ctx.session().cashDatabasePath()); });
    steps.run([&] {
        report.setReportFile(
            joinPath(m_ctx.session().filesDirectory(), chosen ? chosen->text() : QString()));
    });
    steps.run([&] { report.setWindowOptions(true, 2); });
    steps.run([&] { report.setSelectionFormula(selectionFormula()); });
    steps.run([&] { report.run(m_ctx.dialogs()); });
}

void frelatoriosfinanceiros::Command1_Click()
{
    close();
}

} // namespace tessal
