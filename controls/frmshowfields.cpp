#include "controls/frmshowfields.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

// The role that keeps an entry's column index in the grid's layout.
constexpr int ColumnRole = Qt::UserRole;

// -1 when nothing is selected.
int selectedRow(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

QListWidget *fieldList(const QString &name, QWidget *parent)
{
    auto *list = new QListWidget(parent);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setMinimumSize(180, 240);
    return list;
}

QPushButton *button(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // Enter means OK wherever the focus is; a focused button is pressed with the space bar.
    b->setAutoDefault(false);
    b->setMinimumWidth(110);
    return b;
}

} // namespace

frmShowfields::frmShowfields(QWidget *parent)
    : QDialog(parent)
    , m_avail(fieldList(u"lstAvail"_s, this))
    , m_add(button(u"cmdAdd"_s, u"Adicionar ->"_s, this))
    , m_remove(button(u"cmdRemove"_s, u"<- Remover"_s, this))
    , m_visible(fieldList(u"lstVisible"_s, this))
    , m_up(button(u"cmdUp"_s, u"Para Cima"_s, this))
    , m_down(button(u"cmdDown"_s, u"Para Baixo"_s, this))
{
    setObjectName(u"frmShowfields"_s);
    setWindowTitle(u"Seleção de Campos"_s);
    QPushButton *ok = button(u"cmdOK"_s, u"OK"_s, this);
    ok->setDefault(true);
    QPushButton *cancel = button(u"cmdCancel"_s, u"Cancela"_s, this);

    auto *availLabel = new QLabel(u"Campos Disponíveis"_s, this);
    availLabel->setObjectName(u"lblAvail"_s);
    availLabel->setBuddy(m_avail);
    auto *visibleLabel = new QLabel(u"Campos  Visiveis"_s, this);
    visibleLabel->setObjectName(u"lblVisible"_s);
    visibleLabel->setBuddy(m_visible);

    auto *moves = new QVBoxLayout;
    moves->addStretch(1);
    moves->addWidget(m_add);
    moves->addWidget(m_remove);
    moves->addStretch(1);
    auto *order = new QVBoxLayout;
    order->addStretch(1);
    order->addWidget(m_up);
    order->addWidget(m_down);
    order->addStretch(1);
    order->addWidget(ok);
    order->addWidget(cancel);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(12);
    grid->addWidget(availLabel, 0, 0);
    grid->addWidget(visibleLabel, 0, 2);
    grid->addWidget(m_avail, 1, 0);
    grid->addLayout(moves, 1, 1);
    grid->addWidget(m_visible, 1, 2);
    grid->addLayout(order, 1, 3);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);

    setTabOrder(m_avail, m_add);
    setTabOrder(m_add, m_remove);
    setTabOrder(m_remove, m_visible);
    setTabOrder(m_visible, m_up);
    setTabOrder(m_up, m_down);
    setTabOrder(m_down, ok);
    setTabOrder(ok, cancel);

    connect(m_add, &QPushButton::clicked, this, &frmShowfields::cmdAdd_Click);
    connect(m_remove, &QPushButton::clicked, this, &frmShowfields::cmdRemove_Click);
    connect(m_up, &QPushButton::clicked, this, &frmShowfields::cmdUp_Click);
    connect(m_down, &QPushButton::clicked, this, &frmShowfields::cmdDown_Click);
    connect(ok, &QPushButton::clicked, this, &frmShowfields::cmdOK_Click);
    // Cancela, Esc and the title bar all leave without applying anything.
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_avail, &QListWidget::itemDoubleClicked, this, &frmShowfields::cmdAdd_Click);
    connect(m_visible, &QListWidget::itemDoubleClicked, this, &frmShowfields::cmdRemove_Click);
    connect(m_avail, &QListWidget::itemSelectionChanged, this, &frmShowfields::updateButtons);
    connect(m_visible, &QListWidget::itemSelectionChanged, this, &frmShowfields::updateButtons);
    updateButtons();
}

bool frmShowfields::ShowFields(LayoutGrid &grid)
{
    load(grid);
    exec();
    return finish();
}

void frmShowfields::load(LayoutGrid &grid)
{
    m_grid = &grid;
    m_loaded = grid.layout();
    m_accepted = false;
    m_avail->clear();
    m_visible->clear();
    for (int i = 0; i < m_loaded.columns.size(); ++i) {
        const GridLayout::Column &column = m_loaded.columns.at(i);
        auto *item = new QListWidgetItem(column.caption);
        item->setData(ColumnRole, i);
        (column.visible ? m_visible : m_avail)->addItem(item);
    }
    for (QListWidget *list : {m_avail, m_visible})
        if (list->count() > 0)
            list->setCurrentRow(0);
    updateButtons();
}

bool frmShowfields::finish()
{
    if (m_accepted && m_grid)
        m_grid->applyLayout(chosenLayout());
    m_grid = nullptr;
    m_avail->clear();
    m_visible->clear();
    updateButtons();
    return m_accepted;
}

// The shown columns in the order of their list, then the hidden ones in the order the grid had
// them; everything but order and visibility as the grid had it.
GridLayout frmShowfields::chosenLayout() const
{
    GridLayout layout = m_loaded;
    layout.columns.clear();
    QList<bool> shown(m_loaded.columns.size(), false);
    for (int row = 0; row < m_visible->count(); ++row) {
        const int index = m_visible->item(row)->data(ColumnRole).toInt();
        shown[index] = true;
        layout.columns.append(m_loaded.columns.at(index));
        layout.columns.last().visible = true;
    }
    for (int index = 0; index < m_loaded.columns.size(); ++index) {
        if (shown.at(index))
            continue;
        layout.columns.append(m_loaded.columns.at(index));
        layout.columns.last().visible = false;
    }
    return layout;
}

void frmShowfields::cmdAdd_Click()
{
    move(m_avail, m_visible);
}

void frmShowfields::cmdRemove_Click()
{
    move(m_visible, m_avail);
}

void frmShowfields::cmdUp_Click()
{
    exchange(-1);
}

void frmShowfields::cmdDown_Click()
{
    exchange(+1);
}

void frmShowfields::cmdOK_Click()
{
    m_accepted = true;
    accept();
}

// The moved entry goes to the end of the other list and is selected there; in its own list the
// entry that took its place is selected, or the new last one when it was the last.
void frmShowfields::move(QListWidget *from, QListWidget *to)
{
    const int row = selectedRow(from);
    if (row < 0)
        return;
    QListWidgetItem *item = from->takeItem(row);
    to->addItem(item);
    to->setCurrentItem(item);
    if (from->count() > 0)
        from->setCurrentRow(std::min(row, from->count() - 1));
    updateButtons();
}

void frmShowfields::exchange(int offset)
{
    const int row = selectedRow(m_visible);
    const int target = row + offset;
    if (row < 0 || target < 0 || target >= m_visible->count())
        return;
    QListWidgetItem *item = m_visible->takeItem(row);
    m_visible->insertItem(target, item);
    m_visible->setCurrentItem(item);
    updateButtons();
}

void frmShowfields::updateButtons()
{
    const int visibleRow = selectedRow(m_visible);
    m_add->setEnabled(selectedRow(m_avail) >= 0);
    m_remove->setEnabled(visibleRow >= 0);
    m_up->setEnabled(visibleRow > 0);
    m_down->setEnabled(visibleRow >= 0 && visibleRow < m_visible->count() - 1);
}

} // namespace tessal
