#include "ui/panelanimator.h"

#include "model/formmodel.h"
#include "platform/logging.h"
#include "ui/twips.h"

#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace tavirin {

namespace {

const QString kSettingsPanel = QStringLiteral("Frame2");
const QString kDevicePanel = QStringLiteral("Frame5");

// The timers that ask for "as fast as you can" (1 and 10 ms).
constexpr const char* kAnimationTimers[] = {"Timer8", "Timer19", "Timer9",  "Timer18", "Timer17",
                                            "Timer6", "Timer7",  "Timer13", "Timer14"};

}  // namespace

WindowPlacer placeWidget(QWidget& window) {
    return [w = QPointer<QWidget>(&window)](int topTwips, int heightTwips, bool visible) {
        if (!w) return;
        const Twips tw = Twips::forWidget(w);
        const QScreen* screen = w->screen();
        const int screenTop = screen ? screen->geometry().top() : 0;
        // The width was fixed when the window was built; only the height follows the slide.
        w->setFixedHeight(qMax(1, tw.toPx(heightTwips)));
        w->move(w->x(), screenTop + tw.toPx(topTwips));
        if (w->isVisible() != visible) w->setVisible(visible);
    };
}

PanelAnimator::PanelAnimator(FormModel& model, WindowPlacer placer,
                             std::function<void()> endProgram)
    : model_(model), place_(std::move(placer)), endProgram_(std::move(endProgram)) {
    // A tick every 1 or 10 ms means "as fast as the screen shows it"; more ticks than frames
    // would only make the slides faster than designed and burn CPU for frames never shown.
    for (const char* name : kAnimationTimers)
        model_.timer(QString::fromLatin1(name))->setInterval(kFrameTickMs);

    auto on = [this](const char* timer, void (PanelAnimator::*handler)()) {
        QObject::connect(model_.timer(QString::fromLatin1(timer)), &QTimer::timeout, &model_,
                         [this, handler] { (this->*handler)(); });
    };
    on("Timer8", &PanelAnimator::Timer8_Timer);
    on("Timer19", &PanelAnimator::Timer19_Timer);
    on("Timer9", &PanelAnimator::Timer9_Timer);
    on("Timer18", &PanelAnimator::Timer18_Timer);
    on("Timer17", &PanelAnimator::Timer17_Timer);
    on("Timer6", &PanelAnimator::Timer6_Timer);
    on("Timer7", &PanelAnimator::Timer7_Timer);
    on("Timer13", &PanelAnimator::Timer13_Timer);
    on("Timer14", &PanelAnimator::Timer14_Timer);

    // The window starts with no height, below its shown place.
    place();
}

// Starting a running timer leaves it running as it was: QTimer::start() would restart its
// interval, and a timer restarted on every tick of another one would never tick at all.
void PanelAnimator::start(const char* timer) {
    QTimer* t = model_.timer(QString::fromLatin1(timer));
    if (!t->isActive()) t->start();
}

void PanelAnimator::stop(const char* timer) {
    model_.timer(QString::fromLatin1(timer))->stop();
}

void PanelAnimator::place() {
    if (place_) place_(shownTop_, shownHeight_, shownVisible_);
}

void PanelAnimator::setPanelTop(const QString& panel, int top) {
    const Control& c = model_.at(panel);
    model_.setGeometry(panel, c.x, top, c.width, c.height);
}

void PanelAnimator::showMainWindow() {
    start("Timer8");
}

void PanelAnimator::hideMainWindow() {
    windowTop_ = kHideStartTop;
    windowHeight_ = kHideStartHeight;
    start("Timer9");
}

void PanelAnimator::exitAfterHide() {
    // A slide-in still running would abandon the hide on its next tick, and the program
    // would stay open with its tray icon already gone: leaving wins.
    stop("Timer8");
    stop("Timer19");
    start("Timer17");
}

void PanelAnimator::openSettingsPanel() {
    stop("Timer7");
    start("Timer6");
}

void PanelAnimator::closeSettingsPanel() {
    stop("Timer6");
    start("Timer7");
}

void PanelAnimator::openDevicePanel() {
    stop("Timer14");
    start("Timer13");
}

void PanelAnimator::closeDevicePanel() {
    stop("Timer13");
    start("Timer14");
}

void PanelAnimator::closeSettingsFromOutside() {
    closeSettingsPanel();
    model_.setVisible(QStringLiteral("Command4"), true);
}

void PanelAnimator::connectControls() {
    model_.onClick(QStringLiteral("Command1"), [this] { hideMainWindow(); });
    model_.onClick(QStringLiteral("Command6"), [this] { openDevicePanel(); });
    model_.onClick(QStringLiteral("Form"), [this] {
        closeSettingsFromOutside();
        closeDevicePanel();
    });
    for (const char* label : {"Label1", "Label5", "Label24", "Label25"})
        model_.onClick(QString::fromLatin1(label), [this] { closeSettingsFromOutside(); });
    model_.onClick(QStringLiteral("Frame5_MouseDown"), [this] { closeDevicePanel(); });
    model_.onClick(QStringLiteral("Image8_MouseDown"), [this] { closeDevicePanel(); });
}

void PanelAnimator::Timer8_Timer() {
    shownVisible_ = true;
    abandonHide();
    // The slide-up runs alongside the growing.
    start("Timer19");
    windowHeight_ = qint16(windowHeight_ + 100);
    shownHeight_ = windowHeight_;
    if (windowHeight_ > kShownHeight - 1) {
        stop("Timer8");
        shownHeight_ = kShownHeight;
        windowHeight_ = kShownHeight;
    }
    place();
}

void PanelAnimator::Timer19_Timer() {
    windowTop_ = qint16(windowTop_ - 100);
    shownTop_ = windowTop_;
    if (windowTop_ <= kShownTop) {
        shownTop_ = kShownTop;
        stop("Timer19");
        windowTop_ = kShownTop;
    }
    place();
}

void PanelAnimator::Timer9_Timer() {
    start("Timer18");
    windowHeight_ = qint16(windowHeight_ - 100);
    if (windowHeight_ >= 1) {
        shownHeight_ = windowHeight_;
    } else {
        // No height below 1 is ever applied: the window goes away instead.
        windowHeight_ = 0;
        stop("Timer9");
        shownVisible_ = false;
    }
    place();
}

void PanelAnimator::Timer18_Timer() {
    windowTop_ = qint16(windowTop_ + 100);
    shownTop_ = windowTop_;
    if (windowTop_ > kHiddenTop - 1) {
        shownTop_ = kHiddenTop;
        stop("Timer18");
        windowTop_ = kHiddenTop;
        // The tick stopped by a bell runs again only once the window is out of the way.
        resumeWatching();
    }
    place();
}

// A hide in progress is abandoned, and with it the end that would have brought the tick back:
// it comes back now.
void PanelAnimator::abandonHide() {
    const bool hiding = model_.timer(QStringLiteral("Timer9"))->isActive() ||
                        model_.timer(QStringLiteral("Timer18"))->isActive();
    stop("Timer9");
    stop("Timer18");
    if (!hiding) return;
    qCInfo(lcUi) << "a show abandoned the hide";
    resumeWatching();
}

void PanelAnimator::standShown() {
    abandonHide();
    stop("Timer8");
    stop("Timer19");
    windowTop_ = kShownTop;
    windowHeight_ = kShownHeight;
    shownTop_ = kShownTop;
    shownHeight_ = kShownHeight;
    shownVisible_ = true;
    place();
}

void PanelAnimator::resumeWatching() {
    if (resumeWatching_)
        resumeWatching_();
    else
        start("Timer3");
}

void PanelAnimator::Timer17_Timer() {
    if (windowHeight_ > 0 || ended_) return;
    // End once: the event loop may deliver another tick before it returns.
    ended_ = true;
    stop("Timer17");
    qCInfo(lcUi) << "main window gone; ending the program";
    if (endProgram_) endProgram_();
}

void PanelAnimator::Timer6_Timer() {
    settingsTop_ += 1;
    setPanelTop(kSettingsPanel, settingsTop_);
    model_.setVisible(kSettingsPanel, true);
    // The bound is 4.5: the counter stops at 5 and is put back to 4 (4.5 rounded to the even
    // neighbour); the panel stays where the last step put it.
    if (settingsTop_ >= 5) {
        stop("Timer6");
        settingsTop_ = kSettingsOpenTop;
    }
}

void PanelAnimator::Timer7_Timer() {
    settingsTop_ -= 1;
    setPanelTop(kSettingsPanel, settingsTop_);
    model_.setVisible(kSettingsPanel, true);
    if (settingsTop_ < kSettingsClosedTop + 1) {
        stop("Timer7");
        model_.setVisible(kSettingsPanel, false);
        settingsTop_ = kSettingsClosedTop;
    }
}

void PanelAnimator::Timer13_Timer() {
    model_.setVisible(kDevicePanel, true);
    deviceTop_ = qint16(deviceTop_ + 1);
    setPanelTop(kDevicePanel, deviceTop_);
    if (deviceTop_ > kDeviceOpenTop - 1) {
        stop("Timer13");
        deviceTop_ = kDeviceOpenTop;
    }
}

void PanelAnimator::Timer14_Timer() {
    deviceTop_ = qint16(deviceTop_ - 1);
    setPanelTop(kDevicePanel, deviceTop_);
    if (deviceTop_ < kDeviceClosedTop + 1) {
        stop("Timer14");
        deviceTop_ = kDeviceClosedTop;
        model_.setVisible(kDevicePanel, false);
    }
}

}  // namespace tavirin
