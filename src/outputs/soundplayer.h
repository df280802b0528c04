#pragma once

#include "platform/audiooutput.h"
#include "platform/clock.h"
#include "platform/dialogs.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>

namespace tavirin {

// Plays the bell's sounds. A sound that cannot be played never stops the caller: it is
// logged, the operator gets a non-modal notice in Thai (at most one per file a minute, and one
// a minute for a failing sound output, so a missing file or a dead server does not flood the
// tray through a day of bells), and the call returns.
class SoundPlayer {
public:
    // A blip is the start of the system sound followed by a pause, so that five in a row are
    // heard as five (0.75 s together).
    static constexpr int kBlipMs = 50;
    static constexpr int kBlipGapMs = 100;
    static constexpr qint64 kNoticeIntervalMs = 60 * 1000;

    // `clock` paces the notices; without one a monotonic timer does.
    SoundPlayer(AudioOutput& audio, Dialogs& dialogs, const Clock* clock = nullptr);

    // A bell's sounds between these two share one output stream; closeStream returns when the
    // last of them has left the output.
    void openStream();
    StreamOutcome closeStream();
    // The open stream silenced now (AudioOutput::cut); what follows in it fails at once,
    // without a notice.
    void cut(const QString& why);
    // The stream's first sound, queued to be heard `inMs` from now; its playWait follows.
    void preroll(const QString& path, qint64 inMs);

    // Returns when the sound has ended or failed; converts to true if it played (for tests;
    // callers go on either way).
    SoundOutcome playWait(const QString& path);
    // Queues a blip of the sound and returns without waiting to hear it.
    SoundOutcome playBlip(const QString& path);

    struct Played {
        QString path;
        SoundOutcome outcome;
    };
    // The sounds asked for since the stream was opened, in order, with how each went.
    const QList<Played>& streamSounds() const { return played_; }
    // Told the number (from 1) of each sound of the stream as it is started.
    void setOnSound(std::function<void(int)> onSound) { onSound_ = std::move(onSound); }

private:
    void report(const QString& path, const Result& result, bool outputFault);
    qint64 nowMs() const;

    AudioOutput& audio_;
    Dialogs& dialogs_;
    const Clock* clock_;
    QElapsedTimer monotonic_;
    QHash<QString, qint64> lastNotice_;
    QList<Played> played_;
    std::function<void(int)> onSound_;
};

}  // namespace tavirin
