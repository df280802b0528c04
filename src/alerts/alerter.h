#pragma once

#include "alerts/alertsettings.h"
#include "journal/journal.h"
#include "platform/outcome.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>

namespace tavirin {

class AlertSender;
class BellCore;
struct SendResult;

// Tells the school's phones at once what went wrong (a bell missed, failed or late; the
// self-test's problems and their end; an emergency and its all clear; bells due while the
// program was not running; a daily summary). Each message is written to the journal's outbox
// first, one per event and channel, and taken out only when the far end took it: retried
// after 30 s, doubling to 30 min, for 24 h (or as the far end asks with Retry-After), across
// restarts and power cuts. Nothing is sent while a bell is on its way, and nothing waits on
// this thread: the senders are asynchronous.
class Alerter : public QObject {
    Q_OBJECT
public:
    Alerter(BellCore& core, AlertSender& sender, QObject* parent = nullptr);
    ~Alerter() override;

    // The outbox left from before (a restart, a power cut) is taken up; the watches begin.
    void start();

    AlertSettings settings() const { return settings_; }
    // ConfigureAlerts: a JSON object (docs/DBUS.md); refused with a Thai reason.
    Outcome configure(const QByteArray& json);
    // A test message to every channel set up, now (not through the outbox); `told` gets what
    // each far end answered, in Thai, once all have.
    void sendTest(std::function<void(const QString&)> told);
    // What each channel's far end answered last ("line" -> "LINE: ส่งถึงแล้ว").
    QHash<QString, QString> lastAnswers() const { return lastAnswers_; }
    int pendingCount() const { return int(pending_.size()); }
    // The messages waiting, as the outbox holds them (for the dialog and the tests).
    QList<OutboxMessage> pending() const { return pending_; }
    // Sends what is due now (its own timer does this; a test that moves the clock calls it).
    void pump();

    static constexpr int kFirstRetrySeconds = 30;
    static constexpr int kLongestRetrySeconds = 30 * 60;
    static constexpr int kGiveUpHours = 24;
    static constexpr int kMaxInFlight = 4;

signals:
    // A far end answered (for the settings dialog).
    void answered(const QString& channel, const QString& text);

private:
    void tell(const QString& event, const QString& subject, const QString& sentence,
              const QJsonObject& details);
    void lookAtBells();
    void lookAtSelfTest();
    void lookAtEmergency();
    void summaryDue();
    void armSummary();
    void arm();
    void onResult(const QString& key, const SendResult& r);

    BellCore& core_;
    AlertSender& sender_;
    AlertSettings settings_;
    QList<OutboxMessage> pending_;
    QSet<QString> inFlight_;
    QSet<QString> toldBells_;  // bell rows already looked at
    QStringList selfTestProblems_;
    bool selfTestTold_ = false;
    QString emergencyTold_;  // the emergency in force that was told ("" none)
    QHash<QString, QString> lastAnswers_;
    QTimer pumpTimer_;
    QTimer summaryTimer_;
    QTimer bellLook_;  // the journal's changes of one turn of the event loop, looked at once
    bool started_ = false;
};

}  // namespace tavirin
