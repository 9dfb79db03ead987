#include "app/programwindows.h"
#include "core/config.h"
#include "data/database.h"
#include "session/ui/fprincipal.h"
#include "testsupport/testcontext.h"

#include <QFile>
#include <QTest>

using namespace tessal;
using namespace Qt::StringLiterals;

// The program's own wiring: which window each place of the shipped menu opens.
class tst_ProgramWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::TestContext> m_t;
    QString m_dataDir;

    QWidget *openWindowNamed(fprincipal *main, const QString &name) const
    {
        for (QWidget *w : main->findChildren<QWidget *>(name, Qt::FindDirectChildrenOnly))
            if (w->isWindow() && w->isVisible())
                return w;
        return nullptr;
    }

private slots:
    void init()
    {
        m_t = std::make_unique<test::TestContext>();
        m_dataDir = m_t->dir.filePath(u"dados"_s);
        data::ensureDataDirectory(m_dataDir);
        writeConfigFile(m_t->context->configFilePath(), m_dataDir);
        m_t->context->session().setDataDirectory(m_dataDir);
    }

    void cleanup()
    {
        data::closeDatabase(data::cashDatabasePath(m_dataDir));
        data::closeDatabase(data::menuDatabasePath(m_dataDir));
        m_t.reset();
    }

    void menuOpensTheLedgerOnce()
    {
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        fprincipal *main = windows.mainWindow();
        QVERIFY(main);
        QVERIFY(!openWindowNamed(main, u"flancamentos"_s));
        main->ButtonBar1_ButtonClick(2, 1);
        QWidget *ledger = openWindowNamed(main, u"flancamentos"_s);
        QVERIFY(ledger);
        main->ButtonBar1_ButtonClick(2, 1);
        QCOMPARE(openWindowNamed(main, u"flancamentos"_s), ledger);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    }

    void helpButtonOpensTheHelpFile()
    {
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        const QString help = m_t->context->session().helpFilePath();
        {
            QFile f(help);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<html></html>");
        }
        m_t->dialogs.answerShell(true);
        windows.mainWindow()->ButtonBar1_ButtonClick(5, 1);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
        QCOMPARE(m_t->dialogs.asked().first().text, help);
    }

    void unbuiltPlacesDoNothing()
    {
        ProgramWindows windows(*m_t->context);
        windows.loadMainWindow();
        const int before = windows.mainWindow()->findChildren<QWidget *>().size();
        // The cube, reports, period query and log viewer land with their own work.
        for (const auto &[group, position] :
             {std::pair{2, 2}, std::pair{3, 1}, std::pair{3, 2}, std::pair{4, 1}, std::pair{5, 2}})
            windows.mainWindow()->ButtonBar1_ButtonClick(group, position);
        QCOMPARE(windows.mainWindow()->findChildren<QWidget *>().size(), before);
        TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    }
};

QTEST_MAIN(tst_ProgramWindows)
#include "tst_programwindows.moc"
