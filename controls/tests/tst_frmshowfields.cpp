// The field chooser driven through its controls' names, on the offscreen platform, over a grid
// that only keeps a layout.

#include "controls/frmshowfields.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using tessal::frmShowfields;
using tessal::GridLayout;

namespace tessal {

// So that a failed comparison shows both layouts.
char *toString(const GridLayout &layout)
{
    QStringList columns;
    for (const GridLayout::Column &c : layout.columns)
        columns << u"%1(%2,%3,%4)"_s.arg(c.field, c.caption).arg(c.width).arg(c.visible);
    return QTest::toString(columns.join(u' ') + u" grupos: "_s + layout.groupFields.join(u',') +
                           u" ordem: "_s + layout.sortField + u" condições: "_s +
                           QString::number(layout.conditions.size()));
}

} // namespace tessal

namespace {

// A grid reduced to its layout; it counts how often a layout was applied to it.
class FakeGrid final : public tessal::LayoutGrid
{
public:
    explicit FakeGrid(GridLayout layout)
        : m_layout(std::move(layout))
    {}
    GridLayout layout() const override { return m_layout; }
    void applyLayout(const GridLayout &layout) override
    {
        m_layout = layout;
        ++m_applied;
    }
    int appliedCount() const { return m_applied; }

private:
    GridLayout m_layout;
    int m_applied = 0;
};

const QStringList Captions = {u"Data"_s,  u"Conta"_s, u"Histórico"_s, u"Complemento"_s,
                              u"Valor"_s, u"Saldo"_s, u"Situação"_s};
const QStringList Fields = {u"DT_LANCAMENTO"_s,  u"ds_conta"_s,      u"DS_HISTORICO"_s,
                            u"ds_complemento"_s, u"VL_LANCAMENTO"_s, u"VL_SALDO"_s,
                            u"CD_STATUS"_s};

// The period query's seven columns, shown as `visible` says, each with a width of its own, and
// grouping, sort and conditions that the chooser must leave alone.
GridLayout periodLayout(const QList<bool> &visible = {true, false, true, false, true, true, false})
{
    GridLayout layout;
    for (int i = 0; i < Captions.size(); ++i)
        layout.columns.append({Fields.at(i), Captions.at(i), 50 + 10 * i, visible.at(i)});
    layout.groupFields = {u"ds_conta"_s};
    layout.sortField = u"DT_LANCAMENTO"_s;
    layout.sortDescending = true;
    layout.conditionField = u"CD_STATUS"_s;
    layout.conditions = {{u"D"_s, QColor(255, 0, 0), QColor(255, 255, 0)},
                         {u"C"_s, QColor(0, 0, 255), QColor(255, 255, 0)}};
    return layout;
}

// Column `index` of the period layout, shown or hidden.
GridLayout::Column periodColumn(int index, bool visible)
{
    GridLayout::Column column = periodLayout().columns.at(index);
    column.visible = visible;
    return column;
}

const QStringList Buttons = {u"cmdAdd"_s,  u"cmdRemove"_s, u"cmdUp"_s,
                             u"cmdDown"_s, u"cmdOK"_s,     u"cmdCancel"_s};

} // namespace

class tst_frmShowfields : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowCarriesItsNamesAndCaptions();
    void listsFollowTheGridOrder_data();
    void listsFollowTheGridOrder();
    void buttonStatesFollowTheSelection_data();
    void buttonStatesFollowTheSelection();
    void addAndRemoveMoveTheSelectedEntry_data();
    void addAndRemoveMoveTheSelectedEntry();
    void upAndDownExchangeWithTheNeighbour_data();
    void upAndDownExchangeWithTheNeighbour();

    void leavingWithoutOKLeavesTheGridAsItWas_data();
    void leavingWithoutOKLeavesTheGridAsItWas();
    void okAppliesTheChosenOrder();
    void okWithEveryColumnAvailableHidesThemAll();
    void sameCaptionsKeepTheirOwnColumns();
    void showFieldsRunsModally_data();
    void showFieldsRunsModally();
    void keyboardAloneDrivesTheWindow_data();
    void keyboardAloneDrivesTheWindow();
    void tabVisitsTheControlsInOrder();
    void everyControlFitsTheWindow();

private:
    QListWidget *list(const QString &name) const;
    QPushButton *button(const QString &name) const;
    static QStringList texts(const QListWidget *list);
    static QList<int> columns(const QListWidget *list);
    static QString selected(const QListWidget *list);
    QString enabledButtons() const;
    QString buttonsCalledFor() const;
    void select(const QString &listName, int row) const;
    void click(const QString &buttonName) const;
    void doubleClick(const QString &listName, int row) const;
    void load(const GridLayout &layout);

    std::unique_ptr<FakeGrid> m_grid;
    std::unique_ptr<frmShowfields> m_form;
};

void tst_frmShowfields::init()
{
    m_form = std::make_unique<frmShowfields>();
    load(periodLayout());
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void tst_frmShowfields::cleanup()
{
    m_form.reset();
    m_grid.reset();
}

void tst_frmShowfields::load(const GridLayout &layout)
{
    m_grid = std::make_unique<FakeGrid>(layout);
    m_form->load(*m_grid);
}

QListWidget *tst_frmShowfields::list(const QString &name) const
{
    auto *found = m_form->findChild<QListWidget *>(name);
    if (!found)
        qFatal("no list %s", qPrintable(name));
    return found;
}

QPushButton *tst_frmShowfields::button(const QString &name) const
{
    auto *found = m_form->findChild<QPushButton *>(name);
    if (!found)
        qFatal("no button %s", qPrintable(name));
    return found;
}

QStringList tst_frmShowfields::texts(const QListWidget *list)
{
    QStringList result;
    for (int row = 0; row < list->count(); ++row)
        result << list->item(row)->text();
    return result;
}

QList<int> tst_frmShowfields::columns(const QListWidget *list)
{
    QList<int> result;
    for (int row = 0; row < list->count(); ++row)
        result << list->item(row)->data(Qt::UserRole).toInt();
    return result;
}

// The selected entry's text; empty when none is selected.
QString tst_frmShowfields::selected(const QListWidget *list)
{
    const QList<QListWidgetItem *> items = list->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

QString tst_frmShowfields::enabledButtons() const
{
    QStringList enabled;
    for (const QString &name : Buttons.mid(0, 4))
        if (button(name)->isEnabled())
            enabled << name;
    return enabled.join(u' ');
}

// cmdAdd with a selection in lstAvail, cmdRemove with one in lstVisible, cmdUp unless it is
// the first entry, cmdDown unless it is the last.
QString tst_frmShowfields::buttonsCalledFor() const
{
    const QListWidget *visible = list(u"lstVisible"_s);
    const QList<QListWidgetItem *> chosen = visible->selectedItems();
    const int row = chosen.isEmpty() ? -1 : visible->row(chosen.first());
    QStringList enabled;
    if (!list(u"lstAvail"_s)->selectedItems().isEmpty())
        enabled << u"cmdAdd"_s;
    if (row >= 0)
        enabled << u"cmdRemove"_s;
    if (row >= 0 && row != 0)
        enabled << u"cmdUp"_s;
    if (row >= 0 && row != visible->count() - 1)
        enabled << u"cmdDown"_s;
    return enabled.join(u' ');
}

void tst_frmShowfields::select(const QString &listName, int row) const
{
    QListWidget *target = list(listName);
    QTest::mouseClick(target->viewport(), Qt::LeftButton, {},
                      target->visualItemRect(target->item(row)).center());
}

void tst_frmShowfields::click(const QString &buttonName) const
{
    QTest::mouseClick(button(buttonName), Qt::LeftButton);
}

// As the mouse does it: a click, then the second press that makes it a double click.
void tst_frmShowfields::doubleClick(const QString &listName, int row) const
{
    QListWidget *target = list(listName);
    const QPoint place = target->visualItemRect(target->item(row)).center();
    QTest::mouseClick(target->viewport(), Qt::LeftButton, {}, place);
    QTest::mouseDClick(target->viewport(), Qt::LeftButton, {}, place);
}

void tst_frmShowfields::windowCarriesItsNamesAndCaptions()
{
    QCOMPARE(m_form->windowTitle(), u"Seleção de Campos"_s);
    QCOMPARE(m_form->findChild<QLabel *>(u"lblAvail"_s)->text(), u"Campos Disponíveis"_s);
    QCOMPARE(m_form->findChild<QLabel *>(u"lblVisible"_s)->text(), u"Campos  Visiveis"_s);
    const QStringList captions = {u"Adicionar ->"_s, u"<- Remover"_s, u"Para Cima"_s,
                                  u"Para Baixo"_s,   u"OK"_s,         u"Cancela"_s};
    for (int i = 0; i < Buttons.size(); ++i)
        QCOMPARE(button(Buttons.at(i))->text(), captions.at(i));
    QVERIFY(button(u"cmdOK"_s)->isDefault());
}

void tst_frmShowfields::listsFollowTheGridOrder_data()
{
    QTest::addColumn<QList<bool>>("visible");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("hidden");

    QTest::newRow("some hidden") << QList<bool>{true, false, true, false, true, true, false}
                                 << QStringList{u"Data"_s, u"Histórico"_s, u"Valor"_s, u"Saldo"_s}
                                 << QStringList{u"Conta"_s, u"Complemento"_s, u"Situação"_s};
    QTest::newRow("all shown") << QList<bool>(7, true) << Captions << QStringList{};
    QTest::newRow("all hidden") << QList<bool>(7, false) << QStringList{} << Captions;
    QTest::newRow("one shown") << QList<bool>{false, false, false, false, false, true, false}
                               << QStringList{u"Saldo"_s}
                               << QStringList{u"Data"_s,        u"Conta"_s, u"Histórico"_s,
                                              u"Complemento"_s, u"Valor"_s, u"Situação"_s};
}

void tst_frmShowfields::listsFollowTheGridOrder()
{
    QFETCH(QList<bool>, visible);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, hidden);
    // Loaded over the fixture's lists, which must go rather than be added to.
    load(periodLayout(visible));
    QListWidget *avail = list(u"lstAvail"_s);
    QListWidget *lstVisible = list(u"lstVisible"_s);
    QCOMPARE(texts(lstVisible), shown);
    QCOMPARE(texts(avail), hidden);
    // Each entry keeps its column's index in the layout.
    for (const QListWidget *l : {avail, lstVisible})
        for (int row = 0; row < l->count(); ++row)
            QCOMPARE(columns(l).at(row), Captions.indexOf(l->item(row)->text()));

    QCOMPARE(selected(lstVisible), shown.value(0));
    QCOMPARE(selected(avail), hidden.value(0));
    QStringList enabled;
    if (!hidden.isEmpty())
        enabled << u"cmdAdd"_s;
    if (!shown.isEmpty())
        enabled << u"cmdRemove"_s;
    if (shown.size() > 1)
        enabled << u"cmdDown"_s; // the first entry is selected: never cmdUp
    QCOMPARE(enabledButtons(), enabled.join(u' '));
}

void tst_frmShowfields::buttonStatesFollowTheSelection_data()
{
    QTest::addColumn<QString>("listName");
    QTest::addColumn<int>("row"); // -1: the selected entry is clicked away with Ctrl
    QTest::addColumn<QString>("enabled");

    // lstVisible holds Data, Histórico, Valor and Saldo; lstAvail Conta, Complemento and
    // Situação, with Conta selected.
    QTest::newRow("first shown") << u"lstVisible"_s << 0 << u"cmdAdd cmdRemove cmdDown"_s;
    QTest::newRow("second shown") << u"lstVisible"_s << 1 << u"cmdAdd cmdRemove cmdUp cmdDown"_s;
    QTest::newRow("last shown") << u"lstVisible"_s << 3 << u"cmdAdd cmdRemove cmdUp"_s;
    QTest::newRow("none shown selected") << u"lstVisible"_s << -1 << u"cmdAdd"_s;
    QTest::newRow("last available") << u"lstAvail"_s << 2 << u"cmdAdd cmdRemove cmdDown"_s;
    QTest::newRow("none available selected") << u"lstAvail"_s << -1 << u"cmdRemove cmdDown"_s;
}

void tst_frmShowfields::buttonStatesFollowTheSelection()
{
    QFETCH(QString, listName);
    QFETCH(int, row);
    QFETCH(QString, enabled);
    QListWidget *target = list(listName);
    if (row >= 0) {
        select(listName, row);
        QCOMPARE(target->currentRow(), row);
    } else {
        QTest::mouseClick(target->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          target->visualItemRect(target->item(0)).center());
        QVERIFY(target->selectedItems().isEmpty());
    }
    QCOMPARE(enabledButtons(), enabled);
}

void tst_frmShowfields::addAndRemoveMoveTheSelectedEntry_data()
{
    QTest::addColumn<QString>("action"); // a button, or "double click"
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("row");

    for (const auto &[action, from] :
         {std::pair(u"cmdAdd"_s, u"lstAvail"_s), std::pair(u"cmdRemove"_s, u"lstVisible"_s),
          std::pair(u"double click"_s, u"lstAvail"_s),
          std::pair(u"double click"_s, u"lstVisible"_s)}) {
        const int count = from == u"lstAvail"_s ? 3 : 4;
        for (int row : {0, 1, count - 1}) {
            const QString where = row == 0 ? u"first"_s : row == 1 ? u"second"_s : u"last"_s;
            QTest::addRow("%s, %s of %s", qPrintable(action), qPrintable(where), qPrintable(from))
                << action << from << row;
        }
    }
}

void tst_frmShowfields::addAndRemoveMoveTheSelectedEntry()
{
    QFETCH(QString, action);
    QFETCH(QString, from);
    QFETCH(int, row);
    const QString to = from == u"lstAvail"_s ? u"lstVisible"_s : u"lstAvail"_s;
    QListWidget *source = list(from);
    QListWidget *target = list(to);
    const QStringList sourceBefore = texts(source);
    const QList<int> sourceColumns = columns(source);
    const QStringList targetBefore = texts(target);
    const QString moved = sourceBefore.at(row);

    if (action == u"double click"_s) {
        // The double click takes the entry clicked, not the one selected before.
        QCOMPARE(source->currentRow(), 0);
        doubleClick(from, row);
    } else {
        select(from, row);
        click(action);
    }

    QStringList sourceAfter = sourceBefore;
    sourceAfter.removeAt(row);
    QCOMPARE(texts(source), sourceAfter);
    QCOMPARE(texts(target), targetBefore + QStringList{moved});
    QCOMPARE(columns(target).last(), sourceColumns.at(row));
    QCOMPARE(selected(target), moved);
    // The entry that took the moved one's place, or the new last one.
    const QString next =
        row + 1 < sourceBefore.size() ? sourceBefore.at(row + 1) : sourceBefore.value(row - 1);
    QCOMPARE(selected(source), next);
    QCOMPARE(enabledButtons(), buttonsCalledFor());
}

void tst_frmShowfields::upAndDownExchangeWithTheNeighbour_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("times");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QString>("enabled");

    // lstVisible starts as Data, Histórico, Valor, Saldo.
    QTest::newRow("up from the second")
        << u"cmdUp"_s << 1 << 1 << QStringList{u"Histórico"_s, u"Data"_s, u"Valor"_s, u"Saldo"_s}
        << u"cmdAdd cmdRemove cmdDown"_s;
    QTest::newRow("down to the last")
        << u"cmdDown"_s << 2 << 1 << QStringList{u"Data"_s, u"Histórico"_s, u"Saldo"_s, u"Valor"_s}
        << u"cmdAdd cmdRemove cmdUp"_s;
    // The fourth click meets a disabled button and changes nothing.
    QTest::newRow("up four times from the last")
        << u"cmdUp"_s << 3 << 4 << QStringList{u"Saldo"_s, u"Data"_s, u"Histórico"_s, u"Valor"_s}
        << u"cmdAdd cmdRemove cmdDown"_s;
    QTest::newRow("down four times from the first")
        << u"cmdDown"_s << 0 << 4 << QStringList{u"Histórico"_s, u"Valor"_s, u"Saldo"_s, u"Data"_s}
        << u"cmdAdd cmdRemove cmdUp"_s;
}

void tst_frmShowfields::upAndDownExchangeWithTheNeighbour()
{
    QFETCH(QString, action);
    QFETCH(int, row);
    QFETCH(int, times);
    QFETCH(QStringList, order);
    QFETCH(QString, enabled);
    QListWidget *visible = list(u"lstVisible"_s);
    const QString moved = visible->item(row)->text();
    const QStringList availBefore = texts(list(u"lstAvail"_s));

    select(u"lstVisible"_s, row);
    for (int i = 0; i < times; ++i)
        click(action);
    QCOMPARE(texts(visible), order);
    QCOMPARE(selected(visible), moved);
    QCOMPARE(enabledButtons(), enabled);
    // The column indices travel with their captions.
    for (int r = 0; r < visible->count(); ++r)
        QCOMPARE(columns(visible).at(r), Captions.indexOf(order.at(r)));
    QCOMPARE(texts(list(u"lstAvail"_s)), availBefore);
}

void tst_frmShowfields::leavingWithoutOKLeavesTheGridAsItWas_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("Cancela") << u"Cancela"_s;
    QTest::newRow("Esc") << u"Esc"_s;
    QTest::newRow("title bar") << u"title bar"_s;
}

void tst_frmShowfields::leavingWithoutOKLeavesTheGridAsItWas()
{
    QFETCH(QString, way);
    const GridLayout before = m_grid->layout();
    // Many moves of every kind, so that a chooser applying as it goes would show.
    click(u"cmdAdd"_s);
    doubleClick(u"lstAvail"_s, 0);
    select(u"lstVisible"_s, 0);
    click(u"cmdRemove"_s);
    select(u"lstVisible"_s, 3);
    click(u"cmdUp"_s);
    click(u"cmdUp"_s);
    click(u"cmdDown"_s);
    doubleClick(u"lstVisible"_s, 1);
    QCOMPARE(texts(list(u"lstVisible"_s)),
             (QStringList{u"Histórico"_s, u"Conta"_s, u"Saldo"_s, u"Complemento"_s}));
    QCOMPARE(m_grid->appliedCount(), 0);

    if (way == u"Cancela"_s)
        click(u"cmdCancel"_s);
    else if (way == u"Esc"_s)
        QTest::keyClick(list(u"lstVisible"_s), Qt::Key_Escape);
    else
        m_form->close();
    QVERIFY(!m_form->isVisible());
    QVERIFY(!m_form->accepted());
    QVERIFY(!m_form->finish());
    QCOMPARE(m_grid->appliedCount(), 0);
    QCOMPARE(m_grid->layout(), before);
    QCOMPARE(list(u"lstVisible"_s)->count(), 0);
    QCOMPARE(list(u"lstAvail"_s)->count(), 0);
}

void tst_frmShowfields::okAppliesTheChosenOrder()
{
    // lstVisible: Data, Histórico, Valor, Saldo; lstAvail: Conta, Complemento, Situação.
    select(u"lstAvail"_s, 2);
    click(u"cmdAdd"_s); // Situação shown last
    select(u"lstVisible"_s, 0);
    click(u"cmdRemove"_s); // Data hidden, after Complemento in lstAvail
    select(u"lstVisible"_s, 2);
    click(u"cmdUp"_s);
    click(u"cmdUp"_s);             // Saldo first
    doubleClick(u"lstAvail"_s, 0); // Conta shown last
    QCOMPARE(texts(list(u"lstVisible"_s)),
             (QStringList{u"Saldo"_s, u"Histórico"_s, u"Valor"_s, u"Situação"_s, u"Conta"_s}));
    QCOMPARE(texts(list(u"lstAvail"_s)), (QStringList{u"Complemento"_s, u"Data"_s}));

    click(u"cmdOK"_s);
    QVERIFY(!m_form->isVisible());
    QVERIFY(m_form->accepted());
    QCOMPARE(m_grid->appliedCount(), 0); // only finish() applies
    QVERIFY(m_form->finish());
    QCOMPARE(m_grid->appliedCount(), 1);

    // The hidden columns keep the grid's order (Data before Complemento), not lstAvail's; widths,
    // grouping, sort and conditions stay as they were.
    GridLayout expected = periodLayout();
    expected.columns = {periodColumn(5, true), periodColumn(2, true), periodColumn(4, true),
                        periodColumn(6, true), periodColumn(1, true), periodColumn(0, false),
                        periodColumn(3, false)};
    QCOMPARE(m_grid->layout(), expected);
}

void tst_frmShowfields::okWithEveryColumnAvailableHidesThemAll()
{
    // Always the first entry: each removal selects the one that took its place.
    for (int i = 0; i < 4; ++i)
        click(u"cmdRemove"_s);
    QCOMPARE(list(u"lstVisible"_s)->count(), 0);
    QCOMPARE(texts(list(u"lstAvail"_s)),
             (QStringList{u"Conta"_s, u"Complemento"_s, u"Situação"_s, u"Data"_s, u"Histórico"_s,
                          u"Valor"_s, u"Saldo"_s}));
    QCOMPARE(enabledButtons(), u"cmdAdd"_s);
    click(u"cmdRemove"_s); // disabled: nothing happens
    QCOMPARE(list(u"lstAvail"_s)->count(), 7);
    click(u"cmdOK"_s);
    QVERIFY(m_form->finish());
    GridLayout expected = periodLayout();
    for (GridLayout::Column &column : expected.columns)
        column.visible = false;
    QCOMPARE(m_grid->layout(), expected);
}

// Entries are told apart by their column, not their caption: a chooser that looked columns up
// by caption would show the wrong "Valor".
void tst_frmShowfields::sameCaptionsKeepTheirOwnColumns()
{
    GridLayout layout;
    layout.columns = {{u"VL_LANCAMENTO"_s, u"Valor"_s, 80, true},
                      {u"VL_SALDO"_s, u"Valor"_s, 90, false},
                      {u"DT_LANCAMENTO"_s, u"Data"_s, 70, true}};
    load(layout);
    click(u"cmdRemove"_s); // the shown Valor, now after the hidden one in lstAvail
    QCOMPARE(texts(list(u"lstAvail"_s)), (QStringList{u"Valor"_s, u"Valor"_s}));
    select(u"lstAvail"_s, 0);
    click(u"cmdAdd"_s); // the one that was hidden
    click(u"cmdOK"_s);
    QVERIFY(m_form->finish());

    GridLayout expected = layout;
    expected.columns = {layout.columns.at(2), layout.columns.at(1), layout.columns.at(0)};
    expected.columns[1].visible = true;
    expected.columns[2].visible = false;
    QCOMPARE(m_grid->layout(), expected);
}

void tst_frmShowfields::showFieldsRunsModally_data()
{
    QTest::addColumn<QString>("closeWith");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("OK") << u"cmdOK"_s << true;
    QTest::newRow("Cancela") << u"cmdCancel"_s << false;
}

void tst_frmShowfields::showFieldsRunsModally()
{
    QFETCH(QString, closeWith);
    QFETCH(bool, accepted);
    m_form.reset();
    FakeGrid grid(periodLayout());
    frmShowfields form;

    // What the window looked like while it ran; checked once ShowFields has returned, as a
    // failure inside the loop would leave the window open.
    bool modal = false;
    QStringList shownWhileOpen;
    QTimer::singleShot(0, &form, [&] {
        modal = QApplication::activeModalWidget() == &form;
        auto *visible = form.findChild<QListWidget *>(u"lstVisible"_s);
        shownWhileOpen = texts(visible);
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdRemove"_s), Qt::LeftButton);
        QTest::mouseClick(form.findChild<QPushButton *>(closeWith), Qt::LeftButton);
    });
    // Should the buttons not close it, the window is closed anyway and the test fails below.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &form, &QDialog::reject);
    guard.start(10000);

    QCOMPARE(form.ShowFields(grid), accepted);
    QVERIFY(guard.isActive());
    QVERIFY(modal);
    QCOMPARE(shownWhileOpen, (QStringList{u"Data"_s, u"Histórico"_s, u"Valor"_s, u"Saldo"_s}));
    QVERIFY(!form.isVisible());
    QCOMPARE(form.findChild<QListWidget *>(u"lstVisible"_s)->count(), 0);

    GridLayout expected = periodLayout();
    if (accepted) // Data removed: the other shown ones first, then the hidden in grid order
        expected.columns = {periodColumn(2, true),  periodColumn(4, true),  periodColumn(5, true),
                            periodColumn(0, false), periodColumn(1, false), periodColumn(3, false),
                            periodColumn(6, false)};
    QCOMPARE(grid.layout(), expected);
    QCOMPARE(grid.appliedCount(), accepted ? 1 : 0);
}

void tst_frmShowfields::keyboardAloneDrivesTheWindow_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("closingKey");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Enter in lstVisible")
        << u"lstVisible"_s << static_cast<int>(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter in lstAvail")
        << u"lstAvail"_s << static_cast<int>(Qt::Key_Enter) << true;
    // Enter means OK even on another button: cmdAdd must not be pressed by it.
    QTest::newRow("Enter on cmdAdd") << u"cmdAdd"_s << static_cast<int>(Qt::Key_Return) << true;
    QTest::newRow("Esc in lstVisible")
        << u"lstVisible"_s << static_cast<int>(Qt::Key_Escape) << false;
    QTest::newRow("Esc on cmdAdd") << u"cmdAdd"_s << static_cast<int>(Qt::Key_Escape) << false;
}

void tst_frmShowfields::keyboardAloneDrivesTheWindow()
{
    QFETCH(QString, focus);
    QFETCH(int, closingKey);
    QFETCH(bool, accepted);
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QListWidget *avail = list(u"lstAvail"_s);
    QListWidget *visible = list(u"lstVisible"_s);
    avail->setFocus();

    // Complemento chosen with the arrows and added with the space bar on cmdAdd.
    QTest::keyClick(avail, Qt::Key_Down);
    QCOMPARE(selected(avail), u"Complemento"_s);
    QTest::keyClick(avail, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(u"cmdAdd"_s));
    QTest::keyClick(button(u"cmdAdd"_s), Qt::Key_Space);
    QCOMPARE(texts(visible).last(), u"Complemento"_s);
    QCOMPARE(texts(avail), (QStringList{u"Conta"_s, u"Situação"_s}));
    // Home and End in lstVisible, with the buttons following.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), visible);
    QTest::keyClick(visible, Qt::Key_End);
    QCOMPARE(selected(visible), u"Complemento"_s);
    QCOMPARE(enabledButtons(), u"cmdAdd cmdRemove cmdUp"_s);
    QTest::keyClick(visible, Qt::Key_Home);
    QCOMPARE(selected(visible), u"Data"_s);
    QCOMPARE(enabledButtons(), u"cmdAdd cmdRemove cmdDown"_s);

    QWidget *target = m_form->findChild<QWidget *>(focus);
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);
    QTest::keyClick(target, static_cast<Qt::Key>(closingKey));
    QVERIFY(!m_form->isVisible());
    QCOMPARE(texts(avail), (QStringList{u"Conta"_s, u"Situação"_s}));
    QCOMPARE(m_form->accepted(), accepted);
    QCOMPARE(m_form->finish(), accepted);
    QCOMPARE(m_grid->appliedCount(), accepted ? 1 : 0);
    GridLayout expected = periodLayout();
    if (accepted)
        expected.columns = {periodColumn(0, true), periodColumn(2, true), periodColumn(4, true),
                            periodColumn(5, true), periodColumn(3, true), periodColumn(1, false),
                            periodColumn(6, false)};
    QCOMPARE(m_grid->layout(), expected);
}

void tst_frmShowfields::tabVisitsTheControlsInOrder()
{
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    // The second shown entry, so that every button is enabled and none drops out of the chain.
    select(u"lstVisible"_s, 1);
    QCOMPARE(enabledButtons(), u"cmdAdd cmdRemove cmdUp cmdDown"_s);
    list(u"lstAvail"_s)->setFocus();

    const QStringList order = {u"lstAvail"_s,   u"cmdAdd"_s,    u"cmdRemove"_s,
                               u"lstVisible"_s, u"cmdUp"_s,     u"cmdDown"_s,
                               u"cmdOK"_s,      u"cmdCancel"_s, u"lstAvail"_s};
    QStringList visited = {QApplication::focusWidget()->objectName()};
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, order);
}

// Every control is shown whole inside the window and apart from the others, captions
// included. With TESSAL_SCREENSHOT_DIR set, the window is also saved there as a picture.
void tst_frmShowfields::everyControlFitsTheWindow()
{
    QList<QWidget *> controls = {m_form->findChild<QLabel *>(u"lblAvail"_s),
                                 m_form->findChild<QLabel *>(u"lblVisible"_s), list(u"lstAvail"_s),
                                 list(u"lstVisible"_s)};
    for (const QString &name : Buttons)
        controls << button(name);
    const QRect inside = m_form->rect();
    for (int i = 0; i < controls.size(); ++i) {
        QWidget *w = controls.at(i);
        const QString name = w->objectName();
        QVERIFY2(w->isVisible(), qPrintable(name));
        QVERIFY2(inside.contains(w->geometry()), qPrintable(name));
        if (!qobject_cast<QListWidget *>(w))
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(name + u" cut short"_s));
        for (int j = i + 1; j < controls.size(); ++j)
            QVERIFY2(!w->geometry().intersects(controls.at(j)->geometry()),
                     qPrintable(name + u" over "_s + controls.at(j)->objectName()));
    }
    const QImage picture = m_form->grab().toImage();
    QCOMPARE(picture.size(), m_form->size() * picture.devicePixelRatio());
    const QString target = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (!target.isEmpty())
        QVERIFY(picture.save(QDir(target).filePath(u"frmshowfields.png"_s)));
}

QTEST_MAIN(tst_frmShowfields)
#include "tst_frmshowfields.moc"
