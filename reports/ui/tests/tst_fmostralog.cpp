// The log viewer driven through its controls' names, on the offscreen platform.

#include "core/activitylog.h"
#include "core/config.h"
#include "reports/ui/fmostralog.h"
#include "testsupport/testcontext.h"

#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;
using tessal::fmostralog;
using tessal::test::ScriptedDialogs;

namespace {

const QString Question = u"Tem certesa que quer realmente excluir esse arquivo? :"_s;

QByteArray record(const QString &moment, const QString &first, const QString &second)
{
    return (u"Data: "_s + moment + u"-Supervisor-"_s + first + u"-"_s + second + u"\r\n"_s +
            QString(113, u'-') + u"\r\n"_s)
        .toLocal8Bit();
}

} // namespace

class tst_fmostralog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listsOnlyTheUsersDailyFiles();
    void readingAppendsAndTwiceShowsTwice();
    void readingSplitsItemsByTheDelimitedRule();
    void deleteAnsweredSim();
    void deleteAnsweredNao();
    void deleteWithNothingChosenAsksNothing();
    void fileGoneBeforeTheDeletionIsNotCalledDeleted();
    void largeFileThatIsNotTextIsReadInPieces();
    void stoppedReadingKeepsWhatWasRead();
    void sairCloses();
    void screenshot();

private:
    std::unique_ptr<fmostralog> open();
    QString path(const QString &name) const;
    void write(const QString &name, const QByteArray &bytes) const;
    QByteArray contents(const QString &name) const;
    static QStringList listed(fmostralog *w);
    static void choose(fmostralog *w, const QString &name);
    static void click(fmostralog *w, const QString &button);
    static QString shown(fmostralog *w);

    std::unique_ptr<tessal::test::TestContext> m_t;
    QString m_today;     // FC001071226.log, by the fixed clock
    QString m_yesterday; // FC001061226.log
};

void tst_fmostralog::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
    m_today = tessal::ActivityLog::fileName(u"001"_s, m_t->clock.now().date());
    m_yesterday = tessal::ActivityLog::fileName(u"001"_s, m_t->clock.now().date().addDays(-1));
    m_t->context->log(u"**** EFETUOU LOGIN NO SISTEMA"_s);
    write(m_yesterday, record(u"06/12/2026 Hora: 18:00.00"_s,
                              u"ENTROU NO MODULO DE CADASTRO DE BAIXAS"_s, u"**"_s));
    // Another user, one whose code begins with this user's, and the error log.
    write(u"FC002071226.log"_s, "outro usuario\r\n");
    write(u"FC0011071226.log"_s, "usuario 0011\r\n");
    write(u"tessal.log"_s, "erro\r\n");
}

void tst_fmostralog::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    m_t.reset();
}

std::unique_ptr<fmostralog> tst_fmostralog::open()
{
    auto window = std::make_unique<fmostralog>(*m_t->context);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("log viewer not exposed");
    return window;
}

QString tst_fmostralog::path(const QString &name) const
{
    return tessal::joinPath(m_t->programDir(), name);
}

void tst_fmostralog::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(path(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray tst_fmostralog::contents(const QString &name) const
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList tst_fmostralog::listed(fmostralog *w)
{
    auto *list = w->findChild<QListWidget *>(u"diretorio"_s);
    QStringList names;
    for (int i = 0; list && i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

void tst_fmostralog::choose(fmostralog *w, const QString &name)
{
    auto *list = w->findChild<QListWidget *>(u"diretorio"_s);
    QVERIFY(list);
    const QList<QListWidgetItem *> found = list->findItems(name, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(found.first()).center());
    QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{found.first()});
}

void tst_fmostralog::click(fmostralog *w, const QString &button)
{
    auto *found = w->findChild<QPushButton *>(button);
    QVERIFY2(found, qPrintable(button));
    QTest::mouseClick(found, Qt::LeftButton);
}

QString tst_fmostralog::shown(fmostralog *w)
{
    return w->findChild<QPlainTextEdit *>(u"historico"_s)->toPlainText();
}

void tst_fmostralog::listsOnlyTheUsersDailyFiles()
{
    auto w = open();
    QCOMPARE(w->objectName(), u"fmostralog"_s);
    QCOMPARE(w->windowTitle(), u"Log de Operação"_s);
    for (const auto &[name, caption] :
         {std::pair{u"Command1"_s, u"Ler Arquivo Usuário"_s},
          std::pair{u"Command2"_s, u"Zerar Arquivo Log"_s}, std::pair{u"SAIR"_s, u"&Sair"_s}}) {
        auto *button = w->findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->text(), caption);
    }
    QVERIFY(w->findChild<QPlainTextEdit *>(u"historico"_s));
    QCOMPARE(listed(w.get()), (QStringList{m_today, m_yesterday}));
    QCOMPARE(shown(w.get()), QString());
}

void tst_fmostralog::readingAppendsAndTwiceShowsTwice()
{
    auto w = open();
    choose(w.get(), m_yesterday);
    click(w.get(), u"Command1"_s);
    const QString once = u"Data: 06/12/2026 Hora: 18:00.00-Supervisor-ENTROU NO MODULO DE "
                         "CADASTRO DE BAIXAS-**\n"_s +
                         QString(113, u'-') + u"\n"_s;
    QCOMPARE(shown(w.get()), once);
    click(w.get(), u"Command1"_s);
    QCOMPARE(shown(w.get()), once + once);
    choose(w.get(), m_today);
    click(w.get(), u"Command1"_s);
    QVERIFY(shown(w.get()).startsWith(once + once + u"Data: 07/12/2026 Hora: 09:05.33"_s));
}

void tst_fmostralog::readingSplitsItemsByTheDelimitedRule()
{
    write(m_yesterday, "Data: 06/12/2026, valor 1,50\r\n  \"texto, com virgula\" resto,fim\r\n");
    auto w = open();
    choose(w.get(), m_yesterday);
    click(w.get(), u"Command1"_s);
    QCOMPARE(shown(w.get()), u"Data: 06/12/2026\nvalor 1\n50\ntexto, com virgula\nfim\n"_s);
}

void tst_fmostralog::deleteAnsweredSim()
{
    auto w = open();
    choose(w.get(), m_today);
    m_t->dialogs.answerYesNo(true);
    m_t->dialogs.expectMessage(u"ARQUIVO ZERADO"_s);
    click(w.get(), u"Command2"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);

    const ScriptedDialogs::Asked &question = m_t->dialogs.asked().first();
    QCOMPARE(question.kind, ScriptedDialogs::Kind::YesNo);
    QCOMPARE(question.text, Question);
    QCOMPARE(question.title, u"EXCLUSÃO"_s);
    QCOMPARE(question.icon, tessal::Dialogs::Icon::Question);
    QCOMPARE(m_t->dialogs.asked().last().text, u"ARQUIVO ZERADO"_s);
    // Today's file was deleted, and the deletion record made it anew, holding only that record.
    QCOMPARE(contents(m_today), record(u"07/12/2026 Hora: 09:05.33"_s,
                                       u"ZEROU ARQUIVO DE LOG!!!!!"_s, u"Supervisor"_s));
    QCOMPARE(listed(w.get()), (QStringList{m_today, m_yesterday}));
}

void tst_fmostralog::deleteAnsweredNao()
{
    const QByteArray before = contents(m_yesterday);
    const QByteArray todayBefore = contents(m_today);
    auto w = open();
    choose(w.get(), m_yesterday);
    m_t->dialogs.answerYesNo(false);
    click(w.get(), u"Command2"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    QCOMPARE(m_t->dialogs.asked().size(), 1);
    QCOMPARE(contents(m_yesterday), before);
    QCOMPARE(contents(m_today),
             todayBefore + record(u"07/12/2026 Hora: 09:05.33"_s,
                                  u"DESISTIU DE ZERAR O ARQUIVO DE LOG!!!!!"_s, u"Supervisor"_s));
    QCOMPARE(listed(w.get()), (QStringList{m_today, m_yesterday}));
}

void tst_fmostralog::deleteWithNothingChosenAsksNothing()
{
    const QByteArray todayBefore = contents(m_today);
    auto w = open();
    m_t->dialogs.expectMessage(u"Nenhum arquivo de log foi escolhido"_s);
    click(w.get(), u"Command2"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    QCOMPARE(m_t->dialogs.asked().size(), 1);
    QVERIFY(m_t->dialogs.asked().first().text.contains(u"Formulário: fmostralog"_s));
    QCOMPARE(contents(m_today), todayBefore);
}

void tst_fmostralog::fileGoneBeforeTheDeletionIsNotCalledDeleted()
{
    const QByteArray todayBefore = contents(m_today);
    auto w = open();
    choose(w.get(), m_yesterday);
    QVERIFY(QFile::remove(path(m_yesterday))); // someone else got there first
    m_t->dialogs.answerYesNo(true);
    m_t->dialogs.expectMessage(u"não foi encontrado"_s);
    click(w.get(), u"Command2"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    QVERIFY(!m_t->dialogs.messages().contains(u"ARQUIVO ZERADO"_s));
    QCOMPARE(contents(m_today), todayBefore);
    QCOMPARE(listed(w.get()), QStringList{m_today});
}

void tst_fmostralog::largeFileThatIsNotTextIsReadInPieces()
{
    // Random bytes, NULs included, and no line end in the first half: 20 MB, past what is shown.
    QByteArray bytes(20 * 1024 * 1024, '\0');
    QRandomGenerator random(7);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = char(random.bounded(256));
        bytes[i] = i < bytes.size() / 2 && (c == '\n' || c == '\r' || c == ',') ? 'x' : c;
    }
    write(m_yesterday, bytes);
    auto w = open();
    choose(w.get(), m_yesterday);
    click(w.get(), u"Command1"_s);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    // The window answered between pieces: the progress box was advanced once per piece.
    QVERIFY2(m_t->dialogs.progressAdvances() >= int(fmostralog::MaxShownBytes / (64 * 1024)),
             qPrintable(QString::number(m_t->dialogs.progressAdvances())));
    const QString text = shown(w.get());
    QVERIFY(text.contains(QChar::ReplacementCharacter));
    QVERIFY(text.endsWith(
        u"[... o arquivo tem %1 bytes; foram mostrados os primeiros %2.]\n"_s.arg(bytes.size())
            .arg(fmostralog::MaxShownBytes)));
    qsizetype longest = 0;
    for (const QStringView line : QStringView(text).split(u'\n'))
        longest = std::max(longest, line.size());
    QVERIFY2(longest <= 2000, qPrintable(QString::number(longest)));
}

void tst_fmostralog::stoppedReadingKeepsWhatWasRead()
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < 1024 * 1024; ++i)
        bytes += "linha " + QByteArray::number(i) + "\r\n";
    write(m_yesterday, bytes);
    auto w = open();
    choose(w.get(), m_yesterday);
    m_t->dialogs.stopProgressAt(2);
    click(w.get(), u"Command1"_s);
    const QString text = shown(w.get());
    QVERIFY(text.startsWith(u"linha 0\nlinha 1\n"_s));
    // Two pieces of 64 KB, not the whole megabyte.
    QVERIFY2(text.size() > 64 * 1024 && text.size() < 3 * 64 * 1024,
             qPrintable(QString::number(text.size())));
}

void tst_fmostralog::sairCloses()
{
    auto w = open();
    click(w.get(), u"SAIR"_s);
    QVERIFY(!w->isVisible());
}

void tst_fmostralog::screenshot()
{
    const QString dir = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    m_t->context->log(u"ENTROU NO MODULO DE CONSULTA DE MOVIMENTO POR PERIODO"_s);
    m_t->context->log(u"IMPRIMIU O MOVIMENTO POR PERÍODO"_s);
    auto w = open();
    choose(w.get(), m_today);
    click(w.get(), u"Command1"_s);
    QTest::qWait(100);
    QVERIFY(w->grab().save(dir + u"/fmostralog.png"_s));
}

QTEST_MAIN(tst_fmostralog)
#include "tst_fmostralog.moc"
