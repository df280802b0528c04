#pragma once

#include "platform/audiooutput.h"
#include "platform/clock.h"
#include "platform/dialogs.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>

namespace tavirin {

// Plays the bell's sounds. A sound that cannot be played never stops the caller: it is
// logged, the operator gets a non-modal notice in Thai (at most one per file a minute, so a
// missing file does not flood the tray through a day of bells), and the call returns.
class SoundPlayer {
public:
    static constexpr int kBlipMs = 5;
    static constexpr qint64 kNoticeIntervalMs = 60 * 1000;

    // `clock` paces the notices; without one a monotonic timer does.
    SoundPlayer(AudioOutput& audio, Dialogs& dialogs, const Clock* clock = nullptr);

    // Returns when the sound has ended or failed. true if it played (for tests; callers
    // go on either way).
    bool playWait(const QString& path);
    // Starts the first kBlipMs of the sound and returns at once.
    bool playBlip(const QString& path);

private:
    void report(const QString& path, const QString& why);
    qint64 nowMs() const;

    AudioOutput& audio_;
    Dialogs& dialogs_;
    const Clock* clock_;
    QElapsedTimer monotonic_;
    QHash<QString, qint64> lastNotice_;
};

}  // namespace tavirin
