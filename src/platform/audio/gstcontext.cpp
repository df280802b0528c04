#include "platform/audio/gstcontext.h"

#include <gst/gst.h>

namespace tavirin::gstcontext {

namespace {

gboolean runTask(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void deleteTask(gpointer data) {
    delete static_cast<std::function<void()>*>(data);
}

}  // namespace

QString initError() {
    static const QString error = [] {
        GError* err = nullptr;
        if (gst_init_check(nullptr, nullptr, &err)) return QString();
        const QString why = QStringLiteral("GStreamer could not start: %1")
                                .arg(err ? QString::fromUtf8(err->message) : QStringLiteral("?"));
        g_clear_error(&err);
        return why;
    }();
    return error;
}

void post(GMainContext* context, std::function<void()> run) {
    GSource* idle = g_idle_source_new();
    g_source_set_callback(idle, runTask, new std::function<void()>(std::move(run)), deleteTask);
    g_source_attach(idle, context);
    g_source_unref(idle);
}

}  // namespace tavirin::gstcontext
