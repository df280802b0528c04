// Music and radio between bells. They are started after the answer: starting waits a moment
// for the amplifier, and a caller is answered at once.
#include "core/bellcore.h"

#include "core/bellcoreparts.h"
#include "model/controlnames.h"
#include "model/formmodel.h"
#include "outputs/mediasources.h"

#include <QTimer>

namespace tavirin {

Outcome BellCore::startMusic() {
    if (Outcome held = heldByEmergency(); !held) return held;
    if (bellInProgress()) return busy();
    QTimer::singleShot(0, this, [this] {
        if (!bellInProgress()) p_->media.playMusic();
    });
    return Outcome::done();
}

Outcome BellCore::startRadio(int station) {
    if (station < 1 || station > 3) return Outcome::refused(QStringLiteral("มีสถานีวิทยุที่ 1 ถึง 3"));
    if (p_->a.form.text(ctl::radioAddress(station)).trimmed().isEmpty())
        return Outcome::refused(QStringLiteral("สถานีที่ %1 ยังไม่ได้ใส่ที่อยู่").arg(station));
    if (Outcome held = heldByEmergency(); !held) return held;
    if (bellInProgress()) return busy();
    QTimer::singleShot(0, this, [this, station] {
        if (!bellInProgress()) p_->media.playRadio(station);
    });
    return Outcome::done();
}

Outcome BellCore::stopMedia() {
    if (bellInProgress()) return busy();
    p_->media.stopMusicAndRadio();
    return Outcome::done();
}

}  // namespace tavirin
