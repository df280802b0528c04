#pragma once

// What the GStreamer adapters that run a pipeline on a thread of their own share: starting
// GStreamer once, and handing work to that thread's GLib main context.

#include <QString>

#include <glib.h>

#include <functional>

namespace tavirin::gstcontext {

// "" once GStreamer has started (it is started on the first call); else why it could not.
QString initError();

// Queues `run` on `context`'s thread, in order. Work left when that thread has ended is
// dropped with the context.
void post(GMainContext* context, std::function<void()> run);

}  // namespace tavirin::gstcontext
