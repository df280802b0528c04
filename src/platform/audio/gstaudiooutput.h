#pragma once

#include "platform/audio/audiostream.h"
#include "platform/audiooutput.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

typedef struct _GstElement GstElement;

namespace tavirin {

class AudioStream;
class StreamWaker;

// AudioOutput on GStreamer: one output stream per bell (docs/SOUND.md).
//
// The audio sink is a gst-launch style description: "autoaudiosink" in the program, a
// PulseAudio null sink, "fakesink sync=true" (real time, nothing heard) or "wavenc ! filesink"
// (a capture) in tests. Each stream runs on a worker thread of its own (AudioStream), which
// makes every state change; this class, used from the user-interface thread, only queues
// sounds and waits for them, with a limit on every wait:
//  - a sound must start within kStartLimitMs of its turn (for the first sound of a stream
//    that includes opening the device),
//  - and end within its length plus kMarginMs;
//  - a sound longer than the hard cap (constructor) is cut there.
// A stream that misses a limit is given up: the rest of that bell fails at once (a hung
// sound server would only hold every sound the same way), its worker releases it whenever
// the server comes back, and the next bell gets a fresh stream.
//
// While it waits it runs a nested QEventLoop with QEventLoop::ExcludeUserInputEvents: the
// window repaints, timers fire, clicks and keys wait. A timer handler that plays while a
// sound is awaited gets "busy". Without a QCoreApplication it blocks on a condition variable.
class GstAudioOutput final : public AudioOutput {
public:
    static constexpr std::chrono::milliseconds kDefaultHardCap{std::chrono::minutes(6)};
    static constexpr qint64 kStartLimitMs = 5000;
    static constexpr qint64 kMarginMs = 2000;
    // Streams still stuck in a hung server; beyond this, no new one is tried.
    static constexpr int kMaxStuckStreams = 3;

    explicit GstAudioOutput(QString sinkDescription = QStringLiteral("autoaudiosink"),
                            std::chrono::milliseconds hardCap = kDefaultHardCap);
    ~GstAudioOutput() override;

    GstAudioOutput(const GstAudioOutput&) = delete;
    GstAudioOutput& operator=(const GstAudioOutput&) = delete;

    void openStream() override;
    void prerollIn(const QString& path, qint64 inMs) override;
    SoundOutcome playToEnd(const QString& path) override;
    SoundOutcome queueSpan(const QString& path, int milliseconds, int silenceMs) override;
    StreamOutcome closeStream() override;
    void cut(const QString& why) override;

    // Called on the calling thread with every new stream's pipeline and its sink bin before
    // it starts, so a test or a benchmark can look inside (name the elements it needs in the
    // sink description).
    using PipelineObserver = std::function<void(GstElement* pipeline, GstElement* sinkBin)>;
    void setPipelineObserver(PipelineObserver observer) { observer_ = std::move(observer); }

    // Streams whose worker has not yet released everything (for tests: none may pile up).
    int liveStreams();

private:
    SoundOutcome checkFile(const QString& path) const;
    // The file as a sound of the stream, or why it cannot be one.
    SoundOutcome makeSound(const QString& path, AudioStream::Sound* sound) const;
    std::shared_ptr<AudioStream> startStream(QString* error);
    SoundOutcome play(const QString& path, int spanMs, int silenceMs);
    void giveUp(const QString& why);
    void reap();

    QString sinkDescription_;
    std::chrono::milliseconds hardCap_;
    PipelineObserver observer_;
    std::shared_ptr<StreamWaker> waker_;
    std::shared_ptr<AudioStream> stream_;  // the open stream
    QString prerolledPath_;                // queued ahead by prerollIn, not yet awaited
    std::shared_ptr<AudioStream::Sound> prerolled_;
    bool inStream_ = false;
    QString streamFault_;  // why the rest of this stream's sounds fail at once
    bool streamNoDevice_ = false;
    std::vector<std::shared_ptr<AudioStream>> closing_;  // released by their workers
    bool busy_ = false;
    QString cut_;  // the open stream was cut, and why
    QString initError_;
};

}  // namespace tavirin
