#pragma once

#include <QString>
#include <array>

namespace tavirin {

class SoundLibrary;

// The word files of one voice folder P: P followed by the file name, P used exactly as given.
struct ClockWords {
    QString intro;                  // P/ขณะนี้เวลา.wav "the time now is"
    QString hourZero;               // P/00.wav, the hour 00
    std::array<QString, 60> number; // P/0.wav .. P/59.wav
    QString oclock;                 // P/นาฬิกา.wav
    QString minutes;                // P/นาที.wav
    QString systemSound;            // the library's sys/0.wav: filler and blip
};

// Fills the table from the folder; whether the files exist is not looked at.
ClockWords buildClockWords(const QString& voiceFolder, const SoundLibrary& library);

}  // namespace tavirin
