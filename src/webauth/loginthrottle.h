#pragma once

#include "webauth/webrole.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

namespace tavirin {

class Clock;

// Slows down password guessing at the network page. Per client address: the fifth wrong
// password in a row makes that address wait five minutes. Per role: twenty wrong passwords
// within any hour make every login as that role wait fifteen minutes (a guesser with many
// addresses). Times are on the monotonic clock, so setting the wall clock changes nothing.
class LoginThrottle {
public:
    enum class Cause { None, Address, Role };

    struct Verdict {
        bool allowed = true;
        int retryAfterSeconds = 0;  // rounded up; 0 when allowed
        Cause cause = Cause::None;
    };

    // A wait that has just begun, for the window and the journal.
    struct Block {
        Cause cause = Cause::None;
        QHostAddress address;  // the address whose wrong password began it (as addressKey)
        WebRole role = WebRole::Teacher;
        int seconds = 0;
    };

    static constexpr int kAddressLimit = 5;
    static constexpr qint64 kAddressWaitMs = 5 * 60 * 1000;
    // An address's wrong passwords are forgotten after an hour without another one.
    static constexpr qint64 kAddressMemoryMs = 60 * 60 * 1000;
    static constexpr int kRoleLimit = 20;
    static constexpr qint64 kRoleWindowMs = 60 * 60 * 1000;
    static constexpr qint64 kRoleWaitMs = 15 * 60 * 1000;
    static constexpr int kMaxAddresses = 4096;

    explicit LoginThrottle(const Clock& clock);

    // Whether a login from this address as this role may be checked now. When both waits
    // hold, the longer one is told.
    Verdict check(const QHostAddress& address, WebRole role) const;
    // A wrong password was given. Ignored while a wait already holds for it.
    void wrong(const QHostAddress& address, WebRole role);
    // The right password: the address's wrong ones are forgotten (the role's stay).
    void right(const QHostAddress& address, WebRole role);

    // Called from wrong() when a wait begins.
    void setOnBlocked(std::function<void(const Block&)> onBlocked);

    int trackedAddresses() const { return int(addresses_.size()); }
    // One text per client: an IPv4-mapped IPv6 address is its IPv4 address, the scope goes.
    static QString addressKey(const QHostAddress& address);

private:
    struct AddressEntry {
        int wrongs = 0;
        qint64 lastWrongMs = 0;
        qint64 blockedUntilMs = 0;
    };
    struct RoleEntry {
        QList<qint64> wrongsMs;  // within the last window, oldest first
        qint64 blockedUntilMs = 0;
    };

    qint64 nowMs() const;
    bool expired(const AddressEntry& entry, qint64 now) const;
    void makeRoom(qint64 now);
    RoleEntry& roleEntry(WebRole role) { return roles_[role == WebRole::Admin ? 0 : 1]; }
    const RoleEntry& roleEntry(WebRole role) const {
        return roles_[role == WebRole::Admin ? 0 : 1];
    }
    void blocked(Cause cause, const QHostAddress& address, WebRole role, qint64 waitMs);

    const Clock& clock_;
    QHash<QString, AddressEntry> addresses_;
    RoleEntry roles_[2];
    std::function<void(const Block&)> onBlocked_;
};

}  // namespace tavirin
