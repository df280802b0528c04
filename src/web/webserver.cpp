#include "web/webserver.h"

#include "web/webapi.h"
#include "web/webrequest.h"
#include "webauth/weblog.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QSslSocket>
#include <QTcpSocket>

namespace tavirin {

namespace {

QByteArray methodName(QHttpServerRequest::Method m) {
    switch (m) {
        case QHttpServerRequest::Method::Get:
            return "GET";
        case QHttpServerRequest::Method::Put:
            return "PUT";
        case QHttpServerRequest::Method::Delete:
            return "DELETE";
        case QHttpServerRequest::Method::Post:
            return "POST";
        case QHttpServerRequest::Method::Head:
            return "HEAD";
        case QHttpServerRequest::Method::Options:
            return "OPTIONS";
        case QHttpServerRequest::Method::Patch:
            return "PATCH";
        case QHttpServerRequest::Method::Connect:
            return "CONNECT";
        case QHttpServerRequest::Method::Trace:
            return "TRACE";
        default:
            return "OTHER";
    }
}

struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};
const PageFile kPageFiles[] = {
    {"/", ":/web/page/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/web/page/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/web/page/app.js", "text/javascript; charset=utf-8"},
    {"/app.css", ":/web/page/app.css", "text/css; charset=utf-8"},
};

WebReply pageFile(const WebRequest& r) {
    // Browsers ask for it by themselves; the page names none (an icon inline would break the
    // content policy).
    if (r.path == QLatin1String("/favicon.ico")) return {204, {}, {}, {}};
    for (const PageFile& f : kPageFiles) {
        if (r.path != QLatin1String(f.path)) continue;
        if (r.method != "GET" && r.method != "HEAD")
            return errorReply(405, "method", QStringLiteral("ใช้วิธีนี้กับที่อยู่นี้ไม่ได้"));
        QFile file(QString::fromLatin1(f.resource));
        if (!file.open(QIODevice::ReadOnly)) break;
        WebReply reply{200, f.type, file.readAll(), {{"Cache-Control", "no-cache"}}};
        if (r.method == "HEAD") reply.body.clear();
        return reply;
    }
    return errorReply(404, "not-found", QStringLiteral("ไม่พบสิ่งที่ขอ"));
}

}  // namespace

WebServer::WebServer(WebApi& api, QObject* parent) : QAbstractHttpServer(parent), api_(api) {}

WebServer::~WebServer() {
    stop();
}

bool WebServer::start(const QList<QHostAddress>& addresses, quint16 port,
                      std::optional<QSslConfiguration> tls, WebConnections::Limits limits,
                      QString* why) {
    stop();
    QStringList failed;
    for (const QHostAddress& a : addresses) {
        auto* l = new WebConnections(tls, limits);
        if (!l->listen(a, port)) {
            qCWarning(lcWeb).noquote()
                << "the page cannot listen on" << a.toString() << port << ":" << l->errorString();
            failed << QStringLiteral("%1 (%2)").arg(a.toString(), l->errorString());
            delete l;
            continue;
        }
        bind(l);  // takes it as a child
        listeners_.append(l);
    }
    if (listeners_.isEmpty()) {
        if (why) *why = failed.join(QStringLiteral(", "));
        return false;
    }
    qCInfo(lcWeb).noquote() << "the page listens on port" << port << (tls ? "(https)" : "(http)")
                            << "at" << [&] {
                                   QStringList s;
                                   for (auto* l : listeners_) s << l->serverAddress().toString();
                                   return s.join(QStringLiteral(", "));
                               }();
    return true;
}

void WebServer::stop() {
    for (WebConnections* l : std::as_const(listeners_)) {
        l->close();
        // Its connections are its children: they go with it.
        l->deleteLater();
    }
    listeners_.clear();
}

QList<QHostAddress> WebServer::listening() const {
    QList<QHostAddress> out;
    for (auto* l : listeners_) out << l->serverAddress();
    return out;
}

quint16 WebServer::port() const {
    return listeners_.isEmpty() ? 0 : listeners_.first()->serverPort();
}

int WebServer::openConnections() const {
    int n = 0;
    for (auto* l : listeners_) n += l->openConnections();
    return n;
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    WebRequest r;
    r.method = methodName(request.method());
    r.path = request.url().path();
    r.query = request.query();
    for (const auto& [name, value] : request.headers()) {
        const QByteArray key = name.toLower();
        if (r.headers.contains(key))
            r.headers[key] += ", " + value;
        else
            r.headers.insert(key, value);
    }
    r.body = request.body();
    r.peer = WebConnections::plainAddress(request.remoteAddress());
    r.https = qobject_cast<QSslSocket*>(socket) != nullptr;
    auto* connections = qobject_cast<WebConnections*>(socket->parent());
    const bool close = r.header("connection").toLower().contains("close");
    WebResponder out(socket, connections, close);
    qCDebug(lcWeb).noquote() << r.method << r.path << "from" << r.peer.toString();
    if (r.path.startsWith(QLatin1String("/api/")))
        api_.handle(r, out);
    else
        out.send(pageFile(r));
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    Q_UNUSED(request);
    socket->write(errorResponse(404, "not-found", QStringLiteral("ไม่พบสิ่งที่ขอ")));
}

}  // namespace tavirin
