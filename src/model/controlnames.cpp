#include "model/controlnames.h"

#include "model/formmodel.h"

namespace tavirin::ctl {

QString dayLabel(int day) {
    return QStringLiteral("lbl_day") + QString::number(day);
}

QString radioAddress(int station) {
    return QStringLiteral("radio") + QString::number(station);
}

QString stationButton(int station) {
    return QStringLiteral("lbl_r") + QString::number(station);
}

QString boardMark(int period) {
    return arrayName(QStringLiteral("lbl_board_mark"), period);
}

QString mediaCaption(int n) {
    return arrayName(QStringLiteral("Label48"), n);
}

}  // namespace tavirin::ctl
