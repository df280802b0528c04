#include "core/emergency.h"

#include "model/windowmotion.h"
#include "outputs/alarmtones.h"
#include "outputs/amplifierrelay.h"
#include "outputs/autoshutdown.h"
#include "outputs/mediasources.h"
#include "platform/alarmplayer.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/logging.h"
#include "scheduler/bellscheduler.h"

#include <QDir>
#include <QFileInfo>

namespace tavirin {

namespace {

// With the amplifier already on, its own delay is cut to this.
constexpr int kWarmAmplifierSeconds = 2;
const QString kNoticeTitle = QStringLiteral("เหตุฉุกเฉิน");

}  // namespace

QString emergencyPhaseName(Emergency::Phase phase) {
    switch (phase) {
        case Emergency::Phase::Sounding:
            return QStringLiteral("sounding");
        case Emergency::Phase::Quiet:
            return QStringLiteral("quiet");
        case Emergency::Phase::AllClear:
            return QStringLiteral("all-clear");
        case Emergency::Phase::WarmingUp:
            break;
    }
    return QStringLiteral("warming-up");
}

QString emergencyBanner(const Emergency& e) {
    if (!e.inForce()) return {};
    const Emergency::InForce& f = *e.inForce();
    QString s = QStringLiteral(" เหตุฉุกเฉิน: %1  ตั้งแต่ %2 น.")
                    .arg(f.kind.name, clockMinutesText(f.since.time()));
    if (f.phase == Emergency::Phase::AllClear) s += QStringLiteral("\n กำลังประกาศสิ้นสุด");
    if (f.amplifierMayBeOff) s += QStringLiteral("\n เครื่องขยายเสียงอาจไม่ได้เปิด");
    if (f.noDevice) s += QStringLiteral("\n ไม่พบอุปกรณ์เสียง");
    return s;
}

Emergency::Emergency(Parts parts, QObject* parent) : QObject(parent), p_(std::move(parts)) {
    warmUp_.setSingleShot(true);
    nextRound_.setSingleShot(true);
    // The signal follows the amplifier's time to the millisecond, not up to 5 % early or late.
    warmUp_.setTimerType(Qt::PreciseTimer);
    connect(&warmUp_, &QTimer::timeout, this, &Emergency::beginRound);
    connect(&nextRound_, &QTimer::timeout, this, &Emergency::beginRound);
    p_.scheduler.setHold([this] { return holdingBells(); });
    p_.scheduler.onHeld([this](int period, const QDateTime& due) {
        if (inForce_)
            record_.bellsHeld << QStringLiteral("%1 %2").arg(period).arg(clockText(due.time()));
    });
    p_.shutdown.setHold([this] { return inForce_.has_value(); });
}

Emergency::~Emergency() {
    p_.alarm.stop();
}

QList<EmergencyKind> Emergency::kinds() const {
    return readEmergencyKinds(p_.store, p_.library);
}

QString Emergency::holdingBells() const {
    if (!inForce_ || !inForce_->kind.holdsBells) return {};
    return QStringLiteral("kept quiet by the emergency \"%1\" (%2) in force since %3")
        .arg(inForce_->kind.name, inForce_->kind.id, clockText(inForce_->since.time()));
}

Outcome Emergency::start(const QString& kindId, const QString& from) {
    const std::optional<EmergencyKind> kind = findEmergencyKind(kinds(), kindId);
    if (!kind) {
        QStringList ids;
        for (const EmergencyKind& k : kinds()) ids << k.id;
        qCWarning(lcScheduler).noquote() << "emergency" << kindId.left(40) << "is no kind we know";
        return Outcome::refused(QStringLiteral("ไม่มีเหตุฉุกเฉินชนิด \"%1\" (มี: %2)")
                                    .arg(kindId.left(40), ids.join(QStringLiteral(", "))));
    }
    const QDateTime now = p_.clock.now();
    // A second start replaces the first: both are in the journal.
    if (inForce_) {
        qCWarning(lcScheduler).noquote()
            << "emergency" << inForce_->kind.id << "replaced by" << kind->id << "from" << from;
        finishRecord(QString(), QStringLiteral("replaced by %1 (%2)").arg(kind->name, kind->id));
    }
    p_.alarm.stop();
    warmUp_.stop();
    nextRound_.stop();
    clearing_ = false;

    qCWarning(lcScheduler).noquote() << "EMERGENCY" << kind->id << "(" + kind->name + ")"
                                     << "started from" << from;
    InForce f;
    f.kind = *kind;
    f.since = now;
    f.from = from;
    inForce_ = f;
    record_ = EmergencyRecord{};
    record_.kind = kind->id;
    record_.name = kind->name;
    record_.started = now;
    record_.startedFrom = from;

    // The PA is the emergency's: music and radio stop, a bell in progress stops at once.
    p_.media.stopMedia();
    p_.scheduler.cutBell(QStringLiteral("emergency %1").arg(kind->id));
    const bool wasOn = p_.relay.isOn();
    const RelayOutcome relay = p_.relay.switchOn(false);
    if (relay.state == RelayOutcome::State::Failed) {
        inForce_->amplifierMayBeOff = true;
        record_.note = QStringLiteral("the amplifier may be off: ") + relay.detail;
    }
    if (p_.journal) record_.id = p_.journal->emergencyStarted(record_);
    p_.motion.showMainWindow();

    // The first sound as soon as the amplifier can take it.
    int delay = p_.amplifierDelay ? p_.amplifierDelay() : 5;
    if (wasOn) delay = qMin(delay, kWarmAmplifierSeconds);
    warmUp_.start(qMax(0, delay) * 1000);
    emit changed();
    return Outcome::done();
}

QStringList Emergency::roundFiles() const {
    QStringList files = inForce_->kind.sounds;
    for (QString& f : files)
        if (inForce_->substituted.contains(f)) f.clear();  // the built-in tone, below
    return files;
}

QString Emergency::fallbackTone(const QString& kindId) {
    if (!toneDir_) toneDir_ = std::make_unique<QTemporaryDir>();
    const QString path = toneDir_->filePath(kindId + QStringLiteral("-tone.wav"));
    if (QFileInfo::exists(path)) return path;
    // A school's own kind has no signal of its own: the hi-lo, which tells nobody to leave
    // the building (the evacuation signal would).
    const alarmtone::Pattern pattern =
        alarmtone::patternOfKind(kindId).value_or(alarmtone::Pattern::TwoTone);
    if (const Result r = alarmtone::writeTone(pattern, path); !r) {
        qCWarning(lcScheduler).noquote() << "the built-in tone cannot be written:" << r.error;
        return {};
    }
    return path;
}

void Emergency::beginRound() {
    if (!inForce_ || clearing_) return;
    QStringList files = roundFiles();
    // A file that failed before: the kind's built-in tone sounds in its place (once a round).
    bool toneIn = false;
    for (QString& f : files) {
        if (!f.isEmpty()) continue;
        f = toneIn ? QString() : fallbackTone(inForce_->kind.id);
        toneIn = true;
    }
    files.removeAll(QString());
    if (files.isEmpty()) files << fallbackTone(inForce_->kind.id);
    ++inForce_->round;
    inForce_->phase = Phase::Sounding;
    roundStarted_ = p_.clock.now();
    playing_ = files;
    qCInfo(lcScheduler) << "emergency round" << inForce_->round << "of" << inForce_->kind.id;
    p_.alarm.play(files, [this](AlarmPlayer::Event e, int index, const QString& detail) {
        onAlarm(int(e), index, detail);
    });
    emit changed();
}

void Emergency::onAlarm(int event, int index, const QString& detail) {
    const auto e = AlarmPlayer::Event(event);
    const QString path = playing_.value(index);
    if (e == AlarmPlayer::Event::Started) {
        record_.sounds.append({path, p_.clock.now(), {}, true, {}});
        return;
    }
    if (e == AlarmPlayer::Event::Failed) {
        qCWarning(lcScheduler).noquote() << "emergency sound" << path << "failed:" << detail;
        record_.sounds.append({path, {}, {}, false, detail});
        if (detail.contains(QLatin1String("resource"), Qt::CaseInsensitive) ||
            detail.contains(QLatin1String("device"), Qt::CaseInsensitive))
            if (inForce_) inForce_->noDevice = true;
        if (inForce_ && !clearing_ && !path.isEmpty() && inForce_->kind.sounds.contains(path) &&
            !inForce_->substituted.contains(path)) {
            inForce_->substituted << path;
            p_.dialogs.notice(kNoticeTitle,
                              QStringLiteral("เล่นเสียง \"%1\" ไม่ได้ ใช้เสียงเตือนของโปรแกรมแทน\n%2")
                                  .arg(QFileInfo(path).fileName(), detail));
            // The rest of the round with the tone in its place, so it still sounds now.
            QStringList rest = playing_.mid(index + 1);
            const QString tone = fallbackTone(inForce_->kind.id);
            if (!tone.isEmpty()) rest.prepend(tone);
            playing_ = rest;
            p_.alarm.play(rest, [this](AlarmPlayer::Event ev, int i, const QString& d) {
                onAlarm(int(ev), i, d);
            });
        }
        emit changed();
        return;
    }
    // The round (or the all clear) is over.
    if (clearing_) {
        clearing_ = false;
        p_.relay.switchOff();
        finishRecord(clearedFrom_, record_.note);
        inForce_.reset();
        p_.motion.hideMainWindow();
        p_.shutdown.resumeAfterHold();
        qCWarning(lcScheduler) << "emergency over: all clear";
        emit changed();
        return;
    }
    if (!inForce_) return;
    const EmergencyKind& k = inForce_->kind;
    inForce_->phase = Phase::Quiet;
    switch (k.repeat) {
        case EmergencyKind::Repeat::UntilAllClear:
            beginRound();
            return;
        case EmergencyKind::Repeat::Every: {
            const qint64 next =
                qint64(k.minutes) * 60 * 1000 - roundStarted_.msecsTo(p_.clock.now());
            nextRound_.start(int(qMax<qint64>(0, next)));
            break;
        }
        case EmergencyKind::Repeat::Times:
            if (inForce_->round < k.times) {
                beginRound();
                return;
            }
            break;
    }
    emit changed();
}

Outcome Emergency::allClear(const QString& from) {
    if (!inForce_ || clearing_)
        return Outcome::refused(QStringLiteral("ไม่มีเหตุฉุกเฉินที่ต้องประกาศสิ้นสุด"));
    qCWarning(lcScheduler).noquote() << "all clear for" << inForce_->kind.id << "from" << from;
    warmUp_.stop();
    nextRound_.stop();
    clearing_ = true;
    clearedFrom_ = from;
    inForce_->phase = Phase::AllClear;
    playing_ = allClearSounds(p_.library);
    p_.relay.switchOn(false);
    p_.alarm.play(playing_, [this](AlarmPlayer::Event e, int index, const QString& detail) {
        onAlarm(int(e), index, detail);
    });
    emit changed();
    return Outcome::done();
}

void Emergency::finishRecord(const QString& endedFrom, const QString& note) {
    record_.ended = p_.clock.now();
    record_.endedFrom = endedFrom;
    record_.note = note;
    if (inForce_ && inForce_->noDevice)
        record_.note += (record_.note.isEmpty() ? QString() : QStringLiteral("; ")) +
                        QStringLiteral("a sound reached no sound device");
    if (p_.journal) p_.journal->emergencyEnded(record_);
}

void Emergency::tellUnended() {
    if (!p_.journal) return;
    for (const EmergencyRecord& e : p_.journal->emergenciesWithoutAllClear()) {
        qCWarning(lcScheduler).noquote()
            << "the emergency" << e.kind << "started" << e.started.toString(Qt::ISODate)
            << "had no all clear: the program ended while it was in force; it is not resumed";
        p_.dialogs.notice(kNoticeTitle,
                          QStringLiteral("เหตุฉุกเฉิน \"%1\" เมื่อ %2 ยังไม่ได้ประกาศสิ้นสุด "
                                         "(โปรแกรมปิดไประหว่างนั้น) โปรแกรมไม่ได้เปิดเสียงเตือนต่อ")
                              .arg(e.name, e.started.toString(QStringLiteral("dd/MM HH:mm"))));
    }
}

}  // namespace tavirin
