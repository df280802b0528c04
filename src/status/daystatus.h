#pragma once

#include "journal/journal.h"
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
// in the main window's free area (`lbl_next_bell`, `lbl_today_state`), a mark beside each
// period on the time board that rang, rang late, was missed or failed
// (`lbl_board_mark(N)`), the same in the tray icon's tooltip, and the icon's warning variant
// while today has a missed or failed bell or the last self-test failed. The next bell is
// refreshed every few seconds; today's bells are read from the journal when it changes and
// when the date does.
class DayStatus : public QObject {
    Q_OBJECT
public:
    DayStatus(FormModel& form, const Clock& clock, TrayIcon* tray,
              const Journal* journal = nullptr);

    // Refreshes now and then just after each whole minute (the texts count minutes): one
    // wake-up a minute, hidden or shown.
    void start() { refresh(); }
    void setSelfTest(const SelfTestReport& report);
    // The emergency in force, as its banner says it (`lbl_emergency`, first in the tray's
    // tooltip, the tray's warning icon); "" when none is.
    void setEmergency(const QString& banner, bool holdsBells);
    void refresh();
    // The journal has changed: today's bells are read again (once, after the current event).
    void journalChanged();

    // "ออดถัดไป 10:00 (อีก 12 นาที)" from the armed trigger strings, or that none is left today.
    static QString nextBellText(const DueTimes& triggers, const QTime& now);
    // "ตรวจระบบ 07:45 ปกติ" or the items that failed; "" before the first self-test.
    static QString selfTestText(const SelfTestReport& report);
    bool warning() const;
    // The bells of `day` as last read from the journal; nothing when that day is not the one
    // held or the journal has changed since.
    const QList<BellRecord>* bellsOf(QDate day) const {
        return day == bellsDay_ && !reloadQueued_ ? &bells_ : nullptr;
    }
    // Today's armed due times.
    void setTriggers(std::function<DueTimes()> f) { triggers_ = std::move(f); }

private:
    void readBells(QDate day);
    void showMarks();

    FormModel& form_;
    const Clock& clock_;
    TrayIcon* tray_;
    const Journal* journal_;
    QList<BellRecord> bells_;  // today's, as last read
    QDate bellsDay_;
    bool reloadQueued_ = false;
    QTimer refreshTimer_;
    SelfTestReport selfTest_;
    std::function<DueTimes()> triggers_;
    QString emergency_;
    bool holdsBells_ = false;
};

}  // namespace tavirin
