#include "data/nextcode.h"

#include "core/error.h"
#include "data/sqlerror.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace tessal::data {

namespace {

struct CodeRule
{
    const char *table;
    const char *field;
    int width;
};

constexpr CodeRule Rules[] = {
    {"contas", "cd_conta", 3},
    {"baixas", "cd_baixa", 3},
    {"usuarios", "cd_usuario", 3},
    {"historicos", "cd_historico", 5},
    {"lancamentos", "cd_lancamento", 10},
};

const CodeRule *ruleOf(const QString &table)
{
    for (const CodeRule &rule : Rules) {
        if (table.compare(QLatin1String(rule.table), Qt::CaseInsensitive) == 0)
            return &rule;
    }
    return nullptr;
}

// Table and field names go into the statement's text, so only plain names are taken.
void requirePlainName(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plain.match(name).hasMatch())
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("Nome de tabela ou campo inválido: \"%1\".").arg(name), name);
}

} // namespace

int codeWidth(const QString &table)
{
    const CodeRule *rule = ruleOf(table);
    return rule ? rule->width : 0;
}

QString codeField(const QString &table)
{
    const CodeRule *rule = ruleOf(table);
    return rule ? QString::fromLatin1(rule->field) : QString();
}

QString nextCode(QSqlDatabase db, const QString &table, const QString &field, int width)
{
    requirePlainName(table);
    requirePlainName(field);
    if (width < 1 || width > 18)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("Largura de código inválida: %1.").arg(width), table);

    const QString sql = QStringLiteral("SELECT %1 FROM %2 ORDER BY %1 DESC LIMIT 1")
                            .arg(detail::quoteIdentifier(field), detail::quoteIdentifier(table));
    QSqlQuery query(db);
    query.setForwardOnly(true);
    execOrThrow(query, sql);

    qint64 next = 1;
    if (query.next()) {
        const QString last = query.value(0).toString();
        bool ok = false;
        const qint64 number = last.toLongLong(&ok);
        if (!ok || number < 0)
            throw Error(ErrorNumber::InvalidInput,
                        QStringLiteral("O último código da tabela %1 (\"%2\") não é um número; "
                                       "não é possível calcular o próximo código.")
                            .arg(table, last),
                        sql);
        next = number + 1;
    }
    const QString code = QStringLiteral("%1").arg(next, width, 10, QLatin1Char('0'));
    if (code.size() > width) {
        const QString highest = QString(width, QLatin1Char('9'));
        throw Error(ErrorNumber::CodeOverflow,
                    QStringLiteral("A tabela %1 já usou o último código de %2 dígitos (%3); não é "
                                   "possível incluir outro registro.")
                        .arg(table)
                        .arg(width)
                        .arg(highest),
                    sql);
    }
    return code;
}

QString nextCode(QSqlDatabase db, const QString &table)
{
    const CodeRule *rule = ruleOf(table);
    if (!rule)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("A tabela \"%1\" não tem regra de código.").arg(table), table);
    return nextCode(std::move(db), table, QString::fromLatin1(rule->field), rule->width);
}

} // namespace tessal::data
