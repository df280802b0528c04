#pragma once

#include "platform/audiooutput.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

typedef struct _GstElement GstElement;

namespace tavirin {

// AudioOutput on GStreamer: one `playbin` per sound, audio only.
//
// The audio sink is a gst-launch style description, parsed afresh for every sound:
// "autoaudiosink" in the program, "fakesink sync=true" (real time, nothing heard) or
// "wavenc ! filesink location=..." (a capture) in tests.
//
// playToEnd never hangs. It waits for end-of-stream or an error; once the file has
// prerolled its duration is known and the wait ends at that duration plus a margin; a
// hard cap (constructor) bounds every wait, also for a file whose duration is unknown or
// that never prerolls. A pipeline that overruns is torn down and reported as a failure.
//
// While playToEnd waits, it runs a nested QEventLoop with QEventLoop::ExcludeUserInputEvents:
// the window repaints, timers fire and the desktop sees a live program, but clicks and keys
// wait until the sound has ended. GStreamer wakes the loop from its streaming thread (a bus
// sync handler posts a queued call), so the next sound starts without polling delay.
// Without a QCoreApplication it blocks on the bus instead. Because timers fire during the
// wait, a timer handler may call playToEnd again: that nested call is refused ("busy")
// rather than played over the running sound.
//
// startSpan builds its own playbin and returns at once; preroll, the seek to the span and
// the start happen on GStreamer's threads, and the finished pipelines are released on the
// next call (or in the destructor). Spans may overlap each other and a playToEnd.
//
// Not thread-safe: use it from one thread (the UI thread).
class GstAudioOutput final : public AudioOutput {
public:
    static constexpr std::chrono::milliseconds kDefaultHardCap{std::chrono::minutes(6)};

    explicit GstAudioOutput(QString sinkDescription = QStringLiteral("autoaudiosink"),
                            std::chrono::milliseconds hardCap = kDefaultHardCap);
    ~GstAudioOutput() override;

    GstAudioOutput(const GstAudioOutput&) = delete;
    GstAudioOutput& operator=(const GstAudioOutput&) = delete;

    Result playToEnd(const QString& path) override;
    Result startSpan(const QString& path, int milliseconds) override;

    // Called with every new playbin and its sink bin before it starts, so a test or a
    // benchmark can look inside (name the elements it needs in the sink description).
    using PipelineObserver = std::function<void(GstElement* playbin, GstElement* sinkBin)>;
    void setPipelineObserver(PipelineObserver observer) { observer_ = std::move(observer); }

    // Spans not yet released (for tests: finished spans must not pile up).
    int pendingSpans();

private:
    struct Span;

    Result checkFile(const QString& path) const;
    Result buildPipeline(const QString& path, GstElement** playbin);
    void reapSpans(bool all);

    QString sinkDescription_;
    std::chrono::milliseconds hardCap_;
    PipelineObserver observer_;
    std::vector<std::unique_ptr<Span>> spans_;
    bool playing_ = false;
    QString initError_;
};

}  // namespace tavirin
