#pragma once

#include <QHash>
#include <QString>
#include <vector>

namespace tessal::cube {

// The orientation codes the windows store and compare: 0 is "on no axis".
enum class Orientation : int { None = 0, Column = 1, Row = 2, Data = 3, Page = 4 };

// Axis codes of hit records and selections.
enum class Axis : int { Column = 2, Row = 3 };

enum class Aggregate : int { Sum = 0, Count = 1 };

// How a field's items compare and show: taken from the loaded values.
enum class ValueKind : int { Text = 0, Integer = 1, Date = 2, Number = 3 };

// Ranking of a field's items by a data field (0 keeps the field's own order).
enum class RankingMode : int { None = 0, Descending = 1, Ascending = 2 };

inline constexpr quint32 White = 16777215;
inline constexpr quint32 Black = 0;

// What the user changed about one item, kept by item name so that it survives a reload of the
// data and travels in layout-only files.
struct ItemState
{
    QString caption; // empty: the item's own caption
    bool included = true;
    friend bool operator==(const ItemState &, const ItemState &) = default;
};

// A field as a definition lists it; the engine's CubeField wraps one of these.
struct FieldDefinition
{
    QString caption;
    QString name;
    QString sourceExpression;
    Orientation orientation = Orientation::None;
    int position = 0;
    bool visible = true;
    bool expanded = true;
    int groupFooter = -1;
    QString numberFormat;
    Aggregate aggregate = Aggregate::Sum;
    bool calculated = false;
    int headingWidth = 0;
    QString totalCaption = QStringLiteral("Total");
    RankingMode rankingMode = RankingMode::None;
    int rankingDataField = 0; // data field number, from 1; 0 = none
    int ascending = 0;        // 1 = own items in ascending order
    QHash<QString, ItemState> itemStates;
    friend bool operator==(const FieldDefinition &, const FieldDefinition &) = default;
};

struct CubeProperties
{
    int connectType = 1;
    QString connect = QStringLiteral("Access");
    QString databaseName;
    QString recordSource;
    bool autoDataRefresh = false;
    QString sqlYearPart;
    QString sqlQuarterPart;
    QString sqlMonthPart;
    QString sqlWeekPart;
    QString headerCaption;
    QString footerCaption;
    bool visible = true;
    friend bool operator==(const CubeProperties &, const CubeProperties &) = default;
};

struct CubeDefinition
{
    CubeProperties properties;
    std::vector<FieldDefinition> fields;
    friend bool operator==(const CubeDefinition &, const CubeDefinition &) = default;
};

// The per-cell format event: the value and the signed data-field number come in (negative on
// total cells; the field is |number| - 1 of the data-field collection), the colours go out.
struct CellFormat
{
    double value = 0;
    int dataField = 0;
    quint32 backColor = White;
    quint32 foreColor = Black;
};

} // namespace tessal::cube
