#include "store/dayprogram.h"

#include "platform/clock.h"
#include "store/keylayout.h"
#include "store/programstore.h"

#include <QDate>

namespace tavirin {

const std::array<WeekdayRow, 7>& weekdayTable() {
    static const std::array<WeekdayRow, 7> table = {{
        {1, keys::dayApplication(1), QStringLiteral("จันทร์"), QStringLiteral("จ"),
         QStringLiteral("วันจันทร์")},
        {2, keys::dayApplication(2), QStringLiteral("อังคาร"), QStringLiteral("อ"),
         QStringLiteral("วันอังคาร")},
        {3, keys::dayApplication(3), QStringLiteral("พุธ"), QStringLiteral("พ"),
         QStringLiteral("วันพุธ")},
        {4, keys::dayApplication(4), QStringLiteral("พฤหัสบดี"), QStringLiteral("พฤ"),
         QStringLiteral("วันพฤหัสบดี")},
        {5, keys::dayApplication(5), QStringLiteral("ศุกร์"), QStringLiteral("ศ"),
         QStringLiteral("วันศุกร์")},
        {6, keys::dayApplication(6), QStringLiteral("เสาร์"), QStringLiteral("ส"),
         QStringLiteral("วันเสาร์")},
        {7, keys::dayApplication(7), QStringLiteral("อาทิตย์"), QStringLiteral("อา"),
         QStringLiteral("วันอาทิตย์")},
    }};
    return table;
}

const WeekdayRow* weekdayRow(int dayIndex) {
    if (dayIndex < 1 || dayIndex > 7) return nullptr;
    return &weekdayTable()[std::size_t(dayIndex - 1)];
}

std::optional<int> dayIndexOfChooserEntry(const QString& entry) {
    for (const WeekdayRow& row : weekdayTable())
        if (row.chooserEntry == entry) return row.dayIndex;
    return std::nullopt;
}

std::optional<int> todayDayIndex(const Clock& clock) {
    // From the date itself, never from a locale's day name.
    const QDate today = clock.now().date();
    if (!today.isValid()) return std::nullopt;
    return today.dayOfWeek();  // Monday 1 .. Sunday 7
}

QString clockDayName(int dayIndex) {
    const WeekdayRow* row = weekdayRow(dayIndex);
    return row ? row->clockDayName : QString();
}

DayProgram readDayProgram(const ProgramStore& store, int day) {
    return readDayProgram(store, keys::dayApplication(day));
}

DayProgram readDayProgram(const ProgramStore& store, const QString& app) {
    const auto get = [&](const QString& section, const QString& key) {
        return store.GetSetting(app, section, key, QString());
    };
    DayProgram p;
    for (int n = 1; n <= keys::kPeriods; ++n) {
        Period& period = p.period(n);
        period.hour = get(keys::kTime, keys::hour(n));
        period.minute = get(keys::kTime, keys::minute(n));
        period.enabled = get(keys::kNumber, keys::number(n));
        period.soundFile = get(keys::kSond, keys::sond(n));
        period.afterBellMedia = get(keys::kFm, keys::fm(n));
    }
    p.shutdownHour = get(keys::kTime, keys::hour(keys::kShutdownHour));
    p.frontChimeFile = get(keys::kTime, keys::minute(keys::kFrontChime));
    p.voiceFolder = get(keys::kTime, keys::minute(keys::kVoiceFolder));
    p.amplifierDelaySeconds = get(keys::kTime, keys::minute(keys::kAmplifierDelay));
    p.shutdownMinute = get(keys::kTime, keys::minute(keys::kShutdownMinute));
    p.announceMode = get(keys::kTime, keys::minute(keys::kAnnounceMode));
    p.backChimeFile = get(keys::kTime, keys::minute(keys::kBackChime));
    p.shutdownEnabled = get(keys::kNumber, keys::number(keys::kShutdownEnabled));
    return p;
}

Result writeDayProgram(ProgramStore& store, const QString& application, const DayProgram& program) {
    ProgramStore::Burst burst(store);
    Result failed;
    const auto put = [&](const QString& section, const QString& key, const QString& value) {
        if (failed) failed = store.SaveSetting(application, section, key, value);
    };
    // After a failed write put() writes nothing more.
    const QString& time = keys::kTimeAsWritten;
    for (int n = 1; n <= keys::kPeriods; ++n) put(time, keys::hour(n), program.period(n).hour);
    put(time, keys::hour(keys::kShutdownHour), program.shutdownHour);
    for (int n = 1; n <= keys::kPeriods; ++n) put(time, keys::minute(n), program.period(n).minute);
    put(time, keys::minute(keys::kFrontChime), program.frontChimeFile);
    put(time, keys::minute(keys::kVoiceFolder), program.voiceFolder);
    put(time, keys::minute(keys::kAmplifierDelay), program.amplifierDelaySeconds);
    put(time, keys::minute(keys::kShutdownMinute), program.shutdownMinute);
    put(time, keys::minute(keys::kAnnounceMode), program.announceMode);
    put(time, keys::minute(keys::kBackChime), program.backChimeFile);
    for (int n = 1; n <= keys::kPeriods; ++n)
        put(keys::kNumber, keys::number(n), program.period(n).enabled);
    put(keys::kNumber, keys::number(keys::kShutdownEnabled), program.shutdownEnabled);
    for (int n = 1; n <= keys::kPeriods; ++n)
        put(keys::kSond, keys::sond(n), program.period(n).soundFile);
    for (int n = 1; n <= keys::kPeriods; ++n)
        put(keys::kFm, keys::fm(n), program.period(n).afterBellMedia);
    const Result done = burst.finish();
    return failed ? done : failed;
}

QTime shutdownTime(const QString& hour, const QString& minute, const QString& enabled) {
    if (enabled != QLatin1String("1")) return {};
    const auto twoDigits = [](const QString& s) {
        return s.size() == 2 && s[0].isDigit() && s[1].isDigit()
                   ? s[0].digitValue() * 10 + s[1].digitValue()
                   : -1;
    };
    const int h = twoDigits(hour), m = twoDigits(minute);
    if (h < 0 || h > 23 || m < 0 || m > 59) return {};
    return QTime(h, m);
}

std::optional<bool> readSevenDayMode(const ProgramStore& store) {
    const QString v =
        store.GetSetting(keys::kBaseApplication, keys::kDay7, keys::kDay7Key, QString());
    if (v == u"1") return true;
    if (v == u"0") return false;
    return std::nullopt;
}

Result writeSevenDayMode(ProgramStore& store, bool on) {
    return store.SaveSetting(keys::kBaseApplication, keys::kDay7, keys::kDay7Key,
                             on ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace tavirin
