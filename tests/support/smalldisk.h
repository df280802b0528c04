#pragma once

// A small file system of the test's own, so that "No space left on device" is the real
// thing: a tmpfs of a given size, mounted in a private user and mount namespace of a forked
// child. Nothing outside the child sees the mount, and it goes with the child.

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <functional>

namespace tavirin::test {

// The exit status of a child that could not get its file system (no user namespaces here).
inline constexpr int kNoSmallDisk = 77;

// In the child: fails the body and says where on standard error.
#define SMALLDISK_CHECK(cond)                                                             \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            return 1;                                                                     \
        }                                                                                 \
    } while (false)

namespace detail {
inline bool writeProc(const char* path, const QByteArray& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    return ok;
}
}  // namespace detail

// Runs `body` in a child process with a tmpfs of `bytes` mounted on the empty folder
// `mountPoint`; returns the body's result (0 = passed), kNoSmallDisk, or -1.
inline int onSmallDisk(const QString& mountPoint, qint64 bytes, const std::function<int()>& body) {
    const QByteArray uid = QByteArray::number(::geteuid());
    const QByteArray gid = QByteArray::number(::getegid());
    const QByteArray target = mountPoint.toLocal8Bit();
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        // The same user inside as outside, with the rights to mount in its own namespace.
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(kNoSmallDisk);
        detail::writeProc("/proc/self/setgroups", "deny");
        if (!detail::writeProc("/proc/self/uid_map", uid + ' ' + uid + " 1\n") ||
            !detail::writeProc("/proc/self/gid_map", gid + ' ' + gid + " 1\n") ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tavirin-test", target.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    options.constData()) != 0)
            ::_exit(kNoSmallDisk);
        const int rc = body();
        std::fflush(nullptr);
        ::_exit(rc == kNoSmallDisk ? 1 : rc);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tavirin::test
