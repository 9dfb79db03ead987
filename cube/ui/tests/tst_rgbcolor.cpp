#include "cube/ui/rgbcolor.h"

#include <QTest>

using namespace tessal::cube;

class tst_rgbcolor : public QObject
{
    Q_OBJECT

private slots:
    void lowByteIsRed()
    {
        QCOMPARE(colorFromRgbLong(255), QColor(255, 0, 0));
        QCOMPARE(colorFromRgbLong(0x00ff00), QColor(0, 255, 0));
        QCOMPARE(colorFromRgbLong(0xff0000), QColor(0, 0, 255));
        QCOMPARE(colorFromRgbLong(16777215), QColor(Qt::white));
    }
    void roundTrip()
    {
        for (quint32 rgb : {0u, 255u, 0x123456u, 0xabcdefu, 16777215u})
            QCOMPARE(rgbLongFromColor(colorFromRgbLong(rgb)), rgb);
        QCOMPARE(rgbLongFromColor(QColor(Qt::green)), 0x00ff00u);
    }
};

QTEST_APPLESS_MAIN(tst_rgbcolor)
#include "tst_rgbcolor.moc"
