// The school's network page as a browser, a script and a hostile client meet it: raw HTTP/1.1
// over real sockets on 127.0.0.1, to the real server, API, accounts, sessions and login throttle,
// over the program's core built on doubles, with a real SQLite journal.
#include "calendar/calendar.h"
#include "calendar/dayrules.h"
#include "core/corestate.h"
#include "journal/sqlitejournal.h"
#include "scheduler/coreharness.h"
#include "store/dayprogram.h"
#include "web/webapi.h"
#include "web/webconnections.h"
#include "web/webserver.h"
#include "webauth/certificate.h"
#include "webauth/loginthrottle.h"
#include "webauth/passwords.h"
#include "webauth/webaccounts.h"
#include "webauth/websessions.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>
#include <optional>

using namespace tavirin;

namespace {

using Header = QPair<QByteArray, QByteArray>;
using Headers = QList<Header>;

const QString kAdminPassword = QStringLiteral("administrator1");
const QString kTeacherPassword = QStringLiteral("teacher1");
const QDate kToday(2026, 12, 9);  // a Wednesday
const QTime kNow(10, 30);
// Short enough that a client that stops is closed within the test, long enough for any request.
constexpr int kIdleMs = 4000;

bool hasThai(const QString& s) {
    return std::any_of(s.cbegin(), s.cend(),
                       [](QChar c) { return c.unicode() >= 0x0E00 && c.unicode() <= 0x0E7F; });
}

QByteArray jsonText(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// One answer as it came over the wire.
struct Response {
    int status = 0;  // 0: no status line came
    QByteArray statusLine;
    Headers headers;  // names in lower case, in order
    QByteArray body;

    QByteArray header(const QByteArray& lowerName) const {
        for (const auto& [k, v] : headers)
            if (k == lowerName) return v;
        return {};
    }
    int count(const QByteArray& lowerName) const {
        int n = 0;
        for (const auto& h : headers) n += h.first == lowerName;
        return n;
    }
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QJsonArray array() const { return QJsonDocument::fromJson(body).array(); }
    QString code() const { return json().value(QStringLiteral("code")).toString(); }
    QString message() const { return json().value(QStringLiteral("message")).toString(); }
    QByteArray describe() const {
        return statusLine + " " + QString::fromUtf8(body).left(200).toUtf8();
    }
};

// The head of an answer at the front of `buffer`, once it is all there; its end in *end.
std::optional<Response> parseHead(const QByteArray& buffer, qsizetype* end) {
    const qsizetype e = buffer.indexOf("\r\n\r\n");
    if (e < 0) return std::nullopt;
    Response r;
    const QList<QByteArray> lines = buffer.left(e).split('\n');
    r.statusLine = lines.value(0).trimmed();
    const QList<QByteArray> words = r.statusLine.split(' ');
    if (words.size() >= 2 && words[0] == "HTTP/1.1" && words[1].size() == 3)
        r.status = words[1].toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) continue;
        r.headers.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    *end = e + 4;
    return r;
}

// A raw HTTP/1.1 client, plain or over TLS, driven on the test's event loop (the server lives
// on the same one: never a blocking wait).
class Client {
public:
    Client(quint16 port, const QSslCertificate& ca = QSslCertificate(),
           const QHostAddress& from = QHostAddress())
        : port_(port), ca_(ca), from_(from) {}
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool open(int timeoutMs = 5000) {
        if (!ca_.isNull()) {
            auto* ssl = new QSslSocket;
            socket_.reset(ssl);
            QSslConfiguration c = QSslConfiguration::defaultConfiguration();
            c.setCaCertificates({ca_});
            c.setPeerVerifyMode(QSslSocket::VerifyPeer);
            c.setProtocol(QSsl::TlsV1_2OrLater);
            ssl->setSslConfiguration(c);
            QObject::connect(ssl, &QSslSocket::sslErrors,
                             [this](const QList<QSslError>& e) { sslErrors += e; });
            wire();
            ssl->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port_);
            return QTest::qWaitFor([&] { return ssl->isEncrypted() || closed_; }, timeoutMs) &&
                   ssl->isEncrypted();
        }
        socket_ = std::make_unique<QTcpSocket>();
        wire();
        if (!from_.isNull() && !socket_->bind(from_)) return false;
        socket_->connectToHost(QHostAddress(QHostAddress::LocalHost), port_);
        return QTest::qWaitFor(
                   [&] { return socket_->state() == QAbstractSocket::ConnectedState || closed_; },
                   timeoutMs) &&
               socket_->state() == QAbstractSocket::ConnectedState;
    }
    void send(const QByteArray& bytes) {
        socket_->write(bytes);
        socket_->flush();
    }
    // The next whole answer: by its Content-Length, or up to the close. status 0 when none came.
    Response next(int timeoutMs = 5000) {
        std::optional<Response> got;
        (void)QTest::qWaitFor([&] { return (got = take()).has_value(); }, timeoutMs);
        return got.value_or(Response{});
    }
    // The head of an answer without a length (an event stream), left out of the buffer.
    std::optional<Response> head(int timeoutMs = 5000) {
        qsizetype end = 0;
        std::optional<Response> r;
        (void)QTest::qWaitFor([&] { return (r = parseHead(buffer, &end)).has_value() || closed_; },
                              timeoutMs);
        if (r) buffer.remove(0, end);
        return r;
    }
    bool waitClosed(int timeoutMs = 5000) {
        return QTest::qWaitFor([&] { return closed_; }, timeoutMs);
    }
    bool closed() const { return closed_; }
    bool connected() const {
        return socket_ && socket_->state() == QAbstractSocket::ConnectedState && !closed_;
    }
    void close() {
        if (socket_) socket_->abort();
    }
    QAbstractSocket* socket() { return socket_.get(); }

    QByteArray buffer;  // what came and was not taken yet
    QList<QSslError> sslErrors;

private:
    void wire() {
        QObject::connect(socket_.get(), &QIODevice::readyRead,
                         [this] { buffer += socket_->readAll(); });
        QObject::connect(socket_.get(), &QAbstractSocket::disconnected, [this] {
            if (socket_->isOpen() && socket_->bytesAvailable() > 0) buffer += socket_->readAll();
            closed_ = true;
        });
        QObject::connect(socket_.get(), &QAbstractSocket::errorOccurred,
                         [this](QAbstractSocket::SocketError e) {
                             if (e == QAbstractSocket::RemoteHostClosedError ||
                                 e == QAbstractSocket::ConnectionRefusedError ||
                                 e == QAbstractSocket::SslHandshakeFailedError ||
                                 e == QAbstractSocket::NetworkError)
                                 closed_ = true;
                         });
    }
    std::optional<Response> take() {
        qsizetype end = 0;
        std::optional<Response> r = parseHead(buffer, &end);
        if (!r) {
            if (!closed_ || buffer.isEmpty())
                return closed_ ? std::optional<Response>(Response{}) : std::nullopt;
            // Bytes that are no HTTP answer, then the close.
            Response odd;
            odd.statusLine = buffer.left(80);
            odd.body = buffer;
            buffer.clear();
            return odd;
        }
        bool hasLength = false;
        const qint64 length = r->header("content-length").toLongLong(&hasLength);
        if (!hasLength) {
            if (!closed_) return std::nullopt;
            r->body = buffer.mid(end);
            buffer.clear();
            return r;
        }
        if (buffer.size() - end < length) {
            if (!closed_) return std::nullopt;
            r->body = buffer.mid(end);
            buffer.clear();
            return r;
        }
        r->body = buffer.mid(end, length);
        buffer.remove(0, end + length);
        return r;
    }

    quint16 port_;
    QSslCertificate ca_;
    QHostAddress from_;
    std::unique_ptr<QAbstractSocket> socket_;
    bool closed_ = false;
};

// The whole page as the program builds it, over the core on doubles.
struct Page {
    QTemporaryDir files;
    FakeClock journalClock{QDateTime(kToday, kNow)};
    SqliteJournal journal;
    CoreHarness h;
    WebAccounts accounts;
    WebSessions sessions;
    LoginThrottle throttle;
    WebApi api;
    WebServer server;
    QSslCertificate certificate;  // null over plain HTTP
    QStringList limited;          // what WebConnections refused or closed, and why

    Page()
        : journal(files.filePath(QStringLiteral("journal.sqlite")), journalClock),
          h(&journal),
          accounts(h.store),
          sessions(h.clock),
          throttle(h.clock),
          api({h.core, h.library, accounts, sessions, throttle, {}}),
          server(api) {
        api.setSettings([this] {
            return QJsonObject{{QStringLiteral("port"), int(server.port())},
                               {QStringLiteral("https"), !certificate.isNull()},
                               {QStringLiteral("addresses"), QJsonArray{"127.0.0.1"}},
                               {QStringLiteral("fingerprint"),
                                certificate.isNull() ? QString() : sha256Fingerprint(certificate)},
                               {QStringLiteral("url"), QStringLiteral("http://127.0.0.1/")}};
        });
    }

    bool listen(WebConnections::Limits limits, bool tls, QString* why) {
        std::optional<QSslConfiguration> conf;
        certificate = QSslCertificate();
        if (tls) {
            const CertificateResult cert = ensureCertificate(
                files.filePath(QStringLiteral("tls")), {QStringLiteral("localhost")},
                {QHostAddress(QHostAddress::LocalHost)}, QDateTime::currentDateTimeUtc());
            if (!cert.ok) {
                *why = cert.reason;
                return false;
            }
            // As the page builds it.
            QSslConfiguration c = QSslConfiguration::defaultConfiguration();
            c.setLocalCertificate(cert.certificate);
            c.setPrivateKey(cert.key);
            c.setProtocol(QSsl::TlsV1_2OrLater);
            c.setPeerVerifyMode(QSslSocket::VerifyNone);
            conf = c;
            certificate = cert.certificate;
        }
        if (!server.start({QHostAddress(QHostAddress::LocalHost)}, 0, conf, limits, why))
            return false;
        for (WebConnections* l : server.findChildren<WebConnections*>())
            QObject::connect(l, &WebConnections::limited, l,
                             [this](const QHostAddress& peer, const QString& w) {
                                 limited << peer.toString() + QLatin1Char(' ') + w;
                             });
        return server.port() != 0;
    }
    quint16 port() const { return server.port(); }
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(port()); }
    QByteArray origin() const { return (certificate.isNull() ? "http://" : "https://") + host(); }
    std::unique_ptr<Client> client(const QHostAddress& from = {}) {
        return std::make_unique<Client>(port(), certificate, from);
    }

    QByteArray request(const QByteArray& method, const QByteArray& target,
                       const QByteArray& body = {}, const Headers& headers = {},
                       bool close = true) const {
        QByteArray r = method + ' ' + target + " HTTP/1.1\r\nHost: " + host() + "\r\n";
        for (const auto& [k, v] : headers) r += k + ": " + v + "\r\n";
        if (!body.isEmpty() || method == "POST" || method == "PUT")
            r += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        if (close) r += "Connection: close\r\n";
        return r + "\r\n" + body;
    }
    // One request on a connection of its own.
    Response call(const QByteArray& method, const QByteArray& target, const QByteArray& body = {},
                  const Headers& headers = {}) {
        std::unique_ptr<Client> c = client();
        if (!c->open()) return {};
        c->send(request(method, target, body, headers));
        return c->next();
    }

    QJsonObject coreState() const { return toJson(h.core.state()); }
    QByteArray storeFile() const {
        QFile f(h.dir.filePath(QStringLiteral("tavirin.ini")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

struct Tokens {
    QByteArray token;
    QByteArray csrf;
};

Headers bearer(const QByteArray& token) {
    return {{"Authorization", "Bearer " + token}};
}

Headers cookie(const Tokens& t, bool csrf = true) {
    Headers h{{"Cookie", "lang=th; tavirin_session=" + t.token}};
    if (csrf) h.append(Header{"X-CSRF-Token", t.csrf});
    return h;
}

// The fields of a CSV text, row by row (quoted fields, doubled quotes, CRLF rows).
QList<QStringList> parseCsv(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"' && field.isEmpty()) {
            quoted = true;
        } else if (c == u',') {
            row << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << field;
            field.clear();
            rows << row;
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty()) rows << (row << field);
    return rows;
}

QJsonObject period(const QJsonObject& program, int n) {
    return program.value(QStringLiteral("periods")).toArray().at(n - 1).toObject();
}

QJsonObject withPeriod(QJsonObject program, int n, const QJsonObject& p) {
    QJsonArray periods = program.value(QStringLiteral("periods")).toArray();
    periods[n - 1] = p;
    program.insert(QStringLiteral("periods"), periods);
    return program;
}

}  // namespace

class TestWebApi : public QObject {
    Q_OBJECT

    QString adminHash_, teacherHash_;
    std::unique_ptr<Page> p_;

    Tokens session(WebRole role) {
        const std::optional<WebSession> s =
            p_->sessions.create(role, QHostAddress(QHostAddress::LocalHost));
        return s ? Tokens{s->token, s->csrf} : Tokens{};
    }
    Response login(const QString& role, const QString& password) {
        return p_->call(
            "POST", "/api/v1/login",
            jsonText({{QStringLiteral("role"), role}, {QStringLiteral("password"), password}}));
    }
    bool listen(WebConnections::Limits limits, bool tls = false) {
        QString why;
        const bool ok = p_->listen(limits, tls, &why);
        if (!ok) qWarning().noquote() << "the page did not start:" << why;
        return ok;
    }
    void setHash(WebRole role, const QString& hash) {
        QVERIFY(bool(p_->h.store.SaveSetting(QLatin1String(WebAccounts::kApplication),
                                             QLatin1String(WebAccounts::kSection), roleId(role),
                                             hash)));
    }
    // The bell in progress run to its end on the fake clock.
    void finishBell() {
        for (int i = 0; i < 2400 && p_->h.core.bellInProgress(); ++i) p_->h.runFor(50);
        QVERIFY(!p_->h.core.bellInProgress());
        // The window's tick after it, which takes up what waited for the bell.
        p_->h.runFor(1000);
    }

private slots:
    void initTestCase() {
        // Hashing costs a tenth of a second: once for the whole run.
        const std::optional<QString> a = hashPassword(kAdminPassword);
        const std::optional<QString> t = hashPassword(kTeacherPassword);
        QVERIFY(a && t);
        adminHash_ = *a;
        teacherHash_ = *t;
    }

    void init() {
        p_ = std::make_unique<Page>();
        QVERIFY(p_->files.isValid());
        QVERIFY(p_->journal.open());
        p_->h.clock.set(kToday, kNow);
        p_->h.seedAndArm();
        if (QTest::currentTestFailed()) return;
        setHash(WebRole::Admin, adminHash_);
        setHash(WebRole::Teacher, teacherHash_);
        QVERIFY(p_->accounts.hasPassword(WebRole::Admin));
        QVERIFY(p_->accounts.hasPassword(WebRole::Teacher));
        QVERIFY(listen({32, 8, kIdleMs}));
    }

    void cleanup() {
        p_.reset();
        // The sockets' and listeners' deleteLater.
        QTest::qWait(0);
    }

    // ---- the listening socket ----

    void listensOnAPortOfItsOwnAtTheAddressGiven() {
        QVERIFY(p_->port() != 0);
        QCOMPARE(p_->server.listening(),
                 QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost)});
        // Another loopback address of this PC is not listened on.
        QTcpSocket other;
        other.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), p_->port());
        QVERIFY(QTest::qWaitFor([&] { return other.state() == QAbstractSocket::UnconnectedState; },
                                5000));
        QCOMPARE(other.error(), QAbstractSocket::ConnectionRefusedError);
        const Response r = p_->call("GET", "/api/v1/state");
        QCOMPARE(r.status, 401);
    }

    // ---- 1. login ----

    void login_data() {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("rawBody");  // instead of role and password when set
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        QTest::newRow("admin") << "admin" << kAdminPassword << QByteArray() << 200 << "";
        QTest::newRow("teacher") << "teacher" << kTeacherPassword << QByteArray() << 200 << "";
        QTest::newRow("admin with the teacher's password")
            << "admin" << kTeacherPassword << QByteArray() << 401 << "wrong-password";
        QTest::newRow("case differs") << "teacher"
                                      << "Teacher1" << QByteArray() << 401 << "wrong-password";
        QTest::newRow("empty password") << "teacher"
                                        << "" << QByteArray() << 401 << "wrong-password";
        QTest::newRow("300 characters")
            << "admin" << QString(300, u'a') << QByteArray() << 401 << "wrong-password";
        QTest::newRow("role in capitals")
            << "Admin" << kAdminPassword << QByteArray() << 400 << "bad-request";
        QTest::newRow("unknown role")
            << "root" << kAdminPassword << QByteArray() << 400 << "bad-request";
        QTest::newRow("not JSON") << ""
                                  << "" << QByteArray("{role: admin") << 400 << "bad-request";
        QTest::newRow("an array") << ""
                                  << "" << QByteArray("[\"admin\"]") << 400 << "bad-request";
        QTest::newRow("no password")
            << ""
            << "" << QByteArray("{\"role\":\"admin\"}") << 400 << "bad-request";
        QTest::newRow("password a number")
            << ""
            << "" << QByteArray("{\"role\":\"admin\",\"password\":12345678}") << 400
            << "bad-request";
        QTest::newRow("empty body") << ""
                                    << "" << QByteArray(" ") << 400 << "bad-request";
    }
    void login() {
        QFETCH(QString, role);
        QFETCH(QString, password);
        QFETCH(QByteArray, rawBody);
        QFETCH(int, status);
        QFETCH(QString, code);
        const Response r = rawBody.isEmpty() ? login(role, password)
                                             : p_->call("POST", "/api/v1/login",
                                                        rawBody.trimmed().isEmpty() ? "" : rawBody);
        QVERIFY2(r.status == status, r.describe());
        if (status != 200) {
            QCOMPARE(r.code(), code);
            QVERIFY2(hasThai(r.message()), r.describe());
            QCOMPARE(r.count("set-cookie"), 0);
            QCOMPARE(p_->sessions.count(), 0);
            return;
        }
        const QJsonObject o = r.json();
        const QByteArray token = o.value(QStringLiteral("token")).toString().toLatin1();
        const QByteArray csrf = o.value(QStringLiteral("csrf")).toString().toLatin1();
        QCOMPARE(o.value(QStringLiteral("role")).toString(), role);
        QCOMPARE(token.size(), 64);
        QCOMPARE(csrf.size(), 64);
        QVERIFY(token != csrf);
        QCOMPARE(r.header("set-cookie"),
                 "tavirin_session=" + token + "; Path=/; HttpOnly; SameSite=Strict");
        QVERIFY(r.header("cache-control").contains("no-store"));

        // The token as a script uses it: the core's own picture, 24 bells.
        const Response state = p_->call("GET", "/api/v1/state", {}, bearer(token));
        QVERIFY2(state.status == 200, state.describe());
        QVERIFY(state.header("content-type").startsWith("application/json"));
        QCOMPARE(state.json().value(QStringLiteral("bells")).toArray().size(), 24);
        QCOMPARE(state.json(), p_->coreState());

        // The cookie as the page uses it.
        const Response again =
            p_->call("GET", "/api/v1/session", {}, {{"Cookie", "tavirin_session=" + token}});
        QVERIFY2(again.status == 200, again.describe());
        QCOMPARE(again.json().value(QStringLiteral("role")).toString(), role);
        QCOMPARE(again.json().value(QStringLiteral("csrf")).toString().toLatin1(), csrf);
        QCOMPARE(again.json().value(QStringLiteral("https")).toBool(true), false);
    }

    void aRoleWithoutAPassword_data() {
        QTest::addColumn<QString>("role");
        QTest::newRow("admin") << "admin";
        QTest::newRow("teacher") << "teacher";
    }
    void aRoleWithoutAPassword() {
        QFETCH(QString, role);
        const WebRole r = *roleFromId(role);
        setHash(r, QString());
        QVERIFY(!p_->accounts.hasPassword(r));
        const Response none = login(role, r == WebRole::Admin ? kAdminPassword : kTeacherPassword);
        QVERIFY2(none.status == 409, none.describe());
        QCOMPARE(none.code(), QStringLiteral("no-password"));
        QVERIFY(none.message().contains(roleName(r)));
        QCOMPARE(p_->sessions.count(), 0);
        // A damaged hash is no password either, and never a way in.
        setHash(r, QStringLiteral("$argon2id$v=19$m=1,t=1,p=1$broken"));
        const Response damaged = login(role, QStringLiteral("anything"));
        QVERIFY2(damaged.status == 409, damaged.describe());
        QCOMPARE(damaged.code(), QStringLiteral("no-password"));
    }

    void cookieIsReadByItsExactName() {
        const Tokens t = session(WebRole::Teacher);
        QCOMPARE(p_->call("GET", "/api/v1/session", {}, {{"Cookie", "xtavirin_session=" + t.token}})
                     .status,
                 401);
        QCOMPARE(p_->call("GET", "/api/v1/session", {},
                          {{"Cookie", "tavirin_session=" + t.token.left(63)}})
                     .status,
                 401);
        QCOMPARE(p_->call("GET", "/api/v1/session", {},
                          {{"Cookie", "a=1;tavirin_session=" + t.token + ";b=2"}})
                     .status,
                 200);
        // A Bearer that is no session is not made good by a cookie that is.
        Headers both = cookie(t);
        both.append(Header{"Authorization", "Bearer " + QByteArray(64, 'a')});
        QCOMPARE(p_->call("GET", "/api/v1/state", {}, both).status, 401);
    }

    void sessionsEndWhenNotUsed_data() {
        QTest::addColumn<int>("role");
        QTest::addColumn<qint64>("idleMs");
        QTest::newRow("teacher, 8 hours") << int(WebRole::Teacher) << WebSessions::kTeacherIdleMs;
        QTest::newRow("admin, 30 minutes") << int(WebRole::Admin) << WebSessions::kAdminIdleMs;
    }
    void sessionsEndWhenNotUsed() {
        QFETCH(int, role);
        QFETCH(qint64, idleMs);
        const Tokens t = session(WebRole(role));
        p_->h.clock.advanceMs(idleMs - 1000);
        QCOMPARE(p_->call("GET", "/api/v1/session", {}, bearer(t.token)).status, 200);
        // Each use counts from then on.
        p_->h.clock.advanceMs(idleMs - 1000);
        QCOMPARE(p_->call("GET", "/api/v1/session", {}, bearer(t.token)).status, 200);
        p_->h.clock.advanceMs(idleMs);
        const Response ended = p_->call("GET", "/api/v1/session", {}, bearer(t.token));
        QCOMPARE(ended.status, 401);
        QCOMPARE(ended.code(), QStringLiteral("login-required"));
    }

    void loginFloodIsAnsweredBusy() {
        // More logins at once than the password checks take: the rest are told, none hangs.
        constexpr int kLogins = WebAccounts::kMaxWaiting + 5;
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < kLogins; ++i) {
            clients.push_back(p_->client());
            QVERIFY(clients.back()->open());
        }
        const QByteArray body = jsonText({{QStringLiteral("role"), QStringLiteral("teacher")},
                                          {QStringLiteral("password"), kTeacherPassword}});
        for (auto& c : clients) c->send(p_->request("POST", "/api/v1/login", body));
        int right = 0, busy = 0;
        for (auto& c : clients) {
            const Response r = c->next(20000);
            if (r.status == 200) ++right;
            if (r.status == 503 && r.code() == QLatin1String("busy")) ++busy;
        }
        QCOMPARE(right + busy, kLogins);
        QVERIFY(right >= 1);
        QVERIFY(busy >= 1);
        QCOMPARE(p_->sessions.count(), right);
        QTRY_COMPARE(p_->accounts.pendingChecks(), 0);
    }

    void passwordChangeEndsTheRolesOtherSessions() {
        const Tokens admin = session(WebRole::Admin);
        const Tokens otherAdmin = session(WebRole::Admin);
        const Tokens teacher = session(WebRole::Teacher);
        // A teacher's open page ends with it.
        std::unique_ptr<Client> stream = p_->client();
        QVERIFY(stream->open());
        stream->send(p_->request("GET", "/api/v1/events", {}, bearer(teacher.token), false));
        QVERIFY(stream->head());

        Response r = p_->call("PUT", "/api/v1/settings/password",
                              R"({"role":"teacher","password":"abc"})", cookie(admin));
        QVERIFY2(r.status == 409, r.describe());
        QCOMPARE(r.code(), QStringLiteral("refused"));
        QVERIFY(hasThai(r.message()));
        QCOMPARE(p_->call("GET", "/api/v1/session", {}, bearer(teacher.token)).status, 200);

        r = p_->call("PUT", "/api/v1/settings/password",
                     R"({"role":"teacher","password":"ครูใหม่1234"})", cookie(admin));
        QVERIFY2(r.status == 200, r.describe());
        QCOMPARE(p_->call("GET", "/api/v1/session", {}, bearer(teacher.token)).status, 401);
        QCOMPARE(p_->call("GET", "/api/v1/session", {}, bearer(admin.token)).status, 200);
        QCOMPARE(p_->call("GET", "/api/v1/session", {}, bearer(otherAdmin.token)).status, 200);
        QCOMPARE(login(QStringLiteral("teacher"), kTeacherPassword).status, 401);
        QCOMPARE(login(QStringLiteral("teacher"), QStringLiteral("ครูใหม่1234")).status, 200);
        p_->h.runFor(1000);
        QVERIFY(stream->waitClosed());

        // The admin's own: the one who changed it stays, the other admin goes.
        r = p_->call("PUT", "/api/v1/settings/password",
                     R"({"role":"admin","password":"newadmin99"})", bearer(admin.token));
        QVERIFY2(r.status == 200, r.describe());
        QCOMPARE(p_->call("GET", "/api/v1/session", {}, bearer(admin.token)).status, 200);
        QCOMPARE(p_->call("GET", "/api/v1/session", {}, bearer(otherAdmin.token)).status, 401);
        const QList<ActionRecord> actions = p_->journal.actionsOn(kToday);
        QCOMPARE(actions.size(), 3);
        // The password itself is nowhere in the record.
        for (const ActionRecord& a : actions)
            QVERIFY(!(a.action + a.reason).contains(QStringLiteral("newadmin99")));
    }

    // ---- 2. the login throttle ----

    void fiveWrongPasswordsMakeTheAddressWait() {
        for (int i = 0; i < LoginThrottle::kAddressLimit; ++i) {
            const Response r = login(QStringLiteral("admin"), QStringLiteral("guess%1").arg(i));
            QVERIFY2(r.status == 401, r.describe());
        }
        // The wait in seconds when the login was throttled as it should be; -1 when not.
        const auto throttledFor = [&](const QString& role, const QString& password) {
            const Response r = login(role, password);
            const int retry = r.json().value(QStringLiteral("retryAfter")).toInt(-1);
            const bool ok = r.status == 429 && r.code() == QLatin1String("throttled") &&
                            retry > 0 && retry <= 300 &&
                            r.header("retry-after") == QByteArray::number(retry) &&
                            hasThai(r.message());
            if (!ok) qWarning().noquote() << r.describe();
            return ok ? retry : -1;
        };
        // Even the right password, and the other role from the same address.
        QCOMPARE(throttledFor(QStringLiteral("admin"), kAdminPassword), 300);
        QVERIFY(throttledFor(QStringLiteral("teacher"), kTeacherPassword) > 0);
        QCOMPARE(p_->sessions.count(), 0);

        p_->h.clock.advanceMs(LoginThrottle::kAddressWaitMs - 2000);
        QCOMPARE(throttledFor(QStringLiteral("admin"), kAdminPassword), 2);
        p_->h.clock.advanceMs(2000);
        const Response r = login(QStringLiteral("admin"), kAdminPassword);
        QVERIFY2(r.status == 200, r.describe());
        QCOMPARE(p_->sessions.count(), 1);
    }

    void theRightPasswordForgetsTheWrongOnes() {
        for (int i = 0; i < LoginThrottle::kAddressLimit - 1; ++i)
            QCOMPARE(login(QStringLiteral("teacher"), QStringLiteral("nope%1").arg(i)).status, 401);
        QCOMPARE(login(QStringLiteral("teacher"), kTeacherPassword).status, 200);
        for (int i = 0; i < LoginThrottle::kAddressLimit - 1; ++i)
            QCOMPARE(login(QStringLiteral("teacher"), QStringLiteral("nope%1").arg(i)).status, 401);
        QCOMPARE(login(QStringLiteral("teacher"), kTeacherPassword).status, 200);
    }

    // ---- 3. CSRF and Origin ----

    void csrf_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("status");
        QTest::newRow("cookie, no token") << "no token" << 403;
        QTest::newRow("cookie, wrong token") << "wrong token" << 403;
        QTest::newRow("cookie, another session's token") << "other token" << 403;
        QTest::newRow("cookie, token shorter") << "short token" << 403;
        QTest::newRow("cookie, foreign origin") << "foreign origin" << 403;
        QTest::newRow("cookie, origin null") << "null origin" << 403;
        QTest::newRow("cookie, own host other port") << "other port" << 403;
        QTest::newRow("cookie, https origin over http") << "other scheme" << 403;
        QTest::newRow("cookie, token and own origin") << "own origin" << 200;
        QTest::newRow("cookie, token and no origin") << "no origin" << 200;
        QTest::newRow("bearer, no token") << "bearer" << 200;
        QTest::newRow("bearer, wrong token header") << "bearer wrong token" << 200;
    }
    void csrf() {
        QFETCH(QString, how);
        QFETCH(int, status);
        const Tokens t = session(WebRole::Teacher);
        const Tokens other = session(WebRole::Teacher);
        Headers h;
        if (how.startsWith(QLatin1String("bearer"))) {
            h = bearer(t.token);
            if (how.contains(QLatin1String("wrong"))) h.append(Header{"X-CSRF-Token", "nonsense"});
        } else if (how == QLatin1String("no token")) {
            h = cookie(t, false);
        } else {
            h = cookie(t, false);
            QByteArray token = t.csrf;
            if (how == QLatin1String("wrong token")) token[10] = token[10] == 'a' ? 'b' : 'a';
            if (how == QLatin1String("other token")) token = other.csrf;
            if (how == QLatin1String("short token")) token.chop(1);
            h.append(Header{"X-CSRF-Token", token});
            if (how == QLatin1String("foreign origin"))
                h.append(Header{"Origin", "http://evil.example"});
            if (how == QLatin1String("null origin")) h.append(Header{"Origin", "null"});
            if (how == QLatin1String("other port"))
                h.append(Header{"Origin", "http://127.0.0.1:1"});
            if (how == QLatin1String("other scheme"))
                h.append(Header{"Origin", "https://" + p_->host()});
            if (how == QLatin1String("own origin")) h.append(Header{"Origin", p_->origin()});
        }
        const Response r = p_->call("POST", "/api/v1/announce", "{}", h);
        QVERIFY2(r.status == status, r.describe());
        const bool ran = status == 200;
        QCOMPARE(p_->h.core.bellInProgress(), ran);
        QCOMPARE(p_->journal.actionsOn(kToday).size(), ran ? 1 : 0);
        if (ran) {
            QCOMPARE(r.json().value(QStringLiteral("status")).toString(), QStringLiteral("done"));
            QCOMPARE(p_->coreState()
                         .value(QStringLiteral("bell"))
                         .toObject()
                         .value(QStringLiteral("kind"))
                         .toString(),
                     QStringLiteral("announce"));
        } else {
            QCOMPARE(r.code(), QStringLiteral("csrf"));
            QVERIFY(hasThai(r.message()));
        }
    }

    void getNeverChangesAnything_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("announce") << QByteArray("/api/v1/announce");
        QTest::newRow("ring") << QByteArray("/api/v1/ring?period=3");
        QTest::newRow("emergency") << QByteArray("/api/v1/emergency?kind=evacuate");
        QTest::newRow("logout") << QByteArray("/api/v1/logout");
        QTest::newRow("login") << QByteArray("/api/v1/login?role=admin&password=administrator1");
    }
    void getNeverChangesAnything() {
        QFETCH(QByteArray, target);
        const Tokens t = session(WebRole::Teacher);
        const QByteArray before = p_->storeFile();
        const Response r = p_->call("GET", target, {}, cookie(t, false));
        QVERIFY2(r.status == 405, r.describe());
        QCOMPARE(r.code(), QStringLiteral("method"));
        QVERIFY(!p_->h.core.bellInProgress());
        QVERIFY(p_->coreState().value(QStringLiteral("emergency")).isNull());
        QCOMPARE(p_->sessions.count(), 1);
        QVERIFY(p_->sessions.alive(t.token));
        QCOMPARE(p_->storeFile(), before);
        QVERIFY(p_->journal.actionsOn(kToday).isEmpty());
    }

    // ---- 4. roles, routes ----

    void roles_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("teacher");
        QTest::addColumn<int>("admin");
        QTest::newRow("allclear") << QByteArray("POST") << QByteArray("/api/v1/allclear")
                                  << QByteArray("{}") << 403 << 409;
        QTest::newRow("programs PUT") << QByteArray("PUT") << QByteArray("/api/v1/programs/1")
                                      << QByteArray("{}") << 403 << 400;
        QTest::newRow("calendar POST") << QByteArray("POST") << QByteArray("/api/v1/calendar")
                                       << QByteArray("{}") << 403 << 400;
        QTest::newRow("calendar DELETE")
            << QByteArray("DELETE") << QByteArray("/api/v1/calendar?id=0-000000000000")
            << QByteArray() << 403 << 404;
        QTest::newRow("journal CSV")
            << QByteArray("GET") << QByteArray("/api/v1/journal.csv?month=2026-12") << QByteArray()
            << 403 << 200;
        QTest::newRow("settings") << QByteArray("GET") << QByteArray("/api/v1/settings")
                                  << QByteArray() << 403 << 200;
        QTest::newRow("password") << QByteArray("PUT") << QByteArray("/api/v1/settings/password")
                                  << QByteArray("{}") << 403 << 400;
        QTest::newRow("state") << QByteArray("GET") << QByteArray("/api/v1/state") << QByteArray()
                               << 200 << 200;
        QTest::newRow("kinds") << QByteArray("GET") << QByteArray("/api/v1/kinds") << QByteArray()
                               << 200 << 200;
        QTest::newRow("sounds") << QByteArray("GET") << QByteArray("/api/v1/sounds") << QByteArray()
                                << 200 << 200;
        QTest::newRow("programs GET")
            << QByteArray("GET") << QByteArray("/api/v1/programs/3") << QByteArray() << 200 << 200;
        QTest::newRow("calendar GET")
            << QByteArray("GET") << QByteArray("/api/v1/calendar") << QByteArray() << 200 << 200;
        QTest::newRow("journal") << QByteArray("GET") << QByteArray("/api/v1/journal")
                                 << QByteArray() << 200 << 200;
        QTest::newRow("media stop") << QByteArray("POST") << QByteArray("/api/v1/media/stop")
                                    << QByteArray("{}") << 200 << 200;
    }
    void roles() {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, body);
        QFETCH(int, teacher);
        QFETCH(int, admin);
        const QByteArray before = p_->storeFile();
        const Response t = p_->call(method, target, body, bearer(session(WebRole::Teacher).token));
        QVERIFY2(t.status == teacher, t.describe());
        if (teacher == 403) {
            QCOMPARE(t.code(), QStringLiteral("forbidden"));
            QCOMPARE(p_->storeFile(), before);
            QVERIFY(p_->journal.actionsOn(kToday).isEmpty());
        }
        const Response a = p_->call(method, target, body, bearer(session(WebRole::Admin).token));
        QVERIFY2(a.status == admin, a.describe());
        // Without a session, nobody.
        const Response none = p_->call(method, target, body);
        QVERIFY2(none.status == 401, none.describe());
        QCOMPARE(none.code(), QStringLiteral("login-required"));
    }

    void routes_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        QTest::newRow("unknown route")
            << QByteArray("GET") << QByteArray("/api/v1/nothing") << 404 << "not-found";
        QTest::newRow("another version")
            << QByteArray("GET") << QByteArray("/api/v2/state") << 404 << "not-found";
        QTest::newRow("trailing slash")
            << QByteArray("GET") << QByteArray("/api/v1/state/") << 404 << "not-found";
        QTest::newRow("unknown page file")
            << QByteArray("GET") << QByteArray("/secret.txt") << 404 << "not-found";
        QTest::newRow("dot segments")
            << QByteArray("GET") << QByteArray("/../../etc/passwd") << 404 << "not-found";
        QTest::newRow("DELETE state")
            << QByteArray("DELETE") << QByteArray("/api/v1/state") << 405 << "method";
        QTest::newRow("PUT announce")
            << QByteArray("PUT") << QByteArray("/api/v1/announce") << 405 << "method";
        QTest::newRow("POST page")
            << QByteArray("POST") << QByteArray("/index.html") << 405 << "method";
        QTest::newRow("HEAD state")
            << QByteArray("HEAD") << QByteArray("/api/v1/state") << 405 << "method";
        QTest::newRow("OPTIONS state")
            << QByteArray("OPTIONS") << QByteArray("/api/v1/state") << 405 << "method";
    }
    void routes() {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        QFETCH(int, status);
        QFETCH(QString, code);
        const Response r = p_->call(method, target, "", bearer(session(WebRole::Admin).token));
        QVERIFY2(r.status == status, r.describe());
        if (method != "HEAD") {
            QCOMPARE(r.code(), code);
            QVERIFY(hasThai(r.message()));
        }
    }

    void pageFiles_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("/") << QByteArray("/") << QByteArray("text/html; charset=utf-8");
        QTest::newRow("index") << QByteArray("/index.html")
                               << QByteArray("text/html; charset=utf-8");
        QTest::newRow("script") << QByteArray("/app.js")
                                << QByteArray("text/javascript; charset=utf-8");
        QTest::newRow("style") << QByteArray("/app.css") << QByteArray("text/css; charset=utf-8");
    }
    void pageFiles() {
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, type);
        const Response r = p_->call("GET", target);
        QVERIFY2(r.status == 200, r.describe());
        QCOMPARE(r.header("content-type"), type);
        QVERIFY(!r.body.isEmpty());
        const Response head = p_->call("HEAD", target);
        QCOMPARE(head.status, 200);
        QVERIFY(head.body.isEmpty());
    }

    // ---- 5. commands ----

    void commands() {
        const Tokens teacher = session(WebRole::Teacher);
        const Tokens admin = session(WebRole::Admin);
        const auto post = [&](const QByteArray& target, const QJsonObject& body,
                              const Tokens& who) {
            return p_->call("POST", target, jsonText(body), cookie(who));
        };
        const auto state = [&] {
            return p_->call("GET", "/api/v1/state", {}, bearer(teacher.token)).json();
        };

        Response r = post("/api/v1/ring", {{QStringLiteral("period"), 25}}, teacher);
        QVERIFY2(r.status == 400, r.describe());
        QCOMPARE(r.code(), QStringLiteral("bad-value"));
        QVERIFY(hasThai(r.message()) && r.message().contains(QStringLiteral("25")));
        for (const QJsonValue& bad :
             {QJsonValue(QStringLiteral("3")), QJsonValue(3.5), QJsonValue(true), QJsonValue()}) {
            r = post("/api/v1/ring", {{QStringLiteral("period"), bad}}, teacher);
            QVERIFY2(r.status == 400, r.describe());
            QCOMPARE(r.code(), QStringLiteral("bad-request"));
        }
        r = post("/api/v1/ring", {{QStringLiteral("period"), 0}}, teacher);
        QCOMPARE(r.code(), QStringLiteral("bad-value"));
        QVERIFY(!p_->h.core.bellInProgress());

        r = post("/api/v1/ring", {{QStringLiteral("period"), 3}}, teacher);
        QVERIFY2(r.status == 200, r.describe());
        QCOMPARE(r.json().value(QStringLiteral("status")).toString(), QStringLiteral("done"));
        QJsonObject bell = state().value(QStringLiteral("bell")).toObject();
        QCOMPARE(bell.value(QStringLiteral("kind")).toString(), QStringLiteral("manual"));
        QCOMPARE(bell.value(QStringLiteral("period")).toInt(), 3);

        r = post("/api/v1/announce", {}, teacher);
        QVERIFY2(r.status == 409, r.describe());
        QCOMPARE(r.code(), QStringLiteral("refused"));
        QVERIFY2(r.message().startsWith(QStringLiteral("กำลังตีออดอยู่")), r.describe());

        // Today's change during the bell is kept, in force once the bell is over.
        r = post("/api/v1/today", {{QStringLiteral("change"), QStringLiteral("no-bells")}},
                 teacher);
        QVERIFY2(r.status == 200, r.describe());
        QCOMPARE(r.json().value(QStringLiteral("status")).toString(), QStringLiteral("waiting"));
        finishBell();
        QTRY_VERIFY(state()
                        .value(QStringLiteral("today"))
                        .toObject()
                        .value(QStringLiteral("noBells"))
                        .toBool());

        const QJsonArray kinds =
            p_->call("GET", "/api/v1/kinds", {}, bearer(teacher.token)).array();
        QString evacuate;
        for (const QJsonValue& k : kinds)
            if (k.toObject().value(QStringLiteral("id")).toString() == QLatin1String("evacuate"))
                evacuate = k.toObject().value(QStringLiteral("name")).toString();
        QVERIFY2(!evacuate.isEmpty(), "no evacuate kind");

        r = post("/api/v1/emergency", {{QStringLiteral("kind"), QStringLiteral("evacuate")}},
                 teacher);
        QVERIFY2(r.status == 200, r.describe());
        QJsonObject emergency = state().value(QStringLiteral("emergency")).toObject();
        QCOMPARE(emergency.value(QStringLiteral("kind")).toString(), QStringLiteral("evacuate"));
        QCOMPARE(emergency.value(QStringLiteral("from")).toString(), QStringLiteral("page"));

        r = post("/api/v1/emergency", {{QStringLiteral("kind"), QStringLiteral("party")}}, teacher);
        QVERIFY2(r.status == 409, r.describe());
        QCOMPARE(r.code(), QStringLiteral("refused"));
        r = post("/api/v1/emergency", {{QStringLiteral("kind"), 1}}, teacher);
        QCOMPARE(r.code(), QStringLiteral("bad-request"));

        r = post("/api/v1/announce", {}, teacher);
        QVERIFY2(r.status == 409, r.describe());

        r = post("/api/v1/allclear", {}, admin);
        QVERIFY2(r.status == 200, r.describe());
        r = post("/api/v1/media/stop", {}, teacher);
        QVERIFY2(r.status == 200, r.describe());

        // Each command that reached the core is in the day's record: who, from where, what.
        const QList<ActionRecord> actions = p_->journal.actionsOn(kToday);
        const QStringList outcomes{"done",    "refused", "waiting", "done",
                                   "refused", "refused", "done",    "done"};
        QStringList seen;
        for (const ActionRecord& a : actions) seen << a.outcome;
        QCOMPARE(seen, outcomes);
        for (qsizetype i = 0; i < actions.size(); ++i) {
            const ActionRecord& a = actions[i];
            QCOMPARE(a.from, QStringLiteral("page"));
            QCOMPARE(a.address, QStringLiteral("127.0.0.1"));
            QCOMPARE(a.role, i == 6 ? QStringLiteral("admin") : QStringLiteral("teacher"));
            QVERIFY(hasThai(a.action));
            if (a.outcome == QLatin1String("refused")) QVERIFY(!a.reason.isEmpty());
        }
        QVERIFY(actions[0].action.contains(QStringLiteral("3")));
        QVERIFY(actions[3].action.contains(evacuate));

        const Response day =
            p_->call("GET", "/api/v1/journal?date=2026-12-09", {}, bearer(teacher.token));
        QVERIFY2(day.status == 200, day.describe());
        QCOMPARE(day.json().value(QStringLiteral("date")).toString(), QStringLiteral("2026-12-09"));
        QStringList lines;
        for (const QJsonValue& l : day.json().value(QStringLiteral("lines")).toArray())
            lines << l.toObject().value(QStringLiteral("text")).toString();
        for (const ActionRecord& a : actions) {
            const bool found = std::any_of(lines.cbegin(), lines.cend(), [&](const QString& l) {
                return l.contains(QStringLiteral("หน้าเว็บ: ") + a.action) &&
                       l.contains(QStringLiteral("127.0.0.1"));
            });
            QVERIFY2(found, qPrintable(a.action + QStringLiteral(" not in: ") +
                                       lines.join(QStringLiteral(" | "))));
        }
        // The emergency and the manual bell are there too.
        QVERIFY(std::any_of(lines.cbegin(), lines.cend(),
                            [&](const QString& l) { return l.contains(evacuate); }));

        QCOMPARE(
            p_->call("GET", "/api/v1/journal?date=2026-02-30", {}, bearer(teacher.token)).code(),
            QStringLiteral("bad-value"));
    }

    void todayChanges_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        QTest::newRow("no bells") << QByteArray(R"({"change":"no-bells"})") << 200 << "";
        QTest::newRow("Monday's program")
            << QByteArray(R"({"change":"weekday","value":1})") << 200 << "";
        QTest::newRow("ten minutes later")
            << QByteArray(R"({"change":"shift","value":10})") << 200 << "";
        QTest::newRow("shift by 0")
            << QByteArray(R"({"change":"shift","value":0})") << 409 << "refused";
        QTest::newRow("value as text")
            << QByteArray(R"({"change":"shift","value":"10"})") << 400 << "bad-request";
        QTest::newRow("no value") << QByteArray(R"({"change":"weekday"})") << 400 << "bad-request";
        QTest::newRow("change a number") << QByteArray(R"({"change":5})") << 400 << "bad-request";
        QTest::newRow("unknown change")
            << QByteArray(R"({"change":"holiday"})") << 409 << "refused";
        QTest::newRow("none when there is none")
            << QByteArray(R"({"change":"none"})") << 409 << "refused";
        QTest::newRow("not JSON") << QByteArray("change=no-bells") << 400 << "bad-request";
        // Outside their ranges: the core's own refusal, as on the session bus.
        QTest::newRow("weekday 8")
            << QByteArray(R"({"change":"weekday","value":8})") << 409 << "refused";
        QTest::newRow("shift 500")
            << QByteArray(R"({"change":"shift","value":500})") << 409 << "refused";
    }
    void todayChanges() {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, code);
        const QJsonObject before = p_->coreState().value(QStringLiteral("today")).toObject();
        const Response r =
            p_->call("POST", "/api/v1/today", body, bearer(session(WebRole::Teacher).token));
        QVERIFY2(r.status == status, r.describe());
        QTest::qWait(0);
        const QJsonObject after = p_->coreState().value(QStringLiteral("today")).toObject();
        if (status != 200) {
            QCOMPARE(r.code(), code);
            QVERIFY(hasThai(r.message()));
            QCOMPARE(after, before);
            return;
        }
        QCOMPARE(r.json().value(QStringLiteral("status")).toString(), QStringLiteral("done"));
        const QJsonObject asked = QJsonDocument::fromJson(body).object();
        const QString change = asked.value(QStringLiteral("change")).toString();
        if (change == QLatin1String("no-bells"))
            QVERIFY(after.value(QStringLiteral("noBells")).toBool());
        if (change == QLatin1String("weekday"))
            QCOMPARE(after.value(QStringLiteral("programDay")).toInt(), 1);
        QVERIFY(after.value(QStringLiteral("changes")).toArray().size() >
                before.value(QStringLiteral("changes")).toArray().size());
        QCOMPARE(p_->journal.actionsOn(kToday).size(), 1);
    }

    // ---- 6. programs ----

    void programsRead() {
        const QByteArray token = session(WebRole::Teacher).token;
        for (int day = 1; day <= 7; ++day) {
            const Response r =
                p_->call("GET", "/api/v1/programs/" + QByteArray::number(day), {}, bearer(token));
            QVERIFY2(r.status == 200, r.describe());
            const QJsonObject o = r.json();
            QCOMPARE(o.value(QStringLiteral("day")).toInt(), day);
            QVERIFY(hasThai(o.value(QStringLiteral("name")).toString()));
            const QJsonArray periods = o.value(QStringLiteral("periods")).toArray();
            QCOMPARE(periods.size(), 24);
            const DayProgram stored = readDayProgram(p_->h.store, day);
            for (int n = 1; n <= 24; ++n) {
                const QJsonObject p = periods[n - 1].toObject();
                QCOMPARE(p.value(QStringLiteral("period")).toInt(), n);
                const bool inUse = stored.period(n).hour != QLatin1String("no");
                QCOMPARE(p.value(QStringLiteral("inUse")).toBool(), inUse);
                if (inUse)
                    QCOMPARE(p.value(QStringLiteral("hour")).toInt(),
                             stored.period(n).hour.toInt());
                QCOMPARE(p.value(QStringLiteral("minute")).toInt(),
                         stored.period(n).minute.toInt());
            }
        }
        for (const QByteArray day : {"0", "8", "01", "1x", "-1", "", "1/2"}) {
            const Response r = p_->call("GET", "/api/v1/programs/" + day, {}, bearer(token));
            QVERIFY2(r.status == 404, r.describe() + " for " + day);
        }
        const Response put8 =
            p_->call("PUT", "/api/v1/programs/8", "{}", bearer(session(WebRole::Admin).token));
        QVERIFY2(put8.status == 404, put8.describe());
    }

    void programRefused_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("code");
        QTest::newRow("23 periods") << "23 periods"
                                    << "bad-request";
        QTest::newRow("25 periods") << "25 periods"
                                    << "bad-request";
        QTest::newRow("no periods") << "no periods"
                                    << "bad-request";
        QTest::newRow("not JSON") << "not JSON"
                                  << "bad-request";
        QTest::newRow("a sound not in the list") << "unknown sound"
                                                 << "bad-value";
        QTest::newRow("a path as the sound") << "path sound"
                                             << "bad-value";
        QTest::newRow("hour 24") << "hour 24"
                                 << "bad-value";
        QTest::newRow("minute -1") << "minute -1"
                                   << "bad-value";
        QTest::newRow("minute 7.5") << "minute 7.5"
                                    << "bad-value";
        QTest::newRow("after 5") << "after 5"
                                 << "bad-value";
        QTest::newRow("inUse as text") << "inUse text"
                                       << "bad-value";
        QTest::newRow("periods out of order") << "swapped"
                                              << "bad-value";
        QTest::newRow("shutdown at 25:00") << "shutdown 25"
                                           << "bad-value";
    }
    void programRefused() {
        QFETCH(QString, what);
        QFETCH(QString, code);
        const QByteArray admin = session(WebRole::Admin).token;
        // A sound the list has, so that only the change under test is wrong.
        const QJsonObject program = p_->call("GET", "/api/v1/programs/1", {}, bearer(admin)).json();
        QCOMPARE(program.value(QStringLiteral("periods")).toArray().size(), 24);
        QList<QByteArray> days;
        for (int day = 1; day <= 7; ++day)
            days << p_->call("GET", "/api/v1/programs/" + QByteArray::number(day), {},
                             bearer(admin))
                        .body;
        const QByteArray file = p_->storeFile();

        QJsonObject changed = program;
        QJsonArray periods = program.value(QStringLiteral("periods")).toArray();
        QJsonObject p2 = period(program, 2);
        QByteArray body;
        if (what == QLatin1String("23 periods")) {
            periods.removeLast();
            changed.insert(QStringLiteral("periods"), periods);
        } else if (what == QLatin1String("25 periods")) {
            periods.append(periods.last());
            changed.insert(QStringLiteral("periods"), periods);
        } else if (what == QLatin1String("no periods")) {
            changed.remove(QStringLiteral("periods"));
        } else if (what == QLatin1String("not JSON")) {
            body = "periods=24";
        } else if (what == QLatin1String("unknown sound")) {
            p2.insert(QStringLiteral("sound"), QStringLiteral("0123456789abcdef"));
            p2.insert(QStringLiteral("addOn"), true);
        } else if (what == QLatin1String("path sound")) {
            p2.insert(QStringLiteral("sound"), QStringLiteral("/etc/passwd"));
            p2.insert(QStringLiteral("addOn"), true);
        } else if (what == QLatin1String("hour 24")) {
            p2.insert(QStringLiteral("hour"), 24);
        } else if (what == QLatin1String("minute -1")) {
            p2.insert(QStringLiteral("minute"), -1);
        } else if (what == QLatin1String("minute 7.5")) {
            p2.insert(QStringLiteral("minute"), 7.5);
        } else if (what == QLatin1String("after 5")) {
            p2.insert(QStringLiteral("after"), 5);
        } else if (what == QLatin1String("inUse text")) {
            p2.insert(QStringLiteral("inUse"), QStringLiteral("true"));
        } else if (what == QLatin1String("swapped")) {
            periods[1] = period(program, 3);
            periods[2] = period(program, 2);
            changed.insert(QStringLiteral("periods"), periods);
        } else if (what == QLatin1String("shutdown 25")) {
            changed.insert(QStringLiteral("shutdown"),
                           QJsonObject{{QStringLiteral("enabled"), true},
                                       {QStringLiteral("hour"), 25},
                                       {QStringLiteral("minute"), 0}});
        }
        if (p2 != period(program, 2)) changed = withPeriod(changed, 2, p2);
        // A valid period before the wrong one is not written either.
        QJsonObject p1 = period(changed.contains(QStringLiteral("periods")) ? changed : program, 1);
        p1.insert(QStringLiteral("minute"), (p1.value(QStringLiteral("minute")).toInt() + 7) % 60);
        if (changed.value(QStringLiteral("periods")).toArray().size() == 24)
            changed = withPeriod(changed, 1, p1);
        if (body.isEmpty()) body = jsonText(changed);

        const Response r = p_->call("PUT", "/api/v1/programs/1", body, bearer(admin));
        QVERIFY2(r.status == 400, r.describe());
        QCOMPARE(r.code(), code);
        QVERIFY(hasThai(r.message()));
        QCOMPARE(p_->storeFile(), file);
        for (int day = 1; day <= 7; ++day)
            QCOMPARE(
                p_->call("GET", "/api/v1/programs/" + QByteArray::number(day), {}, bearer(admin))
                    .body,
                days[day - 1]);
        QVERIFY(p_->journal.actionsOn(kToday).isEmpty());
    }

    void programSaved() {
        // A school's own sound a program plays already: the page may choose it too.
        DayProgram tuesday = readDayProgram(p_->h.store, 2);
        tuesday.period(9).soundFile = p_->h.dir.filePath(QStringLiteral("school song.wav"));
        tuesday.period(9).enabled = QStringLiteral("1");
        QVERIFY(bool(writeDayProgram(p_->h.store, weekdayRow(2)->application, tuesday)));

        const QByteArray admin = session(WebRole::Admin).token;
        const QJsonArray sounds = p_->call("GET", "/api/v1/sounds", {}, bearer(admin)).array();
        QVERIFY2(!sounds.isEmpty(), "no sound listed");
        const QString id = sounds.first().toObject().value(QStringLiteral("id")).toString();
        QVERIFY(!id.isEmpty());
        for (const QJsonValue& s : sounds)
            QVERIFY2(!s.toObject().value(QStringLiteral("id")).toString().contains(u'/'),
                     "a sound's id is a path");

        const QJsonObject program = p_->call("GET", "/api/v1/programs/1", {}, bearer(admin)).json();
        QJsonObject p5 = period(program, 5);
        p5.insert(QStringLiteral("inUse"), true);
        p5.insert(QStringLiteral("hour"), 13);
        p5.insert(QStringLiteral("minute"), 45);
        QJsonObject p6 = period(program, 6);
        p6.insert(QStringLiteral("sound"), id);
        p6.insert(QStringLiteral("addOn"), true);
        p6.insert(QStringLiteral("after"), 4);
        QJsonObject p20 = period(program, 20);
        p20.insert(QStringLiteral("inUse"), false);
        const QJsonObject changed =
            withPeriod(withPeriod(withPeriod(program, 5, p5), 6, p6), 20, p20);
        const Response r = p_->call("PUT", "/api/v1/programs/1", jsonText(changed), bearer(admin));
        QVERIFY2(r.status == 200, r.describe());

        const DayProgram stored = readDayProgram(p_->h.store, 1);
        QCOMPARE(stored.period(5).hour, QStringLiteral("13"));
        QCOMPARE(stored.period(5).minute, QStringLiteral("45"));
        QCOMPARE(stored.period(6).enabled, QStringLiteral("1"));
        QCOMPARE(stored.period(6).soundFile, tuesday.period(9).soundFile);
        QCOMPARE(stored.period(6).afterBellMedia, QStringLiteral("4"));
        QCOMPARE(stored.period(20).hour, QStringLiteral("no"));
        const QJsonObject back = p_->call("GET", "/api/v1/programs/1", {}, bearer(admin)).json();
        QCOMPARE(period(back, 6).value(QStringLiteral("sound")).toString(), id);
        QCOMPARE(period(back, 5).value(QStringLiteral("hour")).toInt(), 13);
        QCOMPARE(p_->journal.actionsOn(kToday).size(), 1);
        QCOMPARE(p_->journal.actionsOn(kToday).first().role, QStringLiteral("admin"));
    }

    // ---- 7. calendar ----

    void calendarNamesComeBackAsSent_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("script") << "<script>alert(1)</script>";
        QTest::newRow("quotes and ampersand") << "\"quoted\" & 'apos' </title>";
        QTest::newRow("the store's separator") << "a|b|c";
        QTest::newRow("Thai and an emoji") << QStringLiteral("วันครู 🎉");
        QTest::newRow("a formula") << "=HYPERLINK(\"http://evil.example\")";
        QTest::newRow("JSON in the name") << "\"},{\"id\":\"0-x";
    }
    void calendarNamesComeBackAsSent() {
        QFETCH(QString, name);
        const QByteArray admin = session(WebRole::Admin).token;
        const QJsonObject entry{{QStringLiteral("start"), QStringLiteral("2027-01-15")},
                                {QStringLiteral("end"), QStringLiteral("2027-01-16")},
                                {QStringLiteral("name"), name},
                                {QStringLiteral("rule"), QStringLiteral("no-bells")}};
        const Response added = p_->call("POST", "/api/v1/calendar", jsonText(entry), bearer(admin));
        QVERIFY2(added.status == 200, added.describe());
        QCOMPARE(added.json().value(QStringLiteral("added")).toInt(), 1);

        const Response list =
            p_->call("GET", "/api/v1/calendar", {}, bearer(session(WebRole::Teacher).token));
        QVERIFY2(list.status == 200, list.describe());
        const QJsonArray entries = list.json().value(QStringLiteral("entries")).toArray();
        QCOMPARE(entries.size(), 1);
        const QJsonObject e = entries.first().toObject();
        QCOMPARE(e.value(QStringLiteral("name")).toString(), name);
        QCOMPARE(e.value(QStringLiteral("start")).toString(), QStringLiteral("2027-01-15"));
        QCOMPARE(e.value(QStringLiteral("end")).toString(), QStringLiteral("2027-01-16"));
        QCOMPARE(e.value(QStringLiteral("rule")).toString(), QStringLiteral("no-bells"));
        QVERIFY(e.value(QStringLiteral("text")).toString().contains(name));
        QVERIFY(!e.value(QStringLiteral("id")).toString().isEmpty());
    }

    void calendarRefused_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no dates") << QByteArray(R"({"name":"x","rule":"no-bells"})");
        QTest::newRow("no date that is one") << QByteArray(
            R"({"start":"2027-02-30","end":"2027-02-30","name":"x","rule":"no-bells"})");
        QTest::newRow("unknown rule")
            << QByteArray(R"({"start":"2027-01-15","end":"2027-01-15","name":"x","rule":"party"})");
        QTest::newRow("holidays of year 1800") << QByteArray(R"({"holidays":1800})");
        QTest::newRow("holidays as text") << QByteArray(R"({"holidays":"2027"})");
    }
    void calendarRefused() {
        QFETCH(QByteArray, body);
        const Response r =
            p_->call("POST", "/api/v1/calendar", body, bearer(session(WebRole::Admin).token));
        QVERIFY2(r.status == 400, r.describe());
        QCOMPARE(r.code(), QStringLiteral("bad-value"));
        QVERIFY(hasThai(r.message()));
    }

    void calendarEntriesRemoved() {
        const QByteArray admin = session(WebRole::Admin).token;
        const auto add = [&](const QString& name, const QString& date) {
            const QJsonObject entry{{QStringLiteral("start"), date},
                                    {QStringLiteral("end"), date},
                                    {QStringLiteral("name"), name},
                                    {QStringLiteral("rule"), QStringLiteral("no-bells")}};
            return p_->call("POST", "/api/v1/calendar", jsonText(entry), bearer(admin)).status;
        };
        const auto entries = [&] {
            return p_->call("GET", "/api/v1/calendar", {}, bearer(admin))
                .json()
                .value(QStringLiteral("entries"))
                .toArray();
        };
        QCOMPARE(add(QStringLiteral("กีฬาสี"), QStringLiteral("2027-01-20")), 200);
        QCOMPARE(add(QStringLiteral("ทัศนศึกษา"), QStringLiteral("2027-02-10")), 200);
        QCOMPARE(add(QStringLiteral("สอบ"), QStringLiteral("2027-03-01")), 200);
        QJsonArray list = entries();
        QCOMPARE(list.size(), 3);
        const QByteArray first = list[0].toObject().value(QStringLiteral("id")).toString().toUtf8();
        const QByteArray second =
            list[1].toObject().value(QStringLiteral("id")).toString().toUtf8();

        const Response removed = p_->call(
            "DELETE", "/api/v1/calendar?id=" + QUrl::toPercentEncoding(second), {}, bearer(admin));
        QVERIFY2(removed.status == 200, removed.describe());
        list = entries();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].toObject().value(QStringLiteral("name")).toString(),
                 QStringLiteral("กีฬาสี"));
        QCOMPARE(list[1].toObject().value(QStringLiteral("name")).toString(),
                 QStringLiteral("สอบ"));
        // The same id again, and an id read before the calendar changed: nothing else goes.
        const QByteArray third = "2-" + second.mid(2);
        for (const QByteArray& stale : {second, third, QByteArray("0-"), QByteArray()}) {
            const Response r =
                p_->call("DELETE", "/api/v1/calendar?id=" + QUrl::toPercentEncoding(stale), {},
                         bearer(admin));
            QVERIFY2(r.status == 404, r.describe() + " for " + stale);
            QCOMPARE(r.code(), QStringLiteral("not-found"));
        }
        QCOMPARE(entries().size(), 2);
        QCOMPARE(p_->call("DELETE", "/api/v1/calendar?id=" + QUrl::toPercentEncoding(first), {},
                          bearer(admin))
                     .status,
                 200);
        QCOMPARE(entries().size(), 1);
    }

    void calendarEntryRemovedAtThePcMakesItsIdStale() {
        const QByteArray admin = session(WebRole::Admin).token;
        for (const char* date : {"2027-01-20", "2027-02-10"}) {
            const QJsonObject entry{{QStringLiteral("start"), QString::fromLatin1(date)},
                                    {QStringLiteral("end"), QString::fromLatin1(date)},
                                    {QStringLiteral("name"), QStringLiteral("งาน")},
                                    {QStringLiteral("rule"), QStringLiteral("no-bells")}};
            QCOMPARE(p_->call("POST", "/api/v1/calendar", jsonText(entry), bearer(admin)).status,
                     200);
        }
        const QJsonArray list = p_->call("GET", "/api/v1/calendar", {}, bearer(admin))
                                    .json()
                                    .value(QStringLiteral("entries"))
                                    .toArray();
        QCOMPARE(list.size(), 2);
        const QByteArray second =
            list[1].toObject().value(QStringLiteral("id")).toString().toUtf8();
        // The calendar panel at the PC removes the first: the second moves up a place.
        QVERIFY(p_->h.core.rules().removeEntry(0).accepted());
        const Response r = p_->call(
            "DELETE", "/api/v1/calendar?id=" + QUrl::toPercentEncoding(second), {}, bearer(admin));
        QVERIFY2(r.status == 404, r.describe());
        QCOMPARE(readCalendar(p_->h.store).size(), 1);
    }

    void thaiHolidaysAdded() {
        const QByteArray admin = session(WebRole::Admin).token;
        const Response r =
            p_->call("POST", "/api/v1/calendar", R"({"holidays":2027})", bearer(admin));
        QVERIFY2(r.status == 200, r.describe());
        const int added = r.json().value(QStringLiteral("added")).toInt();
        QVERIFY(added > 5);
        QCOMPARE(p_->call("GET", "/api/v1/calendar", {}, bearer(admin))
                     .json()
                     .value(QStringLiteral("entries"))
                     .toArray()
                     .size(),
                 added);
    }

    // ---- 8. the journal as CSV ----

    void csvIsASpreadsheetsPlainText_data() {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("sound");
        QTest::addColumn<QString>("reasonField");
        QTest::addColumn<QString>("soundField");
        QTest::newRow("=") << "=HYPERLINK(\"http://evil.example\",\"x\")"
                           << "/s/a.wav"
                           << "'=HYPERLINK(\"http://evil.example\",\"x\")"
                           << "a.wav";
        QTest::newRow("+") << "+1+1"
                           << "/s/+cmd.wav"
                           << "'+1+1"
                           << "'+cmd.wav";
        QTest::newRow("-") << "-2+3"
                           << "/s/-x.wav"
                           << "'-2+3"
                           << "'-x.wav";
        QTest::newRow("@") << "@SUM(A1)"
                           << "/s/@x.wav"
                           << "'@SUM(A1)"
                           << "'@x.wav";
        QTest::newRow("tab") << "\t=1"
                             << "/s/b.wav"
                             << "'\t=1"
                             << "b.wav";
        QTest::newRow("comma and quotes") << "a, \"b\""
                                          << "/s/=c.wav"
                                          << "a, \"b\""
                                          << "'=c.wav";
        QTest::newRow("plain") << "during_bell"
                               << "/s/ออด.wav"
                               << "during_bell"
                               << "ออด.wav";
    }
    void csvIsASpreadsheetsPlainText() {
        QFETCH(QString, reason);
        QFETCH(QString, sound);
        QFETCH(QString, reasonField);
        QFETCH(QString, soundField);
        BellRecord b;
        b.kind = journal::kScheduled;
        b.period = 4;
        b.due = QDateTime(kToday, QTime(8, 15));
        b.fired = b.due;
        b.id = p_->journal.bellFired(b);
        b.outcome = journal::kFailed;
        b.reason = reason;
        b.ended = b.due.addSecs(20);
        b.sounds = {{sound, b.due.addSecs(3), b.due.addSecs(5), true, {}}};
        p_->journal.bellEnded(b);

        const Response r = p_->call("GET", "/api/v1/journal.csv?month=2026-12", {},
                                    bearer(session(WebRole::Admin).token));
        QVERIFY2(r.status == 200, r.describe());
        QCOMPARE(r.header("content-type"), QByteArray("text/csv; charset=utf-8"));
        QCOMPARE(r.header("content-disposition"),
                 QByteArray("attachment; filename=\"tavirin-2026-12.csv\""));
        QVERIFY(r.body.startsWith("\xEF\xBB\xBF"));
        const QList<QStringList> rows = parseCsv(QString::fromUtf8(r.body.mid(3)));
        QVERIFY(rows.size() >= 2);
        QCOMPARE(rows[0], QString("date,time,kind,period,outcome,reason,sounds").split(u','));
        const auto row = std::find_if(rows.cbegin(), rows.cend(), [](const QStringList& row) {
            return row.value(1) == QLatin1String("08:15:00");
        });
        QVERIFY2(row != rows.cend(), r.body.left(500));
        QCOMPARE(row->size(), 7);
        QCOMPARE(row->at(0), QStringLiteral("2026-12-09"));
        QCOMPARE(row->at(3), QStringLiteral("4"));
        QCOMPARE(row->at(5), reasonField);
        QCOMPARE(row->at(6), soundField);

        const Response other = p_->call("GET", "/api/v1/journal.csv?month=2026-13", {},
                                        bearer(session(WebRole::Admin).token));
        QCOMPARE(other.status, 400);
        QCOMPARE(other.code(), QStringLiteral("bad-value"));
    }

    // ---- 9. the event stream ----

    void eventStream() {
        const Tokens t = session(WebRole::Teacher);
        std::unique_ptr<Client> stream = p_->client();
        QVERIFY(stream->open());
        stream->send(p_->request("GET", "/api/v1/events", {}, cookie(t, false), false));
        const std::optional<Response> head = stream->head();
        QVERIFY(head);
        QCOMPARE(head->status, 200);
        QVERIFY(head->header("content-type").startsWith("text/event-stream"));
        QCOMPARE(head->count("content-length"), 0);
        const auto events = [&] { return stream->buffer.count("event: state\ndata: "); };
        const auto lastState = [&] {
            const qsizetype at = stream->buffer.lastIndexOf("data: ");
            const qsizetype end = stream->buffer.indexOf("\n\n", at);
            return QJsonDocument::fromJson(stream->buffer.mid(at + 6, end - at - 6)).object();
        };
        QVERIFY(QTest::qWaitFor([&] { return events() >= 1; }, 5000));
        QCOMPARE(lastState().value(QStringLiteral("bells")).toArray().size(), 24);
        QVERIFY(lastState().value(QStringLiteral("bell")).isNull());

        const int before = events();
        QCOMPARE(p_->call("POST", "/api/v1/announce", "{}", cookie(t)).status, 200);
        QVERIFY(QTest::qWaitFor([&] { return events() > before; }, 5000));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return lastState()
                           .value(QStringLiteral("bell"))
                           .toObject()
                           .value(QStringLiteral("kind")) == QStringLiteral("announce");
            },
            5000));
        QVERIFY(stream->connected());

        // Logged out: the stream ends with the next change.
        const Response out = p_->call("POST", "/api/v1/logout", "{}", cookie(t));
        QVERIFY2(out.status == 200, out.describe());
        QVERIFY(out.header("set-cookie").contains("Max-Age=0"));
        p_->h.runFor(1000);
        QVERIFY(stream->waitClosed(5000));
        QTRY_COMPARE(p_->server.openConnections(), 0);
    }

    void eventStreamsAreLimited() {
        const Tokens t = session(WebRole::Teacher);
        QVERIFY(listen({64, 64, kIdleMs}));
        std::vector<std::unique_ptr<Client>> streams;
        for (int i = 0; i < WebApi::kMaxStreams; ++i) {
            streams.push_back(p_->client());
            QVERIFY(streams.back()->open());
            streams.back()->send(p_->request("GET", "/api/v1/events", {}, bearer(t.token), false));
            const std::optional<Response> head = streams.back()->head();
            QVERIFY(head && head->status == 200);
        }
        const Response busy = p_->call("GET", "/api/v1/events", {}, bearer(t.token));
        QVERIFY2(busy.status == 503, busy.describe());
        QCOMPARE(busy.code(), QStringLiteral("busy"));
        // One gone: one more may come.
        streams.front()->close();
        QTRY_COMPARE(p_->server.openConnections(), WebApi::kMaxStreams - 1);
        std::unique_ptr<Client> again = p_->client();
        QVERIFY(again->open());
        again->send(p_->request("GET", "/api/v1/events", {}, bearer(t.token), false));
        const std::optional<Response> head = again->head();
        QVERIFY(head);
        QCOMPARE(head->status, 200);
    }

    // ---- 10. limits ----

    void malformed_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");  // 0: closed, an answer (4xx) optional
        QTest::addColumn<QString>("code");
        const QByteArray ok = "GET /api/v1/state HTTP/1.1\r\nHost: x\r\n";
        QTest::newRow("head over 8 KiB") << ok + "X-Long: " + QByteArray(9000, 'a') + "\r\n\r\n"
                                         << 431 << "headers-too-large";
        QTest::newRow("many small headers over 8 KiB")
            << ok + QByteArray("X-A: b\r\n").repeated(1200) + "\r\n"
            << 431 << "headers-too-large";
        QTest::newRow("body over 64 KiB")
            << QByteArray(
                   "POST /api/v1/announce HTTP/1.1\r\nHost: x\r\nContent-Length: 70000\r\n\r\n")
            << 413 << "too-large";
        QTest::newRow("chunked") << QByteArray(
                                        "POST /api/v1/announce HTTP/1.1\r\nHost: x\r\n"
                                        "Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n")
                                 << 411 << "bad-request";
        QTest::newRow("HTTP/9.9") << QByteArray("GET /x HTTP/9.9\r\nHost: x\r\n\r\n") << 505
                                  << "bad-request";
        QTest::newRow("http in lower case")
            << QByteArray("GET /x http/1.1\r\nHost: x\r\n\r\n") << 505 << "bad-request";
        QTest::newRow("no version") << QByteArray("GET /x\r\n\r\n") << 400 << "bad-request";
        QTest::newRow("space in the target")
            << QByteArray("GET /a b HTTP/1.1\r\nHost: x\r\n\r\n") << 400 << "bad-request";
        QTest::newRow("absolute target")
            << QByteArray("GET http://evil.example/ HTTP/1.1\r\nHost: x\r\n\r\n") << 400
            << "bad-request";
        QTest::newRow("raw byte in the target")
            << QByteArray("GET /\xff HTTP/1.1\r\nHost: x\r\n\r\n") << 400 << "bad-request";
        QTest::newRow("header without a colon") << ok + "NoColonHere\r\n\r\n"
                                                << 400 << "bad-request";
        QTest::newRow("NUL in a header")
            << ok + QByteArray("X-A: b\0c\r\n\r\n", 12) << 400 << "bad-request";
        QTest::newRow("CR in a header") << ok + "X-A: b\rc\r\n\r\n" << 400 << "bad-request";
        QTest::newRow("space before the colon") << ok + "X-A : b\r\n\r\n" << 400 << "bad-request";
        QTest::newRow("folded header") << ok + "X-A: b\r\n c\r\n\r\n" << 400 << "bad-request";
        QTest::newRow("two lengths")
            << QByteArray(
                   "POST /api/v1/announce HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n"
                   "Content-Length: 3\r\n\r\n{} ")
            << 400 << "bad-request";
        QTest::newRow("length +2")
            << QByteArray(
                   "POST /api/v1/announce HTTP/1.1\r\nHost: x\r\nContent-Length: +2\r\n\r\n{}")
            << 400 << "bad-request";
        QTest::newRow("length -1")
            << QByteArray("POST /api/v1/announce HTTP/1.1\r\nHost: x\r\nContent-Length: -1\r\n\r\n")
            << 400 << "bad-request";
        QTest::newRow("length huge") << QByteArray(
                                            "POST /api/v1/announce HTTP/1.1\r\nHost: x\r\n"
                                            "Content-Length: 99999999999999999999999\r\n\r\n")
                                     << 400 << "bad-request";
        QTest::newRow("method not a token")
            << QByteArray("G(T /x HTTP/1.1\r\nHost: x\r\n\r\n") << 400 << "bad-request";
        QByteArray hello("\x16\x03\x01\x00\xc4\x01\x00\x00\xc0\x03\x03", 11);
        for (int i = 0; i < 190; ++i) hello += char((i * 37 + 11) % 256);
        QTest::newRow("TLS on plain HTTP") << hello << 0 << "";
        QTest::newRow("binary with line ends")
            << QByteArray("\x00\x01\x02\r\n\r\n", 7) << 400 << "bad-request";
    }
    void malformed() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QFETCH(QString, code);
        std::unique_ptr<Client> c = p_->client();
        QVERIFY(c->open());
        c->send(bytes);
        const Response r = c->next(kIdleMs + 3000);
        if (status == 0) {
            QVERIFY2(r.status == 0 || (r.status >= 400 && r.status < 500), r.describe());
        } else {
            QVERIFY2(r.status == status, r.describe());
            QCOMPARE(r.code(), code);
            QCOMPARE(r.header("connection"), QByteArray("close"));
            QCOMPARE(r.header("x-frame-options"), QByteArray("DENY"));
        }
        QVERIFY(c->waitClosed(kIdleMs + 3000));
        QTRY_COMPARE(p_->server.openConnections(), 0);
        QVERIFY(!p_->h.core.bellInProgress());
        // The server goes on.
        QCOMPARE(
            p_->call("GET", "/api/v1/state", {}, bearer(session(WebRole::Teacher).token)).status,
            200);
    }

    void tooLargeBodyIsToldEvenWhileItIsSent() {
        // A browser sends its body at once: the answer must still reach it.
        std::unique_ptr<Client> c = p_->client();
        QVERIFY(c->open());
        c->send(p_->request("POST", "/api/v1/announce", QByteArray(70000, ' '),
                            bearer(session(WebRole::Teacher).token)));
        const Response r = c->next();
        QVERIFY2(r.status == 413, r.describe());
        QCOMPARE(r.code(), QStringLiteral("too-large"));
        QVERIFY(!p_->h.core.bellInProgress());
    }

    void bodyJustUnderTheLimitIsTaken() {
        // 64 KiB of JSON: a body at the limit is read, and answered by the route.
        QByteArray body = "{\"period\":3,\"pad\":\"";
        body += QByteArray(RequestScanner::kMaxBody - body.size() - 2, 'x') + "\"}";
        QCOMPARE(body.size(), RequestScanner::kMaxBody);
        const Response r =
            p_->call("POST", "/api/v1/ring", body, bearer(session(WebRole::Teacher).token));
        QVERIFY2(r.status == 200, r.describe());
        QVERIFY(p_->h.core.bellInProgress());
    }

    void connectionLimits() {
        QVERIFY(listen({10, 8, kIdleMs}));
        const QByteArray token = session(WebRole::Teacher).token;
        const QHostAddress one(QStringLiteral("127.0.0.1")), two(QStringLiteral("127.0.0.2")),
            three(QStringLiteral("127.0.0.3"));
        std::vector<std::unique_ptr<Client>> open;
        for (int i = 0; i < 8; ++i) {
            open.push_back(p_->client(one));
            QVERIFY(open.back()->open());
        }
        QTRY_COMPARE(p_->server.openConnections(), 8);

        // The ninth from that address.
        std::unique_ptr<Client> ninth = p_->client(one);
        QVERIFY(ninth->open());
        ninth->send(p_->request("GET", "/api/v1/state", {}, bearer(token)));
        Response r = ninth->next();
        QVERIFY2(r.status == 503, r.describe());
        QCOMPARE(r.code(), QStringLiteral("busy"));
        QVERIFY(hasThai(r.message()));
        QCOMPARE(r.header("content-security-policy"), QByteArray("default-src 'self'"));
        QVERIFY(ninth->waitClosed());
        QVERIFY(p_->limited.last().startsWith(QStringLiteral("127.0.0.1 ")));

        // Another address is not held back by the first.
        std::vector<std::unique_ptr<Client>> others;
        for (int i = 0; i < 2; ++i) {
            others.push_back(p_->client(two));
            QVERIFY(others.back()->open());
        }
        QTRY_COMPARE(p_->server.openConnections(), 10);
        // All ten taken: a third address is refused too.
        std::unique_ptr<Client> eleventh = p_->client(three);
        QVERIFY(eleventh->open());
        eleventh->send(p_->request("GET", "/api/v1/state", {}, bearer(token)));
        r = eleventh->next();
        QVERIFY2(r.status == 503, r.describe());
        QVERIFY(eleventh->waitClosed());

        // One closes: one more is taken, from the full address too.
        open.front()->close();
        QTRY_COMPARE(p_->server.openConnections(), 9);
        std::unique_ptr<Client> again = p_->client(one);
        QVERIFY(again->open());
        again->send(p_->request("GET", "/api/v1/state", {}, bearer(token)));
        r = again->next();
        QVERIFY2(r.status == 200, r.describe());
        // The refused ones were never counted.
        open.clear();
        others.clear();
        QTRY_COMPARE(p_->server.openConnections(), 0);
    }

    void idleClientsAreClosed_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");  // the answer before the close; 0: none
        QTest::newRow("sends nothing") << QByteArray() << 0;
        QTest::newRow("half a head")
            << QByteArray("GET /api/v1/state HTTP/1.1\r\nHost: x\r\n") << 408;
        QTest::newRow("half a body")
            << QByteArray(
                   "POST /api/v1/ring HTTP/1.1\r\nHost: x\r\nContent-Length: 20\r\n\r\n{\"per")
            << 408;
        QTest::newRow("only empty lines") << QByteArray("\r\n\r\n\r\n") << 0;
    }
    void idleClientsAreClosed() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QVERIFY(listen({32, 8, 400}));
        std::unique_ptr<Client> c = p_->client();
        QVERIFY(c->open());
        if (!bytes.isEmpty()) c->send(bytes);
        QVERIFY(c->waitClosed(5000));
        const Response r = c->next(100);
        QVERIFY2(r.status == status, r.describe());
        if (status) QCOMPARE(r.code(), QStringLiteral("timeout"));
        QTRY_COMPARE(p_->server.openConnections(), 0);
        QVERIFY(!p_->limited.isEmpty());
    }

    void aHeadSentByteAfterByteIsClosed() {
        // A client that keeps a request going a byte at a time does not keep the connection.
        QVERIFY(listen({32, 8, 400}));
        std::unique_ptr<Client> c = p_->client();
        QVERIFY(c->open());
        c->send("GET /api/v1/state HTTP/1.1\r\nX-Slow: ");
        for (int i = 0; i < 60 && !c->closed(); ++i) {
            c->send("a");
            QTest::qWait(100);
        }
        QVERIFY(c->waitClosed(1000));
        const Response r = c->next(100);
        QVERIFY2(r.status == 408, r.describe());
        QTRY_COMPARE(p_->server.openConnections(), 0);
    }

    void aKeptConnectionIsClosedWhenQuiet() {
        QVERIFY(listen({32, 8, 400}));
        const QByteArray token = session(WebRole::Teacher).token;
        std::unique_ptr<Client> c = p_->client();
        QVERIFY(c->open());
        // Two requests in turn on one connection, then silence.
        for (int i = 0; i < 2; ++i) {
            c->send(p_->request("GET", "/api/v1/session", {}, bearer(token), false));
            const Response r = c->next();
            QVERIFY2(r.status == 200, r.describe());
        }
        QVERIFY(c->waitClosed(5000));
        QTRY_COMPARE(p_->server.openConnections(), 0);
    }

    void pipelinedRequestsAreAnswered() {
        const QByteArray token = session(WebRole::Teacher).token;
        std::unique_ptr<Client> c = p_->client();
        QVERIFY(c->open());
        c->send(p_->request("GET", "/api/v1/session", {}, bearer(token), false) +
                p_->request("GET", "/api/v1/kinds", {}, bearer(token), true));
        const Response first = c->next();
        QVERIFY2(first.status == 200, first.describe());
        const Response second = c->next();
        QVERIFY2(second.status == 200, second.describe());
        QVERIFY(second.body.startsWith('['));
    }

    void eventStreamIsNotClosedForItsSilence() {
        QVERIFY(listen({32, 8, 400}));
        const Tokens t = session(WebRole::Teacher);
        std::unique_ptr<Client> stream = p_->client();
        QVERIFY(stream->open());
        stream->send(p_->request("GET", "/api/v1/events", {}, bearer(t.token), false));
        const std::optional<Response> head = stream->head();
        QVERIFY(head && head->status == 200);
        // Several idle times of silence.
        QTest::qWait(1500);
        QVERIFY(stream->connected());
        QCOMPARE(p_->server.openConnections(), 1);
        const int before = int(stream->buffer.count("event: state"));
        QCOMPARE(p_->call("POST", "/api/v1/announce", "{}", bearer(t.token)).status, 200);
        QVERIFY(
            QTest::qWaitFor([&] { return stream->buffer.count("event: state") > before; }, 5000));
    }

    void requestInPieces_data() {
        QTest::addColumn<int>("split");  // where the request is cut, from its start; -1 each byte
        QTest::newRow("in the method") << 2;
        QTest::newRow("in the target") << 9;
        QTest::newRow("after the request line") << 26;
        QTest::newRow("in the length's name") << -2;  // found below
        QTest::newRow("in the length's value") << -3;
        QTest::newRow("between head and body") << -4;
        QTest::newRow("in the body") << -5;
        QTest::newRow("byte by byte") << -1;
    }
    void requestInPieces() {
        QFETCH(int, split);
        const QByteArray token = session(WebRole::Teacher).token;
        const QByteArray body = R"({"period": 7})";
        const QByteArray bytes = p_->request("POST", "/api/v1/ring", body, bearer(token));
        const qsizetype length = bytes.indexOf("Content-Length: ");
        const qsizetype head = bytes.indexOf("\r\n\r\n") + 4;
        if (split == -2) split = int(length + 5);
        if (split == -3) split = int(length + 16);
        if (split == -4) split = int(head);
        if (split == -5) split = int(head + 4);
        std::unique_ptr<Client> c = p_->client();
        QVERIFY(c->open());
        if (split == -1) {
            for (char b : bytes) {
                c->send(QByteArray(1, b));
                QTest::qWait(1);
            }
        } else {
            c->send(bytes.left(split));
            QTest::qWait(50);
            c->send(bytes.mid(split));
        }
        const Response r = c->next();
        QVERIFY2(r.status == 200, r.describe());
        QCOMPARE(p_->coreState()
                     .value(QStringLiteral("bell"))
                     .toObject()
                     .value(QStringLiteral("period"))
                     .toInt(),
                 7);
        QVERIFY(c->waitClosed());
        QTRY_COMPARE(p_->server.openConnections(), 0);
    }

    void securityHeaders_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("API answer") << "state";
        QTest::newRow("API error") << "401";
        QTest::newRow("login with its cookie") << "login";
        QTest::newRow("page file") << "page";
        QTest::newRow("page not found") << "404";
        QTest::newRow("method") << "405";
        QTest::newRow("headers too large") << "431";
        QTest::newRow("bad request") << "400";
        QTest::newRow("CSV") << "csv";
        QTest::newRow("event stream") << "events";
    }
    void securityHeaders() {
        QFETCH(QString, what);
        const Tokens admin = session(WebRole::Admin);
        Response r;
        std::unique_ptr<Client> c = p_->client();
        QVERIFY(c->open());
        if (what == QLatin1String("state"))
            c->send(p_->request("GET", "/api/v1/state", {}, bearer(admin.token)));
        else if (what == QLatin1String("401"))
            c->send(p_->request("GET", "/api/v1/state"));
        else if (what == QLatin1String("login"))
            c->send(p_->request("POST", "/api/v1/login",
                                jsonText({{QStringLiteral("role"), QStringLiteral("admin")},
                                          {QStringLiteral("password"), kAdminPassword}})));
        else if (what == QLatin1String("page"))
            c->send(p_->request("GET", "/"));
        else if (what == QLatin1String("404"))
            c->send(p_->request("GET", "/nothing.html"));
        else if (what == QLatin1String("405"))
            c->send(p_->request("DELETE", "/api/v1/state", {}, bearer(admin.token)));
        else if (what == QLatin1String("431"))
            c->send("GET / HTTP/1.1\r\nX: " + QByteArray(9000, 'x') + "\r\n\r\n");
        else if (what == QLatin1String("400"))
            c->send("GET / HTTP/1.1\r\nBad\r\n\r\n");
        else if (what == QLatin1String("csv"))
            c->send(
                p_->request("GET", "/api/v1/journal.csv?month=2026-12", {}, bearer(admin.token)));
        else if (what == QLatin1String("events"))
            c->send(p_->request("GET", "/api/v1/events", {}, bearer(admin.token), false));
        if (what == QLatin1String("events")) {
            const std::optional<Response> head = c->head();
            QVERIFY(head);
            r = *head;
        } else {
            r = c->next();
        }
        QVERIFY2(r.status != 0, r.describe());
        QCOMPARE(r.header("content-security-policy"), QByteArray("default-src 'self'"));
        QCOMPARE(r.header("x-content-type-options"), QByteArray("nosniff"));
        QCOMPARE(r.header("x-frame-options"), QByteArray("DENY"));
        QCOMPARE(r.header("referrer-policy"), QByteArray("no-referrer"));
        QCOMPARE(r.count("content-security-policy"), 1);
    }

    // ---- 11. a small fuzzer ----

    void fuzz() {
        QVERIFY(listen({64, 64, 300}));
        const Tokens teacher = session(WebRole::Teacher);
        const Tokens admin = session(WebRole::Admin);
        const QList<QByteArray> seeds{
            p_->request("GET", "/api/v1/state", {}, bearer(teacher.token)),
            p_->request("POST", "/api/v1/ring", R"({"period":3})", cookie(teacher)),
            p_->request("POST", "/api/v1/login", R"({"role":"teacher","password":"nope1234"})"),
            p_->request("PUT", "/api/v1/programs/2",
                        p_->call("GET", "/api/v1/programs/2", {}, bearer(admin.token)).body,
                        bearer(admin.token)),
            p_->request("POST", "/api/v1/calendar",
                        R"({"start":"2027-01-15","end":"2027-01-15","name":"x","rule":"no-bells"})",
                        bearer(admin.token)),
            p_->request("GET", "/api/v1/journal?date=2026-12-09", {}, cookie(teacher), false),
            p_->request("GET", "/app.js"),
            p_->request("POST", "/api/v1/today", R"({"change":"shift","value":5})",
                        bearer(teacher.token)),
        };
        QRandomGenerator random(20261209);
        const auto anyByte = [&] { return char(random.bounded(256)); };
        const auto token = [&](int n) {
            static const char tchar[] =
                "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-!#$%&'*+.^_`|~";
            QByteArray s;
            for (int i = 0; i < n; ++i) s += tchar[random.bounded(int(sizeof tchar - 1))];
            return s;
        };
        const auto mutate = [&](QByteArray r) {
            const int steps = 1 + random.bounded(4);
            for (int s = 0; s < steps; ++s) {
                const qsizetype at = r.isEmpty() ? 0 : random.bounded(int(r.size()));
                switch (random.bounded(7)) {
                    case 0:  // a byte flipped
                        if (!r.isEmpty()) r[at] = char(r[at] ^ (1 << random.bounded(8)));
                        break;
                    case 1:  // bytes put in
                        for (int i = random.bounded(1, 8); i > 0; --i) r.insert(at, anyByte());
                        break;
                    case 2:  // a stretch left out
                        r.remove(at, random.bounded(1, 16));
                        break;
                    case 3: {  // a header of random name and value
                        const qsizetype line = r.indexOf("\r\n");
                        QByteArray value;
                        for (int i = random.bounded(0, 40); i > 0; --i)
                            value += char(random.bounded(0x20, 0x7f));
                        if (line > 0)
                            r.insert(line + 2,
                                     token(random.bounded(1, 30)) + ": " + value + "\r\n");
                        break;
                    }
                    case 4: {  // a length that is not the body's
                        const qsizetype cl = r.indexOf("Content-Length: ");
                        if (cl >= 0) {
                            const qsizetype end = r.indexOf("\r\n", cl);
                            r.replace(cl + 16, end - cl - 16,
                                      QByteArray::number(random.bounded(0, 100000)));
                        }
                        break;
                    }
                    case 5: {  // a long stretch, up to 10 KiB
                        const int n = random.bounded(1, 10 * 1024);
                        QByteArray pad(n, 'A' + char(random.bounded(26)));
                        if (random.bounded(2)) pad[random.bounded(n)] = '\n';
                        r.insert(at, pad);
                        break;
                    }
                    case 6:  // cut short
                        r.truncate(at);
                        break;
                }
            }
            return r;
        };

        constexpr int kRequests = 300;
        constexpr int kBatch = 30;
        int answered = 0, closedOnly = 0;
        QStringList hung;
        for (int first = 0; first < kRequests; first += kBatch) {
            std::vector<std::unique_ptr<Client>> batch;
            QList<QByteArray> sent;
            for (int i = first; i < first + kBatch; ++i) {
                batch.push_back(p_->client());
                QVERIFY(batch.back()->open());
                sent << mutate(seeds[random.bounded(int(seeds.size()))]);
                batch.back()->send(sent.last());
            }
            for (std::unique_ptr<Client>& c : batch) {
                const bool done = QTest::qWaitFor(
                    [&] { return c->buffer.contains("\r\n\r\n") || c->closed(); }, 5000);
                if (!done) {
                    hung << QString::fromLatin1(c->buffer.left(60));
                    continue;
                }
                if (c->buffer.isEmpty()) {
                    ++closedOnly;
                    continue;
                }
                // Whatever came is an HTTP answer with a status line.
                QVERIFY2(QRegularExpression(QStringLiteral("^HTTP/1\\.1 [1-5][0-9][0-9] "))
                             .match(QString::fromLatin1(c->buffer.left(20)))
                             .hasMatch(),
                         c->buffer.left(100));
                ++answered;
            }
            batch.clear();
        }
        qInfo() << "fuzz:" << answered << "answered," << closedOnly << "closed without an answer";
        QVERIFY2(hung.isEmpty(), qPrintable(hung.join(QStringLiteral(" | "))));
        QCOMPARE(answered + closedOnly, kRequests);
        QVERIFY(answered > kRequests / 2);
        QTRY_COMPARE_WITH_TIMEOUT(p_->server.openConnections(), 0, 10000);
        const Response state = p_->call("GET", "/api/v1/state", {}, bearer(teacher.token));
        QVERIFY2(state.status == 200, state.describe());
        QCOMPARE(state.json().value(QStringLiteral("bells")).toArray().size(), 24);
    }

    // ---- 12. HTTPS ----

    void https() {
        QVERIFY(listen({32, 8, kIdleMs}, true));
        QVERIFY(!p_->certificate.isNull());
        const auto ips = p_->certificate.subjectAlternativeNames().values(QSsl::IpAddressEntry);
        QVERIFY2(ips.contains(QStringLiteral("127.0.0.1")), qPrintable(ips.join(u',')));

        std::unique_ptr<Client> c = p_->client();
        QVERIFY2(c->open(),
                 qPrintable(c->sslErrors.isEmpty() ? QStringLiteral("not encrypted")
                                                   : c->sslErrors.first().errorString()));
        QVERIFY(c->sslErrors.isEmpty());
        c->send(p_->request("POST", "/api/v1/login",
                            jsonText({{QStringLiteral("role"), QStringLiteral("teacher")},
                                      {QStringLiteral("password"), kTeacherPassword}})));
        const Response in = c->next();
        QVERIFY2(in.status == 200, in.describe());
        const Tokens t{in.json().value(QStringLiteral("token")).toString().toLatin1(),
                       in.json().value(QStringLiteral("csrf")).toString().toLatin1()};
        QCOMPARE(in.header("set-cookie"),
                 "tavirin_session=" + t.token + "; Path=/; HttpOnly; SameSite=Strict; Secure");
        QCOMPARE(in.header("x-frame-options"), QByteArray("DENY"));

        const Response s = p_->call("GET", "/api/v1/session", {}, cookie(t, false));
        QVERIFY2(s.status == 200, s.describe());
        QCOMPARE(s.json().value(QStringLiteral("https")).toBool(), true);

        Headers h = cookie(t);
        h.append(Header{"Origin", p_->origin()});
        QVERIFY(p_->origin().startsWith("https://"));
        const Response r = p_->call("POST", "/api/v1/announce", "{}", h);
        QVERIFY2(r.status == 200, r.describe());
        QVERIFY(p_->h.core.bellInProgress());

        // The page's plain origin is foreign to it over HTTPS.
        Headers plain = cookie(t);
        plain.append(Header{"Origin", "http://" + p_->host()});
        QCOMPARE(p_->call("POST", "/api/v1/media/stop", "{}", plain).code(),
                 QStringLiteral("csrf"));

        const QList<ActionRecord> actions = p_->journal.actionsOn(kToday);
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions.first().address, QStringLiteral("127.0.0.1"));
        QTRY_COMPARE(p_->server.openConnections(), 0);
    }

    void httpsRefusesWhatIsNotTls_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("plain HTTP") << QByteArray("GET /api/v1/state HTTP/1.1\r\nHost: x\r\n\r\n");
        QTest::newRow("garbage") << QByteArray("\x16\x03\x01\xff\xff garbage \r\n\r\n");
        QTest::newRow("nothing") << QByteArray();
    }
    void httpsRefusesWhatIsNotTls() {
        QFETCH(QByteArray, bytes);
        QVERIFY(listen({32, 8, 400}, true));
        QTcpSocket raw;
        bool closed = false;
        connect(&raw, &QTcpSocket::disconnected, this, [&] { closed = true; });
        raw.connectToHost(QHostAddress(QHostAddress::LocalHost), p_->port());
        QVERIFY(
            QTest::qWaitFor([&] { return raw.state() == QAbstractSocket::ConnectedState; }, 5000));
        if (!bytes.isEmpty()) raw.write(bytes);
        QVERIFY(QTest::qWaitFor([&] { return closed; }, 5000));
        QVERIFY(!raw.readAll().startsWith("HTTP/"));
        QTRY_COMPARE(p_->server.openConnections(), 0);
        // A real client is served all the same.
        std::unique_ptr<Client> c = p_->client();
        QVERIFY(c->open());
        c->send(p_->request("GET", "/api/v1/state", {}, bearer(session(WebRole::Teacher).token)));
        QCOMPARE(c->next().status, 200);
    }
};

QTEST_GUILESS_MAIN(TestWebApi)
#include "test_webapi.moc"
