#pragma once

// For the radio tests: a tone encoded to stream, and what the test's own PulseAudio server
// has of it (our streams at the sink, whether the tone was heard on its monitor).

#include "platform/soundtestfiles.h"
#include "support/pulseserver.h"

#include <gst/gst.h>

#include <QCoreApplication>
#include <QFile>
#include <QTest>

#include <cmath>

namespace tavirin::test {

// A 440 Hz tone of three seconds through a GStreamer encoder, as the file's bytes.
inline QByteArray encodeTone(const QString& path, const char* encoder) {
    if (!gst_init_check(nullptr, nullptr, nullptr)) return {};
    const QString launch = QStringLiteral(
                               "audiotestsrc num-buffers=130 freq=440 volume=0.5 ! "
                               "audio/x-raw,rate=44100,channels=1 ! audioconvert ! %1 ! "
                               "filesink location=%2")
                               .arg(QString::fromLatin1(encoder), path);
    GError* err = nullptr;
    GstElement* pipeline = gst_parse_launch(launch.toUtf8().constData(), &err);
    if (!pipeline || err) {
        qWarning() << "cannot encode:" << (err ? err->message : "");
        g_clear_error(&err);
        return {};
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus, 20 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
    if (msg) gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    QFile f(path);
    return ok && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// This process's streams at the server's sink.
inline int ourSinkInputs(const PulseServer& pulse) {
    QString out;
    pulse.pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}, &out);
    return int(out.count(
        QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid())));
}

inline bool heardOnce(const PulseServer& pulse, const QString& wavPath) {
    MonitorRecorder rec(pulse, wavPath, 22050, 1);
    if (!rec.start()) return false;
    QTest::qWait(600);
    rec.stop();
    const WavInfo w = readWav(wavPath);
    const qint64 window = w.rate / 20;  // 50 ms
    int loud = 0;
    for (qint64 at = 0; window > 0 && at + window <= w.frames(); at += window) {
        double sum = 0;
        for (qint64 i = at; i < at + window; ++i) sum += double(w.sample(i)) * w.sample(i);
        loud += std::sqrt(sum / window) > 2000 ? 1 : 0;
    }
    return loud >= 5;
}

// Records the sink's monitor for 600 ms: was the tone there (a quarter of a second of it)?
// On a loaded machine the stream may reach the sink late: up to three tries.
inline bool heard(const PulseServer& pulse, const QString& wavPath, int tries = 3) {
    for (int i = 0; i < tries; ++i)
        if (heardOnce(pulse, wavPath)) return true;
    return false;
}
}  // namespace tavirin::test
