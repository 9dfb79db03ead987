#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <deque>

namespace tessal {

// A column of a grid: the result field it shows, found without regard to case, and its header.
struct GridColumn
{
    QString field;
    QString caption;
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

    explicit QueryWindowModel(QObject *parent = nullptr);

    void setDatabasePath(const QString &path) { m_databasePath = path; }
    const QString &databasePath() const { return m_databasePath; }
    void setSql(const QString &sql) { m_sql = sql; }
    const QString &sql() const { return m_sql; }
    // No columns means every field of the result, headed by its name.
    void setColumns(const QList<GridColumn> &columns) { m_columns = columns; }
    const QList<GridColumn> &columns() const { return m_columns; }

    void setWindowRows(int rows) { m_windowRows = rows > 0 ? rows : DefaultWindowRows; }
    int windowRows() const { return m_windowRows; }
    void setCachedWindows(int windows) { m_cachedWindows = windows > 0 ? windows : 1; }

    // Runs the SQL again from the start. Throws tessal::Error when the database or the SQL is
    // refused, or a column names a field the result does not have; the model is then empty.
    void refresh();

    // The stored value of a cell (a null QVariant for Null); row and column from 0.
    QVariant value(int row, int column) const;
    // Null shows as an empty text.
    QString text(int row, int column) const;

    // What has been read: the windows fetched since the last refresh and the rows held now.
    int windowsFetched() const { return m_windowsFetched; }
    int rowsHeld() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

protected:
    // Later grids give rows a look of their own (a colour per row, a drop-down column); they
    // extend this rather than the window reading.
    virtual QVariant cellData(int row, int column, int role) const;

private:
    struct Window
    {
        int first = 0;
        QList<QList<QVariant>> rows;
    };

    QString trimmedSql() const;
    const Window *windowFor(int row) const;
    Window fetchWindow(int first) const;

    QString m_databasePath;
    QString m_sql;
    QList<GridColumn> m_columns;
    int m_windowRows = DefaultWindowRows;
    int m_cachedWindows = DefaultCachedWindows;

    int m_rowCount = 0;
    QList<int> m_fieldIndex; // result field per shown column
    QStringList m_headers;
    mutable std::deque<Window> m_cache; // most recently used first
    mutable int m_windowsFetched = 0;
};

} // namespace tessal
