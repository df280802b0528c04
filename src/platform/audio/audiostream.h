#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

typedef struct _GstElement GstElement;
typedef struct _GstBuffer GstBuffer;

namespace tavirin {

class FileDecoder;

// One output stream, `appsrc ! audioconvert ! audioresample ! <sink>`, fed with the decoded
// samples of its sounds one after the other. A worker thread of its own makes every GStreamer
// state change of the stream (opening the device can block for half a minute on a hung
// sound server), decodes the files ahead of the output and watches the output's position;
// the owner only queues sounds and reads how far they are, never blocking on a device.
//
// A sound starts at the sample where the previous one ended, so the files follow each other
// without a gap. If the output has already played past that point (a sound queued late),
// silence fills up to where it can still be heard in full: a late sound leaves a gap, it is
// never cut.
class AudioStream {
public:
    struct Sound {
        QByteArray uri;
        int spanMs = -1;  // >= 0: only the first spanMs, then silenceMs of silence
        int silenceMs = 0;
        qint64 queuedMs = 0;
        qint64 aheadMs = 0;       // audio queued before it when it was queued
        qint64 notBeforeMs = -1;  // >= 0: its first sample is to be heard then (steady clock)

        // written by the worker, read by the owner (under the stream's lock)
        bool fed = false;      // every sample of it is in the stream (or it failed)
        bool started = false;  // its first sample reached the output
        bool nearEnd = false;  // what is left of it is within the lead of the output
        bool failed = false;
        bool outputFault = false;
        QString error;
        qint64 startFrame = -1;
        qint64 frames = 0;
        qint64 startedMs = -1;
    };
    using SoundRef = std::shared_ptr<Sound>;

    struct State {
        bool opened = false;  // the device is open
        bool failed = false;
        bool noDevice = false;
        QString error;
        bool drained = false;    // every sample has left the output
        bool abandoned = false;  // given up by its owner
        bool finished = false;   // the worker has released everything and ended
        qint64 onsetMs = -1;
        qint64 leadMs = 0;
        qint64 aheadMs = 0;  // queued audio not yet heard
    };

    // Takes over `pipeline` (whose source is `source`, an appsrc); `notify` is called from the
    // worker whenever a sound or the stream has moved on.
    AudioStream(GstElement* pipeline, GstElement* source, std::function<void()> notify,
                std::chrono::milliseconds hardCap);
    ~AudioStream();
    AudioStream(const AudioStream&) = delete;
    AudioStream& operator=(const AudioStream&) = delete;

    // Starts the worker thread; it holds `self` until it has released the pipeline.
    static void start(const std::shared_ptr<AudioStream>& self);

    // Queues a sound behind the others. On a stream that has failed it fails at once.
    SoundRef queue(Sound sound);
    // Ends the stream after the queued sounds; drained is set when the last has been heard.
    void finish();
    // Stops as soon as the worker can: now, or when a blocked state change returns.
    void abandon();

    State state() const;
    Sound sound(const SoundRef& ref) const;
    // Waits up to `timeout` for the worker to end and joins it; false if it is still stuck.
    bool join(std::chrono::milliseconds timeout);
    // The worker is left to end by itself (program exit while it is stuck).
    void detach();

private:
    void run();
    void openDevice();
    void pollBus();
    void trackPosition();
    void feed();
    bool feedCurrent(const SoundRef& s);
    bool padUntilDue(const SoundRef& s);
    void beginSound(const SoundRef& s);
    void pushSpan(const SoundRef& s);
    void finishSound(const SoundRef& s, bool ok, const QString& error);
    void pushBuffer(GstBuffer* buffer, qint64 frames);
    void pushSilence(qint64 frames);
    void failStream(const QString& why, bool noDevice);
    void notifyOwner();

    GstElement* pipeline_;
    GstElement* source_;
    std::function<void()> notify_;
    const qint64 hardCapFrames_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<SoundRef> queued_;   // not yet fully fed, in order
    std::deque<SoundRef> playing_;  // fed (or being fed), not yet heard to their end
    State state_;
    bool finishing_ = false;
    std::thread worker_;

    // worker only
    std::unique_ptr<FileDecoder> decoder_;
    QByteArray span_;             // a span's samples, pushed at once when complete
    qint64 writeFrame_ = 0;       // where the next sample goes
    qint64 positionFrame_ = 0;    // what the output has played
    bool outputRunning_ = false;  // the output's clock runs (its first samples are playing)
    qint64 safetyFrames_ = 0;     // how far ahead of the output a sample must be to be heard
    qint64 leadFrames_ = 0;
    bool eosSent_ = false;
    bool padDone_ = false;  // the silence before the current sound's due time is queued
    // When the output's position was first seen moving, and where: a sound's due sample is
    // placed only once it moves with the clock (a sink may stand still, then catch up).
    qint64 runningSinceMs_ = -1;
    qint64 runningSinceFrame_ = 0;
    bool eosSeen_ = false;
    std::chrono::steady_clock::time_point decoderStart_;
};

}  // namespace tavirin
