// The selection formula: read exactly as the financial reports window writes it, turned into SQL
// with bound values, and refused with the position of what cannot be read.

#include "data/sqlite.h"
#include "reportfixture.h"
#include "reports/selection.h"

#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tessal::reports;
using tessal::reports::test::CashFixture;

namespace {

// The formula as the window builds it, with the account's code between apostrophes (an
// apostrophe in the code doubled, as the formula's texts require).
QString windowFormula(const QDate &from, const QDate &to, const QString &account)
{
    const QString f = u"yyyy/MM/dd"_s;
    return u"{lancamentos.dt_lancamento} >=  "_s + u"#"_s + from.toString(f) +
           u"# AND {lancamentos.dt_lancamento} <= #"_s + to.toString(f) + u"#"_s +
           u"  and {lancamentos.cd_conta}="_s + u"'"_s + QString(account).replace(u"'"_s, u"''"_s) +
           u"'"_s;
}

SchemaColumn column(const char *table, const char *name)
{
    return *findColumn(QString::fromLatin1(table), QString::fromLatin1(name));
}

} // namespace

class tst_Formula : public QObject
{
    Q_OBJECT

private slots:
    void exampleReadsAsWritten();
    void selectsWhatPlainSqlSelects_data();
    void selectsWhatPlainSqlSelects();
    void valuesNeverReachTheSqlText();
    void malformedFormulasAreRefusedWithThePosition_data();
    void malformedFormulasAreRefusedWithThePosition();
    void periodAndFixedValues_data();
    void periodAndFixedValues();
    void beforeThePeriodKeepsTheOtherConditions();

private:
    // The entry codes the formula selects, through the translated SQL.
    static QStringList selected(const CashFixture &fixture, const QString &formula);
};

QStringList tst_Formula::selected(const CashFixture &fixture, const QString &formula)
{
    const Selection selection = Selection::parse(formula);
    const QSqlDatabase db = tessal::data::openDatabase(fixture.path());
    const SqlText where = toSql(selection.condition(), {}, dialectOf(db));
    QSqlQuery query(db);
    const QString sql = u"SELECT cd_lancamento FROM lancamentos WHERE "_s + where.text +
                        u" ORDER BY cd_lancamento"_s;
    if (!query.prepare(sql))
        qWarning() << query.lastError().text() << sql;
    for (const QVariant &value : where.binds)
        query.addBindValue(value);
    if (!query.exec())
        qWarning() << query.lastError().text() << sql;
    QStringList codes;
    while (query.next())
        codes << query.value(0).toString();
    return codes;
}

void tst_Formula::exampleReadsAsWritten()
{
    const QString example = u"{lancamentos.dt_lancamento} >=  #2026/03/01# AND "
                            "{lancamentos.dt_lancamento} <= #2026/03/31#  and "
                            "{lancamentos.cd_conta}='0003'"_s;
    // The window's text for account 0003 in March 2026 is the example byte for byte.
    QCOMPARE(windowFormula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0003"_s), example);

    const Selection selection = Selection::parse(example);
    QCOMPARE(selection.text(), example);
    const SqlText sql = toSql(selection.condition());
    QCOMPARE(sql.text,
             u"((\"lancamentos\".\"dt_lancamento\" >= ? AND \"lancamentos\".\"dt_lancamento\" "
             "< ?) AND (\"lancamentos\".\"cd_conta\" = ?))"_s);
    QCOMPARE(sql.binds, (QVariantList{u"2026-03-01"_s, u"2026-04-01"_s, u"0003"_s}));
}

void tst_Formula::selectsWhatPlainSqlSelects_data()
{
    QTest::addColumn<QString>("formula");
    QTest::addColumn<QString>("plainWhere"); // the same selection, written by hand

    QTest::newRow("March, account 0003 (the window's example)")
        << windowFormula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0003"_s)
        << u"cd_conta = '0003' AND substr(dt_lancamento, 1, 10) BETWEEN '2026-03-01' AND "
           "'2026-03-31'"_s;
    QTest::newRow("one day: start and end on the same day")
        << windowFormula(QDate(2026, 3, 1), QDate(2026, 3, 1), u"0003"_s)
        << u"cd_conta = '0003' AND substr(dt_lancamento, 1, 10) = '2026-03-01'"_s;
    QTest::newRow("last day, whose entry carries a time")
        << windowFormula(QDate(2026, 3, 31), QDate(2026, 3, 31), u"0003"_s)
        << u"cd_conta = '0003' AND substr(dt_lancamento, 1, 10) = '2026-03-31'"_s;
    QTest::newRow("the account's code, not its name, selects")
        << windowFormula(QDate(2026, 1, 1), QDate(2026, 12, 31), u"Banco D'Ávila"_s) << u"FALSE"_s;
    QTest::newRow("apostrophe in the account's code")
        << windowFormula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0'5"_s) << u"cd_conta = '0''5'"_s;
    QTest::newRow("an apostrophe cannot widen the selection")
        << windowFormula(QDate(2026, 1, 1), QDate(2026, 12, 31), u"x' OR 'a'='a"_s) << u"FALSE"_s;
    QTest::newRow("keywords in any case, extra spaces")
        << u"  {LANCAMENTOS.DT_LANCAMENTO}>#2026/03/09#   AnD {lancamentos.cd_conta} = '0003'  "_s
        << u"cd_conta = '0003' AND dt_lancamento >= '2026-03-10'"_s;
    QTest::newRow("OR, NOT and parentheses")
        << u"({lancamentos.cd_conta} = '0001' OR {lancamentos.cd_conta} = '0''5') AND NOT "
           "{lancamentos.dt_lancamento} = #2026/03/06#"_s
        << u"cd_conta IN ('0001', '0''5') AND dt_lancamento <> '2026-03-06'"_s;
    QTest::newRow("amounts against numbers")
        << u"{lancamentos.vl_lancamento} > 1000 and {lancamentos.vl_lancamento} <= 1500000.00"_s
        << u"vl_lancamento > 1000 AND vl_lancamento <= 1500000"_s;
    QTest::newRow("date before, strictly")
        << u"{lancamentos.dt_lancamento} < #2026/03/01#"_s << u"dt_lancamento < '2026-03-01'"_s;
    QTest::newRow("date on or before a day with a time stored")
        << u"#2026/03/31# >= {lancamentos.dt_lancamento} AND {lancamentos.cd_conta}='0003'"_s
        << u"cd_conta = '0003' AND substr(dt_lancamento, 1, 10) <= '2026-03-31'"_s;
}

void tst_Formula::selectsWhatPlainSqlSelects()
{
    QFETCH(QString, formula);
    QFETCH(QString, plainWhere);
    CashFixture fixture;
    TESSAL_REQUIRE_FIXTURE(fixture);
    QSqlQuery query(tessal::data::openDatabase(fixture.path()));
    QVERIFY(query.exec(u"SELECT cd_lancamento FROM lancamentos WHERE "_s + plainWhere +
                       u" ORDER BY cd_lancamento"_s));
    QStringList expected;
    while (query.next())
        expected << query.value(0).toString();
    const QStringList actual = selected(fixture, formula);
    QCOMPARE(actual, expected);
    // A comparison of two empty lists would pass whatever the translation did; the rows that
    // must select nothing say so, every other row selects something.
    if (plainWhere != u"FALSE"_s)
        QVERIFY(!actual.isEmpty());
}

void tst_Formula::valuesNeverReachTheSqlText()
{
    const QString formula =
        windowFormula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0'; DROP TABLE lancamentos; --"_s);
    const SqlText sql = toSql(Selection::parse(formula).condition());
    QVERIFY2(!sql.text.contains(u'\''), qPrintable(sql.text));
    QVERIFY2(!sql.text.contains(u"DROP"_s), qPrintable(sql.text));
    QVERIFY2(!sql.text.contains(u"2026"_s), qPrintable(sql.text));
    QCOMPARE(sql.text.count(u'?'), sql.binds.size());
    QCOMPARE(sql.binds.last().toString(), u"0'; DROP TABLE lancamentos; --"_s);
}

void tst_Formula::malformedFormulasAreRefusedWithThePosition_data()
{
    QTest::addColumn<QString>("formula");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("says");

    QTest::newRow("no date after >=")
        << u"{lancamentos.dt_lancamento} >=  AND {lancamentos.cd_conta}='0003'"_s << 33
        << u"esperava um valor"_s;
    QTest::newRow("empty dates, as with no period")
        << u"{lancamentos.dt_lancamento} >=  ## AND {lancamentos.cd_conta}='0003'"_s << 33
        << u"data inválida"_s;
    QTest::newRow("a day that does not exist")
        << u"{lancamentos.dt_lancamento} = #2026/02/30#"_s << 31 << u"data inválida"_s;
    QTest::newRow("day first") << u"{lancamentos.dt_lancamento} = #30/03/2026#"_s << 31
                               << u"#AAAA/MM/DD#"_s;
    QTest::newRow("text left open")
        << u"{lancamentos.cd_conta}='0003"_s << 24 << u"não foi fechado"_s;
    QTest::newRow("apostrophe not doubled")
        << u"{lancamentos.cd_conta}='0'5'"_s << 28 << u"não foi fechado"_s;
    QTest::newRow("brace left open")
        << u"{lancamentos.cd_conta = '1'"_s << 1 << u"não foi fechada"_s;
    QTest::newRow("a table of no report")
        << u"{usuarios.senha} = 'x'"_s << 1 << u"a tabela \"usuarios\" não existe"_s;
    QTest::newRow("a column the table does not have")
        << u"{lancamentos.cd_conta}='1' AND {lancamentos.valor} > 1"_s << 32
        << u"não tem o campo \"valor\""_s;
    QTest::newRow("no table in the braces")
        << u"{dt_lancamento} = #2026/03/01#"_s << 1 << u"{tabela.campo}"_s;
    QTest::newRow("date compared with text") << u"{lancamentos.dt_lancamento} >= '2026/03/01'"_s
                                             << 29 << u"não é possível comparar data com texto"_s;
    QTest::newRow("ends after AND")
        << u"{lancamentos.cd_conta}='0003' and"_s << 34 << u"fim do texto"_s;
    QTest::newRow("a value, not a condition")
        << u"{lancamentos.cd_conta}"_s << 1 << u"esperava uma condição"_s;
    QTest::newRow("parenthesis left open")
        << u"({lancamentos.cd_conta}='1' OR {lancamentos.cd_conta}='2'"_s << 58
        << u"\")\" para fechar o \"(\" da posição 1"_s;
    QTest::newRow("a character of no formula")
        << u"{lancamentos.cd_conta}='1'; 1"_s << 27 << u"caractere inesperado \";\""_s;
    QTest::newRow("two comparisons in a row")
        << u"{lancamentos.vl_lancamento} >= = 1"_s << 32 << u"dois operadores"_s;
    QTest::newRow("layout functions are not for formulas")
        << u"SOMA({lancamentos.vl_lancamento}) > 1"_s << 1 << u"só pode ser usado nos campos"_s;
    QTest::newRow("nothing but spaces inside") << u"   "_s << 4 << u"fim do texto"_s;
    QTest::newRow("no account chosen: an empty code")
        << windowFormula(QDate(2026, 3, 1), QDate(2026, 3, 31), QString()) << 121
        << u"{lancamentos.cd_conta} é comparado com um texto vazio"_s;
}

void tst_Formula::malformedFormulasAreRefusedWithThePosition()
{
    QFETCH(QString, formula);
    QFETCH(int, position);
    QFETCH(QString, says);
    try {
        Selection::parse(formula);
        QFAIL("the formula was accepted");
    } catch (const tessal::Error &e) {
        QCOMPARE(e.number(), tessal::ErrorNumber::InvalidInput);
        QCOMPARE(e.source(), formula);
        const QString where = u"posição %1"_s.arg(position);
        QVERIFY2(e.description().startsWith(u"Fórmula de seleção, "_s + where),
                 qPrintable(e.description()));
        QVERIFY2(e.description().contains(says), qPrintable(e.description()));
    }
}

void tst_Formula::periodAndFixedValues_data()
{
    QTest::addColumn<QString>("formula");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<bool>("simple");
    QTest::addColumn<QVariant>("account");

    QTest::newRow("the window's formula")
        << windowFormula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0003"_s) << QDate(2026, 3, 1)
        << QDate(2026, 3, 31) << true << QVariant(u"0003"_s);
    QTest::newRow("strict bounds, reversed sides")
        << u"#2026/02/28# < {lancamentos.dt_lancamento} and {lancamentos.dt_lancamento} < "
           "#2026/04/01#"_s
        << QDate(2026, 3, 1) << QDate(2026, 3, 31) << true << QVariant();
    QTest::newRow("the narrower of two bounds")
        << u"{lancamentos.dt_lancamento} >= #2026/01/01# AND {lancamentos.dt_lancamento} >= "
           "#2026/03/01# AND {lancamentos.cd_conta} = '1' AND {lancamentos.cd_conta} = '1'"_s
        << QDate(2026, 3, 1) << QDate() << true << QVariant(u"1"_s);
    QTest::newRow("one day") << u"{lancamentos.dt_lancamento} = #2026/03/01#"_s << QDate(2026, 3, 1)
                             << QDate(2026, 3, 1) << true << QVariant();
    QTest::newRow("inside OR: not a plain range")
        << u"{lancamentos.dt_lancamento} >= #2026/03/01# OR {lancamentos.cd_conta} = '1'"_s
        << QDate() << QDate() << false << QVariant();
    QTest::newRow("two different accounts fix none")
        << u"{lancamentos.cd_conta} = '1' AND {lancamentos.cd_conta} = '2'"_s << QDate() << QDate()
        << true << QVariant();
}

void tst_Formula::periodAndFixedValues()
{
    QFETCH(QString, formula);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(bool, simple);
    QFETCH(QVariant, account);
    const Selection selection = Selection::parse(formula);
    const Selection::Period period = selection.period(column("lancamentos", "dt_lancamento"));
    QCOMPARE(period.from.value_or(QDate()), from);
    QCOMPARE(period.to.value_or(QDate()), to);
    QCOMPARE(period.simple, simple);
    QCOMPARE(selection.fixedValue(column("lancamentos", "cd_conta")), account);
}

void tst_Formula::beforeThePeriodKeepsTheOtherConditions()
{
    CashFixture fixture;
    TESSAL_REQUIRE_FIXTURE(fixture);
    const SchemaColumn date = column("lancamentos", "dt_lancamento");
    const Selection selection =
        Selection::parse(windowFormula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0003"_s));
    const QSqlDatabase db = tessal::data::openDatabase(fixture.path());
    const SqlText sql = toSql(selection.before(date, QDate(2026, 3, 1)), {}, dialectOf(db));
    QSqlQuery query(db);
    QVERIFY(query.prepare(u"SELECT cd_lancamento FROM lancamentos WHERE "_s + sql.text +
                          u" ORDER BY cd_lancamento"_s));
    for (const QVariant &value : sql.binds)
        query.addBindValue(value);
    QVERIFY(query.exec());
    QStringList codes;
    while (query.next())
        codes << query.value(0).toString();
    QCOMPARE(codes, (QStringList{u"0000000001"_s, u"0000000002"_s}));
}

QTEST_GUILESS_MAIN(tst_Formula)
#include "tst_formula.moc"
