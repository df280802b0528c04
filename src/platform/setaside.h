#pragma once

#include <QDateTime>
#include <QString>

namespace tavirin {

// The name a damaged file is set aside under, beside itself: "<file>.corrupt-yyyyMMdd-HHmmss",
// with "-2", "-3", ... when that name is taken. Nothing is ever written over.
QString damagedCopyPath(const QString& damaged, const QDateTime& now);

}  // namespace tavirin
