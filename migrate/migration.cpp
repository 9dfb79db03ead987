#include "migrate/migration.h"

#include "data/database.h"
#include "data/server.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <algorithm>
#include <list>
#include <vector>

namespace tessal::migrate {

using namespace Qt::StringLiterals;

namespace {

// Every table the copy carries, in the order it is copied, with its columns as both engines name
// them.
struct Table
{
    QString server;
    QString file;
    data::DatabaseKind kind;
    QStringList columns;
};

const QList<Table> &copiedTables()
{
    using data::DatabaseKind;
    static const QList<Table> tables = {
        {u"contas"_s, u"contas"_s, DatabaseKind::Cash, {u"cd_conta"_s, u"ds_conta"_s}},
        {u"historicos"_s,
         u"historicos"_s,
         DatabaseKind::Cash,
         {u"cd_historico"_s, u"ds_historico"_s, u"cd_tipo"_s}},
        {u"baixas"_s, u"baixas"_s, DatabaseKind::Cash, {u"cd_baixa"_s, u"ds_baixa"_s}},
        {u"usuarios"_s,
         u"usuarios"_s,
         DatabaseKind::Cash,
         {u"cd_usuario"_s, u"usuario"_s, u"senha"_s}},
        {u"lancamentos"_s,
         u"lancamentos"_s,
         DatabaseKind::Cash,
         {u"cd_lancamento"_s, u"cd_conta"_s, u"cd_historico"_s, u"ds_complemento"_s,
          u"vl_lancamento"_s, u"dt_lancamento"_s, u"cd_status"_s, u"vl_saldo"_s, u"cd_baixa"_s}},
        {u"config"_s,
         u"CONFIG"_s,
         DatabaseKind::Menu,
         {u"grupo"_s, u"opcao"_s, u"descricao"_s, u"ds_tootip"_s, u"opcoes"_s}},
    };
    return tables;
}

// How often the copy of a big table says how far it has got.
constexpr qint64 ProgressRows = 100000;

qint64 countRows(const QSqlDatabase &db, const QString &table)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    data::execOrThrow(query, u"SELECT count(*) FROM "_s + data::detail::quoteIdentifier(table));
    return query.next() ? query.value(0).toLongLong() : 0;
}

// A file written by an earlier release lacks what this one added (the menu's utilities, for
// one); the program brings it up to date when it opens it, and only then is it copied, since the
// server's schema starts at the current version.
void requireCurrentVersion(const QSqlDatabase &db, const QString &path, int current)
{
    QSqlQuery query(db);
    data::execOrThrow(query, u"PRAGMA user_version"_s);
    const qint64 version = query.next() ? query.value(0).toLongLong() : 0;
    if (version < current)
        throw Error(
            ErrorNumber::NotADatabase,
            u"O arquivo \"%1\" foi gravado por uma versão anterior do Tessal Caixa "
            "(esquema %2; esta versão usa o esquema %3). Abra o diretório de dados uma "
            "vez com esta versão do programa, que o atualiza, e repita a migração."_s.arg(path)
                .arg(version)
                .arg(current),
            path);
}

void failIfBroken(const QSqlQuery &query)
{
    if (query.lastError().isValid())
        data::throwQueryError(query, query.lastQuery());
}

// A prepared statement on the server is freed when its QSqlQuery goes, which fails (and Qt warns)
// inside a transaction that a refused row has aborted; the copy's statements are therefore kept
// here until the transaction has been rolled back or committed.
using PreparedStatements = std::list<QSqlQuery>;

// One column's values of a batch as the text of a PostgreSQL array, bound as one parameter: the
// server reads an array of ten thousand values far faster than ten thousand parameters. Text is
// quoted (backslash and double quote escaped), a real is written in the fewest digits that read
// back as the same double, a Null is the bare word.
class ArrayText
{
public:
    void append(const QVariant &value)
    {
        m_text += m_text.isEmpty() ? u'{' : u',';
        if (value.isNull()) {
            m_text += u"NULL"_s;
            return;
        }
        switch (value.typeId()) {
        case QMetaType::Double: {
            const double number = value.toDouble();
            if (qIsNaN(number))
                m_text += u"NaN"_s;
            else if (qIsInf(number))
                m_text += number < 0 ? u"-Infinity"_s : u"Infinity"_s;
            else
                m_text += QString::number(number, 'g', QLocale::FloatingPointShortest);
            return;
        }
        case QMetaType::Int:
        case QMetaType::LongLong:
            m_text += QString::number(value.toLongLong());
            return;
        default:
            break;
        }
        const QString text = value.toString();
        m_text += u'"';
        for (const QChar c : text) {
            if (c == u'"' || c == u'\\')
                m_text += u'\\';
            m_text += c;
        }
        m_text += u'"';
    }
    // The array so far, and a fresh start.
    QString take()
    {
        const QString text = m_text.isEmpty() ? u"{}"_s : m_text + u'}';
        m_text.clear();
        return text;
    }

private:
    QString m_text;
};

void copyTable(const Table &table, const QSqlDatabase &file, const QSqlDatabase &server,
               qint64 expected, const MigrationOptions &options, PreparedStatements &statements)
{
    const qsizetype width = table.columns.size();
    const QString columns = table.columns.join(u", "_s);

    // unnest() takes each column's array cast to the column's own type.
    QSqlQuery &types = statements.emplace_back(server);
    data::prepareOrThrow(types, u"SELECT attname, format_type(atttypid, atttypmod) FROM "
                                "pg_attribute WHERE attrelid = to_regclass(?) AND attnum > 0 "
                                "AND NOT attisdropped"_s);
    types.addBindValue(table.server);
    data::execOrThrow(types);
    QHash<QString, QString> typeOf;
    while (types.next())
        typeOf.insert(types.value(0).toString(), types.value(1).toString());
    QStringList arrays;
    for (const QString &column : table.columns)
        arrays << u"?::"_s + typeOf.value(column, u"text"_s) + u"[]"_s;
    QSqlQuery &insert = statements.emplace_back(server);
    data::prepareOrThrow(insert, u"INSERT INTO %1 (%2) SELECT * FROM unnest(%3)"_s.arg(
                                     table.server, columns, arrays.join(u", "_s)));

    std::vector<ArrayText> batch(static_cast<size_t>(width));
    int rows = 0;
    const auto write = [&] {
        for (ArrayText &column : batch)
            insert.addBindValue(column.take());
        data::execOrThrow(insert);
        rows = 0;
    };

    QSqlQuery read(file);
    read.setForwardOnly(true);
    data::execOrThrow(read, u"SELECT %1 FROM %2"_s.arg(columns, table.file));
    const int batchRows = std::max(1, options.batchRows);
    qint64 copied = 0;
    const QLocale locale = programLocale();
    while (read.next()) {
        for (int c = 0; c < width; ++c)
            batch[size_t(c)].append(read.value(c));
        if (++rows == batchRows)
            write();
        if (++copied % ProgressRows == 0 && options.progress)
            options.progress(u"  %1: %2 de %3 linhas"_s.arg(table.server, locale.toString(copied),
                                                            locale.toString(expected)));
    }
    failIfBroken(read);
    if (rows > 0)
        write();
}

// The table's indexes that back no constraint, dropped for the copy and returned as the
// statements that make them again: building an index once over every row costs a fraction of
// keeping it up to date row by row (on the test cluster a million entries went in in 13 s with
// lancamentos' four secondary indexes, in 1 s without them).
QStringList dropSecondaryIndexes(const QSqlDatabase &server, const QString &table)
{
    QSqlQuery query(server);
    data::prepareOrThrow(query, u"SELECT c.relname, pg_get_indexdef(c.oid) FROM pg_index i JOIN "
                                "pg_class c ON c.oid = i.indexrelid WHERE i.indrelid = "
                                "to_regclass(?) AND NOT i.indisprimary AND NOT i.indisunique "
                                "ORDER BY c.relname"_s);
    query.addBindValue(table);
    data::execOrThrow(query);
    QStringList names;
    QStringList definitions;
    while (query.next()) {
        names << query.value(0).toString();
        definitions << query.value(1).toString();
    }
    for (const QString &name : std::as_const(names))
        data::execOrThrow(query, u"DROP INDEX "_s + data::detail::quoteIdentifier(name));
    return definitions;
}

// Entries by code on both engines: SQLite compares text byte by byte, and so does the server's
// COLLATE "C" on cd_lancamento, so both walk the codes in the order of their UTF-8 bytes.
void compareStoredBalances(const QSqlDatabase &file, const QSqlDatabase &server,
                           MigrationReport &report)
{
    const QString sql = u"SELECT cd_lancamento, vl_saldo FROM lancamentos ORDER BY cd_lancamento"_s;
    QSqlQuery inFile(file);
    inFile.setForwardOnly(true);
    data::execOrThrow(inFile, sql);
    QSqlQuery onServer(server);
    onServer.setForwardOnly(true);
    data::execOrThrow(onServer, sql);

    const auto unlike = [&](const QByteArray &code) {
        if (report.unlikeSourceExamples.size() < WrongBalanceExamples)
            report.unlikeSourceExamples << QString::fromUtf8(code);
        ++report.balancesUnlikeSource;
    };
    bool fileRow = inFile.next();
    bool serverRow = onServer.next();
    while (fileRow || serverRow) {
        const QByteArray fileCode = fileRow ? inFile.value(0).toString().toUtf8() : QByteArray();
        const QByteArray serverCode =
            serverRow ? onServer.value(0).toString().toUtf8() : QByteArray();
        if (fileRow && (!serverRow || fileCode < serverCode)) {
            unlike(fileCode);
            fileRow = inFile.next();
        } else if (serverRow && (!fileRow || serverCode < fileCode)) {
            unlike(serverCode);
            serverRow = onServer.next();
        } else {
            const QVariant a = inFile.value(1);
            const QVariant b = onServer.value(1);
            if (a.isNull() != b.isNull() || (!a.isNull() && a.toDouble() != b.toDouble()))
                unlike(fileCode);
            fileRow = inFile.next();
            serverRow = onServer.next();
        }
    }
    failIfBroken(inFile);
    failIfBroken(onServer);
}

// The running balances recomputed by the server itself, in cents, in the files' order: Null
// dates first (the server would put them last), then by code. An amount is rounded to cents
// half away from zero, as centsFromDouble rounds; a Null amount counts nothing.
const QString ServerRunningSums =
    u"WITH corrido AS (SELECT cd_conta, cd_lancamento, dt_lancamento, vl_saldo, "
    "row_number() OVER conta AS ordem, "
    "sum(CASE cd_status WHEN 'C' THEN centavos WHEN 'D' THEN -centavos ELSE 0 END) OVER conta "
    "AS saldo "
    "FROM (SELECT cd_conta, cd_lancamento, dt_lancamento, cd_status, vl_saldo, "
    "coalesce(trunc(vl_lancamento * 100 + CASE WHEN vl_lancamento < 0 THEN -0.5 ELSE 0.5 END), "
    "0)::bigint AS centavos FROM lancamentos) l "
    "WINDOW conta AS (PARTITION BY cd_conta ORDER BY dt_lancamento NULLS FIRST, cd_lancamento)), "
    "conferido AS (SELECT *, vl_saldo IS NULL OR vl_saldo <> saldo::float8 / 100 AS errado "
    "FROM corrido) "_s;

BalanceCheck checkServerBalances(const QSqlDatabase &server)
{
    BalanceCheck check;
    QSqlQuery query(server);
    query.setForwardOnly(true);
    data::execOrThrow(query, ServerRunningSums +
                                 u"SELECT count(*) FILTER (WHERE ordem = 1), count(*), "
                                 "count(*) FILTER (WHERE errado) FROM conferido"_s);
    if (query.next()) {
        check.accounts = query.value(0).toLongLong();
        check.entries = query.value(1).toLongLong();
        check.wrong = query.value(2).toLongLong();
    }
    if (check.wrong == 0)
        return check;
    data::prepareOrThrow(query, ServerRunningSums +
                                    u"SELECT cd_conta, cd_lancamento, vl_saldo, saldo FROM "
                                    "conferido WHERE errado ORDER BY cd_conta, "
                                    "dt_lancamento NULLS FIRST, cd_lancamento LIMIT ?"_s);
    query.addBindValue(WrongBalanceExamples);
    data::execOrThrow(query);
    while (query.next())
        check.examples << WrongBalance{query.value(0).toString(), query.value(1).toString(),
                                       query.value(2), query.value(3).toLongLong()};
    return check;
}

} // namespace

Source::Source(const QString &dataDir)
    : m_cash(data::openDatabaseReadOnly(data::cashDatabasePath(dataDir), data::DatabaseKind::Cash))
    , m_menu(data::openDatabaseReadOnly(data::menuDatabasePath(dataDir), data::DatabaseKind::Menu))
{
    requireCurrentVersion(m_cash, data::cashDatabasePath(dataDir), data::CashSchemaVersion);
    requireCurrentVersion(m_menu, data::menuDatabasePath(dataDir), data::MenuSchemaVersion);
    m_cashRead.emplace(m_cash, data::Transaction::Read);
    m_menuRead.emplace(m_menu, data::Transaction::Read);
}

QList<TableCount> Source::counts() const
{
    QList<TableCount> counts;
    for (const Table &table : copiedTables())
        counts << TableCount{
            table.server,
            countRows(table.kind == data::DatabaseKind::Cash ? m_cash : m_menu, table.file),
            std::nullopt};
    return counts;
}

BalanceCheck Source::checkBalances() const
{
    QSqlQuery query(m_cash);
    query.setForwardOnly(true);
    data::execOrThrow(query, u"SELECT cd_conta, cd_lancamento, vl_lancamento, cd_status, vl_saldo "
                             "FROM lancamentos ORDER BY cd_conta, dt_lancamento, cd_lancamento"_s);
    BalanceCheck check;
    QVariant account;
    Cents running = 0;
    while (query.next()) {
        const QVariant entryAccount = query.value(0);
        if (check.entries == 0 || entryAccount.isNull() != account.isNull() ||
            entryAccount.toString() != account.toString()) {
            ++check.accounts;
            account = entryAccount;
            running = 0;
        }
        ++check.entries;
        const QVariant amount = query.value(2);
        const Cents cents = amount.isNull() ? 0 : centsFromDouble(amount.toDouble());
        const QString status = query.value(3).toString();
        if (status == u"C")
            running += cents;
        else if (status == u"D")
            running -= cents;
        const QVariant stored = query.value(4);
        if (stored.isNull() || stored.toDouble() != doubleFromCents(running)) {
            if (check.examples.size() < WrongBalanceExamples)
                check.examples << WrongBalance{account.toString(), query.value(1).toString(),
                                               stored, running};
            ++check.wrong;
        }
    }
    failIfBroken(query);
    return check;
}

bool MigrationReport::countsAgree() const
{
    return std::all_of(tables.cbegin(), tables.cend(),
                       [](const TableCount &t) { return t.target == t.source; });
}

MigrationReport copyToServer(const Source &source, const QSqlDatabase &server,
                             const MigrationOptions &options)
{
    const auto tell = [&](const QString &line) {
        if (options.progress)
            options.progress(line);
    };
    MigrationReport report;
    report.tables = source.counts();
    if (!data::serverDatabaseIsEmpty(server)) {
        report.outcome = MigrationReport::Outcome::TargetNotEmpty;
        return report;
    }
    tell(u"Conferindo os saldos do diretório de dados..."_s);
    report.sourceBalances = source.checkBalances();
    if (!report.sourceBalances.passed()) {
        report.outcome = MigrationReport::Outcome::SourceBalancesWrong;
        return report;
    }

    PreparedStatements statements;
    data::Transaction transaction(server);
    tell(u"Criando as tabelas no servidor..."_s);
    // Another workstation may have made them since the database was found empty.
    if (!data::createServerSchemaInTransaction(server)) {
        report.outcome = MigrationReport::Outcome::TargetNotEmpty;
        return report;
    }
    // The schema seeds settlement type "001" and the shipped menu; the files have their own.
    QSqlQuery query(server);
    data::execOrThrow(query, u"DELETE FROM baixas"_s);
    data::execOrThrow(query, u"DELETE FROM config"_s);

    const QLocale locale = programLocale();
    for (qsizetype i = 0; i < report.tables.size(); ++i) {
        const Table &table = copiedTables().at(i);
        tell(u"Copiando %1 (%2 linhas)..."_s.arg(table.server,
                                                 locale.toString(report.tables.at(i).source)));
        const QStringList indexes = dropSecondaryIndexes(server, table.server);
        copyTable(table, table.kind == data::DatabaseKind::Cash ? source.cash() : source.menu(),
                  server, report.tables.at(i).source, options, statements);
        for (const QString &index : indexes)
            data::execOrThrow(query, index);
    }
    if (options.beforeCheck)
        options.beforeCheck(server);

    tell(u"Conferindo a cópia..."_s);
    for (TableCount &count : report.tables)
        count.target = countRows(server, count.table);
    compareStoredBalances(source.cash(), server, report);
    report.serverBalances = checkServerBalances(server);
    if (!report.countsAgree() || report.balancesUnlikeSource != 0 ||
        !report.serverBalances.passed()) {
        report.outcome = MigrationReport::Outcome::CheckFailed;
        return report;
    }
    transaction.commit();
    report.outcome = MigrationReport::Outcome::Copied;

    // A table filled at once has neither statistics nor a visibility map until the server's own
    // vacuum comes round: until then it would plan a large account's reads badly and count its
    // rows from the table instead of an index. Outside the transaction, as VACUUM must be; a
    // server that refuses it (another owner) leaves only the speed of the first hours at stake.
    tell(u"Atualizando as estatísticas do servidor..."_s);
    for (const Table &table : copiedTables()) {
        QSqlQuery vacuum(server);
        if (!vacuum.exec(u"VACUUM (ANALYZE) %1"_s.arg(table.server)))
            tell(u"O servidor não atualizou as estatísticas de %1: %2"_s.arg(
                table.server, vacuum.lastError().databaseText()));
    }
    return report;
}

} // namespace tessal::migrate
