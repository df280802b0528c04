#pragma once

#include "platform/instancelock.h"

#include <QLockFile>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace tavirin {

// One copy per user: QLockFiles in $XDG_RUNTIME_DIR and in the config folder. Every lock
// that can be made is taken, so a copy started without a usable runtime folder (cron, su, a
// session without logind) still meets the one that has it; the config folder's lock is named
// after the host, because a home folder may be shared by several PCs. A lock whose process no
// longer runs (a crash, a power cut) is taken over at once.
class FileInstanceLock final : public InstanceLock {
public:
    explicit FileInstanceLock(QStringList paths = defaultPaths());
    Outcome tryAcquire() override;

    // $XDG_RUNTIME_DIR/tavirin.lock (when the variable is set), then
    // $XDG_CONFIG_HOME/tavirin/tavirin-<host>.lock.
    static QStringList defaultPaths();

private:
    QStringList paths_;
    std::vector<std::unique_ptr<QLockFile>> held_;
};

}  // namespace tavirin
