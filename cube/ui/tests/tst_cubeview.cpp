#include "cube/cube.h"
#include "cube/ui/cubeview.h"
#include "cube/ui/rgbcolor.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;
using namespace tessal::cube;

namespace {

// Sales by region, product, year and channel: deterministic but irregular, so that groups have
// different sizes and some region/product/year combinations never occur.
struct Sale
{
    QString region;
    QString product;
    int year;
    QString channel;
    double amount;
};

std::vector<Sale> salesRows(int products)
{
    const QStringList regions{u"Norte"_s, u"Sul"_s, u"Leste"_s};
    const QStringList channels{u"Loja"_s, u"Internet"_s};
    std::vector<Sale> out;
    quint32 seed = 12345;
    auto next = [&seed](quint32 n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int i = 0; i < 40 + 3 * products; ++i) {
        Sale s;
        s.region = regions[int(next(3))];
        s.product = u"P%1"_s.arg(int(next(quint32(products))) + 1, 3, 10, QChar(u'0'));
        s.year = 2022 + int(next(3));
        s.channel = channels[int(next(2))];
        s.amount = double(next(100000) + 1) / 100.0;
        out.push_back(s);
    }
    return out;
}

QString valueOf(const Sale &s, const QString &caption)
{
    if (caption == u"Região"_s)
        return s.region;
    if (caption == u"Produto"_s)
        return s.product;
    if (caption == u"Ano"_s)
        return QString::number(s.year);
    return s.channel;
}

CubeField *byCaption(const Cube &cube, const QString &caption)
{
    for (CubeField *f : cube.fields())
        if (f->caption() == caption)
            return f;
    return nullptr;
}

QStringList captions(const FieldCollection &fields)
{
    QStringList out;
    for (const CubeField *f : fields)
        out << f->caption();
    return out;
}

} // namespace

class tst_CubeView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dragsRepivot();
    void dragsThatChangeNothing();
    void dropIndicatorFollowsTheMouse();
    void reorderWithinArea();
    void keyboardMovesFields();
    void filterPopup();
    void headingClickExpandsAndCollapses();
    void mouseSelection();
    void keyboardSelection_data();
    void keyboardSelection();
    void formatEventColoursCells();
    void columnWidthsByDragging();

private:
    void makeCube(int products);
    // the widget the window system would give a mouse event at `pos` (viewport coordinates)
    QWidget *widgetAt(const QPoint &pos) const;
    void press(const QPoint &pos, Qt::KeyboardModifiers modifiers = {});
    void moveTo(const QPoint &pos);
    void release(const QPoint &pos);
    void click(const QPoint &pos, Qt::KeyboardModifiers modifiers = {});
    void drag(const QPoint &from, const QPoint &to);
    void dragField(const QString &caption, const QPoint &to);
    // Every cell of the grid against the sum of the test rows its headings select.
    void verifySums();

    std::vector<Sale> m_sales;
    std::unique_ptr<Cube> m_cube;
    std::unique_ptr<CubeView> m_view;
};

void tst_CubeView::makeCube(int products)
{
    m_sales = salesRows(products);
    tessal::cube::RowTable table;
    table.columns = {u"region"_s, u"product"_s, u"year"_s, u"channel"_s, u"amount"_s};
    for (const Sale &s : m_sales)
        table.rows << QVariantList{s.region, s.product, s.year, s.channel, s.amount};
    m_cube = std::make_unique<Cube>();
    m_cube->addField(u"region"_s, u"Região"_s, Orientation::Row);
    m_cube->addField(u"year"_s, u"Ano"_s, Orientation::Column);
    m_cube->addField(u"product"_s, u"Produto"_s, Orientation::Page);
    m_cube->addField(u"channel"_s, u"Canal"_s, Orientation::Page);
    m_cube->addField(u"amount"_s, u"Valor"_s, Orientation::Data)->setNumberFormat(u"#,##0.00"_s);
    for (CubeField *f : m_cube->fields())
        f->setGroupFooter(1);
    m_cube->loadRows(table);
    m_view = std::make_unique<CubeView>();
    m_view->setObjectName(u"Cube1"_s);
    m_view->resize(900, 600);
    m_view->setCube(m_cube.get());
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void tst_CubeView::init()
{
    makeCube(4);
}

void tst_CubeView::cleanup()
{
    m_view.reset();
    m_cube.reset();
}

QWidget *tst_CubeView::widgetAt(const QPoint &pos) const
{
    QWidget *child = m_view->viewport()->childAt(pos);
    return child ? child : m_view->viewport();
}

void tst_CubeView::press(const QPoint &pos, Qt::KeyboardModifiers modifiers)
{
    QWidget *w = widgetAt(pos);
    QTest::mousePress(w, Qt::LeftButton, modifiers, w->mapFrom(m_view->viewport(), pos));
}

void tst_CubeView::moveTo(const QPoint &pos)
{
    // delivered like the window system does with the button held: to the widget under the mouse
    QWidget *w = widgetAt(pos);
    const QPoint local = w->mapFrom(m_view->viewport(), pos);
    QMouseEvent move(QEvent::MouseMove, local, w->mapToGlobal(local), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

void tst_CubeView::release(const QPoint &pos)
{
    QWidget *w = widgetAt(pos);
    QTest::mouseRelease(w, Qt::LeftButton, {}, w->mapFrom(m_view->viewport(), pos));
}

void tst_CubeView::click(const QPoint &pos, Qt::KeyboardModifiers modifiers)
{
    press(pos, modifiers);
    release(pos);
}

void tst_CubeView::drag(const QPoint &from, const QPoint &to)
{
    press(from);
    moveTo(from + QPoint(QApplication::startDragDistance() + 2, 0));
    moveTo((from + to) / 2);
    moveTo(to);
    release(to);
}

void tst_CubeView::dragField(const QString &caption, const QPoint &to)
{
    const QRect button = m_view->fieldButtonRect(byCaption(*m_cube, caption));
    QVERIFY2(!button.isEmpty(), qPrintable(caption));
    // grab the button away from its arrow
    drag(QPoint(button.left() + 6, button.center().y()), to);
}

void tst_CubeView::verifySums()
{
    QVERIFY(m_cube->rowCount() > 0);
    QVERIFY(m_cube->columnCount() > 0);
    int nonEmpty = 0;
    for (int row = 0; row < m_cube->rowCount(); ++row) {
        for (int column = 0; column < m_cube->columnCount(); ++column) {
            QHash<QString, QString> wanted;
            for (int level = 1; level <= m_cube->rowHeadingLevels(); ++level) {
                const Heading h = m_cube->rowHeading(level, row);
                if (h.kind == Heading::Kind::Item)
                    wanted.insert(m_cube->fields().item(h.field)->caption(), h.text);
            }
            for (int level = 1; level <= m_cube->columnHeadingLevels(); ++level) {
                const Heading h = m_cube->columnHeading(level, column);
                if (h.kind == Heading::Kind::Item)
                    wanted.insert(m_cube->fields().item(h.field)->caption(), h.text);
            }
            qint64 cents = 0;
            int count = 0;
            for (const Sale &s : m_sales) {
                bool match = true;
                for (auto it = wanted.cbegin(); match && it != wanted.cend(); ++it)
                    match = valueOf(s, it.key()) == it.value();
                // items a filter leaves out count nowhere
                for (const CubeField *f : m_cube->fields()) {
                    if (!match || f->orientation() == Orientation::Data)
                        continue;
                    match = f->isItemIncluded(f->itemIndex(valueOf(s, f->caption())));
                }
                if (match) {
                    cents += std::llround(s.amount * 100);
                    ++count;
                }
            }
            const QVariant got = m_cube->cellValue(column, row);
            const QString where = u"row %1 column %2"_s.arg(row).arg(column);
            QCOMPARE(got.isValid(), count > 0);
            if (count == 0)
                continue;
            QVERIFY2(std::llround(got.toDouble() * 100) == cents, qPrintable(where));
            ++nonEmpty;
        }
    }
    QVERIFY(nonEmpty > 0);
}

void tst_CubeView::dragsRepivot()
{
    QSignalSpy changed(m_view.get(), &CubeView::layoutChangedByUser);
    // a page field dropped on the right half of the row field becomes the second row level
    const QRect region = m_view->fieldButtonRect(byCaption(*m_cube, u"Região"_s));
    dragField(u"Produto"_s, QPoint(region.right() - 4, region.center().y()));
    QCOMPARE(captions(m_cube->rowFields()), (QStringList{u"Região"_s, u"Produto"_s}));
    QCOMPARE(captions(m_cube->pageFields()), QStringList{u"Canal"_s});
    QCOMPARE(byCaption(*m_cube, u"Produto"_s)->position(), 1);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(m_cube->rowHeadingLevels(), 2);
    QVERIFY(!m_view->rowHeadingRect(2, 0).isEmpty());
    QCOMPARE(m_cube->rowHeading(2, 0).kind, Heading::Kind::Item);
    verifySums();
    // its button now stands over the second row-heading level
    const QRect product = m_view->fieldButtonRect(byCaption(*m_cube, u"Produto"_s));
    QCOMPARE(product.left(), m_view->rowHeadingRect(2, 0).left());
    QVERIFY(m_view->areaRect(Orientation::Row).intersects(product));

    // a row field dropped left of the column field becomes the first column level
    const QRect year = m_view->fieldButtonRect(byCaption(*m_cube, u"Ano"_s));
    dragField(u"Região"_s, QPoint(year.left() + 2, year.center().y()));
    QCOMPARE(captions(m_cube->columnFields()), (QStringList{u"Região"_s, u"Ano"_s}));
    QCOMPARE(captions(m_cube->rowFields()), QStringList{u"Produto"_s});
    QCOMPARE(byCaption(*m_cube, u"Região"_s)->position(), 0);
    QCOMPARE(byCaption(*m_cube, u"Ano"_s)->position(), 1);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(m_cube->columnHeadingLevels(), 2);
    QCOMPARE(m_cube->columnHeading(1, 0).text, u"Leste"_s);
    QVERIFY(!m_view->columnHeadingRect(2, 0).isEmpty());
    verifySums();

    // and a column field dropped on the page area goes back there, at the drop point
    const QRect canal = m_view->fieldButtonRect(byCaption(*m_cube, u"Canal"_s));
    dragField(u"Ano"_s, QPoint(canal.left() + 2, canal.center().y()));
    QCOMPARE(captions(m_cube->pageFields()), (QStringList{u"Ano"_s, u"Canal"_s}));
    QCOMPARE(captions(m_cube->columnFields()), QStringList{u"Região"_s});
    verifySums();
}

void tst_CubeView::dragsThatChangeNothing()
{
    const CubeDefinition before = m_cube->definition();
    QSignalSpy changed(m_view.get(), &CubeView::layoutChangedByUser);
    QSignalSpy refreshed(m_cube.get(), &Cube::refreshed);
    // outside the widget
    dragField(u"Produto"_s, QPoint(m_view->viewport()->width() + 40, 10));
    // a dimension field on the data area, and the data field on the rows
    dragField(u"Produto"_s, m_view->areaRect(Orientation::Data).center());
    dragField(u"Valor"_s, m_view->rowHeadingRect(1, 0).center());
    // a field dropped where it already is
    const QRect canal = m_view->fieldButtonRect(byCaption(*m_cube, u"Canal"_s));
    dragField(u"Canal"_s, canal.center() + QPoint(8, 0));
    QVERIFY(m_cube->definition() == before);
    QCOMPARE(changed.size(), 0);
    QCOMPARE(refreshed.size(), 0);
}

void tst_CubeView::dropIndicatorFollowsTheMouse()
{
    const QRgb highlight = m_view->palette().color(QPalette::Highlight).rgb();
    const QRect region = m_view->fieldButtonRect(byCaption(*m_cube, u"Região"_s));
    const QRect product = m_view->fieldButtonRect(byCaption(*m_cube, u"Produto"_s));
    // the mark between the row field and where a second one would go
    const QPoint mark(region.right() + 1, region.center().y());
    auto markShown = [this, mark, highlight] {
        return m_view->viewport()->grab().toImage().pixel(mark) == highlight;
    };
    QVERIFY(!markShown());
    const QPoint start(product.left() + 6, product.center().y());
    press(start);
    moveTo(start + QPoint(QApplication::startDragDistance() + 2, 0));
    moveTo(QPoint(region.right() - 4, region.center().y()));
    QVERIFY(markShown());
    if (const QString dir = qEnvironmentVariable("TESSAL_CUBEVIEW_SHOTS"); !dir.isEmpty())
        m_view->grab().save(dir + u"/cubeview_dragging.png"_s);
    // over the data area, where a page field cannot go, there is no mark
    moveTo(m_view->areaRect(Orientation::Data).center());
    QVERIFY(!markShown());
    release(m_view->areaRect(Orientation::Data).center());
    QCOMPARE(captions(m_cube->rowFields()), QStringList{u"Região"_s});
    QVERIFY(!markShown());
}

void tst_CubeView::reorderWithinArea()
{
    // pages: Canal dropped before Produto
    const QRect product = m_view->fieldButtonRect(byCaption(*m_cube, u"Produto"_s));
    dragField(u"Canal"_s, QPoint(product.left() + 3, product.center().y()));
    QCOMPARE(captions(m_cube->pageFields()), (QStringList{u"Canal"_s, u"Produto"_s}));

    // rows: with Região, Ano and Canal on the rows, Região dropped between the other two
    byCaption(*m_cube, u"Ano"_s)->setOrientation(Orientation::Row);
    byCaption(*m_cube, u"Canal"_s)->setOrientation(Orientation::Row);
    m_cube->refresh();
    QCOMPARE(captions(m_cube->rowFields()), (QStringList{u"Região"_s, u"Ano"_s, u"Canal"_s}));
    const QRect canal = m_view->fieldButtonRect(byCaption(*m_cube, u"Canal"_s));
    dragField(u"Região"_s, QPoint(canal.left() + 3, canal.center().y()));
    QCOMPARE(captions(m_cube->rowFields()), (QStringList{u"Ano"_s, u"Região"_s, u"Canal"_s}));
    QCOMPARE(m_cube->rowHeading(1, 0).text, u"2022"_s);
    verifySums();
    // and the first level to the end
    const QRect last = m_view->fieldButtonRect(byCaption(*m_cube, u"Canal"_s));
    dragField(u"Ano"_s, QPoint(last.right() - 3, last.center().y()));
    QCOMPARE(captions(m_cube->rowFields()), (QStringList{u"Região"_s, u"Canal"_s, u"Ano"_s}));
    verifySums();
}

void tst_CubeView::keyboardMovesFields()
{
    // Tab reaches the field buttons from the grid
    m_view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
    m_view->setFocus();
    QVERIFY(m_view->hasFocus());
    QWidget *product = m_view->viewport()->childAt(
        m_view->fieldButtonRect(byCaption(*m_cube, u"Produto"_s)).center());
    QVERIFY(product);
    for (int i = 0; i < 10 && QApplication::focusWidget() != product; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), product);

    // the context menu moves it; the menu is answered while it runs
    auto choose = [](const QString &text) {
        QTimer::singleShot(0, [text] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *a : menu->actions())
                if (a->text() == text) {
                    QVERIFY(a->isEnabled());
                    menu->setActiveAction(a);
                }
            QTest::keyClick(menu, Qt::Key_Return);
        });
    };
    choose(u"Mover para Linhas"_s);
    QTest::keyClick(product, Qt::Key_Menu);
    QCOMPARE(captions(m_cube->rowFields()), (QStringList{u"Região"_s, u"Produto"_s}));
    // the keyboard stays on the field it moved (the window's focus, whether active or not)
    QCOMPARE(m_view->window()->focusWidget(), product);
    choose(u"Mover para a esquerda"_s);
    QTest::keyClick(product, Qt::Key_Menu);
    QCOMPARE(captions(m_cube->rowFields()), (QStringList{u"Produto"_s, u"Região"_s}));
    // what a click on its headings does
    const int rows = m_cube->rowCount();
    choose(u"Recolher os níveis abaixo"_s);
    QTest::keyClick(product, Qt::Key_Menu);
    QVERIFY(!byCaption(*m_cube, u"Produto"_s)->isExpanded());
    QVERIFY(m_cube->rowCount() < rows);
    choose(u"Expandir os níveis abaixo"_s);
    QTest::keyClick(product, Qt::Key_Menu);
    QCOMPARE(m_cube->rowCount(), rows);
    choose(u"Mover para Colunas"_s);
    QTest::keyClick(product, Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(captions(m_cube->columnFields()), (QStringList{u"Ano"_s, u"Produto"_s}));
    verifySums();
}

void tst_CubeView::filterPopup()
{
    CubeField *canal = byCaption(*m_cube, u"Canal"_s);
    auto grandTotal = [this] {
        return std::llround(
            m_cube->cellValue(m_cube->columnCount() - 1, m_cube->rowCount() - 1).toDouble() * 100);
    };
    qint64 all = 0;
    qint64 internet = 0;
    for (const Sale &s : m_sales) {
        all += std::llround(s.amount * 100);
        internet += s.channel == u"Internet"_s ? std::llround(s.amount * 100) : 0;
    }
    QVERIFY(m_cube->isTotalRow(m_cube->rowCount() - 1));
    QCOMPARE(grandTotal(), all);

    auto open = [this, canal]() -> QListView * {
        click(m_view->dropDownRect(canal).center());
        QWidget *popup = m_view->filterPopup();
        return popup ? popup->findChild<QListView *>(u"filterItems"_s) : nullptr;
    };
    auto clickItem = [](QListView *list, const QString &text) {
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            if (index.data().toString() == text) {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                  list->visualRect(index).center());
                return;
            }
        }
        QFAIL(qPrintable(text));
    };
    auto button = [this](const QString &name) {
        return m_view->filterPopup()->findChild<QPushButton *>(name);
    };

    // Loja unticked: only the Internet sales are counted
    QListView *list = open();
    QVERIFY(list);
    QAbstractItemModelTester tester(list->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(list->model()->index(0, 0).data().toString(), u"(Todos)"_s);
    QCOMPARE(list->model()->rowCount(), 3);
    clickItem(list, u"Loja"_s);
    QCOMPARE(list->model()->index(0, 0).data(Qt::CheckStateRole).toInt(),
             int(Qt::PartiallyChecked));
    QTest::mouseClick(button(u"filterOk"_s), Qt::LeftButton);
    QVERIFY(!m_view->filterPopup());
    QVERIFY(!canal->isItemIncluded(canal->itemIndex(u"Loja"_s)));
    QCOMPARE(grandTotal(), internet);
    verifySums();

    // "(Todos)" ticks everything when some are not, unticks everything when all are; OK
    // refuses a filter that lets nothing through
    list = open();
    clickItem(list, u"(Todos)"_s);
    QCOMPARE(list->model()->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(list->model()->index(2, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    clickItem(list, u"(Todos)"_s);
    QCOMPARE(list->model()->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(list->model()->index(2, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(!button(u"filterOk"_s)->isEnabled());
    // ticks everything again
    clickItem(list, u"(Todos)"_s);
    QCOMPARE(list->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(button(u"filterOk"_s)->isEnabled());
    QTest::mouseClick(button(u"filterOk"_s), Qt::LeftButton);
    QCOMPARE(grandTotal(), all);

    // Cancel leaves the filter as it was
    list = open();
    clickItem(list, u"Internet"_s);
    QTest::mouseClick(button(u"filterCancel"_s), Qt::LeftButton);
    QVERIFY(!m_view->filterPopup());
    QVERIFY(canal->isItemIncluded(canal->itemIndex(u"Internet"_s)));
    QCOMPARE(grandTotal(), all);

    // the keyboard opens it on a row field too, and Space ticks the current item
    QWidget *region = m_view->viewport()->childAt(
        m_view->fieldButtonRect(byCaption(*m_cube, u"Região"_s)).center());
    region->setFocus();
    QTest::keyClick(region, Qt::Key_F4);
    QVERIFY(m_view->filterPopup());
    list = m_view->filterPopup()->findChild<QListView *>(u"filterItems"_s);
    list->setCurrentIndex(list->model()->index(1, 0));
    const QString first = list->model()->index(1, 0).data().toString();
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(m_view->filterPopup(), Qt::Key_Return);
    QVERIFY(!m_view->filterPopup());
    for (int row = 0; row < m_cube->rowCount(); ++row)
        QVERIFY(m_cube->rowHeadingText(1, row) != first);
    verifySums();
}

void tst_CubeView::headingClickExpandsAndCollapses()
{
    byCaption(*m_cube, u"Produto"_s)->setOrientation(Orientation::Row);
    byCaption(*m_cube, u"Canal"_s)->setOrientation(Orientation::Column);
    m_cube->refresh();
    const int rows = m_cube->rowCount();
    const int columns = m_cube->columnCount();
    QCOMPARE(m_cube->rowHeadingLevels(), 2);

    // the region heading of the first line collapses the regions: one line per region + total
    QSignalSpy changed(m_view.get(), &CubeView::layoutChangedByUser);
    click(m_view->rowHeadingRect(1, 0).center());
    QVERIFY(!byCaption(*m_cube, u"Região"_s)->isExpanded());
    QCOMPARE(m_cube->rowCount(), 4);
    QCOMPARE(m_cube->rowHeading(2, 0).kind, Heading::Kind::None);
    QCOMPARE(changed.size(), 1);
    verifySums();
    // the products level has nothing below it: a click there changes nothing
    click(m_view->rowHeadingRect(1, 0).center());
    QVERIFY(byCaption(*m_cube, u"Região"_s)->isExpanded());
    QCOMPARE(m_cube->rowCount(), rows);
    click(m_view->rowHeadingRect(2, 0).center());
    QCOMPARE(m_cube->rowCount(), rows);
    QCOMPARE(changed.size(), 2);

    // columns: the year heading collapses the channels under it
    click(m_view->columnHeadingRect(1, 0).center());
    QVERIFY(!byCaption(*m_cube, u"Ano"_s)->isExpanded());
    QCOMPARE(m_cube->columnCount(), 4);
    verifySums();
    click(m_view->columnHeadingRect(1, 0).center());
    QCOMPARE(m_cube->columnCount(), columns);
}

void tst_CubeView::mouseSelection()
{
    QSignalSpy changed(m_view.get(), &CubeView::selectionChanged);
    // press on one cell and drag to another: the rectangle between them, whichever way
    press(m_view->cellRect(2, 3).center());
    moveTo(m_view->cellRect(1, 2).center());
    moveTo(m_view->cellRect(1, 1).center());
    release(m_view->cellRect(1, 1).center());
    Selection s = m_cube->selection();
    QCOMPARE((QList<int>{s.column1, s.column2, s.row1, s.row2}), (QList<int>{1, 2, 1, 3}));
    QVERIFY(changed.size() >= 1);
    // shift+click extends from where the press started
    click(m_view->cellRect(0, 0).center(), Qt::ShiftModifier);
    s = m_cube->selection();
    QCOMPARE((QList<int>{s.column1, s.column2, s.row1, s.row2}), (QList<int>{0, 2, 0, 3}));
    s = m_view->selection();
    QCOMPARE((QList<int>{s.column1, s.column2, s.row1, s.row2}), (QList<int>{0, 2, 0, 3}));
    // a plain click starts again; headings do not select
    click(m_view->cellRect(3, 2).center());
    click(m_view->rowHeadingRect(1, 0).center() + QPoint(0, 0));
    s = m_cube->selection();
    QCOMPARE((QList<int>{s.column1, s.column2, s.row1, s.row2}), (QList<int>{3, 3, 2, 2}));
}

void tst_CubeView::keyboardSelection_data()
{
    QTest::addColumn<QList<int>>("keys"); // key, modifiers, key, modifiers...
    QTest::addColumn<QList<int>>("expected");
    const int none = Qt::NoModifier;
    const int shift = Qt::ShiftModifier;
    const int control = Qt::ControlModifier;
    QTest::newRow("arrows") << QList<int>{Qt::Key_Right, none, Qt::Key_Down, none,
                                          Qt::Key_Down,  none, Qt::Key_Left, none}
                            << QList<int>{0, 0, 2, 2};
    QTest::newRow("shift extends") << QList<int>{Qt::Key_Right, none,  Qt::Key_Down,  shift,
                                                 Qt::Key_Right, shift, Qt::Key_Right, shift}
                                   << QList<int>{1, 3, 0, 1};
    QTest::newRow("shift back past the anchor")
        << QList<int>{Qt::Key_Down, none,       Qt::Key_Down, none,       Qt::Key_Up,
                      shift,        Qt::Key_Up, shift,        Qt::Key_Up, shift}
        << QList<int>{0, 0, 0, 2};
    QTest::newRow("stops at the edges")
        << QList<int>{Qt::Key_Left, none, Qt::Key_Up, none, Qt::Key_Up, none}
        << QList<int>{0, 0, 0, 0};
    QTest::newRow("end and home") << QList<int>{Qt::Key_Down, none, Qt::Key_End, none}
                                  << QList<int>{3, 3, 1, 1};
    QTest::newRow("shift end") << QList<int>{Qt::Key_Right, none, Qt::Key_End, shift}
                               << QList<int>{1, 3, 0, 0};
    QTest::newRow("ctrl end, ctrl home")
        << QList<int>{Qt::Key_End, control, Qt::Key_Home, control} << QList<int>{0, 0, 0, 0};
    QTest::newRow("ctrl shift end")
        << QList<int>{Qt::Key_End, control | shift} << QList<int>{0, 3, 0, -1}; // -1: the last row
    QTest::newRow("page down twice") << QList<int>{Qt::Key_PageDown, none, Qt::Key_PageDown, none}
                                     << QList<int>{0, 0, -2, -2}; // -2: two screens down
    QTest::newRow("page up from the end")
        << QList<int>{Qt::Key_End, control, Qt::Key_PageUp, shift}
        << QList<int>{3, 3, -3, -1}; // -3: a screen above the last row
}

void tst_CubeView::keyboardSelection()
{
    QFETCH(QList<int>, keys);
    QFETCH(QList<int>, expected);
    // enough products for several screens of lines
    makeCube(120);
    byCaption(*m_cube, u"Produto"_s)->setOrientation(Orientation::Row);
    m_cube->refresh();
    const int rows = m_cube->rowCount();
    QVERIFY(rows > 200);
    QCOMPARE(m_cube->columnCount(), 4);
    m_view->setFocus();
    const int screen = m_view->verticalScrollBar()->pageStep();
    QVERIFY(screen > 5);
    for (int i = 0; i + 1 < keys.size(); i += 2)
        QTest::keyClick(m_view.get(), Qt::Key(keys[i]), Qt::KeyboardModifiers(keys[i + 1]));
    for (int &e : expected) {
        if (e == -1)
            e = rows - 1;
        else if (e == -2)
            e = 2 * screen;
        else if (e == -3)
            e = rows - 1 - screen;
    }
    const Selection s = m_cube->selection();
    QCOMPARE((QList<int>{s.column1, s.column2, s.row1, s.row2}), expected);
    // the cell the keyboard reached is on screen
    QVERIFY(!m_view->cellRect(m_view->currentColumn(), m_view->currentRow()).isEmpty());
}

void tst_CubeView::formatEventColoursCells()
{
    // plain cells above the median on red, the grand total on green
    std::vector<qint64> plain;
    for (int row = 0; row < m_cube->rowCount(); ++row)
        for (int column = 0; column < m_cube->columnCount(); ++column)
            if (!m_cube->isTotalRow(row) && !m_cube->isTotalColumn(column) &&
                m_cube->cellValue(column, row).isValid())
                plain.push_back(std::llround(m_cube->cellValue(column, row).toDouble() * 100));
    std::sort(plain.begin(), plain.end());
    QVERIFY(plain.size() > 4);
    const qint64 median = plain[plain.size() / 2];
    const int lastRow = m_cube->rowCount() - 1;
    const int lastColumn = m_cube->columnCount() - 1;
    const qint64 grand = std::llround(m_cube->cellValue(lastColumn, lastRow).toDouble() * 100);
    m_cube->setCellFormatHandler([median, grand](CellFormat &f) {
        const qint64 cents = std::llround(f.value * 100);
        if (f.dataField < 0 && cents >= grand)
            f.backColor = rgbLongFromColor(QColor(0, 160, 0));
        else if (f.dataField > 0 && cents > median)
            f.backColor = 255; // red in the low byte
    });
    m_cube->refresh();
    // the one selected cell is left out of the look
    m_view->setSelection(Selection{0, 0, lastRow, lastRow});
    int red = 0, white = 0, green = 0, grey = 0;
    const QImage image = m_view->viewport()->grab().toImage();
    for (int row = 0; row <= lastRow; ++row) {
        for (int column = 0; column <= lastColumn; ++column) {
            if (row == lastRow && column == 0)
                continue;
            const QRect cell = m_view->cellRect(column, row);
            QVERIFY(!cell.isEmpty());
            // left of the right-aligned number, clear of the grid lines
            const QRgb pixel = image.pixel(cell.left() + 3, cell.center().y());
            const QVariant value = m_cube->cellValue(column, row);
            const bool total = m_cube->isTotalColumn(column) || m_cube->isTotalRow(row);
            const qint64 cents = value.isValid() ? std::llround(value.toDouble() * 100) : 0;
            const QString where = u"row %1 column %2"_s.arg(row).arg(column);
            if (total && cents >= grand) {
                QVERIFY2(pixel == qRgb(0, 160, 0), qPrintable(where));
                ++green;
            } else if (total) {
                QVERIFY2(pixel != qRgb(255, 255, 255) && qRed(pixel) == qGreen(pixel) &&
                             qGreen(pixel) == qBlue(pixel),
                         qPrintable(where));
                ++grey;
            } else if (cents > median) {
                QVERIFY2(pixel == qRgb(255, 0, 0), qPrintable(where));
                ++red;
            } else {
                QVERIFY2(pixel == qRgb(255, 255, 255), qPrintable(where));
                ++white;
            }
        }
    }
    // every kind of cell was looked at
    QVERIFY(red > 0 && white > 0 && green > 0 && grey > 0);
}

void tst_CubeView::columnWidthsByDragging()
{
    const int before = m_view->columnWidth(1);
    const QRect second = m_view->columnHeadingRect(1, 1);
    const QRect third = m_view->cellRect(2, 0);
    drag(QPoint(second.right(), second.center().y()),
         QPoint(second.right() + 37, second.center().y()));
    QCOMPARE(m_view->columnWidth(1), before + 37);
    QCOMPARE(m_view->cellRect(2, 0).left(), third.left() + 37);
    QCOMPARE(m_view->columnWidth(0), before);
    const Selection s = m_cube->selection();
    QCOMPARE((QList<int>{s.column1, s.row1}), (QList<int>{0, 0})); // sizing is not selecting

    // a row-heading level too
    const QRect level = m_view->rowHeadingRect(1, 0);
    drag(QPoint(level.right(), level.center().y()), QPoint(level.right() - 30, level.center().y()));
    QCOMPARE(m_view->rowHeadingWidth(1), level.width() - 30);
    QCOMPARE(m_view->cellRect(0, 0).left(), level.right() + 1 - 30);

    // the widths stay over refreshes that keep the columns (a page filter here)...
    CubeField *canal = byCaption(*m_cube, u"Canal"_s);
    canal->setItemIncluded(0, false);
    m_cube->refresh();
    QCOMPARE(m_view->columnWidth(1), before + 37);
    QCOMPARE(m_view->rowHeadingWidth(1), level.width() - 30);
    // ...and go when other columns take their place
    byCaption(*m_cube, u"Região"_s)->setOrientation(Orientation::Column);
    byCaption(*m_cube, u"Ano"_s)->setOrientation(Orientation::Row);
    m_cube->refresh();
    QCOMPARE(m_view->columnWidth(1), before);
}

QTEST_MAIN(tst_CubeView)
#include "tst_cubeview.moc"
