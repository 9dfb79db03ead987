#include "controls/querywindowmodel.h"

#include "core/error.h"
#include "data/database.h"
#include "data/sqlerror.h"
#include "data/sqlshape.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

[[noreturn]] void refused(const QSqlQuery &query, const QString &sql)
{
    data::throwQueryError(query, sql);
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

void QueryWindowModel::bindSqlValues(QSqlQuery &query) const
{
    for (const QVariant &value : m_bindValues)
        query.addBindValue(value);
}

void QueryWindowModel::refresh()
{
    beginResetModel();
    m_cache.clear();
    m_windowsFetched = 0;
    m_windowsFetchedByKey = 0;
    m_rowCount = 0;
    m_fieldIndex.clear();
    m_fieldNames.clear();
    m_keyIndex.clear();
    m_previewIndex = -1;
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
    if (!shape.prepare(u"SELECT * FROM (%1) AS tessal_consulta LIMIT 0"_s.arg(sql)))
        refused(shape, m_sql);
    bindSqlValues(shape);
    if (!shape.exec())
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

    const auto fieldOf = [&](const QString &name) {
        for (int i = 0; i < record.count(); ++i)
            if (record.fieldName(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        throw Error(ErrorNumber::DatabaseError,
                    u"O campo \"%1\" não existe no resultado da consulta."_s.arg(name), m_sql);
    };
    QList<int> keyIndex;
    QStringList keyNames;
    for (const QString &key : m_keyFields) {
        keyIndex.append(fieldOf(key));
        keyNames.append(record.fieldName(keyIndex.last()));
    }
    const int previewIndex = m_previewField.isEmpty() ? -1 : fieldOf(m_previewField);
    QStringList fieldNames;
    for (int field : fieldIndex)
        fieldNames.append(record.fieldName(field));

    QSqlQuery count(db);
    if (!count.prepare(u"SELECT COUNT(*) FROM (%1) AS tessal_consulta"_s.arg(
            data::detail::withoutClosingOrderBy(sql))))
        refused(count, m_sql);
    bindSqlValues(count);
    if (!count.exec() || !count.next())
        refused(count, m_sql);

    m_rowCount = count.value(0).toInt();
    m_fieldIndex = fieldIndex;
    m_fieldNames = fieldNames;
    m_keyIndex = keyIndex;
    m_keyNames = keyNames;
    m_previewIndex = previewIndex;
    m_headers = headers;
}

void QueryWindowModel::readRows(QSqlQuery &query, Window &window) const
{
    while (query.next()) {
        QList<QVariant> row;
        row.reserve(m_fieldIndex.size());
        for (int field : m_fieldIndex)
            row.append(query.value(field));
        if (m_previewIndex >= 0)
            window.previews.append(query.value(m_previewIndex));
        if (m_rowAttributeHook)
            window.attributes.append(m_rowAttributeHook(row));
        if (!m_keyIndex.isEmpty()) {
            QList<QVariant> key;
            for (int field : m_keyIndex)
                key.append(query.value(field));
            if (window.rows.isEmpty())
                window.firstKey = key;
            window.lastKey = key;
        }
        window.rows.append(row);
    }
}

int QueryWindowModel::expectedRows(int first) const
{
    return std::min(m_windowRows, m_rowCount - first);
}

QueryWindowModel::Window QueryWindowModel::fetchWindow(int first) const
{
    Window window;
    window.first = first;
    QSqlQuery query(data::openDatabase(m_databasePath));
    query.setForwardOnly(true);
    // SQLite keeps the subquery's ORDER BY for a plain outer SELECT, so the window holds the
    // rows in the order the SQL asks for.
    if (!query.prepare(
            u"SELECT * FROM (%1) AS tessal_consulta LIMIT ? OFFSET ?"_s.arg(trimmedSql())))
        refused(query, m_sql);
    bindSqlValues(query);
    query.addBindValue(m_windowRows);
    query.addBindValue(first);
    if (!query.exec())
        refused(query, m_sql);
    readRows(query, window);
    ++m_windowsFetched;
    return window;
}

std::optional<QueryWindowModel::Window> QueryWindowModel::fetchWindowByKey(int first) const
{
    if (m_keyIndex.isEmpty())
        return std::nullopt;
    // A neighbour already read gives the edge to start from: the window before this one ends
    // just before it, the window after it starts just after it.
    const QList<QVariant> *edge = nullptr;
    KeyDirection direction = KeyDirection::After;
    for (const Window &cached : m_cache) {
        if (cached.rows.isEmpty())
            continue;
        if (cached.first + m_windowRows == first && cached.rows.size() == m_windowRows) {
            edge = &cached.lastKey;
            direction = KeyDirection::After;
            break;
        }
        if (cached.first == first + m_windowRows) {
            edge = &cached.firstKey;
            direction = KeyDirection::Before;
            break;
        }
    }
    // Null keys do not compare; such rows are read by position.
    if (!edge ||
        std::any_of(edge->begin(), edge->end(), [](const QVariant &v) { return v.isNull(); }))
        return std::nullopt;

    QStringList names;
    QStringList marks;
    // The names as the engine gave them: a server folds unquoted names to lower case, and a
    // quoted name must match exactly.
    for (const QString &key : std::as_const(m_keyNames)) {
        names.append(u"\"%1\""_s.arg(QString(key).replace(u'"', u"\"\""_s)));
        marks.append(u"?"_s);
    }
    const bool after = direction == KeyDirection::After;
    QStringList order;
    for (const QString &name : names)
        order.append(after ? name : name + u" DESC"_s);
    const QString sql =
        u"SELECT * FROM (%1) AS tessal_consulta WHERE (%2) %3 (%4) ORDER BY %5 LIMIT ?"_s.arg(
            trimmedSql(), names.join(u", "_s), after ? u">"_s : u"<"_s, marks.join(u", "_s),
            order.join(u", "_s));

    QSqlQuery query(data::openDatabase(m_databasePath));
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        refused(query, m_sql);
    bindSqlValues(query);
    for (const QVariant &value : *edge)
        query.addBindValue(value);
    query.addBindValue(m_windowRows);
    if (!query.exec())
        refused(query, m_sql);
    Window window;
    window.first = first;
    readRows(query, window);
    if (!after) {
        std::reverse(window.rows.begin(), window.rows.end());
        std::reverse(window.previews.begin(), window.previews.end());
        std::reverse(window.attributes.begin(), window.attributes.end());
        std::swap(window.firstKey, window.lastKey);
    }
    // Rows with a Null key before the edge, or a result changed since the count, leave the
    // window short of what its place asks; reading by position then keeps the row numbers right.
    if (window.rows.size() != expectedRows(first))
        return std::nullopt;
    ++m_windowsFetched;
    ++m_windowsFetchedByKey;
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
        std::optional<Window> byKey = fetchWindowByKey(first);
        m_cache.push_front(byKey ? std::move(*byKey) : fetchWindow(first));
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
    switch (role) {
    case Qt::DisplayRole: {
        const auto format = m_columnFormats.constFind(column);
        if (format != m_columnFormats.cend() && format->first)
            return format->first(value(row, column));
        return text(row, column);
    }
    case Qt::EditRole:
        return text(row, column);
    case Qt::TextAlignmentRole: {
        const auto format = m_columnFormats.constFind(column);
        if (format != m_columnFormats.cend() && format->second)
            return QVariant::fromValue(format->second);
        return {};
    }
    case Qt::ForegroundRole:
    case Qt::BackgroundRole: {
        if (m_rowStyles.isEmpty())
            return {};
        const auto style = m_rowStyles.constFind(rowAttribute(row));
        if (style == m_rowStyles.cend())
            return {};
        const QColor colour = role == Qt::ForegroundRole ? style->foreground : style->background;
        return colour.isValid() ? QVariant(colour) : QVariant();
    }
    case PreviewRole:
        return m_previewIndex >= 0 ? QVariant(preview(row)) : QVariant();
    case RowAttributeRole:
        return m_rowAttributeHook ? QVariant(rowAttribute(row)) : QVariant();
    default:
        return {};
    }
}

void QueryWindowModel::setRowStyle(const QString &attribute, const GridRowStyle &style)
{
    m_rowStyles.insert(attribute, style);
}

void QueryWindowModel::setColumnFormat(int column, CellFormatter formatter, Qt::Alignment alignment)
{
    m_columnFormats.insert(column, {std::move(formatter), alignment});
}

void QueryWindowModel::setColumnEditable(int column, bool editable)
{
    if (editable)
        m_editableColumns.insert(column);
    else
        m_editableColumns.remove(column);
}

Qt::ItemFlags QueryWindowModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && m_editableColumns.contains(index.column()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

int QueryWindowModel::columnOfField(const QString &field) const
{
    for (int i = 0; i < m_fieldNames.size(); ++i)
        if (m_fieldNames.at(i).compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString QueryWindowModel::preview(int row) const
{
    const Window *window = windowFor(row);
    if (!window)
        return {};
    const int offset = row - window->first;
    if (offset >= window->previews.size())
        return {};
    const QVariant stored = window->previews.at(offset);
    return stored.isNull() ? QString() : stored.toString();
}

QString QueryWindowModel::rowAttribute(int row) const
{
    const Window *window = windowFor(row);
    if (!window)
        return {};
    const int offset = row - window->first;
    return offset < window->attributes.size() ? window->attributes.at(offset) : QString();
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
