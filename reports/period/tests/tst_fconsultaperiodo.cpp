#include "controls/groupinggrid.h"
#include "core/activitylog.h"
#include "core/ui/printpreview.h"
#include "data/database.h"
#include "data/demodata.h"
#include "reports/period/fconsultaperiodo.h"
#include "testsupport/pdftext.h"
#include "testsupport/scratchdata.h"
#include "testsupport/testcontext.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace tessal;
using namespace Qt::StringLiterals;

class tst_fconsultaperiodo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsAsTheWindowNamesThem();
    void eachEntryListedOnceWithItsOwnDescription();
    void formatConditionsColourDebitsAndCredits();
    void groupAndUngroup();
    void headerDroppedIntoTheGroupAreaGroups();
    void headerClickSortsBothWays();
    void columnMenuDoesItByKeyboard();
    void navigatorCountsTheRecords();
    void periodRestrictsTheRows();
    void logLinesAsWritten();
    void fieldChooserWorksOnTheGrid();
    void printsWhatTheGridShowsToPdf();
    void printsOnlyTheSelectedRows();
    void previewTakesThePlaceOfTheQuery();
    void layoutSavedAndReadBack();
    void damagedLayoutRefusedAndCancelShowsNothing();
    void screenshotOnDemoData();

private:
    std::unique_ptr<fconsultaperiodo> open();
    void run(const QString &sql) const;
    static QStringList shownRows(GroupingGrid *grid, const QModelIndex &parent = {});
    QByteArray logBytes() const;
    static void click(QWidget *w, const QString &button);

    std::unique_ptr<test::TestContext> m_t;
    std::unique_ptr<test::ScratchDataSource> m_source;
    QString m_path;
};

void tst_fconsultaperiodo::init()
{
    m_t = std::make_unique<test::TestContext>();
    m_source = std::make_unique<test::ScratchDataSource>();
    TESSAL_REQUIRE_DATA_SOURCE(*m_source);
    m_t->context->session().setDataDirectory(m_source->dataDirectory());
    // On a server installation the grid's layouts are kept in a local directory.
    m_t->context->session().setLocalFilesDirectory(m_t->dir.filePath(u"dados-locais"_s));
    m_t->context->session().setUser(u"001"_s, u"Supervisor"_s);
    m_path = m_t->context->session().cashDatabasePath();
    run(u"INSERT INTO contas VALUES ('001', 'Caixa'), ('002', 'Banco')"_s);
    run(u"INSERT INTO historicos VALUES ('00001', 'Venda', 'C'), ('00002', 'Compra', 'D'), "
        "('00003', 'Aporte', 'C')"_s);
    // Five entries; 0000000005 names a description that does not exist.
    run(u"INSERT INTO lancamentos VALUES "
        "('0000000001', '001', '00001', 'primeira', 100, '2026-03-01', 'C', 100, '001'),"
        "('0000000002', '001', '00002', 'segunda', 30.5, '2026-03-02', 'D', 69.5, '001'),"
        "('0000000003', '002', '00003', NULL, 1234.56, '2026-03-02', 'C', 1234.56, '001'),"
        "('0000000004', '002', '00002', 'quarta', 4.44, '2026-04-10', 'D', 1230.12, '001'),"
        "('0000000005', '001', '00009', 'órfã', 7, '2026-03-05', 'C', 76.5, '001')"_s);
}

void tst_fconsultaperiodo::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    m_source.reset();
    m_t.reset();
}

std::unique_ptr<fconsultaperiodo> tst_fconsultaperiodo::open()
{
    auto window = std::make_unique<fconsultaperiodo>(*m_t->context);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("period query not exposed");
    return window;
}

void tst_fconsultaperiodo::run(const QString &sql) const
{
    QSqlQuery query(data::openDatabase(m_path));
    if (!query.exec(sql))
        QFAIL(qPrintable(query.lastError().text() + u" in: "_s + sql));
}

QStringList tst_fconsultaperiodo::shownRows(GroupingGrid *grid, const QModelIndex &parent)
{
    GroupedQueryModel *model = grid->model();
    if (model->canFetchMore(parent))
        model->fetchMore(parent);
    QStringList rows;
    for (int r = 0; r < model->rowCount(parent); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->index(r, c, parent).data().toString();
        rows << cells.join(u'|');
    }
    return rows;
}

QByteArray tst_fconsultaperiodo::logBytes() const
{
    QFile file(m_t->context->activityLog().filePath(u"001"_s, m_t->clock.now().date()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_fconsultaperiodo::click(QWidget *w, const QString &button)
{
    auto *b = w->findChild<QPushButton *>(button);
    QVERIFY2(b, qPrintable(button));
    QTest::mouseClick(b, Qt::LeftButton);
}

void tst_fconsultaperiodo::controlsAsTheWindowNamesThem()
{
    auto w = open();
    const QList<std::pair<QString, QString>> buttons{{u"cmdPrint"_s, u"IMPRIMIR"_s},
                                                     {u"cmdPrintPreview"_s, u"VISUALIZAR"_s},
                                                     {u"Command2"_s, u"Escolher Campos"_s},
                                                     {u"Command3"_s, u"Agrupar"_s},
                                                     {u"Command4"_s, u"Desagrupar"_s},
                                                     {u"Command5"_s, u"Salvar Lay-out"_s},
                                                     {u"Command6"_s, u"Ler Lay-out"_s},
                                                     {u"Command8"_s, u"Período"_s},
                                                     {u"Command1"_s, u"&Sair"_s}};
    for (const auto &[name, caption] : buttons) {
        auto *button = w->findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->text(), caption);
    }
    QCOMPARE(w->findChild<QPushButton *>(u"Command2"_s)->toolTip(),
             u"Aqui você inclui ou exclui campos da grade para gerar relatórios personalizados"_s);
    for (const auto &[name, caption] :
         QList<std::pair<QString, QString>>{{u"Check1"_s, u"Agrupar Paginas"_s},
                                            {u"Check3"_s, u"Repetir Cabeçalho"_s},
                                            {u"Check2"_s, QString()},
                                            {u"Check4"_s, u"Imprimir só as Slecionadas"_s}}) {
        auto *check = w->findChild<QAbstractButton *>(name);
        QVERIFY2(check, qPrintable(name));
        QCOMPARE(check->text(), caption);
    }
    QVERIFY(w->findChild<QWidget *>(u"Grid1"_s));
    QVERIFY(w->findChild<QWidget *>(u"Grid2"_s));
    QCOMPARE(w->findChild<QLabel *>(u"groupPrompt"_s)->text(),
             u"Traga a Coluna a ser agrupada para dentro desse espaço."_s);
    QStringList headers;
    for (int c = 0; c < w->grid()->model()->columnCount(); ++c)
        headers << w->grid()->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{u"Data"_s, u"Conta"_s, u"Histórico"_s, u"Complemento"_s,
                                   u"Valor"_s, u"Saldo"_s, u"Situação"_s}));
}

void tst_fconsultaperiodo::eachEntryListedOnceWithItsOwnDescription()
{
    auto w = open();
    // The entry whose description is missing is not listed; every other entry once, with its
    // own description (a join without the condition would list each five times over).
    QCOMPARE(shownRows(w->grid()),
             (QStringList{u"01/03/2026|Caixa|Venda|primeira|100,00|100,00|Crédito"_s,
                          u"02/03/2026|Caixa|Compra|segunda|30,50|69,50|Débito"_s,
                          u"02/03/2026|Banco|Aporte||1.234,56|1.234,56|Crédito"_s,
                          u"10/04/2026|Banco|Compra|quarta|4,44|1.230,12|Débito"_s}));
}

void tst_fconsultaperiodo::formatConditionsColourDebitsAndCredits()
{
    auto w = open();
    GroupedQueryModel *model = w->grid()->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        const bool debit = model->index(r, 6).data(GroupedQueryModel::StoredRole) == u"D"_s;
        for (int c : {0, 4, 6}) {
            QCOMPARE(model->index(r, c).data(Qt::ForegroundRole).value<QColor>(),
                     debit ? QColor(255, 0, 0) : QColor(0, 0, 255));
            QCOMPARE(model->index(r, c).data(Qt::BackgroundRole).value<QColor>(),
                     QColor(255, 255, 0));
        }
    }
}

void tst_fconsultaperiodo::groupAndUngroup()
{
    auto w = open();
    QTreeView *view = w->grid()->view();
    // "Agrupar" groups by the column of the current cell.
    view->setCurrentIndex(w->grid()->model()->index(0, fconsultaperiodo::Account - 1));
    click(w.get(), u"Command3"_s);
    GroupedQueryModel *model = w->grid()->model();
    QCOMPARE(model->grouping(), QStringList{u"ds_conta"_s});
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(0, 0).data().toString(), u"Conta: Banco (2)"_s);
    QCOMPARE(model->index(1, 0).data().toString(), u"Conta: Caixa (2)"_s);
    QVERIFY(view->isFirstColumnSpanned(0, {}));
    QCOMPARE(shownRows(w->grid(), model->index(0, 0)),
             (QStringList{u"02/03/2026|Banco|Aporte||1.234,56|1.234,56|Crédito"_s,
                          u"10/04/2026|Banco|Compra|quarta|4,44|1.230,12|Débito"_s}));
    // The level shows in the group area, and a second level nests inside the first.
    QVERIFY(w->findChild<QWidget *>(u"groupLevel_ds_conta"_s));
    QVERIFY(!w->findChild<QLabel *>(u"groupPrompt"_s)->isVisible());
    w->grid()->groupBy(u"CD_STATUS"_s);
    const QModelIndex caixa = model->index(1, 0);
    QCOMPARE(shownRows(w->grid(), caixa),
             (QStringList{u"Situação: Crédito (1)||||||"_s, u"Situação: Débito (1)||||||"_s}));

    click(w.get(), u"Command4"_s);
    QCOMPARE(model->grouping(), QStringList());
    QCOMPARE(model->rowCount(), 4);
    QVERIFY(w->findChild<QLabel *>(u"groupPrompt"_s)->isVisible());
}

void tst_fconsultaperiodo::headerDroppedIntoTheGroupAreaGroups()
{
    auto w = open();
    GroupDropArea *area = w->grid()->groupArea();
    QVERIFY(area->acceptDrops());
    // What a header drag carries, dropped as the drag would drop it.
    std::unique_ptr<QMimeData> mime(w->grid()->dragDataFor(fconsultaperiodo::Description - 1));
    QDragEnterEvent enter(area->rect().center(), Qt::CopyAction, mime.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(area, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(area->rect().center(), Qt::CopyAction, mime.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(area, &drop);
    QCOMPARE(w->grid()->model()->grouping(), QStringList{u"DS_HISTORICO"_s});
    QCOMPARE(w->grid()->model()->rowCount(), 3);
    // Its button in the area takes the level away again.
    auto *level = w->findChild<QAbstractButton *>(u"groupLevel_DS_HISTORICO"_s);
    QVERIFY(level);
    QTest::mouseClick(level, Qt::LeftButton);
    QCOMPARE(w->grid()->model()->grouping(), QStringList());
    QCOMPARE(w->grid()->model()->rowCount(), 4);
}

void tst_fconsultaperiodo::headerClickSortsBothWays()
{
    auto w = open();
    QHeaderView *header = w->grid()->view()->header();
    const int amount = fconsultaperiodo::Amount - 1;
    const QPoint middle(header->sectionViewportPosition(amount) + header->sectionSize(amount) / 2,
                        header->height() / 2);
    auto amounts = [&] {
        QStringList values;
        for (const QString &row : shownRows(w->grid()))
            values << row.section(u'|', 4, 4);
        return values;
    };
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    QCOMPARE(amounts(), (QStringList{u"4,44"_s, u"30,50"_s, u"100,00"_s, u"1.234,56"_s}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    QCOMPARE(amounts(), (QStringList{u"1.234,56"_s, u"100,00"_s, u"30,50"_s, u"4,44"_s}));
    QCOMPARE(header->sortIndicatorSection(), amount);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

void tst_fconsultaperiodo::columnMenuDoesItByKeyboard()
{
    auto w = open();
    GroupingGrid *grid = w->grid();
    std::unique_ptr<QMenu> menu(grid->columnMenu(fconsultaperiodo::Amount - 1));
    QVERIFY(!menu->findChild<QAction *>(u"ungroup"_s)->isEnabled());
    menu->findChild<QAction *>(u"sortDescending"_s)->trigger();
    QCOMPARE(grid->model()->sortField(), u"VL_LANCAMENTO"_s);
    QCOMPARE(grid->model()->sortOrder(), Qt::DescendingOrder);
    menu.reset(grid->columnMenu(fconsultaperiodo::Account - 1));
    menu->findChild<QAction *>(u"groupBy"_s)->trigger();
    QCOMPARE(grid->model()->grouping(), QStringList{u"ds_conta"_s});
    menu.reset(grid->columnMenu(fconsultaperiodo::Account - 1));
    QVERIFY(!menu->findChild<QAction *>(u"groupBy"_s)->isEnabled());
    menu->findChild<QAction *>(u"ungroup"_s)->trigger();
    QCOMPARE(grid->model()->grouping(), QStringList());
}

void tst_fconsultaperiodo::navigatorCountsTheRecords()
{
    auto w = open();
    auto *navigator = w->findChild<QLabel *>(u"navigator"_s);
    w->grid()->view()->setCurrentIndex(w->grid()->model()->index(2, 3));
    QCOMPARE(navigator->text(), u"Registro: 3 de 4"_s);
    w->grid()->groupBy(u"ds_conta"_s);
    GroupedQueryModel *model = w->grid()->model();
    const QModelIndex caixa = model->index(1, 0);
    w->grid()->view()->expand(caixa);
    w->grid()->view()->setCurrentIndex(model->index(1, 0, caixa));
    // Banco's two rows come first, collapsed or not.
    QCOMPARE(navigator->text(), u"Registro: 4 de 4"_s);
}

void tst_fconsultaperiodo::periodRestrictsTheRows()
{
    auto w = open();
    QCOMPARE(w->findChild<QLabel *>(u"periodo"_s)->text(), u"Período: todo o período"_s);
    click(w.get(), u"Command8"_s);
    fperiodo *period = w->periodWindow();
    QVERIFY(period && period->isVisible());
    // A one-day range: that day's entries, both ends included.
    period->findChild<QDateEdit *>(u"dt_inicio"_s)->setDate(QDate(2026, 3, 2));
    period->findChild<QDateEdit *>(u"dt_fim"_s)->setDate(QDate(2026, 3, 2));
    click(period, u"cmdOK"_s);
    QCOMPARE(shownRows(w->grid()),
             (QStringList{u"02/03/2026|Caixa|Compra|segunda|30,50|69,50|Débito"_s,
                          u"02/03/2026|Banco|Aporte||1.234,56|1.234,56|Crédito"_s}));
    QCOMPARE(w->findChild<QLabel *>(u"periodo"_s)->text(), u"Período: 02/03/2026 a 02/03/2026"_s);
    // The dates travel as bound values, never as SQL text.
    QVERIFY(!w->sql().contains(u"2026"_s));

    // Cancela leaves the period as it was.
    click(w.get(), u"Command8"_s);
    period = w->periodWindow();
    period->findChild<QDateEdit *>(u"dt_fim"_s)->setDate(QDate(2026, 12, 31));
    click(period, u"cmdCancel"_s);
    QCOMPARE(w->grid()->model()->totalRows(), 2);

    // Grouping holds across a change of period.
    w->grid()->groupBy(u"ds_conta"_s);
    w->setPeriod(QDate(2026, 3, 1), QDate(2026, 4, 30));
    QCOMPARE(w->grid()->model()->grouping(), QStringList{u"ds_conta"_s});
    QCOMPARE(w->grid()->model()->totalRows(), 4);
}

void tst_fconsultaperiodo::logLinesAsWritten()
{
    auto w = open();
    click(w.get(), u"Command8"_s);
    w->periodWindow()->close();
    click(w.get(), u"Command1"_s);
    // Byte for byte: each record, then its ruler line, both ended by CR LF, in UTF-8.
    QByteArray expected;
    for (const char *first : {"ENTROU NO MODULO DE CONSULTA DE MOVIMENTO POR PERIODO",
                              "ENTROU NO MODULO DE CONSULTA DE MOVIMENTO POR PER\xc3\x8dODO",
                              "SAIU DO MODULO DE CONSULTA DE MOVIMENTO P\xc3\xb4r Per\xc3\xadodo"})
        expected += QByteArray("Data: 07/12/2026 Hora: 09:05.33-Supervisor-") + first + "-**\r\n" +
                    QByteArray(113, '-') + "\r\n";
    QCOMPARE(logBytes(), expected);
    QVERIFY(!w->isVisible());
}

void tst_fconsultaperiodo::printsWhatTheGridShowsToPdf()
{
    auto w = open();
    w->grid()->groupBy(u"ds_conta"_s);
    w->grid()->view()->header()->setSectionHidden(fconsultaperiodo::Remark - 1, true);
    w->findChild<QCheckBox *>(u"Check1"_s)->setChecked(true);
    w->findChild<QCheckBox *>(u"Check3"_s)->setChecked(true);
    const QString pdf = m_t->dir.filePath(u"movimento.pdf"_s);
    m_t->dialogs.answerPrint(pdf);
    click(w.get(), u"cmdPrint"_s);
    const QStringList pages = test::pdfPages(pdf);
    // Group pages: Banco and Caixa each on a page of their own, both with the column headers
    // (the hidden one left out), the print's date and time and the page text.
    QCOMPARE(pages.size(), 2);
    QVERIFY2(pages[0].contains(u"Conta: Banco (2)"_s) && !pages[0].contains(u"Caixa"_s),
             qPrintable(pages[0]));
    QVERIFY2(pages[1].contains(u"Conta: Caixa (2)"_s), qPrintable(pages[1]));
    for (int p = 0; p < 2; ++p) {
        QVERIFY(pages[p].contains(u"Histórico"_s));
        QVERIFY(!pages[p].contains(u"Complemento"_s));
        QVERIFY(pages[p].contains(u"07/12/2026 09:05:33"_s));
        QVERIFY(pages[p].contains(u"Page %1"_s.arg(p + 1)));
        QVERIFY(pages[p].contains(u"of 2"_s));
    }
    QVERIFY(pages[0].contains(u"1.234,56"_s));
    QVERIFY(logBytes().contains("IMPRIMIU O MOVIMENTO POR PER\xc3\x8dODO-**"));

    // A cancelled print dialog prints nothing and says nothing.
    QFile::remove(pdf);
    m_t->dialogs.answerPrint(QString());
    click(w.get(), u"cmdPrint"_s);
    QVERIFY(!QFile::exists(pdf));
}

void tst_fconsultaperiodo::printsOnlyTheSelectedRows()
{
    auto w = open();
    w->findChild<QCheckBox *>(u"Check4"_s)->setChecked(true);
    QTreeView *view = w->grid()->view();
    GroupedQueryModel *model = w->grid()->model();
    view->selectionModel()->select(model->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->selectionModel()->select(model->index(3, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString pdf = m_t->dir.filePath(u"selecionadas.pdf"_s);
    m_t->dialogs.answerPrint(pdf);
    click(w.get(), u"cmdPrint"_s);
    const QString text = test::pdfPages(pdf).join(u'\f');
    QVERIFY2(text.contains(u"30,50"_s) && text.contains(u"4,44"_s), qPrintable(text));
    QVERIFY(!text.contains(u"100,00"_s));
    QVERIFY(!text.contains(u"1.234,56"_s));
}

void tst_fconsultaperiodo::previewTakesThePlaceOfTheQuery()
{
    auto w = open();
    w->move(40, 30);
    const QRect where = w->geometry();
    click(w.get(), u"cmdPrintPreview"_s);
    frmPreview *preview = w->previewWindow();
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QVERIFY(!w->isVisible());
    QCOMPARE(preview->windowTitle(), u"Print Preview"_s);
    QCOMPARE(preview->geometry(), where);
    // grPrev fills the client area, and follows it when the window is resized.
    auto *grPrev = preview->findChild<QWidget *>(u"grPrev"_s);
    QCOMPARE(preview->centralWidget(), grPrev);
    preview->resize(900, 700);
    QTRY_COMPARE(grPrev->size(), preview->centralWidget()->size());
    // Its first page is painted as soon as it shows.
    QSignalSpy painted(preview->preview(), &PageView::pagePainted);
    preview->preview()->viewport()->update();
    QTRY_VERIFY(!painted.isEmpty());
    QCOMPARE(painted.first().first().toInt(), 0);
    QVERIFY(logBytes().contains("VISUALISOU MOVIMENTO POR PER\xc3\x8dODO-**"));

    // Closing the preview brings the query back.
    preview->close();
    QTRY_VERIFY(w->isVisible());
    QTRY_VERIFY(!w->previewWindow());
}

void tst_fconsultaperiodo::fieldChooserWorksOnTheGrid()
{
    auto w = open();
    // The chooser is modal: it is answered once it shows. "Histórico" goes to the hidden list,
    // and the first visible entry, "Data", moves down one place.
    QTimer::singleShot(0, this, [&] {
        auto *chooser = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(chooser);
        QCOMPARE(chooser->objectName(), u"frmShowfields"_s);
        auto *visible = chooser->findChild<QListWidget *>(u"lstVisible"_s);
        visible->setCurrentRow(2);
        click(chooser, u"cmdRemove"_s);
        visible->setCurrentRow(0);
        click(chooser, u"cmdDown"_s);
        click(chooser, u"cmdOK"_s);
    });
    click(w.get(), u"Command2"_s);
    QStringList shown;
    for (const GridLayout::Column &column : w->grid()->layout().columns)
        if (column.visible)
            shown << column.caption;
    QCOMPARE(shown, (QStringList{u"Conta"_s, u"Data"_s, u"Complemento"_s, u"Valor"_s, u"Saldo"_s,
                                 u"Situação"_s}));
    QTreeView *view = w->grid()->view();
    QVERIFY(view->header()->isSectionHidden(fconsultaperiodo::Description - 1));
    QCOMPARE(view->header()->visualIndex(fconsultaperiodo::Account - 1), 0);
}

void tst_fconsultaperiodo::layoutSavedAndReadBack()
{
    auto w = open();
    GroupingGrid *grid = w->grid();
    grid->groupBy(u"ds_conta"_s);
    grid->sortBy(u"VL_LANCAMENTO"_s, Qt::DescendingOrder);
    grid->view()->header()->setSectionHidden(fconsultaperiodo::Remark - 1, true);
    grid->view()->header()->resizeSection(fconsultaperiodo::Balance - 1, 177);
    const GridLayout saved = grid->layout();
    const QString path = m_t->dir.filePath(u"minha grade.lyt"_s);
    m_t->dialogs.answerSaveFile(path);
    click(w.get(), u"Command5"_s);
    QVERIFY(QFile::exists(path));

    // Changed every way, then read back.
    grid->ungroup();
    grid->sortBy(QString(), Qt::AscendingOrder);
    grid->view()->header()->setSectionHidden(fconsultaperiodo::Remark - 1, false);
    grid->view()->header()->resizeSection(fconsultaperiodo::Balance - 1, 60);
    QVERIFY(!(grid->layout() == saved));
    m_t->dialogs.answerOpenFile(path);
    click(w.get(), u"Command6"_s);
    QCOMPARE(grid->layout(), saved);
    // Grouped and sorted again: Banco's rows by amount, largest first.
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(shownRows(grid, grid->model()->index(0, 0)),
             (QStringList{u"02/03/2026|Banco|Aporte||1.234,56|1.234,56|Crédito"_s,
                          u"10/04/2026|Banco|Compra|quarta|4,44|1.230,12|Débito"_s}));
}

void tst_fconsultaperiodo::damagedLayoutRefusedAndCancelShowsNothing()
{
    auto w = open();
    const GridLayout before = w->grid()->layout();
    const QString path = m_t->dir.filePath(u"estragado.lyt"_s);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("TESSAL-GRADE 1\ncoluna \"DT_LANCAMENTO\" \"Data\" largura visivel\n");
    }
    m_t->dialogs.answerOpenFile(path);
    m_t->dialogs.expectMessage(u"estragado.lyt"_s);
    click(w.get(), u"Command6"_s);
    QCOMPARE(w->grid()->layout(), before);
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);

    // Cancelled dialogs: no file, no message, nothing changed.
    m_t->dialogs.clearAsked();
    m_t->dialogs.answerSaveFile(QString());
    click(w.get(), u"Command5"_s);
    m_t->dialogs.answerOpenFile(QString());
    click(w.get(), u"Command6"_s);
    QCOMPARE(m_t->dialogs.messages(), QStringList());
    QCOMPARE(w->grid()->layout(), before);
    QCOMPARE(QDir(m_t->dir.path()).entryList({u"*.lyt"_s}), QStringList{u"estragado.lyt"_s});
}

void tst_fconsultaperiodo::screenshotOnDemoData()
{
    const QString target = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (target.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    if (m_source->onServer())
        QSKIP("the demo data is generated as a data directory: the screenshot is taken on SQLite");
    const QString demoDir = m_t->dir.filePath(u"demo"_s);
    data::DemoOptions options;
    options.lastDate = QDate(2026, 12, 7);
    data::generateDemoData(demoDir, options);
    m_t->context->session().setDataDirectory(demoDir);
    auto w = open();
    w->grid()->groupBy(u"ds_conta"_s);
    GroupedQueryModel *model = w->grid()->model();
    QVERIFY(model->rowCount() > 1);
    w->grid()->view()->expand(model->index(0, 0));
    w->grid()->view()->setCurrentIndex(model->index(2, 2, model->index(0, 0)));
    QCoreApplication::processEvents();
    QVERIFY(w->grab().save(QDir(target).filePath(u"fconsultaperiodo.png"_s)));
    // The same grid printed, group pages and repeated headers, for looking at its pages.
    w->findChild<QCheckBox *>(u"Check1"_s)->setChecked(true);
    w->findChild<QCheckBox *>(u"Check3"_s)->setChecked(true);
    m_t->dialogs.answerPrint(QDir(target).filePath(u"fconsultaperiodo.pdf"_s));
    click(w.get(), u"cmdPrint"_s);
    data::closeDatabase(data::cashDatabasePath(demoDir));
}

QTEST_MAIN(tst_fconsultaperiodo)
#include "tst_fconsultaperiodo.moc"
