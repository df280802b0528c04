#pragma once

#include "platform/outcome.h"
#include "web/webrequest.h"
#include "webauth/webrole.h"
#include "webauth/websessions.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>

class QTcpSocket;

namespace tavirin {

class BellCore;
class LoginThrottle;
class SoundLibrary;
class WebAccounts;
using WebSession = WebSessions::Session;

// The page's JSON API (docs/API.md) over the core: the same commands the window, the tray and
// the session bus drive. Each group of routes is in a file of its own (api*.cpp).
class WebApi : public QObject {
    Q_OBJECT
public:
    struct Parts {
        BellCore& core;
        const SoundLibrary& library;
        WebAccounts& accounts;
        WebSessions& sessions;
        LoginThrottle& throttle;
        // The page's settings as the settings route shows them.
        std::function<QJsonObject()> settings;
    };
    explicit WebApi(Parts parts, QObject* parent = nullptr);
    ~WebApi() override;

    void handle(const WebRequest& request, WebResponder responder);
    void setSettings(std::function<QJsonObject()> settings) { p_.settings = std::move(settings); }

    // Every open event stream closed (the page is turned off).
    void closeStreams();
    int streamCount() const { return int(streams_.size()); }

    static constexpr int kMaxStreams = 30;

private:
    enum class Need { Nobody, Teacher, Admin };
    struct Route {
        const char* method;
        const char* path;  // exact; "/api/v1/programs/" matches with a day after it
        Need need;
        std::function<void(const WebRequest&, const WebSession*, WebResponder&)> run;
        bool prefix = false;
    };
    void addRoutes();
    const Route* find(const WebRequest& r, bool* pathKnown) const;
    // The session the request carries, by its Bearer token or its cookie; `byCookie` says which.
    const WebSession* sessionOf(const WebRequest& r, bool* byCookie);
    std::optional<WebReply> refuseForeign(const WebRequest& r, const WebSession* s, bool byCookie);

    // apisession.cpp
    void login(const WebRequest& r, WebResponder& out);
    void logout(const WebRequest& r, const WebSession* s, WebResponder& out);
    WebReply session(const WebRequest& r, const WebSession& s);
    // apistate.cpp
    WebReply state();
    void events(const WebRequest& r, const WebSession& s, WebResponder& out);
    void pushState();
    void keepStreamsOpen();
    // apicommands.cpp
    WebReply command(const WebRequest& r, const WebSession& s, const QString& action,
                     const std::function<Outcome()>& run);
    WebReply announce(const WebRequest& r, const WebSession& s);
    WebReply ring(const WebRequest& r, const WebSession& s);
    WebReply today(const WebRequest& r, const WebSession& s);
    WebReply kinds();
    WebReply emergency(const WebRequest& r, const WebSession& s);
    WebReply allClear(const WebRequest& r, const WebSession& s);
    WebReply mediaStop(const WebRequest& r, const WebSession& s);
    // apijournal.cpp
    WebReply journalDay(const WebRequest& r);
    WebReply journalCsv(const WebRequest& r);
    // apiprograms.cpp
    WebReply sounds();
    WebReply program(const WebRequest& r);
    WebReply saveProgram(const WebRequest& r, const WebSession& s);
    // apicalendar.cpp
    WebReply calendar();
    WebReply addCalendar(const WebRequest& r, const WebSession& s);
    WebReply removeCalendar(const WebRequest& r, const WebSession& s);
    // apisettings.cpp
    WebReply settings();
    WebReply setPassword(const WebRequest& r, const WebSession& s);

    // The page's action in the journal, with who asked from where.
    void record(const WebRequest& r, const WebSession& s, const QString& action,
                const Outcome& outcome);

    Parts p_;
    QList<Route> routes_;
    struct Stream {
        QPointer<QTcpSocket> socket;
        QByteArray token;
    };
    QList<Stream> streams_;
    QTimer keepAlive_;
};

// The body as a JSON object; nothing when it is not one (an empty body is an empty object).
std::optional<QJsonObject> jsonBody(const WebRequest& r);
WebReply outcomeReply(const Outcome& o);

}  // namespace tavirin
