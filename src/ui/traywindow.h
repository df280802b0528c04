#pragma once

#include "platform/trayicon.h"
#include "ui/panelanimator.h"

#include <functional>

class QWidget;

namespace tavirin {

class FormModel;
class WindowMotion;

// The tray window "icon": never shown; it owns the notification-area icon and brings the main
// window back on a double click or from the icon's menu.
class TrayWindow {
public:
    TrayWindow(TrayIcon& icon, FormModel& form, WindowMotion& motion);

    // Whether a bell is on its way: the menu entries that start something wait until it is
    // over. Unset: never.
    void setBellInProgress(std::function<bool()> bellInProgress) {
        bellInProgress_ = std::move(bellInProgress);
    }

    // The entries about today and the calendar, put in the menu before the exit (each waits
    // while a bell is on its way). Unset: none.
    // The emergency's entries: never greyed out, also while a bell is on its way.
    void setEmergencyEntries(std::function<QList<TrayMenuEntry>()> entries) {
        emergencyEntries_ = std::move(entries);
    }
    void setTodayEntries(std::function<QList<TrayMenuEntry>()> entries) {
        todayEntries_ = std::move(entries);
    }

    // Adds the icon (tip "Tavirin") with its menu and listens to its gestures.
    void createTrayIcon();
    // Builds the menu anew (after every arming: the changes in force are in it).
    void refreshMenu();
    // Adds the icon again; with the icon present this changes nothing.
    void addTrayIcon();
    void removeTrayIcon();
    void onTrayNotification(TrayIcon::Gesture gesture);

    // Menu entries besides the window (which is the double click): announce-now and the exit,
    // through the main window's own buttons. Neither starts while a bell is on its way.
    void announceNow();
    void exitProgram();

    bool hasTray() const { return icon_.isAvailable(); }

private:
    bool idle(const char* entry) const;
    bool whenIdle() const { return !bellInProgress_ || !bellInProgress_(); }

    TrayIcon& icon_;
    FormModel& form_;
    WindowMotion& motion_;
    std::function<bool()> bellInProgress_;
    std::function<QList<TrayMenuEntry>()> todayEntries_;
    std::function<QList<TrayMenuEntry>()> emergencyEntries_;
    bool trayBusy_ = false;
};

// Where the desktop has no tray, nothing could bring a vanished window back: a hide minimises
// the shown window at its full size instead, and when the desktop brings it back (task bar,
// Alt+Tab) `restored` runs. A show while it is minimised (a bell) restores it itself. A window
// that was never shown stays hidden.
WindowPlacer placeOrMinimise(QWidget& window, const TrayIcon& icon, WindowPlacer place,
                             std::function<void()> restored);

}  // namespace tavirin
