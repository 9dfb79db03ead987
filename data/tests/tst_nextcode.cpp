#include "core/error.h"
#include "data/database.h"
#include "data/nextcode.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace tessal;
using namespace tessal::data;
using namespace Qt::StringLiterals;

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

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_NextCode::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    createCashDatabase(cashDatabasePath(m_dir->path()));
}

void tst_NextCode::cleanup()
{
    closeDatabase(cashDatabasePath(m_dir->path()));
    m_dir.reset();
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

    QSqlDatabase db = openDatabase(cashDatabasePath(m_dir->path()));
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
    QSqlDatabase db = openDatabase(cashDatabasePath(m_dir->path()));
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

QTEST_GUILESS_MAIN(tst_NextCode)
#include "tst_nextcode.moc"
