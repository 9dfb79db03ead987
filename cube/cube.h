#pragma once

#include "cube/columnstore.h"
#include "cube/cubetypes.h"
#include "cube/rowsource.h"

#include <QObject>
#include <QPointer>
#include <QSqlDatabase>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace tessal::cube {

class Aggregation;
class Cube;
struct AxisEntry;

// Error numbers a cube raises (as tessal::Error) besides the database's own.
namespace CubeError {
inline constexpr int FileNotFound = 1014;
inline constexpr int WrongPassword = 1021;
inline constexpr int BadFile = 1024;     // truncated, damaged or not a cube file
inline constexpr int WriteFailed = 1025; // the file could not be written
inline constexpr int FetchFailed = 1026; // the address could not be fetched
// a record source or field expression that is not one read-only SELECT (see rowsource.h's
// requireReadOnlySelect); refused before anything of it runs
inline constexpr int UnsafeStatement = 1027;
} // namespace CubeError

class CubeField
{
public:
    int index() const { return m_index; }
    const FieldDefinition &definition() const { return m_def; }

    const QString &caption() const { return m_def.caption; }
    void setCaption(const QString &caption);
    const QString &name() const { return m_def.name; }
    void setName(const QString &name);
    const QString &sourceExpression() const { return m_def.sourceExpression; }
    Orientation orientation() const { return m_def.orientation; }
    // joins the end of the new orientation's collection
    void setOrientation(Orientation orientation);
    int position() const { return m_def.position; }
    // moves within its collection; the others close up behind it
    void setPosition(int position);
    bool isVisible() const { return m_def.visible; }
    void setVisible(bool visible);
    bool isExpanded() const { return m_def.expanded; }
    void setExpanded(bool expanded);
    int groupFooter() const { return m_def.groupFooter; }
    void setGroupFooter(int footer);
    const QString &numberFormat() const { return m_def.numberFormat; }
    void setNumberFormat(const QString &format);
    Aggregate aggregate() const { return m_def.aggregate; }
    void setAggregate(Aggregate aggregate);
    bool isCalculated() const { return m_def.calculated; }
    void setCalculated(bool calculated);
    int headingWidth() const { return m_def.headingWidth; }
    void setHeadingWidth(int width);
    const QString &totalCaption() const { return m_def.totalCaption; }
    void setTotalCaption(const QString &caption);
    RankingMode rankingMode() const { return m_def.rankingMode; }
    void setRankingMode(RankingMode mode);
    int rankingDataField() const { return m_def.rankingDataField; }
    void setRankingDataField(int number);
    int ascending() const { return m_def.ascending; }
    void setAscending(int ascending);

    // Items: the field's distinct values in their natural order.
    ValueKind valueKind() const;
    int itemCount() const;
    QString itemName(int item) const;
    QString itemCaption(int item) const;
    void setItemCaption(int item, const QString &caption);
    bool isItemIncluded(int item) const;
    void setItemIncluded(int item, bool included);
    int itemIndex(const QString &name) const; // -1 when none

private:
    friend class Cube;
    CubeField(Cube *cube, int index, FieldDefinition def)
        : m_cube(cube)
        , m_index(index)
        , m_def(std::move(def))
    {}
    void changed();

    Cube *m_cube;
    int m_index;
    FieldDefinition m_def;
};

// A snapshot of one of the cube's five collections, 0-based, in position order.
class FieldCollection
{
public:
    int count() const { return static_cast<int>(m_fields.size()); }
    CubeField *item(int index) const;
    CubeField *item(const QString &name) const; // case-insensitive; null when none
    auto begin() const { return m_fields.begin(); }
    auto end() const { return m_fields.end(); }

private:
    friend class Cube;
    std::vector<CubeField *> m_fields;
};

// A heading cell: an item, a total caption, or (on the data-caption level) a data field.
struct Heading
{
    enum class Kind { None, Item, Total, DataItem };
    Kind kind = Kind::None;
    QString text;
    int field = -1; // field index; for DataItem the data field's position
    int item = -1;  // item index within the field
    QString typeName() const
    {
        return kind == Kind::DataItem ? QStringLiteral("IDataItem") : QStringLiteral("String");
    }
};

struct Selection
{
    int column1 = 0;
    int column2 = 0;
    int row1 = 0;
    int row2 = 0;
};

// The pivot cube: a definition (properties and fields), the loaded rows, and the grid that the
// fields' orientation, filters, totals and ranking make of them. Rows and columns of the grid are
// numbered from 0; heading levels from 1.
class Cube : public QObject
{
    Q_OBJECT

public:
    explicit Cube(QObject *parent = nullptr);
    ~Cube() override;

    // --- definition
    CubeProperties &properties() { return m_properties; }
    const CubeProperties &properties() const { return m_properties; }
    CubeDefinition definition() const;
    // replaces fields and properties; loaded data stays only when the sources are the same
    void setDefinition(const CubeDefinition &definition);

    const QString &password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }

    FieldCollection fields() const;
    FieldCollection rowFields() const { return collection(Orientation::Row); }
    FieldCollection columnFields() const { return collection(Orientation::Column); }
    FieldCollection pageFields() const { return collection(Orientation::Page); }
    FieldCollection dataFields() const { return collection(Orientation::Data); }
    CubeField *addField(const QString &sourceExpression, const QString &caption,
                        Orientation orientation);
    void clearFields();

    // --- data
    // Runs the record source on `db` and keeps its rows. The record source, and the record source
    // with the field expressions that are no column of it, must each be one read-only SELECT
    // (requireReadOnlySelect in rowsource.h): anything else throws CubeError::UnsafeStatement
    // before it runs. Throws tessal::Error.
    void load(const QSqlDatabase &db);
    void loadRows(const RowTable &table);
    bool hasData() const { return m_hasData; }
    size_t loadedRowCount() const { return m_data.rowCount; }
    // How refresh() and layout-only files reach the database named by DatabaseName; the cash
    // database layer's openDatabaseReadOnly unless set otherwise (the cube only ever reads).
    // An empty function leaves the cube without a way to any database.
    void setDatabaseOpener(std::function<QSqlDatabase(const QString &path)> opener);
    // Rebuilds the grid from the current definition; reloads the rows when there are none and a
    // database opener is set.
    void refresh();
    // Runs the record source again on the database DatabaseName names (through the opener).
    void reload();
    // Forgets the aggregated results kept per layout (the benchmark measures cold pivots).
    void dropCachedResults();

    // --- the grid
    int rowCount() const;
    int columnCount() const;
    int lastRow() const { return rowCount() - 1; }
    int lastColumn() const { return columnCount() - 1; }
    int rowHeadingLevels() const;
    int columnHeadingLevels() const;
    int rowDepth(int row) const;
    int columnDepth(int column) const;
    int nextRow(int row) const;       // -1 after the last
    int nextColumn(int column) const; // -1 after the last
    Heading rowHeading(int level, int row) const;
    Heading columnHeading(int level, int column) const;
    QString rowHeadingText(int level, int row) const { return rowHeading(level, row).text; }
    QString columnHeadingText(int level, int column) const
    {
        return columnHeading(level, column).text;
    }
    bool isTotalRow(int row) const;
    bool isTotalColumn(int column) const;
    // position of the data field shown in `column`, -1 when none is shown
    int dataFieldAt(int column) const;
    bool severalDataFieldsShown() const;
    // the cell's value (a double), invalid for an empty cell
    QVariant cellValue(int column, int row) const;
    // the value written with its data field's number format; "" for an empty cell
    QString formattedValue(int column, int row) const;
    // raises the format event for the cell; defaults (white on black text) when there is no
    // handler or the cell is empty
    CellFormat cellFormat(int column, int row) const;
    void setCellFormatHandler(std::function<void(CellFormat &)> handler);

    void setSelection(const Selection &selection) { m_selection = selection; }
    const Selection &selection() const { return m_selection; }

    // --- files
    // save kind: 0 layout and data, 1 layout only, +2 compressed. Returns false when the file
    // cannot be written.
    bool saveToFile(const QString &path, int saveKind) const;
    QByteArray saveToBytes(int saveKind) const; // throws tessal::Error
    // Raises 1014 for a missing file, 1021 for a missing or wrong password, 1024 for a damaged
    // or foreign file, 1027 for a record source or field expression that is not one read-only
    // SELECT; returns true when the cube holds the file's layout (and data).
    // The file's DatabaseName is never followed: the cube keeps the databaseName it had before
    // the file was loaded, and a layout-only file's rows are read from that database (through
    // the opener) with the file's record source, checked as load() checks it. Without a
    // databaseName or an opener, a layout-only file loads with no rows. A load that fails
    // anywhere, the database's part included, leaves the cube (definition and rows) as it was.
    bool loadFromFile(const QString &path);
    void loadFromBytes(const QByteArray &bytes);

    // Setting the address fetches the cube file from it (http only) and loads it when it
    // arrives, as loadFromBytes does (the cube's own databaseName is kept); addressLoaded tells
    // the outcome: (true, 0, "") once loaded, (false, error number, message) otherwise, e.g.
    // 1026 for a failed fetch, 1024 for a damaged file, 1027 for an unsafe statement.
    const QString &loadFromAddress() const { return m_address; }
    void setLoadFromAddress(const QString &address);
    // Stops a fetch under way; addressLoaded then reports it as failed.
    void cancelLoadFromAddress();

signals:
    void refreshed();
    void addressLoaded(bool ok, int errorNumber, const QString &message);
    // bytes of the cube file received so far and in all (0 while unknown)
    void addressProgress(qint64 received, qint64 total);

private:
    friend class CubeField;
    struct View;

    FieldCollection collection(Orientation orientation) const;
    void fieldChanged();
    void renumber(Orientation orientation, const CubeField *moved);
    const View &view() const;
    std::shared_ptr<const DimensionColumn> dimension(int field) const;
    std::shared_ptr<const MeasureColumn> measure(int field) const;
    void setData(CubeData data);
    void resetFieldData();
    Heading heading(bool rowAxis, int level, const AxisEntry &entry) const;

    CubeProperties m_properties;
    QString m_password;
    QString m_address;
    std::vector<std::unique_ptr<CubeField>> m_fields;
    mutable CubeData m_data;
    bool m_hasData = false;
    quint64 m_dataVersion = 0;
    std::function<QSqlDatabase(const QString &)> m_opener;
    std::function<void(CellFormat &)> m_formatHandler;
    Selection m_selection;
    mutable std::unique_ptr<View> m_view;
    struct CacheEntry;
    mutable std::vector<std::shared_ptr<CacheEntry>> m_cache;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
};

} // namespace tessal::cube
