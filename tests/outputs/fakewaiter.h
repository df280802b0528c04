#pragma once

#include "outputs/waiter.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tavirin {

// Returns at once and records the wait ("wait 1000"), in the shared journal when set.
class FakeWaiter final : public Waiter {
public:
    void waitMs(int ms) override {
        waits.append(ms);
        if (journal) journal->append(QStringLiteral("wait ") + QString::number(ms));
    }
    QList<int> waits;
    QStringList* journal = nullptr;
};

}  // namespace tavirin
