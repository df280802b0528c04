#pragma once

#include <QString>
#include <functional>

namespace tavirin {

// The notification-area icon.
class TrayIcon {
public:
    enum class Gesture { DoubleClick, RightButton };

    virtual ~TrayIcon() = default;
    // Adds the icon with its tip; adding one that is present changes nothing.
    virtual bool add() = 0;
    virtual void remove() = 0;
    virtual bool isAvailable() const = 0;  // a tray host exists on this desktop
    // Called on the UI thread for the two gestures that bring the window back.
    virtual void setGestureHandler(std::function<void(Gesture)> handler) = 0;
};

}  // namespace tavirin
