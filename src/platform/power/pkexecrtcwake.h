#pragma once

#include "platform/wakealarm.h"

#include <QString>

namespace tavirin {

// RtcWake through the root helper: `pkexec tavirin-wakealarm set EPOCH | clear`, allowed
// without a password for the active local session by the polkit action
// org.tavirin.wakealarm (docs/POWER.md). The helper's exit status and its one answer line
// ("alarm EPOCH", "alarm none") are the answer. pkexec is awaited through the event loop and
// ended when it has not answered within the limit: a password prompt (the policy not
// installed, an inactive session) must never hold the program's end.
class PkexecRtcWake final : public RtcWake {
public:
    static constexpr const char* kPkexec = "/usr/bin/pkexec";
    static constexpr const char* kHelper = "/usr/libexec/tavirin/tavirin-wakealarm";
    static constexpr int kAnswerLimitMs = 3000;

    // Tests give a stand-in for pkexec; the helper's path is what pkexec is asked to run,
    // the one the policy allows.
    explicit PkexecRtcWake(QString pkexec = QString::fromLatin1(kPkexec),
                           QString helper = QString::fromLatin1(kHelper),
                           int answerLimitMs = kAnswerLimitMs);

    void set(const QDateTime& when, Done done) override;
    void clear(Done done) override;

private:
    void ask(const QStringList& command, qint64 wanted, Done done);

    QString pkexec_;
    QString helper_;
    int answerLimitMs_;
};

}  // namespace tavirin
