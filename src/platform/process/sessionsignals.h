#pragma once

#include "platform/result.h"

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

namespace tavirin {

// The end of the session as the program hears it: SIGTERM (logout, a shutdown from the
// desktop, `systemctl poweroff`), SIGHUP (the terminal or the session gone) and SIGINT
// (Ctrl+C). The signal handler only writes the signal's number into a pipe; the number comes
// out as endRequested() in the event loop of the thread that installed it, where anything
// may be done. Every signal is delivered, also one that arrives while an earlier one is being
// handled: the receiver decides what a repeat means.
//
// The dispositions are the process's own, so one instance at a time is installed; the
// destructor puts back what was there before. An instance that is not installed catches
// nothing and can stand in for the real thing in tests (emit endRequested yourself).
class SessionSignals final : public QObject {
    Q_OBJECT

public:
    explicit SessionSignals(QObject* parent = nullptr);
    ~SessionSignals() override;
    SessionSignals(const SessionSignals&) = delete;
    SessionSignals& operator=(const SessionSignals&) = delete;

    // Catches the three signals from now on. Fails when another instance is installed or
    // the pipe cannot be made; the dispositions are then unchanged.
    Result install();
    bool isInstalled() const { return readFd_ >= 0; }

signals:
    void endRequested(int signalNumber);

private:
    void readable();
    void uninstall();

    int readFd_ = -1;
    int writeFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_[3] = {};
};

}  // namespace tavirin
