// The preview window on a real report: the first page shown without painting the others, moving
// between pages, the options the report gives it.

#include "core/ui/printpreview.h"
#include "reports/reportdocument.h"
#include "reports/reportjob.h"
#include "reports/shippedlayouts.h"
#include "reports/tests/reportfixture.h"
#include "testsupport/testcontext.h"

#include <QAction>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

using namespace Qt::StringLiterals;
using tessal::PageView;
using tessal::PrintPreviewWindow;
using tessal::reports::test::CashFixture;

class tst_Preview : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsTheFirstPageAndOnlyThePagesInSight();
    void movesBetweenPages();
    void printingIsOfferedOnlyWhenAsked_data();
    void printingIsOfferedOnlyWhenAsked();
    void screenshots();

private:
    std::shared_ptr<const tessal::PagedDocument> report(const QString &layout,
                                                        const QString &formula = {});
    static QAction *action(QWidget *w, const QString &name);

    std::unique_ptr<tessal::test::TestContext> m_t;
    std::unique_ptr<CashFixture> m_data;
};

void tst_Preview::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    m_data = std::make_unique<CashFixture>(400);
    tessal::reports::installShippedLayouts(m_data->dataDir());
}

void tst_Preview::cleanup()
{
    m_data.reset();
    m_t.reset();
}

std::shared_ptr<const tessal::PagedDocument> tst_Preview::report(const QString &layout,
                                                                 const QString &formula)
{
    tessal::reports::ReportJob job(m_t->clock);
    job.setDataFile(0, m_data->path());
    job.setReportFile(QDir(m_data->dataDir()).filePath(layout));
    job.setSelectionFormula(formula);
    return job.build();
}

QAction *tst_Preview::action(QWidget *w, const QString &name)
{
    return w->findChild<QAction *>(name);
}

void tst_Preview::showsTheFirstPageAndOnlyThePagesInSight()
{
    const auto document =
        report(u"extrato.rpt"_s, u"{lancamentos.cd_conta} = '0001' AND {lancamentos.dt_lancamento} "
                                 ">= #2026/03/01#"_s);
    QVERIFY(document->pageCount() >= 5);
    PrintPreviewWindow window(document, {Qt::WindowNoState, true});
    QSignalSpy painted(window.view(), &PageView::pagePainted);
    window.resize(800, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(!painted.isEmpty());
    QSet<int> pages;
    for (const QList<QVariant> &signal : painted)
        pages.insert(signal.first().toInt());
    QVERIFY(pages.contains(0));
    // A window a page high shows at most two pages at once; the rest are never painted.
    QVERIFY2(pages.size() <= 2, qPrintable(QString::number(pages.size())));
    QCOMPARE(window.windowTitle(), u"Extrato de Conta"_s);
    QCOMPARE(window.findChild<QSpinBox *>(u"pagina"_s)->value(), 1);
}

void tst_Preview::movesBetweenPages()
{
    const auto document =
        report(u"extrato.rpt"_s, u"{lancamentos.cd_conta} = '0001' AND {lancamentos.dt_lancamento} "
                                 ">= #2026/03/01#"_s);
    const int count = document->pageCount();
    PrintPreviewWindow window(document, {Qt::WindowNoState, true});
    window.resize(800, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy painted(window.view(), &PageView::pagePainted);
    auto *page = window.findChild<QSpinBox *>(u"pagina"_s);
    QCOMPARE(page->maximum(), count);
    QVERIFY(window.findChild<QLabel *>(u"total"_s)->text().contains(u"de %1"_s.arg(count)));

    action(&window, u"proxima"_s)->trigger();
    QCOMPARE(window.view()->currentPage(), 1);
    QCOMPARE(page->value(), 2);
    action(&window, u"ultima"_s)->trigger();
    QCOMPARE(window.view()->currentPage(), count - 1);
    QCOMPARE(page->value(), count);
    QTRY_VERIFY(!painted.isEmpty());
    QCOMPARE(painted.last().first().toInt() >= count - 2, true);
    page->setValue(3);
    QCOMPARE(window.view()->currentPage(), 2);
    action(&window, u"primeira"_s)->trigger();
    QCOMPARE(page->value(), 1);

    const double zoom = window.view()->zoom();
    action(&window, u"ampliar"_s)->trigger();
    QVERIFY(window.view()->zoom() > zoom);
    action(&window, u"largura"_s)->trigger();
    QCOMPARE(window.view()->currentPage(), 0);
}

void tst_Preview::printingIsOfferedOnlyWhenAsked_data()
{
    QTest::addColumn<bool>("printing");
    QTest::addColumn<int>("state");
    QTest::newRow("as the report windows ask: printing, maximised")
        << true << int(Qt::WindowMaximized);
    QTest::newRow("without printing") << false << int(Qt::WindowNoState);
}

void tst_Preview::printingIsOfferedOnlyWhenAsked()
{
    QFETCH(bool, printing);
    QFETCH(int, state);
    PrintPreviewWindow window(report(u"consolidado.rpt"_s), {Qt::WindowState(state), printing});
    QCOMPARE(action(&window, u"imprimir"_s) != nullptr, printing);
    QCOMPARE(action(&window, u"pdf"_s) != nullptr, printing);
    QVERIFY(action(&window, u"fechar"_s));
    QCOMPARE(int(window.windowState()), state);
}

void tst_Preview::screenshots()
{
    const QString dir = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    for (const auto &[layout, formula, file] :
         {std::tuple{u"consolidado.rpt"_s, QString(), u"consolidado.png"_s},
          std::tuple{
              u"extrato.rpt"_s,
              u"{lancamentos.dt_lancamento} >=  #2026/03/01# AND {lancamentos.dt_lancamento} "
              "<= #2026/03/31#  and {lancamentos.cd_conta}='0003'"_s,
              u"extrato-visualizacao.png"_s}}) {
        PrintPreviewWindow window(report(layout, formula), {Qt::WindowNoState, true});
        window.resize(1000, 760);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.view()->fitWidth();
        QTest::qWait(100);
        QVERIFY(window.grab().save(dir + u"/"_s + file));
    }
}

QTEST_MAIN(tst_Preview)
#include "tst_preview.moc"
