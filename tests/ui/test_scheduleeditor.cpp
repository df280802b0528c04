#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/settings/inisettingsbackend.h"
#include "scheduler/arming.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "ui/editor/scheduleeditor.h"
#include "ui/form1.h"
#include "ui/startup.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <csignal>
#include <memory>

using namespace tavirin;

namespace {

// Wednesday: today's program is row 3.
const QDate kWednesday(2026, 12, 9);
const QString kBase = QStringLiteral("vorle_programming5_7day");
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kOrange{255, 128, 0};
const QString kFilter = QStringLiteral("MP3, WAV| *.mp3; *.wav");
const QString kAddOnTitle = QStringLiteral("เลือกรูปแบบเสียงเสริมท้าย");

QString app(int day) {
    return kBase + QString::number(day);
}

// The program as a new user starts it: a real store file (or one in memory that records
// every write), the main window's model loaded as start-up loads it, the widget window over
// it, the editor wired to its controls. The panel's slides are recorded and only make the
// panel visible, in view.
struct World {
    explicit World(bool onDisk = true) {
        root = dir.path() + QStringLiteral("/rivedezode");
        for (const char* sub : {"time/standard", "time/female", "other", "title"})
            QDir().mkpath(root + u'/' + QLatin1String(sub));
        path = dir.path() + QStringLiteral("/tavirin.ini");
        if (onDisk) {
            backend = std::make_unique<IniSettingsBackend>(path, clock);
        } else {
            auto m = std::make_unique<MemorySettingsBackend>();
            memory = m.get();
            backend = std::move(m);
        }
        store = std::make_unique<ProgramStore>(*backend);
        library = std::make_unique<SoundLibrary>(root);
        buildForm1(form);
        relay = std::make_unique<AmplifierRelay>(form, *store, serial, dialogs);
        arming = std::make_unique<Arming>(form, *store, clock, *library);
        editor = std::make_unique<ScheduleEditor>(form, *store, *arming, *relay, dialogs, *library,
                                                  clock);
        editor->setOpenSettingsPanel([this] {
            ++opened;
            form.setGeometry(QStringLiteral("Frame2"), 120, 120, 10815, 5775);
            form.setVisible(QStringLiteral("Frame2"), true);
        });
        editor->setCloseSettingsPanel([this] {
            ++closed;
            form.setVisible(QStringLiteral("Frame2"), false);
        });
        editor->connectControls();
        loadMainWindow(form, *store, *library, *arming, *relay);
        // The scheduler tick keeps today's name here.
        form.setText(QStringLiteral("lbl_dayy"), QStringLiteral("พุธ"));
        window = std::make_unique<Form1>(form);
        window->show();
    }

    QWidget* widget(const QString& name) const {
        auto* w = window->findChild<QWidget*>(name);
        if (!w) qFatal("no widget %s", qPrintable(name));
        return w;
    }
    void click(const QString& name) { QTest::mouseClick(widget(name), Qt::LeftButton); }
    void press(const QString& name, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(widget(name), b);
    }
    void release(const QString& name, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseRelease(widget(name), b);
    }
    void pressAndRelease(const QString& name, Qt::MouseButton b = Qt::LeftButton) {
        press(name, b);
        release(name, b);
    }
    // The mouse moving over a widget, as the window system delivers it. (QTest::mouseMove
    // without a button only moves the cursor, and not at all to where it already is.)
    void hover(const QString& name) {
        QWidget* target = widget(name);
        const QPointF at = QRectF(target->rect()).center();
        QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(target, &move);
    }
    // An operator's choice in a drop-down list.
    void choose(const QString& name, const QString& entry) {
        auto* combo = qobject_cast<QComboBox*>(widget(name));
        const int i = combo->findText(entry);
        QVERIFY2(i >= 0, qPrintable(name + u' ' + entry));
        combo->setCurrentIndex(i);
        emit combo->activated(i);
    }
    void set(int day, const QString& section, const QString& key, const QString& value) {
        QVERIFY(store->SaveSetting(day ? app(day) : kBase, section, key, value));
    }
    // What the store file holds now, read by a second backend as the next start would.
    QString disk(int day, const QString& section, const QString& key) const {
        IniSettingsBackend fresh(path, clock);
        ProgramStore s(fresh);
        return s.GetSetting(day ? app(day) : kBase, section, key);
    }
    QByteArray fileBytes() const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString other(const QString& file) const { return root + QStringLiteral("/other/") + file; }
    void openEditor() { click(QStringLiteral("Command4")); }
    void sevenDayMode() {
        set(0, QStringLiteral("Day_7"), QStringLiteral("day_7"), QStringLiteral("1"));
        arming->armToday();
    }

    QTemporaryDir dir;
    QString root;
    QString path;
    FakeClock clock{QDateTime(kWednesday, QTime(6, 30))};
    std::unique_ptr<SettingsBackend> backend;
    MemorySettingsBackend* memory = nullptr;
    std::unique_ptr<ProgramStore> store;
    std::unique_ptr<SoundLibrary> library;
    FakeSerialLines serial;
    FakeDialogs dialogs;
    FormModel form;
    std::unique_ptr<AmplifierRelay> relay;
    std::unique_ptr<Arming> arming;
    std::unique_ptr<ScheduleEditor> editor;
    std::unique_ptr<Form1> window;
    int opened = 0;
    int closed = 0;
};

// The 132 keys of one editor write, in order, as the store hands them to its backend
// (names folded to lower case).
QStringList editorWriteKeys(const QString& application) {
    QStringList k;
    const QString a = application.toLower();
    for (int n = 1; n <= 25; ++n) k << a + "/time/h" + QString::number(n);
    for (int n = 1; n <= 30; ++n) k << a + "/time/m" + QString::number(n);
    for (int n = 1; n <= 25; ++n) k << a + "/number/number" + QString::number(n);
    for (int n = 1; n <= 24; ++n) k << a + "/sond/sond" + QString::number(n);
    for (int n = 1; n <= 24; ++n) k << a + "/fm/fm" + QString::number(n);
    for (int n = 1; n <= 3; ++n) k << kBase + "/radio_online/radio_online" + QString::number(n);
    k << kBase + "/day_7/day_7";
    return k;
}

QStringList recordedKeys(const MemorySettingsBackend& m) {
    QStringList k;
    for (const auto& w : m.writes()) k << w.app + u'/' + w.section + u'/' + w.key;
    return k;
}

}  // namespace

class TestScheduleEditor : public QObject {
    Q_OBJECT

private slots:
    void openingShowsTodaysProgram() {
        World w;
        w.sevenDayMode();
        w.set(3, "TIME", "h1", "06");
        w.set(5, "TIME", "h1", "10");
        w.form.setComboText("Combo52", "วันศุกร์");
        w.form.setText("lbl_vorle_programming5_7day", app(5));
        w.openEditor();
        QCOMPARE(w.opened, 1);
        QCOMPARE(w.form.text("Combo52"), QStringLiteral("ทุกวัน"));
        QCOMPARE(w.form.text("lbl_vorle_programming5_7day"), app(3));
        QCOMPARE(w.form.text("Combo1"), QStringLiteral("06"));
        for (int d = 1; d <= 7; ++d)
            QCOMPARE(w.form.background(QStringLiteral("lbl_day%1").arg(d)),
                     d == 3 ? kOrange : kBlue);

        // The day strip loads another day and writes nothing.
        const QByteArray before = w.fileBytes();
        w.click("lbl_day5");
        QCOMPARE(w.form.text("Combo1"), QStringLiteral("10"));
        QCOMPARE(w.form.value("selectedDayName"), QStringLiteral("ศุกร์"));
        QCOMPARE(w.form.background("lbl_day5"), kOrange);
        QCOMPARE(w.form.background("lbl_day3"), kBlue);
        QCOMPARE(w.fileBytes(), before);
        QCOMPARE(w.closed, 0);
    }

    void dayStripDoesNothingOutsideSevenDayMode() {
        World w;
        w.set(5, "TIME", "h1", "10");
        w.openEditor();
        QVERIFY(!w.form.visible("lbl_day5"));
        w.click("lbl_day5");
        QCOMPARE(w.form.text("lbl_vorle_programming5_7day"), app(3));
        QCOMPARE(w.form.text("Combo1"), QStringLiteral("07"));
    }

    void applyTidiesAddOnSounds() {
        World w;
        w.openEditor();
        // 5: ticked without a file. 6: a file chosen, then the box cleared. 7: ticked with a file.
        w.click("Check5");
        QVERIFY(w.form.visible("Command3(5)"));
        w.click("Check6");
        w.dialogs.files << w.other("b.wav");
        w.click("Command3(6)");
        QCOMPARE(w.form.text("Text6(6)"), w.other("b.wav"));
        w.click("Check6");
        QVERIFY(!w.form.visible("Command3(6)"));
        QCOMPARE(w.form.text("Text6(6)"), w.other("b.wav"));  // the box alone keeps the path
        w.click("Check7");
        w.dialogs.files << w.other("c.wav");
        w.click("Command3(7)");
        QCOMPARE(w.dialogs.shown.last().title, kAddOnTitle);
        QCOMPARE(w.dialogs.shown.last().text, w.root + "/other|" + kFilter);

        w.press("Command354");
        QVERIFY(!w.form.checked("Check5"));
        QVERIFY(!w.form.visible("Command3(5)"));
        QVERIFY(w.form.checked("Check7"));
        QVERIFY(w.form.visible("Command3(7)"));
        for (int d = 1; d <= 7; ++d) {
            QCOMPARE(w.disk(d, "Number", "number5"), QStringLiteral("0"));
            QCOMPARE(w.disk(d, "sond", "sond5"), QString(""));
            QCOMPARE(w.disk(d, "Number", "number6"), QStringLiteral("0"));
            QCOMPARE(w.disk(d, "sond", "sond6"), QString(""));
            QCOMPARE(w.disk(d, "Number", "number7"), QStringLiteral("1"));
            QCOMPARE(w.disk(d, "sond", "sond7"), w.other("c.wav"));
        }
    }

    void copyWritesWithoutTidying_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QList<int>>("days");
        QTest::newRow("one day") << "วันศุกร์" << QList<int>{3, 5};
        QTest::newRow("every day") << "ทุกวัน" << QList<int>{1, 2, 3, 4, 5, 6, 7};
    }
    void copyWritesWithoutTidying() {
        QFETCH(QString, target);
        QFETCH(QList<int>, days);
        World w;
        w.sevenDayMode();
        w.openEditor();
        w.click("Check8");
        w.choose("Combo52", target);
        w.click("Command7");
        QCOMPARE(w.dialogs.count("ask"), 1);
        QCOMPARE(w.dialogs.shown.last().title, QStringLiteral("ยืนยันคัดลอกข้อมูล"));
        QCOMPARE(w.dialogs.shown.last().text,
                 QStringLiteral("คุณต้องการบันทึกข้อมูล และคัดลอกข้อมูลหรือไม่ ?"));
        for (int d = 1; d <= 7; ++d) {
            QCOMPARE(w.disk(d, "Number", "number8"), QString(days.contains(d) ? "1" : "0"));
            QCOMPARE(w.disk(d, "sond", "sond8"), QString(""));
        }
        QCOMPARE(w.disk(0, "Day_7", "day_7"), QStringLiteral("1"));
        // Arming ran: today's program has a ticked box without a file, which it clears.
        QVERIFY(!w.form.checked("Check8"));
        QVERIFY(!w.form.visible("Command3(8)"));
        QCOMPARE(w.dialogs.count("message"), 0);
    }

    void copyAnsweredNoWritesNothingButArms() {
        World w;
        w.sevenDayMode();
        w.openEditor();
        w.choose("Combo1", "15");
        w.dialogs.answers << false;
        const QByteArray before = w.fileBytes();
        w.click("Command7");
        QCOMPARE(w.dialogs.count("ask"), 1);
        QCOMPARE(w.fileBytes(), before);
        QCOMPARE(w.form.text("Combo1"), QStringLiteral("07"));  // the unsaved edit is gone
        QCOMPARE(w.form.text("Label3"), QStringLiteral("07:00:00"));
    }

    void applyInSevenDayModeForAnotherDay() {
        World w;
        w.sevenDayMode();
        w.openEditor();
        w.click("lbl_day5");
        w.choose("Combo1", "11");
        w.press("Command354");
        QCOMPARE(w.disk(5, "TIME", "h1"), QStringLiteral("11"));
        for (int d : {1, 2, 3, 4, 6, 7}) QCOMPARE(w.disk(d, "TIME", "h1"), QStringLiteral("07"));
        // Not armed: the board keeps today's time and the editor keeps the day it shows.
        QCOMPARE(w.form.text("Label3"), QStringLiteral("07:00:00"));
        QCOMPARE(w.form.text("Combo1"), QStringLiteral("11"));
        QCOMPARE(w.closed, 0);

        // The same for today arms it.
        w.click("lbl_day3");
        w.choose("Combo1", "12");
        w.press("Command354");
        QCOMPARE(w.disk(3, "TIME", "h1"), QStringLiteral("12"));
        QCOMPARE(w.disk(5, "TIME", "h1"), QStringLiteral("11"));
        QCOMPARE(w.form.text("Label3"), QStringLiteral("12:00:00"));
    }

    // The day the editor writes is the day it shows: after Copy, or a midnight arming with the
    // panel open, the strip highlights today and the fields hold today's program.
    void writesTheDayItShows_data() {
        QTest::addColumn<bool>("midnight");
        QTest::addColumn<int>("today");
        QTest::newRow("after copy") << false << 3;
        QTest::newRow("at midnight") << true << 4;
    }
    void writesTheDayItShows() {
        QFETCH(bool, midnight);
        QFETCH(int, today);
        World w;
        w.sevenDayMode();
        w.openEditor();
        w.click("lbl_day5");
        if (midnight) {
            // As the tick does at 00:00:00.
            w.clock.set(kWednesday.addDays(1), QTime(0, 0));
            w.form.setText(QStringLiteral("lbl_dayy"), QStringLiteral("พฤหัสบดี"));
            w.arming->armToday();
        } else {
            w.choose("Combo52", "วันพฤหัสบดี");
            w.click("Command7");
        }
        for (int d = 1; d <= 7; ++d)
            QCOMPARE(w.form.background(QStringLiteral("lbl_day%1").arg(d)),
                     d == today ? kOrange : kBlue);
        w.choose("Combo1", "09");
        w.press("Command354");
        QCOMPARE(w.disk(today, "TIME", "h1"), QStringLiteral("09"));
        QCOMPARE(w.disk(5, "TIME", "h1"), QStringLiteral("07"));
        QCOMPARE(w.form.text("Label3"), QStringLiteral("09:00:00"));  // today's: armed
    }

    // Another day of the strip with unsaved edits: save them first, drop them, or stay.
    void unsavedEditsWhenSwitchingDay_data() {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<int>("answer");  // Dialogs::Answer
        QTest::addColumn<QString>("fridayStored");
        QTest::addColumn<int>("shownDay");
        QTest::addColumn<QString>("shownHour");
        QTest::newRow("no edits: no question") << false << -1 << "07" << 3 << "06";
        QTest::newRow("yes: saved, then switched")
            << true << int(Dialogs::Answer::Yes) << "11" << 3 << "06";
        QTest::newRow("no: dropped, then switched")
            << true << int(Dialogs::Answer::No) << "07" << 3 << "06";
        QTest::newRow("cancel: stays with the edits")
            << true << int(Dialogs::Answer::Cancel) << "07" << 5 << "11";
    }
    void unsavedEditsWhenSwitchingDay() {
        QFETCH(bool, edit);
        QFETCH(int, answer);
        QFETCH(QString, fridayStored);
        QFETCH(int, shownDay);
        QFETCH(QString, shownHour);
        World w;
        w.sevenDayMode();
        w.set(3, "TIME", "h1", "06");
        w.openEditor();
        w.click("lbl_day5");
        if (edit) w.choose("Combo1", "11");
        if (answer >= 0) w.dialogs.choices << Dialogs::Answer(answer);
        w.click("lbl_day3");
        QCOMPARE(w.dialogs.count("ask"), answer >= 0 ? 1 : 0);
        if (answer >= 0) {
            QCOMPARE(w.dialogs.shown.last().title, QStringLiteral("บันทึกการแก้ไข"));
            QCOMPARE(w.dialogs.shown.last().text,
                     QStringLiteral("ตารางเวลาของวันศุกร์ มีการแก้ไขที่ยังไม่ได้บันทึก\n\n"
                                    "ต้องการบันทึกก่อนเปลี่ยนไปวันพุธหรือไม่ ?"));
        }
        QCOMPARE(w.disk(5, "TIME", "h1"), fridayStored);
        QCOMPARE(w.form.text("lbl_vorle_programming5_7day"), app(shownDay));
        QCOMPARE(w.form.background(QStringLiteral("lbl_day%1").arg(shownDay)), kOrange);
        QCOMPARE(w.form.text("Combo1"), shownHour);
    }

    void sevenDayOffWritesAllDays_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Qt::MouseButton>("mouse");
        QTest::addColumn<int>("closedOnRelease");
        QTest::newRow("apply, left") << "Command354" << Qt::LeftButton << 0;
        QTest::newRow("apply, right") << "Command354" << Qt::RightButton << 0;
        QTest::newRow("save, left") << "Command5" << Qt::LeftButton << 1;
        QTest::newRow("save, right") << "Command5" << Qt::RightButton << 1;
    }
    void sevenDayOffWritesAllDays() {
        QFETCH(QString, button);
        QFETCH(Qt::MouseButton, mouse);
        QFETCH(int, closedOnRelease);
        World w;
        w.set(6, "TIME", "h2", "22");
        w.openEditor();
        w.choose("Combo2", "13");
        w.press(button, mouse);
        for (int d = 1; d <= 7; ++d) QCOMPARE(w.disk(d, "TIME", "h2"), QStringLiteral("13"));
        QCOMPARE(w.form.text("lbl_vorle_programming5_7day_2"), app(7));
        QCOMPARE(w.form.text("Label4"), QStringLiteral("13:00:00"));
        QCOMPARE(w.closed, 0);
        w.release(button, mouse);
        QCOMPARE(w.closed, closedOnRelease);
        QCOMPARE(w.opened, 1);
    }

    void keyboardCannotApplyOrSave() {
        World w;
        w.openEditor();
        w.choose("Combo2", "13");
        const int writes = w.store->writeCount();
        for (const char* name : {"Command354", "Command5"}) {
            auto* b = qobject_cast<QPushButton*>(w.widget(name));
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
            for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Select}) {
                QTest::keyClick(b, key);
                QTest::keyClick(w.window.get(), key);
            }
        }
        QCOMPARE(w.store->writeCount(), writes);
        QCOMPARE(w.disk(3, "TIME", "h2"), QStringLiteral("08"));
        QCOMPARE(w.closed, 0);
    }

    void cancelAfterClearingTheModeBox() {
        World w;
        w.sevenDayMode();
        w.openEditor();
        w.click("Check29");
        QVERIFY(!w.form.visible("lbl_day1"));
        QVERIFY(w.form.visible("lbl_same_every_day"));
        const QByteArray before = w.fileBytes();
        w.click("Command3557");
        QCOMPARE(w.closed, 1);
        QCOMPARE(w.fileBytes(), before);
        QCOMPARE(w.disk(0, "Day_7", "day_7"), QStringLiteral("1"));
        QVERIFY(w.form.checked("Check29"));
        QVERIFY(w.form.visible("lbl_day1"));
        QVERIFY(w.form.visible("Command7"));
    }

    void repeatLoadedWhileNoVoiceTicked() {
        World w;
        w.openEditor();
        w.click("Check28");
        QCOMPARE(w.form.text("Text2"), QStringLiteral("3"));
        QVERIFY(!w.form.enabled("Check27"));
        w.set(3, "TIME", "m29", "2");
        w.openEditor();
        QVERIFY(w.form.checked("Check27"));
        QVERIFY(w.form.enabled("Check27"));
        QVERIFY(!w.form.checked("Check28"));
        QCOMPARE(w.form.text("Text2"), QStringLiteral("2"));
        w.pressAndRelease("Command5");
        for (int d = 1; d <= 7; ++d) QCOMPARE(w.disk(d, "TIME", "m29"), QStringLiteral("2"));
    }

    void voiceBoxesSetTheAnnounceMode() {
        World w;
        w.openEditor();
        w.click("Check27");  // ticked by the first-run program: now cleared
        QCOMPARE(w.form.text("Text2"), QStringLiteral("1"));
        w.click("Check27");
        QCOMPARE(w.form.text("Text2"), QStringLiteral("2"));
        w.click("Check28");
        QCOMPARE(w.form.text("Text2"), QStringLiteral("3"));
        QVERIFY(!w.form.enabled("Check27"));
        QVERIFY(w.form.checked("Check27"));
        w.click("Check28");
        QCOMPARE(w.form.text("Text2"), QStringLiteral("1"));
        QVERIFY(!w.form.checked("Check27"));
        QVERIFY(w.form.enabled("Check27"));
    }

    void shutdownOffShowsNo() {
        World w;
        w.set(3, "Number", "number25", "1");
        w.set(3, "TIME", "h25", "16");
        w.set(3, "TIME", "m28", "30");
        w.openEditor();
        QCOMPARE(w.form.text("Combo49"), QStringLiteral("16"));
        QVERIFY(w.form.enabled("Combo49"));
        w.set(3, "Number", "number25", "0");
        w.openEditor();
        QVERIFY(!w.form.checked("Check26"));
        for (const char* c : {"Combo49", "Combo50"}) {
            QCOMPARE(w.form.text(c), QStringLiteral("no"));
            QVERIFY(!w.form.enabled(c));
        }
        w.pressAndRelease("Command5");
        QCOMPARE(w.disk(3, "TIME", "h25"), QStringLiteral("no"));
        QCOMPARE(w.disk(3, "TIME", "m28"), QStringLiteral("no"));
        QCOMPARE(w.disk(3, "Number", "number25"), QStringLiteral("0"));

        // Ticking the box makes the choosers usable again, still at "no".
        w.openEditor();
        w.click("Check26");
        QVERIFY(w.form.enabled("Combo49"));
        QCOMPARE(w.form.text("Combo49"), QStringLiteral("no"));
    }

    void unlistedStoredTimeIsShownNotInUse() {
        World w;
        w.set(3, "TIME", "h2", "7");
        w.set(3, "TIME", "m3", "61");
        w.set(3, "TIME", "h25", "25");
        w.set(3, "Number", "number25", "1");
        w.openEditor();
        QCOMPARE(w.form.text("Combo2"), QStringLiteral("no"));
        QCOMPARE(w.form.text("Combo3"), QStringLiteral("no"));
        QCOMPARE(w.form.text("Combo27"), QStringLiteral("00"));
        QCOMPARE(w.form.text("Combo49"), QStringLiteral("no"));
        QCOMPARE(w.form.text("Combo4"), QStringLiteral("10"));  // the others as stored
    }

    void soundButtonToolTip_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("tip");
        QTest::newRow("file in other") << "/other/ระฆัง.wav"
                                       << "ระฆัง.wav";
        QTest::newRow("deeper file") << "/other/sub/x.mp3"
                                     << "sub";
        QTest::newRow("empty") << ""
                               << "ก่อนหน้า";
    }
    void soundButtonToolTip() {
        QFETCH(QString, path);
        QFETCH(QString, tip);
        World w;
        w.openEditor();
        w.click("Check4");
        w.form.setText("Text6(4)", path.isEmpty() ? path : w.root + path);
        w.form.setToolTip("Command3(4)", "ก่อนหน้า");
        w.hover("Command3(4)");
        QCOMPARE(w.form.toolTip("Command3(4)"), tip);
        QCOMPARE(w.widget("Command3(4)")->toolTip(), tip);
    }

    void chimeAndPhraseChoosers_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("target");
        QTest::newRow("front") << "Command9oo"
                               << "เลือกรูปแบบเสียงออด หน้า"
                               << "title"
                               << "Text5";
        QTest::newRow("back") << "Command2"
                              << "เลือกรูปแบบเสียงออด หลัง"
                              << "title"
                              << "Text7";
        QTest::newRow("phrase") << "Command357" << kAddOnTitle << "other"
                                << "Text3";
    }
    void chimeAndPhraseChoosers() {
        QFETCH(QString, button);
        QFETCH(QString, title);
        QFETCH(QString, folder);
        QFETCH(QString, target);
        World w;
        w.openEditor();
        if (button == "Command357") w.click("Check25");
        w.form.setText(target, "/before.wav");
        w.dialogs.files << "";  // cancelled
        w.click(button);
        QCOMPARE(w.form.text(target), QStringLiteral("/before.wav"));
        QCOMPARE(w.dialogs.shown.last().title, title);
        QCOMPARE(w.dialogs.shown.last().text, w.root + u'/' + folder + u'|' + kFilter);
        const QString chosen = w.root + u'/' + folder + QStringLiteral("/ใหม่.mp3");
        w.dialogs.files << chosen;
        w.click(button);
        QCOMPARE(w.form.text(target), chosen);
    }

    void closingPhraseBox() {
        World w;
        w.click("Check25");
        QVERIFY(w.form.visible("Command357"));
        w.dialogs.files << w.other("คำเสริม.wav");
        w.click("Command357");
        QCOMPARE(w.form.text("Text3"), w.other("คำเสริม.wav"));
        QCOMPARE(w.form.toolTip("Command357"), QStringLiteral("คำเสริม.wav"));
        w.click("Check25");
        QVERIFY(!w.form.visible("Command357"));
        QCOMPARE(w.form.text("Text3"), QString());
        QCOMPARE(w.form.toolTip("Command357"), QString());
    }

    // What reaches the backend, in order, through the real store.
    void writeOrder_data() {
        QTest::addColumn<bool>("sevenDays");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QList<int>>("days");
        QTest::newRow("apply, seven-day on") << true << "Command354" << QList<int>{3};
        QTest::newRow("apply, seven-day off")
            << false << "Command354" << QList<int>{1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("copy to Friday") << true << "Command7" << QList<int>{3, 5};
        QTest::newRow("copy to every day") << true << "Command7" << QList<int>{1, 2, 3, 4, 5, 6, 7};
    }
    void writeOrder() {
        QFETCH(bool, sevenDays);
        QFETCH(QString, action);
        QFETCH(QList<int>, days);
        World w(false);
        if (sevenDays) w.sevenDayMode();
        w.openEditor();
        if (action == "Command7") w.choose("Combo52", days.size() == 2 ? "วันศุกร์" : "ทุกวัน");
        w.form.setText("radio2", "  https://radio.example/x  ");
        w.memory->clearLog();
        w.pressAndRelease(action);
        QStringList expected;
        for (int d : days) expected << editorWriteKeys(app(d));
        QCOMPARE(recordedKeys(*w.memory), expected);
        QCOMPARE(w.memory->syncCount(), 1);  // one durable step for the whole burst
        const auto& writes = w.memory->writes();
        QCOMPARE(writes.at(26).value, QStringLiteral("00"));            // m2
        QCOMPARE(writes.at(25 + 25).value, w.root + "/time/standard");  // m26
        QCOMPARE(writes.at(129).value, QStringLiteral("https://radio.example/x"));
        QCOMPARE(writes.at(131).value, QString(sevenDays ? "1" : "0"));
    }

    void emptyVoiceChooserWritesTheVoicesFolder() {
        World w(false);
        w.openEditor();
        w.form.setItems("Combo54", {});
        w.memory->clearLog();
        QVERIFY(w.editor->writeEditor(app(3)));
        QCOMPARE(w.memory->writes().size(), 132);
        QCOMPARE(w.memory->writes().at(50).key, QStringLiteral("m26"));
        QCOMPARE(w.memory->writes().at(50).value, w.root + "/time/");
    }

    // A save that fails is told, and nothing of it takes effect: the store in memory is
    // rolled back to what is on disk (the board, the next bell, a later save of something
    // else all see the saved times), while the editor keeps the edit on screen to retry.
    void failedWriteStopsAndTells_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("failAt");  // a write in memory; 0: the sync; -1: the disk
        QTest::newRow("apply, first key") << "Command354" << 1;
        QTest::newRow("apply, m1 of Monday") << "Command354" << 26;
        QTest::newRow("apply, flag of Monday") << "Command354" << 132;
        QTest::newRow("apply, first key of Tuesday") << "Command354" << 133;
        QTest::newRow("apply, last key of Sunday") << "Command354" << 924;
        QTest::newRow("save, Wednesday") << "Command5" << 300;
        QTest::newRow("save, sync") << "Command5" << 0;
        QTest::newRow("save, the disk refuses") << "Command5" << -1;
    }
    void failedWriteStopsAndTells() {
        QFETCH(QString, button);
        QFETCH(int, failAt);
        World w(failAt < 0);
        w.openEditor();
        w.choose("Combo1", "09");
        rlimit old{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (failAt > 0) {
            w.memory->failNthSetValue(failAt);
        } else if (failAt == 0) {
            w.memory->failNextSync();
        } else {
            // A file-size limit fails the write as a full disk does, for root too.
            rlimit small = old;
            small.rlim_cur = 4096;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        w.pressAndRelease(button);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        // Told; the panel open and the edit on screen, to try again.
        QCOMPARE(w.dialogs.count("message"), 1);
        const FakeDialogs::Shown& box = w.dialogs.shown.last();
        QCOMPARE(box.icon, Dialogs::Icon::Critical);
        QVERIFY(box.text.startsWith(QStringLiteral("ไม่สามารถบันทึกตารางเวลาได้")));
        QCOMPARE(w.closed, 0);
        QCOMPARE(w.form.text("Combo1"), QStringLiteral("09"));
        // Nothing in force: not armed, nothing left in the store of what was written.
        QCOMPARE(w.form.text("Label3"), QStringLiteral("07:00:00"));
        for (int day = 1; day <= 7; ++day)
            QCOMPARE(w.store->GetSetting(app(day), "TIME", "h1"), QStringLiteral("07"));
        if (failAt < 0) {
            QCOMPARE(w.disk(3, "TIME", "h1"), QStringLiteral("07"));
            // A later save of something else does not carry the edit to the disk.
            QVERIFY(w.store->SaveSetting(kBase, "com_port", "com_port", "2"));
            QCOMPARE(w.disk(3, "TIME", "h1"), QStringLiteral("07"));
        }
        // Cancel shows the saved program again.
        w.click("Command3557");
        QCOMPARE(w.form.text("Combo1"), QStringLiteral("07"));
    }
};

QTEST_MAIN(TestScheduleEditor)
#include "test_scheduleeditor.moc"
