// The backup and restore windows driven through their controls' names, on the offscreen platform.

#include "core/money.h"
#include "data/backup.h"
#include "data/database.h"
#include "data/demodata.h"
#include "testsupport/immutabledirectory.h"
#include "testsupport/testcontext.h"
#include "utilities/ui/fcopiaseguranca.h"
#include "utilities/ui/frestaurarcopia.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;
namespace data = tessal::data;
using tessal::fcopiaseguranca;
using tessal::frestaurarcopia;

class tst_BackupWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void backupWindowOpensWithTheDefaults();
    void backupWindowShowsAndSavesTheSettingsFromTheKeyboard();
    void copyNowTakesABackupAndLogsIt();
    void copyNowWithoutAFolderAsksForOne();
    void copyNowIntoALockedFolderReportsAndLogs();
    void restoreWindowListsTheBackupsNewestFirstWithWhatTheyHold();
    void restoreWindowTakesAnotherFolderOrABackupItself();
    void restoreWindowShowsWhyABackupCannotBeRestored();
    void restoreAsksFirstAndNoLeavesEverything();
    void restoreReplacesTheDatabasesAndSaysWhereTheOldOnesWent();
    void restoreRefusedWhileAnotherWindowIsOpen();
    void screenshots();

private:
    qint64 entryCount() const;
    QString logText() const;
    QString takeBackup(const QDateTime &moment, data::BackupKind kind = data::BackupKind::Manual);
    template<class W> std::unique_ptr<W> open(QWidget *parent = nullptr);
    static void click(QWidget *window, const QString &name);
    template<class T> static T *child(QWidget *window, const QString &name);

    std::unique_ptr<tessal::test::TestContext> m_t;
    QString m_dataDir;
    QString m_target;
    QString m_settings;
};

void tst_BackupWindows::init()
{
    QLocale::setDefault(tessal::programLocale());
    m_t = std::make_unique<tessal::test::TestContext>();
    m_dataDir = m_t->dir.filePath(u"dados"_s);
    m_target = m_t->dir.filePath(u"copias"_s);
    m_settings = data::backupSettingsPath(m_t->programDir());
    QVERIFY(QDir().mkpath(m_target));
    data::DemoOptions options;
    options.entries = 1200;
    options.lastDate = QDate(2026, 6, 30);
    data::generateDemoData(m_dataDir, options);
    data::ensureDataDirectory(m_dataDir);
    m_t->context->session().setDataDirectory(m_dataDir);
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
}

void tst_BackupWindows::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    data::closeDatabase(data::cashDatabasePath(m_dataDir));
    data::closeDatabase(data::menuDatabasePath(m_dataDir));
    m_t.reset();
}

qint64 tst_BackupWindows::entryCount() const
{
    QSqlQuery query = data::runQuery(data::openDatabase(data::cashDatabasePath(m_dataDir)),
                                     u"SELECT count(*) FROM lancamentos"_s);
    return query.next() ? query.value(0).toLongLong() : -1;
}

QString tst_BackupWindows::logText() const
{
    QFile file(m_t->context->activityLog().filePath(u"001"_s, m_t->clock.now().date()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll());
}

QString tst_BackupWindows::takeBackup(const QDateTime &moment, data::BackupKind kind)
{
    return data::takeBackup(m_dataDir, m_target, moment, kind);
}

template<class W> std::unique_ptr<W> tst_BackupWindows::open(QWidget *parent)
{
    auto window = std::make_unique<W>(*m_t->context, parent);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("window not exposed");
    return window;
}

void tst_BackupWindows::click(QWidget *window, const QString &name)
{
    auto *button = window->findChild<QPushButton *>(name);
    QVERIFY2(button, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton);
}

template<class T> T *tst_BackupWindows::child(QWidget *window, const QString &name)
{
    T *found = window->findChild<T *>(name);
    if (!found)
        qWarning("no control %s", qPrintable(name));
    return found;
}

void tst_BackupWindows::backupWindowOpensWithTheDefaults()
{
    auto w = open<fcopiaseguranca>();
    QCOMPARE(child<QLineEdit>(w.get(), u"txtPasta"_s)->text(), QString());
    QCOMPARE(child<QCheckBox>(w.get(), u"chkAutomatica"_s)->isChecked(), false);
    QCOMPARE(child<QSpinBox>(w.get(), u"spnManter"_s)->value(), data::DefaultBackupsKept);
    // Opening writes nothing.
    QVERIFY(!QFileInfo::exists(m_settings));
    QCOMPARE(logText(), QString());
}

void tst_BackupWindows::backupWindowShowsAndSavesTheSettingsFromTheKeyboard()
{
    data::writeBackupSettings(m_settings, {true, m_target, 4});
    auto w = open<fcopiaseguranca>();
    auto *folder = child<QLineEdit>(w.get(), u"txtPasta"_s);
    auto *automatic = child<QCheckBox>(w.get(), u"chkAutomatica"_s);
    auto *keep = child<QSpinBox>(w.get(), u"spnManter"_s);
    QCOMPARE(folder->text(), QDir::toNativeSeparators(m_target));
    QVERIFY(automatic->isChecked());
    QCOMPARE(keep->value(), 4);

    const QString other = m_t->dir.filePath(u"outra"_s);
    QVERIFY(QDir().mkpath(other));
    m_t->dialogs.answerDirectory(other);
    auto *choose = child<QPushButton>(w.get(), u"cmdPasta"_s);
    choose->setFocus();
    QTest::keyClick(choose, Qt::Key_Space);
    QCOMPARE(folder->text(), QDir::toNativeSeparators(other));
    QCOMPARE(data::readBackupSettings(m_settings).folder, other);

    automatic->setFocus();
    QTest::keyClick(automatic, Qt::Key_Space);
    QCOMPARE(data::readBackupSettings(m_settings).automatic, false);

    keep->setFocus();
    keep->selectAll();
    QTest::keyClicks(keep, u"25"_s);
    // A number being typed is not taken digit by digit.
    QCOMPARE(data::readBackupSettings(m_settings).keep, 4);
    QTest::keyClick(keep, Qt::Key_Return);
    QCOMPARE(data::readBackupSettings(m_settings).keep, 25);
    QTest::keyClick(keep, Qt::Key_Up);
    QCOMPARE(data::readBackupSettings(m_settings).keep, 26);

    QCOMPARE(data::readBackupSettings(m_settings), (data::BackupSettings{false, other, 26}));
    QCOMPARE(logText().count(u"CÓPIA DE SEGURANÇA CONFIGURADA"_s), 4);
}

void tst_BackupWindows::copyNowTakesABackupAndLogsIt()
{
    data::writeBackupSettings(m_settings, {false, m_target, 10});
    auto w = open<fcopiaseguranca>();
    click(w.get(), u"cmdCopiar"_s);
    const QString expected = QDir(m_target).filePath(u"tessal-copia-2026-12-07_09-05-33"_s);
    QCOMPARE(data::findBackups(m_target), QStringList{expected});
    QCOMPARE(data::verifyBackup(expected).entries, entryCount());
    const QString result = child<QLabel>(w.get(), u"lblResultado"_s)->text();
    QVERIFY2(result.contains(u"07/12/2026 às 09:05:33"_s), qPrintable(result));
    QVERIFY2(result.contains(QDir::toNativeSeparators(expected)), qPrintable(result));
    QVERIFY2(logText().contains(u"CÓPIA DE SEGURANÇA GRAVADA-"_s + expected),
             qPrintable(logText()));
}

void tst_BackupWindows::copyNowWithoutAFolderAsksForOne()
{
    auto w = open<fcopiaseguranca>();
    m_t->dialogs.expectMessage(u"Escolha primeiro a pasta"_s);
    click(w.get(), u"cmdCopiar"_s);
    QCOMPARE(QDir(m_target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void tst_BackupWindows::copyNowIntoALockedFolderReportsAndLogs()
{
    data::writeBackupSettings(m_settings, {false, m_target, 10});
    auto w = open<fcopiaseguranca>();
    {
        tessal::test::ImmutableDirectory locked(m_target);
        QVERIFY(locked.holds());
        m_t->dialogs.expectMessage(u"Não foi possível gravar a cópia de segurança"_s);
        click(w.get(), u"cmdCopiar"_s);
    }
    QCOMPARE(QDir(m_target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    const QString result = child<QLabel>(w.get(), u"lblResultado"_s)->text();
    QVERIFY2(result.contains(u"não foi gravada"_s), qPrintable(result));
    QVERIFY2(logText().contains(u"CÓPIA DE SEGURANÇA FALHOU"_s), qPrintable(logText()));
}

void tst_BackupWindows::restoreWindowListsTheBackupsNewestFirstWithWhatTheyHold()
{
    const QString older = takeBackup(QDateTime(QDate(2026, 12, 1), QTime(8, 0, 0)));
    {
        QSqlQuery query(data::openDatabase(data::cashDatabasePath(m_dataDir)));
        QVERIFY(query.exec(u"INSERT INTO contas VALUES ('099', 'Nova')"_s));
    }
    takeBackup(QDateTime(QDate(2026, 12, 8), QTime(18, 30, 5)), data::BackupKind::Automatic);
    data::writeBackupSettings(m_settings, {true, m_target, 10});

    auto w = open<frestaurarcopia>();
    auto *list = child<QListWidget>(w.get(), u"lstCopias"_s);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), u"Cópia de 08/12/2026 às 18:30:05 (automática)"_s);
    QCOMPARE(list->item(1)->text(), u"Cópia de 01/12/2026 às 08:00:00"_s);
    QCOMPARE(list->currentRow(), 0);
    QVERIFY(QApplication::focusWidget() == list);
    const QLocale locale = tessal::programLocale();
    const QString entries = locale.toString(entryCount());
    QVERIFY(entries.contains(u'.')); // the locale's thousands separator is shown
    auto *contents = child<QLabel>(w.get(), u"lblConteudo"_s);
    QVERIFY2(contents->text().contains(entries + u" lançamentos em 5 contas"_s),
             qPrintable(contents->text()));
    QVERIFY(child<QPushButton>(w.get(), u"cmdRestaurar"_s)->isEnabled());
    QTest::keyClick(list, Qt::Key_Down);
    QVERIFY2(contents->text().contains(entries + u" lançamentos em 4 contas"_s),
             qPrintable(contents->text()));
    QVERIFY2(contents->text().contains(QDir::toNativeSeparators(older)),
             qPrintable(contents->text()));
}

void tst_BackupWindows::restoreWindowTakesAnotherFolderOrABackupItself()
{
    const QString backup = takeBackup(m_t->clock.now());
    auto w = open<frestaurarcopia>();
    auto *list = child<QListWidget>(w.get(), u"lstCopias"_s);
    QCOMPARE(list->count(), 0);
    QVERIFY(!child<QPushButton>(w.get(), u"cmdRestaurar"_s)->isEnabled());

    m_t->dialogs.answerDirectory(m_target);
    click(w.get(), u"cmdProcurar"_s);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->data(Qt::UserRole).toString(), backup);

    // A backup folder renamed by the operator is taken when chosen itself.
    const QString renamed = m_t->dir.filePath(u"copia do fim do mes"_s);
    QVERIFY(QDir().rename(backup, renamed));
    m_t->dialogs.answerDirectory(renamed);
    click(w.get(), u"cmdProcurar"_s);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), u"copia do fim do mes"_s);
    QVERIFY(child<QPushButton>(w.get(), u"cmdRestaurar"_s)->isEnabled());
}

void tst_BackupWindows::restoreWindowShowsWhyABackupCannotBeRestored()
{
    const QString backup = takeBackup(m_t->clock.now());
    QVERIFY(QFile::remove(QDir(backup).filePath(u"MENU.mdb"_s)));
    data::writeBackupSettings(m_settings, {false, m_target, 10});
    auto w = open<frestaurarcopia>();
    const QString contents = child<QLabel>(w.get(), u"lblConteudo"_s)->text();
    QVERIFY2(contents.contains(u"não pode ser restaurada"_s), qPrintable(contents));
    QVERIFY2(contents.contains(u"incompleta"_s), qPrintable(contents));
    QVERIFY(!child<QPushButton>(w.get(), u"cmdRestaurar"_s)->isEnabled());
}

void tst_BackupWindows::restoreAsksFirstAndNoLeavesEverything()
{
    takeBackup(m_t->clock.now());
    {
        QSqlQuery query(data::openDatabase(data::cashDatabasePath(m_dataDir)));
        QVERIFY(query.exec(u"DELETE FROM lancamentos WHERE cd_conta = '001'"_s));
    }
    const qint64 entries = entryCount();
    data::writeBackupSettings(m_settings, {false, m_target, 10});
    QWidget main;
    auto w = open<frestaurarcopia>(&main);
    m_t->dialogs.answerYesNo(false);
    click(w.get(), u"cmdRestaurar"_s);
    QVERIFY2(m_t->dialogs.asked().last().text.contains(u"Restaurar esta cópia?"_s),
             qPrintable(m_t->dialogs.asked().last().text));
    QCOMPARE(entryCount(), entries);
    QCOMPARE(QDir(m_dataDir).entryList({u"antes-da-restauracao*"_s}, QDir::Dirs), QStringList());
    QCOMPARE(logText(), QString());
}

void tst_BackupWindows::restoreReplacesTheDatabasesAndSaysWhereTheOldOnesWent()
{
    const qint64 backedUp = entryCount();
    const QString backup = takeBackup(m_t->clock.now());
    {
        QSqlQuery query(data::openDatabase(data::cashDatabasePath(m_dataDir)));
        QVERIFY(query.exec(u"DELETE FROM lancamentos WHERE cd_conta = '001'"_s));
    }
    const qint64 later = entryCount();
    data::writeBackupSettings(m_settings, {false, m_target, 10});
    m_t->clock.set(QDateTime(QDate(2026, 12, 9), QTime(10, 15, 0)));
    QWidget main;
    main.setWindowTitle(u"Menu Principal"_s);
    main.show();
    auto w = open<frestaurarcopia>(&main);
    m_t->dialogs.answerYesNo(true);
    m_t->dialogs.expectMessage(u"foram movidos para"_s);
    click(w.get(), u"cmdRestaurar"_s);

    const QString aside = QDir(m_dataDir).filePath(u"antes-da-restauracao-2026-12-09_10-15-00"_s);
    QVERIFY2(m_t->dialogs.messages().last().contains(QDir::toNativeSeparators(aside)),
             qPrintable(m_t->dialogs.messages().last()));
    QCOMPARE(entryCount(), backedUp);
    {
        QSqlQuery query = data::runQuery(data::openDatabaseReadOnly(data::cashDatabasePath(aside)),
                                         u"SELECT count(*) FROM lancamentos"_s);
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toLongLong(), later);
        data::closeDatabase(data::cashDatabasePath(aside));
    }
    // The menu database, which the main window reads, opens on the restored file.
    QSqlQuery menu = data::runQuery(
        data::openDatabase(data::menuDatabasePath(m_dataDir), data::DatabaseKind::Menu),
        u"SELECT descricao FROM CONFIG WHERE grupo = 5 AND opcao = 5"_s);
    QVERIFY(menu.next());
    QCOMPARE(menu.value(0).toString(), u"Restaurar Cópia"_s);
    const QString log = logText();
    QVERIFY2(log.contains(u"CÓPIA DE SEGURANÇA RESTAURADA-"_s + backup), qPrintable(log));
    QVERIFY2(log.contains(u"BANCOS ANTERIORES MOVIDOS PARA-"_s + aside), qPrintable(log));
}

void tst_BackupWindows::restoreRefusedWhileAnotherWindowIsOpen()
{
    takeBackup(m_t->clock.now());
    {
        QSqlQuery query(data::openDatabase(data::cashDatabasePath(m_dataDir)));
        QVERIFY(query.exec(u"DELETE FROM lancamentos WHERE cd_conta = '001'"_s));
    }
    const qint64 entries = entryCount();
    data::writeBackupSettings(m_settings, {false, m_target, 10});
    QWidget main;
    main.show();
    QWidget ledger(&main, Qt::Window);
    ledger.setWindowTitle(u"Manutenção de Lançamentos"_s);
    ledger.show();
    auto w = open<frestaurarcopia>(&main);
    m_t->dialogs.expectMessage(u"Feche as outras janelas"_s);
    click(w.get(), u"cmdRestaurar"_s);
    QVERIFY(m_t->dialogs.messages().last().contains(u"Manutenção de Lançamentos"_s));
    QCOMPARE(entryCount(), entries);
    QVERIFY2(logText().contains(u"RESTAURAÇÃO RECUSADA"_s), qPrintable(logText()));

    // Once it is closed, the restore goes on.
    ledger.close();
    m_t->dialogs.answerYesNo(true);
    m_t->dialogs.expectMessage(u"foram movidos para"_s);
    click(w.get(), u"cmdRestaurar"_s);
    QVERIFY(entryCount() > entries);
}

void tst_BackupWindows::screenshots()
{
    const QString dir = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    takeBackup(QDateTime(QDate(2026, 12, 5), QTime(18, 2, 11)), data::BackupKind::Automatic);
    takeBackup(QDateTime(QDate(2026, 12, 6), QTime(17, 58, 40)), data::BackupKind::Automatic);
    takeBackup(QDateTime(QDate(2026, 12, 7), QTime(8, 55, 33)));
    data::writeBackupSettings(m_settings, {true, m_target, 10});
    {
        auto w = open<fcopiaseguranca>();
        m_t->clock.set(QDateTime(QDate(2026, 12, 7), QTime(9, 12, 4)));
        click(w.get(), u"cmdCopiar"_s);
        // The result label grows by a line; its layout is redone on the next event pass.
        QCoreApplication::processEvents();
        QVERIFY(w->grab().save(QDir(dir).filePath(u"copia-de-seguranca.png"_s)));
    }
    auto w = open<frestaurarcopia>();
    auto *list = child<QListWidget>(w.get(), u"lstCopias"_s);
    list->setCurrentRow(1);
    QVERIFY(w->grab().save(QDir(dir).filePath(u"restaurar-copia.png"_s)));
}

QTEST_MAIN(tst_BackupWindows)
#include "tst_backupwindows.moc"
