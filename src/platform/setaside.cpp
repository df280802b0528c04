#include "platform/setaside.h"

#include <QFile>

#include <sys/stat.h>

namespace tavirin {

QString damagedCopyPath(const QString& damaged, const QDateTime& now) {
    const QString base =
        damaged + QStringLiteral(".corrupt-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = base;
    struct stat st {};
    for (int n = 2; ::lstat(QFile::encodeName(candidate).constData(), &st) == 0; ++n)
        candidate = base + QLatin1Char('-') + QString::number(n);
    return candidate;
}

}  // namespace tavirin
