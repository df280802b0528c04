#include "platform/lock/fileinstancelock.h"

#include "platform/logging.h"

#include <QDir>
#include <QStandardPaths>

namespace tavirin {

FileInstanceLock::FileInstanceLock(QString path) : path_(std::move(path)) {}

QString FileInstanceLock::defaultPath() {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + QStringLiteral("/tavirin.lock");
}

bool FileInstanceLock::tryAcquire() {
    if (lock_ && lock_->isLocked()) return true;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    lock_ = std::make_unique<QLockFile>(path_);
    // 0: the lock counts as stale only when its process is gone, never by its age.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) return true;
    if (lock_->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host, app;
        lock_->getLockInfo(&pid, &host, &app);
        qCWarning(lcUi) << "another copy runs (pid" << pid << "), lock" << path_;
    } else {
        // A lock we cannot even create must not keep the bells from ringing.
        qCWarning(lcUi) << "cannot create the instance lock" << path_ << "; starting without it";
        return true;
    }
    return false;
}

}  // namespace tavirin
