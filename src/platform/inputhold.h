#pragma once

#include <QEventLoop>

#include <functional>

namespace tavirin {

// How a wait in the middle of a bell (a sound being played, the pause before radio) treats
// the operator's input. By default it is held back until the wait is over
// (QEventLoop::ExcludeUserInputEvents). A program whose window must let one control through
// (the emergency button) installs a gate: the waits then run every event, and the gate, told
// when holding begins and ends, filters the input itself.
namespace inputhold {

using Gate = std::function<void(bool holding)>;
void setGate(Gate gate);

// The flags a waiting event loop runs with.
QEventLoop::ProcessEventsFlags flags();

// For the length of a wait.
class Holding {
public:
    Holding();
    ~Holding();
    Holding(const Holding&) = delete;
    Holding& operator=(const Holding&) = delete;
};

}  // namespace inputhold
}  // namespace tavirin
