#include "ledger/entryreader.h"
#include "ledger/ledger.h"
#include "ledgerfixture.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tessal;
using namespace tessal::ledger;
using namespace tessal::ledger::test;
using namespace Qt::StringLiterals;

class tst_EntryReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void pagesForwardCoverTheAccountInOrder_data();
    void pagesForwardCoverTheAccountInOrder();
    void pagesBackwardMatchForward();
    void rowCarriesTheJoinedFields();
    void entryWithoutDescriptionIsNotARow();
    void emptyAccount();

private:
    QStringList expectedOrder() const;

    std::unique_ptr<CashFile> m_file;
};

void tst_EntryReader::initTestCase()
{
    m_file = std::make_unique<CashFile>();
    Ledger ledger(m_file->path(), QLocale(QLocale::Portuguese, QLocale::Brazil));
    QRandomGenerator random(7);
    // Enough rows that many page edges fall inside runs of entries on one date.
    for (int i = 0; i < 1000; ++i) {
        const QDate date = QDate(2023, 1, 1).addDays(random.bounded(40));
        ledger.post({i % 4 ? u"001"_s : u"002"_s, random.bounded(2) ? Credit : Debit,
                     u"obs %1"_s.arg(i), u"%1,05"_s.arg(i), data::showDate(date)});
    }
    m_file->run(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, vl_lancamento, "
                "dt_lancamento, cd_status, vl_saldo, cd_baixa) VALUES ('0000005000', '001', "
                "'99999', 4, '2023-01-20', 'D', 0, '001')"_s);
}

void tst_EntryReader::cleanupTestCase()
{
    m_file.reset();
}

// The codes of account 001's grid rows in the order the grid's own SQL gives them.
QStringList tst_EntryReader::expectedOrder() const
{
    QSqlQuery query(data::openDatabase(m_file->path()));
    query.exec(u"SELECT LANCAMENTOS.*, HISTORICOS.* FROM LANCAMENTOS INNER JOIN HISTORICOS ON "
               "LANCAMENTOS.CD_hISTORICO = HISTORICOS.CD_HISTORICO where cd_conta='001'  order by "
               "dt_lancamento,cd_lancamento "_s);
    QStringList codes;
    while (query.next())
        codes << query.value(u"cd_lancamento"_s).toString();
    return codes;
}

void tst_EntryReader::pagesForwardCoverTheAccountInOrder_data()
{
    QTest::addColumn<int>("pageSize");
    QTest::newRow("one row") << 1;
    QTest::newRow("odd size") << 37;
    QTest::newRow("default") << EntryReader::DefaultLimit;
    QTest::newRow("larger than the account") << 5000;
}

void tst_EntryReader::pagesForwardCoverTheAccountInOrder()
{
    QFETCH(int, pageSize);
    const EntryReader reader(m_file->path(), u"001"_s);
    QStringList codes;
    QList<EntryRow> page = reader.first(pageSize);
    while (!page.isEmpty()) {
        QVERIFY(page.size() <= pageSize);
        for (const EntryRow &row : page)
            codes << row.code;
        page = reader.after(EntryKey::of(page.last()), pageSize);
    }
    const QStringList expected = expectedOrder();
    QCOMPARE(expected.size(), 750);
    QCOMPARE(codes, expected);
    QCOMPARE(reader.count(), qint64(expected.size()));
}

void tst_EntryReader::pagesBackwardMatchForward()
{
    const EntryReader reader(m_file->path(), u"001"_s);
    QStringList codes;
    QList<EntryRow> page = reader.last(64);
    while (!page.isEmpty()) {
        QStringList pageCodes;
        for (const EntryRow &row : page)
            pageCodes << row.code;
        codes = pageCodes + codes;
        page = reader.before(EntryKey::of(page.first()), 64);
    }
    QCOMPARE(codes, expectedOrder());
}

void tst_EntryReader::rowCarriesTheJoinedFields()
{
    const EntryReader reader(m_file->path(), u"002"_s);
    const QList<EntryRow> rows = reader.first(3);
    QCOMPARE(rows.size(), 3);
    Ledger ledger(m_file->path());
    for (const EntryRow &row : rows) {
        const auto stored = ledger.entry(row.code);
        QVERIFY(stored);
        QCOMPARE(row.account, u"002"_s);
        QCOMPARE(row.description, stored->description);
        QCOMPARE(row.descriptionText, row.description == Credit ? u"Venda"_s : u"Compra"_s);
        QCOMPARE(row.descriptionType, row.description == Credit ? u"C"_s : u"D"_s);
        QCOMPARE(row.status, row.descriptionType);
        QCOMPARE(row.remark, stored->remark);
        QCOMPARE(row.amount, stored->amount);
        QCOMPARE(row.date, stored->date);
        QCOMPARE(row.storedDate, data::toStoredDate(stored->date));
        QCOMPARE(row.balance, stored->balance);
        QCOMPARE(row.settlement, u"001"_s);
    }
}

void tst_EntryReader::entryWithoutDescriptionIsNotARow()
{
    const EntryReader reader(m_file->path(), u"001"_s);
    const QList<EntryRow> all = reader.first(5000);
    QVERIFY(std::none_of(all.begin(), all.end(),
                         [](const EntryRow &r) { return r.code == u"0000005000"_s; }));
}

void tst_EntryReader::emptyAccount()
{
    const EntryReader reader(m_file->path(), u"003"_s);
    QVERIFY(reader.first().isEmpty());
    QVERIFY(reader.last().isEmpty());
    QCOMPARE(reader.count(), qint64(0));
}

QTEST_GUILESS_MAIN(tst_EntryReader)
#include "tst_entryreader.moc"
