#include "scheduler/clockwords.h"

#include "store/soundlibrary.h"

namespace tavirin {

ClockWords buildClockWords(const QString& voiceFolder, const SoundLibrary& library) {
    // The folder is used unchanged: no separator is added to it or taken from it.
    const QString p = voiceFolder;
    ClockWords w;
    w.intro = p + QStringLiteral("/ขณะนี้เวลา.wav");
    w.hourZero = p + QStringLiteral("/00.wav");
    for (int k = 0; k < 60; ++k) w.number[k] = p + u'/' + QString::number(k) + QStringLiteral(".wav");
    w.oclock = p + QStringLiteral("/นาฬิกา.wav");
    w.minutes = p + QStringLiteral("/นาที.wav");
    w.systemSound = library.systemSound();
    return w;
}

}  // namespace tavirin
