#include "ledger/ui/flancamentos.h"

#include "controls/datagrid.h"
#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "core/errorreport.h"
#include "data/database.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSqlQuery>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

const QString FormName = u"flancamentos"_s;
const QString Caption = u"Manutenção de Lançamentos"_s;
const QString DateMask = u"99/99/9999"_s; // the masked edit's "##/##/####"

const QString AccountsSql = u"select * from  contas order by ds_conta"_s;
const QString DescriptionsSql = u"select * from  HISTORICOS  order by DS_HISTORICO"_s;
const QString SettlementsSql = u"SELECT  * FROM baixas  order by ds_baixa"_s;
const QString EntriesSql =
    u"SELECT LANCAMENTOS.*, HISTORICOS.* FROM LANCAMENTOS INNER JOIN HISTORICOS ON "
    "LANCAMENTOS.CD_hISTORICO = HISTORICOS.CD_HISTORICO where cd_conta="_s;
const QString EntriesOrder = u"  order by dt_lancamento,cd_lancamento "_s;

// Debits and credits are told apart by colour in the grid; any other status keeps the view's.
const GridRowStyle DebitLook{QColor(0xb0, 0x00, 0x00), QColor(0xff, 0xf0, 0xf0)};
const GridRowStyle CreditLook{QColor(0x00, 0x50, 0x00), QColor(0xf0, 0xff, 0xf0)};

// Reads a list's source: (bound value, shown text) of every row, in the SQL's order.
QList<std::pair<QString, QString>> readList(const QString &path, const QString &sql,
                                            const QString &bound, const QString &shown)
{
    QSqlQuery query = data::runQuery(data::openDatabase(path), sql);
    const int boundField = query.record().indexOf(bound);
    const int shownField = query.record().indexOf(shown);
    QList<std::pair<QString, QString>> rows;
    while (query.next())
        rows.append({query.value(boundField).toString(), query.value(shownField).toString()});
    return rows;
}

QPushButton *addButton(QLayout *layout, QWidget *parent, const QString &name,
                       const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setMinimumSize(110, 32);
    layout->addWidget(button);
    return button;
}

QLabel *totalLabel(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumWidth(120);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

flancamentos::flancamentos(AppContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_locale(programLocale())
    , m_accounts(new QListWidget(this))
    , m_description(new QComboBox(this))
    , m_remark(new QLineEdit(this))
    , m_amount(new QLineEdit(this))
    , m_date(new QLineEdit(this))
    , m_code(new QLabel(this))
    , m_credits(totalLabel(this, u"creditos"_s))
    , m_debits(totalLabel(this, u"debitos"_s))
    , m_balance(totalLabel(this, u"saldo"_s))
    , m_grid(new DataGrid(this))
    , m_settlements(new DataGrid(this))
{
    setObjectName(FormName);
    setWindowTitle(Caption);

    // Accounts.
    m_accounts->setObjectName(u"cd_conta"_s);
    auto *accountsFrame = new QGroupBox(u"Contas "_s, this);
    auto *accountsLayout = new QVBoxLayout(accountsFrame);
    accountsLayout->addWidget(m_accounts);
    accountsFrame->setMinimumWidth(180);
    accountsFrame->setMaximumWidth(220);

    // The entry on show.
    m_description->setObjectName(u"DS_CONTA"_s);
    m_description->setEditable(false);
    m_description->setMinimumWidth(260);
    m_remark->setObjectName(u"DS_complemento"_s);
    m_amount->setObjectName(u"VL_LANCAMENTO"_s);
    m_amount->setMaximumWidth(140);
    m_amount->setAlignment(Qt::AlignRight);
    m_date->setObjectName(u"dt_lancamento"_s);
    m_date->setMaximumWidth(110);
    m_code->setObjectName(u"cd_lancamento"_s);
    m_code->setMinimumWidth(100);
    m_code->setFrameShape(QFrame::StyledPanel);
    m_code->setToolTip(u"Código do lançamento em exibição (vazio para um novo lançamento)"_s);

    auto *fields = new QGridLayout;
    fields->addWidget(new QLabel(u"Data.:"_s, this), 0, 0, Qt::AlignRight);
    fields->addWidget(m_date, 0, 1, Qt::AlignLeft);
    fields->addWidget(new QLabel(u"Lançamento.:"_s, this), 0, 2, Qt::AlignRight);
    fields->addWidget(m_code, 0, 3, Qt::AlignLeft);
    fields->addWidget(new QLabel(u"Histórico.:"_s, this), 1, 0, Qt::AlignRight);
    fields->addWidget(m_description, 1, 1, 1, 3);
    fields->addWidget(new QLabel(u"Valor.:"_s, this), 2, 0, Qt::AlignRight);
    fields->addWidget(m_amount, 2, 1, Qt::AlignLeft);
    fields->addWidget(new QLabel(u"Obs.:"_s, this), 3, 0, Qt::AlignRight);
    fields->addWidget(m_remark, 3, 1, 1, 3);
    fields->setColumnStretch(3, 1);

    // Totals.
    auto *position = new QGroupBox(u"Posição"_s, this);
    auto *totals = new QFormLayout(position);
    totals->setLabelAlignment(Qt::AlignRight);
    totals->addRow(u"Créditos"_s, m_credits);
    totals->addRow(u"Débitos"_s, m_debits);
    totals->addRow(u"Saldo"_s, m_balance);

    // Entries.
    m_grid->setObjectName(u"Grid1"_s);
    m_grid->setColumns({{u"DT_LANCAMENTO"_s, u"Data"_s},
                        {u"ds_historico"_s, u"Histórico"_s},
                        {u"VL_LANCAMENTO"_s, u"Valor"_s},
                        {u"VL_SALDO"_s, u"Saldo"_s},
                        {u"CD_STATUS"_s, u"Status"_s},
                        {u"cd_lancamento"_s, u"Lancamento"_s},
                        {u"cd_baixa"_s, u"Situação"_s}});
    m_grid->setPreviewField(u"ds_complemento"_s);
    m_grid->setKeyFields({u"dt_lancamento"_s, u"cd_lancamento"_s});
    m_grid->setRowAttributeHook(
        [](const QList<QVariant> &row) { return row.value(Status - 1).toString(); });
    m_grid->setRowStyle(u"D"_s, DebitLook);
    m_grid->setRowStyle(u"C"_s, CreditLook);
    QueryWindowModel *model = m_grid->model();
    model->setColumnFormat(Date - 1, [](const QVariant &stored) {
        return data::showDate(data::fromStoredDate(stored.toString()));
    });
    const auto money = [locale = m_locale](const QVariant &stored) {
        return stored.isNull() ? QString()
                               : formatGrouped2(centsFromDouble(stored.toDouble()), locale);
    };
    model->setColumnFormat(Amount - 1, money, Qt::AlignRight | Qt::AlignTop);
    model->setColumnFormat(Balance - 1, money, Qt::AlignRight | Qt::AlignTop);
    model->setColumnFormat(Status - 1, {}, Qt::AlignHCenter | Qt::AlignTop);
    m_settlements->setObjectName(u"Grid2"_s);
    m_settlements->hide();
    m_grid->setColumnDropDown(Settlement, m_settlements, u"ds_baixa"_s, u"cd_baixa"_s, true);
    m_grid->setMinimumHeight(260);
    auto *buttons = new QHBoxLayout;
    auto *include = addButton(buttons, this, u"CONFIRMA"_s, u"&Incluir"_s);
    auto *alter = addButton(buttons, this, u"alterar"_s, u"&Alterar"_s);
    auto *remove = addButton(buttons, this, u"EXCLUIR"_s, u"&Excluir"_s);
    auto *clear = addButton(buttons, this, u"Command2"_s, u"&Limpa Campos"_s);
    buttons->addStretch(1);
    auto *leave = addButton(buttons, this, u"Command1"_s, u"&Sair"_s);

    auto *top = new QHBoxLayout;
    top->addLayout(fields, 1);
    top->addWidget(position);
    auto *right = new QVBoxLayout;
    right->addLayout(top);
    right->addWidget(m_grid, 1);
    auto *body = new QHBoxLayout;
    body->addWidget(accountsFrame);
    body->addLayout(right, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addSpacing(4);
    layout->addLayout(buttons);
    layout->addWidget(m_settlements);
    resize(1120, 640);

    // Enter moves to the next field, in the fields and the lists alike.
    for (QWidget *field :
         std::initializer_list<QWidget *>{m_accounts, m_date, m_description, m_amount, m_remark})
        field->installEventFilter(this);
    setTabOrder(m_accounts, m_date);
    setTabOrder(m_date, m_description);
    setTabOrder(m_description, m_amount);
    setTabOrder(m_amount, m_remark);
    setTabOrder(m_remark, include);

    // Whatever makes an account current (a click, the arrows, Home/End, the page keys, typing its
    // first letters) picks it: the account an entry goes to is the one the list shows.
    connect(m_accounts, &QListWidget::currentItemChanged, this, &flancamentos::cd_conta_Click);
    // A click on the account already current picks it again (reading what changed since); a
    // click that moved to another account has picked it through the change above already.
    m_accounts->viewport()->installEventFilter(this);
    connect(m_accounts, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (item == m_accountAtPress)
            cd_conta_Click();
    });
    connect(m_grid, &DataGrid::rowChosen, this, &flancamentos::Grid1_RowColChange);
    connect(m_grid, &DataGrid::dropDownPicked, this, [this](int row, int, const QVariant &bound) {
        Grid1_SettlementPicked(row, bound.toString());
    });
    connect(include, &QPushButton::clicked, this, &flancamentos::CONFIRMA_Click);
    connect(alter, &QPushButton::clicked, this, &flancamentos::alterar_Click);
    connect(remove, &QPushButton::clicked, this, &flancamentos::EXCLUIR_Click);
    connect(clear, &QPushButton::clicked, this, &flancamentos::Command2_Click);
    connect(leave, &QPushButton::clicked, this, &flancamentos::Command1_Click);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    Form_Load();
    // The sections exist once the grid has read its columns.
    QHeaderView *header = m_grid->view()->horizontalHeader();
    header->resizeSection(Date - 1, 82);
    header->resizeSection(Description - 1, 210);
    header->resizeSection(Amount - 1, 95);
    header->resizeSection(Balance - 1, 105);
    header->resizeSection(Status - 1, 50);
    header->resizeSection(EntryCode - 1, 95);
    header->resizeSection(Settlement - 1, 110);
}

flancamentos::~flancamentos() = default;

void flancamentos::setChangeNote(std::function<void(const QString &account)> note)
{
    m_note = std::move(note);
    if (m_ledger)
        m_ledger->setChangeNote(m_note);
}

ledger::Ledger &flancamentos::book()
{
    if (!m_ledger)
        throw Error(ErrorNumber::InvalidInput, u"O banco de dados do caixa não foi aberto."_s,
                    FormName);
    return *m_ledger;
}

void flancamentos::Form_Load()
{
    // A failure here must not take the program down: it goes to the error box like the
    // handlers' failures, and the window opens empty.
    HandlerSteps steps(m_ctx.errors(), FormName);
    const QString path = m_ctx.session().cashDatabasePath();
    steps.run([&] {
        data::openDatabase(path); // refuses a missing or foreign file before anything is shown
        m_ledger = std::make_unique<ledger::Ledger>(path, m_locale);
        m_ledger->setChangeNote(m_note);
    });
    steps.run([&] {
        m_accountAtPress = nullptr;
        m_accounts->clear();
        for (const auto &[code, name] : readList(path, AccountsSql, u"cd_conta"_s, u"ds_conta"_s)) {
            auto *item = new QListWidgetItem(name, m_accounts);
            item->setData(Qt::UserRole, code);
        }
        // No account is picked on opening. Told so explicitly, the view does not make its first
        // item current when it takes the focus, which would pick that account unasked.
        m_accounts->setCurrentIndex(QModelIndex());
    });
    steps.run([&] {
        m_description->clear();
        for (const auto &[code, name] :
             readList(path, DescriptionsSql, u"CD_HISTORICO"_s, u"DS_HISTORICO"_s))
            m_description->addItem(name, code);
        m_description->setCurrentIndex(-1);
    });
    m_grid->setDatabasePath(path);
    // No account yet: the grid shows its columns and no entry.
    steps.run([&] {
        m_grid->setSql(EntriesSql + u"''"_s + EntriesOrder);
        m_grid->refresh();
    });
    m_settlements->setDatabasePath(path);
    m_settlements->setSql(SettlementsSql);
    m_amount->setText(u"0"_s);
    clearDate();
}

void flancamentos::cd_conta_Click()
{
    QListWidgetItem *item = m_accounts->currentItem();
    if (!item)
        return;
    HandlerSteps steps(m_ctx.errors(), FormName);
    m_account = item->data(Qt::UserRole).toString();
    steps.run([&] {
        m_grid->setSql(EntriesSql + u"?"_s + EntriesOrder, {m_account});
        m_grid->refresh();
    });
    steps.run([&] { m_settlements->refresh(); });
    steps.run([&] { showTotals(book().totals(m_account)); });
}

void flancamentos::Grid1_RowColChange()
{
    if (m_grid->currentRow() < 0)
        return;
    fillEntry();
}

void flancamentos::fillEntry()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), FormName);
    std::optional<ledger::Entry> entry;
    steps.run([&] { entry = book().entry(m_grid->columnText(EntryCode)); });
    if (!entry)
        return;
    m_code->setText(entry->code);
    m_description->setCurrentIndex(m_description->findData(entry->description));
    m_remark->setText(entry->remark);
    // The mask stays off until the next clearing, so any stored text shows as it is.
    m_date->setInputMask(QString());
    m_date->setText(data::showDate(entry->date));
    m_amount->setText(formatPlain(entry->amount, m_locale));
}

void flancamentos::clearDate()
{
    m_date->setInputMask(QString());
    m_date->clear();
    m_date->setInputMask(DateMask);
}

void flancamentos::clearEntry()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    m_code->clear();
    m_description->setCurrentIndex(-1);
    m_remark->clear();
    m_amount->setText(u"0"_s);
    clearDate();
    m_description->setFocus();
}

ledger::EntryInput flancamentos::typedEntry() const
{
    // A masked field left blank still holds its separators: that is no date.
    QString date = m_date->text();
    if (date.trimmed() == u"//"_s)
        date.clear();
    return {m_account, m_description->currentData().toString(), m_remark->text(), m_amount->text(),
            date};
}

void flancamentos::showTotals(const ledger::Totals &totals)
{
    m_credits->setText(formatFixed2(totals.credits, m_locale));
    m_debits->setText(formatFixed2(totals.debits, m_locale));
    m_balance->setText(formatFixed2(totals.balance(), m_locale));
}

void flancamentos::afterChange(HandlerSteps &steps, const ledger::Totals &totals)
{
    steps.run([&] { m_grid->refresh(); });
    clearEntry();
    showTotals(totals);
}

void flancamentos::CONFIRMA_Click()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), FormName);
    // A refused entry keeps its fields, so the operator corrects it instead of typing it again.
    steps.run([&] {
        const ledger::ChangeResult result = book().post(typedEntry());
        m_code->setText(result.code);
        afterChange(steps, result.totals);
    });
}

void flancamentos::alterar_Click()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] {
        // The grid's row names the entry; with the fields cleared there is no entry on show,
        // and the ledger refuses the empty code rather than write empty values onto that row.
        const QString code = m_code->text().isEmpty() ? QString() : m_grid->columnText(EntryCode);
        const ledger::ChangeResult result = book().alter(code, typedEntry());
        afterChange(steps, result.totals);
    });
}

void flancamentos::EXCLUIR_Click()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), FormName);
    std::optional<ledger::Entry> entry;
    steps.run([&] {
        const QString code = m_grid->columnText(EntryCode);
        if (!code.isEmpty())
            entry = book().entry(code);
    });
    // Without an entry there is nothing to confirm.
    if (!entry) {
        clearEntry();
        return;
    }
    const bool yes = m_ctx.dialogs().askYesNo(book().deleteQuestion(entry->amount), u"EXCLUSÃO"_s);
    steps.run([&] {
        const ledger::Totals totals =
            yes ? book().remove(entry->code, m_account).totals : book().rebuild(entry->account);
        afterChange(steps, totals);
    });
}

void flancamentos::Grid1_SettlementPicked(int row, const QString &settlement)
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), FormName);
    const int column = EntryCode - 1;
    const QString code = m_grid->model()->text(row, column);
    steps.run([&] { book().setSettlement(code, settlement); });
    // The row keeps its place, so the operator can go on down the column.
    steps.run([&] { m_grid->refresh(); });
    m_grid->setCurrentRow(row);
}

void flancamentos::Command2_Click()
{
    clearEntry();
}

void flancamentos::Command1_Click()
{
    close();
}

bool flancamentos::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_accounts->viewport() && event->type() == QEvent::MouseButtonPress)
        m_accountAtPress = m_accounts->currentItem();
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // The list's current account is picked already: Enter only moves on.
            focusNextChild();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tessal
