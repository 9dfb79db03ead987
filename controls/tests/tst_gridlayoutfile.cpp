#include "controls/gridlayoutfile.h"
#include "core/error.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <limits>
#include <optional>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using tessal::FormatCondition;
using tessal::GridLayout;

Q_DECLARE_METATYPE(tessal::GridLayout)

namespace tessal {

// So that a failed comparison shows both layouts.
char *toString(const GridLayout &layout)
{
    QStringList parts;
    for (const GridLayout::Column &c : layout.columns)
        parts << u"coluna[%1|%2|%3|%4]"_s.arg(c.field, c.caption).arg(c.width).arg(c.visible);
    parts << u"grupos[%1]"_s.arg(layout.groupFields.join(u'|'));
    parts << u"ordem[%1|%2]"_s.arg(layout.sortField).arg(layout.sortDescending);
    parts << u"campo-condicao[%1]"_s.arg(layout.conditionField);
    for (const FormatCondition &c : layout.conditions)
        parts << u"condicao[%1|%2|%3]"_s.arg(c.value, c.foreground.name(QColor::HexArgb),
                                             c.background.name(QColor::HexArgb));
    return QTest::toString(parts.join(u' '));
}

} // namespace tessal

namespace {

const QColor Red(255, 0, 0);
const QColor Blue(0, 0, 255);
const QColor Yellow(255, 255, 0);

// The period query's columns with two of them hidden, a grouping, a descending sort and the
// two conditions on the status column.
GridLayout periodLayout()
{
    GridLayout layout;
    layout.columns = {{u"DT_LANCAMENTO"_s, u"Data"_s, 90, true},
                      {u"ds_conta"_s, u"Conta"_s, 160, true},
                      {u"DS_HISTORICO"_s, u"Histórico"_s, 0, true},
                      {u"ds_complemento"_s, u"Complemento \"livre\""_s, 0, false},
                      {u"VL_LANCAMENTO"_s, u"Valor"_s, 110, true},
                      {u"VL_SALDO"_s, u"Saldo"_s, 110, false},
                      {u"CD_STATUS"_s, u"Situação"_s, 40, true}};
    layout.groupFields = {u"ds_conta"_s};
    layout.sortField = u"DT_LANCAMENTO"_s;
    layout.sortDescending = true;
    layout.conditionField = u"CD_STATUS"_s;
    layout.conditions = {{u"D"_s, Red, Yellow}, {u"C"_s, Blue, Yellow}};
    return layout;
}

// `text` in every place of a layout that holds a text. Field names must not be empty, so they
// carry it behind a letter.
GridLayout carrying(const QString &text)
{
    GridLayout layout;
    layout.columns = {{u"F"_s + text, text, 10, true}, {u"G"_s + text, text, 0, false}};
    layout.groupFields = {u"F"_s + text};
    layout.sortField = text;
    layout.sortDescending = true;
    layout.conditionField = u"F"_s + text;
    layout.conditions = {{text, Red, Yellow}};
    return layout;
}

// A good file with `lines` put in before its end, so each damaged file differs from a readable
// one only by its fault; `lines` start on line 3.
QByteArray goodFileWith(const QByteArray &lines)
{
    return "TESSAL-GRADE 1\ncoluna \"A\" \"a\" 10 visivel\n" + lines + "fim\n";
}

// Lowers the largest file this process may write, so a write fails half-way as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_set = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        m_handler = std::signal(SIGXFSZ, SIG_IGN); // EFBIG from write() rather than a signal
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_set = m_set && setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool isSet() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
    bool m_set = false;
};

} // namespace

class tst_GridLayoutFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writtenLayoutReadsBackEqual_data();
    void writtenLayoutReadsBackEqual();
    void awkwardTextsRoundTripOneSettingALine_data();
    void awkwardTextsRoundTripOneSettingALine();
    void documentedExampleIsWhatTheProgramWrites();
    void handEditedFileStillReads_data();
    void handEditedFileStillReads();

    void damagedFileIsRefusedNamingTheLine_data();
    void damagedFileIsRefusedNamingTheLine();
    void foreignFileIsRefused_data();
    void foreignFileIsRefused();
    void newerVersionIsRefused_data();
    void newerVersionIsRefused();
    void missingOrUnreadablePathIsRefused_data();
    void missingOrUnreadablePathIsRefused();

    void failedWriteLeavesTheOldFileIntact_data();
    void failedWriteLeavesTheOldFileIntact();

private:
    QString put(const QByteArray &bytes, const QString &name = u"grade.lyt"_s) const;
    static QByteArray contents(const QString &path);
    // What reading `path` throws; number 0 and the layout read when it is not refused.
    static tessal::ErrorInfo refusal(const QString &path);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_GridLayoutFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_GridLayoutFile::cleanup()
{
    m_dir.reset();
}

QString tst_GridLayoutFile::put(const QByteArray &bytes, const QString &name) const
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file %s", qPrintable(path));
    return path;
}

QByteArray tst_GridLayoutFile::contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

tessal::ErrorInfo tst_GridLayoutFile::refusal(const QString &path)
{
    try {
        const std::unique_ptr<char[]> read(QTest::toString(tessal::readGridLayout(path)));
        return {0, u"read instead of refused: "_s + QString::fromUtf8(read.get()), path};
    } catch (const tessal::Error &e) {
        return e.info();
    }
}

void tst_GridLayoutFile::writtenLayoutReadsBackEqual_data()
{
    QTest::addColumn<GridLayout>("layout");

    QTest::newRow("period query with grouping, sort and conditions") << periodLayout();
    QTest::newRow("empty layout") << GridLayout{};

    GridLayout hidden = periodLayout();
    for (GridLayout::Column &column : hidden.columns)
        column.visible = false;
    QTest::newRow("every column hidden") << hidden;

    GridLayout unsorted = periodLayout();
    unsorted.sortField.clear();
    QTest::newRow("descending flag without a sort field") << unsorted;
    unsorted.sortDescending = false;
    unsorted.conditionField.clear();
    unsorted.groupFields.clear();
    QTest::newRow("no sort, grouping or condition field") << unsorted;

    GridLayout colours = periodLayout();
    colours.conditions = {{u"D"_s, QColor(), QColor(10, 20, 30, 128)},
                          {u"C"_s, QColor(1, 2, 3), QColor()},
                          {u"D"_s, QColor(0xab, 0xcd, 0xef), QColor(0, 0, 0, 0)}};
    QTest::newRow("grid's own, translucent and repeated conditions") << colours;

    GridLayout widths = periodLayout();
    widths.columns[0].width = std::numeric_limits<int>::max();
    widths.columns[1].width = 0;
    QTest::newRow("widest and zero widths") << widths;

    GridLayout many;
    for (int i = 0; i < 400; ++i)
        many.columns.append({u"CAMPO_%1"_s.arg(i), u"Coluna %1"_s.arg(i), i, i % 3 != 0});
    many.groupFields = {u"CAMPO_7"_s, u"CAMPO_3"_s, u"CAMPO_250"_s};
    QTest::newRow("four hundred columns, three groupings") << many;
}

void tst_GridLayoutFile::writtenLayoutReadsBackEqual()
{
    QFETCH(GridLayout, layout);
    const QString path = m_dir->filePath(u"grade.lyt"_s);
    tessal::writeGridLayout(path, layout);
    QCOMPARE(tessal::readGridLayout(path), layout);
    // Written again over itself: the same bytes, so saving an unchanged layout shows no diff.
    const QByteArray first = contents(path);
    tessal::writeGridLayout(path, tessal::readGridLayout(path));
    QCOMPARE(contents(path), first);
}

void tst_GridLayoutFile::awkwardTextsRoundTripOneSettingALine_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("commas and semicolons") << u"Valor, em R$; líquido"_s;
    QTest::newRow("quotes") << u"\"Complemento\" e \" sozinha"_s;
    QTest::newRow("backslashes") << u"C:\\dados\\ e \\n e \\\" e \\"_s;
    QTest::newRow("escape look-alike") << u"\\u0041 \\t"_s;
    QTest::newRow("line breaks of every kind") << u"linha 1\nlinha 2\r\nlinha 3\r"_s;
    QTest::newRow("tab") << u"a\tb"_s;
    QTest::newRow("accents") << u"Histórico Situação Ç ã õ É ü"_s;
    QTest::newRow("leading and trailing spaces") << u"  Valor  "_s;
    QTest::newRow("only spaces") << u"   "_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("looks like lines of the file") << u"\nfim\ncoluna \"X\" \"x\" 1 visivel\n"_s;
    QTest::newRow("starts like a comment") << u"# não é comentário"_s;
    QTest::newRow("outside the basic plane") << u"Saldo 💰 𝄞"_s;
    QTest::newRow("lone surrogates")
        << QString(QString(QChar(0xD800)) + u"x"_s + QChar(0xDC00) + QChar(0xDBFF));
    QTest::newRow("control characters and DEL")
        << QString(QString(QChar(0)) + QChar(1) + QChar(0x1b) + QChar(0x7f) + QChar(0x85) + u"!"_s);
    QTest::newRow("line and paragraph separators")
        << QString(u"a"_s + QChar(0x2028) + u"b"_s + QChar(0x2029));
    QTest::newRow("byte order mark first") << QString(QString(QChar(0xFEFF)) + u"Data"_s);
}

void tst_GridLayoutFile::awkwardTextsRoundTripOneSettingALine()
{
    QFETCH(QString, text);
    const GridLayout layout = carrying(text);
    const QString path = m_dir->filePath(u"grade.lyt"_s);
    tessal::writeGridLayout(path, layout);
    QCOMPARE(tessal::readGridLayout(path), layout);

    // Header, two columns, grouping, sort, condition field, condition, end: eight lines
    // whatever the text, or a line break in it escaped nothing.
    const QByteArray bytes = contents(path);
    QVERIFY(bytes.endsWith('\n'));
    QCOMPARE(bytes.count('\n'), qsizetype(8));
    QCOMPARE(bytes.count('\r'), qsizetype(0));
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString decoded = utf8.decode(bytes);
    QVERIFY(!utf8.hasError());
    for (QChar c : decoded)
        QVERIFY2(c == u'\n' || !(c.category() == QChar::Other_Control ||
                                 c.category() == QChar::Separator_Line ||
                                 c.category() == QChar::Separator_Paragraph),
                 qPrintable(u"U+%1 written as it is"_s.arg(static_cast<uint>(c.unicode()), 4, 16,
                                                           QChar(u'0'))));
}

// The example in docs/grid-layout-format.md is read as the layout it describes, and writing
// that layout gives the example back byte for byte, so the description stays true.
void tst_GridLayoutFile::documentedExampleIsWhatTheProgramWrites()
{
    const QString sourceDir = qEnvironmentVariable("TESSAL_TEST_SOURCE_DIR");
    QVERIFY2(!sourceDir.isEmpty(), "TESSAL_TEST_SOURCE_DIR not set: run through ctest");
    const QByteArray doc = contents(QDir(sourceDir).filePath(u"docs/grid-layout-format.md"_s));
    const qsizetype start = doc.indexOf("```\n");
    QVERIFY(start >= 0);
    const qsizetype end = doc.indexOf("```", start + 4);
    QVERIFY(end > start);
    const QByteArray example = doc.mid(start + 4, end - start - 4);

    QCOMPARE(tessal::readGridLayout(put(example)), periodLayout());
    const QString written = m_dir->filePath(u"escrito.lyt"_s);
    tessal::writeGridLayout(written, periodLayout());
    QCOMPARE(QString::fromUtf8(contents(written)), QString::fromUtf8(example));
}

void tst_GridLayoutFile::handEditedFileStillReads_data()
{
    QTest::addColumn<QByteArray>("bytes");

    // init() has not run for the data: the file goes to a directory of its own.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"original.lyt"_s);
    tessal::writeGridLayout(path, periodLayout());
    const QByteArray written = contents(path);
    QList<QByteArray> lines = written.split('\n');
    lines.removeLast();

    QTest::newRow("as written") << written;
    QTest::newRow("CR LF line ends") << QByteArray(written).replace("\n", "\r\n");
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF" + written);
    QTest::newRow("no line end after fim") << written.chopped(1);
    QTest::newRow("blank lines, comments and blanks after fim")
        << QByteArray(written)
               .replace("\ngrupo", "\n\n# agrupado por conta\n   \t\ngrupo")
               .append("\n# fim do arquivo\n\n");
    QTest::newRow("more blanks before and between values")
        << QByteArray(written)
               .replace("\" ", "\" \t  ")
               .replace("\ncoluna ", "\n  coluna\t")
               .replace(" visivel", "   visivel")
               .replace("TESSAL-GRADE ", "TESSAL-GRADE\t ");
    QTest::newRow("colours in capitals") << QByteArray(written).replace("#ffff00", "#FFFF00");

    // Kinds of line in another order, the order within each kind kept.
    QByteArray shuffled = lines.takeFirst() + '\n';
    const QByteArray endLine = lines.takeLast() + '\n';
    std::stable_sort(lines.begin(), lines.end(), [](const QByteArray &a, const QByteArray &b) {
        return a.left(a.indexOf(' ')) > b.left(b.indexOf(' '));
    });
    QVERIFY(!lines.first().startsWith("coluna")); // or nothing moved
    QTest::newRow("kinds of line in another order")
        << QByteArray(shuffled + lines.join('\n') + '\n' + endLine);
}

void tst_GridLayoutFile::handEditedFileStillReads()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(tessal::readGridLayout(put(bytes)), periodLayout());
}

void tst_GridLayoutFile::damagedFileIsRefusedNamingTheLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line"); // 0: the file as a whole
    QTest::addColumn<QString>("detail");

    // Truncated files.
    QTest::newRow("cut at a line end before fim")
        << goodFileWith({}).chopped(4) << 0 << u"incompleto"_s;
    QTest::newRow("cut inside a text")
        << QByteArray("TESSAL-GRADE 1\ncoluna \"DT_LAN") << 2 << u"aspas abertas"_s;
    QTest::newRow("cut inside fim") << QByteArray("TESSAL-GRADE 1\nfi") << 2 << u"\"fi\""_s;
    QTest::newRow("cut after the header") << QByteArray("TESSAL-GRADE 1\n") << 0 << u"incompleto"_s;
    QTest::newRow("cut inside the header") << QByteArray("TESSAL-GRADE") << 1 << u"versão"_s;

    // Bad header.
    QTest::newRow("version not a number")
        << QByteArray("TESSAL-GRADE um\nfim\n") << 1 << u"versão"_s;
    QTest::newRow("version zero") << QByteArray("TESSAL-GRADE 0\nfim\n") << 1 << u"versão"_s;
    QTest::newRow("version with a leading zero")
        << QByteArray("TESSAL-GRADE 01\nfim\n") << 1 << u"versão"_s;

    // Bad lines.
    QTest::newRow("unknown key") << goodFileWith("largura \"A\" 10\n") << 3 << u"\"largura\""_s;
    QTest::newRow("key in quotes")
        << goodFileWith("\"grupo\" \"A\"\n") << 3 << u"em vez de uma chave"_s;
    QTest::newRow("too few values")
        << goodFileWith("coluna \"B\" \"b\" 10\n") << 3 << u"leva 4 valores, a linha tem 3"_s;
    QTest::newRow("too many values")
        << goodFileWith("grupo \"A\" \"B\"\n") << 3 << u"leva 1 valor, a linha tem 2"_s;
    QTest::newRow("fim with a value")
        << QByteArray("TESSAL-GRADE 1\nfim agora\n") << 2 << u"\"fim\" leva 0 valores"_s;
    QTest::newRow("field without quotes") << goodFileWith("grupo A\n") << 3 << u"aspas"_s;
    QTest::newRow("empty field name")
        << goodFileWith("coluna \"\" \"b\" 1 visivel\n") << 3 << u"campo vazio"_s;
    QTest::newRow("unknown escape") << goodFileWith("grupo \"a\\qb\"\n") << 3 << u"\\q"_s;
    QTest::newRow("short \\u escape") << goodFileWith("grupo \"\\u12\"\n") << 3 << u"\\u"_s;
    QTest::newRow("\\u escape not hex") << goodFileWith("grupo \"\\u12g4\"\n") << 3 << u"\\u"_s;
    QTest::newRow("backslash ends the line") << goodFileWith("grupo \"a\\\n") << 3 << u"aspas"_s;
    QTest::newRow("text glued to quotes")
        << goodFileWith("grupo \"a\"b\n") << 3 << u"espaço depois das aspas"_s;
    QTest::newRow("quote inside a word")
        << goodFileWith("coluna \"B\" \"b\" 1 visi\"vel\n") << 3 << u"aspas no meio"_s;
    QTest::newRow("text after fim")
        << QByteArray(goodFileWith({}) + "coluna \"B\" \"b\" 1 visivel\n") << 4
        << u"depois da linha"_s;
    QTest::newRow("not UTF-8") << goodFileWith("grupo \"\xff\xfe\"\n") << 3 << u"UTF-8"_s;

    // Bad numbers and words.
    QTest::newRow("width not a number")
        << goodFileWith("coluna \"B\" \"b\" abc visivel\n") << 3 << u"largura inválida abc"_s;
    QTest::newRow("negative width")
        << goodFileWith("coluna \"B\" \"b\" -5 visivel\n") << 3 << u"largura inválida -5"_s;
    QTest::newRow("width beyond any integer")
        << goodFileWith("coluna \"B\" \"b\" 99999999999 visivel\n") << 3 << u"largura"_s;
    QTest::newRow("width in quotes")
        << goodFileWith("coluna \"B\" \"b\" \"90\" visivel\n") << 3 << u"largura inválida \"90\""_s;
    QTest::newRow("visibility misspelt")
        << goodFileWith("coluna \"B\" \"b\" 1 visível\n") << 3 << u"visibilidade inválida"_s;
    QTest::newRow("sort direction misspelt")
        << goodFileWith("ordem \"A\" descendente\n") << 3 << u"direção inválida"_s;

    // Bad colours.
    QTest::newRow("colour with a non-hex digit")
        << goodFileWith("condicao \"D\" #gg0000 #ffff00\n") << 3 << u"cor inválida #gg0000"_s;
    QTest::newRow("colour too short")
        << goodFileWith("condicao \"D\" #ff0000 #fff\n") << 3 << u"cor inválida #fff"_s;
    QTest::newRow("colour by name")
        << goodFileWith("condicao \"D\" red #ffff00\n") << 3 << u"cor inválida red"_s;
    QTest::newRow("colour in quotes")
        << goodFileWith("condicao \"D\" \"#ff0000\" #ffff00\n") << 3 << u"cor inválida"_s;

    // Repeats.
    QTest::newRow("repeated column")
        << goodFileWith("coluna \"B\" \"b\" 1 visivel\ncoluna \"A\" \"outra\" 5 oculta\n") << 4
        << u"coluna \"A\" aparece duas vezes"_s;
    QTest::newRow("repeated grouping")
        << goodFileWith("grupo \"A\"\ngrupo \"B\"\ngrupo \"A\"\n") << 5 << u"\"A\""_s;
    QTest::newRow("second sort") << goodFileWith("ordem \"A\" crescente\nordem \"A\" decrescente\n")
                                 << 4 << u"ordem"_s;
    QTest::newRow("second condition field")
        << goodFileWith("campo-condicao \"A\"\ncampo-condicao \"B\"\n") << 4 << u"campo-condicao"_s;

    QTest::newRow("too big") << goodFileWith(
                                    QByteArray("# " + QByteArray(5 * 1024 * 1024, 'x') + '\n'))
                             << 0 << u"grande demais"_s;
}

void tst_GridLayoutFile::damagedFileIsRefusedNamingTheLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    QFETCH(QString, detail);
    // The rows are a readable file with one fault put in: were the good file refused, every row
    // would be refused for the wrong reason.
    QCOMPARE(tessal::readGridLayout(put(goodFileWith({}), u"bom.lyt"_s)).columns.size(),
             qsizetype(1));

    const QString path = put(bytes);
    const tessal::ErrorInfo error = refusal(path);
    QCOMPARE(error.number, tessal::BadLayoutFile);
    QVERIFY2(error.description.contains(u"O layout \""_s + path + u"\" está danificado"_s),
             qPrintable(error.description));
    if (line > 0)
        QVERIFY2(error.description.contains(u"(linha %1)"_s.arg(line)),
                 qPrintable(error.description));
    else
        QVERIFY2(!error.description.contains(u"(linha"_s), qPrintable(error.description));
    QVERIFY2(error.description.contains(detail), qPrintable(error.description));
}

void tst_GridLayoutFile::foreignFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("byte order mark only") << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("text file") << QByteArray("Relatório de caixa\r\nTESSAL-GRADE 1\r\n");
    QTest::newRow("binary file") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    QTest::newRow("magic in lower case") << QByteArray("tessal-grade 1\nfim\n");
    QTest::newRow("longer magic") << QByteArray("TESSAL-GRADES 1\nfim\n");
    QTest::newRow("magic on the second line") << QByteArray("\nTESSAL-GRADE 1\nfim\n");
    QTest::newRow("big file of something else") << QByteArray(6 * 1024 * 1024, '\0');
}

void tst_GridLayoutFile::foreignFileIsRefused()
{
    QFETCH(QByteArray, bytes);
    const QString path = put(bytes);
    const tessal::ErrorInfo error = refusal(path);
    QCOMPARE(error.number, tessal::BadLayoutFile);
    QCOMPARE(error.description, u"O arquivo \"%1\" não é um layout de grade."_s.arg(path));
    QCOMPARE(error.source, path);
}

void tst_GridLayoutFile::newerVersionIsRefused_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("next") << QByteArray("2");
    QTest::newRow("ten") << QByteArray("10");
    QTest::newRow("beyond any integer") << QByteArray("123456789012345678901234567890");
}

void tst_GridLayoutFile::newerVersionIsRefused()
{
    QFETCH(QByteArray, version);
    // What follows the header is unknown to this version and must not be judged: the operator
    // is told the file is newer, not that it is damaged.
    const QString path = put("TESSAL-GRADE " + version + "\nlargura-minima 12\n\xff\n");
    const tessal::ErrorInfo error = refusal(path);
    QCOMPARE(error.number, tessal::BadLayoutFile);
    QCOMPARE(error.description,
             u"O layout \"%1\" foi gravado por uma versão mais nova do programa (formato %2); "
             "esta versão lê o formato 1."_s.arg(path, QString::fromLatin1(version)));
}

void tst_GridLayoutFile::missingOrUnreadablePathIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << u"nenhum.lyt"_s << tessal::ErrorNumber::FileNotFound
                                  << u"O arquivo de layout \"%1\" não foi encontrado."_s;
    QTest::newRow("directory") << u"pasta.lyt"_s << tessal::ErrorNumber::FileAccess
                               << u"Não foi possível ler o layout \"%1\": "_s;
}

void tst_GridLayoutFile::missingOrUnreadablePathIsRefused()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    QFETCH(QString, message);
    QVERIFY(QDir(m_dir->path()).mkdir(u"pasta.lyt"_s));
    const QString path = m_dir->filePath(name);
    const tessal::ErrorInfo error = refusal(path);
    QCOMPARE(error.number, number);
    QVERIFY2(error.description.startsWith(message.arg(path)), qPrintable(error.description));
}

void tst_GridLayoutFile::failedWriteLeavesTheOldFileIntact_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fullDisk");
    QTest::addColumn<GridLayout>("layout");
    QTest::addColumn<int>("number");

    GridLayout big = periodLayout();
    for (int i = 0; i < 200; ++i)
        big.columns.append({u"EXTRA_%1"_s.arg(i), u"Coluna extra %1"_s.arg(i), 50, false});
    // A writer that truncated the file before writing would leave it cut short here.
    QTest::newRow("disk full half-way")
        << u"grade.lyt"_s << true << big << tessal::ErrorNumber::FileAccess;
    QTest::newRow("directory missing")
        << u"falta/grade.lyt"_s << false << periodLayout() << tessal::ErrorNumber::FileAccess;
    QTest::newRow("path is a directory")
        << u"pasta"_s << false << periodLayout() << tessal::ErrorNumber::FileAccess;

    GridLayout repeated = periodLayout();
    repeated.columns.append(repeated.columns.first());
    QTest::newRow("repeated column would not read back")
        << u"grade.lyt"_s << false << repeated << tessal::ErrorNumber::InvalidInput;
    GridLayout negative = periodLayout();
    negative.columns[2].width = -1;
    QTest::newRow("negative width would not read back")
        << u"grade.lyt"_s << false << negative << tessal::ErrorNumber::InvalidInput;
    GridLayout unnamed = periodLayout();
    unnamed.groupFields.append(QString());
    QTest::newRow("unnamed grouping would not read back")
        << u"grade.lyt"_s << false << unnamed << tessal::ErrorNumber::InvalidInput;
}

void tst_GridLayoutFile::failedWriteLeavesTheOldFileIntact()
{
    QFETCH(QString, name);
    QFETCH(bool, fullDisk);
    QFETCH(GridLayout, layout);
    QFETCH(int, number);

    GridLayout old = periodLayout();
    old.columns.removeLast();
    const QString oldPath = m_dir->filePath(u"grade.lyt"_s);
    tessal::writeGridLayout(oldPath, old);
    const QByteArray oldBytes = contents(oldPath);
    QVERIFY(QDir(m_dir->path()).mkdir(u"pasta"_s));
    const QStringList before = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden);

    const QString path = m_dir->filePath(name);
    tessal::ErrorInfo error;
    {
        std::optional<FileSizeLimit> limit;
        if (fullDisk) {
            limit.emplace(static_cast<rlim_t>(oldBytes.size()));
            QVERIFY(limit->isSet());
        }
        try {
            tessal::writeGridLayout(path, layout);
        } catch (const tessal::Error &e) {
            error = e.info();
        }
    }
    QCOMPARE(error.number, number);
    QVERIFY2(error.description.contains(u"\""_s + path + u"\""_s), qPrintable(error.description));
    QCOMPARE(contents(oldPath), oldBytes);
    QCOMPARE(tessal::readGridLayout(oldPath), old);
    // Nothing left behind: no half-written copy beside the file.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    QVERIFY(QFileInfo(m_dir->filePath(u"pasta"_s)).isDir());
}

QTEST_GUILESS_MAIN(tst_GridLayoutFile)
#include "tst_gridlayoutfile.moc"
