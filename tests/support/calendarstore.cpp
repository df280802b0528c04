// Puts a calendar entry or a change of one day into a store file through the program's own
// store code, before the program under test starts on it:
//   calendarstore FILE holiday YYYY-MM-DD NAME
//   calendarstore FILE shift-today YYYY-MM-DD MINUTES
#include "calendar/calendar.h"
#include "platform/clock.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/programstore.h"

#include <QCoreApplication>
#include <QDate>

using namespace tavirin;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) return 2;
    const QDate date = QDate::fromString(args[3], Qt::ISODate);
    SystemClock clock;
    IniSettingsBackend backend(args[1], clock);
    ProgramStore store(backend);
    if (args[2] == QLatin1String("holiday")) {
        Calendar cal = readCalendar(store);
        cal.append({date, date, args[4], RuleKind::NoBells, 0, 0});
        return writeCalendar(store, cal) ? 0 : 1;
    }
    if (args[2] == QLatin1String("shift-today")) {
        TodayChanges today;
        today.date = date;
        today.shifts = {{QTime(0, 0), args[4].toInt()}};
        return writeTodayChanges(store, today) ? 0 : 1;
    }
    return 2;
}
