#include "platform/audio/audiostream.h"

#include "platform/audio/filedecoder.h"
#include "platform/audio/soundchecks.h"
#include "platform/logging.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <cstring>

namespace tavirin {
namespace {

using namespace std::chrono_literals;
using Format = StreamFormat;

constexpr qint64 kAheadMs = 1500;        // decoded audio queued ahead of the output, at most
constexpr qint64 kSafetyExtraMs = 40;    // beyond the sink's own buffer: a sample queued later
                                         // than that before the output reaches it is not heard
constexpr qint64 kLeadExtraMs = 250;     // for the owner to queue the next sound and the
                                         // decoder to deliver its first samples
constexpr qint64 kDecodeLimitMs = 3000;  // a decoder silent that long has hung
constexpr qint64 kFadeMs = 5;            // the end of a span, so the cut does not click
constexpr auto kPoll = 5ms;

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
qint64 framesToNs(qint64 frames) {
    return qint64(gst_util_uint64_scale_int(guint64(frames), GST_SECOND, Format::kRate));
}
qint64 nsToFrames(qint64 ns) {
    return qint64(gst_util_uint64_scale_int(guint64(ns), Format::kRate, GST_SECOND));
}
qint64 msToFrames(qint64 ms) {
    return ms * Format::kRate / 1000;
}
qint64 framesToMs(qint64 frames) {
    return frames * 1000 / Format::kRate;
}

QString messageError(GstMessage* msg) {
    GError* err = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &err, &debug);
    QString text = err ? QString::fromUtf8(err->message) : QStringLiteral("unknown error");
    qCDebug(lcAudio) << "GStreamer error detail:" << (debug ? debug : "");
    g_clear_error(&err);
    g_free(debug);
    return text;
}

// Fades the last kFadeMs of S16 interleaved samples to zero.
void fadeOut(QByteArray& pcm) {
    const qint64 frames = pcm.size() / Format::kFrameBytes;
    const qint64 fade = std::min(frames, msToFrames(kFadeMs));
    auto* s = reinterpret_cast<qint16*>(pcm.data());
    for (qint64 i = 0; i < fade; ++i) {
        const qint64 f = frames - fade + i;
        const double gain = double(fade - 1 - i) / double(fade);
        for (int c = 0; c < Format::kChannels; ++c) {
            qint16& v = s[f * Format::kChannels + c];
            v = qint16(v * gain);
        }
    }
}

}  // namespace

AudioStream::AudioStream(GstElement* pipeline, GstElement* source, std::function<void()> notify,
                         std::chrono::milliseconds hardCap)
    : pipeline_(pipeline),
      source_(source),
      notify_(std::move(notify)),
      hardCapFrames_(msToFrames(hardCap.count())) {}

AudioStream::~AudioStream() {
    if (worker_.joinable()) {
        if (worker_.get_id() == std::this_thread::get_id())
            worker_.detach();
        else
            worker_.join();
    }
    if (pipeline_) gst_object_unref(pipeline_);  // never started
}

void AudioStream::start(const std::shared_ptr<AudioStream>& self) {
    self->worker_ = std::thread([self] { self->run(); });
}

AudioStream::SoundRef AudioStream::queue(Sound sound) {
    auto s = std::make_shared<Sound>(std::move(sound));
    std::lock_guard lock(mutex_);
    if (state_.failed || state_.abandoned) {
        s->fed = true;
        s->failed = true;
        s->outputFault = true;
        s->error =
            state_.error.isEmpty() ? QStringLiteral("the sound output was given up") : state_.error;
        return s;
    }
    s->aheadMs = state_.aheadMs;
    queued_.push_back(s);
    wake_.notify_all();
    return s;
}

void AudioStream::finish() {
    std::lock_guard lock(mutex_);
    finishing_ = true;
    wake_.notify_all();
}

void AudioStream::abandon() {
    std::lock_guard lock(mutex_);
    state_.abandoned = true;
    wake_.notify_all();
}

AudioStream::State AudioStream::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

AudioStream::Sound AudioStream::sound(const SoundRef& ref) const {
    std::lock_guard lock(mutex_);
    return *ref;
}

bool AudioStream::join(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        if (!wake_.wait_for(lock, timeout, [this] { return state_.finished; })) return false;
    }
    if (worker_.joinable()) worker_.join();
    return true;
}

void AudioStream::detach() {
    if (worker_.joinable()) worker_.detach();
}

void AudioStream::notifyOwner() {
    if (notify_) notify_();
}

void AudioStream::run() {
    openDevice();
    notifyOwner();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (state_.abandoned || state_.failed || state_.drained) break;
        }
        pollBus();
        trackPosition();
        feed();
        std::unique_lock lock(mutex_);
        if (state_.abandoned || state_.failed || state_.drained) break;
        wake_.wait_for(lock, kPoll);
    }
    decoder_.reset();
    // With a hung sound server this can block until the server comes back; only this
    // thread waits for it.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
    {
        std::lock_guard lock(mutex_);
        state_.finished = true;
        wake_.notify_all();
    }
    notifyOwner();
}

void AudioStream::openDevice() {
    // NULL -> READY opens the device: seconds, or half a minute on a hung sound server
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        QString why = QStringLiteral("the sound output cannot be opened");
        GstBus* bus = gst_element_get_bus(pipeline_);
        if (GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            why += QStringLiteral(": ") + messageError(msg);
            gst_message_unref(msg);
        }
        gst_object_unref(bus);
        failStream(why, false);
        return;
    }
    // Which sink really plays, and how much it buffers. autoaudiosink that finds no usable
    // device puts a fakesink in its place and only warns: nothing would be heard.
    const SinkInspection sink = inspectSink(pipeline_);
    const QString& device = sink.device;
    const bool standIn = sink.standIn;
    const gint64 bufferUs = sink.bufferUs;

    if (standIn) {
        failStream(QStringLiteral("no sound device: autoaudiosink found no usable audio output "
                                  "and fell back to a silent fakesink"),
                   true);
        return;
    }
    // Only a sink with a ring buffer drops samples that come too late; a fakesink or a
    // capture plays them late, so nothing needs filling there.
    safetyFrames_ = bufferUs > 0 ? msToFrames(bufferUs / 1000 + kSafetyExtraMs) : 0;
    leadFrames_ = safetyFrames_ + msToFrames(kLeadExtraMs);
    qCDebug(lcAudio).noquote() << "output stream open" << (device.isEmpty() ? "" : "on " + device)
                               << "buffer" << bufferUs / 1000 << "ms";
    std::lock_guard lock(mutex_);
    state_.opened = true;
    state_.leadMs = framesToMs(leadFrames_);
}

void AudioStream::pollBus() {
    GstBus* bus = gst_element_get_bus(pipeline_);
    while (GstMessage* msg = gst_bus_pop(bus)) {
        switch (GST_MESSAGE_TYPE(msg)) {
            case GST_MESSAGE_ERROR:
                failStream(messageError(msg), false);
                break;
            case GST_MESSAGE_EOS:
                eosSeen_ = true;
                break;
            case GST_MESSAGE_WARNING: {
                GError* err = nullptr;
                gst_message_parse_warning(msg, &err, nullptr);
                qCDebug(lcAudio) << "output warning:" << (err ? err->message : "");
                g_clear_error(&err);
                break;
            }
            default:
                break;
        }
        gst_message_unref(msg);
    }
    gst_object_unref(bus);
}

void AudioStream::trackPosition() {
    gint64 ns = -1;
    if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns) && ns > 0) {
        positionFrame_ = std::max(positionFrame_, nsToFrames(ns));
        outputRunning_ = true;
    }
    // What the sink has taken from the stream (it may render ahead of its clock, as a
    // PulseAudio null sink does at its default latency).
    const qint64 taken =
        writeFrame_ -
        qint64(gst_app_src_get_current_level_bytes(GST_APP_SRC(source_))) / Format::kFrameBytes;
    const qint64 now = nowMs();
    bool moved = false;
    std::unique_lock lock(mutex_);
    for (const SoundRef& s : playing_) {
        if (!s->started && s->frames > 0 && positionFrame_ > s->startFrame) {
            s->started = true;
            s->startedMs = now - framesToMs(positionFrame_ - s->startFrame);
            if (state_.onsetMs < 0) state_.onsetMs = s->startedMs;
            moved = true;
        }
        const qint64 end = s->startFrame + s->frames;
        if (s->fed && !s->nearEnd && (positionFrame_ >= end - leadFrames_ || taken >= end)) {
            s->nearEnd = true;
            // shorter than the lead: its owner hears back before it starts, with when it will
            if (s->startedMs < 0) s->startedMs = now + framesToMs(s->startFrame - positionFrame_);
            moved = true;
        }
    }
    while (!playing_.empty() && playing_.front()->fed &&
           positionFrame_ >= playing_.front()->startFrame + playing_.front()->frames)
        playing_.pop_front();
    state_.aheadMs = framesToMs(std::max<qint64>(0, writeFrame_ - positionFrame_));
    if (eosSeen_ && !state_.drained) {
        // the sink posts end-of-stream once its last sample has been played out
        state_.drained = true;
        for (const SoundRef& s : playing_) s->nearEnd = true;
        playing_.clear();
        moved = true;
    }
    lock.unlock();
    if (moved) notifyOwner();
}

void AudioStream::feed() {
    for (int step = 0; step < 64; ++step) {
        SoundRef s;
        bool endNow = false;
        {
            std::lock_guard lock(mutex_);
            if (!queued_.empty())
                s = queued_.front();
            else
                endNow = finishing_ && !eosSent_;
        }
        if (!s) {
            if (endNow) {
                gst_app_src_end_of_stream(GST_APP_SRC(source_));
                eosSent_ = true;
            }
            return;
        }
        // Enough is queued ahead of the output; and whatever its clock says, no more than
        // that waits in front of a sink that takes nothing (a hung server).
        if (writeFrame_ - positionFrame_ >= msToFrames(kAheadMs) ||
            gst_app_src_get_current_level_bytes(GST_APP_SRC(source_)) >=
                guint64(msToFrames(kAheadMs) * Format::kFrameBytes)) {
            decoderStart_ = std::chrono::steady_clock::now();  // not asked: not silent
            return;
        }
        if (!padUntilDue(s) || !feedCurrent(s)) return;
    }
}

bool AudioStream::feedCurrent(const SoundRef& s) {
    const auto now = std::chrono::steady_clock::now();
    if (!decoder_) {
        decoder_ = std::make_unique<FileDecoder>();
        decoderStart_ = now;
        span_.clear();
        if (!decoder_->open(s->uri)) {
            finishSound(s, false, decoder_->error());
            return true;
        }
    }
    GstBuffer* buffer = nullptr;
    switch (decoder_->pull(&buffer)) {
        case FileDecoder::Pull::Later:
            if (now - decoderStart_ > std::chrono::milliseconds(kDecodeLimitMs)) {
                finishSound(s, false, QStringLiteral("the decoder stopped delivering"));
                return true;
            }
            return false;
        case FileDecoder::Pull::Failed:
            finishSound(s, false, decoder_->error());
            return true;
        case FileDecoder::Pull::End: {
            if (s->spanMs >= 0 && !span_.isEmpty()) pushSpan(s);
            bool any;
            {
                std::lock_guard lock(mutex_);
                any = s->frames > 0;
            }
            finishSound(s, any, QStringLiteral("no sound in the file"));
            return true;
        }
        case FileDecoder::Pull::Buffer:
            break;
    }
    decoderStart_ = now;  // the limit is on silence from the decoder, not on the file's length
    if (s->spanMs >= 0) {
        const qsizetype want = qsizetype(msToFrames(s->spanMs) * Format::kFrameBytes);
        const qsizetype take =
            std::min<qsizetype>(want - span_.size(), qsizetype(gst_buffer_get_size(buffer)));
        const qsizetype at = span_.size();
        span_.resize(at + take);
        gst_buffer_extract(buffer, 0, span_.data() + at, gsize(take));
        gst_buffer_unref(buffer);
        if (span_.size() >= want) {
            pushSpan(s);
            finishSound(s, true, {});
        }
        return true;
    }
    qint64 frames = qint64(gst_buffer_get_size(buffer)) / Format::kFrameBytes;
    qint64 done;
    {
        std::lock_guard lock(mutex_);
        done = s->frames;
    }
    const bool cut = done + frames > hardCapFrames_;
    if (cut) frames = std::max<qint64>(0, hardCapFrames_ - done);
    if (frames > 0) {
        beginSound(s);
        buffer = gst_buffer_make_writable(buffer);
        gst_buffer_resize(buffer, 0, gssize(frames * Format::kFrameBytes));
        pushBuffer(buffer, frames);
        std::lock_guard lock(mutex_);
        s->frames += frames;
    } else {
        gst_buffer_unref(buffer);
    }
    if (cut)
        finishSound(s, false,
                    QStringLiteral("longer than the limit of %1 s, cut there")
                        .arg(double(framesToMs(hardCapFrames_)) / 1000));
    return true;
}

// A sound with a due time: silence runs the output until the sample that is heard then, so
// the sound's first sample is heard on time however long the device took to start. Should
// the output not be running in time, the sound simply starts (as one without a due time).
bool AudioStream::padUntilDue(const SoundRef& s) {
    qint64 due;
    {
        std::lock_guard lock(mutex_);
        if (s->startFrame >= 0) return true;
        due = s->notBeforeMs;
    }
    if (due < 0 || padDone_) return true;
    const qint64 now = nowMs();
    constexpr qint64 kStartSilenceMs = 100;
    constexpr qint64 kSteadyMs = 150;  // the position has kept pace with the clock this long
    if (outputRunning_ && runningSinceMs_ < 0) {
        runningSinceMs_ = now;
        runningSinceFrame_ = positionFrame_;
    }
    const qint64 ranMs = now - runningSinceMs_;
    // (A sink without a ring buffer, a capture or a fakesink, takes what it is given.)
    const bool paced =
        safetyFrames_ == 0 ||
        (ranMs >= kSteadyMs && framesToMs(positionFrame_ - runningSinceFrame_) * 10 >= ranMs * 8);
    const bool steady = outputRunning_ && paced;
    if (outputRunning_ && !steady && ranMs >= kSteadyMs) {
        // not keeping pace (standing still, or only just started): look again from here
        runningSinceMs_ = now;
        runningSinceFrame_ = positionFrame_;
    }
    if (!steady) {
        if (now + framesToMs(safetyFrames_) + kStartSilenceMs >= due) return padDone_ = true;
        // enough to start the output's clock and keep it fed, not so much that it delays the
        // sound should it have to start unplaced
        const qint64 want =
            (safetyFrames_ > 0 ? positionFrame_ : 0) + safetyFrames_ + msToFrames(kStartSilenceMs);
        if (writeFrame_ < want) pushSilence(want - writeFrame_);
        return false;
    }
    const qint64 target = positionFrame_ + msToFrames(due - now);
    const qint64 upTo = std::min(target, positionFrame_ + msToFrames(kAheadMs));
    if (writeFrame_ < upTo) pushSilence(upTo - writeFrame_);
    if (writeFrame_ < target) return false;
    return padDone_ = true;
}

void AudioStream::beginSound(const SoundRef& s) {
    {
        std::lock_guard lock(mutex_);
        if (s->startFrame >= 0) return;
    }
    // Queued after the output has already run dry: fill with silence up to where the sound
    // can still be heard from its first sample. In its first moments a stream has less than
    // that queued by nature (it has only just begun), and nothing can have run dry yet.
    if (outputRunning_ && safetyFrames_ > 0 && positionFrame_ > safetyFrames_ &&
        writeFrame_ < positionFrame_ + safetyFrames_) {
        const qint64 gap = positionFrame_ + safetyFrames_ - writeFrame_;
        qCInfo(lcAudio) << "a sound came late:" << framesToMs(gap) << "ms of silence before it";
        pushSilence(gap);
    }
    std::lock_guard lock(mutex_);
    s->startFrame = writeFrame_;
    playing_.push_back(s);
}

void AudioStream::pushSpan(const SoundRef& s) {
    fadeOut(span_);
    const qint64 frames = span_.size() / Format::kFrameBytes;
    beginSound(s);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, gsize(span_.size()), nullptr);
    gst_buffer_fill(buffer, 0, span_.constData(), gsize(span_.size()));
    pushBuffer(buffer, frames);
    {
        std::lock_guard lock(mutex_);
        s->frames = frames;
    }
    span_.clear();
    pushSilence(msToFrames(s->silenceMs));
}

void AudioStream::pushBuffer(GstBuffer* buffer, qint64 frames) {
    GST_BUFFER_PTS(buffer) = GstClockTime(framesToNs(writeFrame_));
    GST_BUFFER_DURATION(buffer) =
        GstClockTime(framesToNs(writeFrame_ + frames) - framesToNs(writeFrame_));
    writeFrame_ += frames;
    gst_app_src_push_buffer(GST_APP_SRC(source_), buffer);  // takes the buffer
}

void AudioStream::pushSilence(qint64 frames) {
    if (frames <= 0) return;
    const gsize bytes = gsize(frames * Format::kFrameBytes);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_memset(buffer, 0, 0, bytes);
    pushBuffer(buffer, frames);
}

void AudioStream::finishSound(const SoundRef& s, bool ok, const QString& error) {
    decoder_.reset();
    padDone_ = false;
    span_.clear();
    {
        std::lock_guard lock(mutex_);
        if (!queued_.empty() && queued_.front() == s) queued_.pop_front();
        s->fed = true;
        if (!ok) {
            s->failed = true;
            s->error = error;
        }
    }
    notifyOwner();
}

void AudioStream::failStream(const QString& why, bool noDevice) {
    {
        std::lock_guard lock(mutex_);
        if (state_.failed) return;
        state_.failed = true;
        state_.noDevice = noDevice;
        state_.error = why;
        auto fail = [&](const SoundRef& s) {
            if (s->nearEnd && !s->failed) return;  // its owner has had its answer
            s->fed = true;
            s->failed = true;
            s->outputFault = true;
            s->error = why;
        };
        for (const SoundRef& s : queued_) fail(s);
        for (const SoundRef& s : playing_) fail(s);
        queued_.clear();
        playing_.clear();
    }
    qCWarning(lcAudio).noquote() << "sound output failed:" << why;
    notifyOwner();
}

}  // namespace tavirin
