#pragma once

#include <QHash>
#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <optional>
#include <utility>

// A far end on 127.0.0.1 speaking just enough HTTP/1.1 (plain or over TLS) to record each
// request and give the answer it was told to; one request per connection.
class LocalHttpServer : public QTcpServer {
public:
    struct Request {
        QByteArray method, path;
        QHash<QByteArray, QByteArray> headers;  // names in lower case
        QByteArray body;
    };
    struct Answer {
        int status = 200;
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        bool never = false;  // read the request, then say nothing
    };

    LocalHttpServer() = default;
    LocalHttpServer(QSslCertificate certificate, QSslKey key)
        : tls_(std::make_pair(std::move(certificate), std::move(key))) {}

    bool start() { return listen(QHostAddress(QHostAddress::LocalHost), 0); }
    QString url() const {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(tls_ ? QStringLiteral("https") : QStringLiteral("http"))
            .arg(serverPort());
    }

    Answer answer;
    QList<Request> requests;
    int connections = 0;

protected:
    void incomingConnection(qintptr descriptor) override {
        ++connections;
        QTcpSocket* socket = nullptr;
        if (tls_) {
            auto* s = new QSslSocket(this);
            s->setSocketDescriptor(descriptor);
            s->setLocalCertificate(tls_->first);
            s->setPrivateKey(tls_->second);
            s->setPeerVerifyMode(QSslSocket::VerifyNone);
            s->startServerEncryption();
            socket = s;
        } else {
            socket = new QTcpSocket(this);
            socket->setSocketDescriptor(descriptor);
        }
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            take(socket, *buffer);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void take(QTcpSocket* socket, QByteArray& buffer) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        Request r;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.method = first.value(0);
        r.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                r.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                 lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = r.headers.value("content-length").toLongLong();
        if (buffer.size() < end + 4 + length) return;
        r.body = buffer.mid(end + 4, length);
        buffer.clear();
        requests << r;
        if (answer.never) return;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + " Answer\r\n";
        for (const auto& [name, value] : std::as_const(answer.headers))
            out += name + ": " + value + "\r\n";
        out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
        out += "Connection: close\r\n\r\n" + answer.body;
        socket->write(out);
        socket->disconnectFromHost();
    }

    std::optional<std::pair<QSslCertificate, QSslKey>> tls_;
};
