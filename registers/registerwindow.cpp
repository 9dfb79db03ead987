#include "registers/registerwindow.h"

#include "controls/datagrid.h"
#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "core/passwordhash.h"
#include "data/nextcode.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

const QString kCredit = u"Crédito"_s;
const QString kDebit = u"Débito"_s;

QPushButton *addButton(QLayout *layout, QWidget *parent, const QString &name,
                       const QString &caption, const QString &toolTip = {})
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    button->setAutoDefault(false);
    button->setMinimumSize(110, 32);
    layout->addWidget(button);
    return button;
}

} // namespace

RegisterWindow::RegisterWindow(AppContext &ctx, RegisterDefinition definition, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_def(std::move(definition))
    , m_grid(new DataGrid(this))
{
    setObjectName(m_def.name);
    setWindowTitle(m_def.caption);

    m_grid->setObjectName(u"Grid1"_s);
    m_grid->setColumns(
        {{m_def.fields.first().control, u"Código"_s}, {m_def.gridNameField, u"Descrição"_s}});
    m_grid->setMinimumHeight(220);

    auto *form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight);
    for (const RegisterField &field : m_def.fields) {
        QWidget *widget = nullptr;
        if (field.kind == RegisterField::Kind::EntryType) {
            auto *list = new QComboBox(this);
            list->addItems({kCredit, kDebit});
            list->setCurrentIndex(-1);
            list->setMinimumWidth(160);
            list->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
            widget = list;
        } else {
            auto *edit = new QLineEdit(this);
            if (field.kind == RegisterField::Kind::Password)
                edit->setEchoMode(QLineEdit::Password);
            widget = edit;
        }
        widget->setObjectName(field.control);
        widget->setToolTip(field.toolTip);
        if (field.control == m_def.fields.first().control)
            widget->setMaximumWidth(120);
        if (m_def.enterMovesToNextField)
            widget->installEventFilter(this);
        form->addRow(field.label, widget);
        m_fieldWidgets.append(widget);
    }

    auto *buttons = new QHBoxLayout;
    auto *include = addButton(buttons, this, u"CONFIRMA"_s, u"&Incluir"_s,
                              u"CLICAR AQUI APOS DIGITAR TODOS OS DADOS  "_s);
    auto *alter = addButton(buttons, this, u"alterar"_s, u"&Alterar"_s);
    auto *remove = addButton(buttons, this, u"EXCLUIR"_s, u"&Excluir"_s,
                             u"APÓS ESCOLHER O REGISTRO A SER EXCLUIDO CLICK AQUI"_s);
    auto *clear = addButton(buttons, this, u"Command2"_s, u"&Limpa Campos"_s);
    buttons->addStretch(1);
    auto *leave = addButton(buttons, this, u"Command1"_s, u"&Sair"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_grid, 1);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    resize(620, 480);

    connect(m_grid, &DataGrid::rowChosen, this, &RegisterWindow::Grid1_RowColChange);
    connect(include, &QPushButton::clicked, this, &RegisterWindow::CONFIRMA_Click);
    connect(alter, &QPushButton::clicked, this, &RegisterWindow::alterar_Click);
    connect(remove, &QPushButton::clicked, this, &RegisterWindow::EXCLUIR_Click);
    connect(clear, &QPushButton::clicked, this, &RegisterWindow::Command2_Click);
    connect(leave, &QPushButton::clicked, this, &RegisterWindow::Command1_Click);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

QString RegisterWindow::text(const QString &control) const
{
    QWidget *widget = findChild<QWidget *>(control);
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    if (auto *list = qobject_cast<QComboBox *>(widget))
        return list->currentText();
    return {};
}

void RegisterWindow::setText(const QString &control, const QString &text)
{
    if (auto *edit = findChild<QLineEdit *>(control))
        edit->setText(text);
}

void RegisterWindow::Form_Load()
{
    // Opening is not reported step by step; a failure here still must not take the program
    // down, so it goes to the error box like the other handlers' failures.
    HandlerSteps steps(m_ctx.errors(), m_def.name);
    const QString path = m_ctx.session().cashDatabasePath();
    // The grid only lists the records: the fields stay empty until the operator chooses a row,
    // which is then looked up in Data1.
    steps.run([&] {
        m_data1.setDatabasePath(path);
        m_data1.setSql(m_def.dataSql);
        m_data1.refresh();
    });
    steps.run([&] {
        m_grid->setDatabasePath(path);
        m_grid->setSql(m_def.gridSql);
        m_grid->refresh();
    });
    if (!m_def.log.opened.isEmpty())
        steps.run([&] { m_ctx.log(m_def.log.opened, u"**"_s); });
}

void RegisterWindow::Grid1_RowColChange()
{
    if (m_grid->currentRow() < 0)
        return;
    HandlerSteps steps(m_ctx.errors(), m_def.name);
    bool found = false;
    steps.run([&] {
        m_data1.findFirst(m_def.criterionField, m_grid->columnText(1));
        found = !m_data1.noMatch();
    });
    if (found)
        fillFields();
}

QString RegisterWindow::nextCode()
{
    // The last code in code order plus one, refused past the table's code width.
    return data::nextCode(m_data1.database(), m_def.table);
}

// The code on show was read before the record reaches the table, and another workstation may
// have stored one of its own under it meanwhile. The table's unique code settles it: the record
// then goes under the next free code (data::insertUnderFreeCode says why a unique key and a retry
// rather than a lock), and the operator is told the code it got.
void RegisterWindow::includeRecord()
{
    const QString codeControl = m_def.fields.first().control;
    const QString shown = text(codeControl);
    QString stored;
    try {
        stored = data::insertUnderFreeCode(m_data1.database(), m_def.table, shown,
                                           [&](const QString &code) {
                                               setText(codeControl, code);
                                               storeRecord(true);
                                           });
    } catch (const data::DuplicateKeyError &e) {
        m_ctx.dialogs().message(e.description(), windowTitle(), Dialogs::Icon::Warning);
        return;
    }
    if (stored != shown)
        m_ctx.dialogs().message(
            u"O código %1 foi usado por outra estação enquanto este registro "
            "era gravado; o registro foi incluído com o código %2."_s.arg(shown, stored),
            windowTitle(), Dialogs::Icon::Information);
}

void RegisterWindow::storeRecord(bool adding)
{
    if (adding)
        m_data1.addNew();
    else
        m_data1.edit();
    // A field that cannot be written leaves no half-set record behind for the next update.
    try {
        writeFields(adding);
        m_data1.update();
    } catch (...) {
        m_data1.cancelUpdate();
        throw;
    }
}

void RegisterWindow::writeFields(bool adding)
{
    for (const RegisterField &field : m_def.fields) {
        const QString value = text(field.control);
        switch (field.kind) {
        case RegisterField::Kind::Text:
            m_data1.setField(field.writtenAs, value);
            break;
        case RegisterField::Kind::Password:
            // An empty box on an alteration means "keep the password"; a new user always gets
            // the hash of what was typed, empty or not.
            if (adding || !value.isEmpty())
                m_data1.setField(field.writtenAs, hashPassword(value));
            break;
        case RegisterField::Kind::EntryType:
            if (value == kDebit)
                m_data1.setField(field.writtenAs, u"D"_s);
            else if (value == kCredit)
                m_data1.setField(field.writtenAs, u"C"_s);
            break;
        }
    }
}

void RegisterWindow::logChange(HandlerSteps &steps, const QString &message)
{
    if (message.isEmpty())
        return;
    steps.run([&] { m_ctx.log(message, text(m_def.log.detailControl)); });
}

void RegisterWindow::rereadAll(HandlerSteps &steps)
{
    steps.run([&] { m_data1.refresh(); });
    steps.run([&] { m_grid->refresh(); });
}

void RegisterWindow::CONFIRMA_Click()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), m_def.name);
    if (m_def.refreshBeforeInclude)
        steps.run([&] { m_data1.refresh(); });
    const QString codeControl = m_def.fields.first().control;
    // Without a new code (none left within the width) the field still holds whatever was on
    // show or typed, and storing under it would put an empty or foreign code in the table.
    const bool coded = steps.run([&] { setText(codeControl, nextCode()); });
    if (coded) {
        emit codeShown(text(codeControl));
        logChange(steps, m_def.log.added);
        steps.run([&] { includeRecord(); });
    }
    rereadAll(steps);
    clearFields();
}

void RegisterWindow::alterar_Click()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), m_def.name);
    bool found = false;
    steps.run([&] {
        m_data1.findFirst(m_def.criterionField, text(m_def.fields.first().control));
        found = !m_data1.noMatch();
    });
    if (found) {
        logChange(steps, m_def.log.altered);
        steps.run([&] { storeRecord(false); });
    }
    rereadAll(steps);
    clearFields();
}

void RegisterWindow::EXCLUIR_Click()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), m_def.name);
    // The grid's row chooses the record, not the fields on show.
    bool found = false;
    steps.run([&] {
        m_data1.findFirst(m_def.criterionField, m_grid->columnText(1));
        found = !m_data1.noMatch() && !m_data1.eof();
    });
    // Without a record found there is nothing to confirm: asking would offer to delete
    // whichever record happened to be current.
    if (found) {
        QString name;
        steps.run([&] { name = m_data1.text(m_def.deleteNameField); });
        const bool yes = m_ctx.dialogs().askYesNo(
            u"Deseja Realmente excluir esse registro? :"_s + name, u"EXCLUSÃO"_s);
        if (yes) {
            logChange(steps, m_def.log.deleted);
            steps.run([&] { m_data1.deleteCurrent(); });
            rereadAll(steps);
        }
    }
    clearFields();
}

void RegisterWindow::Command2_Click()
{
    clearFields();
}

void RegisterWindow::Command1_Click()
{
    if (!m_def.log.closed.isEmpty()) {
        HandlerSteps steps(m_ctx.errors(), m_def.name);
        steps.run([&] { m_ctx.log(m_def.log.closed, u"**"_s); });
    }
    close();
}

void RegisterWindow::fillFields()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), m_def.name);
    for (const RegisterField &field : m_def.fields) {
        steps.run([&] {
            switch (field.kind) {
            case RegisterField::Kind::Text:
                setText(field.control, m_data1.text(field.control));
                break;
            case RegisterField::Kind::Password:
                setText(field.control, QString()); // the stored hash is never shown
                break;
            case RegisterField::Kind::EntryType: {
                const QString stored = m_data1.text(field.control);
                auto *list = findChild<QComboBox *>(field.control);
                if (stored == u"C"_s)
                    list->setCurrentText(kCredit);
                else if (stored == u"D"_s)
                    list->setCurrentText(kDebit);
                break;
            }
            }
        });
    }
}

void RegisterWindow::clearFields()
{
    m_ctx.session().setCurrentProcedure(windowTitle());
    HandlerSteps steps(m_ctx.errors(), m_def.name);
    // The entry-type list keeps its choice, so a run of descriptions of one type is quick.
    for (const RegisterField &field : m_def.fields)
        if (field.kind != RegisterField::Kind::EntryType)
            steps.run([&] { setText(field.control, QString()); });
    if (QWidget *name = findChild<QWidget *>(m_def.nameControl))
        name->setFocus();
}

bool RegisterWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            m_fieldWidgets.contains(qobject_cast<QWidget *>(watched))) {
            focusNextChild();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tessal
