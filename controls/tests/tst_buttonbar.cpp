#include "controls/buttonbar.h"
#include "core/error.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using tessal::ButtonBar;

class tst_ButtonBar : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void groupsAreNumberedFromOne();
    void clickReportsGroupAndPosition_data();
    void clickReportsGroupAndPosition();
    void keyIsUniqueWithinItsGroup();
    void buttonsCarryCaptionTooltipAndImage();
    void collapsedGroupHidesItsButtons();
    void exclusiveBarKeepsOneGroupOpen();

private:
    static QIcon colouredIcon(Qt::GlobalColor colour);
    std::unique_ptr<ButtonBar> m_bar;
};

QIcon tst_ButtonBar::colouredIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(48, 48);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

void tst_ButtonBar::init()
{
    m_bar = std::make_unique<ButtonBar>();
    m_bar->setImages({colouredIcon(Qt::red), colouredIcon(Qt::green), colouredIcon(Qt::blue)});
    for (const QString &caption : {u"Cadastros"_s, u"Movimento"_s, u"Relatórios"_s})
        m_bar->addGroup(caption);
    m_bar->resize(220, 900);
    m_bar->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_bar.get()));
}

void tst_ButtonBar::cleanup()
{
    m_bar.reset();
}

void tst_ButtonBar::groupsAreNumberedFromOne()
{
    QCOMPARE(m_bar->groupCount(), 3);
    QCOMPARE(m_bar->group(1)->caption(), u"Cadastros"_s);
    QCOMPARE(m_bar->group(3)->number(), 3);
    QVERIFY(m_bar->group(0) == nullptr);
    QVERIFY(m_bar->group(4) == nullptr);
}

void tst_ButtonBar::clickReportsGroupAndPosition_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("position");
    QTest::newRow("first of first group") << 1 << 1;
    QTest::newRow("last of first group") << 1 << 3;
    QTest::newRow("second group, second button") << 2 << 2;
    QTest::newRow("third group, only button") << 3 << 1;
}

void tst_ButtonBar::clickReportsGroupAndPosition()
{
    QFETCH(int, group);
    QFETCH(int, position);
    // Groups of different sizes, so a position confused with a running index across the bar
    // would land on another group's button.
    const int sizes[] = {3, 2, 1};
    for (int g = 1; g <= 3; ++g)
        for (int p = 1; p <= sizes[g - 1]; ++p)
            m_bar->group(g)->addButton(u"K%1%2"_s.arg(p).arg(g), u"Opção %1"_s.arg(p), g);

    QSignalSpy clicks(m_bar.get(), &ButtonBar::buttonClicked);
    QToolButton *button = m_bar->findChild<QToolButton *>(u"K%1%2"_s.arg(position).arg(group));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks.size(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), group);
    QCOMPARE(clicks.at(0).at(1).toInt(), position);
}

void tst_ButtonBar::keyIsUniqueWithinItsGroup()
{
    m_bar->group(1)->addButton(u"K11"_s, u"Contas"_s, 1);
    QVERIFY_THROWS_EXCEPTION(tessal::Error, m_bar->group(1)->addButton(u"K11"_s, u"Outra"_s, 1));
    QCOMPARE(m_bar->group(1)->buttonCount(), 1);
    // The same key in another group is a different collection.
    QVERIFY(m_bar->group(2)->addButton(u"K11"_s, u"Lançamentos"_s, 2));
    QCOMPARE(m_bar->group(2)->buttonCount(), 1);
}

void tst_ButtonBar::buttonsCarryCaptionTooltipAndImage()
{
    QToolButton *added = m_bar->group(2)->addButton(u"K12"_s, u"Lançamentos"_s, 2);
    added->setToolTip(u"Lançamentos do caixa"_s);
    QCOMPARE(m_bar->group(2)->button(1), added);
    QCOMPARE(m_bar->group(2)->button(u"K12"_s), added);
    QCOMPARE(added->text(), u"Lançamentos"_s);
    QCOMPARE(added->toolTip(), u"Lançamentos do caixa"_s);
    const QImage image = added->icon().pixmap(48, 48).toImage();
    QCOMPARE(image.pixelColor(10, 10), QColor(Qt::green));
    // An index outside the image list leaves the button without a picture rather than failing.
    QVERIFY(m_bar->group(2)->addButton(u"K22"_s, u"Sem figura"_s, 9)->icon().isNull());
}

void tst_ButtonBar::collapsedGroupHidesItsButtons()
{
    QToolButton *first = m_bar->group(1)->addButton(u"K11"_s, u"Contas"_s, 1);
    QToolButton *other = m_bar->group(2)->addButton(u"K12"_s, u"Lançamentos"_s, 2);
    QVERIFY(first->isVisible());

    auto *header = m_bar->group(1)->findChild<QToolButton *>(u"header"_s);
    QVERIFY(header);
    QTest::mouseClick(header, Qt::LeftButton);
    QVERIFY(!m_bar->group(1)->isExpanded());
    QVERIFY(!first->isVisible());
    QVERIFY(other->isVisible());

    QTest::mouseClick(header, Qt::LeftButton);
    QVERIFY(m_bar->group(1)->isExpanded());
    QVERIFY(first->isVisible());
}

void tst_ButtonBar::exclusiveBarKeepsOneGroupOpen()
{
    QToolButton *first = m_bar->group(1)->addButton(u"K11"_s, u"Contas"_s, 1);
    QToolButton *second = m_bar->group(2)->addButton(u"K12"_s, u"Lançamentos"_s, 2);
    m_bar->setExclusive(true);
    QVERIFY(m_bar->group(1)->isExpanded());
    QVERIFY(!m_bar->group(2)->isExpanded());
    QVERIFY(!m_bar->group(3)->isExpanded());
    // A group added later starts folded.
    QVERIFY(!m_bar->addGroup(u"Consultas"_s)->isExpanded());

    QTest::mouseClick(m_bar->group(2)->findChild<QToolButton *>(u"header"_s), Qt::LeftButton);
    QVERIFY(m_bar->group(2)->isExpanded());
    QVERIFY(!m_bar->group(1)->isExpanded());
    QVERIFY(second->isVisible());
    QVERIFY(!first->isVisible());

    // Folding the open group leaves none open; that is the operator's choice.
    QTest::mouseClick(m_bar->group(2)->findChild<QToolButton *>(u"header"_s), Qt::LeftButton);
    for (int g = 1; g <= m_bar->groupCount(); ++g)
        QVERIFY(!m_bar->group(g)->isExpanded());
}

QTEST_MAIN(tst_ButtonBar)
#include "tst_buttonbar.moc"
