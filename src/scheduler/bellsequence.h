#pragma once

#include <QString>
#include <QtGlobal>

namespace tavirin {

class AmplifierRelay;
class Clock;
class FormModel;
class MediaSources;
class ProgramStore;
class SoundLibrary;
class SoundPlayer;
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
    void runBellSequence();

    const SequenceSettings& settings() const { return settings_; }
    qint16 delayCount() const { return delayCount_; }
    void setDelayCount(qint16 n) { delayCount_ = n; }

private:
    void afterBell(const QString& choice);

    FormModel& form_;
    ProgramStore& store_;
    const Clock& clock_;
    const SoundLibrary& library_;
    Outputs out_;
    SequenceSettings settings_;
    qint16 delayCount_ = 0;
    bool streamOpen_ = false;  // opened ahead by prerollFrontChime
};

}  // namespace tavirin
