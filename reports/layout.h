#pragma once

#include "reports/expression.h"

#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <optional>
#include <vector>

namespace tessal::reports {

// The version of the .rpt format this build reads and writes; docs/relatorios.md describes it.
inline constexpr int LayoutFormatVersion = 1;

enum class Align { Left, Right, Center };

// A value shown in a text: "[credito]", "[data:dd/MM]", "[conta.nome]", "[pagina]".
struct Placeholder
{
    enum class Kind {
        Field,
        Total,
        Lookup,
        Title,
        Page,
        Pages,
        PrintedDate,
        PrintedTime,
        From,
        To
    };
    Kind kind = Kind::Title;
    int index = -1;    // Field, Total: position in the layout's list; Lookup: its field
    int subindex = -1; // Lookup: the field within it
    QString format;    // a date format, or "1.234,56" / "1234,56" for amounts; empty: the default
};

struct Segment
{
    QString text; // shown as it is when not a placeholder
    std::optional<Placeholder> value;
};
using Template = std::vector<Segment>;

struct Cell
{
    int firstColumn = -1; // -1: the whole width between the margins
    int lastColumn = -1;
    std::optional<Align> align; // none: the column's own, or left across several
    Template content;
};

struct BandLine
{
    enum class Kind { Cells, Columns, Headings, Rule, DoubleRule, Space };
    enum class Style { Normal, Bold, Title, Small };
    Kind kind = Kind::Cells;
    Style style = Style::Normal;
    std::vector<Cell> cells;
};
using Band = std::vector<BandLine>;

struct Field
{
    QString name;
    NodePtr expression;
    ValueType type;
    bool aggregate = false;
};

struct Total
{
    enum class Function { Sum, Count, Running, Before };
    QString name;
    Function function = Function::Sum;
    int field = -1; // -1: CONTAGEM() of every row
    int start = -1; // Running: the Before total it starts from
    int group = -1; // reset at each new group of this level; -1: over the whole report
};

struct Lookup
{
    QString name;
    QString table;
    NodePtr condition;
    std::vector<Field> fields;
};

struct Join
{
    QString table;
    NodePtr condition;
    bool optional = false; // LEFT JOIN: the rows of the tables before it stay without a match
};

struct OrderItem
{
    int field = -1;        // a field of the list, or
    SchemaColumn column{}; // a column of the source
    bool descending = false;
};

struct Column
{
    QString name;
    double weight = 1;
    Align align = Align::Left;
    QString title;
    Template content;
};

struct Group
{
    int field = -1;
    Band header;
    Band footer;
};

struct Layout
{
    QString fileName;
    int version = LayoutFormatVersion;

    // [relatorio]
    QString title;
    QPageSize::PageSizeId paper = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double marginMm = 15;
    double fontPoints = 9;
    QString dateFormat = QStringLiteral("dd/MM/yyyy");
    bool groupedAmounts = true; // "1.234,56" rather than "1234,56"
    QString noRows;             // printed in the body when nothing was selected

    // [dados]
    QString table;
    std::vector<Join> joins;
    std::optional<SchemaColumn> period;
    bool selectionRequired = false;
    std::vector<OrderItem> order;

    std::vector<Field> fields;
    std::vector<Total> totals;
    std::vector<Lookup> lookups;
    std::vector<Column> columns;
    std::vector<Group> groups; // outermost first

    Band pageHeader;
    Band pageFooter;
    Band reportHeader;
    Band reportFooter;
    Band detail;

    bool summary() const;       // a field sums or counts: one row per distinct value of the others
    QStringList tables() const; // the source's tables, lower case
};

// Reads a layout. Refuses with tessal::Error, naming the file and the line: a file that is not a
// layout of ours (foreign), one written in a newer format, and a damaged one (not text, cut
// short, or with a line it cannot read).
Layout readLayout(const QString &path);
Layout parseLayout(const QByteArray &bytes, const QString &fileName);

} // namespace tessal::reports
