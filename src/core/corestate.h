#pragma once

#include "calendar/dayplan.h"
#include "scheduler/bellprogress.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavirin {

// One picture of the program, as every way in shows it (docs/DBUS.md lists the JSON fields).
struct CoreState {
    QDateTime clock;  // when the picture was taken

    struct Next {
        QTime at;
        int period = 0;  // the highest-numbered period of that time: its sound rings
        QString sound;   // the add-on sound it plays; the system sound when it has none
        AfterBell after = AfterBell::AmplifierOff;
    };
    std::optional<Next> next;  // nothing when today has no bell left

    std::optional<BellProgress> bell;  // the bell in progress

    // Today's periods as the board shows them, with what the journal says of each.
    struct TodayBell {
        int period = 0;
        PeriodPlan::State state = PeriodPlan::State::NotInUse;
        QTime due;        // Rings: when
        QString caption;  // the board's caption
        QString note;     // why it is quiet or moved (Thai)
        QString outcome;  // the journal's last outcome of it today ("rang", "missed", ...); ""
        QString reason;
    };
    QList<TodayBell> bells;

    QDate date;
    QString application;  // the program that rings today
    int programDay = 0;   // its weekday, 1..7
    bool noBells = false;
    QStringList changes;    // Thai, one line per rule in force today
    QString calendarEntry;  // the calendar entry that rules today; "" for none
    QTime shutdownAt;       // invalid: no automatic shutdown today

    bool relayOn = false;
    enum class Media { None, Music, Radio };
    Media media = Media::None;
    int station = 0;  // Radio: 1..3

    struct Check {
        QDateTime at;
        bool ok = true;
        QStringList failed;  // the items that failed
    };
    std::optional<Check> selfTest;  // nothing before the first one

    struct EmergencyState {
        QString kind;
        QString name;
        QDateTime since;
        QString from;
        QString phase;  // emergencyPhaseName
        int round = 0;
        bool holdsBells = true;
        bool amplifierMayBeOff = false;
        bool noDevice = false;
    };
    std::optional<EmergencyState> emergency;  // the one in force
};

QJsonObject toJson(const CoreState& state);
QByteArray toJsonText(const CoreState& state);

// "countdown", "sound", "after-bell".
QString phaseName(BellProgress::Phase phase);
// "off", "radio 1".."radio 3", "music", "none".
QString afterBellName(AfterBell after);

}  // namespace tavirin
