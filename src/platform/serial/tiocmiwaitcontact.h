#pragma once

#include "platform/contactline.h"

#include <QString>

#include <memory>

class QObject;

namespace tavirin {

// What the watching thread asks of a tty driver. The real one is the ioctls of an open port;
// a test hands in a stand-in whose wait blocks in the kernel the same way (interruptible by
// a signal, not woken by a close of its descriptor).
class ModemStatusSource {
public:
    struct Sample {
        int lines = 0;      // TIOCM_* bits
        qint64 moves = -1;  // the watched line's transitions so far; -1: the driver counts none
    };

    virtual ~ModemStatusSource() = default;
    // The lines now (TIOCGICOUNT, then TIOCMGET): 0, or the errno.
    virtual int read(int lineBit, Sample* out) = 0;
    // Blocks until the line moves (TIOCMIWAIT): 0; EINTR when a signal ended the wait;
    // another errno when the port is gone or cannot be waited on.
    virtual int waitForChange(int lineBit) = 0;
};

// ContactLine on a Linux tty. The port is opened with a plain open(2) rather than through
// QSerialPort: the descriptor is used by the watching thread alone, nothing is ever read or
// written, and the termios this needs (CLOCAL, so that DCD going low does not hang the tty
// up; no hardware flow control, which would own RTS) are set here in one place.
// Like QSerialPort it asks for exclusive use (TIOCEXCL); it takes no lock file.
//
// A thread of its own blocks in ioctl(TIOCMIWAIT) while the contact rests: no timer, no
// wake-up. After a move it reads the line and feeds a ContactDebouncer; while a hold is
// being timed it sleeps on a condition until the deadline (at most kHoldMs, only after a
// move) and reads again. Closures and a lost port are queued to the event loop of the thread
// that made the watcher.
//
// close() cannot rely on the descriptor: an ioctl in progress holds its own reference to the
// file, so closing the descriptor from another thread does not end the wait, and the serial
// drivers' waits do not end on a hangup either. The thread is woken with a signal of its own
// (SIGRTMIN, caught without SA_RESTART, so the wait returns EINTR), sent again every 10 ms
// until the thread has seen it, as one that lands just before the thread enters the ioctl is
// lost. The thread blocks every other signal, so the process's signals go elsewhere.
class TiocmiwaitContact final : public ContactLine {
public:
    // COM n is mapped as QtSerialLines maps it, under these roots (tests build a tree).
    explicit TiocmiwaitContact(QString devRoot = QStringLiteral("/dev"),
                               QString sysRoot = QStringLiteral("/sys"));
    ~TiocmiwaitContact() override;
    TiocmiwaitContact(const TiocmiwaitContact&) = delete;
    TiocmiwaitContact& operator=(const TiocmiwaitContact&) = delete;

    void setClosedHandler(ClosedHandler handler) override { closedHandler_ = std::move(handler); }
    void setLostHandler(LostHandler handler) override { lostHandler_ = std::move(handler); }

    Result open(const QString& port, Line line) override;
    bool isOpen() const override { return watch_ != nullptr; }
    void close() override;

    // Watches a source that is ready already (a test's stand-in for the driver); what open()
    // does once the port is set up. `name` is what the log calls it.
    Result watch(std::unique_ptr<ModemStatusSource> source, Line line, const QString& name);

private:
    struct Watch;
    static void watchLine(Watch* w, QObject* context, std::function<void()> onClosed,
                          std::function<void(QString)> onLost);
    void closed(quint64 generation);
    void lost(quint64 generation, const QString& reason);
    void stop();

    QString devRoot_;
    QString sysRoot_;
    ClosedHandler closedHandler_;
    LostHandler lostHandler_;
    std::unique_ptr<QObject> context_;  // receives what the thread queues
    std::unique_ptr<Watch> watch_;
    // Moves on at every stop, so that an event an old watch queued is dropped.
    quint64 generation_ = 0;
};

}  // namespace tavirin
