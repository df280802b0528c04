#pragma once

#include "alerts/alertsettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace tavirin {

class Clock;

// One message on one channel.
struct AlertMessage {
    QString channel;  // "line", "telegram", "webhook"
    QString event;    // alertevent id
    QString text;     // Thai, the school's name first
    QDateTime at;     // when it happened
    QJsonObject details;
    // The same for one message across retries and restarts (a UUID): the far end's way of
    // knowing a retried message from a new one.
    QString key;
};

struct SendResult {
    bool delivered = false;
    int httpStatus = 0;          // 0: no answer (refused, timed out, TLS failed, not sent)
    int retryAfterSeconds = -1;  // how long the far end asked to wait; -1: it did not say
    // Thai, what the far end answered, for the settings dialog and the day's record. Never a
    // token or the secret.
    QString farEnd;
};

// The wait a Retry-After header asks for: delay-seconds or an HTTP date (counted from `now`),
// at most a day; -1 for none or one that cannot be read.
int parseRetryAfter(const QByteArray& value, const QDateTime& now);

// Sends alerts over HTTPS with Qt Network: the LINE Messaging API's push message, the
// Telegram Bot API's sendMessage, or a POST of JSON to the school's own webhook. Each send
// is one request, bounded in time; retrying is the caller's business (the key makes a retry
// safe at LINE and at a webhook that honours X-Tavirin-Delivery).
//
// Redirects are not followed: the far end must answer itself. Certificates are verified as
// usual. The environment can point the sender elsewhere, for tests against local servers:
//   TAVIRIN_LINE_API      instead of https://api.line.me
//   TAVIRIN_TELEGRAM_API  instead of https://api.telegram.org
//   TAVIRIN_ALERTS_CA     a PEM file whose certificates are trusted besides the system's
// (read once, when the sender is made).
class AlertSender : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kTimeout{10000};

    explicit AlertSender(QObject* parent = nullptr);
    // `timeout` bounds each request as a whole; `clock` dates an HTTP-date Retry-After (the
    // machine's clock when null).
    AlertSender(std::chrono::milliseconds timeout, const Clock* clock, QObject* parent = nullptr);
    ~AlertSender() override;

    // Sends without waiting (call it on the sender's thread). `done` is called once, later,
    // from the event loop (never from inside send), on `context`'s thread; not at all when
    // `context` is gone by then (a null context: while the sender lives), nor for a send
    // still on its way when the sender is destroyed.
    void send(const AlertSettings& settings, const AlertMessage& m, QObject* context,
              std::function<void(SendResult)> done);
    // Sends whose `done` is still to come.
    int inFlight() const;

private:
    struct Job;
    void start(Job& job, const AlertSettings& settings, const AlertMessage& m);
    void answer(quint64 id);
    void complete(quint64 id, SendResult result);

    QNetworkAccessManager* network_;
    std::chrono::milliseconds timeout_;
    const Clock* clock_;
    QString lineBase_, telegramBase_;
    std::optional<QSslConfiguration> tls_;  // set when TAVIRIN_ALERTS_CA adds certificates
    std::map<quint64, std::unique_ptr<Job>> jobs_;
    quint64 nextId_ = 1;
};

}  // namespace tavirin
