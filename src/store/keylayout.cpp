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

}  // namespace tavirin::keys
