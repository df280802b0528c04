#pragma once

#include "journal/journal.h"
#include "model/formmodel.h"

#include <QList>
#include <QString>

namespace tavirin {

struct SelfTestReport;

// The journal's rows as a school secretary reads them: Thai words, no codes.

// One bell of a day, as the "today" view lists it.
struct BellLine {
    QString period;   // "ช่วงที่ 3", or "บอกเวลา" for announce-now
    QString due;      // "08:00"
    QString outcome;  // "ดังแล้ว", "ดังช้า", ...
    QString late;     // "12 วินาที", "" when on time
    QString reason;   // why it was late, missed or failed, in Thai; "" when it rang
    QString detail;   // the journal's own words for it
    std::optional<Rgb> colour;
};
BellLine bellLine(const BellRecord& bell);
// An emergency as a line of the same table: "ฉุกเฉิน: อพยพ", when it started, how it ended
// ("สิ้นสุด 10:42", "ยังไม่สิ้นสุด", "ไม่ได้ประกาศสิ้นสุด"), where from and the bells it held.
BellLine emergencyLine(const EmergencyRecord& emergency);
// An action from the network page: "หน้าเว็บ: บอกเวลาขณะนี้", when, what became of it, and
// who asked from where ("ครู 192.168.1.20").
BellLine actionLine(const ActionRecord& action);
// A message to the school's phones: "แจ้งทาง LINE: <its text>", whether it went, and what the
// far end answered last.
BellLine outboxLine(const OutboxMessage& message);
// The day's record as the window and the page show it: the bells, then the emergencies,
// then the page's actions, then the messages to the phones.
QList<BellLine> dayRecord(const Journal& journal, QDate day);
// A line that says something went wrong (its colour is the trouble red).
bool isTroubleLine(const BellLine& line);

// One item of a self-test.
struct CheckLine {
    QString at;       // "06:45"
    QString item;     // "ไฟล์เสียง"
    QString result;   // "ปกติ", "มีปัญหา", "ไม่ทราบ"
    QString summary;  // what it means, in Thai, for the school's staff
    QString detail;   // what the check found, as the log says it (for a technician)
    std::optional<Rgb> colour;
};
CheckLine checkLine(const CheckRecord& check);

// The items of the latest self-test among a day's checks.
QList<CheckRecord> latestSelfTest(const QList<CheckRecord>& checks);

// The journal's form of a self-test: an item that could not be told (no timedated) is not a
// failure and says "unknown" first.
QList<CheckRecord> checkRecords(const SelfTestReport& report);

// The mark beside a period on the time board: a glyph in the outcome's colour, the outcome in
// its tooltip. A bell not yet over (no outcome) has no mark.
struct BoardMark {
    QString glyph;
    Rgb colour;
    QString toolTip;
};
std::optional<BoardMark> boardMark(const BellRecord& bell);

// Today's bells in a line: "วันนี้ดังแล้ว 5 · ช้า 1 · ไม่ได้ดัง 1"; "" when none is over.
QString daySummary(const QList<BellRecord>& bells);
// A bell of the day was missed or failed.
bool dayHasTrouble(const QList<BellRecord>& bells);

}  // namespace tavirin
