#pragma once

// A small HTTP server on 127.0.0.1 for the radio tests: a free port the system picks, and a
// thread of its own, so it keeps serving while the test's thread waits or is blocked. Each
// path answers as its Route says: a page, a playlist, an endless stream at its bit rate, a
// stream that drops after some bytes, or silence.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <memory>

namespace tavirin::test {

struct Route {
    QByteArray status = "HTTP/1.0 200 OK";
    QByteArray contentType;  // no Content-Type header when empty
    QByteArray body;
    // > 0: the body is sent over and over at this many bytes a second (a live stream, no
    // length; one second's worth at once, so the player starts at once)
    int bytesPerSecond = 0;
    qint64 dropAfter = -1;  // >= 0: the connection is closed after this many body bytes
    bool silent = false;    // the connection is taken, nothing is ever answered
};

class HttpServer {
public:
    HttpServer() {
        thread_.start();
        engine_.moveToThread(&thread_);
    }
    ~HttpServer() {
        QMetaObject::invokeMethod(
            &engine_,
            [this] {
                for (QTcpSocket* s : engine_.findChildren<QTcpSocket*>()) s->abort();
                server_.reset();
            },
            Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool start() {
        bool ok = false;
        QMetaObject::invokeMethod(
            &engine_,
            [this, &ok] {
                server_ = std::make_unique<QTcpServer>();
                QObject::connect(server_.get(), &QTcpServer::newConnection, &engine_,
                                 [this] { accept(); });
                ok = server_->listen(QHostAddress::LocalHost, 0);
                port_ = server_->serverPort();
            },
            Qt::BlockingQueuedConnection);
        return ok;
    }

    void route(const QString& path, const Route& r) {
        QMutexLocker lock(&mutex_);
        routes_.insert(path, r);
    }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
    }
    // The User-Agent of every request that came for the path, and how many of them are still
    // connected.
    QList<QByteArray> requests(const QString& path) const {
        QMutexLocker lock(&mutex_);
        return requests_.value(path);
    }
    int open(const QString& path) const {
        QMutexLocker lock(&mutex_);
        return open_.value(path);
    }

private:
    void accept() {
        while (QTcpSocket* s = server_->nextPendingConnection()) {
            s->setParent(&engine_);
            auto request = std::make_shared<QByteArray>();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, request] {
                if (request->contains("\r\n\r\n")) return;  // answered already
                *request += s->readAll();
                if (request->contains("\r\n\r\n")) answer(s, *request);
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    }

    void answer(QTcpSocket* s, const QByteArray& request) {
        // "GET /path?query HTTP/1.1": the route is the path without the query
        const QString path = QString::fromLatin1(request.split(' ').value(1)).section(u'?', 0, 0);
        Route r;
        {
            QMutexLocker lock(&mutex_);
            QByteArray agent;
            for (const QByteArray& line : request.split('\n'))
                if (line.toLower().startsWith("user-agent:")) agent = line.mid(11).trimmed();
            requests_[path].append(agent);
            ++open_[path];
            r = routes_.value(path, Route{"HTTP/1.0 404 Not Found", "text/html", "<p>no</p>"});
        }
        QObject::connect(s, &QObject::destroyed, &engine_, [this, path] {
            QMutexLocker lock(&mutex_);
            --open_[path];
        });
        if (r.silent) return;
        QByteArray head = r.status + "\r\nConnection: close\r\n";
        if (!r.contentType.isEmpty()) head += "Content-Type: " + r.contentType + "\r\n";
        if (r.bytesPerSecond <= 0)
            head += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
        s->write(head + "\r\n");
        if (r.bytesPerSecond <= 0) {
            s->write(r.body);
            s->disconnectFromHost();
            return;
        }
        // The stream: a tenth of a second's worth every 100 ms, after one second at once.
        auto sent = std::make_shared<qint64>(0);
        auto send = [s, r, sent](qint64 n) {
            if (s->bytesToWrite() > 4 * r.bytesPerSecond) return;  // the reader does not read
            if (r.dropAfter >= 0) n = qMin(n, r.dropAfter - *sent);
            QByteArray chunk;
            while (chunk.size() < n) {
                const qint64 at = (*sent + chunk.size()) % r.body.size();
                chunk += r.body.mid(at, n - chunk.size());
            }
            s->write(chunk);
            *sent += chunk.size();
            if (r.dropAfter >= 0 && *sent >= r.dropAfter) s->disconnectFromHost();
        };
        send(r.bytesPerSecond);
        auto* pace = new QTimer(s);
        QObject::connect(pace, &QTimer::timeout, s, [send, r] { send(r.bytesPerSecond / 10); });
        pace->start(100);
    }

    QThread thread_;
    QObject engine_;
    std::unique_ptr<QTcpServer> server_;
    quint16 port_ = 0;
    mutable QMutex mutex_;
    QHash<QString, Route> routes_;
    QHash<QString, QList<QByteArray>> requests_;
    QHash<QString, int> open_;
};

}  // namespace tavirin::test
