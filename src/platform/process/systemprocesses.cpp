#include "platform/process/systemprocesses.h"

#include "platform/logging.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
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

// The command line, one entry per argument (argv[0] first).
QList<QByteArray> commandLine(const QString& procDir) {
    QFile f(procDir + QStringLiteral("/cmdline"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QByteArray all = f.read(1 << 20);
    if (all.endsWith('\0')) all.chop(1);
    if (all.isEmpty()) return {};
    return all.split('\0');
}

// Fields of /proc/<pid>/stat: the state letter, the parent and the start time (field 22),
// so a pid that was reused by another process meanwhile is never mistaken for the one we
// signalled.
struct Identity {
    QByteArray startTime;
    pid_t parent = 0;
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
    out->parent = pid_t(fields[1].toInt());
    out->startTime = fields[19];
    return true;
}

// One live process of this user, other than ourselves.
struct Seen {
    pid_t pid;
    Identity id;
    QString dir;
};

QList<Seen> ownProcesses() {
    const pid_t self = ::getpid();
    const uid_t me = ::getuid();
    QList<Seen> out;
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric || pid <= 1 || pid == self) continue;
        const QString dir = QStringLiteral("/proc/") + entry;
        struct stat st {};
        if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || st.st_uid != me) continue;
        Identity id;
        if (!readIdentity(pid, &id) || id.state == 'Z') continue;
        out.append({pid, id, dir});
    }
    return out;
}

bool stillThere(const Seen& t) {
    Identity now;
    if (!readIdentity(t.pid, &now)) return false;
    return now.startTime == t.id.startTime && now.state != 'Z' && now.state != 'X';
}

// SIGTERM to all, SIGKILL to those still there after the grace.
Result endAll(const QList<Seen>& targets, const QString& what, int graceMs) {
    if (targets.isEmpty()) {
        qCDebug(lcMedia).noquote() << "nothing to end:" << what;
        return Result::success();
    }
    for (const Seen& t : targets) ::kill(t.pid, SIGTERM);

    auto waitGone = [&](int ms) {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            bool any = false;
            for (const Seen& t : targets) any = any || stillThere(t);
            if (!any) return true;
            if (clock.elapsed() >= ms) return false;
            QThread::msleep(10);
        }
    };

    int killed = 0;
    if (!waitGone(graceMs)) {
        for (const Seen& t : targets) {
            if (stillThere(t)) {
                ::kill(t.pid, SIGKILL);
                ++killed;
            }
        }
        waitGone(500);
    }
    qCInfo(lcMedia).noquote() << "ended" << targets.size() << "process(es):" << what
                              << (killed ? "(some forcibly)" : "");
    for (const Seen& t : targets) {
        if (stillThere(t)) {
            const QString why = QStringLiteral("process %1 (%2) did not end").arg(t.pid).arg(what);
            qCWarning(lcMedia).noquote() << why;
            return Result::failure(why);
        }
    }
    return Result::success();
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
    QList<Seen> targets;
    for (const Seen& p : ownProcesses()) {
        if (exeName(p.dir) == executableName) {
            targets.append(p);
            continue;
        }
        // How it was started: a wrapper, or a process whose exe link we may not read.
        const QList<QByteArray> args = commandLine(p.dir);
        if (!args.isEmpty() &&
            QFileInfo(QFile::decodeName(args.first())).fileName() == executableName)
            targets.append(p);
    }
    return endAll(targets, QStringLiteral("named ") + executableName, graceMs_);
}

Result SystemProcesses::endByArgument(const QStringList& arguments) {
    QSet<QByteArray> wanted;
    for (const QString& a : arguments)
        if (!a.isEmpty()) wanted.insert(QFile::encodeName(a));
    if (wanted.isEmpty()) return Result::failure(QStringLiteral("no argument to look for"));

    const QList<Seen> all = ownProcesses();
    QSet<pid_t> chosen;
    for (const Seen& p : all) {
        const QList<QByteArray> args = commandLine(p.dir);
        for (qsizetype i = 1; i < args.size(); ++i) {
            if (wanted.contains(args[i])) {
                chosen.insert(p.pid);
                break;
            }
        }
    }
    // The processes those started (a browser's content and helper processes), at any depth.
    for (bool grew = !chosen.isEmpty(); grew;) {
        grew = false;
        for (const Seen& p : all) {
            if (!chosen.contains(p.pid) && chosen.contains(p.id.parent)) {
                chosen.insert(p.pid);
                grew = true;
            }
        }
    }
    QList<Seen> targets;
    for (const Seen& p : all)
        if (chosen.contains(p.pid)) targets.append(p);
    return endAll(targets, QStringLiteral("started with ") + arguments.join(QStringLiteral(" or ")),
                  graceMs_);
}

}  // namespace tavirin
