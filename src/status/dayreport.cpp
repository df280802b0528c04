#include "status/dayreport.h"

#include "platform/clock.h"
#include "status/selftest.h"

#include <QHash>

namespace tavirin {

namespace {

constexpr Rgb kGreen{0, 150, 0};
constexpr Rgb kOrange{230, 120, 0};
constexpr Rgb kRed{210, 0, 0};
constexpr Rgb kGrey{110, 110, 110};

const QString kUnknownPrefix = QStringLiteral("unknown: ");

QString outcomeThai(const QString& outcome) {
    static const QHash<QString, QString> words{
        {journal::kRang, QStringLiteral("ดังแล้ว")},
        {journal::kLate, QStringLiteral("ดังช้า")},
        {journal::kMissed, QStringLiteral("ไม่ได้ดัง")},
        {journal::kFailed, QStringLiteral("ดังไม่สำเร็จ")},
        {journal::kSkipped, QStringLiteral("งดออด")},
    };
    return outcome.isEmpty() ? QStringLiteral("กำลังดัง") : words.value(outcome, outcome);
}

std::optional<Rgb> outcomeColour(const QString& outcome) {
    if (outcome == journal::kRang) return kGreen;
    if (outcome == journal::kLate) return kOrange;
    if (outcome == journal::kMissed || outcome == journal::kFailed) return kRed;
    if (outcome == journal::kSkipped) return kGrey;
    return std::nullopt;
}

QString reasonThai(const BellRecord& b) {
    static const QHash<QString, QString> words{
        {journal::kNotRunning, QStringLiteral("โปรแกรมไม่ได้เปิดอยู่ (เครื่องปิดหรือเปิดโปรแกรมช้า)")},
        {journal::kStall, QStringLiteral("เครื่องทำงานช้าหรือค้างไปชั่วขณะ")},
        {journal::kClockJump, QStringLiteral("นาฬิกาของเครื่องถูกปรับข้ามเวลานี้")},
        {journal::kSuspend, QStringLiteral("เครื่องพักหลับ (suspend) อยู่")},
        {journal::kDuringBell, QStringLiteral("ตรงกับออดอื่นที่กำลังดังอยู่")},
        {journal::kAnotherBell, QStringLiteral("มีออดอื่นกำลังดังอยู่")},
        {journal::kNoDevice, QStringLiteral("ไม่มีอุปกรณ์เสียง เสียงไม่ออกลำโพง")},
        {journal::kSoundsFailed, QStringLiteral("เล่นไฟล์เสียงไม่ได้")},
        {journal::kInterrupted, QStringLiteral("โปรแกรมปิดไประหว่างออดดัง")},
    };
    if (b.outcome == journal::kRang || b.outcome.isEmpty()) return {};
    return words.value(b.reason, b.detail);
}

// What a check's result means, in Thai; the technical detail stays beside it as a tooltip.
QString checkSummary(const QString& item, bool ok) {
    struct Words {
        const char* ok;
        const char* failed;
    };
    static const QHash<QString, Words> words{
        {SelfTest::kItemRelay, {"เปิดและปิดรีเลย์ได้", "สั่งรีเลย์ไม่ได้: ตรวจสายรีเลย์และพอร์ตที่เลือก"}},
        {SelfTest::kItemAudio,
         {"มีอุปกรณ์เสียงพร้อมใช้", "ไม่พบอุปกรณ์เสียง: ตรวจสายเสียงและการตั้งค่าเสียงของเครื่อง"}},
        {SelfTest::kItemSounds,
         {"ไฟล์เสียงของวันนี้เล่นได้ครบ", "มีไฟล์เสียงที่หายไปหรือเล่นไม่ได้: ดูชื่อไฟล์ในข้อความแจ้ง"}},
        {SelfTest::kItemClock,
         {"เวลาของเครื่องตรงกับอินเทอร์เน็ต", "เวลาของเครื่องยังไม่ได้ตั้งให้ตรง: ตรวจการต่ออินเทอร์เน็ต"}},
        {SelfTest::kItemStore, {"บันทึกได้ มีที่ว่างพอ", "บันทึกไม่ได้หรือดิสก์ใกล้เต็ม"}},
        {SelfTest::kItemJournal, {"บันทึกได้ มีที่ว่างพอ", "บันทึกไม่ได้หรือดิสก์ใกล้เต็ม"}},
        {SelfTest::kItemLibrary, {"อ่านได้ มีที่ว่างพอ", "อ่านไม่ได้หรือดิสก์ใกล้เต็ม"}},
    };
    const auto it = words.constFind(item);
    if (it == words.cend()) return {};
    return QString::fromUtf8(ok ? it->ok : it->failed);
}

QString seconds(qint64 ms) {
    return QStringLiteral("%1 วินาที").arg(double(ms) / 1000, 0, 'f', ms < 10000 ? 1 : 0);
}

}  // namespace

BellLine bellLine(const BellRecord& b) {
    BellLine l;
    l.period = b.period ? QStringLiteral("ช่วงที่ %1").arg(*b.period) : QStringLiteral("บอกเวลา");
    if (b.kind == journal::kManual) l.period += QStringLiteral(" (สั่งตีทันที)");
    l.due = clockMinutesText(b.due.time());
    l.outcome = outcomeThai(b.outcome);
    if (b.outcome == journal::kLate && b.lateMs) l.late = seconds(*b.lateMs);
    l.reason = reasonThai(b);
    l.detail = b.detail;
    l.colour = outcomeColour(b.outcome);
    return l;
}

BellLine emergencyLine(const EmergencyRecord& e) {
    static const QHash<QString, QString> from{{journal::kFromWindow, QStringLiteral("หน้าต่าง")},
                                              {journal::kFromTray, QStringLiteral("ไอคอนถาด")},
                                              {journal::kFromBus, QStringLiteral("สคริปต์")},
                                              {journal::kFromContact, QStringLiteral("ปุ่มฉุกเฉิน")},
                                              {journal::kFromPage, QStringLiteral("หน้าเว็บ")}};
    BellLine l;
    l.period = QStringLiteral("ฉุกเฉิน: ") + e.name;
    l.due = clockMinutesText(e.started.time());
    if (e.ended.isValid())
        l.outcome = QStringLiteral("สิ้นสุด ") + clockMinutesText(e.ended.time());
    else if (e.note.startsWith(QLatin1String("no all clear")))
        l.outcome = QStringLiteral("ไม่ได้ประกาศสิ้นสุด");
    else
        l.outcome = QStringLiteral("ยังไม่สิ้นสุด");
    QStringList why{QStringLiteral("เริ่มจาก") + from.value(e.startedFrom, e.startedFrom)};
    if (!e.bellsHeld.isEmpty()) why << QStringLiteral("งดออด %1 ครั้ง").arg(e.bellsHeld.size());
    l.reason = why.join(QStringLiteral(" · "));
    l.detail = e.note;
    l.colour = kRed;
    return l;
}

BellLine actionLine(const ActionRecord& a) {
    static const QHash<QString, QString> outcome{
        {QStringLiteral("done"), QStringLiteral("ทำแล้ว")},
        {QStringLiteral("waiting"), QStringLiteral("รอออดจบ")},
        {QStringLiteral("refused"), QStringLiteral("ไม่ได้ทำ")},
        {QStringLiteral("failed"), QStringLiteral("ล้มเหลว")}};
    static const QHash<QString, QString> role{{QStringLiteral("admin"), QStringLiteral("ผู้ดูแล")},
                                              {QStringLiteral("teacher"), QStringLiteral("ครู")}};
    BellLine l;
    l.period = (a.from == journal::kFromContact ? QStringLiteral("ปุ่มฉุกเฉิน: ")
                                                : QStringLiteral("หน้าเว็บ: ")) +
               a.action;
    l.due = clockMinutesText(a.at.time());
    l.outcome = outcome.value(a.outcome, a.outcome);
    QStringList why{(a.role.isEmpty() ? QString() : role.value(a.role, a.role) + QLatin1Char(' ')) +
                    a.address};
    if (!a.reason.isEmpty()) why << a.reason;
    l.reason = why.join(QStringLiteral(" · "));
    if (a.outcome == QLatin1String("failed")) l.colour = kRed;
    return l;
}

BellLine outboxLine(const OutboxMessage& m) {
    static const QHash<QString, QString> channel{
        {QStringLiteral("line"), QStringLiteral("LINE")},
        {QStringLiteral("telegram"), QStringLiteral("Telegram")},
        {QStringLiteral("webhook"), QStringLiteral("webhook")}};
    BellLine l;
    QString text = m.text;
    if (text.size() > 60) text = text.left(59) + QChar(0x2026);
    l.period = QStringLiteral("แจ้งทาง %1: %2").arg(channel.value(m.channel, m.channel), text);
    l.due = clockMinutesText(m.created.time());
    if (m.state == journal::kOutboxSent)
        l.outcome = QStringLiteral("ส่งแล้ว ") + clockMinutesText(m.sentAt.time());
    else if (m.state == journal::kOutboxGivenUp)
        l.outcome = QStringLiteral("เลิกส่ง");
    else
        l.outcome = m.attempts ? QStringLiteral("ยังส่งไม่ได้ (ลอง %1 ครั้ง)").arg(m.attempts)
                               : QStringLiteral("รอส่ง");
    if (m.state != journal::kOutboxSent) l.reason = m.lastAnswer;
    if (m.state == journal::kOutboxGivenUp ||
        (m.state == journal::kOutboxPending && m.attempts > 0))
        l.colour = kRed;
    return l;
}

QList<BellLine> dayRecord(const Journal& journal, QDate day) {
    QList<BellLine> lines;
    for (const BellRecord& b : journal.bellsOn(day)) lines.append(bellLine(b));
    for (const EmergencyRecord& e : journal.emergenciesOn(day)) lines.append(emergencyLine(e));
    for (const ActionRecord& a : journal.actionsOn(day)) lines.append(actionLine(a));
    for (const OutboxMessage& m : journal.outboxOn(day)) lines.append(outboxLine(m));
    return lines;
}

bool isTroubleLine(const BellLine& line) {
    return line.colour == kRed;
}

CheckLine checkLine(const CheckRecord& c) {
    CheckLine l;
    l.at = clockMinutesText(c.at.time());
    l.item = thaiCheckName(c.item);
    l.detail = c.detail;
    l.summary = checkSummary(c.item, c.ok);
    if (!c.ok) {
        l.result = QStringLiteral("มีปัญหา");
        l.colour = kRed;
    } else if (c.detail.startsWith(kUnknownPrefix)) {
        l.result = QStringLiteral("ไม่ทราบ");
        l.detail = c.detail.mid(kUnknownPrefix.size());
        l.summary = QStringLiteral("บอกไม่ได้ในเครื่องนี้");
        l.colour = kGrey;
    } else {
        l.result = QStringLiteral("ปกติ");
        l.colour = kGreen;
    }
    if (l.summary.isEmpty()) l.summary = l.detail;
    return l;
}

QList<CheckRecord> latestSelfTest(const QList<CheckRecord>& checks) {
    QDateTime latest;
    for (const CheckRecord& c : checks)
        if (!latest.isValid() || c.at > latest) latest = c.at;
    QList<CheckRecord> out;
    for (const CheckRecord& c : checks)
        if (c.at == latest) out << c;
    return out;
}

QList<CheckRecord> checkRecords(const SelfTestReport& report) {
    QList<CheckRecord> out;
    for (const CheckResult& c : report.checks) {
        const bool unknown = c.status == CheckResult::Status::Unknown;
        out << CheckRecord{report.at, c.item, c.status != CheckResult::Status::Failed,
                           unknown ? kUnknownPrefix + c.detail : c.detail};
    }
    return out;
}

std::optional<BoardMark> boardMark(const BellRecord& b) {
    if (!outcomeColour(b.outcome)) return std::nullopt;
    // light colours: the board is dark blue
    Rgb colour{255, 90, 90};
    if (b.outcome == journal::kRang) colour = {0, 255, 0};
    if (b.outcome == journal::kLate) colour = {255, 200, 0};
    if (b.outcome == journal::kSkipped) colour = {200, 200, 200};
    const bool rang = b.outcome == journal::kRang || b.outcome == journal::kLate;
    const bool skipped = b.outcome == journal::kSkipped;
    const BellLine l = bellLine(b);
    QString tip = l.due + u' ' + l.outcome;
    if (!l.late.isEmpty()) tip += u' ' + l.late;
    if (!l.reason.isEmpty()) tip += QStringLiteral(": ") + l.reason;
    return BoardMark{rang      ? QStringLiteral("✓")
                     : skipped ? QStringLiteral("–")
                               : QStringLiteral("✗"),
                     colour, tip};
}

QString daySummary(const QList<BellRecord>& bells) {
    int rang = 0, late = 0, missed = 0, failed = 0;
    for (const BellRecord& b : bells) {
        rang += b.outcome == journal::kRang;
        late += b.outcome == journal::kLate;
        missed += b.outcome == journal::kMissed;
        failed += b.outcome == journal::kFailed;
    }
    if (rang + late + missed + failed == 0) return {};
    QStringList parts{QStringLiteral("วันนี้ดังแล้ว %1").arg(rang + late)};
    if (late) parts << QStringLiteral("ช้า %1").arg(late);
    if (missed) parts << QStringLiteral("ไม่ได้ดัง %1").arg(missed);
    if (failed) parts << QStringLiteral("ดังไม่สำเร็จ %1").arg(failed);
    return parts.join(QStringLiteral(" · "));
}

bool dayHasTrouble(const QList<BellRecord>& bells) {
    for (const BellRecord& b : bells)
        if (b.outcome == journal::kMissed || b.outcome == journal::kFailed) return true;
    return false;
}

}  // namespace tavirin
