#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace tavirin {

// One entry of the icon's menu. An entry without a caption is a separator; one with
// children opens a submenu of them.
struct TrayMenuEntry {
    QString caption;
    std::function<void()> run;
    // Asked each time the menu opens; false shows the entry greyed out. Unset: always.
    std::function<bool()> available;
    QList<TrayMenuEntry> children;
};

// The notification-area icon.
class TrayIcon {
public:
    enum class Gesture { DoubleClick, RightButton };

    virtual ~TrayIcon() = default;
    // Adds the icon with its tip; adding one that is present changes nothing.
    virtual bool add() = 0;
    virtual void remove() = 0;
    virtual bool isAvailable() const = 0;  // a tray host exists on this desktop
    // Called on the UI thread for the two gestures that bring the window back. With a menu
    // the right button opens the menu instead, on every host.
    virtual void setGestureHandler(std::function<void(Gesture)> handler) = 0;
    // The icon's menu, in order; replaces the one before.
    virtual void setMenu(const QList<TrayMenuEntry>& entries) = 0;
};

}  // namespace tavirin
