#include "core/error.h"
#include "core/money.h"
#include "data/database.h"
#include "data/server.h"
#include "testsupport/serverdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <map>

using namespace tessal;
using namespace tessal::data;
using namespace Qt::StringLiterals;

#define EXEC_OR_FAIL(q, sql) QVERIFY2((q).exec(sql), qPrintable((q).lastError().text()))

class tst_Server : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void schemaHasTheFilesTablesAndColumns();
    void newDatabaseHoldsSettlementTypeAndShippedMenu();
    void creatingAgainKeepsDataAndForeignOrNewerIsRefused();
    void datepartAgreesWithTheFilesOnTheSameTexts();
    void datepartRefusesAnUnknownIntervalOnlyOnARow();
    void descriptionsCompareWithoutCaseCodesByBytes();
    void failedConnectionNamesTheServerNeverThePassword();
    void accountTotalsFollowEveryWriteWhoeverMakesIt();
    void versionOneDatabaseGetsItsTotalsWhenOpened();

private:
    std::unique_ptr<test::ScratchServerDatabase> m_scratch;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_Server::init()
{
    m_scratch = std::make_unique<test::ScratchServerDatabase>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_Server::cleanup()
{
    closeDatabase(cashDatabasePath(m_dir->path()));
    closeDatabase(menuDatabasePath(m_dir->path()));
    m_scratch.reset();
    m_dir.reset();
}

// Every table and column of caixa.mdb and MENU.mdb exists on the server under the same name, and
// nothing else of ours does: a statement the program runs on the files finds what it names.
void tst_Server::schemaHasTheFilesTablesAndColumns()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    ensureDataDirectory(m_dir->path());
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    createServerSchema(server);

    std::map<QString, QStringList> onFiles;
    for (const auto &[path, kind] :
         {std::pair{cashDatabasePath(m_dir->path()), DatabaseKind::Cash},
          std::pair{menuDatabasePath(m_dir->path()), DatabaseKind::Menu}}) {
        QSqlDatabase file = openDatabase(path, kind);
        for (const QString &table : file.tables()) {
            const QSqlRecord record = file.record(table);
            QStringList columns;
            for (int i = 0; i < record.count(); ++i)
                columns << record.fieldName(i).toLower();
            onFiles[table.toLower()] = columns;
        }
    }
    QCOMPARE(onFiles.size(), size_t(6));
    for (const auto &[table, columns] : onFiles) {
        const QSqlRecord record = server.record(table);
        QStringList onServer;
        for (int i = 0; i < record.count(); ++i)
            onServer << record.fieldName(i);
        QVERIFY2(!onServer.isEmpty(), qPrintable(table));
        QCOMPARE(onServer, columns);
    }
    QStringList serverTables = server.tables();
    serverTables.removeAll(u"tessal_versao"_s);
    serverTables.removeAll(u"tessal_totais"_s); // the server's own, kept from lancamentos
    QCOMPARE(serverTables.size(), qsizetype(onFiles.size()));
}

void tst_Server::newDatabaseHoldsSettlementTypeAndShippedMenu()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    QVERIFY(serverDatabaseIsEmpty(server));
    createServerSchema(server);
    QVERIFY(!serverDatabaseIsEmpty(server));

    QSqlQuery q(server);
    EXEC_OR_FAIL(q, u"SELECT cd_baixa, ds_baixa FROM baixas"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"001"_s);
    QCOMPARE(q.value(1).toString(), u"Normal"_s);
    QVERIFY(!q.next());

    // The main window's own statement, as it stands.
    EXEC_OR_FAIL(q, u"select * from  CONFIG order by GRUPO, OPCAO"_s);
    const QList<MenuOption> shipped = shippedMenu();
    for (const MenuOption &option : shipped) {
        QVERIFY(q.next());
        QCOMPARE(q.value(u"grupo"_s).toInt(), option.grupo);
        QCOMPARE(q.value(u"opcao"_s).toInt(), option.opcao);
        QCOMPARE(q.value(u"descricao"_s).toString(), option.descricao);
        QCOMPARE(q.value(u"ds_tootip"_s).toString(), option.tooltip);
        QCOMPARE(q.value(u"opcoes"_s).toInt(), option.opcoes);
    }
    QVERIFY(!q.next());
}

void tst_Server::creatingAgainKeepsDataAndForeignOrNewerIsRefused()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    createServerSchema(server);
    QSqlQuery q(server);
    EXEC_OR_FAIL(q, u"INSERT INTO contas VALUES ('001', 'Caixa')"_s);
    createServerSchema(server);
    EXEC_OR_FAIL(q, u"SELECT ds_conta FROM contas"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"Caixa"_s);

    EXEC_OR_FAIL(q, u"UPDATE tessal_versao SET versao = versao + 1"_s);
    QVERIFY_THROWS_EXCEPTION(Error, createServerSchema(server));
    try {
        createServerSchema(server);
    } catch (const Error &e) {
        QVERIFY2(e.info().description.contains(u"versão mais nova"_s),
                 qPrintable(e.info().description));
    }

    test::ScratchServerDatabase foreign;
    QVERIFY2(foreign.isValid(), qPrintable(foreign.error()));
    QSqlDatabase other = openServerDatabase(foreign.address());
    QSqlQuery f(other);
    EXEC_OR_FAIL(f, u"CREATE TABLE pedidos (id integer)"_s);
    QVERIFY(!serverDatabaseIsEmpty(other));
    try {
        createServerSchema(other);
        QFAIL("a database of another program was taken");
    } catch (const Error &e) {
        QVERIFY2(e.info().description.contains(u"não são do Tessal Caixa"_s),
                 qPrintable(e.info().description));
    }
    EXEC_OR_FAIL(f, u"SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"_s);
    QVERIFY(f.next());
    QCOMPARE(f.value(0).toInt(), 1);
}

// The server's datepart and the files' give the same answer for every day of four decades (each
// weekday start of a year and every leap rule among them), both spellings of a date, a date
// followed by a time, and text that is no date.
void tst_Server::datepartAgreesWithTheFilesOnTheSameTexts()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    ensureDataDirectory(m_dir->path());
    QSqlDatabase file = openDatabase(cashDatabasePath(m_dir->path()));
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    createServerSchema(server);

    QStringList texts;
    for (QDate day(1995, 1, 1); day <= QDate(2035, 12, 31); day = day.addDays(1))
        texts << toStoredDate(day);
    for (QDate day(1899, 12, 25); day <= QDate(1900, 3, 5); day = day.addDays(1))
        texts << day.toString(u"dd/MM/yyyy"_s);
    for (QDate day(2000, 2, 20); day <= QDate(2000, 3, 5); day = day.addDays(1))
        texts << day.toString(u"dd/MM/yyyy"_s);
    texts << u"2026-12-31 23:59:59"_s << u"2027-01-01T00:00"_s << u"0001-01-01"_s << u"9999-12-31"_s
          << u"2026-02-29"_s << u"2024-02-29"_s << u"1900-02-29"_s << u"2026-13-01"_s
          << u"2026-00-10"_s << u"2026-04-31"_s << u"0000-06-15"_s << u"31/04/2026"_s
          << u"29/02/2100"_s << u"01/01/2026 "_s << u"1/1/2026"_s << u"2026-1-01"_s << u"abc"_s
          << QString(u""_s) << u"2026/01/01"_s << u"２０２６-01-01"_s;

    QSqlQuery fromFile(file);
    QVERIFY(fromFile.prepare(u"SELECT datepart(?, ?)"_s));
    QSqlQuery fromServer(server);
    QVERIFY(fromServer.prepare(
        u"SELECT datepart(?, t) FROM unnest(string_to_array(?, '|')) WITH ORDINALITY AS u(t, n) "
        "ORDER BY n"_s));
    int compared = 0;
    int nulls = 0;
    for (const QString &interval : {u"yyyy"_s, u"Q"_s, u"m"_s, u"WW"_s}) {
        fromServer.addBindValue(interval);
        fromServer.addBindValue(texts.join(u'|'));
        QVERIFY2(fromServer.exec(), qPrintable(fromServer.lastError().text()));
        for (const QString &text : texts) {
            QVERIFY(fromServer.next());
            fromFile.addBindValue(interval);
            fromFile.addBindValue(text);
            QVERIFY2(fromFile.exec() && fromFile.next(), qPrintable(fromFile.lastError().text()));
            const QVariant expected = fromFile.value(0);
            const QVariant actual = fromServer.value(0);
            QVERIFY2(expected.isNull() == actual.isNull() &&
                         (expected.isNull() || expected.toInt() == actual.toInt()),
                     qPrintable(u"datepart(%1, '%2'): arquivo %3, servidor %4"_s.arg(
                         interval, text, expected.toString(), actual.toString())));
            nulls += expected.isNull() ? 1 : 0;
            ++compared;
            fromFile.finish();
        }
        QVERIFY(!fromServer.next());
    }
    QVERIFY(compared > 4 * 14000);
    // "2026-02-29" and the like are no dates on either engine.
    QCOMPARE(nulls, 4 * 15);

    // Null text and a Null interval give Null on both.
    QSqlQuery q(server);
    EXEC_OR_FAIL(q, u"SELECT datepart('yyyy', NULL), datepart(NULL, '2026-01-01')"_s);
    QVERIFY(q.next());
    QVERIFY(q.value(0).isNull());
    QVERIFY(q.value(1).isNull());
}

void tst_Server::datepartRefusesAnUnknownIntervalOnlyOnARow()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    createServerSchema(server);
    QSqlQuery q(server);
    QVERIFY(!q.exec(u"SELECT datepart('d', '2026-01-01')"_s));
    QVERIFY2(q.lastError().databaseText().contains(u"intervalo desconhecido"_s),
             qPrintable(q.lastError().databaseText()));
    // No row reaches it: no error, as on the files.
    EXEC_OR_FAIL(q, u"SELECT datepart('d', dt_lancamento) FROM lancamentos"_s);
    QVERIFY(!q.next());
}

void tst_Server::descriptionsCompareWithoutCaseCodesByBytes()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    createServerSchema(server);
    QSqlQuery q(server);
    QVERIFY(q.prepare(u"INSERT INTO contas (cd_conta, ds_conta) VALUES (?, ?)"_s));
    for (const auto &[code, name] : {std::pair{u"010"_s, u"banco"_s},
                                     {u"002"_s, u"Banco"_s},
                                     {u"a01"_s, u"Caixa"_s},
                                     {u"B01"_s, u"cofre"_s}}) {
        q.addBindValue(code);
        q.addBindValue(name);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
    QVERIFY(q.prepare(u"SELECT count(*) FROM contas WHERE ds_conta = ?"_s));
    q.addBindValue(u"BANCO"_s);
    QVERIFY(q.exec() && q.next());
    QCOMPARE(q.value(0).toInt(), 2);
    EXEC_OR_FAIL(q, u"SELECT cd_conta FROM contas ORDER BY cd_conta"_s);
    QStringList codes;
    while (q.next())
        codes << q.value(0).toString();
    QCOMPARE(codes, (QStringList{u"002"_s, u"010"_s, u"B01"_s, u"a01"_s}));
}

void tst_Server::failedConnectionNamesTheServerNeverThePassword()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    ServerAddress nowhere = m_scratch->address();
    nowhere.database = u"nao_existe_este_banco"_s;
    try {
        openServerDatabase(nowhere, u"s3gr3d0"_s);
        QFAIL("a connection to a missing database was opened");
    } catch (const Error &e) {
        QVERIFY2(e.info().description.startsWith(u"Não foi possível conectar ao servidor"_s),
                 qPrintable(e.info().description));
        QVERIFY(e.info().description.contains(u"nao_existe_este_banco"_s));
        QVERIFY(!e.info().description.contains(u"s3gr3d0"_s));
    }
}

namespace {

using AccountTotals = std::map<QString, std::pair<Cents, Cents>>;

// The totals as the program defines them, summed here from the entries: "C" credits and "D"
// debits, compared exactly, each amount in cents as centsFromDouble has it.
AccountTotals summedFromEntries(const QSqlDatabase &db)
{
    AccountTotals totals;
    QSqlQuery q(db);
    if (!q.exec(u"SELECT cd_conta, cd_status, vl_lancamento FROM lancamentos"_s))
        return {{u"erro"_s, {-1, -1}}};
    while (q.next()) {
        if (q.value(0).isNull())
            continue;
        auto &[credits, debits] = totals[q.value(0).toString()];
        const Cents amount = q.value(2).isNull() ? 0 : centsFromDouble(q.value(2).toDouble());
        if (q.value(1).toString() == u"C")
            credits += amount;
        else if (q.value(1).toString() == u"D")
            debits += amount;
    }
    return totals;
}

// What the server keeps, with an account whose entries are all gone (a row of zeros) left out.
AccountTotals keptByTheServer(const QSqlDatabase &db)
{
    AccountTotals totals;
    QSqlQuery q(db);
    if (!q.exec(u"SELECT cd_conta, vl_creditos, vl_debitos FROM tessal_totais"_s))
        return {{u"erro"_s, {-1, -1}}};
    while (q.next()) {
        if (q.value(1).toLongLong() != 0 || q.value(2).toLongLong() != 0)
            totals[q.value(0).toString()] = {q.value(1).toLongLong(), q.value(2).toLongLong()};
    }
    return totals;
}

QString shown(const AccountTotals &totals)
{
    QStringList parts;
    for (const auto &[account, pair] : totals)
        parts << u"%1: %2/%3"_s.arg(account).arg(pair.first).arg(pair.second);
    return parts.join(u", "_s);
}

} // namespace

#define COMPARE_TOTALS(db)                                                                         \
    do {                                                                                           \
        const AccountTotals kept = keptByTheServer(db);                                            \
        const AccountTotals summed = summedFromEntries(db);                                        \
        QVERIFY2(kept == summed,                                                                   \
                 qPrintable(u"mantidos: "_s + shown(kept) + u"; somados: "_s + shown(summed)));    \
    } while (false)

// The totals the ledger reads stay those of the entries through inserts of many rows at once,
// updates of amount, status and account, balance rewrites, deletions, a rollback and an emptied
// table, whoever runs the statement. The amounts include halves of a cent, which round away from
// zero, a Null amount, statuses that count in neither total and entries without an account.
void tst_Server::accountTotalsFollowEveryWriteWhoeverMakesIt()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    createServerSchema(server);
    QSqlQuery q(server);
    EXEC_OR_FAIL(q, u"INSERT INTO lancamentos (cd_lancamento, cd_conta, vl_lancamento, cd_status) "
                    "VALUES ('01', '001', 10.005, 'C'), ('02', '001', 2.675, 'D'), "
                    "('03', '002', -0.125, 'C'), ('04', '002', NULL, 'D'), "
                    "('05', '002', 7, 'c'), ('06', NULL, 5, 'C'), ('07', '003', 1e9 + 0.015, 'D'), "
                    "('08', '003', 3.335, ''), ('09', '001', 0.1, NULL)"_s);
    COMPARE_TOTALS(server);
    QCOMPARE(keptByTheServer(server).at(u"001"_s), (std::pair<Cents, Cents>{1001, 268}));

    EXEC_OR_FAIL(q, u"UPDATE lancamentos SET vl_lancamento = vl_lancamento * 3 WHERE "
                    "cd_conta = '001'"_s);
    COMPARE_TOTALS(server);
    EXEC_OR_FAIL(q,
                 u"UPDATE lancamentos SET cd_status = 'D' WHERE cd_lancamento IN ('05', '08')"_s);
    COMPARE_TOTALS(server);
    EXEC_OR_FAIL(q, u"UPDATE lancamentos SET cd_conta = CASE cd_conta WHEN '001' THEN '002' "
                    "WHEN '002' THEN '001' ELSE '004' END"_s);
    COMPARE_TOTALS(server);
    EXEC_OR_FAIL(q, u"UPDATE lancamentos SET vl_saldo = 123.45"_s);
    COMPARE_TOTALS(server);

    EXEC_OR_FAIL(q, u"DELETE FROM lancamentos WHERE cd_lancamento IN ('01', '04', '06', '07')"_s);
    COMPARE_TOTALS(server);

    const AccountTotals before = keptByTheServer(server);
    QVERIFY(server.transaction());
    EXEC_OR_FAIL(q, u"INSERT INTO lancamentos (cd_lancamento, cd_conta, vl_lancamento, cd_status) "
                    "VALUES ('10', '002', 50, 'C')"_s);
    EXEC_OR_FAIL(q, u"DELETE FROM lancamentos WHERE cd_lancamento = '02'"_s);
    QVERIFY(server.rollback());
    QCOMPARE(keptByTheServer(server), before);
    COMPARE_TOTALS(server);

    EXEC_OR_FAIL(q, u"TRUNCATE lancamentos"_s);
    EXEC_OR_FAIL(q, u"SELECT count(*) FROM tessal_totais"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 0);
}

// A database made by a program of schema version 1 has no totals; opening it gives it them, filled
// from the entries it holds, and opening it again counts nothing twice.
void tst_Server::versionOneDatabaseGetsItsTotalsWhenOpened()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    createServerSchema(server);
    QSqlQuery q(server);
    EXEC_OR_FAIL(q, u"DROP FUNCTION tessal_totais_linhas, tessal_totais_alteracao, "
                    "tessal_totais_esvaziar CASCADE"_s);
    EXEC_OR_FAIL(q, u"DROP TABLE tessal_totais"_s);
    EXEC_OR_FAIL(q, u"DROP FUNCTION tessal_centavos"_s);
    EXEC_OR_FAIL(q, u"UPDATE tessal_versao SET versao = 1"_s);
    EXEC_OR_FAIL(q, u"INSERT INTO lancamentos (cd_lancamento, cd_conta, vl_lancamento, cd_status) "
                    "SELECT lpad(n::text, 10, '0'), lpad((n % 7)::text, 3, '0'), n * 1.005, "
                    "CASE WHEN n % 3 = 0 THEN 'D' ELSE 'C' END FROM generate_series(1, 500) n"_s);

    createServerSchema(server);
    EXEC_OR_FAIL(q, u"SELECT max(versao) FROM tessal_versao"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), ServerSchemaVersion);
    QCOMPARE(keptByTheServer(server).size(), size_t(7));
    COMPARE_TOTALS(server);

    createServerSchema(server);
    COMPARE_TOTALS(server);
    EXEC_OR_FAIL(q, u"DELETE FROM lancamentos WHERE cd_conta = '003'"_s);
    COMPARE_TOTALS(server);
}

QTEST_GUILESS_MAIN(tst_Server)
#include "tst_server.moc"
