#include "controls/groupedquerymodel.h"

#include "core/error.h"
#include "data/database.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"

#include <QFont>
#include <QLocale>
#include <QSqlField>
#include <QSqlQuery>
#include <algorithm>
#include <optional>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace tessal {

struct GroupedQueryModel::Node
{
    Node *parent = nullptr;
    int depth = 0; // 0 for the root; groups by the k-th group field stand at depth k
    int row = 0;   // place among the parent's groups
    QVariant value;
    qint64 count = 0;
    bool loaded = false;
    std::vector<std::unique_ptr<Node>> groups;
    std::vector<qint64> ids;
};

// What one read of a node found: its groups, or its rows' identities in the shown order.
struct GroupedQueryModel::NodeRead
{
    std::vector<std::unique_ptr<Node>> groups;
    std::vector<qint64> ids;
    qint64 count = 0;
};

// Text identities (a server's codes) as the numbers the model keeps. A text of at most 17
// decimal digits, as every code this program writes is, is its own number: its value, with its
// length above it so that "07" and "7" stay apart. Any other text is given the next number of a
// table the first time it is read, and keeps it, so two models sharing the table number their rows
// alike; the texts lie one after another in one block, found again through an open-addressing
// table of their numbers.
class GroupedQueryModel::KeyNumbers
{
public:
    qint64 numberOf(QStringView key)
    {
        if (const std::optional<qint64> digits = digitsNumber(key))
            return *digits;
        if (2 * (m_ends.size() + 1) > m_slots.size())
            rehash(std::max<size_t>(1024, 2 * m_slots.size()));
        const size_t slot = slotOf(key);
        if (m_slots[slot] == 0) {
            m_text.insert(m_text.end(), key.utf16(), key.utf16() + key.size());
            m_ends.push_back(qsizetype(m_text.size()));
            m_slots[slot] = quint32(m_ends.size());
        }
        return TableNumber | (qint64(m_slots[slot]) - 1);
    }

    // True when every number stands for digits of one width: then their order as numbers is the
    // order of their texts.
    static bool digitsOfOneWidth(const std::vector<qint64> &numbers)
    {
        if (numbers.empty())
            return true;
        const qint64 width = numbers.front() >> LengthShift;
        return std::all_of(numbers.begin(), numbers.end(), [width](qint64 number) {
            return (number & TableNumber) == 0 && number >> LengthShift == width;
        });
    }

    QString keyOf(qint64 number) const
    {
        if (number & TableNumber)
            return tableKey(number & ~TableNumber).toString();
        const int length = int(number >> LengthShift);
        return QString::number(number & ((qint64(1) << LengthShift) - 1))
            .rightJustified(length, u'0');
    }

private:
    static constexpr int MaxDigits = 17;                   // 10^17 < 2^57
    static constexpr int LengthShift = 57;                 // the length in bits 57 to 61
    static constexpr qint64 TableNumber = qint64(1) << 62; // the table's numbers

    static std::optional<qint64> digitsNumber(QStringView key)
    {
        if (key.isEmpty() || key.size() > MaxDigits)
            return std::nullopt;
        qint64 value = 0;
        for (const QChar c : key) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            value = value * 10 + (c.unicode() - u'0');
        }
        return (qint64(key.size()) << LengthShift) | value;
    }

    QStringView tableKey(qint64 index) const
    {
        const qsizetype begin = index == 0 ? 0 : m_ends[size_t(index) - 1];
        return QStringView(m_text.data() + begin, m_ends[size_t(index)] - begin);
    }

    // The key's slot, or the free slot where it goes.
    size_t slotOf(QStringView key) const
    {
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = qHash(key) & mask;; slot = (slot + 1) & mask) {
            if (m_slots[slot] == 0 || tableKey(qint64(m_slots[slot]) - 1) == key)
                return slot;
        }
    }

    void rehash(size_t size)
    {
        m_slots.assign(size, 0);
        for (size_t n = 0; n < m_ends.size(); ++n)
            m_slots[slotOf(tableKey(qint64(n)))] = quint32(n + 1);
    }

    std::vector<char16_t> m_text;
    std::vector<qsizetype> m_ends; // where each key's text ends
    std::vector<quint32> m_slots;  // a key's index + 1; 0 for a free slot; a power of two long
};

namespace {

// A server's rows arrive one at a time; the progress hook hears of them every so many.
constexpr qint64 ServerRowsPerReport = 1024;

QString quoted(const QString &field)
{
    return data::detail::quoteIdentifier(field);
}

// The engine's progress callback: it runs every few thousand steps of a statement, so a sort or
// a count of a million rows still answers the operator.
struct Progress
{
    const GroupedQueryModel::ProgressHook *hook = nullptr;
    bool cancelled = false;

    static int callback(void *self)
    {
        auto *progress = static_cast<Progress *>(self);
        if (progress->cancelled || !(*progress->hook)(-1, -1)) {
            progress->cancelled = true;
            return 1;
        }
        return 0;
    }
};

// Installs the progress callback on the connection for the lifetime of a read.
class ProgressScope
{
public:
    ProgressScope(sqlite3 *db, const GroupedQueryModel::ProgressHook &hook)
        : m_db(db)
    {
        m_progress.hook = &hook;
        if (hook)
            sqlite3_progress_handler(m_db, 1000, &Progress::callback, &m_progress);
    }
    ~ProgressScope() { sqlite3_progress_handler(m_db, 0, nullptr, nullptr); }
    ProgressScope(const ProgressScope &) = delete;
    ProgressScope &operator=(const ProgressScope &) = delete;

    bool report(qint64 done, qint64 total)
    {
        if (m_progress.hook && *m_progress.hook && !(*m_progress.hook)(done, total))
            m_progress.cancelled = true;
        return !m_progress.cancelled;
    }
    bool cancelled() const { return m_progress.cancelled; }

private:
    sqlite3 *m_db;
    Progress m_progress;
};

[[noreturn]] void throwCancelled(const QString &sql)
{
    throw Error(ErrorNumber::InvalidInput, u"A leitura foi cancelada."_s, sql);
}

// Identities are rowids: small non-negative numbers, a million of them put in order by two or
// three passes of a radix sort in a few milliseconds, where a comparison sort takes tens.
void sortIdentities(std::vector<qint64> &ids)
{
    if (std::is_sorted(ids.begin(), ids.end()))
        return;
    const auto [lowest, highest] = [&ids] {
        const auto [low, high] = std::minmax_element(ids.begin(), ids.end());
        return std::pair{*low, *high};
    }();
    if (lowest < 0 || ids.size() < 4096) {
        std::sort(ids.begin(), ids.end());
        return;
    }
    constexpr int Bits = 11;
    constexpr size_t Buckets = size_t(1) << Bits;
    std::vector<qint64> scratch(ids.size());
    for (int shift = 0; (highest >> shift) > 0; shift += Bits) {
        std::vector<size_t> offsets(Buckets + 1, 0);
        for (const qint64 id : ids)
            ++offsets[size_t((id >> shift) & qint64(Buckets - 1)) + 1];
        for (size_t b = 1; b <= Buckets; ++b)
            offsets[b] += offsets[b - 1];
        for (const qint64 id : ids)
            scratch[offsets[size_t((id >> shift) & qint64(Buckets - 1))]++] = id;
        ids.swap(scratch);
    }
}

} // namespace

GroupedQueryModel::GroupedQueryModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_keys(std::make_shared<KeyNumbers>())
    , m_root(std::make_unique<Node>())
{}

GroupedQueryModel::~GroupedQueryModel() = default;

void GroupedQueryModel::setSql(const QString &sql, const QVariantList &bindValues)
{
    // The SQL becomes a subquery, where a closing semicolon would end the statement too early.
    QString text = sql.trimmed();
    while (text.endsWith(u';'))
        text = text.chopped(1).trimmed();
    m_sql = text;
    m_bindValues = bindValues;
}

void GroupedQueryModel::setColumnFormat(const QString &field, CellFormatter formatter,
                                        Qt::Alignment alignment)
{
    m_formats.insert(field.toLower(), {std::move(formatter), alignment});
}

void GroupedQueryModel::setFormatConditions(const QString &field,
                                            const QList<FormatCondition> &conditions)
{
    beginResetModel();
    m_conditionField = field;
    m_conditions = conditions;
    // Rows are read with the tested field after the shown ones: the windows read so far lack it.
    m_conditionName = resultName(field);
    m_cache.clear();
    endResetModel();
}

void GroupedQueryModel::setGrouping(const QStringList &fields)
{
    m_groupFields = fields;
}

void GroupedQueryModel::setSort(const QString &field, Qt::SortOrder order)
{
    m_sortField = field;
    m_sortOrder = order;
}

QString GroupedQueryModel::wrapped() const
{
    return u"(%1) AS tessal_q"_s.arg(m_sql);
}

void GroupedQueryModel::refresh()
{
    beginResetModel();
    m_root = std::make_unique<Node>();
    m_root->loaded = true;
    m_cache.clear();
    m_windowsFetched = 0;
    m_totalRows = 0;
    m_columnFields.clear();
    m_groupNames.clear();
    m_sortName.clear();
    m_identityName.clear();
    m_conditionName.clear();
    m_headers.clear();
    struct EndReset
    {
        GroupedQueryModel *model;
        ~EndReset() { model->endResetModel(); }
    } endReset{this};

    QSqlDatabase db = data::openDatabase(m_databasePath);
    m_onServer = db.driverName() == u"QPSQL"_s;
    // Numbers given before are dropped with the rows that held them, unless a copy of this model
    // (or the model this one copies) still numbers its rows by them.
    if (m_keys.use_count() == 1)
        m_keys = std::make_shared<KeyNumbers>();
    QSqlQuery shape(db);
    data::prepareOrThrow(shape, u"SELECT * FROM %1 LIMIT 0"_s.arg(wrapped()));
    for (const QVariant &value : m_bindValues)
        shape.addBindValue(value);
    data::execOrThrow(shape);
    const QSqlRecord record = shape.record();
    QStringList resultFields;
    for (int i = 0; i < record.count(); ++i)
        resultFields << record.fieldName(i);
    m_resultFields = resultFields;
    auto nameOf = [&](const QString &field, bool required) {
        const QString name = resultName(field);
        if (name.isEmpty() && required)
            throw Error(ErrorNumber::FieldNotFound,
                        u"O campo \"%1\" não existe no resultado da consulta."_s.arg(field), m_sql);
        return name;
    };

    QStringList columnFields;
    QStringList headers;
    for (const GridColumn &column : m_columns) {
        columnFields << nameOf(column.field, true);
        headers << column.caption;
    }
    QStringList groupNames;
    for (const QString &field : m_groupFields)
        groupNames << nameOf(field, true);
    const QString sortName = m_sortField.isEmpty() ? QString() : nameOf(m_sortField, true);
    const QString identityName = nameOf(m_identityField, true);
    const QString conditionName =
        m_conditionField.isEmpty() ? QString() : nameOf(m_conditionField, false);

    m_columnFields = columnFields;
    m_headers = headers;
    m_groupNames = groupNames;
    m_sortName = sortName;
    m_identityName = identityName;
    m_conditionName = conditionName;
    // SQLite's rowids are read as integers from the engine itself; a server says what it holds.
    const QMetaType identityType = record.field(identityName).metaType();
    m_textIdentities = m_onServer && identityType.id() != QMetaType::LongLong &&
                       identityType.id() != QMetaType::Int;
    m_root->loaded = false;
    try {
        loadNode(m_root.get());
    } catch (...) {
        m_root = std::make_unique<Node>();
        m_root->loaded = true;
        throw;
    }
    m_totalRows = m_root->count;
}

QString GroupedQueryModel::resultName(const QString &field) const
{
    for (const QString &name : m_resultFields)
        if (name.compare(field, Qt::CaseInsensitive) == 0)
            return name;
    return QString();
}

bool GroupedQueryModel::holdsRows(const Node *node) const
{
    return node->depth == m_groupNames.size();
}

QString GroupedQueryModel::conditionsOf(const Node *node, QVariantList &binds) const
{
    QStringList conditions;
    for (const Node *n = node; n && n->depth > 0; n = n->parent) {
        const QString field = quoted(m_groupNames.at(n->depth - 1));
        // The group of Null values finds its rows by IS NULL, which both engines read.
        if (n->value.isNull()) {
            conditions.prepend(field + u" IS NULL"_s);
        } else {
            conditions.prepend(field + u" = ?"_s);
            binds.prepend(n->value);
        }
    }
    return conditions.isEmpty() ? QString() : u" WHERE "_s + conditions.join(u" AND "_s);
}

// SQLite holds Null lower than any value; PostgreSQL higher. The server is told SQLite's order,
// so that a grid lists its groups and rows alike on either engine.
QString GroupedQueryModel::nullsAsSqlite(bool descending) const
{
    if (!m_onServer)
        return QString();
    return descending ? u" NULLS LAST"_s : u" NULLS FIRST"_s;
}

// Without a sort the rows come in the order of their identities (for a table's rowid, the order
// they were stored in): an SQL without ORDER BY has no order of its own that two reads share.
QString GroupedQueryModel::orderBy() const
{
    const QString identity = quoted(m_identityName);
    if (m_sortName.isEmpty()) {
        // Identities alone are put in order here, after the read: asked to, SQLite would read
        // the whole table in rowid order instead of the small index a plain read can use, and a
        // server would sort a million keys before sending the first.
        return QString();
    }
    // Equal values keep one order from one read to the next.
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    return u" ORDER BY "_s + quoted(m_sortName) + (descending ? u" DESC"_s : u" ASC"_s) +
           nullsAsSqlite(descending) + u", "_s + identity;
}

QVariant GroupedQueryModel::identityValue(qint64 identity) const
{
    return m_textIdentities ? QVariant(m_keys->keyOf(identity)) : QVariant(identity);
}

qint64 GroupedQueryModel::identityNumber(const QVariant &value) const
{
    return m_textIdentities ? m_keys->numberOf(value.toString()) : value.toLongLong();
}

void GroupedQueryModel::loadNode(Node *node)
{
    if (node->loaded)
        return;
    QVariantList binds;
    const QString where = conditionsOf(node, binds);
    QString sql;
    if (holdsRows(node)) {
        sql = u"SELECT %1 FROM %2%3%4"_s.arg(quoted(m_identityName), wrapped(), where, orderBy());
    } else {
        const QString field = quoted(m_groupNames.at(node->depth));
        const bool descending =
            m_sortOrder == Qt::DescendingOrder && m_sortName == m_groupNames.at(node->depth);
        sql = u"SELECT %1, COUNT(*) FROM %2%3 GROUP BY %1 ORDER BY %1%4%5"_s.arg(
            field, wrapped(), where, descending ? u" DESC"_s : QString(),
            nullsAsSqlite(descending));
    }
    NodeRead read;
    if (holdsRows(node) && node->count > 0)
        read.ids.reserve(size_t(node->count));
    if (m_onServer)
        readFromServer(node, sql, binds, read);
    else
        readFromFile(node, sql, binds, read);

    const bool inserting = node != m_root.get() || node->loaded;
    const int rows = int(holdsRows(node) ? read.ids.size() : read.groups.size());
    QModelIndex parentIndex;
    if (node != m_root.get())
        parentIndex = createIndex(node->row, 0, node->parent);
    // Loaded before the insertion is announced: whoever listens sees no rows yet and nothing
    // more to fetch, then the rows.
    node->loaded = true;
    node->count = read.count;
    if (inserting && rows > 0)
        beginInsertRows(parentIndex, 0, rows - 1);
    node->groups = std::move(read.groups);
    node->ids = std::move(read.ids);
    if (inserting && rows > 0)
        endInsertRows();
}

void GroupedQueryModel::readFromFile(Node *node, const QString &sql, const QVariantList &binds,
                                     NodeRead &read) const
{
    QSqlDatabase db = data::openDatabase(m_databasePath);
    sqlite3 *raw = data::requireSqliteHandle(db, m_databasePath);
    ProgressScope progress(raw, m_progress);
    data::SqliteStatement statement(raw, sql);
    int bind = 1;
    for (const QVariant &value : m_bindValues)
        statement.bind(bind++, value);
    for (const QVariant &value : binds)
        statement.bind(bind++, value);

    try {
        while (statement.step()) {
            if (holdsRows(node)) {
                read.ids.push_back(sqlite3_column_int64(statement.get(), 0));
                if ((read.ids.size() & 0xFFFF) == 0 &&
                    !progress.report(qint64(read.ids.size()), node->count))
                    throwCancelled(sql);
            } else {
                auto group = std::make_unique<Node>();
                group->parent = node;
                group->depth = node->depth + 1;
                group->row = int(read.groups.size());
                group->value = statement.value(0);
                group->count = sqlite3_column_int64(statement.get(), 1);
                read.count += group->count;
                read.groups.push_back(std::move(group));
            }
        }
    } catch (const Error &) {
        if (progress.cancelled())
            throwCancelled(sql);
        throw;
    }
    if (holdsRows(node)) {
        if (m_sortName.isEmpty())
            sortIdentities(read.ids);
        read.count = qint64(read.ids.size());
    }
}

void GroupedQueryModel::readFromServer(Node *node, const QString &sql, const QVariantList &binds,
                                       NodeRead &read) const
{
    // Forward only: the rows stream in as the server sends them, and the hook hears of them.
    QSqlQuery query(data::openDatabaseReadOnly(m_databasePath));
    query.setForwardOnly(true);
    data::prepareOrThrow(query, sql);
    for (const QVariant &value : m_bindValues)
        query.addBindValue(value);
    for (const QVariant &value : binds)
        query.addBindValue(value);
    data::execOrThrow(query);
    qint64 received = 0;
    while (query.next()) {
        if (holdsRows(node)) {
            read.ids.push_back(identityNumber(query.value(0)));
        } else {
            auto group = std::make_unique<Node>();
            group->parent = node;
            group->depth = node->depth + 1;
            group->row = int(read.groups.size());
            group->value = query.value(0);
            group->count = query.value(1).toLongLong();
            read.count += group->count;
            read.groups.push_back(std::move(group));
        }
        if (++received % ServerRowsPerReport == 0 && m_progress &&
            !m_progress(holdsRows(node) ? received : -1, holdsRows(node) ? node->count : -1))
            throwCancelled(sql); // the rows still on their way are dropped with the query
    }
    // A stream cut short looks finished to next(): an error on a later row, or rows the driver
    // dropped because another statement ran on the connection meanwhile.
    if (query.lastError().isValid())
        data::throwQueryError(query, sql);
    if (holdsRows(node)) {
        if (m_sortName.isEmpty())
            sortKeys(read.ids);
        read.count = qint64(read.ids.size());
    }
}

// A server's identities in the order of their keys: codes of one width (every code this program
// writes) as numbers, by the radix sort; other texts by comparing them.
void GroupedQueryModel::sortKeys(std::vector<qint64> &ids) const
{
    if (!m_textIdentities) {
        sortIdentities(ids);
        return;
    }
    if (KeyNumbers::digitsOfOneWidth(ids)) {
        // Codes share their width above their value: sorted by their distance from the lowest,
        // they take the few passes a table's rowids take.
        const qint64 lowest = ids.empty() ? 0 : *std::min_element(ids.begin(), ids.end());
        for (qint64 &id : ids)
            id -= lowest;
        sortIdentities(ids);
        for (qint64 &id : ids)
            id += lowest;
        return;
    }
    std::vector<std::pair<QString, qint64>> keys;
    keys.reserve(ids.size());
    for (const qint64 id : ids)
        keys.emplace_back(m_keys->keyOf(id), id);
    std::sort(keys.begin(), keys.end());
    for (size_t i = 0; i < keys.size(); ++i)
        ids[i] = keys[i].second;
}

void GroupedQueryModel::load(const QModelIndex &group)
{
    if (Node *node = nodeOf(group))
        loadNode(node);
}

GroupedQueryModel::Node *GroupedQueryModel::parentNodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : nullptr;
}

GroupedQueryModel::Node *GroupedQueryModel::nodeOf(const QModelIndex &index) const
{
    if (!index.isValid())
        return m_root.get();
    Node *parentNode = parentNodeOf(index);
    if (holdsRows(parentNode))
        return nullptr;
    return parentNode->groups.at(size_t(index.row())).get();
}

bool GroupedQueryModel::isGroup(const QModelIndex &index) const
{
    return index.isValid() && !holdsRows(parentNodeOf(index));
}

qint64 GroupedQueryModel::ordinalOf(const QModelIndex &index) const
{
    if (!index.isValid() || isGroup(index))
        return -1;
    qint64 ordinal = index.row();
    for (const Node *node = parentNodeOf(index); node->parent; node = node->parent)
        for (int i = 0; i < node->row; ++i)
            ordinal += node->parent->groups.at(size_t(i))->count;
    return ordinal;
}

qint64 GroupedQueryModel::identityOf(const QModelIndex &index) const
{
    if (!index.isValid() || isGroup(index))
        return -1;
    return parentNodeOf(index)->ids.at(size_t(index.row()));
}

void GroupedQueryModel::configureLike(const GroupedQueryModel &other)
{
    m_databasePath = other.m_databasePath;
    m_sql = other.m_sql;
    m_bindValues = other.m_bindValues;
    m_identityField = other.m_identityField;
    m_columns = other.m_columns;
    m_formats = other.m_formats;
    m_conditionField = other.m_conditionField;
    m_conditions = other.m_conditions;
    m_groupFields = other.m_groupFields;
    m_sortField = other.m_sortField;
    m_sortOrder = other.m_sortOrder;
    m_keys = other.m_keys;
}

qint64 GroupedQueryModel::rowsHeld() const
{
    qint64 rows = 0;
    for (const Window &window : m_cache)
        rows += window.rows.size();
    return rows;
}

QModelIndex GroupedQueryModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= columnCount() || parent.column() > 0)
        return {};
    Node *node = nodeOf(parent);
    if (!node || !node->loaded)
        return {};
    const size_t size = holdsRows(node) ? node->ids.size() : node->groups.size();
    if (size_t(row) >= size)
        return {};
    return createIndex(row, column, node);
}

QModelIndex GroupedQueryModel::parent(const QModelIndex &child) const
{
    const Node *node = parentNodeOf(child);
    if (!node || node == m_root.get())
        return {};
    return createIndex(node->row, 0, node->parent);
}

int GroupedQueryModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const Node *node = nodeOf(parent);
    if (!node || !node->loaded)
        return 0;
    return int(holdsRows(node) ? node->ids.size() : node->groups.size());
}

int GroupedQueryModel::columnCount(const QModelIndex &) const
{
    return int(m_columnFields.size());
}

bool GroupedQueryModel::hasChildren(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return false;
    const Node *node = nodeOf(parent);
    if (!node)
        return false;
    return node->loaded ? rowCount(parent) > 0 : node->count > 0;
}

bool GroupedQueryModel::canFetchMore(const QModelIndex &parent) const
{
    const Node *node = nodeOf(parent);
    return node && !node->loaded && node->count > 0;
}

void GroupedQueryModel::fetchMore(const QModelIndex &parent)
{
    // Called by views while they paint or expand: a refusal cannot travel through them, so the
    // group stays closed and the refusal goes to whoever listens.
    try {
        load(parent);
    } catch (const Error &e) {
        emit readFailed(e.info());
    }
}

const GroupedQueryModel::Window &GroupedQueryModel::windowFor(const Node *node, int row) const
{
    const int first = row - row % WindowRows;
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
        if (it->node == node && it->first == first) {
            if (it != m_cache.begin()) {
                Window hit = std::move(*it);
                m_cache.erase(it);
                m_cache.push_front(std::move(hit));
            }
            return m_cache.front();
        }
    }

    Window window;
    window.node = node;
    window.first = first;
    const int last = std::min(first + WindowRows, int(node->ids.size()));
    QStringList fields;
    for (const QString &field : m_columnFields)
        fields << quoted(field);
    fields << (m_conditionName.isEmpty() ? u"NULL"_s : quoted(m_conditionName));
    fields << quoted(m_identityName);
    QStringList marks;
    for (int i = first; i < last; ++i)
        marks << u"?"_s;
    const QString sql = u"SELECT %1 FROM %2 WHERE %3 IN (%4)"_s.arg(
        fields.join(u", "_s), wrapped(), quoted(m_identityName), marks.join(u", "_s));

    QHash<qint64, QList<QVariant>> byIdentity;
    try {
        QSqlQuery query(data::openDatabase(m_databasePath));
        query.setForwardOnly(true);
        data::prepareOrThrow(query, sql);
        for (const QVariant &value : m_bindValues)
            query.addBindValue(value);
        for (int i = first; i < last; ++i)
            query.addBindValue(identityValue(node->ids[size_t(i)]));
        data::execOrThrow(query);
        const int width = int(fields.size());
        while (query.next()) {
            QList<QVariant> values;
            values.reserve(width - 1);
            for (int c = 0; c < width - 1; ++c)
                values << query.value(c);
            byIdentity.insert(identityNumber(query.value(width - 1)), values);
        }
        if (query.lastError().isValid())
            data::throwQueryError(query, sql);
    } catch (const Error &e) {
        // A view asked for the rows while painting: the window shows empty rows and says why.
        emit const_cast<GroupedQueryModel *>(this)->readFailed(e.info());
    }
    // A row deleted since the identities were read shows empty until the next refresh.
    const QList<QVariant> missing(m_columnFields.size() + 1);
    window.rows.reserve(last - first);
    for (int i = first; i < last; ++i)
        window.rows << byIdentity.value(node->ids[size_t(i)], missing);
    ++m_windowsFetched;
    m_cache.push_front(std::move(window));
    while (int(m_cache.size()) > CachedWindows)
        m_cache.pop_back();
    return m_cache.front();
}

const QList<QVariant> &GroupedQueryModel::rowValues(const Node *node, int row) const
{
    const Window &window = windowFor(node, row);
    return window.rows.at(row - window.first);
}

int GroupedQueryModel::columnOfField(const QString &field) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString GroupedQueryModel::fieldOfColumn(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns.at(column).field : QString();
}

QString GroupedQueryModel::formatted(int column, const QVariant &value) const
{
    const auto format = m_formats.constFind(m_columns.at(column).field.toLower());
    if (format != m_formats.cend() && format->first)
        return format->first(value);
    return value.isNull() ? QString() : value.toString();
}

QString GroupedQueryModel::groupText(const Node *node) const
{
    const QString field = m_groupFields.at(node->depth - 1);
    const int column = columnOfField(field);
    const QString caption = column >= 0 ? m_columns.at(column).caption : field;
    const QString value = column >= 0 ? formatted(column, node->value)
                                      : (node->value.isNull() ? QString() : node->value.toString());
    return u"%1: %2 (%3)"_s.arg(caption, value.isEmpty() ? u"(vazio)"_s : value,
                                QLocale().toString(node->count));
}

QVariant GroupedQueryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (isGroup(index)) {
        const Node *node = nodeOf(index);
        switch (role) {
        case Qt::DisplayRole:
            return index.column() == 0 ? QVariant(groupText(node)) : QVariant();
        case GroupFieldRole:
            return m_groupFields.at(node->depth - 1);
        case GroupValueRole:
            return node->value;
        case GroupCountRole:
            return node->count;
        case Qt::FontRole: {
            QFont font;
            font.setBold(true);
            return font;
        }
        default:
            return {};
        }
    }
    const Node *node = parentNodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
        return formatted(index.column(), rowValues(node, index.row()).at(index.column()));
    case StoredRole:
        return rowValues(node, index.row()).at(index.column());
    case Qt::TextAlignmentRole: {
        const auto format = m_formats.constFind(m_columns.at(index.column()).field.toLower());
        if (format != m_formats.cend() && format->second)
            return QVariant::fromValue(format->second);
        return {};
    }
    case Qt::ForegroundRole:
    case Qt::BackgroundRole: {
        if (m_conditions.isEmpty() || m_conditionName.isEmpty())
            return {};
        const QString value = rowValues(node, index.row()).constLast().toString();
        for (const FormatCondition &condition : m_conditions) {
            if (condition.value == value) {
                const QColor colour =
                    role == Qt::ForegroundRole ? condition.foreground : condition.background;
                return colour.isValid() ? QVariant(colour) : QVariant();
            }
        }
        return {};
    }
    default:
        return {};
    }
}

QVariant GroupedQueryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers.at(section);
    return QAbstractItemModel::headerData(section, orientation, role);
}

Qt::ItemFlags GroupedQueryModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace tessal
