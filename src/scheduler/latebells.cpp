#include "scheduler/latebells.h"

#include "platform/logging.h"

#include <algorithm>

namespace tavirin::latebells {

namespace {

qint64 wholeSeconds(const QDateTime& t) {
    return t.toMSecsSinceEpoch() / 1000;
}

QString clockText(const QDateTime& t) {
    return t.time().toString(QStringLiteral("HH:mm:ss"));
}

// "hh:mm:ss" of an armed trigger; anything else (" ไม่ใช้งาน ") is no time.
QTime triggerTime(const QString& s) {
    const auto digits = [&](int at) {
        const QChar a = s.at(at), b = s.at(at + 1);
        return a.isDigit() && b.isDigit() ? a.digitValue() * 10 + b.digitValue() : -1;
    };
    if (s.size() != 8 || s.at(2) != u':' || s.at(5) != u':') return {};
    return QTime(digits(0), digits(3), digits(6));
}

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

QList<UnseenTrigger> unseen(const QStringList& triggers, QDate date, const QDateTime& lastTick,
                            const QDateTime& now) {
    QList<UnseenTrigger> out;
    if (!skipsASecond(lastTick, now)) return out;  // also the first tick, or the clock went back
    const qint64 from = wholeSeconds(lastTick);
    const qint64 to = wholeSeconds(now);
    for (qsizetype i = 0; i < triggers.size(); ++i) {
        const QTime t = triggerTime(triggers.at(i));
        if (!t.isValid()) continue;
        const QDateTime due(date, t);
        const qint64 at = wholeSeconds(due);
        if (at > from && at < to) out.append({int(i) + 1, triggers.at(i), due});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const UnseenTrigger& a, const UnseenTrigger& b) { return a.due < b.due; });
    return out;
}

LateBellDecision decide(const QList<UnseenTrigger>& unseen, const QDateTime& now, bool duringRun,
                        bool ringsNow) {
    using Reason = LateBellDecision::Reason;
    LateBellDecision d;
    // The latest trigger that is still in time rings; it is the one the school expects now.
    if (!duringRun && !ringsNow) {
        for (const UnseenTrigger& u : unseen)
            if (u.due.msecsTo(now) <= kMaxLateMs) d.ringLate = u.text;
    }
    for (const UnseenTrigger& u : unseen) {
        Reason r = Reason::TooLate;
        if (duringRun)
            r = Reason::DuringRun;
        else if (u.text == d.ringLate)
            r = Reason::RingsLate;
        else if (u.due.msecsTo(now) <= kMaxLateMs)
            r = Reason::AnotherBellRings;
        d.entries.append({u, r});
    }
    return d;
}

void report(const LateBellDecision& decision, const QDateTime& lastTick, const QDateTime& now) {
    using Reason = LateBellDecision::Reason;
    const QString gap =
        QStringLiteral("no tick between %1 and %2").arg(clockText(lastTick), clockText(now));
    for (const LateBellDecision::Entry& e : decision.entries) {
        const UnseenTrigger& u = e.trigger;
        const double late = double(u.due.msecsTo(now)) / 1000.0;
        switch (e.reason) {
            case Reason::RingsLate:
                qCWarning(lcScheduler).noquote()
                    << "the bell of period" << u.period << "at" << u.text << "rings late, by"
                    << QString::number(late, 'f', 1) << "s (" + gap + ")";
                break;
            case Reason::DuringRun:
                qCWarning(lcScheduler).noquote()
                    << "missed the bell of period" << u.period << "at" << u.text
                    << "- it fell during another bell (" + gap + ")";
                break;
            case Reason::AnotherBellRings:
                qCWarning(lcScheduler).noquote()
                    << "missed the bell of period" << u.period << "at" << u.text
                    << "- another bell rings now (" + gap + ")";
                break;
            case Reason::TooLate:
                qCWarning(lcScheduler).noquote()
                    << "missed the bell of period" << u.period << "at" << u.text << "- it is"
                    << QString::number(late, 'f', 0) << "s late, more than" << kMaxLateMs / 1000
                    << "s (" + gap + ")";
                break;
        }
    }
}

}  // namespace tavirin::latebells
