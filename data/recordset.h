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
#include <memory>
#include <optional>

namespace tessal::data {

namespace detail {
struct SqlShape;
}

// One record set over a database file and an SQL text, as every window uses them: refresh, scan
// to end-of-file, move last, find first, add new / edit / set field / update, delete, read.
//
// It never reads a whole table to answer one operation. Scans run on a forward-only cursor in the
// SQL's order (with each table's rowid appended as the last tie-breaker so that a position is
// exact). moveLast() runs the order reversed with LIMIT 1; findFirst() adds "field = ?" and
// LIMIT 1; moveNext() after either continues from the current row's key. Statements the keyset
// cannot address (GROUP BY, DISTINCT, UNION, LIMIT, subqueries in FROM) are still accepted and
// scanned; for them findFirst() and moveLast() walk the cursor and writes are refused.
//
// Field and table names are matched without regard to case. Dates (dt_ fields) are stored as
// "yyyy-MM-dd" text: value() gives a QDate, text() gives dd/MM/yyyy, setField() takes a QDate or
// dd/MM/yyyy text. Every failure throws tessal::Error with the record set's SQL as its source.
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
    };
    struct TableInfo
    {
        QString table;     // as written in the SQL
        QString reference; // alias or table, as written
        QList<Column> columns;
    };

    void ensureOpen();
    void prepareShape();
    void runCursor(const QString &sql, const QVariantList &binds);
    bool runSingle(const QString &sql, const QVariantList &binds, QVariantList &row);
    void execBound(QSqlQuery &query, const QString &sql, const QVariantList &binds) const;
    void learnColumns(const QSqlQuery &query);
    bool fetchRow(QSqlQuery &query);
    void setEndOfFile();
    QString keysetAfterCurrent(QVariantList &binds) const;
    QString rowidExpression(int table) const;
    QVariant rowidOf(int table) const;
    QString composeSelect(const QString &extraCondition, const QString &orderBy,
                          bool limitOne) const;
    QString orderByClause(bool reversed) const;
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
    std::unique_ptr<detail::SqlShape> m_shape;
    QList<TableInfo> m_tables;
    std::optional<QSqlQuery> m_cursor;
    QSqlRecord m_visible;
    QHash<QString, int> m_fieldIndex; // lower-case name -> first column with it
    int m_hiddenKeys = 0;             // ORDER BY values, then one rowid per table
    QVariantList m_row;
    bool m_hasRow = false;
    bool m_opened = false;
    bool m_eof = true;
    bool m_noMatch = false;
    bool m_shapeReady = false;
    EditMode m_mode = EditMode::None;
    QHash<int, QHash<int, QVariant>> m_pending; // table -> column -> stored value
};

} // namespace tessal::data
