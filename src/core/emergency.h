#pragma once

#include "journal/journal.h"
#include "platform/outcome.h"
#include "store/emergencykinds.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace tavirin {

class AlarmPlayer;
class AmplifierRelay;
class AutoShutdown;
class BellScheduler;
class Clock;
class Dialogs;
class MediaSources;
class ProgramStore;
class SoundLibrary;
class WindowMotion;

// The emergency signal: one action that takes the PA over (music and radio stop, a bell in
// progress is cut, the amplifier goes on), sounds the kind's signal and words round after
// round as the kind says, holds the scheduled bells and the automatic shutdown, and ends with
// the all clear (its sound, then the amplifier off). Its sounds play on an output of their own
// (AlarmPlayer), so nothing here waits: every call returns at once.
class Emergency : public QObject {
    Q_OBJECT
public:
    struct Parts {
        BellScheduler& scheduler;
        AmplifierRelay& relay;
        MediaSources& media;
        AutoShutdown& shutdown;
        AlarmPlayer& alarm;
        WindowMotion& motion;
        Journal* journal;
        const Clock& clock;
        const ProgramStore& store;
        const SoundLibrary& library;
        Dialogs& dialogs;
        // The amplifier's warm-up in seconds, as today's bells use it.
        std::function<int()> amplifierDelay;
    };

    enum class Phase {
        WarmingUp,  // the amplifier is given its time before the first sound
        Sounding,   // a round is playing
        Quiet,      // between rounds, or its rounds are done: still in force
        AllClear,   // the all clear is sounding; the bells wait for its end
    };
    struct InForce {
        EmergencyKind kind;
        QDateTime since;
        QString from;  // journal::kFrom...
        Phase phase = Phase::WarmingUp;
        int round = 0;                   // rounds begun
        bool amplifierMayBeOff = false;  // the relay could not be switched on
        bool noDevice = false;           // a sound reached no sound device
        QStringList substituted;         // sound files that failed; the built-in tone sounds
    };

    explicit Emergency(Parts parts, QObject* parent = nullptr);
    ~Emergency() override;

    // The kinds the school has (built in, as changed, and its own).
    QList<EmergencyKind> kinds() const;

    Outcome start(const QString& kindId, const QString& from);
    Outcome allClear(const QString& from);

    const std::optional<InForce>& inForce() const { return inForce_; }
    // Whether the scheduled bells are held now, and why (for the journal): "" when not.
    QString holdingBells() const;

    // At start-up: an emergency the journal found without an all clear (the program ended
    // during it) is told, not resumed.
    void tellUnended();

signals:
    void changed();

private:
    void beginRound();
    void onAlarm(int event, int index, const QString& detail);
    void finishRecord(const QString& endedFrom, const QString& note);
    QString fallbackTone(const QString& kindId);
    QStringList roundFiles() const;

    Parts p_;
    std::optional<InForce> inForce_;
    EmergencyRecord record_;
    QStringList playing_;  // the files of the round (or the all clear) now playing
    QTimer warmUp_;
    QTimer nextRound_;
    QDateTime roundStarted_;
    bool clearing_ = false;
    QString clearedFrom_;
    std::unique_ptr<QTemporaryDir> toneDir_;
};

// The banner's Thai line (the window, the tray's tooltip); "" when none is in force.
QString emergencyBanner(const Emergency& emergency);

// "warming-up", "sounding", "quiet", "all-clear".
QString emergencyPhaseName(Emergency::Phase phase);

}  // namespace tavirin
