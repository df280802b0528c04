#include "web/webconnections.h"

#include "web/webreply.h"
#include "webauth/weblog.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

namespace tavirin {

struct WebConnections::Conn {
    QHostAddress peer;
    QString key;
    RequestScanner scanner;
    QTimer* timer = nullptr;
    bool streaming = false;
    bool handedOver = false;
};

WebConnections::WebConnections(std::optional<QSslConfiguration> tls, Limits limits, QObject* parent)
    : QTcpServer(parent), tls_(std::move(tls)), limits_(limits) {}

WebConnections::~WebConnections() {
    for (Conn* c : std::as_const(conns_)) delete c;
}

QHostAddress WebConnections::plainAddress(const QHostAddress& a) {
    bool mapped = false;
    const quint32 v4 = a.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : a;
}

void WebConnections::incomingConnection(qintptr descriptor) {
    QTcpSocket* socket = tls_ ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        qCWarning(lcWeb) << "a connection could not be taken:" << socket->errorString();
        delete socket;
        return;
    }
    const QHostAddress peer = plainAddress(socket->peerAddress());
    const QString key = peer.toString();
    QString why;
    if (conns_.size() >= limits_.total)
        why = QStringLiteral("%1 connections open").arg(conns_.size());
    else if (perAddress_.value(key) >= limits_.perAddress)
        why = QStringLiteral("%1 connections open from %2").arg(perAddress_.value(key)).arg(key);
    if (!why.isEmpty()) {
        qCWarning(lcWeb).noquote() << "connection from" << key << "refused:" << why;
        emit limited(peer, why);
        if (!tls_) {
            // A plain client can read why; a TLS client has no session to read it in.
            socket->write(
                errorResponse(503, "busy", QStringLiteral("มีผู้ใช้มากเกินไป โปรดลองใหม่อีกครั้ง")));
            socket->flush();
        }
        socket->disconnectFromHost();
        if (socket->state() == QAbstractSocket::UnconnectedState)
            socket->deleteLater();
        else
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Never left hanging by a client that does not read.
        QTimer::singleShot(2000, socket, [socket] { socket->abort(); });
        return;
    }
    watch(socket, peer);
    if (auto* ssl = qobject_cast<QSslSocket*>(socket)) {
        ssl->setSslConfiguration(*tls_);
        connect(ssl, &QSslSocket::encrypted, this, [this, ssl] {
            if (Conn* c = conns_.value(ssl)) c->handedOver = true;
            addPendingConnection(ssl);
        });
        connect(ssl, &QSslSocket::sslErrors, ssl, [ssl](const QList<QSslError>& errors) {
            qCInfo(lcWeb) << "TLS with" << ssl->peerAddress().toString() << "failed:"
                          << (errors.isEmpty() ? QString() : errors.first().errorString());
            ssl->abort();
        });
        ssl->startServerEncryption();
    } else {
        conns_[socket]->handedOver = true;
        addPendingConnection(socket);
    }
}

void WebConnections::watch(QTcpSocket* socket, const QHostAddress& peer) {
    auto* c = new Conn;
    c->peer = peer;
    c->key = peer.toString();
    c->timer = new QTimer(socket);
    c->timer->setSingleShot(true);
    c->timer->setInterval(limits_.idleMs);
    c->timer->start();
    conns_.insert(socket, c);
    ++perAddress_[c->key];
    connect(c->timer, &QTimer::timeout, this, [this, socket] { idle(socket); });
    // Before the HTTP server's own: it connects when the connection is handed over.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { scan(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        // The HTTP server deletes what it was handed; the rest is ours.
        Conn* c = conns_.value(socket);
        const bool ours = c && !c->handedOver;
        forget(socket);
        if (ours) socket->deleteLater();
    });
    connect(socket, &QObject::destroyed, this, [this, socket] { forget(socket); });
}

void WebConnections::forget(QTcpSocket* socket) {
    Conn* c = conns_.take(socket);
    if (!c) return;
    if (--perAddress_[c->key] <= 0) perAddress_.remove(c->key);
    delete c;
}

void WebConnections::markStreaming(QTcpSocket* socket) {
    if (Conn* c = conns_.value(socket)) {
        c->streaming = true;
        c->timer->stop();
    }
}

void WebConnections::scan(QTcpSocket* socket) {
    Conn* c = conns_.value(socket);
    if (!c) return;
    // The HTTP server reads inside a transaction, so the bytes past its position are the
    // ones not seen yet, here as there.
    const QByteArray fresh = socket->peek(socket->bytesAvailable());
    const bool wasMid = c->scanner.midRequest();
    const RequestScanner::Verdict v = c->scanner.feed(fresh);
    if (v.status) {
        reject(socket, v.status, v.code, QString::fromLatin1(v.why));
        return;
    }
    // A new request begins the time it has to arrive in whole; one under way keeps its time.
    if (!wasMid && !c->streaming) c->timer->start();
}

void WebConnections::idle(QTcpSocket* socket) {
    Conn* c = conns_.value(socket);
    if (!c || c->streaming) return;
    const QString why = c->scanner.midRequest()
                            ? QStringLiteral("a request not finished within %1 s")
                            : QStringLiteral("nothing sent for %1 s");
    qCInfo(lcWeb).noquote() << "connection from" << c->key
                            << "closed:" << why.arg(limits_.idleMs / 1000);
    emit limited(c->peer, why.arg(limits_.idleMs / 1000));
    if (c->scanner.midRequest() && c->handedOver)
        socket->write(errorResponse(408, "timeout", QStringLiteral("คำขอใช้เวลานานเกินไป")));
    socket->disconnectFromHost();
    QTimer::singleShot(2000, socket, [socket] { socket->abort(); });
}

void WebConnections::reject(QTcpSocket* socket, int status, const char* code, const QString& why) {
    Conn* c = conns_.value(socket);
    qCWarning(lcWeb).noquote() << "request from" << (c ? c->key : QString()) << "refused:" << why;
    if (c) emit limited(c->peer, why);
    // The HTTP server must not parse what is left of it.
    disconnect(socket, &QTcpSocket::readyRead, parent(), nullptr);
    socket->read(socket->bytesAvailable());
    const QString message = status == 431 ? QStringLiteral("คำขอยาวเกินไป")
                            : status == 413 ? QStringLiteral("ข้อมูลที่ส่งมามากเกินไป")
                                            : QStringLiteral("คำขอไม่ถูกต้อง");
    socket->write(errorResponse(status, code, message));
    socket->disconnectFromHost();
    QTimer::singleShot(2000, socket, [socket] { socket->abort(); });
}

}  // namespace tavirin
