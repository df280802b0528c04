#include "status/daystatus.h"

#include "model/controlnames.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "platform/clock.h"
#include "platform/trayicon.h"
#include "status/dayreport.h"

#include <array>

namespace tavirin {

namespace {
constexpr Rgb kTrouble{192, 0, 0};
constexpr Rgb kAllWell{0, 96, 0};
}  // namespace

DayStatus::DayStatus(FormModel& form, const Clock& clock, TrayIcon* tray, const Journal* journal)
    : form_(form), clock_(clock), tray_(tray), journal_(journal) {
    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, &DayStatus::refresh);
    // the shutdown countdown takes the self-test's row while it runs
    connect(&form_, &FormModel::changed, this, [this](const QString& name) {
        if (name == ctl::Label28778)
            form_.setVisible(ctl::lbl_selftest_state, !form_.visible(ctl::Label28778));
    });
}

QString DayStatus::nextBellText(const DueTimes& triggers, const QTime& now) {
    std::optional<QTime> next;
    for (const QTime& time : triggers)
        if (time.isValid() && time > now && (!next || time < *next)) next = time;
    if (!next) return QStringLiteral("วันนี้ไม่มีออดแล้ว");
    const int minutes = (now.secsTo(*next) + 59) / 60;  // what is left, rounded up
    QString left;
    if (minutes < 60)
        left = QStringLiteral("อีก %1 นาที").arg(minutes);
    else if (minutes % 60 == 0)
        left = QStringLiteral("อีก %1 ชั่วโมง").arg(minutes / 60);
    else
        left = QStringLiteral("อีก %1 ชั่วโมง %2 นาที").arg(minutes / 60).arg(minutes % 60);
    return QStringLiteral("ออดถัดไป %1 (%2)").arg(clockMinutesText(*next), left);
}

QString DayStatus::selfTestText(const SelfTestReport& report) {
    if (!report.at.isValid()) return {};
    const QString at = clockMinutesText(report.at.time());
    QStringList failed;
    for (const CheckResult& c : report.checks)
        if (c.status == CheckResult::Status::Failed) failed << thaiCheckName(c.item);
    if (failed.isEmpty()) return QStringLiteral("ตรวจระบบ %1 ปกติ").arg(at);
    return QStringLiteral("ตรวจระบบ %1 พบปัญหา: %2").arg(at, failed.join(QStringLiteral(", ")));
}

void DayStatus::setEmergency(const QString& banner, bool holdsBells) {
    if (banner == emergency_ && holdsBells == holdsBells_) return;
    emergency_ = banner;
    holdsBells_ = holdsBells;
    form_.setText(ctl::lbl_emergency, banner);
    form_.setVisible(ctl::lbl_emergency, !banner.isEmpty());
    refresh();
}

void DayStatus::setSelfTest(const SelfTestReport& report) {
    selfTest_ = report;
    refresh();
}

bool DayStatus::warning() const {
    return !emergency_.isEmpty() || selfTest_.failed() || dayHasTrouble(bells_);
}

void DayStatus::journalChanged() {
    // a bell writes several rows in a row: read them once
    if (reloadQueued_) return;
    reloadQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        reloadQueued_ = false;
        bellsDay_ = QDate();
        refresh();
    });
}

void DayStatus::readBells(QDate day) {
    bellsDay_ = day;
    bells_ = journal_ && day.isValid() ? journal_->bellsOn(day) : QList<BellRecord>();
    showMarks();
}

void DayStatus::showMarks() {
    std::array<std::optional<BoardMark>, 24> marks;
    for (const BellRecord& b : bells_)  // in order of due time: the last one of a period counts
        if (b.kind == journal::kScheduled && b.period && *b.period >= 1 && *b.period <= 24)
            if (std::optional<BoardMark> m = boardMark(b)) marks[std::size_t(*b.period - 1)] = m;
    for (int n = 1; n <= 24; ++n) {
        const QString name = ctl::boardMark(n);
        const std::optional<BoardMark>& m = marks[std::size_t(n - 1)];
        form_.setText(name, m ? m->glyph : QString());
        form_.setToolTip(name, m ? m->toolTip : QString());
        if (m) form_.setForeground(name, m->colour);
    }
}

void DayStatus::refresh() {
    const QDateTime now = clock_.now();
    if (now.isValid()) {
        constexpr int kMinuteMs = 60 * 1000;
        refreshTimer_.start(kMinuteMs - now.time().msecsSinceStartOfDay() % kMinuteMs + 50);
    }
    if (now.date() != bellsDay_) readBells(now.date());
    // No bell rings while an emergency holds them.
    const QString next = !holdsBells_
                             ? nextBellText(triggers_ ? triggers_() : DueTimes{}, now.time())
                             : QStringLiteral("งดออดจนกว่าจะประกาศสิ้นสุดเหตุฉุกเฉิน");
    const QString bells = daySummary(bells_);
    const QString test = selfTestText(selfTest_);
    form_.setText(ctl::lbl_next_bell, next);
    form_.setText(ctl::lbl_today_state, bells);
    form_.setForeground(ctl::lbl_today_state, dayHasTrouble(bells_) ? kTrouble : kAllWell);
    form_.setText(ctl::lbl_selftest_state, test);
    form_.setForeground(ctl::lbl_selftest_state, selfTest_.failed() ? kTrouble : kAllWell);
    const bool warn = warning();
    if (!tray_) return;
    QStringList tip{QStringLiteral("Tavirin")};
    if (!emergency_.isEmpty()) tip << emergency_;
    tip << next;
    for (const QString& line : {bells, test})
        if (!line.isEmpty()) tip << line;
    tray_->setToolTip(tip.join(u'\n'));
    tray_->setWarning(warn);
}

}  // namespace tavirin
