#pragma once

#include <QString>

namespace tavirin {

// Whether a folder can be read (and written) and how much room its disk has left. Blocks
// only as long as the file system does; may be called from any thread.
class FolderProbe {
public:
    struct State {
        bool exists = false;
        bool readable = false;
        bool writable = false;  // looked at only when asked for
        qint64 freeBytes = -1;  // room for this user on its disk; -1: unknown
        QString error;          // why it cannot be read or written
    };

    virtual ~FolderProbe() = default;
    // `write`: also writes and removes a small file there.
    virtual State inspect(const QString& folder, bool write) = 0;
};

}  // namespace tavirin
