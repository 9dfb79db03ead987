// The .rpt reader: the shipped layouts read, and damaged, foreign and newer files refused with a
// message that says which file, what is wrong and, where it can, on which line.

#include "core/error.h"
#include "reports/layout.h"
#include "reports/shippedlayouts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tessal::reports;

namespace {

QByteArray statement()
{
    return shippedLayout(u"extrato.rpt"_s);
}

// The line number (from 1) of the first line of the layout that holds `part`.
int lineOf(const QByteArray &bytes, const QByteArray &part)
{
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(part))
            return i + 1;
    }
    return -1;
}

QByteArray replaced(QByteArray bytes, const QByteArray &from, const QByteArray &to)
{
    if (!bytes.contains(from))
        qFatal("the shipped layout has no \"%s\"", from.constData());
    return bytes.replace(from, to);
}

QString refusal(const QByteArray &bytes, const QString &name = u"teste.rpt"_s)
{
    try {
        parseLayout(bytes, name);
    } catch (const tessal::Error &e) {
        return e.description();
    }
    return u"<accepted>"_s;
}

} // namespace

class tst_Layout : public QObject
{
    Q_OBJECT

private slots:
    void shippedLayoutsAreRead_data();
    void shippedLayoutsAreRead();
    void optionsAreRead();
    void damagedFilesAreRefused_data();
    void damagedFilesAreRefused();
    void foreignFilesAreRefused_data();
    void foreignFilesAreRefused();
    void newerFormatIsRefused();
    void filesThatCannotBeLayoutsAreRefused();
    void namesOutsideTheSourceAreRefused_data();
    void namesOutsideTheSourceAreRefused();
};

void tst_Layout::shippedLayoutsAreRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("needsSelection");
    QTest::addColumn<bool>("summary");
    QTest::addColumn<int>("groups");
    for (const auto &[name, needs, summary, groups] :
         {std::tuple{"extrato.rpt", true, false, 0}, std::tuple{"historicos.rpt", true, false, 1},
          std::tuple{"consolidado.rpt", false, true, 0}})
        QTest::newRow(name) << QString::fromLatin1(name) << needs << summary << groups;
}

void tst_Layout::shippedLayoutsAreRead()
{
    QFETCH(QString, name);
    QFETCH(bool, needsSelection);
    QFETCH(bool, summary);
    QFETCH(int, groups);
    const Layout layout = parseLayout(shippedLayout(name), name);
    QCOMPARE(layout.fileName, name);
    QCOMPARE(layout.version, LayoutFormatVersion);
    QVERIFY(!layout.title.isEmpty());
    QCOMPARE(layout.selectionRequired, needsSelection);
    QCOMPARE(layout.summary(), summary);
    QCOMPARE(int(layout.groups.size()), groups);
    QVERIFY(!layout.columns.empty());
    // Every shipped layout says "Página N de M" at the foot of its pages.
    bool pages = false;
    for (const BandLine &line : layout.pageFooter) {
        for (const Cell &cell : line.cells) {
            for (const Segment &segment : cell.content)
                pages = pages || (segment.value && segment.value->kind == Placeholder::Kind::Pages);
        }
    }
    QVERIFY(pages);
}

void tst_Layout::optionsAreRead()
{
    QByteArray bytes = statement();
    bytes = replaced(bytes, "papel = A4", "papel = carta");
    bytes = replaced(bytes, "orientacao = retrato", "orientacao = paisagem");
    bytes = replaced(bytes, "formato-valor = 1.234,56", "formato-valor = 1234,56");
    bytes = replaced(bytes, "formato-data = dd/MM/yyyy", "formato-data = dd/MM/yy");
    bytes = replaced(bytes, "margem = 15", "margem = 10,5");
    const Layout layout = parseLayout(bytes, u"carta.rpt"_s);
    QCOMPARE(layout.paper, QPageSize::Letter);
    QCOMPARE(layout.orientation, QPageLayout::Landscape);
    QCOMPARE(layout.groupedAmounts, false);
    QCOMPARE(layout.dateFormat, u"dd/MM/yy"_s);
    QCOMPARE(layout.marginMm, 10.5);
    QCOMPARE(layout.table, u"lancamentos"_s);
    QCOMPARE(layout.tables(), (QStringList{u"lancamentos"_s, u"historicos"_s}));
    QVERIFY(layout.joins.front().optional);
    QCOMPARE(layout.period->column, u"dt_lancamento"_s);
}

void tst_Layout::damagedFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("says");
    QTest::addColumn<int>("line"); // 0: no line to name

    const QByteArray good = statement();
    QTest::newRow("cut in the middle of a line")
        << good.left(good.indexOf("[colunas]") + 5) << u"falta a última linha"_s << 0;
    QTest::newRow("cut at the end of a line")
        << good.left(good.indexOf("[rodape-pagina]")) << u"falta a última linha"_s << 0;
    QTest::newRow("bytes that are not text")
        << replaced(good, "[colunas]", QByteArray("[colu\0\x01nas]", 11)) << u"não são texto"_s
        << 0;
    QTest::newRow("not UTF-8") << replaced(good, "Hist\xc3\xb3rico |", "Hist\xf3rico |")
                               << u"não está em UTF-8"_s << 0;
    QTest::newRow("version lost") << replaced(good, "TESSAL-RELATORIO 1", "TESSAL-RELATORIO um")
                                  << u"a primeira linha deveria ser"_s << 0;
    QTest::newRow("a section header lost")
        << replaced(good, "[dados]\n", "\n") << u"\"tabela\" não é uma opção de [relatorio]"_s
        << lineOf(good, "tabela = ");
    QTest::newRow("a field no one defined")
        << replaced(good, "| [credito]", "| [creditoo]") << u"[creditoo] não é um campo"_s
        << lineOf(good, "| [credito]");
    QTest::newRow("a broken expression")
        << replaced(good, "SE({lancamentos.cd_status} = 'C',", "SE({lancamentos.cd_status} = 'C,")
        << u"campo credito), posição 30: o texto aberto aqui"_s << lineOf(good, "credito = SE");
    QTest::newRow("a section of no layout")
        << replaced(good, "[totais]", "[extras]\n[totais]") << u"seção desconhecida [extras]"_s
        << lineOf(good, "[totais]");
    QTest::newRow("a section twice")
        << replaced(good, "[totais]", "[campos]\n[totais]") << u"a seção [campos] aparece de novo"_s
        << lineOf(good, "[totais]");
    QTest::newRow("a column without its four parts")
        << replaced(good, "data = 11 | esquerda | Data | [data]", "data = 11 | esquerda")
        << u"largura | alinhamento | título | conteúdo"_s << lineOf(good, "data = 11");
    QTest::newRow("a total over text")
        << replaced(good, "creditos = SOMA(credito)", "creditos = SOMA(historico)")
        << u"\"historico\" não é um valor"_s << lineOf(good, "creditos = SOMA");
    QTest::newRow("a section missing")
        << replaced(good, "[colunas]", "[rodape-grupo x]") << u"falta a seção [colunas]"_s << 0;
    QTest::newRow("a band of a group that does not exist")
        << replaced(good, "[rodape-pagina]", "[rodape-grupo x]") << u"\"x\" não é um grupo"_s
        << lineOf(good, "[rodape-pagina]");
}

void tst_Layout::damagedFilesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, says);
    QFETCH(int, line);
    const QString message = refusal(bytes);
    QVERIFY2(message.contains(u"\"teste.rpt\""_s), qPrintable(message));
    QVERIFY2(message.contains(says), qPrintable(message));
    if (line > 0)
        QVERIFY2(message.contains(u"linha %1"_s.arg(line)), qPrintable(message));
    else
        QVERIFY2(message.contains(u"está danificado"_s), qPrintable(message));
}

void tst_Layout::foreignFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("compound document of another report engine")
        << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + QByteArray(504, '\0');
    QTest::newRow("a PDF") << QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<<>>\nendobj\n");
    QTest::newRow("plain text") << QByteArray("Relatório de vendas\r\nlinha dois\r\n");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("a layout with its header lower case")
        << replaced(statement(), "TESSAL-RELATORIO 1", "tessal-relatorio 1");
}

void tst_Layout::foreignFilesAreRefused()
{
    QFETCH(QByteArray, bytes);
    const QString message = refusal(bytes, u"vendas.rpt"_s);
    QVERIFY2(message.startsWith(u"O arquivo \"vendas.rpt\" não é um modelo de relatório do Tessal "
                                "Caixa"_s),
             qPrintable(message));
}

void tst_Layout::newerFormatIsRefused()
{
    const QString message =
        refusal(replaced(statement(), "TESSAL-RELATORIO 1", "TESSAL-RELATORIO 2"), u"novo.rpt"_s);
    QVERIFY2(message.contains(u"\"novo.rpt\" foi escrito no formato 2"_s), qPrintable(message));
    QVERIFY2(message.contains(u"Atualize o programa"_s), qPrintable(message));
}

void tst_Layout::filesThatCannotBeLayoutsAreRefused()
{
    QTemporaryDir dir;
    const auto refused = [](const QString &path) -> std::pair<int, QString> {
        try {
            readLayout(path);
        } catch (const tessal::Error &e) {
            return {e.number(), e.description()};
        }
        return {0, u"<accepted>"_s};
    };
    auto [number, message] = refused(dir.filePath(u"nenhum.rpt"_s));
    QCOMPARE(number, tessal::ErrorNumber::FileNotFound);
    QVERIFY2(message.contains(u"não foi encontrado"_s), qPrintable(message));

    // No file chosen in the list: the data directory followed by the separator.
    std::tie(number, message) = refused(dir.path() + QDir::separator());
    QCOMPARE(number, tessal::ErrorNumber::FileNotFound);
    QVERIFY2(message.startsWith(u"Nenhum modelo de relatório foi escolhido"_s),
             qPrintable(message));

    QFile big(dir.filePath(u"grande.rpt"_s));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write(statement());
    big.write(QByteArray(2 * 1024 * 1024, '#'));
    big.close();
    std::tie(number, message) = refused(big.fileName());
    QVERIFY2(message.contains(u"grande demais"_s), qPrintable(message));

    QFile good(dir.filePath(u"extrato.rpt"_s));
    QVERIFY(good.open(QIODevice::WriteOnly));
    good.write(statement());
    good.close();
    QCOMPARE(readLayout(good.fileName()).title, u"Extrato de Conta"_s);
}

void tst_Layout::namesOutsideTheSourceAreRefused_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("says");
    QTest::newRow("the users' table as the source")
        << QByteArray("tabela = lancamentos") << QByteArray("tabela = usuarios")
        << u"a tabela \"usuarios\" não existe nos relatórios"_s;
    QTest::newRow("a password in a field")
        << QByteArray("complemento = {lancamentos.ds_complemento}")
        << QByteArray("complemento = {usuarios.senha}")
        << u"a tabela \"usuarios\" não existe nos relatórios"_s;
    QTest::newRow("a table not joined")
        << QByteArray("complemento = {lancamentos.ds_complemento}")
        << QByteArray("complemento = {baixas.ds_baixa}")
        << u"o campo usa a tabela \"baixas\", que não faz parte da fonte"_s;
    QTest::newRow("a join that does not reach its table")
        << QByteArray("juntar-opcional = historicos: {historicos.cd_historico} = "
                      "{lancamentos.cd_historico}")
        << QByteArray("juntar-opcional = historicos: {lancamentos.cd_conta} = "
                      "{lancamentos.cd_historico}")
        << u"a condição da junção deve usar algum campo de \"historicos\""_s;
    QTest::newRow("a lookup reading another table")
        << QByteArray("nome = {contas.ds_conta}") << QByteArray("nome = {baixas.ds_baixa}")
        << u"a consulta \"conta\" lê só a tabela \"contas\", e usa \"baixas\""_s;
    QTest::newRow("a period that is not a date")
        << QByteArray("periodo = {lancamentos.dt_lancamento}")
        << QByteArray("periodo = {lancamentos.vl_lancamento}")
        << u"o período deve ser um campo de data"_s;
}

void tst_Layout::namesOutsideTheSourceAreRefused()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, says);
    const QString message = refusal(replaced(statement(), from, to));
    QVERIFY2(message.contains(says), qPrintable(message));
    QVERIFY2(message.contains(u"linha %1"_s.arg(lineOf(statement(), from))), qPrintable(message));
}

QTEST_GUILESS_MAIN(tst_Layout)
#include "tst_layout.moc"
