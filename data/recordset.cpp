#include "data/recordset.h"

#include "core/error.h"
#include "core/money.h"
#include "data/database.h"
#include "data/sqlerror.h"
#include "data/sqlshape.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QSqlField>

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
const QString RowidPrefix = QStringLiteral("tessal_r");

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
    m_cursor.reset();
    m_db = QSqlDatabase();
    m_path = path;
    m_shapeReady = false;
    m_opened = false;
    m_hasRow = false;
    m_eof = true;
}

void RecordSet::setSql(const QString &sql)
{
    if (sql == m_sql)
        return;
    m_cursor.reset();
    m_sql = sql;
    m_shapeReady = false;
    m_opened = false;
    m_hasRow = false;
    m_eof = true;
}

QSqlDatabase RecordSet::database() const
{
    return m_db.isOpen() ? m_db : openDatabase(m_path, m_kind);
}

void RecordSet::fail(int number, const QString &description) const
{
    throw Error(number, description, m_sql);
}

void RecordSet::ensureOpen()
{
    if (!m_db.isOpen())
        m_db = openDatabase(m_path, m_kind);
    if (m_sql.trimmed().isEmpty())
        fail(ErrorNumber::DatabaseError,
             QStringLiteral("O conjunto de registros não tem instrução SQL."));
}

bool RecordSet::isKeyset() const
{
    return m_shape && m_shape->keyset;
}

void RecordSet::prepareShape()
{
    if (m_shapeReady)
        return;
    m_shape = std::make_unique<detail::SqlShape>(detail::parseSelect(m_sql));
    m_tables.clear();
    m_hiddenKeys = 0;
    if (m_shape->keyset) {
        QSqlQuery pragma(m_db);
        for (const detail::TableRef &ref : m_shape->tables) {
            TableInfo info{ref.table, ref.reference, {}};
            QString name = ref.table;
            if (name.startsWith(u'[') || name.startsWith(u'`') || name.startsWith(u'"'))
                name = name.mid(1, name.size() - 2);
            execOrThrow(pragma, QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(name)));
            while (pragma.next())
                info.columns.append({pragma.value(1).toString(), pragma.value(2).toString()});
            // A view or an unknown name has no rowid to address: scan only. (An unknown name
            // makes the statement itself fail with the engine's message on refresh.)
            if (info.columns.isEmpty()) {
                m_shape->keyset = false;
                m_tables.clear();
                break;
            }
            m_tables.append(info);
        }
        if (m_shape->keyset)
            m_hiddenKeys = int(m_shape->order.size() + m_tables.size());
    }
    m_shapeReady = true;
}

QString RecordSet::rowidExpression(int table) const
{
    return m_tables.at(table).reference + QLatin1String(".rowid");
}

QVariant RecordSet::rowidOf(int table) const
{
    return m_row.value(fieldCount() + m_shape->order.size() + table);
}

QString RecordSet::orderByClause(bool reversed) const
{
    QStringList terms;
    for (const detail::OrderTerm &term : m_shape->order)
        terms << term.expression + ((term.descending != reversed) ? QLatin1String(" DESC")
                                                                  : QLatin1String(" ASC"));
    for (int t = 0; t < m_tables.size(); ++t)
        terms << rowidExpression(t) + (reversed ? QLatin1String(" DESC") : QLatin1String(" ASC"));
    return QLatin1String(" ORDER BY ") + terms.join(QLatin1String(", "));
}

QString RecordSet::composeSelect(const QString &extraCondition, const QString &orderBy,
                                 bool limitOne) const
{
    QString sql = QLatin1String("SELECT ") + m_shape->selectList;
    for (int i = 0; i < m_shape->order.size(); ++i)
        sql +=
            QStringLiteral(", (%1) AS %2%3").arg(m_shape->order.at(i).expression, KeyPrefix).arg(i);
    for (int t = 0; t < m_tables.size(); ++t)
        sql += QStringLiteral(", %1 AS %2%3").arg(rowidExpression(t), RowidPrefix).arg(t);
    sql += QLatin1String(" FROM ") + m_shape->from;
    QStringList conditions;
    if (!m_shape->where.isEmpty())
        conditions << QLatin1Char('(') + m_shape->where + QLatin1Char(')');
    if (!extraCondition.isEmpty())
        conditions << QLatin1Char('(') + extraCondition + QLatin1Char(')');
    if (!conditions.isEmpty())
        sql += QLatin1String(" WHERE ") + conditions.join(QLatin1String(" AND "));
    sql += orderBy;
    if (limitOne)
        sql += QLatin1String(" LIMIT 1");
    return sql;
}

// The rows after the current one in the record set's order: the ORDER BY values, then the rowids.
// With every key ascending and none of them Null this is one row-value comparison, which the
// engine answers with an index range; otherwise it is spelt out term by term, Null sorting first
// as SQLite sorts it.
QString RecordSet::keysetAfterCurrent(QVariantList &binds) const
{
    struct Key
    {
        QString expression;
        bool descending;
        QVariant value;
    };
    QList<Key> keys;
    const int first = fieldCount();
    for (int i = 0; i < m_shape->order.size(); ++i)
        keys.append({m_shape->order.at(i).expression, m_shape->order.at(i).descending,
                     m_row.value(first + i)});
    for (int t = 0; t < m_tables.size(); ++t)
        keys.append({rowidExpression(t), false, rowidOf(t)});

    const bool allAscending =
        std::all_of(keys.begin(), keys.end(), [](const Key &k) { return !k.descending; });
    const bool noNull =
        std::all_of(keys.begin(), keys.end(), [](const Key &k) { return !k.value.isNull(); });
    if (allAscending && noNull) {
        QStringList left, right;
        for (const Key &k : keys) {
            left << QLatin1Char('(') + k.expression + QLatin1Char(')');
            right << QStringLiteral("?");
            binds << k.value;
        }
        return QLatin1Char('(') + left.join(QLatin1String(", ")) + QLatin1String(") > (") +
               right.join(QLatin1String(", ")) + QLatin1Char(')');
    }

    QStringList alternatives;
    for (int i = 0; i < keys.size(); ++i) {
        QStringList parts;
        for (int j = 0; j < i; ++j) {
            const Key &k = keys.at(j);
            if (k.value.isNull()) {
                parts << QStringLiteral("(%1) IS NULL").arg(k.expression);
            } else {
                parts << QStringLiteral("(%1) = ?").arg(k.expression);
                binds << k.value;
            }
        }
        const Key &k = keys.at(i);
        if (!k.descending) {
            if (k.value.isNull()) {
                parts << QStringLiteral("(%1) IS NOT NULL").arg(k.expression);
            } else {
                parts << QStringLiteral("(%1) > ?").arg(k.expression);
                binds << k.value;
            }
        } else {
            if (k.value.isNull()) {
                parts << QStringLiteral("0"); // Null is last in descending order
            } else {
                parts << QStringLiteral("((%1) < ? OR (%1) IS NULL)").arg(k.expression);
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
    if (!query.exec())
        throw Error(ErrorNumber::DatabaseError, refusedStatement(query.lastError()), m_sql);
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

bool RecordSet::fetchRow(QSqlQuery &query)
{
    if (!query.next()) {
        if (query.lastError().isValid())
            throw Error(ErrorNumber::DatabaseError, refusedStatement(query.lastError()), m_sql);
        setEndOfFile();
        return false;
    }
    const int columns = query.record().count();
    m_row.resize(columns);
    for (int i = 0; i < columns; ++i)
        m_row[i] = query.value(i);
    m_hasRow = true;
    m_eof = false;
    return true;
}

void RecordSet::setEndOfFile()
{
    m_cursor.reset();
    m_row.clear();
    m_hasRow = false;
    m_eof = true;
}

void RecordSet::runCursor(const QString &sql, const QVariantList &binds)
{
    m_cursor.reset();
    m_cursor.emplace(m_db);
    execBound(*m_cursor, sql, binds);
    learnColumns(*m_cursor);
    m_opened = true;
    fetchRow(*m_cursor);
}

bool RecordSet::runSingle(const QString &sql, const QVariantList &binds, QVariantList &row)
{
    QSqlQuery query(m_db);
    execBound(query, sql, binds);
    learnColumns(query);
    if (!query.next()) {
        if (query.lastError().isValid())
            throw Error(ErrorNumber::DatabaseError, refusedStatement(query.lastError()), m_sql);
        return false;
    }
    const int columns = query.record().count();
    row.resize(columns);
    for (int i = 0; i < columns; ++i)
        row[i] = query.value(i);
    return true;
}

void RecordSet::refresh()
{
    ensureOpen();
    prepareShape();
    m_mode = EditMode::None;
    m_pending.clear();
    m_noMatch = false;
    if (isKeyset())
        runCursor(composeSelect({}, orderByClause(false), false), {});
    else
        runCursor(m_sql, {});
}

void RecordSet::moveLast()
{
    ensureOpen();
    prepareShape();
    m_mode = EditMode::None;
    m_pending.clear();
    if (isKeyset()) {
        QVariantList row;
        m_cursor.reset();
        m_opened = true;
        if (runSingle(composeSelect({}, orderByClause(true), true), {}, row)) {
            m_row = row;
            m_hasRow = true;
            m_eof = false;
        } else {
            setEndOfFile();
        }
        return;
    }
    // Scanned statements: walk to the end keeping the last row.
    runCursor(m_sql, {});
    QVariantList last;
    while (!m_eof) {
        last = m_row;
        fetchRow(*m_cursor);
    }
    if (!last.isEmpty()) {
        m_row = last;
        m_hasRow = true;
        m_eof = false;
        m_cursor.reset();
    }
}

void RecordSet::moveNext()
{
    if (eof())
        fail(ErrorNumber::NoCurrentRecord, QStringLiteral("Nenhum registro corrente."));
    m_mode = EditMode::None;
    m_pending.clear();
    if (m_cursor) {
        fetchRow(*m_cursor);
        return;
    }
    if (isKeyset() && !m_row.isEmpty()) {
        QVariantList binds;
        const QString after = keysetAfterCurrent(binds);
        runCursor(composeSelect(after, orderByClause(false), false), binds);
        return;
    }
    setEndOfFile();
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
        QString expression;
        QVariant stored = value;
        if (where) {
            const Column &column = m_tables.at(where->first).columns.at(where->second);
            expression = m_tables.at(where->first).reference + QLatin1Char('.') +
                         quoteIdentifier(column.name);
            stored = toStored(column.name, column.type, value);
        } else {
            visibleIndex(field); // refuses a name that is no field at all
            expression = quoteIdentifier(field);
            stored = toStored(field, QString(), value);
        }
        QVariantList row;
        if (runSingle(composeSelect(expression + QLatin1String(" = ?"), orderByClause(false), true),
                      {stored}, row)) {
            m_cursor.reset();
            m_row = row;
            m_hasRow = true;
            m_eof = false;
            m_opened = true;
            m_noMatch = false;
        } else {
            m_noMatch = true;
        }
        return;
    }

    QSqlQuery scan(m_db);
    execBound(scan, m_sql, {});
    learnColumns(scan);
    const int index = visibleIndex(field);
    const QString wanted = toStored(field, QString(), value).toString();
    while (scan.next()) {
        if (scan.value(index).toString() == wanted) {
            m_cursor.emplace(std::move(scan));
            const int columns = m_cursor->record().count();
            m_row.resize(columns);
            for (int i = 0; i < columns; ++i)
                m_row[i] = m_cursor->value(i);
            m_hasRow = true;
            m_eof = false;
            m_opened = true;
            m_noMatch = false;
            return;
        }
    }
    m_noMatch = true;
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
    const EditMode mode = m_mode;
    const auto pending = m_pending;
    m_mode = EditMode::None;
    m_pending.clear();

    QSqlQuery write(m_db);
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
        execBound(write, sql, binds);
        // A cursor running over the table may or may not meet the new row; continue by key.
        m_cursor.reset();
        return;
    }

    requireCurrent();
    const bool several = pending.size() > 1;
    if (several)
        execOrThrow(write, QStringLiteral("SAVEPOINT tessal_recordset"));
    try {
        for (auto table = pending.cbegin(); table != pending.cend(); ++table) {
            const TableInfo &info = m_tables.at(table.key());
            const QVariant rowid = rowidOf(table.key());
            if (rowid.isNull())
                fail(ErrorNumber::NoCurrentRecord,
                     QStringLiteral("O registro corrente não tem linha na tabela %1.")
                         .arg(info.table));
            QStringList sets;
            QVariantList binds;
            for (auto it = table.value().cbegin(); it != table.value().cend(); ++it) {
                sets << quoteIdentifier(info.columns.at(it.key()).name) + QLatin1String(" = ?");
                binds << it.value();
            }
            binds << rowid;
            execBound(write,
                      QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                          .arg(info.table, sets.join(QLatin1String(", "))),
                      binds);
            if (write.numRowsAffected() == 0)
                fail(ErrorNumber::RecordDeleted,
                     QStringLiteral("O registro corrente foi excluído por outra operação."));
        }
        if (several)
            execOrThrow(write, QStringLiteral("RELEASE tessal_recordset"));
    } catch (...) {
        if (several) {
            QSqlQuery undo(m_db);
            undo.exec(QStringLiteral("ROLLBACK TO tessal_recordset"));
            undo.exec(QStringLiteral("RELEASE tessal_recordset"));
        }
        throw;
    }
    reloadCurrent();
}

// Re-reads the current row after an edit so that reads show what is stored. The open cursor is
// kept unless a key of the order changed: then the scan goes on from the row's new place.
void RecordSet::reloadCurrent()
{
    QStringList conditions;
    QVariantList binds;
    for (int t = 0; t < m_tables.size(); ++t) {
        const QVariant rowid = rowidOf(t);
        if (rowid.isNull()) {
            conditions << rowidExpression(t) + QLatin1String(" IS NULL");
        } else {
            conditions << rowidExpression(t) + QLatin1String(" = ?");
            binds << rowid;
        }
    }
    QSqlQuery query(m_db);
    execBound(query, composeSelect(conditions.join(QLatin1String(" AND ")), {}, true), binds);
    if (!query.next()) {
        // The row no longer meets the statement's condition; it stays current as it was.
        m_cursor.reset();
        return;
    }
    const int columns = query.record().count();
    bool keysChanged = false;
    for (int i = 0; i < columns; ++i) {
        const QVariant now = query.value(i);
        if (i >= fieldCount() && now != m_row.value(i))
            keysChanged = true;
        m_row[i] = now;
    }
    if (keysChanged)
        m_cursor.reset();
}

void RecordSet::deleteCurrent()
{
    requireCurrent();
    requireKeyset(QStringLiteral("excluir registros"));
    if (m_tables.size() != 1)
        fail(ErrorNumber::NotUpdatable,
             QStringLiteral("Esta consulta reúne várias tabelas; não é possível excluir "
                            "registros por ela."));
    m_mode = EditMode::None;
    m_pending.clear();
    QSqlQuery write(m_db);
    execBound(write, QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(m_tables.at(0).table),
              {rowidOf(0)});
    // The deleted row's key stays, so that moveNext() goes on to the row after it.
    m_cursor.reset();
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
