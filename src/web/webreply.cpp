#include "web/webreply.h"

#include <QJsonObject>

namespace tavirin {

WebReply jsonReply(const QJsonDocument& json, int status) {
    return {status, "application/json; charset=utf-8", json.toJson(QJsonDocument::Compact), {}};
}

WebReply errorReply(int status, const char* code, const QString& message) {
    return jsonReply(QJsonDocument(QJsonObject{{QStringLiteral("code"), QString::fromLatin1(code)},
                                               {QStringLiteral("message"), message}}),
                     status);
}

const HeaderList& securityHeaders() {
    static const HeaderList h{
        {"Content-Security-Policy", "default-src 'self'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
    };
    return h;
}

QByteArray reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        case 429:
            return "Too Many Requests";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Status";
    }
}

QByteArray serialize(const WebReply& reply, bool close) {
    QByteArray out;
    out.reserve(reply.body.size() + 512);
    out +=
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto& [k, v] : securityHeaders()) out += k + ": " + v + "\r\n";
    if (!reply.contentType.isEmpty()) out += "Content-Type: " + reply.contentType + "\r\n";
    bool cacheSet = false;
    for (const auto& [k, v] : reply.headers) {
        out += k + ": " + v + "\r\n";
        if (k.compare("Cache-Control", Qt::CaseInsensitive) == 0) cacheSet = true;
    }
    if (!cacheSet) out += "Cache-Control: no-store\r\n";
    out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    if (close) out += "Connection: close\r\n";
    out += "\r\n";
    out += reply.body;
    return out;
}

QByteArray errorResponse(int status, const char* code, const QString& message) {
    return serialize(errorReply(status, code, message), true);
}

}  // namespace tavirin
