#pragma once

namespace tavirin {

// The slides of the main window as the rest of the program sees them. The animator (ui)
// implements it; the scheduler and the shutdown use it.
class WindowMotion {
public:
    virtual ~WindowMotion() = default;
    // Grows the window from its current height while it slides up to its shown place
    // (top 1200 twips, height 6165).
    virtual void showMainWindow() = 0;
    // Shrinks it away and slides it down; the end of the slide-down restarts the tick.
    virtual void hideMainWindow() = 0;
    // Where the window's top edge stands, in twips, by the animation's own counter (not what
    // the window manager reports).
    virtual int windowTopCounter() const = 0;
    virtual int windowHeightCounter() const = 0;
};

}  // namespace tavirin
