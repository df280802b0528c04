#include "platform/audio/gstaudiooutput.h"

#include "platform/logging.h"

#include <gst/gst.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <climits>
#include <deque>
#include <mutex>
#include <optional>

namespace tavirin {
namespace {

constexpr guint kPlayFlagAudio = 1u << 1;  // GST_PLAY_FLAG_AUDIO: no video or subtitle chain
constexpr qint64 kMarginMs = 3000;         // added to the file's duration
constexpr qint64 kPrerollLimitMs = 10000;  // a file that has not started by then never will
constexpr int kWoken = 0x7a01;
constexpr int kTimedOut = 0x7a02;
constexpr GstMessageType kWaitMask =
    GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE);

QString gstStartError() {
    static const QString error = [] {
        GError* err = nullptr;
        if (gst_init_check(nullptr, nullptr, &err)) return QString();
        QString why = err ? QString::fromUtf8(err->message) : QStringLiteral("unknown reason");
        g_clear_error(&err);
        return QStringLiteral("GStreamer could not start: %1").arg(why);
    }();
    return error;
}

QString takeError(GstMessage* msg) {
    GError* err = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &err, &debug);
    QString text = err ? QString::fromUtf8(err->message) : QStringLiteral("unknown error");
    qCDebug(lcAudio) << "GStreamer error detail:" << (debug ? debug : "");
    g_clear_error(&err);
    g_free(debug);
    return text;
}

void release(GstElement* playbin) {
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);
}

// --- playToEnd: waking the nested event loop from GStreamer's threads -------------------

// The sync handler runs before the bus queues the message, so the waiting thread could wake
// and find the bus still empty; the handler therefore hands the message over itself.
struct Waiter {
    QObject* waker = nullptr;  // lives in the waiting thread
    QEventLoop* loop = nullptr;
    std::mutex mutex;
    std::deque<GstMessage*> messages;

    GstMessage* take() {
        std::lock_guard lock(mutex);
        if (messages.empty()) return nullptr;
        GstMessage* msg = messages.front();
        messages.pop_front();
        return msg;
    }
    ~Waiter() {
        while (GstMessage* msg = take()) gst_message_unref(msg);
    }
};

GstBusSyncReply wakeOnMessage(GstBus*, GstMessage* msg, gpointer data) {
    if (!(GST_MESSAGE_TYPE(msg) & kWaitMask)) return GST_BUS_PASS;
    auto* waiter = static_cast<Waiter*>(data);
    {
        std::lock_guard lock(waiter->mutex);
        waiter->messages.push_back(gst_message_ref(msg));
    }
    QEventLoop* loop = waiter->loop;
    QMetaObject::invokeMethod(
        waiter->waker, [loop] { loop->exit(kWoken); }, Qt::QueuedConnection);
    return GST_BUS_DROP;
}

// --- startSpan: preroll, seek and start happen on GStreamer's threads ---------------------

struct SpanShared {
    std::mutex mutex;
    bool cancelled = false;  // set under the mutex when the owner releases the pipeline
    std::atomic<bool> finished{false};
    std::atomic<bool> seeked{false};
    gint64 stopNs = 0;
};
using SpanRef = std::shared_ptr<SpanShared>;

void deleteSpanRef(gpointer data) {
    delete static_cast<SpanRef*>(data);
}

void spanPause(GstElement* playbin, gpointer data) {
    SpanShared& s = **static_cast<SpanRef*>(data);
    std::lock_guard lock(s.mutex);
    if (s.cancelled) return;
    if (gst_element_set_state(playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        s.finished = true;
}

void spanSeekAndPlay(GstElement* playbin, gpointer data) {
    SpanShared& s = **static_cast<SpanRef*>(data);
    std::lock_guard lock(s.mutex);
    if (s.cancelled) return;
    const auto flags = GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    if (!gst_element_seek(playbin, 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, 0,
                          GST_SEEK_TYPE_SET, s.stopNs)) {
        qCWarning(lcAudio) << "span: the file cannot be cut, not playing it";
        s.finished = true;
        return;
    }
    if (gst_element_set_state(playbin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        s.finished = true;
}

void spanStop(GstElement* playbin, gpointer) {
    gst_element_set_state(playbin, GST_STATE_NULL);
}

GstBusSyncReply spanOnMessage(GstBus*, GstMessage* msg, gpointer data) {
    const SpanRef& ref = *static_cast<SpanRef*>(data);
    GstObject* src = GST_MESSAGE_SRC(msg);
    switch (GST_MESSAGE_TYPE(msg)) {
        case GST_MESSAGE_ASYNC_DONE:
            if (GST_IS_PIPELINE(src) && !ref->seeked.exchange(true))
                gst_element_call_async(GST_ELEMENT(src), spanSeekAndPlay, new SpanRef(ref),
                                       deleteSpanRef);
            break;
        case GST_MESSAGE_ERROR:
            qCWarning(lcAudio).noquote() << "span failed:" << takeError(msg);
            [[fallthrough]];
        case GST_MESSAGE_EOS:
            if (!ref->finished.exchange(true)) {
                // release the device now; the owner frees the pipeline later
                GstElement* top = GST_ELEMENT(src);
                while (GST_OBJECT_PARENT(top)) top = GST_ELEMENT(GST_OBJECT_PARENT(top));
                gst_element_call_async(top, spanStop, nullptr, nullptr);
            }
            break;
        default:
            break;
    }
    return GST_BUS_PASS;
}

}  // namespace

struct GstAudioOutput::Span {
    GstElement* playbin = nullptr;
    SpanRef shared;
    QElapsedTimer age;
    qint64 limitMs = 0;
};

GstAudioOutput::GstAudioOutput(QString sinkDescription, std::chrono::milliseconds hardCap)
    : sinkDescription_(std::move(sinkDescription)), hardCap_(hardCap) {
    initError_ = gstStartError();
    if (!initError_.isEmpty()) qCWarning(lcAudio).noquote() << initError_;
}

GstAudioOutput::~GstAudioOutput() {
    reapSpans(true);
}

Result GstAudioOutput::checkFile(const QString& path) const {
    if (!initError_.isEmpty()) return Result::failure(initError_);
    if (path.isEmpty()) return Result::failure(QStringLiteral("no sound file given"));
    const QFileInfo info(path);
    if (!info.exists()) return Result::failure(QStringLiteral("file not found: %1").arg(path));
    if (info.isDir())
        return Result::failure(QStringLiteral("a folder, not a sound file: %1").arg(path));
    // a FIFO or a device would block the reader, so only plain files are played
    if (!info.isFile()) return Result::failure(QStringLiteral("not a plain file: %1").arg(path));
    if (info.size() == 0) return Result::failure(QStringLiteral("the file is empty: %1").arg(path));
    if (!info.isReadable())
        return Result::failure(QStringLiteral("the file cannot be read: %1").arg(path));
    return Result::success();
}

Result GstAudioOutput::buildPipeline(const QString& path, GstElement** out) {
    *out = nullptr;
    GError* err = nullptr;
    const QByteArray local = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    gchar* uri = gst_filename_to_uri(local.constData(), &err);
    if (!uri) {
        const QString why = err ? QString::fromUtf8(err->message) : QString();
        g_clear_error(&err);
        return Result::failure(QStringLiteral("cannot name the file %1: %2").arg(path, why));
    }
    GstElement* sink =
        gst_parse_bin_from_description(sinkDescription_.toUtf8().constData(), TRUE, &err);
    if (err || !sink) {
        const QString why = err ? QString::fromUtf8(err->message) : QString();
        g_clear_error(&err);
        if (sink) gst_object_unref(gst_object_ref_sink(sink));
        g_free(uri);
        return Result::failure(QStringLiteral("the audio output \"%1\" cannot be built: %2")
                                   .arg(sinkDescription_, why));
    }
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin) {
        gst_object_unref(gst_object_ref_sink(sink));
        g_free(uri);
        return Result::failure(QStringLiteral("GStreamer has no playbin (plugins-base missing)"));
    }
    g_object_set(playbin, "uri", uri, "flags", kPlayFlagAudio, "audio-sink", sink, nullptr);
    g_free(uri);
    if (observer_) observer_(playbin, sink);
    *out = playbin;
    return Result::success();
}

Result GstAudioOutput::playToEnd(const QString& path) {
    reapSpans(false);
    if (playing_)
        return Result::failure(
            QStringLiteral("busy: another sound is playing, not playing %1").arg(path));
    if (Result ok = checkFile(path); !ok) return ok;

    GstElement* playbin = nullptr;
    if (Result ok = buildPipeline(path, &playbin); !ok) return ok;
    playing_ = true;

    const bool withLoop = QCoreApplication::instance() != nullptr;
    // only with an application: without one a QEventLoop does not run
    std::optional<QEventLoop> loop;
    std::optional<QObject> waker;  // after the loop: its pending wake-ups die before the loop
    std::optional<QTimer> deadline;
    if (withLoop) {
        loop.emplace();
        waker.emplace();
        deadline.emplace();
        deadline->setSingleShot(true);
        QObject::connect(&*deadline, &QTimer::timeout, &*loop,
                         [l = &*loop] { l->exit(kTimedOut); });
    }
    Waiter waiter;
    waiter.waker = waker ? &*waker : nullptr;
    waiter.loop = loop ? &*loop : nullptr;
    GstBus* bus = gst_element_get_bus(playbin);
    if (withLoop) gst_bus_set_sync_handler(bus, wakeOnMessage, &waiter, nullptr);

    QElapsedTimer clock;
    clock.start();
    const qint64 capMs = hardCap_.count();
    qint64 limitMs = std::min(capMs, kPrerollLimitMs);  // until prerolled
    bool prerolled = false;
    std::optional<Result> outcome;

    auto handle = [&](GstMessage* msg) {
        switch (GST_MESSAGE_TYPE(msg)) {
            case GST_MESSAGE_ERROR:
                outcome = Result::failure(QStringLiteral("%1: %2").arg(path, takeError(msg)));
                break;
            case GST_MESSAGE_EOS:
                qCDebug(lcAudio) << "end of stream after" << clock.elapsed() << "ms";
                outcome = Result::success();
                break;
            case GST_MESSAGE_ASYNC_DONE: {
                if (prerolled || GST_MESSAGE_SRC(msg) != GST_OBJECT(playbin)) break;
                prerolled = true;
                qCDebug(lcAudio) << "prerolled after" << clock.elapsed() << "ms";
                gint audioStreams = 0;
                g_object_get(playbin, "n-audio", &audioStreams, nullptr);
                if (audioStreams == 0) {
                    outcome = Result::failure(QStringLiteral("no sound in the file: %1").arg(path));
                    break;
                }
                gint64 duration = -1;
                limitMs = capMs;
                if (gst_element_query_duration(playbin, GST_FORMAT_TIME, &duration) && duration > 0)
                    limitMs = std::min(capMs, clock.elapsed() + duration / GST_MSECOND + kMarginMs);
                break;
            }
            default:
                break;
        }
        gst_message_unref(msg);
    };

    // on failure the error message tells why; it is read below like any other
    const bool refused =
        gst_element_set_state(playbin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE;

    while (!outcome) {
        while (!outcome) {
            GstMessage* msg = withLoop ? waiter.take() : gst_bus_pop_filtered(bus, kWaitMask);
            if (!msg) break;
            handle(msg);
        }
        if (outcome) break;
        if (refused) {
            outcome =
                Result::failure(QStringLiteral("%1: the audio output refused to start").arg(path));
            break;
        }
        const qint64 left = limitMs - clock.elapsed();
        if (left <= 0) {
            outcome = Result::failure(QStringLiteral("%1: playback %2 after %3 ms, stopped")
                                          .arg(path, prerolled ? QStringLiteral("did not end")
                                                               : QStringLiteral("did not start"))
                                          .arg(clock.elapsed()));
            break;
        }
        if (withLoop) {
            deadline->start(int(std::min<qint64>(left, INT_MAX)));
            const int code = loop->exec(QEventLoop::ExcludeUserInputEvents);
            deadline->stop();
            if (code != kWoken && code != kTimedOut)
                outcome = Result::failure(
                    QStringLiteral("%1: playback interrupted, the program is ending").arg(path));
        } else if (GstMessage* msg =
                       gst_bus_timed_pop_filtered(bus, left * GST_MSECOND, kWaitMask)) {
            handle(msg);
        }
    }

    qCDebug(lcAudio) << "played" << path << "in" << clock.elapsed()
                     << "ms:" << (outcome->ok ? QStringLiteral("ok") : outcome->error);
    release(playbin);  // streaming threads stop here, so the sync handler runs no more
    if (withLoop) gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    playing_ = false;
    return *outcome;
}

Result GstAudioOutput::startSpan(const QString& path, int milliseconds) {
    reapSpans(false);
    if (Result ok = checkFile(path); !ok) return ok;
    if (milliseconds <= 0) return Result::success();

    GstElement* playbin = nullptr;
    if (Result ok = buildPipeline(path, &playbin); !ok) return ok;

    auto span = std::make_unique<Span>();
    span->playbin = playbin;
    span->shared = std::make_shared<SpanShared>();
    span->shared->stopNs = gint64(milliseconds) * GST_MSECOND;
    span->limitMs = std::min<qint64>(hardCap_.count(), milliseconds + kPrerollLimitMs);
    span->age.start();

    GstBus* bus = gst_element_get_bus(playbin);
    // the handler's reference is dropped when the bus goes away with the pipeline
    gst_bus_set_sync_handler(bus, spanOnMessage, new SpanRef(span->shared), deleteSpanRef);
    gst_object_unref(bus);
    // even opening the sink may take a while: not on the caller's time
    gst_element_call_async(playbin, spanPause, new SpanRef(span->shared), deleteSpanRef);
    spans_.push_back(std::move(span));
    return Result::success();
}

int GstAudioOutput::pendingSpans() {
    reapSpans(false);
    return int(spans_.size());
}

void GstAudioOutput::reapSpans(bool all) {
    auto done = [all](const std::unique_ptr<Span>& s) {
        const bool overdue = s->age.elapsed() > s->limitMs;
        if (!(all || s->shared->finished || overdue)) return false;
        if (overdue && !s->shared->finished)
            qCWarning(lcAudio) << "span did not end in time, stopped";
        {
            std::lock_guard lock(s->shared->mutex);
            s->shared->cancelled = true;
        }
        release(s->playbin);
        return true;
    };
    spans_.erase(std::remove_if(spans_.begin(), spans_.end(), done), spans_.end());
}

}  // namespace tavirin
