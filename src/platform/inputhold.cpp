#include "platform/inputhold.h"

namespace tavirin::inputhold {

namespace {
// The user-interface thread only: the waits and the gate live there.
Gate& gate() {
    static Gate g;
    return g;
}
int& depth() {
    static int d = 0;
    return d;
}
}  // namespace

void setGate(Gate g) {
    gate() = std::move(g);
}

QEventLoop::ProcessEventsFlags flags() {
    return gate() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
}

Holding::Holding() {
    if (depth()++ == 0 && gate()) gate()(true);
}

Holding::~Holding() {
    if (--depth() == 0 && gate()) gate()(false);
}

}  // namespace tavirin::inputhold
