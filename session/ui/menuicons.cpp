#include "session/ui/menuicons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

constexpr int kSide = 64;

// A rounded tile in the group's colour; each icon then draws its own sign on it in white.
QPixmap tile(const QColor &colour)
{
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, kSide);
    gradient.setColorAt(0, colour.lighter(140));
    gradient.setColorAt(1, colour.darker(130));
    painter.setPen(QPen(colour.darker(170), 1.5));
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(2, 2, kSide - 4, kSide - 4), 12, 12);
    return pixmap;
}

QPen sign(qreal width = 4)
{
    return QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QIcon registersIcon() // a card index
{
    QPixmap pixmap = tile(QColor(0x1f, 0x6f, 0xc5));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(sign(3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(14, 18, 36, 28), 3, 3);
    p.drawLine(QPointF(20, 27), QPointF(44, 27));
    p.drawLine(QPointF(20, 33), QPointF(44, 33));
    p.drawLine(QPointF(20, 39), QPointF(36, 39));
    p.drawLine(QPointF(22, 18), QPointF(22, 13));
    p.drawLine(QPointF(22, 13), QPointF(34, 13));
    return QIcon(pixmap);
}

QIcon movementIcon() // a stack of coins
{
    QPixmap pixmap = tile(QColor(0xd8, 0x9b, 0x16));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x8a, 0x5a, 0x00), 2));
    p.setBrush(QColor(0xff, 0xe0, 0x70));
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QRectF(14, 40 - i * 7, 36, 12));
    p.setPen(sign(3));
    p.drawText(QRectF(14, 19, 36, 12), Qt::AlignCenter, u"$"_s);
    return QIcon(pixmap);
}

QIcon reportsIcon() // a sheet with a bar chart
{
    QPixmap pixmap = tile(QColor(0x2e, 0x9a, 0x4a));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(sign(2.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(16, 12, 32, 40));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(21, 36, 5, 10));
    p.drawRect(QRectF(29, 28, 5, 18));
    p.drawRect(QRectF(37, 22, 5, 24));
    return QIcon(pixmap);
}

QIcon queriesIcon() // a magnifying glass
{
    QPixmap pixmap = tile(QColor(0x7a, 0x3f, 0xb5));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(sign(5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(14, 12, 24, 24));
    p.drawLine(QPointF(35, 33), QPointF(48, 48));
    return QIcon(pixmap);
}

QIcon toolsIcon() // a gear
{
    QPixmap pixmap = tile(QColor(0x5b, 0x67, 0x72));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(kSide / 2.0, kSide / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-4, -21, 8, 10));
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 14, 14);
    p.setBrush(QColor(0x5b, 0x67, 0x72));
    p.drawEllipse(QPointF(0, 0), 6, 6);
    return QIcon(pixmap);
}

} // namespace

QList<MenuGroup> menuGroups()
{
    return {
        {u"Cadastros"_s, registersIcon()}, {u"Movimento"_s, movementIcon()},
        {u"Relatórios"_s, reportsIcon()},  {u"Consultas"_s, queriesIcon()},
        {u"Utilitários"_s, toolsIcon()},
    };
}

QPixmap productPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);
    // The drawer.
    QLinearGradient body(0, 40, 0, 90);
    body.setColorAt(0, QColor(0x3a, 0x4a, 0x5a));
    body.setColorAt(1, QColor(0x12, 0x1c, 0x26));
    p.setPen(QPen(QColor(0x0a, 0x10, 0x16), 2));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(8, 44, 84, 44), 6, 6);
    p.setBrush(QColor(0x00, 0xb4, 0xc8));
    p.drawRoundedRect(QRectF(16, 54, 68, 12), 3, 3);
    p.setBrush(QColor(0xe0, 0xe6, 0xea));
    p.drawRoundedRect(QRectF(40, 72, 20, 6), 2, 2);
    // The coin.
    p.setBrush(QColor(0xff, 0xc8, 0x2e));
    p.setPen(QPen(QColor(0x9a, 0x6a, 0x00), 3));
    p.drawEllipse(QRectF(30, 6, 40, 40));
    QFont font = p.font();
    font.setPixelSize(26);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0x9a, 0x6a, 0x00));
    p.drawText(QRectF(30, 6, 40, 40), Qt::AlignCenter, u"$"_s);
    return pixmap;
}

} // namespace tessal
