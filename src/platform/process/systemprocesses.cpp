#include "platform/process/systemprocesses.h"

#include "platform/logging.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

namespace tavirin {

namespace {

// A process is named by the file it runs. "(deleted)" is what the kernel appends after the
// binary was replaced by an upgrade; the running program is still the same one.
QString exeName(const QString& procDir) {
    QString target = QFile::symLinkTarget(procDir + QStringLiteral("/exe"));
    if (target.isEmpty()) return {};
    if (target.endsWith(QLatin1String(" (deleted)"))) target.chop(10);
    return QFileInfo(target).fileName();
}

// The first word of the command line: how it was started (a wrapper, or a process whose
// exe link we may not read).
QString argv0Name(const QString& procDir) {
    QFile f(procDir + QStringLiteral("/cmdline"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray all = f.read(4096);
    const QByteArray first = all.left(all.indexOf('\0'));
    if (first.isEmpty()) return {};
    return QFileInfo(QFile::decodeName(first)).fileName();
}

// Field 22 of /proc/<pid>/stat (start time) and the state letter, so a pid that was reused
// by another process meanwhile is never mistaken for the one we signalled.
struct Identity {
    QByteArray startTime;
    char state = 0;
};
bool readIdentity(pid_t pid, Identity* out) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray stat = f.readAll();
    // The command name in parentheses may hold blanks; the fields follow the last ')'.
    const int close = stat.lastIndexOf(')');
    if (close < 0) return false;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // fields[0] is field 3 (state), so field 22 is fields[19].
    if (fields.size() < 20 || fields[0].isEmpty()) return false;
    out->state = fields[0].at(0);
    out->startTime = fields[19];
    return true;
}

struct Target {
    pid_t pid;
    QByteArray startTime;
};

bool stillThere(const Target& t) {
    Identity now;
    if (!readIdentity(t.pid, &now)) return false;
    return now.startTime == t.startTime && now.state != 'Z' && now.state != 'X';
}

}  // namespace

Result SystemProcesses::startDetached(const QString& program, const QStringList& arguments) {
    const QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || !info.isExecutable()) {
        const QString why = QStringLiteral("program not found: ") + program;
        qCWarning(lcMedia).noquote() << why;
        return Result::failure(why);
    }
    QProcess p;
    p.setProgram(path);
    p.setArguments(arguments);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!p.startDetached(&pid)) {
        const QString why =
            QStringLiteral("could not start ") + path + QStringLiteral(": ") + p.errorString();
        qCWarning(lcMedia).noquote() << why;
        return Result::failure(why);
    }
    qCInfo(lcMedia).noquote() << "started" << path << "pid" << pid;
    return Result::success();
}

Result SystemProcesses::endByName(const QString& executableName) {
    if (executableName.isEmpty() || executableName.contains(u'/'))
        return Result::failure(QStringLiteral("not a program name: ") + executableName);

    const pid_t self = ::getpid();
    const uid_t me = ::getuid();
    QList<Target> targets;
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric || pid <= 1 || pid == self) continue;
        const QString dir = QStringLiteral("/proc/") + entry;
        struct stat st {};
        if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || st.st_uid != me) continue;
        if (exeName(dir) != executableName && argv0Name(dir) != executableName) continue;
        Identity id;
        if (!readIdentity(pid, &id) || id.state == 'Z') continue;
        targets.append({pid, id.startTime});
    }
    if (targets.isEmpty()) {
        qCDebug(lcMedia).noquote() << "nothing to end named" << executableName;
        return Result::success();
    }

    for (const Target& t : targets) ::kill(t.pid, SIGTERM);

    auto waitGone = [&](int ms) {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            bool any = false;
            for (const Target& t : targets) any = any || stillThere(t);
            if (!any) return true;
            if (clock.elapsed() >= ms) return false;
            QThread::msleep(10);
        }
    };

    int killed = 0;
    if (!waitGone(graceMs_)) {
        for (const Target& t : targets) {
            if (stillThere(t)) {
                ::kill(t.pid, SIGKILL);
                ++killed;
            }
        }
        waitGone(500);
    }
    qCInfo(lcMedia).noquote() << "ended" << targets.size() << "process(es) named" << executableName
                              << (killed ? "(some forcibly)" : "");
    for (const Target& t : targets) {
        if (stillThere(t)) {
            const QString why =
                QStringLiteral("process %1 (%2) did not end").arg(t.pid).arg(executableName);
            qCWarning(lcMedia).noquote() << why;
            return Result::failure(why);
        }
    }
    return Result::success();
}

}  // namespace tavirin
