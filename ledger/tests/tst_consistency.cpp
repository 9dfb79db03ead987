#include "core/dialogs.h"
#include "core/error.h"
#include "core/money.h"
#include "ledger/consistency.h"
#include "ledger/ledger.h"
#include "ledger/sessionmarker.h"
#include "ledgerfixture.h"
#include "testsupport/otherconnection.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace tessal;
using namespace tessal::ledger;
using namespace tessal::ledger::test;
using namespace Qt::StringLiterals;

namespace {

const QLocale PtBr(QLocale::Portuguese, QLocale::Brazil);

struct Posting
{
    QString account;
    QString description;
    QString amount;
    QString date; // dd/MM/yyyy
};

// A plain statement through a connection of its own, as another program (or, on a server, another
// workstation) would write.
void writeFromOutside(const QString &path, const QString &sql)
{
    const QString refused = tessal::test::execElsewhere(path, sql);
    QVERIFY2(refused.isEmpty(), qPrintable(refused));
}

// Skips a test about the file itself (its pages, its indexes) on the server run: there the server
// keeps its own files, and the check reads only what its statements give.
#define SKIP_ON_SERVER()                                                                           \
    do {                                                                                           \
        if (tessal::test::testsOnServer())                                                         \
            QSKIP("about the SQLite file itself; a server keeps and checks its own files");        \
    } while (false)

// The balances an account must hold, computed here from the postings themselves: sorted by date
// then code, "C" adding and "D" subtracting in cents.
struct Expected
{
    QString date; // yyyy-MM-dd
    QString code;
    Cents amount = 0;
};

QList<double> runningBalances(std::vector<Expected> entries)
{
    std::sort(entries.begin(), entries.end(), [](const Expected &a, const Expected &b) {
        return std::tie(a.date, a.code) < std::tie(b.date, b.code);
    });
    QList<double> balances;
    Cents running = 0;
    for (const Expected &e : entries) {
        running += e.amount;
        balances << doubleFromCents(running);
    }
    return balances;
}

// Remembers what it heard and, once, when the check has done some of its work, writes what
// `midway` says.
class RecordingProgress final : public Progress
{
public:
    bool advance(qint64 done, qint64 total) override
    {
        calls << std::pair{done, total};
        if (done > 0 && midway) {
            midway();
            midway = nullptr;
        }
        return true;
    }
    QList<std::pair<qint64, qint64>> calls;
    std::function<void()> midway;
};

class StoppingProgress final : public Progress
{
public:
    bool advance(qint64 done, qint64 total) override
    {
        calls << std::pair{done, total};
        return calls.size() < 2;
    }
    QList<std::pair<qint64, qint64>> calls;
};

} // namespace

class tst_Consistency : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void outsideDamageIsFoundAndRepaired();
    void everyKindOfWrongBalanceIsReported_data();
    void everyKindOfWrongBalanceIsReported();
    void statusesAndUndatedEntriesFollowTheRule();
    void quickCheckReadsOnlyTheGivenAccounts();
    void lastEntriesGiveTheirAccounts();
    void damagedFileIsReportedAndNotRepaired();
    void indexesThatDisagreeWithTheirTableAreFound();
    void reportTextShowsDatesAndAmountsByLocale();
    void reportSaysWhatTheEngineChecked();
    void progressFollowsACheckThatSeesOneState();
    void stoppedProgressEndsTheCheck();
    void markerKeepsTheAccountsBeforeTheCommit();
    void serverTotalsThatDifferAreFoundAndRepaired();

private:
    // Posts through the ledger and remembers what each account must hold.
    QString post(const Posting &p);
    void compareWithExpected(const QString &account);

    std::unique_ptr<CashFile> m_file;
    std::unique_ptr<Ledger> m_ledger;
    std::map<QString, std::vector<Expected>> m_expected;
};

void tst_Consistency::init()
{
    m_file = std::make_unique<CashFile>();
    TESSAL_REQUIRE_DATA_SOURCE(m_file->source());
    m_ledger = std::make_unique<Ledger>(m_file->path(), PtBr);
    m_expected.clear();
}

void tst_Consistency::cleanup()
{
    m_ledger.reset();
    m_file.reset();
}

QString tst_Consistency::post(const Posting &p)
{
    const QString code =
        m_ledger->post({p.account, p.description, QString(), p.amount, p.date}).code;
    const Cents cents = *parseAmount(p.amount, PtBr);
    const bool credit = p.description == Credit || p.description == Credit2;
    m_expected[p.account].push_back({data::toStoredDate(*data::parseTypedDate(p.date)), code,
                                     credit ? cents : (p.description == Debit ? -cents : 0)});
    return code;
}

void tst_Consistency::compareWithExpected(const QString &account)
{
    QCOMPARE(m_file->balanceList(account), runningBalances(m_expected[account]));
}

void tst_Consistency::outsideDamageIsFoundAndRepaired()
{
    post({u"001"_s, Credit, u"100,00"_s, u"05/01/2024"_s});
    post({u"002"_s, Credit, u"50,00"_s, u"03/01/2024"_s});
    post({u"002"_s, Debit, u"20,10"_s, u"10/01/2024"_s});
    const QString damaged = post({u"002"_s, Credit, u"5,05"_s, u"12/01/2024"_s});
    post({u"002"_s, Debit, u"1,00"_s, u"20/01/2024"_s});
    post({u"002"_s, Credit, u"2,00"_s, u"25/01/2024"_s});
    QVERIFY(checkBalances(m_file->path()).clean());

    writeFromOutside(
        m_file->path(),
        u"UPDATE lancamentos SET vl_saldo = 999.99 WHERE cd_lancamento = '%1'"_s.arg(damaged));
    const CheckReport report = checkBalances(m_file->path());
    QVERIFY(report.integrityOk());
    QCOMPARE(report.onServer, tessal::test::testsOnServer());
    QCOMPARE(report.accountsChecked, 2);
    QCOMPARE(report.entriesChecked, 6);
    QCOMPARE(report.wrongAccountCodes(), QStringList{u"002"_s});
    const WrongAccount &wrong = report.wrongAccounts.front();
    QCOMPARE(wrong.name, u"Banco"_s);
    QCOMPARE(wrong.entries, 5);
    QCOMPARE(wrong.wrongEntries, 1);
    QCOMPARE(wrong.firstCode, damaged);
    QCOMPARE(wrong.firstDate, u"2024-01-12"_s);
    QCOMPARE(wrong.firstStored, std::optional<double>(999.99));
    QCOMPARE(wrong.firstExpected, Cents(5000 - 2010 + 505));
    QCOMPARE(accountsWithWrongBalances(m_file->path()), QStringList{u"002"_s});
    const CheckReport quick = quickCheckBalances(m_file->path(), {u"001"_s, u"002"_s});
    QCOMPARE(quick.wrongAccountCodes(), QStringList{u"002"_s});
    QCOMPARE(quick.wrongAccounts.front().firstCode, damaged);
    QCOMPARE(quick.wrongAccounts.front().firstExpected, wrong.firstExpected);

    // A fresh ledger trusts the stored balance before its place, so a posting dated after the
    // damage would carry it on: the repair comes first.
    QStringList logged;
    Ledger fresh(m_file->path(), PtBr);
    QCOMPARE(repairBalances(fresh, report,
                            [&](const WrongAccount &account) { logged << account.account; }),
             QStringList{u"002"_s});
    QCOMPARE(logged, QStringList{u"002"_s});
    QVERIFY(checkBalances(m_file->path()).clean());
    compareWithExpected(u"002"_s);

    m_ledger = std::make_unique<Ledger>(m_file->path(), PtBr);
    post({u"002"_s, Debit, u"3,33"_s, u"15/01/2024"_s});
    post({u"002"_s, Credit, u"0,01"_s, u"13/01/2024"_s});
    QCOMPARE(accountsWithWrongBalances(m_file->path()), QStringList());
    compareWithExpected(u"002"_s);
    compareWithExpected(u"001"_s);
}

void tst_Consistency::everyKindOfWrongBalanceIsReported_data()
{
    QTest::addColumn<QString>("balance");
    QTest::addColumn<std::optional<double>>("stored");
    QTest::newRow("Null") << u"NULL"_s << std::optional<double>();
    if (!tessal::test::testsOnServer()) // a server's vl_saldo holds numbers only
        QTest::newRow("text") << u"'abc'"_s << std::optional<double>();
    QTest::newRow("one cent off") << u"0.31"_s << std::optional<double>(0.31);
    QTest::newRow("double drift") << u"0.30000000000000004"_s
                                  << std::optional<double>(0.30000000000000004);
}

void tst_Consistency::everyKindOfWrongBalanceIsReported()
{
    QFETCH(QString, balance);
    QFETCH(std::optional<double>, stored);
    post({u"001"_s, Credit, u"0,10"_s, u"01/01/2024"_s});
    const QString second = post({u"001"_s, Credit, u"0,20"_s, u"01/01/2024"_s});
    post({u"001"_s, Debit, u"0,05"_s, u"02/01/2024"_s});
    m_file->run(
        u"UPDATE lancamentos SET vl_saldo = %1 WHERE cd_lancamento = '%2'"_s.arg(balance, second));
    const CheckReport report = checkBalances(m_file->path());
    QCOMPARE(report.wrongAccountCodes(), QStringList{u"001"_s});
    QCOMPARE(report.wrongAccounts.front().firstCode, second);
    QCOMPARE(report.wrongAccounts.front().firstStored, stored);
    QCOMPARE(report.wrongAccounts.front().firstExpected, Cents(30));
    QCOMPARE(report.wrongAccounts.front().wrongEntries, 1);
}

// Balances written here by hand from the rule: "d", no status and a Null amount count in
// neither direction, and an entry without a date comes first.
void tst_Consistency::statusesAndUndatedEntriesFollowTheRule()
{
    m_file->run(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, vl_lancamento, dt_lancamento, "
                "cd_status, vl_saldo) VALUES "
                "('0000000001', '003', 10, '2024-01-02', 'C', 14), "
                "('0000000002', '003', 4, '2024-01-02', 'd', 14), "
                "('0000000003', '003', NULL, '2024-01-03', 'C', 14), "
                "('0000000004', '003', 7, NULL, 'C', 7), "
                "('0000000005', '003', 3, '2024-01-01', 'D', 4), "
                "('0000000006', '003', 1.5, '2024-01-04', NULL, 14), "
                "('0000000007', NULL, 1, '2024-01-04', 'C', 55)"_s);
    CheckReport report = checkBalances(m_file->path());
    QVERIFY(report.clean());
    QCOMPARE(report.accountsChecked, 1);
    QCOMPARE(report.entriesChecked, 6);

    // The same data with the undated entry's balance left out of the sum is wrong from there.
    m_file->run(u"UPDATE lancamentos SET vl_saldo = 0 WHERE cd_lancamento = '0000000004'"_s);
    report = checkBalances(m_file->path());
    QCOMPARE(report.wrongAccountCodes(), QStringList{u"003"_s});
    QCOMPARE(report.wrongAccounts.front().firstCode, u"0000000004"_s);
    QCOMPARE(report.wrongAccounts.front().firstDate, QString());
    QCOMPARE(report.wrongAccounts.front().firstExpected, Cents(700));
    QCOMPARE(report.wrongAccounts.front().wrongEntries, 1);
    const CheckReport quick = quickCheckBalances(m_file->path(), {u"003"_s});
    QCOMPARE(quick.wrongAccountCodes(), QStringList{u"003"_s});
    QCOMPARE(quick.wrongAccounts.front().firstCode, u"0000000004"_s);
    QCOMPARE(quick.entriesChecked, 6);
}

void tst_Consistency::quickCheckReadsOnlyTheGivenAccounts()
{
    const QString first = post({u"001"_s, Credit, u"1,00"_s, u"01/01/2024"_s});
    const QString second = post({u"002"_s, Credit, u"2,00"_s, u"01/01/2024"_s});
    post({u"003"_s, Credit, u"3,00"_s, u"01/01/2024"_s});
    m_file->run(u"UPDATE lancamentos SET vl_saldo = 0 WHERE cd_lancamento IN ('%1', '%2')"_s.arg(
        first, second));

    const CheckReport quick = quickCheckBalances(m_file->path(), {u"002"_s, u"003"_s, u"002"_s});
    QVERIFY(quick.quick);
    QVERIFY(quick.integrityOk());
    QCOMPARE(quick.accountsChecked, 2);
    QCOMPARE(quick.entriesChecked, 2);
    QCOMPARE(quick.wrongAccountCodes(), QStringList{u"002"_s});
    QCOMPARE(quick.wrongAccounts.front().firstCode, second);

    const CheckReport full = checkBalances(m_file->path());
    QVERIFY(!full.quick);
    QCOMPARE(full.wrongAccountCodes(), (QStringList{u"001"_s, u"002"_s}));
}

void tst_Consistency::lastEntriesGiveTheirAccounts()
{
    post({u"003"_s, Credit, u"1,00"_s, u"01/01/2024"_s});
    post({u"001"_s, Credit, u"1,00"_s, u"01/01/2023"_s});
    post({u"002"_s, Credit, u"1,00"_s, u"01/01/2022"_s});
    post({u"001"_s, Credit, u"1,00"_s, u"01/01/2021"_s});
    QCOMPARE(accountsOfLastEntries(m_file->path(), 2), (QStringList{u"001"_s, u"002"_s}));
    QCOMPARE(accountsOfLastEntries(m_file->path(), 3), (QStringList{u"001"_s, u"002"_s}));
    QCOMPARE(accountsOfLastEntries(m_file->path(), 10),
             (QStringList{u"001"_s, u"002"_s, u"003"_s}));
}

void tst_Consistency::damagedFileIsReportedAndNotRepaired()
{
    SKIP_ON_SERVER();
    // Enough entries that the indexes are real b-trees of several pages.
    for (int i = 0; i < 400; ++i)
        post({i % 2 ? u"001"_s : u"002"_s, i % 3 ? Credit : Debit, u"1,25"_s,
              data::showDate(QDate(2024, 1, 1).addDays(i % 97))});
    m_file->run(u"UPDATE lancamentos SET vl_saldo = 1 WHERE cd_lancamento = '0000000010'"_s);
    QCOMPARE(checkBalances(m_file->path()).wrongAccountCodes(), QStringList{u"001"_s});
    m_ledger.reset();
    damageIndexPage(m_file->path(), u"lancamentos_historico"_s);
    if (QTest::currentTestFailed())
        return;
    const QByteArray before = fileBytes(m_file->path());

    const CheckReport report = checkBalances(m_file->path());
    QVERIFY(!report.integrityOk());
    QVERIFY(!report.clean());
    QVERIFY2(report.integrityProblems.join(u'\n').contains(u"Page"_s),
             qPrintable(report.integrityProblems.join(u'\n')));
    // The balances are still walked (their index is whole) and reported.
    QCOMPARE(report.wrongAccountCodes(), QStringList{u"001"_s});
    QVERIFY(!quickCheckBalances(m_file->path(), {u"001"_s}).integrityOk());

    Ledger ledger(m_file->path(), PtBr);
    bool logged = false;
    try {
        repairBalances(ledger, report, [&](const WrongAccount &) { logged = true; });
        QFAIL("a damaged file was repaired");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::InvalidInput);
        QVERIFY(e.description().contains(u"danificado"_s));
    }
    QVERIFY(!logged);
    data::closeDatabase(m_file->path());
    QCOMPARE(fileBytes(m_file->path()), before);
}

// Indexes whose stored entries no longer follow their definition, made as another program
// could make them: through the schema itself, with the rows left alone.
void tst_Consistency::indexesThatDisagreeWithTheirTableAreFound()
{
    SKIP_ON_SERVER();
    for (int i = 0; i < 40; ++i)
        post({i % 2 ? u"001"_s : u"002"_s, i % 3 ? Credit : Debit, u"1,25"_s,
              data::showDate(QDate(2024, 1, 1).addDays(i))});
    m_ledger.reset();
    data::closeDatabase(m_file->path());
    const auto rewriteSchema = [this](const QStringList &statements) {
        const QString name = u"schema-writer"_s;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
            db.setDatabaseName(m_file->path());
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery query(db);
            QVERIFY(query.exec(u"PRAGMA schema_version"_s) && query.next());
            const int version = query.value(0).toInt();
            for (const QString &sql : statements)
                QVERIFY2(query.exec(sql), qPrintable(sql + u": "_s + query.lastError().text()));
            // Connections already open read the schema again only when its version moves.
            QVERIFY(query.exec(u"PRAGMA schema_version = %1"_s.arg(version + 1)));
        }
        QSqlDatabase::removeDatabase(name);
    };

    // Same number of entries, wrong contents: lancamentos_historico now claims to hold the
    // complements. Only the engine's full check looks every row up.
    rewriteSchema({u"PRAGMA writable_schema = ON"_s,
                   u"UPDATE sqlite_schema SET sql = 'CREATE INDEX lancamentos_historico ON "
                   "lancamentos (ds_complemento)' WHERE name = 'lancamentos_historico'"_s});
    if (QTest::currentTestFailed())
        return;
    QVERIFY(checkBalances(m_file->path()).clean());
    const CheckReport contents = checkBalances(m_file->path(), nullptr, FileCheck::IndexContents);
    QVERIFY(!contents.integrityOk());
    QCOMPARE(contents.fileCheck, FileCheck::IndexContents);
    QCOMPARE(checkLogLine(contents),
             u"VERIFICOU OS SALDOS (COMPLETA COM INDICES): ARQUIVO DANIFICADO"_s);

    // An index that lost entries: built for one account only, then declared for every row.
    rewriteSchema({u"PRAGMA writable_schema = ON"_s,
                   u"UPDATE sqlite_schema SET sql = 'CREATE INDEX lancamentos_historico ON "
                   "lancamentos (cd_historico)' WHERE name = 'lancamentos_historico'"_s,
                   u"CREATE INDEX parcial ON lancamentos (cd_status) WHERE cd_conta = '001'"_s});
    QVERIFY(checkBalances(m_file->path()).clean()); // a partial index is counted as partial
    rewriteSchema({u"PRAGMA writable_schema = ON"_s,
                   u"UPDATE sqlite_schema SET sql = 'CREATE INDEX parcial ON lancamentos "
                   "(cd_status)' WHERE name = 'parcial'"_s});
    if (QTest::currentTestFailed())
        return;
    const CheckReport structure = checkBalances(m_file->path());
    QCOMPARE(structure.integrityProblems,
             QStringList{u"índice parcial: 20 entradas para 40 registros da tabela lancamentos"_s});
    QCOMPARE(structure.wrongAccountCodes(), QStringList());
    QVERIFY(describe(structure, PtBr).join(u'\n').contains(u"O ARQUIVO ESTÁ DANIFICADO"_s));
}

void tst_Consistency::reportTextShowsDatesAndAmountsByLocale()
{
    post({u"001"_s, Credit, u"1.234,56"_s, u"07/03/2024"_s});
    const QString code = post({u"001"_s, Credit, u"1.000,00"_s, u"08/03/2024"_s});
    m_file->run(u"UPDATE lancamentos SET vl_saldo = 1 WHERE cd_lancamento = '%1'"_s.arg(code));
    const CheckReport report = checkBalances(m_file->path());
    const QString text = describe(report, PtBr).join(u'\n');
    QVERIFY2(text.contains(u"Conta 001 - Caixa"_s), qPrintable(text));
    QVERIFY2(text.contains(code + u" de 08/03/2024"_s), qPrintable(text));
    QVERIFY2(text.contains(u"saldo gravado " + formatGrouped2(100, PtBr)), qPrintable(text));
    QVERIFY2(text.contains(u"saldo correto " + formatGrouped2(223456, PtBr)), qPrintable(text));
    QVERIFY2(text.contains(u"2.234,56"_s), qPrintable(text));
    QVERIFY(!describe(checkBalances(m_file->path()), PtBr).join(u'\n').contains(u"conferem"_s));

    m_ledger->rebuild(u"001"_s);
    QVERIFY(describe(checkBalances(m_file->path()), PtBr).join(u'\n').contains(u"conferem"_s));
}

// A file's report says how deep the engine's check went; a server's says that none ran and never
// claims the index contents were checked.
void tst_Consistency::reportSaysWhatTheEngineChecked()
{
    post({u"001"_s, Credit, u"1,00"_s, u"01/01/2024"_s});
    const CheckReport full = checkBalances(m_file->path());
    const CheckReport indexes = checkBalances(m_file->path(), nullptr, FileCheck::IndexContents);
    const CheckReport quick = quickCheckBalances(m_file->path(), {u"001"_s});
    for (const CheckReport *report : {&full, &indexes, &quick}) {
        QVERIFY(report->clean());
        QCOMPARE(report->accountsChecked, 1);
        QCOMPARE(report->entriesChecked, 1);
    }
    const QString fullText = describe(full, PtBr).join(u'\n');
    const QString indexText = describe(indexes, PtBr).join(u'\n');
    const QString quickText = describe(quick, PtBr).join(u'\n');
    if (tessal::test::testsOnServer()) {
        for (const QString &text : {fullText, indexText, quickText}) {
            QVERIFY2(text.startsWith(u"Integridade dos arquivos: não verificada"_s),
                     qPrintable(text));
            QVERIFY2(text.contains(u"servidor PostgreSQL"_s), qPrintable(text));
            QVERIFY2(!text.contains(u"nenhum problema encontrado"_s), qPrintable(text));
        }
        QVERIFY2(indexText.contains(u"conteúdo dos índices também não foi conferido"_s),
                 qPrintable(indexText));
        QVERIFY(!fullText.contains(u"índices"_s));
        QCOMPARE(checkLogLine(indexes),
                 u"VERIFICOU OS SALDOS (COMPLETA): 0 CONTA(S) COM SALDOS ERRADOS"_s);
    } else {
        QVERIFY2(fullText.startsWith(u"Integridade do arquivo (estrutura do arquivo e contagem "
                                     "dos índices): nenhum problema encontrado."_s),
                 qPrintable(fullText));
        QVERIFY2(indexText.contains(u"com o conteúdo dos índices): nenhum problema"_s),
                 qPrintable(indexText));
        QVERIFY2(quickText.contains(u"verificação rápida do SQLite"_s), qPrintable(quickText));
        QCOMPARE(checkLogLine(indexes),
                 u"VERIFICOU OS SALDOS (COMPLETA COM INDICES): 0 CONTA(S) COM SALDOS ERRADOS"_s);
    }
    QVERIFY(fullText.contains(u"Todos os saldos conferem."_s));
    QCOMPARE(checkLogLine(quick), u"VERIFICOU OS SALDOS (RAPIDA): 0 CONTA(S) COM SALDOS ERRADOS"_s);
}

// Enough entries that the progress box hears from the middle of the check (an account larger
// than a step, small ones together), written by one statement with balances of tenths, which a
// sum of doubles would not hit exactly. A change another connection commits while the check runs
// is not seen by it, so the accounts it reads late agree with those it read early; the next check
// sees it.
void tst_Consistency::progressFollowsACheckThatSeesOneState()
{
    m_file->run(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, vl_lancamento, "
                "dt_lancamento, cd_status, vl_saldo) WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL "
                "SELECT n + 1 FROM g WHERE n < 70000) "
                "SELECT CAST(1000000000 + k * 1000000 + n AS TEXT), '00' || k, '00001', 0.1, "
                "'2024-01-01', 'C', n / 10.0 FROM g, (SELECT 1 AS k, 70000 AS size UNION ALL "
                "SELECT 2, 10 UNION ALL SELECT 3, 40000 UNION ALL SELECT 4, 40000 UNION ALL "
                "SELECT 5, 5) AS sizes WHERE n <= size"_s);
    constexpr qint64 Total = 70000 + 10 + 40000 + 40000 + 5;
    RecordingProgress progress;
    progress.midway = [this] {
        writeFromOutside(m_file->path(), u"UPDATE lancamentos SET vl_saldo = 0 WHERE "
                                         "cd_lancamento = '1005000003'"_s);
    };
    const CheckReport report = checkBalances(m_file->path(), &progress);
    QVERIFY(!progress.midway); // written while the check ran
    QVERIFY(report.clean());
    QCOMPARE(report.accountsChecked, 5);
    QCOMPARE(report.entriesChecked, Total);
    // The engine's check of a file, before the balances, gives no figures: (0, 0) while it runs.
    QList<std::pair<qint64, qint64>> counted;
    for (const auto &call : std::as_const(progress.calls))
        if (call != std::pair<qint64, qint64>{0, 0})
            counted << call;
    QVERIFY2(counted.size() >= 3, qPrintable(QString::number(counted.size())));
    QCOMPARE(counted.front(), (std::pair<qint64, qint64>{0, Total}));
    QCOMPARE(counted.back(), (std::pair<qint64, qint64>{Total, Total}));
    for (qsizetype i = 1; i < counted.size(); ++i) {
        QCOMPARE(counted.at(i).second, Total);
        QVERIFY(counted.at(i).first > counted.at(i - 1).first);
    }

    RecordingProgress again;
    const CheckReport after = checkBalances(m_file->path(), &again);
    QCOMPARE(after.wrongAccountCodes(), QStringList{u"005"_s});
    const WrongAccount &wrong = after.wrongAccounts.front();
    QCOMPARE(wrong.entries, 5);
    QCOMPARE(wrong.wrongEntries, 1);
    QCOMPARE(wrong.firstCode, u"1005000003"_s);
    QCOMPARE(wrong.firstExpected, Cents(30));
    // Without a progress box the check is one pass (one statement on a server): the same findings.
    const CheckReport whole = checkBalances(m_file->path());
    QCOMPARE(whole.entriesChecked, Total);
    QCOMPARE(whole.wrongAccountCodes(), QStringList{u"005"_s});
    QCOMPARE(whole.wrongAccounts.front().firstCode, wrong.firstCode);
    QCOMPARE(whole.wrongAccounts.front().entries, wrong.entries);
}

void tst_Consistency::stoppedProgressEndsTheCheck()
{
    post({u"001"_s, Credit, u"1,00"_s, u"01/01/2024"_s});
    post({u"002"_s, Credit, u"1,00"_s, u"01/01/2024"_s});
    StoppingProgress progress;
    QVERIFY_THROWS_EXCEPTION(Error, checkBalances(m_file->path(), &progress));
    QCOMPARE(progress.calls.size(), 2);
    QCOMPARE(progress.calls.front(), (std::pair<qint64, qint64>{0, 2}));
}

// The note is written inside the change's transaction: a change that fails after it (here at
// its first balance) is rolled back, and the marker still names its account, as a crash there
// would leave it.
void tst_Consistency::markerKeepsTheAccountsBeforeTheCommit()
{
    QTemporaryDir programDir;
    const QString dataDir = m_file->source().dataDirectory();
    SessionMarker marker(SessionMarker::pathFor(programDir.path(), dataDir));
    QCOMPARE(marker.leftOver(), std::nullopt);
    marker.begin(dataDir);
    QCOMPARE(marker.leftOver(), std::optional(QStringList()));
    m_ledger->setChangeNote([&marker](const QString &account) { marker.note(account); });
    post({u"002"_s, Credit, u"1,00"_s, u"01/01/2024"_s});
    m_ledger->setStepHook([](ChangeStep step) {
        if (step == ChangeStep::BalanceWritten)
            throw Error(ErrorNumber::DatabaseError, u"falha simulada"_s, QString());
    });
    QVERIFY_THROWS_EXCEPTION(
        Error, m_ledger->post({u"003"_s, Credit, QString(), u"1,00"_s, u"01/01/2024"_s}));
    QCOMPARE(m_file->balanceList(u"003"_s), QList<double>());
    QCOMPARE(marker.leftOver(), std::optional(QStringList({u"002"_s, u"003"_s})));

    // A new session carries them over; a clean end removes the marker; another data directory
    // has a marker of its own.
    SessionMarker again(marker.path());
    again.begin(dataDir, *marker.leftOver());
    QCOMPARE(again.leftOver(), std::optional(QStringList({u"002"_s, u"003"_s})));
    QVERIFY(SessionMarker::pathFor(programDir.path(), dataDir + u"/outro"_s) != marker.path());
    again.end();
    QCOMPARE(marker.leftOver(), std::nullopt);
}

// The totals a server keeps for each account, written past its triggers: an account whose kept
// totals are off, and one whose entries are all gone while totals are still kept for it, are
// reported (the balances themselves being right) and the repair sums them again.
void tst_Consistency::serverTotalsThatDifferAreFoundAndRepaired()
{
    if (!m_file->source().onServer())
        QSKIP("A file keeps no totals: they are summed from the entries.");
    post({u"001"_s, Credit, u"100,00"_s, u"05/01/2024"_s});
    post({u"001"_s, Debit, u"20,10"_s, u"06/01/2024"_s});
    post({u"002"_s, Credit, u"50,00"_s, u"03/01/2024"_s});
    QVERIFY(checkBalances(m_file->path()).clean());

    writeFromOutside(m_file->path(),
                     u"UPDATE tessal_totais SET vl_debitos = 1 WHERE cd_conta = '001'"_s);
    writeFromOutside(m_file->path(), u"INSERT INTO tessal_totais VALUES ('003', 700, 0)"_s);
    const CheckReport report = checkBalances(m_file->path());
    QCOMPARE(report.wrongAccountCodes(), (QStringList{u"001"_s, u"003"_s}));
    const WrongAccount &first = report.wrongAccounts.front();
    QCOMPARE(first.wrongEntries, 0);
    QVERIFY(first.totalsDiffer);
    QCOMPARE(first.keptTotals, (std::pair<Cents, Cents>{10000, 1}));
    QCOMPARE(first.summedTotals, (std::pair<Cents, Cents>{10000, 2010}));
    QCOMPARE(report.wrongAccounts.back().keptTotals, (std::pair<Cents, Cents>{700, 0}));
    const QStringList lines = describe(report, PtBr);
    QVERIFY2(lines.contains(u"Contas com saldos ou totais errados: 2."_s) &&
                 lines.contains(u"Conta 001 - Caixa: os totais guardados no servidor (créditos "
                                "100,00, débitos 0,01) não são os dos lançamentos (créditos "
                                "100,00, débitos 20,10)."_s),
             qPrintable(lines.join(u'\n')));
    QCOMPARE(quickCheckBalances(m_file->path(), {u"001"_s, u"002"_s}).wrongAccountCodes(),
             QStringList{u"001"_s});

    QCOMPARE(repairBalances(*m_ledger, report), (QStringList{u"001"_s, u"003"_s}));
    QVERIFY(checkBalances(m_file->path()).clean());
    QCOMPARE(m_ledger->totals(u"001"_s), (Totals{10000, 2010}));
    compareWithExpected(u"001"_s);
}

QTEST_GUILESS_MAIN(tst_Consistency)
#include "tst_consistency.moc"
