#include "cube/ui/commondialoghelper.h"
#include "testsupport/scripteddialogs.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTest>

using namespace tessal;
using namespace tessal::cube;
using namespace Qt::StringLiterals;

class tst_CommonDialogHelper : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void chosenColourComesAsRgbLong();
    void cancelGivesMinusOne();
    void customColoursStartAsTheSystemColours();
    void customColoursLiveAsLongAsTheHelper();

private:
    static QList<QColor> systemColours();
    test::ScriptedDialogs m_dialogs;
};

void tst_CommonDialogHelper::cleanup()
{
    TESSAL_VERIFY_DIALOGS(m_dialogs);
    m_dialogs.reset();
}

QList<QColor> tst_CommonDialogHelper::systemColours()
{
    QList<QColor> colours;
    for (int i = 0; i < CommonDialogHelper::CustomColourCount; ++i)
        colours << CommonDialogHelper::systemColour(i);
    return colours;
}

void tst_CommonDialogHelper::chosenColourComesAsRgbLong()
{
    CommonDialogHelper helper(m_dialogs);
    m_dialogs.answerColour(QColor(0x12, 0x34, 0x56));
    qint32 colour = 0;
    QVERIFY(helper.VBChooseColor(colour, 255));
    QCOMPARE(colour, 0x563412);
    QCOMPARE(helper.APIReturn(), 1);
    QCOMPARE(helper.ExtendedError(), 0);
    // the dialog opened at the colour it was given, red
    QCOMPARE(m_dialogs.asked().last().text, QColor(Qt::red).name());
}

void tst_CommonDialogHelper::cancelGivesMinusOne()
{
    CommonDialogHelper helper(m_dialogs);
    m_dialogs.answerColour(QColor(Qt::green));
    qint32 colour = 0;
    QVERIFY(helper.VBChooseColor(colour));
    m_dialogs.answerColour(std::nullopt);
    QVERIFY(!helper.VBChooseColor(colour, 0x00ff00));
    QCOMPARE(colour, -1);
    QCOMPARE(helper.APIReturn(), 0);
    QCOMPARE(helper.ExtendedError(), 0);
}

void tst_CommonDialogHelper::customColoursStartAsTheSystemColours()
{
    const QPalette palette = QGuiApplication::palette();
    QCOMPARE(CommonDialogHelper::systemColour(5), palette.color(QPalette::Active, QPalette::Base));
    QCOMPARE(CommonDialogHelper::systemColour(8), palette.color(QPalette::Active, QPalette::Text));
    QCOMPARE(CommonDialogHelper::systemColour(13),
             palette.color(QPalette::Active, QPalette::Highlight));
    QCOMPARE(CommonDialogHelper::systemColour(15),
             palette.color(QPalette::Active, QPalette::Button));
    QVERIFY(!CommonDialogHelper::systemColour(16).isValid());
    QVERIFY(!CommonDialogHelper::systemColour(-1).isValid());

    CommonDialogHelper helper(m_dialogs);
    QVERIFY(helper.customColours().isEmpty()); // nothing is read before the first dialog
    m_dialogs.answerColour(std::nullopt);
    qint32 colour = 0;
    helper.VBChooseColor(colour);
    QCOMPARE(m_dialogs.lastCustomColours(), systemColours());
    QCOMPARE(helper.customColours(), systemColours());
}

void tst_CommonDialogHelper::customColoursLiveAsLongAsTheHelper()
{
    QList<QColor> edited = systemColours();
    edited[0] = QColor(1, 2, 3);
    edited[15] = QColor(4, 5, 6);
    // a system colour equal to the edited ones would make the comparisons below pass vacuously
    QVERIFY(!systemColours().contains(QColor(1, 2, 3)));

    qint32 colour = 0;
    {
        CommonDialogHelper helper(m_dialogs);
        // the operator edits the custom colours and then cancels: the edit stays
        m_dialogs.answerColour(std::nullopt, edited);
        QVERIFY(!helper.VBChooseColor(colour));
        QCOMPARE(helper.customColours(), edited);
        m_dialogs.answerColour(QColor(Qt::blue));
        QVERIFY(helper.VBChooseColor(colour));
        QCOMPARE(m_dialogs.lastCustomColours(), edited);
    }
    // each press of a colour button makes a new helper, which starts from the system colours
    CommonDialogHelper next(m_dialogs);
    m_dialogs.answerColour(QColor(Qt::blue));
    QVERIFY(next.VBChooseColor(colour));
    QCOMPARE(m_dialogs.lastCustomColours(), systemColours());
}

QTEST_MAIN(tst_CommonDialogHelper)
#include "tst_commondialoghelper.moc"
