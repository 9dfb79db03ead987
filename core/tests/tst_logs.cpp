#include "core/activitylog.h"
#include "core/errorreport.h"
#include "testsupport/testcontext.h"

#include <QFile>
#include <QTest>

using namespace tessal;
using tessal::test::TestContext;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

const QByteArray k113 = QByteArray(113, '-');
const QByteArray k103 = QByteArray(103, '-');

} // namespace

class TestLogs : public QObject
{
    Q_OBJECT

private slots:
    void activityRecordBytes()
    {
        TestContext t;
        t.context->session().setUser(QStringLiteral("001"), QStringLiteral("Supervisor"));
        t.context->log(QStringLiteral("**** EFETUOU LOGIN NO SISTEMA"));
        t.clock.set(QDateTime(QDate(2026, 12, 7), QTime(17, 0, 2)));
        t.context->log(QStringLiteral("INCLUI UM NOVO REGISTRO"),
                       QStringLiteral("D'Ávila à vista"));

        const QString path = t.programDir() + QStringLiteral("/FC001071226.log");
        const QByteArray expected =
            "Data: 07/12/2026 Hora: 09:05.33-Supervisor-**** EFETUOU LOGIN NO SISTEMA-**\r\n" +
            k113 + "\r\n" +
            QStringLiteral("Data: 07/12/2026 Hora: 17:00.02-Supervisor-INCLUI UM NOVO "
                           "REGISTRO-D'Ávila à vista\r\n")
                .toUtf8() +
            k113 + "\r\n";
        QCOMPARE(readAll(path), expected);
    }

    void recordJustAfterMidnightGoesToNextDay()
    {
        TestContext t;
        t.context->session().setUser(QStringLiteral("001"), QStringLiteral("Ana"));
        t.clock.set(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)));
        t.context->log(QStringLiteral("A"));
        t.clock.set(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1)));
        t.context->log(QStringLiteral("B"));

        const QByteArray first = readAll(t.programDir() + QStringLiteral("/FC001311226.log"));
        const QByteArray second = readAll(t.programDir() + QStringLiteral("/FC001010127.log"));
        QVERIFY(first.startsWith("Data: 31/12/2026 Hora: 23:59.59-Ana-A-**\r\n"));
        QCOMPARE(first.count("Data: "), 1);
        QCOMPARE(second, "Data: 01/01/2027 Hora: 00:00.01-Ana-B-**\r\n" + k113 + "\r\n");
    }

    void fileNameKeepsUserCodeAsStored_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("expected");
        QTest::newRow("example") << QStringLiteral("001") << QDate(2026, 12, 7)
                                 << QStringLiteral("FC001071226.log");
        QTest::newRow("leading zero kept")
            << QStringLiteral("012") << QDate(2026, 3, 9) << QStringLiteral("FC012090326.log");
        QTest::newRow("no trimming")
            << QStringLiteral(" 7") << QDate(2030, 10, 1) << QStringLiteral("FC 7011030.log");
    }
    void fileNameKeepsUserCodeAsStored()
    {
        QFETCH(QString, code);
        QFETCH(QDate, day);
        QFETCH(QString, expected);
        QCOMPARE(ActivityLog::fileName(code, day), expected);
    }

    void unwritableLogThrows()
    {
        TestContext t;
        t.context->session().setUser(QStringLiteral("001"), QStringLiteral("Ana"));
        // A directory in the file's place makes the append fail, as a read-only folder would.
        QVERIFY(QDir(t.programDir()).mkdir(QStringLiteral("FC001071226.log")));
        QVERIFY_THROWS_EXCEPTION(Error, t.context->log(QStringLiteral("X")));
    }

    void errorBoxHasFiveLines()
    {
        const QString text = errorBoxText(
            {3021, QStringLiteral("Nenhum registro corrente"), QStringLiteral("DAO.Recordset")},
            QStringLiteral("fcontas"), QStringLiteral("Cadastro de Contas"));
        QCOMPARE(text, QStringLiteral("Erro No.3021 - Nenhum registro corrente\r\n"
                                      "Formulário: fcontas\r\n"
                                      "Objeto: DAO.Recordset\r\n"
                                      "Procedure: Cadastro de Contas\r\n"
                                      "Anote as informações acima e contacte o suporte."));
    }

    void reportShowsBoxThenWritesErrorRecord()
    {
        TestContext t;
        t.context->session().setCurrentProcedure(QStringLiteral("Cadastro de Contas"));
        t.dialogs.expectMessage(QStringLiteral("Erro No.75 - disco cheio"));
        t.context->errors().report({75, QStringLiteral("disco cheio"), QStringLiteral("caixa.mdb")},
                                   QStringLiteral("fcontas"));
        TESSAL_VERIFY_DIALOGS(t.dialogs);
        QCOMPARE(t.dialogs.asked().first().title, QString()); // the application's title
        QCOMPARE(t.dialogs.asked().first().icon, Dialogs::Icon::Critical);

        const QByteArray expected = "Data: 07/12/2026 Hora: 09:05.33\r\n"
                                    "Erro No.75 - disco cheio\r\n" +
                                    QStringLiteral("Formulário: fcontas\r\n").toUtf8() +
                                    "Objeto: caixa.mdb\r\n"
                                    "Procedure: Cadastro de Contas\r\n" +
                                    QStringLiteral("Anote as informações acima e contacte o "
                                                   "suporte.\r\n")
                                        .toUtf8() +
                                    " \r\n" + k103 + "\r\n";
        QCOMPARE(readAll(t.errorLogPath()), expected);
    }

    void handlerGoesOnAfterFailingStep()
    {
        TestContext t;
        t.dialogs.expectMessage(QStringLiteral("Erro No.13 - primeiro"));
        t.dialogs.expectMessage(QStringLiteral("std failure"));
        HandlerSteps steps(t.context->errors(), QStringLiteral("flancamentos"));
        QStringList ran;
        QVERIFY(
            !steps.run([&] { throw Error(13, QStringLiteral("primeiro"), QStringLiteral("x")); }));
        QVERIFY(steps.run([&] { ran << QStringLiteral("second"); }));
        QVERIFY(!steps.run([&] {
            ran << QStringLiteral("third");
            throw std::runtime_error("std failure");
        }));
        QVERIFY(steps.run([&] { ran << QStringLiteral("fourth"); }));
        QCOMPARE(ran, (QStringList{QStringLiteral("second"), QStringLiteral("third"),
                                   QStringLiteral("fourth")}));
        QCOMPARE(steps.failures(), 2);
        TESSAL_VERIFY_DIALOGS(t.dialogs);
        QVERIFY(t.dialogs.messages().at(1).contains(QStringLiteral("std failure")));
        QCOMPARE(readAll(t.errorLogPath()).count("Formulário: flancamentos"), 2);
    }
};

QTEST_GUILESS_MAIN(TestLogs)
#include "tst_logs.moc"
