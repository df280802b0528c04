#include "platform/audio/soundchecks.h"

#include <gst/gst.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tavirin {

namespace {
QString factoryName(GstElement* e) {
    GstElementFactory* f = gst_element_get_factory(e);
    return f ? QString::fromUtf8(GST_OBJECT_NAME(f)) : QString();
}
}  // namespace

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

Result checkSoundFile(const QString& path) {
    if (path.isEmpty()) return Result::failure(QStringLiteral("no sound file given"));
    if (path.contains(QLatin1String("://")))
        return Result::failure(QStringLiteral("an address, not a sound file: %1").arg(path));
    const QFileInfo info(path);
    if (!info.exists()) return Result::failure(QStringLiteral("file not found: %1").arg(path));
    if (info.isDir())
        return Result::failure(QStringLiteral("a folder, not a sound file: %1").arg(path));
    if (!info.isFile()) return Result::failure(QStringLiteral("not a plain file: %1").arg(path));
    if (info.size() == 0) return Result::failure(QStringLiteral("the file is empty: %1").arg(path));
    if (!info.isReadable())
        return Result::failure(QStringLiteral("the file cannot be read: %1").arg(path));
    return Result::success();
}

QByteArray soundFileUri(const QString& path, QString* error) {
    GError* err = nullptr;
    const QByteArray local = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    gchar* uri = gst_filename_to_uri(local.constData(), &err);
    if (!uri) {
        *error = QStringLiteral("cannot name the file %1: %2")
                     .arg(path, err ? QString::fromUtf8(err->message) : QString());
        g_clear_error(&err);
        return {};
    }
    QByteArray out(uri);
    g_free(uri);
    return out;
}

SinkInspection inspectSink(GstElement* bin) {
    SinkInspection out;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    for (GstIteratorResult r; (r = gst_iterator_next(it, &item)) != GST_ITERATOR_DONE;) {
        if (r == GST_ITERATOR_ERROR) break;
        if (r == GST_ITERATOR_RESYNC) {  // the bin changed under us: look again
            gst_iterator_resync(it);
            out = {};
            continue;
        }
        auto* e = GST_ELEMENT(g_value_get_object(&item));
        GstObject* parent = GST_OBJECT_PARENT(e);
        const bool autoChild =
            parent && GST_IS_ELEMENT(parent) && factoryName(GST_ELEMENT(parent)) == "autoaudiosink";
        if (autoChild) {
            out.device = factoryName(e);
            if (out.device == QLatin1String("fakesink")) out.standIn = true;
        }
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(e), "buffer-time")) {
            gint64 us = 0;
            g_object_get(e, "buffer-time", &us, nullptr);
            out.bufferUs = std::max<qint64>(out.bufferUs, us);
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return out;
}

}  // namespace tavirin
