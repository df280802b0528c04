#include "core/corestate.h"

#include "platform/clock.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace tavirin {

namespace {

QJsonValue timeOrNull(QTime t) {
    return t.isValid() ? QJsonValue(clockText(t)) : QJsonValue(QJsonValue::Null);
}

QString stateName(PeriodPlan::State s) {
    switch (s) {
        case PeriodPlan::State::Rings:
            return QStringLiteral("rings");
        case PeriodPlan::State::Quiet:
            return QStringLiteral("quiet");
        case PeriodPlan::State::NotInUse:
            break;
    }
    return QStringLiteral("not-in-use");
}

QString mediaName(CoreState::Media m) {
    switch (m) {
        case CoreState::Media::Music:
            return QStringLiteral("music");
        case CoreState::Media::Radio:
            return QStringLiteral("radio");
        case CoreState::Media::None:
            break;
    }
    return QStringLiteral("none");
}

}  // namespace

QString phaseName(BellProgress::Phase phase) {
    switch (phase) {
        case BellProgress::Phase::Sounds:
            return QStringLiteral("sound");
        case BellProgress::Phase::AfterBell:
            return QStringLiteral("after-bell");
        case BellProgress::Phase::Countdown:
            break;
    }
    return QStringLiteral("countdown");
}

QString afterBellName(AfterBell after) {
    switch (after) {
        case AfterBell::AmplifierOff:
            return QStringLiteral("off");
        case AfterBell::Radio1:
            return QStringLiteral("radio 1");
        case AfterBell::Radio2:
            return QStringLiteral("radio 2");
        case AfterBell::Radio3:
            return QStringLiteral("radio 3");
        case AfterBell::Music:
            return QStringLiteral("music");
        case AfterBell::Unknown:
            break;
    }
    return QStringLiteral("none");
}

QJsonObject toJson(const CoreState& s) {
    QJsonObject o;
    o[QStringLiteral("clock")] = s.clock.toString(Qt::ISODate);
    if (s.next)
        o[QStringLiteral("next")] =
            QJsonObject{{QStringLiteral("at"), clockText(s.next->at)},
                        {QStringLiteral("period"), s.next->period},
                        {QStringLiteral("sound"), s.next->sound},
                        {QStringLiteral("after"), afterBellName(s.next->after)}};
    else
        o[QStringLiteral("next")] = QJsonValue::Null;
    if (s.bell) {
        const BellProgress& b = *s.bell;
        o[QStringLiteral("bell")] = QJsonObject{
            {QStringLiteral("kind"), b.kind},
            {QStringLiteral("period"), b.period ? QJsonValue(*b.period) : QJsonValue::Null},
            {QStringLiteral("phase"), phaseName(b.phase)},
            {QStringLiteral("countdown"),
             b.phase == BellProgress::Phase::Countdown ? b.countdown : 0},
            {QStringLiteral("sound"), b.sound},
            {QStringLiteral("of"), b.of}};
    } else {
        o[QStringLiteral("bell")] = QJsonValue::Null;
    }
    QJsonArray bells;
    for (const CoreState::TodayBell& b : s.bells)
        bells.append(QJsonObject{{QStringLiteral("period"), b.period},
                                 {QStringLiteral("state"), stateName(b.state)},
                                 {QStringLiteral("due"), timeOrNull(b.due)},
                                 {QStringLiteral("caption"), b.caption},
                                 {QStringLiteral("note"), b.note},
                                 {QStringLiteral("outcome"), b.outcome},
                                 {QStringLiteral("reason"), b.reason}});
    o[QStringLiteral("bells")] = bells;
    o[QStringLiteral("today")] = QJsonObject{
        {QStringLiteral("date"), s.date.toString(Qt::ISODate)},
        {QStringLiteral("program"), s.application},
        {QStringLiteral("programDay"), s.programDay},
        {QStringLiteral("noBells"), s.noBells},
        {QStringLiteral("changes"), QJsonArray::fromStringList(s.changes)},
        {QStringLiteral("calendarEntry"),
         s.calendarEntry.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s.calendarEntry)},
        {QStringLiteral("shutdown"), timeOrNull(s.shutdownAt)}};
    o[QStringLiteral("relay")] = s.relayOn ? QStringLiteral("on") : QStringLiteral("off");
    o[QStringLiteral("media")] = QJsonObject{
        {QStringLiteral("playing"), mediaName(s.media)},
        {QStringLiteral("station"),
         s.media == CoreState::Media::Radio ? QJsonValue(s.station) : QJsonValue::Null}};
    if (s.selfTest)
        o[QStringLiteral("selfTest")] =
            QJsonObject{{QStringLiteral("at"), s.selfTest->at.toString(Qt::ISODate)},
                        {QStringLiteral("ok"), s.selfTest->ok},
                        {QStringLiteral("failed"), QJsonArray::fromStringList(s.selfTest->failed)}};
    else
        o[QStringLiteral("selfTest")] = QJsonValue::Null;
    if (s.emergency) {
        const CoreState::EmergencyState& e = *s.emergency;
        o[QStringLiteral("emergency")] =
            QJsonObject{{QStringLiteral("kind"), e.kind},
                        {QStringLiteral("name"), e.name},
                        {QStringLiteral("since"), e.since.toString(Qt::ISODate)},
                        {QStringLiteral("from"), e.from},
                        {QStringLiteral("phase"), e.phase},
                        {QStringLiteral("round"), e.round},
                        {QStringLiteral("holdsBells"), e.holdsBells},
                        {QStringLiteral("amplifier"),
                         e.amplifierMayBeOff ? QStringLiteral("may be off") : QStringLiteral("on")},
                        {QStringLiteral("noDevice"), e.noDevice}};
    } else {
        o[QStringLiteral("emergency")] = QJsonValue::Null;
    }
    return o;
}

QByteArray toJsonText(const CoreState& s) {
    return QJsonDocument(toJson(s)).toJson(QJsonDocument::Compact);
}

}  // namespace tavirin
