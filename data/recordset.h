#pragma once

#include "core/error.h" // every function here throws tessal::Error
#include "data/database.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <deque>
#include <memory>
#include <optional>

namespace tessal::data {

namespace detail {
struct SqlShape;
struct TableRef;
} // namespace detail

// One record set over a database (a file, or a server named by its URI) and an SQL text, as every
// window uses them: refresh, scan to end-of-file, move last, find first, add new / edit / set
// field / update, delete, read.
//
// It never reads a whole table to answer one operation. Scans read the rows in the SQL's order
// a batch at a time, each batch one finished statement (LIMIT n) that goes on from the last row's
// key, with each table's row key appended to the order as the last tie-breaker so that a
// position is exact: the rowid on a file, the primary-key columns on a server. moveLast() runs the
// order reversed with LIMIT 1; findFirst() adds "field = ?" and LIMIT 1; moveNext() after either
// continues from the current row's key. Statements the keyset cannot address (GROUP BY,
// DISTINCT, UNION, LIMIT, subqueries in FROM, a server table without a primary key) are still
// accepted and scanned; for them findFirst() and moveLast() walk the rows, each later batch runs
// the statement again and passes over the rows already walked, and writes are refused.
//
// No statement stays open between calls: on a file an open statement would hold its snapshot for
// every other statement on the shared connection (the grids' re-reads, the next code), so that
// rows other workstations stored since would stay out of sight, and a write through it would be
// refused. Rows already read in a batch are the only ones kept; refresh() reads afresh.
//
// Nulls sort where the engine puts them (first ascending on a file, last on a server), as they do
// in the grids that run the same SQL.
//
// Field and table names are matched without regard to case. Dates (dt_ fields) are stored as
// "yyyy-MM-dd" text: value() gives a QDate, text() gives dd/MM/yyyy, setField() takes a QDate or
// dd/MM/yyyy text. Every failure throws tessal::Error with the record set's SQL as its source; a
// write refused because its key is already taken throws DuplicateKeyError (data/nextcode.h).
class RecordSet
{
public:
    RecordSet();
    RecordSet(const QString &databasePath, const QString &sql,
              DatabaseKind kind = DatabaseKind::Cash);
    ~RecordSet();
    RecordSet(const RecordSet &) = delete;
    RecordSet &operator=(const RecordSet &) = delete;
    RecordSet(RecordSet &&) noexcept;
    RecordSet &operator=(RecordSet &&) noexcept;

    void setDatabasePath(const QString &path);
    QString databasePath() const { return m_path; }
    void setSql(const QString &sql);
    QString sql() const { return m_sql; }

    // Re-runs the SQL and positions on the first record, or on end-of-file when there is none.
    void refresh();

    bool eof() const { return !m_opened || m_eof; }
    // True after a findFirst() that found nothing; the current record is then unchanged.
    bool noMatch() const { return m_noMatch; }

    void moveFirst() { refresh(); }
    void moveLast();
    void moveNext();
    // Makes current the first record, in the SQL's order, whose field equals value. The value is
    // bound as a parameter and converted like setField() converts it (a dd/MM/yyyy text finds a
    // date), so an apostrophe in it is just a character.
    void findFirst(const QString &field, const QVariant &value);

    void addNew();
    void edit();
    void setField(const QString &field, const QVariant &value);
    void update();
    void cancelUpdate();
    void deleteCurrent();

    // The current record's field: Null as an invalid QVariant, dates as QDate.
    QVariant value(const QString &field) const;
    // Null as "", dates as dd/MM/yyyy, numbers with the locale's decimal separator.
    QString text(const QString &field) const;
    // Null as 0; a text that is not a number throws ErrorNumber::TypeMismatch.
    double number(const QString &field) const;
    bool isNull(const QString &field) const { return !value(field).isValid(); }

    // The record set's fields (names as the engine gives them), without the key columns the
    // record set adds for its own positioning.
    QSqlRecord record() const;
    int fieldCount() const;

    // The shared connection of the database path, for callers that group writes in a transaction.
    QSqlDatabase database() const;

private:
    enum class EditMode { None, AddNew, Edit };
    struct Column
    {
        QString name;
        QString type;
        bool notNull = false;
    };
    struct TableInfo
    {
        QString table;     // as written in the SQL
        QString reference; // alias or table, as written
        QList<Column> columns;
        // What addresses one of its rows, unqualified: "rowid" on a file; on a server the
        // primary-key columns, quoted, in key order, and their places in `columns`.
        QStringList keys;
        QList<int> keyColumns;
        int firstKey = 0; // where its key values start among the record set's key values
    };
    // A key of the order, for continuing after the current row.
    struct OrderKey
    {
        QString expression;
        bool descending;
        QVariant value;
        bool neverNull; // a NOT NULL column of the only table, or its primary key
    };
    using Row = QVariantList;

    void ensureOpen();
    void prepareShape();
    void readTableInfo(const detail::TableRef &ref, TableInfo &info);
    void execBound(QSqlQuery &query, const QString &sql, const QVariantList &binds) const;
    void throwIfFailed(const QSqlQuery &query) const;
    void learnColumns(const QSqlQuery &query);
    static Row readRow(const QSqlQuery &query);
    void takeRow(Row row);
    void setEndOfFile();
    void forgetRowsAhead();
    void readAhead();
    void advance();
    bool runSingle(const QString &sql, const QVariantList &binds, Row &row);
    QString keysetAfterCurrent(QVariantList &binds) const;
    bool nullsFirst(bool descending) const { return m_server ? descending : !descending; }
    bool isNeverNullColumn(const QString &expression) const;
    int keyCount() const;
    QString keyExpression(int table, int key) const;
    QVariant keyValue(int table, int key) const;
    QString rowCondition(int table, bool qualified, QVariantList &binds) const;
    QString composeSelect(const QString &extraCondition, const QString &orderBy, int limit,
                          QVariantList &binds) const;
    QString orderByClause(bool reversed) const;
    QString findByResultField(const QString &resultName, const QVariant &wanted,
                              QVariantList &binds) const;
    void updateTables(const QHash<int, QHash<int, QVariant>> &pending);
    void reloadCurrent();
    int visibleIndex(const QString &field) const;
    std::pair<int, int> writableColumn(const QString &field) const; // table, column
    std::optional<std::pair<int, int>> tableColumn(const QString &field) const;
    QVariant toStored(const QString &column, const QString &declaredType,
                      const QVariant &value) const;
    [[noreturn]] void fail(int number, const QString &description) const;
    void requireCurrent() const;
    void requireKeyset(const QString &what) const;
    bool isKeyset() const;

    QString m_path;
    DatabaseKind m_kind = DatabaseKind::Cash;
    QString m_sql;
    QSqlDatabase m_db;
    bool m_server = false;
    std::unique_ptr<detail::SqlShape> m_shape;
    QList<TableInfo> m_tables;
    QSqlRecord m_visible;
    QHash<QString, int> m_fieldIndex; // lower-case name -> first column with it
    int m_hiddenKeys = 0;             // ORDER BY values, then each table's key values
    Row m_row;
    // The rows after the current one already read, and whether more may follow them.
    std::deque<Row> m_ahead;
    bool m_moreAhead = false;
    int m_batchRows = 0;   // the size of the next batch; grows while a scan goes on
    qint64 m_position = 0; // of the current row, for scanned statements (they have no key)
    bool m_hasRow = false;
    bool m_opened = false;
    bool m_eof = true;
    bool m_noMatch = false;
    bool m_shapeReady = false;
    EditMode m_mode = EditMode::None;
    QHash<int, QHash<int, QVariant>> m_pending; // table -> column -> stored value
};

} // namespace tessal::data
