#pragma once

#include "platform/power.h"

#include <QList>

namespace tavirin {

// Counts the shutdowns asked for and answers them, at once or when the test says so;
// `refuse` makes the answer a refusal, as a refusing logind would give.
class FakePower final : public Power {
public:
    void powerOff(Done done) override {
        ++calls;
        pending.append(std::move(done));
        if (answerAtOnce) answer();
    }
    // The system answers every request still open.
    void answer() {
        while (!pending.isEmpty()) {
            const Done done = pending.takeFirst();
            if (done) done(refuse ? Result::failure(QStringLiteral("refused")) : Result::success());
        }
    }
    int calls = 0;
    bool refuse = false;
    bool answerAtOnce = true;
    QList<Done> pending;
};

}  // namespace tavirin
