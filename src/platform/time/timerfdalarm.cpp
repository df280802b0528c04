#include "platform/time/timerfdalarm.h"

#include "platform/logging.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace tavirin {

TimerfdAlarm::TimerfdAlarm() {
    fd_ = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0) {
        qCWarning(lcScheduler) << "no wall-clock alarm (timerfd_create:" << std::strerror(errno)
                               << "); a changed clock is noticed by the next tick only";
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { readable(); });
}

TimerfdAlarm::~TimerfdAlarm() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
}

void TimerfdAlarm::wakeIn(qint64 ms) {
    if (fd_ < 0) return;
    // Absolute on the wall clock: the kernel keeps it at that wall time across a suspend.
    // (Read through libc, so that a test's faked clock and the timer agree.)
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    ms = qMax<qint64>(ms, 1);
    itimerspec at{};
    at.it_value.tv_sec = now.tv_sec + time_t(ms / 1000);
    at.it_value.tv_nsec = now.tv_nsec + long(ms % 1000) * 1000000L;
    if (at.it_value.tv_nsec >= 1000000000L) {
        at.it_value.tv_sec += 1;
        at.it_value.tv_nsec -= 1000000000L;
    }
    if (timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &at, nullptr) != 0) {
        qCWarning(lcScheduler) << "wall-clock alarm not set:" << std::strerror(errno);
        armed_ = false;
        return;
    }
    armed_ = true;
}

void TimerfdAlarm::cancel() {
    if (fd_ < 0 || !armed_) return;
    const itimerspec off{};
    timerfd_settime(fd_, 0, &off, nullptr);
    armed_ = false;
}

void TimerfdAlarm::readable() {
    quint64 expirations = 0;
    const ssize_t n = ::read(fd_, &expirations, sizeof expirations);
    if (n == sizeof expirations) {
        armed_ = false;
        if (handler_) handler_(Wake::Due);
        return;
    }
    if (n < 0 && errno == ECANCELED) {
        // The timer stays cancelled until it is set again; the handler re-plans and does so.
        armed_ = false;
        qCInfo(lcScheduler) << "the wall clock was set (or the machine resumed)";
        if (handler_) handler_(Wake::ClockChanged);
        return;
    }
    if (n < 0 && errno == EAGAIN) return;  // a stale wake-up
    qCWarning(lcScheduler) << "wall-clock alarm read failed:"
                           << (n < 0 ? std::strerror(errno) : "short read");
}

}  // namespace tavirin
