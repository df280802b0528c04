#pragma once

#include "web/webconnections.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QList>

namespace tavirin {

class WebApi;

// The page's HTTP server on the program's own event loop: Qt HTTP Server parses, the
// connections are taken and held to their limits by WebConnections, the API answers, and the
// page's own files come from the program's resources.
class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit WebServer(WebApi& api, QObject* parent = nullptr);
    ~WebServer() override;

    // Listens on every address given (an address that cannot be listened on is logged and left
    // out); false, with the reason, when none could be.
    bool start(const QList<QHostAddress>& addresses, quint16 port,
               std::optional<QSslConfiguration> tls, WebConnections::Limits limits, QString* why);
    void stop();
    // The addresses actually listened on.
    QList<QHostAddress> listening() const;
    quint16 port() const;
    int openConnections() const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    WebApi& api_;
    QList<WebConnections*> listeners_;
};

}  // namespace tavirin
