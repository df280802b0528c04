#include "platform/gui/qttrayicon.h"

#include "platform/gui/menuentries.h"
#include "platform/logging.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QStyleHints>

namespace tavirin {

QtTrayIcon::QtTrayIcon(const QIcon& icon, const QString& tip, QObject* parent)
    : QObject(parent), icon_(icon) {
    icon_.setToolTip(tip);
    connect(&icon_, &QSystemTrayIcon::activated, this, &QtTrayIcon::onActivated);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        watcher_ = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                           QDBusServiceWatcher::WatchForRegistration, this);
        connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            if (!wanted_) return;
            qCInfo(lcUi) << "a tray host appeared; showing the icon again";
            icon_.hide();
            icon_.show();
        });
    }
}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::setMenu(const QList<TrayMenuEntry>& entries) {
    entries_ = entries;
    fillMenu(menu_, entries_);
    // Filled anew after every arming: the host keeps the menu it was given.
    QMenu* const wanted = entries_.isEmpty() ? nullptr : &menu_;
    if (icon_.contextMenu() != wanted) icon_.setContextMenu(wanted);
}

bool QtTrayIcon::add() {
    wanted_ = true;
    if (!icon_.isVisible()) icon_.show();
    return icon_.isVisible();
}

void QtTrayIcon::remove() {
    wanted_ = false;
    icon_.hide();
}

bool QtTrayIcon::isAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtTrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason) {
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            if (lastTrigger_.isValid() && lastTrigger_.elapsed() <= interval) {
                lastTrigger_.invalidate();
                emitGesture(Gesture::DoubleClick);
            } else {
                lastTrigger_.start();
            }
            break;
        case QSystemTrayIcon::DoubleClick:
            // Some backends send Trigger, Trigger, DoubleClick for one double click.
            lastTrigger_.invalidate();
            if (lastDouble_.isValid() && lastDouble_.elapsed() <= interval) return;
            emitGesture(Gesture::DoubleClick);
            break;
        case QSystemTrayIcon::Context:
            if (entries_.isEmpty()) emitGesture(Gesture::RightButton);
            break;
        default: break;
    }
}

void QtTrayIcon::emitGesture(Gesture g) {
    if (g == Gesture::DoubleClick) lastDouble_.start();
    if (handler_) handler_(g);
}

}  // namespace tavirin
