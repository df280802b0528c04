#include "scheduler/talkingclock.h"

#include "outputs/soundplayer.h"
#include "platform/logging.h"

namespace tavirin {

void TalkingClock::chooseClockFiles(const QString& sayHour, const QString& sayMinute) {
    bool ok = false;
    const int hour = sayHour.toInt(&ok);
    if (sayHour == QLatin1String("00"))
        hourFile_ = words_.hourZero;
    else if (ok && hour >= 1 && hour <= 23)
        hourFile_ = words_.number[hour];
    const int minute = sayMinute.toInt(&ok);
    if (ok && minute >= 0 && minute <= 59) minuteFile_ = words_.number[minute];
}

void TalkingClock::sayOnce() {
    player_.playWait(words_.intro);
    player_.playWait(hourFile_);
    player_.playWait(words_.oclock);
    player_.playWait(minuteFile_);
    // On the full hour the filler stands where "minutes" would be said.
    player_.playWait(minuteFile_ == words_.number[0] ? words_.systemSound : words_.minutes);
}

int TalkingClock::soundCount(const QString& announceMode) {
    switch (announceMode.trimmed().toInt()) {  // not a number: 0
        case 1:
            return 5;
        case 2:
            return 10;
        case 3:
            return 5;
        default:
            return 0;
    }
}

void TalkingClock::announceTime(const QString& announceMode) {
    bool ok = false;
    const int mode = announceMode.trimmed().toInt(&ok);
    if (!ok) {
        qCWarning(lcScheduler) << "announce mode" << announceMode
                               << "is not a number; no announcement";
        return;
    }
    switch (mode) {
        case 1:
            sayOnce();
            break;
        case 2:
            sayOnce();
            sayOnce();
            break;
        case 3:
            for (int i = 0; i < 5; ++i) player_.playBlip(words_.systemSound);
            break;
        default:
            break;
    }
}

}  // namespace tavirin
