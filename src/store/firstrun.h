#pragma once

#include "platform/result.h"

#include <QString>

namespace tavirin {

class ProgramStore;
class SoundLibrary;

// The page behind the three default online-radio stations; the fragment picks the station.
inline const QString kDefaultRadioPage = QStringLiteral("https://radio.garden/");
// The three default addresses: the page with "#88-fm", "#cool" and "#big".
QString defaultRadioAddress(int station);

// The values of a new installation: the seven day programs (128 keys each), then the three
// radio addresses, the serial port and the seven-day flag of the base application; 901
// values in one burst. Paths are full native paths into the library.
Result seedFirstRun(ProgramStore& store, const SoundLibrary& library);

// The repairs of every start, in one burst: an empty seven-day flag becomes "1"; three empty
// radio addresses become the defaults and every period's after-bell media "0". Returns the
// first failure, success when nothing needed writing.
Result repairGlobals(ProgramStore& store);

// True while the first-run marker has not been set (the store is new).
bool isFirstRun(const ProgramStore& store);
// Writes the first-run marker ("LIMIT"/"limit" = "1") and reads it back; true when the
// read-back is "1". The marker's write failure is logged by the store.
bool writeFirstRunMarker(ProgramStore& store);

}  // namespace tavirin
