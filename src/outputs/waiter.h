#pragma once

#include <QList>
#include <QPointer>
#include <QTimer>

namespace tavirin {

// The pauses before music or radio start. They hold up the caller for the whole time.
class Waiter {
public:
    virtual ~Waiter() = default;
    virtual void waitMs(int ms) = 0;
};

// Waits in a local event loop that takes no user input: the window keeps repainting and
// answering the desktop, but no click or key gets in. The timers handed in (the window's
// own) are held for the wait and started again afterwards, so nothing of ours runs in the
// middle of it.
class EventLoopWaiter final : public Waiter {
public:
    explicit EventLoopWaiter(QList<QTimer*> heldTimers = {});
    void waitMs(int ms) override;

private:
    QList<QPointer<QTimer>> held_;
};

}  // namespace tavirin
