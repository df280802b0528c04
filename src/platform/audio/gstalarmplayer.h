#pragma once

#include "platform/alarmplayer.h"

#include <QObject>

#include <functional>

#include <memory>

typedef struct _GstElement GstElement;

namespace tavirin {

// AlarmPlayer on GStreamer: each file in a `playbin` (audio only) into the sink described
// (a gst-launch description, `autoaudiosink` in the program), every state change on a
// thread of the player's own with its own GLib main context, so a sound server that hangs
// never holds the window or the bells. Use it from the thread that created it, with a running
// Qt event loop.
class GstAlarmPlayer final : public AlarmPlayer {
public:
    explicit GstAlarmPlayer(QString sinkDescription = QStringLiteral("autoaudiosink"));
    ~GstAlarmPlayer() override;

    GstAlarmPlayer(const GstAlarmPlayer&) = delete;
    GstAlarmPlayer& operator=(const GstAlarmPlayer&) = delete;

    void play(const QStringList& files, Listener listener) override;
    void stop() override;

    // Called on the player's thread with every file's pipeline and its sink bin before it
    // starts, so a benchmark can look inside.
    using PipelineObserver = std::function<void(GstElement* pipeline, GstElement* sinkBin)>;
    void setPipelineObserver(PipelineObserver observer) { observer_ = std::move(observer); }

    struct Worker;  // the GStreamer side, on its own thread

private:
    void deliver(quint64 round, Event event, int index, const QString& detail);

    QString sink_;
    PipelineObserver observer_;
    QObject context_;  // queued deliveries run here, on the calling thread
    std::shared_ptr<Worker> worker_;
    quint64 round_ = 0;
    Listener listener_;
};

}  // namespace tavirin
