#pragma once

#include "platform/result.h"

#include <QString>

namespace tavirin {

// Looks at the sound output and at sound files without playing anything. Both calls block
// for a bounded time and may be made from any thread (the self-test runs them off the
// user-interface thread).
class AudioProbe {
public:
    struct FileInfo {
        Result result;           // it decodes, or why not
        qint64 durationMs = -1;  // its length; a file without one has failed
    };

    virtual ~AudioProbe() = default;

    // A real output device is there and opens (the device is opened and closed again; no
    // sample is played). A silent stand-in for a missing device is a failure.
    virtual Result probeOutput() = 0;
    // The file is a sound that decodes and has a length.
    virtual FileInfo probeFile(const QString& path) = 0;
};

}  // namespace tavirin
