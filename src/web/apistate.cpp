// The picture of the program, once and as a live stream.
#include "web/webapi.h"

#include "core/bellcore.h"
#include "core/corestate.h"
#include "webauth/weblog.h"
#include "webauth/websessions.h"

#include <QTcpSocket>

namespace tavirin {

namespace {

// A client that reads less than this falls behind; past it, its stream is closed rather than
// the PC's memory filled.
constexpr qint64 kMaxUnsent = 1024 * 1024;

QByteArray stateEvent(const QByteArray& json) {
    return "event: state\ndata: " + json + "\n\n";
}

}  // namespace

WebReply WebApi::state() {
    return {200, "application/json; charset=utf-8", toJsonText(p_.core.state()), {}};
}

void WebApi::events(const WebRequest& r, const WebSession& s, WebResponder& out) {
    // Streams whose clients went are not counted.
    streams_.removeIf([](const Stream& st) { return !st.socket; });
    if (streams_.size() >= kMaxStreams) {
        qCWarning(lcWeb).noquote()
            << "event stream for" << r.peer.toString() << "refused:" << streams_.size() << "open";
        out.send(errorReply(503, "busy", QStringLiteral("มีผู้เปิดหน้านี้พร้อมกันมากเกินไป")));
        return;
    }
    QTcpSocket* socket = out.startStream();
    if (!socket) return;
    socket->write("retry: 3000\n" + stateEvent(toJsonText(p_.core.state())));
    streams_.append({socket, s.token});
    if (!keepAlive_.isActive()) keepAlive_.start();
}

void WebApi::pushState() {
    if (streams_.isEmpty()) return;
    // One picture for every client.
    const QByteArray event = stateEvent(toJsonText(p_.core.state()));
    for (Stream& st : streams_) {
        if (!st.socket) continue;
        // A session that ended (logged out, its password changed, idle too long) ends its
        // stream too. A page left open is no use of its session: an admin's still ends.
        if (!p_.sessions.alive(st.token) || st.socket->bytesToWrite() > kMaxUnsent) {
            qCInfo(lcWeb) << "event stream to" << st.socket->peerAddress().toString() << "closed";
            st.socket->disconnectFromHost();
            st.socket.clear();
            continue;
        }
        st.socket->write(event);
    }
    streams_.removeIf([](const Stream& st) { return !st.socket; });
    if (streams_.isEmpty()) keepAlive_.stop();
}

void WebApi::keepStreamsOpen() {
    for (Stream& st : streams_) {
        if (!st.socket) continue;
        if (!p_.sessions.alive(st.token) || st.socket->bytesToWrite() > kMaxUnsent) {
            st.socket->disconnectFromHost();
            st.socket.clear();
            continue;
        }
        st.socket->write(": still here\n\n");
    }
    streams_.removeIf([](const Stream& st) { return !st.socket; });
    if (streams_.isEmpty()) keepAlive_.stop();
}

void WebApi::closeStreams() {
    for (Stream& st : streams_)
        if (st.socket) st.socket->disconnectFromHost();
    streams_.clear();
    keepAlive_.stop();
}

}  // namespace tavirin
