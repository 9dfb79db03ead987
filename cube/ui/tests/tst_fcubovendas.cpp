#include "core/appcontext.h"
#include "core/config.h"
#include "cube/cube.h"
#include "cube/cubefile.h"
#include "cube/datamarkers.h"
#include "cube/ui/controlarray.h"
#include "cube/ui/cubeview.h"
#include "cube/ui/datamarkerseditorform.h"
#include "cube/ui/fcubovendas.h"
#include "cube/ui/passwordform.h"
#include "cube/ui/saveform.h"
#include "cubetools/mschart.h"
#include "cubetools/rankform.h"
#include "data/database.h"
#include "data/demodata.h"
#include "testsupport/pdftext.h"
#include "testsupport/testcontext.h"
#include "testsupport/tinyhttpserver.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>

using namespace Qt::StringLiterals;
using namespace tessal;
using namespace tessal::cube;

namespace {

// Answers the password prompts as they come: each answer is typed and confirmed, nullopt presses
// "Cancel"; the prompts' texts are kept. A prompt beyond the answers is cancelled and counted.
class PasswordAnswers : public QObject
{
public:
    explicit PasswordAnswers(std::vector<std::optional<QString>> answers)
        : m_answers(std::move(answers))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start(10);
    }
    QStringList prompts;
    QStringList titles;
    int unexpected = 0;

private:
    void poll()
    {
        auto *form = qobject_cast<PasswordForm *>(QApplication::activeModalWidget());
        if (!form || !form->isVisible())
            return;
        prompts << form->findChild<QLabel *>(u"PromptLabel"_s)->text();
        titles << form->windowTitle();
        auto *box = form->findChild<QLineEdit *>(u"ValueTextbox"_s);
        if (box->echoMode() != QLineEdit::Password || !box->text().isEmpty())
            ++unexpected; // the box must come empty and masked
        const size_t n = size_t(prompts.size()) - 1;
        if (n >= m_answers.size() || !m_answers[n]) {
            if (n >= m_answers.size())
                ++unexpected;
            QTest::mouseClick(form->findChild<QPushButton *>(u"CancelButton"_s), Qt::LeftButton);
            return;
        }
        QTest::keyClicks(box, *m_answers[n]);
        QTest::mouseClick(form->findChild<QPushButton *>(u"OKButton"_s), Qt::LeftButton);
    }
    std::vector<std::optional<QString>> m_answers;
    QTimer m_timer;
};

} // namespace

class tst_fcubovendas : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensOnTheLedgerByYearAndMonth();
    void statusBarAndCaptions();
    void emptyConfigurationReportedAndWindowStays();
    void dataFieldListHidesAndShowsWithoutReading();
    void totalsInsertedThenRetired();
    void markersColourCellsLastMatchWins();
    void cubeFileSavedAndOpenedAgain();
    void saveFormOptionsAndPasswordRules();
    void wrongPasswordsGiveThreePromptsThenFail();
    void cancelOnFirstPromptStopsAtOnce();
    void missingAndDamagedFilesReported();
    void addressRouteTakenInCapitalsAndOverHttps();
    void failedFetchReportedAsFailure();
    void hostileCubeFileChangesNothing();
    void previewPagesCarryHeaderAndFooter();
    void menuOpensTheWindowByDispatch();
    void toolsOpenTheirWindows();
    void screenshotOnDemoData();

private:
    std::unique_ptr<fcubovendas> open();
    void run(const QString &sql) const;
    // sum of the values by "yyyy-mm" over the entries the cube's joins keep
    std::map<QString, double> sqlSums() const;
    QByteArray ledgerDigest() const;
    static QAction *action(QWidget *w, const QString &name);
    static double cell(const Cube &cube, const QString &year, const QString &month);

    std::unique_ptr<test::TestContext> m_t;
    QString m_dataDir;
    QString m_path;
};

void tst_fcubovendas::init()
{
    m_t = std::make_unique<test::TestContext>();
    m_dataDir = m_t->dir.filePath(u"dados"_s);
    data::ensureDataDirectory(m_dataDir);
    // the window reads the data directory from the last line of sys.ini
    QFile ini(m_t->context->configFilePath());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(
        QString(u"C:\\antigo\r\n"_s + QDir::toNativeSeparators(m_dataDir) + u"\r\n"_s).toUtf8());
    ini.close();
    m_path = data::cashDatabasePath(m_dataDir);
    run(u"INSERT INTO contas VALUES ('001', 'Caixa'), ('002', 'Banco')"_s);
    run(u"INSERT INTO historicos VALUES ('00001', 'Venda', 'C'), ('00002', 'Compra', 'D')"_s);
    run(u"INSERT INTO baixas VALUES ('002', 'Pendente')"_s);
    // 0000000006 names a settlement type that does not exist: no total counts it
    run(u"INSERT INTO lancamentos VALUES "
        "('0000000001', '001', '00001', 'primeira', 50, '2025-03-01', 'C', 50, '001'),"
        "('0000000002', '001', '00002', 'segunda', 25, '2025-03-20', 'D', 25, '002'),"
        "('0000000003', '002', '00001', 'terceira', 1234.56, '2025-11-02', 'C', 1234.56, '001'),"
        "('0000000004', '002', '00002', 'quarta', 120, '2026-01-10', 'D', 1114.56, '001'),"
        "('0000000005', '001', '00001', 'quinta', 10.5, '2026-01-31', 'C', 85.5, '002'),"
        "('0000000006', '001', '00001', 'órfã', 999, '2026-02-05', 'C', 1084.5, '777')"_s);
}

void tst_fcubovendas::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    data::closeDatabase(m_path);
    m_t.reset();
}

std::unique_ptr<fcubovendas> tst_fcubovendas::open()
{
    auto window = std::make_unique<fcubovendas>(*m_t->context);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("analysis window not exposed");
    return window;
}

void tst_fcubovendas::run(const QString &sql) const
{
    QSqlQuery query(data::openDatabase(m_path));
    if (!query.exec(sql))
        QFAIL(qPrintable(sql));
}

std::map<QString, double> tst_fcubovendas::sqlSums() const
{
    QSqlQuery q(data::openDatabase(m_path));
    std::map<QString, double> sums;
    if (!q.exec(u"SELECT substr(l.dt_lancamento, 1, 7), sum(l.vl_lancamento) FROM lancamentos l "
                "JOIN historicos h ON l.cd_historico = h.cd_historico "
                "JOIN contas c ON l.cd_conta = c.cd_conta "
                "JOIN baixas b ON l.cd_baixa = b.cd_baixa GROUP BY 1"_s))
        return sums;
    while (q.next())
        sums[q.value(0).toString()] = q.value(1).toDouble();
    return sums;
}

QByteArray tst_fcubovendas::ledgerDigest() const
{
    QSqlQuery q(data::openDatabase(m_path));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    q.exec(u"SELECT * FROM lancamentos ORDER BY cd_lancamento"_s);
    while (q.next())
        for (int i = 0; i < 9; ++i)
            hash.addData(QByteArray(q.value(i).toString().toUtf8() + '|'));
    return hash.result().toHex();
}

QAction *tst_fcubovendas::action(QWidget *w, const QString &name)
{
    auto *a = w->findChild<QAction *>(name);
    if (!a)
        qWarning("no action %s", qPrintable(name));
    return a;
}

double tst_fcubovendas::cell(const Cube &cube, const QString &year, const QString &month)
{
    for (int r = 0; r < cube.rowCount(); ++r) {
        if (cube.rowHeadingText(1, r) != year || cube.isTotalRow(r))
            continue;
        for (int c = 0; c < cube.columnCount(); ++c)
            if (cube.columnHeadingText(1, c) == month && !cube.isTotalColumn(c))
                return cube.cellValue(c, r).toDouble();
    }
    return -1;
}

void tst_fcubovendas::opensOnTheLedgerByYearAndMonth()
{
    auto w = open();
    Cube &cube = *w->cube();
    QCOMPARE(w->windowTitle(), u"Bi - Business Inteligence"_s);
    QCOMPARE(cube.pageFields().count(), 8);
    QCOMPARE(cube.rowFields().item(0)->caption(), u"Ano"_s);
    QCOMPARE(cube.columnFields().item(0)->caption(), u"Mes"_s);
    QCOMPARE(cube.dataFields().item(0)->name(), u"sumVL_LANCAMENTO"_s);
    // every year/month cell against plain SQL over the same joins
    const std::map<QString, double> sums = sqlSums();
    QCOMPARE(sums.size(), size_t(3));
    double all = 0;
    for (const auto &[key, sum] : sums) {
        const QString month = QString::number(key.mid(5, 2).toInt());
        QCOMPARE(cell(cube, key.left(4), month), sum);
        all += sum;
    }
    // the grand total (the last row and column) holds neither the orphan entry nor anything twice
    QVERIFY(cube.isTotalRow(cube.lastRow()));
    QCOMPARE(cube.cellValue(cube.lastColumn(), cube.lastRow()).toDouble(), all);
    QCOMPARE(all, 50 + 25 + 1234.56 + 120 + 10.5);
    QCOMPARE(cube.formattedValue(cube.lastColumn(), cube.lastRow()), u"1.440,06"_s);

    auto *list = w->findChild<QListWidget *>(u"lstVisDataField"_s);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), u"Valor"_s);
    QCOMPARE(list->item(0)->checkState(), Qt::Checked);
    QCOMPARE(list->item(0)->data(Qt::UserRole).toInt(), 0);
    QCOMPARE(w->findChild<CubeView *>(u"Cube1"_s), w->view());
}

void tst_fcubovendas::statusBarAndCaptions()
{
    auto w = open();
    auto *status = w->findChild<QStatusBar *>(u"StatusBar1"_s);
    QVERIFY(status);
    QStringList panels;
    for (int i = 1; i <= 6; ++i) {
        auto *panel = status->findChild<QLabel *>(u"panel"_s + QString::number(i));
        QVERIFY2(panel, qPrintable(QString::number(i)));
        panels << panel->text();
    }
    // the last line of sys.ini, not its first
    QCOMPARE(panels[0], QDir::toNativeSeparators(m_dataDir));
    QCOMPARE(panels[1], u"USUARIO"_s);
    QCOMPARE(panels[5], QString());

    QCOMPARE(w->findChild<QLabel *>(u"TitleCaption"_s)->text(),
             u"Gerador de Relatórios Multi - Dimensional"_s);
    QCOMPARE(w->findChild<QLabel *>(u"SubTitleCaption"_s)->text(), u"Olap Server"_s);
    QCOMPARE(w->findChild<QPushButton *>(u"cmdPreview"_s)->text(), u"Print Preview"_s);
    QCOMPARE(w->findChild<QPushButton *>(u"Command1"_s)->text(), u"Sair"_s);
    QCOMPARE(w->findChild<QMenu *>(u"Menu"_s)->title(), u"Menu Opções"_s);
    const QList<std::pair<QString, QString>> items = {{u"Abrir"_s, u"Abrir"_s},
                                                      {u"Salvar"_s, u"Salvar"_s},
                                                      {u"Classificar"_s, u"Classificar"_s},
                                                      {u"graficos"_s, u"Graficos"_s},
                                                      {u"retirar"_s, u"Retirar Totais"_s},
                                                      {u"Inserir"_s, u"Inserir Totais"_s},
                                                      {u"Marcadores"_s, u"Marcadores"_s},
                                                      {u"Exportar"_s, u"Exportar"_s}};
    for (const auto &[name, caption] : items)
        QCOMPARE(action(w.get(), name)->text(), caption);

    // resize: the pictures and the cube keep their places with the window
    w->resize(900, 600);
    QCoreApplication::processEvents();
    auto *top = w->findChild<QWidget *>(u"TopPicture"_s);
    auto *left = w->findChild<QWidget *>(u"LeftPicture"_s);
    QWidget *client = w->centralWidget();
    QCOMPARE(top->x(), 6);
    QCOMPARE(top->width(), client->width() - 12);
    QCOMPARE(left->y(), top->geometry().bottom() + 1 + 6);
    QCOMPARE(left->geometry().bottom() + 1, client->height() - 24);
    QCOMPARE(w->view()->x(), left->geometry().right() + 1 + 6);
    QCOMPARE(w->view()->geometry().right() + 1, client->width() - 6);
    QCOMPARE(w->view()->height(), left->height());
}

void tst_fcubovendas::emptyConfigurationReportedAndWindowStays()
{
    QFile ini(m_t->context->configFilePath());
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.close();
    m_t->dialogs.expectMessage(u"fcubovendas"_s);
    auto w = open();
    QCOMPARE(w->findChild<QLabel *>(u"panel1"_s)->text(), QString());
    QCOMPARE(w->cube()->properties().databaseName, data::cashDatabasePath(QString()));
    QVERIFY(!w->cube()->hasData());
    QVERIFY(w->isVisible());
}

void tst_fcubovendas::dataFieldListHidesAndShowsWithoutReading()
{
    auto w = open();
    Cube &cube = *w->cube();
    const double before = cell(cube, u"2025"_s, u"3"_s);
    QCOMPARE(before, 75.0);
    // an entry posted meanwhile is not seen: showing the field again reads nothing
    run(u"INSERT INTO lancamentos VALUES "
        "('0000000007', '001', '00001', 'nova', 1000, '2025-03-05', 'C', 0, '001')"_s);
    auto *list = w->findChild<QListWidget *>(u"lstVisDataField"_s);
    list->item(0)->setCheckState(Qt::Unchecked);
    QVERIFY(!cube.dataFields().item(0)->isVisible());
    QCOMPARE(cube.dataFieldAt(0), -1);
    QVERIFY(!cube.cellValue(0, 0).isValid());
    list->item(0)->setCheckState(Qt::Checked);
    QVERIFY(cube.dataFields().item(0)->isVisible());
    QCOMPARE(cell(cube, u"2025"_s, u"3"_s), before);
}

void tst_fcubovendas::totalsInsertedThenRetired()
{
    auto w = open();
    Cube &cube = *w->cube();
    action(w.get(), u"Inserir"_s)->trigger();
    for (CubeField *f : cube.fields())
        QCOMPARE(f->groupFooter(), -1);
    QVERIFY(cube.isTotalRow(cube.lastRow()));
    QVERIFY(cube.isTotalColumn(cube.lastColumn()));
    action(w.get(), u"retirar"_s)->trigger();
    for (CubeField *f : cube.fields())
        QCOMPARE(f->groupFooter(), 0);
    for (int r = 0; r < cube.rowCount(); ++r)
        QVERIFY(!cube.isTotalRow(r));
    for (int c = 0; c < cube.columnCount(); ++c)
        QVERIFY(!cube.isTotalColumn(c));
    QCOMPARE(cube.rowCount(), 2);    // 2025, 2026
    QCOMPARE(cube.columnCount(), 3); // months 1, 3, 11
}

void tst_fcubovendas::markersColourCellsLastMatchWins()
{
    auto w = open();
    Cube &cube = *w->cube();
    constexpr quint32 Green = 0x00ff00, Red = 0x0000ff;
    w->markers().Add(Black, Green, 0, 100, u"sumVL_LANCAMENTO"_s, QString());
    w->markers().Add(White, Red, 50, 150, u"sumVL_LANCAMENTO"_s, QString());
    // March 2025 sums 75: inside both ranges, and the later marker decides
    int row = -1, column = -1;
    for (int r = 0; r < cube.rowCount(); ++r)
        for (int c = 0; c < cube.columnCount(); ++c)
            if (cube.cellValue(c, r).toDouble() == 75.0 && !cube.isTotalRow(r))
                row = r, column = c;
    QVERIFY(row >= 0);
    CellFormat f = cube.cellFormat(column, row);
    QCOMPARE(f.backColor, Red);
    QCOMPARE(f.foreColor, White);
    // January 2026 sums 130,50: only in the red range; 1.234,56 in neither
    const double january = cell(cube, u"2026"_s, u"1"_s);
    QCOMPARE(january, 130.5);
    for (int r = 0; r < cube.rowCount(); ++r) {
        for (int c = 0; c < cube.columnCount(); ++c) {
            const QVariant v = cube.cellValue(c, r);
            if (v.isValid() && v.toDouble() == january)
                QCOMPARE(cube.cellFormat(c, r).backColor, Red);
            if (v.isValid() && v.toDouble() == 1234.56)
                QCOMPARE(cube.cellFormat(c, r).backColor, White);
        }
    }
    // the colour reaches the screen: the view paints the cell's back colour
    QImage image = w->view()->viewport()->grab().toImage();
    const QRect r = w->view()->cellRect(column, row);
    QVERIFY(r.isValid());
    QCOMPARE(QColor(image.pixel(r.left() + 2, r.center().y())), QColor(255, 0, 0));

    // in the other order the green marker is the later one and decides
    w->markers().Remove(1);
    w->markers().Add(White, Red, 50, 150, u"sumVL_LANCAMENTO"_s, QString());
    w->markers().Remove(1);
    w->markers().Add(Black, Green, 0, 100, u"sumVL_LANCAMENTO"_s, QString());
    QCOMPARE(cube.cellFormat(column, row).backColor, Green);
    // a marker of a data field of another name never applies
    w->markers().Add(White, Red, 0, 1e9, u"countVL_LANCAMENTO"_s, QString());
    QCOMPARE(cube.cellFormat(column, row).backColor, Green);
}

void tst_fcubovendas::cubeFileSavedAndOpenedAgain()
{
    auto w = open();
    const QString path = m_t->dir.filePath(u"vendas.cub"_s);
    action(w.get(), u"Salvar"_s)->trigger();
    SaveForm *form = w->saveForm();
    QVERIFY(form && form->isVisible());
    QVERIFY(!form->isModal());
    m_t->dialogs.answerSaveFile(path);
    QTest::mouseClick(form->findChild<QPushButton *>(u"cmdSavePath"_s), Qt::LeftButton);
    QCOMPARE(form->findChild<QLineEdit *>(u"FilePathTextbox"_s)->text(), path);
    QTest::mouseClick(form->findChild<QPushButton *>(u"OKButton"_s), Qt::LeftButton);
    QTRY_VERIFY(!w->saveForm());
    QVERIFY(QFileInfo::exists(path));

    // moved fields and a hidden month travel in the file and come back
    CubeField *month = w->cube()->columnFields().item(0);
    month->setOrientation(Orientation::Page);
    w->cube()->refresh();
    QCOMPARE(w->cube()->columnFields().count(), 0);
    m_t->dialogs.answerOpenFile(path);
    m_t->dialogs.expectMessage(u"Arquivo carregado com sucesso!"_s);
    action(w.get(), u"Abrir"_s)->trigger();
    QCOMPARE(w->cubeFilePath(), path);
    QCOMPARE(w->cube()->columnFields().count(), 1);
    QCOMPARE(cell(*w->cube(), u"2025"_s, u"11"_s), 1234.56);
    QVERIFY(w->view()->isVisible());
    QCOMPARE(m_t->dialogs.asked().last().title, u"Congratulaçõe"_s);
    QCOMPARE(m_t->dialogs.asked().last().icon, Dialogs::Icon::Information);

    // cancelling the open dialog does nothing at all
    m_t->dialogs.answerOpenFile(QString());
    action(w.get(), u"Abrir"_s)->trigger();
    QCOMPARE(w->cubeFilePath(), path);
}

void tst_fcubovendas::saveFormOptionsAndPasswordRules()
{
    auto w = open();
    Cube &cube = *w->cube();
    SaveForm form(*m_t->context);
    form.setCube(&cube);
    form.presetFromCube();
    auto *ok = form.findChild<QPushButton *>(u"OKButton"_s);
    auto *layoutOnly = arrayMember<QRadioButton>(&form, u"SaveOption"_s, 1);
    auto *requirePassword = arrayMember<QRadioButton>(&form, u"optPassword"_s, 1);
    auto *password = form.findChild<QLineEdit *>(u"txtPassword"_s);
    QCOMPARE(layoutOnly->text(), u"Somente lay-out  do cubo "_s);
    QVERIFY(arrayMember<QRadioButton>(&form, u"SaveOption"_s, 0)->isChecked());
    QVERIFY(form.findChild<QCheckBox *>(u"CompressionCheck"_s)->isChecked());
    QVERIFY(arrayMember<QRadioButton>(&form, u"optPassword"_s, 0)->isChecked());
    QVERIFY(password->isReadOnly());

    // OK before a path was chosen: nothing happens, the form stays
    form.show();
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(form.isVisible());
    QVERIFY(!form.saved());

    // layout only + "Compactar" is kind 3; a password of spaces is no password
    const QString path = m_t->dir.filePath(u"so-layout.cub"_s);
    m_t->dialogs.answerSaveFile(path);
    QTest::mouseClick(form.findChild<QPushButton *>(u"cmdSavePath"_s), Qt::LeftButton);
    layoutOnly->click();
    requirePassword->click();
    QVERIFY(!password->isReadOnly());
    QTest::keyClicks(password, u"   "_s);
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(form.saved());
    QVERIFY(!form.isVisible());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(int(quint8(bytes.at(10))), 3); // the header's save kind
    const CubeFileContents contents = readCubeFile(bytes, QString());
    QVERIFY(!contents.hasData);
    QCOMPARE(cube.password(), QString());

    // a real password protects the file and is what the form offers next time
    const QString protectedPath = m_t->dir.filePath(u"senha.cub"_s);
    SaveForm again(*m_t->context);
    again.setCube(&cube);
    again.setFileName(protectedPath);
    again.presetFromCube();
    arrayMember<QRadioButton>(&again, u"optPassword"_s, 1)->click();
    QTest::keyClicks(again.findChild<QLineEdit *>(u"txtPassword"_s), u" segredo "_s);
    again.OKButton_Click();
    QVERIFY(again.saved());
    QCOMPARE(cube.password(), u"segredo"_s);
    QFile protectedFile(protectedPath);
    QVERIFY(protectedFile.open(QIODevice::ReadOnly));
    const QByteArray sealed = protectedFile.readAll();
    QVERIFY_THROWS_EXCEPTION(Error, readCubeFile(sealed, QString()));
    QVERIFY(readCubeFile(sealed, u"segredo"_s).hasData);
    SaveForm third(*m_t->context);
    third.setCube(&cube);
    third.presetFromCube();
    QVERIFY(arrayMember<QRadioButton>(&third, u"optPassword"_s, 1)->isChecked());
    QCOMPARE(third.findChild<QLineEdit *>(u"txtPassword"_s)->text(), u"segredo"_s);

    // a path that cannot be written: the failure message, and the form stays open
    SaveForm failing(*m_t->context);
    failing.setCube(&cube);
    failing.setFileName(m_t->dir.filePath(u"nao/existe/cubo.cub"_s));
    failing.presetFromCube();
    failing.show();
    m_t->dialogs.expectMessage(u"There was a problem saving your cube file."_s);
    failing.OKButton_Click();
    QVERIFY(!failing.saved());
    QVERIFY(failing.isVisible());

    // "Cancela" saves nothing
    QTest::mouseClick(failing.findChild<QPushButton *>(u"CancelButton"_s), Qt::LeftButton);
    QVERIFY(!failing.isVisible());
    QVERIFY(!failing.saved());
}

void tst_fcubovendas::wrongPasswordsGiveThreePromptsThenFail()
{
    auto w = open();
    const QString path = m_t->dir.filePath(u"protegido.cub"_s);
    w->cube()->setPassword(u"certa"_s);
    QVERIFY(w->cube()->saveToFile(path, SaveKind::LayoutAndData));
    w->cube()->setPassword(QString());

    {
        PasswordAnswers answers({u"errada1"_s, u"errada2"_s, u"errada3"_s});
        m_t->dialogs.answerOpenFile(path);
        m_t->dialogs.expectMessage(u"houve algum problema ao carregar arquivo do cubo."_s);
        action(w.get(), u"Abrir"_s)->trigger();
        const QString first = u"Por favor digite a senha correta para abrir esse arquivo.\r\n"_s;
        QCOMPARE(answers.prompts,
                 QStringList({first + u"1 of 3 chance(s)..."_s, first + u"2 of 3 chance(s)..."_s,
                              first + u"3 of 3 chance(s)..."_s}));
        QCOMPARE(answers.titles.value(0), u"Protegido por senha"_s);
        QCOMPARE(answers.unexpected, 0);
        QVERIFY(!w->view()->isVisible());
        // the last password tried stays on the cube
        QCOMPARE(w->cube()->password(), u"errada3"_s);
    }
    {
        PasswordAnswers answers({u"errada"_s, u"certa"_s});
        QVERIFY(w->LoadCubeFile(path, 3));
        QCOMPARE(answers.prompts.size(), 2);
        QCOMPARE(answers.unexpected, 0);
    }
}

void tst_fcubovendas::cancelOnFirstPromptStopsAtOnce()
{
    auto w = open();
    const QString path = m_t->dir.filePath(u"protegido.cub"_s);
    w->cube()->setPassword(u"certa"_s);
    QVERIFY(w->cube()->saveToFile(path, SaveKind::LayoutOnly));
    w->cube()->setPassword(QString());
    PasswordAnswers answers({std::nullopt});
    QVERIFY(!w->LoadCubeFile(path, 3));
    QCOMPARE(answers.prompts.size(), 1);
    QCOMPARE(answers.unexpected, 0);
    QVERIFY(!w->LoadCubeFile(QString(), 3));
}

void tst_fcubovendas::missingAndDamagedFilesReported()
{
    auto w = open();
    m_t->dialogs.expectMessage(u"Arquivo nao existe"_s);
    QVERIFY(!w->LoadCubeFile(m_t->dir.filePath(u"nenhum.cub"_s), 3));
    QCOMPARE(m_t->dialogs.asked().last().title, u"Try Again"_s);

    const QString junk = m_t->dir.filePath(u"lixo.cub"_s);
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("isto não é um cubo");
    file.close();
    m_t->dialogs.expectMessage(u"Erro inesperado \r\n1024\r\n"_s);
    QVERIFY(!w->LoadCubeFile(junk, 3));
    QCOMPARE(m_t->dialogs.asked().last().title, u"EXITING PROGRAM!"_s);
    // the program goes on: the window is still there and its cube still answers
    QVERIFY(w->isVisible());
    QCOMPARE(cell(*w->cube(), u"2025"_s, u"3"_s), 75.0);
}

void tst_fcubovendas::addressRouteTakenInCapitalsAndOverHttps()
{
    auto w = open();
    test::TinyHttpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    CubeField *month = w->cube()->columnFields().item(0);
    month->setOrientation(Orientation::Page);
    server.body = w->cube()->saveToBytes(SaveKind::LayoutAndData);
    month->setOrientation(Orientation::Column);
    w->cube()->refresh();
    QCOMPARE(w->cube()->columnFields().count(), 1);

    QVERIFY(w->LoadCubeFile(u"HTTP://127.0.0.1:%1/vendas.cub"_s.arg(server.serverPort()), 3));
    QCOMPARE(server.requests, 1);
    QCOMPARE(w->cube()->columnFields().count(), 0);
    QVERIFY(!m_t->dialogs.asked().isEmpty()); // the progress box while it came
    // an https address takes the same route (and fails here: the server speaks plain http)
    m_t->dialogs.expectMessage(u"Erro inesperado "_s);
    QVERIFY(!w->LoadCubeFile(u"https://127.0.0.1:%1/vendas.cub"_s.arg(server.serverPort()), 3));
}

void tst_fcubovendas::failedFetchReportedAsFailure()
{
    auto w = open();
    test::TinyHttpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    server.status = 404;
    m_t->dialogs.answerOpenFile(u"http://127.0.0.1:%1/nada.cub"_s.arg(server.serverPort()));
    m_t->dialogs.expectMessage(u"Erro inesperado "_s);
    m_t->dialogs.expectMessage(u"houve algum problema ao carregar arquivo do cubo."_s);
    action(w.get(), u"Abrir"_s)->trigger();
    QVERIFY(w->cubeFilePath().isEmpty());

    // the operator stops a fetch that does not come: reported as a failure, never as success
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    m_t->dialogs.stopProgressAt(3);
    m_t->dialogs.expectMessage(u"Erro inesperado "_s);
    QVERIFY(!w->LoadCubeFile(u"http://127.0.0.1:%1/lento.cub"_s.arg(silent.serverPort()), 3));
}

void tst_fcubovendas::hostileCubeFileChangesNothing()
{
    auto w = open();
    const QByteArray before = ledgerDigest();
    CubeDefinition hostile = w->cube()->definition();
    // a write that hands back the columns the fields want, as a query would
    hostile.properties.recordSource =
        u"DELETE FROM LANCAMENTOS RETURNING DT_LANCAMENTO, ds_complemento, VL_LANCAMENTO, "
        "cd_historico AS DS_HISTORICO, cd_status AS cd_tipo, cd_conta AS ds_conta, "
        "cd_baixa AS ds_baixa"_s;
    hostile.properties.databaseName = m_t->dir.filePath(u"outra.mdb"_s);
    const QByteArray bytes = writeCubeFile(hostile, nullptr, SaveKind::LayoutOnly, QString());
    const QString path = m_t->dir.filePath(u"hostil.cub"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    m_t->dialogs.answerOpenFile(path);
    m_t->dialogs.expectMessage(u"Erro inesperado "_s);
    m_t->dialogs.expectMessage(u"houve algum problema ao carregar arquivo do cubo."_s);
    action(w.get(), u"Abrir"_s)->trigger();
    QCOMPARE(ledgerDigest(), before);

    test::TinyHttpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    server.body = bytes;
    m_t->dialogs.expectMessage(u"Erro inesperado "_s);
    QVERIFY(!w->LoadCubeFile(u"http://127.0.0.1:%1/hostil.cub"_s.arg(server.serverPort()), 3));
    QCOMPARE(ledgerDigest(), before);
    QVERIFY(!QFileInfo::exists(m_t->dir.filePath(u"outra.mdb"_s)));
}

void tst_fcubovendas::previewPagesCarryHeaderAndFooter()
{
    auto w = open();
    m_t->dialogs.expectPreview();
    QTest::mouseClick(w->findChild<QPushButton *>(u"cmdPreview"_s), Qt::LeftButton);
    const auto document = m_t->dialogs.lastPreview();
    QVERIFY(document);
    const QString pdf = m_t->dir.filePath(u"cubo.pdf"_s);
    writePdf(*document, pdf);
    const QStringList pages = test::pdfPages(pdf);
    QVERIFY(!pages.isEmpty());
    QVERIFY(pages[0].contains(u"Gerador de Relatórios"_s));
    QVERIFY(pages[0].contains(u"- Page 1 -"_s));
    QVERIFY(pages[0].contains(u"1.234,56"_s));
}

void tst_fcubovendas::menuOpensTheWindowByDispatch()
{
    // the main menu's group 2, position 2 is wired in the program's window list; here the window
    // opens on its own and closes with "Sair"
    auto w = open();
    QTest::mouseClick(w->findChild<QPushButton *>(u"Command1"_s), Qt::LeftButton);
    QVERIFY(!w->isVisible());
}

void tst_fcubovendas::toolsOpenTheirWindows()
{
    auto w = open();
    auto named = [](const QString &name) {
        QList<QWidget *> found;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->objectName() == name && top->isVisible())
                found << top;
        return found;
    };
    // one ranking window, reused, on this window's cube with no field chosen
    action(w.get(), u"Classificar"_s)->trigger();
    action(w.get(), u"Classificar"_s)->trigger();
    QCOMPARE(named(u"RankForm"_s).size(), 1);
    auto *rank = qobject_cast<RankForm *>(named(u"RankForm"_s).first());
    QVERIFY(rank);
    QCOMPARE(rank->cube(), w->cube());
    QVERIFY(!rank->selectedField());

    // a chart window for every press, each keeping the selection of its moment
    w->view()->setSelection(Selection{0, 0, 1, 1});
    action(w.get(), u"graficos"_s)->trigger();
    w->view()->setSelection(Selection{0, 2, 1, 2});
    action(w.get(), u"graficos"_s)->trigger();
    const QList<QWidget *> charts = named(u"frmMSChart"_s);
    QCOMPARE(charts.size(), 2);
    QList<int> sizes;
    for (QWidget *chart : charts)
        sizes << chart->findChild<MSChart *>(u"MSChart"_s)->chartData().array.size();
    std::sort(sizes.begin(), sizes.end());
    // a single cell: 2 x 2; two rows by three columns: the rows are the categories, 3 x 4
    QCOMPARE(sizes, QList<int>({2, 3}));

    // the export form, once, making every data field visible
    w->cube()->dataFields().item(0)->setVisible(false);
    action(w.get(), u"Exportar"_s)->trigger();
    action(w.get(), u"Exportar"_s)->trigger();
    QCOMPARE(named(u"fexport"_s).size(), 1);
    QVERIFY(w->cube()->dataFields().item(0)->isVisible());
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top != w.get() && top->isVisible())
            top->close();
}

void tst_fcubovendas::screenshotOnDemoData()
{
    const QString target = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (target.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    const QString demoDir = m_t->dir.filePath(u"demo"_s);
    data::DemoOptions options;
    options.lastDate = QDate(2026, 12, 7);
    data::generateDemoData(demoDir, options);
    writeConfigFile(m_t->context->configFilePath(), demoDir);
    auto w = open();
    w->resize(1200, 760);
    QCoreApplication::processEvents();
    const QDir out(target);
    QVERIFY(w->grab().save(out.filePath(u"fcubovendas.png"_s)));

    // the accounts dragged from the page area to the rows, under the years, with totals
    Cube &cube = *w->cube();
    CubeField *account = nullptr;
    for (CubeField *f : cube.pageFields())
        if (f->caption() == u"Conta"_s)
            account = f;
    QVERIFY(account);
    QVERIFY(w->view()->moveField(account, Orientation::Row, 1));
    QCOMPARE(cube.rowFields().count(), 2);
    QCoreApplication::processEvents();
    QVERIFY(w->grab().save(out.filePath(u"fcubovendas-arrastado.png"_s)));

    // markers: small sums green, large ones red on white text
    w->markers().Add(Black, 0x90ee90, -1e12, 20000, u"sumVL_LANCAMENTO"_s);
    w->markers().Add(White, 0x0000c0, 50000, 1e12, u"sumVL_LANCAMENTO"_s);
    cube.refresh();
    QCoreApplication::processEvents();
    QVERIFY(w->grab().save(out.filePath(u"fcubovendas-marcadores.png"_s)));

    DataMarkersEditorForm editor(*m_t->context, w.get());
    editor.prepare(cube, w->markers());
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QVERIFY(editor.grab().save(out.filePath(u"datamarkerseditorform.png"_s)));
    editor.close();

    action(w.get(), u"Salvar"_s)->trigger();
    QVERIFY(w->saveForm());
    w->saveForm()->setFileName(m_t->dir.filePath(u"vendas.cub"_s));
    QVERIFY(QTest::qWaitForWindowExposed(w->saveForm()));
    QVERIFY(w->saveForm()->grab().save(out.filePath(u"saveform.png"_s)));
    w->saveForm()->close();

    // the printed pages of the dragged layout, for pdftoppm
    m_t->dialogs.expectPreview();
    QTest::mouseClick(w->findChild<QPushButton *>(u"cmdPreview"_s), Qt::LeftButton);
    QVERIFY(m_t->dialogs.lastPreview());
    writePdf(*m_t->dialogs.lastPreview(), out.filePath(u"fcubovendas-visualizacao.pdf"_s));
    data::closeDatabase(data::cashDatabasePath(demoDir));
}

QTEST_MAIN(tst_fcubovendas)
#include "tst_fcubovendas.moc"
