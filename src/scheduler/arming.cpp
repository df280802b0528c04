#include "scheduler/arming.h"

#include "model/controlnames.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/shutdownarming.h"
#include "platform/clock.h"
#include "platform/logging.h"
#include "store/dayprogram.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

namespace tavirin {

namespace {

constexpr Rgb kDayBlue{0, 0, 255};
constexpr Rgb kDayOrange{255, 128, 0};
constexpr Rgb kArmedYellow{255, 255, 0};
constexpr Rgb kUnusedRed{255, 0, 0};
constexpr Rgb kTodayBlue{0, 0, 192};
constexpr Rgb kQuietRed{192, 0, 0};

// Every rule in force, and the calendar entries that give way.
QString todayToolTip(const DayPlan& plan) {
    QStringList lines = plan.summary;
    for (const CalendarEntry& e : plan.overruled)
        lines << QStringLiteral("ไม่ใช้: ") + entryTitle(e) + QStringLiteral(" — ") + ruleText(e) +
                     QStringLiteral(" (") + thaiRange(e) + u')';
    return lines.join(u'\n');
}

// "1" ticks, "0" clears, anything else leaves the box as it was.
void setBoxFromFlag(FormModel& form, const QString& box, const QString& flag, const QString& key) {
    if (flag == QLatin1String("1"))
        form.setChecked(box, true);
    else if (flag == QLatin1String("0"))
        form.setChecked(box, false);
    else
        qCWarning(lcScheduler) << key << "holds" << flag << "instead of 1 or 0;" << box
                               << "left as it was";
}

}  // namespace

Arming::Arming(FormModel& form, ProgramStore& store, const Clock& clock,
               const SoundLibrary& library)
    : form_(form), store_(store), clock_(clock), library_(library) {
    words_ = buildClockWords(QString(), library_);
}

QString Arming::activeApplication() const {
    return form_.value(ctl::activeApplication);
}

QString Arming::base(const QString& section, const QString& key) const {
    return store_.GetSetting(keys::kBaseApplication, section, key, QString());
}

void Arming::resetDayLabels() {
    for (int d = 1; d <= 7; ++d) form_.setBackground(ctl::dayLabel(d), kDayBlue);
}

void Arming::armToday() {
    loadSteps(true);
    remainingSteps();
    qCInfo(lcScheduler) << "armed" << activeApplication();
    for (const auto& armed : armed_) armed();
}

void Arming::loadTodayForStartUp() {
    loadSteps(false);
}

void Arming::loadSteps(bool setShutdownChoosers) {
    resetDayLabels();
    form_.setValue(ctl::afterBellMedia, QStringLiteral("0"));

    const std::optional<int> today = todayDayIndex(clock_);
    if (today) {
        const WeekdayRow& row = weekdayTable()[*today - 1];
        form_.setValue(ctl::selectedDayName, row.clockDayName);
        form_.setBackground(ctl::dayLabel(*today), kDayOrange);
        form_.setValue(ctl::activeApplication, row.application);
    } else {
        qCWarning(lcScheduler) << "today's weekday cannot be named; keeping" << activeApplication();
    }
    // The fields below are today's program from here on: Apply and Save must write them there,
    // never into a day picked in the editor before (after Copy, or at midnight).
    if (!activeApplication().isEmpty())
        form_.setText(ctl::lbl_vorle_programming5_7day, activeApplication());

    const DayProgram program = readDayProgram(store_, activeApplication());
    // Hours and minutes. A value the list does not hold would leave the list showing what it
    // showed before (perhaps yesterday's time) and ring then; such a period is put out of use.
    for (const PeriodControls& p : periodControls()) {
        const QString& h = program.period(p.number).hour;
        if (!form_.setComboText(p.hour, h)) {
            qCWarning(lcScheduler)
                << "period" << p.number << "hour" << h << "is not a list entry; period not in use";
            form_.setComboText(p.hour, QStringLiteral("no"));
        }
    }
    for (const PeriodControls& p : periodControls()) {
        const QString& m = program.period(p.number).minute;
        if (!form_.setComboText(p.minute, m)) {
            if (form_.text(p.hour) != QLatin1String("no"))
                qCWarning(lcScheduler) << "period" << p.number << "minute" << m
                                       << "is not a list entry; period not in use";
            form_.setComboText(p.hour, QStringLiteral("no"));
            form_.setComboText(p.minute, QStringLiteral("00"));
        }
    }

    form_.setText(ctl::Text5, program.frontChimeFile);
    voiceFolder_ = program.voiceFolder;
    words_ = buildClockWords(voiceFolder_, library_);
    const QString& delay = program.amplifierDelaySeconds;
    if (!form_.setComboText(ctl::Combo51, delay))
        qCWarning(lcScheduler) << "amplifier delay" << delay << "is not a list entry";

    armShutdown(form_, program.shutdownHour, program.shutdownMinute, program.shutdownEnabled,
                setShutdownChoosers);

    form_.setText(ctl::Text2, program.announceMode);
    form_.setText(ctl::Text7, program.backChimeFile);

    // From here on every step is best-effort.
    const QString voice = library_.displayName(voiceFolder_);
    if (!voice.isEmpty() && !form_.setComboText(ctl::Combo54, voice))
        qCWarning(lcScheduler) << "voice" << voice << "is not in the voice list";

    armBoard();

    for (const PeriodControls& p : periodControls())
        setBoxFromFlag(form_, p.enable, program.period(p.number).enabled, keys::number(p.number));
    setBoxFromFlag(form_, ctl::Check26, program.shutdownEnabled,
                   keys::number(keys::kShutdownEnabled));

    for (const PeriodControls& p : periodControls())
        form_.setText(p.soundPath, program.period(p.number).soundFile);
    for (const PeriodControls& p : periodControls()) {
        if (form_.text(p.soundPath).isEmpty()) {
            form_.setChecked(p.enable, false);
            form_.setVisible(p.soundButton, false);
        }
    }
    for (const PeriodControls& p : periodControls()) {
        const QString& fm = program.period(p.number).afterBellMedia;
        if (!form_.setComboText(p.afterBell, fm))
            qCWarning(lcScheduler)
                << "period" << p.number << "after-bell choice" << fm << "is not a list entry";
    }
}

void Arming::remainingSteps() {
    for (int n = 1; n <= 3; ++n)
        form_.setText(ctl::radioAddress(n), base(keys::kRadioOnline, keys::radioOnline(n)));

    setBoxFromFlag(form_, ctl::Check29, base(keys::kDay7, keys::kDay7Key), keys::kDay7Key);
    chk29(form_);

    setVoiceBoxes(form_, form_.text(ctl::Text2), false);
    applyEnableRule(form_);
}

void Arming::armBoard() {
    const QDateTime now = clock_.now();
    // A clock that cannot name the day keeps the program used before.
    int ownDay = now.date().isValid() ? now.date().dayOfWeek() : 0;
    if (ownDay == 0) ownDay = activeApplication().right(1).toInt();
    const DayPlan before = std::exchange(plan_, planDay(store_, now.date(), ownDay, now.time()));

    for (const PeriodControls& p : periodControls()) showPeriod(p.number);
    // The shutdown time is that of the program that rings (the choosers show today's own).
    if (plan_.shutdownAt != before.shutdownAt || plan_.application != before.application ||
        form_.text(ctl::Label28123) != plan_.shutdownCaption()) {
        form_.setText(ctl::Label28123, plan_.shutdownCaption());
        if (plan_.shutdownAt.isValid())
            qCInfo(lcShutdown) << "shutdown armed at" << plan_.shutdownCaption() << "from"
                               << plan_.application;
    }
    // A firing period's sound and after-bell choice come from the program that rings.
    form_.setValue(ctl::ringingApplication, plan_.application);

    const QString line = todayLine(plan_);
    form_.setText(ctl::lbl_today, line);
    form_.setToolTip(ctl::lbl_today, todayToolTip(plan_));
    form_.setBackground(ctl::lbl_today, plan_.noBells ? kQuietRed : kTodayBlue);
    form_.setVisible(ctl::lbl_today, !line.isEmpty());
    // Said once per day and change: at midnight the day is armed on every tick of a second.
    if (!plan_.summary.isEmpty() && (plan_.summary != before.summary || plan_.date != before.date))
        qCInfo(lcCalendar).noquote()
            << "today" << plan_.date.toString(Qt::ISODate) << "rings" << plan_.application << "-"
            << plan_.summary.join(u"; ") << "-" << plan_.quiet.size() << "bells quiet";
    for (const auto& planned : planned_) planned(plan_);
}

void Arming::showPeriod(int n) {
    const PeriodControls& p = period(n);
    const PeriodPlan& pp = plan_.periods[std::size_t(n - 1)];
    form_.setText(p.trigger, pp.caption());
    form_.setForeground(p.trigger, pp.rings() ? kArmedYellow : kUnusedRed);
    form_.setToolTip(p.trigger, pp.note);
}

void Arming::setDueForToday(int n, QTime due) {
    if (n < 1 || n > keys::kPeriods) return;
    PeriodPlan& pp = plan_.periods[std::size_t(n - 1)];
    pp.application = plan_.application;
    pp.state = due.isValid() ? PeriodPlan::State::Rings : PeriodPlan::State::NotInUse;
    pp.due = due.isValid() ? QTime(due.hour(), due.minute(), due.second()) : QTime();
    showPeriod(n);
    for (const auto& planned : planned_) planned(plan_);
}

QString todayLine(const DayPlan& plan) {
    if (plan.summary.isEmpty()) return {};
    return QStringLiteral("วันนี้: ") + plan.summary.join(QStringLiteral(" · "));
}

void chk29(FormModel& form) {
    const bool sevenDays = form.checked(ctl::Check29);
    form.setVisible(ctl::lbl_same_every_day, !sevenDays);
    for (int d = 1; d <= 7; ++d) form.setVisible(ctl::dayLabel(d), sevenDays);
    form.setVisible(ctl::lbl_copy_to, sevenDays);
    form.setVisible(ctl::Combo52, sevenDays);
    form.setVisible(ctl::Command7, sevenDays);
}

void setVoiceBoxes(FormModel& form, const QString& announceMode, bool nonNumberAs3) {
    bool isNumber = false;
    int mode = announceMode.trimmed().toInt(&isNumber);
    if (!isNumber) {
        if (!nonNumberAs3) {
            qCWarning(lcScheduler) << "announce mode" << announceMode
                                   << "is not a number; voice boxes left as they were";
            return;
        }
        mode = 3;
    }
    const QString repeat = ctl::Check27;
    const QString noVoice = ctl::Check28;
    if (mode == 3) {
        form.setCheckedQuietly(noVoice, true);
        form.setEnabled(repeat, false);
    } else {
        form.setCheckedQuietly(noVoice, false);
        form.setCheckedQuietly(repeat, mode == 2);
        form.setEnabled(repeat, true);
    }
}

}  // namespace tavirin
