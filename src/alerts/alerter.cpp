#include "alerts/alerter.h"

#include "alerts/alertlog.h"
#include "alerts/alertsender.h"
#include "core/bellcore.h"
#include "core/emergency.h"
#include "platform/clock.h"
#include "status/dayreport.h"
#include "status/selftest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QUuid>

#include <algorithm>

namespace tavirin {

namespace {

QString fromThai(const QString& from) {
    static const QHash<QString, QString> words{
        {journal::kFromWindow, QStringLiteral("หน้าต่างโปรแกรม")},
        {journal::kFromTray, QStringLiteral("ไอคอนถาด")},
        {journal::kFromBus, QStringLiteral("สคริปต์")},
        {journal::kFromContact, QStringLiteral("ปุ่มฉุกเฉิน")},
        {journal::kFromPage, QStringLiteral("หน้าเว็บ")}};
    return words.value(from, from);
}

// "ช่วงที่ 3 เวลา 09:00 ไม่ได้ดัง (ไม่มีเสียงออก ...)": the day's record's own words.
QString bellSentence(const BellRecord& b) {
    const BellLine l = bellLine(b);
    QString s = QStringLiteral("ออด%1 เวลา %2 %3").arg(l.period, l.due, l.outcome);
    if (!l.late.isEmpty()) s += QLatin1Char(' ') + l.late;
    if (!l.reason.isEmpty()) s += QStringLiteral(" (") + l.reason + QLatin1Char(')');
    return s;
}

bool isTrouble(const BellRecord& b) {
    return b.outcome == journal::kMissed || b.outcome == journal::kFailed ||
           b.outcome == journal::kLate;
}

QString isoMinute(const QDateTime& t) {
    return t.toString(Qt::ISODate);
}

}  // namespace

Alerter::Alerter(BellCore& core, AlertSender& sender, QObject* parent)
    : QObject(parent), core_(core), sender_(sender) {
    pumpTimer_.setSingleShot(true);
    connect(&pumpTimer_, &QTimer::timeout, this, &Alerter::pump);
    summaryTimer_.setSingleShot(true);
    connect(&summaryTimer_, &QTimer::timeout, this, &Alerter::summaryDue);
    // A journal change is told from inside the journal's write (the outbox's own among them):
    // the bells are looked at after it, once for all the writes of a moment.
    bellLook_.setSingleShot(true);
    bellLook_.setInterval(0);
    connect(&bellLook_, &QTimer::timeout, this, &Alerter::lookAtBells);
}

Alerter::~Alerter() = default;

void Alerter::start() {
    settings_ = readAlertSettings(core_.store());
    if (Journal* j = core_.journal()) {
        pending_ = j->outboxPending();
        // What was told before this start (the same day, a restart): not again.
        const QDate today = core_.clock().now().date();
        for (const OutboxMessage& m : j->outboxOn(today)) {
            const QStringList words = m.subject.split(QLatin1Char(' '));
            if (words.size() != 2) continue;
            if (words[0] == QLatin1String("bell") || words[0] == QLatin1String("not-running"))
                for (const QString& id : words[1].split(QLatin1Char(','))) toldBells_.insert(id);
        }
        if (!pending_.isEmpty())
            qCInfo(lcAlerts) << pending_.size() << "messages wait in the outbox from before";
    }
    started_ = true;
    // The core keeps its listeners for good: an alerter made anew (a test's restart) must
    // not be called once it is gone.
    core_.onJournalChanged([self = QPointer<Alerter>(this)] {
        if (self) self->bellLook_.start();
    });
    connect(&core_.selfTest(), &SelfTest::finished, this, &Alerter::lookAtSelfTest);
    connect(&core_.emergency(), &Emergency::changed, this, &Alerter::lookAtEmergency);
    // A message that waited for a bell goes once the bell is over.
    connect(&core_, &BellCore::stateChanged, this, [this] {
        // (A retry's timer may be running for a later message: pump() sends what is due.)
        if (!core_.bellInProgress() && !pending_.isEmpty()) pump();
    });
    lookAtBells();
    lookAtEmergency();
    armSummary();
    pump();
}

Outcome Alerter::configure(const QByteArray& json) {
    QString why;
    const std::optional<AlertSettings> next = applyAlertJson(settings_, json, &why);
    if (!next) return Outcome::refused(why);
    if (const Result r = writeAlertSettings(core_.store(), *next); !r) {
        qCWarning(lcAlerts).noquote() << "the alert settings were not saved:" << r.error;
        return Outcome::failed(QStringLiteral("บันทึกการตั้งค่าการแจ้งเตือนไม่ได้"));
    }
    settings_ = *next;
    qCInfo(lcAlerts).noquote() << "alerts set up for"
                               << settings_.channels().join(QStringLiteral(", "));
    armSummary();
    pump();
    return Outcome::done();
}

void Alerter::tell(const QString& event, const QString& subject, const QString& sentence,
                   const QJsonObject& details) {
    if (!settings_.on(event)) return;
    const QStringList channels = settings_.channels();
    if (channels.isEmpty()) return;
    const QDateTime now = core_.clock().now();
    const QString text =
        settings_.school.isEmpty() ? sentence : settings_.school + QStringLiteral(": ") + sentence;
    for (const QString& channel : channels) {
        OutboxMessage m{QUuid::createUuid().toString(QUuid::WithoutBraces),
                        event,
                        subject,
                        channel,
                        text,
                        QString::fromUtf8(QJsonDocument(details).toJson(QJsonDocument::Compact)),
                        now,
                        now,
                        0,
                        journal::kOutboxPending,
                        {},
                        {}};
        if (Journal* j = core_.journal()) {
            if (!j->outboxAdd(m)) continue;  // told before
        } else if (std::any_of(pending_.begin(), pending_.end(), [&](const OutboxMessage& p) {
                       return p.subject == subject && p.channel == channel;
                   })) {
            continue;
        }
        qCInfo(lcAlerts).noquote() << "to" << channel << ":" << event << subject;
        pending_.append(m);
    }
    pump();
}

void Alerter::lookAtBells() {
    Journal* j = core_.journal();
    if (!j || !started_) return;
    QStringList notRunning;
    QStringList notRunningIds;
    for (const BellRecord& b : j->bellsOn(core_.clock().now().date())) {
        const QString id = QString::number(b.id);
        if (b.id <= 0 || toldBells_.contains(id) || b.outcome.isEmpty()) continue;
        toldBells_.insert(id);
        if (b.kind != journal::kScheduled || !isTrouble(b)) continue;
        if (b.reason == journal::kNotRunning) {
            notRunning << QStringLiteral("ช่วงที่ %1 %2")
                              .arg(b.period.value_or(0))
                              .arg(clockMinutesText(b.due.time()));
            notRunningIds << id;
            continue;
        }
        tell(alertevent::kBell, QStringLiteral("bell ") + id, bellSentence(b),
             {{QStringLiteral("period"), b.period.value_or(0)},
              {QStringLiteral("due"), b.due.toString(Qt::ISODate)},
              {QStringLiteral("outcome"), b.outcome},
              {QStringLiteral("reason"), b.reason}});
    }
    if (!notRunning.isEmpty())
        tell(alertevent::kNotRunning,
             QStringLiteral("not-running ") + notRunningIds.join(QLatin1Char(',')),
             QStringLiteral("ออดที่ไม่ได้ดังเพราะโปรแกรมไม่ได้เปิด: ") +
                 notRunning.join(QStringLiteral(", ")),
             {{QStringLiteral("bells"), notRunning.join(QStringLiteral(", "))}});
}

void Alerter::lookAtSelfTest() {
    const SelfTestReport& r = core_.selfTest().last();
    QStringList problems;
    bool storage = false;
    for (const CheckResult& c : r.checks) {
        if (c.status != CheckResult::Status::Failed) continue;
        problems << thaiCheckName(c.item) +
                        (c.advice.isEmpty() ? QString()
                                            : QStringLiteral(" (") + c.advice + QLatin1Char(')'));
        storage |= c.item == SelfTest::kItemStore || c.item == SelfTest::kItemJournal;
    }
    const QString at = isoMinute(r.at);
    if (!problems.isEmpty() && problems != selfTestProblems_) {
        tell(storage ? alertevent::kStorage : alertevent::kSelfTest,
             QStringLiteral("selftest ") + at,
             QStringLiteral("การตรวจเครื่องพบปัญหา: ") + problems.join(QStringLiteral(", ")),
             {{QStringLiteral("at"), at},
              {QStringLiteral("problems"), problems.join(QStringLiteral("; "))}});
    } else if (problems.isEmpty() && !selfTestProblems_.isEmpty()) {
        tell(alertevent::kSelfTest, QStringLiteral("selftest-ok ") + at,
             QStringLiteral("ปัญหาที่ตรวจพบก่อนหน้านี้หายไปแล้ว เครื่องตีออดพร้อมใช้งาน"),
             {{QStringLiteral("at"), at}});
    }
    selfTestProblems_ = problems;
}

void Alerter::lookAtEmergency() {
    const std::optional<Emergency::InForce>& f = core_.emergency().inForce();
    if (f && f->phase != Emergency::Phase::AllClear) {
        const QString since = f->since.toString(Qt::ISODateWithMs);
        if (since == emergencyTold_) return;
        emergencyTold_ = since;
        tell(alertevent::kEmergency, QStringLiteral("emergency ") + since,
             QStringLiteral("เหตุฉุกเฉิน: %1 เริ่มเมื่อ %2 น. จาก%3")
                 .arg(f->kind.name, clockMinutesText(f->since.time()), fromThai(f->from)),
             {{QStringLiteral("kind"), f->kind.id},
              {QStringLiteral("from"), f->from},
              {QStringLiteral("since"), since}});
        return;
    }
    if (!f && !emergencyTold_.isEmpty()) {
        tell(alertevent::kEmergency, QStringLiteral("allclear ") + emergencyTold_,
             QStringLiteral("สิ้นสุดเหตุฉุกเฉินแล้ว เมื่อ %1 น.")
                 .arg(clockMinutesText(core_.clock().now().time())),
             {{QStringLiteral("since"), emergencyTold_}});
        emergencyTold_.clear();
    }
}

void Alerter::armSummary() {
    summaryTimer_.stop();
    if (!settings_.summaryAt.isValid() || settings_.channels().isEmpty()) return;
    const QDateTime now = core_.clock().now();
    QDateTime at(now.date(), settings_.summaryAt);
    if (at <= now) at = at.addDays(1);
    // At most an hour at a time: a clock that was set is noticed within the hour.
    summaryTimer_.start(int(qMin<qint64>(now.msecsTo(at), 60LL * 60 * 1000)));
}

void Alerter::summaryDue() {
    const QDateTime now = core_.clock().now();
    Journal* j = core_.journal();
    if (j && settings_.summaryAt.isValid() && now.time() >= settings_.summaryAt) {
        int rang = 0, total = 0;
        QStringList wrong;
        for (const BellRecord& b : j->bellsOn(now.date())) {
            if (b.kind != journal::kScheduled || b.outcome.isEmpty() ||
                b.outcome == journal::kSkipped)
                continue;
            ++total;
            if (b.outcome == journal::kRang || b.outcome == journal::kLate) ++rang;
            if (isTrouble(b)) wrong << bellSentence(b);
        }
        if (total > 0) {
            QString s = QStringLiteral("วันนี้ออดดัง %1 จาก %2 ครั้ง").arg(rang).arg(total);
            if (!wrong.isEmpty()) s += QStringLiteral(": ") + wrong.join(QStringLiteral("; "));
            tell(alertevent::kSummary,
                 QStringLiteral("summary ") + now.date().toString(Qt::ISODate), s,
                 {{QStringLiteral("rang"), rang}, {QStringLiteral("of"), total}});
        }
    }
    armSummary();
}

void Alerter::pump() {
    if (pending_.isEmpty()) return;
    // Never between a bell's first sound and its end: the PC's attention is the bell's.
    if (core_.bellInProgress()) return;
    const QDateTime now = core_.clock().now();
    // A message older than a day (the PC was off meanwhile) is given up, not sent late.
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (!inFlight_.contains(it->key) &&
            it->created.secsTo(now) >= qint64(kGiveUpHours) * 3600) {
            it->state = journal::kOutboxGivenUp;
            qCWarning(lcAlerts).noquote() << it->channel << "message" << it->subject << "is over"
                                          << kGiveUpHours << "h old; given up";
            if (Journal* j = core_.journal()) j->outboxUpdate(*it);
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    for (const OutboxMessage& m : std::as_const(pending_)) {
        if (inFlight_.size() >= kMaxInFlight) break;
        if (inFlight_.contains(m.key) || m.nextAt > now) continue;
        inFlight_.insert(m.key);
        AlertMessage out{m.channel,
                         m.event,
                         m.text,
                         m.created,
                         QJsonDocument::fromJson(m.details.toUtf8()).object(),
                         m.key};
        sender_.send(settings_, out, this,
                     [this, key = m.key](const SendResult& r) { onResult(key, r); });
    }
    arm();
}

void Alerter::arm() {
    QDateTime next;
    for (const OutboxMessage& m : std::as_const(pending_))
        if (!inFlight_.contains(m.key) && (!next.isValid() || m.nextAt < next)) next = m.nextAt;
    if (!next.isValid()) {
        pumpTimer_.stop();
        return;
    }
    const qint64 ms = qBound<qint64>(0, core_.clock().now().msecsTo(next), 60LL * 60 * 1000);
    pumpTimer_.start(int(ms));
}

void Alerter::onResult(const QString& key, const SendResult& r) {
    inFlight_.remove(key);
    const auto it = std::find_if(pending_.begin(), pending_.end(),
                                 [&](const OutboxMessage& m) { return m.key == key; });
    if (it == pending_.end()) return;
    OutboxMessage m = *it;
    const QDateTime now = core_.clock().now();
    ++m.attempts;
    m.lastAnswer = r.farEnd;
    lastAnswers_[m.channel] = r.farEnd;
    emit answered(m.channel, r.farEnd);
    bool done = false;
    if (r.delivered) {
        m.state = journal::kOutboxSent;
        m.sentAt = now;
        done = true;
        qCInfo(lcAlerts).noquote() << m.channel << "took" << m.subject;
    } else if (m.created.secsTo(now) >= qint64(kGiveUpHours) * 3600) {
        m.state = journal::kOutboxGivenUp;
        done = true;
        qCWarning(lcAlerts).noquote() << m.channel << "never took" << m.subject << "in"
                                      << kGiveUpHours << "h; given up:" << r.farEnd;
    } else {
        qint64 wait = qMin<qint64>(qint64(kFirstRetrySeconds) << qMin(m.attempts - 1, 16),
                                   kLongestRetrySeconds);
        // The far end's own wait is honoured, however long (up to the giving up).
        if (r.retryAfterSeconds > wait) wait = r.retryAfterSeconds;
        m.nextAt = now.addSecs(wait);
        qCWarning(lcAlerts).noquote() << m.channel << "did not take" << m.subject << "(" << r.farEnd
                                      << "); again in" << wait << "s";
    }
    if (Journal* j = core_.journal()) j->outboxUpdate(m);
    if (done)
        pending_.erase(std::find_if(pending_.begin(), pending_.end(),
                                    [&](const OutboxMessage& p) { return p.key == key; }));
    else
        *std::find_if(pending_.begin(), pending_.end(),
                      [&](const OutboxMessage& p) { return p.key == key; }) = m;
    pump();
}

void Alerter::sendTest(std::function<void(const QString&)> told) {
    const QStringList channels = settings_.channels();
    if (channels.isEmpty()) {
        told(QStringLiteral("ยังไม่ได้ตั้งค่า LINE, Telegram หรือ webhook"));
        return;
    }
    if (core_.bellInProgress()) {
        told(QStringLiteral("กำลังตีออดอยู่ กรุณารอให้ออดจบก่อน"));
        return;
    }
    auto answers = std::make_shared<QStringList>();
    auto left = std::make_shared<int>(int(channels.size()));
    const QString text =
        (settings_.school.isEmpty() ? QString() : settings_.school + QStringLiteral(": ")) +
        QStringLiteral("ข้อความทดสอบจากเครื่องตีออด");
    for (const QString& channel : channels) {
        AlertMessage m{channel, alertevent::kTest,
                       text,    core_.clock().now(),
                       {},      QUuid::createUuid().toString(QUuid::WithoutBraces)};
        sender_.send(settings_, m, this, [this, channel, answers, left, told](const SendResult& r) {
            lastAnswers_[channel] = r.farEnd;
            emit answered(channel, r.farEnd);
            answers->append(r.farEnd);
            if (--*left == 0) told(answers->join(QLatin1Char('\n')));
        });
    }
}

}  // namespace tavirin
