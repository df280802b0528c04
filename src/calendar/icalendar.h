#pragma once

#include "calendar/calendar.h"

#include <QByteArray>
#include <QDateTime>

namespace tavirin {

// What an iCalendar (.ics) file holds for the school's calendar. Every event becomes an
// entry without bells (a holiday, a substitution day), unless it was exported by this program
// with its rule (X-TAVIRIN-KIND).
struct ICalImport {
    QString error;     // Thai: the file is refused as a whole; nothing is taken from it
    Calendar entries;  // the events that may be added, each once, in the file's order
    int events = 0;    // events (or occurrences of repeating ones) read
    int outside = 0;   // left out: before or after the years an entry may have
    int unusable = 0;  // left out: no date, a range too long, ...
};

namespace icallimits {
inline constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;
// Events (occurrences of repeating events included) one file may hold.
inline constexpr int kMaxEvents = 5000;
}  // namespace icallimits

// Parsed with libical. `today` decides which years an entry may have (calendar.h).
ICalImport parseICalendar(const QByteArray& bytes, QDate today);

// The whole calendar as an iCalendar file: one all-day event per entry, its rule in
// X-TAVIRIN-KIND and, for other programs, in words in its DESCRIPTION.
QByteArray toICalendar(const Calendar& calendar, const QDateTime& stamp);

}  // namespace tavirin
