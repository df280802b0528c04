#include "platform/serial/tiocmiwaitcontact.h"

#include "platform/logging.h"
#include "platform/serial/qtseriallines.h"

#include <QFile>
#include <QMetaObject>
#include <QObject>
#include <QRegularExpression>

#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace tavirin {

namespace {

using SteadyClock = std::chrono::steady_clock;

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

SteadyClock::time_point steadyAt(qint64 ms) {
    return SteadyClock::time_point(std::chrono::milliseconds(ms));
}

int bitFor(ContactLine::Line line) {
    switch (line) {
        case ContactLine::Line::Cts:
            return TIOCM_CTS;
        case ContactLine::Line::Dsr:
            return TIOCM_DSR;
        case ContactLine::Line::Dcd:
            return TIOCM_CD;
    }
    return TIOCM_DSR;
}

QString errnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// Why the lines cannot be read or waited on.
QString lineError(int err) {
    switch (err) {
        case ENOTTY:
        case EINVAL:
            return QStringLiteral(
                "the device has no modem lines (a pseudo-terminal, or not a serial port)");
        case EIO:
        case ENODEV:
        case ENXIO:
            return QStringLiteral("the port is gone (") + errnoText(err) +
                   QStringLiteral("; an adapter unplugged?)");
        default:
            return errnoText(err);
    }
}

// Why the wait for a move failed, on a port whose lines could be read.
QString waitError(int err) {
    if (err == ENOTTY || err == EINVAL)
        return QStringLiteral("the driver cannot wait for the line to move (TIOCMIWAIT)");
    return lineError(err);
}

QString openError(int err) {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return QStringLiteral("no such device");
        case EACCES:
        case EPERM:
            return QStringLiteral("not allowed (the user must be in the group dialout)");
        case EBUSY:
            return QStringLiteral("held by another program");
        default:
            return errnoText(err);
    }
}

// The signal that ends the thread's wait in the kernel. Nothing else in the program uses the
// real-time signals.
int wakeSignal() {
    return SIGRTMIN;
}

extern "C" void onWakeSignal(int) {}

bool installWakeSignal() {
    static const bool installed = [] {
        struct sigaction sa = {};
        sa.sa_handler = onWakeSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;  // no SA_RESTART: the ioctl must return EINTR, not wait on
        if (::sigaction(wakeSignal(), &sa, nullptr) == 0) return true;
        qCWarning(lcRelay) << "contact: cannot catch the wake signal:" << std::strerror(errno);
        return false;
    }();
    return installed;
}

// The ioctls of an open port, which it owns: it drops the lines, puts back the settings it
// found and closes the descriptor when it goes.
class TtyModemStatus final : public ModemStatusSource {
public:
    TtyModemStatus(int fd, const termios& found, bool counts)
        : fd_(fd), found_(found), counts_(counts) {}
    ~TtyModemStatus() override {
        // Each may fail on a port that is gone; the descriptor is closed all the same.
        const int both = TIOCM_DTR | TIOCM_RTS;
        ::ioctl(fd_, TIOCMBIC, &both);
        ::tcsetattr(fd_, TCSANOW, &found_);
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    TtyModemStatus(const TtyModemStatus&) = delete;
    TtyModemStatus& operator=(const TtyModemStatus&) = delete;

    int read(int lineBit, Sample* out) override {
        Sample s;
        if (counts_) {
            serial_icounter_struct counts = {};
            if (::ioctl(fd_, TIOCGICOUNT, &counts) != 0) return errno;
            s.moves = lineBit == TIOCM_CTS   ? counts.cts
                      : lineBit == TIOCM_DSR ? counts.dsr
                                             : counts.dcd;
        }
        if (::ioctl(fd_, TIOCMGET, &s.lines) != 0) return errno;
        *out = s;
        return 0;
    }

    int waitForChange(int lineBit) override {
        return ::ioctl(fd_, TIOCMIWAIT, static_cast<unsigned long>(lineBit)) == 0 ? 0 : errno;
    }

private:
    int fd_;
    termios found_;
    bool counts_;
};

}  // namespace

// The state the watching thread shares with the adapter.
struct TiocmiwaitContact::Watch {
    std::unique_ptr<ModemStatusSource> source;
    int bit = 0;
    QString name;  // for the log; read on the adapter's thread only
    ModemStatusSource::Sample first;

    std::mutex mutex;
    std::condition_variable wake;      // stopping was set
    std::condition_variable finished;  // done was set
    bool stopping = false;
    bool done = false;
    std::thread thread;
};

TiocmiwaitContact::TiocmiwaitContact(QString devRoot, QString sysRoot)
    : devRoot_(std::move(devRoot)),
      sysRoot_(std::move(sysRoot)),
      context_(std::make_unique<QObject>()) {}

TiocmiwaitContact::~TiocmiwaitContact() {
    close();
}

static Result contactFailure(const QString& why) {
    qCWarning(lcRelay).noquote() << "contact:" << why;
    return Result::failure(why);
}

Result TiocmiwaitContact::open(const QString& port, Line line) {
    if (watch_)
        return contactFailure(port + QStringLiteral(": a contact is watched already on ") +
                              watch_->name);
    QString device = port.trimmed();
    static const QRegularExpression comName(QStringLiteral("^COM\\s*(\\d+)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = comName.match(device); m.hasMatch()) {
        // The same rule as the relay's port, so that the settings can name both alike.
        device = QtSerialLines(devRoot_, sysRoot_).deviceFor(m.captured(1).toInt());
        if (device.isEmpty()) return contactFailure(port + QStringLiteral(": no such device"));
    }
    const QString name =
        device == port ? device : port + QStringLiteral(" (") + device + QStringLiteral(")");

    // Non-blocking, or the open of a port without CLOCAL waits for DCD.
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return contactFailure(name + QStringLiteral(": ") + openError(errno));
    termios found = {};
    if (::tcgetattr(fd, &found) != 0) {
        ::close(fd);
        return contactFailure(name + QStringLiteral(": not a serial port"));
    }
    ::ioctl(fd, TIOCEXCL);
    auto giveUp = [&](const QString& why) {
        ::tcsetattr(fd, TCSANOW, &found);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return contactFailure(name + QStringLiteral(": ") + why);
    };

    termios t = found;
    cfmakeraw(&t);
    // CLOCAL: DCD going low (the contact opening, when it is wired to DCD) must not hang
    // the tty up. No RTS/CTS handshake: it would own RTS. The receiver is left as it was:
    // nothing is read, and some drivers (a pty's) refuse to turn it off.
    t.c_cflag |= CLOCAL | HUPCL;
    t.c_cflag &= ~CRTSCTS;
    // Speed 0 means "hang up" and drops DTR.
    if (cfgetospeed(&t) == B0) {
        cfsetospeed(&t, B9600);
        cfsetispeed(&t, B9600);
    }
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        // glibc says EINVAL also when the driver took the settings but kept a bit of its own;
        // what matters is that CLOCAL is on and the handshake off.
        const int err = errno;
        termios now = {};
        if (::tcgetattr(fd, &now) != 0 || !(now.c_cflag & CLOCAL) || (now.c_cflag & CRTSCTS))
            return giveUp(QStringLiteral("cannot set the port up: ") + errnoText(err));
    }

    // DTR and RTS feed the contact. Both, so that a contact wired from either works.
    const int both = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIS, &both) != 0) return giveUp(lineError(errno));

    serial_icounter_struct counts = {};
    const bool countsMoves = ::ioctl(fd, TIOCGICOUNT, &counts) == 0;
    if (!countsMoves)
        qCInfo(lcRelay).noquote() << "contact:" << name
                                  << "counts no line transitions; a bounce back to the same "
                                     "level between two looks goes unseen";
    return watch(std::make_unique<TtyModemStatus>(fd, found, countsMoves), line, name);
}

Result TiocmiwaitContact::watch(std::unique_ptr<ModemStatusSource> source, Line line,
                                const QString& name) {
    if (watch_)
        return contactFailure(name + QStringLiteral(": a contact is watched already on ") +
                              watch_->name);
    if (!source) return contactFailure(name + QStringLiteral(": nothing to watch"));
    const int bit = bitFor(line);
    ModemStatusSource::Sample first;
    if (const int err = source->read(bit, &first))
        return contactFailure(name + QStringLiteral(": ") + lineError(err));
    if (!installWakeSignal())
        return contactFailure(name + QStringLiteral(": cannot catch the signal that stops the "
                                                    "watch"));

    auto w = std::make_unique<Watch>();
    w->source = std::move(source);
    w->bit = bit;
    w->name = name;
    w->first = first;

    const quint64 generation = generation_;
    auto onClosed = [this, generation] { closed(generation); };
    auto onLost = [this, generation](const QString& reason) { lost(generation, reason); };

    // The thread starts with every signal blocked and unblocks only its wake signal, so the
    // process's own signals (SIGTERM, SIGCHLD, ...) never land on it.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    try {
        w->thread =
            std::thread(watchLine, w.get(), context_.get(), std::move(onClosed), std::move(onLost));
    } catch (const std::system_error& e) {
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        return contactFailure(name + QStringLiteral(": cannot start the watching thread: ") +
                              QString::fromLocal8Bit(e.what()));
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    watch_ = std::move(w);

    qCInfo(lcRelay).noquote() << "contact: watching" << contactLineName(line) << "on" << name;
    if (first.lines & bit)
        qCWarning(lcRelay).noquote()
            << "contact:" << contactLineName(line) << "on" << name
            << "is closed already; it counts once it has opened and closed again";
    return Result::success();
}

void TiocmiwaitContact::close() {
    if (!watch_) return;
    const QString name = watch_->name;
    stop();
    qCInfo(lcRelay).noquote() << "contact: stopped watching" << name;
}

void TiocmiwaitContact::stop() {
    ++generation_;  // whatever the thread queued before it stopped is not told
    Watch& w = *watch_;
    {
        std::unique_lock lock(w.mutex);
        w.stopping = true;
        w.wake.notify_all();
        // A signal that arrives between the thread's look at `stopping` and its entering the
        // ioctl is lost, so it is sent until the thread has ended. This is the only repeat,
        // and it runs only while closing.
        while (!w.done) {
            pthread_kill(w.thread.native_handle(), wakeSignal());
            w.finished.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    w.thread.join();
    watch_.reset();  // the source goes: the lines drop, the descriptor is closed
}

void TiocmiwaitContact::closed(quint64 generation) {
    if (generation != generation_ || !watch_) return;
    qCInfo(lcRelay).noquote() << "contact: closed on" << watch_->name;
    if (closedHandler_) closedHandler_();
}

void TiocmiwaitContact::lost(quint64 generation, const QString& reason) {
    if (generation != generation_ || !watch_) return;
    const QString why = watch_->name + QStringLiteral(": ") + reason;
    qCWarning(lcRelay).noquote() << "contact: no longer watched:" << why;
    stop();  // the thread has ended already; this joins it and lets go of the port
    if (lostHandler_) lostHandler_(why);
}

// The watching thread. It touches only the Watch and its source, and hands its news to the
// adapter's thread through `context`, which outlives it.
void TiocmiwaitContact::watchLine(Watch* w, QObject* context, std::function<void()> onClosed,
                                  std::function<void(QString)> onLost) {
    ModemStatusSource* const source = w->source.get();
    const int bit = w->bit;
    const ModemStatusSource::Sample first = w->first;
    sigset_t wakeOnly;
    sigemptyset(&wakeOnly);
    sigaddset(&wakeOnly, wakeSignal());
    pthread_sigmask(SIG_UNBLOCK, &wakeOnly, nullptr);

    ContactDebouncer debouncer;
    debouncer.start(first.lines & bit, nowMs());
    ModemStatusSource::Sample last = first;
    auto movedSince = [bit](const ModemStatusSource::Sample& now,
                            const ModemStatusSource::Sample& before) {
        return (now.lines & bit) != (before.lines & bit) ||
               (now.moves >= 0 && before.moves >= 0 && now.moves != before.moves);
    };

    QString lostReason;
    for (;;) {
        bool woke = false;
        const qint64 deadline = debouncer.deadlineMs();
        if (deadline >= 0) {
            // A hold is being timed: the only wait with a timeout, and only after a move.
            std::unique_lock lock(w->mutex);
            if (w->wake.wait_until(lock, steadyAt(deadline), [w] { return w->stopping; })) break;
        } else {
            {
                std::lock_guard lock(w->mutex);
                if (w->stopping) break;
            }
            // The kernel's wait ends at the next move after it starts; one between the last
            // look and now would be missed, so look first.
            ModemStatusSource::Sample now;
            if (const int err = source->read(bit, &now)) {
                lostReason = lineError(err);
                break;
            }
            if (movedSince(now, last)) {
                woke = true;
            } else {
                const int err = source->waitForChange(bit);
                if (err == EINTR) continue;  // close(), or a stray signal: look again
                if (err != 0) {
                    lostReason = waitError(err);
                    break;
                }
                woke = true;
            }
        }
        ModemStatusSource::Sample now;
        if (const int err = source->read(bit, &now)) {
            lostReason = lineError(err);
            break;
        }
        const bool moved = woke || movedSince(now, last);
        last = now;
        if (debouncer.look(now.lines & bit, moved, nowMs()))
            QMetaObject::invokeMethod(context, onClosed, Qt::QueuedConnection);
    }
    if (!lostReason.isEmpty())
        QMetaObject::invokeMethod(
            context, [onLost, lostReason] { onLost(lostReason); }, Qt::QueuedConnection);

    std::lock_guard lock(w->mutex);
    w->done = true;
    w->finished.notify_all();
}

}  // namespace tavirin
