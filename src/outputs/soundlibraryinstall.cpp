#include "outputs/soundlibraryinstall.h"

#include "platform/logging.h"
#include "store/soundlibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef TAVIRIN_BUILD_SOUNDLIB_DIR
#define TAVIRIN_BUILD_SOUNDLIB_DIR ""
#endif

namespace tavirin {
namespace {

const QString kPartialPrefix = QStringLiteral(".rivedezode.partial-");

bool syncPath(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool copyFile(const QString& from, const QString& to, QString* why) {
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly)) {
        *why = from + QStringLiteral(": ") + in.errorString();
        return false;
    }
    if (!out.open(QIODevice::WriteOnly)) {
        *why = to + QStringLiteral(": ") + out.errorString();
        return false;
    }
    for (;;) {  // to the end of what can be read, not the size stat reports
        const QByteArray chunk = in.read(1 << 16);
        if (chunk.isEmpty()) {
            if (in.error() != QFileDevice::NoError) {
                *why = from + QStringLiteral(": ") + in.errorString();
                return false;
            }
            break;
        }
        if (out.write(chunk) != chunk.size()) {
            *why = to + QStringLiteral(": ") + out.errorString();
            return false;
        }
    }
    if (!out.flush() || ::fsync(out.handle()) != 0) {
        *why = to + QStringLiteral(": cannot flush to disk");
        return false;
    }
    return true;
}

bool readableFolder(const QString& dir) {
    return ::access(QFile::encodeName(dir).constData(), R_OK | X_OK) == 0;
}

bool copyTree(const QString& from, const QString& to, QString* why) {
    // QDirIterator lists an unreadable folder as empty; that must not make an empty library.
    if (!readableFolder(from)) {
        *why = from + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    const QDir source(from);
    QStringList dirs{to};
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString target = to + u'/' + source.relativeFilePath(path);
        if (info.isDir()) {
            if (!readableFolder(path)) {
                *why = path + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
                return false;
            }
            if (!QDir().mkpath(target)) {
                *why = target + QStringLiteral(": cannot create the folder");
                return false;
            }
            dirs.append(target);
        } else if (info.isFile()) {
            if (!QDir().mkpath(QFileInfo(target).path()) || !copyFile(path, target, why))
                return false;
        }
    }
    for (const QString& d : dirs) syncPath(d);  // the entries themselves reach the disk too
    return true;
}

// What a library must hold for a bell to ring as the first-run program sets it up; "" when
// it is all there.
QString firstMissing(const QString& root) {
    const SoundLibrary lib(root);
    for (const QString& file : {lib.frontChimeFile(), lib.backChimeFile(), lib.systemSound()})
        if (!QFileInfo(file).isFile()) return file;
    if (!QFileInfo(lib.standardVoiceFolder()).isDir()) return lib.standardVoiceFolder();
    return {};
}

}  // namespace

QString soundLibraryRoot() {
    return QDir::homePath() + QStringLiteral("/rivedezode");
}

QString findDefaultSoundLibrary() {
    QStringList candidates;
    const QString env = qEnvironmentVariable("TAVIRIN_SOUNDLIB_DIR");
    if (!env.isEmpty()) candidates.append(env);
    if (QCoreApplication::instance())
        candidates.append(QCoreApplication::applicationDirPath() +
                          QStringLiteral("/../share/tavirin/rivedezode"));
    candidates.append(QString::fromUtf8(TAVIRIN_BUILD_SOUNDLIB_DIR));
    for (const QString& c : candidates) {
        if (!c.isEmpty() && QFileInfo(c).isDir()) return QDir::cleanPath(c);
    }
    return QString();
}

SoundLibraryState installSoundLibrary(const QString& root, const QString& defaultDir) {
    const QFileInfo rootInfo(root);
    if (rootInfo.exists() || rootInfo.isSymLink()) {
        if (rootInfo.isDir()) return SoundLibraryState::Present;
        qCWarning(lcAudio).noquote()
            << "the sound library" << root << "exists but is not a folder; leaving it as it is";
        return SoundLibraryState::Missing;
    }
    if (defaultDir.isEmpty() || !QFileInfo(defaultDir).isDir()) {
        qCWarning(lcAudio).noquote()
            << "no sound library at" << root << "and no default library to make it from";
        return SoundLibraryState::Missing;
    }

    const QString parent = rootInfo.absolutePath();
    if (!QDir().mkpath(parent)) {
        qCWarning(lcAudio).noquote() << "cannot create" << parent;
        return SoundLibraryState::Missing;
    }
    QTemporaryDir partial(parent + u'/' + kPartialPrefix + QStringLiteral("XXXXXX"));
    QString why;
    if (!partial.isValid()) {
        why = partial.errorString();
    } else if (!copyTree(defaultDir, partial.path(), &why)) {
        why = QStringLiteral("the default library cannot be read: ") + why;
    } else if (const QString missing = firstMissing(partial.path()); !missing.isEmpty()) {
        why = QStringLiteral("the default library ") + defaultDir + QStringLiteral(" lacks ") +
              QDir(partial.path()).relativeFilePath(missing);
    } else {
        const QByteArray from = QFile::encodeName(partial.path());
        const QByteArray to = QFile::encodeName(rootInfo.absoluteFilePath());
        // never over a library that appeared meanwhile
        int rc =
            ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        int err = rc == 0 ? 0 : errno;
        if (err == EINVAL && !QFileInfo::exists(root)) {  // a file system without NOREPLACE
            rc = ::rename(from.constData(), to.constData());
            err = rc == 0 ? 0 : errno;
        }
        if (rc == 0) {
            partial.setAutoRemove(false);
            syncPath(parent);
            qCInfo(lcAudio).noquote()
                << "created the sound library" << root << "from" << defaultDir;
            return SoundLibraryState::Created;
        }
        if (err == EEXIST || err == ENOTEMPTY) return installSoundLibrary(root, QString());
        why = QStringLiteral("cannot rename into place: ") + QString::fromLocal8Bit(strerror(err));
    }
    qCWarning(lcAudio).noquote() << "cannot create the sound library" << root << ":" << why;
    return SoundLibraryState::Missing;
}

SoundLibraryState ensureSoundLibrary() {
    return installSoundLibrary(SoundLibrary::defaultRoot(), findDefaultSoundLibrary());
}

}  // namespace tavirin
