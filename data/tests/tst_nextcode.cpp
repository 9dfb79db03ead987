#include "core/error.h"
#include "data/database.h"
#include "data/nextcode.h"
#include "data/recordset.h"
#include "testsupport/otherconnection.h"
#include "testsupport/scratchdata.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace tessal;
using namespace tessal::data;
using namespace Qt::StringLiterals;
using tessal::test::execElsewhere;

class tst_NextCode : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void nextCode_data();
    void nextCode();
    void widthsOfTheCashTables();
    void namesAreNotSql();

    void freeCodeIsStoredAsShown();
    void codeTakenMeanwhileGoesUnderTheNextOne();
    void noCodeLeftAfterAConflictStoresNothing();
    void refusalNotAboutTheCodeIsNotRetried();
    void codesTakenOnEveryAttemptGiveUp();

private:
    QString cash() const { return m_source->cashPath(); }
    QStringList accounts() const;
    // Stores an account as the register windows do, through a record set on the shared
    // connection, noting each code it is given.
    std::function<void(const QString &)> accountInserter(const QString &name, QStringList &tried);

    std::unique_ptr<test::ScratchDataSource> m_source;
};

void tst_NextCode::init()
{
    m_source = std::make_unique<test::ScratchDataSource>();
    TESSAL_REQUIRE_DATA_SOURCE(*m_source);
}

void tst_NextCode::cleanup()
{
    m_source.reset();
}

QStringList tst_NextCode::accounts() const
{
    QSqlQuery q(openDatabase(cash()));
    q.exec(u"SELECT cd_conta, ds_conta FROM contas ORDER BY cd_conta"_s);
    QStringList rows;
    while (q.next())
        rows << q.value(0).toString() + u'|' + q.value(1).toString();
    return rows;
}

std::function<void(const QString &)> tst_NextCode::accountInserter(const QString &name,
                                                                   QStringList &tried)
{
    return [this, name, &tried](const QString &code) {
        tried << code;
        RecordSet rs(cash(), u"select * from  contas order by cd_conta"_s);
        rs.addNew();
        rs.setField(u"cd_conta"_s, code);
        rs.setField(u"ds_conta"_s, name);
        rs.update();
    };
}

void tst_NextCode::nextCode_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("existing"); // inserted in this order
    QTest::addColumn<QString>("expected");     // empty: refused as overflow

    QTest::newRow("empty-contas") << u"contas"_s << QStringList() << u"001"_s;
    QTest::newRow("after-001-to-004")
        << u"contas"_s << QStringList{u"001"_s, u"002"_s, u"003"_s, u"004"_s} << u"005"_s;
    QTest::newRow("gap-below-highest")
        << u"contas"_s << QStringList{u"001"_s, u"003"_s} << u"004"_s;
    QTest::newRow("inserted-out-of-order")
        << u"contas"_s << QStringList{u"009"_s, u"002"_s, u"005"_s} << u"010"_s;
    QTest::newRow("empty-historicos") << u"historicos"_s << QStringList() << u"00001"_s;
    QTest::newRow("historicos-carry") << u"historicos"_s << QStringList{u"00099"_s} << u"00100"_s;
    QTest::newRow("empty-lancamentos") << u"lancamentos"_s << QStringList() << u"0000000001"_s;
    QTest::newRow("lancamentos") << u"LANCAMENTOS"_s << QStringList{u"0000000041"_s}
                                 << u"0000000042"_s;
    // Table "baixas" starts with "001" of its own.
    QTest::newRow("baixas-seeded") << u"Baixas"_s << QStringList() << u"002"_s;
    QTest::newRow("usuarios-last-code") << u"usuarios"_s << QStringList{u"998"_s} << u"999"_s;
    QTest::newRow("1000th-account") << u"contas"_s << QStringList{u"999"_s} << QString();
    QTest::newRow("100000th-description")
        << u"historicos"_s << QStringList{u"99999"_s} << QString();
}

void tst_NextCode::nextCode()
{
    QFETCH(QString, table);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);

    QSqlDatabase db = openDatabase(cash());
    QSqlQuery q(db);
    const QString field = codeField(table);
    QVERIFY(q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)").arg(table, field)));
    for (const QString &code : existing) {
        q.addBindValue(code);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }

    if (expected.isEmpty()) {
        try {
            data::nextCode(db, table);
            QFAIL("a code past the table's width was given");
        } catch (const Error &e) {
            QCOMPARE(e.number(), ErrorNumber::CodeOverflow);
            QVERIFY2(e.description().contains(table), qPrintable(e.description()));
            QVERIFY2(e.description().contains(QString(codeWidth(table), u'9')),
                     qPrintable(e.description()));
        }
        return;
    }
    QCOMPARE(data::nextCode(db, table), expected);
    QCOMPARE(data::nextCode(db, table, field.toUpper(), codeWidth(table)), expected);
}

void tst_NextCode::widthsOfTheCashTables()
{
    QCOMPARE(codeWidth(u"contas"_s), 3);
    QCOMPARE(codeWidth(u"baixas"_s), 3);
    QCOMPARE(codeWidth(u"USUARIOS"_s), 3);
    QCOMPARE(codeWidth(u"historicos"_s), 5);
    QCOMPARE(codeWidth(u"lancamentos"_s), 10);
    QCOMPARE(codeWidth(u"CONFIG"_s), 0);
}

void tst_NextCode::namesAreNotSql()
{
    QSqlDatabase db = openDatabase(cash());
    for (const QString &table : {u"contas; DROP TABLE contas"_s, u"contas\""_s, QString()}) {
        try {
            data::nextCode(db, table, u"cd_conta"_s, 3);
            QFAIL("a table name with SQL in it was accepted");
        } catch (const Error &e) {
            QCOMPARE(e.number(), ErrorNumber::InvalidInput);
        }
    }
    QVERIFY(db.tables().contains(u"contas"_s));
}

void tst_NextCode::freeCodeIsStoredAsShown()
{
    QSqlDatabase db = openDatabase(cash());
    QStringList tried;
    const QString shown = data::nextCode(db, u"contas"_s);
    QCOMPARE(insertUnderFreeCode(db, u"contas"_s, shown, accountInserter(u"Caixa"_s, tried)),
             u"001"_s);
    QCOMPARE(tried, QStringList{u"001"_s});
    QCOMPARE(accounts(), QStringList{u"001|Caixa"_s});
}

// Another workstation stores its row under the code this one showed, between the showing and
// the saving: the row goes under the next free code, in a fresh transaction.
void tst_NextCode::codeTakenMeanwhileGoesUnderTheNextOne()
{
    QSqlDatabase db = openDatabase(cash());
    const QString shown = data::nextCode(db, u"contas"_s);
    QCOMPARE(execElsewhere(cash(), u"INSERT INTO contas VALUES (?, 'Outra estação')"_s, {shown}),
             QString());
    QStringList tried;
    QCOMPARE(insertUnderFreeCode(db, u"contas"_s, shown, accountInserter(u"Caixa"_s, tried)),
             u"002"_s);
    QCOMPARE(tried, (QStringList{u"001"_s, u"002"_s}));
    QCOMPARE(accounts(), (QStringList{u"001|Outra estação"_s, u"002|Caixa"_s}));
}

void tst_NextCode::noCodeLeftAfterAConflictStoresNothing()
{
    QSqlDatabase db = openDatabase(cash());
    QCOMPARE(execElsewhere(cash(), u"INSERT INTO contas VALUES ('998', 'Penúltima')"_s), QString());
    const QString shown = data::nextCode(db, u"contas"_s);
    QCOMPARE(shown, u"999"_s);
    QCOMPARE(execElsewhere(cash(), u"INSERT INTO contas VALUES (?, 'Outra estação')"_s, {shown}),
             QString());
    QStringList tried;
    try {
        insertUnderFreeCode(db, u"contas"_s, shown, accountInserter(u"Caixa"_s, tried));
        QFAIL("a row was stored past the code width");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::CodeOverflow);
    }
    QCOMPARE(tried, QStringList{u"999"_s});
    QCOMPARE(accounts(), (QStringList{u"998|Penúltima"_s, u"999|Outra estação"_s}));
}

// A unique index on the names refuses the row whatever its code: taking another code would not
// help, so the operator is told at once, and nothing of the attempt stays.
void tst_NextCode::refusalNotAboutTheCodeIsNotRetried()
{
    QSqlDatabase db = openDatabase(cash());
    QSqlQuery q(db);
    QVERIFY2(q.exec(u"CREATE UNIQUE INDEX contas_nome_unico ON contas (ds_conta)"_s),
             qPrintable(q.lastError().text()));
    QVERIFY(q.exec(u"INSERT INTO contas VALUES ('001', 'Caixa')"_s));
    QStringList tried;
    const auto insertTwo = [&](const QString &code) {
        QSqlQuery first(db);
        if (!first.exec(u"INSERT INTO contas VALUES ('050', 'Antes')"_s))
            throw Error(ErrorNumber::DatabaseError, first.lastError().text(), {});
        accountInserter(u"Caixa"_s, tried)(code);
    };
    try {
        insertUnderFreeCode(db, u"contas"_s, data::nextCode(db, u"contas"_s), insertTwo);
        QFAIL("a repeated name was stored");
    } catch (const DuplicateKeyError &e) {
        QVERIFY2(e.description().contains(u"contas"_s), qPrintable(e.description()));
    }
    QCOMPARE(tried, QStringList{u"002"_s});
    QCOMPARE(accounts(), QStringList{u"001|Caixa"_s});
}

void tst_NextCode::codesTakenOnEveryAttemptGiveUp()
{
    if (!m_source->onServer())
        QSKIP("On a file the retry's transaction holds the write lock from before the next code "
              "is read, so no other connection can take a code between the two.");
    QSqlDatabase db = openDatabase(cash());
    QStringList tried;
    QStringList failures;
    const auto outrun = [&](const QString &code) {
        failures << execElsewhere(cash(), u"INSERT INTO contas VALUES (?, 'Outra estação')"_s,
                                  {code});
        accountInserter(u"Caixa"_s, tried)(code);
    };
    try {
        insertUnderFreeCode(db, u"contas"_s, data::nextCode(db, u"contas"_s), outrun, 3);
        QFAIL("a row was stored although every code was taken");
    } catch (const DuplicateKeyError &e) {
        QVERIFY2(e.description().contains(u"003"_s), qPrintable(e.description()));
    }
    QCOMPARE(failures, QStringList(3, QString()));
    QCOMPARE(tried, (QStringList{u"001"_s, u"002"_s, u"003"_s}));
    QCOMPARE(accounts(),
             (QStringList{u"001|Outra estação"_s, u"002|Outra estação"_s, u"003|Outra estação"_s}));
}

QTEST_GUILESS_MAIN(tst_NextCode)
#include "tst_nextcode.moc"
