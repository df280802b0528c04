#include "outputs/waiter.h"

#include "platform/inputhold.h"

#include <QEventLoop>

namespace tavirin {

EventLoopWaiter::EventLoopWaiter(QList<QTimer*> heldTimers) {
    for (QTimer* t : heldTimers) held_.append(t);
}

void EventLoopWaiter::waitMs(int ms) {
    if (ms <= 0) return;
    QList<QPointer<QTimer>> paused;
    for (const QPointer<QTimer>& t : held_) {
        if (t && t->isActive()) {
            t->stop();
            paused.append(t);
        }
    }
    QEventLoop loop;
    QTimer done;
    done.setSingleShot(true);
    done.setTimerType(Qt::PreciseTimer);
    QObject::connect(&done, &QTimer::timeout, &loop, &QEventLoop::quit);
    done.start(ms);
    const inputhold::Holding holding;
    loop.exec(inputhold::flags());
    for (const QPointer<QTimer>& t : paused)
        if (t) t->start();
}

}  // namespace tavirin
