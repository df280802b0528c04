#pragma once

#include "platform/trayicon.h"
#include "ui/panelanimator.h"

class QWidget;

namespace tavirin {

class FormModel;
class WindowMotion;

// The tray window "icon": never shown; it owns the notification-area icon and brings the main
// window back on a double click or the right button.
class TrayWindow {
public:
    TrayWindow(TrayIcon& icon, FormModel& form, WindowMotion& motion);

    // Adds the icon (tip "Tavirin") and listens to its gestures.
    void createTrayIcon();
    // Adds the icon again; with the icon present this changes nothing.
    void addTrayIcon();
    void removeTrayIcon();
    void onTrayNotification(TrayIcon::Gesture gesture);

    bool hasTray() const { return icon_.isAvailable(); }

private:
    TrayIcon& icon_;
    FormModel& form_;
    WindowMotion& motion_;
    bool trayBusy_ = false;
};

// Where the desktop has no tray, nothing could bring a vanished window back: a slide that
// would take the shown window off the screen minimises it instead, and the next slide-in
// restores it. A window that was never shown stays hidden.
WindowPlacer placeOrMinimise(QWidget& window, const TrayIcon& icon, WindowPlacer place);

}  // namespace tavirin
