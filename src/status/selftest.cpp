#include "status/selftest.h"

#include "platform/audioprobe.h"
#include "platform/clock.h"
#include "platform/clocksync.h"
#include "platform/dialogs.h"
#include "platform/folderprobe.h"
#include "platform/seriallines.h"
#include "status/todaysounds.h"
#include "store/dayprogram.h"
#include "store/soundlibrary.h"

#include <QHash>
#include <QLoggingCategory>

#include <algorithm>
#include <optional>

Q_LOGGING_CATEGORY(lcSelfTest, "tavirin.selftest")

namespace tavirin {

namespace {

using Status = CheckResult::Status;

const QString kNoticeTitle = QStringLiteral("ตรวจระบบออดพบปัญหา");

QString megabytes(qint64 bytes) {
    return QString::number(bytes >> 20) + QStringLiteral(" MB");
}

std::optional<QTime> firstTrigger(const DueTimes& triggers) {
    std::optional<QTime> first;
    for (const QTime& time : triggers)
        if (time.isValid() && (!first || time < *first)) first = time;
    return first;
}

CheckResult checkSounds(AudioProbe& audio, const QStringList& files,
                        const std::atomic<bool>& stopping) {
    CheckResult c{SelfTest::kItemSounds, Status::Ok, {}, {}};
    QStringList failures;
    QString firstBad;
    qint64 totalMs = 0;
    for (const QString& f : files) {
        if (stopping) break;
        const AudioProbe::FileInfo info = audio.probeFile(f);
        if (info.result) {
            totalMs += info.durationMs;
            continue;
        }
        if (firstBad.isEmpty()) firstBad = f.isEmpty() ? QStringLiteral("(ไม่ได้เลือกไฟล์)") : f;
        failures << info.result.error;
    }
    if (failures.isEmpty()) {
        c.detail = QStringLiteral("%1 files decode, %2 s of sound")
                       .arg(files.size())
                       .arg(double(totalMs) / 1000, 0, 'f', 1);
        return c;
    }
    c.status = Status::Failed;
    c.detail = QStringLiteral("%1 of %2 files cannot be played: %3")
                   .arg(failures.size())
                   .arg(files.size())
                   .arg(failures.join(QStringLiteral("; ")));
    c.advice = QStringLiteral(
                   "ไฟล์เสียงที่ออดวันนี้จะเล่น เล่นไม่ได้ %1 ไฟล์ เช่น %2: "
                   "ตรวจไฟล์นั้น หรือเลือกไฟล์เสียงใหม่ในหน้า แก้ไขเวลา")
                   .arg(failures.size())
                   .arg(firstBad);
    return c;
}

CheckResult checkAudio(AudioProbe& audio) {
    CheckResult c{SelfTest::kItemAudio, Status::Ok, {}, {}};
    const Result r = audio.probeOutput();
    if (r) {
        c.detail = QStringLiteral("a sound output is there");
        return c;
    }
    c.status = Status::Failed;
    c.detail = r.error;
    c.advice = QStringLiteral(
        "ไม่พบอุปกรณ์เสียงของเครื่อง ออดจะไม่มีเสียง: "
        "ตรวจสายเสียงที่ต่อไปเครื่องขยายเสียง และการตั้งค่าเสียงของเครื่อง");
    return c;
}

CheckResult checkClock(ClockSync& sync) {
    CheckResult c{SelfTest::kItemClock, Status::Ok, {}, {}};
    const ClockSync::Answer a = sync.query();
    c.detail = a.detail;
    switch (a.state) {
        case ClockSync::State::Synchronised:
            break;
        case ClockSync::State::Unknown:
            c.status = Status::Unknown;
            break;
        case ClockSync::State::NotSynchronised:
            c.status = Status::Failed;
            c.advice = QStringLiteral(
                "นาฬิกาของเครื่องไม่ได้ตั้งตามเวลามาตรฐาน ออดอาจดังคลาดเวลา: "
                "ตรวจการต่ออินเทอร์เน็ต หรือตั้งเวลาของเครื่องให้ตรง");
            break;
    }
    return c;
}

CheckResult checkFolder(FolderProbe& probe, const SelfTest::Folder& f) {
    CheckResult c{f.item, Status::Ok, {}, {}};
    const FolderProbe::State s = probe.inspect(f.path, f.write);
    const bool usable = s.exists && s.readable && (!f.write || s.writable);
    const bool room = s.freeBytes < 0 || s.freeBytes >= SelfTest::kMinFreeBytes;
    const QString free = s.freeBytes < 0 ? QStringLiteral("room unknown")
                                         : megabytes(s.freeBytes) + QStringLiteral(" free");
    if (usable && room) {
        c.detail =
            QStringLiteral("%1: %2, %3")
                .arg(f.path, f.write ? QStringLiteral("writable") : QStringLiteral("readable"),
                     free);
        return c;
    }
    c.status = Status::Failed;
    if (!usable) {
        c.detail = s.error;
        c.advice = (f.write ? QStringLiteral("บันทึก%1ไม่ได้ (%2): แจ้งผู้ดูแลเครื่อง")
                            : QStringLiteral("อ่าน%1ไม่ได้ (%2): แจ้งผู้ดูแลเครื่อง"))
                       .arg(thaiCheckName(f.item), f.path);
    } else {
        c.detail = QStringLiteral("%1: only %2").arg(f.path, free);
        c.advice = QStringLiteral("ดิสก์ที่เก็บ%1ใกล้เต็ม (เหลือ %2): ลบไฟล์ที่ไม่ใช้ออก")
                       .arg(thaiCheckName(f.item), megabytes(s.freeBytes));
    }
    return c;
}

QString errorText(SerialLines::Error e) {
    switch (e) {
        case SerialLines::Error::NoSuchPort:
            return QStringLiteral("no such port, or it cannot be opened");
        case SerialLines::Error::Permission:
            return QStringLiteral("no permission (not in dialout)");
        case SerialLines::Error::Busy:
            return QStringLiteral("held by another program");
        default:
            return QStringLiteral("cannot be opened");
    }
}

}  // namespace

QString thaiCheckName(const QString& item) {
    static const QHash<QString, QString> names{
        {SelfTest::kItemRelay, QStringLiteral("รีเลย์เครื่องขยายเสียง")},
        {SelfTest::kItemAudio, QStringLiteral("อุปกรณ์เสียง")},
        {SelfTest::kItemSounds, QStringLiteral("ไฟล์เสียง")},
        {SelfTest::kItemClock, QStringLiteral("นาฬิกา")},
        {SelfTest::kItemStore, QStringLiteral("การตั้งค่า")},
        {SelfTest::kItemJournal, QStringLiteral("ประวัติออด")},
        {SelfTest::kItemLibrary, QStringLiteral("คลังเสียง")},
    };
    return names.value(item, item);
}

bool SelfTestReport::failed() const {
    for (const CheckResult& c : checks)
        if (c.status == CheckResult::Status::Failed) return true;
    return false;
}

SelfTest::SelfTest(Probes probes, const ProgramStore& store, const SoundLibrary& library,
                   const Clock& clock, Dialogs& dialogs)
    : probes_(probes), store_(store), library_(library), clock_(clock), dialogs_(dialogs) {
    watch_.setSingleShot(true);
    connect(&watch_, &QTimer::timeout, this, [this] { watch_.start(watchMorning()); });
}

SelfTest::~SelfTest() {
    stopping_ = true;
    if (worker_.joinable()) worker_.join();
}

void SelfTest::start() {
    run(QStringLiteral("start-up"));
    watch_.start(watchMorning());
}

void SelfTest::lookAgain() {
    if (watch_.isActive()) watch_.start(watchMorning());
}

// The morning self-test is due from this time of day until the first bell.
QTime SelfTest::morningFrom(QTime firstBell) {
    constexpr int before = kMinutesBeforeFirstBell * 60;
    return firstBell.msecsSinceStartOfDay() / 1000 > before ? firstBell.addSecs(-before)
                                                            : QTime(0, 0);
}

void SelfTest::markMorningIfDue(const QDateTime& now) {
    const std::optional<QTime> first = firstTrigger(triggers_ ? triggers_() : DueTimes{});
    if (!first) return;
    const QTime from = morningFrom(*first);
    if (now.time() >= from && now.time() < *first) morningDone_ = now.date();
}

int SelfTest::watchMorning() {
    const QDateTime now = clock_.now();
    if (!now.isValid()) return kWatchCapMs;
    if (!running_ && morningDone_ != now.date()) {
        markMorningIfDue(now);
        if (morningDone_ == now.date()) {
            morningDone_ = QDate();  // run() marks it again
            run(QStringLiteral("morning"));
        }
    }
    // Nothing polls while the program only watches: sleep until the morning one is due.
    qint64 sleepMs = kWatchCapMs;
    const std::optional<QTime> first = firstTrigger(triggers_ ? triggers_() : DueTimes{});
    if (first && morningDone_ != now.date()) {
        const qint64 until = now.time().msecsTo(morningFrom(*first));
        if (until > 0) sleepMs = std::min(sleepMs, until);
    }
    return int(std::max<qint64>(sleepMs, 1000));
}

bool SelfTest::run(const QString& reason) {
    if (running_) return false;
    if (worker_.joinable()) worker_.join();  // the last one has ended: it posted its results
    running_ = true;
    current_ = SelfTestReport{clock_.now(), reason, {}};
    took_.start();
    markMorningIfDue(current_.at);
    qCInfo(lcSelfTest).noquote() << "self-test (" + reason + ") started";

    // What the worker needs is read here: the store belongs to this thread.
    QStringList files;
    if (const std::optional<int> day = todayDayIndex(clock_))
        files = soundFilesOfDay(readDayProgram(store_, *day), library_);
    worker_ = std::thread([this, files, folders = folders_] {
        QList<CheckResult> results = runProbes(files, folders);
        QMetaObject::invokeMethod(
            this, [this, r = std::move(results)]() mutable { probesDone(std::move(r)); },
            Qt::QueuedConnection);
    });
    return true;
}

QList<CheckResult> SelfTest::runProbes(const QStringList& files, const QList<Folder>& folders) {
    QList<CheckResult> out;
    out << checkAudio(probes_.audio);
    out << checkSounds(probes_.audio, files, stopping_);
    out << checkClock(probes_.clockSync);
    for (const Folder& f : folders) out << checkFolder(probes_.folders, f);
    return out;
}

void SelfTest::probesDone(QList<CheckResult> results) {
    current_.checks = std::move(results);
    // The relay's port is the bells' own: it waits until no bell is on its way.
    if (bellInProgress_ && bellInProgress_()) {
        QTimer::singleShot(kRelayRetryMs, this, [this] { probesDone(current_.checks); });
        return;
    }
    finish(checkRelay());
}

CheckResult SelfTest::checkRelay() {
    SerialLines& lines = probes_.serial;
    CheckResult c{kItemRelay, Status::Ok, {}, {}};
    const int com = lines.portNumber();
    const QString device = lines.deviceFor(com);
    const QString port = QStringLiteral("COM%1 (%2)")
                             .arg(com)
                             .arg(device.isEmpty() ? QStringLiteral("no device") : device);
    if (lines.isOpen()) {
        c.detail = port + QStringLiteral(": open, the amplifier is on");
        return c;
    }
    const SerialLines::Error e = lines.open();
    if (e != SerialLines::Error::None) {
        c.status = Status::Failed;
        c.detail = port + QStringLiteral(": ") + errorText(e) + QStringLiteral(": ") +
                   lines.lastErrorText();
        c.advice = e == SerialLines::Error::Permission
                       ? QStringLiteral(
                             "ผู้ใช้นี้ไม่มีสิทธิ์ใช้พอร์ตรีเลย์ COM%1: "
                             "ให้ผู้ดูแลเครื่องเพิ่มผู้ใช้เข้ากลุ่ม dialout")
                             .arg(com)
                       : QStringLiteral(
                             "เปิดพอร์ตรีเลย์เครื่องขยายเสียง COM%1 ไม่ได้ "
                             "เครื่องขยายเสียงจะไม่เปิดเอง: ตรวจสายรีเลย์ให้เสียบแน่น "
                             "แล้วเลือกพอร์ตให้ถูกในหน้า ส่วนควบคุม")
                             .arg(com);
        return c;
    }
    // Up and down at once: far shorter than a relay takes to pull in.
    const bool raised = lines.setRts(true) && lines.setDtr(true);
    const bool droppedRts = lines.setRts(false);
    const bool droppedDtr = lines.setDtr(false);
    lines.close();
    if (raised && droppedRts && droppedDtr) {
        c.detail = port + QStringLiteral(": opens, RTS and DTR move");
        return c;
    }
    c.status = Status::Failed;
    c.detail =
        port + QStringLiteral(": opens, but its lines do not move: ") + lines.lastErrorText();
    c.advice = QStringLiteral("พอร์ตรีเลย์ COM%1 เปิดได้แต่สั่งรีเลย์ไม่ได้: ตรวจอุปกรณ์รีเลย์").arg(com);
    return c;
}

void SelfTest::finish(CheckResult relay) {
    current_.checks.prepend(std::move(relay));
    QStringList advice;
    for (const CheckResult& c : current_.checks) {
        switch (c.status) {
            case Status::Ok:
                qCInfo(lcSelfTest).noquote() << "self-test" << c.item << "ok:" << c.detail;
                break;
            case Status::Unknown:
                qCInfo(lcSelfTest).noquote() << "self-test" << c.item << "unknown:" << c.detail;
                break;
            case Status::Failed:
                qCWarning(lcSelfTest).noquote() << "self-test" << c.item << "FAILED:" << c.detail;
                advice << c.advice;
                break;
        }
    }
    qCInfo(lcSelfTest) << "self-test done in" << took_.elapsed() << "ms";
    last_ = current_;
    running_ = false;
    if (!advice.isEmpty()) dialogs_.notice(kNoticeTitle, advice.join(u'\n'));
    for (const auto& l : listeners_) l(last_);
    emit finished();
}

}  // namespace tavirin
