#include "reports/schema.h"

#include <array>

namespace tessal::reports {

namespace {

struct Table
{
    const char *name;
    std::array<const char *, 9> columns; // null-terminated when shorter
};

// usuarios is left out on purpose: no layout has any business printing password hashes.
constexpr std::array Tables = {
    Table{"contas", {"cd_conta", "ds_conta"}},
    Table{"historicos", {"cd_historico", "ds_historico", "cd_tipo"}},
    Table{"lancamentos",
          {"cd_lancamento", "cd_conta", "cd_historico", "ds_complemento", "vl_lancamento",
           "dt_lancamento", "cd_status", "vl_saldo", "cd_baixa"}},
    Table{"baixas", {"cd_baixa", "ds_baixa"}},
};

const Table *tableNamed(const QString &name)
{
    for (const Table &t : Tables) {
        if (name.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

ValueType typeOfColumn(const QString &column)
{
    if (column.startsWith(QLatin1String("dt_")))
        return ValueType::Date;
    if (column.startsWith(QLatin1String("vl_")))
        return ValueType::Money;
    return ValueType::Text;
}

} // namespace

std::optional<SchemaColumn> findColumn(const QString &table, const QString &column)
{
    const Table *t = tableNamed(table);
    if (!t)
        return std::nullopt;
    for (const char *c : t->columns) {
        if (c && column.compare(QLatin1String(c), Qt::CaseInsensitive) == 0) {
            const QString name = QString::fromLatin1(c);
            return SchemaColumn{QString::fromLatin1(t->name), name, typeOfColumn(name)};
        }
    }
    return std::nullopt;
}

bool isReportTable(const QString &table)
{
    return tableNamed(table) != nullptr;
}

QStringList reportTables()
{
    QStringList names;
    for (const Table &t : Tables)
        names << QString::fromLatin1(t.name);
    return names;
}

QStringList reportColumns(const QString &table)
{
    QStringList names;
    if (const Table *t = tableNamed(table)) {
        for (const char *c : t->columns) {
            if (c)
                names << QString::fromLatin1(c);
        }
    }
    return names;
}

QString typeName(ValueType type)
{
    switch (type) {
    case ValueType::Boolean:
        return QStringLiteral("condição");
    case ValueType::Text:
        return QStringLiteral("texto");
    case ValueType::Date:
        return QStringLiteral("data");
    case ValueType::Money:
        return QStringLiteral("valor");
    case ValueType::Number:
        return QStringLiteral("número");
    }
    return {};
}

QString quoted(const QString &name)
{
    QString text = name;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace tessal::reports
