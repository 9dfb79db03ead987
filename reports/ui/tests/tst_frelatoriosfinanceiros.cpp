// The financial reports window driven through its controls' names, on the offscreen platform.

#include "core/pageddocument.h"
#include "reports/shippedlayouts.h"
#include "reports/tests/reportfixture.h"
#include "reports/ui/frelatoriosfinanceiros.h"
#include "testsupport/testcontext.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using tessal::frelatoriosfinanceiros;
using tessal::reports::test::CashFixture;
using tessal::reports::test::pdfText;
using tessal::test::ScriptedDialogs;

namespace {

const QString Example = u"{lancamentos.dt_lancamento} >=  #2026/03/01# AND "
                        "{lancamentos.dt_lancamento} <= #2026/03/31#  and "
                        "{lancamentos.cd_conta}='0003'"_s;

} // namespace

class tst_frelatoriosfinanceiros : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithEveryControl();
    void formulaIsTheOneTheEngineReads_data();
    void formulaIsTheOneTheEngineReads();
    void executarShowsTheChosenReport();
    void missingChoicesAreReportedAndNothingPrints_data();
    void missingChoicesAreReportedAndNothingPrints();
    void forumLinkOpensInTheBrowser();
    void sairCloses();
    void screenshot();

private:
    std::unique_ptr<frelatoriosfinanceiros> open();
    static void chooseAccount(frelatoriosfinanceiros *w, const QString &name);
    static void chooseLayout(frelatoriosfinanceiros *w, const QString &file);
    static void setPeriod(frelatoriosfinanceiros *w, const QDate &from, const QDate &to);
    static void click(frelatoriosfinanceiros *w, const QString &button);

    std::unique_ptr<tessal::test::TestContext> m_t;
    std::unique_ptr<CashFixture> m_data;
};

void tst_frelatoriosfinanceiros::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    m_data = std::make_unique<CashFixture>();
    tessal::reports::installShippedLayouts(m_data->dataDir());
    m_t->context->session().setDataDirectory(m_data->dataDir());
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
}

void tst_frelatoriosfinanceiros::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    m_data.reset();
    m_t.reset();
}

std::unique_ptr<frelatoriosfinanceiros> tst_frelatoriosfinanceiros::open()
{
    auto window = std::make_unique<frelatoriosfinanceiros>(*m_t->context);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("financial reports window not exposed");
    return window;
}

void tst_frelatoriosfinanceiros::chooseAccount(frelatoriosfinanceiros *w, const QString &name)
{
    auto *accounts = w->findChild<QComboBox *>(u"ds_conta"_s);
    QVERIFY(accounts);
    const int index = accounts->findText(name);
    QVERIFY2(index >= 0, qPrintable(name));
    accounts->setCurrentIndex(index);
}

void tst_frelatoriosfinanceiros::chooseLayout(frelatoriosfinanceiros *w, const QString &file)
{
    auto *list = w->findChild<QListWidget *>(u"diretorio"_s);
    QVERIFY(list);
    const QList<QListWidgetItem *> found = list->findItems(file, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(found.first()).center());
    QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{found.first()});
}

void tst_frelatoriosfinanceiros::setPeriod(frelatoriosfinanceiros *w, const QDate &from,
                                           const QDate &to)
{
    for (const auto &[name, date] : {std::pair{u"dt_inicio"_s, from}, std::pair{u"dt_fim"_s, to}}) {
        auto *field = w->findChild<QDateEdit *>(name);
        QVERIFY2(field, qPrintable(name));
        field->setDate(date);
    }
}

void tst_frelatoriosfinanceiros::click(frelatoriosfinanceiros *w, const QString &button)
{
    auto *found = w->findChild<QPushButton *>(button);
    QVERIFY2(found, qPrintable(button));
    QTest::mouseClick(found, Qt::LeftButton);
}

void tst_frelatoriosfinanceiros::opensWithEveryControl()
{
    auto w = open();
    QCOMPARE(w->objectName(), u"frelatoriosfinanceiros"_s);
    QCOMPARE(w->windowTitle(), u"Relatórios Financeiros"_s);
    for (const auto &[name, caption] :
         {std::pair{u"Command3"_s, u"&Executar"_s}, std::pair{u"Command1"_s, u"&Sair"_s}}) {
        auto *button = w->findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->text(), caption);
    }
    QStringList frames;
    for (const QGroupBox *box : w->findChildren<QGroupBox *>())
        frames << box->title();
    QVERIFY(frames.contains(u"Conta"_s));
    QVERIFY(frames.contains(u"Período"_s));
    QStringList labels;
    for (const QLabel *label : w->findChildren<QLabel *>())
        labels << label->text();
    QVERIFY(labels.contains(u"De:"_s));
    QVERIFY(labels.contains(u"A"_s));

    // Accounts by code, showing the name and giving the code; none chosen yet.
    auto *accounts = w->findChild<QComboBox *>(u"ds_conta"_s);
    QCOMPARE(accounts->count(), 4);
    QStringList codes;
    QStringList names;
    for (int i = 0; i < accounts->count(); ++i) {
        codes << accounts->itemData(i).toString();
        names << accounts->itemText(i);
    }
    QCOMPARE(codes, (QStringList{u"0'5"_s, u"0001"_s, u"0003"_s, u"0007"_s}));
    QCOMPARE(names.at(2), u"Banco D'Ávila"_s);
    QCOMPARE(accounts->currentIndex(), -1);

    // Both dates start today, by the program's clock.
    const QDate today = m_t->clock.now().date();
    QCOMPARE(w->findChild<QDateEdit *>(u"dt_inicio"_s)->date(), today);
    QCOMPARE(w->findChild<QDateEdit *>(u"dt_fim"_s)->date(), today);

    // The data directory's layouts, and nothing else from it.
    auto *layouts = w->findChild<QListWidget *>(u"diretorio"_s);
    QStringList files;
    for (int i = 0; i < layouts->count(); ++i)
        files << layouts->item(i)->text();
    QCOMPARE(files, (QStringList{u"consolidado.rpt"_s, u"extrato.rpt"_s, u"historicos.rpt"_s}));
    QVERIFY(layouts->selectedItems().isEmpty());
}

void tst_frelatoriosfinanceiros::formulaIsTheOneTheEngineReads_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("formula");
    QTest::newRow("0003 in March 2026")
        << u"Banco D'Ávila"_s << QDate(2026, 3, 1) << QDate(2026, 3, 31) << Example;
    QTest::newRow("one day") << u"Caixa Loja"_s << QDate(2026, 3, 5) << QDate(2026, 3, 5)
                             << u"{lancamentos.dt_lancamento} >=  #2026/03/05# AND "
                                "{lancamentos.dt_lancamento} <= #2026/03/05#  and "
                                "{lancamentos.cd_conta}='0001'"_s;
    QTest::newRow("apostrophe in the code, doubled")
        << u"Conta do Apóstrofo"_s << QDate(2026, 1, 1) << QDate(2026, 12, 31)
        << u"{lancamentos.dt_lancamento} >=  #2026/01/01# AND "
           "{lancamentos.dt_lancamento} <= #2026/12/31#  and {lancamentos.cd_conta}='0''5'"_s;
}

void tst_frelatoriosfinanceiros::formulaIsTheOneTheEngineReads()
{
    QFETCH(QString, account);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, formula);
    auto w = open();
    chooseAccount(w.get(), account);
    setPeriod(w.get(), from, to);
    QCOMPARE(w->selectionFormula(), formula);
}

void tst_frelatoriosfinanceiros::executarShowsTheChosenReport()
{
    auto w = open();
    chooseAccount(w.get(), u"Banco D'Ávila"_s);
    setPeriod(w.get(), QDate(2026, 3, 1), QDate(2026, 3, 31));
    chooseLayout(w.get(), u"extrato.rpt"_s);
    m_t->dialogs.expectPreview();
    click(w.get(), u"Command3"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);

    const auto document = m_t->dialogs.lastPreview();
    QVERIFY(document);
    QCOMPARE(document->title(), u"Extrato de Conta"_s);
    QCOMPARE(m_t->dialogs.lastPreviewOptions().windowState, Qt::WindowMaximized);
    QVERIFY(m_t->dialogs.lastPreviewOptions().printing);
    const QString pdf = m_t->dir.filePath(u"extrato.pdf"_s);
    QVERIFY(tessal::writePdf(*document, pdf));
    const QString text = pdfText(pdf);
    QVERIFY2(text.contains(u"Conta 0003 - Banco D'Ávila"_s), qPrintable(text));
    QVERIFY2(text.contains(u"Período de 01/03/2026 a 31/03/2026"_s), qPrintable(text));
    int inMarch = 0;
    for (const auto &e : m_data->entries(u"0003"_s))
        inMarch += e.date.month() == 3 && e.date.year() == 2026 ? 1 : 0;
    QVERIFY2(text.contains(u"(lançamentos: %1)"_s.arg(inMarch)), qPrintable(text));
    QVERIFY(!text.contains(u"outra conta"_s)); // account 0001's entries
}

void tst_frelatoriosfinanceiros::missingChoicesAreReportedAndNothingPrints_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("boxes"); // what each error box says, in order

    const QString noFormula = u"A fórmula de seleção foi recusada. O relatório não foi emitido."_s;
    const QString emptyCode = u"{lancamentos.cd_conta} é comparado com um texto vazio"_s;
    const QString noLayout = u"Nenhum modelo de relatório foi escolhido (\""_s;
    const QString notRun = u"Nenhum modelo de relatório foi escolhido. O relatório não foi "
                           "emitido."_s;
    QTest::newRow("no layout") << u"Caixa Loja"_s << QString() << QStringList{noLayout, notRun};
    QTest::newRow("no account") << QString() << u"extrato.rpt"_s
                                << QStringList{emptyCode, noFormula};
    // The consolidated layout needs no formula; a refused one must still not print every account.
    QTest::newRow("no account, a layout without selection")
        << QString() << u"consolidado.rpt"_s << QStringList{emptyCode, noFormula};
    QTest::newRow("neither") << QString() << QString() << QStringList{noLayout, emptyCode, notRun};
}

void tst_frelatoriosfinanceiros::missingChoicesAreReportedAndNothingPrints()
{
    QFETCH(QString, account);
    QFETCH(QString, layout);
    QFETCH(QStringList, boxes);
    auto w = open();
    if (!account.isEmpty())
        chooseAccount(w.get(), account);
    if (!layout.isEmpty())
        chooseLayout(w.get(), layout);
    for (const QString &box : boxes)
        m_t->dialogs.expectMessage(box);
    click(w.get(), u"Command3"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    QVERIFY(!m_t->dialogs.lastPreview());
    for (const ScriptedDialogs::Asked &asked : m_t->dialogs.asked()) {
        if (asked.kind != ScriptedDialogs::Kind::Message)
            continue;
        QVERIFY2(asked.text.startsWith(u"Erro No.380 - "_s) ||
                     asked.text.startsWith(u"Erro No.53 - "_s),
                 qPrintable(asked.text));
        QVERIFY2(asked.text.contains(u"\r\nFormulário: frelatoriosfinanceiros\r\n"_s),
                 qPrintable(asked.text));
        QCOMPARE(asked.icon, tessal::Dialogs::Icon::Critical);
    }
    // Each box went to the error log too.
    QFile log(m_t->errorLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(log.readAll()).count(u"Formulário: frelatoriosfinanceiros"_s),
             boxes.size());
}

void tst_frelatoriosfinanceiros::forumLinkOpensInTheBrowser()
{
    auto w = open();
    QLabel *invitation = w->findChild<QLabel *>(u"Label1"_s);
    QVERIFY(invitation);
    QVERIFY2(invitation->text().contains(u"modelos"_s), qPrintable(invitation->text()));
    m_t->dialogs.answerShell(true);
    emit invitation->linkActivated(u"https://forum.tessal.com.br/relatorios"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    QCOMPARE(m_t->dialogs.asked().last().text, u"https://forum.tessal.com.br/relatorios"_s);
}

void tst_frelatoriosfinanceiros::sairCloses()
{
    auto w = open();
    click(w.get(), u"Command1"_s);
    QVERIFY(!w->isVisible());
}

void tst_frelatoriosfinanceiros::screenshot()
{
    const QString dir = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    auto w = open();
    chooseAccount(w.get(), u"Banco D'Ávila"_s);
    setPeriod(w.get(), QDate(2026, 3, 1), QDate(2026, 3, 31));
    chooseLayout(w.get(), u"extrato.rpt"_s);
    QTest::qWait(100);
    QVERIFY(w->grab().save(dir + u"/frelatoriosfinanceiros.png"_s));
}

QTEST_MAIN(tst_frelatoriosfinanceiros)
#include "tst_frelatoriosfinanceiros.moc"
