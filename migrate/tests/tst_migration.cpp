#include "core/error.h"
#include "core/money.h"
#include "data/database.h"
#include "data/demodata.h"
#include "data/server.h"
#include "migrate/migration.h"
#include "testsupport/serverdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <map>

using namespace tessal;
using namespace tessal::data;
using namespace tessal::migrate;
using namespace Qt::StringLiterals;

#define EXEC_OR_FAIL(q, sql) QVERIFY2((q).exec(sql), qPrintable((q).lastError().text()))

namespace {

// Written out here rather than taken from the library, so that a table or column the copy
// forgets shows up as a difference.
struct TableShape
{
    QString server;
    QString file;
    DatabaseKind kind;
    QString columns;
    QString key;
};

const QList<TableShape> Tables = {
    {u"contas"_s, u"contas"_s, DatabaseKind::Cash, u"cd_conta, ds_conta"_s, u"cd_conta"_s},
    {u"historicos"_s, u"historicos"_s, DatabaseKind::Cash, u"cd_historico, ds_historico, cd_tipo"_s,
     u"cd_historico"_s},
    {u"baixas"_s, u"baixas"_s, DatabaseKind::Cash, u"cd_baixa, ds_baixa"_s, u"cd_baixa"_s},
    {u"usuarios"_s, u"usuarios"_s, DatabaseKind::Cash, u"cd_usuario, usuario, senha"_s,
     u"cd_usuario"_s},
    {u"lancamentos"_s, u"lancamentos"_s, DatabaseKind::Cash,
     u"cd_lancamento, cd_conta, cd_historico, ds_complemento, vl_lancamento, dt_lancamento, "
     "cd_status, vl_saldo, cd_baixa"_s,
     u"cd_lancamento"_s},
    {u"config"_s, u"CONFIG"_s, DatabaseKind::Menu, u"grupo, opcao, descricao, ds_tootip, opcoes"_s,
     u"grupo, opcao"_s},
};

constexpr qint64 DemoEntries = 3000;

qint64 countOf(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

bool tableExists(const QSqlDatabase &server, const QString &table)
{
    QSqlQuery q(server);
    q.prepare(u"SELECT to_regclass(?) IS NOT NULL"_s);
    q.addBindValue(table);
    return q.exec() && q.next() && q.value(0).toBool();
}

} // namespace

class tst_Migration : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Without a server.
    void sourceBalancesFollowTheProgramsRule();
    void sourceThatIsNotOursOrIsOlderIsRefused();

    // On the server.
    void copiesEveryTableRowForRow_data();
    void copiesEveryTableRowForRow();
    void nonEmptyTargetRefusedAndLeftAlone_data();
    void nonEmptyTargetRefusedAndLeftAlone();
    void failureInTheMiddleLeavesTargetEmpty_data();
    void failureInTheMiddleLeavesTargetEmpty();
    void spoiledCopyFailsTheCheckAndIsUndone_data();
    void spoiledCopyFailsTheCheckAndIsUndone();
    void damagedSourceBalancesRefusedBeforeWriting();

private:
    QString dataDir() const { return m_dir->path(); }
    QSqlDatabase cashFile() const { return openDatabase(cashDatabasePath(dataDir())); }
    // Entries with awkward values the demo data lacks: an amount no decimal writes exactly, text
    // with quotes and a backslash, Nulls, a settlement type "001" and a menu of the operator's.
    void addAwkwardRows();
    void compareWithSource(const QSqlDatabase &server);

    std::unique_ptr<test::ScratchServerDatabase> m_scratch;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_Migration::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    DemoOptions options;
    options.entries = int(DemoEntries);
    options.lastDate = QDate(2026, 6, 30);
    options.supervisorPasswordHash = u"$argon2id$hash-de-teste"_s;
    generateDemoData(dataDir(), options);
    m_scratch = std::make_unique<test::ScratchServerDatabase>();
}

void tst_Migration::cleanup()
{
    closeDatabase(cashDatabasePath(dataDir()));
    closeDatabase(menuDatabasePath(dataDir()));
    m_scratch.reset();
    m_dir.reset();
}

void tst_Migration::addAwkwardRows()
{
    QSqlQuery q(cashFile());
    EXEC_OR_FAIL(q, u"INSERT INTO contas VALUES ('900', 'Caixa d''Água \\ \"aspas\"')"_s);
    EXEC_OR_FAIL(q, u"INSERT INTO contas VALUES ('901', NULL)"_s);
    EXEC_OR_FAIL(q, u"INSERT INTO historicos VALUES ('99999', 'Sem tipo', NULL)"_s);
    EXEC_OR_FAIL(q, u"UPDATE baixas SET ds_baixa = 'Normal da loja' WHERE cd_baixa = '001'"_s);
    // 0,1 then a third of a real that no status counts: the balance stays 0,1.
    QVERIFY(q.prepare(u"INSERT INTO lancamentos VALUES (?, '900', '99999', ?, ?, ?, ?, ?, ?)"_s));
    const QVariantList first{u"X000001"_s, u"Tab\tlinha\nnova"_s, 0.1, u"2026-01-02"_s, u"C"_s, 0.1,
                             QVariant()};
    const QVariantList second{u"X000002"_s, QVariant(), 1.0 / 3.0, u"2026-01-03"_s,
                              u"N"_s,       0.1,        u"001"_s};
    for (const QVariantList &row : {first, second}) {
        for (const QVariant &value : row)
            q.addBindValue(value);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
    QSqlQuery menu(openDatabase(menuDatabasePath(dataDir()), DatabaseKind::Menu));
    EXEC_OR_FAIL(menu, u"DELETE FROM CONFIG WHERE grupo = 3"_s);
    EXEC_OR_FAIL(menu, u"UPDATE CONFIG SET descricao = 'Minhas Contas' WHERE grupo = 1 AND "
                       "opcao = 1"_s);
}

// Every row of every table, in key order on both sides, value for value: text as text (dates are
// stored text), amounts bit for bit, Nulls as Nulls.
void tst_Migration::compareWithSource(const QSqlDatabase &server)
{
    for (const TableShape &table : Tables) {
        const QSqlDatabase file =
            openDatabase(table.kind == DatabaseKind::Cash ? cashDatabasePath(dataDir())
                                                          : menuDatabasePath(dataDir()),
                         table.kind);
        QSqlQuery a(file);
        QSqlQuery b(server);
        EXEC_OR_FAIL(a,
                     u"SELECT %1 FROM %2 ORDER BY %3"_s.arg(table.columns, table.file, table.key));
        EXEC_OR_FAIL(
            b, u"SELECT %1 FROM %2 ORDER BY %3"_s.arg(table.columns, table.server, table.key));
        const int width = int(table.columns.count(u',') + 1);
        qint64 rows = 0;
        while (a.next()) {
            QVERIFY2(b.next(), qPrintable(table.server + u": falta a linha %1"_s.arg(rows)));
            for (int c = 0; c < width; ++c) {
                const QVariant x = a.value(c);
                const QVariant y = b.value(c);
                const QString where = u"%1 linha %2 coluna %3"_s.arg(table.server).arg(rows).arg(c);
                QCOMPARE_EQ(y.isNull(), x.isNull());
                if (x.isNull())
                    continue;
                if (x.typeId() == QMetaType::Double) {
                    QVERIFY2(y.typeId() == QMetaType::Double, qPrintable(where));
                    QVERIFY2(x.toDouble() == y.toDouble(),
                             qPrintable(where + u": %1 != %2"_s.arg(x.toDouble(), 0, 'g', 17)
                                                    .arg(y.toDouble(), 0, 'g', 17)));
                } else {
                    QVERIFY2(x.toString() == y.toString(),
                             qPrintable(where + u": "_s + x.toString() + u" != "_s + y.toString()));
                }
            }
            ++rows;
        }
        QVERIFY2(!b.next(), qPrintable(table.server + u": linhas a mais no servidor"_s));
        // A table copied empty on both sides would compare equal: every one has rows here.
        QVERIFY2(rows > 0, qPrintable(table.server));
    }
}

void tst_Migration::sourceBalancesFollowTheProgramsRule()
{
    const QSqlDatabase file = cashFile();
    const qint64 accounts = countOf(file, u"SELECT count(DISTINCT cd_conta) FROM lancamentos"_s);
    {
        const Source source(dataDir());
        const BalanceCheck check = source.checkBalances();
        QCOMPARE(check.entries, DemoEntries);
        QCOMPARE(check.accounts, accounts);
        QCOMPARE(check.wrong, qint64(0));
        QVERIFY(check.examples.isEmpty());
    }

    // Two wrong balances: one a cent off, one Null; and one entry whose amount carries a
    // fraction of a cent, which is rounded before it is added, so its balance stays right.
    QSqlQuery q(file);
    EXEC_OR_FAIL(q, u"SELECT cd_lancamento, cd_conta, vl_saldo FROM lancamentos ORDER BY "
                    "cd_conta, dt_lancamento, cd_lancamento LIMIT 3 OFFSET 100"_s);
    QList<std::tuple<QString, QString, double>> picked;
    while (q.next())
        picked << std::tuple{q.value(0).toString(), q.value(1).toString(), q.value(2).toDouble()};
    QCOMPARE(picked.size(), qsizetype(3));
    q.prepare(u"UPDATE lancamentos SET vl_saldo = vl_saldo + 0.01 WHERE cd_lancamento = ?"_s);
    q.addBindValue(std::get<0>(picked[0]));
    QVERIFY(q.exec());
    q.prepare(u"UPDATE lancamentos SET vl_saldo = NULL WHERE cd_lancamento = ?"_s);
    q.addBindValue(std::get<0>(picked[2]));
    QVERIFY(q.exec());
    q.prepare(u"UPDATE lancamentos SET vl_lancamento = vl_lancamento + 0.004 WHERE "
              "cd_lancamento = ?"_s);
    q.addBindValue(std::get<0>(picked[1]));
    QVERIFY(q.exec());

    const Source source(dataDir());
    const BalanceCheck check = source.checkBalances();
    QCOMPARE(check.entries, DemoEntries);
    QCOMPARE(check.wrong, qint64(2));
    QCOMPARE(check.examples.size(), qsizetype(2));
    QCOMPARE(check.examples[0].entry, std::get<0>(picked[0]));
    QCOMPARE(check.examples[0].account, std::get<1>(picked[0]));
    QCOMPARE(check.examples[0].expected, centsFromDouble(std::get<2>(picked[0])));
    QCOMPARE(check.examples[1].entry, std::get<0>(picked[2]));
    QVERIFY(check.examples[1].stored.isNull());
    QCOMPARE(check.examples[1].expected, centsFromDouble(std::get<2>(picked[2])));
}

void tst_Migration::sourceThatIsNotOursOrIsOlderIsRefused()
{
    QTemporaryDir empty;
    QVERIFY_THROWS_EXCEPTION(Error, Source{empty.path()});

    {
        QSqlQuery q(openDatabase(menuDatabasePath(dataDir()), DatabaseKind::Menu));
        EXEC_OR_FAIL(q, u"PRAGMA user_version=1"_s);
    }
    closeDatabase(menuDatabasePath(dataDir()));
    try {
        const Source source(dataDir());
        QFAIL("a menu of an earlier release was taken");
    } catch (const Error &e) {
        QVERIFY2(e.description().contains(u"versão anterior"_s), qPrintable(e.description()));
    }
    // Refused without being written: the file still carries the earlier version.
    QSqlQuery q(openDatabase(menuDatabasePath(dataDir()), DatabaseKind::Menu));
    EXEC_OR_FAIL(q, u"PRAGMA user_version"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);
}

// A batch of one row, batches that end inside every table, and the usual size.
void tst_Migration::copiesEveryTableRowForRow_data()
{
    QTest::addColumn<int>("batchRows");
    QTest::newRow("one row per statement") << 1;
    QTest::newRow("seven rows") << 7;
    QTest::newRow("usual") << MigrationOptions{}.batchRows;
}

void tst_Migration::copiesEveryTableRowForRow()
{
    QFETCH(int, batchRows);
    TESSAL_REQUIRE_SERVER(*m_scratch);
    addAwkwardRows();
    if (QTest::currentTestFailed())
        return;

    QStringList progress;
    MigrationReport report;
    {
        const Source source(dataDir());
        MigrationOptions options;
        options.batchRows = batchRows;
        options.progress = [&](const QString &line) { progress << line; };
        report = copyToServer(source, openServerDatabase(m_scratch->address()), options);
    }
    QCOMPARE(report.outcome, MigrationReport::Outcome::Copied);

    QSqlDatabase server = openServerDatabase(m_scratch->address());
    compareWithSource(server);
    if (QTest::currentTestFailed())
        return;

    // The report's counts are the tables' own.
    QCOMPARE(report.tables.size(), Tables.size());
    for (qsizetype i = 0; i < Tables.size(); ++i) {
        const TableShape &table = Tables[i];
        const QSqlDatabase file =
            openDatabase(table.kind == DatabaseKind::Cash ? cashDatabasePath(dataDir())
                                                          : menuDatabasePath(dataDir()),
                         table.kind);
        QCOMPARE(report.tables[i].table, table.server);
        QCOMPARE(report.tables[i].source, countOf(file, u"SELECT count(*) FROM "_s + table.file));
        QCOMPARE(report.tables[i].target,
                 std::optional(countOf(server, u"SELECT count(*) FROM "_s + table.server)));
    }
    QCOMPARE(report.serverBalances.entries, DemoEntries + 2);
    QCOMPARE(report.serverBalances.accounts,
             countOf(cashFile(), u"SELECT count(DISTINCT cd_conta) FROM lancamentos"_s));
    QCOMPARE(report.serverBalances.wrong, qint64(0));
    QCOMPARE(report.balancesUnlikeSource, qint64(0));
    const QString copyingEntries =
        u"Copiando lancamentos (%1 linhas)..."_s.arg(programLocale().toString(DemoEntries + 2));
    QVERIFY2(progress.contains(copyingEntries), qPrintable(progress.join(u'\n')));

    // The indexes the copy dropped and made again are the schema's own.
    test::ScratchServerDatabase fresh;
    QVERIFY2(fresh.isValid(), qPrintable(fresh.error()));
    createServerSchema(openServerDatabase(fresh.address()));
    const auto indexes = [](const QSqlDatabase &db) {
        QStringList definitions;
        QSqlQuery q(db);
        if (q.exec(u"SELECT indexdef FROM pg_indexes WHERE schemaname = current_schema() "
                   "ORDER BY indexname"_s))
            while (q.next())
                definitions << q.value(0).toString();
        return definitions;
    };
    const QStringList expectedIndexes = indexes(openServerDatabase(fresh.address()));
    QVERIFY(expectedIndexes.size() > Tables.size());
    QCOMPARE(indexes(server), expectedIndexes);

    // Every account's totals, which the server keeps from the entries as they arrive, are those
    // of the files' entries.
    std::map<QString, std::pair<Cents, Cents>> fromFiles;
    QSqlQuery entries(cashFile());
    QVERIFY(entries.exec(u"SELECT cd_conta, cd_status, vl_lancamento FROM lancamentos WHERE "
                         "cd_conta IS NOT NULL"_s));
    while (entries.next()) {
        auto &[credits, debits] = fromFiles[entries.value(0).toString()];
        const Cents amount =
            entries.value(2).isNull() ? 0 : centsFromDouble(entries.value(2).toDouble());
        if (entries.value(1).toString() == u"C")
            credits += amount;
        else if (entries.value(1).toString() == u"D")
            debits += amount;
    }
    std::map<QString, std::pair<Cents, Cents>> kept;
    QSqlQuery totals(server);
    QVERIFY(totals.exec(u"SELECT cd_conta, vl_creditos, vl_debitos FROM tessal_totais"_s));
    while (totals.next())
        kept[totals.value(0).toString()] = {totals.value(1).toLongLong(),
                                            totals.value(2).toLongLong()};
    QVERIFY(!kept.empty());
    QVERIFY(kept == fromFiles);

    // The copied tables' statistics are the server's from the start, so its plans for a large
    // account are good on the first day.
    QCOMPARE(countOf(server, u"SELECT count(*) FROM pg_stat_user_tables WHERE relname = "
                             "'lancamentos' AND last_analyze IS NOT NULL AND "
                             "last_vacuum IS NOT NULL"_s),
             qint64(1));

    // The database is a current one of ours: the schema step takes it as it is.
    QCOMPARE(countOf(server, u"SELECT max(versao) FROM tessal_versao"_s),
             qint64(ServerSchemaVersion));
    createServerSchema(server);
    QCOMPARE(countOf(server, u"SELECT count(*) FROM baixas WHERE ds_baixa = 'Normal'"_s),
             qint64(0));
}

void tst_Migration::nonEmptyTargetRefusedAndLeftAlone_data()
{
    QTest::addColumn<bool>("anotherProgram");
    QTest::newRow("another program's table") << true;
    QTest::newRow("already migrated") << false;
}

void tst_Migration::nonEmptyTargetRefusedAndLeftAlone()
{
    QFETCH(bool, anotherProgram);
    TESSAL_REQUIRE_SERVER(*m_scratch);
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    QSqlQuery q(server);
    qint64 entriesBefore = 0;
    if (anotherProgram) {
        EXEC_OR_FAIL(q, u"CREATE TABLE pedidos (id integer, nome text)"_s);
        EXEC_OR_FAIL(q, u"INSERT INTO pedidos VALUES (1, 'primeiro')"_s);
    } else {
        {
            const Source source(dataDir());
            QCOMPARE(copyToServer(source, server).outcome, MigrationReport::Outcome::Copied);
        }
        entriesBefore = countOf(server, u"SELECT count(*) FROM lancamentos"_s);
        QCOMPARE(entriesBefore, DemoEntries);
        // The second data directory differs, so a copy that went ahead would show.
        addAwkwardRows();
        if (QTest::currentTestFailed())
            return;
    }

    MigrationReport report;
    {
        const Source source(dataDir());
        report = copyToServer(source, server);
    }
    QCOMPARE(report.outcome, MigrationReport::Outcome::TargetNotEmpty);
    QVERIFY(!report.tables.isEmpty());
    for (const TableCount &count : std::as_const(report.tables))
        QVERIFY(!count.target);

    if (anotherProgram) {
        QVERIFY(!tableExists(server, u"contas"_s));
        QVERIFY(!tableExists(server, u"tessal_versao"_s));
        EXEC_OR_FAIL(q, u"SELECT id, nome FROM pedidos"_s);
        QVERIFY(q.next());
        QCOMPARE(q.value(1).toString(), u"primeiro"_s);
        QVERIFY(!q.next());
    } else {
        QCOMPARE(countOf(server, u"SELECT count(*) FROM lancamentos"_s), entriesBefore);
        QCOMPARE(countOf(server, u"SELECT count(*) FROM contas WHERE cd_conta = '900'"_s),
                 qint64(0));
    }
}

void tst_Migration::failureInTheMiddleLeavesTargetEmpty_data()
{
    QTest::addColumn<QString>("spoil");
    QTest::addColumn<QString>("serverSays");
    // An entry no status counts, placed right after another of its account, whose amount is text
    // the file kept as it was typed: the balances stay right and the server refuses the row.
    QTest::newRow("amount that is not a number")
        << u"INSERT INTO lancamentos SELECT cd_lancamento || 'a', cd_conta, cd_historico, NULL, "
           "'doze reais', dt_lancamento, 'N', vl_saldo, cd_baixa FROM lancamentos ORDER BY "
           "cd_lancamento LIMIT 1 OFFSET 1500"_s
        << u"double precision"_s;
    // CONFIG is copied last, after every cash table.
    QTest::newRow("menu group that is not a number")
        << u"menu:UPDATE CONFIG SET grupo = 'cinco' WHERE grupo = 5 AND opcao = 1"_s
        << u"integer"_s;
    QTest::newRow("failure after the copy") << QString() << u"falha de teste"_s;
}

void tst_Migration::failureInTheMiddleLeavesTargetEmpty()
{
    QFETCH(QString, spoil);
    QFETCH(QString, serverSays);
    TESSAL_REQUIRE_SERVER(*m_scratch);
    if (!spoil.isEmpty()) {
        const bool menu = spoil.startsWith(u"menu:"_s);
        QSqlQuery q(menu ? openDatabase(menuDatabasePath(dataDir()), DatabaseKind::Menu)
                         : cashFile());
        EXEC_OR_FAIL(q, menu ? spoil.mid(5) : spoil);
        QCOMPARE(q.numRowsAffected(), 1);
    }

    QSqlDatabase server = openServerDatabase(m_scratch->address());
    bool copied = false;
    {
        const Source source(dataDir());
        MigrationOptions options;
        options.beforeCheck = [&](const QSqlDatabase &db) {
            // The rows really were written before the failure: the undo has something to undo.
            copied = countOf(db, u"SELECT count(*) FROM lancamentos"_s) > 0;
            if (spoil.isEmpty())
                throw Error(ErrorNumber::DatabaseError, u"falha de teste"_s, u"teste"_s);
        };
        try {
            copyToServer(source, server, options);
            QFAIL("the migration went through");
        } catch (const Error &e) {
            QVERIFY2(e.description().contains(serverSays), qPrintable(e.description()));
        }
    }
    QCOMPARE(copied, spoil.isEmpty());
    QVERIFY(serverDatabaseIsEmpty(server));
    QVERIFY(!tableExists(server, u"contas"_s));
    // The connection is usable again, and the database can take a migration.
    QSqlQuery q(server);
    EXEC_OR_FAIL(q, u"SELECT 1"_s);
}

void tst_Migration::spoiledCopyFailsTheCheckAndIsUndone_data()
{
    QTest::addColumn<QString>("spoil");
    QTest::addColumn<qint64>("missingEntries");
    QTest::addColumn<qint64>("unlikeSource");
    QTest::addColumn<qint64>("wrongOnServer");
    // One entry missing: the counts differ and its balance has no partner; the entries after it
    // in its account no longer add up to what they store.
    QTest::newRow("entry lost")
        << u"DELETE FROM lancamentos WHERE cd_lancamento = (SELECT max(cd_lancamento) FROM "
           "lancamentos WHERE cd_conta = '001')"_s
        << qint64(1) << qint64(1) << qint64(0);
    QTest::newRow("balance a cent off")
        << u"UPDATE lancamentos SET vl_saldo = vl_saldo + 0.01 WHERE cd_lancamento = (SELECT "
           "min(cd_lancamento) FROM lancamentos WHERE cd_conta = '002')"_s
        << qint64(0) << qint64(1) << qint64(1);
    // The stored balances are the file's; only the server's own sum can see this one.
    QTest::newRow("amount changed")
        << u"UPDATE lancamentos SET vl_lancamento = vl_lancamento + 1 WHERE cd_lancamento = "
           "(SELECT max(cd_lancamento) FROM lancamentos WHERE cd_conta = '003')"_s
        << qint64(0) << qint64(0) << qint64(1);
    // Dates that sort otherwise on the server than in the file put the sums out of order.
    QTest::newRow("two entries' dates swapped")
        << u"UPDATE lancamentos l SET dt_lancamento = CASE WHEN cd_lancamento = p.a THEN p.db "
           "ELSE p.da END FROM (SELECT min(cd_lancamento) AS a, max(cd_lancamento) AS b, "
           "min(dt_lancamento) AS da, max(dt_lancamento) AS db FROM lancamentos WHERE cd_conta "
           "= '004') p WHERE l.cd_lancamento IN (p.a, p.b)"_s
        << qint64(0) << qint64(0) << qint64(-1);
}

void tst_Migration::spoiledCopyFailsTheCheckAndIsUndone()
{
    QFETCH(QString, spoil);
    QFETCH(qint64, missingEntries);
    QFETCH(qint64, unlikeSource);
    QFETCH(qint64, wrongOnServer);
    TESSAL_REQUIRE_SERVER(*m_scratch);
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    MigrationReport report;
    {
        const Source source(dataDir());
        MigrationOptions options;
        options.beforeCheck = [&](const QSqlDatabase &db) {
            QSqlQuery q(db);
            QVERIFY2(q.exec(spoil), qPrintable(q.lastError().text()));
            QVERIFY(q.numRowsAffected() >= 1);
        };
        report = copyToServer(source, server, options);
    }
    QCOMPARE(report.outcome, MigrationReport::Outcome::CheckFailed);
    QCOMPARE(report.tables[4].table, u"lancamentos"_s);
    QCOMPARE(report.tables[4].target, std::optional(report.tables[4].source - missingEntries));
    QCOMPARE(report.countsAgree(), missingEntries == 0);
    QCOMPARE(report.balancesUnlikeSource, unlikeSource);
    QCOMPARE(qint64(report.unlikeSourceExamples.size()), unlikeSource);
    if (wrongOnServer >= 0)
        QCOMPARE(report.serverBalances.wrong, wrongOnServer);
    else
        QVERIFY(report.serverBalances.wrong > 0);
    if (missingEntries == 0 && unlikeSource == 0)
        QVERIFY(!report.serverBalances.examples.isEmpty());
    QVERIFY(serverDatabaseIsEmpty(server));
}

void tst_Migration::damagedSourceBalancesRefusedBeforeWriting()
{
    TESSAL_REQUIRE_SERVER(*m_scratch);
    QSqlQuery q(cashFile());
    EXEC_OR_FAIL(q, u"UPDATE lancamentos SET vl_saldo = vl_saldo - 10 WHERE cd_conta = '002' AND "
                    "cd_lancamento = (SELECT max(cd_lancamento) FROM lancamentos WHERE cd_conta "
                    "= '002')"_s);
    QCOMPARE(q.numRowsAffected(), 1);
    QSqlDatabase server = openServerDatabase(m_scratch->address());
    MigrationReport report;
    {
        const Source source(dataDir());
        report = copyToServer(source, server);
    }
    QCOMPARE(report.outcome, MigrationReport::Outcome::SourceBalancesWrong);
    QCOMPARE(report.sourceBalances.wrong, qint64(1));
    QCOMPARE(report.sourceBalances.examples.size(), qsizetype(1));
    QCOMPARE(report.sourceBalances.examples[0].account, u"002"_s);
    QCOMPARE(report.sourceBalances.examples[0].expected,
             centsFromDouble(report.sourceBalances.examples[0].stored.toDouble()) + 1000);
    QVERIFY(serverDatabaseIsEmpty(server));
}

QTEST_GUILESS_MAIN(tst_Migration)
#include "tst_migration.moc"
