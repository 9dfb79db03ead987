#pragma once

#include "cube/cube.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <map>
#include <vector>

namespace tessal::cube {

class FieldButton;
class FilterPopup;

// The pivot table on screen. From the top: the page-field area, then a bar with the data-field
// buttons (left) and the column-field buttons (right), the column headings (the row-field buttons
// sit on their last line, one above each row-heading level), and below them the row headings and
// the data cells. Field buttons are dragged between the areas to re-pivot; their drop-down arrow
// filters the items; a click on a heading expands or collapses its level.
//
// Only what is on screen is ever asked of the cube: the rows have one height, so the vertical
// scroll bar counts rows, and heading groups are merged over the visible lines only (the first
// visible line repeats the caption of a group that started above it).
//
// Every rectangle below is in viewport coordinates (viewport()->mapTo(this, ...) for the
// widget's); an empty rectangle means "not on screen".
class CubeView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit CubeView(QWidget *parent = nullptr);
    ~CubeView() override;

    // Not owned; the view follows Cube::refreshed.
    void setCube(Cube *cube);
    Cube *cube() const;

    // The selected cells, also kept in cube()->selection() (the chart tools read it there).
    Selection selection() const;
    void setSelection(const Selection &s);
    // the cell the keyboard moves from (the corner of the selection opposite its anchor)
    int currentColumn() const { return m_currentColumn; }
    int currentRow() const { return m_currentRow; }

    QRect fieldButtonRect(const CubeField *field) const;
    QRect dropDownRect(const CubeField *field) const; // the button's arrow
    // where fields of that orientation are dropped (Page, Data, Column or Row)
    QRect areaRect(Orientation area) const;
    QRect rowHeadingRect(int level, int row) const; // one line of the heading, levels from 1
    QRect columnHeadingRect(int level, int column) const;
    QRect cellRect(int column, int row) const;

    int rowHeight() const { return m_rowHeight; }
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);
    int rowHeadingWidth(int level) const;
    void setRowHeadingWidth(int level, int width);
    int firstVisibleRow() const;
    // scrolls the least needed for the cell to be on screen
    void scrollTo(int column, int row);

    // Re-pivots as a drop does: `field` goes to `orientation` at `index` among the fields already
    // there (past the end: last) and the cube is refreshed. Dimension fields move among page, row
    // and column; data fields only change places among themselves. False when not allowed.
    bool moveField(CubeField *field, Orientation orientation, int index);
    // Opens the item filter of a page, row or column field under its button.
    void showFilter(CubeField *field);
    // the open filter popup, null when none
    QWidget *filterPopup() const;

signals:
    void selectionChanged();
    // after the user re-pivoted, filtered, expanded or collapsed
    void layoutChangedByUser();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    friend class FieldButton;

    struct DropTarget
    {
        Orientation area = Orientation::None;
        int index = 0;
    };
    enum class Press { None, Cells, ColumnBorder, LevelBorder, RowHeading, ColumnHeading };

    void cubeRefreshed();
    void cubeDestroyed();
    void updateMetrics();
    void relayout();
    void layoutButtons();
    void updateScrollBars();
    FieldButton *buttonFor(const CubeField *field) const;
    std::vector<CubeField *> fieldsIn(Orientation area) const;

    // geometry
    int headerBottom() const { return m_dataTop; }
    int visibleRowCount() const; // whole rows that fit
    qint64 columnOffset(int column) const;
    int columnAtOffset(qint64 offset) const;
    qint64 columnsWidth() const;
    int levelX(int level) const;
    int rowAt(int y) const;    // -1 outside the data lines
    int columnAt(int x) const; // -1 outside the data columns
    int columnBorderAt(const QPoint &pos) const;
    int levelBorderAt(const QPoint &pos) const;
    QStringList columnKey(int column) const;

    // painting
    void paintAreas(QPainter &p);
    void paintColumnHeadings(QPainter &p);
    void paintRowHeadings(QPainter &p);
    void paintCells(QPainter &p);
    void paintSelection(QPainter &p);
    void paintDropIndicator(QPainter &p);
    void paintHeadingCell(QPainter &p, const QRect &r, const Heading &h, int sign) const;

    // field dragging, driven by the buttons and the viewport alike
    void beginFieldDrag(FieldButton *button, const QPoint &viewportPos);
    void moveFieldDrag(const QPoint &viewportPos);
    void endFieldDrag(const QPoint &viewportPos);
    DropTarget dropTargetAt(const QPoint &viewportPos) const;
    void showFieldMenu(FieldButton *button, const QPoint &globalPos);

    void headingClicked(bool rowAxis, int level, int index);
    void selectCells(int anchorColumn, int anchorRow, int column, int row);
    void moveCurrent(int column, int row, bool extend);

    Cube *m_cube = nullptr;              // cleared when the cube goes
    QHash<int, FieldButton *> m_buttons; // by field index
    QPointer<FilterPopup> m_popup;

    // what the grid looked like at the last refresh
    int m_rows = 0;
    int m_columns = 0;
    int m_rowLevels = 0;
    int m_columnLevels = 0;
    std::vector<int> m_rowFieldIndices;

    // metrics
    int m_rowHeight = 20;
    int m_buttonHeight = 22;
    int m_defaultColumnWidth = 96;
    int m_defaultLevelWidth = 120;
    // layout
    int m_pageHeight = 0;
    int m_barTop = 0;
    int m_dataTop = 0;
    int m_headLines = 1;
    std::vector<int> m_levelWidths; // at least one, even with no row field
    int m_rowHeadWidth = 0;
    QHash<int, int> m_levelWidthByField;
    std::map<int, int> m_columnWidths;            // columns the user sized
    std::map<int, QStringList> m_columnWidthKeys; // their headings when sized

    // selection
    int m_anchorColumn = 0;
    int m_anchorRow = 0;
    int m_currentColumn = 0;
    int m_currentRow = 0;

    // mouse
    Press m_press = Press::None;
    int m_pressIndex = -1;
    int m_pressLevel = 0;
    int m_pressOrigin = 0;
    int m_pressWidth = 0;
    QPoint m_pressPos;

    // field drag
    FieldButton *m_dragButton = nullptr; // the button being dragged, owned by the viewport
    QPoint m_dragPos;
    DropTarget m_dropTarget;
};

} // namespace tessal::cube
