#include "cube/ui/cubeview.h"

#include "cube/ui/rgbcolor.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <functional>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

constexpr int AreaMargin = 4;  // around the buttons of an area
constexpr int ButtonGap = 4;   // between two buttons of an area
constexpr int ArrowWidth = 14; // the drop-down part of a button
constexpr int BorderGrip = 3;  // how near a heading border the mouse sizes it
constexpr int MinimumWidth = 12;
constexpr int CellPadding = 4;

const QColor HeadingBack(236, 236, 230);
const QColor TotalHeadingBack(222, 222, 214);
const QColor TotalCellBack(238, 238, 238);
const QColor GridLine(200, 200, 196);
const QColor AreaBack(246, 246, 242);

QString areaName(Orientation o)
{
    switch (o) {
    case Orientation::Page:
        return u"página"_s;
    case Orientation::Row:
        return u"linha"_s;
    case Orientation::Column:
        return u"coluna"_s;
    case Orientation::Data:
        return u"dados"_s;
    case Orientation::None:
        break;
    }
    return {};
}

bool sameHeading(const Heading &a, const Heading &b)
{
    return a.kind == b.kind && a.field == b.field && a.item == b.item && a.text == b.text;
}

// Lines (or columns) a and b are in one heading group at `level` (0-based) when every level down
// to it shows the same heading: an item's group, or the columns of one total (one per data field
// shown). Data captions stand alone.
bool sameGroup(const std::vector<std::vector<Heading>> &h, size_t a, size_t b, int level)
{
    const Heading::Kind kind = h[a][size_t(level)].kind;
    if (kind != Heading::Kind::Item && kind != Heading::Kind::Total)
        return false;
    for (int l = 0; l <= level; ++l)
        if (!sameHeading(h[a][size_t(l)], h[b][size_t(l)]))
            return false;
    return true;
}

} // namespace

// ---------------------------------------------------------------- FieldButton

// A field's button in one of the areas: dragged to re-pivot, its arrow opens the item filter,
// its context menu moves it by keyboard.
class FieldButton : public QAbstractButton
{
public:
    FieldButton(CubeView *view, int field, QWidget *parent)
        : QAbstractButton(parent)
        , m_view(view)
        , m_field(field)
    {
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_Hover);
    }

    int fieldIndex() const { return m_field; }
    CubeField *field() const
    {
        return m_view->m_cube ? m_view->m_cube->fields().item(m_field) : nullptr;
    }
    bool hasArrow() const
    {
        const CubeField *f = field();
        return f && f->orientation() != Orientation::Data;
    }
    QRect arrowRect() const
    {
        return hasArrow() ? QRect(width() - ArrowWidth - 2, 0, ArrowWidth, height()) : QRect();
    }
    QSize sizeHint() const override
    {
        const int text = fontMetrics().horizontalAdvance(this->text());
        return {text + 2 * CellPadding + 6 + (hasArrow() ? ArrowWidth : 0), m_view->m_buttonHeight};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter p(this);
        QStyleOptionButton option;
        option.initFrom(this);
        option.state |= m_pressed ? QStyle::State_Sunken : QStyle::State_Raised;
        p.drawControl(QStyle::CE_PushButtonBevel, option);
        QRect textRect = rect().adjusted(CellPadding + 1, 0, -CellPadding, 0);
        if (hasArrow()) {
            textRect.setRight(arrowRect().left() - 2);
            QStyleOption arrow;
            arrow.initFrom(this);
            arrow.rect = arrowRect().adjusted(2, height() / 4, -2, -height() / 4);
            p.drawPrimitive(QStyle::PE_IndicatorArrowDown, arrow);
        }
        p.setPen(palette().color(QPalette::ButtonText));
        p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect().adjusted(3, 3, -3, -3);
            p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton) {
            event->ignore();
            return;
        }
        setFocus(Qt::MouseFocusReason);
        m_pressPos = event->position().toPoint();
        m_pressed = true;
        m_onArrow = arrowRect().contains(m_pressPos);
        update();
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        const QPoint pos = event->position().toPoint();
        const QPoint inViewport = mapTo(m_view->viewport(), pos);
        if (m_view->m_dragButton) {
            m_view->moveFieldDrag(inViewport);
        } else if (m_pressed && !m_onArrow &&
                   (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
            m_view->beginFieldDrag(this, inViewport);
        }
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        const QPoint pos = event->position().toPoint();
        const bool wasPressed = m_pressed;
        m_pressed = false;
        update();
        if (m_view->m_dragButton) {
            m_view->endFieldDrag(mapTo(m_view->viewport(), pos));
            return;
        }
        if (wasPressed && m_onArrow && arrowRect().contains(pos))
            if (CubeField *f = field())
                m_view->showFilter(f);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        CubeField *f = field();
        const int key = event->key();
        const bool alt = event->modifiers() & Qt::AltModifier;
        if (f && hasArrow() &&
            (key == Qt::Key_F4 || (alt && key == Qt::Key_Down) || key == Qt::Key_Space ||
             key == Qt::Key_Return || key == Qt::Key_Enter)) {
            m_view->showFilter(f);
        } else if (key == Qt::Key_Menu ||
                   (key == Qt::Key_F10 && event->modifiers() & Qt::ShiftModifier)) {
            m_view->showFieldMenu(this, mapToGlobal(QPoint(0, height())));
        } else {
            QAbstractButton::keyPressEvent(event);
        }
    }

    void contextMenuEvent(QContextMenuEvent *event) override
    {
        m_view->showFieldMenu(this, event->globalPos());
    }

    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }

private:
    CubeView *m_view;
    int m_field;
    QPoint m_pressPos;
    bool m_pressed = false;
    bool m_onArrow = false;
};

// ---------------------------------------------------------------- FilterPopup

namespace {

// The items of one field with a check box each, "(Todos)" first.
class FilterModel : public QAbstractListModel
{
public:
    FilterModel(Cube *cube, CubeField *field, QObject *parent)
        : QAbstractListModel(parent)
        , m_cube(cube)
        , m_fieldIndex(field->index())
    {
        const int n = field->itemCount();
        m_checked.resize(size_t(n));
        for (int i = 0; i < n; ++i) {
            m_checked[size_t(i)] = field->isItemIncluded(i);
            m_checkedCount += m_checked[size_t(i)] ? 1 : 0;
        }
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_checked.size()) + 1;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const int row = index.row();
        if (!index.isValid() || row >= rowCount())
            return {};
        if (role == Qt::DisplayRole) {
            if (row == 0)
                return u"(Todos)"_s;
            const CubeField *f = field();
            const QString caption = f ? f->itemCaption(row - 1) : QString();
            return caption.isEmpty() ? u"(vazio)"_s : caption;
        }
        if (role == Qt::CheckStateRole) {
            if (row == 0)
                return m_checkedCount == 0 ? Qt::Unchecked
                       : m_checkedCount == static_cast<int>(m_checked.size())
                           ? Qt::Checked
                           : Qt::PartiallyChecked;
            return m_checked[size_t(row) - 1] ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        // not user-checkable: a click anywhere on the line toggles it (see FilterPopup)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }

    void toggle(int row)
    {
        if (row == 0) {
            const bool all = m_checkedCount != static_cast<int>(m_checked.size());
            std::fill(m_checked.begin(), m_checked.end(), all);
            m_checkedCount = all ? static_cast<int>(m_checked.size()) : 0;
            emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
            return;
        }
        if (row < 1 || row > static_cast<int>(m_checked.size()))
            return;
        char &c = m_checked[size_t(row) - 1];
        c = !c;
        m_checkedCount += c ? 1 : -1;
        emit dataChanged(index(row), index(row), {Qt::CheckStateRole});
        emit dataChanged(index(0), index(0), {Qt::CheckStateRole});
    }
    int checkedCount() const { return m_checkedCount; }
    int itemCount() const { return static_cast<int>(m_checked.size()); }
    // null once the cube has gone or been given other fields
    CubeField *field() const
    {
        Cube *cube = m_cube.data();
        return cube ? cube->fields().item(m_fieldIndex) : nullptr;
    }
    bool isChecked(int item) const { return m_checked[size_t(item)]; }

private:
    QPointer<Cube> m_cube;
    int m_fieldIndex;
    std::vector<char> m_checked;
    int m_checkedCount = 0;
};

} // namespace

class FilterPopup : public QFrame
{
public:
    FilterPopup(Cube *cube, CubeField *field, QWidget *parent, std::function<void()> applied)
        : QFrame(parent, Qt::Popup)
        , m_applied(std::move(applied))
    {
        setObjectName(u"filterPopup"_s);
        setAttribute(Qt::WA_DeleteOnClose);
        setFrameStyle(QFrame::Box | QFrame::Plain);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(6, 6, 6, 6);
        auto *title = new QLabel(u"Itens de %1"_s.arg(field->caption()), this);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        layout->addWidget(title);
        m_model = new FilterModel(cube, field, this);
        m_list = new QListView(this);
        m_list->setObjectName(u"filterItems"_s);
        m_list->setUniformItemSizes(true);
        m_list->setModel(m_model);
        m_list->setToolTip(u"Marque os itens que entram nos totais"_s);
        m_list->setCurrentIndex(m_model->index(0));
        m_list->installEventFilter(this);
        layout->addWidget(m_list);
        auto *buttons = new QHBoxLayout;
        buttons->addStretch();
        m_ok = new QPushButton(u"OK"_s, this);
        m_ok->setObjectName(u"filterOk"_s);
        m_cancel = new QPushButton(u"Cancelar"_s, this);
        m_cancel->setObjectName(u"filterCancel"_s);
        buttons->addWidget(m_ok);
        buttons->addWidget(m_cancel);
        layout->addLayout(buttons);
        connect(m_list, &QListView::clicked, this,
                [this](const QModelIndex &index) { toggle(index.row()); });
        connect(m_ok, &QPushButton::clicked, this, &FilterPopup::apply);
        connect(m_cancel, &QPushButton::clicked, this, &QWidget::close);
        updateOk();
        resize(260, 320);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_list && event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Space) {
                toggle(m_list->currentIndex().row());
                return true;
            }
        }
        return QFrame::eventFilter(watched, event);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_ok->isEnabled())
            apply();
        else
            QFrame::keyPressEvent(event);
    }

private:
    void toggle(int row)
    {
        m_model->toggle(row);
        updateOk();
    }
    // a filter that lets nothing through would leave an empty grid: OK waits for one item
    void updateOk()
    {
        m_ok->setEnabled(m_model->checkedCount() > 0);
        m_ok->setToolTip(m_ok->isEnabled() ? u"Aplica o filtro"_s : u"Marque ao menos um item"_s);
    }
    void apply()
    {
        CubeField *field = m_model->field();
        bool changed = false;
        for (int i = 0; field && i < std::min(m_model->itemCount(), field->itemCount()); ++i) {
            if (field->isItemIncluded(i) != m_model->isChecked(i)) {
                field->setItemIncluded(i, m_model->isChecked(i));
                changed = true;
            }
        }
        close();
        if (changed && m_applied)
            m_applied();
    }

    std::function<void()> m_applied;
    FilterModel *m_model = nullptr;
    QListView *m_list = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};

// ---------------------------------------------------------------- CubeView

CubeView::CubeView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Base);
    setToolTip(QString());
    setAccessibleName(u"Tabela dinâmica"_s);
    updateMetrics();
    relayout();
}

CubeView::~CubeView() = default;

void CubeView::setCube(Cube *cube)
{
    if (m_cube == cube)
        return;
    if (m_cube)
        disconnect(m_cube, nullptr, this, nullptr);
    for (FieldButton *b : std::as_const(m_buttons))
        b->deleteLater();
    m_buttons.clear();
    m_dragButton = nullptr;
    m_levelWidthByField.clear();
    m_columnWidths.clear();
    m_columnWidthKeys.clear();
    m_cube = cube;
    if (m_cube) {
        connect(m_cube, &Cube::refreshed, this, &CubeView::cubeRefreshed);
        connect(m_cube, &QObject::destroyed, this, &CubeView::cubeDestroyed);
        const Selection s = m_cube->selection();
        m_anchorColumn = s.column1;
        m_anchorRow = s.row1;
        m_currentColumn = s.column2;
        m_currentRow = s.row2;
    }
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    cubeRefreshed();
}

Cube *CubeView::cube() const
{
    return m_cube;
}

void CubeView::cubeDestroyed()
{
    m_cube = nullptr;
    for (FieldButton *b : std::as_const(m_buttons))
        b->hide();
    m_dragButton = nullptr;
    cubeRefreshed();
}

void CubeView::cubeRefreshed()
{
    // a filter opened on the grid before this refresh would apply to what is no longer shown
    if (FilterPopup *popup = m_popup.data())
        popup->close();
    if (m_cube) {
        m_rows = m_cube->rowCount();
        m_columns = m_cube->columnCount();
        m_rowLevels = m_cube->rowHeadingLevels();
        m_columnLevels = m_cube->columnHeadingLevels();
    } else {
        m_rows = m_columns = m_rowLevels = m_columnLevels = 0;
    }
    // widths the user gave columns stay while those columns keep their headings
    for (auto it = m_columnWidths.begin(); it != m_columnWidths.end();) {
        const auto key = m_columnWidthKeys.find(it->first);
        if (it->first < m_columns && key != m_columnWidthKeys.end() &&
            key->second == columnKey(it->first)) {
            ++it;
        } else {
            m_columnWidthKeys.erase(it->first);
            it = m_columnWidths.erase(it);
        }
    }
    // the selection follows the grid's new size
    if (m_rows > 0 && m_columns > 0) {
        auto clampColumn = [this](int c) { return std::clamp(c, 0, m_columns - 1); };
        auto clampRow = [this](int r) { return std::clamp(r, 0, m_rows - 1); };
        m_anchorColumn = clampColumn(m_anchorColumn);
        m_currentColumn = clampColumn(m_currentColumn);
        m_anchorRow = clampRow(m_anchorRow);
        m_currentRow = clampRow(m_currentRow);
        if (m_cube) {
            const Selection before = m_cube->selection();
            const Selection after{std::min(m_anchorColumn, m_currentColumn),
                                  std::max(m_anchorColumn, m_currentColumn),
                                  std::min(m_anchorRow, m_currentRow),
                                  std::max(m_anchorRow, m_currentRow)};
            m_cube->setSelection(after);
            if (before.column1 != after.column1 || before.column2 != after.column2 ||
                before.row1 != after.row1 || before.row2 != after.row2)
                emit selectionChanged();
        }
    }
    relayout();
}

void CubeView::updateMetrics()
{
    const QFontMetrics fm = fontMetrics();
    m_rowHeight = fm.height() + 6;
    m_buttonHeight = m_rowHeight;
    // totals are bold and reach the billions
    QFont bold = font();
    bold.setBold(true);
    m_defaultColumnWidth = std::max(
        80, QFontMetrics(bold).horizontalAdvance(u"-0.000.000.000,00"_s) + 3 * CellPadding);
    m_defaultLevelWidth = std::max(100, fm.horizontalAdvance(u"Banco do Brasil S/A"_s));
}

std::vector<CubeField *> CubeView::fieldsIn(Orientation area) const
{
    std::vector<CubeField *> out;
    if (!m_cube)
        return out;
    FieldCollection c;
    switch (area) {
    case Orientation::Page:
        c = m_cube->pageFields();
        break;
    case Orientation::Row:
        c = m_cube->rowFields();
        break;
    case Orientation::Column:
        c = m_cube->columnFields();
        break;
    case Orientation::Data:
        c = m_cube->dataFields();
        break;
    case Orientation::None:
        return out;
    }
    for (CubeField *f : c)
        if (area != Orientation::Data || f->isVisible())
            out.push_back(f);
    return out;
}

FieldButton *CubeView::buttonFor(const CubeField *field) const
{
    return field ? m_buttons.value(field->index()) : nullptr;
}

void CubeView::relayout()
{
    // row-heading levels keep the width given them, by field, while the field stays on the rows
    m_rowFieldIndices.clear();
    for (CubeField *f : fieldsIn(Orientation::Row))
        m_rowFieldIndices.push_back(f->index());
    m_levelWidths.clear();
    for (int f : m_rowFieldIndices)
        m_levelWidths.push_back(m_levelWidthByField.value(f, m_defaultLevelWidth));
    if (m_levelWidths.empty())
        m_levelWidths.push_back(m_levelWidthByField.value(-1, m_defaultLevelWidth));
    m_rowHeadWidth = 0;
    for (int w : m_levelWidths)
        m_rowHeadWidth += w;
    layoutButtons();
    updateScrollBars();
    viewport()->update();
}

void CubeView::layoutButtons()
{
    const int width = viewport()->width();
    QSet<int> shown;
    auto place = [&](CubeField *f, const QRect &r) {
        FieldButton *b = m_buttons.value(f->index());
        if (!b) {
            b = new FieldButton(this, f->index(), viewport());
            m_buttons.insert(f->index(), b);
        }
        b->setText(f->caption());
        const Orientation o = f->orientation();
        b->setToolTip(o == Orientation::Data
                          ? u"Campo de dados %1: arraste para mudar a ordem"_s.arg(f->caption())
                          : u"Campo de %1 %2: arraste para outra área para mudar o layout; a seta "
                            "filtra os itens"_s.arg(areaName(o), f->caption()));
        b->setAccessibleName(u"Campo de %1 %2"_s.arg(areaName(o), f->caption()));
        b->setGeometry(r);
        b->show();
        shown.insert(f->index());
        return b;
    };
    std::vector<QWidget *> order;

    // page fields flow over as many lines as they need
    int x = AreaMargin;
    int y = AreaMargin;
    for (CubeField *f : fieldsIn(Orientation::Page)) {
        FieldButton *b = m_buttons.value(f->index());
        const int w =
            b ? b->sizeHint().width()
              : fontMetrics().horizontalAdvance(f->caption()) + 2 * CellPadding + 6 + ArrowWidth;
        if (x > AreaMargin && x + w > width - AreaMargin) {
            x = AreaMargin;
            y += m_buttonHeight + ButtonGap;
        }
        order.push_back(place(f, QRect(x, y, w, m_buttonHeight)));
        x += w + ButtonGap;
    }
    m_pageHeight = y + m_buttonHeight + AreaMargin;
    m_barTop = m_pageHeight;
    const int barHeight = m_buttonHeight + 2 * AreaMargin;
    m_headLines = std::max(1, m_columnLevels);
    m_dataTop = m_barTop + barHeight + m_headLines * m_rowHeight;

    auto naturalWidth = [this](const CubeField *f) {
        return fontMetrics().horizontalAdvance(f->caption()) + 2 * CellPadding + 6 +
               (f->orientation() != Orientation::Data ? ArrowWidth : 0);
    };
    x = AreaMargin;
    for (CubeField *f : fieldsIn(Orientation::Data)) {
        const int w = naturalWidth(f);
        order.push_back(place(f, QRect(x, m_barTop + AreaMargin, w, m_buttonHeight)));
        x += w + ButtonGap;
    }
    x = m_rowHeadWidth + AreaMargin;
    for (CubeField *f : fieldsIn(Orientation::Column)) {
        const int w = naturalWidth(f);
        order.push_back(place(f, QRect(x, m_barTop + AreaMargin, w, m_buttonHeight)));
        x += w + ButtonGap;
    }
    // a row field's button stands over its heading level, as wide as the level
    int level = 1;
    for (CubeField *f : fieldsIn(Orientation::Row)) {
        order.push_back(place(f, QRect(levelX(level), m_dataTop - m_rowHeight,
                                       m_levelWidths[size_t(level) - 1], m_rowHeight)));
        ++level;
    }
    for (auto it = m_buttons.cbegin(); it != m_buttons.cend(); ++it)
        if (!shown.contains(it.key()))
            it.value()->hide();
    // Tab walks the buttons area by area after the grid
    QWidget *previous = this;
    for (QWidget *w : order) {
        setTabOrder(previous, w);
        previous = w;
    }
}

void CubeView::updateScrollBars()
{
    const int rows = visibleRowCount();
    QScrollBar *v = verticalScrollBar();
    v->setRange(0, std::max(0, m_rows - rows));
    v->setPageStep(rows);
    v->setSingleStep(1);
    const int dataWidth = std::max(0, viewport()->width() - m_rowHeadWidth);
    const qint64 excess = std::max<qint64>(0, columnsWidth() - dataWidth);
    QScrollBar *h = horizontalScrollBar();
    h->setRange(0, static_cast<int>(std::min<qint64>(INT_MAX, excess)));
    h->setPageStep(std::max(1, dataWidth));
    h->setSingleStep(m_defaultColumnWidth / 4);
}

void CubeView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void CubeView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        relayout();
    }
}

void CubeView::scrollContentsBy(int, int)
{
    viewport()->update();
}

// ---------------------------------------------------------------- geometry

int CubeView::visibleRowCount() const
{
    return std::max(1, (viewport()->height() - m_dataTop) / m_rowHeight);
}

int CubeView::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

qint64 CubeView::columnOffset(int column) const
{
    qint64 offset = qint64(column) * m_defaultColumnWidth;
    for (const auto &[c, w] : m_columnWidths) {
        if (c >= column)
            break;
        offset += w - m_defaultColumnWidth;
    }
    return offset;
}

int CubeView::columnAtOffset(qint64 offset) const
{
    qint64 shift = 0; // what the sized columns before add to the plain arithmetic
    for (const auto &[c, w] : m_columnWidths) {
        const qint64 start = qint64(c) * m_defaultColumnWidth + shift;
        if (offset < start)
            break;
        if (offset < start + w)
            return c;
        shift += w - m_defaultColumnWidth;
    }
    return static_cast<int>((offset - shift) / m_defaultColumnWidth);
}

qint64 CubeView::columnsWidth() const
{
    return columnOffset(m_columns);
}

int CubeView::columnWidth(int column) const
{
    const auto it = m_columnWidths.find(column);
    return it == m_columnWidths.end() ? m_defaultColumnWidth : it->second;
}

QStringList CubeView::columnKey(int column) const
{
    QStringList key;
    if (!m_cube)
        return key;
    for (int level = 1; level <= m_cube->columnHeadingLevels(); ++level)
        key << m_cube->columnHeadingText(level, column);
    return key;
}

void CubeView::setColumnWidth(int column, int width)
{
    if (column < 0 || column >= m_columns)
        return;
    width = std::max(MinimumWidth, width);
    if (width == m_defaultColumnWidth) {
        m_columnWidths.erase(column);
        m_columnWidthKeys.erase(column);
    } else {
        m_columnWidths[column] = width;
        m_columnWidthKeys[column] = columnKey(column);
    }
    updateScrollBars();
    viewport()->update();
}

int CubeView::rowHeadingWidth(int level) const
{
    return level >= 1 && level <= static_cast<int>(m_levelWidths.size())
               ? m_levelWidths[size_t(level) - 1]
               : 0;
}

void CubeView::setRowHeadingWidth(int level, int width)
{
    if (level < 1 || level > static_cast<int>(m_levelWidths.size()))
        return;
    const int field =
        size_t(level) <= m_rowFieldIndices.size() ? m_rowFieldIndices[size_t(level) - 1] : -1;
    m_levelWidthByField.insert(field, std::max(MinimumWidth, width));
    relayout();
}

int CubeView::levelX(int level) const
{
    int x = 0;
    for (int l = 1; l < level && size_t(l) <= m_levelWidths.size(); ++l)
        x += m_levelWidths[size_t(l) - 1];
    return x;
}

int CubeView::rowAt(int y) const
{
    if (y < m_dataTop || m_rows == 0)
        return -1;
    const int row = firstVisibleRow() + (y - m_dataTop) / m_rowHeight;
    return row < m_rows ? row : -1;
}

int CubeView::columnAt(int x) const
{
    if (x < m_rowHeadWidth || m_columns == 0)
        return -1;
    const int column = columnAtOffset(qint64(x - m_rowHeadWidth) + horizontalScrollBar()->value());
    return column < m_columns ? column : -1;
}

QRect CubeView::fieldButtonRect(const CubeField *field) const
{
    const FieldButton *b = buttonFor(field);
    return b && !b->isHidden() ? b->geometry() : QRect();
}

QRect CubeView::dropDownRect(const CubeField *field) const
{
    const FieldButton *b = buttonFor(field);
    if (!b || b->isHidden() || !b->hasArrow())
        return {};
    return b->arrowRect().translated(b->pos());
}

QRect CubeView::areaRect(Orientation area) const
{
    const int width = viewport()->width();
    const int barHeight = m_buttonHeight + 2 * AreaMargin;
    switch (area) {
    case Orientation::Page:
        return {0, 0, width, m_pageHeight};
    case Orientation::Data:
        return {0, m_barTop, m_rowHeadWidth, barHeight};
    case Orientation::Column:
        return {m_rowHeadWidth, m_barTop, std::max(0, width - m_rowHeadWidth),
                m_dataTop - m_barTop};
    case Orientation::Row:
        return {0, m_barTop + barHeight, m_rowHeadWidth,
                std::max(0, viewport()->height() - m_barTop - barHeight)};
    case Orientation::None:
        break;
    }
    return {};
}

QRect CubeView::rowHeadingRect(int level, int row) const
{
    const int first = firstVisibleRow();
    if (level < 1 || level > static_cast<int>(m_levelWidths.size()) || row < first || row >= m_rows)
        return {};
    const QRect r(levelX(level), m_dataTop + (row - first) * m_rowHeight,
                  m_levelWidths[size_t(level) - 1], m_rowHeight);
    return r.top() < viewport()->height() ? r : QRect();
}

QRect CubeView::columnHeadingRect(int level, int column) const
{
    if (level < 1 || level > m_headLines || column < 0 || column >= m_columns)
        return {};
    const int top = m_dataTop - m_headLines * m_rowHeight + (level - 1) * m_rowHeight;
    const qint64 x = m_rowHeadWidth + columnOffset(column) - horizontalScrollBar()->value();
    const QRect area(m_rowHeadWidth, top, viewport()->width() - m_rowHeadWidth, m_rowHeight);
    if (x >= area.right() || x + columnWidth(column) <= area.left())
        return {};
    return QRect(int(x), top, columnWidth(column), m_rowHeight).intersected(area);
}

QRect CubeView::cellRect(int column, int row) const
{
    const int first = firstVisibleRow();
    if (column < 0 || column >= m_columns || row < first || row >= m_rows)
        return {};
    const int top = m_dataTop + (row - first) * m_rowHeight;
    const qint64 x = m_rowHeadWidth + columnOffset(column) - horizontalScrollBar()->value();
    const QRect area(m_rowHeadWidth, m_dataTop, viewport()->width() - m_rowHeadWidth,
                     viewport()->height() - m_dataTop);
    if (top >= area.bottom() || x >= area.right() || x + columnWidth(column) <= area.left())
        return {};
    return QRect(int(x), top, columnWidth(column), m_rowHeight).intersected(area);
}

int CubeView::columnBorderAt(const QPoint &pos) const
{
    const int top = m_dataTop - m_headLines * m_rowHeight;
    if (pos.y() < top || pos.y() >= m_dataTop || pos.x() < m_rowHeadWidth)
        return -1;
    const int column =
        columnAtOffset(qint64(pos.x() - m_rowHeadWidth) + horizontalScrollBar()->value());
    if (column < 0 || column > m_columns)
        return -1;
    const qint64 left = m_rowHeadWidth + columnOffset(column) - horizontalScrollBar()->value();
    if (column < m_columns && std::abs(left + columnWidth(column) - pos.x()) <= BorderGrip)
        return column;
    if (column > 0 && std::abs(left - pos.x()) <= BorderGrip)
        return column - 1;
    return -1;
}

int CubeView::levelBorderAt(const QPoint &pos) const
{
    if (pos.y() < m_dataTop || pos.x() > m_rowHeadWidth + BorderGrip)
        return 0;
    int right = 0;
    for (size_t l = 0; l < m_levelWidths.size(); ++l) {
        right += m_levelWidths[l];
        if (std::abs(right - pos.x()) <= BorderGrip)
            return static_cast<int>(l) + 1;
    }
    return 0;
}

void CubeView::scrollTo(int column, int row)
{
    if (row >= 0 && row < m_rows) {
        QScrollBar *v = verticalScrollBar();
        const int rows = visibleRowCount();
        if (row < v->value())
            v->setValue(row);
        else if (row >= v->value() + rows)
            v->setValue(row - rows + 1);
    }
    if (column >= 0 && column < m_columns) {
        QScrollBar *h = horizontalScrollBar();
        const qint64 left = columnOffset(column);
        const qint64 right = left + columnWidth(column);
        const int width = std::max(0, viewport()->width() - m_rowHeadWidth);
        if (left < h->value())
            h->setValue(int(left));
        else if (right > h->value() + width)
            h->setValue(int(std::min<qint64>(left, right - width)));
    }
}

// ---------------------------------------------------------------- painting

void CubeView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    paintAreas(p);
    if (m_cube) {
        paintColumnHeadings(p);
        paintRowHeadings(p);
        paintCells(p);
        paintSelection(p);
    }
    paintDropIndicator(p);
}

void CubeView::paintAreas(QPainter &p)
{
    const QRect page = areaRect(Orientation::Page);
    const int barHeight = m_buttonHeight + 2 * AreaMargin;
    p.fillRect(page, AreaBack);
    p.fillRect(QRect(0, m_barTop, viewport()->width(), barHeight), AreaBack);
    p.setPen(GridLine);
    p.drawLine(0, m_barTop, viewport()->width(), m_barTop);
    p.drawLine(0, m_barTop + barHeight - 1, viewport()->width(), m_barTop + barHeight - 1);
    // the corner above the row field buttons
    const int headTop = m_barTop + barHeight;
    p.fillRect(QRect(0, headTop, m_rowHeadWidth, m_dataTop - m_rowHeight - headTop), AreaBack);

    p.setPen(palette().color(QPalette::PlaceholderText));
    auto hint = [&](const QRect &r, const QString &text) {
        p.drawText(r.adjusted(AreaMargin + 2, 0, -AreaMargin, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(text, Qt::ElideRight, r.width() - 2 * AreaMargin));
    };
    if (fieldsIn(Orientation::Page).empty())
        hint(page, u"Arraste para cá os campos de página"_s);
    if (fieldsIn(Orientation::Column).empty())
        hint(QRect(m_rowHeadWidth, m_barTop, viewport()->width() - m_rowHeadWidth, barHeight),
             u"Arraste para cá os campos de coluna"_s);
    if (fieldsIn(Orientation::Row).empty())
        hint(QRect(0, m_dataTop - m_rowHeight, m_rowHeadWidth, m_rowHeight),
             u"Arraste para cá os campos de linha"_s);
    if (fieldsIn(Orientation::Data).empty())
        hint(QRect(0, m_barTop, m_rowHeadWidth, barHeight), u"Sem campos de dados"_s);
}

void CubeView::paintHeadingCell(QPainter &p, const QRect &r, const Heading &h, int sign) const
{
    const bool total = h.kind == Heading::Kind::Total;
    p.fillRect(r, total ? TotalHeadingBack : HeadingBack);
    p.setPen(GridLine);
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    if (h.kind == Heading::Kind::None)
        return;
    QRect text = r.adjusted(CellPadding, 0, -CellPadding, 0);
    text.setHeight(std::min(text.height(), m_rowHeight));
    if (sign != 0) {
        // the box that tells a click expands (+) or collapses (-) the level below
        const int side = std::min(9, m_rowHeight - 8) | 1;
        const QRect box(text.left(), text.top() + (m_rowHeight - side) / 2, side, side);
        p.setPen(palette().color(QPalette::Dark));
        p.fillRect(box, palette().color(QPalette::Base));
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::Text));
        const int mid = box.top() + side / 2;
        p.drawLine(box.left() + 2, mid, box.right() - 2, mid);
        if (sign > 0)
            p.drawLine(box.left() + side / 2, box.top() + 2, box.left() + side / 2,
                       box.bottom() - 2);
        text.setLeft(box.right() + CellPadding);
    }
    QFont font = p.font();
    if (total != font.bold()) {
        font.setBold(total);
        p.setFont(font);
    }
    p.setPen(palette().color(QPalette::Text));
    const QFontMetrics fm(font);
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
               fm.elidedText(h.text, Qt::ElideRight, text.width()));
    if (total) {
        font.setBold(false);
        p.setFont(font);
    }
}

void CubeView::paintColumnHeadings(QPainter &p)
{
    const int width = viewport()->width();
    const int top = m_dataTop - m_headLines * m_rowHeight;
    const int scroll = horizontalScrollBar()->value();
    p.save();
    p.setClipRect(QRect(m_rowHeadWidth, top, width - m_rowHeadWidth, m_dataTop - top));
    // the columns on screen and their headings, at every level
    std::vector<int> columns;
    std::vector<int> xs;
    if (m_columns > 0) {
        int c = columnAtOffset(scroll);
        qint64 x = m_rowHeadWidth + columnOffset(c) - scroll;
        for (; c < m_columns && x < width; ++c) {
            columns.push_back(c);
            xs.push_back(int(x));
            x += columnWidth(c);
        }
    }
    const size_t n = columns.size();
    if (m_columnLevels == 0) {
        // no column field and one data field: its caption heads the only column
        const CubeField *shown = n ? m_cube->dataFields().item(m_cube->dataFieldAt(0)) : nullptr;
        for (size_t i = 0; i < n; ++i) {
            Heading h;
            h.kind = Heading::Kind::DataItem;
            h.text = shown ? shown->caption() : QString();
            paintHeadingCell(p, QRect(xs[i], top, columnWidth(columns[i]), m_rowHeight), h, 0);
        }
        p.restore();
        return;
    }
    const int fieldLevels = m_columnLevels - (m_cube->severalDataFieldsShown() ? 1 : 0);
    std::vector<std::vector<Heading>> headings(n);
    for (size_t i = 0; i < n; ++i) {
        headings[i].resize(size_t(m_columnLevels));
        for (int l = 0; l < m_columnLevels; ++l)
            headings[i][size_t(l)] = m_cube->columnHeading(l + 1, columns[i]);
    }
    const FieldCollection fields = m_cube->columnFields();
    for (int l = 0; l < m_columnLevels; ++l) {
        const int y = top + l * m_rowHeight;
        for (size_t i = 0; i < n;) {
            const Heading &h = headings[i][size_t(l)];
            size_t j = i;
            while (j + 1 < n && sameGroup(headings, i, j + 1, l))
                ++j;
            const int w = xs[j] + columnWidth(columns[j]) - xs[i];
            bool covered = false; // by a total heading above that reaches down
            for (int k = 0; k < l && k < fieldLevels; ++k)
                covered |= headings[i][size_t(k)].kind == Heading::Kind::Total;
            if (!covered || l >= fieldLevels) {
                const int lines = h.kind == Heading::Kind::Total ? fieldLevels - l : 1;
                int sign = 0;
                if (h.kind == Heading::Kind::Item && l + 1 < fieldLevels)
                    sign = fields.item(l) && fields.item(l)->isExpanded() ? -1 : 1;
                paintHeadingCell(p, QRect(xs[i], y, w, lines * m_rowHeight), h, sign);
            }
            i = j + 1;
        }
    }
    p.restore();
}

void CubeView::paintRowHeadings(QPainter &p)
{
    const int height = viewport()->height();
    const int first = firstVisibleRow();
    if (m_rows == 0)
        return;
    const int last = std::min(m_rows - 1, first + (height - m_dataTop) / m_rowHeight);
    if (last < first)
        return;
    p.save();
    p.setClipRect(QRect(0, m_dataTop, m_rowHeadWidth, height - m_dataTop));
    const size_t n = size_t(last - first + 1);
    if (m_rowLevels == 0) {
        for (size_t i = 0; i < n; ++i)
            paintHeadingCell(
                p, QRect(0, m_dataTop + int(i) * m_rowHeight, m_rowHeadWidth, m_rowHeight),
                Heading(), 0);
        p.restore();
        return;
    }
    std::vector<std::vector<Heading>> headings(n);
    for (size_t i = 0; i < n; ++i) {
        headings[i].resize(size_t(m_rowLevels));
        for (int l = 0; l < m_rowLevels; ++l)
            headings[i][size_t(l)] = m_cube->rowHeading(l + 1, first + int(i));
    }
    const FieldCollection fields = m_cube->rowFields();
    for (int l = 0; l < m_rowLevels; ++l) {
        const int x = levelX(l + 1);
        for (size_t i = 0; i < n;) {
            const Heading &h = headings[i][size_t(l)];
            size_t j = i;
            while (j + 1 < n && sameGroup(headings, i, j + 1, l))
                ++j;
            bool covered = false; // by a total heading to the left that reaches across
            for (int k = 0; k < l; ++k)
                covered |= headings[i][size_t(k)].kind == Heading::Kind::Total;
            if (!covered) {
                const int w =
                    h.kind == Heading::Kind::Total ? m_rowHeadWidth - x : m_levelWidths[size_t(l)];
                int sign = 0;
                if (h.kind == Heading::Kind::Item && l + 1 < m_rowLevels)
                    sign = fields.item(l) && fields.item(l)->isExpanded() ? -1 : 1;
                paintHeadingCell(
                    p, QRect(x, m_dataTop + int(i) * m_rowHeight, w, int(j - i + 1) * m_rowHeight),
                    h, sign);
            }
            i = j + 1;
        }
    }
    p.restore();
}

void CubeView::paintCells(QPainter &p)
{
    const int width = viewport()->width();
    const int height = viewport()->height();
    if (m_rows == 0 || m_columns == 0)
        return;
    const int first = firstVisibleRow();
    const int last = std::min(m_rows - 1, first + (height - m_dataTop) / m_rowHeight);
    const int scroll = horizontalScrollBar()->value();
    p.save();
    p.setClipRect(QRect(m_rowHeadWidth, m_dataTop, width - m_rowHeadWidth, height - m_dataTop));
    QFont normal = p.font();
    QFont bold = normal;
    bold.setBold(true);
    const QFontMetrics normalMetrics(normal);
    const QFontMetrics boldMetrics(bold);
    int c = columnAtOffset(scroll);
    qint64 x = m_rowHeadWidth + columnOffset(c) - scroll;
    for (; c < m_columns && x < width; ++c) {
        const int w = columnWidth(c);
        const bool totalColumn = m_cube->isTotalColumn(c);
        for (int r = first; r <= last; ++r) {
            const QRect cell(int(x), m_dataTop + (r - first) * m_rowHeight, w, m_rowHeight);
            const bool total = totalColumn || m_cube->isTotalRow(r);
            const CellFormat format = m_cube->cellFormat(c, r);
            // totals stand out on grey unless the format event chose a background
            const QColor back = total && format.backColor == White
                                    ? TotalCellBack
                                    : colorFromRgbLong(format.backColor);
            p.fillRect(cell, back);
            p.setPen(GridLine);
            p.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
            p.drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
            const QString text = m_cube->formattedValue(c, r);
            if (text.isEmpty())
                continue;
            p.setFont(total ? bold : normal);
            p.setPen(colorFromRgbLong(format.foreColor));
            const QRect textRect = cell.adjusted(CellPadding, 0, -CellPadding, -1);
            const QFontMetrics &fm = total ? boldMetrics : normalMetrics;
            p.drawText(textRect, Qt::AlignRight | Qt::AlignVCenter,
                       fm.horizontalAdvance(text) <= textRect.width() ? text : u"###"_s);
        }
        x += w;
    }
    p.restore();
}

void CubeView::paintSelection(QPainter &p)
{
    if (m_rows == 0 || m_columns == 0)
        return;
    const Selection s = selection();
    const int first = firstVisibleRow();
    const int height = viewport()->height();
    const int scroll = horizontalScrollBar()->value();
    const int top = m_dataTop + (s.row1 - first) * m_rowHeight;
    const int bottom = m_dataTop + (s.row2 + 1 - first) * m_rowHeight;
    const qint64 left = m_rowHeadWidth + columnOffset(s.column1) - scroll;
    const qint64 right = m_rowHeadWidth + columnOffset(s.column2 + 1) - scroll;
    const QRect area(m_rowHeadWidth, m_dataTop, viewport()->width() - m_rowHeadWidth,
                     height - m_dataTop);
    const QRect shown =
        QRect(QPoint(int(std::clamp<qint64>(left, -10, INT_MAX / 2)), top),
              QPoint(int(std::clamp<qint64>(right, -10, INT_MAX / 2)) - 1, bottom - 1))
            .intersected(area.adjusted(-2, -2, 2, 2));
    if (shown.isEmpty())
        return;
    p.save();
    p.setClipRect(area);
    QColor fill = palette().color(QPalette::Highlight);
    fill.setAlpha(70);
    p.fillRect(shown, fill);
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.drawRect(shown.adjusted(1, 1, -1, -1));
    if (hasFocus()) {
        const QRect current = cellRect(m_currentColumn, m_currentRow);
        if (!current.isEmpty()) {
            p.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
            p.drawRect(current.adjusted(2, 2, -3, -3));
        }
    }
    p.restore();
}

void CubeView::paintDropIndicator(QPainter &p)
{
    if (!m_dragButton)
        return;
    const QString caption = m_dragButton->text();
    if (m_dropTarget.area != Orientation::None) {
        const QRect area = areaRect(m_dropTarget.area);
        QColor fill = palette().color(QPalette::Highlight);
        fill.setAlpha(40);
        p.fillRect(area, fill);
        // the line where the field will go, between the buttons already there
        std::vector<CubeField *> others;
        for (CubeField *f : fieldsIn(m_dropTarget.area))
            if (f->index() != m_dragButton->fieldIndex())
                others.push_back(f);
        QRect mark;
        if (size_t(m_dropTarget.index) < others.size()) {
            const QRect b = fieldButtonRect(others[size_t(m_dropTarget.index)]);
            mark = QRect(b.left() - ButtonGap / 2 - 2, b.top() - 2, 4, b.height() + 4);
        } else if (!others.empty()) {
            const QRect b = fieldButtonRect(others.back());
            mark = QRect(b.right() + ButtonGap / 2 - 1, b.top() - 2, 4, b.height() + 4);
        } else {
            const int y = m_dropTarget.area == Orientation::Row ? m_dataTop - m_rowHeight
                                                                : area.top() + AreaMargin;
            mark = QRect(area.left() + 1, y - 2, 4, m_buttonHeight + 4);
        }
        p.fillRect(mark, palette().color(QPalette::Highlight));
    }
    // the field follows the mouse
    const QFontMetrics fm = fontMetrics();
    QRect ghost(m_dragPos + QPoint(8, 8),
                QSize(fm.horizontalAdvance(caption) + 2 * CellPadding, m_buttonHeight));
    QColor back = palette().color(QPalette::Button);
    back.setAlpha(200);
    p.fillRect(ghost, back);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(ghost.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(ghost, Qt::AlignCenter, caption);
}

// ---------------------------------------------------------------- moving fields

bool CubeView::moveField(CubeField *field, Orientation orientation, int index)
{
    if (!m_cube || !field || orientation == Orientation::None)
        return false;
    const bool isData = field->orientation() == Orientation::Data;
    if (isData != (orientation == Orientation::Data) || field->orientation() == Orientation::None)
        return false;
    std::vector<CubeField *> others;
    int current = -1;
    for (CubeField *f : fieldsIn(orientation)) {
        if (f == field)
            current = static_cast<int>(others.size());
        else
            others.push_back(f);
    }
    index = std::clamp(index, 0, static_cast<int>(others.size()));
    if (field->orientation() == orientation && current == index)
        return true;
    field->setOrientation(orientation);
    // others keep their numbers; the moved field takes the number of the one it goes before and
    // the engine puts it first of the two
    field->setPosition(size_t(index) < others.size() ? others[size_t(index)]->position()
                                                     : INT_MAX / 2);
    m_cube->refresh();
    emit layoutChangedByUser();
    return true;
}

CubeView::DropTarget CubeView::dropTargetAt(const QPoint &pos) const
{
    DropTarget target;
    if (!m_dragButton || !m_cube || !viewport()->rect().contains(pos))
        return target;
    const CubeField *dragged = m_dragButton->field();
    if (!dragged)
        return target;
    const bool isData = dragged->orientation() == Orientation::Data;
    for (Orientation o :
         {Orientation::Page, Orientation::Data, Orientation::Column, Orientation::Row}) {
        if (!areaRect(o).contains(pos))
            continue;
        if (isData != (o == Orientation::Data))
            return target;
        target.area = o;
        break;
    }
    if (target.area == Orientation::None)
        return target;
    // the field goes before the first button that stands after the mouse
    int index = 0;
    for (CubeField *f : fieldsIn(target.area)) {
        if (f == dragged)
            continue;
        const QRect b = fieldButtonRect(f);
        const bool before =
            target.area == Orientation::Page
                ? b.bottom() < pos.y() || (b.top() <= pos.y() && b.center().x() < pos.x())
                : b.center().x() < pos.x();
        if (before)
            ++index;
    }
    target.index = index;
    return target;
}

void CubeView::beginFieldDrag(FieldButton *button, const QPoint &pos)
{
    m_dragButton = button;
    m_dragPos = pos;
    m_dropTarget = dropTargetAt(pos);
    viewport()->update();
}

void CubeView::moveFieldDrag(const QPoint &pos)
{
    m_dragPos = pos;
    m_dropTarget = dropTargetAt(pos);
    if (m_dragButton)
        m_dragButton->setCursor(m_dropTarget.area == Orientation::None ? Qt::ForbiddenCursor
                                                                       : Qt::ClosedHandCursor);
    viewport()->update();
}

void CubeView::endFieldDrag(const QPoint &pos)
{
    const DropTarget target = dropTargetAt(pos);
    FieldButton *button = m_dragButton;
    m_dragButton = nullptr;
    m_dropTarget = {};
    if (button)
        button->unsetCursor();
    viewport()->update();
    if (button && target.area != Orientation::None)
        moveField(button->field(), target.area, target.index);
}

void CubeView::showFieldMenu(FieldButton *button, const QPoint &globalPos)
{
    CubeField *field = button->field();
    if (!field)
        return;
    const Orientation o = field->orientation();
    const std::vector<CubeField *> mates = fieldsIn(o);
    const int at = static_cast<int>(std::find(mates.begin(), mates.end(), field) - mates.begin());
    QMenu menu(this);
    QAction *toPage = nullptr;
    QAction *toRows = nullptr;
    QAction *toColumns = nullptr;
    QAction *filter = nullptr;
    if (o != Orientation::Data) {
        toRows = menu.addAction(u"Mover para Linhas"_s);
        toRows->setEnabled(o != Orientation::Row);
        toColumns = menu.addAction(u"Mover para Colunas"_s);
        toColumns->setEnabled(o != Orientation::Column);
        toPage = menu.addAction(u"Mover para Página"_s);
        toPage->setEnabled(o != Orientation::Page);
        menu.addSeparator();
    }
    QAction *left = menu.addAction(u"Mover para a esquerda"_s);
    left->setEnabled(at > 0);
    QAction *right = menu.addAction(u"Mover para a direita"_s);
    right->setEnabled(at + 1 < static_cast<int>(mates.size()));
    QAction *expand = nullptr;
    if (o != Orientation::Data) {
        menu.addSeparator();
        filter = menu.addAction(u"Filtrar itens..."_s);
    }
    // what a click on the field's headings does, for the keyboard
    if ((o == Orientation::Row || o == Orientation::Column) &&
        at + 1 < static_cast<int>(mates.size()))
        expand = menu.addAction(field->isExpanded() ? u"Recolher os níveis abaixo"_s
                                                    : u"Expandir os níveis abaixo"_s);
    QAction *chosen = menu.exec(globalPos);
    if (!chosen)
        return;
    const int fieldIndex = field->index();
    if (chosen == filter) {
        showFilter(field);
        return;
    }
    if (chosen == expand) {
        field->setExpanded(!field->isExpanded());
        m_cube->refresh();
        emit layoutChangedByUser();
    } else if (chosen == toRows)
        moveField(field, Orientation::Row, INT_MAX);
    else if (chosen == toColumns)
        moveField(field, Orientation::Column, INT_MAX);
    else if (chosen == toPage)
        moveField(field, Orientation::Page, INT_MAX);
    else if (chosen == left)
        moveField(field, o, at - 1);
    else if (chosen == right)
        moveField(field, o, at + 1);
    // the keyboard stays on the field it moved
    if (FieldButton *b = m_buttons.value(fieldIndex))
        b->setFocus(Qt::OtherFocusReason);
}

void CubeView::showFilter(CubeField *field)
{
    if (!m_cube || !field || field->orientation() == Orientation::Data ||
        field->orientation() == Orientation::None)
        return;
    if (m_popup)
        m_popup->close();
    auto *popup = new FilterPopup(m_cube, field, this, [this] {
        if (m_cube) {
            m_cube->refresh();
            emit layoutChangedByUser();
        }
    });
    const QRect button = fieldButtonRect(field);
    const QPoint below = viewport()->mapToGlobal(
        button.isEmpty() ? QPoint(0, 0) : QPoint(button.left(), button.bottom() + 1));
    popup->move(below);
    popup->show();
    m_popup = popup;
}

QWidget *CubeView::filterPopup() const
{
    FilterPopup *popup = m_popup.data();
    return popup && popup->isVisible() ? popup : nullptr;
}

// ---------------------------------------------------------------- selection

Selection CubeView::selection() const
{
    return m_cube ? m_cube->selection() : Selection();
}

void CubeView::setSelection(const Selection &s)
{
    if (m_rows == 0 || m_columns == 0)
        return;
    selectCells(std::clamp(std::min(s.column1, s.column2), 0, m_columns - 1),
                std::clamp(std::min(s.row1, s.row2), 0, m_rows - 1),
                std::clamp(std::max(s.column1, s.column2), 0, m_columns - 1),
                std::clamp(std::max(s.row1, s.row2), 0, m_rows - 1));
}

void CubeView::selectCells(int anchorColumn, int anchorRow, int column, int row)
{
    m_anchorColumn = anchorColumn;
    m_anchorRow = anchorRow;
    m_currentColumn = column;
    m_currentRow = row;
    const Selection s{std::min(anchorColumn, column), std::max(anchorColumn, column),
                      std::min(anchorRow, row), std::max(anchorRow, row)};
    const Selection before = selection();
    if (m_cube)
        m_cube->setSelection(s);
    viewport()->update();
    if (before.column1 != s.column1 || before.column2 != s.column2 || before.row1 != s.row1 ||
        before.row2 != s.row2)
        emit selectionChanged();
}

void CubeView::moveCurrent(int column, int row, bool extend)
{
    if (m_rows == 0 || m_columns == 0)
        return;
    column = std::clamp(column, 0, m_columns - 1);
    row = std::clamp(row, 0, m_rows - 1);
    if (extend)
        selectCells(m_anchorColumn, m_anchorRow, column, row);
    else
        selectCells(column, row, column, row);
    scrollTo(column, row);
}

void CubeView::keyPressEvent(QKeyEvent *event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int c = m_currentColumn;
    const int r = m_currentRow;
    switch (event->key()) {
    case Qt::Key_Left:
        moveCurrent(c - 1, r, shift);
        break;
    case Qt::Key_Right:
        moveCurrent(c + 1, r, shift);
        break;
    case Qt::Key_Up:
        moveCurrent(c, r - 1, shift);
        break;
    case Qt::Key_Down:
        moveCurrent(c, r + 1, shift);
        break;
    case Qt::Key_PageUp:
        moveCurrent(c, r - visibleRowCount(), shift);
        break;
    case Qt::Key_PageDown:
        moveCurrent(c, r + visibleRowCount(), shift);
        break;
    case Qt::Key_Home:
        moveCurrent(0, control ? 0 : r, shift);
        break;
    case Qt::Key_End:
        moveCurrent(m_columns - 1, control ? m_rows - 1 : r, shift);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

// ---------------------------------------------------------------- mouse

void CubeView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    m_pressPos = pos;
    m_press = Press::None;
    const int headTop = m_dataTop - m_headLines * m_rowHeight;
    if (const int column = columnBorderAt(pos); column >= 0) {
        m_press = Press::ColumnBorder;
        m_pressIndex = column;
        m_pressOrigin = pos.x();
        m_pressWidth = columnWidth(column);
    } else if (const int level = levelBorderAt(pos); level > 0) {
        m_press = Press::LevelBorder;
        m_pressLevel = level;
        m_pressOrigin = pos.x();
        m_pressWidth = rowHeadingWidth(level);
    } else if (pos.y() >= headTop && pos.y() < m_dataTop && columnAt(pos.x()) >= 0) {
        m_press = Press::ColumnHeading;
        m_pressIndex = columnAt(pos.x());
        m_pressLevel = (pos.y() - headTop) / m_rowHeight + 1;
    } else if (pos.x() < m_rowHeadWidth && rowAt(pos.y()) >= 0) {
        m_press = Press::RowHeading;
        m_pressIndex = rowAt(pos.y());
        m_pressLevel = 1;
        while (size_t(m_pressLevel) < m_levelWidths.size() && pos.x() >= levelX(m_pressLevel + 1))
            ++m_pressLevel;
    } else if (const int row = rowAt(pos.y()), cell = columnAt(pos.x()); row >= 0 && cell >= 0) {
        m_press = Press::Cells;
        if (event->modifiers() & Qt::ShiftModifier)
            selectCells(m_anchorColumn, m_anchorRow, cell, row);
        else
            selectCells(cell, row, cell, row);
    }
}

void CubeView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_dragButton) {
        moveFieldDrag(pos);
        return;
    }
    switch (m_press) {
    case Press::ColumnBorder:
        setColumnWidth(m_pressIndex, m_pressWidth + pos.x() - m_pressOrigin);
        return;
    case Press::LevelBorder:
        setRowHeadingWidth(m_pressLevel, m_pressWidth + pos.x() - m_pressOrigin);
        return;
    case Press::Cells: {
        // past the edge of the data area the selection reaches the nearest cell on screen and
        // the grid scrolls on
        const QRect area(m_rowHeadWidth, m_dataTop, viewport()->width() - m_rowHeadWidth,
                         viewport()->height() - m_dataTop);
        const QPoint inside(std::clamp(pos.x(), area.left(), area.right()),
                            std::clamp(pos.y(), area.top(), area.bottom()));
        int row = rowAt(inside.y());
        int column = columnAt(inside.x());
        if (row < 0)
            row = m_rows - 1;
        if (column < 0)
            column = m_columns - 1;
        if (pos.y() > area.bottom())
            row = std::min(m_rows - 1, row + 1);
        else if (pos.y() < area.top())
            row = std::max(0, row - 1);
        selectCells(m_anchorColumn, m_anchorRow, column, row);
        scrollTo(column, row);
        return;
    }
    default:
        break;
    }
    const bool onBorder = columnBorderAt(pos) >= 0 || levelBorderAt(pos) > 0;
    if (onBorder)
        viewport()->setCursor(Qt::SplitHCursor);
    else
        viewport()->unsetCursor();
}

void CubeView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_dragButton) {
        endFieldDrag(pos);
        return;
    }
    const Press press = m_press;
    m_press = Press::None;
    const bool still = (pos - m_pressPos).manhattanLength() < QApplication::startDragDistance();
    if (press == Press::RowHeading && still)
        headingClicked(true, m_pressLevel, m_pressIndex);
    else if (press == Press::ColumnHeading && still)
        headingClicked(false, m_pressLevel, m_pressIndex);
}

void CubeView::headingClicked(bool rowAxis, int level, int index)
{
    if (!m_cube)
        return;
    const Heading h =
        rowAxis ? m_cube->rowHeading(level, index) : m_cube->columnHeading(level, index);
    const FieldCollection fields = rowAxis ? m_cube->rowFields() : m_cube->columnFields();
    // the last level has nothing below it to show or hide
    if (h.kind != Heading::Kind::Item || level >= fields.count())
        return;
    CubeField *field = fields.item(level - 1);
    field->setExpanded(!field->isExpanded());
    m_cube->refresh();
    emit layoutChangedByUser();
}

bool CubeView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && m_cube) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QPoint pos = help->pos();
        QString tip;
        if (columnBorderAt(pos) >= 0 || levelBorderAt(pos) > 0) {
            tip = u"Arraste para mudar a largura"_s;
        } else if (const int row = rowAt(pos.y()); row >= 0 && pos.x() < m_rowHeadWidth) {
            int level = 1;
            while (size_t(level) < m_levelWidths.size() && pos.x() >= levelX(level + 1))
                ++level;
            const FieldCollection fields = m_cube->rowFields();
            if (level < fields.count() &&
                m_cube->rowHeading(level, row).kind == Heading::Kind::Item)
                tip = fields.item(level - 1)->isExpanded()
                          ? u"Clique para recolher %1"_s.arg(fields.item(level - 1)->caption())
                          : u"Clique para expandir %1"_s.arg(fields.item(level - 1)->caption());
        } else if (const int column = columnAt(pos.x());
                   column >= 0 && pos.y() < m_dataTop &&
                   pos.y() >= m_dataTop - m_headLines * m_rowHeight) {
            const int level = (pos.y() - (m_dataTop - m_headLines * m_rowHeight)) / m_rowHeight + 1;
            const FieldCollection fields = m_cube->columnFields();
            if (level < fields.count() &&
                m_cube->columnHeading(level, column).kind == Heading::Kind::Item)
                tip = fields.item(level - 1)->isExpanded()
                          ? u"Clique para recolher %1"_s.arg(fields.item(level - 1)->caption())
                          : u"Clique para expandir %1"_s.arg(fields.item(level - 1)->caption());
        }
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

} // namespace tessal::cube
