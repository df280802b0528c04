#pragma once

#include "status/selftest.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <optional>

namespace tavirin {

class Clock;
class FormModel;
class TrayIcon;

// What the school sees of its day without opening anything: the next bell and today's state
// in the main window's free area (`lbl_next_bell`, `lbl_today_state`), the same in the tray
// icon's tooltip, and the icon's warning variant while something of today needs a look.
// Refreshed every few seconds (the minutes to the next bell) and whenever a self-test ends.
class DayStatus : public QObject {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 5000;

    DayStatus(FormModel& form, const Clock& clock, TrayIcon* tray);

    void start() { refreshTimer_.start(); }
    void setSelfTest(const SelfTestReport& report);
    void refresh();

    // "ออดถัดไป 10:00 (อีก 12 นาที)" from the armed trigger strings, or that none is left today.
    static QString nextBellText(const QStringList& triggers, const QTime& now);
    // "ตรวจระบบ 07:45 ปกติ" or the items that failed; "" before the first self-test.
    static QString selfTestText(const SelfTestReport& report);
    bool warning() const;
    // Today's armed trigger strings, as the time board holds them.
    static QStringList triggers(const FormModel& form);

private:
    FormModel& form_;
    const Clock& clock_;
    TrayIcon* tray_;
    QTimer refreshTimer_;
    SelfTestReport selfTest_;
};

}  // namespace tavirin
