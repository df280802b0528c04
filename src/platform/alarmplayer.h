#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tavirin {

// Plays an emergency's sounds on the PA output without holding the caller: a round of files
// one after the other, on an output of its own beside the bells'. Nothing waits: play()
// returns at once, and what becomes of each file is told later on the calling thread.
class AlarmPlayer {
public:
    enum class Event {
        Started,   // file `index` is playing
        Failed,    // file `index` could not be played (`detail` says why); the next follows
        Finished,  // the round is over
    };
    using Listener = std::function<void(Event event, int index, const QString& detail)>;

    virtual ~AlarmPlayer() = default;

    // Plays `files` in order, replacing whatever played; returns at once. Events reach
    // `listener` later, never from inside play() and never after stop() or the next play().
    virtual void play(const QStringList& files, Listener listener) = 0;
    // Silence now; returns at once.
    virtual void stop() = 0;
};

}  // namespace tavirin
