#include "webauth/loginthrottle.h"

#include "platform/clock.h"
#include "webauth/weblog.h"

namespace tavirin {

namespace {

int secondsUp(qint64 ms) {
    return int((ms + 999) / 1000);
}

}  // namespace

LoginThrottle::LoginThrottle(const Clock& clock) : clock_(clock) {}

qint64 LoginThrottle::nowMs() const {
    return clock_.elapsed().monotonicMs;
}

QString LoginThrottle::addressKey(const QHostAddress& address) {
    QHostAddress a = address;
    if (a.protocol() == QAbstractSocket::IPv6Protocol) {
        bool mapped = false;
        const quint32 v4 = a.toIPv4Address(&mapped);
        if (mapped) a = QHostAddress(v4);
    }
    a.setScopeId(QString());
    return a.toString();
}

bool LoginThrottle::expired(const AddressEntry& entry, qint64 now) const {
    if (entry.blockedUntilMs > now) return false;
    return entry.wrongs == 0 || now - entry.lastWrongMs >= kAddressMemoryMs;
}

LoginThrottle::Verdict LoginThrottle::check(const QHostAddress& address, WebRole role) const {
    const qint64 now = nowMs();
    qint64 addressWait = 0;
    const auto it = addresses_.constFind(addressKey(address));
    if (it != addresses_.cend() && it->blockedUntilMs > now) addressWait = it->blockedUntilMs - now;
    const RoleEntry& r = roleEntry(role);
    const qint64 roleWait = r.blockedUntilMs > now ? r.blockedUntilMs - now : 0;
    if (addressWait == 0 && roleWait == 0) return {};
    if (addressWait >= roleWait) return {false, secondsUp(addressWait), Cause::Address};
    return {false, secondsUp(roleWait), Cause::Role};
}

void LoginThrottle::wrong(const QHostAddress& address, WebRole role) {
    const qint64 now = nowMs();

    RoleEntry& r = roleEntry(role);
    if (r.blockedUntilMs <= now) {
        while (!r.wrongsMs.isEmpty() && now - r.wrongsMs.first() >= kRoleWindowMs)
            r.wrongsMs.removeFirst();
        r.wrongsMs.append(now);
        if (r.wrongsMs.size() >= kRoleLimit) {
            r.wrongsMs.clear();
            r.blockedUntilMs = now + kRoleWaitMs;
            blocked(Cause::Role, address, role, kRoleWaitMs);
        }
    }

    const QString key = addressKey(address);
    auto it = addresses_.find(key);
    if (it == addresses_.end()) {
        if (addresses_.size() >= kMaxAddresses) makeRoom(now);
        it = addresses_.insert(key, AddressEntry{});
    } else if (it->blockedUntilMs > now) {
        return;
    } else if (expired(*it, now)) {
        *it = AddressEntry{};
    }
    it->lastWrongMs = now;
    if (++it->wrongs >= kAddressLimit) {
        it->wrongs = 0;
        it->blockedUntilMs = now + kAddressWaitMs;
        blocked(Cause::Address, address, role, kAddressWaitMs);
    }
}

void LoginThrottle::right(const QHostAddress& address, WebRole role) {
    Q_UNUSED(role);
    addresses_.remove(addressKey(address));
}

void LoginThrottle::setOnBlocked(std::function<void(const Block&)> onBlocked) {
    onBlocked_ = std::move(onBlocked);
}

void LoginThrottle::makeRoom(qint64 now) {
    for (auto it = addresses_.begin(); it != addresses_.end();)
        it = expired(*it, now) ? addresses_.erase(it) : std::next(it);
    if (addresses_.size() < kMaxAddresses) return;
    // Still full: the address quiet the longest goes, one still waiting only when all are.
    auto oldest = addresses_.end();
    bool oldestBlocked = true;
    for (auto it = addresses_.begin(); it != addresses_.end(); ++it) {
        const bool isBlocked = it->blockedUntilMs > now;
        if (oldest == addresses_.end() || (oldestBlocked && !isBlocked) ||
            (oldestBlocked == isBlocked && it->lastWrongMs < oldest->lastWrongMs)) {
            oldest = it;
            oldestBlocked = isBlocked;
        }
    }
    if (oldest != addresses_.end()) addresses_.erase(oldest);
}

void LoginThrottle::blocked(Cause cause, const QHostAddress& address, WebRole role, qint64 waitMs) {
    if (cause == Cause::Address)
        qCWarning(lcWeb).noquote() << "too many wrong passwords from" << addressKey(address)
                                   << "- that address waits" << waitMs / 60000 << "minutes";
    else
        qCWarning(lcWeb).noquote()
            << "too many wrong" << roleId(role) << "passwords within an hour - logins as"
            << roleId(role) << "wait" << waitMs / 60000 << "minutes";
    if (onBlocked_)
        onBlocked_(Block{cause, QHostAddress(addressKey(address)), role, secondsUp(waitMs)});
}

}  // namespace tavirin
