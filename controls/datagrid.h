#pragma once

#include "controls/querywindowmodel.h"

#include <QHash>
#include <QWidget>
#include <utility>

class QTableView;

namespace tessal {

// The grid the data windows list their tables in: given a database path and an SQL text it
// re-reads its rows on request, keeps a current row, reports that row's values by column number
// and signals each change of it. Rows are read in windows, never all at once.
//
// Only the operator chooses a row (rowChosen): a re-read lists the rows and leaves none current,
// and taking the focus makes none current either, so a window fills its fields with a record
// only when the operator picks it. In the view, the first key that moves takes the first row
// (End the last), and Tab goes on to the next control rather than from cell to cell.
class DataGrid : public QWidget
{
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);

    void setDatabasePath(const QString &path);
    QString databasePath() const { return m_model->databasePath(); }
    // "?" placeholders in the SQL take their values from bindValues, in order.
    void setSql(const QString &sql, const QVariantList &bindValues = {});
    QString sql() const { return m_model->sql(); }
    void setColumns(const QList<GridColumn> &columns);

    // Re-reads the rows and leaves no row current. Throws tessal::Error when the database or the
    // SQL is refused; the grid is then empty.
    void refresh();

    int rowCount() const;
    int columnCount() const;
    // From 0; -1 when there is no current row.
    int currentRow() const;
    // The program's move: raises currentRowChanged, never rowChosen.
    void setCurrentRow(int row);

    // The current row's value in a column counted from 1, as the data windows number them; a
    // null QVariant for Null, no current row or no such column.
    QVariant columnValue(int column) const;
    // Null shows as an empty text.
    QString columnText(int column) const;

    QTableView *view() const { return m_view; }
    QueryWindowModel *model() const { return m_model; }

    // Rows are read by their key near rows already read (see QueryWindowModel::setKeyFields).
    void setKeyFields(const QStringList &fields) { m_model->setKeyFields(fields); }

    // A result field shown as a line under each row, across the whole row; empty for none.
    // Applies from the next refresh.
    void setPreviewField(const QString &field);

    // The window's say in each row's look: the hook gets every row before it is shown, and the
    // attribute it returns picks one of the styles set here.
    void setRowAttributeHook(QueryWindowModel::RowAttributeHook hook);
    void setRowStyle(const QString &attribute, const GridRowStyle &style);
    // The attribute the hook gave a row (from 0); empty without a hook.
    QString rowAttribute(int row) const { return m_model->rowAttribute(row); }

    // A column (counted from 1) whose value is one of another grid's rows: the cell shows that
    // row's `listField` for its stored `boundField`, and, when editable, offers the other grid's
    // rows in a drop-down list. The grid stores nothing: a pick raises dropDownPicked and the
    // window decides what it does (and re-reads). The other grid is read when it is refreshed.
    void setColumnDropDown(int column, DataGrid *list, const QString &listField,
                           const QString &boundField, bool editable);
    // The other grid's rows as (bound value, shown text), in its order.
    QList<std::pair<QVariant, QString>> dropDownItems(int column) const;

signals:
    // The current row moved, whoever moved it; -1 when no row is current any more (after a
    // refresh, for one).
    void currentRowChanged(int row);
    // The operator chose a row: any move of the current row but refresh() and setCurrentRow()
    // (a click on the row or its number, the arrows, Home/End, the page keys, typing to jump), or
    // a click or Enter on the row already current, so that its record can be brought back after
    // the window's fields were cleared.
    void rowChosen(int row);
    // The operator picked `bound` in the drop-down list of `column` (from 1) on `row` (from 0),
    // a value other than the stored one. Raised after the editor has closed, so a handler may
    // re-read the grid.
    void dropDownPicked(int row, int column, const QVariant &bound);

private:
    struct DropDown
    {
        DataGrid *list = nullptr;
        QString listField;
        QString boundField;
    };
    friend class GridItemDelegate;
    friend class GridView;

    void forgetCurrentRow();

    QueryWindowModel *m_model;
    QTableView *m_view;
    int m_lastRow = -1;
    int m_rowAtPress = -1;
    bool m_byProgram = false;         // while refresh() or setCurrentRow() runs
    QHash<int, DropDown> m_dropDowns; // by column from 0
};

} // namespace tessal
