#pragma once

#include <QString>

#include <functional>

namespace tavirin {

// Plays an internet radio stream on the PA output, between bells, until it is stopped.
class RadioPlayer {
public:
    enum class Event {
        Playing,      // the stream's sound reached the output
        Page,         // the server answered with no audio (a web page): nothing is played
        Unreachable,  // no answer from the server in time, or no connection at all
        Failed,       // the stream cannot be played, or dropped again after its reconnection
    };
    using Listener = std::function<void(Event event, const QString& detail)>;

    virtual ~RadioPlayer() = default;

    // Opens the http(s) address and returns at once; whatever was playing stops. A short,
    // bounded request asks the server what the address holds. An .m3u or .pls playlist plays
    // its first stream. `isStream`: the address itself says it is audio, so an answer
    // without an audio type is still played; otherwise such an answer is a Page. A stream
    // plays until stop(); when it ends or fails after it has played, it is reconnected once.
    // Events reach `listener` later on the calling thread, never from inside open() and
    // never after stop() or the next open().
    virtual void open(const QString& url, bool isStream, Listener listener) = 0;
    // Stops the stream, or the question to the server in progress; returns at once.
    virtual void stop() = 0;
};

}  // namespace tavirin
