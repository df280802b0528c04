#include "alerts/alertsender.h"
#include "alerts/alertsettings.h"
#include "localhttpserver.h"
#include "platform/fake/fakeclock.h"
#include "webauth/certificate.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <optional>

using namespace tavirin;
using namespace std::chrono_literals;

using Header = std::pair<QByteArray, QByteArray>;
using Headers = QList<Header>;
Q_DECLARE_METATYPE(Headers)

namespace {

const QString kLineToken = QStringLiteral("Xq9+LineChannelTok/Zw3kR7pT0vN5mB8cF2hJ6gD4sA1eU=");
const QString kLineTo = QStringLiteral("C0123456789abcdef0123456789abcdef");
const QString kTelegramToken = QStringLiteral("987654321:AAHq7Zx_v3LmN-pQ8rTs2WyK4bJd9FgUeXc");
const QString kTelegramChat = QStringLiteral("-1001234567890");
const QString kSecret = QStringLiteral("กุญแจลับ-ZQ7-พฤกษา-xyz");
const QString kKey = QStringLiteral("3f2c1a9e-4b7d-4e0a-9c5b-2d8e6f1a7b3c");
// The test's clock: an HTTP-date Retry-After is counted from it.
const QDateTime kNow(QDate(2026, 12, 9), QTime(3, 0, 0), Qt::UTC);

AlertSettings settingsFor(const QString& base) {
    AlertSettings s;
    s.school = QStringLiteral("โรงเรียนบ้านหนองบัว");
    s.lineToken = kLineToken;
    s.lineTo = kLineTo;
    s.telegramToken = kTelegramToken;
    s.telegramChat = kTelegramChat;
    s.webhookUrl = base + QStringLiteral("/hooks/bells?site=nb");
    s.webhookSecret = kSecret;
    return s;
}

AlertMessage message(const QString& channel) {
    AlertMessage m;
    m.channel = channel;
    m.event = alertevent::kBell;
    m.text = QStringLiteral("โรงเรียนบ้านหนองบัว: ออดคาบ 3 เวลา 10:30 ไม่ดัง");
    m.at = QDateTime(QDate(2026, 12, 9), QTime(10, 30, 5), Qt::OffsetFromUTC, 7 * 3600);
    m.details = QJsonObject{{"bell", QStringLiteral("คาบ 3")}, {"due", "10:30"}};
    m.key = kKey;
    return m;
}

// HMAC-SHA256 as RFC 2104 writes it, on its own (not the library the program uses).
QByteArray hmacSha256(QByteArray key, const QByteArray& message) {
    constexpr int kBlock = 64;
    if (key.size() > kBlock) key = QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    key = key.leftJustified(kBlock, '\0');
    QByteArray inner(kBlock, '\0'), outer(kBlock, '\0');
    for (int i = 0; i < kBlock; ++i) {
        inner[i] = char(key[i] ^ 0x36);
        outer[i] = char(key[i] ^ 0x5c);
    }
    const QByteArray in = QCryptographicHash::hash(inner + message, QCryptographicHash::Sha256);
    return QCryptographicHash::hash(outer + in, QCryptographicHash::Sha256);
}

QString httpDate(const QDateTime& t) {
    return QLocale::c().toString(t.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
}

// One send, watched.
struct Outcome {
    bool calledInsideSend = false;
    int calls = 0;
    SendResult result;
    QThread* thread = nullptr;
};

class EnvVar {
public:
    EnvVar(const char* name, const QByteArray& value) : name_(name), old_(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvVar() {
        if (old_.isNull())
            qunsetenv(name_);
        else
            qputenv(name_, old_);
    }

private:
    const char* name_;
    QByteArray old_;
};

}  // namespace

class TestAlertSender : public QObject {
    Q_OBJECT

    QTemporaryDir certDir_;
    CertificateResult cert_;
    FakeClock clock_{kNow};

    // Sends and waits (the event loop turning) until the sender is done with it.
    static Outcome sendAndWait(AlertSender& sender, const AlertSettings& s, const AlertMessage& m) {
        Outcome o;
        QObject context;
        sender.send(s, m, &context, [&o](SendResult r) {
            ++o.calls;
            o.result = std::move(r);
            o.thread = QThread::currentThread();
        });
        o.calledInsideSend = o.calls > 0;
        [&] { QVERIFY(QTest::qWaitFor([&] { return sender.inFlight() == 0; }, 30000)); }();
        QCoreApplication::processEvents();
        return o;
    }

    static void checkOnce(const Outcome& o) {
        QVERIFY(!o.calledInsideSend);
        QCOMPARE(o.calls, 1);
        QCOMPARE(o.thread, QThread::currentThread());
    }

    static QJsonObject jsonOf(const QByteArray& body) {
        QJsonParseError e;
        const QJsonDocument d = QJsonDocument::fromJson(body, &e);
        return e.error == QJsonParseError::NoError ? d.object() : QJsonObject();
    }

private slots:
    void initTestCase() {
        QVERIFY(certDir_.isValid());
        cert_ = ensureCertificate(certDir_.path(), {QStringLiteral("localhost")},
                                  {QHostAddress(QHostAddress::LocalHost)},
                                  QDateTime::currentDateTimeUtc());
        QVERIFY2(cert_.ok, qPrintable(cert_.reason));
        // Nothing may reach the real services: until a test says otherwise both point at a
        // port of this machine where nobody listens.
        qputenv("TAVIRIN_LINE_API", "http://127.0.0.1:1");
        qputenv("TAVIRIN_TELEGRAM_API", "http://127.0.0.1:1");
        qunsetenv("TAVIRIN_ALERTS_CA");
        // The test's own HMAC against RFC 4231's second case.
        QCOMPARE(hmacSha256("Jefe", "what do ya want for nothing?").toHex(),
                 QByteArray("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));
    }

    void lineRequestIsAPushMessage() {
        LocalHttpServer server;
        QVERIFY(server.start());
        server.answer.body =
            "{\"sentMessages\":[{\"id\":\"461230966842064897\",\"quoteToken\":\"q\"}]}";
        EnvVar line("TAVIRIN_LINE_API", server.url().toUtf8());
        AlertSender sender;
        const Outcome o = sendAndWait(sender, settingsFor(server.url()), message("line"));
        checkOnce(o);
        QCOMPARE(server.requests.size(), 1);
        const LocalHttpServer::Request& r = server.requests.first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.path, QByteArray("/v2/bot/message/push"));
        QCOMPARE(r.headers.value("authorization"), "Bearer " + kLineToken.toLatin1());
        QCOMPARE(r.headers.value("content-type"), QByteArray("application/json"));
        QCOMPARE(r.headers.value("x-line-retry-key"), kKey.toLatin1());
        const QJsonObject text{{"type", "text"}, {"text", message("line").text}};
        QCOMPARE(jsonOf(r.body), (QJsonObject{{"to", kLineTo}, {"messages", QJsonArray{text}}}));
        QVERIFY(o.result.delivered);
        QCOMPARE(o.result.httpStatus, 200);
        QCOMPARE(o.result.retryAfterSeconds, -1);
        QCOMPARE(o.result.farEnd, QStringLiteral("ส่งถึงแล้ว"));
    }

    void telegramRequestIsASendMessage() {
        LocalHttpServer server;
        QVERIFY(server.start());
        server.answer.body = "{\"ok\":true,\"result\":{\"message_id\":42,\"date\":1765249205}}";
        EnvVar telegram("TAVIRIN_TELEGRAM_API", server.url().toUtf8());
        AlertSender sender;
        const Outcome o = sendAndWait(sender, settingsFor(server.url()), message("telegram"));
        checkOnce(o);
        QCOMPARE(server.requests.size(), 1);
        const LocalHttpServer::Request& r = server.requests.first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.path, "/bot" + kTelegramToken.toLatin1() + "/sendMessage");
        QCOMPARE(r.headers.value("content-type"), QByteArray("application/json"));
        QVERIFY(!r.headers.contains("authorization"));
        QCOMPARE(jsonOf(r.body),
                 (QJsonObject{{"chat_id", kTelegramChat}, {"text", message("telegram").text}}));
        QVERIFY(o.result.delivered);
        QCOMPARE(o.result.httpStatus, 200);
        QCOMPARE(o.result.farEnd, QStringLiteral("ส่งถึงแล้ว"));
    }

    void webhookRequestIsSigned_data() {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QString>("atText");
        const QDateTime bangkok = message("webhook").at;
        QTest::newRow("secret, Bangkok time")
            << kSecret << bangkok << QStringLiteral("2026-12-09T10:30:05+07:00");
        QTest::newRow("no secret, UTC")
            << QString() << bangkok.toUTC() << QStringLiteral("2026-12-09T03:30:05+00:00");
        QTest::newRow("a long secret")
            << QString(100, u'k') << bangkok << QStringLiteral("2026-12-09T10:30:05+07:00");
    }
    void webhookRequestIsSigned() {
        QFETCH(QString, secret);
        QFETCH(QDateTime, at);
        QFETCH(QString, atText);
        LocalHttpServer server;
        QVERIFY(server.start());
        server.answer.status = 204;
        AlertSettings s = settingsFor(server.url());
        s.webhookSecret = secret;
        AlertMessage m = message("webhook");
        m.at = at;
        AlertSender sender;
        const Outcome o = sendAndWait(sender, s, m);
        checkOnce(o);
        QCOMPARE(server.requests.size(), 1);
        const LocalHttpServer::Request& r = server.requests.first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.path, QByteArray("/hooks/bells?site=nb"));
        QCOMPARE(r.headers.value("content-type"), QByteArray("application/json"));
        QCOMPARE(r.headers.value("x-tavirin-event"), QByteArray("bell"));
        QCOMPARE(r.headers.value("x-tavirin-delivery"), kKey.toLatin1());
        if (secret.isEmpty())
            QVERIFY(!r.headers.contains("x-tavirin-signature"));
        else
            QCOMPARE(r.headers.value("x-tavirin-signature"),
                     "sha256=" + hmacSha256(secret.toUtf8(), r.body).toHex());
        QCOMPARE(jsonOf(r.body), (QJsonObject{{"school", s.school},
                                              {"event", "bell"},
                                              {"text", m.text},
                                              {"at", atText},
                                              {"details", m.details}}));
        QVERIFY(o.result.delivered);
        QCOMPARE(o.result.httpStatus, 204);
    }

    // What each far end can answer, and what the school is told.
    void answers_data() {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<int>("status");
        QTest::addColumn<Headers>("headers");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<int>("retryAfter");
        QTest::addColumn<QStringList>("told");  // pieces of farEnd
        const Headers none;
        QTest::newRow("LINE 401") << "line" << 401 << none
                                  << QByteArray(
                                         "{\"message\":\"Authentication failed. Confirm that the "
                                         "access token in the authorization header is valid.\"}")
                                  << false << -1
                                  << QStringList{"LINE", "token ไม่ถูกต้อง", "401",
                                                 "Authentication failed"};
        QTest::newRow("LINE 400 with details")
            << "line" << 400 << none
            << QByteArray(
                   "{\"message\":\"The request body has 1 "
                   "error(s)\",\"details\":[{\"message\":\"The property, 'to', in the request body "
                   "is invalid (line: -, column: -)\",\"property\":\"to\"}]}")
            << false << -1 << QStringList{"400", "The request body has 1 error(s)", "'to'"};
        QTest::newRow("LINE 409: accepted before")
            << "line" << 409
            << Headers{{"x-line-accepted-request-id", "abcdef01-2345-6789-abcd-ef0123456789"}}
            << QByteArray(
                   "{\"message\":\"The retry key is already "
                   "accepted\",\"sentMessages\":[{\"id\":\"1\",\"quoteToken\":\"q\"}]}")
            << true << -1 << QStringList{"ส่งถึงแล้ว", "abcdef01-2345-6789-abcd-ef0123456789"};
        QTest::newRow("LINE 429, Retry-After seconds")
            << "line" << 429 << Headers{{"Retry-After", "30"}}
            << QByteArray(
                   "{\"message\":\"The API rate limit has been exceeded. Try again later.\"}")
            << false << 30 << QStringList{"429", "rate limit", "30"};
        QTest::newRow("LINE 500") << "line" << 500 << none << QByteArray("oops") << false << -1
                                  << QStringList{"500", "LINE"};
        QTest::newRow("Telegram ok false")
            << "telegram" << 200 << none << QByteArray("{\"ok\":false}") << false << -1
            << QStringList{"Telegram", "200"};
        QTest::newRow("Telegram 200 not JSON")
            << "telegram" << 200 << none << QByteArray("<html>proxy</html>") << false << -1
            << QStringList{"Telegram"};
        QTest::newRow("Telegram 401")
            << "telegram" << 401 << none
            << QByteArray("{\"ok\":false,\"error_code\":401,\"description\":\"Unauthorized\"}")
            << false << -1 << QStringList{"Telegram", "token ไม่ถูกต้อง", "401", "Unauthorized"};
        QTest::newRow("Telegram 400 chat not found")
            << "telegram" << 400 << none
            << QByteArray(
                   "{\"ok\":false,\"error_code\":400,\"description\":\"Bad Request: chat not "
                   "found\"}")
            << false << -1 << QStringList{"400", "chat not found"};
        QTest::newRow("Telegram 429 retry_after")
            << "telegram" << 429 << none
            << QByteArray(
                   "{\"ok\":false,\"error_code\":429,\"description\":\"Too Many Requests: retry "
                   "after 17\",\"parameters\":{\"retry_after\":17}}")
            << false << 17 << QStringList{"429", "Too Many Requests", "17"};
        QTest::newRow("webhook 200")
            << "webhook" << 200 << none << QByteArray("ok") << true << -1 << QStringList{"ส่งถึงแล้ว"};
        QTest::newRow("webhook 202")
            << "webhook" << 202 << none << QByteArray() << true << -1 << QStringList{"ส่งถึงแล้ว"};
        QTest::newRow("webhook 401") << "webhook" << 401 << none << QByteArray("bad signature")
                                     << false << -1 << QStringList{"webhook", "401", "รหัสลับ"};
        QTest::newRow("webhook 503, Retry-After seconds")
            << "webhook" << 503 << Headers{{"Retry-After", "120"}} << QByteArray() << false << 120
            << QStringList{"503", "120"};
        QTest::newRow("webhook 429, Retry-After date")
            << "webhook" << 429 << Headers{{"Retry-After", httpDate(kNow.addSecs(90)).toLatin1()}}
            << QByteArray() << false << 90 << QStringList{"429", "90"};
        QTest::newRow("webhook 302 not followed")
            << "webhook" << 302 << Headers{{"Location", "/elsewhere"}} << QByteArray() << false
            << -1 << QStringList{"302"};
        QTest::newRow("LINE 307 not followed")
            << "line" << 307 << Headers{{"Location", "/v2/bot/message/push2"}} << QByteArray()
            << false << -1 << QStringList{"307", "LINE"};
    }
    void answers() {
        QFETCH(QString, channel);
        QFETCH(int, status);
        QFETCH(Headers, headers);
        QFETCH(QByteArray, body);
        QFETCH(bool, delivered);
        QFETCH(int, retryAfter);
        QFETCH(QStringList, told);
        LocalHttpServer server;
        QVERIFY(server.start());
        server.answer.status = status;
        server.answer.headers = headers;
        server.answer.body = body;
        EnvVar line("TAVIRIN_LINE_API", server.url().toUtf8());
        EnvVar telegram("TAVIRIN_TELEGRAM_API", server.url().toUtf8());
        AlertSender sender(AlertSender::kTimeout, &clock_);
        const Outcome o = sendAndWait(sender, settingsFor(server.url()), message(channel));
        checkOnce(o);
        // One request: a redirect is not followed.
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(o.result.delivered, delivered);
        QCOMPARE(o.result.httpStatus, status);
        QCOMPARE(o.result.retryAfterSeconds, retryAfter);
        for (const QString& piece : told)
            QVERIFY2(o.result.farEnd.contains(piece), qPrintable(o.result.farEnd));
        for (const QString& secret : {kLineToken, kTelegramToken, kSecret})
            QVERIFY2(!o.result.farEnd.contains(secret), qPrintable(o.result.farEnd));
    }

    // No answer at all: refused, silent, or a certificate not trusted. The far end's address
    // in these reasons never carries a token.
    void noAnswer_data() {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("how");  // "refused", "silent", "untrusted"
        QTest::addColumn<QString>("told");
        for (const char* channel : {"line", "telegram", "webhook"}) {
            QTest::addRow("%s refused", channel) << channel << "refused"
                                                 << "ไม่รับการเชื่อมต่อ";
            QTest::addRow("%s silent", channel) << channel << "silent"
                                                << "ไม่ตอบภายใน 2.5 วินาที";
            QTest::addRow("%s untrusted", channel) << channel << "untrusted"
                                                   << "ใบรับรอง";
        }
    }
    void noAnswer() {
        QFETCH(QString, channel);
        QFETCH(QString, how);
        QFETCH(QString, told);
        std::unique_ptr<LocalHttpServer> server;
        if (how == QLatin1String("untrusted"))
            server = std::make_unique<LocalHttpServer>(cert_.certificate, cert_.key);
        else
            server = std::make_unique<LocalHttpServer>();
        QVERIFY(server->start());
        server->answer.never = how == QLatin1String("silent");
        const QString url = server->url();
        if (how == QLatin1String("refused")) server->close();  // the port is free again
        EnvVar line("TAVIRIN_LINE_API", url.toUtf8());
        EnvVar telegram("TAVIRIN_TELEGRAM_API", url.toUtf8());
        EnvVar ca("TAVIRIN_ALERTS_CA", QByteArray());
        // Shorter than the real 10 s, long enough for a TLS handshake on a busy machine.
        AlertSender sender(2500ms, &clock_);
        const Outcome o = sendAndWait(sender, settingsFor(url), message(channel));
        checkOnce(o);
        QVERIFY(!o.result.delivered);
        QCOMPARE(o.result.httpStatus, 0);
        QCOMPARE(o.result.retryAfterSeconds, -1);
        QVERIFY2(o.result.farEnd.startsWith(QStringLiteral("ติดต่อไม่ได้: ")),
                 qPrintable(o.result.farEnd));
        QVERIFY2(o.result.farEnd.contains(told), qPrintable(o.result.farEnd));
        for (const QString& secret : {kLineToken, kTelegramToken, kTelegramToken.section(':', 1),
                                      kSecret, QStringLiteral("site=nb")})
            QVERIFY2(!o.result.farEnd.contains(secret), qPrintable(o.result.farEnd));
        // A silent far end got the request; an untrusted one never saw it.
        QCOMPARE(server->requests.size(), how == QLatin1String("silent") ? 1 : 0);
    }

    // With TAVIRIN_ALERTS_CA naming the far end's own certificate, HTTPS works.
    void trustedLocalCertificate_data() {
        QTest::addColumn<QString>("channel");
        QTest::newRow("line") << "line";
        QTest::newRow("telegram") << "telegram";
        QTest::newRow("webhook") << "webhook";
    }
    void trustedLocalCertificate() {
        QFETCH(QString, channel);
        LocalHttpServer server(cert_.certificate, cert_.key);
        QVERIFY(server.start());
        server.answer.body = "{\"ok\":true,\"result\":{}}";
        EnvVar line("TAVIRIN_LINE_API", server.url().toUtf8());
        EnvVar telegram("TAVIRIN_TELEGRAM_API", server.url().toUtf8());
        EnvVar ca("TAVIRIN_ALERTS_CA",
                  QFile::encodeName(certDir_.filePath(QString::fromLatin1(kCertificateFile))));
        AlertSender sender;
        QVERIFY(server.url().startsWith(QStringLiteral("https://")));
        const Outcome o = sendAndWait(sender, settingsFor(server.url()), message(channel));
        checkOnce(o);
        QVERIFY2(o.result.delivered, qPrintable(o.result.farEnd));
        QCOMPARE(server.requests.size(), 1);
    }

    // Refused before anything goes out, and still answered later, not inside send().
    void refusedAtSend_data() {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<AlertSettings>("settings");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("told");
        const AlertSettings good = settingsFor(QStringLiteral("https://hooks.example.org"));
        AlertSettings s = good;
        s.lineTo.clear();
        QTest::newRow("LINE not set up") << "line" << s << kKey << "LINE";
        s = good;
        s.telegramToken.clear();
        QTest::newRow("Telegram not set up") << "telegram" << s << kKey << "Telegram";
        s = good;
        s.webhookUrl.clear();
        QTest::newRow("webhook not set up") << "webhook" << s << kKey << "webhook";
        const struct {
            const char* name;
            const char* url;
            QString told;
        } urls[] = {
            {"webhook http to the internet", "http://203.0.113.7/hook", "https://"},
            {"webhook http to a name", "http://hooks.example.org/hook", "https://"},
            {"webhook ftp", "ftp://192.168.1.5/hook", "https://"},
            {"webhook with a password", "https://u:p@hooks.example.org/hook", "รหัสผ่าน"},
        };
        for (const auto& u : urls) {
            s = good;
            s.webhookUrl = QString::fromLatin1(u.url);
            QTest::newRow(u.name) << "webhook" << s << kKey << u.told;
        }
        s = good;
        s.lineToken = QStringLiteral("abc\r\nX-Injected: 1");
        QTest::newRow("LINE token with a line break") << "line" << s << kKey << "token";
        s = good;
        s.telegramToken = QStringLiteral("1:a/../../getUpdates");
        QTest::newRow("Telegram token with a path") << "telegram" << s << kKey << "token";
        QTest::newRow("LINE without a key") << "line" << good << QString() << "UUID";
        QTest::newRow("webhook key not a UUID") << "webhook" << good << "1\r\nX: y"
                                                << "UUID";
        QTest::newRow("unknown channel") << "email" << good << kKey << "email";
    }
    void refusedAtSend() {
        QFETCH(QString, channel);
        QFETCH(AlertSettings, settings);
        QFETCH(QString, key);
        QFETCH(QString, told);
        AlertSender sender;
        AlertMessage m = message(channel);
        m.key = key;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not sent")));
        const Outcome o = sendAndWait(sender, settings, m);
        checkOnce(o);
        QVERIFY(!o.result.delivered);
        QCOMPARE(o.result.httpStatus, 0);
        QVERIFY2(o.result.farEnd.contains(told), qPrintable(o.result.farEnd));
        QVERIFY2(!o.result.farEnd.contains(QStringLiteral("Injected")),
                 qPrintable(o.result.farEnd));
    }

    // The APIs' limits on one text: LINE 5000, Telegram 4096 (UTF-16 code units); a character
    // outside the BMP at the cut is not split.
    void longTextIsCut_data() {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<int>("limit");
        QTest::newRow("line") << "line" << 5000;
        QTest::newRow("telegram") << "telegram" << 4096;
    }
    void longTextIsCut() {
        QFETCH(QString, channel);
        QFETCH(int, limit);
        LocalHttpServer server;
        QVERIFY(server.start());
        server.answer.body = "{\"ok\":true}";
        EnvVar line("TAVIRIN_LINE_API", server.url().toUtf8());
        EnvVar telegram("TAVIRIN_TELEGRAM_API", server.url().toUtf8());
        AlertSender sender;
        AlertMessage m = message(channel);
        // An emoji (a surrogate pair) across the place of the cut.
        m.text = QString(limit - 2, QChar(0x0E01)) + QString::fromUtf8("\xF0\x9F\x94\x94") +
                 QString(100, u'x');
        sendAndWait(sender, settingsFor(server.url()), m);
        QCOMPARE(server.requests.size(), 1);
        const QJsonObject body = jsonOf(server.requests.first().body);
        const QString sent = channel == QLatin1String("line")
                                 ? body.value("messages").toArray().first()["text"].toString()
                                 : body.value("text").toString();
        QVERIFY(sent.size() <= limit);
        QVERIFY(sent.endsWith(u'…'));
        QVERIFY(!sent.at(sent.size() - 2).isHighSurrogate());
        QVERIFY(sent.startsWith(QString(limit - 2, QChar(0x0E01))));
        // A text within the limit goes whole.
        m.text = QString(limit, QChar(0x0E01));
        sendAndWait(sender, settingsFor(server.url()), m);
        const QJsonObject whole = jsonOf(server.requests.last().body);
        QCOMPARE(channel == QLatin1String("line")
                     ? whole.value("messages").toArray().first()["text"].toString()
                     : whole.value("text").toString(),
                 m.text);
    }

    void goneContextIsNotCalled() {
        LocalHttpServer server;
        QVERIFY(server.start());
        AlertSender sender;
        int calls = 0;
        auto* context = new QObject;
        sender.send(settingsFor(server.url()), message("webhook"), context,
                    [&calls](SendResult) { ++calls; });
        // One refused at once, one gone out: neither may call a context that is gone.
        AlertSettings notSetUp;
        sender.send(notSetUp, message("line"), context, [&calls](SendResult) { ++calls; });
        QCOMPARE(sender.inFlight(), 2);
        delete context;
        QVERIFY(QTest::qWaitFor([&] { return sender.inFlight() == 0; }, 30000));
        QCoreApplication::processEvents();
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(calls, 0);
    }

    void destroyedSenderCallsNobody() {
        LocalHttpServer server;
        QVERIFY(server.start());
        server.answer.never = true;
        int calls = 0;
        QObject context;
        {
            AlertSender sender;
            sender.send(settingsFor(server.url()), message("webhook"), &context,
                        [&calls](SendResult) { ++calls; });
            QVERIFY(QTest::qWaitFor([&] { return !server.requests.isEmpty(); }, 30000));
            // Refused, its answer still to come.
            sender.send(AlertSettings{}, message("line"), &context,
                        [&calls](SendResult) { ++calls; });
            QCOMPARE(sender.inFlight(), 2);
        }
        QCoreApplication::processEvents();
        QCOMPARE(calls, 0);
    }

    void manyAtOnce() {
        LocalHttpServer server;
        QVERIFY(server.start());
        EnvVar line("TAVIRIN_LINE_API", server.url().toUtf8());
        AlertSender sender;
        constexpr int kSends = 6;
        QList<int> calls(kSends, 0);
        QObject context;
        for (int i = 0; i < kSends; ++i) {
            AlertMessage m = message(i % 2 ? "line" : "webhook");
            m.key = QUuid::createUuid().toString(QUuid::WithoutBraces);
            sender.send(settingsFor(server.url()), m, &context, [&calls, i](SendResult r) {
                if (r.delivered) ++calls[i];
            });
        }
        QCOMPARE(sender.inFlight(), kSends);
        QVERIFY(QTest::qWaitFor([&] { return sender.inFlight() == 0; }, 30000));
        QCOMPARE(calls, QList<int>(kSends, 1));
        QCOMPARE(server.requests.size(), kSends);
    }

    void retryAfter_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("seconds");
        const QDateTime now = kNow;
        QTest::newRow("seconds") << QByteArray("120") << 120;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("spaces around") << QByteArray(" 5 ") << 5;
        QTest::newRow("more than a day") << QByteArray("90000") << 86400;
        QTest::newRow("huge") << QByteArray("99999999999999999999") << 86400;
        QTest::newRow("none") << QByteArray() << -1;
        QTest::newRow("negative") << QByteArray("-5") << -1;
        QTest::newRow("fraction") << QByteArray("1.5") << -1;
        QTest::newRow("words") << QByteArray("soon") << -1;
        QTest::newRow("IMF date ahead") << httpDate(now.addSecs(75)).toLatin1() << 75;
        QTest::newRow("IMF date past") << httpDate(now.addSecs(-75)).toLatin1() << 0;
        QTest::newRow("IMF date two days ahead") << httpDate(now.addDays(2)).toLatin1() << 86400;
        QTest::newRow("RFC 850 date")
            << QLocale::c()
                   .toString(now.addSecs(60), QStringLiteral("dddd, dd-MMM-yy HH:mm:ss 'GMT'"))
                   .toLatin1()
            << 60;
        QTest::newRow("asctime date")
            << QLocale::c()
                   .toString(now.addSecs(3600), QStringLiteral("ddd MMM d HH:mm:ss yyyy"))
                   .toLatin1()
            << 3600;
        QTest::newRow("asctime, day padded") << QByteArray("Wed Dec  9 03:01:00 2026") << 60;
        QTest::newRow("date with another zone")
            << QByteArray("Wed, 09 Dec 2026 10:01:00 +0700") << -1;
    }
    void retryAfter() {
        QFETCH(QByteArray, value);
        QFETCH(int, seconds);
        QCOMPARE(parseRetryAfter(value, kNow), seconds);
    }
};

QTEST_GUILESS_MAIN(TestAlertSender)
#include "test_alertsender.moc"
