#pragma once

#include "calendar/calendar.h"
#include "platform/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>

#include <array>
#include <optional>

namespace tavirin {

class ProgramStore;

// Everything a school would lose with its PC: the seven day programs (all 128 keys each, as
// stored), the radio addresses, the seven-day flag and the calendar. Not the serial port (it
// names this PC's hardware) and not the changes made for one day.
struct Backup {
    std::array<QHash<QString, QString>, 7> programs;  // "section/key" -> value, per day
    std::array<QString, 3> radio;
    QString sevenDayMode;
    Calendar calendar;
};

namespace backuplimits {
inline constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
inline constexpr int kMaxValueLength = 4096;
}  // namespace backuplimits

Backup readBackup(const ProgramStore& store);
// A JSON file ("format": "tavirin-backup", "version": 1).
QByteArray toBackupFile(const Backup& backup, const QDateTime& stamp);
// The backup a file holds, or nothing with the reason in Thai in `error`. A file is taken
// whole or not at all.
std::optional<Backup> parseBackupFile(const QByteArray& bytes, QString* error);
// Replaces the programs, the globals and the calendar in one all-or-nothing burst.
Result writeBackup(ProgramStore& store, const Backup& backup);

}  // namespace tavirin
