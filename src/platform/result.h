#pragma once

#include <QString>

namespace tavirin {

// The one error convention of the adapters: an operation either worked or says why not.
// Adapters never throw across their interface.
struct Result {
    bool ok = true;
    QString error;

    static Result success() { return {}; }
    static Result failure(QString why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

}  // namespace tavirin
