#pragma once

#include <QFile>
#include <QString>

namespace tavirin::test {

// The process runs: it exists and is no zombie left for a parent that does not reap (a
// detached program's parent may be a container's init that never does).
inline bool alive(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray stat = f.readAll();
    const char state = stat.mid(stat.lastIndexOf(')') + 2, 1).at(0);
    return state != 'Z' && state != 'X';
}

}  // namespace tavirin::test
