#pragma once

#include <QColor>
#include <QList>
#include <QString>

namespace tessal {

// A value of one column that gives its rows a look of their own ("D" red on yellow).
struct FormatCondition
{
    QString value;
    QColor foreground;
    QColor background;
    friend bool operator==(const FormatCondition &, const FormatCondition &) = default;
};

// What the operator can change of a grouping grid and keep in a layout file: its columns in the
// order they are shown (hidden ones included), the grouping, the sort and the format conditions.
// Columns are named by the result field they show, so a layout fits any grid over the same
// fields.
struct GridLayout
{
    struct Column
    {
        QString field;
        QString caption;
        int width = 0; // pixels; 0 for the grid's own
        bool visible = true;
        friend bool operator==(const Column &, const Column &) = default;
    };

    QList<Column> columns;       // in the order they are shown
    QStringList groupFields;     // outermost first
    QString sortField;           // empty: the result's own order
    bool sortDescending = false; // with sortField
    QString conditionField;      // the column the format conditions test
    QList<FormatCondition> conditions;

    friend bool operator==(const GridLayout &, const GridLayout &) = default;
};

// A grid whose layout can be read and changed as a whole: the field chooser and the layout files
// go through this.
class LayoutGrid
{
public:
    virtual ~LayoutGrid() = default;
    virtual GridLayout layout() const = 0;
    // Applies the layout; fields the grid does not have are ignored.
    virtual void applyLayout(const GridLayout &layout) = 0;
};

} // namespace tessal
