#pragma once

#include "web/webreply.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QString>
#include <QUrlQuery>

class QTcpSocket;

namespace tavirin {

class WebConnections;

// One request as the page's handlers see it.
struct WebRequest {
    QByteArray method;  // "GET", "POST", ...
    QString path;       // decoded, without the query
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers;  // names in lower case; a repeated one joined by ", "
    QByteArray body;
    QHostAddress peer;
    bool https = false;

    QByteArray header(const char* lowerName) const { return headers.value(lowerName); }
    // The value of the named cookie, "" when not sent.
    QByteArray cookie(const QByteArray& name) const;
    // The page's own origin as this request reached it: "https://<Host>".
    QByteArray ownOrigin() const;
};

// Where the answer to one request goes: once, or as an event stream. Nothing is written when
// the client has gone in the meantime (an answer that waited for a password check).
class WebResponder {
public:
    WebResponder(QTcpSocket* socket, WebConnections* connections, bool closeAfter);
    void send(const WebReply& reply);
    // Writes the head of an event stream and hands the connection over to it; null when the
    // client has gone.
    QTcpSocket* startStream();
    bool sent() const { return sent_; }

private:
    QPointer<QTcpSocket> socket_;
    QPointer<WebConnections> connections_;
    bool close_ = false;
    bool sent_ = false;
};

}  // namespace tavirin
