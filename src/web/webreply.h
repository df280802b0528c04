#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QList>
#include <QPair>
#include <QString>

namespace tavirin {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// One answer of the page's server, before it is put on the wire.
struct WebReply {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    HeaderList headers;  // besides the ones every answer carries
};

WebReply jsonReply(const QJsonDocument& json, int status = 200);
// {"code", "message"}: `code` stable for scripts, `message` Thai for the person.
WebReply errorReply(int status, const char* code, const QString& message);

// The headers every answer carries: the page runs only its own code, is never framed, never
// sniffed, and never tells another site where its user came from.
const HeaderList& securityHeaders();

// The answer as bytes, with its length and the security headers. `close`: the connection
// ends after it.
QByteArray serialize(const WebReply& reply, bool close = false);
// An error answer that ends the connection (a request broke a limit).
QByteArray errorResponse(int status, const char* code, const QString& message);

QByteArray reasonPhrase(int status);

}  // namespace tavirin
