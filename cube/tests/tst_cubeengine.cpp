#include "core/error.h"
#include "cube/analysisdefinition.h"
#include "cube/cube.h"
#include "cube/cubemodel.h"
#include "cube/loader.h"
#include "cube/numberformat.h"
#include "cubefixture.h"
#include "data/database.h"
#include "testsupport/scratchdata.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <cmath>

using namespace Qt::StringLiterals;
using namespace tessal::cube;
using tessal::cube::test::CashFixture;
using tessal::cube::test::defineSmallCube;
using tessal::cube::test::smallCubeTable;

namespace {

CubeField *byCaption(const Cube &cube, const QString &caption)
{
    for (CubeField *f : cube.fields())
        if (f->caption() == caption)
            return f;
    return nullptr;
}

// Puts the named fields on the rows and columns, everything else but the data fields on pages.
void arrange(Cube &cube, const QStringList &rows, const QStringList &columns)
{
    for (CubeField *f : cube.fields())
        if (f->orientation() != Orientation::Data)
            f->setOrientation(Orientation::Page);
    for (const QString &c : rows)
        byCaption(cube, c)->setOrientation(Orientation::Row);
    for (const QString &c : columns)
        byCaption(cube, c)->setOrientation(Orientation::Column);
}

// Every cell of the grid recomputed with plain SQL over the same database: the item headings of
// the cell's row and column, and the excluded items of every axis field, make its WHERE clause.
void verifyAgainstSql(const Cube &cube, const CashFixture &fixture)
{
    const QSqlDatabase db = fixture.database();
    QString filter;
    QVariantList filterValues;
    for (const CubeField *f : cube.fields()) {
        if (f->orientation() == Orientation::None || f->orientation() == Orientation::Data)
            continue;
        for (int i = 0; i < f->itemCount(); ++i) {
            if (f->isItemIncluded(i))
                continue;
            filter += u" AND "_s + fixture.oracleExpression(f->caption()) + u" <> ?"_s;
            filterValues << (f->valueKind() == ValueKind::Integer
                                 ? QVariant(f->itemName(i).toLongLong())
                                 : QVariant(f->itemName(i)));
        }
    }
    QVERIFY(cube.rowCount() > 0);
    QVERIFY(cube.columnCount() > 0);
    int checkedValues = 0;
    for (int row = 0; row < cube.rowCount(); ++row) {
        for (int column = 0; column < cube.columnCount(); ++column) {
            QString where = u" WHERE 1=1"_s + filter;
            QVariantList values = filterValues;
            auto constrain = [&](const Heading &h) {
                if (h.kind != Heading::Kind::Item)
                    return;
                const CubeField *f = cube.fields().item(h.field);
                where += u" AND "_s + fixture.oracleExpression(f->caption()) + u" = ?"_s;
                values << (f->valueKind() == ValueKind::Integer
                               ? QVariant(f->itemName(h.item).toLongLong())
                               : QVariant(f->itemName(h.item)));
            };
            for (int level = 1; level <= cube.rowHeadingLevels(); ++level)
                constrain(cube.rowHeading(level, row));
            for (int level = 1; level <= cube.columnHeadingLevels(); ++level)
                constrain(cube.columnHeading(level, column));
            const CubeField *data = cube.dataFields().item(cube.dataFieldAt(column));
            QVERIFY(data);
            QSqlQuery q(db);
            QVERIFY(
                q.prepare(u"SELECT COUNT(*), SUM(CAST(ROUND(l.vl_lancamento * 100) AS INTEGER))"_s +
                          CashFixture::oracleFrom() + where));
            for (const QVariant &v : values)
                q.addBindValue(v);
            QVERIFY2(q.exec() && q.next(), qPrintable(q.lastError().text()));
            const qint64 count = q.value(0).toLongLong();
            const QVariant got = cube.cellValue(column, row);
            if (count == 0) {
                QVERIFY2(!got.isValid(), qPrintable(u"row %1 column %2"_s.arg(row).arg(column)));
                continue;
            }
            QVERIFY2(got.isValid(), qPrintable(u"row %1 column %2"_s.arg(row).arg(column)));
            if (data->aggregate() == Aggregate::Count)
                QCOMPARE(qint64(got.toDouble()), count);
            else
                QCOMPARE(std::llround(got.toDouble() * 100), q.value(1).toLongLong());
            ++checkedValues;
        }
    }
    QVERIFY(checkedValues > 0);
}

// A cube whose record source asks the database for the date parts, with SQLite's double-quoted
// intervals in several cases, and for a comparison, a length and a left join that leaves some
// settlements null; one field is an expression over the source's tables, which the loader puts
// into the select list.
CubeDefinition datePartsInSqlCube(const QString &path)
{
    Cube cube;
    cube.properties().databaseName = path;
    cube.properties().recordSource =
        u"SELECT datepart(\"YYYY\", l.dt_lancamento) AS ano, datepart(\"q\", l.dt_lancamento) AS "
        u"tri,"
        " datepart(/* semana */ \"Ww\", l.dt_lancamento) AS semana, datepart(\"m\", "
        "l.dt_lancamento) AS mes, c.ds_conta AS conta, b.ds_baixa AS baixa, l.vl_lancamento AS "
        "valor, l.ds_complemento AS obs, l.vl_lancamento > 1000 AS grande, "
        "length(l.ds_complemento) AS letras, 'datepart(\"m\", x)' AS texto\n"
        "FROM lancamentos l JOIN contas c ON c.cd_conta = l.cd_conta "
        "LEFT JOIN baixas b ON b.cd_baixa = l.cd_baixa ORDER BY l.cd_lancamento"_s;
    const QList<std::pair<QString, QString>> fields{
        {u"ano"_s, u"Ano"_s},
        {u"tri"_s, u"Trimestre"_s},
        {u"semana"_s, u"Semana"_s},
        {u"mes"_s, u"Mes"_s},
        {u"conta"_s, u"Conta"_s},
        {u"baixa"_s, u"Situação"_s},
        {u"obs"_s, u"Histórico"_s},
        {u"grande"_s, u"Grande"_s},
        {u"letras"_s, u"Letras"_s},
        {u"texto"_s, u"Texto"_s},
        {u"datepart(\"Q\", l.dt_lancamento) * 100 + datepart(\"M\", l.dt_lancamento)"_s,
         u"Trimestre e mês"_s}};
    for (const auto &[source, caption] : fields)
        cube.addField(source, caption, Orientation::Page);
    cube.addField(u"valor"_s, u"Valor"_s, Orientation::Data);
    cube.addField(u"valor"_s, u"Quantidade"_s, Orientation::Data)->setAggregate(Aggregate::Count);
    return cube.definition();
}

// Every heading and every cell, the values to the last bit.
QStringList gridText(const Cube &cube)
{
    QStringList out;
    for (int r = 0; r < cube.rowCount(); ++r) {
        QStringList line;
        for (int l = 1; l <= cube.rowHeadingLevels(); ++l)
            line << cube.rowHeadingText(l, r);
        for (int c = 0; c < cube.columnCount(); ++c) {
            const QVariant v = cube.cellValue(c, r);
            line << (v.isValid() ? QString::number(v.toDouble(), 'g', 17) : u"-"_s);
        }
        out << line.join(u'|');
    }
    for (int c = 0; c < cube.columnCount(); ++c)
        for (int l = 1; l <= cube.columnHeadingLevels(); ++l)
            out << cube.columnHeadingText(l, c);
    return out;
}

} // namespace

class tst_CubeEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void analysisDefinition();
    void collections();
    void moveBetweenAxes();
    void sumsMatchSql_data();
    void sumsMatchSql();
    void unmatchedSettlementIsAbsent();
    void reloadSeesNewEntries();
    void headingGridOfKnownCube();
    void totalsFollowGroupFooters();
    void rankingByDataField();
    void ascendingOrderByCaption();
    void collapsedField();
    void hiddenDataFieldsAreLeftOut();
    void formatEvent();
    void model();
    void numberFormat_data();
    void numberFormat();
    void datePartsMatchCalendar_data();
    void datePartsMatchCalendar();
    void manyDistinctTexts();
    void missingSourceColumnIsAnError();
    void sameCellsOnBothEngines_data();
    void sameCellsOnBothEngines();
};

void tst_CubeEngine::analysisDefinition()
{
    const CubeDefinition d = analysisCubeDefinition(u"/dados/caixa.mdb"_s);
    QCOMPARE(d.properties.connectType, 1);
    QCOMPARE(d.properties.connect, u"Access"_s);
    QCOMPARE(d.properties.databaseName, u"/dados/caixa.mdb"_s);
    QVERIFY(d.properties.recordSource.startsWith(u"SELECT LANCAMENTOS.DT_LANCAMENTO, "_s));
    QVERIFY(d.properties.recordSource.contains(u"baixas.ds_baixa\nFROM ((LANCAMENTOS"_s));
    QVERIFY(d.properties.recordSource.endsWith(u"= baixas.cd_baixa\n"_s));
    QCOMPARE(d.properties.sqlWeekPart, u"datepart(\"ww\",<field>)"_s);
    QCOMPARE(d.properties.headerCaption, u"Gerador de Relatórios"_s);
    QCOMPARE(d.properties.footerCaption, u"- Page &P -"_s);
    QCOMPARE(d.fields.size(), size_t(11));
    const QStringList captions{u"Trimestre"_s, u"Semana"_s, u"Situação"_s, u"Data"_s,
                               u"Histórico"_s, u"Conta"_s,  u"Padrão"_s,   u"Status"_s,
                               u"Valor"_s,     u"Ano"_s,    u"Mes"_s};
    for (size_t i = 0; i < d.fields.size(); ++i) {
        QCOMPARE(d.fields[i].caption, captions[qsizetype(i)]);
        QCOMPARE(d.fields[i].totalCaption, u"Total"_s);
        if (i < 8) {
            QCOMPARE(d.fields[i].orientation, Orientation::Page);
            QCOMPARE(d.fields[i].position, int(i));
        }
    }
    QCOMPARE(d.fields[8].orientation, Orientation::Data);
    QCOMPARE(d.fields[8].name, u"sumVL_LANCAMENTO"_s);
    QCOMPARE(d.fields[8].numberFormat, u"#,##0.00"_s);
    QCOMPARE(d.fields[9].orientation, Orientation::Row);
    QCOMPARE(d.fields[10].orientation, Orientation::Column);
    QCOMPARE(d.fields[10].sourceExpression, u"datepart(\"m\",LANCAMENTOS.DT_LANCAMENTO)"_s);
}

void tst_CubeEngine::collections()
{
    Cube cube;
    cube.setDefinition(analysisCubeDefinition());
    QCOMPARE(cube.fields().count(), 11);
    QCOMPARE(cube.rowFields().count(), 1);
    QCOMPARE(cube.columnFields().count(), 1);
    QCOMPARE(cube.pageFields().count(), 8);
    QCOMPARE(cube.dataFields().count(), 1);
    QCOMPARE(cube.dataFields().item(u"SUMVL_LANCAMENTO"_s), cube.dataFields().item(0));
    QCOMPARE(cube.pageFields().item(3)->caption(), u"Data"_s);
    QVERIFY(!cube.rowFields().item(1));
    QVERIFY(!cube.fields().item(u"nada"_s));
    CubeField *added = cube.addField(u"VL_LANCAMENTO"_s, u"Qtde"_s, Orientation::Data);
    QCOMPARE(added->name(), u"sumVL_LANCAMENTO"_s);
    QCOMPARE(added->position(), 1);
    QCOMPARE(cube.dataFields().count(), 2);
    cube.clearFields();
    QCOMPARE(cube.fields().count(), 0);
    QCOMPARE(cube.dataFields().count(), 0);
}

void tst_CubeEngine::moveBetweenAxes()
{
    Cube cube;
    cube.setDefinition(analysisCubeDefinition());
    CubeField *conta = byCaption(cube, u"Conta"_s);
    conta->setOrientation(Orientation::Row);
    QCOMPARE(conta->position(), 1);
    QCOMPARE(cube.pageFields().count(), 7);
    // the page fields behind it close up
    QCOMPARE(byCaption(cube, u"Padrão"_s)->position(), 5);
    conta->setPosition(0);
    QCOMPARE(cube.rowFields().item(0), conta);
    QCOMPARE(byCaption(cube, u"Ano"_s)->position(), 1);
}

void tst_CubeEngine::sumsMatchSql_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QStringList>("excluded"); // "Caption=item name"
    QTest::addColumn<int>("footer");
    QTest::addColumn<bool>("count");
    QTest::addColumn<QString>("rankBy"); // caption of a row field ranked by the data field
    QTest::newRow("initial year by month") << QStringList{u"Ano"_s} << QStringList{u"Mes"_s}
                                           << QStringList{} << -1 << false << QString();
    QTest::newRow("no totals") << QStringList{u"Ano"_s} << QStringList{u"Mes"_s} << QStringList{}
                               << 0 << false << QString();
    QTest::newRow("account by type") << QStringList{u"Conta"_s} << QStringList{u"Status"_s}
                                     << QStringList{} << -1 << false << QString();
    QTest::newRow("year and quarter, no columns")
        << QStringList{u"Ano"_s, u"Trimestre"_s} << QStringList{} << QStringList{} << -1 << false
        << QString();
    QTest::newRow("page filter") << QStringList{u"Conta"_s} << QStringList{u"Ano"_s}
                                 << QStringList{u"Situação=Baixado"_s} << -1 << false << QString();
    QTest::newRow("row item filter")
        << QStringList{u"Padrão"_s, u"Conta"_s} << QStringList{u"Ano"_s}
        << QStringList{u"Conta=Caixa"_s, u"Ano=2022"_s} << -1 << false << QString();
    QTest::newRow("count") << QStringList{u"Status"_s} << QStringList{u"Trimestre"_s}
                           << QStringList{} << -1 << true << QString();
    QTest::newRow("ranked rows") << QStringList{u"Padrão"_s, u"Conta"_s} << QStringList{u"Mes"_s}
                                 << QStringList{} << -1 << false << u"Conta"_s;
    QTest::newRow("columns only") << QStringList{} << QStringList{u"Status"_s, u"Situação"_s}
                                  << QStringList{} << -1 << false << QString();
    QTest::newRow("weeks of a year") << QStringList{u"Semana"_s} << QStringList{u"Ano"_s}
                                     << QStringList{} << 0 << false << QString();
    QTest::newRow("remark and date")
        << QStringList{u"Histórico"_s} << QStringList{u"Status"_s}
        << QStringList{u"Data=#3"_s, u"Data=#10"_s} << -1 << false << QString();
}

void tst_CubeEngine::sumsMatchSql()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, columns);
    QFETCH(QStringList, excluded);
    QFETCH(int, footer);
    QFETCH(bool, count);
    QFETCH(QString, rankBy);
    CashFixture fixture;
    TESSAL_REQUIRE_DATA_SOURCE(fixture);
    Cube cube;
    cube.setDefinition(analysisCubeDefinition(fixture.path()));
    cube.load(fixture.database());
    arrange(cube, rows, columns);
    for (CubeField *f : cube.fields())
        f->setGroupFooter(footer);
    for (const QString &e : excluded) {
        CubeField *f = byCaption(cube, e.section(u'=', 0, 0));
        const QString name = e.section(u'=', 1);
        // "#k" names the k-th item, for values that the random fixture may or may not hold
        const int item = name.startsWith(u'#') ? name.mid(1).toInt() : f->itemIndex(name);
        QVERIFY2(item >= 0, qPrintable(e));
        f->setItemIncluded(item, false);
    }
    if (count)
        cube.dataFields().item(0)->setAggregate(Aggregate::Count);
    if (!rankBy.isEmpty()) {
        byCaption(cube, rankBy)->setRankingMode(RankingMode::Descending);
        byCaption(cube, rankBy)->setRankingDataField(1);
    }
    verifyAgainstSql(cube, fixture);
    if (footer == 0) {
        for (int r = 0; r < cube.rowCount(); ++r)
            QVERIFY(!cube.isTotalRow(r));
    }
}

void tst_CubeEngine::unmatchedSettlementIsAbsent()
{
    CashFixture fixture(400);
    TESSAL_REQUIRE_DATA_SOURCE(fixture);
    Cube cube;
    cube.setDefinition(analysisCubeDefinition());
    cube.load(fixture.database());
    QSqlQuery q(fixture.database());
    QVERIFY(q.exec(u"SELECT COUNT(*) FROM lancamentos"_s) && q.next());
    // every fiftieth entry names settlement "009", which has no row
    QCOMPARE(qint64(cube.loadedRowCount()), q.value(0).toLongLong() - 8);
}

void tst_CubeEngine::reloadSeesNewEntries()
{
    CashFixture fixture(100);
    TESSAL_REQUIRE_DATA_SOURCE(fixture);
    Cube cube;
    cube.setDefinition(analysisCubeDefinition(fixture.path()));
    cube.refresh(); // no rows yet: the cube opens DatabaseName itself
    QVERIFY(cube.hasData());
    const size_t before = cube.loadedRowCount();
    QSqlQuery q(fixture.database());
    QVERIFY(q.exec(u"INSERT INTO lancamentos VALUES ('9999999999', '001', '00001', 'novo', 12.34, "
                   "'2030-05-01', 'C', 0, '001')"_s));
    cube.refresh(); // the rows it has are kept
    QCOMPARE(cube.loadedRowCount(), before);
    cube.reload();
    QCOMPARE(cube.loadedRowCount(), before + 1);
    QVERIFY(byCaption(cube, u"Ano"_s)->itemIndex(u"2030"_s) >= 0);
}

void tst_CubeEngine::headingGridOfKnownCube()
{
    Cube cube;
    defineSmallCube(cube);
    cube.loadRows(smallCubeTable());
    // rows: Norte x, Norte y, Norte Total(Produto), Sul x, Sul y, Sul Total, Total(Região)
    QCOMPARE(cube.rowCount(), 7);
    QCOMPARE(cube.rowHeadingLevels(), 2);
    // columns: (2023, 2024, Total) x (Valor, Quantidade)
    QCOMPARE(cube.columnCount(), 6);
    QCOMPARE(cube.columnHeadingLevels(), 2);
    QCOMPARE(cube.lastRow(), 6);
    QCOMPARE(cube.lastColumn(), 5);
    QCOMPARE(cube.nextRow(5), 6);
    QCOMPARE(cube.nextRow(6), -1);
    QCOMPARE(cube.nextColumn(0), 1);
    QCOMPARE(cube.nextColumn(5), -1);

    const QStringList level1{u"Norte"_s, u"Norte"_s, u"Norte"_s, u"Sul"_s,
                             u"Sul"_s,   u"Sul"_s,   u"Total"_s};
    const QStringList level2{u"x"_s, u"y"_s, u"Total"_s, u"x"_s, u"y"_s, u"Total"_s, QString()};
    const QList<int> depth{2, 2, 2, 2, 2, 2, 1};
    for (int r = 0; r < 7; ++r) {
        QCOMPARE(cube.rowHeadingText(1, r), level1[r]);
        QCOMPARE(cube.rowHeadingText(2, r), level2[r]);
        QCOMPARE(cube.rowDepth(r), depth[r]);
    }
    QCOMPARE(cube.rowHeading(2, 2).kind, Heading::Kind::Total);
    QCOMPARE(cube.rowHeading(1, 0).kind, Heading::Kind::Item);
    QCOMPARE(cube.columnHeadingText(1, 0), u"2023"_s);
    QCOMPARE(cube.columnHeadingText(1, 3), u"2024"_s);
    QCOMPARE(cube.columnHeadingText(1, 4), u"Total"_s);
    QCOMPARE(cube.columnHeadingText(2, 1), u"Quantidade"_s);
    QCOMPARE(cube.columnHeading(2, 4).typeName(), u"IDataItem"_s);
    QCOMPARE(cube.columnHeading(1, 4).typeName(), u"String"_s);
    QCOMPARE(cube.columnHeading(2, 4).field, 0);
    QCOMPARE(cube.columnDepth(0), 2);
    QCOMPARE(cube.columnDepth(4), 2);
    QCOMPARE(cube.dataFieldAt(0), 0);
    QCOMPARE(cube.dataFieldAt(5), 1);

    // Norte y 2023: 0.10 + 0.20 over two rows
    QCOMPARE(cube.cellValue(0, 1).toDouble(), 0.30);
    QCOMPARE(cube.cellValue(1, 1).toDouble(), 2.0);
    QVERIFY(!cube.cellValue(2, 1).isValid());          // Norte y has nothing in 2024
    QCOMPARE(cube.cellValue(4, 2).toDouble(), 100.30); // Norte total, all years
    QCOMPARE(cube.cellValue(0, 5).toDouble(), 15.50);  // Sul total 2023
    QCOMPARE(cube.cellValue(4, 6).toDouble(), 117.05); // grand total
    QCOMPARE(cube.cellValue(5, 6).toDouble(), 6.0);
    QCOMPARE(cube.formattedValue(4, 6), u"117,05"_s);
    QCOMPARE(cube.formattedValue(1, 0), QString()); // Norte x has nothing in 2023
}

void tst_CubeEngine::totalsFollowGroupFooters()
{
    Cube cube;
    defineSmallCube(cube);
    cube.loadRows(smallCubeTable());
    cube.fields().item(1)->setGroupFooter(0); // Produto: no subtotal per region
    QCOMPARE(cube.rowCount(), 5);
    QCOMPARE(cube.rowHeadingText(1, 4), u"Total"_s);
    cube.fields().item(0)->setGroupFooter(0);
    QCOMPARE(cube.rowCount(), 4);
    for (int c = 0; c < cube.columnCount(); ++c)
        QCOMPARE(cube.isTotalColumn(c), c >= 4);
    // what the window's "Retirar Totais" does
    for (CubeField *f : cube.fields())
        f->setGroupFooter(0);
    QCOMPARE(cube.columnCount(), 4);
    for (int r = 0; r < cube.rowCount(); ++r)
        QVERIFY(!cube.isTotalRow(r));
    for (CubeField *f : cube.fields())
        f->setGroupFooter(-1);
    QCOMPARE(cube.rowCount(), 7);
}

void tst_CubeEngine::rankingByDataField()
{
    Cube cube;
    defineSmallCube(cube);
    cube.loadRows(smallCubeTable());
    CubeField *region = cube.fields().item(0);
    CubeField *product = cube.fields().item(1);
    // Sul 16.75 against Norte 100.30: ascending puts Sul first
    region->setRankingMode(RankingMode::Ascending);
    region->setRankingDataField(1);
    QCOMPARE(cube.rowHeadingText(1, 0), u"Sul"_s);
    QCOMPARE(cube.rowHeadingText(1, 3), u"Norte"_s);
    // within Norte, x (100) outranks y (0.30) by value, but y counts two rows: rank by the count
    product->setRankingMode(RankingMode::Descending);
    product->setRankingDataField(2);
    QCOMPARE(cube.rowHeadingText(2, 3), u"y"_s);
    QCOMPARE(cube.rowHeadingText(2, 4), u"x"_s);
    // Sul: x has two rows, y one
    QCOMPARE(cube.rowHeadingText(2, 0), u"x"_s);
    region->setRankingMode(RankingMode::None);
    region->setRankingDataField(0);
    QCOMPARE(cube.rowHeadingText(1, 0), u"Norte"_s);
    // ranking a column field
    CubeField *year = cube.fields().item(2);
    year->setRankingMode(RankingMode::Descending);
    year->setRankingDataField(1); // 2024: 101.25, 2023: 15.80
    QCOMPARE(cube.columnHeadingText(1, 0), u"2024"_s);
}

void tst_CubeEngine::ascendingOrderByCaption()
{
    Cube cube;
    defineSmallCube(cube);
    cube.loadRows(smallCubeTable());
    CubeField *region = cube.fields().item(0);
    region->setItemCaption(region->itemIndex(u"Norte"_s), u"Zona Norte"_s);
    QCOMPARE(cube.rowHeadingText(1, 0), u"Zona Norte"_s); // default order keeps the values' order
    region->setAscending(1);
    QCOMPARE(cube.rowHeadingText(1, 0), u"Sul"_s);
    QCOMPARE(cube.rowHeadingText(1, 3), u"Zona Norte"_s);
    QCOMPARE(region->itemCaption(region->itemIndex(u"Norte"_s)), u"Zona Norte"_s);
    region->setItemCaption(region->itemIndex(u"Norte"_s), u"Norte"_s);
    QVERIFY(region->definition().itemStates.isEmpty());
}

void tst_CubeEngine::collapsedField()
{
    Cube cube;
    defineSmallCube(cube);
    cube.loadRows(smallCubeTable());
    cube.fields().item(0)->setExpanded(false);
    // Norte, Sul, Total
    QCOMPARE(cube.rowCount(), 3);
    QCOMPARE(cube.rowHeadingText(2, 0), QString());
    QCOMPARE(cube.rowDepth(0), 1);
    QCOMPARE(cube.cellValue(0, 0).toDouble(), 0.30);
}

void tst_CubeEngine::hiddenDataFieldsAreLeftOut()
{
    Cube cube;
    defineSmallCube(cube);
    cube.loadRows(smallCubeTable());
    cube.dataFields().item(0)->setVisible(false);
    QCOMPARE(cube.columnCount(), 3);
    QCOMPARE(cube.columnHeadingLevels(), 1);
    QVERIFY(!cube.severalDataFieldsShown());
    QCOMPARE(cube.dataFieldAt(0), 1);
    QCOMPARE(cube.cellValue(2, 6).toDouble(), 6.0);
    cube.dataFields().item(1)->setVisible(false);
    QCOMPARE(cube.dataFieldAt(0), -1);
    QVERIFY(!cube.cellValue(0, 0).isValid());
    cube.dataFields().item(0)->setVisible(true);
    cube.dataFields().item(1)->setVisible(true);
    QCOMPARE(cube.columnCount(), 6);
}

void tst_CubeEngine::formatEvent()
{
    Cube cube;
    defineSmallCube(cube);
    cube.loadRows(smallCubeTable());
    QList<CellFormat> seen;
    cube.setCellFormatHandler([&seen](CellFormat &f) {
        seen << f;
        if (std::abs(f.dataField) == 1 && f.value >= 50 && f.value <= 150) {
            f.backColor = 65280;
            f.foreColor = 255;
        }
    });
    const CellFormat big = cube.cellFormat(2, 0); // Norte x 2024 = 100
    QCOMPARE(big.backColor, 65280u);
    QCOMPARE(big.foreColor, 255u);
    QCOMPARE(seen.last().dataField, 1);
    const CellFormat small = cube.cellFormat(0, 0); // Norte x 2023 empty: no event
    QCOMPARE(small.backColor, White);
    QCOMPARE(seen.size(), 1);
    cube.cellFormat(5, 6); // grand total of the count: negative number
    QCOMPARE(seen.last().dataField, -2);
    QCOMPARE(seen.last().value, 6.0);
}

void tst_CubeEngine::model()
{
    Cube cube;
    defineSmallCube(cube);
    cube.loadRows(smallCubeTable());
    CubeTableModel model(&cube);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 7);
    QCOMPARE(model.columnCount(), 6);
    QCOMPARE(model.headerData(2, Qt::Vertical).toString(), u"Norte - Total"_s);
    QCOMPARE(model.headerData(0, Qt::Horizontal, CubeTableModel::HeadingLevelsRole).toStringList(),
             (QStringList{u"2023"_s, u"Valor"_s}));
    QCOMPARE(model.data(model.index(1, 0), CubeTableModel::ValueRole).toDouble(), 0.30);
    QVERIFY(model.data(model.index(6, 4), CubeTableModel::TotalRole).toBool());
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    cube.fields().item(1)->setOrientation(Orientation::Page);
    cube.refresh();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 3);
}

void tst_CubeEngine::numberFormat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");
    QTest::newRow("grouped") << 1234567.891 << u"#,##0.00"_s << u"1.234.567,89"_s;
    QTest::newRow("small") << 0.5 << u"#,##0.00"_s << u"0,50"_s;
    QTest::newRow("negative") << -1234.5 << u"#,##0.00"_s << u"-1.234,50"_s;
    QTest::newRow("no decimals") << 1234.5 << u"0"_s << u"1235"_s;
    QTest::newRow("percent") << 0.125 << u"0.0%"_s << u"12,5%"_s;
    QTest::newRow("negative section") << -5.0 << u"#,##0.00;(#,##0.00)"_s << u"(5,00)"_s;
    QTest::newRow("general") << 12.5 << QString() << u"12,5"_s;
}

void tst_CubeEngine::numberFormat()
{
    QFETCH(double, value);
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QCOMPARE(formatNumber(value, format, QLocale(QLocale::Portuguese, QLocale::Brazil)), expected);
}

void tst_CubeEngine::datePartsMatchCalendar_data()
{
    // Worked out by hand from printed calendars, not by any code of ours. Weeks start on Sunday
    // and week 1 is the week holding 1 January, however short: the first Sunday of January opens
    // week 2 (or 1 January itself, when it is a Sunday). A leap year starting on a Saturday (2000,
    // 2028) has a one-day week 1 and a one-day week 54 on Sunday 31 December.
    QTest::addColumn<QString>("stored"); // as dt_lancamento holds it
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("quarter");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("week");
    auto row = [](const char *name, const char *stored, int year, int quarter, int month,
                  int week) {
        QTest::newRow(name) << QString::fromLatin1(stored) << year << quarter << month << week;
    };
    // 1999 starts on a Friday: week 1 is 1-2 January, weeks 2-52 are full, 53 holds the rest
    row("1999 last Saturday", "1999-12-25", 1999, 4, 12, 52);
    row("1999 last Sunday", "1999-12-26", 1999, 4, 12, 53);
    row("1999 ends on a Friday", "1999-12-31", 1999, 4, 12, 53);
    row("2000 starts on a Saturday", "2000-01-01", 2000, 1, 1, 1);
    row("2000 first Sunday", "2000-01-02", 2000, 1, 1, 2);
    row("2000 second Saturday", "2000-01-08", 2000, 1, 1, 2);
    row("2000 leap day", "2000-02-29", 2000, 1, 2, 10);
    row("2000 day after the leap day", "2000-03-01", 2000, 1, 3, 10);
    row("2000 first quarter ends", "2000-03-31", 2000, 1, 3, 14);
    row("2000 second quarter starts in the same week", "2000-04-01", 2000, 2, 4, 14);
    row("2000 second quarter ends", "2000-06-30", 2000, 2, 6, 27);
    row("2000 third quarter starts", "2000-07-01", 2000, 3, 7, 27);
    row("2000 third quarter ends on a Saturday", "2000-09-30", 2000, 3, 9, 40);
    row("2000 fourth quarter starts on a Sunday", "2000-10-01", 2000, 4, 10, 41);
    row("2000 last Saturday", "2000-12-30", 2000, 4, 12, 53);
    row("2000 ends on a Sunday in week 54", "2000-12-31", 2000, 4, 12, 54);
    row("2001 starts on a Monday", "2001-01-01", 2001, 1, 1, 1);
    row("2001 first Saturday", "2001-01-06", 2001, 1, 1, 1);
    row("2001 first Sunday", "2001-01-07", 2001, 1, 1, 2);
    row("2012 leap year starting on a Sunday ends in week 53", "2012-12-31", 2012, 4, 12, 53);
    row("2021 ends on a Friday", "2021-12-31", 2021, 4, 12, 53);
    row("2022 starts on a Saturday", "2022-01-01", 2022, 1, 1, 1);
    row("2022 first Sunday", "2022-01-02", 2022, 1, 1, 2);
    row("2022 first quarter ends", "2022-03-31", 2022, 1, 3, 14);
    row("2022 second quarter starts", "2022-04-01", 2022, 2, 4, 14);
    row("2022 last Sunday", "2022-12-25", 2022, 4, 12, 53);
    row("2022 ends on a Saturday", "2022-12-31", 2022, 4, 12, 53);
    row("2023 starts on a Sunday", "2023-01-01", 2023, 1, 1, 1);
    row("2023 first Saturday", "2023-01-07", 2023, 1, 1, 1);
    row("2023 second Sunday", "2023-01-08", 2023, 1, 1, 2);
    row("2023 February ends without a leap day", "2023-02-28", 2023, 1, 2, 9);
    row("2023 March starts", "2023-03-01", 2023, 1, 3, 9);
    row("2023 last Saturday", "2023-12-30", 2023, 4, 12, 52);
    row("2023 ends on a Sunday", "2023-12-31", 2023, 4, 12, 53);
    row("2024 leap day", "2024-02-29", 2024, 1, 2, 9);
    row("2024 day after the leap day", "2024-03-01", 2024, 1, 3, 9);
    row("2024 ends on a Tuesday", "2024-12-31", 2024, 4, 12, 53);
    row("2028 starts on a Saturday", "2028-01-01", 2028, 1, 1, 1);
    row("2028 leap day", "2028-02-29", 2028, 1, 2, 10);
    row("2028 day after the leap day", "2028-03-01", 2028, 1, 3, 10);
    row("2028 last Saturday", "2028-12-30", 2028, 4, 12, 53);
    row("2028 ends on a Sunday in week 54", "2028-12-31", 2028, 4, 12, 54);
    row("2029 starts on a Monday", "2029-01-01", 2029, 1, 1, 1);
    row("2100 February ends: a century year without a leap day", "2100-02-28", 2100, 1, 2, 10);
    row("2100 March starts", "2100-03-01", 2100, 1, 3, 10);
}

void tst_CubeEngine::datePartsMatchCalendar()
{
    QFETCH(QString, stored);
    QFETCH(int, year);
    QFETCH(int, quarter);
    QFETCH(int, month);
    QFETCH(int, week);
    const QList<std::pair<QString, int>> expected{
        {u"Ano"_s, year}, {u"Trimestre"_s, quarter}, {u"Mes"_s, month}, {u"Semana"_s, week}};
    const QHash<QString, QString> interval{{u"Ano"_s, u"yyyy"_s},
                                           {u"Trimestre"_s, u"q"_s},
                                           {u"Mes"_s, u"m"_s},
                                           {u"Semana"_s, u"ww"_s}};

    // the database's datepart, on the text as stored
    CashFixture fixture(0);
    TESSAL_REQUIRE_DATA_SOURCE(fixture);
    QSqlDatabase db = fixture.database();
    for (const auto &[caption, value] : expected) {
        QSqlQuery q(db);
        QVERIFY2(q.prepare(u"SELECT datepart(?, ?)"_s), qPrintable(q.lastError().text()));
        q.addBindValue(interval.value(caption));
        q.addBindValue(stored);
        QVERIFY2(q.exec() && q.next(), qPrintable(q.lastError().text()));
        QVERIFY2(!q.isNull(0), qPrintable(caption));
        QCOMPARE(q.value(0).toInt(), value);
    }

    // the analysis cube over one entry on that date
    QSqlQuery insert(db);
    QVERIFY(insert.prepare(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, "
                           "ds_complemento, vl_lancamento, dt_lancamento, cd_status, vl_saldo, "
                           "cd_baixa) VALUES ('0000000001', '001', '00001', '', 1, ?, 'C', 0, "
                           "'001')"_s));
    insert.addBindValue(stored);
    QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
    const CubeDefinition definition = analysisCubeDefinition(fixture.path());
    // Were the date parts not bound to the date column, the loader would ask the database for
    // them and this half would only repeat the first.
    QSqlQuery source(db);
    QVERIFY2(source.exec(definition.properties.recordSource),
             qPrintable(source.lastError().text()));
    QStringList columns;
    for (int i = 0; i < source.record().count(); ++i)
        columns << source.record().fieldName(i);
    source.finish();
    Cube cube;
    cube.setDefinition(definition);
    cube.load(db);
    QCOMPARE(byCaption(cube, u"Data"_s)->itemName(0), stored);
    for (const auto &[caption, value] : expected) {
        const CubeField *field = byCaption(cube, caption);
        QVERIFY2(field, qPrintable(caption));
        const auto binding = bindSource(field->sourceExpression(), columns, definition.properties);
        QVERIFY2(binding && binding->part != DatePart::None, qPrintable(caption));
        QCOMPARE(field->itemCount(), 1);
        QCOMPARE(field->itemName(0), QString::number(value));
    }
}

void tst_CubeEngine::manyDistinctTexts()
{
    // past 65,536 rows a column of mostly distinct texts is sorted instead of hashed: the items,
    // their order and their sums must not notice (guards both paths, each with nulls, repeats,
    // case variants, accents and a number among the texts)
    for (const int rows : {5000, 90000}) {
        RowTable t;
        t.columns = {u"remark"_s, u"amount"_s};
        QMap<QString, qint64> expected; // cents per remark, "" for the null rows
        for (int i = 0; i < rows; ++i) {
            QVariant remark;
            if (i % 7 == 3)
                remark = QVariant(); // null
            else if (i % 11 == 0)
                remark = u"repetido"_s;
            else if (i % 13 == 0)
                remark = 42; // a number among the texts
            else
                remark = QString((i % 2 ? u"Doc. "_s : u"doc. ação "_s) + QString::number(i));
            const qint64 cents = (i * 37) % 10000;
            t.rows << QVariantList{remark, double(cents) / 100.0};
            expected[remark.isNull() ? QString() : remark.toString()] += cents;
        }
        Cube cube;
        cube.addField(u"remark"_s, u"Obs"_s, Orientation::Row)->setGroupFooter(0);
        cube.addField(u"amount"_s, u"Valor"_s, Orientation::Data);
        cube.loadRows(t);
        CubeField *f = cube.fields().item(0);
        QCOMPARE(f->itemCount(), int(expected.size()));
        QCOMPARE(cube.rowCount(), int(expected.size()));
        QCOMPARE(f->itemName(0), QString()); // the null item comes first
        for (int i = 1; i + 1 < f->itemCount(); ++i) {
            const QString a = f->itemName(i), b = f->itemName(i + 1);
            const int c = a.compare(b, Qt::CaseInsensitive);
            QVERIFY2(c < 0 || (c == 0 && a < b), qPrintable(a + u" / "_s + b));
        }
        for (int r = 0; r < cube.rowCount(); ++r) {
            const QString name = f->itemName(cube.rowHeading(1, r).item);
            QCOMPARE(std::llround(cube.cellValue(0, r).toDouble() * 100), expected.value(name));
        }
        QVERIFY(f->itemIndex(u"repetido"_s) > 0);
        QVERIFY(f->itemIndex(u"42"_s) > 0);
    }
}

void tst_CubeEngine::missingSourceColumnIsAnError()
{
    Cube cube;
    cube.addField(u"nonexistent"_s, u"X"_s, Orientation::Row);
    try {
        cube.loadRows(smallCubeTable());
        QFAIL("loading a field without a source column must fail");
    } catch (const tessal::Error &e) {
        QCOMPARE(e.number(), tessal::ErrorNumber::DatabaseError);
        QVERIFY(e.description().contains(u"nonexistent"_s));
    }
}

void tst_CubeEngine::sameCellsOnBothEngines_data()
{
    QTest::addColumn<bool>("analysis"); // the analysis cube, else datePartsInSqlCube
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("analysis: year by month")
        << true << QStringList{u"Ano"_s} << QStringList{u"Mes"_s};
    QTest::newRow("analysis: account and description by settlement")
        << true << QStringList{u"Conta"_s, u"Padrão"_s} << QStringList{u"Situação"_s};
    QTest::newRow("analysis: week by quarter")
        << true << QStringList{u"Semana"_s} << QStringList{u"Trimestre"_s};
    QTest::newRow("analysis: remark and date by type")
        << true << QStringList{u"Histórico"_s, u"Data"_s} << QStringList{u"Status"_s};
    QTest::newRow("sql: year and quarter by settlement, nulls included")
        << false << QStringList{u"Ano"_s, u"Trimestre"_s} << QStringList{u"Situação"_s};
    QTest::newRow("sql: week by comparison")
        << false << QStringList{u"Semana"_s} << QStringList{u"Grande"_s};
    QTest::newRow("sql: expression in the select list by account")
        << false << QStringList{u"Trimestre e mês"_s} << QStringList{u"Conta"_s};
    QTest::newRow("sql: remark and length by month")
        << false << QStringList{u"Histórico"_s, u"Letras"_s} << QStringList{u"Mes"_s, u"Texto"_s};
}

void tst_CubeEngine::sameCellsOnBothEngines()
{
    QFETCH(bool, analysis);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, columns);
    if (!tessal::test::testsOnServer())
        QSKIP("the same entries on a server and in a file are compared in tst_cubeengine_pg");
    CashFixture server(600, 11);
    TESSAL_REQUIRE_DATA_SOURCE(server);
    CashFixture file(600, 11, CashFixture::Engine::SqliteFile);
    TESSAL_REQUIRE_DATA_SOURCE(file);
    QVERIFY(server.onServer());
    QStringList grids[2];
    QList<QStringList> items[2];
    int i = 0;
    for (const CashFixture *fixture : {&server, &file}) {
        Cube cube;
        cube.setDefinition(analysis ? analysisCubeDefinition(fixture->path())
                                    : datePartsInSqlCube(fixture->path()));
        cube.load(tessal::data::openDatabaseReadOnly(fixture->path()));
        // the inner join of the analysis cube drops the entries without a settlement type
        QCOMPARE(cube.loadedRowCount(), size_t(analysis ? 600 - 600 / 50 : 600));
        arrange(cube, rows, columns);
        grids[i] = gridText(cube);
        for (const CubeField *f : cube.fields()) {
            QStringList names{f->caption(), QString::number(int(f->valueKind()))};
            for (int item = 0; item < f->itemCount(); ++item)
                names << f->itemName(item);
            items[i] << names;
        }
        ++i;
    }
    // a grid of one total would make the comparison say little
    QVERIFY2(grids[1].size() > 8, qPrintable(grids[1].join(u'\n')));
    QCOMPARE(items[0], items[1]);
    QCOMPARE(grids[0], grids[1]);
}

// formatted numbers are checked in the program's locale, whatever the machine's
void tst_CubeEngine::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
}

QTEST_GUILESS_MAIN(tst_CubeEngine)
#include "tst_cubeengine.moc"
