#include "data/recordset.h"

#include "core/error.h"
#include "core/money.h"
#include "data/database.h"
#include "data/nextcode.h"
#include "data/sqlerror.h"
#include "data/sqlshape.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <algorithm>

namespace tessal::data {

using detail::quoteIdentifier;

namespace {

bool hasPrefix(const QString &name, QLatin1String prefix)
{
    return name.startsWith(prefix, Qt::CaseInsensitive);
}

bool isDateField(const QString &name)
{
    return hasPrefix(name, QLatin1String("dt_"));
}

bool isAmountField(const QString &name)
{
    return hasPrefix(name, QLatin1String("vl_"));
}

bool hasTextAffinity(const QString &declaredType)
{
    const QString upper = declaredType.toUpper();
    return upper.contains(QLatin1String("CHAR")) || upper.contains(QLatin1String("CLOB")) ||
           upper.contains(QLatin1String("TEXT"));
}

bool isNumericType(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// Amounts typed into a record set follow the same rule as the ledger's, the locale's.
std::optional<double> parseNumber(const QString &text)
{
    if (const auto cents = parseAmount(text, QLocale()))
        return doubleFromCents(*cents);
    return std::nullopt;
}

const QString KeyPrefix = QStringLiteral("tessal_k");
const QString RowKeyPrefix = QStringLiteral("tessal_r");

// A scan reads a few rows first (a window mostly looks at one record after a refresh), then
// batches twice as large as it goes on, up to a bound that keeps memory small.
constexpr int FirstBatchRows = 32;
constexpr int MaxBatchRows = 2048;

// A server table's columns in order, with each one's type, NOT NULL and place in the primary key
// (Null when it is none). The name is resolved as the statement resolves it: unquoted in lower
// case, a quoted one as written, through the search path; an unknown one gives no rows.
const QString ServerColumns =
    QStringLiteral("SELECT a.attname, format_type(a.atttypid, a.atttypmod), a.attnotnull, "
                   "array_position(i.indkey::int2[], a.attnum) "
                   "FROM pg_catalog.pg_attribute a "
                   "LEFT JOIN pg_catalog.pg_index i ON i.indrelid = a.attrelid AND i.indisprimary "
                   "WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 AND NOT a.attisdropped "
                   "ORDER BY a.attnum");

QString rowKeyAlias(int table, int key)
{
    return QStringLiteral("%1%2_%3").arg(RowKeyPrefix).arg(table).arg(key);
}

} // namespace

RecordSet::RecordSet() = default;

RecordSet::RecordSet(const QString &databasePath, const QString &sql, DatabaseKind kind)
    : m_path(databasePath)
    , m_kind(kind)
    , m_sql(sql)
{}

RecordSet::~RecordSet() = default;
RecordSet::RecordSet(RecordSet &&) noexcept = default;
RecordSet &RecordSet::operator=(RecordSet &&) noexcept = default;

void RecordSet::setDatabasePath(const QString &path)
{
    if (path == m_path)
        return;
    m_db = QSqlDatabase();
    m_path = path;
    m_shapeReady = false;
    m_opened = false;
    setEndOfFile();
}

void RecordSet::setSql(const QString &sql)
{
    if (sql == m_sql)
        return;
    m_sql = sql;
    m_shapeReady = false;
    m_opened = false;
    setEndOfFile();
}

QSqlDatabase RecordSet::database() const
{
    return openDatabase(m_path, m_kind);
}

void RecordSet::fail(int number, const QString &description) const
{
    throw Error(number, description, m_sql);
}

// A reading from the start, a search and a write each ask for the shared connection again rather
// than keeping the one the record set had: a server's connection found dead meanwhile (the server
// restarted while the window sat open) is then replaced before they run instead of failing them.
// moveNext() goes on with the connection its scan began on.
void RecordSet::ensureOpen()
{
    m_db = openDatabase(m_path, m_kind);
    m_server = m_db.driverName() == QLatin1String("QPSQL");
    if (m_sql.trimmed().isEmpty())
        fail(ErrorNumber::DatabaseError,
             QStringLiteral("O conjunto de registros não tem instrução SQL."));
}

bool RecordSet::isKeyset() const
{
    return m_shape && m_shape->keyset;
}

void RecordSet::readTableInfo(const detail::TableRef &ref, TableInfo &info)
{
    QString name = ref.table;
    if (name.startsWith(u'[') || name.startsWith(u'`') || (!m_server && name.startsWith(u'"')))
        name = name.mid(1, name.size() - 2);
    QSqlQuery catalog(m_db);
    if (!m_server) {
        execOrThrow(catalog, QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(name)));
        while (catalog.next())
            info.columns.append({catalog.value(1).toString(), catalog.value(2).toString(), false});
        info.keys = QStringList{QStringLiteral("rowid")};
        return;
    }
    execBound(catalog, ServerColumns, {name});
    QMap<int, int> keyColumns; // place in the primary key -> column
    while (catalog.next()) {
        if (!catalog.value(3).isNull())
            keyColumns.insert(catalog.value(3).toInt(), int(info.columns.size()));
        info.columns.append(
            {catalog.value(0).toString(), catalog.value(1).toString(), catalog.value(2).toBool()});
    }
    for (const int column : std::as_const(keyColumns)) {
        info.keyColumns.append(column);
        info.keys.append(quoteIdentifier(info.columns.at(column).name));
    }
}

void RecordSet::prepareShape()
{
    if (m_shapeReady)
        return;
    m_shape = std::make_unique<detail::SqlShape>(detail::parseSelect(m_sql));
    m_tables.clear();
    m_hiddenKeys = 0;
    if (m_shape->keyset) {
        int keys = 0;
        for (const detail::TableRef &ref : m_shape->tables) {
            TableInfo info{ref.table, ref.reference, {}, {}, {}, keys};
            readTableInfo(ref, info);
            // A view or an unknown name has no rowid to address, nor a server table without a
            // primary key: scan only. (An unknown name makes the statement itself fail with the
            // engine's message on refresh.)
            if (info.columns.isEmpty() || info.keys.isEmpty()) {
                m_shape->keyset = false;
                m_tables.clear();
                break;
            }
            keys += int(info.keys.size());
            m_tables.append(info);
        }
        if (m_shape->keyset)
            m_hiddenKeys = int(m_shape->order.size()) + keyCount();
    }
    m_shapeReady = true;
}

int RecordSet::keyCount() const
{
    return m_tables.isEmpty() ? 0 : m_tables.last().firstKey + int(m_tables.last().keys.size());
}

QString RecordSet::keyExpression(int table, int key) const
{
    return m_tables.at(table).reference + QLatin1Char('.') + m_tables.at(table).keys.at(key);
}

QVariant RecordSet::keyValue(int table, int key) const
{
    return m_row.value(fieldCount() + int(m_shape->order.size()) + m_tables.at(table).firstKey +
                       key);
}

// The current row of one table, by its key: "rowid = ?" on a file, each primary-key column on a
// server. Qualified by the table's reference for a statement over several tables.
QString RecordSet::rowCondition(int table, bool qualified, QVariantList &binds) const
{
    QStringList parts;
    const TableInfo &info = m_tables.at(table);
    for (int k = 0; k < info.keys.size(); ++k) {
        const QString key = qualified ? keyExpression(table, k) : info.keys.at(k);
        const QVariant value = keyValue(table, k);
        if (value.isNull()) {
            parts << key + QLatin1String(" IS NULL");
        } else {
            parts << key + QLatin1String(" = ?");
            binds << value;
        }
    }
    return parts.join(QLatin1String(" AND "));
}

QString RecordSet::orderByClause(bool reversed) const
{
    QStringList terms;
    for (const detail::OrderTerm &term : m_shape->order)
        terms << term.expression + ((term.descending != reversed) ? QLatin1String(" DESC")
                                                                  : QLatin1String(" ASC"));
    for (int t = 0; t < m_tables.size(); ++t) {
        for (int k = 0; k < m_tables.at(t).keys.size(); ++k)
            terms << keyExpression(t, k) +
                         (reversed ? QLatin1String(" DESC") : QLatin1String(" ASC"));
    }
    return QLatin1String(" ORDER BY ") + terms.join(QLatin1String(", "));
}

QString RecordSet::composeSelect(const QString &extraCondition, const QString &orderBy, int limit,
                                 QVariantList &binds) const
{
    QString sql = QLatin1String("SELECT ") + m_shape->selectList;
    for (int i = 0; i < m_shape->order.size(); ++i)
        sql +=
            QStringLiteral(", (%1) AS %2%3").arg(m_shape->order.at(i).expression, KeyPrefix).arg(i);
    for (int t = 0; t < m_tables.size(); ++t) {
        for (int k = 0; k < m_tables.at(t).keys.size(); ++k)
            sql += QStringLiteral(", %1 AS %2").arg(keyExpression(t, k), rowKeyAlias(t, k));
    }
    sql += QLatin1String(" FROM ") + m_shape->from;
    QStringList conditions;
    if (!m_shape->where.isEmpty())
        conditions << QLatin1Char('(') + m_shape->where + QLatin1Char(')');
    if (!extraCondition.isEmpty())
        conditions << QLatin1Char('(') + extraCondition + QLatin1Char(')');
    if (!conditions.isEmpty())
        sql += QLatin1String(" WHERE ") + conditions.join(QLatin1String(" AND "));
    sql += orderBy;
    if (limit > 0) {
        sql += QLatin1String(" LIMIT ?");
        binds << limit;
    }
    return sql;
}

// A plain column of the statement's only table declared NOT NULL: a row-value comparison over it
// never meets a Null. (With several tables an outer join may still give Null for it.)
bool RecordSet::isNeverNullColumn(const QString &expression) const
{
    if (m_tables.size() != 1)
        return false;
    static const QRegularExpression column(
        QStringLiteral("^(?:([A-Za-z_][A-Za-z0-9_]*)\\.)?([A-Za-z_][A-Za-z0-9_]*)$"));
    const QRegularExpressionMatch match = column.match(expression.trimmed());
    if (!match.hasMatch())
        return false;
    if (match.hasCaptured(1) &&
        match.captured(1).compare(m_tables.first().reference, Qt::CaseInsensitive) != 0)
        return false;
    const auto found = tableColumn(match.captured(2));
    return found && m_tables.first().columns.at(found->second).notNull;
}

// The rows after the current one in the record set's order: the ORDER BY values, then the row
// keys. With every key ascending and none of them Null this is one row-value comparison, which
// the engine answers with an index range; otherwise it is spelt out term by term, Null sorting
// where the engine sorts it. On a server Null sorts after every value ascending, so a row further
// on may hold Null where the comparison would drop it: there the row value is used only for keys
// that can never be Null.
QString RecordSet::keysetAfterCurrent(QVariantList &binds) const
{
    QList<OrderKey> keys;
    const int first = fieldCount();
    for (int i = 0; i < m_shape->order.size(); ++i) {
        const detail::OrderTerm &term = m_shape->order.at(i);
        keys.append({term.expression, term.descending, m_row.value(first + i),
                     isNeverNullColumn(term.expression)});
    }
    for (int t = 0; t < m_tables.size(); ++t) {
        for (int k = 0; k < m_tables.at(t).keys.size(); ++k)
            keys.append({keyExpression(t, k), false, keyValue(t, k), m_tables.size() == 1});
    }

    const bool allAscending =
        std::all_of(keys.begin(), keys.end(), [](const OrderKey &k) { return !k.descending; });
    const bool noNull =
        std::all_of(keys.begin(), keys.end(), [](const OrderKey &k) { return !k.value.isNull(); });
    const bool neverNull =
        std::all_of(keys.begin(), keys.end(), [](const OrderKey &k) { return k.neverNull; });
    if (allAscending && noNull && (!m_server || neverNull)) {
        QStringList left, right;
        for (const OrderKey &k : keys) {
            left << QLatin1Char('(') + k.expression + QLatin1Char(')');
            right << QStringLiteral("?");
            binds << k.value;
        }
        return QLatin1Char('(') + left.join(QLatin1String(", ")) + QLatin1String(") > (") +
               right.join(QLatin1String(", ")) + QLatin1Char(')');
    }

    const QString nothing = m_server ? QStringLiteral("FALSE") : QStringLiteral("0");
    QStringList alternatives;
    for (int i = 0; i < keys.size(); ++i) {
        QStringList parts;
        for (int j = 0; j < i; ++j) {
            const OrderKey &k = keys.at(j);
            if (k.value.isNull()) {
                parts << QStringLiteral("(%1) IS NULL").arg(k.expression);
            } else {
                parts << QStringLiteral("(%1) = ?").arg(k.expression);
                binds << k.value;
            }
        }
        const OrderKey &k = keys.at(i);
        const QString after = k.descending ? QStringLiteral("<") : QStringLiteral(">");
        if (nullsFirst(k.descending)) {
            if (k.value.isNull()) {
                parts << QStringLiteral("(%1) IS NOT NULL").arg(k.expression);
            } else {
                parts << QStringLiteral("(%1) %2 ?").arg(k.expression, after);
                binds << k.value;
            }
        } else {
            if (k.value.isNull()) {
                parts << nothing; // Null is last in this order
            } else {
                parts << QStringLiteral("((%1) %2 ? OR (%1) IS NULL)").arg(k.expression, after);
                binds << k.value;
            }
        }
        alternatives << QLatin1Char('(') + parts.join(QLatin1String(" AND ")) + QLatin1Char(')');
    }
    return alternatives.join(QLatin1String(" OR "));
}

void RecordSet::execBound(QSqlQuery &query, const QString &sql, const QVariantList &binds) const
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw Error(ErrorNumber::DatabaseError, refusedStatement(query.lastError()), m_sql);
    for (const QVariant &value : binds)
        query.addBindValue(value);
    if (!query.exec()) {
        if (isDuplicateKey(query.lastError()))
            throw DuplicateKeyError(ErrorNumber::DatabaseError, refusedStatement(query.lastError()),
                                    m_sql);
        throw Error(ErrorNumber::DatabaseError, refusedStatement(query.lastError()), m_sql);
    }
}

void RecordSet::learnColumns(const QSqlQuery &query)
{
    QSqlRecord all = query.record();
    m_visible = QSqlRecord();
    m_fieldIndex.clear();
    const int visible = all.count() - m_hiddenKeys;
    for (int i = 0; i < visible; ++i) {
        m_visible.append(all.field(i));
        const QString key = all.fieldName(i).toLower();
        if (!m_fieldIndex.contains(key))
            m_fieldIndex.insert(key, i);
    }
}

RecordSet::Row RecordSet::readRow(const QSqlQuery &query)
{
    const int columns = query.record().count();
    Row row(columns);
    for (int i = 0; i < columns; ++i)
        row[i] = query.value(i);
    return row;
}

void RecordSet::throwIfFailed(const QSqlQuery &query) const
{
    if (query.lastError().isValid())
        throw Error(ErrorNumber::DatabaseError, refusedStatement(query.lastError()), m_sql);
}

void RecordSet::takeRow(Row row)
{
    m_row = std::move(row);
    m_hasRow = true;
    m_eof = false;
}

void RecordSet::setEndOfFile()
{
    m_ahead.clear();
    m_moreAhead = false;
    m_row.clear();
    m_hasRow = false;
    m_eof = true;
}

// After a write, or a move by key, the scan goes on from the current row's key with a fresh read.
void RecordSet::forgetRowsAhead()
{
    m_ahead.clear();
    m_moreAhead = true;
    m_batchRows = FirstBatchRows;
}

// Reads the next batch of the scan into the rows ahead: after the current row's key, or for a
// scanned statement (which has no key) past the rows already walked. The statement is finished
// before this returns.
void RecordSet::readAhead()
{
    const int count = m_batchRows;
    m_batchRows = std::min(m_batchRows * 2, MaxBatchRows);
    QSqlQuery query(m_db);
    qint64 skip = 0;
    if (isKeyset()) {
        QVariantList binds;
        const QString after = m_row.isEmpty() ? QString() : keysetAfterCurrent(binds);
        const QString sql = composeSelect(after, orderByClause(false), count, binds);
        execBound(query, sql, binds);
    } else {
        execBound(query, m_sql, {});
        skip = m_position + 1;
    }
    learnColumns(query);
    for (qint64 i = 0; i < skip && query.next(); ++i) {
    }
    while (int(m_ahead.size()) < count && query.next())
        m_ahead.push_back(readRow(query));
    throwIfFailed(query);
    m_moreAhead = int(m_ahead.size()) == count;
    query.finish();
}

// Makes the next row current, or goes to end-of-file.
void RecordSet::advance()
{
    if (m_ahead.empty() && m_moreAhead)
        readAhead();
    if (m_ahead.empty()) {
        setEndOfFile();
        return;
    }
    takeRow(std::move(m_ahead.front()));
    m_ahead.pop_front();
    ++m_position;
}

bool RecordSet::runSingle(const QString &sql, const QVariantList &binds, Row &row)
{
    QSqlQuery query(m_db);
    execBound(query, sql, binds);
    learnColumns(query);
    if (!query.next()) {
        throwIfFailed(query);
        return false;
    }
    row = readRow(query);
    query.finish();
    return true;
}

void RecordSet::refresh()
{
    ensureOpen();
    prepareShape();
    m_mode = EditMode::None;
    m_pending.clear();
    m_noMatch = false;
    // A refusal leaves the record set at end-of-file rather than on a row of the last reading.
    setEndOfFile();
    m_opened = true;
    m_position = -1;
    forgetRowsAhead();
    advance();
}

void RecordSet::moveLast()
{
    ensureOpen();
    prepareShape();
    m_mode = EditMode::None;
    m_pending.clear();
    m_opened = true;
    if (isKeyset()) {
        Row row;
        QVariantList binds;
        if (runSingle(composeSelect({}, orderByClause(true), 1, binds), binds, row)) {
            takeRow(std::move(row));
            forgetRowsAhead();
        } else {
            setEndOfFile();
        }
        return;
    }
    // Scanned statements: walk to the end keeping the last row.
    QSqlQuery scan(m_db);
    execBound(scan, m_sql, {});
    learnColumns(scan);
    Row last;
    qint64 count = 0;
    while (scan.next()) {
        last = readRow(scan);
        ++count;
    }
    throwIfFailed(scan);
    if (count == 0) {
        setEndOfFile();
        return;
    }
    takeRow(std::move(last));
    m_position = count - 1;
    m_ahead.clear();
    m_moreAhead = false;
}

void RecordSet::moveNext()
{
    if (eof())
        fail(ErrorNumber::NoCurrentRecord, QStringLiteral("Nenhum registro corrente."));
    m_mode = EditMode::None;
    m_pending.clear();
    advance();
}

std::optional<std::pair<int, int>> RecordSet::tableColumn(const QString &field) const
{
    for (int t = 0; t < m_tables.size(); ++t) {
        const QList<Column> &columns = m_tables.at(t).columns;
        for (int c = 0; c < columns.size(); ++c) {
            if (columns.at(c).name.compare(field, Qt::CaseInsensitive) == 0)
                return std::make_pair(t, c);
        }
    }
    return std::nullopt;
}

void RecordSet::findFirst(const QString &field, const QVariant &value)
{
    ensureOpen();
    prepareShape();
    m_mode = EditMode::None;
    m_pending.clear();

    if (isKeyset()) {
        const auto where = tableColumn(field);
        QString sql;
        QVariantList binds;
        if (where) {
            const Column &column = m_tables.at(where->first).columns.at(where->second);
            binds << toStored(column.name, column.type, value);
            sql = composeSelect(m_tables.at(where->first).reference + QLatin1Char('.') +
                                    quoteIdentifier(column.name) + QLatin1String(" = ?"),
                                orderByClause(false), 1, binds);
        } else {
            const int index = visibleIndex(field); // refuses a name that is no field at all
            const QVariant stored = toStored(field, QString(), value);
            if (m_server) {
                sql = findByResultField(m_visible.fieldName(index), stored, binds);
            } else {
                binds << stored;
                sql = composeSelect(quoteIdentifier(field) + QLatin1String(" = ?"),
                                    orderByClause(false), 1, binds);
            }
        }
        Row row;
        if (runSingle(sql, binds, row)) {
            takeRow(std::move(row));
            forgetRowsAhead();
            m_opened = true;
            m_noMatch = false;
        } else {
            m_noMatch = true;
        }
        return;
    }

    // Scanned statements: walk from the start to the first match and read a batch after it.
    QSqlQuery scan(m_db);
    execBound(scan, m_sql, {});
    learnColumns(scan);
    const int index = visibleIndex(field);
    const QString wanted = toStored(field, QString(), value).toString();
    for (qint64 position = 0; scan.next(); ++position) {
        if (scan.value(index).toString() != wanted)
            continue;
        takeRow(readRow(scan));
        m_position = position;
        m_opened = true;
        m_noMatch = false;
        m_ahead.clear();
        m_batchRows = FirstBatchRows;
        while (int(m_ahead.size()) < m_batchRows && scan.next())
            m_ahead.push_back(readRow(scan));
        throwIfFailed(scan);
        m_moreAhead = int(m_ahead.size()) == m_batchRows;
        return;
    }
    throwIfFailed(scan);
    m_noMatch = true;
}

// A server takes no alias of the select list in WHERE, so a field that is no table column is
// looked for around the statement, ordered by the key columns it carries under their own names.
QString RecordSet::findByResultField(const QString &resultName, const QVariant &wanted,
                                     QVariantList &binds) const
{
    const QString select = composeSelect({}, {}, 0, binds);
    QStringList terms;
    for (int i = 0; i < m_shape->order.size(); ++i)
        terms << KeyPrefix + QString::number(i) +
                     (m_shape->order.at(i).descending ? QLatin1String(" DESC")
                                                      : QLatin1String(" ASC"));
    for (int t = 0; t < m_tables.size(); ++t) {
        for (int k = 0; k < m_tables.at(t).keys.size(); ++k)
            terms << rowKeyAlias(t, k) + QLatin1String(" ASC");
    }
    binds << wanted << 1;
    return QStringLiteral("SELECT * FROM (%1) AS tessal_f WHERE tessal_f.%2 = ? ORDER BY %3 "
                          "LIMIT ?")
        .arg(select, quoteIdentifier(resultName), terms.join(QLatin1String(", ")));
}

void RecordSet::requireCurrent() const
{
    if (eof())
        fail(ErrorNumber::NoCurrentRecord, QStringLiteral("Nenhum registro corrente."));
    if (!m_hasRow)
        fail(ErrorNumber::RecordDeleted, QStringLiteral("O registro corrente foi excluído."));
}

void RecordSet::requireKeyset(const QString &what) const
{
    if (!isKeyset())
        fail(ErrorNumber::NotUpdatable,
             QStringLiteral("Não é possível %1 por esta consulta.").arg(what));
}

void RecordSet::addNew()
{
    ensureOpen();
    prepareShape();
    requireKeyset(QStringLiteral("incluir registros"));
    if (m_tables.size() != 1)
        fail(ErrorNumber::NotUpdatable,
             QStringLiteral("Esta consulta reúne várias tabelas; não é possível incluir "
                            "registros por ela."));
    m_pending.clear();
    m_mode = EditMode::AddNew;
}

void RecordSet::edit()
{
    requireCurrent();
    requireKeyset(QStringLiteral("alterar registros"));
    m_pending.clear();
    m_mode = EditMode::Edit;
}

std::pair<int, int> RecordSet::writableColumn(const QString &field) const
{
    const auto where = tableColumn(field);
    if (!where)
        fail(ErrorNumber::FieldNotFound,
             QStringLiteral("O campo \"%1\" não existe nas tabelas desta consulta.").arg(field));
    if (m_mode == EditMode::AddNew && where->first != 0)
        fail(ErrorNumber::NotUpdatable,
             QStringLiteral("O campo \"%1\" não pertence à tabela da inclusão.").arg(field));
    return *where;
}

QVariant RecordSet::toStored(const QString &column, const QString &declaredType,
                             const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return {};
    if (isDateField(column)) {
        QDate date;
        if (value.metaType().id() == QMetaType::QDate)
            date = value.toDate();
        else if (value.metaType().id() == QMetaType::QDateTime)
            date = value.toDateTime().date();
        else if (value.metaType().id() == QMetaType::QString) {
            const QString text = value.toString();
            date = parseTypedDate(text).value_or(fromStoredDate(text));
            if (text.size() != 10)
                date = QDate(); // a stored date with a time, or a typed one with extra text
        }
        if (!date.isValid())
            fail(ErrorNumber::TypeMismatch,
                 QStringLiteral("\"%1\" não é uma data válida (dd/mm/aaaa) para o campo %2.")
                     .arg(value.toString(), column));
        return toStoredDate(date);
    }
    if (isAmountField(column)) {
        if (isNumericType(value))
            return value.toDouble();
        if (value.metaType().id() == QMetaType::QString) {
            if (const auto number = parseNumber(value.toString()))
                return *number;
        }
        fail(ErrorNumber::TypeMismatch, QStringLiteral("\"%1\" não é um valor numérico válido "
                                                       "para o campo %2.")
                                            .arg(value.toString(), column));
    }
    if (hasTextAffinity(declaredType) || declaredType.isEmpty())
        return value.toString();
    return value;
}

void RecordSet::setField(const QString &field, const QVariant &value)
{
    if (m_mode == EditMode::None)
        fail(ErrorNumber::UpdateWithoutEdit,
             QStringLiteral("Não há inclusão ou alteração em andamento para gravar o campo "
                            "\"%1\".")
                 .arg(field));
    const auto [table, column] = writableColumn(field);
    const Column &info = m_tables.at(table).columns.at(column);
    m_pending[table][column] = toStored(info.name, info.type, value);
}

void RecordSet::cancelUpdate()
{
    m_mode = EditMode::None;
    m_pending.clear();
}

void RecordSet::update()
{
    if (m_mode == EditMode::None)
        fail(ErrorNumber::UpdateWithoutEdit,
             QStringLiteral("Não há inclusão ou alteração em andamento para gravar."));
    ensureOpen();
    const EditMode mode = m_mode;
    const auto pending = m_pending;
    m_mode = EditMode::None;
    m_pending.clear();

    if (mode == EditMode::AddNew) {
        const TableInfo &info = m_tables.at(0);
        QStringList names, marks;
        QVariantList binds;
        const QHash<int, QVariant> fields = pending.value(0);
        for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
            names << quoteIdentifier(info.columns.at(it.key()).name);
            marks << QStringLiteral("?");
            binds << it.value();
        }
        const QString sql = names.isEmpty()
                                ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(info.table)
                                : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                      .arg(info.table, names.join(QLatin1String(", ")),
                                           marks.join(QLatin1String(", ")));
        QSqlQuery write(m_db);
        execBound(write, sql, binds);
        // The rows read ahead may or may not hold the new row; continue by key.
        forgetRowsAhead();
        return;
    }

    requireCurrent();
    updateTables(pending);
    // A server addresses the row by its primary key: a key the update changed is the row's key
    // from now on. (A file's rowid never changes.)
    for (auto table = pending.cbegin(); table != pending.cend(); ++table) {
        const TableInfo &info = m_tables.at(table.key());
        for (int k = 0; k < info.keyColumns.size(); ++k) {
            const auto written = table.value().constFind(info.keyColumns.at(k));
            if (written != table.value().cend())
                m_row[fieldCount() + int(m_shape->order.size()) + info.firstKey + k] =
                    written.value();
        }
    }
    reloadCurrent();
}

// The writes of one update to several tables go together or not at all: as a savepoint inside
// the caller's transaction, else in a transaction of their own. On a file the savepoint opens one
// by itself; a server refuses a savepoint outside a transaction (SQLSTATE 25P01), which tells the
// two cases apart there.
void RecordSet::updateTables(const QHash<int, QHash<int, QVariant>> &pending)
{
    enum class Group { None, Savepoint, Transaction };
    Group group = Group::None;
    QSqlQuery write(m_db);
    if (pending.size() > 1) {
        const QString savepoint = QStringLiteral("SAVEPOINT tessal_recordset");
        group = Group::Savepoint;
        if (!write.exec(savepoint)) {
            if (!m_server || write.lastError().nativeErrorCode() != QLatin1String("25P01"))
                throwQueryError(write, savepoint);
            execOrThrow(write, QStringLiteral("BEGIN"));
            group = Group::Transaction;
        }
    }
    try {
        for (auto table = pending.cbegin(); table != pending.cend(); ++table) {
            const TableInfo &info = m_tables.at(table.key());
            if (keyValue(table.key(), 0).isNull())
                fail(ErrorNumber::NoCurrentRecord,
                     QStringLiteral("O registro corrente não tem linha na tabela %1.")
                         .arg(info.table));
            QStringList sets;
            QVariantList binds;
            for (auto it = table.value().cbegin(); it != table.value().cend(); ++it) {
                sets << quoteIdentifier(info.columns.at(it.key()).name) + QLatin1String(" = ?");
                binds << it.value();
            }
            const QString where = rowCondition(table.key(), false, binds);
            execBound(write,
                      QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                          .arg(info.table, sets.join(QLatin1String(", ")), where),
                      binds);
            if (write.numRowsAffected() == 0)
                fail(ErrorNumber::RecordDeleted,
                     QStringLiteral("O registro corrente foi excluído por outra operação."));
        }
        if (group == Group::Savepoint)
            execOrThrow(write, QStringLiteral("RELEASE tessal_recordset"));
        else if (group == Group::Transaction)
            execOrThrow(write, QStringLiteral("COMMIT"));
    } catch (...) {
        QSqlQuery undo(m_db);
        if (group == Group::Savepoint) {
            undo.exec(QStringLiteral("ROLLBACK TO tessal_recordset"));
            undo.exec(QStringLiteral("RELEASE tessal_recordset"));
        } else if (group == Group::Transaction) {
            undo.exec(QStringLiteral("ROLLBACK"));
        }
        throw;
    }
}

// Re-reads the current row after an edit so that reads show what is stored. The rows read ahead
// are kept unless a key of the order changed: then the scan goes on from the row's new place.
void RecordSet::reloadCurrent()
{
    QStringList conditions;
    QVariantList binds;
    for (int t = 0; t < m_tables.size(); ++t)
        conditions << rowCondition(t, true, binds);
    QSqlQuery query(m_db);
    execBound(query, composeSelect(conditions.join(QLatin1String(" AND ")), {}, 1, binds), binds);
    if (!query.next()) {
        throwIfFailed(query);
        // The row no longer meets the statement's condition; it stays current as it was.
        forgetRowsAhead();
        return;
    }
    const Row now = readRow(query);
    query.finish();
    bool keysChanged = false;
    for (int i = 0; i < now.size(); ++i) {
        if (i >= fieldCount() && now.at(i) != m_row.value(i))
            keysChanged = true;
        m_row[i] = now.at(i);
    }
    if (keysChanged)
        forgetRowsAhead();
}

void RecordSet::deleteCurrent()
{
    requireCurrent();
    requireKeyset(QStringLiteral("excluir registros"));
    if (m_tables.size() != 1)
        fail(ErrorNumber::NotUpdatable,
             QStringLiteral("Esta consulta reúne várias tabelas; não é possível excluir "
                            "registros por ela."));
    ensureOpen();
    m_mode = EditMode::None;
    m_pending.clear();
    QVariantList binds;
    const QString where = rowCondition(0, false, binds);
    QSqlQuery write(m_db);
    execBound(write, QStringLiteral("DELETE FROM %1 WHERE %2").arg(m_tables.at(0).table, where),
              binds);
    // The deleted row's key stays, so that moveNext() goes on to the row after it.
    forgetRowsAhead();
    m_hasRow = false;
}

int RecordSet::visibleIndex(const QString &field) const
{
    const auto it = m_fieldIndex.constFind(field.toLower());
    if (it == m_fieldIndex.cend())
        fail(ErrorNumber::FieldNotFound,
             QStringLiteral("O campo \"%1\" não existe neste conjunto de registros.").arg(field));
    return it.value();
}

QVariant RecordSet::value(const QString &field) const
{
    requireCurrent();
    const int index = visibleIndex(field);
    const QVariant raw = m_row.value(index);
    if (raw.isNull())
        return {};
    if (isDateField(m_visible.fieldName(index)) && raw.metaType().id() == QMetaType::QString) {
        const QDate date = fromStoredDate(raw.toString());
        if (date.isValid())
            return date;
    }
    return raw;
}

QString RecordSet::text(const QString &field) const
{
    const QVariant v = value(field);
    if (!v.isValid())
        return {};
    if (v.metaType().id() == QMetaType::QDate)
        return showDate(v.toDate());
    if (v.metaType().id() == QMetaType::Double || v.metaType().id() == QMetaType::Float)
        return formatPlain(v.toDouble());
    return v.toString();
}

double RecordSet::number(const QString &field) const
{
    const QVariant v = value(field);
    if (!v.isValid())
        return 0.0;
    if (isNumericType(v))
        return v.toDouble();
    if (const auto parsed = parseNumber(v.toString()))
        return *parsed;
    fail(ErrorNumber::TypeMismatch,
         QStringLiteral("O campo \"%1\" não contém um número: \"%2\".").arg(field, v.toString()));
}

QSqlRecord RecordSet::record() const
{
    return m_visible;
}

int RecordSet::fieldCount() const
{
    return m_visible.count();
}

} // namespace tessal::data
