#include "cube/cube.h"
#include "cube/datamarkers.h"
#include "cube/tests/cubefixture.h"
#include "cube/ui/commondialoghelper.h"
#include "cube/ui/datamarkerseditorform.h"
#include "cube/ui/rgbcolor.h"
#include "testsupport/testcontext.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace tessal;
using namespace tessal::cube;
using namespace Qt::StringLiterals;

namespace {

const QString Sum = u"sumVL_LANCAMENTO"_s;
const QString Count = u"countVL_LANCAMENTO"_s;
constexpr quint32 Red = 255;
constexpr quint32 Green = 0x00ff00;
constexpr quint32 Blue = 0xff0000;

} // namespace

class tst_DataMarkersEditorForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlsAsTheFormNamesThem();
    void fieldListsOnlyItsOwnMarkers();
    void addThroughThePrompt();
    void cancelledOrEmptyPromptAddsNothing();
    void refusedRangesAreExplained();
    void editingALimitSwapsWhenItPassesTheOther();
    void limitMustBeNumeric();
    void enterChecksTheLowBoxFromEitherBox();
    void limitWithoutRangeBecomesZero();
    void focusSelectsTheWholeLimit();
    void deleteRemovesTheChosenMarker();
    void colourButtonsGoThroughTheColourDialog();
    void colourWithoutRangeChangesNothing();
    void looksRightOnScreen();

private:
    // prepares and shows the form over the cube and the markers as they are now
    void open();
    QLineEdit *limit(int index) const;
    QListWidget *ranges() const;
    QComboBox *fields() const;
    QStringList rangeLines() const;
    void click(const QString &button) const;
    void chooseRange(int row) const;
    // types `text` over box `index`'s contents and moves the focus on to the range list
    void typeAndLeave(int index, const QString &text) const;
    CellFormat formatOf(const QString &account, const QString &year, int dataField) const;

    std::unique_ptr<tessal::test::TestContext> m_t;
    std::unique_ptr<Cube> m_cube;
    DataMarkerCollection m_markers;
    std::unique_ptr<DataMarkersEditorForm> m_form;
    int m_refreshes = 0;
};

void tst_DataMarkersEditorForm::initTestCase()
{
    // the list writes the limits with the field's format in the program's locale
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
}

void tst_DataMarkersEditorForm::init()
{
    m_t = std::make_unique<tessal::test::TestContext>();
    m_cube = std::make_unique<Cube>();
    cube::test::defineEntriesCube(*m_cube);
    m_cube->loadRows(cube::test::entriesTable());
    m_markers = DataMarkerCollection();
    m_cube->setCellFormatHandler(
        [this](CellFormat &f) { applyDataMarkers(m_markers, *m_cube, f); });
    m_refreshes = 0;
    connect(m_cube.get(), &Cube::refreshed, this, [this] { ++m_refreshes; });
    m_form = std::make_unique<DataMarkersEditorForm>(*m_t->context);
}

void tst_DataMarkersEditorForm::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_t->dialogs);
    m_form.reset();
    m_cube.reset();
    m_t.reset();
}

void tst_DataMarkersEditorForm::open()
{
    m_form->prepare(*m_cube, m_markers);
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

QLineEdit *tst_DataMarkersEditorForm::limit(int index) const
{
    return m_form->findChild<QLineEdit *>(u"txtLimit_%1"_s.arg(index));
}

QListWidget *tst_DataMarkersEditorForm::ranges() const
{
    return m_form->findChild<QListWidget *>(u"lstRanges"_s);
}

QComboBox *tst_DataMarkersEditorForm::fields() const
{
    return m_form->findChild<QComboBox *>(u"cboDataMarkerField"_s);
}

QStringList tst_DataMarkersEditorForm::rangeLines() const
{
    QStringList lines;
    for (int i = 0; i < ranges()->count(); ++i)
        lines << ranges()->item(i)->text();
    return lines;
}

void tst_DataMarkersEditorForm::click(const QString &button) const
{
    auto *b = m_form->findChild<QPushButton *>(button);
    QVERIFY2(b, qPrintable(button));
    QTest::mouseClick(b, Qt::LeftButton);
}

void tst_DataMarkersEditorForm::chooseRange(int row) const
{
    QListWidget *list = ranges();
    list->setFocus(Qt::MouseFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
    QCOMPARE(list->currentRow(), row);
}

void tst_DataMarkersEditorForm::typeAndLeave(int index, const QString &text) const
{
    QLineEdit *box = limit(index);
    box->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), box);
    box->selectAll();
    QTest::keyClicks(box, text);
    ranges()->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
}

CellFormat tst_DataMarkersEditorForm::formatOf(const QString &account, const QString &year,
                                               int dataField) const
{
    for (int r = 0; r < m_cube->rowCount(); ++r) {
        if (m_cube->rowHeadingText(1, r) != account)
            continue;
        for (int c = 0; c < m_cube->columnCount(); ++c) {
            if (m_cube->columnHeadingText(1, c) == year && m_cube->dataFieldAt(c) == dataField)
                return m_cube->cellFormat(c, r);
        }
    }
    qFatal("no cell %s %s", qPrintable(account), qPrintable(year));
}

void tst_DataMarkersEditorForm::controlsAsTheFormNamesThem()
{
    open();
    QCOMPARE(m_form->windowTitle(), u"Gerador de Marcadores"_s);
    const QList<std::tuple<QString, QString, QString>> labels{
        {u"lblDataField"_s, u"Campos:"_s, u"cboDataMarkerField"_s},
        {u"lblRange"_s, u"&De:"_s, u"txtLimit_0"_s},
        {u"lblRangeTo"_s, u"&Até:"_s, u"txtLimit_1"_s},
        {u"lblBackColor"_s, u"&Cor de Fundo:"_s, u"cmdDMBackColor"_s},
        {u"lblForeColor"_s, u"Cor da &Fonte"_s, u"cmdDMForeColor"_s}};
    for (const auto &[name, text, buddy] : labels) {
        auto *l = m_form->findChild<QLabel *>(name);
        QVERIFY2(l, qPrintable(name));
        QCOMPARE(l->text(), text);
        QVERIFY2(l->buddy(), qPrintable(name));
        QCOMPARE(l->buddy()->objectName(), buddy);
    }
    const QList<std::pair<QString, QString>> buttons{{u"cmdDMBackColor"_s, u"..."_s},
                                                     {u"cmdDMForeColor"_s, u"..."_s},
                                                     {u"cmdAdd"_s, u"&Incluir"_s},
                                                     {u"cmdDelete"_s, u"&Remover"_s}};
    for (const auto &[name, text] : buttons) {
        auto *b = m_form->findChild<QPushButton *>(name);
        QVERIFY2(b, qPrintable(name));
        QCOMPARE(b->text(), text);
    }
    QVERIFY(ranges());
    for (int index : {0, 1}) {
        QVERIFY(limit(index));
        QCOMPARE(limit(index)->property("index").toInt(), index);
    }
    // the data fields by caption, each keeping its position among the data fields
    QCOMPARE(fields()->count(), 2);
    QCOMPARE(fields()->itemText(0), u"Valor"_s);
    QCOMPARE(fields()->itemData(0).toInt(), 0);
    QCOMPARE(fields()->itemText(1), u"Quantidade"_s);
    QCOMPARE(fields()->itemData(1).toInt(), 1);
    QCOMPARE(fields()->currentIndex(), 0);
    // nothing to remove while no range is chosen
    QVERIFY(!m_form->findChild<QPushButton *>(u"cmdDelete"_s)->isEnabled());
    QCOMPARE(m_form->selectedMarker(), 0);
}

void tst_DataMarkersEditorForm::fieldListsOnlyItsOwnMarkers()
{
    m_markers.Add(Red, Green, 1, 2, Count);
    m_markers.Add(Red, Green, 1234.5, 5000, Sum);
    m_markers.Add(Red, Green, 3, 4, Count);
    m_markers.Add(Blue, Red, -2, 4.9, Sum);
    m_markers.Add(Red, Green, 0, 9, u"outro"_s);
    open();
    // "#,##0.00" in pt-BR
    QCOMPARE(rangeLines(), (QStringList{u"1.234,50 - 5.000,00"_s, u"-2,00 - 4,90"_s}));
    QCOMPARE(ranges()->item(0)->data(Qt::UserRole).toInt(), 2);
    QCOMPARE(ranges()->item(1)->data(Qt::UserRole).toInt(), 4);
    // the first is chosen and shown
    QCOMPARE(ranges()->currentRow(), 0);
    QCOMPARE(m_form->selectedMarker(), 2);
    QCOMPARE(limit(0)->text(), u"1234,5"_s);
    QCOMPARE(limit(1)->text(), u"5000"_s);
    QVERIFY(m_form->findChild<QPushButton *>(u"cmdDelete"_s)->isEnabled());

    chooseRange(1);
    QCOMPARE(m_form->selectedMarker(), 4);
    QCOMPARE(limit(0)->text(), u"-2"_s);
    QCOMPARE(limit(1)->text(), u"4,9"_s);
    QCOMPARE(
        m_form->findChild<QPushButton *>(u"cmdDMBackColor"_s)->palette().color(QPalette::Button),
        colorFromRgbLong(Red));
    QCOMPARE(
        m_form->findChild<QPushButton *>(u"cmdDMForeColor"_s)->palette().color(QPalette::Button),
        colorFromRgbLong(Blue));

    // the count has no format: its limits as plain numbers
    fields()->setCurrentIndex(1);
    QCOMPARE(rangeLines(), (QStringList{u"1 - 2"_s, u"3 - 4"_s}));
    QCOMPARE(m_form->selectedMarker(), 1);
    QCOMPARE(limit(1)->text(), u"2"_s);
}

void tst_DataMarkersEditorForm::addThroughThePrompt()
{
    m_markers.Add(Red, Green, 0, 1, Count);
    open();
    QVERIFY(rangeLines().isEmpty());
    m_t->dialogs.answerInput(u"(2) - 4.9"_s);
    click(u"cmdAdd"_s);
    const tessal::test::ScriptedDialogs::Asked asked = m_t->dialogs.asked().last();
    QCOMPARE(asked.kind, tessal::test::ScriptedDialogs::Kind::Input);
    QCOMPARE(asked.title, u"New Data Marker"_s);
    QCOMPARE(asked.text,
             u"Entre com a faixa de valores desejada para Valor. Usando como separador (-) para "
             "valores negatigos use parenteses.\r\n\r\n\r\n\"(2) - 4.9"_s);

    QCOMPARE(m_markers.Count(), 2);
    const dataMarker &added = m_markers.Item(2);
    QCOMPARE(added.LowValue, -2.0);
    QCOMPARE(added.HighValue, 4.9);
    QCOMPARE(added.ForeColor, 255u);
    QCOMPARE(added.BackColor, 16777215u);
    QCOMPARE(added.dataFieldName, Sum);
    QCOMPARE(rangeLines(), (QStringList{u"-2,00 - 4,90"_s}));
    QCOMPARE(m_form->selectedMarker(), 2);
    QCOMPARE(limit(0)->text(), u"-2"_s);
    QVERIFY(m_refreshes > 0);

    // a second one, typed backwards in pt-BR, joins the end of the list
    m_t->dialogs.answerInput(u"150 - 50,5"_s);
    QVERIFY(m_form->NewDataMarker(Sum));
    QCOMPARE(m_markers.Item(3).LowValue, 50.5);
    QCOMPARE(m_markers.Item(3).HighValue, 150.0);
    // NewDataMarker alone leaves the list to its caller
    QCOMPARE(rangeLines().size(), 1);
    m_t->dialogs.answerInput(u"300 - 400"_s);
    click(u"cmdAdd"_s); // the button refreshes it
    QCOMPARE(rangeLines(),
             (QStringList{u"-2,00 - 4,90"_s, u"50,50 - 150,00"_s, u"300,00 - 400,00"_s}));
    // red on white now shows on the cube's 75 and 120 of Caixa
    QCOMPARE(formatOf(u"Caixa"_s, u"2023"_s, 0).backColor, 16777215u);
    QCOMPARE(formatOf(u"Caixa"_s, u"2023"_s, 0).foreColor, Red);
    QCOMPARE(formatOf(u"Banco"_s, u"2023"_s, 0).foreColor, 0u); // 30: outside both

    // the prompt names the field by its caption
    fields()->setCurrentIndex(1);
    m_t->dialogs.answerInput(u"1 - 1"_s);
    click(u"cmdAdd"_s);
    QVERIFY(m_t->dialogs.asked().last().text.contains(u"desejada para Quantidade."_s));
    QCOMPARE(rangeLines(), (QStringList{u"0 - 1"_s, u"1 - 1"_s}));
}

void tst_DataMarkersEditorForm::cancelledOrEmptyPromptAddsNothing()
{
    open();
    m_t->dialogs.answerInput(std::nullopt);
    click(u"cmdAdd"_s);
    m_t->dialogs.answerInput(QString());
    QVERIFY(!m_form->NewDataMarker(Sum));
    QCOMPARE(m_markers.Count(), 0);
    QCOMPARE(m_refreshes, 0);
    QVERIFY(rangeLines().isEmpty());
}

void tst_DataMarkersEditorForm::refusedRangesAreExplained()
{
    open();
    m_t->dialogs.answerInput(u"-3 - 4"_s);
    m_t->dialogs.expectMessage(u"Invalid Data Marker range."_s);
    click(u"cmdAdd"_s);
    tessal::test::ScriptedDialogs::Asked told = m_t->dialogs.asked().last();
    QCOMPARE(told.text, u"Invalid Data Marker range."_s);
    QCOMPARE(told.title, u"Please Try Again..."_s);
    QCOMPARE(told.icon, Dialogs::Icon::Information);

    m_t->dialogs.answerInput(u"1 - x"_s);
    m_t->dialogs.expectMessage();
    QVERIFY(!m_form->NewDataMarker(Sum));
    told = m_t->dialogs.asked().last();
    QCOMPARE(told.text, u"'x' is not a valid number."_s);
    QCOMPARE(told.title, u"Please Try Again..."_s);
    QCOMPARE(told.icon, Dialogs::Icon::Warning);

    QCOMPARE(m_markers.Count(), 0);
    QVERIFY(rangeLines().isEmpty());
    QCOMPARE(m_refreshes, 0);
}

void tst_DataMarkersEditorForm::editingALimitSwapsWhenItPassesTheOther()
{
    m_markers.Add(Red, Green, 0, 10, Sum);
    open();
    QCOMPARE(formatOf(u"Caixa"_s, u"2023"_s, 0).backColor, White);

    // the low box past the high limit: the old high becomes the low one
    typeAndLeave(0, u"50"_s);
    QCOMPARE(m_markers.Item(1).LowValue, 10.0);
    QCOMPARE(m_markers.Item(1).HighValue, 50.0);
    QCOMPARE(rangeLines(), (QStringList{u"10,00 - 50,00"_s}));
    // both boxes show the marker as kept, or editing the high box next would undo the swap
    QCOMPARE(limit(0)->text(), u"10"_s);
    QCOMPARE(limit(1)->text(), u"50"_s);

    // the high box below the low limit: the old low becomes the high one
    typeAndLeave(1, u"(5)"_s);
    QCOMPARE(m_markers.Item(1).LowValue, -5.0);
    QCOMPARE(m_markers.Item(1).HighValue, 10.0);
    QCOMPARE(rangeLines(), (QStringList{u"-5,00 - 10,00"_s}));

    // within the range: just that limit
    typeAndLeave(1, u"80,5"_s);
    typeAndLeave(0, u"70"_s);
    QCOMPARE(m_markers.Item(1).LowValue, 70.0);
    QCOMPARE(m_markers.Item(1).HighValue, 80.5);
    QCOMPARE(rangeLines(), (QStringList{u"70,00 - 80,50"_s}));
    // the cube was refreshed and its 75 now takes the marker's colours
    const CellFormat cell = formatOf(u"Caixa"_s, u"2023"_s, 0);
    QCOMPARE(cell.backColor, Green);
    QCOMPARE(cell.foreColor, Red);
    QVERIFY(m_refreshes >= 4);
}

void tst_DataMarkersEditorForm::limitMustBeNumeric()
{
    m_markers.Add(Red, Green, 0, 10, Sum);
    open();
    m_t->dialogs.expectMessage();
    typeAndLeave(0, u"abc"_s);
    const tessal::test::ScriptedDialogs::Asked told = m_t->dialogs.asked().last();
    QCOMPARE(told.text, u"Number must be Numeric"_s);
    QCOMPARE(told.title, u"Invalid Value"_s);
    QCOMPARE(told.icon, Dialogs::Icon::Warning);
    // the box keeps the focus and what was typed; the marker is as it was
    QTRY_COMPARE(QApplication::focusWidget(), limit(0));
    QCOMPARE(limit(0)->text(), u"abc"_s);
    QCOMPARE(m_markers.Item(1).LowValue, 0.0);
    QCOMPARE(m_markers.Item(1).HighValue, 10.0);
    QCOMPARE(m_refreshes, 0);
    // the same check answers directly
    m_t->dialogs.expectMessage(u"Number must be Numeric"_s);
    QVERIFY(!m_form->txtLimit_Validate(0));
    limit(0)->setText(u"3"_s);
    QVERIFY(m_form->txtLimit_Validate(0));
    QCOMPARE(m_markers.Item(1).LowValue, 3.0);
}

void tst_DataMarkersEditorForm::enterChecksTheLowBoxFromEitherBox()
{
    m_markers.Add(Red, Green, 0, 10, Sum);
    open();
    // Enter in the low box
    QLineEdit *low = limit(0);
    low->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), low);
    low->selectAll();
    QTest::keyClicks(low, u"4"_s);
    QTest::keyClick(low, Qt::Key_Return);
    QCOMPARE(m_markers.Item(1).LowValue, 4.0);
    QCOMPARE(rangeLines(), (QStringList{u"4,00 - 10,00"_s}));
    QCOMPARE(m_form->isVisible(), true); // Enter pressed no button of the form

    // Enter in the high box checks the low box, and leaves what is typed in the high one
    low->setText(u"3"_s);
    QLineEdit *high = limit(1);
    high->setFocus(Qt::TabFocusReason); // the low box is checked on leaving, too
    QTRY_COMPARE(QApplication::focusWidget(), high);
    QCOMPARE(m_markers.Item(1).LowValue, 3.0);
    low->setText(u"2"_s);
    high->selectAll();
    QTest::keyClicks(high, u"7"_s);
    QTest::keyClick(high, Qt::Key_Enter);
    QCOMPARE(m_markers.Item(1).LowValue, 2.0);
    QCOMPARE(m_markers.Item(1).HighValue, 10.0);
    QCOMPARE(high->text(), u"7"_s);
    QCOMPARE(QApplication::focusWidget(), high);

    // a refused low box is reported from the high box's Enter as well
    low->setText(u"x"_s);
    m_t->dialogs.expectMessage(u"Number must be Numeric"_s);
    QTest::keyClick(high, Qt::Key_Return);
    QCOMPARE(m_markers.Item(1).LowValue, 2.0);
}

void tst_DataMarkersEditorForm::limitWithoutRangeBecomesZero()
{
    m_markers.Add(Red, Green, 0, 10, Count);
    open();
    QCOMPARE(m_form->selectedMarker(), 0);
    typeAndLeave(0, u"12"_s);
    QCOMPARE(limit(0)->text(), u"0"_s);
    QCOMPARE(limit(1)->text(), u"0"_s);
    // not even a number is checked: there is nothing it could go to
    typeAndLeave(1, u"abc"_s);
    QCOMPARE(limit(1)->text(), u"0"_s);
    QCOMPARE(m_markers.Count(), 1);
    QCOMPARE(m_markers.Item(1).HighValue, 10.0);
    QCOMPARE(m_refreshes, 0);
}

void tst_DataMarkersEditorForm::focusSelectsTheWholeLimit()
{
    m_markers.Add(Red, Green, 12.5, 300, Sum);
    open();
    for (int index : {0, 1}) {
        QLineEdit *box = limit(index);
        box->deselect();
        // a click would leave the cursor where it fell; the whole text must be chosen instead
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() / 2, box->height() / 2));
        QTRY_COMPARE(QApplication::focusWidget(), box);
        QTRY_COMPARE(box->selectedText(), box->text());
        QVERIFY(!box->text().isEmpty());
    }
    // typing replaces the limit rather than adding to it
    QTest::keyClicks(limit(1), u"200"_s);
    QTest::keyClick(limit(1), Qt::Key_Tab);
    QCOMPARE(m_markers.Item(1).HighValue, 200.0);
}

void tst_DataMarkersEditorForm::deleteRemovesTheChosenMarker()
{
    m_markers.Add(Red, Green, 0, 100, Sum);
    m_markers.Add(Red, Blue, 1, 5, Count);
    m_markers.Add(Blue, Red, 50, 150, Sum);
    open();
    QCOMPARE(formatOf(u"Caixa"_s, u"2023"_s, 0).backColor, Red);
    chooseRange(1);
    QCOMPARE(m_form->selectedMarker(), 3);
    click(u"cmdDelete"_s);
    QCOMPARE(m_markers.Count(), 2);
    QCOMPARE(m_markers.Item(1).HighValue, 100.0);
    QCOMPARE(m_markers.Item(2).dataFieldName, Count);
    QCOMPARE(rangeLines(), (QStringList{u"0,00 - 100,00"_s}));
    QCOMPARE(m_form->selectedMarker(), 1);
    QCOMPARE(formatOf(u"Caixa"_s, u"2023"_s, 0).backColor, Green);

    click(u"cmdDelete"_s);
    QCOMPARE(m_markers.Count(), 1);
    QCOMPARE(m_markers.Item(1).dataFieldName, Count);
    QVERIFY(rangeLines().isEmpty());
    QCOMPARE(m_form->selectedMarker(), 0);
    QCOMPARE(limit(0)->text(), QString());
    QVERIFY(!m_form->findChild<QPushButton *>(u"cmdDelete"_s)->isEnabled());
    QCOMPARE(formatOf(u"Caixa"_s, u"2023"_s, 0).backColor, White);
    // with nothing chosen the button does nothing, even when pressed from code
    m_form->findChild<QPushButton *>(u"cmdDelete"_s)->click();
    QCOMPARE(m_markers.Count(), 1);
}

void tst_DataMarkersEditorForm::colourButtonsGoThroughTheColourDialog()
{
    m_markers.Add(Red, Green, 0, 100, Sum);
    open();
    auto *back = m_form->findChild<QPushButton *>(u"cmdDMBackColor"_s);
    auto *fore = m_form->findChild<QPushButton *>(u"cmdDMForeColor"_s);
    QCOMPARE(back->palette().color(QPalette::Button), colorFromRgbLong(Green));

    m_t->dialogs.answerColour(QColor(Qt::blue));
    click(u"cmdDMBackColor"_s);
    // the dialog opened at the marker's colour, with the desktop's colours as custom ones
    QCOMPARE(m_t->dialogs.asked().last().text, QColor(Qt::green).name());
    QCOMPARE(m_t->dialogs.lastCustomColours().size(), CommonDialogHelper::CustomColourCount);
    QCOMPARE(m_t->dialogs.lastCustomColours().first(), CommonDialogHelper::systemColour(0));
    QCOMPARE(m_markers.Item(1).BackColor, Blue);
    QCOMPARE(back->palette().color(QPalette::Button), QColor(Qt::blue));
    QCOMPARE(formatOf(u"Caixa"_s, u"2023"_s, 0).backColor, Blue);
    const int refreshes = m_refreshes;

    m_t->dialogs.answerColour(std::nullopt);
    click(u"cmdDMBackColor"_s);
    QCOMPARE(m_markers.Item(1).BackColor, Blue);
    QCOMPARE(back->palette().color(QPalette::Button), QColor(Qt::blue));
    QCOMPARE(m_refreshes, refreshes);

    m_t->dialogs.answerColour(QColor(0x10, 0x20, 0x30));
    click(u"cmdDMForeColor"_s);
    QCOMPARE(m_t->dialogs.asked().last().text, QColor(Qt::red).name());
    QCOMPARE(m_markers.Item(1).ForeColor, 0x302010u);
    QCOMPARE(m_markers.Item(1).BackColor, Blue);
    QCOMPARE(fore->palette().color(QPalette::Button), QColor(0x10, 0x20, 0x30));
    QCOMPARE(formatOf(u"Caixa"_s, u"2023"_s, 0).foreColor, 0x302010u);

    m_t->dialogs.answerColour(std::nullopt);
    click(u"cmdDMForeColor"_s);
    QCOMPARE(m_markers.Item(1).ForeColor, 0x302010u);
}

void tst_DataMarkersEditorForm::colourWithoutRangeChangesNothing()
{
    m_markers.Add(Red, Green, 0, 100, Count);
    open();
    // no colour dialog is scripted: one asked for would fail in cleanup()
    click(u"cmdDMBackColor"_s);
    click(u"cmdDMForeColor"_s);
    QCOMPARE(m_markers.Item(1).BackColor, Green);
    QCOMPARE(m_markers.Item(1).ForeColor, Red);
    QCOMPARE(m_refreshes, 0);
}

void tst_DataMarkersEditorForm::looksRightOnScreen()
{
    m_markers.Add(Red, Green, 0, 100, Sum);
    m_markers.Add(Blue, 0x00ffff, 1000, 250000.75, Sum);
    open();
    chooseRange(1);
    // every label and button shows its whole caption, and no two controls overlap
    const QList<QWidget *> controls = m_form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *w : controls) {
        if (!w->isVisible())
            continue;
        if (auto *l = qobject_cast<QLabel *>(w))
            QVERIFY2(l->width() >= l->minimumSizeHint().width(), qPrintable(l->objectName()));
        if (auto *b = qobject_cast<QPushButton *>(w))
            QVERIFY2(b->width() >= b->fontMetrics().horizontalAdvance(b->text()) + 8,
                     qPrintable(b->objectName()));
        for (QWidget *other : controls) {
            if (other != w && other->isVisible())
                QVERIFY2(!w->geometry().intersects(other->geometry()),
                         qPrintable(w->objectName() + u" over "_s + other->objectName()));
        }
    }
    // the list shows its longest line whole
    QListWidget *list = ranges();
    QVERIFY(list->visualItemRect(list->item(1)).width() >=
            list->fontMetrics().horizontalAdvance(list->item(1)->text()));
    const QString target = qEnvironmentVariable("TESSAL_SCREENSHOT_DIR");
    const QImage image = m_form->grab().toImage();
    QVERIFY(!image.isNull());
    if (!target.isEmpty())
        QVERIFY(image.save(QDir(target).filePath(u"datamarkerseditorform.png"_s)));
    // a field without markers: empty boxes and the colour buttons as plain buttons
    fields()->setCurrentIndex(1);
    QVERIFY(rangeLines().isEmpty());
    const QImage empty = m_form->grab().toImage();
    QVERIFY(!empty.isNull());
    if (!target.isEmpty())
        QVERIFY(empty.save(QDir(target).filePath(u"datamarkerseditorform-vazio.png"_s)));
}

QTEST_MAIN(tst_DataMarkersEditorForm)
#include "tst_datamarkerseditorform.moc"
