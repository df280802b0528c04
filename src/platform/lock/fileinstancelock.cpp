#include "platform/lock/fileinstancelock.h"

#include "platform/logging.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

namespace tavirin {

FileInstanceLock::FileInstanceLock(QStringList paths) : paths_(std::move(paths)) {}

QStringList FileInstanceLock::defaultPaths() {
    QStringList paths;
    // Qt's own fallback for a missing XDG_RUNTIME_DIR is a folder in /tmp that other
    // sessions would not look in; the config folder below covers that case.
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        paths << runtime + QStringLiteral("/tavirin.lock");
    paths << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 QStringLiteral("/tavirin/tavirin-") + QSysInfo::machineHostName() +
                 QStringLiteral(".lock");
    return paths;
}

InstanceLock::Outcome FileInstanceLock::tryAcquire() {
    if (!held_.empty()) return Outcome::Acquired;
    std::vector<std::unique_ptr<QLockFile>> taken;
    for (const QString& path : paths_) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        auto lock = std::make_unique<QLockFile>(path);
        // 0: the lock counts as stale only when its process is gone, never by its age.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            taken.push_back(std::move(lock));
            continue;
        }
        if (lock->error() == QLockFile::LockFailedError) {
            qint64 pid = 0;
            QString host, app;
            lock->getLockInfo(&pid, &host, &app);
            qCWarning(lcUi) << "another copy runs (pid" << pid << "), lock" << path;
            return Outcome::Held;
        }
        qCWarning(lcUi) << "cannot create the instance lock" << path;
    }
    if (taken.empty()) {
        qCCritical(lcUi) << "no instance lock can be made in" << paths_
                         << "; not starting, as a second copy could ring every bell twice";
        return Outcome::Unavailable;
    }
    held_ = std::move(taken);
    return Outcome::Acquired;
}

}  // namespace tavirin
