#include "status/todaysounds.h"

#include "model/form1layout.h"
#include "scheduler/clockwords.h"
#include "store/dayprogram.h"
#include "store/soundlibrary.h"

namespace tavirin {

QStringList soundFilesOfDay(const DayProgram& program, const SoundLibrary& library) {
    QStringList files;
    auto add = [&files](const QString& f) {
        if (!files.contains(f)) files << f;
    };
    const QStringList hours = hourItems();
    bool rings = false;
    for (const Period& p : program.periods) {
        // an hour outside the list is put out of use when the day is armed
        if (p.hour == QLatin1String("no") || !hours.contains(p.hour)) continue;
        if (!rings) {
            add(program.frontChimeFile);
            add(program.backChimeFile);
            rings = true;
        }
        if (p.enabled == QLatin1String("1") && !p.soundFile.isEmpty()) add(p.soundFile);
    }
    if (!rings) return {};
    if (program.announceMode == QLatin1String("1") || program.announceMode == QLatin1String("2")) {
        const ClockWords w = buildClockWords(program.voiceFolder, library);
        add(w.intro);
        add(w.hourZero);
        for (const QString& n : w.number) add(n);
        add(w.oclock);
        add(w.minutes);
    }
    add(library.systemSound());
    return files;
}

}  // namespace tavirin
