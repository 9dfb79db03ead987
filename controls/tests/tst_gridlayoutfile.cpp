#include "controls/gridlayoutfile.h"
#include "core/error.h"
#include "testsupport/filesizelimit.h"

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
using tessal::GridLayout;

Q_DECLARE_METATYPE(tessal::GridLayout)

namespace tessal {

// So that a failed comparison shows both layouts.
char *toString(const GridLayout &l)
{
    QString text;
    for (const GridLayout::Column &c : l.columns)
        text += u"[%1|%2|%3|%4] "_s.arg(c.field, c.caption).arg(c.width).arg(c.visible);
    text += u"grupos %1 ordem %2 %3 campo %4"_s.arg(l.groupFields.join(u'|'), l.sortField)
                .arg(l.sortDescending)
                .arg(l.conditionField);
    for (const FormatCondition &c : l.conditions)
        text += u" [%1|%2|%3]"_s.arg(c.value, c.foreground.name(QColor::HexArgb),
                                     c.background.name(QColor::HexArgb));
    return QTest::toString(text);
}

} // namespace tessal

namespace {

// The period query's columns, two hidden, with a grouping, a descending sort and the two
// conditions on the status column.
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
    layout.conditions = {{u"D"_s, QColor(255, 0, 0), QColor(255, 255, 0)},
                         {u"C"_s, QColor(0, 0, 255), QColor(255, 255, 0)}};
    return layout;
}

// A good file with `lines` put in before its end (from line 3), so each damaged file differs
// from a readable one only by its fault.
QByteArray goodFileWith(const QByteArray &lines)
{
    return "TESSAL-GRADE 1\ncoluna \"A\" \"a\" 10 visivel\n" + lines + "fim\n";
}

QString damaged(int line, const QString &detail)
{
    const QString where = line > 0 ? u" (linha %1)"_s.arg(line) : QString();
    return u"O layout \"%1\" está danificado"_s + where + u": "_s + detail + u"."_s;
}

} // namespace

class tst_GridLayoutFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.emplace().isValid()); }
    void cleanup() { m_dir.reset(); }

    void writtenLayoutReadsBackEqual_data();
    void writtenLayoutReadsBackEqual();
    void awkwardTextsRoundTripOneSettingALine_data();
    void awkwardTextsRoundTripOneSettingALine();
    void documentedExampleIsWhatTheProgramWrites();
    void handEditedFileStillReads_data();
    void handEditedFileStillReads();
    void refusedFileIsNamedWithItsFault_data();
    void refusedFileIsNamedWithItsFault();
    void failedWriteLeavesTheOldFileIntact_data();
    void failedWriteLeavesTheOldFileIntact();
    void pathWithoutAFileIsRefused();

private:
    QString put(const QByteArray &bytes, const QString &name = u"grade.lyt"_s) const;
    static QByteArray contents(const QString &path);

    std::optional<QTemporaryDir> m_dir;
};

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

void tst_GridLayoutFile::writtenLayoutReadsBackEqual_data()
{
    QTest::addColumn<GridLayout>("layout");
    QTest::newRow("period query with grouping, sort and conditions") << periodLayout();
    QTest::newRow("empty layout") << GridLayout{};

    GridLayout unsorted = periodLayout();
    unsorted.sortField.clear();
    unsorted.conditionField.clear();
    for (GridLayout::Column &column : unsorted.columns)
        column.visible = false;
    QTest::newRow("all hidden, descending without a sort field") << unsorted;

    GridLayout looks = periodLayout();
    looks.conditions = {{u"D"_s, QColor(), QColor(10, 20, 30, 128)},
                        {u"D"_s, QColor(0xab, 0xcd, 0xef), QColor(0, 0, 0, 0)}};
    looks.columns[0].width = std::numeric_limits<int>::max();
    QTest::newRow("grid's own and translucent colours, widest width") << looks;

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
    // Saved again unchanged, it gives the same bytes: no diff for an unchanged layout.
    const QByteArray first = contents(path);
    tessal::writeGridLayout(path, tessal::readGridLayout(path));
    QCOMPARE(contents(path), first);
}

void tst_GridLayoutFile::awkwardTextsRoundTripOneSettingALine_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("commas, semicolons, accents") << u"Valor, em R$; Situação Ç É ü"_s;
    QTest::newRow("quotes") << u"\"Complemento\" e \" sozinha"_s;
    QTest::newRow("backslashes and escape look-alikes") << u"C:\\dados\\ \\n \\\" \\u0041 \\"_s;
    QTest::newRow("line breaks of every kind") << u"linha 1\nlinha 2\r\nlinha 3\r\tfim"_s;
    QTest::newRow("leading and trailing spaces") << u"  Valor  "_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("looks like lines of the file") << u"\nfim\ncoluna \"X\" \"x\" 1 visivel"_s;
    QTest::newRow("starts like a comment") << u"# não é comentário"_s;
    QTest::newRow("outside the basic plane") << u"Saldo 💰 𝄞"_s;
    QTest::newRow("lone surrogates")
        << QString(QString(QChar(0xD800)) + u"x"_s + QChar(0xDC00) + QChar(0xDBFF));
    QTest::newRow("controls, DEL, separators, byte order mark")
        << QString(QString(QChar(0)) + QChar(0x1b) + QChar(0x7f) + QChar(0x85) + QChar(0x2028) +
                   QChar(0x2029) + QChar(0xFEFF));
}

void tst_GridLayoutFile::awkwardTextsRoundTripOneSettingALine()
{
    QFETCH(QString, text);
    // The text in every place that holds one; field names, never empty, carry it behind a
    // letter.
    GridLayout layout;
    layout.columns = {{u"F"_s + text, text, 10, true}, {u"G"_s + text, text, 0, false}};
    layout.groupFields = {u"F"_s + text};
    layout.sortField = text;
    layout.sortDescending = true;
    layout.conditionField = u"F"_s + text;
    layout.conditions = {{text, QColor(255, 0, 0), QColor(255, 255, 0)}};
    const QString path = m_dir->filePath(u"grade.lyt"_s);
    tessal::writeGridLayout(path, layout);
    QCOMPARE(tessal::readGridLayout(path), layout);

    // Header, two columns, grouping, sort, condition field, condition and end: eight lines
    // whatever the text, or a line break in it went unescaped; nothing invisible either.
    const QByteArray bytes = contents(path);
    QCOMPARE(bytes.count('\n'), qsizetype(8));
    QVERIFY(bytes.endsWith('\n'));
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString decoded = utf8.decode(bytes);
    QVERIFY(!utf8.hasError());
    for (QChar c : decoded)
        QVERIFY2(c == u'\n' || (c.category() != QChar::Other_Control &&
                                c.category() != QChar::Separator_Line &&
                                c.category() != QChar::Separator_Paragraph),
                 qPrintable(u"U+%1 written as it is"_s.arg(static_cast<uint>(c.unicode()), 4, 16,
                                                           QChar(u'0'))));
}

// The example in docs/grid-layout-format.md reads as the layout it describes, and writing that
// layout gives the example back byte for byte, so the description stays true.
void tst_GridLayoutFile::documentedExampleIsWhatTheProgramWrites()
{
    const QString sourceDir = qEnvironmentVariable("TESSAL_TEST_SOURCE_DIR");
    QVERIFY2(!sourceDir.isEmpty(), "TESSAL_TEST_SOURCE_DIR not set: run through ctest");
    const QByteArray doc = contents(QDir(sourceDir).filePath(u"docs/grid-layout-format.md"_s));
    const qsizetype start = doc.indexOf("```\n") + 4;
    const qsizetype end = doc.indexOf("```", start);
    QVERIFY(start >= 4 && end > start);
    const QByteArray example = doc.mid(start, end - start);

    QCOMPARE(tessal::readGridLayout(put(example)), periodLayout());
    const QString written = m_dir->filePath(u"escrito.lyt"_s);
    tessal::writeGridLayout(written, periodLayout());
    QCOMPARE(QString::fromUtf8(contents(written)), QString::fromUtf8(example));
}

void tst_GridLayoutFile::handEditedFileStillReads_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTemporaryDir dir; // init() has not run for the data
    QVERIFY(dir.isValid());
    tessal::writeGridLayout(dir.filePath(u"a.lyt"_s), periodLayout());
    const QByteArray written = contents(dir.filePath(u"a.lyt"_s));

    QTest::newRow("CR LF line ends and byte order mark")
        << QByteArray("\xEF\xBB\xBF" + QByteArray(written).replace("\n", "\r\n"));
    QTest::newRow("no line end after fim") << written.chopped(1);
    QTest::newRow("blank lines and comments, after fim too")
        << QByteArray(written).replace("\ngrupo", "\n\n# por conta\n \t\ngrupo").append("\n# .\n");
    QTest::newRow("more blanks, capital hex digits")
        << QByteArray(written)
               .replace("\" ", "\" \t  ")
               .replace("\ncoluna ", "\n  coluna\t")
               .replace("TESSAL-GRADE ", "TESSAL-GRADE\t ")
               .replace("#ffff00", "#FFFF00");

    // The kinds of line in another order, the order within each kind kept.
    QList<QByteArray> lines = written.split('\n');
    lines.removeLast();
    const QByteArray header = lines.takeFirst();
    const QByteArray end = lines.takeLast();
    std::stable_sort(lines.begin(), lines.end(), [](const QByteArray &a, const QByteArray &b) {
        return a.left(a.indexOf(' ')) > b.left(b.indexOf(' '));
    });
    QVERIFY(lines.first().startsWith("ordem")); // or nothing moved
    QTest::newRow("kinds of line in another order")
        << QByteArray(header + '\n' + lines.join('\n') + '\n' + end + '\n');
}

void tst_GridLayoutFile::handEditedFileStillReads()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(tessal::readGridLayout(put(bytes)), periodLayout());
}

void tst_GridLayoutFile::refusedFileIsNamedWithItsFault_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message"); // %1: the file

    const QString foreign = u"O arquivo \"%1\" não é um layout de grade."_s;
    QTest::newRow("empty file") << QByteArray() << foreign;
    QTest::newRow("byte order mark only") << QByteArray("\xEF\xBB\xBF") << foreign;
    QTest::newRow("text file") << QByteArray("Relatório de caixa\nTESSAL-GRADE 1\n") << foreign;
    QTest::newRow("binary file") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << foreign;
    QTest::newRow("magic in lower case") << QByteArray("tessal-grade 1\nfim\n") << foreign;
    QTest::newRow("longer magic") << QByteArray("TESSAL-GRADES 1\nfim\n") << foreign;
    QTest::newRow("big file of something else") << QByteArray(5 << 20, '\0') << foreign;

    // What follows a newer header is not judged: the file is newer, not damaged.
    const QString newer = u"O layout \"%1\" foi gravado por uma versão mais nova do programa "
                          "(formato %2); esta versão lê o formato 1."_s;
    QTest::newRow("next version") << QByteArray("TESSAL-GRADE 2\nlargura-minima 9\n\xff\n")
                                  << newer.arg(u"%1"_s, u"2"_s);
    const QByteArray huge = "123456789012345678901234567890";
    QTest::newRow("version beyond any integer") << QByteArray("TESSAL-GRADE " + huge + "\n")
                                                << newer.arg(u"%1"_s, QString::fromLatin1(huge));

    const auto row = [](const char *name, const QByteArray &bytes, int line,
                        const QString &detail) {
        QTest::newRow(name) << bytes << damaged(line, detail);
    };
    const QString end = u"o arquivo termina antes da linha \"fim\", está incompleto"_s;
    row("cut at a line end before fim", goodFileWith({}).chopped(4), 0, end);
    row("cut after the header", "TESSAL-GRADE 1\n", 0, end);
    row("cut inside a text", "TESSAL-GRADE 1\ncoluna \"DT_LAN", 2,
        u"aspas abertas e não fechadas"_s);
    row("cut inside fim", "TESSAL-GRADE 1\nfi", 2, u"chave desconhecida \"fi\""_s);
    row("cut inside the header", "TESSAL-GRADE", 1, u"falta a versão do formato"_s);
    row("version zero", "TESSAL-GRADE 0\nfim\n", 1, u"versão do formato inválida"_s);
    row("key in quotes", goodFileWith("\"grupo\" \"A\"\n"), 3,
        u"a linha começa por um texto entre aspas em vez de uma chave"_s);
    row("too few values", goodFileWith("coluna \"B\" \"b\" 10\n"), 3,
        u"\"coluna\" leva 4 valores, a linha tem 3 valores"_s);
    row("fim with a value", "TESSAL-GRADE 1\nfim agora\n", 2,
        u"\"fim\" leva 0 valores, a linha tem 1 valor"_s);
    row("field without quotes", goodFileWith("grupo A\n"), 3,
        u"esperado um texto entre aspas em vez de A"_s);
    row("empty field name", goodFileWith("coluna \"\" \"b\" 1 visivel\n"), 3,
        u"nome de campo vazio"_s);
    row("unknown escape", goodFileWith("grupo \"a\\qb\"\n"), 3,
        u"sequência de escape desconhecida \\q"_s);
    row("\\u escape not hex", goodFileWith("grupo \"\\u12g4\"\n"), 3,
        u"\\u sem quatro algarismos hexadecimais"_s);
    row("text glued to quotes", goodFileWith("grupo \"a\"b\n"), 3,
        u"falta um espaço depois das aspas"_s);
    row("quote inside a word", goodFileWith("grupo x\"y\"\n"), 3, u"aspas no meio de \"x\"y\"\""_s);
    row("text after fim", goodFileWith({}) + "grupo \"A\"\n", 4,
        u"há texto depois da linha \"fim\""_s);
    row("not UTF-8", goodFileWith("grupo \"\xff\xfe\"\n"), 3, u"o texto não está em UTF-8"_s);
    row("negative width", goodFileWith("coluna \"B\" \"b\" -5 visivel\n"), 3,
        u"largura inválida -5"_s);
    row("width beyond any integer", goodFileWith("coluna \"B\" \"b\" 99999999999 visivel\n"), 3,
        u"largura inválida 99999999999"_s);
    row("width in quotes", goodFileWith("coluna \"B\" \"b\" \"9\" visivel\n"), 3,
        u"largura inválida \"9\""_s);
    row("visibility misspelt", goodFileWith("coluna \"B\" \"b\" 1 visível\n"), 3,
        u"visibilidade inválida visível (use visivel ou oculta)"_s);
    row("sort direction misspelt", goodFileWith("ordem \"A\" descendente\n"), 3,
        u"direção inválida descendente (use decrescente ou crescente)"_s);
    row("colour with a non-hex digit", goodFileWith("condicao \"D\" #gg0000 #ffff00\n"), 3,
        u"cor inválida #gg0000"_s);
    row("colour too short", goodFileWith("condicao \"D\" #ff0000 #fff\n"), 3,
        u"cor inválida #fff"_s);
    row("colour by name", goodFileWith("condicao \"D\" red #ffff00\n"), 3, u"cor inválida red"_s);
    row("repeated column",
        goodFileWith("coluna \"B\" \"b\" 1 visivel\ncoluna \"A\" \"x\" 5 oculta\n"), 4,
        u"a coluna \"A\" aparece duas vezes"_s);
    row("repeated grouping", goodFileWith("grupo \"A\"\ngrupo \"B\"\ngrupo \"A\"\n"), 5,
        u"o agrupamento por \"A\" aparece duas vezes"_s);
    row("second sort", goodFileWith("ordem \"A\" crescente\nordem \"A\" decrescente\n"), 4,
        u"a linha \"ordem\" aparece duas vezes"_s);
    row("second condition field", goodFileWith("campo-condicao \"A\"\ncampo-condicao \"B\"\n"), 4,
        u"a linha \"campo-condicao\" aparece duas vezes"_s);
    row("too big", goodFileWith("# " + QByteArray(5 << 20, 'x') + '\n'), 0,
        u"o arquivo é grande demais para um layout"_s);
}

void tst_GridLayoutFile::refusedFileIsNamedWithItsFault()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    // The damaged rows are a readable file with one fault put in: were that file refused,
    // every row would be refused for a reason of its own.
    QCOMPARE(tessal::readGridLayout(put(goodFileWith({}), u"bom.lyt"_s)).columns.size(),
             qsizetype(1));
    const QString path = put(bytes);
    try {
        const std::unique_ptr<char[]> read(QTest::toString(tessal::readGridLayout(path)));
        QFAIL(read.get());
    } catch (const tessal::Error &e) {
        QCOMPARE(e.number(), tessal::BadLayoutFile);
        QCOMPARE(e.description(), message.arg(path));
    }
}

void tst_GridLayoutFile::failedWriteLeavesTheOldFileIntact_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fullDisk");
    QTest::addColumn<GridLayout>("layout");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("message"); // %1: the path; up to the system's reason

    GridLayout big = periodLayout();
    for (int i = 0; i < 200; ++i)
        big.columns.append({u"EXTRA_%1"_s.arg(i), u"Coluna extra %1"_s.arg(i), 50, false});
    const QString unwritable = u"Não foi possível gravar o layout \"%1\": "_s;
    // A writer that emptied the file before writing would leave it cut short here.
    QTest::newRow("disk full half-way")
        << u"grade.lyt"_s << true << big << tessal::ErrorNumber::FileAccess << unwritable;
    QTest::newRow("directory missing") << u"falta/grade.lyt"_s << false << periodLayout()
                                       << tessal::ErrorNumber::FileAccess << unwritable;
    QTest::newRow("path is a directory")
        << u"pasta"_s << false << periodLayout() << tessal::ErrorNumber::FileAccess << unwritable;
    GridLayout repeated = periodLayout();
    repeated.columns.append(repeated.columns.first());
    repeated.columns.last().caption = u"Outra"_s;
    QTest::newRow("repeated column would not read back")
        << u"grade.lyt"_s << false << repeated << tessal::ErrorNumber::InvalidInput
        << u"O layout não foi gravado em \"%1\": a coluna \"DT_LANCAMENTO\" aparece duas vezes."_s;
}

void tst_GridLayoutFile::failedWriteLeavesTheOldFileIntact()
{
    QFETCH(QString, name);
    QFETCH(bool, fullDisk);
    QFETCH(GridLayout, layout);
    QFETCH(int, number);
    QFETCH(QString, message);

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
        std::optional<tessal::test::FileSizeLimit> limit;
        if (fullDisk)
            QVERIFY(limit.emplace(static_cast<rlim_t>(oldBytes.size())).isSet());
        try {
            tessal::writeGridLayout(path, layout);
        } catch (const tessal::Error &e) {
            error = e.info();
        }
    }
    QCOMPARE(error.number, number);
    QVERIFY2(error.description.startsWith(message.arg(path)), qPrintable(error.description));
    QCOMPARE(contents(oldPath), oldBytes);
    // Nothing left behind: no half-written copy beside the file.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden), before);
}

void tst_GridLayoutFile::pathWithoutAFileIsRefused()
{
    QVERIFY(QDir(m_dir->path()).mkdir(u"pasta.lyt"_s));
    for (const auto &[name, message] :
         {std::pair(u"falta.lyt"_s, u"O arquivo de layout \"%1\" não foi encontrado."_s),
          std::pair(u"pasta.lyt"_s, u"Não foi possível ler o layout \"%1\": "_s)}) {
        const QString path = m_dir->filePath(name);
        try {
            tessal::readGridLayout(path);
            QFAIL(qPrintable(path));
        } catch (const tessal::Error &e) {
            QVERIFY2(e.description().startsWith(message.arg(path)), qPrintable(e.description()));
        }
    }
}

QTEST_GUILESS_MAIN(tst_GridLayoutFile)
#include "tst_gridlayoutfile.moc"
