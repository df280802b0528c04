#include "alerts/alertsender.h"

#include "alerts/alertlog.h"
#include "platform/clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QUuid>

namespace tavirin {

namespace {

const QString kLine = QStringLiteral("line");
const QString kTelegram = QStringLiteral("telegram");
const QString kWebhook = QStringLiteral("webhook");

const QString kDelivered = QStringLiteral("ส่งถึงแล้ว");
const QString kMask = QStringLiteral("••••");

constexpr qsizetype kMaxAnswer = 64 * 1024;  // of a far end's body; the rest is dropped
constexpr int kMaxWait = 24 * 3600;
// The APIs' limits on one text message, in UTF-16 code units.
constexpr qsizetype kLineTextMax = 5000;
constexpr qsizetype kTelegramTextMax = 4096;

QString base(const char* variable, const QString& fallback) {
    QString b = QString::fromLocal8Bit(qgetenv(variable)).trimmed();
    if (b.isEmpty()) return fallback;
    while (b.endsWith(u'/')) b.chop(1);
    qCInfo(lcAlerts).noquote() << variable << "points the sender at" << b;
    return b;
}

// The text cut to the API's limit without splitting a character.
QString clipped(const QString& text, qsizetype max) {
    if (text.size() <= max) return text;
    qsizetype n = max - 1;
    if (n > 0 && text.at(n - 1).isHighSurrogate()) --n;
    return text.left(n) + u'…';
}

// A far end's own words, fit for one line of the day's record.
QString farText(const QString& s) {
    QString out = s;
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u' ';
    return clipped(out.simplified(), 200);
}

QString seconds(std::chrono::milliseconds t) {
    return QString::number(double(t.count()) / 1000.0, 'g', 3);
}

bool headerSafe(const QString& s) {
    if (s.isEmpty()) return false;
    for (const QChar c : s)
        if (c.unicode() < 0x21 || c.unicode() > 0x7E) return false;
    return true;
}

// Thai: what an HTTP status means coming from this channel.
QString statusMeaning(const QString& channel, int status) {
    if (status >= 500) {
        if (channel == kLine) return QStringLiteral("ระบบของ LINE ขัดข้องชั่วคราว");
        if (channel == kTelegram) return QStringLiteral("ระบบของ Telegram ขัดข้องชั่วคราว");
        return QStringLiteral("ปลายทางขัดข้อง");
    }
    switch (status) {
        case 400:
            if (channel == kLine) return QStringLiteral("คำขอไม่ถูกต้อง (ตรวจรหัสผู้รับ)");
            if (channel == kTelegram) return QStringLiteral("คำขอไม่ถูกต้อง (ตรวจเลขแชต)");
            return QStringLiteral("คำขอไม่ถูกต้อง");
        case 401:
            if (channel == kWebhook) return QStringLiteral("ไม่ยอมรับ (ตรวจรหัสลับ)");
            return QStringLiteral("token ไม่ถูกต้อง");
        case 403:
            if (channel == kTelegram) return QStringLiteral("บอตไม่มีสิทธิ์ส่งในแชตนี้");
            if (channel == kWebhook) return QStringLiteral("ไม่ยอมรับ (ตรวจรหัสลับ)");
            return QStringLiteral("ไม่อนุญาตให้ส่ง");
        case 404:
            // Telegram answers a token it does not know with 404.
            if (channel == kTelegram) return QStringLiteral("token ไม่ถูกต้อง");
            if (channel == kLine) return QStringLiteral("ไม่พบผู้รับ");
            return QStringLiteral("ไม่พบที่อยู่นี้");
        case 413:
            return QStringLiteral("ข้อความยาวเกินไป");
        case 429:
            if (channel == kLine) return QStringLiteral("ส่งถี่เกินไปหรือเกินโควตาข้อความของเดือน");
            return QStringLiteral("ส่งถี่เกินไป");
        default:
            return QStringLiteral("ไม่รับข้อความ");
    }
}

QString channelName(const QString& channel) {
    if (channel == kLine) return QStringLiteral("LINE");
    if (channel == kTelegram) return QStringLiteral("Telegram");
    return QStringLiteral("webhook");
}

}  // namespace

int parseRetryAfter(const QByteArray& value, const QDateTime& now) {
    const QString v = QString::fromLatin1(value).simplified();
    if (v.isEmpty()) return -1;
    bool digits = true;
    for (const QChar c : v)
        if (!c.isDigit()) digits = false;
    if (digits) {
        // Longer than any wait worth counting: a day.
        if (v.size() > 9) return kMaxWait;
        return std::min(v.toInt(), kMaxWait);
    }
    // The three forms of an HTTP date: IMF-fixdate, the obsolete RFC 850 one and asctime's.
    // The weekday is dropped first: it adds nothing, and Qt refuses a two-digit year's
    // weekday, which it takes for one of the 1900s.
    const QLocale c = QLocale::c();
    const qsizetype comma = v.indexOf(u',');
    const QString afterComma = comma < 0 ? QString() : v.mid(comma + 1).trimmed();
    QDateTime when = c.toDateTime(afterComma, QStringLiteral("dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!when.isValid()) {
        when = c.toDateTime(afterComma, QStringLiteral("dd-MMM-yy HH:mm:ss 'GMT'"));
        // Two digits: the year in the next 50 years, else in the century before (RFC 9110).
        if (when.isValid()) {
            int year = now.toUTC().date().year() / 100 * 100 + when.date().year() % 100;
            if (year > now.toUTC().date().year() + 50) year -= 100;
            when = QDateTime(QDate(year, when.date().month(), when.date().day()), when.time());
        }
    }
    if (!when.isValid() && comma < 0)
        when = c.toDateTime(v.section(u' ', 1), QStringLiteral("MMM d HH:mm:ss yyyy"));
    if (!when.isValid()) return -1;
    when = QDateTime(when.date(), when.time(), Qt::UTC);
    const qint64 wait = now.secsTo(when);
    return int(std::clamp<qint64>(wait, 0, kMaxWait));
}

struct AlertSender::Job {
    quint64 id = 0;
    QString channel;
    QPointer<QObject> context;
    bool hasContext = false;
    std::function<void(SendResult)> done;
    QNetworkReply* reply = nullptr;
    QString host;         // for the reasons: the far end's host, never its path or query
    QStringList secrets;  // texts that must not reach a log or farEnd
    QByteArray answer;    // the far end's body, at most kMaxAnswer
    QList<QSslError> sslErrors;
    bool timedOut = false;

    QString scrub(QString text) const {
        QStringList longestFirst = secrets;
        std::sort(longestFirst.begin(), longestFirst.end(),
                  [](const QString& a, const QString& b) { return a.size() > b.size(); });
        for (const QString& s : std::as_const(longestFirst))
            // A few characters would blank out ordinary words; no real token is that short.
            if (s.size() >= 4) text.replace(s, kMask);
        return text;
    }
};

AlertSender::AlertSender(QObject* parent) : AlertSender(kTimeout, nullptr, parent) {}

AlertSender::AlertSender(std::chrono::milliseconds timeout, const Clock* clock, QObject* parent)
    : QObject(parent),
      network_(new QNetworkAccessManager(this)),
      timeout_(timeout),
      clock_(clock),
      lineBase_(base("TAVIRIN_LINE_API", QStringLiteral("https://api.line.me"))),
      telegramBase_(base("TAVIRIN_TELEGRAM_API", QStringLiteral("https://api.telegram.org"))) {
    network_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    const QString ca = QString::fromLocal8Bit(qgetenv("TAVIRIN_ALERTS_CA"));
    if (!ca.isEmpty()) {
        const QList<QSslCertificate> extra =
            QSslCertificate::fromPath(ca, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
        if (extra.isEmpty()) {
            qCWarning(lcAlerts).noquote()
                << "TAVIRIN_ALERTS_CA" << ca << "holds no certificate that can be read; ignored";
        } else {
            // Adding to the default configuration would stop the system's certificates from
            // being loaded when needed: take them now, with the extra ones.
            QSslConfiguration c = QSslConfiguration::defaultConfiguration();
            c.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
            tls_ = c;
            qCInfo(lcAlerts).noquote()
                << "trusting" << extra.size() << "more certificate(s) from" << ca;
        }
    }
}

AlertSender::~AlertSender() {
    // Nobody is told about a send cut short by the end of the sender.
    for (auto& [id, job] : jobs_) {
        if (!job->reply) continue;
        disconnect(job->reply, nullptr, this, nullptr);
        job->reply->abort();
        delete job->reply;
    }
    jobs_.clear();
}

int AlertSender::inFlight() const {
    return int(jobs_.size());
}

void AlertSender::send(const AlertSettings& settings, const AlertMessage& m, QObject* context,
                       std::function<void(SendResult)> done) {
    const quint64 id = nextId_++;
    auto job = std::make_unique<Job>();
    job->id = id;
    job->channel = m.channel;
    job->context = context;
    job->hasContext = context != nullptr;
    job->done = std::move(done);
    Job& j = *job;
    jobs_.emplace(id, std::move(job));
    start(j, settings, m);
}

void AlertSender::start(Job& job, const AlertSettings& s, const AlertMessage& m) {
    const quint64 id = job.id;
    const auto refuse = [this, id](const QString& why) {
        SendResult r;
        r.farEnd = why;
        // Never from inside send: the caller may still be setting up around it.
        QMetaObject::invokeMethod(
            this, [this, id, r] { complete(id, r); }, Qt::QueuedConnection);
    };

    if (const QString why = channelProblem(s, m.channel); !why.isEmpty()) return refuse(why);
    if (m.text.trimmed().isEmpty()) return refuse(QStringLiteral("ไม่มีข้อความที่จะส่ง"));
    const QUuid key = QUuid::fromString(m.key);
    if (m.channel != kTelegram && key.isNull())
        return refuse(QStringLiteral("ข้อความไม่มีรหัสประจำข้อความ (UUID) จึงส่งซ้ำอย่างปลอดภัยไม่ได้"));
    const QByteArray keyText = key.toString(QUuid::WithoutBraces).toLatin1();

    QNetworkRequest request;
    QByteArray body;
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (m.channel == kLine) {
        request.setUrl(QUrl(lineBase_ + QStringLiteral("/v2/bot/message/push")));
        request.setRawHeader("Authorization", "Bearer " + s.lineToken.toLatin1());
        // LINE accepts a push with a given retry key once; a retry of one it accepted is
        // answered 409 and not sent again.
        request.setRawHeader("X-Line-Retry-Key", keyText);
        const QJsonObject text{{QStringLiteral("type"), QStringLiteral("text")},
                               {QStringLiteral("text"), clipped(m.text, kLineTextMax)}};
        body = QJsonDocument(QJsonObject{{QStringLiteral("to"), s.lineTo},
                                         {QStringLiteral("messages"), QJsonArray{text}}})
                   .toJson(QJsonDocument::Compact);
        job.secrets = {s.lineToken};
    } else if (m.channel == kTelegram) {
        // The token is part of the address: neither may reach a log.
        request.setUrl(QUrl(telegramBase_ + QStringLiteral("/bot") + s.telegramToken +
                            QStringLiteral("/sendMessage")));
        body =
            QJsonDocument(QJsonObject{{QStringLiteral("chat_id"), s.telegramChat},
                                      {QStringLiteral("text"), clipped(m.text, kTelegramTextMax)}})
                .toJson(QJsonDocument::Compact);
        const QString own = s.telegramToken.section(u':', 1);
        job.secrets = {s.telegramToken, own,
                       QString::fromLatin1(QUrl::toPercentEncoding(s.telegramToken))};
    } else {
        if (!headerSafe(m.event))
            return refuse(QStringLiteral("ชนิดของข้อความ %1 ใช้ไม่ได้").arg(m.event.left(40)));
        request.setUrl(QUrl(s.webhookUrl, QUrl::StrictMode));
        QJsonObject o{{QStringLiteral("school"), s.school},
                      {QStringLiteral("event"), m.event},
                      {QStringLiteral("text"), m.text},
                      {QStringLiteral("details"), m.details}};
        if (m.at.isValid()) {
            // Always with its offset ("+07:00"), never "Z" or none.
            const QDateTime at = m.at.toOffsetFromUtc(m.at.offsetFromUtc());
            QString iso = at.toString(Qt::ISODate);
            if (iso.endsWith(u'Z')) iso = iso.chopped(1) + QStringLiteral("+00:00");
            o.insert(QStringLiteral("at"), iso);
        } else {
            o.insert(QStringLiteral("at"), QJsonValue::Null);
        }
        body = QJsonDocument(o).toJson(QJsonDocument::Compact);
        request.setRawHeader("X-Tavirin-Event", m.event.toLatin1());
        request.setRawHeader("X-Tavirin-Delivery", keyText);
        if (!s.webhookSecret.isEmpty()) {
            const QByteArray mac = QMessageAuthenticationCode::hash(body, s.webhookSecret.toUtf8(),
                                                                    QCryptographicHash::Sha256);
            request.setRawHeader("X-Tavirin-Signature", "sha256=" + mac.toHex());
        }
        // A token may sit in the address's path or query: the address is never repeated.
        const QUrl u = request.url();
        job.secrets = {s.webhookSecret, s.webhookUrl, u.toString(),
                       QString::fromUtf8(u.toEncoded())};
    }
    job.host = request.url().host();

    request.setTransferTimeout(int(timeout_.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Tavirin"));
    if (tls_) request.setSslConfiguration(*tls_);

    QNetworkReply* reply = network_->post(request, body);
    job.reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, [this, id] {
        const auto it = jobs_.find(id);
        if (it == jobs_.end()) return;
        Job& j = *it->second;
        const QByteArray chunk = j.reply->readAll();
        if (j.answer.size() < kMaxAnswer) j.answer += chunk.left(kMaxAnswer - j.answer.size());
    });
    connect(reply, &QNetworkReply::sslErrors, this, [this, id](const QList<QSslError>& errors) {
        const auto it = jobs_.find(id);
        if (it != jobs_.end()) it->second->sslErrors = errors;
    });
    // Queued: the answer (and whatever `done` does, even to the sender) comes on a clean
    // stack, never inside the reply's own signal or abort().
    connect(
        reply, &QNetworkReply::finished, this, [this, id] { answer(id); }, Qt::QueuedConnection);
    // The transfer timeout counts only silence; this bounds the request as a whole.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [this, id] {
        const auto it = jobs_.find(id);
        if (it == jobs_.end() || !it->second->reply || it->second->reply->isFinished()) return;
        it->second->timedOut = true;
        it->second->reply->abort();
    });
    deadline->start(timeout_);
}

void AlertSender::answer(quint64 id) {
    const auto it = jobs_.find(id);
    if (it == jobs_.end() || !it->second->reply) return;
    Job& job = *it->second;
    QNetworkReply* reply = job.reply;
    job.reply = nullptr;
    reply->deleteLater();
    disconnect(reply, nullptr, this, nullptr);
    const QByteArray rest = reply->isOpen() ? reply->readAll() : QByteArray();
    if (job.answer.size() < kMaxAnswer) job.answer += rest.left(kMaxAnswer - job.answer.size());

    SendResult r;
    r.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString name = channelName(job.channel);

    if (r.httpStatus == 0) {
        const QNetworkReply::NetworkError e = reply->error();
        QString why;
        if (job.timedOut || e == QNetworkReply::OperationCanceledError ||
            e == QNetworkReply::TimeoutError) {
            why = QStringLiteral("%1 ไม่ตอบภายใน %2 วินาที").arg(job.host, seconds(timeout_));
        } else if (e == QNetworkReply::ConnectionRefusedError) {
            why = QStringLiteral("%1 ไม่รับการเชื่อมต่อ").arg(job.host);
        } else if (e == QNetworkReply::HostNotFoundError) {
            why = QStringLiteral("หาเครื่อง %1 ไม่พบ (ตรวจการต่ออินเทอร์เน็ตหรือ DNS)").arg(job.host);
        } else if (!job.sslErrors.isEmpty()) {
            QStringList what;
            for (const QSslError& s : std::as_const(job.sslErrors)) what << s.errorString();
            what.removeDuplicates();
            why = QStringLiteral("ใบรับรองของ %1 ไม่น่าเชื่อถือ (%2)")
                      .arg(job.host, what.join(QStringLiteral("; ")));
        } else if (e == QNetworkReply::SslHandshakeFailedError) {
            why = QStringLiteral("การเชื่อมต่อแบบปลอดภัย (TLS) กับ %1 ล้มเหลว").arg(job.host);
        } else if (e == QNetworkReply::RemoteHostClosedError) {
            why = QStringLiteral("%1 ปิดการเชื่อมต่อก่อนตอบ").arg(job.host);
        } else {
            why = reply->errorString();
        }
        r.farEnd = job.scrub(QStringLiteral("ติดต่อไม่ได้: ") + why);
        return complete(id, r);
    }

    const int status = r.httpStatus;
    const QJsonObject json = QJsonDocument::fromJson(job.answer).object();
    QString said;  // the far end's own words
    if (job.channel == kLine) {
        said = json.value(QLatin1String("message")).toString();
        const QJsonArray details = json.value(QLatin1String("details")).toArray();
        if (!details.isEmpty()) {
            const QJsonObject d = details.first().toObject();
            const QString property = d.value(QLatin1String("property")).toString();
            const QString detail = d.value(QLatin1String("message")).toString();
            if (!detail.isEmpty())
                said += QStringLiteral(" (") +
                        (property.isEmpty() ? detail : property + QStringLiteral(": ") + detail) +
                        u')';
        }
        if (status >= 200 && status < 300) {
            r.delivered = true;
            r.farEnd = kDelivered;
        } else if (status == 409) {
            // Our retry key was accepted before: the message went out then.
            r.delivered = true;
            const QByteArray accepted = reply->rawHeader("x-line-accepted-request-id");
            r.farEnd = kDelivered + QStringLiteral(" (LINE รับข้อความนี้ไว้แล้วตั้งแต่ครั้งก่อน");
            if (!accepted.isEmpty() && headerSafe(QString::fromLatin1(accepted)))
                r.farEnd += QStringLiteral(" รหัส ") + QString::fromLatin1(accepted.left(80));
            r.farEnd += u')';
        }
    } else if (job.channel == kTelegram) {
        said = json.value(QLatin1String("description")).toString();
        if (status >= 200 && status < 300) {
            if (json.value(QLatin1String("ok")).toBool()) {
                r.delivered = true;
                r.farEnd = kDelivered;
            } else {
                r.farEnd = QStringLiteral("Telegram ตอบ (%1) แต่ไม่ได้บอกว่าส่งแล้ว").arg(status);
            }
        }
        const QJsonValue wait =
            json.value(QLatin1String("parameters")).toObject().value(QLatin1String("retry_after"));
        if (!r.delivered && wait.isDouble())
            r.retryAfterSeconds = int(std::clamp(wait.toDouble(), 0.0, double(kMaxWait)));
    } else if (status >= 200 && status < 300) {
        r.delivered = true;
        r.farEnd = kDelivered;
    }

    if (!r.delivered) {
        if (r.retryAfterSeconds < 0 && reply->hasRawHeader("Retry-After")) {
            r.retryAfterSeconds =
                parseRetryAfter(reply->rawHeader("Retry-After"),
                                clock_ ? clock_->now().toUTC() : QDateTime::currentDateTimeUtc());
        }
        if (r.farEnd.isEmpty()) {
            if (status >= 300 && status < 400)
                r.farEnd = QStringLiteral("%1 ให้ส่งไปที่อื่น (%2) ซึ่งไม่ส่งตาม").arg(name).arg(status);
            else
                r.farEnd = QStringLiteral("%1 ตอบว่า %2 (%3)")
                               .arg(name, statusMeaning(job.channel, status))
                               .arg(status);
            said = farText(said);
            if (!said.isEmpty()) r.farEnd += QStringLiteral(": ") + said;
        }
        if (r.retryAfterSeconds >= 0)
            r.farEnd += QStringLiteral(" ขอให้รอ %1 วินาที").arg(r.retryAfterSeconds);
    }
    r.farEnd = job.scrub(r.farEnd);
    complete(id, r);
}

void AlertSender::complete(quint64 id, SendResult result) {
    const auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    std::unique_ptr<Job> job = std::move(it->second);
    jobs_.erase(it);
    if (result.delivered)
        qCInfo(lcAlerts).noquote() << "alert sent by" << job->channel;
    else
        qCWarning(lcAlerts).noquote() << QStringLiteral("alert not sent by %1 (%2): %3")
                                             .arg(job->channel)
                                             .arg(result.httpStatus)
                                             .arg(result.farEnd);
    if (!job->done) return;
    if (!job->hasContext) {
        job->done(result);
        return;
    }
    QObject* context = job->context.data();
    if (!context) return;  // whoever asked is gone
    if (context->thread() == QThread::currentThread()) {
        job->done(result);
    } else {
        // Dropped by Qt if the context goes before it runs.
        QMetaObject::invokeMethod(
            context, [done = std::move(job->done), result] { done(result); }, Qt::QueuedConnection);
    }
}

}  // namespace tavirin
