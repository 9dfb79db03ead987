#pragma once

#include "querywindowmodel.h"

#include <QWidget>

class QTableView;

namespace tessal {

// The grid the data windows list their tables in: given a database path and an SQL text it
// re-reads its rows on request, keeps a current row, reports that row's values by column number
// and signals each change of it. Rows are read in windows, never all at once.
class DataGrid : public QWidget
{
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);

    void setDatabasePath(const QString &path);
    QString databasePath() const { return m_model->databasePath(); }
    void setSql(const QString &sql);
    QString sql() const { return m_model->sql(); }
    void setColumns(const QList<GridColumn> &columns);

    // Re-reads the rows; the first row becomes current (none when the result is empty). Throws
    // tessal::Error when the database or the SQL is refused; the grid is then empty.
    void refresh();

    int rowCount() const;
    int columnCount() const;
    // From 0; -1 when there is no current row.
    int currentRow() const;
    void setCurrentRow(int row);

    // The current row's value in a column counted from 1, as the data windows number them; a
    // null QVariant for Null, no current row or no such column.
    QVariant columnValue(int column) const;
    // Null shows as an empty text.
    QString columnText(int column) const;

    QTableView *view() const { return m_view; }
    QueryWindowModel *model() const { return m_model; }

signals:
    // The current row moved, by click, keyboard or refresh; -1 when the grid became empty. A
    // click on the row that was already current counts too, so the operator can always bring a
    // row's record back by clicking it (after a refresh the first row is current already).
    void currentRowChanged(int row);

private:
    QueryWindowModel *m_model;
    QTableView *m_view;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_lastRow = -1;
    int m_rowAtPress = -1;
};

} // namespace tessal
