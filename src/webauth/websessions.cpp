#include "webauth/websessions.h"

#include "platform/clock.h"
#include "webauth/passwords.h"
#include "webauth/weblog.h"

#include <sodium.h>

namespace tavirin {

namespace {

constexpr int kRandomBytes = 32;

QByteArray randomHex() {
    unsigned char bytes[kRandomBytes];
    randombytes_buf(bytes, sizeof bytes);
    const QByteArray hex = QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toHex();
    sodium_memzero(bytes, sizeof bytes);
    return hex;
}

bool wellFormed(const QByteArray& token) {
    if (token.size() != WebSessions::kTokenLength) return false;
    for (const char c : token)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

}  // namespace

qint64 WebSessions::idleLimitMs(WebRole role) {
    return role == WebRole::Admin ? kAdminIdleMs : kTeacherIdleMs;
}

WebSessions::WebSessions(const Clock& clock) : clock_(clock) {}

bool WebSessions::idle(const Session& session, qint64 now) const {
    return now - session.lastUsedMs >= idleLimitMs(session.role);
}

std::optional<WebSessions::Session> WebSessions::create(WebRole role, const QHostAddress& address) {
    if (!sodiumReady()) {
        qCWarning(lcWeb) << "no session made: no random source";
        return std::nullopt;
    }
    const qint64 now = clock_.elapsed().monotonicMs;
    if (sessions_.size() >= size_t(kMaxSessions)) makeRoom(now);
    Session s;
    s.token = randomHex();
    s.csrf = randomHex();
    s.role = role;
    s.address = address;
    s.created = clock_.now();
    s.lastUsedMs = now;
    // 256 random bits do not repeat; the check only keeps a broken generator from
    // handing out someone else's session.
    if (sessions_.count(s.token) != 0) {
        qCCritical(lcWeb) << "the random source repeated itself: no session made";
        return std::nullopt;
    }
    sessions_.emplace(s.token, s);
    qCInfo(lcWeb).noquote() << "a" << roleId(role) << "session began for" << address.toString();
    return s;
}

const WebSessions::Session* WebSessions::find(const QByteArray& token) {
    if (!wellFormed(token)) return nullptr;
    const auto it = sessions_.find(token);
    if (it == sessions_.end()) return nullptr;
    const qint64 now = clock_.elapsed().monotonicMs;
    if (idle(it->second, now)) {
        qCInfo(lcWeb).noquote() << "a" << roleId(it->second.role)
                                << "session ended: not used for too long";
        sessions_.erase(it);
        return nullptr;
    }
    it->second.lastUsedMs = now;
    return &it->second;
}

bool WebSessions::alive(const QByteArray& token) const {
    if (!wellFormed(token)) return false;
    const auto it = sessions_.find(token);
    return it != sessions_.end() && !idle(it->second, clock_.elapsed().monotonicMs);
}

bool WebSessions::remove(const QByteArray& token) {
    if (!wellFormed(token)) return false;
    return sessions_.erase(token) != 0;
}

int WebSessions::removeRole(WebRole role, const QByteArray& keep) {
    int removed = 0;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->second.role == role && it->first != keep) {
            it = sessions_.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    if (removed > 0) qCInfo(lcWeb).noquote() << removed << roleId(role) << "sessions were ended";
    return removed;
}

bool WebSessions::csrfMatches(const Session& session, const QByteArray& header) {
    if (header.size() != session.csrf.size() || session.csrf.isEmpty()) return false;
    return sodium_memcmp(header.constData(), session.csrf.constData(),
                         size_t(session.csrf.size())) == 0;
}

void WebSessions::makeRoom(qint64 now) {
    for (auto it = sessions_.begin(); it != sessions_.end();)
        it = idle(it->second, now) ? sessions_.erase(it) : std::next(it);
    if (sessions_.size() < size_t(kMaxSessions)) return;
    auto oldest = sessions_.begin();
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
        if (it->second.lastUsedMs < oldest->second.lastUsedMs) oldest = it;
    qCInfo(lcWeb).noquote() << "the least recently used" << roleId(oldest->second.role)
                            << "session ended: too many sessions";
    sessions_.erase(oldest);
}

}  // namespace tavirin
