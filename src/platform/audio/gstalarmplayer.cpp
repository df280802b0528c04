#include "platform/audio/gstalarmplayer.h"

#include "platform/audio/gstcontext.h"
#include "platform/audio/soundchecks.h"
#include "platform/logging.h"

#include <QFileInfo>
#include <QUrl>

#include <gst/gst.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tavirin {

using Event = AlarmPlayer::Event;

// Everything below `post` is touched only on the worker's own thread.
struct GstAlarmPlayer::Worker {
    QString sink;
    GstAlarmPlayer::PipelineObserver observer;
    GMainContext* context = g_main_context_new();
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    std::thread thread;

    std::mutex postMutex;
    std::function<void(quint64 round, Event event, int index, const QString& detail)> post;

    GstElement* pipeline = nullptr;
    GstElement* sinkBin = nullptr;  // the pipeline's, while it lives
    GSource* busWatch = nullptr;
    quint64 round = 0;
    QStringList files;
    int index = -1;

    ~Worker() {
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }
};

namespace {

using Worker = GstAlarmPlayer::Worker;

constexpr guint kPlayFlagAudio = 1u << 1;

QString gstInitError() {
    return gstcontext::initError();
}

void onWorker(Worker* w, std::function<void(Worker*)> run) {
    gstcontext::post(w->context, [w, run = std::move(run)] { run(w); });
}

void report(Worker* w, Event event, int index, const QString& detail) {
    std::lock_guard lock(w->postMutex);
    if (w->post) w->post(w->round, event, index, detail);
}

void teardown(Worker* w) {
    if (w->busWatch) {
        g_source_destroy(w->busWatch);
        g_source_unref(w->busWatch);
        w->busWatch = nullptr;
    }
    if (w->pipeline) {
        // may wait for a slow sound server, on this thread only
        gst_element_set_state(w->pipeline, GST_STATE_NULL);
        gst_object_unref(w->pipeline);
        w->pipeline = nullptr;
        w->sinkBin = nullptr;
    }
}

void playNext(Worker* w);

gboolean onBus(GstBus*, GstMessage* msg, gpointer data) {
    auto* w = static_cast<Worker*>(data);
    switch (GST_MESSAGE_TYPE(msg)) {
        case GST_MESSAGE_EOS:
            playNext(w);
            break;
        case GST_MESSAGE_ERROR: {
            GError* err = nullptr;
            gst_message_parse_error(msg, &err, nullptr);
            const QString why = err ? QString::fromUtf8(err->message) : QStringLiteral("?");
            g_clear_error(&err);
            report(w, Event::Failed, w->index, why);
            playNext(w);
            break;
        }
        case GST_MESSAGE_STATE_CHANGED:
            if (GST_MESSAGE_SRC(msg) == GST_OBJECT(w->pipeline)) {
                GstState from, to;
                gst_message_parse_state_changed(msg, &from, &to, nullptr);
                if (to == GST_STATE_PLAYING && from == GST_STATE_PAUSED) {
                    // autoaudiosink that finds no usable output plays into a fakesink and only
                    // warns: the alarm would be silent while the banner said it sounded.
                    if (w->sinkBin && inspectSink(w->sinkBin).standIn) {
                        report(w, Event::Failed, w->index,
                               QStringLiteral("no sound device: autoaudiosink found no usable "
                                              "audio output and fell back to a silent fakesink"));
                        playNext(w);
                        break;
                    }
                    report(w, Event::Started, w->index, {});
                }
            }
            break;
        default:
            break;
    }
    return G_SOURCE_CONTINUE;
}

void playNext(Worker* w) {
    teardown(w);
    for (++w->index; w->index < w->files.size(); ++w->index) {
        const QString path = w->files.at(w->index);
        const QFileInfo info(path);
        if (!info.isFile() || info.size() == 0) {
            report(w, Event::Failed, w->index,
                   path.isEmpty() ? QStringLiteral("no file named")
                                  : QStringLiteral("no such file: ") + path);
            continue;
        }
        GstElement* playbin = gst_element_factory_make("playbin", nullptr);
        GError* err = nullptr;
        GstElement* sink = gst_parse_bin_from_description(w->sink.toUtf8().constData(), TRUE, &err);
        if (!playbin || !sink) {
            const QString why =
                err ? QString::fromUtf8(err->message) : QStringLiteral("no playbin");
            g_clear_error(&err);
            if (playbin) gst_object_unref(playbin);
            if (sink) gst_object_unref(sink);
            report(w, Event::Failed, w->index, why);
            continue;
        }
        guint flags = 0;
        g_object_get(playbin, "flags", &flags, nullptr);
        g_object_set(playbin, "flags", (flags & ~0x7u) | kPlayFlagAudio, "audio-sink", sink, "uri",
                     QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded().constData(), nullptr);
        w->pipeline = playbin;
        w->sinkBin = sink;
        if (w->observer) w->observer(playbin, sink);
        GstBus* bus = gst_element_get_bus(playbin);
        w->busWatch = gst_bus_create_watch(bus);
        g_source_set_callback(w->busWatch, reinterpret_cast<GSourceFunc>(onBus), w, nullptr);
        g_source_attach(w->busWatch, w->context);
        gst_object_unref(bus);
        if (gst_element_set_state(playbin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            report(w, Event::Failed, w->index, QStringLiteral("the sound output refused it"));
            teardown(w);
            continue;
        }
        return;
    }
    report(w, Event::Finished, -1, {});
}

}  // namespace

GstAlarmPlayer::GstAlarmPlayer(QString sinkDescription) : sink_(std::move(sinkDescription)) {
    if (const QString e = gstInitError(); !e.isEmpty()) qCWarning(lcAudio).noquote() << e;
}

GstAlarmPlayer::~GstAlarmPlayer() {
    if (!worker_) return;
    {
        std::lock_guard lock(worker_->postMutex);
        worker_->post = nullptr;
    }
    g_main_loop_quit(worker_->loop);
    // The worker tears its pipeline down itself; a hung server holds only that thread.
    worker_->thread.detach();
}

void GstAlarmPlayer::play(const QStringList& files, Listener listener) {
    listener_ = std::move(listener);
    const quint64 round = ++round_;
    if (const QString e = gstInitError(); !e.isEmpty()) {
        QMetaObject::invokeMethod(
            &context_, [this, round, e] { deliver(round, Event::Failed, 0, e); },
            Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            &context_, [this, round] { deliver(round, Event::Finished, -1, {}); },
            Qt::QueuedConnection);
        return;
    }
    if (!worker_) {
        auto w = std::make_shared<Worker>();
        w->sink = sink_;
        w->observer = observer_;
        w->post = [this](quint64 r, Event event, int index, const QString& detail) {
            QMetaObject::invokeMethod(
                &context_, [this, r, event, index, detail] { deliver(r, event, index, detail); },
                Qt::QueuedConnection);
        };
        w->thread = std::thread([w] {
            g_main_context_push_thread_default(w->context);
            g_main_loop_run(w->loop);
            teardown(w.get());
            g_main_context_pop_thread_default(w->context);
        });
        worker_ = std::move(w);
    }
    onWorker(worker_.get(), [round, files](Worker* w) {
        w->round = round;
        w->files = files;
        w->index = -1;
        playNext(w);
    });
}

void GstAlarmPlayer::stop() {
    ++round_;
    listener_ = nullptr;
    if (!worker_) return;
    onWorker(worker_.get(), [](Worker* w) {
        w->files.clear();
        teardown(w);
    });
}

void GstAlarmPlayer::deliver(quint64 round, Event event, int index, const QString& detail) {
    if (round != round_ || !listener_) return;
    const Listener listener = listener_;
    listener(event, index, detail);
}

}  // namespace tavirin
