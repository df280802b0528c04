// A weekday's program written from outside the window (the network page), with the checks
// and the one durable burst of the window's editor.
#include "core/bellcore.h"

#include "core/bellcoreparts.h"
#include "platform/logging.h"
#include "store/dayprogram.h"
#include "store/keylayout.h"
#include "store/programstore.h"

namespace tavirin {

namespace {

bool inRange(const QString& text, int low, int high, int width = 2) {
    if (text.size() != width) return false;
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok && v >= low && v <= high;
}

}  // namespace

Outcome BellCore::saveDayProgram(int day, DayProgram program) {
    const WeekdayRow* row = weekdayRow(day);
    if (!row) return Outcome::refused(QStringLiteral("ไม่มีวันที่ %1 (มีวันที่ 1 ถึง 7)").arg(day));
    for (int n = 1; n <= 24; ++n) {
        Period& p = program.period(n);
        // The editor's lists: an hour "00".."23" or "no", a minute "00".."59", after-bell 0..4.
        if (p.hour != QLatin1String("no") && !inRange(p.hour, 0, 23))
            return Outcome::refused(
                QStringLiteral("ช่วงที่ %1: ชั่วโมง \"%2\" ไม่มีในรายการ").arg(n).arg(p.hour.left(10)));
        if (!inRange(p.minute, 0, 59))
            return Outcome::refused(
                QStringLiteral("ช่วงที่ %1: นาที \"%2\" ไม่มีในรายการ").arg(n).arg(p.minute.left(10)));
        if (!inRange(p.afterBellMedia, 0, 4, 1))
            return Outcome::refused(QStringLiteral("ช่วงที่ %1: หลังออดต้องเป็น 0 ถึง 4").arg(n));
        // As the editor tidies: a cleared add-on box loses its path, a box without a path
        // is cleared.
        if (p.enabled != QLatin1String("1")) p.soundFile.clear();
        if (p.soundFile.isEmpty()) p.enabled = QStringLiteral("0");
    }
    if (program.shutdownEnabled == QLatin1String("1") &&
        (!inRange(program.shutdownHour, 0, 23) || !inRange(program.shutdownMinute, 0, 59)))
        return Outcome::refused(QStringLiteral("เวลาปิดเครื่องอัตโนมัติไม่ถูกต้อง"));

    ProgramStore& store = p_->a.store;
    // With seven-day mode off the editor writes every day alike, and so does this.
    const bool sevenDays = store.GetSetting(keys::kBaseApplication, keys::kDay7, keys::kDay7Key,
                                            QString()) == QLatin1String("1");
    Result r;
    {
        ProgramStore::Burst burst(store, ProgramStore::Burst::OnFailure::RollBack);
        Result written = Result::success();
        for (const WeekdayRow& w : weekdayTable()) {
            if (sevenDays && w.dayIndex != day) continue;
            written = writeDayProgram(store, w.application, program);
            if (!written) break;
        }
        const Result synced = burst.finish();
        r = written ? synced : written;
    }
    if (!r) {
        qCWarning(lcStore).noquote() << "the program of day" << day << "was not saved:" << r.error;
        return Outcome::failed(QStringLiteral("บันทึกตารางออดไม่ได้ ตารางเดิมยังใช้อยู่"));
    }
    qCInfo(lcStore) << "the program of day" << day << "saved" << (sevenDays ? "" : "for every day");
    // The editor's own save arms today again; during a bell, once it is over.
    p_->scheduler.armWhenIdle(true);
    emit programsSaved(day);
    changed();
    return Outcome::done(sevenDays ? QString() : QStringLiteral("ใช้ตารางเดียวกันทุกวัน จึงบันทึกให้ทุกวัน"));
}

}  // namespace tavirin
