#pragma once

#include "outputs/soundplayer.h"
#include "scheduler/bellprogress.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace tavirin {

class AmplifierRelay;
class Clock;
class FormModel;
class MediaSources;
class ProgramStore;
class SoundLibrary;
class TalkingClock;
class TrayIcon;
class Waiter;
class WindowMotion;

// Today's day-wide bell values, read from the store just before a run.
struct SequenceSettings {
    QString frontChimeFile;
    QString backChimeFile;
    QString announceMode;
    QString voiceFolder;
};

// What followed the sounds: the amplifier off, or radio or music started (or not, and why).
struct AfterBellOutcome {
    QString step;            // "off", "radio 1".."radio 3", "music", "none"
    std::optional<bool> ok;  // radio or music: whether it was started
    QString detail;
    QDateTime relayOff;  // when the amplifier went off; invalid when it stayed on
};

// How a run went, for the bell journal.
struct BellRun {
    QList<SoundPlayer::Played> sounds;
    StreamOutcome stream;
    int amplifierDelaySeconds = 0;
    AfterBellOutcome after;
    QString cut;  // why it was cut short (an emergency took the PA); "" when it was not
};

// What one bell sounds like: front chime, the time, the add-on sound, back chime; then the
// window slides away and the amplifier goes off or the PA is handed to radio or music.
class BellSequence {
public:
    struct Outputs {
        SoundPlayer& player;
        TalkingClock& talkingClock;
        AmplifierRelay& relay;
        MediaSources& media;
        Waiter& waiter;
        WindowMotion& motion;
        TrayIcon* tray = nullptr;  // added again after every bell
    };

    BellSequence(FormModel& form, ProgramStore& store, const Clock& clock,
                 const SoundLibrary& library, Outputs outputs);

    // Reads today's chimes, announce mode, voice and amplifier delay from the store.
    void loadSequenceSettings();
    // Opens the run's output stream now and queues the front chime to be heard `inMs` from now,
    // when the run is to start; the run then plays on in that stream.
    void prerollFrontChime(qint64 inMs);
    // Plays the run and starts the after-bell step; returns when the last sound has ended.
    BellRun runBellSequence();
    // An emergency takes the PA: the run in progress is silenced now and ends without hiding
    // the window or an after-bell step (cut() from inside the run's sounds), or, before its
    // sounds, the stream opened ahead is closed and the run that never came is returned.
    void cut(const QString& why);
    BellRun cutBeforeRun(const QString& why);

    const SequenceSettings& settings() const { return settings_; }
    // Told when the run starts each sound (k of n) and when the sounds are over.
    void setOnProgress(std::function<void(BellProgress::Phase, int sound, int of)> f) {
        progress_ = std::move(f);
    }
    qint16 delayCount() const { return delayCount_; }
    void setDelayCount(qint16 n) { delayCount_ = n; }

private:
    AfterBellOutcome afterBell(const QString& choice);
    void tidyForm();

    FormModel& form_;
    ProgramStore& store_;
    const Clock& clock_;
    const SoundLibrary& library_;
    Outputs out_;
    SequenceSettings settings_;
    qint16 delayCount_ = 0;
    int amplifierDelay_ = 0;   // the countdown's start, for the bell's onset
    bool streamOpen_ = false;  // opened ahead by prerollFrontChime
    std::function<void(BellProgress::Phase, int, int)> progress_;
    QString cut_;
    bool running_ = false;
    bool afterBellRunning_ = false;  // the pause before radio or music
};

}  // namespace tavirin
