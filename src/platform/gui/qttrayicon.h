#pragma once

#include "platform/trayicon.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class QDBusServiceWatcher;

namespace tavirin {

// The notification-area icon through QSystemTrayIcon. Desktops differ in what they report:
// over StatusNotifierItem there is no DoubleClick (KDE sends two Triggers, GNOME one) and no
// right-button release, so a double click is two Triggers inside the double-click interval
// (a real DoubleClick counts the same; the duplicate is dropped) and Context stands for the
// right button. A StatusNotifierItem host opens its own menu on the right button and never
// reports it; so once the icon has a menu, the right button opens it on every host and is no
// gesture of its own. When a tray host appears later the icon is shown again.
class QtTrayIcon final : public QObject, public TrayIcon {
    Q_OBJECT
public:
    QtTrayIcon(const QIcon& icon, const QString& tip, QObject* parent = nullptr);
    ~QtTrayIcon() override;

    bool add() override;
    void remove() override;
    bool isAvailable() const override;
    void setGestureHandler(std::function<void(Gesture)> handler) override {
        handler_ = std::move(handler);
    }
    void setMenu(const QList<TrayMenuEntry>& entries) override;
    void setToolTip(const QString& tip) override { icon_.setToolTip(tip); }
    void setWarning(bool warning) override;
    // The icon shown while setWarning(true) holds.
    void setWarningIcon(const QIcon& icon) { warningIcon_ = icon; }
    QMenu* menu() { return &menu_; }  // as the icon shows it
    bool warningShown() const { return warning_; }

    // The activation as the platform reported it; public for tests of the double-click rule.
    void onActivated(QSystemTrayIcon::ActivationReason reason);

private:
    void emitGesture(Gesture g);

    QMenu menu_;  // before the icon, which points at it
    QSystemTrayIcon icon_;
    QIcon normalIcon_;
    QIcon warningIcon_;
    bool warning_ = false;
    QList<TrayMenuEntry> entries_;
    std::function<void(Gesture)> handler_;
    QElapsedTimer lastTrigger_;
    QElapsedTimer lastDouble_;
    bool wanted_ = false;
    QDBusServiceWatcher* watcher_ = nullptr;
};

}  // namespace tavirin
