#include "fakewaiter.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/amplifierrelay.h"
#include "outputs/autoshutdown.h"
#include "outputs/mediasources.h"
#include "outputs/shutdownarming.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakepower.h"
#include "platform/fake/fakeprocesses.h"
#include "platform/fake/fakeradioplayer.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/memorysettingsbackend.h"
#include "store/dayprogram.h"
#include "store/programstore.h"

#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace tavirin;

namespace {

QStringList stops() {
    return {"radio stop", "end audacious",
            QStringLiteral("end-arg [") + media::profileArguments().join(u'|') + u']'};
}
const QStringList kRelayOff{"serial rts off", "serial dtr off", "serial close"};
const QString kLabel = QStringLiteral("Label28778");
const QString kNow = QStringLiteral("Command3xx2a");
const QString kCancel = QStringLiteral("Command3xxa");

// Counts the slide-ins asked for.
class CountingMotion final : public WindowMotion {
public:
    void showMainWindow() override { ++shows; }
    void hideMainWindow() override {}
    int windowTopCounter() const override { return 1200; }
    int windowHeightCounter() const override { return 6165; }
    int shows = 0;
};

// The main window's controls, the real relay and media starters over the serial and process
// doubles (sharing one journal), a store in memory, and the shutdown over a fake power.
struct Fixture {
    Fixture() {
        lines.journal = &journal;
        processes.journal = &journal;
        radio.journal = &journal;
        store.SaveSetting(QStringLiteral("vorle_programming5_7day"), QStringLiteral("Com_port"),
                          QStringLiteral("com_port"), QStringLiteral("1"));
        shutdown.connectControls();
        shutdown.setArmedTime([this] { return armed; });
        arm(QStringLiteral("16"), QStringLiteral("30"), QStringLiteral("1"));
    }
    // As arming does: the choosers and the box show the stored time, the day holds it.
    void arm(const QString& hour, const QString& minute, const QString& enabled) {
        model.setChecked(QStringLiteral("Check26"), enabled == QLatin1String("1"));
        armShutdown(model, hour, minute, enabled, true);
        armed = shutdownTime(hour, minute, enabled);
    }
    QTime armed;
    void clockShows(const QString& text) { model.setText(QStringLiteral("Label1"), text); }
    QTimer* countdownTimer() const { return model.timer(QStringLiteral("Timer23")); }
    bool counting() const { return countdownTimer()->isActive(); }
    // What the event loop does once a second while the countdown runs.
    void ticks(int n) {
        for (int i = 0; i < n && counting(); ++i)
            QMetaObject::invokeMethod(countdownTimer(), "timeout");
    }
    void startCountdown() {
        clockShows(QStringLiteral("16:30:00"));
        shutdown.checkShutdownTime(true);
        QVERIFY(counting());
    }
    bool buttonsShown() const { return model.visible(kNow) && model.visible(kCancel); }
    bool buttonsHidden() const { return !model.visible(kNow) && !model.visible(kCancel); }

    FormModel model;
    const bool built = (buildForm1(model), true);
    QStringList journal;
    MemorySettingsBackend backend;
    ProgramStore store{backend};
    FakeSerialLines lines;
    FakeDialogs dialogs;
    AmplifierRelay relay{model, store, lines, dialogs};
    FakeProcesses processes;
    FakeWaiter waiter;
    FakeRadioPlayer radio;
    MediaSources media{model, relay, processes, waiter, radio, dialogs};
    CountingMotion motion;
    FakePower power;
    AutoShutdown shutdown{model, motion, media, relay, power, dialogs};
};

}  // namespace

class TestAutoShutdown : public QObject {
    Q_OBJECT

private slots:
    void startsOnlyAtTheArmedTime_data();
    void startsOnlyAtTheArmedTime();
    void countsFromTheFirstTick();
    void mediaAndRelayOffAtThree();
    void powerOffAtTheEnd_data();
    void powerOffAtTheEnd();
    void shutDownNowKeepsCounting();
    void shutDownNowRefused();
    void cancelThenTheSameTimeAgain();
    void enableBox();
};

void TestAutoShutdown::startsOnlyAtTheArmedTime_data() {
    QTest::addColumn<QString>("hour");
    QTest::addColumn<QString>("minute");
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("clock");
    QTest::addColumn<bool>("starts");
    QTest::newRow("at the time") << "16"
                                 << "30"
                                 << "1"
                                 << "16:30:00" << true;
    QTest::newRow("midnight") << "00"
                              << "00"
                              << "1"
                              << "00:00:00" << true;
    QTest::newRow("a second late") << "16"
                                   << "30"
                                   << "1"
                                   << "16:30:01" << false;
    QTest::newRow("a second early") << "16"
                                    << "30"
                                    << "1"
                                    << "16:29:59" << false;
    QTest::newRow("hour no") << "no"
                             << "30"
                             << "1"
                             << "16:30:00" << false;
    QTest::newRow("minute no") << "16"
                               << "no"
                               << "1"
                               << "16:30:00" << false;
    QTest::newRow("box not ticked") << "16"
                                    << "30"
                                    << "0"
                                    << "16:30:00" << false;
}

void TestAutoShutdown::startsOnlyAtTheArmedTime() {
    QFETCH(QString, hour);
    QFETCH(QString, minute);
    QFETCH(QString, enabled);
    QFETCH(QString, clock);
    QFETCH(bool, starts);
    for (bool slideIn : {true, false}) {
        Fixture f;
        f.arm(hour, minute, enabled);
        f.clockShows(clock);
        if (slideIn) {
            f.shutdown.checkShutdownTime(true);
        } else {
            // Timer4's tick is the check without the slide-in.
            f.model.timer(QStringLiteral("Timer4"))->start();
            QMetaObject::invokeMethod(f.model.timer(QStringLiteral("Timer4")), "timeout");
        }
        QCOMPARE(f.counting(), starts);
        QCOMPARE(f.motion.shows, starts && slideIn ? 1 : 0);
        QCOMPARE(f.shutdown.countdown(), 120);
        QVERIFY(!f.model.visible(kLabel));
        QCOMPARE(f.power.calls, 0);
    }
}

void TestAutoShutdown::countsFromTheFirstTick() {
    Fixture f;
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("shutdown countdown started at 16:30:00"));
    f.startCountdown();
    // The whole matching second is seen by every tick: the countdown is set again each time,
    // but the countdown timer is not started anew (it keeps the rhythm of the first match)
    // and the start is logged once.
    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& msg) { logged.append(msg); });
    for (int i = 0; i < 9; ++i) f.shutdown.checkShutdownTime(true);
    qInstallMessageHandler(previous);
    QCOMPARE(logged, QStringList());
    QCOMPARE(f.shutdown.countdown(), 120);

    f.ticks(1);
    QCOMPARE(f.model.text(kLabel), QStringLiteral("อีก 119 วินาทีจะปิดคอมพิวเตอร์"));
    QVERIFY(f.model.visible(kLabel));
    QVERIFY(f.buttonsShown());
    f.ticks(1);
    QCOMPARE(f.model.text(kLabel), QStringLiteral("อีก 118 วินาทีจะปิดคอมพิวเตอร์"));
    QCOMPARE(f.shutdown.countdown(), 118);
}

void TestAutoShutdown::mediaAndRelayOffAtThree() {
    Fixture f;
    f.relay.switchOn(false);  // music playing through the amplifier
    QVERIFY(f.lines.isOpen());
    f.startCountdown();
    f.journal.clear();
    f.ticks(116);
    QCOMPARE(f.shutdown.countdown(), 4);
    QCOMPARE(f.journal, QStringList());
    f.ticks(1);
    QCOMPARE(f.model.text(kLabel), QStringLiteral("อีก 3 วินาทีจะปิดคอมพิวเตอร์"));
    QCOMPARE(f.journal, stops() + kRelayOff);
    QVERIFY(!f.lines.isOpen());
    QCOMPARE(f.power.calls, 0);
    f.ticks(2);
    QCOMPARE(f.journal, stops() + kRelayOff);  // once only
}

void TestAutoShutdown::powerOffAtTheEnd_data() {
    QTest::addColumn<bool>("refused");
    QTest::newRow("accepted") << false;
    QTest::newRow("refused") << true;
}

void TestAutoShutdown::powerOffAtTheEnd() {
    QFETCH(bool, refused);
    Fixture f;
    f.power.refuse = refused;
    f.startCountdown();
    f.ticks(119);
    QCOMPARE(f.power.calls, 0);
    QCOMPARE(f.shutdown.countdown(), 1);

    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("power-off issued"));
    if (refused)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("power-off failed: refused"));
    else
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("power-off accepted"));
    f.ticks(1);
    QCOMPARE(f.power.calls, 1);
    // A refusal is told without a box that waits for someone.
    QCOMPARE(f.dialogs.count(QStringLiteral("notice")), refused ? 1 : 0);
    QCOMPARE(f.dialogs.count(QStringLiteral("message")), 0);
    QCOMPARE(f.shutdown.countdown(), -1);
    QVERIFY(!f.counting());
    // Whether or not the system goes down, the label stays at 0 with both buttons.
    QCOMPARE(f.model.text(kLabel), QStringLiteral("อีก 0 วินาทีจะปิดคอมพิวเตอร์"));
    QVERIFY(f.model.visible(kLabel));
    QVERIFY(f.buttonsShown());
    f.ticks(5);
    QCOMPARE(f.power.calls, 1);
}

void TestAutoShutdown::shutDownNowKeepsCounting() {
    Fixture f;
    f.relay.switchOn(false);
    f.startCountdown();
    f.ticks(10);
    f.journal.clear();
    f.model.click(kNow);
    QCOMPARE(f.power.calls, 1);
    QVERIFY(f.buttonsHidden());
    QVERIFY(f.counting());
    QCOMPARE(f.journal, QStringList());  // music, radio and relay left to the system
    f.ticks(1);
    QCOMPARE(f.model.text(kLabel), QStringLiteral("อีก 109 วินาทีจะปิดคอมพิวเตอร์"));
    QVERIFY(f.buttonsShown());
    f.ticks(200);
    QCOMPARE(f.power.calls, 2);  // the countdown's own end asks once more
    QCOMPARE(f.shutdown.countdown(), -1);
}

void TestAutoShutdown::shutDownNowRefused() {
    Fixture f;
    f.power.refuse = true;
    f.startCountdown();
    f.ticks(120);
    QVERIFY(!f.counting());
    // The system answers later; meanwhile the buttons are hidden as for a machine going down.
    f.power.answerAtOnce = false;
    f.model.click(kNow);
    QCOMPARE(f.power.calls, 2);
    QVERIFY(f.buttonsHidden());
    // It said no: the operator is told and can try again or cancel.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("power-off failed"));
    f.power.answer();
    QVERIFY(f.buttonsShown());
    QCOMPARE(f.dialogs.count(QStringLiteral("notice")), 2);
    QCOMPARE(f.dialogs.shown.last().title, QStringLiteral("ปิดคอมพิวเตอร์ไม่ได้"));

    f.power.refuse = false;
    f.model.click(kNow);
    f.power.answer();
    QCOMPARE(f.power.calls, 3);
    QVERIFY(f.buttonsHidden());
    QCOMPARE(f.dialogs.count(QStringLiteral("notice")), 2);
}

void TestAutoShutdown::cancelThenTheSameTimeAgain() {
    Fixture f;
    f.startCountdown();
    f.ticks(50);
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("shutdown cancelled"));
    f.model.click(kCancel);
    QCOMPARE(f.shutdown.countdown(), 120);
    QVERIFY(!f.counting());
    QVERIFY(!f.model.visible(kLabel));
    QVERIFY(f.buttonsHidden());

    // The next day, the same time.
    f.clockShows(QStringLiteral("16:29:59"));
    f.shutdown.checkShutdownTime(true);
    QVERIFY(!f.counting());
    f.clockShows(QStringLiteral("16:30:00"));
    f.shutdown.checkShutdownTime(true);
    QVERIFY(f.counting());
    QCOMPARE(f.motion.shows, 2);
    f.ticks(1);
    QCOMPARE(f.shutdown.countdown(), 119);
    QCOMPARE(f.power.calls, 0);
}

void TestAutoShutdown::enableBox() {
    Fixture f;
    const QString hour = QStringLiteral("Combo49"), minute = QStringLiteral("Combo50");
    QCOMPARE(f.model.text(hour), QStringLiteral("16"));
    QVERIFY(f.model.enabled(hour));

    f.model.setChecked(QStringLiteral("Check26"), false);  // as the operator's click
    QVERIFY(!f.model.enabled(hour));
    QVERIFY(!f.model.enabled(minute));
    QCOMPARE(f.model.text(hour), QStringLiteral("no"));
    QCOMPARE(f.model.text(minute), QStringLiteral("no"));

    f.model.setChecked(QStringLiteral("Check26"), true);
    QVERIFY(f.model.enabled(hour));
    QVERIFY(f.model.enabled(minute));
    QCOMPARE(f.model.text(hour), QStringLiteral("no"));
    QCOMPARE(f.model.text(minute), QStringLiteral("no"));
}

QTEST_GUILESS_MAIN(TestAutoShutdown)
#include "test_autoshutdown.moc"
