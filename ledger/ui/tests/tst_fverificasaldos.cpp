// The balance check window driven through its controls' names, on the offscreen platform.

#include "core/textfile.h"
#include "ledger/consistency.h"
#include "ledger/ledger.h"
#include "ledger/tests/ledgerfixture.h"
#include "ledger/ui/fverificasaldos.h"
#include "testsupport/testcontext.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace tessal;
using namespace tessal::ledger;
using namespace tessal::ledger::test;
using namespace Qt::StringLiterals;
using tessal::test::ScriptedDialogs;

namespace {

const QLocale PtBr(QLocale::Portuguese, QLocale::Brazil);

} // namespace

class tst_fverificasaldos : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void textAndOptionsFitTheInstallation();
    void cleanFileAsksNothing();
    void declinedRepairLeavesTheDataAsItWas();
    void acceptedRepairIsCheckedAgain();
    void damagedFileIsReportedAndLeftAlone();
    void keyboardRunsTheCheckAndEscapeCloses();
    void screenshot();

private:
    // Entries in two accounts, then one balance of "002" damaged by a plain UPDATE; the code of
    // the damaged entry.
    QString damagedData();
    std::unique_ptr<fverificasaldos> open();
    void check(fverificasaldos *w);
    QString shown(fverificasaldos *w) const;
    QString logText() const;

    std::unique_ptr<tessal::test::TestContext> m_t;
    std::unique_ptr<CashFile> m_file;
    QStringList m_noted;
};

void tst_fverificasaldos::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    m_file = std::make_unique<CashFile>();
    TESSAL_REQUIRE_DATA_SOURCE(m_file->source());
    m_t->context->session().setDataDirectory(m_file->source().dataDirectory());
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
    m_noted.clear();
}

void tst_fverificasaldos::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    m_file.reset();
    m_t.reset();
}

QString tst_fverificasaldos::damagedData()
{
    Ledger ledger(m_file->path(), PtBr);
    ledger.post({u"001"_s, Credit, QString(), u"100,00"_s, u"02/01/2025"_s});
    ledger.post({u"002"_s, Credit, QString(), u"1.500,00"_s, u"03/01/2025"_s});
    const QString code =
        ledger.post({u"002"_s, Debit, QString(), u"250,75"_s, u"04/02/2025"_s}).code;
    ledger.post({u"002"_s, Credit, QString(), u"10,00"_s, u"05/03/2025"_s});
    m_file->run(
        u"UPDATE lancamentos SET vl_saldo = 1249.20 WHERE cd_lancamento = '%1'"_s.arg(code));
    return code;
}

std::unique_ptr<fverificasaldos> tst_fverificasaldos::open()
{
    auto w = std::make_unique<fverificasaldos>(*m_t->context);
    w->setChangeNote([this](const QString &account) { m_noted << account; });
    w->show();
    return w;
}

void tst_fverificasaldos::check(fverificasaldos *w)
{
    QTest::mouseClick(w->findChild<QPushButton *>(u"cmdVerificar"_s), Qt::LeftButton);
}

QString tst_fverificasaldos::shown(fverificasaldos *w) const
{
    return w->findChild<QPlainTextEdit *>(u"txtResultado"_s)->toPlainText();
}

QString tst_fverificasaldos::logText() const
{
    const QString path = m_t->context->activityLog().filePath(u"001"_s, m_t->clock.now().date());
    return QFileInfo::exists(path) ? readText(path) : QString();
}

// A data directory's window offers the engine's deeper check of the file; a server's says that
// its files are the server's and leaves the option disabled, saying why.
void tst_fverificasaldos::textAndOptionsFitTheInstallation()
{
    auto w = open();
    const QString intro = w->findChild<QLabel *>(u"lblExplica"_s)->text();
    const QString summary = w->findChild<QLabel *>(u"lblResumo"_s)->text();
    auto *indexes = w->findChild<QCheckBox *>(u"chkIndices"_s);
    if (m_file->source().onServer()) {
        QVERIFY2(intro.contains(u"servidor PostgreSQL"_s) && !intro.contains(u"SQLite"_s),
                 qPrintable(intro));
        QCOMPARE(summary, u"Servidor PostgreSQL: "_s + m_file->source().dataDirectory());
        QVERIFY(!indexes->isEnabled());
        QVERIFY(!indexes->isChecked());
        QVERIFY2(indexes->toolTip().contains(u"administrador"_s), qPrintable(indexes->toolTip()));
    } else {
        QVERIFY2(intro.contains(u"SQLite"_s), qPrintable(intro));
        QVERIFY2(summary.startsWith(u"Diretório de dados: "_s), qPrintable(summary));
        QVERIFY(indexes->isEnabled());
        QVERIFY(indexes->toolTip().isEmpty());
    }
}

void tst_fverificasaldos::cleanFileAsksNothing()
{
    Ledger(m_file->path(), PtBr).post({u"001"_s, Credit, QString(), u"1,00"_s, u"02/01/2025"_s});
    auto w = open();
    check(w.get());
    const QString text = shown(w.get());
    QVERIFY2(text.contains(u"Todos os saldos conferem."_s), qPrintable(text));
    QVERIFY2(text.contains(u"Lançamentos verificados: 1."_s), qPrintable(text));
    QCOMPARE(m_t->dialogs.asked().size(), 1); // the progress box only
    QCOMPARE(m_t->dialogs.asked().front().kind, ScriptedDialogs::Kind::Progress);
    QVERIFY(logText().contains(u"VERIFICOU OS SALDOS (COMPLETA): 0 CONTA(S) COM SALDOS ERRADOS"_s));
    QVERIFY(m_noted.isEmpty());
}

void tst_fverificasaldos::declinedRepairLeavesTheDataAsItWas()
{
    const QString code = damagedData();
    const QStringList before = m_file->snapshot();
    m_t->dialogs.answerYesNo(false);
    auto w = open();
    check(w.get());
    const QString text = shown(w.get());
    QVERIFY2(text.contains(u"Conta 002 - Banco"_s), qPrintable(text));
    QVERIFY2(text.contains(code + u" de 04/02/2025: saldo gravado "_s +
                           formatGrouped2(124920, PtBr) + u", saldo correto "_s +
                           formatGrouped2(124925, PtBr)),
             qPrintable(text));
    QCOMPARE(m_file->snapshot(), before);
    QCOMPARE(accountsWithWrongBalances(m_file->path()), QStringList{u"002"_s});
    QVERIFY(logText().contains(u"DESISTIU DE CORRIGIR OS SALDOS"_s));
    QVERIFY(!logText().contains(u"CORRIGIU"_s));
    QVERIFY(m_noted.isEmpty());
    QVERIFY(w->findChild<QLabel *>(u"lblResumo"_s)->text().contains(u"não foram corrigidos"_s));
}

void tst_fverificasaldos::acceptedRepairIsCheckedAgain()
{
    damagedData();
    m_t->dialogs.answerYesNo(true);
    auto w = open();
    check(w.get());
    QCOMPARE(m_t->dialogs.asked().at(1).kind, ScriptedDialogs::Kind::YesNo);
    QVERIFY(m_t->dialogs.asked().at(1).text.contains(u"1 conta(s)"_s));
    QCOMPARE(accountsWithWrongBalances(m_file->path()), QStringList());
    QCOMPARE(m_file->balanceList(u"002"_s), (QList<double>{1500.00, 1249.25, 1259.25}));
    const QString text = shown(w.get());
    const qsizetype again = text.indexOf(u"Nova verificação"_s);
    QVERIFY2(again > 0, qPrintable(text));
    QVERIFY2(text.indexOf(u"Todos os saldos conferem."_s) > again, qPrintable(text));
    const QString log = logText();
    QVERIFY2(log.contains(u"CORRIGIU OS SALDOS DA CONTA-002 - Banco"_s), qPrintable(log));
    QCOMPARE(log.count(u"VERIFICOU OS SALDOS (COMPLETA)"_s), 2);
    QCOMPARE(m_noted, QStringList{u"002"_s});
}

void tst_fverificasaldos::damagedFileIsReportedAndLeftAlone()
{
    if (m_file->source().onServer())
        QSKIP("about a damaged SQLite file; a server keeps and checks its own files");
    for (int i = 0; i < 300; ++i)
        Ledger(m_file->path(), PtBr)
            .post({i % 2 ? u"001"_s : u"002"_s, Credit, QString(), u"2,50"_s,
                   data::showDate(QDate(2025, 1, 1).addDays(i % 40))});
    m_file->run(u"UPDATE lancamentos SET vl_saldo = 0 WHERE cd_lancamento = '0000000007'"_s);
    damageIndexPage(m_file->path(), u"lancamentos_conta_totais"_s);
    if (QTest::currentTestFailed())
        return;
    const QByteArray before = fileBytes(m_file->path());
    m_t->dialogs.expectMessage(u"Nenhum saldo foi corrigido"_s);
    auto w = open();
    check(w.get());
    QVERIFY2(shown(w.get()).contains(u"O ARQUIVO ESTÁ DANIFICADO"_s), qPrintable(shown(w.get())));
    QVERIFY(logText().contains(u"ARQUIVO DANIFICADO"_s));
    QVERIFY(m_noted.isEmpty());
    w.reset();
    data::closeDatabase(m_file->path());
    QCOMPARE(fileBytes(m_file->path()), before);
}

void tst_fverificasaldos::keyboardRunsTheCheckAndEscapeCloses()
{
    damagedData();
    m_t->dialogs.answerYesNo(true);
    auto w = open();
    QApplication::setActiveWindow(w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    auto *button = w->findChild<QPushButton *>(u"cmdVerificar"_s);
    QCOMPARE(QApplication::focusWidget(), button);
    // Shift+Tab reaches the option before the button, except where it is disabled.
    auto *indexes = w->findChild<QCheckBox *>(u"chkIndices"_s);
    QTest::keyClick(button, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget() == indexes, !m_file->source().onServer());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button);
    // Alt+C ticks the index check; the check and the one after the repair both go that deep. On a
    // server the option is disabled and both checks are of the balances.
    QTest::keyClick(w.get(), Qt::Key_C, Qt::AltModifier);
    if (m_file->source().onServer()) {
        QCoreApplication::processEvents();
        QVERIFY(!indexes->isChecked());
        QCOMPARE(QApplication::focusWidget(), button);
    } else {
        QTRY_VERIFY(indexes->isChecked()); // an animated click
    }
    QTest::keyClick(button, Qt::Key_Space);
    QCOMPARE(accountsWithWrongBalances(m_file->path()), QStringList());
    QCOMPARE(logText().count(m_file->source().onServer()
                                 ? u"VERIFICOU OS SALDOS (COMPLETA): "_s
                                 : u"VERIFICOU OS SALDOS (COMPLETA COM INDICES)"_s),
             2);
    QCOMPARE(m_noted, QStringList{u"002"_s});
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->isVisible());
}

void tst_fverificasaldos::screenshot()
{
    const QString target = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (target.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    damagedData();
    m_file->run(u"UPDATE lancamentos SET vl_saldo = NULL WHERE cd_conta = '001'"_s);
    m_t->dialogs.answerYesNo(false);
    auto w = open();
    check(w.get());
    QCoreApplication::processEvents();
    QVERIFY(w->grab().save(QDir(target).filePath(m_file->source().onServer()
                                                     ? u"verificar-saldos-servidor.png"_s
                                                     : u"verificar-saldos.png"_s)));
}

QTEST_MAIN(tst_fverificasaldos)
#include "tst_fverificasaldos.moc"
