#include "platform/audio/gstaudioprobe.h"

#include "platform/audio/soundchecks.h"
#include "platform/logging.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace tavirin {

namespace {

// What the thread that opens the device hands back; shared, since a hung thread outlives
// the call that started it.
struct OutputAnswer {
    std::mutex mutex;
    std::condition_variable done;
    bool answered = false;
    Result result;
};

Result openOutput(const QString& sinkDescription) {
    GError* err = nullptr;
    GstElement* bin =
        gst_parse_bin_from_description(sinkDescription.toUtf8().constData(), TRUE, &err);
    if (err || !bin) {
        const QString why = err ? QString::fromUtf8(err->message) : QString();
        g_clear_error(&err);
        if (bin) gst_object_unref(bin);
        return Result::failure(QStringLiteral("the audio output \"%1\" cannot be built: %2")
                                   .arg(sinkDescription, why));
    }
    gst_object_ref_sink(bin);
    Result out;
    if (gst_element_set_state(bin, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        out = Result::failure(QStringLiteral("the sound output cannot be opened"));
    } else {
        const SinkInspection sink = inspectSink(bin);
        if (sink.standIn)
            out =
                Result::failure(QStringLiteral("no sound device: autoaudiosink found no usable "
                                               "audio output and fell back to a silent fakesink"));
        else
            qCDebug(lcAudio).noquote() << "sound output there:" << sink.device;
    }
    gst_element_set_state(bin, GST_STATE_NULL);
    gst_object_unref(bin);
    return out;
}

}  // namespace

GstAudioProbe::GstAudioProbe(QString sinkDescription)
    : sinkDescription_(std::move(sinkDescription)) {}

Result GstAudioProbe::probeOutput() {
    if (const QString e = gstStartError(); !e.isEmpty()) return Result::failure(e);
    auto answer = std::make_shared<OutputAnswer>();
    std::thread([answer, sink = sinkDescription_] {
        Result r = openOutput(sink);
        std::lock_guard lock(answer->mutex);
        answer->result = std::move(r);
        answer->answered = true;
        answer->done.notify_all();
    }).detach();
    std::unique_lock lock(answer->mutex);
    if (!answer->done.wait_for(lock, std::chrono::milliseconds(kOutputLimitMs),
                               [&] { return answer->answered; })) {
        qCWarning(lcAudio) << "the sound output did not answer within" << kOutputLimitMs << "ms";
        return Result::failure(QStringLiteral("the sound output did not answer within %1 s")
                                   .arg(kOutputLimitMs / 1000));
    }
    return answer->result;
}

AudioProbe::FileInfo GstAudioProbe::probeFile(const QString& path) {
    FileInfo out;
    if (const QString e = gstStartError(); !e.isEmpty()) {
        out.result = Result::failure(e);
        return out;
    }
    if (out.result = checkSoundFile(path); !out.result) return out;
    QString why;
    const QByteArray uri = soundFileUri(path, &why);
    if (uri.isEmpty()) {
        out.result = Result::failure(why);
        return out;
    }
    GError* err = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(GstClockTime(kFileLimitMs) * GST_MSECOND, &err);
    if (!discoverer) {
        out.result = Result::failure(QStringLiteral("no discoverer: %1")
                                         .arg(err ? QString::fromUtf8(err->message) : QString()));
        g_clear_error(&err);
        return out;
    }
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri.constData(), &err);
    const GstDiscovererResult result =
        info ? gst_discoverer_info_get_result(info) : GST_DISCOVERER_ERROR;
    const QString error = err ? QString::fromUtf8(err->message) : QString();
    g_clear_error(&err);
    if (result == GST_DISCOVERER_OK) {
        GList* audio = gst_discoverer_info_get_audio_streams(info);
        const GstClockTime duration = gst_discoverer_info_get_duration(info);
        if (!audio)
            out.result = Result::failure(QStringLiteral("no sound in the file: %1").arg(path));
        else if (!GST_CLOCK_TIME_IS_VALID(duration) || duration == 0)
            out.result = Result::failure(QStringLiteral("the sound has no length: %1").arg(path));
        else
            out.durationMs = qint64(duration / GST_MSECOND);
        gst_discoverer_stream_info_list_free(audio);
    } else if (result == GST_DISCOVERER_TIMEOUT) {
        out.result = Result::failure(
            QStringLiteral("not decoded within %1 s: %2").arg(kFileLimitMs / 1000).arg(path));
    } else if (result == GST_DISCOVERER_MISSING_PLUGINS) {
        out.result =
            Result::failure(QStringLiteral("not a sound this computer can play: %1").arg(path));
    } else {
        out.result = Result::failure(QStringLiteral("does not decode: %1: %2").arg(path, error));
    }
    if (info) g_object_unref(info);
    g_object_unref(discoverer);
    return out;
}

}  // namespace tavirin
