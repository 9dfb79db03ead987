#include "datagrid.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

DataGrid::DataGrid(QWidget *parent)
    : QWidget(parent)
    , m_model(new QueryWindowModel(this))
    , m_view(new QTableView(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view->setObjectName(u"view"_s);
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setAlternatingRowColors(true);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    m_view->viewport()->installEventFilter(this);
    connect(m_view, &QTableView::clicked, this, [this](const QModelIndex &index) {
        if (index.isValid() && index.row() == m_rowAtPress && index.row() == m_lastRow)
            emit currentRowChanged(index.row());
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                const int row = current.isValid() ? current.row() : -1;
                if (row == m_lastRow)
                    return;
                m_lastRow = row;
                emit currentRowChanged(row);
            });
}

void DataGrid::setDatabasePath(const QString &path)
{
    m_model->setDatabasePath(path);
}

void DataGrid::setSql(const QString &sql)
{
    m_model->setSql(sql);
}

void DataGrid::setColumns(const QList<GridColumn> &columns)
{
    m_model->setColumns(columns);
}

void DataGrid::refresh()
{
    struct Reposition
    {
        DataGrid *grid;
        ~Reposition()
        {
            // A reset clears the current index without a signal of its own; the first row
            // becomes current, as after re-running a record set.
            grid->m_lastRow = -2;
            grid->setCurrentRow(grid->rowCount() > 0 ? 0 : -1);
        }
    } reposition{this};
    m_model->refresh();
}

bool DataGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::MouseButtonPress)
        m_rowAtPress = m_lastRow;
    return QWidget::eventFilter(watched, event);
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
    QItemSelectionModel *selection = m_view->selectionModel();
    if (row < 0 || row >= rowCount()) {
        selection->clearCurrentIndex();
        selection->clearSelection();
        if (m_lastRow != -1) {
            m_lastRow = -1;
            emit currentRowChanged(-1);
        }
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    const int before = m_lastRow;
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->scrollTo(index);
    if (m_lastRow == before) { // same index as before the reset: no signal came from the view
        m_lastRow = row;
        emit currentRowChanged(row);
    }
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
