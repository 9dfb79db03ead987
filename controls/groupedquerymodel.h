#pragma once

#include "controls/gridlayout.h"
#include "controls/querywindowmodel.h"
#include "core/error.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QSqlRecord>
#include <QVariant>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace tessal {

// The rows of an SQL text as a tree: group rows by one or more result fields (each with its value
// and how many rows it holds), the rows themselves under the innermost groups, sorted by any
// result field. Built for results of millions of rows:
//
// - the SQL names an identity field unique per row, an integer (a table's rowid, on SQLite) or a
//   text (a table's code, on a PostgreSQL server, whose rows have no rowid), and each list of rows
//   is first read as the ordered identities only (eight bytes a row: a text is given a number);
// - rows are then read a window at a time by their identities, only when a view asks for them,
//   and a few recently used windows are kept;
// - groups are counted by the engine (GROUP BY) and their contents read only when expanded.
//
// Long reads report through the progress hook, which may cancel them. On a server, the lists of
// identities and the group counts stream through a connection of their own (the read-only one),
// so a window of rows that a view asks for while the hook lets it paint never cuts them short.
// Null values sort first going up and last going down on either engine, as SQLite sorts them.
class GroupedQueryModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    static constexpr int WindowRows = 256;
    static constexpr int CachedWindows = 8;
    // A group row's field and value (Qt::UserRole + ...), and how many rows it holds.
    static constexpr int GroupFieldRole = Qt::UserRole + 10;
    static constexpr int GroupValueRole = Qt::UserRole + 11;
    static constexpr int GroupCountRole = Qt::UserRole + 12;
    // The stored value of a cell (display shows it through the column's formatter).
    static constexpr int StoredRole = Qt::UserRole + 13;

    // Called often while a read runs (every thousand steps of SQLite, every thousand rows from a
    // server), with the rows read so far (-1 while the engine sorts or counts) and the rows
    // expected (-1 when not known yet); returning false cancels the read, which then throws
    // tessal::Error. The hook decides how often it shows anything.
    using ProgressHook = std::function<bool(qint64 done, qint64 total)>;
    using CellFormatter = QueryWindowModel::CellFormatter;

    explicit GroupedQueryModel(QObject *parent = nullptr);
    ~GroupedQueryModel() override;

    void setDatabasePath(const QString &path) { m_databasePath = path; }
    const QString &databasePath() const { return m_databasePath; }
    // "?" placeholders in the SQL take their values from bindValues, in order.
    void setSql(const QString &sql, const QVariantList &bindValues = {});
    const QString &sql() const { return m_sql; }
    const QVariantList &bindValues() const { return m_bindValues; }
    // The result field holding each row's identity; it is never shown.
    void setIdentityField(const QString &field) { m_identityField = field; }
    // The shown columns, in model order; fields are found without regard to case.
    void setColumns(const QList<GridColumn> &columns) { m_columns = columns; }
    const QList<GridColumn> &columns() const { return m_columns; }
    // A column (by field) shown through a formatter and aligned as given.
    void setColumnFormat(const QString &field, CellFormatter formatter,
                         Qt::Alignment alignment = {});
    // Rows whose value in `field` equals a condition's value take its colours.
    void setFormatConditions(const QString &field, const QList<FormatCondition> &conditions);
    const QString &conditionField() const { return m_conditionField; }
    const QList<FormatCondition> &formatConditions() const { return m_conditions; }
    void setProgressHook(ProgressHook hook) { m_progress = std::move(hook); }

    // Grouping and sorting apply at once: the model is read again from the start.
    void setGrouping(const QStringList &fields);
    const QStringList &grouping() const { return m_groupFields; }
    void setSort(const QString &field, Qt::SortOrder order);
    const QString &sortField() const { return m_sortField; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Reads the SQL again from the start. Throws tessal::Error when the database or the SQL is
    // refused, a column or the identity names a field the result lacks, or the read is
    // cancelled; the model is then empty.
    void refresh();

    // The model column (from 0) of a field; -1 when not shown.
    int columnOfField(const QString &field) const;
    QString fieldOfColumn(int column) const;
    // Every row of the result, in all groups.
    qint64 totalRows() const { return m_totalRows; }
    bool isGroup(const QModelIndex &index) const;
    // A row's place among all rows in the shown order (from 0), counting collapsed groups'
    // rows; -1 for a group row or an invalid index.
    qint64 ordinalOf(const QModelIndex &index) const;
    // The identity of a row: the identity field's integer, or the number the model gave its text;
    // -1 for a group row or an invalid index.
    qint64 identityOf(const QModelIndex &index) const;
    // Takes another model's source, columns, formats, conditions, grouping and sort (not its
    // rows: refresh() reads them), so a copy can be read apart from the one a view shows. The
    // copy numbers text identities as the other model does, so identityOf() finds the same row
    // in both.
    void configureLike(const GroupedQueryModel &other);
    // Loads a group's contents (its subgroups or rows) now; throws as refresh() does.
    void load(const QModelIndex &group);
    // What has been read: row windows since the last refresh, and row values held now.
    int windowsFetched() const { return m_windowsFetched; }
    qint64 rowsHeld() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // A read a view asked for (a group's contents, a window of rows) was refused or cancelled;
    // the group stays closed, the rows show empty.
    void readFailed(const tessal::ErrorInfo &error);

private:
    struct Node;
    struct NodeRead;
    class KeyNumbers;
    struct Window
    {
        const Node *node = nullptr;
        int first = 0;
        QList<QList<QVariant>> rows; // the shown columns, then the condition field
    };

    Node *nodeOf(const QModelIndex &index) const; // the group an index is, or the root
    Node *parentNodeOf(const QModelIndex &index) const;
    bool holdsRows(const Node *node) const;
    // A field as the last read result spells it; empty when it has none such.
    QString resultName(const QString &field) const;
    void loadNode(Node *node);
    void readFromFile(Node *node, const QString &sql, const QVariantList &binds,
                      NodeRead &read) const;
    void readFromServer(Node *node, const QString &sql, const QVariantList &binds,
                        NodeRead &read) const;
    QString wrapped() const;
    QString conditionsOf(const Node *node, QVariantList &binds) const;
    QString nullsAsSqlite(bool descending) const;
    QString orderBy() const;
    void sortKeys(std::vector<qint64> &ids) const;
    QVariant identityValue(qint64 identity) const;
    qint64 identityNumber(const QVariant &value) const;
    const Window &windowFor(const Node *node, int row) const;
    const QList<QVariant> &rowValues(const Node *node, int row) const;
    QString groupText(const Node *node) const;
    QString formatted(int column, const QVariant &value) const;

    QString m_databasePath;
    QString m_sql;
    QVariantList m_bindValues;
    QString m_identityField = QStringLiteral("tessal_id");
    QList<GridColumn> m_columns;
    QHash<QString, std::pair<CellFormatter, Qt::Alignment>> m_formats; // by lower-case field
    QString m_conditionField;
    QList<FormatCondition> m_conditions;
    QStringList m_groupFields;
    QString m_sortField;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    ProgressHook m_progress;

    QStringList m_resultFields; // every field of the last read result
    // Result field names as the result spells them: shown columns, groups, sort, identity.
    QStringList m_columnFields;
    QStringList m_groupNames;
    QString m_sortName;
    QString m_identityName;
    QString m_conditionName;
    QStringList m_headers;

    bool m_onServer = false;
    bool m_textIdentities = false;
    // Shared with the copies configureLike() makes.
    std::shared_ptr<KeyNumbers> m_keys;

    std::unique_ptr<Node> m_root;
    qint64 m_totalRows = 0;
    mutable std::deque<Window> m_cache; // most recently used first
    mutable int m_windowsFetched = 0;
};

} // namespace tessal
