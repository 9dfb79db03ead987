#include "controls/griddocument.h"
#include "core/error.h"
#include "data/database.h"
#include "testsupport/pdftext.h"

#include <QDir>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace tessal;
using namespace Qt::StringLiterals;

namespace {

const QString Sql =
    u"SELECT LANCAMENTOS.cd_lancamento, contas.ds_conta, LANCAMENTOS.VL_LANCAMENTO, "
    "LANCAMENTOS.CD_STATUS, LANCAMENTOS.rowid AS tessal_id FROM LANCAMENTOS INNER JOIN contas ON "
    "LANCAMENTOS.cd_conta = contas.CD_conta"_s;

// 300 entries: 200 in Caixa, 100 in Banco, so each account runs over several pages.
constexpr int Entries = 300;

} // namespace

class tst_GridDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void everyRowOnceAcrossPagesWithHeadersAndPageNumbers();
    void groupPagesStartEachOutermostGroupOnAPage();
    void headersOnlyOnTheFirstPageUnlessRepeated();
    void selectedRowsOnly();
    void cancelledBuildThrows();

private:
    QStringList pdfPages(const GridDocument &document);
    GridDocument::Settings settings() const;

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<GroupedQueryModel> m_source;
    QList<GridDocument::Column> m_columns;
};

void tst_GridDocument::initTestCase()
{
    QVERIFY(m_dir.isValid());
    data::ensureDataDirectory(m_dir.path());
    m_path = data::cashDatabasePath(m_dir.path());
    QSqlDatabase db = data::openDatabase(m_path);
    QSqlQuery q(db);
    QVERIFY(q.exec(u"INSERT INTO contas VALUES ('001', 'Caixa'), ('002', 'Banco')"_s));
    QVERIFY(db.transaction());
    QVERIFY(q.prepare(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, vl_lancamento, "
                      "cd_status) VALUES (?, ?, ?, ?)"_s));
    for (int i = 1; i <= Entries; ++i) {
        q.addBindValue(u"%1"_s.arg(i, 10, 10, QLatin1Char('0')));
        q.addBindValue(i % 3 == 0 ? u"002"_s : u"001"_s);
        q.addBindValue(double(i));
        q.addBindValue(i % 2 ? u"C"_s : u"D"_s);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
    QVERIFY(db.commit());
}

void tst_GridDocument::cleanupTestCase()
{
    m_source.reset();
    data::closeDatabase(m_path);
}

void tst_GridDocument::init()
{
    m_source = std::make_unique<GroupedQueryModel>();
    m_source->setDatabasePath(m_path);
    m_source->setSql(Sql);
    m_source->setColumns({{u"cd_lancamento"_s, u"Lancamento"_s},
                          {u"ds_conta"_s, u"Conta"_s},
                          {u"VL_LANCAMENTO"_s, u"Valor"_s},
                          {u"CD_STATUS"_s, u"Situacao"_s}});
    m_columns = {{0, 120}, {1, 150}, {2, 90}, {3, 60}};
}

GridDocument::Settings tst_GridDocument::settings() const
{
    GridDocument::Settings s;
    s.title = u"Movimento"_s;
    s.slotText[1] = u"Movimento"_s;
    s.slotText[2] = u"09/12/2026 10:00:00"_s;
    s.pageEvent = [](int page, int pages) { return u"Page %1\r\n of %2"_s.arg(page).arg(pages); };
    return s;
}

QStringList tst_GridDocument::pdfPages(const GridDocument &document)
{
    const QString pdf = m_dir.filePath(u"grade.pdf"_s);
    if (!writePdf(document, pdf))
        return {};
    return test::pdfPages(pdf);
}

void tst_GridDocument::everyRowOnceAcrossPagesWithHeadersAndPageNumbers()
{
    const GridDocument document(*m_source, m_columns, settings());
    QCOMPARE(document.rowCount(), Entries);
    QVERIFY(document.pageCount() > 3);
    const QStringList pages = pdfPages(document);
    QCOMPARE(pages.size(), document.pageCount());
    // Every entry once, in order, and the column headers and the page text on every page.
    QStringList codes;
    static const QRegularExpression code(u"\\b00000\\d{5}\\b"_s);
    for (int p = 0; p < pages.size(); ++p) {
        for (const auto &match : code.globalMatch(pages[p]))
            codes << match.captured();
        QVERIFY2(pages[p].contains(u"Lancamento"_s), qPrintable(pages[p]));
        QVERIFY2(pages[p].contains(u"Page %1"_s.arg(p + 1)), qPrintable(pages[p]));
        QVERIFY2(pages[p].contains(u"of %1"_s.arg(pages.size())), qPrintable(pages[p]));
        QVERIFY(pages[p].contains(u"09/12/2026 10:00:00"_s));
    }
    QCOMPARE(codes.size(), Entries);
    QCOMPARE(codes.first(), u"0000000001"_s);
    QCOMPARE(codes.last(), u"0000000300"_s);
    QVERIFY(std::is_sorted(codes.begin(), codes.end()));
}

void tst_GridDocument::groupPagesStartEachOutermostGroupOnAPage()
{
    m_source->setGrouping({u"ds_conta"_s});
    GridDocument::Settings s = settings();
    s.groupPages = true;
    const GridDocument document(*m_source, m_columns, s);
    // Two headings and every row.
    QCOMPARE(document.rowCount(), Entries);
    const QStringList pages = pdfPages(document);
    // Kept for looking at, where screenshots are asked for.
    if (const QString shots = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR"); !shots.isEmpty())
        QVERIFY(writePdf(document, QDir(shots).filePath(u"grade-agrupada.pdf"_s)));
    int headings = 0;
    int caixaFirst = -1;
    for (int p = 0; p < pages.size(); ++p) {
        if (pages[p].contains(u"Conta: Banco (100)"_s)) {
            QCOMPARE(p, 0);
            ++headings;
        }
        if (pages[p].contains(u"Conta: Caixa (200)"_s)) {
            caixaFirst = p;
            ++headings;
        }
    }
    QCOMPARE(headings, 2);
    QVERIFY(caixaFirst > 0);
    // Caixa starts a page of its own: the page before it holds only Banco's rows.
    QVERIFY(!pages[caixaFirst - 1].contains(u"Caixa"_s));
    QVERIFY(pages[caixaFirst].section(u"Conta: Caixa"_s, 0, 0).count(u"Banco"_s) == 0);

    // Without group pages Caixa follows Banco on the same page.
    s.groupPages = false;
    const GridDocument together(*m_source, m_columns, s);
    QVERIFY(together.pageCount() < document.pageCount());
}

void tst_GridDocument::headersOnlyOnTheFirstPageUnlessRepeated()
{
    GridDocument::Settings s = settings();
    s.repeatHeaders = false;
    const GridDocument document(*m_source, m_columns, s);
    const QStringList pages = pdfPages(document);
    QVERIFY(pages.size() > 1);
    QVERIFY(pages[0].contains(u"Lancamento"_s));
    for (int p = 1; p < pages.size(); ++p)
        QVERIFY2(!pages[p].contains(u"Lancamento"_s), qPrintable(pages[p]));
    // The rows the headers leave room for go to the pages themselves.
    const GridDocument repeated(*m_source, m_columns, settings());
    QVERIFY(document.pageCount() <= repeated.pageCount());
}

void tst_GridDocument::selectedRowsOnly()
{
    m_source->setGrouping({u"ds_conta"_s});
    m_source->refresh();
    // Two of Caixa's rows: Banco has none, so its heading is left out too.
    const QModelIndex caixa = m_source->index(1, 0);
    m_source->load(caixa);
    GridDocument::Settings s = settings();
    s.selectedOnly = true;
    s.selected = {m_source->identityOf(m_source->index(0, 0, caixa)),
                  m_source->identityOf(m_source->index(5, 0, caixa))};
    const GridDocument document(*m_source, m_columns, s);
    QCOMPARE(document.rowCount(), 2);
    QCOMPARE(document.pageCount(), 1);
    const QString text = pdfPages(document).join(u'\f');
    QVERIFY(text.contains(u"Conta: Caixa"_s));
    QVERIFY(!text.contains(u"Banco"_s));
}

void tst_GridDocument::cancelledBuildThrows()
{
    int calls = 0;
    QVERIFY_THROWS_EXCEPTION(Error,
                             GridDocument(*m_source, m_columns, settings(), [&](qint64, qint64) {
                                 ++calls;
                                 return false;
                             }));
    QCOMPARE(calls, 1);
}

QTEST_MAIN(tst_GridDocument)
#include "tst_griddocument.moc"
