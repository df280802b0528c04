#pragma once

#include <QPixmap>
#include <QStringList>

namespace tavirin {

class AmplifierRelay;
class Arming;
class FormModel;
class ProgramStore;
class SoundLibrary;

// The voice folders of the library: the entries of <root>/time without an extension,
// folders included, in the order the file system gives them.
QStringList listVoices(const SoundLibrary& library);

// The background picture of the library, or a null pixmap when it cannot be loaded.
QPixmap loadBackground(const SoundLibrary& library);

// Loading the main window: first run, the marker and its read-back, the repairs, today's
// program, the port, the shutdown rule, the voice boxes, the radio addresses and the
// seven-day layout. No step stops the load; failures are logged.
void loadMainWindow(FormModel& form, ProgramStore& store, const SoundLibrary& library,
                    Arming& arming, AmplifierRelay& relay);

}  // namespace tavirin
