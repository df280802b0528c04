#pragma once

#include "platform/result.h"

#include <QString>

namespace tavirin {

class SettingsBackend;

// The system's only persistent state: application / section / key -> text.
// Names compare without regard to letter case ("TIME" = "Time"); values come back exactly
// as written; an absent key reads as the default (always "" in this program); nothing is
// ever deleted.
//
// Every SaveSetting outside a Burst is made durable at once. Inside a Burst the values are
// visible to reads at once, and made durable together, in one atomic sync, when the
// outermost Burst ends.
class ProgramStore {
public:
    explicit ProgramStore(SettingsBackend& backend);

    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    Result SaveSetting(const QString& application, const QString& section, const QString& key,
                       const QString& value);

    // Groups writes into one durable, atomic sync. Bursts nest; only the outermost syncs.
    class Burst {
    public:
        explicit Burst(ProgramStore& store);
        ~Burst();  // finishes the burst if finish() was not called
        // Ends the burst now; the sync's outcome (or the first failed write's) is returned.
        Result finish();
        Burst(const Burst&) = delete;
        Burst& operator=(const Burst&) = delete;

    private:
        ProgramStore* store_;
        bool finished_ = false;
    };

    // Number of SaveSetting calls since construction (for tests and benchmarks).
    int writeCount() const { return writes_; }

private:
    Result endBurst();

    SettingsBackend& backend_;
    int burstDepth_ = 0;
    Result burstResult_;
    int writes_ = 0;
};

}  // namespace tavirin
