#pragma once

#include "scheduler/clockwords.h"

#include <QString>

namespace tavirin {

class SoundPlayer;

// Says the time in Thai from the word files of one voice: the time now is, the hour,
// o'clock, the minute, minutes; once, twice, or five blips of the system sound instead.
class TalkingClock {
public:
    explicit TalkingClock(SoundPlayer& player) : player_(player) {}

    void setWords(const ClockWords& words) { words_ = words; }
    const ClockWords& words() const { return words_; }

    // Picks the word files for the time the run starts ("00".."23", "00".."59"). The hour 00
    // has its own file; the minute 00 is the number 0.
    void chooseClockFiles(const QString& sayHour, const QString& sayMinute);
    QString hourFile() const { return hourFile_; }
    QString minuteFile() const { return minuteFile_; }

    // "1" once, "2" twice, "3" five blips; any other value says nothing.
    void announceTime(const QString& announceMode);
    // How many sounds announceTime plays for a mode.
    static int soundCount(const QString& announceMode);

private:
    void sayOnce();

    SoundPlayer& player_;
    ClockWords words_;
    QString hourFile_;
    QString minuteFile_;
};

}  // namespace tavirin
