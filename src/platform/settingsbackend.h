#pragma once

#include "platform/result.h"

#include <QString>

namespace tavirin {

// Persistent text map application / section / key -> value. The store folds the names
// before it calls here, so a backend compares them exactly.
class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;

    // The stored text, or a null QString when the key is absent.
    virtual QString value(const QString& app, const QString& section, const QString& key) const = 0;
    // Visible to the next value() at once; durable only after sync().
    virtual Result setValue(const QString& app, const QString& section, const QString& key,
                            const QString& value) = 0;
    // Puts a key back as it was before a write (a rolled-back burst); a null `previous`
    // means the key was absent.
    virtual void restore(const QString& app, const QString& section, const QString& key,
                         const QString& previous) = 0;
    // Makes everything written so far durable in one atomic step: after a crash the
    // store holds either the state before or the state after the sync, never a mix.
    virtual Result sync() = 0;
};

}  // namespace tavirin
