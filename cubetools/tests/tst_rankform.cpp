#include "cube/cube.h"
#include "cube/rowsource.h"
#include "cube/ui/controlarray.h"
#include "cubetools/rankform.h"
#include "testsupport/testcontext.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <map>

using namespace tessal;
using namespace tessal::cube;
using namespace Qt::StringLiterals;

namespace {

// The entries the cube is built from. The four accounts come out in a different order by each
// measure: by the sum of amounts, by their count, by the sum paid, by name and by caption.
struct Entry
{
    QString account;
    int year;
    QString month;
    QString remark;
    double amount;
    double paid;
};

const std::vector<Entry> &entries()
{
    static const std::vector<Entry> rows{
        {u"Banco"_s, 2023, u"jan"_s, u"NF 1"_s, 100, 5},
        {u"Banco"_s, 2024, u"fev"_s, u"NF 2"_s, 100, 0},
        {u"Banco"_s, 2024, u"jan"_s, u"ajuste"_s, 100, 0},
        {u"Caixa"_s, 2023, u"fev"_s, u"NF 3"_s, 500, 1},
        {u"Cofre"_s, 2023, u"jan"_s, u"NF 4"_s, 10, 30},
        {u"Cofre"_s, 2024, u"jan"_s, u"NF 5"_s, 20, 10},
        {u"Poupanca"_s, 2023, u"jan"_s, u"NF 6"_s, 50, 20},
        {u"Poupanca"_s, 2023, u"fev"_s, u"NF 7"_s, 60, 0},
        {u"Poupanca"_s, 2024, u"jan"_s, u"NF 8"_s, 70, 0},
        {u"Poupanca"_s, 2024, u"fev"_s, u"NF 9"_s, 80, 0},
    };
    return rows;
}

// The accounts' captions on the rows: their alphabetical order is not the names' one.
const std::map<QString, QString> AccountCaptions{{u"Banco"_s, u"Zeta"_s},
                                                 {u"Caixa"_s, u"Beta"_s},
                                                 {u"Cofre"_s, u"Alfa"_s},
                                                 {u"Poupanca"_s, u"Gama"_s}};

// The fields in the order the cube defines them: data fields and a field on no axis between the
// ones that can be ordered, so that list rows, field positions and data-field numbers all differ.
struct FieldDef
{
    QString column;
    QString caption;
    Orientation orientation;
    Aggregate aggregate = Aggregate::Sum;
};

const std::vector<FieldDef> &fieldDefs()
{
    static const std::vector<FieldDef> defs{
        {u"valor"_s, u"Valor"_s, Orientation::Data},
        {u"conta"_s, u"Conta"_s, Orientation::Row},
        {u"historico"_s, u"Histórico"_s, Orientation::None},
        {u"ano"_s, u"Ano"_s, Orientation::Column},
        {u"valor"_s, u"Quantidade"_s, Orientation::Data, Aggregate::Count},
        {u"mes"_s, u"Mês"_s, Orientation::Page},
        {u"pago"_s, u"Pago"_s, Orientation::Data},
    };
    return defs;
}

// What the rows can be ordered by, for the expected orders worked out from the entries.
enum By { Natural, Captions, Sum, Count, Paid };

enum Option { Default = 0, Descending = 1, Ascending = 2 };

// The account rows in the order `by` gives, as their captions; ties keep the names' order.
QStringList expectedRows(By by, bool descending = false)
{
    std::map<QString, double> key; // ordered by name: the natural order of the text items
    for (const Entry &e : entries()) {
        double &k = key[e.account];
        k += by == Sum ? e.amount : by == Count ? 1 : by == Paid ? e.paid : 0;
    }
    std::vector<QString> names;
    for (const auto &[name, k] : key)
        names.push_back(name);
    std::stable_sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        if (by == Captions)
            return AccountCaptions.at(a) < AccountCaptions.at(b);
        return descending ? key.at(a) > key.at(b) : key.at(a) < key.at(b);
    });
    QStringList captions;
    for (const QString &name : names)
        captions << AccountCaptions.at(name);
    return captions;
}

} // namespace

class tst_RankForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsAndKeyboard();
    void listsOnlyRowColumnAndPageFields();
    void selectedFieldMatchesByCaption_data();
    void selectedFieldMatchesByCaption();
    void selectedFieldBeforeCube();
    void noneSelectedClearsAndDisables();
    void showsTheFieldsSetting_data();
    void showsTheFieldsSetting();
    void defaultRemovesTheRanking_data();
    void defaultRemovesTheRanking();
    void rankByDataField_data();
    void rankByDataField();
    void ownItemsOrder_data();
    void ownItemsOrder();
    void hiddenDataFields();
    void choosingTheSameFieldAgainShowsItAfresh();
    void failedStepsAreReported();
    void openForReusesOneWindow();
    void closeButtonUnloads();
    void screenshot();

private:
    RankForm *open(CubeField *selected = nullptr);
    CubeField *field(const QString &caption) const;
    QStringList rowOrder() const;
    QListWidget *list() const { return m_form->findChild<QListWidget *>(u"lstAxisFields"_s); }
    QComboBox *combo() const { return m_form->findChild<QComboBox *>(u"cboDataFields"_s); }
    QRadioButton *option(int index) const
    {
        return arrayMember<QRadioButton>(m_form.data(), u"SortOption"_s, index);
    }
    int checkedOption() const;
    QStringList comboEntries() const;
    void clickField(const QString &caption) const;
    void clickOption(int index) const;
    void chooseEntry(const QString &text) const;
    void grabWithRankedField(const QString &path);

    std::unique_ptr<test::TestContext> m_t;
    std::unique_ptr<Cube> m_cube;
    std::unique_ptr<QWidget> m_owner;
    QPointer<RankForm> m_form;
    int m_refreshes = 0;
    // the definition as the cube's last refresh saw it: the analysis window lays its view out
    // on a refresh, so a change left without one would not show there
    CubeDefinition m_refreshedDefinition;
};

void tst_RankForm::init()
{
    m_t = std::make_unique<test::TestContext>();
    m_cube = std::make_unique<Cube>();
    for (const FieldDef &d : fieldDefs()) {
        CubeField *f = m_cube->addField(d.column, d.caption, d.orientation);
        f->setAggregate(d.aggregate);
        f->setName(d.caption);
    }
    RowTable table;
    table.columns = {u"conta"_s, u"ano"_s, u"mes"_s, u"historico"_s, u"valor"_s, u"pago"_s};
    for (const Entry &e : entries())
        table.rows << QVariantList{e.account, e.year, e.month, e.remark, e.amount, e.paid};
    m_cube->loadRows(table);
    CubeField *account = field(u"Conta"_s);
    for (const auto &[name, caption] : AccountCaptions)
        account->setItemCaption(account->itemIndex(name), caption);
    m_cube->refresh();
    m_refreshes = 0;
    connect(m_cube.get(), &Cube::refreshed, this, [this] {
        ++m_refreshes;
        m_refreshedDefinition = m_cube->definition();
    });
    m_owner = std::make_unique<QWidget>();
    m_owner->setObjectName(u"fcubovendas"_s);
}

void tst_RankForm::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    // every window the tests open belongs to the owner, and goes with it
    m_owner.reset();
    QVERIFY(!m_form);
    m_cube.reset();
    m_t.reset();
}

RankForm *tst_RankForm::open(CubeField *selected)
{
    m_form = RankForm::openFor(*m_t->context, m_cube.get(), m_owner.get(), selected);
    m_form->activateWindow();
    if (!QTest::qWaitForWindowActive(m_form.data()))
        qWarning("the ranking window did not become active");
    return m_form;
}

CubeField *tst_RankForm::field(const QString &caption) const
{
    for (CubeField *f : m_cube->fields())
        if (f->caption() == caption)
            return f;
    qFatal("no field %s", qPrintable(caption));
}

QStringList tst_RankForm::rowOrder() const
{
    QStringList rows;
    for (int r = 0; r < m_cube->rowCount(); ++r)
        if (!m_cube->isTotalRow(r))
            rows << m_cube->rowHeadingText(1, r);
    return rows;
}

int tst_RankForm::checkedOption() const
{
    int checked = -1;
    for (int i = 0; i < 3; ++i) {
        if (option(i)->isChecked()) {
            if (checked >= 0)
                return -2; // two options at once
            checked = i;
        }
    }
    return checked;
}

QStringList tst_RankForm::comboEntries() const
{
    QStringList texts;
    for (int i = 0; i < combo()->count(); ++i)
        texts << combo()->itemText(i);
    return texts;
}

void tst_RankForm::clickField(const QString &caption) const
{
    QListWidget *l = list();
    const QList<QListWidgetItem *> found = l->findItems(caption, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(found[0]).center());
    QCOMPARE(l->currentItem(), found[0]);
}

void tst_RankForm::clickOption(int index) const
{
    QRadioButton *b = option(index);
    QVERIFY(b);
    QVERIFY(b->isEnabled());
    // on the indicator: the button is wider than its text, and only the two take a click
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
    QVERIFY(b->isChecked());
}

void tst_RankForm::chooseEntry(const QString &text) const
{
    QComboBox *c = combo();
    QVERIFY(c->isEnabled());
    const int index = c->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    // as picking it from the drop-down does: the combo's current entry changes
    c->setCurrentIndex(index);
}

void tst_RankForm::controlsAndKeyboard()
{
    open(field(u"Conta"_s));
    QCOMPARE(m_form->objectName(), u"RankForm"_s);
    QCOMPARE(m_form->windowTitle(), u"Ordenação do Cubo"_s);
    const QList<std::tuple<QString, QString, QString>> labels{
        {u"DimensionFieldListLabel"_s, u"&Campos a Ordenar"_s, u"lstAxisFields"_s},
        {u"MeasureComboLabel"_s, u"&Indexar por:"_s, u"cboDataFields"_s}};
    for (const auto &[name, text, buddy] : labels) {
        auto *l = m_form->findChild<QLabel *>(name);
        QVERIFY2(l, qPrintable(name));
        QCOMPARE(l->text(), text);
        QVERIFY(l->buddy());
        QCOMPARE(l->buddy()->objectName(), buddy);
    }
    auto *orderLabel = m_form->findChild<QLabel *>(u"SortOrderLabel"_s);
    QVERIFY(orderLabel);
    QCOMPARE(orderLabel->text(), u"Ordenação:"_s);
    const QStringList optionTexts{u"&Padrão"_s, u"&Descencente"_s, u"&Ascendente"_s};
    for (int i = 0; i < optionTexts.size(); ++i) {
        QVERIFY(option(i));
        QCOMPARE(option(i)->text(), optionTexts[i]);
    }
    auto *close = m_form->findChild<QPushButton *>(u"CloseButton"_s);
    QVERIFY(close);
    QCOMPARE(close->text(), u"Sair"_s);

    // Tab from the list reaches the checked option and then the combo. "Ascendente" is chosen so
    // that the combo is enabled (it is not with "Padrão").
    clickOption(Ascending);
    list()->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), list());
    QList<QWidget *> reached;
    for (int i = 0; i < 6 && QApplication::focusWidget() != combo(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached << QApplication::focusWidget();
    }
    QVERIFY(reached.contains(option(Ascending)));
    QCOMPARE(QApplication::focusWidget(), combo());

    // the mnemonics: Alt+C to the list, Alt+I to the combo, Alt+P chooses "Padrão"
    QTest::keyClick(m_form.data(), Qt::Key_C, Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), list());
    QTest::keyClick(m_form.data(), Qt::Key_I, Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), combo());
    QTest::keyClick(m_form.data(), Qt::Key_P, Qt::AltModifier);
    QTRY_VERIFY(option(Default)->isChecked());
    QCOMPARE(field(u"Conta"_s)->ascending(), 0);
    QCOMPARE(rowOrder(), expectedRows(Natural));
}

void tst_RankForm::listsOnlyRowColumnAndPageFields()
{
    open();
    // the positions and captions of the fields on an axis, from the definition the cube was
    // built with
    QStringList expected;
    QList<int> positions;
    for (int i = 0; i < int(fieldDefs().size()); ++i) {
        const Orientation o = fieldDefs()[size_t(i)].orientation;
        if (o == Orientation::Row || o == Orientation::Column || o == Orientation::Page) {
            expected << fieldDefs()[size_t(i)].caption;
            positions << i;
        }
    }
    QStringList listed;
    QList<int> data;
    for (int i = 0; i < list()->count(); ++i) {
        listed << list()->item(i)->text();
        data << list()->item(i)->data(Qt::UserRole).toInt();
    }
    QCOMPARE(listed, expected);
    QCOMPARE(data, positions);
    QVERIFY(!listed.contains(u"Valor"_s));
    QVERIFY(!listed.contains(u"Histórico"_s));

    // choosing an entry chooses the field at its position, whatever its row in the list
    for (int i = 0; i < expected.size(); ++i) {
        clickField(expected[i]);
        QCOMPARE(m_form->selectedPosition(), positions[i]);
        QVERIFY(m_form->selectedField());
        QCOMPARE(m_form->selectedField()->caption(), expected[i]);
        QCOMPARE(comboEntries().value(0), expected[i]);
    }
    QCOMPARE(m_refreshes, 0);
    QCOMPARE(rowOrder(), expectedRows(Natural));
}

void tst_RankForm::selectedFieldMatchesByCaption_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("chosen"); // empty: none

    QTest::newRow("same caption") << u"Conta"_s << u"Conta"_s;
    QTest::newRow("case aside") << u"aNO"_s << u"Ano"_s;
    QTest::newRow("page field") << u"mês"_s << u"Mês"_s;
    QTest::newRow("no such caption") << u"Região"_s << QString();
}

void tst_RankForm::selectedFieldMatchesByCaption()
{
    QFETCH(QString, caption);
    QFETCH(QString, chosen);
    field(u"Conta"_s)->setRankingMode(RankingMode::Descending);
    field(u"Conta"_s)->setRankingDataField(1);
    m_cube->refresh();
    m_refreshes = 0;
    open();

    // a field of another cube: only its caption can match
    Cube other;
    CubeField *foreign = other.addField(u"x"_s, caption, Orientation::Row);
    m_form->setSelectedField(foreign);
    if (chosen.isEmpty()) {
        QCOMPARE(m_form->selectedPosition(), -1);
        QVERIFY(!m_form->selectedField());
        // (the focus may leave an entry current: only the selection is a choice)
        QVERIFY(list()->selectedItems().isEmpty());
    } else {
        QVERIFY(m_form->selectedField());
        QCOMPARE(m_form->selectedField(), field(chosen));
        QCOMPARE(list()->selectedItems().size(), 1);
        QCOMPARE(list()->currentItem()->text(), chosen);
        QCOMPARE(comboEntries().value(0), chosen);
    }
    QVERIFY(!m_form->IsUpdating());
    QCOMPARE(m_refreshes, 0);
    QCOMPARE(rowOrder(), expectedRows(Sum, true));
}

void tst_RankForm::selectedFieldBeforeCube()
{
    RankForm form(*m_t->context);
    m_t->dialogs.expectMessage(
        u"Must set the Form.Cube property before calling setting this property."_s);
    form.setSelectedField(field(u"Conta"_s));
    QCOMPARE(m_t->dialogs.asked().size(), 1);
    const auto &asked = m_t->dialogs.asked().first();
    QCOMPARE(asked.text,
             u"Must set the Form.Cube property before calling setting this property."_s);
    QCOMPARE(asked.title, u"Invalid Property Call - SelectedField"_s);
    QCOMPARE(asked.icon, Dialogs::Icon::Critical);
    QCOMPARE(form.selectedPosition(), -1);
    QVERIFY(!form.selectedField());
    QCOMPARE(form.findChild<QListWidget *>(u"lstAxisFields"_s)->count(), 0);
    QCOMPARE(m_refreshes, 0);
    QCOMPARE(rowOrder(), expectedRows(Natural));
}

void tst_RankForm::noneSelectedClearsAndDisables()
{
    field(u"Conta"_s)->setRankingMode(RankingMode::Ascending);
    field(u"Conta"_s)->setRankingDataField(3);
    m_cube->refresh();
    m_refreshes = 0;
    open(field(u"Conta"_s));
    // vacuous unless something was chosen first
    QCOMPARE(list()->selectedItems().size(), 1);
    QCOMPARE(checkedOption(), int(Ascending));
    QCOMPARE(combo()->currentText(), u"Pago"_s);

    m_form->setSelectedField(nullptr);
    QVERIFY(list()->selectedItems().isEmpty());
    QCOMPARE(list()->currentRow(), -1);
    QCOMPARE(checkedOption(), -1);
    QCOMPARE(combo()->currentIndex(), -1);
    QCOMPARE(m_form->selectedPosition(), -1);
    QVERIFY(!m_form->selectedField());
    for (int i = 0; i < 3; ++i)
        QVERIFY(!option(i)->isEnabled());
    QVERIFY(!combo()->isEnabled());
    QVERIFY(!m_form->findChild<QLabel *>(u"SortOrderLabel"_s)->isEnabled());
    QVERIFY(!m_form->findChild<QLabel *>(u"MeasureComboLabel"_s)->isEnabled());
    // the list stays usable: it is how a field is chosen again
    QVERIFY(list()->isEnabled());
    QVERIFY(!m_form->IsUpdating());

    QCOMPARE(field(u"Conta"_s)->rankingMode(), RankingMode::Ascending);
    QCOMPARE(field(u"Conta"_s)->rankingDataField(), 3);
    QCOMPARE(m_refreshes, 0);
    QCOMPARE(rowOrder(), expectedRows(Paid));

    // choosing a field from the list enables the controls again
    clickField(u"Conta"_s);
    QVERIFY(option(Descending)->isEnabled());
    QVERIFY(combo()->isEnabled());
    QCOMPARE(checkedOption(), int(Ascending));
}

void tst_RankForm::showsTheFieldsSetting_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("dataField");
    QTest::addColumn<int>("ascending");
    QTest::addColumn<int>("shownOption");
    QTest::addColumn<QString>("shownEntry");
    QTest::addColumn<bool>("comboEnabled");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("default") << 0 << 0 << 0 << int(Default) << u"Conta"_s << false
                             << expectedRows(Natural);
    QTest::newRow("own items ascending")
        << 0 << 0 << 1 << int(Ascending) << u"Conta"_s << true << expectedRows(Captions);
    QTest::newRow("descending by count")
        << 1 << 2 << 0 << int(Descending) << u"Quantidade"_s << true << expectedRows(Count, true);
    QTest::newRow("ascending by count")
        << 2 << 2 << 0 << int(Ascending) << u"Quantidade"_s << true << expectedRows(Count);
    QTest::newRow("ascending by paid, own flag left over")
        << 2 << 3 << 1 << int(Ascending) << u"Pago"_s << true << expectedRows(Paid);
}

void tst_RankForm::showsTheFieldsSetting()
{
    QFETCH(int, mode);
    QFETCH(int, dataField);
    QFETCH(int, ascending);
    QFETCH(int, shownOption);
    QFETCH(QString, shownEntry);
    QFETCH(bool, comboEnabled);
    QFETCH(QStringList, rows);

    CubeField *account = field(u"Conta"_s);
    account->setRankingMode(RankingMode(mode));
    account->setRankingDataField(dataField);
    account->setAscending(ascending);
    m_cube->refresh();
    const CubeDefinition before = m_cube->definition();
    m_refreshes = 0;

    // Opening the field selects its option and its combo entry from the window's own code; the
    // update depth keeps those selections from writing anything back.
    open(account);
    QCOMPARE(checkedOption(), shownOption);
    QCOMPARE(combo()->currentText(), shownEntry);
    QCOMPARE(combo()->isEnabled(), comboEnabled);
    QVERIFY(!m_form->IsUpdating());
    QVERIFY(m_cube->definition() == before);
    QCOMPARE(m_refreshes, 0);
    QCOMPARE(rowOrder(), rows);

    // and so does choosing another field and coming back
    clickField(u"Ano"_s);
    QCOMPARE(checkedOption(), int(Default));
    clickField(u"Conta"_s);
    QCOMPARE(checkedOption(), shownOption);
    QVERIFY(m_cube->definition() == before);
    QCOMPARE(m_refreshes, 0);
    QCOMPARE(rowOrder(), rows);
}

void tst_RankForm::defaultRemovesTheRanking_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("dataField");
    QTest::addColumn<int>("ascending");
    QTest::addColumn<QStringList>("rowsBefore");

    QTest::newRow("descending by sum") << 1 << 1 << 0 << expectedRows(Sum, true);
    QTest::newRow("ascending by count") << 2 << 2 << 0 << expectedRows(Count);
    QTest::newRow("own items ascending") << 0 << 0 << 1 << expectedRows(Captions);
}

void tst_RankForm::defaultRemovesTheRanking()
{
    QFETCH(int, mode);
    QFETCH(int, dataField);
    QFETCH(int, ascending);
    QFETCH(QStringList, rowsBefore);

    CubeField *account = field(u"Conta"_s);
    account->setRankingMode(RankingMode(mode));
    account->setRankingDataField(dataField);
    account->setAscending(ascending);
    m_cube->refresh();
    QCOMPARE(rowOrder(), rowsBefore);
    open(account);
    QVERIFY(combo()->isEnabled());

    clickOption(Default);
    QCOMPARE(account->rankingMode(), RankingMode::None);
    QCOMPARE(account->rankingDataField(), 0);
    QCOMPARE(account->ascending(), 0);
    QCOMPARE(combo()->currentIndex(), 0);
    QVERIFY(!combo()->isEnabled());
    QVERIFY(m_refreshes > 0);
    QVERIFY(m_refreshedDefinition == m_cube->definition());
    QCOMPARE(rowOrder(), expectedRows(Natural));
}

void tst_RankForm::rankByDataField_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("dataField");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("by");

    QTest::newRow("descending by sum") << int(Descending) << u"Valor"_s << 1 << int(Sum);
    QTest::newRow("ascending by sum") << int(Ascending) << u"Valor"_s << 1 << int(Sum);
    QTest::newRow("descending by count") << int(Descending) << u"Quantidade"_s << 2 << int(Count);
    QTest::newRow("ascending by count") << int(Ascending) << u"Quantidade"_s << 2 << int(Count);
    QTest::newRow("descending by paid") << int(Descending) << u"Pago"_s << 3 << int(Paid);
}

void tst_RankForm::rankByDataField()
{
    QFETCH(int, direction);
    QFETCH(QString, dataField);
    QFETCH(int, number);
    QFETCH(int, by);

    CubeField *account = field(u"Conta"_s);
    open(account);
    QCOMPARE(checkedOption(), int(Default));

    clickOption(direction);
    // with no data field yet, the combo stands on the field itself
    QCOMPARE(combo()->currentIndex(), 0);
    QVERIFY(combo()->isEnabled());
    chooseEntry(dataField);
    QCOMPARE(account->rankingMode(), RankingMode(direction));
    QCOMPARE(account->rankingDataField(), number);
    QVERIFY(m_refreshedDefinition == m_cube->definition());
    QCOMPARE(rowOrder(), expectedRows(By(by), direction == Descending));

    // turning the direction round keeps the data field
    const int other = direction == Descending ? Ascending : Descending;
    clickOption(other);
    QCOMPARE(account->rankingMode(), RankingMode(other));
    QCOMPARE(account->rankingDataField(), number);
    QCOMPARE(combo()->currentText(), dataField);
    QVERIFY(m_refreshedDefinition == m_cube->definition());
    QCOMPARE(rowOrder(), expectedRows(By(by), other == Descending));
    QVERIFY(!m_form->IsUpdating());
}

void tst_RankForm::ownItemsOrder_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("dataField");
    QTest::addColumn<int>("ascending");
    QTest::addColumn<int>("click");         // an option to click, -1 none
    QTest::addColumn<bool>("chooseItself"); // then choose the field itself in the combo
    QTest::addColumn<int>("expectedAscending");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("ascending from the default")
        << 0 << 0 << 0 << int(Ascending) << false << 1 << expectedRows(Captions);
    QTest::newRow("ascending, then the field itself")
        << 0 << 0 << 0 << int(Ascending) << true << 1 << expectedRows(Captions);
    QTest::newRow("descending from own ascending is the default")
        << 0 << 0 << 1 << int(Descending) << false << 0 << expectedRows(Natural);
    QTest::newRow("descending by sum, then the field itself")
        << 1 << 1 << 0 << -1 << true << 0 << expectedRows(Natural);
    QTest::newRow("ascending by sum, then the field itself")
        << 2 << 1 << 0 << -1 << true << 1 << expectedRows(Captions);
}

void tst_RankForm::ownItemsOrder()
{
    QFETCH(int, mode);
    QFETCH(int, dataField);
    QFETCH(int, ascending);
    QFETCH(int, click);
    QFETCH(bool, chooseItself);
    QFETCH(int, expectedAscending);
    QFETCH(QStringList, rows);

    CubeField *account = field(u"Conta"_s);
    account->setRankingMode(RankingMode(mode));
    account->setRankingDataField(dataField);
    account->setAscending(ascending);
    m_cube->refresh();
    // each row starts from another order than it ends in
    QVERIFY(rowOrder() != rows);
    open(account);
    if (click >= 0)
        clickOption(click);
    if (chooseItself) {
        if (combo()->currentIndex() == 0)
            combo()->setCurrentIndex(-1); // so that choosing it is a change
        chooseEntry(u"Conta"_s);
    }
    QCOMPARE(combo()->currentIndex(), 0);
    QCOMPARE(account->rankingMode(), RankingMode::None);
    QCOMPARE(account->rankingDataField(), 0);
    QCOMPARE(account->ascending(), expectedAscending);
    QVERIFY(m_refreshedDefinition == m_cube->definition());
    QCOMPARE(rowOrder(), rows);
}

void tst_RankForm::hiddenDataFields()
{
    CubeField *account = field(u"Conta"_s);
    field(u"Quantidade"_s)->setVisible(false);
    m_cube->refresh();
    open(account);
    // the field itself, then each visible data field once, with its number
    QCOMPARE(comboEntries(), (QStringList{u"Conta"_s, u"Valor"_s, u"Pago"_s}));
    QCOMPARE(combo()->itemData(1).toInt(), 1);
    QCOMPARE(combo()->itemData(2).toInt(), 3);
    QCOMPARE(m_form->FindDataFieldEntry(3), 2);
    QCOMPARE(m_form->FindDataFieldEntry(2), -1);
    // the field's own entry carries no number and is never the answer
    QCOMPARE(m_form->FindDataFieldEntry(0), -1);

    // choosing the hidden field's neighbour ranks by that one, not by the entry's row
    clickOption(Descending);
    chooseEntry(u"Pago"_s);
    QCOMPARE(account->rankingDataField(), 3);
    QVERIFY(m_refreshedDefinition == m_cube->definition());
    QCOMPARE(rowOrder(), expectedRows(Paid, true));

    // opening the other fields and coming back lists every visible data field once again
    clickField(u"Ano"_s);
    clickField(u"Conta"_s);
    QCOMPARE(comboEntries(), (QStringList{u"Conta"_s, u"Valor"_s, u"Pago"_s}));

    // a field ranked by a data field that was hidden since: the option shows, the combo no entry
    account->setRankingMode(RankingMode::Ascending);
    account->setRankingDataField(2);
    m_cube->refresh();
    const CubeDefinition before = m_cube->definition();
    m_refreshes = 0;
    m_form->setSelectedField(field(u"Ano"_s));
    m_form->setSelectedField(account);
    QCOMPARE(checkedOption(), int(Ascending));
    QCOMPARE(combo()->currentIndex(), -1);
    QVERIFY(combo()->isEnabled());
    QVERIFY(m_cube->definition() == before);
    QCOMPARE(m_refreshes, 0);
    QCOMPARE(rowOrder(), expectedRows(Count));
}

void tst_RankForm::choosingTheSameFieldAgainShowsItAfresh()
{
    CubeField *account = field(u"Conta"_s);
    open(account);
    QCOMPARE(checkedOption(), int(Default));
    // changed behind the window's back, then chosen again while it is still the list's entry
    account->setRankingMode(RankingMode::Descending);
    account->setRankingDataField(1);
    m_cube->refresh();
    m_form->setSelectedField(account);
    QCOMPARE(checkedOption(), int(Descending));
    QCOMPARE(combo()->currentText(), u"Valor"_s);
    QCOMPARE(rowOrder(), expectedRows(Sum, true));
}

void tst_RankForm::failedStepsAreReported()
{
    open();
    // No field is chosen: the option's steps that need one fail, each reported in the error box
    // naming the window, and the handler goes on to its last step (enabling the combo).
    for (int i = 0; i < 3; ++i)
        m_t->dialogs.expectMessage(u"Formulário: RankForm"_s);
    option(Ascending)->setChecked(true);
    QCOMPARE(m_t->dialogs.asked().size(), 3);
    for (const auto &asked : m_t->dialogs.asked())
        QCOMPARE(asked.icon, Dialogs::Icon::Critical);
    QVERIFY(combo()->isEnabled());
    QCOMPARE(m_refreshes, 0);
    QCOMPARE(rowOrder(), expectedRows(Natural));
}

void tst_RankForm::openForReusesOneWindow()
{
    RankForm *first = open();
    QVERIFY(first->isVisible());
    QVERIFY(first->isWindow());
    QCOMPARE(first->windowModality(), Qt::NonModal);
    QCOMPARE(first->parentWidget(), m_owner.get());
    QCOMPARE(first->cube(), m_cube.get());
    QVERIFY(!first->selectedField());
    QVERIFY(!option(Default)->isEnabled());

    RankForm *again = open(field(u"Ano"_s));
    QCOMPARE(again, first);
    QCOMPARE(m_owner->findChildren<RankForm *>().size(), 1);
    QCOMPARE(again->selectedField(), field(u"Ano"_s));
    QVERIFY(option(Default)->isEnabled());

    // hidden, it is shown again; from the menu nothing is chosen
    first->hide();
    QCOMPARE(open(), first);
    QVERIFY(first->isVisible());
    QVERIFY(!first->selectedField());
    QVERIFY(list()->selectedItems().isEmpty());

    // another analysis window gets its own
    QWidget otherOwner;
    QPointer<RankForm> other = RankForm::openFor(*m_t->context, m_cube.get(), &otherOwner, nullptr);
    QVERIFY(other);
    QVERIFY(other != first);
    QCOMPARE(open(), first);
    QCOMPARE(m_refreshes, 0);
    QCOMPARE(rowOrder(), expectedRows(Natural));
}

void tst_RankForm::closeButtonUnloads()
{
    RankForm *first = open(field(u"Conta"_s));
    clickOption(Ascending);
    QPointer<RankForm> closing = first;
    auto *close = m_form->findChild<QPushButton *>(u"CloseButton"_s);
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!first->isVisible());
    // until it is gone, openFor hands out a new window, not the closing one
    RankForm *next = open();
    QVERIFY(next != closing.data());
    QTRY_VERIFY(!closing);
    QCOMPARE(m_owner->findChildren<RankForm *>().size(), 1);
    // the order chosen before closing stays
    QCOMPARE(field(u"Conta"_s)->ascending(), 1);
    QCOMPARE(rowOrder(), expectedRows(Captions));
}

void tst_RankForm::grabWithRankedField(const QString &path)
{
    CubeField *account = field(u"Conta"_s);
    account->setRankingMode(RankingMode::Descending);
    account->setRankingDataField(1);
    m_cube->refresh();
    open(account);
    QCoreApplication::processEvents();
    QVERIFY(m_form->grab().save(path));
}

void tst_RankForm::screenshot()
{
    const QString target = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    if (target.isEmpty())
        QSKIP("TESSAL_SCREENSHOT_DIR not set");
    grabWithRankedField(QDir(target).filePath(u"rankform.png"_s));
    QCOMPARE(rowOrder(), expectedRows(Sum, true));
}

QTEST_MAIN(tst_RankForm)
#include "tst_rankform.moc"
