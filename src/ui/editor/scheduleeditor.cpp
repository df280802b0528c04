#include "ui/editor/scheduleeditor.h"

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "outputs/shutdownarming.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/logging.h"
#include "scheduler/arming.h"
#include "store/dayprogram.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

namespace tavirin {

namespace {

constexpr Rgb kSelectedDay{255, 128, 0};

const QString kEdited = QStringLiteral("lbl_vorle_programming5_7day");
const QString kWriteTarget = QStringLiteral("lbl_vorle_programming5_7day_2");
const QString kToday = QStringLiteral("lbl_dayy");
const QString kAfterBellMedia = QStringLiteral("afterBellMedia");
const QString kSelectedDayName = QStringLiteral("selectedDayName");

const QString kSevenDayBox = QStringLiteral("Check29");
const QString kRepeatBox = QStringLiteral("Check27");
const QString kNoVoiceBox = QStringLiteral("Check28");
const QString kShutdownBox = QStringLiteral("Check26");
const QString kAnnounceMode = QStringLiteral("Text2");
const QString kFrontChime = QStringLiteral("Text5");
const QString kBackChime = QStringLiteral("Text7");
const QString kVoice = QStringLiteral("Combo54");
const QString kDelay = QStringLiteral("Combo51");
const QString kShutdownHour = QStringLiteral("Combo49");
const QString kShutdownMinute = QStringLiteral("Combo50");
const QString kDayChooser = QStringLiteral("Combo52");
const QString kEveryDay = QStringLiteral("ทุกวัน");
const QString kPhraseBox = QStringLiteral("Check25");
const QString kPhraseButton = QStringLiteral("Command357");
const QString kPhrasePath = QStringLiteral("Text3");

const QString kAddOnTitle = QStringLiteral("เลือกรูปแบบเสียงเสริมท้าย");
const QString kFrontTitle = QStringLiteral("เลือกรูปแบบเสียงออด หน้า");
const QString kBackTitle = QStringLiteral("เลือกรูปแบบเสียงออด หลัง");
const QString kSoundFilter = QStringLiteral("MP3, WAV| *.mp3; *.wav");

const QString kCopyQuestion = QStringLiteral("คุณต้องการบันทึกข้อมูล และคัดลอกข้อมูลหรือไม่ ?");
const QString kCopyTitle = QStringLiteral("ยืนยันคัดลอกข้อมูล");

const QString kUnsavedTitle = QStringLiteral("บันทึกการแก้ไข");
const QString kUnsavedQuestion = QStringLiteral(
    "ตารางเวลาของ%1 มีการแก้ไขที่ยังไม่ได้บันทึก\n\n"
    "ต้องการบันทึกก่อนเปลี่ยนไป%2หรือไม่ ?");

const QString kBoxTitle = QStringLiteral("Tavirin");
const QString kNotSaved = QStringLiteral(
    "ไม่สามารถบันทึกตารางเวลาได้\n\n"
    "ตารางเวลายังไม่ได้บันทึก และยังไม่ได้นำไปใช้\n"
    "กรุณาตรวจสอบพื้นที่ว่างของดิสก์ แล้วลองใหม่อีกครั้ง");

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace

ScheduleEditor::ScheduleEditor(FormModel& form, ProgramStore& store, Arming& arming,
                               AmplifierRelay& relay, Dialogs& dialogs, const SoundLibrary& library,
                               const Clock& clock)
    : form_(form),
      store_(store),
      arming_(arming),
      relay_(relay),
      dialogs_(dialogs),
      library_(library),
      clock_(clock) {
    // Arming reloads the fields with today's program: that is what they show from then on.
    arming_.onArmed([this] { rememberContent(); });
}

void ScheduleEditor::connectControls() {
    form_.onClick(QStringLiteral("Command4"), [this] { openEditor(); });
    for (int d = 1; d <= keys::kDays; ++d)
        form_.onClick(QStringLiteral("lbl_day%1").arg(d), [this, d] { selectDay(d); });

    // Apply and Save act on the press of any mouse button; the buttons take no focus, so
    // the keyboard cannot press them.
    form_.onClick(QStringLiteral("Command354_MouseDown"), [this] { apply(); });
    form_.onClick(QStringLiteral("Command5_MouseDown"), [this] { lastSaveFailed_ = !save(); });
    form_.onClick(QStringLiteral("Command5_MouseUp"), [this] {
        // After a failed save the panel stays open, so the edits are still there to retry.
        if (lastSaveFailed_) return;
        if (closePanel_) closePanel_();
    });
    form_.onClick(QStringLiteral("Command3557"), [this] { cancel(); });
    form_.onClick(QStringLiteral("Command7"), [this] { copy(); });

    form_.onClick(kSevenDayBox, [this] { chk29(form_); });
    form_.onClick(kShutdownBox, [this] { applyEnableRule(form_); });
    form_.onClick(kRepeatBox, [this] { repeatBoxClicked(); });
    form_.onClick(kNoVoiceBox, [this] { noVoiceBoxClicked(); });

    for (const PeriodControls& p : periodControls()) {
        const int n = p.number;
        form_.onClick(p.enable, [this, n] { addOnBoxClicked(n); });
        form_.onClick(p.soundButton, [this, n] {
            const QString path = chooseSound(kAddOnTitle, library_.otherFolder());
            if (!path.isEmpty()) form_.setText(period(n).soundPath, path);
        });
        form_.onClick(p.soundButton + QStringLiteral("_MouseMove"), [this, n] { showToolTip(n); });
    }
    form_.onClick(QStringLiteral("Command9oo"), [this] {
        const QString path = chooseSound(kFrontTitle, library_.titleFolder());
        if (!path.isEmpty()) form_.setText(kFrontChime, path);
    });
    form_.onClick(QStringLiteral("Command2"), [this] {
        const QString path = chooseSound(kBackTitle, library_.titleFolder());
        if (!path.isEmpty()) form_.setText(kBackChime, path);
    });

    form_.onClick(kPhraseBox, [this] { closingPhraseBoxClicked(); });
    form_.onClick(kPhraseButton, [this] {
        const QString path = chooseSound(kAddOnTitle, library_.otherFolder());
        if (path.isEmpty()) return;
        form_.setText(kPhrasePath, path);
        // The button shows which phrase is waiting, as the period buttons do.
        if (const QString name = library_.displayName(path); !name.isEmpty())
            form_.setToolTip(kPhraseButton, name);
    });
}

// ---- opening and the day strip ----

void ScheduleEditor::openEditor() {
    if (openPanel_) openPanel_();
    form_.setComboText(kDayChooser, kEveryDay);
    const std::optional<int> today = todayDayIndex(clock_);
    arming_.resetDayLabels();
    if (today) {
        const WeekdayRow& row = weekdayTable()[std::size_t(*today - 1)];
        form_.setValue(kSelectedDayName, row.clockDayName);
        form_.setBackground(QStringLiteral("lbl_day%1").arg(*today), kSelectedDay);
        form_.setText(kEdited, row.application);
    } else {
        qCWarning(lcUi) << "today's weekday cannot be named; the editor keeps"
                        << form_.text(kEdited);
    }
    loadEditor();
}

void ScheduleEditor::selectDay(int day) {
    const WeekdayRow* row = weekdayRow(day);
    // The strip is shown in seven-day mode only; a hidden label takes no click.
    if (!row || !form_.visible(QStringLiteral("lbl_day%1").arg(day))) return;
    if (!settleUnsavedEdits(*row)) return;
    form_.setValue(kSelectedDayName, row->clockDayName);
    arming_.resetDayLabels();
    form_.setBackground(QStringLiteral("lbl_day%1").arg(day), kSelectedDay);
    form_.setText(kEdited, row->application);
    loadEditor();
}

bool ScheduleEditor::hasUnsavedEdits() const {
    return remembered_ && content() != *remembered_;
}

// Before another day replaces the fields: true to go on.
bool ScheduleEditor::settleUnsavedEdits(const WeekdayRow& to) {
    if (!hasUnsavedEdits()) return true;
    const QString from = form_.text(kEdited);
    QString fromEntry;
    for (const WeekdayRow& row : weekdayTable())
        if (row.application == from) fromEntry = row.chooserEntry;
    const QString question = kUnsavedQuestion.arg(fromEntry, to.chooserEntry);
    switch (dialogs_.askYesNoCancel(kUnsavedTitle, question)) {
        case Dialogs::Answer::Yes:
            // A failed save keeps the day and its edits on screen, to retry.
            return apply();
        case Dialogs::Answer::No:
            qCInfo(lcUi) << "unsaved edits of" << from << "dropped for" << to.application;
            return true;
        case Dialogs::Answer::Cancel:
            break;
    }
    qCInfo(lcUi) << "the editor stays on" << from << "with its unsaved edits";
    return false;
}

void ScheduleEditor::rememberContent() {
    remembered_ = content();
}

// ---- loading ----

QString ScheduleEditor::read(const QString& section, const QString& key) const {
    return store_.GetSetting(form_.text(kEdited), section, key, QString());
}

// A stored hour or minute that is not an entry of its chooser is shown the way arming treats
// it: the period out of use. Keeping the chooser's previous entry would show, and on the next
// save write, a time of whatever program was loaded before.
void ScheduleEditor::loadHourMinute() {
    const QString no = QStringLiteral("no");
    for (const PeriodControls& p : periodControls()) {
        const QString h = read(keys::kTime, keys::hour(p.number));
        if (!form_.setComboText(p.hour, h)) {
            qCWarning(lcUi) << form_.text(kEdited) << "period" << p.number << "hour" << h
                            << "is not a list entry; shown as not in use";
            form_.setComboText(p.hour, no);
        }
    }
    for (const PeriodControls& p : periodControls()) {
        const QString m = read(keys::kTime, keys::minute(p.number));
        if (!form_.setComboText(p.minute, m)) {
            qCWarning(lcUi) << form_.text(kEdited) << "period" << p.number << "minute" << m
                            << "is not a list entry; shown as not in use";
            form_.setComboText(p.hour, no);
            form_.setComboText(p.minute, QStringLiteral("00"));
        }
    }
}

void ScheduleEditor::loadEditor() {
    form_.setValue(kAfterBellMedia, QStringLiteral("0"));
    const QString app = form_.text(kEdited);
    if (app.isEmpty()) qCWarning(lcUi) << "no program named to edit; the editor shows empty values";

    loadHourMinute();

    const QString& time = keys::kTime;
    form_.setText(kFrontChime, read(time, keys::minute(keys::kFrontChime)));
    const QString voiceFolder = read(time, keys::minute(keys::kVoiceFolder));
    const QString delay = read(time, keys::minute(keys::kAmplifierDelay));
    if (!form_.setComboText(kDelay, delay))
        qCWarning(lcUi) << app << "amplifier delay" << delay << "is not a list entry; kept"
                        << form_.text(kDelay);
    // An unreadable shutdown time must never leave an earlier program's time behind a ticked
    // box: it is shown as not set.
    const QString sh = read(time, keys::hour(keys::kShutdownHour));
    if (!form_.setComboText(kShutdownHour, sh)) {
        qCWarning(lcUi) << app << "shutdown hour" << sh << "is not a list entry; shown as no";
        form_.setComboText(kShutdownHour, QStringLiteral("no"));
    }
    const QString sm = read(time, keys::minute(keys::kShutdownMinute));
    if (!form_.setComboText(kShutdownMinute, sm)) {
        qCWarning(lcUi) << app << "shutdown minute" << sm << "is not a list entry; shown as no";
        form_.setComboText(kShutdownMinute, QStringLiteral("no"));
    }
    form_.setText(kAnnounceMode, read(time, keys::minute(keys::kAnnounceMode)));
    form_.setText(kBackChime, read(time, keys::minute(keys::kBackChime)));

    // From here on each step stands alone: what cannot be shown keeps the previous content.
    const QString voice = library_.displayName(voiceFolder);
    if (voice.isEmpty() || !form_.setComboText(kVoice, voice))
        qCWarning(lcUi) << app << "voice folder" << voiceFolder
                        << "names no voice of the list; kept" << form_.text(kVoice);

    const auto setBox = [&](const QString& box, const QString& value, const QString& key) {
        if (value == u"1")
            form_.setChecked(box, true);
        else if (value == u"0")
            form_.setChecked(box, false);
        else
            qCWarning(lcUi) << app << key << "holds" << value << "instead of 1 or 0;" << box
                            << "left as it was";
    };
    for (const PeriodControls& p : periodControls()) {
        setBox(p.enable, read(keys::kNumber, keys::number(p.number)), keys::number(p.number));
        form_.setVisible(p.soundButton, form_.checked(p.enable));
    }
    setBox(kShutdownBox, read(keys::kNumber, keys::number(keys::kShutdownEnabled)),
           keys::number(keys::kShutdownEnabled));

    for (const PeriodControls& p : periodControls())
        form_.setText(p.soundPath, read(keys::kSond, keys::sond(p.number)));
    for (const PeriodControls& p : periodControls()) {
        if (form_.text(p.soundPath).isEmpty()) {
            form_.setChecked(p.enable, false);
            form_.setVisible(p.soundButton, false);
        }
    }
    for (const PeriodControls& p : periodControls()) {
        const QString fm = read(keys::kFm, keys::fm(p.number));
        if (!form_.setComboText(p.afterBell, fm))
            qCWarning(lcUi) << app << "period" << p.number << "after-bell choice" << fm
                            << "is not a list entry; kept" << form_.text(p.afterBell);
    }

    for (int n = 1; n <= 3; ++n)
        form_.setText(QStringLiteral("radio%1").arg(n),
                      store_.GetSetting(keys::kBaseApplication, keys::kRadioOnline,
                                        keys::radioOnline(n), QString()));

    const QString port = relay_.loadCurrentPort();
    for (int n = 1; n <= 7; ++n)
        if (port == QString::number(n))
            form_.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM") + port);
    relay_.configure();

    applyEnableRule(form_);
    setVoiceBoxes(form_, form_.text(kAnnounceMode), false);
    rememberContent();
}

// ---- writing ----

ScheduleEditor::Content ScheduleEditor::content() const {
    Content c;
    DayProgram& program = c.program;
    for (const PeriodControls& p : periodControls()) {
        Period& period = program.period(p.number);
        period.hour = form_.text(p.hour);
        period.minute = form_.text(p.minute);
        period.enabled = flag(form_.checked(p.enable));
        period.soundFile = form_.text(p.soundPath);
        period.afterBellMedia = form_.text(p.afterBell);
    }
    program.shutdownHour = form_.text(kShutdownHour);
    program.frontChimeFile = form_.text(kFrontChime);
    // An empty chooser gives the voices folder alone; the talking clock then finds no files.
    program.voiceFolder = library_.voiceFolder(form_.text(kVoice));
    program.amplifierDelaySeconds = form_.text(kDelay);
    program.shutdownMinute = form_.text(kShutdownMinute);
    program.announceMode = form_.text(kAnnounceMode);
    program.backChimeFile = form_.text(kBackChime);
    program.shutdownEnabled = flag(form_.checked(kShutdownBox));
    for (int n = 1; n <= 3; ++n) c.radio << form_.text(QStringLiteral("radio%1").arg(n)).trimmed();
    return c;
}

Result ScheduleEditor::writeEditor(const QString& application) {
    const Content c = content();
    // writeDayProgram writes the 128 keys in the editor's order.
    if (Result r = writeDayProgram(store_, application, c.program); !r) return r;
    for (int n = 1; n <= 3; ++n) {
        Result r = store_.SaveSetting(keys::kBaseApplication, keys::kRadioOnline,
                                      keys::radioOnline(n), c.radio[n - 1]);
        if (!r) return r;
    }
    return store_.SaveSetting(keys::kBaseApplication, keys::kDay7, keys::kDay7Key,
                              flag(form_.checked(kSevenDayBox)));
}

void ScheduleEditor::tidy() {
    form_.setValue(kAfterBellMedia, QStringLiteral("0"));
    for (const PeriodControls& p : periodControls())
        if (!form_.checked(p.enable)) form_.setText(p.soundPath, QString());
    for (const PeriodControls& p : periodControls()) {
        if (form_.text(p.soundPath).isEmpty()) {
            form_.setChecked(p.enable, false);
            form_.setVisible(p.soundButton, false);
        }
    }
}

// Apply and Save: with seven-day mode on, the program being edited; off, all seven days.
Result ScheduleEditor::writeProgramTargets(Target target) {
    if (target == Target::Edited) return writeEditor(form_.text(kEdited));
    for (const WeekdayRow& row : weekdayTable()) {
        form_.setText(kWriteTarget, row.application);
        if (Result r = writeEditor(row.application); !r) return r;
    }
    return Result::success();
}

void ScheduleEditor::reportNotSaved(const char* operation, const Result& why) {
    qCWarning(lcUi).noquote() << operation << "of the schedule failed, nothing armed:" << why.error;
    dialogs_.message(Dialogs::Icon::Critical, kBoxTitle, kNotSaved);
}

// All writes of one operation form one burst: one durable, atomic sync at its end, so a
// crash leaves the programs on disk as they were before or as they are after. A burst that
// fails is rolled back: what was not saved must not ring either. The edits stay on screen.
bool ScheduleEditor::inOneBurst(const char* operation, const std::function<Result()>& writes) {
    Result r;
    {
        ProgramStore::Burst burst(store_, ProgramStore::Burst::OnFailure::RollBack);
        const Result written = writes();
        const Result synced = burst.finish();
        r = written ? synced : written;
    }
    if (r) {
        rememberContent();
        return true;
    }
    reportNotSaved(operation, r);
    return false;
}

bool ScheduleEditor::apply() {
    tidy();
    const bool sevenDays = form_.checked(kSevenDayBox);
    if (!inOneBurst("apply", [&] {
            return writeProgramTargets(sevenDays ? Target::Edited : Target::AllDays);
        }))
        return false;
    // In seven-day mode another day's program does not touch what rings today, unless the
    // calendar rings that day's program today.
    if (!sevenDays || form_.text(kToday) == form_.value(kSelectedDayName) ||
        form_.text(kEdited) == form_.value(QStringLiteral("ringingApplication")))
        arming_.armToday();
    return true;
}

bool ScheduleEditor::save() {
    tidy();
    const bool sevenDays = form_.checked(kSevenDayBox);
    if (!inOneBurst("save", [&] {
            return writeProgramTargets(sevenDays ? Target::Edited : Target::AllDays);
        }))
        return false;
    arming_.armToday();
    return true;
}

void ScheduleEditor::cancel() {
    arming_.armToday();
    if (closePanel_) closePanel_();
}

bool ScheduleEditor::copy() {
    if (dialogs_.askYesNo(kCopyTitle, kCopyQuestion)) {
        form_.setValue(kAfterBellMedia, QStringLiteral("0"));
        const QString chosen = form_.text(kDayChooser);
        const bool copied = inOneBurst("copy", [&]() -> Result {
            if (chosen == kEveryDay) return writeProgramTargets(Target::AllDays);
            const std::optional<int> day = dayIndexOfChooserEntry(chosen);
            if (!day) {
                qCWarning(lcUi) << "copy target" << chosen << "is no day; nothing copied";
                return Result::success();
            }
            // The program being edited first, then the target day.
            form_.setText(kWriteTarget, keys::dayApplication(*day));
            if (Result r = writeEditor(form_.text(kEdited)); !r) return r;
            return writeEditor(form_.text(kWriteTarget));
        });
        if (!copied) return false;
    }
    arming_.armToday();
    return true;
}

// ---- the editor's boxes and buttons ----

void ScheduleEditor::addOnBoxClicked(int n) {
    const PeriodControls& p = period(n);
    form_.setVisible(p.soundButton, form_.checked(p.enable));
}

void ScheduleEditor::repeatBoxClicked() {
    form_.setText(kAnnounceMode,
                  form_.checked(kRepeatBox) ? QStringLiteral("2") : QStringLiteral("1"));
}

void ScheduleEditor::noVoiceBoxClicked() {
    if (form_.checked(kNoVoiceBox)) {
        form_.setText(kAnnounceMode, QStringLiteral("3"));
        form_.setEnabled(kRepeatBox, false);
    } else {
        form_.setText(kAnnounceMode, QStringLiteral("1"));
        form_.setChecked(kRepeatBox, false);
        form_.setEnabled(kRepeatBox, true);
    }
}

void ScheduleEditor::closingPhraseBoxClicked() {
    form_.setText(kPhrasePath, QString());
    form_.setToolTip(kPhraseButton, QString());
    form_.setVisible(kPhraseButton, form_.checked(kPhraseBox));
}

QString ScheduleEditor::chooseSound(const QString& title, const QString& folder) {
    return dialogs_.openFile(title, folder, kSoundFilter);
}

void ScheduleEditor::showToolTip(int n) {
    const PeriodControls& p = period(n);
    // "" means the path names no file of the library: the tooltip stays as it was.
    if (const QString name = library_.displayName(form_.text(p.soundPath)); !name.isEmpty())
        form_.setToolTip(p.soundButton, name);
}

}  // namespace tavirin
