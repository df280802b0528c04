#pragma once

#include <QStringList>

namespace tavirin {

struct DayProgram;
class SoundLibrary;

// Every file the day's bells will play, each once, in the order first played: the chimes,
// the word files of the day's voice (all of them, since any hour and minute may be said,
// when the time is announced at all), each ringing period's add-on sound, and the system
// sound (the add-on of a period without one, and the blips).
QStringList soundFilesOfDay(const DayProgram& program, const SoundLibrary& library);

}  // namespace tavirin
