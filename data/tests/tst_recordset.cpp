#include "core/error.h"
#include "data/database.h"
#include "data/nextcode.h"
#include "data/recordset.h"
#include "quotedsql.h"
#include "testsupport/otherconnection.h"
#include "testsupport/scratchdata.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace tessal;
using namespace tessal::data;
using namespace Qt::StringLiterals;
using tessal::test::execElsewhere;

namespace {

// Runs `call` and returns the number of the tessal::Error it threw, or 0 when it threw nothing.
template<typename Call> int errorNumberOf(Call &&call)
{
    try {
        call();
    } catch (const Error &e) {
        return e.number();
    }
    return 0;
}

} // namespace

class tst_RecordSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void quotedSqlTextsWorkAsRecordSets_data();
    void quotedSqlTextsWorkAsRecordSets();
    void namesInAnyCaseReachTheSameField_data();
    void namesInAnyCaseReachTheSameField();
    void apostropheIsJustACharacter();
    void positionsAfterFindAndMoveLast();
    void equalSortKeysAreWalkedExactlyOnce();
    void descendingOrderWithNulls();
    void ascendingOrderWithNulls();
    void scanCrossesThousandsOfRows();
    void rebuildPassEditsEveryRowOnce();
    void writesDuringScanAreCommitted();
    void nullReadsAsEmptyAndZero();
    void datesAreStoredIsoAndShownTyped();
    void valuesThatCannotBeStoredAreRefused_data();
    void valuesThatCannotBeStoredAreRefused();
    void deleteThenMoveNextGoesOn();
    void joinedRecordSetWritesTheOwningTable();
    void operationsWithoutRecordAreRefused();
    void scannedOnlyStatements();
    void scannedStatementCrossesBatchEdges();

    void openRecordSetHidesNoChangesOfOtherConnections();
    void compositeKeyAddressesOneRow();
    void changingTheKeyKeepsTheRowCurrent();
    void takenKeyIsRefusedAsDuplicate();
    void findsAFieldThatIsNoTableColumn();
    void joinedUpdateInsideATransactionIsAllOrNothing();

private:
    QStringList walk(RecordSet &rs, const QString &field);
    void checkContinuations(RecordSet &rs, const QStringList &all);
    QString cash() const { return m_source->cashPath(); }
    QString menu() const { return m_source->menuPath(); }
    bool onServer() const { return m_source->onServer(); }
    void execOrFail(const QString &sql);
    void insertEntries(int count, const QString &account, int sameDateRun);

    std::unique_ptr<test::ScratchDataSource> m_source;
};

void tst_RecordSet::initTestCase()
{
    // Amounts typed by operators follow the program's locale.
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
}

void tst_RecordSet::init()
{
    m_source = std::make_unique<test::ScratchDataSource>();
    TESSAL_REQUIRE_DATA_SOURCE(*m_source);
    const QString failure = testing::fillFixture(m_source->dataDirectory());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void tst_RecordSet::cleanup()
{
    m_source.reset();
}

void tst_RecordSet::execOrFail(const QString &sql)
{
    QSqlQuery q(openDatabase(cash()));
    QVERIFY2(q.exec(sql), qPrintable(q.lastError().text() + u" in "_s + sql));
}

// Entries 0000000101 onwards for one account, `sameDateRun` consecutive entries per date.
void tst_RecordSet::insertEntries(int count, const QString &account, int sameDateRun)
{
    QSqlDatabase db = openDatabase(cash());
    QVERIFY(db.transaction());
    QSqlQuery q(db);
    QVERIFY(
        q.prepare(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, "
                  "vl_lancamento, dt_lancamento, cd_status) VALUES (?, ?, '00001', ?, ?, 'C')"_s));
    for (int i = 0; i < count; ++i) {
        q.addBindValue(QStringLiteral("%1").arg(101 + i, 10, 10, QLatin1Char('0')));
        q.addBindValue(account);
        q.addBindValue(1.0);
        q.addBindValue(toStoredDate(QDate(2020, 1, 1).addDays(i / sameDateRun)));
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
    QVERIFY(db.commit());
}

void tst_RecordSet::quotedSqlTextsWorkAsRecordSets_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("menu");
    for (const testing::QuotedSql &row : testing::quotedSqlTexts())
        QTest::newRow(row.name) << row.sql << row.rows << row.findField << row.findValue
                                << row.menu;
}

void tst_RecordSet::quotedSqlTextsWorkAsRecordSets()
{
    QFETCH(QString, sql);
    QFETCH(int, rows);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(bool, menu);
    if (onServer() && sql.contains(u"datepart(\""_s))
        QSKIP("The cube's date-part templates quote their interval in double quotes, which only "
              "SQLite reads as text; on the server the statement is the cube's to rewrite.");

    RecordSet rs(menu ? this->menu() : cash(), sql, menu ? DatabaseKind::Menu : DatabaseKind::Cash);
    rs.refresh();
    QStringList scanned; // every visible field of every row, in order
    while (!rs.eof()) {
        QStringList row;
        for (int i = 0; i < rs.fieldCount(); ++i)
            row << rs.text(rs.record().fieldName(i));
        scanned << row.join(u'|');
        rs.moveNext();
    }
    QCOMPARE(scanned.size(), rows);

    // The record set's own key columns stay hidden: the fields are the statement's.
    QSqlQuery plain(
        openDatabase(rs.databasePath(), menu ? DatabaseKind::Menu : DatabaseKind::Cash));
    QVERIFY(plain.exec(sql));
    QCOMPARE(rs.fieldCount(), plain.record().count());

    rs.moveLast();
    QCOMPARE(rs.eof(), rows == 0);
    if (rows > 0) {
        QStringList last;
        for (int i = 0; i < rs.fieldCount(); ++i)
            last << rs.text(rs.record().fieldName(i));
        QCOMPARE(last.join(u'|'), scanned.last());
    }

    rs.findFirst(field, value);
    QCOMPARE(rs.noMatch(), rows == 0);
    if (rows == 0)
        return;
    QCOMPARE(rs.text(field), value);
    // Walking on from the found row gives the rest of the scan, in order.
    const QString found = [&] {
        QStringList row;
        for (int i = 0; i < rs.fieldCount(); ++i)
            row << rs.text(rs.record().fieldName(i));
        return row.join(u'|');
    }();
    const qsizetype at = scanned.indexOf(found);
    QVERIFY(at >= 0);
    QStringList rest;
    for (rs.moveNext(); !rs.eof(); rs.moveNext()) {
        QStringList row;
        for (int i = 0; i < rs.fieldCount(); ++i)
            row << rs.text(rs.record().fieldName(i));
        rest << row.join(u'|');
    }
    QCOMPARE(rest, scanned.mid(at + 1));
}

void tst_RecordSet::namesInAnyCaseReachTheSameField_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("written");

    QTest::newRow("lower") << u"select * from  contas order by cd_conta"_s << u"ds_conta"_s
                           << u"Caixa Central"_s;
    QTest::newRow("upper") << u"SELECT * FROM CONTAS ORDER BY CD_CONTA"_s << u"DS_CONTA"_s
                           << u"Caixa Central"_s;
    QTest::newRow("mixed") << u"select * from  Contas order by Cd_Conta"_s << u"Ds_Conta"_s
                           << u"Caixa Central"_s;
}

void tst_RecordSet::namesInAnyCaseReachTheSameField()
{
    QFETCH(QString, sql);
    QFETCH(QString, field);
    QFETCH(QString, written);

    RecordSet rs(cash(), sql);
    rs.refresh();
    rs.findFirst(u"CD_conta"_s, u"001"_s);
    QVERIFY(!rs.noMatch());
    for (const QString &name : {u"cd_conta"_s, u"CD_CONTA"_s, u"Cd_cOnTa"_s})
        QCOMPARE(rs.text(name), u"001"_s);
    rs.edit();
    rs.setField(field, written);
    rs.update();

    RecordSet check(cash(), u"select * from  contas order by cd_conta"_s);
    check.refresh();
    QCOMPARE(check.text(u"ds_conta"_s), written);
    QCOMPARE(errorNumberOf([&] { check.text(u"ds_contas"_s); }), ErrorNumber::FieldNotFound);
}

void tst_RecordSet::apostropheIsJustACharacter()
{
    RecordSet rs(cash(), u"select * from  contas order by cd_conta"_s);
    rs.refresh();
    rs.addNew();
    rs.setField(u"CD_conta"_s, u"003"_s);
    rs.setField(u"ds_conta"_s, u"D'Ávila"_s);
    rs.update();
    rs.refresh();

    rs.findFirst(u"ds_conta"_s, u"D'Ávila"_s);
    QVERIFY(!rs.noMatch());
    QCOMPARE(rs.text(u"cd_conta"_s), u"003"_s);

    // A typed value cannot widen the criterion: it is a value, not SQL.
    rs.findFirst(u"ds_conta"_s, u"x' OR '1'='1"_s);
    QVERIFY(rs.noMatch());
    QCOMPARE(rs.text(u"cd_conta"_s), u"003"_s); // no match leaves the current record

    rs.edit();
    rs.setField(u"ds_conta"_s, u"O'Brien'; DROP TABLE contas; --"_s);
    rs.update();
    RecordSet check(cash(), u"SELECT * FROM contas order by ds_conta"_s);
    check.findFirst(u"cd_conta"_s, u"003"_s);
    QCOMPARE(check.text(u"ds_conta"_s), u"O'Brien'; DROP TABLE contas; --"_s);
}

void tst_RecordSet::positionsAfterFindAndMoveLast()
{
    RecordSet rs(cash(), u"select * from  lancamentos where cd_conta='001' order by "
                         "dt_lancamento, cd_lancamento"_s);
    rs.refresh();
    QCOMPARE(rs.text(u"cd_lancamento"_s), u"0000000001"_s);

    rs.moveLast();
    QCOMPARE(rs.text(u"cd_lancamento"_s), u"0000000003"_s);
    rs.moveNext();
    QVERIFY(rs.eof());
    QCOMPARE(errorNumberOf([&] { rs.moveNext(); }), ErrorNumber::NoCurrentRecord);

    rs.findFirst(u"cd_lancamento"_s, u"0000000002"_s);
    QVERIFY(!rs.noMatch());
    QVERIFY(!rs.eof());
    rs.moveNext();
    QCOMPARE(rs.text(u"cd_lancamento"_s), u"0000000003"_s);

    // An entry of another account is outside this record set's condition.
    rs.findFirst(u"cd_lancamento"_s, u"0000000004"_s);
    QVERIFY(rs.noMatch());
    QCOMPARE(rs.text(u"cd_lancamento"_s), u"0000000003"_s);

    // Finding by date takes the typed form.
    rs.findFirst(u"DT_LANCAMENTO"_s, u"05/01/2026"_s);
    QVERIFY(!rs.noMatch());
    QCOMPARE(rs.text(u"cd_lancamento"_s), u"0000000001"_s);

    rs.refresh();
    QCOMPARE(rs.text(u"cd_lancamento"_s), u"0000000001"_s);

    RecordSet empty(cash(), u"select * from  usuarios order by cd_usuario"_s);
    empty.refresh();
    QVERIFY(empty.eof());
    empty.moveLast();
    QVERIFY(empty.eof());
}

void tst_RecordSet::equalSortKeysAreWalkedExactlyOnce()
{
    // Twenty accounts with one name: only the tie-breaker tells them apart. A continuation that
    // compared the name alone would skip or repeat rows.
    execOrFail(u"DELETE FROM contas"_s);
    for (int i = 1; i <= 20; ++i)
        execOrFail(QStringLiteral("INSERT INTO contas VALUES ('%1', 'Caixa')")
                       .arg(i, 3, 10, QLatin1Char('0')));
    RecordSet rs(cash(), u"SELECT * FROM contas order by ds_conta"_s);
    rs.refresh();
    QStringList all;
    for (; !rs.eof(); rs.moveNext())
        all << rs.text(u"cd_conta"_s);
    QCOMPARE(all.size(), 20);

    rs.findFirst(u"cd_conta"_s, u"012"_s);
    QStringList rest;
    for (rs.moveNext(); !rs.eof(); rs.moveNext())
        rest << rs.text(u"cd_conta"_s);
    QCOMPARE(rest, all.mid(all.indexOf(u"012"_s) + 1));
}

// Every row's value of the field, from a refresh to end-of-file.
QStringList tst_RecordSet::walk(RecordSet &rs, const QString &field)
{
    QStringList all;
    for (rs.refresh(); !rs.eof(); rs.moveNext())
        all << rs.text(field);
    return all;
}

// From each row found by its code, moving on gives exactly the rows after it in the walk.
void tst_RecordSet::checkContinuations(RecordSet &rs, const QStringList &all)
{
    for (qsizetype i = 0; i < all.size(); ++i) {
        rs.findFirst(u"cd_conta"_s, all.at(i));
        QVERIFY(!rs.noMatch());
        QStringList rest;
        for (rs.moveNext(); !rs.eof(); rs.moveNext())
            rest << rs.text(u"cd_conta"_s);
        QCOMPARE(rest, all.mid(i + 1));
    }
}

// Null names sort where the engine sorts them, as in the grids that run the same SQL: a file
// puts them last when descending, a server first.
void tst_RecordSet::descendingOrderWithNulls()
{
    execOrFail(u"INSERT INTO contas VALUES ('003', NULL), ('004', 'banco'), ('005', NULL), "
               "('006', 'Zebra')"_s);
    const QString sql = u"select * from contas order by ds_conta desc, cd_conta"_s;
    RecordSet rs(cash(), sql);
    const QStringList all = walk(rs, u"cd_conta"_s);
    // Names compare without case ("banco" beside "Banco").
    const QStringList named{u"006"_s, u"001"_s, u"002"_s, u"004"_s};
    const QStringList nulls{u"003"_s, u"005"_s};
    QCOMPARE(all, onServer() ? nulls + named : named + nulls);
    QSqlQuery plain(openDatabase(cash()));
    QVERIFY(plain.exec(sql));
    QStringList engine;
    while (plain.next())
        engine << plain.value(u"cd_conta"_s).toString();
    QCOMPARE(all, engine);

    checkContinuations(rs, all);
    rs.moveLast();
    QCOMPARE(rs.text(u"cd_conta"_s), all.last());
}

void tst_RecordSet::ascendingOrderWithNulls()
{
    execOrFail(u"INSERT INTO contas VALUES ('003', NULL), ('004', 'banco'), ('005', NULL), "
               "('006', 'Zebra')"_s);
    RecordSet rs(cash(), u"select * from contas order by ds_conta, cd_conta"_s);
    const QStringList all = walk(rs, u"cd_conta"_s);
    const QStringList named{u"002"_s, u"004"_s, u"001"_s, u"006"_s};
    const QStringList nulls{u"003"_s, u"005"_s};
    QCOMPARE(all, onServer() ? named + nulls : nulls + named);
    checkContinuations(rs, all);
    rs.moveLast();
    QCOMPARE(rs.text(u"cd_conta"_s), all.last());
}

void tst_RecordSet::scanCrossesThousandsOfRows()
{
    const int count = 5000;
    insertEntries(count, u"007"_s, 7);
    RecordSet rs(cash(), u"select * from  lancamentos where cd_conta='007' order by "
                         "dt_lancamento, cd_lancamento"_s);
    rs.refresh();
    int seen = 0;
    QString previous;
    for (; !rs.eof(); rs.moveNext()) {
        const QString key = rs.value(u"dt_lancamento"_s).toDate().toString(Qt::ISODate) +
                            rs.text(u"cd_lancamento"_s);
        QVERIFY2(key > previous, qPrintable(key));
        previous = key;
        ++seen;
    }
    QCOMPARE(seen, count);

    rs.moveLast();
    QCOMPARE(rs.text(u"cd_lancamento"_s),
             QStringLiteral("%1").arg(100 + count, 10, 10, QLatin1Char('0')));

    rs.findFirst(u"cd_lancamento"_s, u"0000002600"_s);
    int after = 0;
    for (rs.moveNext(); !rs.eof(); rs.moveNext())
        ++after;
    QCOMPARE(after, 100 + count - 2600);
}

void tst_RecordSet::rebuildPassEditsEveryRowOnce()
{
    // The ledger's rebuild walks an account and rewrites each row's balance while the scan is
    // open; every row must be visited once, in order, and keep its new value.
    const int count = 3000;
    insertEntries(count, u"007"_s, 3);
    RecordSet rs(cash(), u"select * from  lancamentos where cd_conta='007' order by "
                         "dt_lancamento, cd_lancamento"_s);
    QSqlDatabase db = rs.database();
    QVERIFY(db.transaction());
    rs.refresh();
    int visited = 0;
    for (; !rs.eof(); rs.moveNext()) {
        ++visited;
        rs.edit();
        rs.setField(u"vl_saldo"_s, double(visited));
        rs.update();
        QCOMPARE(rs.number(u"vl_saldo"_s), double(visited));
    }
    QVERIFY(db.commit());
    QCOMPARE(visited, count);

    QSqlQuery q(openDatabase(cash()));
    QVERIFY(q.exec(u"select vl_saldo from lancamentos where cd_conta='007' "
                   "order by dt_lancamento, cd_lancamento"_s));
    int expected = 0;
    while (q.next())
        QCOMPARE(q.value(0).toDouble(), double(++expected));
    QCOMPARE(expected, count);
}

void tst_RecordSet::writesDuringScanAreCommitted()
{
    RecordSet rs(cash(), u"select * from  contas order by cd_conta"_s);
    rs.refresh();
    rs.edit();
    rs.setField(u"ds_conta"_s, u"Caixa Loja"_s);
    rs.update();
    // The scan is still going on; a second connection must already see the change.
    QCOMPARE(test::valueElsewhere(cash(), u"select ds_conta from contas where cd_conta = '001'"_s),
             QVariant(u"Caixa Loja"_s));
    rs.moveNext();
    QCOMPARE(rs.text(u"cd_conta"_s), u"002"_s);
}

void tst_RecordSet::nullReadsAsEmptyAndZero()
{
    RecordSet rs(cash(), u"select * from  lancamentos  order by cd_lancamento"_s);
    rs.refresh();
    rs.addNew();
    rs.setField(u"CD_lancamento"_s, u"0000000005"_s);
    rs.update();
    rs.findFirst(u"CD_lancamento"_s, u"0000000005"_s);
    QVERIFY(!rs.noMatch());
    QVERIFY(rs.isNull(u"vl_saldo"_s));
    QVERIFY(!rs.value(u"dt_lancamento"_s).isValid());
    QCOMPARE(rs.text(u"ds_complemento"_s), QString());
    QCOMPARE(rs.text(u"dt_lancamento"_s), QString());
    QCOMPARE(rs.number(u"vl_lancamento"_s), 0.0);
    QCOMPARE(rs.text(u"vl_lancamento"_s), QString());

    // Setting Null clears a stored value.
    rs.findFirst(u"CD_lancamento"_s, u"0000000001"_s);
    rs.edit();
    rs.setField(u"ds_complemento"_s, QVariant());
    rs.update();
    QVERIFY(rs.isNull(u"ds_complemento"_s));
}

void tst_RecordSet::datesAreStoredIsoAndShownTyped()
{
    RecordSet rs(cash(), u"select * from  lancamentos  order by cd_lancamento"_s);
    rs.addNew();
    rs.setField(u"CD_lancamento"_s, u"0000000005"_s);
    rs.setField(u"DT_LANCAMENTO"_s, u"01/02/2007"_s);
    rs.setField(u"VL_LANCAMENTO"_s, u"1.234,56"_s);
    rs.update();
    rs.addNew();
    rs.setField(u"CD_lancamento"_s, u"0000000006"_s);
    rs.setField(u"DT_LANCAMENTO"_s, QDate(2007, 1, 2));
    rs.setField(u"VL_LANCAMENTO"_s, 50);
    rs.update();

    QSqlQuery q(openDatabase(cash()));
    QVERIFY(q.exec(u"select dt_lancamento, vl_lancamento from lancamentos "
                   "where cd_lancamento >= '0000000005' order by cd_lancamento"_s));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"2007-02-01"_s);
    QCOMPARE(q.value(1).toDouble(), 1234.56);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"2007-01-02"_s);
    QCOMPARE(q.value(1).toDouble(), 50.0);
    // A file stores whatever it is given: the amounts must go in as numbers, not as the typed
    // text. (A server's column takes only numbers.)
    if (!onServer()) {
        QVERIFY(q.exec(u"select typeof(vl_lancamento) from lancamentos "
                       "where cd_lancamento >= '0000000005' order by cd_lancamento"_s));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), u"real"_s);
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), u"real"_s);
    }

    rs.refresh();
    rs.findFirst(u"cd_lancamento"_s, u"0000000005"_s);
    QCOMPARE(rs.text(u"dt_lancamento"_s), u"01/02/2007"_s);
    QCOMPARE(rs.value(u"dt_lancamento"_s).toDate(), QDate(2007, 2, 1));
    QCOMPARE(rs.text(u"vl_lancamento"_s), u"1234,56"_s);
    QCOMPARE(rs.number(u"vl_lancamento"_s), 1234.56);
}

void tst_RecordSet::valuesThatCannotBeStoredAreRefused_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("amount-text") << u"vl_lancamento"_s << QVariant(u"abc"_s);
    QTest::newRow("amount-empty") << u"vl_lancamento"_s << QVariant(u""_s);
    // The ledger's rule: in pt_BR the dot groups thousands, so "1.5" is no amount, and no more
    // than twelve digits before the cents.
    QTest::newRow("amount-c-locale") << u"vl_lancamento"_s << QVariant(u"1.5"_s);
    QTest::newRow("amount-three-decimals") << u"vl_lancamento"_s << QVariant(u"1,505"_s);
    QTest::newRow("amount-thirteen-digits") << u"vl_lancamento"_s << QVariant(u"1000000000000"_s);
    QTest::newRow("balance-date") << u"VL_SALDO"_s << QVariant(QDate(2026, 1, 1));
    QTest::newRow("date-feb-31") << u"dt_lancamento"_s << QVariant(u"31/02/2026"_s);
    QTest::newRow("date-empty-mask") << u"dt_lancamento"_s << QVariant(u"  /  /    "_s);
    QTest::newRow("date-number") << u"DT_lancamento"_s << QVariant(20260101);
    QTest::newRow("date-invalid-qdate") << u"dt_lancamento"_s << QVariant(QDate(2026, 2, 31));
}

void tst_RecordSet::valuesThatCannotBeStoredAreRefused()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    RecordSet rs(cash(), u"select * from  lancamentos  order by cd_lancamento"_s);
    rs.refresh();
    rs.edit();
    QCOMPARE(errorNumberOf([&] { rs.setField(field, value); }), ErrorNumber::TypeMismatch);
    rs.update(); // nothing pending for the refused field
    QCOMPARE(rs.text(u"vl_lancamento"_s), u"100"_s);
    QCOMPARE(rs.text(u"dt_lancamento"_s), u"05/01/2026"_s);
}

void tst_RecordSet::deleteThenMoveNextGoesOn()
{
    RecordSet rs(cash(), u"select * from  lancamentos  order by cd_lancamento"_s);
    rs.refresh();
    rs.moveNext();
    QCOMPARE(rs.text(u"cd_lancamento"_s), u"0000000002"_s);
    rs.deleteCurrent();
    QCOMPARE(errorNumberOf([&] { rs.text(u"cd_lancamento"_s); }), ErrorNumber::RecordDeleted);
    rs.moveNext();
    QCOMPARE(rs.text(u"cd_lancamento"_s), u"0000000003"_s);
    rs.refresh();
    QStringList left;
    for (; !rs.eof(); rs.moveNext())
        left << rs.text(u"cd_lancamento"_s);
    QCOMPARE(left, (QStringList{u"0000000001"_s, u"0000000003"_s, u"0000000004"_s}));
}

void tst_RecordSet::joinedRecordSetWritesTheOwningTable()
{
    RecordSet grid(cash(), testing::quotedSqlTexts().at(15).sql); // the ledger grid
    QVERIFY(grid.sql().contains(u"INNER JOIN HISTORICOS"_s));
    grid.refresh();
    grid.findFirst(u"CD_lancamento"_s, u"0000000002"_s);
    QVERIFY(!grid.noMatch());
    QCOMPARE(grid.text(u"ds_historico"_s), u"Compra"_s);
    grid.edit();
    grid.setField(u"cd_baixa"_s, u"002"_s);
    grid.setField(u"ds_historico"_s, u"Compra à vista"_s);
    grid.update();
    QCOMPARE(grid.text(u"cd_baixa"_s), u"002"_s);
    QCOMPARE(grid.text(u"DS_HISTORICO"_s), u"Compra à vista"_s);

    QSqlQuery q(openDatabase(cash()));
    QVERIFY(q.exec(u"select l.cd_baixa, h.ds_historico from lancamentos l, historicos h "
                   "where l.cd_lancamento = '0000000002' and h.cd_historico = '00002'"_s));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"002"_s);
    QCOMPARE(q.value(1).toString(), u"Compra à vista"_s);

    QCOMPARE(errorNumberOf([&] { grid.addNew(); }), ErrorNumber::NotUpdatable);
    QCOMPARE(errorNumberOf([&] { grid.deleteCurrent(); }), ErrorNumber::NotUpdatable);
}

void tst_RecordSet::operationsWithoutRecordAreRefused()
{
    RecordSet rs(cash(), u"select * from  usuarios order by cd_usuario"_s);
    rs.refresh();
    QVERIFY(rs.eof());
    QCOMPARE(errorNumberOf([&] { rs.value(u"usuario"_s); }), ErrorNumber::NoCurrentRecord);
    QCOMPARE(errorNumberOf([&] { rs.edit(); }), ErrorNumber::NoCurrentRecord);
    QCOMPARE(errorNumberOf([&] { rs.deleteCurrent(); }), ErrorNumber::NoCurrentRecord);
    QCOMPARE(errorNumberOf([&] { rs.update(); }), ErrorNumber::UpdateWithoutEdit);
    QCOMPARE(errorNumberOf([&] { rs.setField(u"usuario"_s, u"x"_s); }),
             ErrorNumber::UpdateWithoutEdit);

    RecordSet broken(cash(), u"select * from  contass order by cd_conta"_s);
    try {
        broken.refresh();
        QFAIL("an unknown table was accepted");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::DatabaseError);
        QCOMPARE(e.source(), broken.sql());
        QVERIFY2(e.description().contains(u"contass"_s), qPrintable(e.description()));
    }
}

void tst_RecordSet::scannedOnlyStatements()
{
    RecordSet rs(cash(), u"select cd_conta, count(*) as n from lancamentos group by cd_conta "
                         "order by cd_conta"_s);
    rs.refresh();
    QCOMPARE(rs.text(u"cd_conta"_s), u"001"_s);
    QCOMPARE(rs.number(u"N"_s), 3.0);
    rs.findFirst(u"cd_conta"_s, u"002"_s);
    QVERIFY(!rs.noMatch());
    QCOMPARE(rs.number(u"n"_s), 1.0);
    rs.moveNext();
    QVERIFY(rs.eof());
    rs.moveLast();
    QCOMPARE(rs.text(u"cd_conta"_s), u"002"_s);
    QCOMPARE(errorNumberOf([&] { rs.edit(); }), ErrorNumber::NotUpdatable);
}

// A scanned statement has no key to go on from: each batch after the first passes over the rows
// already walked. Three hundred groups cross several batch edges, from the start and from a row
// found in the middle.
void tst_RecordSet::scannedStatementCrossesBatchEdges()
{
    insertEntries(300, u"007"_s, 1);
    RecordSet rs(cash(), u"select dt_lancamento, count(*) as n from lancamentos "
                         "group by dt_lancamento order by dt_lancamento"_s);
    QStringList all;
    QDate previous;
    for (rs.refresh(); !rs.eof(); rs.moveNext()) {
        const QDate date = rs.value(u"dt_lancamento"_s).toDate();
        QVERIFY2(date > previous, qPrintable(rs.text(u"dt_lancamento"_s)));
        previous = date;
        all << rs.text(u"dt_lancamento"_s);
    }
    QCOMPARE(all.size(), 304); // and the fixture's four dates

    for (const qsizetype at : {qsizetype(40), qsizetype(150)}) {
        rs.findFirst(u"dt_lancamento"_s, all.at(at));
        QVERIFY(!rs.noMatch());
        QStringList rest;
        for (rs.moveNext(); !rs.eof(); rs.moveNext())
            rest << rs.text(u"dt_lancamento"_s);
        QCOMPARE(rest, all.mid(at + 1));
    }
    rs.moveLast();
    QCOMPARE(rs.text(u"dt_lancamento"_s), all.last());
    rs.moveNext();
    QVERIFY(rs.eof());
}

// Regression: a scan used to keep its statement open between calls, and on a file that held the
// shared connection's snapshot: the next code and every other read through the connection missed
// what other workstations stored meanwhile, and a write through it was refused as locked.
void tst_RecordSet::openRecordSetHidesNoChangesOfOtherConnections()
{
    RecordSet rs(cash(), u"select * from  contas order by cd_conta"_s);
    rs.refresh();
    QCOMPARE(rs.text(u"cd_conta"_s), u"001"_s);
    QCOMPARE(execElsewhere(cash(), u"INSERT INTO contas VALUES ('003', 'Cofre')"_s), QString());
    QCOMPARE(execElsewhere(cash(),
                           u"UPDATE contas SET ds_conta = 'Banco Novo' WHERE cd_conta = '002'"_s),
             QString());
    QCOMPARE(execElsewhere(cash(), u"DELETE FROM contas WHERE cd_conta = '001'"_s), QString());

    QCOMPARE(nextCode(rs.database(), u"contas"_s), u"004"_s);
    execOrFail(u"INSERT INTO contas VALUES ('004', 'Loja')"_s);
    QStringList names;
    for (rs.refresh(); !rs.eof(); rs.moveNext())
        names << rs.text(u"cd_conta"_s) + u'|' + rs.text(u"ds_conta"_s);
    QCOMPARE(names, (QStringList{u"002|Banco Novo"_s, u"003|Cofre"_s, u"004|Loja"_s}));
}

// CONFIG's key is two columns: a write must reach the one row both of them name.
void tst_RecordSet::compositeKeyAddressesOneRow()
{
    const auto menuRows = [this] {
        QSqlQuery q(openDatabase(menu(), DatabaseKind::Menu));
        q.exec(u"select grupo, opcao, ds_tootip from CONFIG order by grupo, opcao"_s);
        QStringList rows;
        while (q.next())
            rows << u"%1.%2 %3"_s.arg(q.value(0).toString(), q.value(1).toString(),
                                      q.value(2).toString());
        return rows;
    };
    const QStringList before = menuRows();
    QCOMPARE(before.size(), 14);
    QVERIFY(before.at(0).startsWith(u"1.1 "_s));
    QVERIFY(before.at(1).startsWith(u"1.2 "_s));

    RecordSet rs(menu(), u"select * from  CONFIG order by descricao"_s, DatabaseKind::Menu);
    rs.findFirst(u"descricao"_s, u"Contas"_s);
    QVERIFY(!rs.noMatch());
    rs.edit();
    rs.setField(u"ds_tootip"_s, u"Só esta"_s);
    rs.update();
    QStringList expected = before;
    expected[0] = u"1.1 Só esta"_s;
    QCOMPARE(menuRows(), expected);

    rs.findFirst(u"descricao"_s, u"Históricos"_s);
    QVERIFY(!rs.noMatch());
    const QString after = [&] {
        rs.moveNext();
        return rs.eof() ? QString() : rs.text(u"descricao"_s);
    }();
    rs.findFirst(u"descricao"_s, u"Históricos"_s);
    rs.deleteCurrent();
    expected.removeAt(1);
    QCOMPARE(menuRows(), expected);
    rs.moveNext();
    QCOMPARE(rs.eof() ? QString() : rs.text(u"descricao"_s), after);
}

// A server addresses rows by their primary key, so a row whose code was changed must be followed
// under its new code.
void tst_RecordSet::changingTheKeyKeepsTheRowCurrent()
{
    RecordSet rs(cash(), u"SELECT * FROM contas order by ds_conta"_s);
    rs.findFirst(u"cd_conta"_s, u"002"_s);
    rs.edit();
    rs.setField(u"CD_conta"_s, u"009"_s);
    rs.update();
    QCOMPARE(rs.text(u"cd_conta"_s), u"009"_s);
    QCOMPARE(rs.text(u"ds_conta"_s), u"Banco"_s);
    rs.edit();
    rs.setField(u"ds_conta"_s, u"Banco Central"_s);
    rs.update();
    QCOMPARE(rs.text(u"ds_conta"_s), u"Banco Central"_s);
    rs.moveNext();
    QCOMPARE(rs.text(u"cd_conta"_s), u"001"_s);

    QSqlQuery q(openDatabase(cash()));
    QVERIFY(q.exec(u"select cd_conta, ds_conta from contas order by cd_conta"_s));
    QStringList rows;
    while (q.next())
        rows << q.value(0).toString() + u'|' + q.value(1).toString();
    QCOMPARE(rows, (QStringList{u"001|Caixa"_s, u"009|Banco Central"_s}));
}

// A taken code is told apart from other refusals, so that a window can take the next free one.
void tst_RecordSet::takenKeyIsRefusedAsDuplicate()
{
    RecordSet rs(cash(), u"select * from  contas order by cd_conta"_s);
    rs.refresh();
    rs.addNew();
    rs.setField(u"cd_conta"_s, u"002"_s);
    rs.setField(u"ds_conta"_s, u"Outra"_s);
    try {
        rs.update();
        QFAIL("a taken code was stored");
    } catch (const DuplicateKeyError &e) {
        QCOMPARE(e.number(), ErrorNumber::DatabaseError);
        QCOMPARE(e.source(), rs.sql());
    }
    rs.edit();
    rs.setField(u"cd_conta"_s, u"002"_s);
    QVERIFY_THROWS_EXCEPTION(DuplicateKeyError, rs.update());
    // Other refusals stay plain errors.
    rs.edit();
    rs.setField(u"cd_conta"_s, QVariant());
    try {
        rs.update();
        QFAIL("a Null code was stored");
    } catch (const DuplicateKeyError &) {
        QFAIL("a Null code was taken for a duplicate");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::DatabaseError);
    }

    QCOMPARE(walk(rs, u"ds_conta"_s), (QStringList{u"Caixa"_s, u"Banco"_s}));
}

void tst_RecordSet::findsAFieldThatIsNoTableColumn()
{
    RecordSet rs(cash(), u"select cd_conta, ds_conta as nome from contas order by cd_conta"_s);
    rs.refresh();
    rs.findFirst(u"nome"_s, u"Banco"_s);
    QVERIFY(!rs.noMatch());
    QCOMPARE(rs.text(u"cd_conta"_s), u"002"_s);
    rs.moveNext();
    QVERIFY(rs.eof());
    rs.findFirst(u"NOME"_s, u"Caixa"_s);
    QVERIFY(!rs.noMatch());
    QCOMPARE(rs.text(u"cd_conta"_s), u"001"_s);
    rs.moveNext();
    QCOMPARE(rs.text(u"nome"_s), u"Banco"_s);
    rs.findFirst(u"nome"_s, u"x' OR '1'='1"_s);
    QVERIFY(rs.noMatch());
    QCOMPARE(rs.text(u"nome"_s), u"Banco"_s);
}

// Writes to two tables inside the caller's transaction go with it: rolled back, neither stays.
void tst_RecordSet::joinedUpdateInsideATransactionIsAllOrNothing()
{
    RecordSet grid(cash(), testing::quotedSqlTexts().at(15).sql); // the ledger grid
    grid.findFirst(u"CD_lancamento"_s, u"0000000002"_s);
    QVERIFY(!grid.noMatch());
    QSqlDatabase db = grid.database();
    QVERIFY(db.transaction());
    grid.edit();
    grid.setField(u"cd_baixa"_s, u"002"_s);
    grid.setField(u"ds_historico"_s, u"Compra à vista"_s);
    grid.update();
    QCOMPARE(grid.text(u"DS_HISTORICO"_s), u"Compra à vista"_s);
    QVERIFY(db.rollback());

    grid.findFirst(u"CD_lancamento"_s, u"0000000002"_s);
    QCOMPARE(grid.text(u"cd_baixa"_s), u"001"_s);
    QCOMPARE(grid.text(u"ds_historico"_s), u"Compra"_s);
}

QTEST_GUILESS_MAIN(tst_RecordSet)
#include "tst_recordset.moc"
