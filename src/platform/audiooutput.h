#pragma once

#include "platform/result.h"

#include <QString>

namespace tavirin {

// How one sound went. Times are on the monotonic clock in milliseconds (the reference of
// QElapsedTimer::msecsSinceReference), -1 when it never got that far.
struct SoundOutcome {
    Result result;
    bool outputFault = false;  // the sound output failed (no device, not responding), not the file
    qint64 startMs = -1;       // its first sample reached the output
    qint64 endMs = -1;         // its last sample reaches the output
    bool cut = false;          // not played (to its end): the stream was cut

    static SoundOutcome fileFault(QString why) { return {Result::failure(std::move(why))}; }
    static SoundOutcome cutOff(QString why) {
        return {Result::failure(std::move(why)), false, -1, -1, true};
    }
    static SoundOutcome outputFailure(QString why) {
        return {Result::failure(std::move(why)), true};
    }
    explicit operator bool() const { return result.ok; }
};

// How a whole output stream went.
struct StreamOutcome {
    Result result;          // it played out to its last sample, or why not
    bool noDevice = false;  // it reached no real audio device (only a silent stand-in)
    qint64 onsetMs = -1;    // its first sample reached the output
    bool cut = false;       // it was cut (AudioOutput::cut) before it played out
};

// Plays sound files (WAV or MP3) on the PA output.
//
// A bell's sounds share one output stream: openStream before the first, closeStream after the
// last. Inside it the files follow each other without a gap, and a sound that cannot be played
// costs only its own place. A sound played without an open stream gets a stream of its own.
//
// While a call waits, the Qt event loop keeps running with user input held back, so the
// window repaints and timers fire, but no click reaches the program. Every wait is bounded.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Opens the stream that the following sounds share and returns at once; the sound device
    // is opened in the background.
    virtual void openStream() = 0;

    // Queues the file as the open stream's next sound, to be heard `inMs` from now (silence
    // until then keeps the device running), and returns at once. The next playToEnd of the
    // same path waits for that sound instead of queuing it again. Without an open stream, or
    // for a file that cannot be played, it does nothing (the playToEnd reports it).
    virtual void prerollIn(const QString& path, qint64 inMs) = 0;

    // Plays the file and returns when it has ended, or when it failed or timed out. Inside a
    // stream "ended" means its remaining samples are queued at the output, a short lead before
    // they are heard, so that the next file follows seamlessly; closeStream waits for the rest.
    virtual SoundOutcome playToEnd(const QString& path) = 0;

    // Queues the first `milliseconds` of the file followed by `silenceMs` of silence and
    // returns once they are in the stream (a few milliseconds), without waiting to hear them.
    virtual SoundOutcome queueSpan(const QString& path, int milliseconds, int silenceMs) = 0;

    // Lets the stream play out and closes it: returns when its last sample has left the
    // output, so whatever follows (the amplifier going off) never cuts it.
    virtual StreamOutcome closeStream() = 0;

    // Silences the open stream now, for an emergency that takes the PA over: the sound being
    // waited for returns at once, the stream's other sounds fail at once without a sound
    // (SoundOutcome::cut, with `why`), and closeStream returns at once. Nothing without an
    // open stream. May be called from inside a wait (a handler the wait's event loop runs).
    virtual void cut(const QString& why) = 0;
};

}  // namespace tavirin
