#pragma once

#include "platform/result.h"

#include <QString>

namespace tavirin {

// Plays sound files (WAV or MP3) on the PA output.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Plays the file to its end and returns then, or when it failed or timed out. While it
    // waits the Qt event loop keeps running with user input held back, so the window
    // repaints and timers fire, but no click reaches the program.
    virtual Result playToEnd(const QString& path) = 0;

    // Starts the first `milliseconds` of the file and returns at once.
    virtual Result startSpan(const QString& path, int milliseconds) = 0;
};

}  // namespace tavirin
