#include "ui/inputgate.h"

#include "platform/inputhold.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

namespace tavirin {

namespace {

bool isInput(QEvent::Type t) {
    switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::ContextMenu:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}

}  // namespace

InputGate::InputGate(QWidget* emergencyButton, QString emergencyTitle, QObject* parent)
    : QObject(parent), button_(emergencyButton), title_(std::move(emergencyTitle)) {
    inputhold::setGate([this](bool holding) { setHolding(holding); });
}

InputGate::~InputGate() {
    inputhold::setGate({});
    setHolding(false);
}

void InputGate::setHolding(bool holding) {
    if (holding == holding_) return;
    holding_ = holding;
    if (holding)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool InputGate::letsThrough(QObject* receiver) const {
    auto* w = qobject_cast<QWidget*>(receiver);
    if (!w) return false;
    if (button_ && (w == button_ || button_->isAncestorOf(w))) return true;
    const QWidget* top = w->window();
    if (qobject_cast<const QMenu*>(top)) return true;
    // The tray's own icon (an XEmbed tray): its menu offers the emergency; its other entries
    // wait for the bell themselves.
    if (top->inherits("QSystemTrayIconSys")) return true;
    if (const auto* box = qobject_cast<const QMessageBox*>(top))
        return box->windowTitle() == title_;
    return false;
}

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
    if (!isInput(event->type())) return false;
    return !letsThrough(watched);
}

}  // namespace tavirin
