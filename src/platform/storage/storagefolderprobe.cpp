#include "platform/storage/storagefolderprobe.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>

namespace tavirin {

FolderProbe::State StorageFolderProbe::inspect(const QString& folder, bool write) {
    State s;
    const QFileInfo info(folder);
    s.exists = info.isDir();
    if (!s.exists) {
        s.error = info.exists() ? QStringLiteral("not a folder: %1").arg(folder)
                                : QStringLiteral("no such folder: %1").arg(folder);
        return s;
    }
    QDir dir(folder);
    // a folder may say it is readable and still refuse a listing (no execute right)
    s.readable = info.isReadable() && info.isExecutable();
    if (!s.readable) s.error = QStringLiteral("cannot be read: %1").arg(folder);
    QStorageInfo storage(folder);
    if (storage.isValid()) s.freeBytes = storage.bytesAvailable();
    if (write && s.readable) {
        QTemporaryFile probe(dir.filePath(QStringLiteral(".tavirin-check-XXXXXX")));
        s.writable = probe.open() && probe.write("x", 1) == 1 && probe.flush();
        if (!s.writable)
            s.error = QStringLiteral("cannot be written: %1: %2").arg(folder, probe.errorString());
    }
    return s;
}

}  // namespace tavirin
