#include "scheduler/latebells.h"

#include "journal/journal.h"
#include "platform/logging.h"
#include "scheduler/watchplan.h"
#include "store/keylayout.h"
#include "store/programstore.h"

#include <algorithm>

namespace tavirin::latebells {

namespace {

qint64 wholeSeconds(const QDateTime& t) {
    return t.toMSecsSinceEpoch() / 1000;
}

QString clockText(const QDateTime& t) {
    return tavirin::clockText(t.time());
}

QString seconds(qint64 ms, int decimals) {
    return QString::number(double(ms) / 1000.0, 'f', decimals);
}

// A gap shorter than this between the clocks is the noise of reading them one after another.
constexpr qint64 kClockSlackMs = 2000;

}  // namespace

bool skipsASecond(const QDateTime& lastTick, const QDateTime& now) {
    if (!lastTick.isValid()) return false;
    // Within a day the time of day tells, without a time-zone conversion on every tick.
    if (lastTick.date() == now.date()) {
        const int from = lastTick.time().msecsSinceStartOfDay() / 1000;
        return now.time().msecsSinceStartOfDay() / 1000 - from > 1;
    }
    return wholeSeconds(now) - wholeSeconds(lastTick) > 1;
}

QList<UnseenTrigger> unseen(const DueTimes& triggers, QDate date, const QDateTime& lastTick,
                            const QDateTime& now) {
    QList<UnseenTrigger> out;
    if (!skipsASecond(lastTick, now)) return out;  // also the first tick, or the clock went back
    const qint64 from = wholeSeconds(lastTick);
    const qint64 to = wholeSeconds(now);
    for (std::size_t i = 0; i < triggers.size(); ++i) {
        const QTime t = triggers[i];
        if (!t.isValid()) continue;
        const QDateTime due(date, t);
        const qint64 at = wholeSeconds(due);
        if (at > from && at < to) out.append({int(i) + 1, due});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const UnseenTrigger& a, const UnseenTrigger& b) { return a.due < b.due; });
    return out;
}

qint64 graceMs(const ProgramStore& store) {
    const QString v =
        store.GetSetting(keys::kBaseApplication, keys::kLateBells, keys::kLateGraceKey);
    if (v.isEmpty()) return kDefaultGraceSeconds * 1000;
    bool ok = false;
    const int s = v.trimmed().toInt(&ok);
    if (ok && s >= 0 && s <= kMaxGraceSeconds) return qint64(s) * 1000;
    qCWarning(lcScheduler).noquote() << "late_grace_seconds"
                                     << "\"" + v + "\""
                                     << "is not a number of seconds from 0 to" << kMaxGraceSeconds
                                     << "- using" << kDefaultGraceSeconds;
    return kDefaultGraceSeconds * 1000;
}

GapCause cause(const QDateTime& lastTick, const ElapsedClocks& then, const QDateTime& now,
               const ElapsedClocks& elapsedNow) {
    if (!lastTick.isValid() || then.monotonicMs < 0 || elapsedNow.monotonicMs < 0) return {};
    const qint64 wall = lastTick.msecsTo(now);
    const qint64 mono = elapsedNow.monotonicMs - then.monotonicMs;
    if (then.boottimeMs >= 0 && elapsedNow.boottimeMs >= 0) {
        const qint64 asleep = (elapsedNow.boottimeMs - then.boottimeMs) - mono;
        if (asleep >= kClockSlackMs) return {GapCause::Kind::Suspend, asleep};
    }
    if (wall - mono >= kClockSlackMs) return {GapCause::Kind::ClockJump, wall - mono};
    return {GapCause::Kind::Stall, mono};
}

LateBellDecision decide(const QList<UnseenTrigger>& unseen, const QDateTime& now, bool duringRun,
                        bool ringsNow, qint64 graceMs, const GapCause& cause) {
    using Reason = LateBellDecision::Reason;
    LateBellDecision d;
    d.cause = cause;
    d.graceMs = graceMs;
    d.now = now;
    // The latest trigger that is still in time rings; it is the one the school expects now.
    if (!duringRun && !ringsNow) {
        for (const UnseenTrigger& u : unseen)
            if (u.due.msecsTo(now) <= graceMs) d.ringLate = u.due;
    }
    for (const UnseenTrigger& u : unseen) {
        Reason r = Reason::TooLate;
        if (duringRun)
            r = Reason::DuringRun;
        else if (u.due == d.ringLate)
            r = Reason::RingsLate;
        else if (u.due.msecsTo(now) <= graceMs)
            r = Reason::AnotherBellRings;
        d.entries.append({u, r});
    }
    return d;
}

namespace {
QString causeText(const GapCause& c) {
    switch (c.kind) {
        case GapCause::Kind::Stall:
            return QStringLiteral("the program was held up for %1 s").arg(seconds(c.ms, 1));
        case GapCause::Kind::ClockJump:
            return QStringLiteral("the clock was set forward by %1 s").arg(seconds(c.ms, 0));
        case GapCause::Kind::Suspend:
            return QStringLiteral("the computer was asleep for %1 s").arg(seconds(c.ms, 0));
        case GapCause::Kind::Unknown:
            break;
    }
    return QStringLiteral("no tick saw it");
}
}  // namespace

QString detail(const LateBellDecision& d, const LateBellDecision::Entry& e) {
    using Reason = LateBellDecision::Reason;
    const qint64 late = e.trigger.due.msecsTo(d.now);
    switch (e.reason) {
        case Reason::RingsLate:
            return QStringLiteral("rung %1 s late: %2").arg(seconds(late, 1), causeText(d.cause));
        case Reason::DuringRun:
            return QStringLiteral("it fell during another bell");
        case Reason::AnotherBellRings:
            return QStringLiteral("another bell rings now");
        case Reason::TooLate:
            break;
    }
    return QStringLiteral("it is %1 s late, more than the %2 s allowed: %3")
        .arg(seconds(late, 0), seconds(d.graceMs, 0), causeText(d.cause));
}

QString reasonCode(const LateBellDecision& d, const LateBellDecision::Entry& e) {
    using Reason = LateBellDecision::Reason;
    if (e.reason == Reason::DuringRun) return journal::kDuringBell;
    if (e.reason == Reason::AnotherBellRings) return journal::kAnotherBell;
    switch (d.cause.kind) {
        case GapCause::Kind::Stall:
            return journal::kStall;
        case GapCause::Kind::ClockJump:
            return journal::kClockJump;
        case GapCause::Kind::Suspend:
            return journal::kSuspend;
        case GapCause::Kind::Unknown:
            break;
    }
    return QString();
}

void report(const LateBellDecision& decision, const QDateTime& lastTick) {
    const QString gap = QStringLiteral("no tick between %1 and %2")
                            .arg(clockText(lastTick), clockText(decision.now));
    for (const LateBellDecision::Entry& e : decision.entries) {
        const UnseenTrigger& u = e.trigger;
        if (e.reason == LateBellDecision::Reason::RingsLate) {
            qCWarning(lcScheduler).noquote()
                << "the bell of period" << u.period << "at" << clockText(u.due) << "rings late, by"
                << seconds(u.due.msecsTo(decision.now), 1) << "s (" + causeText(decision.cause)
                << "-" << gap + ")";
        } else {
            qCWarning(lcScheduler).noquote()
                << "missed the bell of period" << u.period << "at" << clockText(u.due) << "-"
                << detail(decision, e) << "(" + gap + ")";
        }
    }
}

}  // namespace tavirin::latebells
