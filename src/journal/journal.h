#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tavirin {

// The words the journal stores. A bell's outcome is one of these; a bell not rung because
// of a calendar entry is "skipped" (its reason says which entry).
namespace journal {
inline const QString kScheduled = QStringLiteral("scheduled");
inline const QString kAnnounce = QStringLiteral("announce");
// A period rung on request, at no time of its own.
inline const QString kManual = QStringLiteral("manual");

inline const QString kRang = QStringLiteral("rang");
inline const QString kLate = QStringLiteral("late");
inline const QString kMissed = QStringLiteral("missed");
inline const QString kFailed = QStringLiteral("failed");
inline const QString kSkipped = QStringLiteral("skipped");

// Why, as a short code for a program to read (the detail says it in words).
inline const QString kNotRunning = QStringLiteral("not_running");
inline const QString kStall = QStringLiteral("stall");
inline const QString kClockJump = QStringLiteral("clock_jump");
inline const QString kSuspend = QStringLiteral("suspend");
inline const QString kDuringBell = QStringLiteral("during_bell");
inline const QString kAnotherBell = QStringLiteral("another_bell");
inline const QString kNoDevice = QStringLiteral("no_device");
inline const QString kSoundsFailed = QStringLiteral("sounds_failed");
inline const QString kInterrupted = QStringLiteral("interrupted");

inline const QString kNotRunningDetail = QStringLiteral("the program was not running");

// Where an emergency was started or ended from.
inline const QString kOutboxPending = QStringLiteral("pending");
inline const QString kOutboxSent = QStringLiteral("sent");
inline const QString kOutboxGivenUp = QStringLiteral("given-up");

inline const QString kFromWindow = QStringLiteral("window");
inline const QString kFromTray = QStringLiteral("tray");
inline const QString kFromBus = QStringLiteral("dbus");
inline const QString kFromContact = QStringLiteral("contact");
inline const QString kFromPage = QStringLiteral("page");
// A bell cut or kept quiet by an emergency.
inline const QString kEmergency = QStringLiteral("emergency");

// The relay's result when the bell fired.
inline const QString kRelayOn = QStringLiteral("on");
inline const QString kRelayAlreadyOn = QStringLiteral("already on");
inline const QString kRelayFailed = QStringLiteral("failed");

// Rows older than this are removed.
constexpr int kKeepDays = 400;
}  // namespace journal

// One sound of a bell.
struct SoundRecord {
    QString path;
    QDateTime started;  // its first sample reached the output; invalid: never
    QDateTime ended;    // its last sample reached the output; invalid: never
    bool ok = false;
    QString error;
};

// One bell, as written and as read back. Times are local.
struct BellRecord {
    qint64 id = 0;                  // from bellFired; set on the rows read back
    QString kind;                   // journal::kScheduled, kAnnounce or kManual
    std::optional<int> period;      // 1..24; none for announce-now
    QDateTime due;                  // the trigger second (announce-now: when it was pressed)
    QDateTime fired;                // invalid: it never fired
    QString outcome;                // "" while the bell is under way
    std::optional<qint64> lateMs;   // how late it fired, for a bell rung late
    std::optional<qint64> onsetMs;  // first sample out minus (due + amplifier delay)
    QString reason;                 // a journal::k... code, or a calendar's
    QString detail;                 // why, in plain words
    QString relay;                  // journal::kRelay...
    QString relayDetail;
    QDateTime relayOff;  // invalid: left on (radio, music) or never on
    QString afterBell;   // "off", "radio 1".."radio 3", "music", "none"
    std::optional<bool> afterBellOk;
    QString afterBellDetail;
    QDateTime ended;            // when the bell was over
    QList<SoundRecord> sounds;  // in the order played
};

// One emergency, from its start to its all clear.
struct EmergencyRecord {
    qint64 id = 0;  // from emergencyStarted; set on the rows read back
    QString kind;   // "evacuate", "lockdown", ... or a school's own ("own1")
    QString name;   // Thai, as it was called then
    QDateTime started;
    QString startedFrom;        // journal::kFrom...
    QDateTime ended;            // invalid: still in force, or never ended (see note)
    QString endedFrom;          // journal::kFrom...; "" when it ended otherwise (note)
    QList<SoundRecord> sounds;  // what it sounded, in order (the all clear's included)
    QStringList bellsHeld;      // "3 10:00:00": the scheduled bells it kept quiet
    QString note;               // "replaced by ...", "no all clear", the amplifier or device
};

// Something done from a way in that is not the PC itself (the school's network page), or
// that befell one (the emergency contact's port gone): who asked, from which address, what,
// and what became of it. Bells and emergencies it started have their own rows as well.
struct ActionRecord {
    QDateTime at;
    QString from;     // journal::kFromPage, kFromContact
    QString role;     // "admin", "teacher"; "" for the contact
    QString address;  // the client's address; the contact's port
    QString action;   // Thai, as the day's record shows it ("บอกเวลาขณะนี้")
    QString outcome;  // "done", "waiting", "refused", "failed"
    QString reason;   // Thai, with refused and failed
};

// A message to the school's phones (LINE, Telegram, a webhook), kept until the far end took
// it: written before it is first sent, so that a crash or a power cut loses none, and known by
// its event so that nothing is sent twice.
struct OutboxMessage {
    QString key;      // the message's own id (a UUID): the far end's idempotency key
    QString event;    // what it tells: "bell", "selftest", "emergency", ...
    QString subject;  // what it is about, unique with the channel ("bell 1042", "2026-12-09")
    QString channel;  // "line", "telegram", "webhook"
    QString text;     // Thai, as sent
    QString details;  // JSON object, as sent to a webhook
    QDateTime created;
    QDateTime nextAt;  // when to try (again)
    int attempts = 0;
    QString state;  // journal::kOutboxPending, kOutboxSent, kOutboxGivenUp
    QString lastAnswer;  // what the far end said last (Thai)
    QDateTime sentAt;
};

// One item of a self-test.
struct CheckRecord {
    QDateTime at;  // the self-test's time: the items of one self-test share it
    QString item;
    bool ok = false;
    QString detail;
};

// The bell journal: every bell, rung or not, and the self-tests, kept for 400 days. Nothing
// here ever fails towards its caller or holds a bell up: what cannot be written now is kept
// and written with the next write that works (docs/JOURNAL.md).
class Journal {
public:
    virtual ~Journal() = default;

    // A bell fired: its row is written at once, without an outcome, so that a bell cut short
    // by a crash or a power cut leaves a trace. Returns the handle bellEnded takes.
    virtual qint64 bellFired(const BellRecord& bell) = 0;
    // The bell is over: its outcome, onset, relay, after-bell step and sounds, in one
    // transaction. `bell.id` is bellFired's handle.
    virtual void bellEnded(const BellRecord& bell) = 0;
    // A bell that was not rung (missed, skipped), with its reason. Not written again when
    // a row of the same kind, period and due is there already.
    virtual void bellNotRung(const BellRecord& bell) = 0;

    // The program is watching; the tick says so about once a minute.
    virtual void heartbeat(const QDateTime& now) = 0;
    // The last heartbeat, invalid when none is known (or the journal cannot be read).
    virtual QDateTime lastHeartbeat() const = 0;
    // False while the journal cannot be read: then nothing can be told from it.
    virtual bool readable() const = 0;

    // Removes the rows older than 400 days.
    virtual void purge(const QDateTime& now) = 0;

    // The items of one self-test, all at `at`.
    virtual void recordChecks(const QDateTime& at, const QList<CheckRecord>& checks) = 0;

    // Read back: the bells due on `day` in order of due time, with their sounds; the checks
    // made on `day`; the items of the latest self-test.
    virtual QList<BellRecord> bellsOn(QDate day) const = 0;
    virtual QList<CheckRecord> checksOn(QDate day) const = 0;
    virtual QList<CheckRecord> lastSelfTest() const = 0;

    // An emergency started: its row at once (a power cut leaves a trace). Returns the handle
    // emergencyEnded takes.
    virtual qint64 emergencyStarted(const EmergencyRecord& e) = 0;
    // It is over (all clear, replaced): its end, sounds and the bells it held.
    virtual void emergencyEnded(const EmergencyRecord& e) = 0;
    // The emergencies started on `day`, in order.
    virtual QList<EmergencyRecord> emergenciesOn(QDate day) const = 0;
    // The emergencies the journal found in force when it was opened: the program ended during
    // them (a crash, a power cut) and they had no all clear. They are closed with that note.
    virtual QList<EmergencyRecord> emergenciesWithoutAllClear() const = 0;

    // An action from the page; the actions of `day`, in order.
    virtual void recordAction(const ActionRecord& a) = 0;
    virtual QList<ActionRecord> actionsOn(QDate day) const = 0;

    // The outbox. add: false (nothing written) when a message of the same subject and channel
    // is there already, sent or not. update: its state, attempts, next try and last answer.
    virtual bool outboxAdd(const OutboxMessage& m) = 0;
    virtual void outboxUpdate(const OutboxMessage& m) = 0;
    // The messages still to be sent, oldest first; the messages made on `day`.
    virtual QList<OutboxMessage> outboxPending() const = 0;
    virtual QList<OutboxMessage> outboxOn(QDate day) const = 0;

    // Called after every bell or check written (to show it).
    void setChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }

protected:
    void notifyChanged() const {
        if (changed_) changed_();
    }

private:
    std::function<void()> changed_;
};

}  // namespace tavirin
