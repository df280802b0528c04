#pragma once

#include "platform/outcome.h"
#include "webauth/webrole.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace tavirin {

class BellCore;
class LoginThrottle;
class ProgramStore;
class SoundLibrary;
class WebAccounts;
class WebApi;
class WebServer;
class WebSessions;

// The page's settings as stored (application "tavirin_web", section "settings").
struct WebSettings {
    bool enabled = false;
    quint16 port = 8443;
    bool https = true;
    // The addresses listened on; empty: the PC's loopback address and every private address
    // of its network interfaces (never a public one unless named here).
    QStringList addresses;
};

// The school's network page as a whole: its settings, its certificate, its accounts and its
// server, turned on and off by the window's network settings and the session bus.
class WebPage : public QObject {
    Q_OBJECT
public:
    WebPage(BellCore& core, const SoundLibrary& library, QString folder, QObject* parent = nullptr);
    ~WebPage() override;

    WebSettings settings() const;
    // Saves the settings and starts the page with them (restarts it when it runs).
    Outcome enable(quint16 port, bool https, const QStringList& addresses);
    Outcome disable();
    // At the program's start: the page as the settings say.
    void startAsSaved();

    bool running() const;
    // The page's address for a phone: on the first private address, else the loopback one.
    QString url() const;
    QStringList urls() const;
    QString fingerprint() const;  // the certificate's SHA-256, "" over plain HTTP
    QList<QHostAddress> listening() const;

    Outcome setPassword(WebRole role, const QString& password);
    bool hasPassword(WebRole role) const;

    WebAccounts& accounts();
    WebSessions& sessions();
    LoginThrottle& throttle();
    WebApi& api();
    WebServer& server();

    // The addresses the page listens on when none are named.
    static QList<QHostAddress> defaultAddresses();
    // A private, loopback or link-local address (RFC 1918, RFC 6598, RFC 4193, ...).
    static bool isPrivate(const QHostAddress& a);

signals:
    void changed();
    // Someone guessed passwords: the window says so.
    void loginsBlocked(const QString& text);

private:
    Outcome start(const WebSettings& s);
    void save(const WebSettings& s);

    BellCore& core_;
    QString folder_;
    struct Parts;
    std::unique_ptr<Parts> p_;
};

}  // namespace tavirin
