#include "controls/datagrid.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

// Paints the preview line under each row and edits drop-down columns with a list of the other
// grid's rows.
class GridItemDelegate : public QStyledItemDelegate
{
public:
    GridItemDelegate(DataGrid *grid)
        : QStyledItemDelegate(grid)
        , m_grid(grid)
    {}

    bool preview = false;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        if (!preview) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // The cell's own text keeps to the upper line; the preview runs across the row below
        // it, each cell painting the stretch of it that falls inside its own rectangle.
        const int line = option.fontMetrics.height() + 4;
        QStyleOptionViewItem upper = option;
        upper.displayAlignment =
            (option.displayAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
        initStyleOption(&upper, index);
        upper.displayAlignment = (upper.displayAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
        QStyledItemDelegate::paint(painter, upper, index);

        // The view's vertical grid lines would cross the preview line: rows are ruled here.
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
        const QString text = index.data(QueryWindowModel::PreviewRole).toString();
        if (text.isEmpty())
            return;
        const QTableView *view = m_grid->view();
        int rowLeft = option.rect.left();
        for (int c = 0; c < index.model()->columnCount(); ++c) {
            if (!view->isColumnHidden(c)) {
                rowLeft = view->columnViewportPosition(c);
                break;
            }
        }
        painter->save();
        painter->setClipRect(option.rect);
        QFont font = option.font;
        font.setItalic(true);
        painter->setFont(font);
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                                 : QColor(0x00, 0x33, 0x80));
        const QRect band(rowLeft + 14, option.rect.top() + line, 4000, option.rect.height() - line);
        painter->drawText(band, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter->restore();
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        if (!m_grid->m_dropDowns.contains(index.column()))
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto *list = new QComboBox(parent);
        list->setObjectName(u"dropDown"_s);
        for (const auto &[bound, shown] : m_grid->dropDownItems(index.column() + 1))
            list->addItem(shown, bound);
        // A pick in the list is the edit: no further key is needed to commit it.
        connect(list, &QComboBox::activated, this, [this, list] {
            emit const_cast<GridItemDelegate *>(this)->commitData(list);
            emit const_cast<GridItemDelegate *>(this)->closeEditor(list);
        });
        return list;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *list = qobject_cast<QComboBox *>(editor);
        if (!list)
            return QStyledItemDelegate::setEditorData(editor, index);
        list->setCurrentIndex(list->findData(index.data(Qt::EditRole).toString()));
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        auto *list = qobject_cast<QComboBox *>(editor);
        if (!list)
            return QStyledItemDelegate::setModelData(editor, model, index);
        const QVariant picked = list->currentData();
        if (!picked.isValid() || picked.toString() == index.data(Qt::EditRole).toString())
            return;
        // Queued: the handler re-reads the grid, which must not happen under the closing editor.
        const int row = index.row();
        const int column = index.column() + 1;
        QMetaObject::invokeMethod(
            m_grid,
            [grid = m_grid, row, column, picked] {
                emit grid->dropDownPicked(row, column, picked);
            },
            Qt::QueuedConnection);
    }

private:
    DataGrid *m_grid;
};

// The grid's view: the focus chooses no row by itself, Home and End go by rows, and Enter and a
// click on the row already current choose it again.
class GridView : public QTableView
{
public:
    explicit GridView(DataGrid *grid)
        : QTableView(grid)
        , m_grid(grid)
    {}

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && state() != EditingState && currentIndex().isValid()) {
            // The keyboard's counterpart of a click on the row already current.
            event->accept();
            emit m_grid->rowChosen(currentIndex().row());
            return;
        }
        QTableView::keyPressEvent(event);
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        m_grid->m_rowAtPress = m_grid->m_lastRow;
        QTableView::mousePressEvent(event);
    }

    void focusInEvent(QFocusEvent *event) override
    {
        // A view without a current row makes its first row current when it takes the focus,
        // unless it was told "none" since its last reset: tell it, so that tabbing through the
        // window chooses no record.
        if (!currentIndex().isValid())
            setCurrentIndex(QModelIndex());
        QTableView::focusInEvent(event);
    }

    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        // Rows are what the operator chooses: Home and End go to the first and the last row (as
        // Ctrl+Home and Ctrl+End do), not to the ends of the current row.
        if (action == MoveHome || action == MoveEnd)
            modifiers |= Qt::ControlModifier;
        // Without a current row the view sends every key to the first row; End means the last.
        const QModelIndex moved = QTableView::moveCursor(action, modifiers);
        if (action == MoveEnd && !currentIndex().isValid() && moved.isValid())
            return model()->index(model()->rowCount(rootIndex()) - 1, moved.column(), rootIndex());
        return moved;
    }

private:
    DataGrid *m_grid;
};

DataGrid::DataGrid(QWidget *parent)
    : QWidget(parent)
    , m_model(new QueryWindowModel(this))
    , m_view(new GridView(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view->setObjectName(u"view"_s);
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The grid is one stop in the window's tab chain: the arrows move between rows.
    m_view->setTabKeyNavigation(false);
    m_view->setItemDelegate(new GridItemDelegate(this));
    m_view->setAlternatingRowColors(true);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    // A click that moved the row has chosen it already; one on the row already current chooses
    // it again.
    connect(m_view, &QTableView::clicked, this, [this](const QModelIndex &index) {
        if (index.isValid() && index.row() == m_rowAtPress && index.row() == m_lastRow)
            emit rowChosen(index.row());
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                const int row = current.isValid() ? current.row() : -1;
                if (row == m_lastRow)
                    return;
                m_lastRow = row;
                emit currentRowChanged(row);
                // Whatever moved the row if the program did not (a key, the mouse on a cell or a
                // row number, an accessibility tool) acted for the operator.
                if (!m_byProgram && row >= 0)
                    emit rowChosen(row);
            });
}

void DataGrid::setDatabasePath(const QString &path)
{
    m_model->setDatabasePath(path);
}

void DataGrid::setSql(const QString &sql, const QVariantList &bindValues)
{
    m_model->setSql(sql, bindValues);
}

void DataGrid::setColumns(const QList<GridColumn> &columns)
{
    m_model->setColumns(columns);
}

void DataGrid::refresh()
{
    // A re-read only lists the rows: it chooses none.
    const QScopedValueRollback byProgram(m_byProgram, true);
    try {
        m_model->refresh();
    } catch (...) {
        forgetCurrentRow();
        throw;
    }
    forgetCurrentRow();
    // The list shows its first rows again, laid out now rather than on the next event.
    if (rowCount() > 0)
        m_view->scrollTo(m_model->index(0, 0), QAbstractItemView::PositionAtTop);
}

void DataGrid::forgetCurrentRow()
{
    // A reset clears the view's current index without a signal of its own.
    if (m_lastRow == -1)
        return;
    m_lastRow = -1;
    emit currentRowChanged(-1);
}

void DataGrid::setPreviewField(const QString &field)
{
    m_model->setPreviewField(field);
    auto *delegate = static_cast<GridItemDelegate *>(m_view->itemDelegate());
    delegate->preview = !field.isEmpty();
    // A wrapped cell text would run into the preview line below it.
    m_view->setWordWrap(!delegate->preview);
    m_view->setShowGrid(!delegate->preview);
    const int line = m_view->fontMetrics().height() + 4;
    m_view->verticalHeader()->setDefaultSectionSize(delegate->preview ? 2 * line + 2 : line + 2);
}

void DataGrid::setRowAttributeHook(QueryWindowModel::RowAttributeHook hook)
{
    m_model->setRowAttributeHook(std::move(hook));
}

void DataGrid::setRowStyle(const QString &attribute, const GridRowStyle &style)
{
    m_model->setRowStyle(attribute, style);
}

void DataGrid::setColumnDropDown(int column, DataGrid *list, const QString &listField,
                                 const QString &boundField, bool editable)
{
    const int index = column - 1;
    m_dropDowns.insert(index, {list, listField, boundField});
    m_model->setColumnEditable(index, editable);
    if (editable)
        m_view->setEditTriggers(QAbstractItemView::DoubleClicked |
                                QAbstractItemView::SelectedClicked |
                                QAbstractItemView::EditKeyPressed);
    // The cell shows the other grid's text for its code; a code it does not list shows as is.
    m_model->setColumnFormat(index, [this, column](const QVariant &stored) {
        const QString code = stored.isNull() ? QString() : stored.toString();
        for (const auto &[bound, shown] : dropDownItems(column))
            if (bound.toString() == code)
                return shown;
        return code;
    });
    // Re-reading the list changes what the column shows.
    connect(list->model(), &QAbstractItemModel::modelReset, this, [this, index] {
        if (rowCount() > 0)
            emit m_model->dataChanged(m_model->index(0, index),
                                      m_model->index(rowCount() - 1, index));
    });
}

QList<std::pair<QVariant, QString>> DataGrid::dropDownItems(int column) const
{
    QList<std::pair<QVariant, QString>> items;
    const auto found = m_dropDowns.constFind(column - 1);
    if (found == m_dropDowns.cend() || !found->list)
        return items;
    const QueryWindowModel *source = found->list->model();
    const int bound = source->columnOfField(found->boundField);
    const int shown = source->columnOfField(found->listField);
    if (bound < 0 || shown < 0)
        return items;
    for (int row = 0; row < source->rowCount(); ++row)
        items.append({source->value(row, bound), source->text(row, shown)});
    return items;
}

int DataGrid::rowCount() const
{
    return m_model->rowCount();
}

int DataGrid::columnCount() const
{
    return m_model->columnCount();
}

int DataGrid::currentRow() const
{
    const QModelIndex current = m_view->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void DataGrid::setCurrentRow(int row)
{
    const QScopedValueRollback byProgram(m_byProgram, true);
    QItemSelectionModel *selection = m_view->selectionModel();
    if (row < 0 || row >= rowCount()) {
        selection->clearCurrentIndex();
        selection->clearSelection();
        forgetCurrentRow();
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->scrollTo(index);
}

QVariant DataGrid::columnValue(int column) const
{
    const int row = currentRow();
    if (row < 0)
        return {};
    return m_model->value(row, column - 1);
}

QString DataGrid::columnText(int column) const
{
    const QVariant stored = columnValue(column);
    return stored.isNull() ? QString() : stored.toString();
}

} // namespace tessal
