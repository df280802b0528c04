#include "platform/audio/gstaudiooutput.h"

#include "platform/audio/audiostream.h"
#include "platform/audio/filedecoder.h"
#include "platform/audio/soundchecks.h"
#include "platform/inputhold.h"
#include "platform/logging.h"

#include <gst/gst.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <mutex>

namespace tavirin {

using namespace std::chrono_literals;

namespace {

constexpr int kWoken = 0x7a01;
constexpr int kTimedOut = 0x7a02;

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 framesToMs(qint64 frames) {
    return frames * 1000 / StreamFormat::kRate;
}

}  // namespace

// Wakes the thread that waits for a sound, from a stream's worker. The waiting thread runs a
// nested event loop (or, without an application, sleeps on a condition variable); a worker's
// notice ends that loop through a queued call, so nothing is polled.
class StreamWaker {
public:
    // any thread
    void notify() {
        std::lock_guard lock(mutex_);
        ++generation_;
        changed_.notify_all();
        if (target_)
            QMetaObject::invokeMethod(
                target_,
                [this] {
                    if (loop_) loop_->exit(kWoken);
                },
                Qt::QueuedConnection);
    }

    enum class Wait { Done, TimedOut, Interrupted };
    // Runs until done() or the deadline (monotonic ms, asked again after every wake-up).
    Wait waitUntil(const std::function<bool()>& done, const std::function<qint64()>& deadline) {
        const bool withLoop = QCoreApplication::instance() != nullptr;
        if (withLoop) {
            std::lock_guard lock(mutex_);
            if (!target_) target_ = new QObject;  // lives in this, the waiting thread
        }
        for (;;) {
            quint64 seen;
            {
                std::lock_guard lock(mutex_);
                seen = generation_;
            }
            if (done()) return Wait::Done;
            const qint64 left = deadline() - nowMs();
            if (left <= 0) return Wait::TimedOut;
            if (!withLoop) {
                std::unique_lock lock(mutex_);
                changed_.wait_for(lock, std::chrono::milliseconds(left),
                                  [&] { return generation_ != seen; });
                continue;
            }
            // A notice that came in since `seen` has queued its call: the loop exits at once.
            QEventLoop loop;
            QTimer timer;
            timer.setSingleShot(true);
            QObject::connect(&timer, &QTimer::timeout, &loop, [&loop] { loop.exit(kTimedOut); });
            timer.start(int(std::min<qint64>(left, INT_MAX)));
            loop_ = &loop;
            const inputhold::Holding holding;
            const int code = loop.exec(inputhold::flags());
            loop_ = nullptr;
            if (code != kWoken && code != kTimedOut) return Wait::Interrupted;
        }
    }

    // The owner is going away: no more queued calls.
    void dropTarget() {
        QObject* target;
        {
            std::lock_guard lock(mutex_);
            target = target_;
            target_ = nullptr;
        }
        delete target;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    quint64 generation_ = 0;
    QObject* target_ = nullptr;
    QEventLoop* loop_ = nullptr;  // the waiting thread's
};

GstAudioOutput::GstAudioOutput(QString sinkDescription, std::chrono::milliseconds hardCap)
    : sinkDescription_(std::move(sinkDescription)),
      hardCap_(hardCap),
      waker_(std::make_shared<StreamWaker>()) {
    initError_ = gstStartError();
    if (!initError_.isEmpty()) qCWarning(lcAudio).noquote() << initError_;
}

GstAudioOutput::~GstAudioOutput() {
    if (stream_) {
        stream_->abandon();
        closing_.push_back(std::move(stream_));
    }
    for (const auto& s : closing_) {
        s->abandon();
        if (!s->join(2s)) {
            qCWarning(lcAudio) << "a sound stream is still stuck in the sound server; left behind";
            s->detach();
        }
    }
    waker_->dropTarget();
}

SoundOutcome GstAudioOutput::checkFile(const QString& path) const {
    if (const Result r = checkSoundFile(path); !r) return SoundOutcome::fileFault(r.error);
    return {};
}

std::shared_ptr<AudioStream> GstAudioOutput::startStream(QString* error) {
    GError* err = nullptr;
    GstElement* sink =
        gst_parse_bin_from_description(sinkDescription_.toUtf8().constData(), TRUE, &err);
    if (err || !sink) {
        *error = QStringLiteral("the audio output \"%1\" cannot be built: %2")
                     .arg(sinkDescription_, err ? QString::fromUtf8(err->message) : QString());
        g_clear_error(&err);
        if (sink) gst_object_unref(gst_object_ref_sink(sink));
        return nullptr;
    }
    GstElement* pipeline = GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr)));
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    if (!source || !convert || !resample) {
        for (GstElement* e : {source, convert, resample, sink})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        gst_object_unref(pipeline);
        *error = QStringLiteral("GStreamer cannot play: gstreamer1.0-plugins-base is missing");
        return nullptr;
    }
    GstCaps* caps = gst_caps_from_string(StreamFormat::caps());
    g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, "is-live", FALSE, "block", FALSE,
                 "max-bytes", guint64(0), nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(pipeline), source, convert, resample, sink, nullptr);
    if (!gst_element_link_many(source, convert, resample, sink, nullptr)) {
        gst_object_unref(pipeline);
        *error =
            QStringLiteral("the audio output \"%1\" does not take raw audio").arg(sinkDescription_);
        return nullptr;
    }
    if (observer_) observer_(pipeline, sink);
    auto stream = std::make_shared<AudioStream>(
        pipeline, source, [w = waker_] { w->notify(); }, hardCap_);
    AudioStream::start(stream);
    return stream;
}

void GstAudioOutput::openStream() {
    reap();
    if (busy_) {
        qCWarning(lcAudio) << "a stream was asked for while a sound is awaited; ignored";
        return;
    }
    if (inStream_) closeStream();
    inStream_ = true;
    prerolled_.reset();
    streamFault_.clear();
    streamNoDevice_ = false;
    if (!initError_.isEmpty()) {
        streamFault_ = initError_;
        return;
    }
    const int stuck = int(std::count_if(closing_.begin(), closing_.end(), [](const auto& s) {
        const AudioStream::State st = s->state();
        return st.abandoned && !st.finished;
    }));
    if (stuck >= kMaxStuckStreams) {
        streamFault_ = QStringLiteral(
                           "the sound output is not responding (%1 earlier streams are "
                           "still stuck)")
                           .arg(stuck);
        qCWarning(lcAudio).noquote() << streamFault_;
        return;
    }
    QString error;
    stream_ = startStream(&error);
    if (!stream_) {
        streamFault_ = error;
        qCWarning(lcAudio).noquote() << error;
    }
}

SoundOutcome GstAudioOutput::playToEnd(const QString& path) {
    return play(path, -1, 0);
}

SoundOutcome GstAudioOutput::queueSpan(const QString& path, int milliseconds, int silenceMs) {
    if (milliseconds <= 0) return {};
    return play(path, milliseconds, silenceMs);
}

SoundOutcome GstAudioOutput::makeSound(const QString& path, AudioStream::Sound* sound) const {
    if (SoundOutcome bad = checkFile(path); !bad) return bad;
    QString why;
    sound->uri = soundFileUri(path, &why);
    if (sound->uri.isEmpty()) return SoundOutcome::fileFault(why);
    return {};
}

void GstAudioOutput::prerollIn(const QString& path, qint64 inMs) {
    reap();
    if (busy_ || !inStream_ || !stream_ || !streamFault_.isEmpty()) return;
    AudioStream::Sound sound;
    if (!makeSound(path, &sound)) return;  // its playToEnd says why
    sound.queuedMs = nowMs();
    sound.notBeforeMs = sound.queuedMs + qMax<qint64>(0, inMs);
    prerolled_ = stream_->queue(std::move(sound));
    prerolledPath_ = path;
}

SoundOutcome GstAudioOutput::play(const QString& path, int spanMs, int silenceMs) {
    if (!cut_.isEmpty()) return SoundOutcome::cutOff(QStringLiteral("%1: %2").arg(path, cut_));
    reap();
    if (busy_)
        return SoundOutcome::fileFault(
            QStringLiteral("busy: another sound is playing, not playing %1").arg(path));
    AudioStream::Sound sound;
    if (SoundOutcome bad = makeSound(path, &sound); !bad) return bad;
    sound.spanMs = spanMs;
    sound.silenceMs = silenceMs;

    // A sound on its own gets a stream of its own; a lone span plays out by itself.
    const bool alone = !inStream_;
    if (alone) openStream();
    if (!streamFault_.isEmpty() || !stream_) {
        const QString why = streamFault_;
        if (alone) closeStream();
        return SoundOutcome::outputFailure(QStringLiteral("%1: %2").arg(path, why));
    }

    const std::shared_ptr<AudioStream> stream = stream_;
    sound.queuedMs = nowMs();
    // The sound queued ahead for this turn is awaited, not queued again.
    const bool ahead = prerolled_ && prerolledPath_ == path && spanMs < 0;
    const AudioStream::SoundRef ref = ahead ? prerolled_ : stream->queue(std::move(sound));
    prerolled_.reset();
    AudioStream::Sound now = stream->sound(ref);
    // when its first sample is due
    const qint64 turnMs = std::max(now.queuedMs + now.aheadMs, now.notBeforeMs);
    const bool span = spanMs >= 0;
    busy_ = true;
    const StreamWaker::Wait waited = waker_->waitUntil(
        [&] {
            now = stream->sound(ref);
            return !cut_.isEmpty() || now.failed || (span ? now.fed : now.nearEnd);
        },
        [&] {
            const qint64 cap = turnMs + kStartLimitMs + hardCap_.count() + kMarginMs;
            if (span || !now.started) return std::min(cap, turnMs + kStartLimitMs);
            return std::min(cap, now.startedMs + framesToMs(now.frames) + kMarginMs);
        });
    busy_ = false;
    now = stream->sound(ref);

    SoundOutcome out;
    if (!cut_.isEmpty()) {
        out = SoundOutcome::cutOff(QStringLiteral("%1: %2").arg(path, cut_));
        out.startMs = now.started ? now.startedMs : -1;
    } else if (waited == StreamWaker::Wait::Interrupted) {
        giveUp(QStringLiteral("playback interrupted, the program is ending"));
        out = SoundOutcome::outputFailure(QStringLiteral("%1: %2").arg(path, streamFault_));
    } else if (waited == StreamWaker::Wait::TimedOut) {
        const QString why =
            now.started
                ? QStringLiteral("playback did not end within its length + %1 s")
                      .arg(kMarginMs / 1000)
                : QStringLiteral("playback did not start within %1 s").arg(kStartLimitMs / 1000);
        giveUp(QStringLiteral("the sound output is not responding (%1)").arg(why));
        out = SoundOutcome::outputFailure(QStringLiteral("%1: %2, stopped").arg(path, why));
    } else if (now.failed) {
        out.result = Result::failure(QStringLiteral("%1: %2").arg(path, now.error));
        out.outputFault = now.outputFault;
        if (now.outputFault) {
            const AudioStream::State st = stream->state();
            streamFault_ = now.error;
            streamNoDevice_ = st.noDevice;
        }
    }
    out.startMs = now.startedMs;
    if (now.startedMs >= 0) out.endMs = now.startedMs + framesToMs(now.frames);
    qCDebug(lcAudio).noquote() << (span ? "queued span of" : "played") << path << ":"
                               << (out ? QStringLiteral("ok") : out.result.error);

    if (alone) {
        if (span && stream_) {
            stream_->finish();
            closing_.push_back(std::move(stream_));
            inStream_ = false;
        } else {
            const StreamOutcome closed = closeStream();
            if (out && !closed.result)
                out = SoundOutcome::outputFailure(
                    QStringLiteral("%1: %2").arg(path, closed.result.error));
        }
    }
    return out;
}

void GstAudioOutput::cut(const QString& why) {
    if (!inStream_ || !cut_.isEmpty()) return;
    qCInfo(lcAudio).noquote() << "the sound stream is cut:" << why;
    cut_ = why;
    prerolled_.reset();
    if (stream_) {
        // Its worker stops feeding and tears the pipeline down: silence at once.
        stream_->abandon();
        closing_.push_back(std::move(stream_));
    }
    waker_->notify();
}

StreamOutcome GstAudioOutput::closeStream() {
    reap();
    StreamOutcome out;
    if (!inStream_ || busy_) return out;
    if (!cut_.isEmpty()) {
        inStream_ = false;
        out.result = Result::failure(cut_);
        out.cut = true;
        cut_.clear();
        return out;
    }
    inStream_ = false;
    prerolled_.reset();
    if (!stream_) {
        if (!streamFault_.isEmpty()) out.result = Result::failure(streamFault_);
        out.noDevice = streamNoDevice_;
        return out;
    }
    const std::shared_ptr<AudioStream> stream = std::move(stream_);
    stream->finish();
    AudioStream::State st = stream->state();
    const qint64 deadline = nowMs() + st.aheadMs + kMarginMs;
    busy_ = true;
    const StreamWaker::Wait waited = waker_->waitUntil(
        [&] {
            st = stream->state();
            return st.drained || st.failed || st.finished;
        },
        [&] { return deadline; });
    busy_ = false;
    st = stream->state();
    out.onsetMs = st.onsetMs;
    out.noDevice = st.noDevice;
    if (st.failed) {
        out.result = Result::failure(st.error);
    } else if (waited != StreamWaker::Wait::Done || !st.drained) {
        out.result = Result::failure(QStringLiteral("the sound output did not play out; given up"));
        stream->abandon();
        qCWarning(lcAudio).noquote() << out.result.error;
    }
    closing_.push_back(stream);
    return out;
}

void GstAudioOutput::giveUp(const QString& why) {
    streamFault_ = why;
    qCWarning(lcAudio).noquote() << why << "- the rest of these sounds are skipped";
    if (!stream_) return;
    stream_->abandon();
    closing_.push_back(std::move(stream_));
}

void GstAudioOutput::reap() {
    closing_.erase(std::remove_if(closing_.begin(), closing_.end(),
                                  [](const std::shared_ptr<AudioStream>& s) {
                                      const AudioStream::State st = s->state();
                                      if (!st.finished || !s->join(0ms)) return false;
                                      if (st.abandoned)
                                          qCInfo(lcAudio) << "a sound stream given up earlier "
                                                             "has come back and is released";
                                      return true;
                                  }),
                   closing_.end());
}

int GstAudioOutput::liveStreams() {
    reap();
    return int(closing_.size()) + (stream_ ? 1 : 0);
}

}  // namespace tavirin
