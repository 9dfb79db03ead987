#include "reports/reportdata.h"

#include "core/error.h"
#include "data/database.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <cmath>
#include <sqlite3.h>

namespace tessal::reports {

namespace {

void bindAll(data::SqliteStatement &statement, const QVariantList &binds)
{
    for (int i = 0; i < int(binds.size()); ++i) {
        const QVariant &value = binds.at(i);
        const int index = i + 1;
        if (!value.isValid()) {
            sqlite3_bind_null(statement.get(), index);
            continue;
        }
        switch (value.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
            statement.bind(index, value.toLongLong());
            break;
        case QMetaType::Double:
            statement.bind(index, value.toDouble());
            break;
        default:
            statement.bind(index, value.toString());
            break;
        }
    }
}

QString columnText(sqlite3_stmt *statement, int column)
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(statement, column));
}

// The statement on a server, its values bound, run forward only.
QSqlQuery runOnServer(const QSqlDatabase &db, const SqlText &sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    data::prepareOrThrow(query, sql.text);
    for (const QVariant &value : sql.binds)
        query.addBindValue(value);
    data::execOrThrow(query);
    return query;
}

// After the last row: a stream that ended early (an error on a later row, rows the driver dropped
// for another statement) looks finished to next().
void requireWholeResult(const QSqlQuery &query, const SqlText &sql)
{
    if (query.lastError().isValid())
        data::throwQueryError(query, sql.text);
}

// Tells the caller of the rows read, every thousand rows and no more often than every 50 ms.
class RowProgress
{
public:
    explicit RowProgress(const ReportProgress &progress)
        : m_progress(progress)
    {
        m_since.start();
    }

    void read(int rows)
    {
        if (m_progress && (rows & 1023) == 0 && m_since.elapsed() >= 50) {
            m_since.restart();
            if (!m_progress(rows, 0))
                throw ReportCancelled{};
        }
    }

    void done(int rows) const
    {
        if (m_progress && !m_progress(rows, 0))
            throw ReportCancelled{};
    }

private:
    const ReportProgress &m_progress;
    QElapsedTimer m_since;
};

QVariant columnValue(sqlite3_stmt *statement, int column, ValueType type)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL)
        return {};
    switch (type) {
    case ValueType::Money:
        return qint64(sqlite3_column_int64(statement, column));
    case ValueType::Number:
        return sqlite3_column_double(statement, column);
    case ValueType::Date:
        return data::fromStoredDate(columnText(statement, column));
    case ValueType::Text:
    case ValueType::Boolean:
        break;
    }
    return columnText(statement, column);
}

// A server's value as columnValue() gives a file's.
QVariant serverValue(const QVariant &value, ValueType type)
{
    if (value.isNull())
        return {};
    switch (type) {
    case ValueType::Money:
        return value.toLongLong();
    case ValueType::Number:
        return value.toDouble();
    case ValueType::Date:
        return data::fromStoredDate(value.toString());
    case ValueType::Text:
    case ValueType::Boolean:
        break;
    }
    return value.toString();
}

} // namespace

ReportRunner::ReportRunner(const Layout &layout, const std::optional<Selection> &selection)
    : m_layout(layout)
    , m_selection(selection)
{
    if (m_layout.selectionRequired && !m_selection)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("O relatório \"%1\" só é emitido com uma fórmula de seleção "
                                   "(a conta e o período), e nenhuma foi dada. Nada foi impresso.")
                        .arg(m_layout.fileName),
                    m_layout.fileName);
    if (m_selection) {
        const QStringList tables = m_layout.tables();
        for (const QString &table : tablesOf(m_selection->condition())) {
            if (!tables.contains(table))
                throw Error(ErrorNumber::InvalidInput,
                            QStringLiteral("A fórmula de seleção usa a tabela \"%1\", que não faz "
                                           "parte do relatório \"%2\" (tabelas: %3).")
                                .arg(table, m_layout.fileName, tables.join(QStringLiteral(", "))),
                            m_selection->text());
        }
    }
}

SqlText ReportRunner::fromClause(SqlDialect dialect) const
{
    SqlText sql;
    sql << QStringLiteral(" FROM ") << quoted(m_layout.table);
    for (const Join &join : m_layout.joins) {
        sql << (join.optional ? QStringLiteral(" LEFT JOIN ") : QStringLiteral(" JOIN "))
            << quoted(join.table) << QStringLiteral(" ON ") << toSql(join.condition, {}, dialect);
    }
    return sql;
}

SqlText ReportRunner::whereClause(const NodePtr &condition, SqlDialect dialect) const
{
    SqlText sql;
    if (condition)
        sql << QStringLiteral(" WHERE ") << toSql(condition, {}, dialect);
    return sql;
}

SqlText ReportRunner::statement(SqlDialect dialect) const
{
    SqlText sql;
    sql << QStringLiteral("SELECT ");
    for (size_t i = 0; i < m_layout.fields.size(); ++i) {
        if (i > 0)
            sql << QStringLiteral(", ");
        sql << toSql(m_layout.fields[i].expression, {}, dialect);
    }
    sql << fromClause(dialect)
        << whereClause(m_selection ? m_selection->condition() : nullptr, dialect);
    // Result columns are named by position, so an expression with bound values is not written
    // (nor bound) twice.
    if (m_layout.summary()) {
        QStringList keys;
        for (size_t i = 0; i < m_layout.fields.size(); ++i) {
            if (!m_layout.fields[i].aggregate)
                keys << QString::number(i + 1);
        }
        if (!keys.isEmpty())
            sql << QStringLiteral(" GROUP BY ") << keys.join(QStringLiteral(", "));
    }
    // SQLite holds Null lower than any value, the server higher: the server is told SQLite's
    // order, so that a group of rows without a description comes where it does in a file.
    const auto direction = [dialect](bool descending) {
        if (dialect == SqlDialect::Sqlite)
            return descending ? QStringLiteral(" DESC") : QString();
        return descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" NULLS FIRST");
    };
    QStringList order;
    for (const Group &group : m_layout.groups)
        order << QString::number(group.field + 1) + direction(false);
    for (const OrderItem &item : m_layout.order) {
        const QString key = item.field >= 0 ? QString::number(item.field + 1)
                                            : quoted(item.column.table) + QLatin1Char('.') +
                                                  quoted(item.column.column);
        order << key + direction(item.descending);
    }
    if (!order.isEmpty())
        sql << QStringLiteral(" ORDER BY ") << order.join(QStringLiteral(", "));
    return sql;
}

QVariant ReportRunner::selectedValue(const SchemaColumn &column) const
{
    return m_selection ? m_selection->fixedValue(column) : QVariant();
}

ReportData ReportRunner::run(const QSqlDatabase &db, const ReportProgress &progress) const
{
    ReportData data;
    if (m_selection && m_layout.period)
        data.m_period = m_selection->period(*m_layout.period);
    data::Transaction snapshot(db, data::Transaction::Read);
    readBroughtForward(db, data);
    readLookups(db, data);
    readRows(db, data, progress);
    snapshot.commit();
    return data;
}

void ReportRunner::readRows(const QSqlDatabase &db, ReportData &data,
                            const ReportProgress &progress) const
{
    const int fieldCount = int(m_layout.fields.size());
    data.m_columns.resize(size_t(fieldCount));
    for (int f = 0; f < fieldCount; ++f)
        data.m_columns[size_t(f)].type = m_layout.fields[size_t(f)].type;
    if (dialectOf(db) == SqlDialect::PostgreSql) {
        readServerRows(db, data, progress);
        return;
    }
    const SqlText sql = statement();
    data::SqliteStatement statement(data::requireSqliteHandle(db, m_layout.fileName), sql.text);
    bindAll(statement, sql.binds);
    sqlite3_stmt *raw = statement.get();
    RowProgress rowProgress(progress);
    while (statement.step()) {
        for (int f = 0; f < fieldCount; ++f) {
            ReportData::ColumnData &column = data.m_columns[size_t(f)];
            const bool null = sqlite3_column_type(raw, f) == SQLITE_NULL;
            column.nulls.push_back(null);
            qint64 number = 0;
            switch (column.type) {
            case ValueType::Money:
                number = null ? 0 : sqlite3_column_int64(raw, f);
                break;
            case ValueType::Number:
                number = null ? 0 : std::llround(sqlite3_column_double(raw, f));
                break;
            case ValueType::Date: {
                const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(raw, f));
                const QDate day = bytes ? data::storedDate(std::string_view(
                                              bytes, size_t(sqlite3_column_bytes(raw, f))))
                                        : QDate();
                if (!day.isValid())
                    column.nulls.back() = true;
                number = day.isValid() ? day.toJulianDay() : 0;
                break;
            }
            case ValueType::Text:
            case ValueType::Boolean: {
                const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(raw, f));
                const QByteArrayView view(bytes, null ? 0 : sqlite3_column_bytes(raw, f));
                // Neighbouring rows often repeat a text (the account, the description): the
                // previous string is shared instead of decoded again.
                if (!null && !column.texts.empty() && !column.nulls[column.nulls.size() - 2] &&
                    view == QByteArrayView(column.lastBytes)) {
                    column.texts.push_back(column.texts.back());
                } else {
                    column.texts.push_back(null ? QString() : QString::fromUtf8(view));
                    column.lastBytes = view.toByteArray();
                }
                continue;
            }
            }
            column.numbers.push_back(number);
        }
        rowProgress.read(++data.m_rows);
    }
    rowProgress.done(data.m_rows);
}

// The same values as the file's pass takes from SQLite: whole cents, numbers rounded with
// llround, dates as Julian days (Null when the text is no date), texts.
void ReportRunner::readServerRows(const QSqlDatabase &db, ReportData &data,
                                  const ReportProgress &progress) const
{
    const SqlText sql = statement(SqlDialect::PostgreSql);
    QSqlQuery query = runOnServer(db, sql);
    const int fieldCount = int(m_layout.fields.size());
    RowProgress rowProgress(progress);
    while (query.next()) {
        for (int f = 0; f < fieldCount; ++f) {
            ReportData::ColumnData &column = data.m_columns[size_t(f)];
            const QVariant value = query.value(f);
            const bool null = value.isNull();
            column.nulls.push_back(null);
            qint64 number = 0;
            switch (column.type) {
            case ValueType::Money:
                number = null ? 0 : value.toLongLong();
                break;
            case ValueType::Number:
                number = null ? 0 : std::llround(value.toDouble());
                break;
            case ValueType::Date: {
                const QDate day = null ? QDate() : data::storedDate(value.toString().toStdString());
                if (!day.isValid())
                    column.nulls.back() = true;
                number = day.isValid() ? day.toJulianDay() : 0;
                break;
            }
            case ValueType::Text:
            case ValueType::Boolean: {
                QString text = null ? QString() : value.toString();
                // A text the previous row had too is kept once.
                if (!null && !column.texts.empty() && !column.nulls[column.nulls.size() - 2] &&
                    text == column.texts.back())
                    text = column.texts.back();
                column.texts.push_back(std::move(text));
                continue;
            }
            }
            column.numbers.push_back(number);
        }
        rowProgress.read(++data.m_rows);
    }
    requireWholeResult(query, sql);
    rowProgress.done(data.m_rows);
}

void ReportRunner::readBroughtForward(const QSqlDatabase &db, ReportData &data) const
{
    const SqlDialect dialect = dialectOf(db);
    data.m_before.assign(m_layout.totals.size(), 0);
    for (size_t t = 0; t < m_layout.totals.size(); ++t) {
        const Total &total = m_layout.totals[t];
        if (total.function != Total::Function::Before || !m_selection)
            continue;
        if (!data.m_period.simple)
            throw Error(
                ErrorNumber::InvalidInput,
                QStringLiteral("O relatório \"%1\" mostra o saldo anterior ao período, e "
                               "para isso a fórmula de seleção deve dar o período como "
                               "condições simples ligadas por AND ({%2.%3} >= #data# AND "
                               "{%2.%3} <= #data#).")
                    .arg(m_layout.fileName, m_layout.period->table, m_layout.period->column),
                m_selection->text());
        // Without a first day nothing lies before the period.
        if (!data.m_period.from)
            continue;
        // The field's sum over the rows before the period, as SOMA() sums it.
        SqlText sql;
        sql << QStringLiteral("SELECT ")
            << toSql(makeSum(m_layout.fields[size_t(total.field)].expression), {}, dialect)
            << fromClause(dialect)
            << whereClause(m_selection->before(*m_layout.period, *data.m_period.from), dialect);
        if (dialect == SqlDialect::PostgreSql) {
            QSqlQuery query = runOnServer(db, sql);
            if (query.next())
                data.m_before[t] = query.value(0).toLongLong();
            requireWholeResult(query, sql);
            continue;
        }
        data::SqliteStatement statement(data::requireSqliteHandle(db, m_layout.fileName), sql.text);
        bindAll(statement, sql.binds);
        if (statement.step())
            data.m_before[t] = sqlite3_column_int64(statement.get(), 0);
    }
}

void ReportRunner::readLookups(const QSqlDatabase &db, ReportData &data) const
{
    const SqlDialect dialect = dialectOf(db);
    const SelectedValue selected = [this](const SchemaColumn &c) { return selectedValue(c); };
    for (const Lookup &lookup : m_layout.lookups) {
        SqlText sql;
        sql << QStringLiteral("SELECT ");
        for (size_t f = 0; f < lookup.fields.size(); ++f) {
            if (f > 0)
                sql << QStringLiteral(", ");
            sql << toSql(lookup.fields[f].expression, selected, dialect);
        }
        sql << QStringLiteral(" FROM ") << quoted(lookup.table) << QStringLiteral(" WHERE ")
            << toSql(lookup.condition, selected, dialect) << QStringLiteral(" LIMIT 1");
        if (dialect == SqlDialect::PostgreSql) {
            QSqlQuery query = runOnServer(db, sql);
            std::vector<QVariant> values(lookup.fields.size());
            if (query.next()) {
                for (size_t f = 0; f < lookup.fields.size(); ++f)
                    values[f] = serverValue(query.value(int(f)), lookup.fields[f].type);
            }
            requireWholeResult(query, sql);
            data.m_lookups.push_back(values);
            continue;
        }
        data::SqliteStatement statement(data::requireSqliteHandle(db, m_layout.fileName), sql.text);
        bindAll(statement, sql.binds);
        std::vector<QVariant> values(lookup.fields.size());
        if (statement.step()) {
            for (size_t f = 0; f < lookup.fields.size(); ++f)
                values[f] = columnValue(statement.get(), int(f), lookup.fields[f].type);
        }
        data.m_lookups.push_back(values);
    }
}

} // namespace tessal::reports
