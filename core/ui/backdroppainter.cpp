#include "core/ui/backdroppainter.h"

#include "core/backdrop.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace tessal {

void BackdropPainter::install(QWidget *window)
{
    auto *painter = new BackdropPainter(window);
    window->installEventFilter(painter);
    window->setAttribute(Qt::WA_StyledBackground, false);
    window->setAutoFillBackground(false);
}

bool BackdropPainter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint) {
        auto *widget = static_cast<QWidget *>(watched);
        QPainter painter(widget);
        const int width = widget->width();
        for (const BackdropBand &band : backdropBands(widget->height()))
            painter.fillRect(0, band.top, width, band.height, QColor(band.colour));
    } else if (event->type() == QEvent::Resize) {
        static_cast<QWidget *>(watched)->update();
    }
    return false;
}

} // namespace tessal
