#pragma once

#include <memory>

namespace tavirin {

class Form1;

// The running program: the real adapters, the control model, the operations and the window,
// wired together. main() builds one and starts it.
class TavirinApp {
public:
    TavirinApp();
    ~TavirinApp();

    // Loads the main window and shows it; false when the program must end at once.
    bool start();
    Form1& window();

private:
    struct Parts;
    std::unique_ptr<Parts> d_;
};

}  // namespace tavirin
