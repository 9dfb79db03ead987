#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <deque>
#include <functional>
#include <optional>

class QSqlQuery;

namespace tessal {

// A column of a grid: the result field it shows, found without regard to case, and its header.
struct GridColumn
{
    QString field;
    QString caption;
};

// How the rows of one display attribute look; an invalid colour leaves the view's own.
struct GridRowStyle
{
    QColor foreground;
    QColor background;
};

// The rows of an SQL text, read a window of rows at a time and only when a view asks for them.
// The row count comes from one COUNT(*) when the rows are re-read; a few recently used windows are
// kept, so scrolling through a large result holds a bounded number of rows in memory.
class QueryWindowModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int DefaultWindowRows = 256;
    static constexpr int DefaultCachedWindows = 4;
    // The preview line of a row (see setPreviewField) and its display attribute.
    static constexpr int PreviewRole = Qt::UserRole + 1;
    static constexpr int RowAttributeRole = Qt::UserRole + 2;

    // Given a row's shown values (columns from 0) as it is read, returns its display attribute.
    using RowAttributeHook = std::function<QString(const QList<QVariant> &row)>;
    // The text a cell shows for its stored value (Null included).
    using CellFormatter = std::function<QString(const QVariant &stored)>;

    explicit QueryWindowModel(QObject *parent = nullptr);

    void setDatabasePath(const QString &path) { m_databasePath = path; }
    const QString &databasePath() const { return m_databasePath; }
    // The values of the SQL's "?" placeholders, in order: a value never becomes SQL text.
    void setSql(const QString &sql, const QVariantList &bindValues = {})
    {
        m_sql = sql;
        m_bindValues = bindValues;
    }
    const QString &sql() const { return m_sql; }
    // No columns means every field of the result, headed by its name.
    void setColumns(const QList<GridColumn> &columns) { m_columns = columns; }
    const QList<GridColumn> &columns() const { return m_columns; }

    void setWindowRows(int rows) { m_windowRows = rows > 0 ? rows : DefaultWindowRows; }
    int windowRows() const { return m_windowRows; }
    void setCachedWindows(int windows) { m_cachedWindows = windows > 0 ? windows : 1; }

    // Result fields that order the SQL's rows ascending and together tell every row apart (for
    // "... order by dt_lancamento,cd_lancamento": those two). With them, a window next to one
    // already read is read from that window's edge key by an indexed range, so scrolling a large
    // result costs the same anywhere in it; other windows are still read by position. Applies
    // from the next refresh.
    void setKeyFields(const QStringList &fields) { m_keyFields = fields; }
    const QStringList &keyFields() const { return m_keyFields; }

    // A result field shown as a line of text under each row rather than as a column; empty for
    // none. Applies from the next refresh.
    void setPreviewField(const QString &field) { m_previewField = field; }
    const QString &previewField() const { return m_previewField; }

    // Each row is handed to the hook once, when it is read and before any view shows it; the
    // attribute it returns picks the row's look among the styles given here.
    void setRowAttributeHook(RowAttributeHook hook) { m_rowAttributeHook = std::move(hook); }
    void setRowStyle(const QString &attribute, const GridRowStyle &style);

    // A column (from 0) shown through a formatter and aligned as given.
    void setColumnFormat(int column, CellFormatter formatter, Qt::Alignment alignment = {});
    // Makes a column (from 0) editable in views; the model stores nothing itself, the editor's
    // owner decides what an edit does.
    void setColumnEditable(int column, bool editable);

    // The result field a shown column (from 0) reads, as the result names it; -1 when none.
    int columnOfField(const QString &field) const;
    QString preview(int row) const;
    QString rowAttribute(int row) const;

    // Runs the SQL again from the start. Throws tessal::Error when the database or the SQL is
    // refused, or a column names a field the result does not have; the model is then empty.
    void refresh();

    // The stored value of a cell (a null QVariant for Null); row and column from 0.
    QVariant value(int row, int column) const;
    // Null shows as an empty text.
    QString text(int row, int column) const;

    // What has been read: the windows fetched since the last refresh and the rows held now.
    int windowsFetched() const { return m_windowsFetched; }
    // How many of them were read from a neighbour's edge key rather than by position.
    int windowsFetchedByKey() const { return m_windowsFetchedByKey; }
    int rowsHeld() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

protected:
    // Later grids give rows a look of their own (a colour per row, a drop-down column); they
    // extend this rather than the window reading.
    virtual QVariant cellData(int row, int column, int role) const;

private:
    struct Window
    {
        int first = 0;
        QList<QList<QVariant>> rows;
        QList<QVariant> previews; // with a preview field
        QStringList attributes;   // with a row attribute hook
        QList<QVariant> firstKey; // with key fields: the first and last rows' keys
        QList<QVariant> lastKey;
    };
    enum class KeyDirection { After, Before };

    QString trimmedSql() const;
    void bindSqlValues(QSqlQuery &query) const;
    const Window *windowFor(int row) const;
    Window fetchWindow(int first) const;
    std::optional<Window> fetchWindowByKey(int first) const;
    void readRows(QSqlQuery &query, Window &window) const;
    int expectedRows(int first) const;

    QString m_databasePath;
    QString m_sql;
    QVariantList m_bindValues;
    QList<GridColumn> m_columns;
    int m_windowRows = DefaultWindowRows;
    int m_cachedWindows = DefaultCachedWindows;

    int m_rowCount = 0;
    QList<int> m_fieldIndex;  // result field per shown column
    QStringList m_fieldNames; // as the result names them, per shown column
    QStringList m_keyFields;
    QList<int> m_keyIndex;  // result field per key field
    QStringList m_keyNames; // the key fields as the engine names them in the result
    QString m_previewField;
    int m_previewIndex = -1;
    RowAttributeHook m_rowAttributeHook;
    QHash<QString, GridRowStyle> m_rowStyles;
    QHash<int, std::pair<CellFormatter, Qt::Alignment>> m_columnFormats;
    QSet<int> m_editableColumns;
    mutable int m_windowsFetchedByKey = 0;
    QStringList m_headers;
    mutable std::deque<Window> m_cache; // most recently used first
    mutable int m_windowsFetched = 0;
};

} // namespace tessal
