#include "scheduler/bellrecorder.h"

#include "outputs/amplifierrelay.h"
#include "platform/logging.h"
#include "scheduler/bellsequence.h"

#include <QSet>

namespace tavirin {

namespace {

QString clockText(const QDateTime& t) {
    return tavirin::clockText(t.time());
}

QString relayState(RelayOutcome::State s) {
    switch (s) {
        case RelayOutcome::State::On:
            return journal::kRelayOn;
        case RelayOutcome::State::AlreadyOn:
            return journal::kRelayAlreadyOn;
        case RelayOutcome::State::Failed:
            break;
    }
    return journal::kRelayFailed;
}

}  // namespace

void BellRecorder::fired(const QString& kind, std::optional<int> period, const QDateTime& due,
                         const RelayOutcome& relay, std::optional<qint64> lateMs,
                         const QString& reason, const QString& detail) {
    current_ = BellRecord{};
    current_.kind = kind;
    current_.period = period;
    current_.due = due;
    current_.fired = clock_.now();
    current_.lateMs = lateMs;
    current_.reason = reason;
    current_.detail = detail;
    current_.relay = relayState(relay.state);
    current_.relayDetail = relay.detail;
    if (journal_) current_.id = journal_->bellFired(current_);
}

void BellRecorder::ended(const BellRun& run) {
    BellRecord b = current_;
    current_ = BellRecord{};
    const QDateTime now = clock_.now();
    const qint64 mono = clock_.elapsed().monotonicMs;
    // The sounds' times are on the monotonic clock.
    const auto wallAt = [&](qint64 ms) {
        return ms < 0 || mono < 0 ? QDateTime() : now.addMSecs(ms - mono);
    };
    int failed = 0;
    QString firstError;
    for (const SoundPlayer::Played& p : run.sounds) {
        const SoundOutcome& o = p.outcome;
        b.sounds.append({p.path, wallAt(o.startMs), wallAt(o.endMs), o.result.ok, o.result.error});
        if (!o.result.ok && failed++ == 0) firstError = o.result.error;
    }
    const qsizetype total = run.sounds.size();
    if (!run.cut.isEmpty()) {
        b.outcome = journal::kFailed;
        b.reason = journal::kEmergency;
        b.detail = QStringLiteral("cut short: %1").arg(run.cut);
    } else if (run.stream.noDevice) {
        b.outcome = journal::kFailed;
        b.reason = journal::kNoDevice;
        b.detail = QStringLiteral(
            "the sound reached no real audio device (no sound server, no "
            "sound card): nothing was heard");
    } else if (failed == total) {
        b.outcome = journal::kFailed;
        b.reason = journal::kSoundsFailed;
        b.detail = QStringLiteral("none of its %1 sounds could be played: %2")
                       .arg(total)
                       .arg(total ? firstError : run.stream.result.error);
    } else {
        b.outcome = b.lateMs ? journal::kLate : journal::kRang;
        if (failed) {
            const QString sounds = QStringLiteral("%1 of its %2 sounds could not be played: %3")
                                       .arg(failed)
                                       .arg(total)
                                       .arg(firstError);
            b.detail = b.detail.isEmpty() ? sounds : b.detail + QStringLiteral("; ") + sounds;
        }
    }
    if (run.stream.onsetMs >= 0 && mono >= 0 && b.due.isValid())
        b.onsetMs = b.due.addSecs(run.amplifierDelaySeconds).msecsTo(wallAt(run.stream.onsetMs));
    b.relayOff = run.after.relayOff;
    b.afterBell = run.after.step;
    b.afterBellOk = run.after.ok;
    b.afterBellDetail = run.after.detail;
    b.ended = now;
    const QString what =
        b.period
            ? QStringLiteral("the bell of period %1 at %2").arg(*b.period).arg(clockText(b.due))
            : QStringLiteral("announce-now");
    // Written before it is said, so whoever reads the log finds the row complete.
    if (journal_) journal_->bellEnded(b);
    if (b.outcome == journal::kFailed)
        qCWarning(lcScheduler).noquote() << what << "failed:" << b.detail;
    else
        qCInfo(lcScheduler).noquote()
            << what << b.outcome
            << (b.onsetMs ? QStringLiteral("(onset %1 ms)").arg(*b.onsetMs) : QString());
}

void BellRecorder::notRung(const LateBellDecision& decision, const LateBellDecision::Entry& entry) {
    if (!journal_) return;
    BellRecord b;
    b.kind = journal::kScheduled;
    b.period = entry.trigger.period;
    b.due = entry.trigger.due;
    b.outcome = journal::kMissed;
    b.reason = latebells::reasonCode(decision, entry);
    b.detail = latebells::detail(decision, entry);
    b.ended = decision.now;
    journal_->bellNotRung(b);
}

void BellRecorder::quiet(const QuietBell& q, QDate date) {
    if (!journal_) return;
    static const char* const causes[] = {"a calendar entry", "a change of today",
                                         "shifted past midnight", "already rang today"};
    BellRecord b;
    b.kind = journal::kScheduled;
    b.period = q.period;
    b.due = QDateTime(date, q.at);
    b.outcome = journal::kSkipped;
    b.reason = q.reason;
    b.detail = QString::fromLatin1(causes[int(q.cause)]);
    b.ended = clock_.now();
    journal_->bellNotRung(b);
}

void BellRecorder::held(int period, const QDateTime& due, const QString& why) {
    if (!journal_) return;
    BellRecord b;
    b.kind = journal::kScheduled;
    b.period = period;
    b.due = due;
    b.outcome = journal::kSkipped;
    b.reason = journal::kEmergency;
    b.detail = why;
    b.ended = clock_.now();
    journal_->bellNotRung(b);
}

void BellRecorder::watching(const QDateTime& now, const ElapsedClocks& elapsed) {
    if (!journal_) return;
    // Paced by the monotonic clock: no time-zone arithmetic ten times a second.
    if (lastBeatMs_ >= 0 && elapsed.monotonicMs >= lastBeatMs_ &&
        elapsed.monotonicMs - lastBeatMs_ < kHeartbeatMs && now.date() == lastBeatDate_)
        return;
    lastBeatMs_ = elapsed.monotonicMs;
    lastBeatDate_ = now.date();
    journal_->heartbeat(now);
}

void BellRecorder::newDay(const QDateTime& now) {
    if (!journal_ || purged_ == now.date()) return;
    purged_ = now.date();
    journal_->purge(now);
}

void BellRecorder::startUp(const DueTimes& triggers, const QDateTime& now) {
    if (!journal_) return;
    // The PC may well be off every midnight.
    newDay(now);
    if (!journal_->readable()) {
        qCWarning(lcScheduler) << "the bell journal cannot be read: bells missed while the "
                                  "program was not running are not known";
        return;
    }
    const QDateTime midnight(now.date(), QTime(0, 0));
    QDateTime since = journal_->lastHeartbeat();
    // No heartbeat today: the whole day so far.
    if (!since.isValid() || since < midnight) since = midnight.addSecs(-1);
    QSet<QDateTime> recorded;
    for (const BellRecord& b : journal_->bellsOn(now.date()))
        if (b.kind == journal::kScheduled) recorded.insert(b.due);
    for (const UnseenTrigger& u : latebells::unseen(triggers, now.date(), since, now)) {
        // Not twice: a heartbeat may be up to a minute older than the last bell.
        if (recorded.contains(u.due)) continue;
        qCWarning(lcScheduler).noquote() << "missed the bell of period" << u.period << "at"
                                         << clockText(u.due) << "-" << journal::kNotRunningDetail;
        BellRecord b;
        b.kind = journal::kScheduled;
        b.period = u.period;
        b.due = u.due;
        b.outcome = journal::kMissed;
        b.reason = journal::kNotRunning;
        b.detail = journal::kNotRunningDetail;
        b.ended = now;
        journal_->bellNotRung(b);
    }
}

}  // namespace tavirin
