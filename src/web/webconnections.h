#pragma once

#include "web/requestscanner.h"

#include <QHash>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QTcpServer>

#include <optional>

class QTcpSocket;
class QTimer;

namespace tavirin {

// The page's listening socket. It takes each connection before the HTTP server sees it and
// keeps the school's PC safe from its clients: at most `total` connections open and
// `perAddress` from one address, a connection that sends nothing (or leaves a request
// unfinished) for `idleMs` is closed, every request is held to the scanner's limits and a
// request that breaks them is answered with a 4xx and the connection closed. Over TLS the
// handshake is done here, and the HTTP server gets the connection once it is encrypted.
class WebConnections : public QTcpServer {
    Q_OBJECT
public:
    struct Limits {
        int total = 32;
        int perAddress = 8;
        int idleMs = 15000;
    };

    WebConnections(std::optional<QSslConfiguration> tls, Limits limits, QObject* parent = nullptr);
    ~WebConnections() override;

    // The connection now carries an event stream: no longer closed for its silence.
    void markStreaming(QTcpSocket* socket);
    int openConnections() const { return int(conns_.size()); }
    bool encrypted() const { return tls_.has_value(); }

    // The address a client is counted under: an IPv4 address seen through IPv6 as itself.
    static QHostAddress plainAddress(const QHostAddress& a);

signals:
    // A connection refused or closed by a limit, for the log and the tests.
    void limited(const QHostAddress& peer, const QString& why);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Conn;
    void watch(QTcpSocket* socket, const QHostAddress& peer);
    void scan(QTcpSocket* socket);
    void idle(QTcpSocket* socket);
    void reject(QTcpSocket* socket, int status, const char* code, const QString& why);
    void forget(QTcpSocket* socket);

    std::optional<QSslConfiguration> tls_;
    Limits limits_;
    QHash<QTcpSocket*, Conn*> conns_;
    QHash<QString, int> perAddress_;
};

}  // namespace tavirin
