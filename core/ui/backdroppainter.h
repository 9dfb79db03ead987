#pragma once

#include <QObject>

class QWidget;

namespace tessal {

// Paints the banded cyan-to-black backdrop behind a window's controls, each time the window is
// painted, so a resize repaints it whole.
class BackdropPainter : public QObject
{
    Q_OBJECT
public:
    static void install(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};

} // namespace tessal
