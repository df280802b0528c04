#pragma once

#include "calendar/dayplan.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

namespace tavirin {

class AudioProbe;
class Clock;
class ClockSync;
class Dialogs;
class FolderProbe;
class ProgramStore;
class SerialLines;
class SoundLibrary;

// One item of a self-test.
struct CheckResult {
    enum class Status { Ok, Failed, Unknown };
    QString item;  // one of the SelfTest::kItem... names
    Status status = Status::Ok;
    QString detail;  // what was found, in plain words (log and journal)
    QString advice;  // for a failed item: what to do, in Thai
};

// An item's name as the operator reads it ("รีเลย์", "ไฟล์เสียง", ...).
QString thaiCheckName(const QString& item);

struct SelfTestReport {
    QDateTime at;  // when it started
    QString reason;
    QList<CheckResult> checks;
    bool failed() const;
};

// The morning self-test: the relay's port, the sound output, every file today's bells will
// play, the clock's synchronisation and the folders the program writes, all without a sound
// and with the amplifier's lines moved only for a moment. It runs at start-up and on a school
// day 15 minutes before the first armed bell.
//
// It never holds a bell up: everything that may take long (opening the sound device, decoding
// the files, the D-Bus call, the file system) runs on a thread of its own, each step bounded
// by its probe. The relay's port is shared with the bells and is looked at on the
// user-interface thread, in a moment, and only while no bell is on its way. A failed item
// gives one non-modal notice per self-test, in Thai, saying what to do.
class SelfTest : public QObject {
    Q_OBJECT
public:
    static inline const QString kItemRelay = QStringLiteral("relay");
    static inline const QString kItemAudio = QStringLiteral("audio");
    static inline const QString kItemSounds = QStringLiteral("sounds");
    static inline const QString kItemClock = QStringLiteral("clock");
    static inline const QString kItemStore = QStringLiteral("store");
    static inline const QString kItemJournal = QStringLiteral("journal");
    static inline const QString kItemLibrary = QStringLiteral("library");

    static constexpr int kMinutesBeforeFirstBell = 15;
    static constexpr qint64 kMinFreeBytes = qint64(50) << 20;
    // The watch sleeps until the morning self-test is due, and looks again at least this
    // often (a clock set, a program edited or the next day's first bell).
    static constexpr int kWatchCapMs = 5 * 60 * 1000;
    static constexpr int kRelayRetryMs = 1000;

    struct Probes {
        SerialLines& serial;
        AudioProbe& audio;
        ClockSync& clockSync;
        FolderProbe& folders;
    };
    // A folder the program needs; `item` names it in the report.
    struct Folder {
        QString item;
        QString path;
        bool write = true;
    };

    SelfTest(Probes probes, const ProgramStore& store, const SoundLibrary& library,
             const Clock& clock, Dialogs& dialogs);
    ~SelfTest() override;

    void setFolders(QList<Folder> folders) { folders_ = std::move(folders); }
    // Whether a bell is on its way (the relay waits for it). Unset: never.
    void setBellInProgress(std::function<bool()> f) { bellInProgress_ = std::move(f); }
    // Today's armed trigger strings ("hh:mm:ss", or anything else for a period not in use).
    void setTriggers(std::function<DueTimes()> f) { triggers_ = std::move(f); }
    // Called with every finished self-test.
    void onReport(std::function<void(const SelfTestReport&)> f) {
        listeners_.push_back(std::move(f));
    }

    // The start-up self-test, and the watch for the morning one.
    void start();
    // Starts a self-test; false (and nothing happens) while one is running.
    bool run(const QString& reason);
    bool running() const { return running_; }
    const SelfTestReport& last() const { return last_; }

    // Time went on further than the watch planned for (the clock was set, the program slept):
    // the watch looks now instead of when its sleep ends.
    void lookAgain();
    // The watch's look at the clock: runs the morning self-test once it is due, and says
    // how long the watch may sleep before it looks again.
    int watchMorning();

signals:
    void finished();

private:
    QList<CheckResult> runProbes(const QStringList& files, const QList<Folder>& folders);
    void probesDone(QList<CheckResult> results);
    CheckResult checkRelay();
    void finish(CheckResult relay);
    void markMorningIfDue(const QDateTime& now);
    static QTime morningFrom(QTime firstBell);

    Probes probes_;
    const ProgramStore& store_;
    const SoundLibrary& library_;
    const Clock& clock_;
    Dialogs& dialogs_;
    QList<Folder> folders_;
    std::function<bool()> bellInProgress_;
    std::function<DueTimes()> triggers_;
    std::vector<std::function<void(const SelfTestReport&)>> listeners_;

    QTimer watch_;
    QDate morningDone_;
    bool running_ = false;
    SelfTestReport current_;
    QElapsedTimer took_;
    SelfTestReport last_;
    std::thread worker_;
    std::atomic<bool> stopping_{false};
};

}  // namespace tavirin
