#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavirin {

class ProgramStore;
class SoundLibrary;

// A kind of emergency the PA can signal: what it is called, what it sounds, how often, and
// whether the scheduled bells wait for its all clear. Four are built in (evacuate,
// earthquake, lockdown, drill); a school may change them and add up to kMaxOwnKinds of its
// own (own1 .. own6). Stored under the base application, section "emergency_<id>".
struct EmergencyKind {
    enum class Repeat {
        UntilAllClear,  // one round after the other until the all clear
        Every,          // a round every `minutes` minutes until the all clear
        Times,          // `times` rounds, then quiet (still in force until the all clear)
    };
    QString id;
    QString name;        // Thai, as the button's menu and the banner show it
    QStringList sounds;  // one round: played in order
    Repeat repeat = Repeat::UntilAllClear;
    int minutes = 0;  // Every
    int times = 0;    // Times
    bool holdsBells = true;
    bool builtIn = false;
    bool operator==(const EmergencyKind&) const = default;
};

namespace emergencylimits {
inline constexpr int kMaxOwnKinds = 6;
inline constexpr int kMaxTimes = 20;
inline constexpr int kMaxEveryMinutes = 60;
inline constexpr int kMaxSounds = 8;
}  // namespace emergencylimits

// The built-in kinds with their default sounds from the library.
QList<EmergencyKind> builtInEmergencyKinds(const SoundLibrary& library);
// The kinds in force: the built-in ones as the school changed them, then the school's own.
// A stored value that makes no sense (a repeat not known, a count out of range) keeps the
// default and is logged; a school's own kind without a name or a sound is left out.
QList<EmergencyKind> readEmergencyKinds(const ProgramStore& store, const SoundLibrary& library);
std::optional<EmergencyKind> findEmergencyKind(const QList<EmergencyKind>& kinds,
                                               const QString& id);

// The all clear: the back chime, then the words.
QStringList allClearSounds(const SoundLibrary& library);

// "until-all-clear", "every 2", "times 3": the stored form of a repeat, and back.
QString repeatText(const EmergencyKind& kind);
bool parseRepeat(const QString& text, EmergencyKind* kind);

}  // namespace tavirin
