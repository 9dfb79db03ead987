#pragma once

#include "controls/griddocument.h"
#include "controls/gridlayout.h"
#include "controls/groupedquerymodel.h"
#include "core/error.h"

#include <QFrame>
#include <QWidget>
#include <memory>

class QLabel;
class QMenu;
class QTreeView;
class QHBoxLayout;

namespace tessal {

class DataGrid;

// The area above a grouping grid that takes the column headers dropped into it: each one groups
// the rows by that column, outermost first. It shows the levels in force, each with a button
// that removes it.
class GroupDropArea : public QFrame
{
    Q_OBJECT
public:
    static constexpr const char *MimeType = "application/x-tessal-grid-field";
    static const QString Prompt;

    explicit GroupDropArea(QWidget *parent = nullptr);
    // The levels shown, as (field, caption).
    void showLevels(const QList<std::pair<QString, QString>> &levels);

signals:
    void fieldDropped(const QString &field);
    void levelRemoved(const QString &field);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QLabel *m_prompt;
    QHBoxLayout *m_levels;
};

// A grid over an SQL result of any size that the operator groups by dragging column headers into
// the area above it, sorts by clicking a header (again for the other direction), and reads with a
// record navigator ("Registro: N de M") under it; columns can be hidden, reordered and resized,
// and the whole arrangement read and applied as a GridLayout. Long reads show a progress window
// with a cancel button. Refusals of the operator's own actions (a sort, a drop) are announced by
// readFailed, since they come from no handler of the window.
class GroupingGrid
    : public QWidget
    , public LayoutGrid
{
    Q_OBJECT
public:
    explicit GroupingGrid(QWidget *parent = nullptr);
    ~GroupingGrid() override;

    void setDatabasePath(const QString &path);
    void setSql(const QString &sql, const QVariantList &bindValues = {});
    // The result field holding each row's identity (an integer unique per row).
    void setIdentityField(const QString &field);
    void setColumns(const QList<GridColumn> &columns);
    void setColumnFormat(const QString &field, GroupedQueryModel::CellFormatter formatter,
                         Qt::Alignment alignment = {});
    void setFormatConditions(const QString &field, const QList<FormatCondition> &conditions);
    // A column whose stored value is one of another grid's rows: it shows that row's
    // `listField` for its `boundField`. The other grid is read when it is refreshed.
    void setColumnDropDown(const QString &field, DataGrid *list, const QString &listField,
                           const QString &boundField);

    // Reads the rows again, keeping grouping and sort. Throws tessal::Error as the model does.
    void refresh();
    // Each of these reads the rows again and throws as refresh() does.
    void groupBy(const QString &field);
    void groupByCurrentColumn();
    void ungroup();
    void sortBy(const QString &field, Qt::SortOrder order);

    // The rows as the grid shows them (its visible columns in their order and widths, its groups
    // and colours), laid out in pages; with settings.selectedOnly, the selected rows. Long
    // builds show the progress window. Throws tessal::Error when refused or cancelled.
    std::shared_ptr<GridDocument> printDocument(GridDocument::Settings settings);

    GridLayout layout() const override;
    void applyLayout(const GridLayout &layout) override;

    // The field of the column holding the current cell; empty without one.
    QString currentField() const;
    // Place (from 1) of the current row among all rows; 0 on a group row or none.
    qint64 currentRecord() const;
    QString navigatorText() const;

    QTreeView *view() const { return m_view; }
    GroupedQueryModel *model() const { return m_model; }
    GroupDropArea *groupArea() const { return m_groupArea; }
    QLabel *navigator() const { return m_navigator; }

    // The menu the operator opens on a column (the context-menu key or a right click): sort it
    // either way, group by it, ungroup. The caller owns it.
    QMenu *columnMenu(int column);

    // The MIME data a header drag carries for the column (from 0); the drop area reads it.
    QMimeData *dragDataFor(int column) const;

signals:
    void readFailed(const tessal::ErrorInfo &error);
    // Grouping, sort or the columns changed (by the operator or through the calls above).
    void layoutChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void run(const std::function<void()> &change);
    void withProgress(const std::function<void()> &work);
    void afterRead();
    void updateNavigator();
    void showLevels();
    bool progress(qint64 done, qint64 total);

    GroupedQueryModel *m_model;
    QTreeView *m_view;
    GroupDropArea *m_groupArea;
    QLabel *m_navigator;
    int m_pressedSection = -1;
    QPoint m_pressPos;
    bool m_busy = false;
    struct ProgressState;
    std::unique_ptr<ProgressState> m_progress;
};

} // namespace tessal
