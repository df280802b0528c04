#include "status/daystatus.h"

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "platform/clock.h"
#include "platform/trayicon.h"

namespace tavirin {

DayStatus::DayStatus(FormModel& form, const Clock& clock, TrayIcon* tray)
    : form_(form), clock_(clock), tray_(tray) {
    refreshTimer_.setInterval(kRefreshMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &DayStatus::refresh);
}

QStringList DayStatus::triggers(const FormModel& form) {
    QStringList t;
    for (const PeriodControls& p : periodControls()) t << form.text(p.trigger);
    return t;
}

QString DayStatus::nextBellText(const QStringList& triggers, const QTime& now) {
    std::optional<QTime> next;
    for (const QString& t : triggers) {
        const QTime time = QTime::fromString(t, QStringLiteral("hh:mm:ss"));
        if (time.isValid() && time > now && (!next || time < *next)) next = time;
    }
    if (!next) return QStringLiteral("วันนี้ไม่มีออดแล้ว");
    const int minutes = (now.secsTo(*next) + 59) / 60;  // what is left, rounded up
    QString left;
    if (minutes < 60)
        left = QStringLiteral("อีก %1 นาที").arg(minutes);
    else if (minutes % 60 == 0)
        left = QStringLiteral("อีก %1 ชั่วโมง").arg(minutes / 60);
    else
        left = QStringLiteral("อีก %1 ชั่วโมง %2 นาที").arg(minutes / 60).arg(minutes % 60);
    return QStringLiteral("ออดถัดไป %1 (%2)").arg(next->toString(QStringLiteral("hh:mm")), left);
}

QString DayStatus::selfTestText(const SelfTestReport& report) {
    if (!report.at.isValid()) return {};
    const QString at = report.at.toString(QStringLiteral("hh:mm"));
    QStringList failed;
    for (const CheckResult& c : report.checks)
        if (c.status == CheckResult::Status::Failed) failed << thaiCheckName(c.item);
    if (failed.isEmpty()) return QStringLiteral("ตรวจระบบ %1 ปกติ").arg(at);
    return QStringLiteral("ตรวจระบบ %1 พบปัญหา: %2").arg(at, failed.join(QStringLiteral(", ")));
}

void DayStatus::setSelfTest(const SelfTestReport& report) {
    selfTest_ = report;
    refresh();
}

bool DayStatus::warning() const {
    return selfTest_.failed();
}

void DayStatus::refresh() {
    const QDateTime now = clock_.now();
    const QString next = nextBellText(triggers(form_), now.time());
    const QString today = selfTestText(selfTest_);
    form_.setText(QStringLiteral("lbl_next_bell"), next);
    form_.setText(QStringLiteral("lbl_today_state"), today);
    const bool warn = warning();
    form_.setForeground(QStringLiteral("lbl_today_state"), warn ? Rgb{192, 0, 0} : Rgb{0, 96, 0});
    if (!tray_) return;
    QStringList tip{QStringLiteral("Tavirin"), next};
    if (!today.isEmpty()) tip << today;
    tray_->setToolTip(tip.join(u'\n'));
    tray_->setWarning(warn);
}

}  // namespace tavirin
