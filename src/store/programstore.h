#pragma once

#include "platform/result.h"

#include <QHash>
#include <QList>
#include <QString>

namespace tavirin {

class SettingsBackend;

// The system's only persistent state: application / section / key -> text.
// Names compare without regard to letter case ("TIME" = "Time"); values come back exactly
// as written; an absent key reads as the default (always "" in this program); nothing is
// ever deleted. An empty name, or one holding '/' or '\', names no key: it reads as the
// default and a write to it fails.
//
// Every SaveSetting outside a Burst is made durable at once. Inside a Burst the values are
// visible to reads at once, and made durable together, in one atomic sync, when the
// outermost Burst ends.
class ProgramStore {
public:
    explicit ProgramStore(SettingsBackend& backend);

    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    // Outside a burst: the write's or the sync's failure. Inside: the write's failure only;
    // the sync's comes from Burst::finish().
    Result SaveSetting(const QString& application, const QString& section, const QString& key,
                       const QString& value);

    // Groups writes into one durable, atomic sync. Bursts nest; only the outermost syncs.
    class Burst {
    public:
        // Keep: after a failed write or sync the values written stay (and stay pending for
        // the next sync). RollBack: they are put back as they were before the burst, so the
        // store in memory is what is on disk and nothing unsaved governs a bell.
        enum class OnFailure { Keep, RollBack };

        explicit Burst(ProgramStore& store, OnFailure onFailure = OnFailure::Keep);
        ~Burst();  // finishes the burst if finish() was not called; a failure is logged
        // Ends the burst now. Returns the first write that failed inside it, else (for the
        // outermost burst) the outcome of the sync; a burst that wrote nothing does not sync.
        // Later calls return the same result.
        Result finish();
        Burst(const Burst&) = delete;
        Burst& operator=(const Burst&) = delete;

    private:
        friend class ProgramStore;
        struct Before {
            QString application, section, key;
            QString value;  // null: the key was absent
        };
        ProgramStore* store_;
        OnFailure onFailure_;
        QHash<QString, Before> before_;  // first value of each key this burst wrote
        bool finished_ = false;
        int writesAtStart_ = 0;
        Result result_;
    };

    bool inBurst() const { return !open_.isEmpty(); }
    // Number of SaveSetting calls since construction (for tests and benchmarks).
    int writeCount() const { return writes_; }

private:
    Result endBurst(Burst* burst);
    void rollBack(Burst* burst);

    SettingsBackend& backend_;
    QList<Burst*> open_;
    int writes_ = 0;
};

}  // namespace tavirin
