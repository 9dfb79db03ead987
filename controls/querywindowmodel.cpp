#include "querywindowmodel.h"

#include "data/database.h"
#include "error.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

[[noreturn]] void refused(const QSqlQuery &query, const QString &sql)
{
    const QSqlError error = query.lastError();
    const QString engine = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    throw Error(ErrorNumber::DatabaseError,
                u"O banco de dados recusou a instrução: %1"_s.arg(engine), sql);
}

} // namespace

QueryWindowModel::QueryWindowModel(QObject *parent)
    : QAbstractTableModel(parent)
{}

QString QueryWindowModel::trimmedSql() const
{
    // The SQL becomes a subquery, where a closing semicolon would end the statement too early.
    QString sql = m_sql.trimmed();
    while (sql.endsWith(u';'))
        sql = sql.chopped(1).trimmed();
    return sql;
}

void QueryWindowModel::refresh()
{
    beginResetModel();
    m_cache.clear();
    m_windowsFetched = 0;
    m_rowCount = 0;
    m_fieldIndex.clear();
    m_headers.clear();
    struct EndReset
    {
        QueryWindowModel *model;
        ~EndReset() { model->endResetModel(); }
    } endReset{this};

    QSqlDatabase db = data::openDatabase(m_databasePath);
    const QString sql = trimmedSql();

    // The fields of the result, without reading a row of it.
    QSqlQuery shape(db);
    const QString shapeSql = u"SELECT * FROM (%1) LIMIT 0"_s.arg(sql);
    if (!shape.exec(shapeSql))
        refused(shape, m_sql);
    const QSqlRecord record = shape.record();

    QList<int> fieldIndex;
    QStringList headers;
    if (m_columns.isEmpty()) {
        for (int i = 0; i < record.count(); ++i) {
            fieldIndex.append(i);
            headers.append(record.fieldName(i));
        }
    } else {
        for (const GridColumn &column : m_columns) {
            int found = -1;
            for (int i = 0; i < record.count() && found < 0; ++i)
                if (record.fieldName(i).compare(column.field, Qt::CaseInsensitive) == 0)
                    found = i;
            if (found < 0)
                throw Error(
                    ErrorNumber::DatabaseError,
                    u"O campo \"%1\" não existe no resultado da consulta."_s.arg(column.field),
                    m_sql);
            fieldIndex.append(found);
            headers.append(column.caption);
        }
    }

    QSqlQuery count(db);
    if (!count.exec(u"SELECT COUNT(*) FROM (%1)"_s.arg(sql)) || !count.next())
        refused(count, m_sql);

    m_rowCount = count.value(0).toInt();
    m_fieldIndex = fieldIndex;
    m_headers = headers;
}

QueryWindowModel::Window QueryWindowModel::fetchWindow(int first) const
{
    Window window;
    window.first = first;
    QSqlQuery query(data::openDatabase(m_databasePath));
    query.setForwardOnly(true);
    // SQLite keeps the subquery's ORDER BY for a plain outer SELECT, so the window holds the
    // rows in the order the SQL asks for.
    if (!query.prepare(u"SELECT * FROM (%1) LIMIT ? OFFSET ?"_s.arg(trimmedSql())))
        refused(query, m_sql);
    query.addBindValue(m_windowRows);
    query.addBindValue(first);
    if (!query.exec())
        refused(query, m_sql);
    while (query.next()) {
        QList<QVariant> row;
        row.reserve(m_fieldIndex.size());
        for (int field : m_fieldIndex)
            row.append(query.value(field));
        window.rows.append(row);
    }
    ++m_windowsFetched;
    return window;
}

const QueryWindowModel::Window *QueryWindowModel::windowFor(int row) const
{
    if (row < 0 || row >= m_rowCount)
        return nullptr;
    const int first = row - row % m_windowRows;
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
        if (it->first == first) {
            if (it != m_cache.begin()) {
                Window hit = std::move(*it);
                m_cache.erase(it);
                m_cache.push_front(std::move(hit));
            }
            return &m_cache.front();
        }
    }
    try {
        m_cache.push_front(fetchWindow(first));
    } catch (const Error &e) {
        // A view asking for a cell cannot be told of a failure; the next refresh reports it.
        qWarning().noquote() << "QueryWindowModel:" << e.description();
        return nullptr;
    }
    while (static_cast<int>(m_cache.size()) > m_cachedWindows)
        m_cache.pop_back();
    return &m_cache.front();
}

int QueryWindowModel::rowsHeld() const
{
    int rows = 0;
    for (const Window &window : m_cache)
        rows += static_cast<int>(window.rows.size());
    return rows;
}

QVariant QueryWindowModel::value(int row, int column) const
{
    if (column < 0 || column >= m_fieldIndex.size())
        return {};
    const Window *window = windowFor(row);
    if (!window)
        return {};
    const int offset = row - window->first;
    if (offset >= window->rows.size())
        return {}; // rows deleted since the count; the next refresh catches up
    return window->rows.at(offset).at(column);
}

QString QueryWindowModel::text(int row, int column) const
{
    const QVariant stored = value(row, column);
    return stored.isNull() ? QString() : stored.toString();
}

int QueryWindowModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int QueryWindowModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_fieldIndex.size());
}

QVariant QueryWindowModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    return cellData(index.row(), index.column(), role);
}

QVariant QueryWindowModel::cellData(int row, int column, int role) const
{
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return text(row, column);
    return {};
}

QVariant QueryWindowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_headers.size() ? QVariant(m_headers.at(section))
                                                          : QVariant();
    return section + 1;
}

} // namespace tessal
