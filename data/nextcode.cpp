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

// The tables and columns were created with unquoted names, which a server keeps in lower case
// (a file ignores case anyway): "LANCAMENTOS" and "CD_CONTA" name them on both engines.
QString quotedName(const QString &name)
{
    return detail::quoteIdentifier(name.toLower());
}

const CodeRule &requireRule(const QString &table)
{
    const CodeRule *rule = ruleOf(table);
    if (!rule)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("A tabela \"%1\" não tem regra de código.").arg(table), table);
    return *rule;
}

bool codeIsTaken(QSqlDatabase db, const CodeRule &rule, const QString &code)
{
    const QString sql = QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?")
                            .arg(quotedName(QString::fromLatin1(rule.table)),
                                 quotedName(QString::fromLatin1(rule.field)));
    QSqlQuery query(db);
    query.setForwardOnly(true);
    prepareOrThrow(query, sql);
    query.addBindValue(code);
    execOrThrow(query);
    return query.next();
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
                            .arg(quotedName(field), quotedName(table));
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
    const CodeRule &rule = requireRule(table);
    return nextCode(std::move(db), table, QString::fromLatin1(rule.field), rule.width);
}

bool isDuplicateKey(const QSqlError &error)
{
    // The server's SQLSTATE unique_violation; a file's extended result codes for a primary key
    // and for a unique index (Qt's SQLite driver reports extended codes).
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("23505") || code == QLatin1String("1555") ||
           code == QLatin1String("2067");
}

// Several workstations may include rows in one table at once, each having shown the operator
// "highest code + 1" before saving. The table's primary key on the code is what settles it: both
// engines refuse a second row with a taken code atomically, whoever commits first wins, and the
// loser simply takes the next free code. A lock held from showing the code to saving it would
// make every other workstation wait on one operator's typing, and a counter table or sequence
// would need a schema change on both engines and leave gaps the codes never had. Taken codes are
// rare (two inclusions in one table within the same moment), so trying and retrying costs
// nothing in the common case. Each attempt runs in a fresh transaction: on a server a refused
// statement spoils the transaction it ran in. On a file the transaction takes the write lock
// before the next code is read, so a second attempt always succeeds; a server has no such lock,
// hence the bound.
QString insertUnderFreeCode(QSqlDatabase db, const QString &table, const QString &code,
                            const std::function<void(const QString &code)> &insert, int attempts)
{
    const CodeRule &rule = requireRule(table);
    QString tried = code;
    for (int attempt = 1;; ++attempt) {
        QString refusal;
        {
            Transaction transaction(db);
            if (attempt > 1)
                tried = nextCode(db, table);
            try {
                insert(tried);
                transaction.commit();
                return tried;
            } catch (const DuplicateKeyError &e) {
                refusal = e.description();
            }
        } // rolled back
        if (!codeIsTaken(db, rule, tried))
            throw DuplicateKeyError(
                ErrorNumber::DatabaseError,
                QStringLiteral("O registro não foi gravado: um valor dele que precisa ser único já "
                               "existe na tabela %1. %2")
                    .arg(table, refusal),
                table);
        if (attempt >= attempts)
            throw DuplicateKeyError(
                ErrorNumber::DatabaseError,
                QStringLiteral("O registro não foi gravado: outras estações usaram os códigos da "
                               "tabela %1 enquanto ele era gravado (o último tentado foi %2). "
                               "Tente incluir de novo.")
                    .arg(table, tried),
                table);
    }
}

} // namespace tessal::data
