#include "cube/cube.h"
#include "cube/ui/cubedocument.h"
#include "cube/ui/rgbcolor.h"
#include "testsupport/pdftext.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

using namespace tessal;
using namespace tessal::cube;
using namespace Qt::StringLiterals;

namespace {

const QString Header = u"Gerador de Relatórios"_s;
const QString Footer = u"- Page &P -"_s;

// A figure of the "#,##0.00" format, whichever separators the locale gives it: no heading,
// caption or page number has two decimals.
const QRegularExpression Figure(u"-?[0-9][0-9.,]*[.,][0-9]{2}\\b"_s);

void setCaptions(Cube &cube)
{
    cube.properties().headerCaption = Header;
    cube.properties().footerCaption = Footer;
}

// Eight groups of thirty lines, two years, the sum and the count of the values: 249 grid rows
// (with the group and grand totals), so that groups run across page breaks.
void defineLongCube(Cube &cube)
{
    RowTable t;
    t.columns = {u"grupo"_s, u"linha"_s, u"ano"_s, u"valor"_s};
    for (int g = 0; g < 8; ++g)
        for (int l = 0; l < 30; ++l)
            for (int year : {2023, 2024})
                t.rows << QVariantList{u"Grupo %1"_s.arg(QChar(u'A' + g)),
                                       u"Linha %1"_s.arg((g + 1) * 100 + l), year,
                                       (g * 30 + l) * 3.25 + (year - 2023) * 0.5};
    cube.addField(u"grupo"_s, u"Grupo"_s, Orientation::Row);
    cube.addField(u"linha"_s, u"Linha"_s, Orientation::Row);
    cube.addField(u"ano"_s, u"Ano"_s, Orientation::Column);
    cube.addField(u"valor"_s, u"Valor"_s, Orientation::Data)->setNumberFormat(u"#,##0.00"_s);
    CubeField *count = cube.addField(u"valor"_s, u"Quantidade"_s, Orientation::Data);
    count->setAggregate(Aggregate::Count);
    count->setName(u"contavalor"_s);
    setCaptions(cube);
    cube.loadRows(t);
}

// Fifty lines by forty columns of one "#,##0.00" field, a few cells empty, and one line whose
// heading is far too long for the paper: the grid needs several column bands and row pages.
void defineWideCube(Cube &cube)
{
    RowTable t;
    t.columns = {u"linha"_s, u"coluna"_s, u"valor"_s};
    for (int r = 0; r < 50; ++r)
        for (int c = 0; c < 40; ++c) {
            if ((r * 7 + c) % 13 == 0)
                continue;
            const QString line = r == 17 ? u"Linha 17 "_s + QString(200, u'x')
                                         : u"Linha %1"_s.arg(r, 2, 10, QLatin1Char('0'));
            t.rows << QVariantList{line, u"C%1"_s.arg(c, 2, 10, QLatin1Char('0')),
                                   (r * 40 + c) * 1.01};
        }
    cube.addField(u"linha"_s, u"Linha"_s, Orientation::Row);
    cube.addField(u"coluna"_s, u"Coluna"_s, Orientation::Column);
    cube.addField(u"valor"_s, u"Valor"_s, Orientation::Data)->setNumberFormat(u"#,##0.00"_s);
    setCaptions(cube);
    cube.loadRows(t);
}

QStringList figuresOf(const QString &text)
{
    QStringList out;
    for (auto it = Figure.globalMatch(text); it.hasNext();)
        out << it.next().captured();
    return out;
}

QStringList tokensOf(const QString &text, const QString &pattern)
{
    QStringList out;
    const QRegularExpression re(pattern);
    for (auto it = re.globalMatch(text); it.hasNext();)
        out << it.next().captured();
    out.sort();
    return out;
}

QImage render(const CubeDocument &document, int page, int dpi)
{
    const QSizeF points = document.pageLayout().fullRect(QPageLayout::Point).size();
    QImage image((points * dpi / 72.0).toSize(), QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    document.paintPage(painter, page);
    return image;
}

} // namespace

class tst_CubeDocument : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void captionsAndHeadingsOnEveryPage();
    void wideGridSplitsIntoColumnBandsWithEveryValueOnce();
    void formatHandlerColoursArePainted();
    void changedCubePaintsANoticeInsteadOfTheGrid_data();
    void changedCubePaintsANoticeInsteadOfTheGrid();

private:
    QStringList pdfPages(const CubeDocument &document);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Cube> m_cube;
};

void tst_CubeDocument::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_cube = std::make_unique<Cube>();
}

void tst_CubeDocument::cleanup()
{
    m_cube.reset();
    m_dir.reset();
}

QStringList tst_CubeDocument::pdfPages(const CubeDocument &document)
{
    const QString path = m_dir->filePath(u"grade.pdf"_s);
    if (!writePdf(document, path))
        return {};
    return test::pdfPages(path);
}

void tst_CubeDocument::captionsAndHeadingsOnEveryPage()
{
    defineLongCube(*m_cube);
    const Cube &cube = *m_cube;
    QCOMPARE(cube.rowCount(), 8 * 31 + 1);
    const CubeDocument document(cube, u"Análise"_s);
    QCOMPARE(document.columnBandCount(), 1);
    QCOMPARE(document.pageCount(),
             (cube.rowCount() + document.rowsPerPage() - 1) / document.rowsPerPage());
    QVERIFY(document.pageCount() >= 5);

    const QStringList pages = pdfPages(document);
    QCOMPARE(pages.size(), document.pageCount());
    int startsMidGroup = 0;
    int firstRow = 0;
    for (int p = 0; p < pages.size(); ++p) {
        const QString &page = pages[p];
        QVERIFY2(page.contains(Header), qPrintable(page));
        const QStringList numbers = tokensOf(page, u"- Page \\d+ -"_s);
        QCOMPARE(numbers, QStringList{u"- Page %1 -"_s.arg(p + 1)});
        for (const QString &heading :
             {u"Grupo"_s, u"Linha"_s, u"Ano"_s, u"2023"_s, u"2024"_s, u"Valor"_s, u"Quantidade"_s})
            QVERIFY2(page.contains(heading), qPrintable(u"%1 on page %2"_s.arg(heading).arg(p)));

        // The page runs down from where the page before stopped, a full page but for the last,
        // and shows the heading of every line on it and of no other.
        const int rows = std::min(document.rowsPerPage(), cube.rowCount() - firstRow);
        QStringList lines;
        QStringList groups;
        for (int r = firstRow; r < firstRow + rows; ++r) {
            const Heading line = cube.rowHeading(2, r);
            if (line.kind == Heading::Kind::Item)
                lines << line.text;
            const QString group = cube.rowHeadingText(1, r);
            if (cube.rowHeading(1, r).kind == Heading::Kind::Item && !groups.contains(group))
                groups << group;
        }
        lines.sort();
        QCOMPARE(tokensOf(page, u"Linha \\d+"_s), lines);
        // A group's heading stands once on each page it reaches, also when it began on an
        // earlier one.
        for (const QString &group : groups)
            QCOMPARE(page.count(group), 1);
        if (firstRow > 0 && cube.rowHeading(1, firstRow).kind == Heading::Kind::Item &&
            cube.rowHeadingText(1, firstRow) == cube.rowHeadingText(1, firstRow - 1))
            ++startsMidGroup;
        firstRow += rows;
    }
    QCOMPARE(firstRow, cube.rowCount());
    // Otherwise the repeated group heading was never put to the test.
    QVERIFY(startsMidGroup > 0);
}

void tst_CubeDocument::wideGridSplitsIntoColumnBandsWithEveryValueOnce()
{
    defineWideCube(*m_cube);
    const Cube &cube = *m_cube;
    const CubeDocument document(cube);
    QVERIFY(document.columnBandCount() >= 2);
    QVERIFY(document.rowPageCount() >= 2);
    QCOMPARE(document.pageCount(), document.columnBandCount() * document.rowPageCount());

    QStringList expected;
    for (int r = 0; r < cube.rowCount(); ++r)
        for (int c = 0; c < cube.columnCount(); ++c)
            if (const QString value = cube.formattedValue(c, r); !value.isEmpty())
                expected << value;
    QVERIFY(expected.size() > 1500);

    const QStringList pages = pdfPages(document);
    QCOMPARE(pages.size(), document.pageCount());
    QStringList printed;
    for (const QString &page : pages)
        printed << figuresOf(page);
    expected.sort();
    printed.sort();
    QCOMPARE(printed, expected);

    // Pages go down the rows of a band before the next band begins; every page repeats its
    // band's column headings and its rows' headings.
    const int down = document.rowPageCount();
    const QString columnPattern = u"\\bC\\d\\d\\b"_s;
    const QString rowPattern = u"Linha \\d\\d"_s;
    QStringList bands;
    for (int p = 0; p < pages.size(); ++p) {
        const QStringList columns = tokensOf(pages[p], columnPattern);
        const QStringList rows = tokensOf(pages[p], rowPattern);
        QVERIFY(!columns.isEmpty());
        QVERIFY(!rows.isEmpty());
        if (p % down > 0) {
            QCOMPARE(columns, tokensOf(pages[p - 1], columnPattern));
            QVERIFY(rows != tokensOf(pages[p - 1], rowPattern));
        } else {
            bands << columns;
            if (p > 0)
                QCOMPARE(rows, tokensOf(pages[0], rowPattern));
        }
    }
    QStringList allColumns;
    for (int c = 0; c < cube.columnCount(); ++c)
        if (cube.columnHeading(1, c).kind == Heading::Kind::Item)
            allColumns << cube.columnHeadingText(1, c);
    bands.sort();
    QCOMPARE(bands, allColumns);

    // However long a heading, the band fits on the paper.
    const qreal paperWidth = document.pageLayout().fullRect(QPageLayout::Point).width();
    for (int p = 0; p < document.pageCount(); ++p) {
        const CubeDocument::Place place = document.place(p);
        const QRectF last =
            document.cellRect(p, place.firstColumn + place.columnCount - 1, place.firstRow);
        QVERIFY(!last.isEmpty());
        QVERIFY2(last.right() <= paperWidth - 20, qPrintable(QString::number(last.right())));
    }
}

void tst_CubeDocument::formatHandlerColoursArePainted()
{
    defineWideCube(*m_cube);
    // Large values on red, small ones in blue on the default white.
    m_cube->setCellFormatHandler([](CellFormat &format) {
        if (format.dataField > 0 && format.value > 1000)
            format.backColor = rgbLongFromColor(Qt::red);
        else if (format.dataField > 0 && format.value < 100)
            format.foreColor = rgbLongFromColor(Qt::blue);
    });
    const Cube &cube = *m_cube;
    const CubeDocument document(cube);
    // The first page of the second band: the cells' places are not those of the first page, and
    // its rows hold small, middling and large values.
    const int page = document.rowPageCount();
    const CubeDocument::Place place = document.place(page);
    QCOMPARE(place.firstRow, 0);
    QVERIFY(place.firstColumn > 0);
    QVERIFY(place.rowCount > 0 && place.columnCount > 0);

    constexpr int Dpi = 96;
    const QImage image = render(document, page, Dpi);
    auto pixelAt = [&](QPointF points) {
        return image.pixelColor((points * Dpi / 72.0).toPoint());
    };
    int red = 0;
    int blue = 0;
    int plain = 0;
    for (int r = place.firstRow; r < place.firstRow + place.rowCount; ++r) {
        for (int c = place.firstColumn; c < place.firstColumn + place.columnCount; ++c) {
            const QVariant value = cube.cellValue(c, r);
            if (!value.isValid() || cube.isTotalRow(r) || cube.isTotalColumn(c))
                continue;
            const QRectF cell = document.cellRect(page, c, r);
            QVERIFY(!cell.isEmpty());
            // The text stands on the right: the cell's left part shows its background.
            const QColor back = pixelAt(QPointF(cell.left() + 2.5, cell.center().y()));
            if (value.toDouble() > 1000) {
                QCOMPARE(back, QColor(Qt::red));
                ++red;
                continue;
            }
            QCOMPARE(back, QColor(Qt::white));
            bool bluish = false;
            for (qreal x = cell.left(); x < cell.right() && !bluish; x += 0.5) {
                const QColor ink = pixelAt(QPointF(x, cell.center().y()));
                bluish = ink.blue() > ink.red() + 60;
            }
            QCOMPARE(bluish, value.toDouble() < 100);
            ++(bluish ? blue : plain);
        }
    }
    // None of the three kinds of cell may be missing, or its check was never made.
    QVERIFY(red > 0);
    QVERIFY(blue > 0);
    QVERIFY(plain > 0);
}

void tst_CubeDocument::changedCubePaintsANoticeInsteadOfTheGrid_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("nothing") << u"nothing"_s;
    QTest::newRow("field moved and refreshed") << u"moved"_s;
    QTest::newRow("field moved, not refreshed") << u"moved without refresh"_s;
    QTest::newRow("fewer rows") << u"fewer rows"_s;
    QTest::newRow("cube deleted") << u"deleted"_s;
}

void tst_CubeDocument::changedCubePaintsANoticeInsteadOfTheGrid()
{
    QFETCH(QString, change);
    defineLongCube(*m_cube);
    const CubeDocument document(*m_cube);
    const int pages = document.pageCount();
    if (change == u"moved"_s || change == u"moved without refresh"_s) {
        m_cube->rowFields().item(0)->setOrientation(Orientation::Column);
        if (change == u"moved"_s)
            m_cube->refresh();
    } else if (change == u"fewer rows"_s) {
        CubeField *group = m_cube->rowFields().item(0);
        for (int i = 1; i < group->itemCount(); ++i)
            group->setItemIncluded(i, false);
        m_cube->refresh();
        QVERIFY(m_cube->rowCount() < document.rowsPerPage());
    } else if (change == u"deleted"_s) {
        m_cube.reset();
    }
    const bool unchanged = change == u"nothing"_s;
    QCOMPARE(document.isCurrent(), unchanged);
    QCOMPARE(document.pageCount(), pages);

    // Every page paints, the last ones too (they lie past the end of a shorter grid).
    for (int p = 0; p < pages; ++p)
        QVERIFY(!render(document, p, 30).isNull());
    const QStringList text = pdfPages(document);
    QCOMPARE(text.size(), pages);
    for (int p = 0; p < pages; ++p) {
        QVERIFY(text[p].contains(u"- Page %1 -"_s.arg(p + 1)));
        QCOMPARE(text[p].contains(u"abra-a de novo"_s), !unchanged);
        QCOMPARE(figuresOf(text[p]).isEmpty(), !unchanged);
    }
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    tst_CubeDocument test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cubedocument.moc"
