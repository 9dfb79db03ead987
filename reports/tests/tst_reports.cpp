// The shipped layouts run on a fixture and printed to PDF; the PDF is read back with pdftotext and
// its figures checked against the same figures worked out from plain SQL.

#include "core/error.h"
#include "core/pageddocument.h"
#include "reportfixture.h"
#include "reports/reportdata.h"
#include "reports/reportdocument.h"
#include "reports/reportjob.h"
#include "reports/shippedlayouts.h"
#include "testsupport/testcontext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>
#include <map>

using namespace Qt::StringLiterals;
using namespace tessal::reports;
using tessal::Cents;
using tessal::reports::test::amountsIn;
using tessal::reports::test::CashFixture;
using tessal::reports::test::ExpectedEntry;
using tessal::reports::test::pdfText;

namespace {

QString formula(const QDate &from, const QDate &to, const QString &account)
{
    const QString f = u"yyyy/MM/dd"_s;
    return u"{lancamentos.dt_lancamento} >=  #"_s + from.toString(f) +
           u"# AND {lancamentos.dt_lancamento} <= #"_s + to.toString(f) +
           u"#  and {lancamentos.cd_conta}='"_s + QString(account).replace(u"'"_s, u"''"_s) +
           u"'"_s;
}

QString money(Cents cents)
{
    return tessal::formatGrouped2(cents, QLocale(QLocale::Portuguese, QLocale::Brazil));
}

// The lines of the text whose first word is a date, as detail lines begin.
QStringList detailLines(const QString &text)
{
    static const QRegularExpression dated(u"^\\s*\\d{2}/\\d{2}/\\d{4}\\s"_s);
    QStringList lines;
    for (const QString &line : text.split(u'\n')) {
        if (dated.match(line).hasMatch())
            lines << line;
    }
    return lines;
}

QString lineContaining(const QString &text, const QString &part)
{
    for (const QString &line : text.split(u'\n')) {
        if (line.contains(part))
            return line;
    }
    return {};
}

std::vector<Cents> centsOf(const QString &line)
{
    std::vector<Cents> values;
    for (const auto &a : amountsIn(line))
        values.push_back(a.cents);
    return values;
}

} // namespace

class tst_Reports : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void statementFiguresMatchPlainSql_data();
    void statementFiguresMatchPlainSql();
    void statementPagesCountThemselves();
    void descriptionsSubtotalsMatchPlainSql();
    void consolidatedMatchesPlainSql();
    void statementRefusesWithoutSelection();
    void selectionOutsideTheSourceIsRefused();
    void refusedStepsStopTheReport_data();
    void refusedStepsStopTheReport();
    void stoppedReportShowsNothing();
    void stoppedPdfLeavesThePreviousFile();
    void shippedLayoutsAreCopiedOnlyWhenMissing();
    void reportDataIsTheSameOnBothEngines_data();
    void reportDataIsTheSameOnBothEngines();

private:
    QString printed(ReportJob &job);
    void keep(const QString &pdf) const;

    std::unique_ptr<tessal::test::TestContext> m_t;
};

void tst_Reports::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
}

void tst_Reports::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    m_t.reset();
}

QString tst_Reports::printed(ReportJob &job)
{
    const std::shared_ptr<ReportDocument> document = job.build();
    const QString pdf = m_t->dir.filePath(u"relatorio.pdf"_s);
    if (!tessal::writePdf(*document, pdf))
        return {};
    keep(pdf);
    return pdfText(pdf);
}

void tst_Reports::keep(const QString &pdf) const
{
    // With TESSAL_SCREENSHOT_DIR set the PDFs are kept there, to be looked at.
    const QString dir = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QString name = QString::fromLatin1(QTest::currentTestFunction());
    if (const char *row = QTest::currentDataTag())
        name +=
            u'-' + QString::fromUtf8(row).replace(QRegularExpression(u"[^A-Za-z0-9]+"_s), u"-"_s);
    QFile::remove(dir + u'/' + name + u".pdf"_s);
    QFile::copy(pdf, dir + u'/' + name + u".pdf"_s);
}

void tst_Reports::statementFiguresMatchPlainSql_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::newRow("0003, March 2026") << u"0003"_s << QDate(2026, 3, 1) << QDate(2026, 3, 31);
    QTest::newRow("0003, its first March day")
        << u"0003"_s << QDate(2026, 3, 1) << QDate(2026, 3, 1);
    QTest::newRow("0003, its last March day (a stored time)")
        << u"0003"_s << QDate(2026, 3, 31) << QDate(2026, 3, 31);
    QTest::newRow("0003, a period with no entry")
        << u"0003"_s << QDate(2026, 3, 25) << QDate(2026, 3, 30);
    QTest::newRow("apostrophe in the code") << u"0'5"_s << QDate(2026, 1, 1) << QDate(2026, 12, 31);
}

void tst_Reports::statementFiguresMatchPlainSql()
{
    QFETCH(QString, account);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    CashFixture fixture;
    TESSAL_REQUIRE_FIXTURE(fixture);
    tessal::reports::installShippedLayouts(fixture.layoutDir());

    // The figures from the table itself.
    Cents opening = 0;
    Cents credits = 0;
    Cents debits = 0;
    std::vector<ExpectedEntry> inPeriod;
    for (const ExpectedEntry &e : fixture.entries(account)) {
        if (e.date < from)
            opening += e.signedAmount();
        else if (e.date <= to)
            inPeriod.push_back(e);
    }
    for (const ExpectedEntry &e : inPeriod) {
        credits += e.status == u"C"_s ? e.amount : 0;
        debits += e.status == u"D"_s ? e.amount : 0;
    }

    ReportJob job(m_t->clock);
    job.setDataFile(0, fixture.path());
    job.setReportFile(fixture.layout(u"extrato.rpt"_s));
    job.setSelectionFormula(formula(from, to, account));
    const QString text = printed(job);
    QVERIFY(!text.isEmpty());

    const QString fromText = from.toString(u"dd/MM/yyyy"_s);
    const QString toText = to.toString(u"dd/MM/yyyy"_s);
    QVERIFY2(text.contains(u"Período de "_s + fromText + u" a "_s + toText), qPrintable(text));
    QVERIFY2(text.contains(u"Emitido em 07/12/2026 às 09:05"_s), qPrintable(text));
    const QString openingLine = lineContaining(text, u"Saldo anterior a "_s + fromText);
    QCOMPARE(centsOf(openingLine), std::vector<Cents>{opening});

    // Each detail line: its date, its amount in the credit or the debit column, the balance.
    const QStringList details = detailLines(text);
    QCOMPARE(details.size(), qsizetype(inPeriod.size()));
    Cents balance = opening;
    qsizetype creditEnd = -1;
    qsizetype debitEnd = -1;
    for (size_t i = 0; i < inPeriod.size(); ++i) {
        const ExpectedEntry &e = inPeriod[i];
        const QString &line = details.at(qsizetype(i));
        QVERIFY2(line.trimmed().startsWith(e.date.toString(u"dd/MM/yyyy"_s)), qPrintable(line));
        balance += e.signedAmount();
        const auto amounts = amountsIn(line);
        if (e.signedAmount() == 0 && e.status != u"C"_s && e.status != u"D"_s) {
            QCOMPARE(amounts.size(), size_t(1)); // only the balance
        } else {
            QCOMPARE(amounts.size(), size_t(2));
            QCOMPARE(amounts.front().cents, e.amount);
            (e.status == u"C"_s ? creditEnd : debitEnd) = amounts.front().end;
        }
        QCOMPARE(amounts.back().cents, balance);
    }
    if (creditEnd >= 0 && debitEnd >= 0)
        QVERIFY2(creditEnd < debitEnd, "credits print left of debits");

    const QString totals = lineContaining(text, u"Totais do período"_s);
    QVERIFY2(totals.contains(u"(lançamentos: %1)"_s.arg(inPeriod.size())), qPrintable(totals));
    QCOMPARE(centsOf(totals), (std::vector<Cents>{credits, debits}));
    const QString closing = lineContaining(text, u"Saldo final em "_s + toText);
    QCOMPARE(centsOf(closing), std::vector<Cents>{opening + credits - debits});
    if (inPeriod.empty())
        QVERIFY(text.contains(u"Nenhum lançamento da conta no período."_s));
}

void tst_Reports::statementPagesCountThemselves()
{
    CashFixture fixture(400);
    TESSAL_REQUIRE_FIXTURE(fixture);
    tessal::reports::installShippedLayouts(fixture.layoutDir());
    ReportJob job(m_t->clock);
    job.setDataFile(0, fixture.path());
    job.setReportFile(fixture.layout(u"extrato.rpt"_s));
    job.setSelectionFormula(formula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0001"_s));
    const std::shared_ptr<ReportDocument> document = job.build();
    const QString pdf = m_t->dir.filePath(u"paginas.pdf"_s);
    QVERIFY(tessal::writePdf(*document, pdf));
    keep(pdf);
    const QString text = pdfText(pdf);
    QStringList pages = text.split(u'\f');
    if (pages.last().trimmed().isEmpty())
        pages.removeLast();
    const int count = document->pageCount();
    QVERIFY2(count >= 5, "enough entries to cross several pages");
    QCOMPARE(pages.size(), qsizetype(count));
    Cents lastBalance = 0;
    int rows = 0;
    for (int p = 0; p < count; ++p) {
        const QString &page = pages.at(p);
        QVERIFY2(page.contains(u"Página %1 de %2"_s.arg(p + 1).arg(count)), qPrintable(page));
        // Every page repeats the title and the column headings.
        QVERIFY(page.contains(u"Extrato de Conta"_s));
        QVERIFY(lineContaining(page, u"Histórico"_s).contains(u"Saldo"_s));
        const QStringList details = detailLines(page);
        rows += int(details.size());
        if (!details.isEmpty())
            lastBalance = amountsIn(details.last()).back().cents;
    }
    QCOMPARE(rows, 402);
    Cents expected = 0;
    for (const ExpectedEntry &e : fixture.entries(u"0001"_s))
        expected += e.signedAmount();
    QCOMPARE(lastBalance, expected);
    QCOMPARE(centsOf(lineContaining(text, u"Saldo final em 31/03/2026"_s)),
             std::vector<Cents>{expected});
}

void tst_Reports::descriptionsSubtotalsMatchPlainSql()
{
    CashFixture fixture;
    TESSAL_REQUIRE_FIXTURE(fixture);
    tessal::reports::installShippedLayouts(fixture.layoutDir());
    ReportJob job(m_t->clock);
    job.setDataFile(0, fixture.path());
    job.setReportFile(fixture.layout(u"historicos.rpt"_s));
    job.setSelectionFormula(formula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0003"_s));
    const QString text = printed(job);

    // Each entry's cents as the program rounds them, summed here rather than by the engine.
    struct Subtotal
    {
        int count = 0;
        Cents credit = 0;
        Cents debit = 0;
    };
    std::map<QString, Subtotal> byDescription;
    QSqlQuery query(tessal::data::openDatabase(fixture.path()));
    QVERIFY(query.exec(u"SELECT cd_historico, cd_status, vl_lancamento FROM lancamentos WHERE "
                       "cd_conta = '0003' AND substr(dt_lancamento, 1, 10) BETWEEN '2026-03-01' "
                       "AND '2026-03-31'"_s));
    while (query.next()) {
        Subtotal &subtotal = byDescription[query.value(0).toString()];
        const Cents amount = tessal::centsFromDouble(query.value(2).toDouble());
        ++subtotal.count;
        subtotal.credit += query.value(1).toString() == u"C"_s ? amount : 0;
        subtotal.debit += query.value(1).toString() == u"D"_s ? amount : 0;
    }
    int groups = 0;
    Cents credits = 0;
    Cents debits = 0;
    int entries = 0;
    for (const auto &[code, subtotal] : byDescription) {
        ++groups;
        credits += subtotal.credit;
        debits += subtotal.debit;
        entries += subtotal.count;
        const QString line = lineContaining(text, u"Subtotal de "_s + code + u" "_s);
        QVERIFY2(line.contains(u"(lançamentos: %1)"_s.arg(subtotal.count)),
                 qPrintable(code + u": "_s + line));
        QCOMPARE(centsOf(line), (std::vector<Cents>{subtotal.credit, subtotal.debit}));
    }
    QCOMPARE(groups, 5); // four descriptions and the deleted one
    const QString totals = lineContaining(text, u"Totais do período"_s);
    QVERIFY2(totals.contains(u"(lançamentos: %1)"_s.arg(entries)), qPrintable(totals));
    QCOMPARE(centsOf(totals), (std::vector<Cents>{credits, debits}));
    QCOMPARE(centsOf(lineContaining(text, u"Créditos menos débitos"_s)),
             std::vector<Cents>{credits - debits});
}

void tst_Reports::consolidatedMatchesPlainSql()
{
    CashFixture fixture;
    TESSAL_REQUIRE_FIXTURE(fixture);
    tessal::reports::installShippedLayouts(fixture.layoutDir());
    ReportJob job(m_t->clock);
    job.setDataFile(0, fixture.path());
    job.setReportFile(fixture.layout(u"consolidado.rpt"_s));
    const QString text = printed(job);

    QSqlQuery query(tessal::data::openDatabase(fixture.path()));
    QVERIFY(query.exec(u"SELECT c.cd_conta, c.ds_conta, l.cd_status, l.vl_lancamento FROM contas c "
                       "LEFT JOIN lancamentos l ON l.cd_conta = c.cd_conta ORDER BY c.cd_conta"_s));
    std::map<QString, std::pair<Cents, Cents>> accounts;
    std::map<QString, QString> names;
    while (query.next()) {
        auto &[credit, debit] = accounts[query.value(0).toString()];
        names[query.value(0).toString()] = query.value(1).toString();
        const Cents amount = tessal::centsFromDouble(query.value(3).toDouble());
        credit += query.value(2).toString() == u"C"_s ? amount : 0;
        debit += query.value(2).toString() == u"D"_s ? amount : 0;
    }
    QCOMPARE(accounts.size(), size_t(4));
    Cents credits = 0;
    Cents debits = 0;
    for (const auto &[code, sums] : accounts) {
        const QString line = lineContaining(text, names[code]);
        QVERIFY2(line.trimmed().startsWith(code), qPrintable(line));
        QCOMPARE(centsOf(line),
                 (std::vector<Cents>{sums.first, sums.second, sums.first - sums.second}));
        credits += sums.first;
        debits += sums.second;
    }
    const QString totals = lineContaining(text, u"Totais (4 contas)"_s);
    QCOMPARE(centsOf(totals), (std::vector<Cents>{credits, debits, credits - debits}));
    // The account without entries is listed with zeros, not left out.
    QCOMPARE(centsOf(lineContaining(text, u"Sem Movimento"_s)), (std::vector<Cents>{0, 0, 0}));
    QVERIFY(text.contains(money(credits)));
}

void tst_Reports::statementRefusesWithoutSelection()
{
    CashFixture fixture;
    TESSAL_REQUIRE_FIXTURE(fixture);
    tessal::reports::installShippedLayouts(fixture.layoutDir());
    ReportJob job(m_t->clock);
    job.setDataFile(0, fixture.path());
    job.setReportFile(fixture.layout(u"extrato.rpt"_s));
    try {
        job.build();
        QFAIL("a statement of every account was printed");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().contains(u"só é emitido com uma fórmula de seleção"_s),
                 qPrintable(e.description()));
    }
}

void tst_Reports::selectionOutsideTheSourceIsRefused()
{
    CashFixture fixture;
    TESSAL_REQUIRE_FIXTURE(fixture);
    tessal::reports::installShippedLayouts(fixture.layoutDir());
    ReportJob job(m_t->clock);
    job.setDataFile(0, fixture.path());
    job.setReportFile(fixture.layout(u"extrato.rpt"_s));
    job.setSelectionFormula(u"{baixas.ds_baixa} = 'Normal'"_s);
    try {
        job.build();
        QFAIL("a formula over a table outside the report ran");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().contains(u"a tabela \"baixas\", que não faz parte do relatório "
                                          "\"extrato.rpt\""_s),
                 qPrintable(e.description()));
    }
}

void tst_Reports::refusedStepsStopTheReport_data()
{
    QTest::addColumn<int>("refused"); // which step is given something it refuses
    QTest::addColumn<QString>("says");
    QTest::newRow("data file") << 1 << u"banco de dados do relatório"_s;
    QTest::newRow("report file") << 2 << u"\"naoexiste.rpt\" foi recusado"_s;
    QTest::newRow("formula") << 4 << u"fórmula de seleção foi recusada"_s;
}

void tst_Reports::refusedStepsStopTheReport()
{
    QFETCH(int, refused);
    QFETCH(QString, says);
    CashFixture fixture;
    TESSAL_REQUIRE_FIXTURE(fixture);
    tessal::reports::installShippedLayouts(fixture.layoutDir());
    // consolidado.rpt needs no formula: a refused formula must still stop it, not print all.
    ReportJob job(m_t->clock);
    const auto expectRefusal = [](const std::function<void()> &step) {
        try {
            step();
        } catch (const tessal::Error &) {
            return true;
        }
        return false;
    };
    QCOMPARE(expectRefusal([&] {
                 job.setDataFile(0, refused == 1 ? fixture.file(u"nada.mdb"_s) : fixture.path());
             }),
             refused == 1);
    QCOMPARE(expectRefusal([&] {
                 job.setReportFile(
                     fixture.layout(refused == 2 ? u"naoexiste.rpt"_s : u"consolidado.rpt"_s));
             }),
             refused == 2);
    job.setWindowOptions(true, 2);
    QCOMPARE(expectRefusal([&] {
                 job.setSelectionFormula(refused == 4 ? u"{contas.cd_conta} = "_s : QString());
             }),
             refused == 4);
    try {
        job.run(m_t->dialogs);
        QFAIL("the report ran");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().contains(says), qPrintable(e.description()));
        QVERIFY2(e.description().endsWith(u"O relatório não foi emitido."_s),
                 qPrintable(e.description()));
    }
    QVERIFY(!m_t->dialogs.lastPreview());
}

void tst_Reports::stoppedReportShowsNothing()
{
    CashFixture fixture(3000);
    TESSAL_REQUIRE_FIXTURE(fixture);
    tessal::reports::installShippedLayouts(fixture.layoutDir());
    ReportJob job(m_t->clock);
    job.setDataFile(0, fixture.path());
    job.setReportFile(fixture.layout(u"extrato.rpt"_s));
    job.setWindowOptions(true, 2);
    job.setSelectionFormula(formula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0001"_s));
    m_t->dialogs.stopProgressAt(1);
    job.run(m_t->dialogs); // no preview expected: none scripted, and none may come
    QVERIFY(m_t->dialogs.progressAdvances() >= 1);
    QVERIFY(!m_t->dialogs.lastPreview());

    // Run again to the end: the preview comes, maximised, with printing offered.
    m_t->dialogs.stopProgressAt(0);
    m_t->dialogs.expectPreview();
    job.run(m_t->dialogs);
    QVERIFY(m_t->dialogs.lastPreview());
    QCOMPARE(m_t->dialogs.lastPreview()->title(), u"Extrato de Conta"_s);
    QCOMPARE(m_t->dialogs.lastPreviewOptions().windowState, Qt::WindowMaximized);
    QVERIFY(m_t->dialogs.lastPreviewOptions().printing);
}

void tst_Reports::stoppedPdfLeavesThePreviousFile()
{
    CashFixture fixture(400);
    TESSAL_REQUIRE_FIXTURE(fixture);
    tessal::reports::installShippedLayouts(fixture.layoutDir());
    ReportJob job(m_t->clock);
    job.setDataFile(0, fixture.path());
    job.setReportFile(fixture.layout(u"extrato.rpt"_s));
    job.setSelectionFormula(formula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0001"_s));
    const auto document = job.build();
    const QString pdf = m_t->dir.filePath(u"anterior.pdf"_s);
    QFile previous(pdf);
    QVERIFY(previous.open(QIODevice::WriteOnly));
    previous.write("o PDF de ontem");
    previous.close();
    int pages = 0;
    QVERIFY(!tessal::writePdf(*document, pdf, [&pages](int done, int total) {
        pages = total;
        return done < 2;
    }));
    QVERIFY(pages > 2);
    QVERIFY(previous.open(QIODevice::ReadOnly));
    QCOMPARE(previous.readAll(), QByteArray("o PDF de ontem"));
    QCOMPARE(QDir(m_t->dir.path()).entryList({u"anterior*"_s}, QDir::Files),
             QStringList{u"anterior.pdf"_s});
}

void tst_Reports::shippedLayoutsAreCopiedOnlyWhenMissing()
{
    QTemporaryDir dir;
    const QString mine = dir.filePath(u"extrato.rpt"_s);
    QFile own(mine);
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.write("meu extrato\n");
    own.close();

    QCOMPARE(installShippedLayouts(dir.path()),
             (QStringList{u"historicos.rpt"_s, u"consolidado.rpt"_s}));
    QFile check(mine);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("meu extrato\n"));
    for (const QString &name : {u"historicos.rpt"_s, u"consolidado.rpt"_s}) {
        QFile copy(dir.filePath(name));
        QVERIFY(copy.open(QIODevice::ReadWrite)); // the operator may edit the copy
        QCOMPARE(copy.readAll(), shippedLayout(name));
    }
    QCOMPARE(installShippedLayouts(dir.path()), QStringList());

    // A directory not there yet (the local one of a server installation) is made first; one that
    // cannot be made is refused with the operator's message.
    const QString local = dir.filePath(u"programa/dados-locais"_s);
    QCOMPARE(installShippedLayouts(local), shippedLayoutNames());
    QVERIFY(QFileInfo::exists(QDir(local).filePath(u"extrato.rpt"_s)));
    try {
        installShippedLayouts(QDir(mine).filePath(u"sub"_s));
        QFAIL("a directory under a file was taken");
    } catch (const tessal::Error &e) {
        QVERIFY2(e.description().startsWith(u"Não foi possível criar o diretório"_s),
                 qPrintable(e.description()));
    }
}

void tst_Reports::reportDataIsTheSameOnBothEngines_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("selection");
    QTest::newRow("statement, March (half a cent, 25 million)")
        << u"extrato.rpt"_s << formula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0003"_s);
    QTest::newRow("statement, apostrophe in the code")
        << u"extrato.rpt"_s << formula(QDate(2026, 1, 1), QDate(2026, 12, 31), u"0'5"_s);
    QTest::newRow("by description (a deleted one groups as Null)")
        << u"historicos.rpt"_s << formula(QDate(2026, 3, 1), QDate(2026, 3, 31), u"0003"_s);
    QTest::newRow("consolidated, every account") << u"consolidado.rpt"_s << QString();
}

void tst_Reports::reportDataIsTheSameOnBothEngines()
{
    QFETCH(QString, layout);
    QFETCH(QString, selection);
    if (!tessal::test::testsOnServer())
        QSKIP("compares the server with the files: runs as tst_reports_pg");
    CashFixture server;
    TESSAL_REQUIRE_FIXTURE(server);
    CashFixture files(0, CashFixture::Engine::Files);
    TESSAL_REQUIRE_FIXTURE(files);
    QVERIFY(server.onServer());
    installShippedLayouts(files.layoutDir());
    const Layout shipped = readLayout(files.layout(layout));
    std::optional<Selection> chosen;
    if (!selection.isEmpty())
        chosen = Selection::parse(selection);
    const ReportRunner runner(shipped, chosen);
    const ReportData onServer = runner.run(tessal::data::openDatabase(server.path()));
    const ReportData onFiles = runner.run(tessal::data::openDatabase(files.path()));

    // Two empty reports would agree whatever either engine read.
    QVERIFY(onFiles.rowCount() > 0);
    QCOMPARE(onServer.rowCount(), onFiles.rowCount());
    for (int f = 0; f < int(shipped.fields.size()); ++f) {
        const ValueType type = shipped.fields[size_t(f)].type;
        for (int row = 0; row < onFiles.rowCount(); ++row) {
            const QString where = u"%1, row %2"_s.arg(shipped.fields[size_t(f)].name).arg(row);
            QVERIFY2(onServer.isNull(f, row) == onFiles.isNull(f, row), qPrintable(where));
            if (type == ValueType::Text || type == ValueType::Boolean)
                QCOMPARE(onServer.text(f, row), onFiles.text(f, row));
            else
                QCOMPARE(onServer.integer(f, row), onFiles.integer(f, row));
        }
    }
    for (int t = 0; t < int(shipped.totals.size()); ++t)
        QCOMPARE(onServer.broughtForward(t), onFiles.broughtForward(t));
    for (int l = 0; l < int(shipped.lookups.size()); ++l) {
        for (int f = 0; f < int(shipped.lookups[size_t(l)].fields.size()); ++f)
            QCOMPARE(onServer.lookupValue(l, f), onFiles.lookupValue(l, f));
    }
}

QTEST_MAIN(tst_Reports)
#include "tst_reports.moc"
