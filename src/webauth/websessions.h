#pragma once

#include "webauth/webrole.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>

#include <map>
#include <optional>

namespace tavirin {

class Clock;

// The network page's logged-in sessions, in memory only (a restart logs everyone out).
// A session ends when it was not used for 8 hours (teacher) or 30 minutes (admin), counted
// on the monotonic clock; at most kMaxSessions live, the least recently used going first.
class WebSessions {
public:
    struct Session {
        QByteArray token;  // 64 lower-case hex characters (32 random bytes)
        QByteArray csrf;   // the same, another 32 random bytes
        WebRole role = WebRole::Teacher;
        QHostAddress address;   // where the login came from
        QDateTime created;      // wall clock, for the window
        qint64 lastUsedMs = 0;  // monotonic
    };

    static constexpr int kMaxSessions = 512;
    static constexpr int kTokenLength = 64;
    static constexpr qint64 kTeacherIdleMs = 8LL * 60 * 60 * 1000;
    static constexpr qint64 kAdminIdleMs = 30LL * 60 * 1000;
    static qint64 idleLimitMs(WebRole role);

    explicit WebSessions(const Clock& clock);

    // A new session; nothing when no random bytes could be had (logged).
    std::optional<Session> create(WebRole role, const QHostAddress& address);
    // The live session of this token, marked as used now; null for an unknown, malformed or
    // ended token (an ended one is dropped). The pointer holds until the next create(),
    // remove(), removeRole() or find() of the same token.
    const Session* find(const QByteArray& token);
    // The session lives, without counting this as its use (an open event stream is not).
    bool alive(const QByteArray& token) const;
    bool remove(const QByteArray& token);
    // Ends every session of the role except `keep` (the one that changed the password);
    // returns how many ended.
    int removeRole(WebRole role, const QByteArray& keep = QByteArray());
    int count() const { return int(sessions_.size()); }

    // The header carries this session's CSRF token; compared in constant time.
    static bool csrfMatches(const Session& session, const QByteArray& header);

private:
    bool idle(const Session& session, qint64 now) const;
    void makeRoom(qint64 now);

    const Clock& clock_;
    std::map<QByteArray, Session> sessions_;  // by token; elements stay put on insertion
};

}  // namespace tavirin
