#include "web/webpage.h"

#include "core/bellcore.h"
#include "platform/clock.h"
#include "platform/privateaddress.h"
#include "store/programstore.h"
#include "web/webapi.h"
#include "web/webserver.h"
#include "webauth/certificate.h"
#include "webauth/loginthrottle.h"
#include "webauth/webaccounts.h"
#include "webauth/weblog.h"
#include "webauth/websessions.h"

#include <QHostInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QSslConfiguration>

namespace tavirin {

namespace {

const QString kApp = QStringLiteral("tavirin_web");
const QString kSection = QStringLiteral("settings");

QString hostText(const QHostAddress& a) {
    return a.protocol() == QAbstractSocket::IPv6Protocol
               ? QLatin1Char('[') + a.toString() + QLatin1Char(']')
               : a.toString();
}

}  // namespace

struct WebPage::Parts {
    Parts(BellCore& core, const SoundLibrary& library)
        : accounts(core.store()),
          sessions(core.clock()),
          throttle(core.clock()),
          api(WebApi::Parts{core, library, accounts, sessions, throttle, {}}),
          server(api) {}
    WebAccounts accounts;
    WebSessions sessions;
    LoginThrottle throttle;
    WebApi api;
    WebServer server;
    bool running = false;
    bool https = true;
    QString fingerprint;
};

WebPage::WebPage(BellCore& core, const SoundLibrary& library, QString folder, QObject* parent)
    : QObject(parent),
      core_(core),
      folder_(std::move(folder)),
      p_(std::make_unique<Parts>(core, library)) {
    p_->api.setSettings([this] {
        const WebSettings s = settings();
        QJsonArray on;
        for (const QHostAddress& a : listening()) on.append(a.toString());
        return QJsonObject{{QStringLiteral("port"), int(s.port)},
                           {QStringLiteral("https"), s.https},
                           {QStringLiteral("addresses"), on},
                           {QStringLiteral("fingerprint"), fingerprint()},
                           {QStringLiteral("url"), url()}};
    });
    p_->throttle.setOnBlocked([this](const LoginThrottle::Block& b) {
        const QString text =
            b.cause == LoginThrottle::Cause::Address
                ? QStringLiteral("มีการใส่รหัสผ่านหน้าเว็บผิดหลายครั้งจากเครื่อง %1 เครื่องนั้นต้องรอ %2 นาที")
                      .arg(b.address.toString())
                      .arg(b.seconds / 60)
                : QStringLiteral("มีการใส่รหัสผ่านของ%1ผิดหลายครั้ง การเข้าสู่ระบบของ%1ต้องรอ %2 นาที")
                      .arg(roleName(b.role))
                      .arg(b.seconds / 60);
        qCWarning(lcWeb).noquote() << "logins blocked:" << text;
        emit loginsBlocked(text);
    });
}

WebPage::~WebPage() {
    p_->api.closeStreams();
    p_->server.stop();
}

WebSettings WebPage::settings() const {
    const ProgramStore& store = core_.store();
    WebSettings s;
    s.enabled = store.GetSetting(kApp, kSection, QStringLiteral("enabled"), QStringLiteral("0")) ==
                QLatin1String("1");
    bool ok = false;
    const int port =
        store.GetSetting(kApp, kSection, QStringLiteral("port"), QStringLiteral("8443")).toInt(&ok);
    if (ok && port > 0 && port < 65536)
        s.port = quint16(port);
    else
        qCWarning(lcWeb) << "stored port is not one; 8443 is used";
    s.https = store.GetSetting(kApp, kSection, QStringLiteral("https"), QStringLiteral("1")) !=
              QLatin1String("0");
    for (const QString& a : store.GetSetting(kApp, kSection, QStringLiteral("addresses"), QString())
                                .split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (QHostAddress(a.trimmed()).isNull())
            qCWarning(lcWeb).noquote() << "stored address" << a.left(60) << "is not one; left out";
        else
            s.addresses << a.trimmed();
    }
    return s;
}

void WebPage::save(const WebSettings& s) {
    ProgramStore& store = core_.store();
    ProgramStore::Burst burst(store);
    store.SaveSetting(kApp, kSection, QStringLiteral("enabled"),
                      s.enabled ? QStringLiteral("1") : QStringLiteral("0"));
    store.SaveSetting(kApp, kSection, QStringLiteral("port"), QString::number(s.port));
    store.SaveSetting(kApp, kSection, QStringLiteral("https"),
                      s.https ? QStringLiteral("1") : QStringLiteral("0"));
    store.SaveSetting(kApp, kSection, QStringLiteral("addresses"),
                      s.addresses.join(QLatin1Char(',')));
    if (const Result r = burst.finish(); !r)
        qCWarning(lcWeb).noquote() << "the page's settings were not saved:" << r.error;
}

bool WebPage::isPrivate(const QHostAddress& a) { return isPrivateAddress(a); }

QList<QHostAddress> WebPage::defaultAddresses() {
    QList<QHostAddress> out{QHostAddress(QHostAddress::LocalHost)};
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        const auto f = i.flags();
        if (!(f & QNetworkInterface::IsUp) || !(f & QNetworkInterface::IsRunning) ||
            (f & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            const QHostAddress a = e.ip();
            // Link-local addresses need a scope a phone's browser does not type.
            if (a.isLinkLocal() || !isPrivate(a) || out.contains(a)) continue;
            out << a;
        }
    }
    return out;
}

Outcome WebPage::start(const WebSettings& s) {
    p_->api.closeStreams();
    p_->server.stop();
    p_->running = false;
    QList<QHostAddress> addresses;
    for (const QString& a : s.addresses) addresses << QHostAddress(a);
    if (addresses.isEmpty()) addresses = defaultAddresses();

    std::optional<QSslConfiguration> tls;
    p_->fingerprint.clear();
    if (s.https) {
        QStringList names{QStringLiteral("localhost"), QHostInfo::localHostName()};
        const CertificateResult cert =
            ensureCertificate(folder_, names, addresses, core_.clock().now().toUTC());
        if (!cert.ok) {
            qCWarning(lcWeb).noquote() << "no certificate for the page:" << cert.reason;
            return Outcome::failed(QStringLiteral("สร้างใบรับรองสำหรับ HTTPS ไม่ได้: ") + cert.reason);
        }
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        c.setLocalCertificate(cert.certificate);
        c.setPrivateKey(cert.key);
        c.setProtocol(QSsl::TlsV1_2OrLater);
        c.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls = c;
        p_->fingerprint = sha256Fingerprint(cert.certificate);
    }
    QString why;
    if (!p_->server.start(addresses, s.port, tls, {}, &why)) {
        emit changed();
        return Outcome::failed(QStringLiteral("เปิดหน้าเว็บที่พอร์ต %1 ไม่ได้: %2").arg(s.port).arg(why));
    }
    p_->running = true;
    p_->https = s.https;
    emit changed();
    const QList<QHostAddress> on = p_->server.listening();
    if (on.size() < addresses.size())
        return Outcome::done(QStringLiteral("เปิดหน้าเว็บแล้ว แต่บางที่อยู่ใช้ไม่ได้: ") + why);
    return Outcome::done();
}

Outcome WebPage::enable(quint16 port, bool https, const QStringList& addresses) {
    if (port == 0) return Outcome::refused(QStringLiteral("พอร์ตต้องเป็น 1 ถึง 65535"));
    for (const QString& a : addresses)
        if (QHostAddress(a).isNull())
            return Outcome::refused(QStringLiteral("\"%1\" ไม่ใช่ที่อยู่เครือข่าย").arg(a.left(60)));
    WebSettings s{true, port, https, addresses};
    const Outcome o = start(s);
    // Saved either way: the school asked for it; a port taken now may be free at the next start.
    save(s);
    return o;
}

Outcome WebPage::disable() {
    WebSettings s = settings();
    s.enabled = false;
    save(s);
    p_->api.closeStreams();
    p_->server.stop();
    const bool was = p_->running;
    p_->running = false;
    emit changed();
    qCInfo(lcWeb) << "the page is off";
    return was ? Outcome::done() : Outcome::done(QStringLiteral("หน้าเว็บปิดอยู่แล้ว"));
}

void WebPage::startAsSaved() {
    const WebSettings s = settings();
    if (!s.enabled) return;
    const Outcome o = start(s);
    if (!o.accepted()) qCWarning(lcWeb).noquote() << "the page did not start:" << o.reason;
}

bool WebPage::running() const {
    return p_->running;
}

QStringList WebPage::urls() const {
    QStringList out;
    if (!p_->running) return out;
    const QString scheme = p_->https ? QStringLiteral("https://") : QStringLiteral("http://");
    const quint16 port = p_->server.port();
    QList<QHostAddress> on = p_->server.listening();
    // The school's network first: that is the address a phone can reach.
    // IPv4 before IPv6: the address a teacher would type, if it came to that.
    const auto rank = [](const QHostAddress& a) {
        return a.isLoopback() ? 2 : a.protocol() == QAbstractSocket::IPv4Protocol ? 0 : 1;
    };
    std::stable_sort(on.begin(), on.end(), [&](const QHostAddress& a, const QHostAddress& b) {
        return rank(a) < rank(b);
    });
    for (const QHostAddress& a : on) {
        if (a == QHostAddress::Any || a == QHostAddress::AnyIPv4 || a == QHostAddress::AnyIPv6) {
            for (const QHostAddress& d : defaultAddresses())
                out << scheme + hostText(d) + QLatin1Char(':') + QString::number(port) +
                           QLatin1Char('/');
            continue;
        }
        out << scheme + hostText(a) + QLatin1Char(':') + QString::number(port) + QLatin1Char('/');
    }
    out.removeDuplicates();
    return out;
}

QString WebPage::url() const {
    const QStringList all = urls();
    return all.isEmpty() ? QString() : all.first();
}

QString WebPage::fingerprint() const {
    return p_->running ? p_->fingerprint : QString();
}

QList<QHostAddress> WebPage::listening() const {
    return p_->server.listening();
}

Outcome WebPage::setPassword(WebRole role, const QString& password) {
    // Hashing holds this thread for a tenth of a second: never while a bell is on its way.
    if (core_.bellInProgress())
        return Outcome::refused(QStringLiteral("กำลังตีออดอยู่ กรุณารอให้ออดจบก่อน"));
    const Result r = p_->accounts.setPassword(role, password);
    if (!r) return Outcome::refused(r.error);
    p_->sessions.removeRole(role);
    qCInfo(lcWeb).noquote() << "the password of" << roleId(role) << "was set";
    emit changed();
    return Outcome::done();
}

bool WebPage::hasPassword(WebRole role) const {
    return p_->accounts.hasPassword(role);
}

WebAccounts& WebPage::accounts() {
    return p_->accounts;
}
WebSessions& WebPage::sessions() {
    return p_->sessions;
}
LoginThrottle& WebPage::throttle() {
    return p_->throttle;
}
WebApi& WebPage::api() {
    return p_->api;
}
WebServer& WebPage::server() {
    return p_->server;
}

}  // namespace tavirin
