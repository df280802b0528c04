#include "model/form1layout.h"
#include "model/formmodel.h"
#include "ui/form1.h"
#include "ui/panelanimator.h"
#include "ui/twips.h"

#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace tavirin;

namespace {

struct Placement {
    int top;
    int height;
    bool visible;
};

// The animation timers in the order one round of the event loop delivers them here.
const QStringList kWindowTimers{"Timer8", "Timer19", "Timer9", "Timer18", "Timer17"};
const QStringList kPanelTimers{"Timer6", "Timer7", "Timer13", "Timer14"};

// The main window's model and an animator over it whose window is a record of placements.
// Nothing sleeps: a test delivers the timers' ticks itself, as the event loop would.
struct Fixture {
    Fixture() {
        model.timer(QStringLiteral("Timer3"))->stop();  // as a bell start leaves it
        animator.connectControls();
    }

    QTimer* timer(const QString& name) const { return model.timer(name); }
    bool active(const QString& name) const { return timer(name)->isActive(); }

    // One tick of `name` if it runs; true when it ticked.
    bool tick(const QString& name) {
        if (!active(name)) return false;
        QMetaObject::invokeMethod(timer(name), "timeout");
        return true;
    }
    // Rounds of ticks over `timers` (in `timers` order) until none of them runs; the rounds.
    int run(const QStringList& timers, int limit = 1000) {
        int rounds = 0;
        while (rounds < limit) {
            bool any = false;
            for (const QString& t : timers) any = tick(t) || any;
            if (!any) break;
            ++rounds;
        }
        return rounds;
    }
    // Ticks of `name` alone until it stops.
    int runAlone(const QString& name, int limit = 1000) {
        int n = 0;
        while (n < limit && tick(name)) ++n;
        return n;
    }
    void showToEnd() {
        animator.showMainWindow();
        run(kWindowTimers);
    }

    int panelTop(const QString& panel) const { return model.at(panel).y; }
    Placement last() const { return placed.isEmpty() ? Placement{-1, -1, false} : placed.last(); }

    FormModel model;
    const bool built = (buildForm1(model), true);  // the animator takes over its timers
    QList<Placement> placed;
    int ended = 0;
    PanelAnimator animator{model,
                           [this](int t, int h, bool v) {
                               placed.append({t, h, v});
                           },
                           [this] { ++ended; }};
};

}  // namespace

class TestPanelAnimator : public QObject {
    Q_OBJECT

private slots:
    void startState();
    void showWhileHidden();
    void hideFromShown();
    void hideWhileGrowing_data();
    void hideWhileGrowing();
    void showDuringHide_data();
    void showDuringHide();
    void settingsPanel();
    void reversingThePanels();
    void devicePanel();
    void clicks_data();
    void clicks();
    void backgroundWithBothClosed();
    void exitWaitsForTheWindowToShrink();
    void realWindowFollows();
};

void TestPanelAnimator::startState() {
    Fixture f;
    // Hidden below its place with no height; the 1 and 10 ms timers tick with the display.
    QCOMPARE(f.placed.size(), 1);
    QCOMPARE(f.last().top, 7500);
    QCOMPARE(f.last().height, 0);
    QVERIFY(!f.last().visible);
    QCOMPARE(f.animator.windowTopCounter(), 7500);
    QCOMPARE(f.animator.windowHeightCounter(), 0);
    QCOMPARE(f.animator.settingsPanelCounter(), -95);
    QCOMPARE(f.animator.devicePanelCounter(), -100);
    for (const QString& t : kWindowTimers + kPanelTimers) {
        QCOMPARE(f.timer(t)->interval(), PanelAnimator::kFrameTickMs);
        QVERIFY(!f.active(t));
    }
    QCOMPARE(f.timer(QStringLiteral("Timer3"))->interval(), 100);
    QCOMPARE(f.timer(QStringLiteral("Timer222"))->interval(), 400);
}

void TestPanelAnimator::showWhileHidden() {
    Fixture f;
    f.animator.showMainWindow();
    QVERIFY(f.tick(QStringLiteral("Timer8")));
    QVERIFY(f.last().visible);
    QCOMPARE(f.last().height, 100);
    QVERIFY(f.active(QStringLiteral("Timer19")));

    f.run(kWindowTimers);
    QCOMPARE(f.animator.windowTopCounter(), 1200);
    QCOMPARE(f.animator.windowHeightCounter(), 6165);
    QCOMPARE(f.last().top, 1200);
    QCOMPARE(f.last().height, 6165);
    QVERIFY(f.last().visible);
    // Never past the shown place on the way.
    for (const Placement& p : f.placed) {
        QVERIFY(p.top >= 1200);
        QVERIFY(p.height <= 6165);
    }
    // Showing does not run the scheduler tick; only the end of a hide does.
    QVERIFY(!f.active(QStringLiteral("Timer3")));
}

void TestPanelAnimator::hideFromShown() {
    Fixture f;
    f.showToEnd();
    f.animator.hideMainWindow();
    QCOMPARE(f.animator.windowTopCounter(), 1245);
    QCOMPARE(f.animator.windowHeightCounter(), 5895);
    QVERIFY(f.tick(QStringLiteral("Timer9")));
    QCOMPARE(f.last().height, 5795);
    QVERIFY(f.tick(QStringLiteral("Timer18")));
    QCOMPARE(f.last().top, 1345);
    const int from = int(f.placed.size());

    // The shrink ends first (59 ticks) and hides the window; the slide-down goes on and only
    // its end runs the tick again.
    while (f.active(QStringLiteral("Timer9"))) {
        f.tick(QStringLiteral("Timer9"));
        f.tick(QStringLiteral("Timer18"));
    }
    QVERIFY(!f.last().visible);
    QVERIFY(f.active(QStringLiteral("Timer18")));
    QVERIFY(!f.active(QStringLiteral("Timer3")));
    f.run(kWindowTimers);
    QVERIFY(f.active(QStringLiteral("Timer3")));
    QCOMPARE(f.animator.windowTopCounter(), 7500);
    QCOMPARE(f.animator.windowHeightCounter(), 0);
    QCOMPARE(f.last().top, 7500);
    QVERIFY(!f.last().visible);
    for (int i = from; i < f.placed.size(); ++i) {
        QVERIFY(f.placed[i].height >= 1);  // no height below 1 is ever applied
        QVERIFY(f.placed[i].top <= 7500);
    }
}

void TestPanelAnimator::hideWhileGrowing_data() {
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<int>("ticksBefore");
    QTest::newRow("grow ticks first") << kWindowTimers << 10;
    QTest::newRow("shrink ticks first")
        << QStringList{"Timer9", "Timer18", "Timer8", "Timer19", "Timer17"} << 10;
    QTest::newRow("just before full height") << kWindowTimers << 61;
}

void TestPanelAnimator::hideWhileGrowing() {
    QFETCH(QStringList, order);
    QFETCH(int, ticksBefore);
    Fixture f;
    f.animator.showMainWindow();
    for (int i = 0; i < ticksBefore; ++i) {
        f.tick(QStringLiteral("Timer8"));
        f.tick(QStringLiteral("Timer19"));
    }
    QVERIFY(f.active(QStringLiteral("Timer8")));
    f.animator.hideMainWindow();
    f.run(order);
    QCOMPARE(f.animator.windowTopCounter(), 1200);
    QCOMPARE(f.animator.windowHeightCounter(), 6165);
    QCOMPARE(f.last().top, 1200);
    QCOMPARE(f.last().height, 6165);
    QVERIFY(f.last().visible);
    // The abandoned hide's end cannot bring the tick back; the show does.
    QVERIFY(f.active(QStringLiteral("Timer3")));
}

void TestPanelAnimator::showDuringHide_data() {
    QTest::addColumn<int>("hideTicks");
    QTest::addColumn<int>("heightAfterOneTick");
    // Shrinking and sliding down together; the slide-down alone, the window already gone.
    QTest::newRow("while shrinking") << 20 << 3995;
    QTest::newRow("slide-down only") << 61 << 100;
}

void TestPanelAnimator::showDuringHide() {
    QFETCH(int, hideTicks);
    QFETCH(int, heightAfterOneTick);
    Fixture f;
    f.showToEnd();
    f.animator.hideMainWindow();
    for (int i = 0; i < hideTicks; ++i) {
        f.tick(QStringLiteral("Timer9"));
        f.tick(QStringLiteral("Timer18"));
    }
    QVERIFY(f.active(QStringLiteral("Timer18")));

    int resumed = 0;
    f.animator.setResumeWatching([&] { ++resumed; });
    f.animator.showMainWindow();
    QVERIFY(f.tick(QStringLiteral("Timer8")));
    QCOMPARE(f.last().height, heightAfterOneTick);  // grows back from where the shrink stood
    QVERIFY(!f.active(QStringLiteral("Timer9")));
    QVERIFY(!f.active(QStringLiteral("Timer18")));
    // The abandoned slide-down never reaches its end, the only other way back to watching.
    QCOMPARE(resumed, 1);
    f.run(kWindowTimers);
    QCOMPARE(f.last().top, 1200);
    QCOMPARE(f.last().height, 6165);
    QVERIFY(f.last().visible);
    QCOMPARE(resumed, 1);
}

void TestPanelAnimator::settingsPanel() {
    Fixture f;
    const QString panel = QStringLiteral("Frame2");
    const Control design = f.model.at(panel);
    f.animator.openSettingsPanel();
    QVERIFY(f.tick(QStringLiteral("Timer6")));
    QCOMPARE(f.panelTop(panel), -94);
    QVERIFY(f.model.visible(panel));
    QCOMPARE(f.runAlone(QStringLiteral("Timer6")) + 1, 100);
    // The last step puts it at 5; the counter is set back to 4.
    QCOMPARE(f.panelTop(panel), 5);
    QCOMPARE(f.animator.settingsPanelCounter(), 4);
    QCOMPARE(f.model.at(panel).x, design.x);
    QCOMPARE(f.model.at(panel).width, design.width);
    QCOMPARE(f.model.at(panel).height, design.height);

    f.animator.closeSettingsPanel();
    QVERIFY(f.tick(QStringLiteral("Timer7")));
    QCOMPARE(f.panelTop(panel), 3);
    QVERIFY(f.model.visible(panel));
    QCOMPARE(f.runAlone(QStringLiteral("Timer7")) + 1, 99);
    QCOMPARE(f.panelTop(panel), -95);
    QCOMPARE(f.animator.settingsPanelCounter(), -95);
    QVERIFY(!f.model.visible(panel));
}

void TestPanelAnimator::reversingThePanels() {
    Fixture f;
    // Closing the settings panel while it drops in lifts it from where it is.
    f.animator.openSettingsPanel();
    for (int i = 0; i < 30; ++i) f.tick(QStringLiteral("Timer6"));
    QCOMPARE(f.animator.settingsPanelCounter(), -65);
    f.animator.closeSettingsPanel();
    QVERIFY(!f.active(QStringLiteral("Timer6")));
    QVERIFY(f.tick(QStringLiteral("Timer7")));
    QCOMPARE(f.model.at(QStringLiteral("Frame2")).y, -66);
    QCOMPARE(f.runAlone(QStringLiteral("Timer7")), 29);
    QVERIFY(!f.model.visible(QStringLiteral("Frame2")));

    // And the device panel, opened again while it lifts out, drops back from there.
    f.animator.openDevicePanel();
    f.run(kPanelTimers);
    f.animator.closeDevicePanel();
    for (int i = 0; i < 12; ++i) f.tick(QStringLiteral("Timer14"));
    QCOMPARE(f.animator.devicePanelCounter(), -10);
    f.animator.openDevicePanel();
    QVERIFY(!f.active(QStringLiteral("Timer14")));
    QCOMPARE(f.run(kPanelTimers), 12);
    QCOMPARE(f.model.at(QStringLiteral("Frame5")).y, 2);
    QVERIFY(f.model.visible(QStringLiteral("Frame5")));
}

void TestPanelAnimator::devicePanel() {
    Fixture f;
    const QString panel = QStringLiteral("Frame5");
    QCOMPARE(f.panelTop(panel), -5910);  // its design place, above the client area
    f.animator.openDevicePanel();
    QVERIFY(f.tick(QStringLiteral("Timer13")));
    QCOMPARE(f.panelTop(panel), -99);
    QVERIFY(f.model.visible(panel));
    QCOMPARE(f.runAlone(QStringLiteral("Timer13")) + 1, 102);
    QCOMPARE(f.panelTop(panel), 2);
    QCOMPARE(f.animator.devicePanelCounter(), 2);

    f.animator.closeDevicePanel();
    QVERIFY(f.tick(QStringLiteral("Timer14")));
    QCOMPARE(f.panelTop(panel), 1);
    QCOMPARE(f.runAlone(QStringLiteral("Timer14")) + 1, 102);
    QCOMPARE(f.panelTop(panel), -100);
    QCOMPARE(f.animator.devicePanelCounter(), -100);
    QVERIFY(!f.model.visible(panel));
}

void TestPanelAnimator::clicks_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("settingsOpen");  // afterwards
    QTest::addColumn<bool>("deviceOpen");
    QTest::addColumn<bool>("editButtonShown");
    QTest::newRow("background") << "Form" << false << false << true;
    QTest::newRow("clock label") << "Label1" << false << true << true;
    QTest::newRow("title") << "Label5" << false << true << true;
    QTest::newRow("shutdown caption") << "Label24" << false << true << true;
    QTest::newRow("Label25") << "Label25" << false << true << true;
    QTest::newRow("press on device panel") << "Frame5_MouseDown" << true << false << false;
    QTest::newRow("press on its picture") << "Image8_MouseDown" << true << false << false;
    QTest::newRow("a plain click on the panel") << "Frame5" << true << true << false;
}

void TestPanelAnimator::clicks() {
    QFETCH(QString, control);
    QFETCH(bool, settingsOpen);
    QFETCH(bool, deviceOpen);
    QFETCH(bool, editButtonShown);
    Fixture f;
    f.animator.openSettingsPanel();
    f.model.click(QStringLiteral("Command6"));
    f.run(kPanelTimers);
    f.model.setVisible(QStringLiteral("Command4"), false);  // as the editor leaves it
    QCOMPARE(f.animator.settingsPanelCounter(), 4);
    QCOMPARE(f.animator.devicePanelCounter(), 2);

    f.model.click(control);
    f.run(kPanelTimers);
    QCOMPARE(f.model.visible(QStringLiteral("Frame2")), settingsOpen);
    QCOMPARE(f.animator.settingsPanelCounter(), settingsOpen ? 4 : -95);
    QCOMPARE(f.model.visible(QStringLiteral("Frame5")), deviceOpen);
    QCOMPARE(f.animator.devicePanelCounter(), deviceOpen ? 2 : -100);
    QCOMPARE(f.model.visible(QStringLiteral("Command4")), editButtonShown);
    QVERIFY(!f.active(QStringLiteral("Timer9")));
}

void TestPanelAnimator::backgroundWithBothClosed() {
    Fixture f;
    f.model.setVisible(QStringLiteral("Command4"), false);
    f.model.click(QStringLiteral("Form"));
    QCOMPARE(f.run(kPanelTimers), 1);
    QVERIFY(!f.model.visible(QStringLiteral("Frame2")));
    QVERIFY(!f.model.visible(QStringLiteral("Frame5")));
    QCOMPARE(f.animator.settingsPanelCounter(), -95);
    QCOMPARE(f.animator.devicePanelCounter(), -100);
    QVERIFY(f.model.visible(QStringLiteral("Command4")));

    // The hide button slides the window away.
    f.showToEnd();
    f.model.click(QStringLiteral("Command1"));
    QCOMPARE(f.animator.windowHeightCounter(), 5895);
    f.run(kWindowTimers);
    QVERIFY(!f.last().visible);
}

void TestPanelAnimator::exitWaitsForTheWindowToShrink() {
    Fixture f;
    f.showToEnd();
    f.animator.hideMainWindow();
    f.animator.exitAfterHide();
    for (int i = 0; i < 58; ++i) {
        f.tick(QStringLiteral("Timer9"));
        QVERIFY(f.tick(QStringLiteral("Timer17")));
        QCOMPARE(f.ended, 0);
    }
    QCOMPARE(f.animator.windowHeightCounter(), 95);
    f.tick(QStringLiteral("Timer9"));
    QCOMPARE(f.animator.windowHeightCounter(), 0);
    f.tick(QStringLiteral("Timer17"));
    QCOMPARE(f.ended, 1);
    QVERIFY(!f.active(QStringLiteral("Timer17")));
    // Another tick already queued by the event loop must not end the program twice.
    QMetaObject::invokeMethod(f.timer(QStringLiteral("Timer17")), "timeout");
    QCOMPARE(f.ended, 1);
}

void TestPanelAnimator::realWindowFollows() {
    FormModel model;
    buildForm1(model);
    Form1 window(model);
    const int width = window.width();
    PanelAnimator animator(model, placeWidget(window), [] {});
    QVERIFY(!window.isVisible());
    const Twips tw = Twips::forWidget(&window);

    animator.showMainWindow();
    auto runAll = [&] {
        for (int round = 0; round < 1000; ++round) {
            bool any = false;
            for (const QString& t : kWindowTimers + kPanelTimers) {
                if (model.timer(t)->isActive()) {
                    QMetaObject::invokeMethod(model.timer(t), "timeout");
                    any = true;
                }
            }
            if (!any) return;
        }
    };
    runAll();
    QVERIFY(window.isVisible());
    QCOMPARE(window.height(), tw.toPx(6165));
    QCOMPARE(window.width(), width);
    QCOMPARE(window.y() - window.screen()->geometry().top(), tw.toPx(1200));

    // One step of the settings panel is enough to see the panel follow its counter (a
    // step re-styles the whole panel in the window; running all 100 would take seconds).
    animator.openSettingsPanel();
    QMetaObject::invokeMethod(model.timer(QStringLiteral("Timer6")), "timeout");
    model.timer(QStringLiteral("Timer6"))->stop();
    QWidget* panel = window.control(QStringLiteral("Frame2"));
    QVERIFY(panel && panel->isVisible());
    QCOMPARE(panel->y(), tw.toPx(-94));

    animator.hideMainWindow();
    runAll();
    QVERIFY(!window.isVisible());
    QCOMPARE(window.width(), width);
}

QTEST_MAIN(TestPanelAnimator)
#include "test_panelanimator.moc"
