#pragma once

#include <memory>

namespace tavirin {

class Form1;

// The running program: the real adapters, the control model, the operations and the windows,
// wired together. main() builds one and starts it.
class TavirinApp {
public:
    TavirinApp();
    ~TavirinApp();

    // The start-up order: single-instance check, reading the store, tray icon, sound library,
    // loading the main window, the slide-in. false when this copy must end at once (the
    // store untouched then).
    bool start();
    Form1& window();

private:
    struct Parts;
    std::unique_ptr<Parts> d_;
};

}  // namespace tavirin
