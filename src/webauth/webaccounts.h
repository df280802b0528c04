#pragma once

#include "platform/result.h"
#include "webauth/webrole.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>

namespace tavirin {

class ProgramStore;

// The network page's two accounts: one password per role, kept as an Argon2id hash in the
// store under an application of its own (never the password itself).
//
// A check costs about 0.1 s and 64 MiB, so it runs on a private thread, one at a time, with
// a short queue: a flood of logins makes the page answer "busy", never the bells wait. Use
// an object of this class from the thread it lives in (the GUI thread).
class WebAccounts final : public QObject {
    Q_OBJECT

public:
    enum class CheckResult { Right, Wrong, NoPassword, Busy };
    Q_ENUM(CheckResult)

    static constexpr auto kApplication = "tavirin_web";
    static constexpr auto kSection = "accounts";
    // Checks that wait behind the one running; one more than this answers Busy at once.
    static constexpr int kMaxWaiting = 8;

    explicit WebAccounts(ProgramStore& store, QObject* parent = nullptr);
    // Checks not started yet are dropped (their callbacks never come); a running one is
    // waited for.
    ~WebAccounts() override;

    // The rules first (the Thai reason when refused), then the hash is written to the store,
    // durably unless the store is inside a burst. Hashes on the calling thread (0.1 s).
    Result setPassword(WebRole role, const QString& password);
    // A usable hash is stored for the role. A damaged one counts as none (and is logged).
    bool hasPassword(WebRole role) const;

    // Checks the password off this thread and calls `done` once, later, from the event
    // loop of `context`'s thread; never when `context` is destroyed first. A role without
    // a (usable) password takes as long and answers NoPassword. Busy when kMaxWaiting
    // checks already wait; that answer too comes through the event loop.
    void check(WebRole role, const QString& password, QObject* context,
               std::function<void(CheckResult)> done);

    // Checks taken and not yet answered (the running one included).
    int pendingChecks() const { return pending_; }

signals:
    void passwordChanged(tavirin::WebRole role);

private:
    QString storedHash(WebRole role) const;  // "" when none or damaged

    ProgramStore& store_;
    QThreadPool pool_;
    int pending_ = 0;
    mutable QString loggedDamaged_[2];  // the damaged texts already logged, per role
};

}  // namespace tavirin
