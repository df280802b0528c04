#pragma once

#include "platform/trayicon.h"

namespace tavirin {

// An icon that counts adds and removes; the test plays the gestures and picks menu entries.
class FakeTrayIcon final : public TrayIcon {
public:
    bool add() override {
        ++adds;
        present = available;
        return present;
    }
    void remove() override {
        ++removes;
        present = false;
    }
    bool isAvailable() const override { return available; }
    void setGestureHandler(std::function<void(Gesture)> handler) override {
        handler_ = std::move(handler);
    }
    void setMenu(const QList<TrayMenuEntry>& entries) override { menu = entries; }
    void setToolTip(const QString& tip) override { toolTip = tip; }
    void setWarning(bool w) override { warning = w; }

    void gesture(Gesture g) {
        if (handler_) handler_(g);
    }
    QStringList captions() const {
        QStringList out;
        for (const TrayMenuEntry& e : menu) out << e.caption;
        return out;
    }
    // As the menu shows the entry when it opens.
    bool entryAvailable(int i) const { return !menu[i].available || menu[i].available(); }
    // The operator picks entry i. A host may deliver an entry that was available when the
    // menu opened and is not any more.
    void choose(int i) { menu[i].run(); }

    bool available = true;
    bool present = false;
    int adds = 0;
    int removes = 0;
    QList<TrayMenuEntry> menu;
    QString toolTip;
    bool warning = false;

private:
    std::function<void(Gesture)> handler_;
};

}  // namespace tavirin
