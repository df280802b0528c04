#pragma once

#include "platform/trayicon.h"

namespace tavirin {

// An icon that counts adds and removes; the test plays the gestures.
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
    void gesture(Gesture g) {
        if (handler_) handler_(g);
    }

    bool available = true;
    bool present = false;
    int adds = 0;
    int removes = 0;

private:
    std::function<void(Gesture)> handler_;
};

}  // namespace tavirin
