#include "core/error.h"
#include "data/database.h"
#include "data/demodata.h"
#include "data/recordset.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace tessal;
using namespace tessal::data;
using namespace Qt::StringLiterals;

namespace {

qint64 cents(double value)
{
    return std::llround(value * 100.0);
}

qint64 scalar(const QString &path, const QString &sql)
{
    QSqlQuery q(openDatabase(path));
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

} // namespace

class tst_DemoData : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fillsEveryTable();
    void balancesAreTheRunningSums();
    void entriesSpanTheDaysEndingOnTheLastDate();
    void supervisorOnlyWithAHash();
    void refusesADirectoryWithData();

private:
    QString cash() const { return cashDatabasePath(m_dir->path()); }

    std::unique_ptr<QTemporaryDir> m_dir;
    DemoOptions m_options;
};

void tst_DemoData::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_options = DemoOptions();
    m_options.lastDate = QDate(2026, 6, 30);
    m_options.entries = 3000;
    m_options.accounts = 5;
}

void tst_DemoData::cleanup()
{
    closeDatabase(cash());
    closeDatabase(menuDatabasePath(m_dir->path()));
    m_dir.reset();
}

void tst_DemoData::fillsEveryTable()
{
    generateDemoData(m_dir->path(), m_options);
    QCOMPARE(scalar(cash(), u"select count(*) from contas"_s), 5);
    QCOMPARE(scalar(cash(), u"select count(*) from lancamentos"_s), 3000);
    QVERIFY(scalar(cash(), u"select count(*) from historicos where cd_tipo = 'C'"_s) > 0);
    QVERIFY(scalar(cash(), u"select count(*) from historicos where cd_tipo = 'D'"_s) > 0);
    QCOMPARE(scalar(cash(), u"select count(*) from baixas where cd_baixa = '001'"_s), 1);
    QVERIFY(scalar(cash(), u"select count(*) from baixas"_s) > 1);
    QCOMPARE(scalar(cash(), u"select count(*) from usuarios"_s), 0);
    QVERIFY(QFile::exists(menuDatabasePath(m_dir->path())));

    // Every entry reaches the cube: its description, account and settlement type exist, and it
    // carries its description's type.
    QCOMPARE(scalar(cash(), u"select count(*) from lancamentos l "
                            "join historicos h on h.cd_historico = l.cd_historico "
                            "join contas c on c.cd_conta = l.cd_conta "
                            "join baixas b on b.cd_baixa = l.cd_baixa "
                            "where l.cd_status = h.cd_tipo"_s),
             3000);
    // Codes are 1..N without gaps, each account has entries, the first the most.
    QCOMPARE(scalar(cash(), u"select max(cd_lancamento) from lancamentos"_s), 3000);
    QCOMPARE(scalar(cash(), u"select count(distinct cd_conta) from lancamentos"_s), 5);
    QCOMPARE(scalar(cash(), u"select cd_conta from lancamentos group by cd_conta "
                            "order by count(*) desc limit 1"_s),
             1);

    // The same options give the same data.
    QTemporaryDir again;
    generateDemoData(again.path(), m_options);
    const QString sum = u"select sum(vl_lancamento * 100) + sum(length(ds_complemento)) from "
                        "lancamentos"_s;
    QCOMPARE(scalar(cashDatabasePath(again.path()), sum), scalar(cash(), sum));
    closeDatabase(cashDatabasePath(again.path()));
    closeDatabase(menuDatabasePath(again.path()));
}

void tst_DemoData::balancesAreTheRunningSums()
{
    generateDemoData(m_dir->path(), m_options);
    int checked = 0;
    RecordSet accounts(cash(), u"select * from  contas order by cd_conta"_s);
    for (accounts.refresh(); !accounts.eof(); accounts.moveNext()) {
        // Recomputed as the ledger's rebuild pass does: date then code, from 0, in cents.
        RecordSet entries(cash(), u"select * from  lancamentos where cd_conta="_s + u"'"_s +
                                      accounts.text(u"cd_conta"_s) + u"'"_s +
                                      u" order by dt_lancamento, cd_lancamento"_s);
        qint64 running = 0, credits = 0, debits = 0;
        for (entries.refresh(); !entries.eof(); entries.moveNext()) {
            const qint64 amount = cents(entries.number(u"vl_lancamento"_s));
            QVERIFY(amount > 0);
            if (entries.text(u"cd_status"_s) == u"C"_s) {
                running += amount;
                credits += amount;
            } else {
                QCOMPARE(entries.text(u"cd_status"_s), u"D"_s);
                running -= amount;
                debits += amount;
            }
            QCOMPARE(cents(entries.number(u"vl_saldo"_s)), running);
            ++checked;
        }
        entries.moveLast();
        QCOMPARE(cents(entries.number(u"vl_saldo"_s)), credits - debits);
    }
    QCOMPARE(checked, 3000);
}

void tst_DemoData::entriesSpanTheDaysEndingOnTheLastDate()
{
    generateDemoData(m_dir->path(), m_options);
    QSqlQuery q(openDatabase(cash()));
    QVERIFY(q.exec(u"select min(dt_lancamento), max(dt_lancamento) from lancamentos"_s));
    QVERIFY(q.next());
    QCOMPARE(fromStoredDate(q.value(0).toString()), QDate(2026, 6, 30).addDays(-729));
    QCOMPARE(fromStoredDate(q.value(1).toString()), QDate(2026, 6, 30));
    // Entry codes follow dates: no entry has a later code and an earlier date than another.
    QVERIFY(q.exec(u"select count(*) from lancamentos a join lancamentos b "
                   "on b.cd_lancamento = printf('%010d', a.cd_lancamento + 1) "
                   "where b.dt_lancamento < a.dt_lancamento"_s));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 0);
}

void tst_DemoData::supervisorOnlyWithAHash()
{
    m_options.supervisorPasswordHash = u"$argon2id$v=19$m=65536,t=2,p=1$c2FsdA$aGFzaA"_s;
    m_options.entries = 10;
    generateDemoData(m_dir->path(), m_options);
    RecordSet users(cash(), u"select * from  usuarios order by usuario"_s);
    users.refresh();
    QCOMPARE(users.text(u"cd_usuario"_s), u"001"_s);
    QCOMPARE(users.text(u"usuario"_s), u"Supervisor"_s);
    QCOMPARE(users.text(u"senha"_s), m_options.supervisorPasswordHash);
}

void tst_DemoData::refusesADirectoryWithData()
{
    m_options.entries = 10;
    generateDemoData(m_dir->path(), m_options);
    try {
        generateDemoData(m_dir->path(), m_options);
        QFAIL("demo data were added to a directory that has data");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::InvalidInput);
    }
    QCOMPARE(scalar(cash(), u"select count(*) from lancamentos"_s), 10);
}

QTEST_GUILESS_MAIN(tst_DemoData)
#include "tst_demodata.moc"
