#include "store/keylayout.h"

namespace tavirin::keys {

QString dayApplication(int day) {
    if (day < 1 || day > kDays) return {};
    return kBaseApplication + QString::number(day);
}

QString radioOnline(int station) {
    return QStringLiteral("radio_online") + QString::number(station);
}
QString hour(int n) {
    return QStringLiteral("h") + QString::number(n);
}
QString minute(int n) {
    return QStringLiteral("m") + QString::number(n);
}
QString number(int n) {
    return QStringLiteral("number") + QString::number(n);
}
QString sond(int n) {
    return QStringLiteral("sond") + QString::number(n);
}
QString fm(int n) {
    return QStringLiteral("fm") + QString::number(n);
}

QList<KeyName> dayProgramKeys() {
    QList<KeyName> out;
    for (int n = 1; n <= kShutdownHour; ++n) out.append({kTime, hour(n)});
    for (int n = 1; n <= kBackChime; ++n) out.append({kTime, minute(n)});
    for (int n = 1; n <= kShutdownEnabled; ++n) out.append({kNumber, number(n)});
    for (int n = 1; n <= kPeriods; ++n) out.append({kSond, sond(n)});
    for (int n = 1; n <= kPeriods; ++n) out.append({kFm, fm(n)});
    return out;
}

}  // namespace tavirin::keys
