// Puts a calendar entry or a change of one day into a store file through the program's own
// store code, before the program under test starts on it:
//   calendarstore FILE holidays YEAR
//   calendarstore FILE shift-today YYYY-MM-DD MINUTES
#include "calendar/calendar.h"
#include "calendar/thaiholidays.h"
#include "platform/clock.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/programstore.h"

#include <QCoreApplication>
#include <QDate>

using namespace tavirin;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) return 2;
    const QDate date = QDate::fromString(args[3], Qt::ISODate);
    SystemClock clock;
    IniSettingsBackend backend(args[1], clock);
    ProgramStore store(backend);
    if (args[2] == QLatin1String("holidays"))
        return writeCalendar(store, readCalendar(store) + fixedThaiHolidays(args[3].toInt())) ? 0
                                                                                              : 1;
    if (args[2] == QLatin1String("shift-today") && args.size() == 5) {
        TodayChanges today;
        today.date = date;
        today.shifts = {{QTime(0, 0), args[4].toInt()}};
        return writeTodayChanges(store, today) ? 0 : 1;
    }
    return 2;
}
