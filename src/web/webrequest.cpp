#include "web/webrequest.h"

#include "web/webconnections.h"

#include <QTcpSocket>

namespace tavirin {

QByteArray WebRequest::cookie(const QByteArray& name) const {
    const QByteArray all = header("cookie");
    for (QByteArray part : all.split(';')) {
        part = part.trimmed();
        const qsizetype eq = part.indexOf('=');
        if (eq > 0 && part.left(eq) == name) return part.mid(eq + 1);
    }
    return {};
}

QByteArray WebRequest::ownOrigin() const {
    return (https ? QByteArrayLiteral("https://") : QByteArrayLiteral("http://")) + header("host");
}

WebResponder::WebResponder(QTcpSocket* socket, WebConnections* connections, bool closeAfter)
    : socket_(socket), connections_(connections), close_(closeAfter) {}

void WebResponder::send(const WebReply& reply) {
    if (sent_) return;
    sent_ = true;
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) return;
    socket_->write(serialize(reply, close_));
    if (close_) socket_->disconnectFromHost();
}

QTcpSocket* WebResponder::startStream() {
    if (sent_) return nullptr;
    sent_ = true;
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) return nullptr;
    QByteArray head = "HTTP/1.1 200 OK\r\n";
    for (const auto& [k, v] : securityHeaders()) head += k + ": " + v + "\r\n";
    head +=
        "Content-Type: text/event-stream; charset=utf-8\r\n"
        "Cache-Control: no-store\r\n"
        "Connection: keep-alive\r\n"
        "\r\n";
    socket_->write(head);
    if (connections_) connections_->markStreaming(socket_);
    return socket_;
}

}  // namespace tavirin
