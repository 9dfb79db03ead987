#include "cube/rowsource.h"

#include "core/error.h"
#include "data/sqlite.h"

#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <sqlite3.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString Source = u"Cube"_s;

// Shared by the table and QSqlQuery readers: both hold the current row as QVariants.
class VariantReader : public RowReader
{
public:
    Type type(int column) override
    {
        const QVariant &v = current(column);
        if (v.isNull())
            return Type::Null;
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            return Type::Integer;
        case QMetaType::Double:
        case QMetaType::Float:
            return Type::Real;
        default:
            return Type::Text;
        }
    }
    qint64 integer(int column) override { return current(column).toLongLong(); }
    double real(int column) override { return current(column).toDouble(); }
    std::string_view text(int column) override
    {
        const QVariant &v = current(column);
        if (v.typeId() == QMetaType::QDate)
            m_buffer = v.toDate().toString(Qt::ISODate).toUtf8();
        else if (v.typeId() == QMetaType::QDateTime)
            m_buffer = v.toDateTime().date().toString(Qt::ISODate).toUtf8();
        else
            m_buffer = v.toString().toUtf8();
        return {m_buffer.constData(), static_cast<size_t>(m_buffer.size())};
    }

protected:
    virtual const QVariant &current(int column) = 0;

private:
    QByteArray m_buffer;
};

class TableReader final : public VariantReader
{
public:
    explicit TableReader(const RowTable &table)
        : m_table(table)
    {}
    int columnCount() const override { return static_cast<int>(m_table.columns.size()); }
    QString columnName(int column) const override { return m_table.columns.at(column); }
    bool next() override { return ++m_row < m_table.rows.size(); }

protected:
    const QVariant &current(int column) override
    {
        const QVariantList &row = m_table.rows.at(m_row);
        return column < row.size() ? row.at(column) : m_null;
    }

private:
    const RowTable &m_table;
    qsizetype m_row = -1;
    QVariant m_null;
};

class SqlQueryReader final : public VariantReader
{
public:
    SqlQueryReader(const QSqlDatabase &db, const QString &sql)
        : m_query(db)
    {
        m_query.setForwardOnly(true);
        if (!m_query.exec(sql))
            throw Error(ErrorNumber::DatabaseError, m_query.lastError().text(), Source);
        const QSqlRecord rec = m_query.record();
        for (int i = 0; i < rec.count(); ++i)
            m_names << rec.fieldName(i);
        m_values.resize(rec.count());
    }
    int columnCount() const override { return static_cast<int>(m_names.size()); }
    QString columnName(int column) const override { return m_names.at(column); }
    bool next() override
    {
        if (!m_query.next())
            return false;
        for (int i = 0; i < m_values.size(); ++i)
            m_values[i] = m_query.value(i);
        return true;
    }

protected:
    const QVariant &current(int column) override { return m_values.at(column); }

private:
    QSqlQuery m_query;
    QStringList m_names;
    QList<QVariant> m_values;
};

class SqliteReader final : public RowReader
{
public:
    SqliteReader(sqlite3 *handle, const QString &sql)
        : m_statement(handle, sql)
    {
        m_values.assign(static_cast<size_t>(sqlite3_column_count(m_statement.get())), nullptr);
    }

    int columnCount() const override { return sqlite3_column_count(m_statement.get()); }
    QString columnName(int column) const override
    {
        return QString::fromUtf8(sqlite3_column_name(m_statement.get(), column));
    }
    bool next() override
    {
        std::fill(m_values.begin(), m_values.end(), nullptr);
        return m_statement.step();
    }
    Type type(int column) override
    {
        switch (sqlite3_value_type(value(column))) {
        case SQLITE_INTEGER:
            return Type::Integer;
        case SQLITE_FLOAT:
            return Type::Real;
        case SQLITE_NULL:
            return Type::Null;
        default:
            return Type::Text;
        }
    }
    qint64 integer(int column) override { return sqlite3_value_int64(value(column)); }
    double real(int column) override { return sqlite3_value_double(value(column)); }
    std::string_view text(int column) override
    {
        sqlite3_value *v = value(column);
        const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
        const int n = sqlite3_value_bytes(v);
        return p ? std::string_view(p, static_cast<size_t>(n)) : std::string_view();
    }

private:
    // One call per value that takes the connection's mutex; the sqlite3_value functions after it
    // do not, which matters at a million rows by seven columns.
    sqlite3_value *value(int column)
    {
        sqlite3_value *&v = m_values[static_cast<size_t>(column)];
        if (!v)
            v = sqlite3_column_value(m_statement.get(), column);
        return v;
    }
    data::SqliteStatement m_statement;
    std::vector<sqlite3_value *> m_values;
};

} // namespace

std::unique_ptr<RowReader> makeTableReader(const RowTable &table)
{
    return std::make_unique<TableReader>(table);
}

std::unique_ptr<RowReader> makeQueryReader(const QSqlDatabase &db, const QString &sql)
{
    if (!db.isOpen())
        throw Error(ErrorNumber::DatabaseError, u"A base de dados não está aberta."_s, Source);
    if (sqlite3 *handle = data::sqliteHandle(db))
        return std::make_unique<SqliteReader>(handle, sql);
    return std::make_unique<SqlQueryReader>(db, sql);
}

} // namespace tessal::cube
