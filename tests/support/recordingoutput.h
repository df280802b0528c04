#pragma once

// The real GStreamer output with a record of every sound asked for and how it went, for the
// tests that ring whole bells through it.

#include "platform/audio/gstaudiooutput.h"

#include <QElapsedTimer>
#include <QList>

namespace tavirin::test {

class RecordingOutput final : public AudioOutput {
public:
    RecordingOutput(const QString& sink, std::chrono::milliseconds cap) : real_(sink, cap) {}
    void openStream() override {
        ++opened;
        real_.openStream();
    }
    void prerollIn(const QString& path, qint64 inMs) override { real_.prerollIn(path, inMs); }
    SoundOutcome playToEnd(const QString& path) override {
        QElapsedTimer t;
        t.start();
        const SoundOutcome r = real_.playToEnd(path);
        log.append({path, r, t.elapsed()});
        return r;
    }
    SoundOutcome queueSpan(const QString& path, int ms, int silenceMs) override {
        const SoundOutcome r = real_.queueSpan(path, ms, silenceMs);
        log.append({path, r, 0});
        return r;
    }
    void cut(const QString& why) override { real_.cut(why); }
    StreamOutcome closeStream() override {
        stream = real_.closeStream();
        return stream;
    }
    GstAudioOutput& real() { return real_; }

    struct Entry {
        QString path;
        SoundOutcome outcome;
        qint64 ms;  // how long the call took
        bool ok() const { return outcome.result.ok; }
    };
    QList<Entry> log;
    int opened = 0;
    StreamOutcome stream;  // of the last stream closed

private:
    GstAudioOutput real_;
};

}  // namespace tavirin::test
