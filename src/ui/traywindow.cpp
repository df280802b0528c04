#include "ui/traywindow.h"

#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "platform/logging.h"

#include <QPointer>
#include <QWidget>

namespace tavirin {

TrayWindow::TrayWindow(TrayIcon& icon, FormModel& form, WindowMotion& motion)
    : icon_(icon), form_(form), motion_(motion) {}

void TrayWindow::createTrayIcon() {
    icon_.setGestureHandler([this](TrayIcon::Gesture g) { onTrayNotification(g); });
    addTrayIcon();
    if (!icon_.isAvailable())
        qCWarning(lcUi) << "this desktop has no tray; hiding the window minimises it instead";
}

void TrayWindow::addTrayIcon() {
    if (!icon_.add() && icon_.isAvailable()) qCWarning(lcUi) << "the tray icon could not be added";
}

void TrayWindow::removeTrayIcon() {
    icon_.remove();
}

void TrayWindow::onTrayNotification(TrayIcon::Gesture) {
    // Both gestures the icon reports (double click, right button) bring the window back.
    if (trayBusy_) return;
    trayBusy_ = true;
    motion_.showMainWindow();
    form_.setEnabled(QStringLiteral("Command3555"), true);
    trayBusy_ = false;
}

WindowPlacer placeOrMinimise(QWidget& window, const TrayIcon& icon, WindowPlacer place) {
    return [w = QPointer<QWidget>(&window), &icon, place = std::move(place)](int top, int height,
                                                                             bool visible) {
        if (!w) return;
        // The window on screen is asked first: the tray host is not looked up for every
        // placement of a window that is not there anyway.
        if (!visible && w->isVisible() && !icon.isAvailable()) {
            if (!w->isMinimized()) w->showMinimized();
            return;
        }
        if (visible && w->isMinimized()) w->showNormal();
        place(top, height, visible);
    };
}

}  // namespace tavirin
