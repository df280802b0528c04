#include "platform/process/sessionsignals.h"

#include "platform/logging.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QVarLengthArray>

#include <fcntl.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace tavirin {

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGHUP, SIGINT};

// The write end of the installed instance's pipe, -1 when none is installed. The handler
// may run on any thread, so it only reads this.
std::atomic<int> gWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onSessionSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = gWriteFd.load(std::memory_order_acquire);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: a full pipe (tens of thousands of signals unread) drops this one.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

SessionSignals::SessionSignals(QObject* parent) : QObject(parent) {}

SessionSignals::~SessionSignals() {
    uninstall();
}

Result SessionSignals::install() {
    if (isInstalled()) return Result::success();
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return Result::failure(QStringLiteral("cannot make the signal pipe: ") +
                               QString::fromLocal8Bit(std::strerror(errno)));
    int expected = -1;
    if (!gWriteFd.compare_exchange_strong(expected, fds[1], std::memory_order_acq_rel)) {
        ::close(fds[0]);
        ::close(fds[1]);
        return Result::failure(QStringLiteral("the session's signals are already caught"));
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];

    struct sigaction sa = {};
    sa.sa_handler = onSessionSignal;
    // SA_RESTART: a signal never makes a read or a wait elsewhere in the program fail.
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    for (int s : kSignals) sigaddset(&sa.sa_mask, s);
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &sa, &previous_[i]);

    notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SessionSignals::readable);
    return Result::success();
}

void SessionSignals::uninstall() {
    if (!isInstalled()) return;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    gWriteFd.store(-1, std::memory_order_release);
    notifier_.reset();
    ::close(readFd_);
    ::close(writeFd_);
    readFd_ = writeFd_ = -1;
}

void SessionSignals::readable() {
    // Everything there now, then the emissions: a receiver may delete this object or raise
    // another signal (which then waits in the pipe for the next round).
    QVarLengthArray<unsigned char, 16> received;
    unsigned char buf[64];
    for (;;) {
        const ssize_t n = ::read(readFd_, buf, sizeof buf);
        if (n > 0) {
            received.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // EAGAIN: drained
    }
    QPointer<SessionSignals> alive(this);
    for (unsigned char s : received) {
        qCInfo(lcShutdown).noquote()
            << "received SIG" + QLatin1String(sigabbrev_np(s)) << "- the session ends";
        emit endRequested(s);
        if (!alive) return;
    }
}

}  // namespace tavirin
