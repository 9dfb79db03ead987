#pragma once

#include "reports/layout.h"
#include "reports/selection.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

namespace tessal::reports {

// Called as rows arrive (the total is 0 while it is not known); false stops the report.
using ReportProgress = std::function<bool(qint64 done, qint64 total)>;

// Thrown when the progress callback asked to stop; nothing of the report is kept.
struct ReportCancelled
{};

// What one run of a layout read from the database: the fields of every row, column by column,
// the balances brought forward, the lookups and the period the selection names.
class ReportData
{
public:
    int rowCount() const { return m_rows; }

    bool isNull(int field, int row) const { return m_columns[size_t(field)].nulls[size_t(row)]; }
    // Money in cents; Number rounded to a whole; Date as a Julian day.
    qint64 integer(int field, int row) const
    {
        return m_columns[size_t(field)].numbers[size_t(row)];
    }
    QDate date(int field, int row) const
    {
        return QDate::fromJulianDay(m_columns[size_t(field)].numbers[size_t(row)]);
    }
    const QString &text(int field, int row) const
    {
        return m_columns[size_t(field)].texts[size_t(row)];
    }

    // ANTERIOR() totals, in cents, by total index (0 for the other totals).
    qint64 broughtForward(int total) const { return m_before.at(size_t(total)); }
    // A lookup's field: QString, cents (qint64), QDate or double; invalid when no row was found.
    QVariant lookupValue(int lookup, int field) const
    {
        return m_lookups.at(size_t(lookup)).at(size_t(field));
    }
    const Selection::Period &period() const { return m_period; }

private:
    friend class ReportRunner;
    struct ColumnData
    {
        ValueType type = ValueType::Text;
        std::vector<qint64> numbers;
        std::vector<QString> texts;
        std::vector<bool> nulls;
        QByteArray lastBytes; // of the last text read, while reading
    };

    int m_rows = 0;
    std::vector<ColumnData> m_columns;
    std::vector<qint64> m_before;
    std::vector<std::vector<QVariant>> m_lookups;
    Selection::Period m_period;
};

// Runs a layout on a cash database: the rows its fields select under the selection formula (none
// for a layout that allows it), in the layout's order with its groups first. All statements are
// read in one read transaction, so the balance brought forward and the rows agree.
//
// Refused with tessal::Error: a layout that needs a selection and has none, a selection naming a
// table outside the layout's source, a balance brought forward over a period the selection does
// not give as a plain range. Every value reaches SQL as a bound parameter.
class ReportRunner
{
public:
    ReportRunner(const Layout &layout, const std::optional<Selection> &selection);

    // The main statement, as it would run on the engine.
    SqlText statement(SqlDialect dialect = SqlDialect::Sqlite) const;

    // On a PostgreSQL server the rows stream through the driver; were they cut short (another
    // statement run on the connection meanwhile drops them), the run is refused, never shortened.
    ReportData run(const QSqlDatabase &db, const ReportProgress &progress = {}) const;

private:
    SqlText fromClause(SqlDialect dialect) const;
    SqlText whereClause(const NodePtr &condition, SqlDialect dialect) const;
    QVariant selectedValue(const SchemaColumn &column) const;
    void readRows(const QSqlDatabase &db, ReportData &data, const ReportProgress &progress) const;
    void readServerRows(const QSqlDatabase &db, ReportData &data,
                        const ReportProgress &progress) const;
    void readBroughtForward(const QSqlDatabase &db, ReportData &data) const;
    void readLookups(const QSqlDatabase &db, ReportData &data) const;

    const Layout &m_layout;
    const std::optional<Selection> &m_selection;
};

} // namespace tessal::reports
