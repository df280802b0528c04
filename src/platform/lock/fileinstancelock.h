#pragma once

#include "platform/instancelock.h"

#include <QLockFile>
#include <QString>
#include <memory>

namespace tavirin {

// One copy per user: a QLockFile in $XDG_RUNTIME_DIR. A lock whose process no longer runs
// (a crash, a power cut) is taken over at once.
class FileInstanceLock final : public InstanceLock {
public:
    explicit FileInstanceLock(QString path = defaultPath());
    bool tryAcquire() override;
    static QString defaultPath();

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace tavirin
