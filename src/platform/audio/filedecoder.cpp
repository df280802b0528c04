#include "platform/audio/filedecoder.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <atomic>

namespace tavirin {

const char* StreamFormat::caps() {
    return "audio/x-raw,format=S16LE,layout=interleaved,rate=44100,channels=2";
}

// Where uridecodebin's audio pad goes; read by GStreamer's threads.
struct FileDecoder::Links {
    GstElement* convert = nullptr;
    std::atomic<bool> linked{false};
    std::atomic<bool> noMorePads{false};
};

namespace {

void onPadAdded(GstElement*, GstPad* pad, gpointer data) {
    auto* links = static_cast<FileDecoder::Links*>(data);
    if (links->linked) return;  // one audio stream per file is played
    GstPad* sinkPad = gst_element_get_static_pad(links->convert, "sink");
    if (gst_pad_link(pad, sinkPad) == GST_PAD_LINK_OK) links->linked = true;
    gst_object_unref(sinkPad);
}

void onNoMorePads(GstElement*, gpointer data) {
    static_cast<FileDecoder::Links*>(data)->noMorePads = true;
}

QString errorText(GstMessage* msg) {
    GError* err = nullptr;
    gst_message_parse_error(msg, &err, nullptr);
    QString text = err ? QString::fromUtf8(err->message) : QStringLiteral("unknown error");
    g_clear_error(&err);
    return text;
}

}  // namespace

FileDecoder::~FileDecoder() {
    if (pipeline_) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    delete links_;
}

bool FileDecoder::fail(const QString& why) {
    error_ = why;
    return false;
}

bool FileDecoder::open(const QByteArray& uri) {
    pipeline_ = gst_pipeline_new(nullptr);
    GstElement* decode = gst_element_factory_make("uridecodebin", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    sink_ = gst_element_factory_make("appsink", nullptr);
    if (!decode || !convert || !resample || !filter || !sink_) {
        for (GstElement* e : {decode, convert, resample, filter, sink_})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        sink_ = nullptr;
        return fail(
            QStringLiteral("GStreamer cannot decode: gstreamer1.0-plugins-base is missing"));
    }
    GstCaps* raw = gst_caps_from_string(StreamFormat::caps());
    GstCaps* anyAudio = gst_caps_from_string("audio/x-raw");
    // only audio is decoded and exposed: album art or a video track is left alone
    g_object_set(decode, "uri", uri.constData(), "caps", anyAudio, "expose-all-streams", FALSE,
                 nullptr);
    g_object_set(filter, "caps", raw, nullptr);
    g_object_set(sink_, "caps", raw, "sync", FALSE, "max-buffers", 8, "drop", FALSE,
                 "enable-last-sample", FALSE, nullptr);
    gst_caps_unref(raw);
    gst_caps_unref(anyAudio);
    gst_bin_add_many(GST_BIN(pipeline_), decode, convert, resample, filter, sink_, nullptr);
    if (!gst_element_link_many(convert, resample, filter, sink_, nullptr))
        return fail(QStringLiteral("the decoder cannot be built"));

    links_ = new Links;
    links_->convert = convert;
    g_signal_connect(decode, "pad-added", G_CALLBACK(onPadAdded), links_);
    g_signal_connect(decode, "no-more-pads", G_CALLBACK(onNoMorePads), links_);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        GstBuffer* none = nullptr;
        if (pull(&none) == Pull::Failed) return false;
        return fail(QStringLiteral("the file cannot be opened"));
    }
    return true;
}

FileDecoder::Pull FileDecoder::pull(GstBuffer** out) {
    *out = nullptr;
    if (!pipeline_ || !sink_) return Pull::Failed;
    GstBus* bus = gst_element_get_bus(pipeline_);
    // discards everything but errors, so the bus never fills up
    GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (msg) {
        error_ = errorText(msg);
        gst_message_unref(msg);
        return Pull::Failed;
    }
    if (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 0)) {
        *out = gst_buffer_ref(gst_sample_get_buffer(sample));
        gst_sample_unref(sample);
        return Pull::Buffer;
    }
    if (gst_app_sink_is_eos(GST_APP_SINK(sink_))) return Pull::End;
    if (links_->noMorePads && !links_->linked) {
        error_ = QStringLiteral("no sound in the file");
        return Pull::Failed;
    }
    return Pull::Later;
}

}  // namespace tavirin
