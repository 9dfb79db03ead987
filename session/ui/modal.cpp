#include "session/ui/modal.h"

#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

namespace tessal {

namespace {

// Leaves the loop when the window is hidden, however that happens (Sair, Esc, the title bar).
class HideWatcher : public QObject
{
public:
    HideWatcher(QWidget *window, QEventLoop *loop)
        : QObject(window)
        , m_loop(loop)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide || event->type() == QEvent::Close)
            m_loop->quit();
        return false;
    }

private:
    QEventLoop *m_loop;
};

} // namespace

void runWindowModal(QWidget *window)
{
    QEventLoop loop;
    QPointer<QWidget> guard(window);
    auto *watcher = new HideWatcher(window, &loop);
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    loop.exec(QEventLoop::DialogExec);
    if (guard)
        delete watcher;
}

} // namespace tessal
