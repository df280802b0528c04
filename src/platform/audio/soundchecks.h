#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

typedef struct _GstElement GstElement;

namespace tavirin {

// What the bells' stream and the self-test both need to know about files and sinks.

// "" once GStreamer is initialised, else why it could not start (asked once per process).
QString gstStartError();

// A sound file that can be handed to a decoder: a readable, non-empty plain file (a FIFO or a
// device would block the reader). The reason names the path.
Result checkSoundFile(const QString& path);

// The file's URI for GStreamer; empty with *error set when it cannot be named.
QByteArray soundFileUri(const QString& path, QString* error);

// The sink that really plays inside a started bin (READY or later).
struct SinkInspection {
    QString device;        // the element autoaudiosink chose ("" when there is none)
    bool standIn = false;  // autoaudiosink found no usable output and put a fakesink there
    qint64 bufferUs = 0;   // the largest buffer-time of the sinks in the bin
};
SinkInspection inspectSink(GstElement* bin);

}  // namespace tavirin
