#include "store/emergencykinds.h"

#include "platform/logging.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

namespace tavirin {

namespace {

const QString kName = QStringLiteral("name");
const QString kSounds = QStringLiteral("sounds");
const QString kRepeat = QStringLiteral("repeat");
const QString kBells = QStringLiteral("bells");

QString section(const QString& id) {
    return QStringLiteral("emergency_") + id;
}

EmergencyKind kind(const SoundLibrary& lib, const QString& id, const char* name,
                   const QString& toneOf, EmergencyKind::Repeat repeat, int minutes, int times) {
    EmergencyKind k;
    k.id = id;
    k.name = QString::fromUtf8(name);
    k.sounds = {lib.alarmToneFile(toneOf), lib.alarmVoiceFile(id)};
    k.repeat = repeat;
    k.minutes = minutes;
    k.times = times;
    k.holdsBells = true;
    k.builtIn = true;
    return k;
}

// The school's changes over `k`.
void readOver(const ProgramStore& store, EmergencyKind* k) {
    const QString app = keys::kBaseApplication;
    const QString s = section(k->id);
    if (const QString name = store.GetSetting(app, s, kName).trimmed(); !name.isEmpty())
        k->name = name.left(60);
    if (const QString sounds = store.GetSetting(app, s, kSounds); !sounds.isEmpty()) {
        QStringList list;
        for (const QString& f : sounds.split(u'|', Qt::SkipEmptyParts))
            if (list.size() < emergencylimits::kMaxSounds) list << f.trimmed();
        if (!list.isEmpty()) k->sounds = list;
    }
    if (const QString repeat = store.GetSetting(app, s, kRepeat); !repeat.isEmpty()) {
        EmergencyKind parsed = *k;
        if (parseRepeat(repeat, &parsed))
            *k = parsed;
        else
            qCWarning(lcStore).noquote()
                << s << "repeat" << repeat << "is not known; kept" << repeatText(*k);
    }
    const QString bells = store.GetSetting(app, s, kBells);
    if (bells == QLatin1String("held"))
        k->holdsBells = true;
    else if (bells == QLatin1String("ring"))
        k->holdsBells = false;
    else if (!bells.isEmpty())
        qCWarning(lcStore).noquote() << s << "bells" << bells << "is neither held nor ring";
}

}  // namespace

QList<EmergencyKind> builtInEmergencyKinds(const SoundLibrary& lib) {
    using R = EmergencyKind::Repeat;
    return {
        kind(lib, QStringLiteral("evacuate"), "อพยพ", QStringLiteral("evacuate"), R::UntilAllClear,
             0, 0),
        kind(lib, QStringLiteral("earthquake"), "แผ่นดินไหว", QStringLiteral("earthquake"),
             R::UntilAllClear, 0, 0),
        kind(lib, QStringLiteral("lockdown"), "หลบภัยในอาคาร", QStringLiteral("lockdown"), R::Every,
             2, 0),
        // The drill sounds like the real thing (its own file, the same signal), then says it is
        // a drill.
        kind(lib, QStringLiteral("drill"), "ซ้อมอพยพ", QStringLiteral("drill"), R::Times, 0, 3),
    };
}

QList<EmergencyKind> readEmergencyKinds(const ProgramStore& store, const SoundLibrary& library) {
    QList<EmergencyKind> kinds = builtInEmergencyKinds(library);
    for (EmergencyKind& k : kinds) readOver(store, &k);
    for (int n = 1; n <= emergencylimits::kMaxOwnKinds; ++n) {
        EmergencyKind own;
        own.id = QStringLiteral("own%1").arg(n);
        readOver(store, &own);
        if (own.name.isEmpty()) continue;
        if (own.sounds.isEmpty()) {
            qCWarning(lcStore).noquote() << section(own.id) << "has no sound; left out";
            continue;
        }
        kinds << own;
    }
    return kinds;
}

std::optional<EmergencyKind> findEmergencyKind(const QList<EmergencyKind>& kinds,
                                               const QString& id) {
    for (const EmergencyKind& k : kinds)
        if (k.id == id) return k;
    return std::nullopt;
}

QStringList allClearSounds(const SoundLibrary& library) {
    return {library.backChimeFile(), library.allClearVoiceFile()};
}

QString repeatText(const EmergencyKind& k) {
    switch (k.repeat) {
        case EmergencyKind::Repeat::Every:
            return QStringLiteral("every %1").arg(k.minutes);
        case EmergencyKind::Repeat::Times:
            return QStringLiteral("times %1").arg(k.times);
        case EmergencyKind::Repeat::UntilAllClear:
            break;
    }
    return QStringLiteral("until-all-clear");
}

bool parseRepeat(const QString& text, EmergencyKind* k) {
    const QStringList parts = text.simplified().split(u' ');
    if (parts.size() == 1 && parts[0] == QLatin1String("until-all-clear")) {
        k->repeat = EmergencyKind::Repeat::UntilAllClear;
        return true;
    }
    if (parts.size() != 2) return false;
    bool ok = false;
    const int n = parts[1].toInt(&ok);
    if (!ok) return false;
    if (parts[0] == QLatin1String("every") && n >= 1 && n <= emergencylimits::kMaxEveryMinutes) {
        k->repeat = EmergencyKind::Repeat::Every;
        k->minutes = n;
        return true;
    }
    if (parts[0] == QLatin1String("times") && n >= 1 && n <= emergencylimits::kMaxTimes) {
        k->repeat = EmergencyKind::Repeat::Times;
        k->times = n;
        return true;
    }
    return false;
}

}  // namespace tavirin
