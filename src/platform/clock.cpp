#include "platform/clock.h"

#include <ctime>

namespace tavirin {

namespace {
qint64 readMs(clockid_t id) {
    timespec ts{};
    if (::clock_gettime(id, &ts) != 0) return -1;
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
QString digitPairs(QTime t, int pairs) {
    if (!t.isValid()) return {};
    QString text(pairs * 3 - 1, u':');
    QChar* out = text.data();
    const int values[] = {t.hour(), t.minute(), t.second()};
    for (int i = 0; i < pairs; ++i) {
        out[0] = QChar(u'0' + values[i] / 10);
        out[1] = QChar(u'0' + values[i] % 10);
        out += 3;
    }
    return text;
}
}  // namespace

QString clockText(QTime t) {
    return digitPairs(t, 3);
}

QString clockMinutesText(QTime t) {
    return digitPairs(t, 2);
}

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

ElapsedClocks SystemClock::elapsed() const {
    return {readMs(CLOCK_MONOTONIC), readMs(CLOCK_BOOTTIME)};
}

}  // namespace tavirin
