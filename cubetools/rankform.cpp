#include "cubetools/rankform.h"

#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "cube/cube.h"
#include "cube/ui/controlarray.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString FormName = u"RankForm"_s;

// The entries of both lists keep a number: the field's position in the cube's field collection
// in lstAxisFields, the data field's number (from 1) in cboDataFields.
constexpr int NumberRole = Qt::UserRole;

// The options of SortOption.
enum SortOrder { Default = 0, Descending = 1, Ascending = 2, SortOrderCount };

// The number the old system gave a routine that used an object it did not have.
constexpr int ObjectNotSet = 91;

QLabel *label(const QString &name, const QString &caption, QWidget *buddy, QWidget *parent)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setBuddy(buddy);
    return l;
}

} // namespace

RankForm::RankForm(AppContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Dialog)
    , m_ctx(ctx)
    , m_fields(new QListWidget(this))
    , m_option{new QRadioButton(u"&Padrão"_s, this), new QRadioButton(u"&Descencente"_s, this),
               new QRadioButton(u"&Ascendente"_s, this)}
    , m_options(new QButtonGroup(this))
    , m_dataFields(new QComboBox(this))
    , m_close(new QPushButton(u"Sair"_s, this))
{
    setObjectName(FormName);
    setWindowTitle(u"Ordenação do Cubo"_s);
    setAttribute(Qt::WA_DeleteOnClose);

    m_fields->setObjectName(u"lstAxisFields"_s);
    m_fields->setSelectionMode(QAbstractItemView::SingleSelection);
    m_fields->setMinimumSize(180, 160);
    m_fieldsLabel = label(u"DimensionFieldListLabel"_s, u"&Campos a Ordenar"_s, m_fields, this);
    m_orderLabel = label(u"SortOrderLabel"_s, u"Ordenação:"_s, m_option[Default], this);
    for (int i = 0; i < SortOrderCount; ++i) {
        setArrayMember(m_option[i], u"SortOption"_s, i);
        m_options->addButton(m_option[i], i);
    }
    m_dataFields->setObjectName(u"cboDataFields"_s);
    m_dataFields->setMinimumWidth(180);
    m_dataLabel = label(u"MeasureComboLabel"_s, u"&Indexar por:"_s, m_dataFields, this);
    m_close->setObjectName(u"CloseButton"_s);
    m_close->setAutoDefault(false);

    auto *order = new QVBoxLayout;
    order->setSpacing(6);
    order->addWidget(m_orderLabel);
    auto *options = new QVBoxLayout;
    options->setContentsMargins(12, 0, 0, 0);
    for (QRadioButton *option : m_option)
        options->addWidget(option);
    order->addLayout(options);
    order->addSpacing(10);
    order->addWidget(m_dataLabel);
    order->addWidget(m_dataFields);
    order->addStretch();
    auto *closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(m_close);
    order->addLayout(closeRow);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(14);
    grid->addWidget(m_fieldsLabel, 0, 0);
    grid->addWidget(m_fields, 1, 0);
    grid->addLayout(order, 0, 1, 2, 1);
    grid->setColumnStretch(0, 1);

    setTabOrder(m_fields, m_option[Default]);
    setTabOrder(m_option[Default], m_option[Descending]);
    setTabOrder(m_option[Descending], m_option[Ascending]);
    setTabOrder(m_option[Ascending], m_dataFields);
    setTabOrder(m_dataFields, m_close);

    // The old controls raised their click when the program chose for them as well as when the
    // operator did; these signals come in both cases too. The list's choice is its selection:
    // focus alone makes an entry current without choosing it (the old list showed only a focus
    // frame then).
    connect(m_fields, &QListWidget::itemSelectionChanged, this, [this] { lstAxisFields_Click(); });
    connect(m_dataFields, &QComboBox::currentIndexChanged, this, [this] { cboDataFields_Click(); });
    connect(m_options, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            SortOption_Click(id);
    });
    connect(m_close, &QPushButton::clicked, this, &RankForm::CloseButton_Click);

    // nothing is chosen yet: nothing to order
    setSortControlsEnabled(false);
}

RankForm::~RankForm() = default;

RankForm *RankForm::openFor(AppContext &ctx, Cube *cube, QWidget *owner, CubeField *selected)
{
    // One window per analysis window: the one it owns, unless it is on its way out.
    auto isOurs = [owner](QWidget *w) {
        auto *form = qobject_cast<RankForm *>(w);
        return form && form->objectName() == FormName && !form->m_unloaded &&
               form->parentWidget() == owner;
    };
    auto find = [owner, &isOurs]() -> RankForm * {
        if (owner) {
            for (QObject *child : owner->children())
                if (auto *w = qobject_cast<QWidget *>(child); w && isOurs(w))
                    return static_cast<RankForm *>(w);
        }
        for (QWidget *w : QApplication::topLevelWidgets())
            if (isOurs(w))
                return static_cast<RankForm *>(w);
        return nullptr;
    };
    RankForm *form = find();
    if (!form) {
        form = new RankForm(ctx, owner);
        form->setCube(cube);
    }
    form->setSelectedField(selected);
    if (!form->isVisible())
        form->show();
    return form;
}

void RankForm::setCube(Cube *cube)
{
    m_cube = cube;
    // filling the list is not a choice of the operator's
    const QSignalBlocker quiet(m_fields);
    m_fields->clear();
    if (!cube)
        return;
    const FieldCollection fields = cube->fields();
    for (int i = 0; i < fields.count(); ++i) {
        const CubeField *f = fields.item(i);
        if (f->orientation() == Orientation::None || f->orientation() == Orientation::Data)
            continue;
        auto *item = new QListWidgetItem(f->caption(), m_fields);
        item->setData(NumberRole, i);
    }
}

Cube *RankForm::cube() const
{
    return m_cube;
}

CubeField *RankForm::selectedField() const
{
    if (!m_cube || m_selectedPosition < 0)
        return nullptr;
    return m_cube->fields().item(m_selectedPosition);
}

CubeField *RankForm::requireField() const
{
    CubeField *field = selectedField();
    if (!field)
        throw Error(ObjectNotSet, u"Nenhum campo do cubo está escolhido."_s, FormName);
    return field;
}

void RankForm::refreshCube()
{
    if (!m_cube)
        throw Error(ObjectNotSet, u"A janela não tem cubo."_s, FormName);
    m_cube->refresh();
}

void RankForm::setSelectedField(CubeField *field)
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    m_selectedPosition = -1;
    if (!m_cube) {
        m_ctx.dialogs().message(
            u"Must set the Form.Cube property before calling setting this property."_s,
            u"Invalid Property Call - SelectedField"_s, Dialogs::Icon::Critical);
        return;
    }
    if (!field) {
        BeginUpdate();
        steps.run([this] {
            m_fields->clearSelection();
            m_fields->setCurrentRow(-1);
        });
        steps.run([this] { uncheckOptions(); });
        steps.run([this] { m_dataFields->setCurrentIndex(-1); });
        steps.run([this] { DisableSortControls(); });
        EndUpdate();
        return;
    }
    steps.run([this] { EnableSortControls(); });
    steps.run([this, field] {
        const FieldCollection fields = m_cube->fields();
        for (int i = 0; i < fields.count(); ++i) {
            if (fields.item(i)->caption().compare(field->caption(), Qt::CaseInsensitive) == 0) {
                m_selectedPosition = i;
                return;
            }
        }
    });
    if (m_selectedPosition < 0)
        return;
    steps.run([this] {
        for (int row = 0; row < m_fields->count(); ++row) {
            if (m_fields->item(row)->data(NumberRole).toInt() != m_selectedPosition)
                continue;
            // choosing the entry that is already chosen raises no signal, but the old list
            // raised its click all the same: the field's setting is shown afresh
            if (m_fields->item(row)->isSelected())
                lstAxisFields_Click();
            else
                m_fields->setCurrentRow(row);
            return;
        }
    });
}

void RankForm::EnableSortControls()
{
    setSortControlsEnabled(true);
    m_dataFields->setEnabled(!m_option[Default]->isChecked());
}

void RankForm::DisableSortControls()
{
    setSortControlsEnabled(false);
}

void RankForm::setSortControlsEnabled(bool enabled)
{
    for (QRadioButton *option : m_option)
        option->setEnabled(enabled);
    m_orderLabel->setEnabled(enabled);
    m_dataLabel->setEnabled(enabled);
    m_dataFields->setEnabled(enabled);
}

void RankForm::uncheckOptions()
{
    // an exclusive group keeps one button checked: it lets go only while not exclusive
    m_options->setExclusive(false);
    for (QRadioButton *option : m_option)
        option->setChecked(false);
    m_options->setExclusive(true);
}

int RankForm::FindDataFieldEntry(int number) const
{
    for (int i = 1; i < m_dataFields->count(); ++i)
        if (m_dataFields->itemData(i, NumberRole).toInt() == number)
            return i;
    return -1;
}

void RankForm::lstAxisFields_Click()
{
    if (IsUpdating())
        return;
    const QList<QListWidgetItem *> chosen = m_fields->selectedItems();
    // the list was emptied or lost its choice: there is nothing to show
    if (chosen.isEmpty())
        return;
    const QListWidgetItem *item = chosen.first();
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([this] { EnableSortControls(); });
    CubeField *field = nullptr;
    steps.run([&] {
        m_selectedPosition = item->data(NumberRole).toInt();
        field = requireField();
    });
    steps.run([this] { uncheckOptions(); });
    BeginUpdate();
    steps.run([&] {
        m_dataFields->clear();
        if (!field)
            field = requireField();
        m_dataFields->addItem(field->caption());
    });
    steps.run([this] {
        const FieldCollection measures = m_cube->dataFields();
        for (int i = 0; i < measures.count(); ++i)
            if (measures.item(i)->isVisible())
                m_dataFields->addItem(measures.item(i)->caption(), i + 1);
    });
    steps.run([&] {
        if (!field)
            field = requireField();
        // choosing the option runs its handler while the window updates: it only sets the combo
        switch (field->rankingMode()) {
        case RankingMode::None:
            m_option[field->ascending() == 1 ? Ascending : Default]->setChecked(true);
            break;
        case RankingMode::Descending:
            m_option[Descending]->setChecked(true);
            break;
        case RankingMode::Ascending:
            m_option[Ascending]->setChecked(true);
            break;
        }
    });
    EndUpdate();
}

void RankForm::SortOption_Click(int index)
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    const bool updating = IsUpdating();
    // Each change is followed by a refresh, so that the cube's view re-sorts at once.
    auto change = [this](auto &&apply) {
        apply(*requireField());
        refreshCube();
    };
    // The own items' order: ascending or not; the table is refreshed when it changes.
    auto setOwnOrder = [this, &change](int ascending) {
        if (requireField()->ascending() == ascending)
            return;
        change([ascending](CubeField &f) { f.setAscending(ascending); });
        refreshCube();
    };

    if (index == Default) {
        if (!updating) {
            steps.run([&] { change([](CubeField &f) { f.setRankingDataField(0); }); });
            steps.run([&] { change([](CubeField &f) { f.setRankingMode(RankingMode::None); }); });
            steps.run([&] { setOwnOrder(0); });
        }
        steps.run([this] { m_dataFields->setCurrentIndex(0); });
        steps.run([this] { m_dataFields->setEnabled(false); });
        return;
    }

    bool byDataField = false;
    steps.run([&] { byDataField = requireField()->rankingMode() != RankingMode::None; });
    if (!byDataField) {
        // Without a data field the order is the field's own: ascending or its default (there is
        // no descending order of its own items).
        if (!updating) {
            steps.run([&] { change([](CubeField &f) { f.setRankingDataField(0); }); });
            steps.run([&] { setOwnOrder(index == Ascending ? 1 : 0); });
        }
        steps.run([this] { m_dataFields->setCurrentIndex(0); });
    } else {
        if (!updating) {
            const RankingMode mode =
                index == Descending ? RankingMode::Descending : RankingMode::Ascending;
            steps.run([&] { change([mode](CubeField &f) { f.setRankingMode(mode); }); });
        }
        steps.run([this] {
            m_dataFields->setCurrentIndex(FindDataFieldEntry(requireField()->rankingDataField()));
        });
    }
    steps.run([this] { m_dataFields->setEnabled(true); });
}

void RankForm::cboDataFields_Click()
{
    if (IsUpdating())
        return;
    const int entry = m_dataFields->currentIndex();
    // Qt raises this when the combo is emptied or left without an entry, which chooses nothing
    if (entry < 0)
        return;
    HandlerSteps steps(m_ctx.errors(), FormName);
    auto change = [this](auto &&apply) {
        apply(*requireField());
        refreshCube();
    };
    if (entry == 0) {
        // the field's own items: ascending, or the default order for "Padrão" and "Descencente"
        const int ascending =
            m_option[Default]->isChecked() || m_option[Descending]->isChecked() ? 0 : 1;
        steps.run([&] { change([ascending](CubeField &f) { f.setAscending(ascending); }); });
        steps.run([&] { change([](CubeField &f) { f.setRankingMode(RankingMode::None); }); });
        steps.run([&] { change([](CubeField &f) { f.setRankingDataField(0); }); });
        return;
    }
    const RankingMode mode =
        m_option[Descending]->isChecked() ? RankingMode::Descending : RankingMode::Ascending;
    const int number = m_dataFields->itemData(entry, NumberRole).toInt();
    steps.run([&] { change([mode](CubeField &f) { f.setRankingMode(mode); }); });
    steps.run([&] { change([number](CubeField &f) { f.setRankingDataField(number); }); });
}

void RankForm::CloseButton_Click()
{
    close();
}

void RankForm::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    // closed for good: openFor must not hand this window out while it waits to be deleted
    if (event->isAccepted())
        m_unloaded = true;
}

} // namespace tessal::cube
