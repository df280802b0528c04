#include "model/form1layout.h"
#include "model/formmodel.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/faketrayicon.h"
#include "platform/gui/qttrayicon.h"
#include "scheduler/coreharness.h"
#include "ui/exit.h"
#include "ui/panelanimator.h"
#include "ui/traywindow.h"
#include "ui/twips.h"

#include <QApplication>
#include <QStyleHints>
#include <QWidget>
#include <QtTest>

using namespace tavirin;

namespace {

using Gesture = TrayIcon::Gesture;

const QStringList kWindowTimers{"Timer8", "Timer19", "Timer9", "Timer18", "Timer17"};

// The tray window over a real animator whose window is a record of placements; the test
// delivers the animation ticks itself.
struct Tray {
    Tray() {
        buildForm1(form);
        animator = std::make_unique<PanelAnimator>(
            form,
            [this](int t, int h, bool v) {
                last = {t, h, v};
            },
            [this] { ++ended; });
        tray = std::make_unique<TrayWindow>(icon, form, *animator);
        tray->createTrayIcon();
        form.setEnabled(QStringLiteral("Command3555"), false);
    }
    bool active(const QString& t) const { return form.timer(t)->isActive(); }
    // One tick of every running window timer; false when none ran.
    bool round() {
        bool any = false;
        for (const QString& t : kWindowTimers) {
            if (!active(t)) continue;
            QMetaObject::invokeMethod(form.timer(t), "timeout");
            any = true;
        }
        return any;
    }
    void runAll() {
        for (int i = 0; i < 1000 && round(); ++i) {
        }
    }
    bool anyWindowTimer() const {
        for (const QString& t : kWindowTimers)
            if (active(t)) return true;
        return false;
    }

    struct Placed {
        int top = -1, height = -1;
        bool visible = false;
    };
    FormModel form;
    FakeTrayIcon icon;
    std::unique_ptr<PanelAnimator> animator;
    std::unique_ptr<TrayWindow> tray;
    Placed last;
    int ended = 0;
};

// Records what the icon adapter reports.
struct Gestures {
    explicit Gestures(QtTrayIcon& icon) {
        icon.setGestureHandler([this](Gesture g) { seen << g; });
    }
    QList<Gesture> seen;
};

// A motion that plays one more gesture while it handles the first, as an event delivered
// from inside the handler would.
class ReentrantMotion final : public WindowMotion {
public:
    explicit ReentrantMotion(FakeTrayIcon& icon) : icon_(icon) {}
    void showMainWindow() override {
        ++shows;
        icon_.gesture(Gesture::RightButton);
    }
    void hideMainWindow() override {}
    int windowTopCounter() const override { return 7500; }
    int windowHeightCounter() const override { return 0; }
    int shows = 0;

private:
    FakeTrayIcon& icon_;
};

int gNoTrayLines = 0;
QtMessageHandler gPrevious = nullptr;
void countNoTray(QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
    if (msg.contains(QLatin1String("has no tray"))) ++gNoTrayLines;
    if (gPrevious) gPrevious(type, ctx, msg);
}

}  // namespace

class TestTrayWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Short enough that "further apart" costs the test little time.
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(150);
    }

    void createAddsOneIcon() {
        Tray t;
        QCOMPARE(t.icon.adds, 1);
        QVERIFY(t.icon.present);
        QCOMPARE(t.icon.removes, 0);
        // Nothing moves before a gesture.
        QVERIFY(!t.anyWindowTimer());
    }

    void gestureWhileHidden_data() {
        QTest::addColumn<Gesture>("gesture");
        QTest::newRow("double click") << Gesture::DoubleClick;
        QTest::newRow("right button") << Gesture::RightButton;
    }
    void gestureWhileHidden() {
        QFETCH(Gesture, gesture);
        Tray t;
        t.icon.gesture(gesture);
        QVERIFY(t.active("Timer8"));  // the open animation has started
        QVERIFY(t.form.enabled("Command3555"));
        t.runAll();
        QCOMPARE(t.last.top, PanelAnimator::kShownTop);
        QCOMPARE(t.last.height, PanelAnimator::kShownHeight);
        QVERIFY(t.last.visible);
    }

    void gestureWhileShown() {
        Tray t;
        t.animator->showMainWindow();
        t.runAll();
        t.form.setEnabled(QStringLiteral("Command3555"), false);
        t.icon.gesture(Gesture::DoubleClick);
        QVERIFY(t.form.enabled("Command3555"));
        t.runAll();
        QCOMPARE(t.animator->windowTopCounter(), PanelAnimator::kShownTop);
        QCOMPARE(t.animator->windowHeightCounter(), PanelAnimator::kShownHeight);
        QCOMPARE(t.last.top, PanelAnimator::kShownTop);
        QCOMPARE(t.last.height, PanelAnimator::kShownHeight);
        QVERIFY(t.last.visible);
    }

    void gestureDuringAGestureIsDropped() {
        FormModel form;
        buildForm1(form);
        FakeTrayIcon icon;
        ReentrantMotion motion(icon);
        TrayWindow tray(icon, form, motion);
        tray.createTrayIcon();
        icon.gesture(Gesture::DoubleClick);
        QCOMPARE(motion.shows, 1);
        // Once handled, the next gesture runs again.
        icon.gesture(Gesture::DoubleClick);
        QCOMPARE(motion.shows, 2);
    }

    // The icon's menu: the window, announce-now and the exit through the main window's own
    // buttons; the last two wait while a bell is on its way.
    void menu_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<bool>("bell");
        QTest::addColumn<bool>("shows");
        QTest::addColumn<QString>("clicked");
        QTest::newRow("show") << 0 << false << true << "";
        QTest::newRow("show during a bell") << 0 << true << true << "";
        QTest::newRow("announce now") << 1 << false << true << "Command3555";
        QTest::newRow("announce now during a bell") << 1 << true << false << "";
        QTest::newRow("the bells' record") << 2 << false << false << "cmd_bell_record";
        QTest::newRow("the bells' record during a bell") << 2 << true << false << "cmd_bell_record";
        QTest::newRow("exit") << 3 << false << false << "Command8";
        QTest::newRow("exit during a bell") << 3 << true << false << "";
    }
    void menu() {
        QFETCH(int, entry);
        QFETCH(bool, bell);
        QFETCH(bool, shows);
        QFETCH(QString, clicked);
        Tray t;
        t.tray->setBellInProgress([&] { return bell; });
        QStringList clicks;
        for (const QString& button :
             {QStringLiteral("Command3555"), QStringLiteral("cmd_bell_record"),
              QStringLiteral("Command8")})
            t.form.onClick(button, [&clicks, button] { clicks << button; });
        QCOMPARE(t.icon.captions(),
                 (QStringList{"แสดงหน้าต่าง", "บอกเวลาขณะนี้", "บันทึกออด", "ออกจากโปรแกรม"}));
        // showing the window or the record starts nothing: they are there during a bell
        QCOMPARE(t.icon.entryAvailable(entry), !bell || entry == 0 || entry == 2);
        t.icon.choose(entry);
        QCOMPARE(t.active("Timer8"), shows);
        QCOMPARE(t.form.enabled("Command3555"), shows);
        QCOMPARE(clicks, clicked.isEmpty() ? QStringList() : QStringList{clicked});
    }

    // The adapter's menu: greyed entries follow `available` each time it opens, and with a menu
    // the right button opens it instead of being a gesture.
    void adapterMenu() {
        QtTrayIcon icon(QIcon(), QStringLiteral("Tavirin"));
        Gestures g(icon);
        bool open = true;
        QStringList ran;
        const QList<TrayMenuEntry> entries{
            {QStringLiteral("a"), [&] { ran << "a"; }, {}, {}},
            {QStringLiteral("b"), [&] { ran << "b"; }, [&] { return open; }, {}},
            {},
            {QStringLiteral("sub"), {}, {}, {{QStringLiteral("c"), [&] { ran << "c"; }, {}, {}}}}};
        // Filled anew after every arming: the old submenus must go with their entries.
        icon.setMenu(entries);
        icon.setMenu(entries);
        QCOMPARE(icon.menu()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 1);
        const QList<QAction*> actions = icon.menu()->actions();
        QCOMPARE(actions.size(), 4);
        QCOMPARE(actions[1]->text(), QStringLiteral("b"));
        QVERIFY(actions[2]->isSeparator());
        open = false;
        emit icon.menu()->aboutToShow();
        QVERIFY(actions[0]->isEnabled());
        QVERIFY(!actions[1]->isEnabled());
        actions[0]->trigger();
        actions[3]->menu()->actions().first()->trigger();
        QCOMPARE(ran, (QStringList{"a", "c"}));
        icon.onActivated(QSystemTrayIcon::Context);
        QVERIFY(g.seen.isEmpty());
    }

    // The adapter's double-click rule, as the desktops report the gestures.
    void activations_data() {
        using R = QSystemTrayIcon::ActivationReason;
        QTest::addColumn<QList<int>>("reasons");  // -1: a pause longer than the interval
        QTest::addColumn<QList<Gesture>>("expected");
        const int T = R::Trigger, D = R::DoubleClick, C = R::Context, M = R::MiddleClick;
        QTest::newRow("one trigger") << QList<int>{T} << QList<Gesture>{};
        QTest::newRow("two triggers (KDE)")
            << QList<int>{T, T} << QList<Gesture>{Gesture::DoubleClick};
        QTest::newRow("two triggers apart") << QList<int>{T, -1, T} << QList<Gesture>{};
        QTest::newRow("double click") << QList<int>{D} << QList<Gesture>{Gesture::DoubleClick};
        QTest::newRow("trigger, trigger, double click")
            << QList<int>{T, T, D} << QList<Gesture>{Gesture::DoubleClick};
        QTest::newRow("trigger, double click (XEmbed)")
            << QList<int>{T, D} << QList<Gesture>{Gesture::DoubleClick};
        QTest::newRow("three triggers")
            << QList<int>{T, T, T} << QList<Gesture>{Gesture::DoubleClick};
        QTest::newRow("four triggers")
            << QList<int>{T, T, T, T} << QList<Gesture>{Gesture::DoubleClick, Gesture::DoubleClick};
        QTest::newRow("two double clicks apart")
            << QList<int>{D, -1, D} << QList<Gesture>{Gesture::DoubleClick, Gesture::DoubleClick};
        QTest::newRow("context") << QList<int>{C} << QList<Gesture>{Gesture::RightButton};
        QTest::newRow("middle button") << QList<int>{M} << QList<Gesture>{};
    }
    void activations() {
        QFETCH(QList<int>, reasons);
        QFETCH(QList<Gesture>, expected);
        QtTrayIcon icon(QIcon(), QStringLiteral("Tavirin"));
        Gestures g(icon);
        for (int r : reasons) {
            if (r < 0)
                QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 60);
            else
                icon.onActivated(QSystemTrayIcon::ActivationReason(r));
        }
        QCOMPARE(g.seen, expected);
    }

    void doubleClickThroughTheAdapterShowsTheWindow() {
        Tray t;
        QtTrayIcon icon(QIcon(), QStringLiteral("Tavirin"));
        TrayWindow tray(icon, t.form, *t.animator);
        tray.createTrayIcon();
        icon.onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(!t.active("Timer8"));
        QVERIFY(!t.form.enabled("Command3555"));
        icon.onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(t.active("Timer8"));
        QVERIFY(t.form.enabled("Command3555"));
    }

    void addedAgainAfterEveryBell() {
        CoreHarness h;
        h.seedAndArm();
        Tray t;
        BellSequence sequence{
            h.form,
            h.store,
            h.clock,
            h.library,
            {h.player, h.talkingClock, h.relay, h.media, h.waiter, h.motion, &t.icon}};
        for (int bell = 1; bell <= 2; ++bell) {
            sequence.loadSequenceSettings();
            sequence.runBellSequence();
            QCOMPARE(t.icon.adds, 1 + bell);
            QVERIFY(t.icon.present);
        }
        QCOMPARE(t.icon.removes, 0);
        // An icon the desktop lost comes back with the next bell.
        t.icon.present = false;
        sequence.runBellSequence();
        QVERIFY(t.icon.present);
        QCOMPARE(t.icon.removes, 0);
    }

    void exitAnsweredYes() {
        Tray t;
        t.animator->showMainWindow();
        t.runAll();
        FakeDialogs dialogs;
        dialogs.answers << true;
        confirmExit(dialogs, *t.animator, *t.tray);
        QCOMPARE(dialogs.count("ask"), 1);
        QCOMPARE(dialogs.shown.last().title, QStringLiteral("ยืนยันการออกจากโปรแกรม"));
        QCOMPARE(dialogs.shown.last().text, QStringLiteral("คุณแน่ใจว่าต้องการออกจากโปรแกรม"));
        QCOMPARE(dialogs.shown.last().icon, Dialogs::Icon::None);
        // The icon goes at once; the program ends only when the window has shrunk away.
        QCOMPARE(t.icon.removes, 1);
        QVERIFY(!t.icon.present);
        QVERIFY(t.active("Timer9"));
        QVERIFY(t.active("Timer17"));
        int rounds = 0;
        while (t.animator->windowHeightCounter() > 0) {
            QCOMPARE(t.ended, 0);
            QVERIFY(t.round());
            ++rounds;
        }
        QCOMPARE(rounds, 59);
        t.runAll();
        QCOMPARE(t.ended, 1);
        QVERIFY(!t.last.visible);
        QCOMPARE(t.icon.removes, 1);
    }

    void exitDuringTheSlideInStillEnds() {
        Tray t;
        t.animator->showMainWindow();
        for (int i = 0; i < 3; ++i) QVERIFY(t.round());
        QVERIFY(t.active("Timer8"));
        FakeDialogs dialogs;
        dialogs.answers << true;
        confirmExit(dialogs, *t.animator, *t.tray);
        t.runAll();
        QCOMPARE(t.ended, 1);
        QVERIFY(!t.last.visible);
        QVERIFY(!t.icon.present);
    }

    void exitAnsweredNo() {
        Tray t;
        t.animator->showMainWindow();
        t.runAll();
        FakeDialogs dialogs;
        dialogs.answers << false;
        confirmExit(dialogs, *t.animator, *t.tray);
        QCOMPARE(dialogs.count("ask"), 1);
        QVERIFY(!t.anyWindowTimer());
        QVERIFY(t.icon.present);
        QCOMPARE(t.icon.removes, 0);
        QCOMPARE(t.ended, 0);
        QCOMPARE(t.last.height, PanelAnimator::kShownHeight);
    }

    // Without a tray a hide minimises the whole window; the desktop's restore brings it back
    // whole and shown, as the double click would (announce-now enabled, the tick watching).
    void withoutATrayHidingMinimises() {
        FakeTrayIcon icon;
        icon.available = false;
        FormModel form;
        buildForm1(form);
        QWidget window;
        window.setFixedWidth(300);
        std::unique_ptr<TrayWindow> tray;
        std::unique_ptr<PanelAnimator> animator;
        int restores = 0;
        animator = std::make_unique<PanelAnimator>(
            form,
            placeOrMinimise(window, icon, placeWidget(window),
                            [&] {
                                ++restores;
                                animator->standShown();
                                tray->onTrayNotification(Gesture::DoubleClick);
                            }),
            [] {});
        // A window never shown stays hidden, even without a tray.
        QVERIFY(!window.isVisible());
        QVERIFY(!window.isMinimized());

        gNoTrayLines = 0;
        gPrevious = qInstallMessageHandler(countNoTray);
        tray = std::make_unique<TrayWindow>(icon, form, *animator);
        tray->createTrayIcon();
        qInstallMessageHandler(gPrevious);
        QCOMPARE(gNoTrayLines, 1);

        const int fullHeight = Twips::forWidget(&window).toPx(PanelAnimator::kShownHeight);
        auto run = [&](int limit) {
            for (int i = 0; i < limit; ++i) {
                bool any = false;
                for (const QString& t : kWindowTimers) {
                    if (!form.timer(t)->isActive()) continue;
                    QMetaObject::invokeMethod(form.timer(t), "timeout");
                    any = true;
                }
                if (!any) break;
            }
        };
        QTimer* tick = form.timer(QStringLiteral("Timer3"));
        for (int hideTicks : {1000, 5}) {  // a whole hide; restored in the middle of one
            animator->showMainWindow();
            run(1000);
            QVERIFY(window.isVisible());
            QVERIFY(!window.isMinimized());
            QCOMPARE(window.height(), fullHeight);
            form.setEnabled(QStringLiteral("Command3555"), false);  // as a bell leaves it
            tick->stop();

            animator->hideMainWindow();
            run(hideTicks);
            // Still there for the operator to bring back, minimised at its full size.
            QVERIFY(window.isVisible());
            QVERIFY(window.isMinimized());
            QCOMPARE(window.height(), fullHeight);

            window.showNormal();  // the task bar, Alt+Tab
            QCOMPARE(restores, hideTicks == 1000 ? 1 : 2);
            QVERIFY(!window.isMinimized());
            QCOMPARE(window.height(), fullHeight);
            QCOMPARE(animator->windowTopCounter(), PanelAnimator::kShownTop);
            QVERIFY(form.enabled(QStringLiteral("Command3555")));
            run(1000);
            QCOMPARE(window.height(), fullHeight);
            QVERIFY(tick->isActive());
        }

        // A show while minimised (a bell) restores the window itself.
        animator->hideMainWindow();
        run(1000);
        QVERIFY(window.isMinimized());
        animator->showMainWindow();
        run(1000);
        QVERIFY(!window.isMinimized());
        QCOMPARE(window.height(), fullHeight);
        QCOMPARE(restores, 2);
    }

    void withATrayHidingHides() {
        FakeTrayIcon icon;
        FormModel form;
        buildForm1(form);
        QWidget window;
        PanelAnimator animator(
            form,
            placeOrMinimise(window, icon, [&](int, int, bool v) { window.setVisible(v); }, {}),
            [] {});
        window.show();
        animator.hideMainWindow();
        for (int i = 0; i < 200; ++i) {
            for (const QString& t : kWindowTimers)
                if (form.timer(t)->isActive()) QMetaObject::invokeMethod(form.timer(t), "timeout");
        }
        QVERIFY(!window.isVisible());
        QVERIFY(!window.isMinimized());
    }
};

QTEST_MAIN(TestTrayWindow)
#include "test_traywindow.moc"
