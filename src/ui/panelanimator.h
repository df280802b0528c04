#pragma once

#include "model/windowmotion.h"

#include <QString>
#include <QtGlobal>
#include <functional>

class QWidget;

namespace tavirin {

class FormModel;

// Where the main window stands: top edge from the top of the screen and client height, both
// in twips, and whether it is on screen. The width never changes.
using WindowPlacer = std::function<void(int topTwips, int heightTwips, bool visible)>;

// Moves a real top-level window: its top edge to `topTwips` below the top of its screen, its
// client height to `heightTwips` (at least one pixel: a window system has no empty window),
// its left edge and width as they are.
WindowPlacer placeWidget(QWidget& window);

// The slides of the main window and the drop-in of its two large panels: the settings panel
// Frame2 and the device panel Frame5. Each movement is a timer of the window that moves a
// counter a fixed step per tick and stops at a fixed bound; the counters remember where a
// movement stands, so a reversed request carries on from there.
//
// The window timers ask for ticks every 1 or 10 ms, that is, as fast as the screen can show
// them. They tick at the display's frame rate instead (kFrameTickMs); see docs/ANIMATION.md.
class PanelAnimator final : public WindowMotion {
public:
    static constexpr int kFrameTickMs = 16;

    // Window positions, in twips.
    static constexpr int kShownTop = 1200;
    static constexpr int kShownHeight = 6165;
    static constexpr int kHiddenTop = 7500;
    static constexpr int kHideStartTop = 1245;
    static constexpr int kHideStartHeight = 5895;
    // Panel tops, in twips from the top of the client area.
    static constexpr int kSettingsClosedTop = -95;
    static constexpr int kSettingsOpenTop = 4;
    static constexpr int kDeviceClosedTop = -100;
    static constexpr int kDeviceOpenTop = 2;

    // `placer` is told every change of the window's place; `endProgram` runs once, when an exit
    // has waited for the window to shrink away. Takes over the animation timers of `model`.
    PanelAnimator(FormModel& model, WindowPlacer placer, std::function<void()> endProgram);

    // WindowMotion
    void showMainWindow() override;
    void hideMainWindow() override;
    int windowTopCounter() const override { return windowTop_; }
    int windowHeightCounter() const override { return windowHeight_; }

    // What brings the scheduler's tick back once a hide is over, or abandoned by a show: the
    // hide's end is its only way back, so a show that abandons a hide must take its place.
    // Unset, Timer3 is started.
    void setResumeWatching(std::function<void()> resume) { resumeWatching_ = std::move(resume); }

    // The window stands shown at once, a hide in progress abandoned: the desktop itself has
    // brought it back whole (restored from the task bar where there is no tray).
    void standShown();

    // Ends the program as soon as the window has shrunk away (after hideMainWindow).
    void exitAfterHide();
    void openSettingsPanel();
    void closeSettingsPanel();
    void openDevicePanel();
    void closeDevicePanel();

    int settingsPanelCounter() const { return settingsTop_; }
    int devicePanelCounter() const { return deviceTop_; }
    // What the window was last told (not the counters).
    int windowTop() const { return shownTop_; }
    int windowHeight() const { return shownHeight_; }
    bool windowVisible() const { return shownVisible_; }

    // The operator's clicks that move the window and the panels: the hide and device buttons,
    // the window background and the labels that close the settings panel, a press on the
    // device panel or its picture.
    void connectControls();

    // One tick of each timer.
    void Timer8_Timer();   // grow
    void Timer19_Timer();  // slide up
    void Timer9_Timer();   // shrink
    void Timer18_Timer();  // slide down, then the scheduler tick runs again
    void Timer17_Timer();  // exit once shrunk away
    void Timer6_Timer();   // settings panel in
    void Timer7_Timer();   // settings panel out
    void Timer13_Timer();  // device panel in
    void Timer14_Timer();  // device panel out

private:
    void start(const char* timer);
    void stop(const char* timer);
    void place();
    void setPanelTop(const QString& panel, int top);
    void closeSettingsFromOutside();
    void abandonHide();
    void resumeWatching();

    FormModel& model_;
    WindowPlacer place_;
    std::function<void()> endProgram_;
    std::function<void()> resumeWatching_;

    // The counters, with the widths the window's own state has.
    qint16 windowTop_ = kHiddenTop;
    qint16 windowHeight_ = 0;
    qint32 settingsTop_ = kSettingsClosedTop;
    qint16 deviceTop_ = kDeviceClosedTop;

    int shownTop_ = kHiddenTop;
    int shownHeight_ = 0;
    bool shownVisible_ = false;
    bool ended_ = false;
};

}  // namespace tavirin
