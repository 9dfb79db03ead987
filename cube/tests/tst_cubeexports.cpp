#include "core/error.h"
#include "cube/cube.h"
#include "cube/exports.h"
#include "cube/xls/biff8writer.h"
#include "cubefixture.h"
#include "testsupport/filesizelimit.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>
#include <QtEndian>
#include <cmath>
#include <freexl.h>
#include <utility>

using namespace Qt::StringLiterals;
using namespace tessal::cube;
using tessal::cube::test::defineSmallCube;
using tessal::cube::test::smallCubeTable;

namespace {

// What an independent reader finds in a spreadsheet file.
struct ReadBack
{
    bool ok = false;
    unsigned biffVersion = 0;
    unsigned sheets = 0;
    unsigned xfs = 0;
    unsigned rows = 0;
    unsigned short columns = 0;
    QList<QVariantList> cells; // QString, double, or invalid
};

ReadBack readWithFreexl(const QString &path)
{
    ReadBack rb;
    const void *handle = nullptr;
    if (freexl_open(QFile::encodeName(path).constData(), &handle) != FREEXL_OK)
        return rb;
    freexl_get_info(handle, FREEXL_BIFF_VERSION, &rb.biffVersion);
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &rb.sheets);
    freexl_get_info(handle, FREEXL_BIFF_XF_COUNT, &rb.xfs);
    if (freexl_select_active_worksheet(handle, 0) == FREEXL_OK &&
        freexl_worksheet_dimensions(handle, &rb.rows, &rb.columns) == FREEXL_OK) {
        rb.ok = true;
        for (unsigned r = 0; r < rb.rows; ++r) {
            QVariantList line;
            for (unsigned short c = 0; c < rb.columns; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK) {
                    rb.ok = false;
                    line << QVariant();
                    continue;
                }
                switch (v.type) {
                case FREEXL_CELL_INT:
                    line << double(v.value.int_value);
                    break;
                case FREEXL_CELL_DOUBLE:
                    line << v.value.double_value;
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    line << QString::fromUtf8(v.value.text_value);
                    break;
                default:
                    line << QVariant();
                }
            }
            rb.cells << line;
        }
    }
    freexl_close(handle);
    return rb;
}

// The HTML table as a grid, spans unfolded: each covered position repeats the spanning cell.
QList<QStringList> readHtmlTable(const QByteArray &html, QStringList *styles = nullptr)
{
    QList<QStringList> grid;
    QXmlStreamReader xml(html);
    int row = -1;
    QString text;
    int rowSpan = 1, colSpan = 1;
    QHash<QPair<int, int>, QString> taken;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"tr"_s) {
            ++row;
            grid.append(QStringList());
        } else if (xml.isStartElement() && (xml.name() == u"td"_s || xml.name() == u"th"_s)) {
            rowSpan = qMax(1, xml.attributes().value(u"rowspan"_s).toInt());
            colSpan = qMax(1, xml.attributes().value(u"colspan"_s).toInt());
            if (styles && xml.attributes().hasAttribute(u"style"_s))
                styles->append(xml.attributes().value(u"style"_s).toString());
            text = xml.readElementText();
            int col = 0;
            while (taken.contains({row, col}))
                ++col;
            for (int r = row; r < row + rowSpan; ++r)
                for (int c = col; c < col + colSpan; ++c)
                    taken.insert({r, c}, text);
        }
    }
    if (xml.hasError())
        qWarning() << "html:" << xml.errorString();
    for (int r = 0; r <= row; ++r) {
        int cols = 0;
        while (taken.contains({r, cols}))
            ++cols;
        for (int c = 0; c < cols; ++c)
            grid[r] << taken.value({r, c});
    }
    return grid;
}

// One field of a CSV line, and whether it was written between quotes.
struct CsvField
{
    QString text;
    bool quoted = false;
};

// Comma-separated lines, fields optionally in double quotes with "" for a quote inside.
QList<QList<CsvField>> readCsv(const QString &text)
{
    QList<QList<CsvField>> lines;
    QList<CsvField> line;
    CsvField field;
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (inQuotes) {
            if (ch == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field.text += ch;
                ++i;
            } else if (ch == u'"') {
                inQuotes = false;
            } else {
                field.text += ch;
            }
        } else if (ch == u'"') {
            inQuotes = true;
            field.quoted = true;
        } else if (ch == u',') {
            line << std::exchange(field, CsvField());
        } else if (ch == u'\n') {
            line << std::exchange(field, CsvField());
            lines << std::exchange(line, {});
        } else if (ch != u'\r') {
            field.text += ch;
        }
    }
    if (!field.text.isEmpty() || field.quoted || !line.isEmpty()) {
        line << field;
        lines << line;
    }
    return lines;
}

} // namespace

class tst_Exports : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void spreadsheetReadBack_data();
    void spreadsheetReadBack();
    void spreadsheetStylesFollowOptions();
    void largeWorkbookCrossesRecordAndSectorLimits();
    void gridWiderThanTheFormatIsRefused();
    void stringIndexPointsAtTheStrings();
    void libreOfficeOpensTheWorkbook();
    void html_data();
    void html();
    void hiddenDataFieldsAreLeftOut();
    void fullDiskKeepsThePreviousExport_data();
    void fullDiskKeepsThePreviousExport();

private:
    std::unique_ptr<Cube> m_cube;
    QTemporaryDir m_dir;
};

void tst_Exports::init()
{
    m_cube = std::make_unique<Cube>();
    defineSmallCube(*m_cube);
    m_cube->loadRows(smallCubeTable());
    // red on green for values from 50 to 150, like a data marker would
    m_cube->setCellFormatHandler([](CellFormat &f) {
        if (std::abs(f.dataField) == 1 && f.value >= 50 && f.value <= 150) {
            f.backColor = 65280;
            f.foreColor = 255;
        }
    });
}

// 300 years on the column axis do not fit the format's 256 columns: the export must say so
// instead of writing a workbook whose right-hand part is silently missing.
void tst_Exports::gridWiderThanTheFormatIsRefused()
{
    RowTable table;
    table.columns = {u"region"_s, u"product"_s, u"year"_s, u"amount"_s};
    for (int year = 1800; year < 2100; ++year)
        table.rows << QVariantList{u"Sul"_s, u"x"_s, year, 1.0};
    Cube wide;
    defineSmallCube(wide);
    wide.loadRows(table);
    const QString path = m_dir.filePath(u"wide.xls"_s);
    QVERIFY_THROWS_EXCEPTION(tessal::Error, exportSpreadsheetFile(wide, path, ExportOptions{}));
    QVERIFY(!QFile::exists(path));
    // The same cube still exports as HTML, which has no such limit.
    QVERIFY(exportHtmlFile(wide, m_dir.filePath(u"wide.htm"_s), ExportOptions{}));
}

void tst_Exports::spreadsheetReadBack_data()
{
    QTest::addColumn<bool>("totals");
    QTest::addColumn<bool>("formatted");
    QTest::addColumn<bool>("colors");
    QTest::addColumn<bool>("merge");
    QTest::newRow("all options") << true << true << true << true;
    QTest::newRow("no options") << false << false << false << false;
    QTest::newRow("no totals") << false << true << true << true;
    QTest::newRow("no merge") << true << true << true << false;
}

void tst_Exports::spreadsheetReadBack()
{
    QFETCH(bool, totals);
    QFETCH(bool, formatted);
    QFETCH(bool, colors);
    QFETCH(bool, merge);
    const QString path = m_dir.filePath(u"ExcelExport.xls"_s);
    QVERIFY(exportSpreadsheetFile(*m_cube, path, {totals, formatted, colors, merge}));
    const ReadBack rb = readWithFreexl(path);
    QVERIFY(rb.ok);
    QCOMPARE(rb.biffVersion, unsigned(FREEXL_BIFF_VER_8));
    QCOMPARE(rb.sheets, 1u);

    // two heading rows (year, data field) and two heading columns (region, product)
    const int shownRows = totals ? 7 : 4;
    const int shownColumns = totals ? 6 : 4;
    QCOMPARE(int(rb.rows), 2 + shownRows);
    QCOMPARE(int(rb.columns), 2 + shownColumns);
    int sheetRow = 2;
    for (int r = 0; r < m_cube->rowCount(); ++r) {
        if (!totals && m_cube->isTotalRow(r))
            continue;
        int sheetColumn = 2;
        for (int c = 0; c < m_cube->columnCount(); ++c) {
            if (!totals && m_cube->isTotalColumn(c))
                continue;
            const QVariant expected = m_cube->cellValue(c, r);
            const QVariant got = rb.cells[sheetRow][sheetColumn];
            if (!expected.isValid()) {
                QVERIFY(!got.isValid());
            } else {
                // numbers are stored as numbers whatever the display format
                QCOMPARE(got.typeId(), int(QMetaType::Double));
                QCOMPARE(got.toDouble(), expected.toDouble());
            }
            ++sheetColumn;
        }
        ++sheetRow;
    }
    QCOMPARE(rb.cells[0][2].toString(), u"2023"_s);
    QCOMPARE(rb.cells[1][3].toString(), u"Quantidade"_s);
    QCOMPARE(rb.cells[2][0].toString(), u"Norte"_s);
    QCOMPARE(rb.cells[2][1].toString(), u"x"_s);
    // the repeated heading: empty under a merge, repeated without
    QCOMPARE(rb.cells[3][0].toString(), merge ? QString() : u"Norte"_s);
    QCOMPARE(rb.cells[0][3].toString(), merge ? QString() : u"2023"_s);
    bool anyTotal = false;
    for (const QVariantList &line : rb.cells)
        for (const QVariant &v : line)
            anyTotal |= v.toString() == u"Total"_s;
    QCOMPARE(anyTotal, totals);
}

void tst_Exports::spreadsheetStylesFollowOptions()
{
    const QString plain = m_dir.filePath(u"plain.xls"_s);
    const QString rich = m_dir.filePath(u"rich.xls"_s);
    QVERIFY(exportSpreadsheetFile(*m_cube, plain, {true, false, false, true}));
    QVERIFY(exportSpreadsheetFile(*m_cube, rich, {true, true, true, true}));
    const ReadBack a = readWithFreexl(plain);
    const ReadBack b = readWithFreexl(rich);
    QVERIFY(a.ok && b.ok);
    // painted cells and formatted numbers need XFs of their own
    QVERIFY(b.xfs > a.xfs);
    auto contents = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray bytes = contents(rich);
    // freexl keeps only date formats, so look for the FORMAT record's UTF-16 text itself
    const QString format = u"#,##0.00"_s;
    const QByteArray utf16(reinterpret_cast<const char *>(format.utf16()), format.size() * 2);
    QVERIFY(bytes.contains(utf16));
    QVERIFY(!contents(plain).contains(utf16));
    QVERIFY(bytes.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"));
    // the palette holds pure green (R=0, G=255, B=0) for the painted cells
    QVERIFY(bytes.contains(QByteArray("\x00\xFF\x00\x00", 4)));
}

void tst_Exports::largeWorkbookCrossesRecordAndSectorLimits()
{
    // long strings overflow the string table into CONTINUE records; sixty thousand rows of
    // numbers need more FAT sectors than the header can list
    xls::Workbook book(u"Grande"_s);
    const int rows = 60000;
    for (int r = 0; r < rows; ++r) {
        if (r < 3000)
            book.setText(r, 0, u"Lançamento número %1 com um complemento bem comprido"_s.arg(r));
        for (int c = 1; c < 12; ++c)
            book.setNumber(r, c, r * 12 + c + 0.25);
    }
    const QString path = m_dir.filePath(u"grande.xls"_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    const QByteArray bytes = book.toFile();
    QVERIFY(bytes.size() > 7 * 1024 * 1024);
    f.write(bytes);
    f.close();
    const ReadBack rb = readWithFreexl(path);
    QVERIFY(rb.ok);
    QCOMPARE(int(rb.rows), rows);
    for (int r : {0, 1234, 2999}) {
        QCOMPARE(rb.cells[r][0].toString(),
                 u"Lançamento número %1 com um complemento bem comprido"_s.arg(r));
    }
    QCOMPARE(rb.cells[59999][11].toDouble(), 59999 * 12 + 11 + 0.25);
    QVERIFY(!rb.cells[3000][0].isValid());
}

void tst_Exports::stringIndexPointsAtTheStrings()
{
    // EXTSST tells Excel where every n-th shared string starts; wrong positions make it repair
    // the file. Read the stream record by record and check each position against the strings.
    xls::Workbook book(u"Textos"_s);
    QStringList texts;
    for (int i = 0; i < 3000; ++i) {
        texts << u"Histórico %1: %2"_s.arg(i).arg(QString(i % 37, u'x'));
        book.setText(i, 0, texts.last());
    }
    const QByteArray stream = book.workbookStream();
    auto u16 = [&stream](qsizetype at) {
        return qFromLittleEndian<quint16>(stream.constData() + at);
    };
    auto u32 = [&stream](qsizetype at) {
        return qFromLittleEndian<quint32>(stream.constData() + at);
    };
    qsizetype at = 0;
    qsizetype extsst = -1;
    while (at + 4 <= stream.size()) {
        const quint16 type = u16(at), size = u16(at + 2);
        if (type == 0x00FF)
            extsst = at;
        if (type == 0x000A)
            break; // end of the globals
        at += 4 + size;
    }
    QVERIFY(extsst > 0);
    const quint16 perBucket = u16(extsst + 4);
    const int buckets = (u16(extsst + 2) - 2) / 8;
    QCOMPARE(buckets, int((texts.size() + perBucket - 1) / perBucket));
    for (int b = 0; b < buckets; ++b) {
        const quint32 position = u32(extsst + 6 + b * 8);
        const quint16 inRecord = u16(extsst + 6 + b * 8 + 4);
        const quint16 recordType = u16(position - inRecord);
        QVERIFY(recordType == 0x00FC || recordType == 0x003C);
        const QString &expected = texts[b * perBucket];
        QCOMPARE(int(u16(position)), int(expected.size()));
        QCOMPARE(int(stream[position + 2]), 1);
        QCOMPARE(QChar(u16(position + 3)), expected.at(0));
    }
}

// LibreOffice is the reader closest to what operators open the export with. It runs with a
// profile of its own (parallel test runs would otherwise share, and lock, one) and in the C
// locale, so that its CSV writes "117.05" whatever LANG the tests run under; the numbers are
// then read back with the C locale, and a text written in any other form fails to parse.
void tst_Exports::libreOfficeOpensTheWorkbook()
{
    QString office = QStandardPaths::findExecutable(u"soffice"_s);
    if (office.isEmpty())
        office = QStandardPaths::findExecutable(u"libreoffice"_s);
    if (office.isEmpty())
        QFAIL("LibreOffice (soffice) is not installed: scripts/install-deps.sh installs "
              "libreoffice-calc-nogui");
    const QString path = m_dir.filePath(u"ExcelExport.xls"_s);
    QVERIFY(exportSpreadsheetFile(*m_cube, path, {true, false, true, true}));
    const ReadBack rb = readWithFreexl(path);
    QVERIFY(rb.ok);

    QTemporaryDir profile;
    QVERIFY(profile.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : env.keys()) {
        if (name == u"LANG"_s || name == u"LANGUAGE"_s || name.startsWith(u"LC_"_s))
            env.remove(name);
    }
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    // CSV options: comma, double quote, UTF-8, from line 1, every text cell quoted (so that a
    // number LibreOffice took for text shows), cells written as shown
    const QString csvFilter = u"csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,false,true"_s;
    p.start(office, {u"-env:UserInstallation="_s + QUrl::fromLocalFile(profile.path()).toString(),
                     u"--headless"_s, u"--norestore"_s, u"--convert-to"_s, csvFilter, u"--outdir"_s,
                     m_dir.path(), path});
    QVERIFY2(p.waitForStarted(), qPrintable(p.errorString()));
    // a first start sets up the fresh profile, which takes a while on a busy machine
    if (!p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished();
        QFAIL(qPrintable(u"LibreOffice did not finish: "_s + QString::fromUtf8(p.readAll())));
    }
    const QString output = QString::fromUtf8(p.readAll());
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, qPrintable(output));
    QFile csv(m_dir.filePath(u"ExcelExport.csv"_s));
    QVERIFY2(csv.open(QIODevice::ReadOnly), qPrintable(output));
    const QList<QList<CsvField>> sheet = readCsv(QString::fromUtf8(csv.readAll()));

    // LibreOffice must see the grid freexl sees, cell by cell
    QCOMPARE(sheet.size(), int(rb.rows));
    for (int r = 0; r < sheet.size(); ++r) {
        QCOMPARE(sheet[r].size(), int(rb.columns));
        for (int c = 0; c < sheet[r].size(); ++c) {
            const CsvField &got = sheet[r][c];
            const QVariant &expected = rb.cells[r][c];
            const QByteArray where = "row " + QByteArray::number(r) + ", column " +
                                     QByteArray::number(c) + ": " + got.text.toUtf8();
            if (expected.typeId() == QMetaType::Double) {
                QVERIFY2(!got.quoted, where.constData());
                bool ok = false;
                const double value = QLocale::c().toDouble(got.text, &ok);
                QVERIFY2(ok, where.constData());
                QCOMPARE(value, expected.toDouble());
            } else {
                QCOMPARE(got.text, expected.toString());
                QCOMPARE(got.quoted, !got.text.isEmpty());
            }
        }
    }
    QCOMPARE(sheet[2][0].text, u"Norte"_s);
    // the grand total of Valor, worked out by hand from the fixture's six amounts
    QCOMPARE(sheet[8][6].text, u"117.05"_s);
}

void tst_Exports::html_data()
{
    QTest::addColumn<bool>("totals");
    QTest::addColumn<bool>("formatted");
    QTest::addColumn<bool>("colors");
    QTest::addColumn<bool>("merge");
    QTest::newRow("all options") << true << true << true << true;
    QTest::newRow("no options") << false << false << false << false;
    QTest::newRow("totals only") << true << false << false << false;
}

void tst_Exports::html()
{
    QFETCH(bool, totals);
    QFETCH(bool, formatted);
    QFETCH(bool, colors);
    QFETCH(bool, merge);
    const QString path = m_dir.filePath(u"HtmlExport.htm"_s);
    QVERIFY(exportHtmlFile(*m_cube, path, {totals, formatted, colors, merge}));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray html = f.readAll();
    QStringList styles;
    const QList<QStringList> grid = readHtmlTable(html, &styles);
    QCOMPARE(grid.size(), 2 + (totals ? 7 : 4));
    for (const QStringList &line : grid)
        QCOMPARE(line.size(), 2 + (totals ? 6 : 4));
    // spans unfold to the same grid whether merged or not
    QCOMPARE(grid[3][0], u"Norte"_s);
    QCOMPARE(grid[0][3], u"2023"_s);
    QCOMPARE(html.contains("rowspan"), merge);
    QCOMPARE(html.contains(">Total<"), totals);
    // Norte x 2024 Valor: 100, painted by the format event
    QCOMPARE(grid[2][4], formatted ? u"100,00"_s : u"100"_s);
    if (totals)
        QCOMPARE(grid[8][6], formatted ? u"117,05"_s : u"117.05"_s);
    QCOMPARE(styles.contains(u"background-color: #00ff00; color: #ff0000"_s), colors);
}

void tst_Exports::hiddenDataFieldsAreLeftOut()
{
    m_cube->dataFields().item(1)->setVisible(false);
    const QByteArray html = htmlExport(*m_cube, {});
    QVERIFY(!html.contains("Quantidade"));
    const QString path = m_dir.filePath(u"hidden.xls"_s);
    QVERIFY(exportSpreadsheetFile(*m_cube, path, {}));
    const ReadBack rb = readWithFreexl(path);
    QVERIFY(rb.ok);
    QCOMPARE(int(rb.columns), 2 + 3);
    QCOMPARE(rb.cells[0][0].toString(), u"Valor"_s); // the one data field names the corner
}

void tst_Exports::fullDiskKeepsThePreviousExport_data()
{
    QTest::addColumn<bool>("html");
    QTest::newRow("html") << true;
    QTest::newRow("spreadsheet") << false;
}

// Regression: the disk filling up while the last buffered bytes went out used to leave the new
// file cut at the limit, in place of the previous export, and report success.
void tst_Exports::fullDiskKeepsThePreviousExport()
{
    QFETCH(bool, html);
    const QString path = m_dir.filePath(html ? u"HtmlExport.htm"_s : u"ExcelExport.xls"_s);
    auto write = [&](const ExportOptions &options) {
        return html ? exportHtmlFile(*m_cube, path, options)
                    : exportSpreadsheetFile(*m_cube, path, options);
    };
    QVERIFY(write({false, false, false, false}));
    QFile previous(path);
    QVERIFY(previous.open(QIODevice::ReadOnly));
    const QByteArray before = previous.readAll();
    previous.close();
    const QStringList files = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    // below either file's size, and the limit is what stops the write: both checked
    QVERIFY(before.size() > 512);
    {
        const tessal::test::FileSizeLimit limit(512);
        QVERIFY(limit.isSet());
        QVERIFY(!write({}));
    }
    QVERIFY(previous.open(QIODevice::ReadOnly));
    QCOMPARE(previous.readAll(), before);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), files);
    QVERIFY(write({}));
}

// formatted numbers are checked in the program's locale, whatever the machine's
void tst_Exports::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
}

QTEST_GUILESS_MAIN(tst_Exports)
#include "tst_cubeexports.moc"
