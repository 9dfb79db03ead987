#include "core/appcontext.h"
#include "cube/cube.h"
#include "cube/exports.h"
#include "cube/tests/cubefixture.h"
#include "cubetools/fexport.h"
#include "testsupport/filesizelimit.h"
#include "testsupport/immutabledirectory.h"
#include "testsupport/pdftext.h"
#include "testsupport/testcontext.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>
#include <cmath>
#include <freexl.h>
#include <optional>

using namespace tessal;
using namespace tessal::cube;
using namespace Qt::StringLiterals;

namespace {

const QString HtmlName = u"HtmlExport.htm"_s;
const QString SpreadsheetName = u"ExcelExport.xls"_s;
// the colours the tests' format event paints Valor cells from 50 to 150 with
constexpr quint32 MarkerBack = 0x00ff00;
constexpr quint32 MarkerFore = 0x0000ff;
const QString MarkerStyle = u"background-color: #00ff00; color: #ff0000"_s;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One cell as a reader found it: its text as shown and, for a number, its value.
struct SheetCell
{
    QString text;
    std::optional<double> value;
    QString style; // the HTML cell's style attribute
};
using Grid = QList<QList<SheetCell>>;

// Places a cell that spans rows and columns on every position it covers, so that merged and
// unmerged exports compare position by position.
class GridBuilder
{
public:
    void newRow() { ++m_row; }
    void add(const SheetCell &cell, int rowSpan, int colSpan)
    {
        int col = 0;
        while (m_taken.contains({m_row, col}))
            ++col;
        for (int r = m_row; r < m_row + rowSpan; ++r)
            for (int c = col; c < col + colSpan; ++c)
                m_taken.insert({r, c}, cell);
        m_spans += rowSpan > 1 || colSpan > 1 ? 1 : 0;
    }
    int spans() const { return m_spans; }
    Grid grid() const
    {
        Grid g;
        for (int r = 0; r <= m_row; ++r) {
            QList<SheetCell> line;
            for (int c = 0; m_taken.contains({r, c}); ++c)
                line << m_taken.value({r, c});
            g << line;
        }
        return g;
    }

private:
    int m_row = -1;
    int m_spans = 0;
    QHash<QPair<int, int>, SheetCell> m_taken;
};

QString unescapeHtml(QString text)
{
    static const QRegularExpression tags(u"<[^>]*>"_s);
    text.remove(tags);
    text.replace(u"&nbsp;"_s, u"\u00a0"_s)
        .replace(u"&lt;"_s, u"<"_s)
        .replace(u"&gt;"_s, u">"_s)
        .replace(u"&quot;"_s, u"\""_s)
        .replace(u"&#39;"_s, u"'"_s)
        .replace(u"&amp;"_s, u"&"_s);
    return text;
}

// The first table of an HTML text, as a browser serialises it or as the export wrote it (an
// HTML serialisation is not XML, hence tags rather than an XML reader).
Grid htmlTable(const QString &html, int *spans = nullptr)
{
    static const QRegularExpression tag(u"<(/?)(tr|td|th)\\b([^>]*)>"_s,
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression rowSpan(u"rowspan=\"(\\d+)\""_s);
    static const QRegularExpression colSpan(u"colspan=\"(\\d+)\""_s);
    static const QRegularExpression style(u"style=\"([^\"]*)\""_s);
    GridBuilder builder;
    qsizetype cellStart = -1;
    QString attributes;
    for (const QRegularExpressionMatch &m : tag.globalMatch(html)) {
        const bool closing = !m.captured(1).isEmpty();
        const QString name = m.captured(2).toLower();
        if (name == u"tr"_s) {
            if (!closing)
                builder.newRow();
        } else if (!closing) {
            cellStart = m.capturedEnd();
            attributes = m.captured(3);
        } else if (cellStart >= 0) {
            SheetCell cell;
            cell.text = unescapeHtml(html.mid(cellStart, m.capturedStart() - cellStart));
            const QRegularExpressionMatch s = style.match(attributes);
            if (s.hasMatch())
                cell.style = s.captured(1);
            const QRegularExpressionMatch rs = rowSpan.match(attributes);
            const QRegularExpressionMatch cs = colSpan.match(attributes);
            builder.add(cell, rs.hasMatch() ? rs.captured(1).toInt() : 1,
                        cs.hasMatch() ? cs.captured(1).toInt() : 1);
            cellStart = -1;
        }
    }
    if (spans)
        *spans = builder.spans();
    return builder.grid();
}

// The first sheet of a flat OpenDocument spreadsheet: values as written in office:value, which
// is locale-free, and the text as LibreOffice shows it.
Grid flatOdsSheet(const QByteArray &fods, int *spans = nullptr)
{
    QXmlStreamReader xml(fods);
    GridBuilder builder;
    bool inTable = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.qualifiedName() == u"table:table"_s)
            break;
        if (!xml.isStartElement())
            continue;
        const QStringView name = xml.qualifiedName();
        if (name == u"table:table"_s) {
            inTable = true;
        } else if (inTable && name == u"table:table-row"_s) {
            // covered cells need nothing: the spanning cell has taken their places
            builder.newRow();
        } else if (inTable && name == u"table:table-cell"_s) {
            const QXmlStreamAttributes a = xml.attributes();
            SheetCell cell;
            if (a.value(u"office:value-type"_s) == u"float"_s) {
                bool ok = false;
                cell.value = a.value(u"office:value"_s).toDouble(&ok);
                if (!ok)
                    cell.value.reset();
            }
            const int repeated =
                qBound(1, a.value(u"table:number-columns-repeated"_s).toInt(), 1024);
            const int rowSpan = qMax(1, a.value(u"table:number-rows-spanned"_s).toInt());
            const int colSpan = qMax(1, a.value(u"table:number-columns-spanned"_s).toInt());
            // the cell's paragraphs, text spans inside them included
            QStringList paragraphs;
            int depth = 1;
            int paragraphDepth = 0; // the depth of the paragraph being read, 0 outside one
            while (depth > 0 && !xml.atEnd()) {
                xml.readNext();
                if (xml.isStartElement()) {
                    ++depth;
                    if (xml.qualifiedName() == u"text:p"_s) {
                        paragraphs << QString();
                        paragraphDepth = depth;
                    }
                } else if (xml.isEndElement()) {
                    if (depth == paragraphDepth)
                        paragraphDepth = 0;
                    --depth;
                } else if (xml.isCharacters() && paragraphDepth > 0) {
                    paragraphs.last() += xml.text();
                }
            }
            cell.text = paragraphs.join(u'\n');
            for (int i = 0; i < repeated; ++i)
                builder.add(cell, rowSpan, colSpan);
        }
    }
    if (xml.hasError())
        qWarning() << "fods:" << xml.errorString();
    if (spans)
        *spans = builder.spans();
    Grid g = builder.grid();
    // trailing empty cells and rows are the sheet's unused area
    for (QList<SheetCell> &line : g)
        while (!line.isEmpty() && line.last().text.isEmpty() && !line.last().value)
            line.removeLast();
    while (!g.isEmpty() && g.last().isEmpty())
        g.removeLast();
    return g;
}

// The workbook as libfreexl reads it: merged ranges are not unfolded, so covered cells are empty.
Grid freexlSheet(const QString &path, QString *error)
{
    Grid g;
    const void *handle = nullptr;
    if (freexl_open(QFile::encodeName(path).constData(), &handle) != FREEXL_OK) {
        *error = u"freexl_open failed"_s;
        return g;
    }
    unsigned rows = 0;
    unsigned short columns = 0;
    if (freexl_select_active_worksheet(handle, 0) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
        *error = u"no worksheet"_s;
        freexl_close(handle);
        return g;
    }
    for (unsigned r = 0; r < rows; ++r) {
        QList<SheetCell> line;
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue v;
            SheetCell cell;
            if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK) {
                *error = u"cell %1,%2 unreadable"_s.arg(r).arg(c);
            } else if (v.type == FREEXL_CELL_INT) {
                cell.value = double(v.value.int_value);
            } else if (v.type == FREEXL_CELL_DOUBLE) {
                cell.value = v.value.double_value;
            } else if (v.type == FREEXL_CELL_TEXT || v.type == FREEXL_CELL_SST_TEXT) {
                cell.text = QString::fromUtf8(v.value.text_value);
            }
            line << cell;
        }
        g << line;
    }
    freexl_close(handle);
    return g;
}

// An environment for a reader with only `lang` naming the locale.
QProcessEnvironment environmentWithLang(const QString &lang)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : env.keys())
        if (name == u"LANG"_s || name == u"LANGUAGE"_s || name.startsWith(u"LC_"_s))
            env.remove(name);
    env.insert(u"LANG"_s, lang);
    return env;
}

struct ToolRun
{
    bool ok = false;
    QString output;
};

ToolRun runTool(const QString &program, const QStringList &arguments,
                const QProcessEnvironment &env, int timeoutMs)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForStarted())
        return {false, p.errorString()};
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {false, u"did not finish: "_s + QString::fromLocal8Bit(p.readAll())};
    }
    const QString output = QString::fromLocal8Bit(p.readAll());
    return {p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, output};
}

// A reader the checks cannot do without: missing, the test fails and names its package.
QString requiredTool(const QStringList &names, const char *package)
{
    for (const QString &name : names) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty())
            return found;
    }
    qWarning("%s is not installed: scripts/install-deps.sh installs %s", qPrintable(names.first()),
             package);
    return {};
}

// The headless browser, with what it needs to run as root and without a desktop session: no
// sandbox, no GPU, and a profile of its own so that parallel runs do not share one.
QStringList browserArguments(const QTemporaryDir &profile)
{
    return {u"--headless"_s,
            u"--no-sandbox"_s,
            u"--disable-gpu"_s,
            u"--user-data-dir="_s + profile.path(),
            u"--no-first-run"_s,
            u"--hide-scrollbars"_s,
            u"--enable-logging=stderr"_s};
}

// A directory nobody may write into, root included: root ignores permissions, so it also gets
// the immutable attribute when the permissions alone do not hold.
class ReadOnlyDirectory
{
public:
    explicit ReadOnlyDirectory(QString path)
        : m_path(std::move(path))
    {
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                          QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        if (writable())
            m_immutable.emplace(m_path);
    }
    ~ReadOnlyDirectory()
    {
        m_immutable.reset();
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ReadOnlyDirectory(const ReadOnlyDirectory &) = delete;
    ReadOnlyDirectory &operator=(const ReadOnlyDirectory &) = delete;

    bool writable() const
    {
        QFile probe(QDir(m_path).filePath(u"probe.tmp"_s));
        if (!probe.open(QIODevice::WriteOnly))
            return false;
        probe.close();
        probe.remove();
        return true;
    }

private:
    QString m_path;
    std::optional<tessal::test::ImmutableDirectory> m_immutable;
};

ExportOptions optionsFromBits(int bits)
{
    return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

} // namespace

class tst_fexport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensWithEveryDataFieldShownAndTheDefaults();
    void entriesShowAndHideTheirFieldsAtOnce();
    void exportWritesIntoTheProgramDirectory_data();
    void exportWritesIntoTheProgramDirectory();
    void showOpensExactlyTheWrittenFile_data();
    void showOpensExactlyTheWrittenFile();
    void optionsReachTheWriterInOrder_data();
    void optionsReachTheWriterInOrder();
    void readOnlyProgramDirectoryIsReported_data();
    void readOnlyProgramDirectoryIsReported();
    void failedWriteKeepsThePreviousFile_data();
    void failedWriteKeepsThePreviousFile();
    void gridTooWideForTheSpreadsheetIsReported();
    void reopeningStartsAfresh();
    void keyboardAlone();

    void libreOfficeAndFreexlReadTheWorkbook();
    void browserShowsTheHtml_data();
    void browserShowsTheHtml();

    void screenshot();

private:
    fexport *open();
    template<class T> T *child(const QString &name) const;
    void setChecked(const QString &name, bool checked) const;
    QListWidget *list() const { return child<QListWidget>(u"lstVisDataField"_s); }
    // ticks the four option boxes (and the format) from `options`, clears "Mostrar" unless told
    void choose(const ExportOptions &options, bool html, bool show = false) const;
    void clickExport() const;
    QString programFile(const QString &name) const;
    // the cells of the cube the format event paints, totals counted or not
    int paintedCells(bool totals) const;
    // the grid, read back by any reader, against the cube cell by cell: headings by text,
    // values by number; `unfolded` when the reader spreads a merged cell over what it covers
    void compareWithCube(const Grid &grid, bool unfolded, const QString &reader) const;
    // LibreOffice converts the workbook to flat ODS under `lang`
    Grid libreOfficeSheet(const QString &office, const QString &workbook, const QString &lang,
                          int *spans);

    std::unique_ptr<tessal::test::TestContext> m_t;
    std::unique_ptr<Cube> m_cube;
    QPointer<fexport> m_form;
    int m_refreshes = 0;
};

void tst_fexport::initTestCase()
{
    // the program writes formatted numbers in its own locale, whatever the machine's
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
}

void tst_fexport::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    m_cube = std::make_unique<Cube>();
    cube::test::defineSmallCube(*m_cube);
    RowTable table = cube::test::smallCubeTable();
    // one large amount alone in its cell, so that it and the totals over it need the thousands
    // separator, under a product whose name is not ASCII
    table.rows << QVariantList{u"Sul"_s, u"açúcar"_s, 2024, 1234.56};
    m_cube->loadRows(table);
    m_cube->setCellFormatHandler([](CellFormat &f) {
        if (std::abs(f.dataField) == 1 && f.value >= 50 && f.value <= 150) {
            f.backColor = MarkerBack;
            f.foreColor = MarkerFore;
        }
    });
    m_refreshes = 0;
    connect(m_cube.get(), &Cube::refreshed, this, [this] { ++m_refreshes; });
}

void tst_fexport::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        if (w->objectName() == u"fexport"_s)
            delete w;
    m_cube.reset();
    m_t.reset();
}

fexport *tst_fexport::open()
{
    m_form = fexport::showFor(*m_t->context, m_cube.get(), nullptr);
    if (!QTest::qWaitForWindowExposed(m_form.data()))
        qWarning("the export form was not shown");
    return m_form;
}

template<class T> T *tst_fexport::child(const QString &name) const
{
    T *w = m_form ? m_form->findChild<T *>(name) : nullptr;
    if (!w)
        qWarning() << "no control" << name;
    return w;
}

void tst_fexport::setChecked(const QString &name, bool checked) const
{
    QAbstractButton *b = child<QAbstractButton>(name);
    if (b->isChecked() != checked)
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    QCOMPARE(b->isChecked(), checked);
}

void tst_fexport::choose(const ExportOptions &options, bool html, bool show) const
{
    setChecked(u"ckbIncludeTotals"_s, options.includeTotals);
    setChecked(u"ckbExportFormattedNumbers"_s, options.formattedNumbers);
    setChecked(u"ckbIncludeAttribColors"_s, options.includeColors);
    setChecked(u"ckbMergeRowsAndColumns"_s, options.mergeHeadings);
    setChecked(html ? u"robHTML"_s : u"robExcel"_s, true);
    setChecked(u"ShowFileCheck"_s, show);
}

void tst_fexport::clickExport() const
{
    QTest::mouseClick(child<QPushButton>(u"cmdExport"_s), Qt::LeftButton);
}

QString tst_fexport::programFile(const QString &name) const
{
    return QDir(m_t->programDir()).filePath(name);
}

int tst_fexport::paintedCells(bool totals) const
{
    int painted = 0;
    for (int r = 0; r < m_cube->rowCount(); ++r)
        for (int c = 0; c < m_cube->columnCount(); ++c)
            if ((totals || (!m_cube->isTotalRow(r) && !m_cube->isTotalColumn(c))) &&
                m_cube->cellValue(c, r).isValid() && m_cube->cellFormat(c, r).backColor != White)
                ++painted;
    return painted;
}

void tst_fexport::compareWithCube(const Grid &grid, bool unfolded, const QString &reader) const
{
    const Cube &cube = *m_cube;
    const int top = std::max(1, cube.columnHeadingLevels());
    const int left = std::max(1, cube.rowHeadingLevels());
    auto where = [&](int r, int c) -> QString {
        return reader + u": row %1, column %2"_s.arg(r).arg(c);
    };
    QCOMPARE(grid.size(), top + cube.rowCount());
    for (int r = 0; r < grid.size(); ++r)
        QVERIFY2(grid[r].size() == left + cube.columnCount(), qPrintable(where(r, grid[r].size())));
    // a passing comparison over an empty or value-less grid would prove nothing
    int numbers = 0;
    for (int l = 1; l <= cube.columnHeadingLevels(); ++l) {
        for (int c = 0; c < cube.columnCount(); ++c) {
            const QString got = grid[l - 1][left + c].text;
            if (unfolded || !got.isEmpty())
                QVERIFY2(got == cube.columnHeadingText(l, c),
                         qPrintable(where(l - 1, left + c) + u" "_s + got));
        }
    }
    for (int l = 1; l <= cube.rowHeadingLevels(); ++l) {
        for (int r = 0; r < cube.rowCount(); ++r) {
            const QString got = grid[top + r][l - 1].text;
            if (unfolded || !got.isEmpty())
                QVERIFY2(got == cube.rowHeadingText(l, r),
                         qPrintable(where(top + r, l - 1) + u" "_s + got));
        }
    }
    for (int r = 0; r < cube.rowCount(); ++r) {
        for (int c = 0; c < cube.columnCount(); ++c) {
            const QVariant expected = cube.cellValue(c, r);
            const SheetCell &got = grid[top + r][left + c];
            QVERIFY2(got.value.has_value() == expected.isValid(),
                     qPrintable(where(top + r, left + c) + u" "_s + got.text));
            if (expected.isValid()) {
                QCOMPARE(*got.value, expected.toDouble());
                ++numbers;
            }
        }
    }
    QVERIFY(numbers >= 20);
}

void tst_fexport::opensWithEveryDataFieldShownAndTheDefaults()
{
    // a field hidden before opening: the form shows it again
    m_cube->dataFields().item(1)->setVisible(false);
    QVERIFY(!m_cube->severalDataFieldsShown());
    open();
    QCOMPARE(m_form->objectName(), u"fexport"_s);
    QCOMPARE(m_form->windowTitle(), u"Exportar Dados"_s);
    QCOMPARE(m_form->windowModality(), Qt::NonModal);
    QVERIFY(!QApplication::activeModalWidget());

    const FieldCollection data = m_cube->dataFields();
    QCOMPARE(list()->count(), data.count());
    for (int i = 0; i < data.count(); ++i) {
        QCOMPARE(list()->item(i)->text(), data.item(i)->caption());
        QCOMPARE(list()->item(i)->data(Qt::UserRole).toInt(), i);
        QCOMPARE(list()->item(i)->checkState(), Qt::Checked);
        QVERIFY(data.item(i)->isVisible());
    }
    QVERIFY(m_cube->severalDataFieldsShown());
    QVERIFY(m_refreshes > 0); // the analysis window redraws with the field back

    QCOMPARE(child<QLabel>(u"lblVisDataFields"_s)->text(), u"Dados Visiveis"_s);
    QCOMPARE(child<QGroupBox>(u"Frame1"_s)->title(), u"Export Options"_s);
    const QList<std::pair<QString, QString>> boxes{
        {u"ckbIncludeTotals"_s, u"Incluir Totais"_s},
        {u"ckbExportFormattedNumbers"_s, u"Exportar Números com formato"_s},
        {u"ckbIncludeAttribColors"_s, u"Incluir Cores"_s},
        {u"ckbMergeRowsAndColumns"_s, u"Merge Rows/Columns"_s},
        {u"ShowFileCheck"_s, u"Mostrar"_s}};
    for (const auto &[name, caption] : boxes) {
        QCOMPARE(child<QCheckBox>(name)->text(), caption);
        QVERIFY2(child<QCheckBox>(name)->isChecked(), qPrintable(name));
    }
    QCOMPARE(child<QRadioButton>(u"robHTML"_s)->text(), u"HTML"_s);
    QCOMPARE(child<QRadioButton>(u"robExcel"_s)->text(), u"Excel"_s);
    QVERIFY(child<QRadioButton>(u"robHTML"_s)->isChecked());
    QVERIFY(!child<QRadioButton>(u"robExcel"_s)->isChecked());
    QCOMPARE(child<QPushButton>(u"cmdExport"_s)->text(), u"Exportar"_s);
    QVERIFY(m_t->dialogs.asked().isEmpty());
}

void tst_fexport::entriesShowAndHideTheirFieldsAtOnce()
{
    open();
    CubeField *quantidade = m_cube->dataFields().item(1);
    const int columnsWithBoth = m_cube->columnCount();
    const int before = m_refreshes;
    QListWidgetItem *entry = list()->item(1);
    list()->setCurrentItem(entry);
    QTest::keyClick(list(), Qt::Key_Space);
    QCOMPARE(entry->checkState(), Qt::Unchecked);
    QVERIFY(!quantidade->isVisible());
    QVERIFY(m_refreshes > before);
    QVERIFY(m_cube->columnCount() < columnsWithBoth); // the grid lost the field's columns
    QVERIFY(m_cube->dataFields().item(0)->isVisible());
    QVERIFY(!QFile::exists(programFile(HtmlName))); // nothing was exported for it

    entry->setCheckState(Qt::Checked);
    QVERIFY(quantidade->isVisible());
    QCOMPARE(m_cube->columnCount(), columnsWithBoth);

    // closing without exporting keeps what the list last set
    entry->setCheckState(Qt::Unchecked);
    m_form->close();
    QTRY_VERIFY(m_form.isNull());
    QVERIFY(!quantidade->isVisible());
    QVERIFY(!QFile::exists(programFile(HtmlName)));
}

void tst_fexport::exportWritesIntoTheProgramDirectory_data()
{
    QTest::addColumn<bool>("html");
    QTest::newRow("html") << true;
    QTest::newRow("spreadsheet") << false;
}

void tst_fexport::exportWritesIntoTheProgramDirectory()
{
    QFETCH(bool, html);
    open();
    choose(ExportOptions{}, html, false);
    clickExport();
    const QString written = programFile(html ? HtmlName : SpreadsheetName);
    QVERIFY(QFile::exists(written));
    QVERIFY(!QFile::exists(programFile(html ? SpreadsheetName : HtmlName)));
    QCOMPARE(readAll(written), html ? htmlExport(*m_cube, ExportOptions{})
                                    : spreadsheetExport(*m_cube, ExportOptions{}));
    QVERIFY(m_t->dialogs.asked().isEmpty()); // "Mostrar" cleared: nothing opened
    QTRY_VERIFY(m_form.isNull());            // and the form went away
}

void tst_fexport::showOpensExactlyTheWrittenFile_data()
{
    exportWritesIntoTheProgramDirectory_data();
}

void tst_fexport::showOpensExactlyTheWrittenFile()
{
    QFETCH(bool, html);
    open();
    choose(ExportOptions{}, html, true);
    m_t->dialogs.answerShell(true);
    clickExport();
    QCOMPARE(m_t->dialogs.asked().size(), 1);
    const auto asked = m_t->dialogs.asked().first();
    QCOMPARE(asked.kind, tessal::test::ScriptedDialogs::Kind::Shell);
    QCOMPARE(QDir::cleanPath(asked.text), programFile(html ? HtmlName : SpreadsheetName));
    QVERIFY(QFile::exists(asked.text)); // written before it is opened
    QTRY_VERIFY(m_form.isNull());
}

void tst_fexport::optionsReachTheWriterInOrder_data()
{
    QTest::addColumn<bool>("html");
    QTest::addColumn<int>("bits"); // totals 1, formatted 2, colours 4, merge 8
    // each option alone, so that two options swapped on the way show
    const QList<std::pair<const char *, int>> sets{{"none", 0},    {"totals", 1}, {"formatted", 2},
                                                   {"colours", 4}, {"merge", 8},  {"all", 15}};
    for (const auto &[name, bits] : sets) {
        QTest::addRow("html, %s", name) << true << bits;
        QTest::addRow("spreadsheet, %s", name) << false << bits;
    }
}

void tst_fexport::optionsReachTheWriterInOrder()
{
    QFETCH(bool, html);
    QFETCH(int, bits);
    const ExportOptions options = optionsFromBits(bits);
    open();
    choose(options, html, false);
    clickExport();
    QTRY_VERIFY(m_form.isNull());
    const QByteArray file = readAll(programFile(html ? HtmlName : SpreadsheetName));
    QCOMPARE(file, html ? htmlExport(*m_cube, options) : spreadsheetExport(*m_cube, options));

    if (!html) {
        QString error;
        const Grid sheet = freexlSheet(programFile(SpreadsheetName), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const int dataRows = m_cube->rowCount();
        int totalRows = 0;
        for (int r = 0; r < dataRows; ++r)
            totalRows += m_cube->isTotalRow(r) ? 1 : 0;
        QVERIFY(totalRows > 0);
        QCOMPARE(sheet.size(), std::max(1, m_cube->columnHeadingLevels()) + dataRows -
                                   (options.includeTotals ? 0 : totalRows));
        return;
    }
    // what an operator sees of each option in the page
    QVERIFY(file.startsWith("<!DOCTYPE html>\n"));
    QVERIFY(file.contains("<meta charset=\"utf-8\"/>"));
    const QString text = QString::fromUtf8(file);
    int spans = 0;
    const Grid grid = htmlTable(text, &spans);
    QCOMPARE(text.contains(u"class=\"total\""_s), options.includeTotals);
    QCOMPARE(text.contains(u">Total<"_s), options.includeTotals);
    QCOMPARE(spans > 0, options.mergeHeadings);
    QCOMPARE(text.contains(u"rowspan="_s), options.mergeHeadings);
    QCOMPARE(text.contains(u"colspan="_s), options.mergeHeadings);
    int styled = 0;
    for (const QList<SheetCell> &line : grid)
        for (const SheetCell &cell : line)
            if (!cell.style.isEmpty()) {
                QCOMPARE(cell.style, MarkerStyle);
                ++styled;
            }
    QCOMPARE(styled, options.includeColors ? paintedCells(options.includeTotals) : 0);
    QVERIFY(paintedCells(options.includeTotals) > 0);
    // Sul açúcar 2024 Valor holds the large amount alone
    bool found = false;
    for (const QList<SheetCell> &line : grid)
        for (const SheetCell &cell : line)
            found = found || cell.text == (options.formattedNumbers ? u"1.234,56"_s : u"1234.56"_s);
    QVERIFY(found);
    QCOMPARE(text.contains(u"1.234,56"_s), options.formattedNumbers);
}

void tst_fexport::readOnlyProgramDirectoryIsReported_data()
{
    exportWritesIntoTheProgramDirectory_data();
}

void tst_fexport::readOnlyProgramDirectoryIsReported()
{
    QFETCH(bool, html);
    open();
    choose(ExportOptions{}, html, true);
    const QStringList before = QDir(m_t->programDir()).entryList(QDir::Files | QDir::Hidden);
    {
        const ReadOnlyDirectory readOnly(m_t->programDir());
        QVERIFY2(!readOnly.writable(), "the program directory could not be made read-only");
        m_t->dialogs.expectMessage(u"Não foi possível gravar o arquivo"_s);
        clickExport();
    }
    QCOMPARE(m_t->dialogs.asked().size(), 1); // the message, and no shell
    const auto asked = m_t->dialogs.asked().first();
    QCOMPARE(asked.icon, Dialogs::Icon::Critical);
    QVERIFY2(asked.text.contains(programFile(html ? HtmlName : SpreadsheetName)),
             qPrintable(asked.text));
    QCOMPARE(QDir(m_t->programDir()).entryList(QDir::Files | QDir::Hidden), before);
    // the form stays for another try
    QVERIFY(m_form);
    QVERIFY(m_form->isVisible());
    m_t->dialogs.answerShell(true);
    clickExport();
    QTRY_VERIFY(m_form.isNull());
    QVERIFY(QFile::exists(programFile(html ? HtmlName : SpreadsheetName)));
}

void tst_fexport::failedWriteKeepsThePreviousFile_data()
{
    exportWritesIntoTheProgramDirectory_data();
}

// A full disk stops the write half-way: the export written before must still be there, whole,
// and no half-written file beside it.
void tst_fexport::failedWriteKeepsThePreviousFile()
{
    QFETCH(bool, html);
    const QString path = programFile(html ? HtmlName : SpreadsheetName);
    open();
    choose(ExportOptions{false, false, false, false}, html, false);
    clickExport();
    QTRY_VERIFY(m_form.isNull());
    const QByteArray previous = readAll(path);
    QVERIFY(previous.size() > 512);
    const QStringList before = QDir(m_t->programDir()).entryList(QDir::Files | QDir::Hidden);

    open();
    {
        const tessal::test::FileSizeLimit limit(512);
        QVERIFY(limit.isSet());
        m_t->dialogs.expectMessage(u"Não foi possível gravar o arquivo"_s);
        choose(ExportOptions{}, html, false);
        clickExport();
    }
    QCOMPARE(readAll(path), previous);
    QCOMPARE(QDir(m_t->programDir()).entryList(QDir::Files | QDir::Hidden), before);
    QVERIFY(m_form);
}

// The spreadsheet format stops at 256 columns: the engine refuses the grid and the form says
// why, through the error box, instead of writing a cut workbook.
void tst_fexport::gridTooWideForTheSpreadsheetIsReported()
{
    RowTable table;
    table.columns = {u"region"_s, u"product"_s, u"year"_s, u"amount"_s};
    for (int year = 1800; year < 2100; ++year)
        table.rows << QVariantList{u"Sul"_s, u"x"_s, year, 1.0};
    m_cube = std::make_unique<Cube>();
    cube::test::defineSmallCube(*m_cube);
    m_cube->loadRows(table);
    open();
    choose(ExportOptions{}, false, true);
    m_t->dialogs.expectMessage(u"65.536"_s);
    clickExport();
    QCOMPARE(m_t->dialogs.asked().size(), 1);
    QVERIFY2(m_t->dialogs.asked().first().text.contains(u"Formulário: fexport"_s),
             qPrintable(m_t->dialogs.asked().first().text));
    QVERIFY(!QFile::exists(programFile(SpreadsheetName)));
    QVERIFY(m_form && m_form->isVisible());
    // HTML has no such limit
    choose(ExportOptions{}, true, false);
    clickExport();
    QTRY_VERIFY(m_form.isNull());
    QVERIFY(QFile::exists(programFile(HtmlName)));
}

void tst_fexport::reopeningStartsAfresh()
{
    auto countForms = [] {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += w->objectName() == u"fexport"_s ? 1 : 0;
        return n;
    };
    auto checkDefaults = [this] {
        for (const QString &name :
             {u"ckbIncludeTotals"_s, u"ckbExportFormattedNumbers"_s, u"ckbIncludeAttribColors"_s,
              u"ckbMergeRowsAndColumns"_s, u"ShowFileCheck"_s, u"robHTML"_s})
            QVERIFY2(child<QAbstractButton>(name)->isChecked(), qPrintable(name));
        for (int i = 0; i < list()->count(); ++i)
            QCOMPARE(list()->item(i)->checkState(), Qt::Checked);
        for (CubeField *f : m_cube->dataFields())
            QVERIFY(f->isVisible());
    };

    // closed with Escape after changes
    open();
    choose(ExportOptions{false, false, false, false}, false, false);
    list()->item(0)->setCheckState(Qt::Unchecked);
    QVERIFY(!m_cube->dataFields().item(0)->isVisible());
    QTest::keyClick(m_form, Qt::Key_Escape);
    QTRY_VERIFY(m_form.isNull());
    QVERIFY(!m_cube->dataFields().item(0)->isVisible());

    open();
    checkDefaults();
    QCOMPARE(countForms(), 1);

    // opened again while open: the old form goes, the new one starts from the defaults
    choose(ExportOptions{false, true, false, true}, false, false);
    list()->item(1)->setCheckState(Qt::Unchecked);
    const QPointer<fexport> first = m_form;
    open();
    QVERIFY(first.isNull());
    QCOMPARE(countForms(), 1);
    checkDefaults();
    QVERIFY(!QFile::exists(programFile(HtmlName)));
    QVERIFY(!QFile::exists(programFile(SpreadsheetName)));
}

// Tab goes through the controls in order, space ticks, an arrow picks the format, Enter exports.
void tst_fexport::keyboardAlone()
{
    open();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.data()));
    QTRY_COMPARE(QApplication::focusWidget(), list());
    QCOMPARE(list()->currentRow(), 0);
    QTest::keyClick(list(), Qt::Key_Space);
    QCOMPARE(list()->item(0)->checkState(), Qt::Unchecked);
    QVERIFY(!m_cube->dataFields().item(0)->isVisible());

    auto tabTo = [](const QString &name) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), name);
    };
    tabTo(u"ckbIncludeTotals"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(!child<QCheckBox>(u"ckbIncludeTotals"_s)->isChecked());
    tabTo(u"ckbExportFormattedNumbers"_s);
    tabTo(u"ckbIncludeAttribColors"_s);
    tabTo(u"ckbMergeRowsAndColumns"_s);
    tabTo(u"robHTML"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"robExcel"_s);
    QVERIFY(child<QRadioButton>(u"robExcel"_s)->isChecked());
    QVERIFY(!child<QRadioButton>(u"robHTML"_s)->isChecked());
    tabTo(u"ShowFileCheck"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(!child<QCheckBox>(u"ShowFileCheck"_s)->isChecked());
    tabTo(u"cmdExport"_s);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(m_form.isNull());
    const ExportOptions options{false, true, true, true};
    QCOMPARE(readAll(programFile(SpreadsheetName)), spreadsheetExport(*m_cube, options));
    QVERIFY(m_t->dialogs.asked().isEmpty());
}

Grid tst_fexport::libreOfficeSheet(const QString &office, const QString &workbook,
                                   const QString &lang, int *spans)
{
    QTemporaryDir profile;
    QTemporaryDir out;
    if (!profile.isValid() || !out.isValid())
        return {};
    // a first start sets up the fresh profile, which takes a while on a busy machine
    const ToolRun run =
        runTool(office,
                {u"-env:UserInstallation="_s + QUrl::fromLocalFile(profile.path()).toString(),
                 u"--headless"_s, u"--norestore"_s, u"--convert-to"_s, u"fods"_s, u"--outdir"_s,
                 out.path(), workbook},
                environmentWithLang(lang), 240000);
    const QByteArray fods = readAll(QDir(out.path()).filePath(u"ExcelExport.fods"_s));
    if (!run.ok || fods.isEmpty()) {
        qWarning().noquote() << "LibreOffice under" << lang << "failed:" << run.output;
        return {};
    }
    return flatOdsSheet(fods, spans);
}

// The workbook the form writes, read by LibreOffice (under an English and a Brazilian locale)
// and by libfreexl: each must find the cube's headings and values where the cube has them.
void tst_fexport::libreOfficeAndFreexlReadTheWorkbook()
{
    const QString office = requiredTool({u"soffice"_s, u"libreoffice"_s}, "libreoffice-calc-nogui");
    QVERIFY2(!office.isEmpty(), "LibreOffice (soffice) is not installed: scripts/install-deps.sh "
                                "installs libreoffice-calc-nogui");
    open();
    choose(ExportOptions{}, false, false);
    clickExport();
    QTRY_VERIFY(m_form.isNull());
    const QString workbook = programFile(SpreadsheetName);

    QString error;
    const Grid freexl = freexlSheet(workbook, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    compareWithCube(freexl, false, u"freexl"_s);
    if (QTest::currentTestFailed())
        return;

    QHash<QString, Grid> byLocale;
    for (const QString &lang : {u"C.UTF-8"_s, u"pt_BR.UTF-8"_s}) {
        int spans = 0;
        const Grid sheet = libreOfficeSheet(office, workbook, lang, &spans);
        QVERIFY2(!sheet.isEmpty(), qPrintable(u"LibreOffice read nothing under "_s + lang));
        QVERIFY(spans > 0); // the merged headings came through as merged cells
        compareWithCube(sheet, true, u"LibreOffice "_s + lang);
        if (QTest::currentTestFailed())
            return;
        byLocale.insert(lang, sheet);
    }
    // Both locales read the same numbers; only the way they show them may differ. The values
    // are compared above; here the shown text, which follows the locale's separators.
    const Grid &c = byLocale[u"C.UTF-8"_s];
    const Grid &br = byLocale[u"pt_BR.UTF-8"_s];
    int differing = 0;
    for (int r = 0; r < c.size(); ++r)
        for (int col = 0; col < c[r].size(); ++col)
            if (c[r][col].value && c[r][col].text != br[r][col].text) {
                QCOMPARE(QLocale::c().toDouble(QString(c[r][col].text).remove(u','), nullptr),
                         *c[r][col].value);
                QCOMPARE(QLocale(QLocale::Portuguese, QLocale::Brazil).toDouble(br[r][col].text),
                         *c[r][col].value);
                ++differing;
            }
    qInfo("LibreOffice showed %d numbers differently under C.UTF-8 and pt_BR.UTF-8", differing);
    // none differing would mean the second run never took the Brazilian locale
    QVERIFY(differing > 0);
}

void tst_fexport::browserShowsTheHtml_data()
{
    QTest::addColumn<bool>("formatted");
    QTest::addColumn<bool>("merge");
    QTest::newRow("formatted, merged") << true << true;
    QTest::newRow("plain, unmerged") << false << false;
}

// The page the form writes, in a real browser: the DOM it builds holds the cube's headings (UTF-8
// read as such), spans and values, and its printed page shows the figures.
void tst_fexport::browserShowsTheHtml()
{
    QFETCH(bool, formatted);
    QFETCH(bool, merge);
    const QString browser =
        requiredTool({u"chromium-headless-shell"_s, u"chromium"_s}, "chromium-headless-shell");
    QVERIFY2(!browser.isEmpty(), "chromium-headless-shell is not installed: "
                                 "scripts/install-deps.sh installs it");
    open();
    choose(ExportOptions{true, formatted, true, merge}, true, false);
    clickExport();
    QTRY_VERIFY(m_form.isNull());
    const QString page = programFile(HtmlName);
    const QString url = QUrl::fromLocalFile(page).toString();

    QTemporaryDir profile;
    QVERIFY(profile.isValid());
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess dump;
    dump.setProcessEnvironment(env);
    dump.start(browser, browserArguments(profile) << u"--dump-dom"_s << url);
    QVERIFY2(dump.waitForStarted(), qPrintable(dump.errorString()));
    QVERIFY(dump.waitForFinished(120000));
    const QString log = QString::fromLocal8Bit(dump.readAllStandardError());
    QVERIFY2(dump.exitStatus() == QProcess::NormalExit && dump.exitCode() == 0, qPrintable(log));
    const QString dom = QString::fromUtf8(dump.readAllStandardOutput());
    // the page's own errors show as console messages
    QVERIFY2(!log.contains(u"CONSOLE"_s), qPrintable(log));
    QVERIFY2(dom.contains(u"<table"_s), qPrintable(dom.left(500)));
    QVERIFY(dom.contains(u"<meta charset=\"utf-8\">"_s, Qt::CaseInsensitive));

    int spans = 0;
    const Grid grid = htmlTable(dom, &spans);
    QCOMPARE(spans > 0, merge);
    // the numbers as shown, read back in the form they were written in
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    Grid values = grid;
    for (QList<SheetCell> &line : values)
        for (SheetCell &cell : line) {
            bool ok = false;
            const double v =
                formatted ? brazil.toDouble(cell.text, &ok) : QLocale::c().toDouble(cell.text, &ok);
            if (ok && !cell.text.isEmpty() && (formatted || !cell.text.contains(u',')))
                cell.value = v;
        }
    // headings that read as numbers (the years) are not values: compare only the data area
    const int top = std::max(1, m_cube->columnHeadingLevels());
    const int left = std::max(1, m_cube->rowHeadingLevels());
    for (int r = 0; r < values.size(); ++r)
        for (int c = 0; c < values[r].size(); ++c)
            if (r < top || c < left)
                values[r][c].value.reset();
    compareWithCube(values, true, u"chromium"_s);
    if (QTest::currentTestFailed())
        return;
    // Valor is "#,##0.00": two decimals, with the pt-BR separators when formatted
    for (int r = 0; r < m_cube->rowCount(); ++r)
        for (int c = 0; c < m_cube->columnCount(); ++c) {
            const QVariant v = m_cube->cellValue(c, r);
            if (v.isValid() && m_cube->dataFieldAt(c) == 0 && formatted)
                QCOMPARE(grid[top + r][left + c].text, brazil.toString(v.toDouble(), 'f', 2));
        }
    QVERIFY(dom.contains(u"açúcar"_s)); // read as UTF-8
    QVERIFY(dom.contains(formatted ? u"1.234,56"_s : u"1234.56"_s));

    // printed: the figures are on the page
    const QString pdf = QDir(profile.path()).filePath(u"page.pdf"_s);
    QProcess print;
    print.start(browser, browserArguments(profile)
                             << u"--no-pdf-header-footer"_s << u"--print-to-pdf="_s + pdf << url);
    QVERIFY(print.waitForFinished(120000));
    QVERIFY2(print.exitCode() == 0, qPrintable(QString::fromLocal8Bit(print.readAll())));
    const QString printed = tessal::test::pdfPages(pdf).join(u'\n');
    QVERIFY2(printed.contains(u"açúcar"_s), qPrintable(printed));
    QVERIFY2(printed.contains(formatted ? u"1.234,56"_s : u"1234.56"_s), qPrintable(printed));
}

void tst_fexport::screenshot()
{
    const QString target = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (target.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    const QDir out(target);
    open();
    QCoreApplication::processEvents();
    QVERIFY(m_form->grab().save(out.filePath(u"fexport.png"_s)));

    const QString browser =
        requiredTool({u"chromium-headless-shell"_s, u"chromium"_s}, "chromium-headless-shell");
    QVERIFY(!browser.isEmpty());
    choose(ExportOptions{}, true, false);
    clickExport();
    QTRY_VERIFY(m_form.isNull());
    QTemporaryDir profile;
    const QString png = out.filePath(u"htmlexport.png"_s);
    QFile::remove(png);
    const ToolRun run =
        runTool(browser,
                browserArguments(profile) << u"--window-size=760,420"_s << u"--screenshot="_s + png
                                          << QUrl::fromLocalFile(programFile(HtmlName)).toString(),
                QProcessEnvironment::systemEnvironment(), 120000);
    QVERIFY2(run.ok, qPrintable(run.output));
    QVERIFY(!QImage(png).isNull());
}

QTEST_MAIN(tst_fexport)
#include "tst_fexport.moc"
