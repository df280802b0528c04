#pragma once

// The program's core, built as the program builds it, over doubles for what this machine has
// not (sound card, serial relay, outside programs, power button) and a clock the test moves.
// The window's timers are run by the test on the fake clock, each at its moment, with the
// handlers the core gives them, never by sleeping.

#include "core/bellcore.h"
#include "journal/journal.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/amplifierrelay.h"
#include "outputs/autoshutdown.h"
#include "outputs/mediasources.h"
#include "outputs/soundplayer.h"
#include "outputs/waiter.h"
#include "platform/fake/fakealarmplayer.h"
#include "platform/fake/fakeaudiooutput.h"
#include "platform/fake/fakeaudioprobe.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakeclocksync.h"
#include "platform/fake/fakecontactline.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakefolderprobe.h"
#include "platform/fake/fakepower.h"
#include "platform/fake/fakeprocesses.h"
#include "platform/fake/fakeradioplayer.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/settings/inisettingsbackend.h"
#include "scheduler/arming.h"
#include "scheduler/bellscheduler.h"
#include "scheduler/bellsequence.h"
#include "scheduler/talkingclock.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QHash>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace tavirin {

// Waits by moving the fake clock.
class ClockWaiter final : public Waiter {
public:
    explicit ClockWaiter(FakeClock& clock) : clock_(clock) {}
    void waitMs(int ms) override {
        waits.append(ms);
        clock_.advanceMs(ms);
        if (journal) journal->append(QStringLiteral("wait ") + QString::number(ms));
        if (onWait) onWait(ms);
    }
    QList<int> waits;
    QStringList* journal = nullptr;
    std::function<void(int)> onWait;  // what happens during the pause (an emergency)

private:
    FakeClock& clock_;
};

// The slides, finished at once: shown at top 1200, hidden at 7500 with the tick restarted.
class InstantMotion final : public WindowMotion {
public:
    explicit InstantMotion(FormModel& form) : form_(form) {}
    void showMainWindow() override {
        ++shows;
        if (!stuck) top_ = 1200;
        height_ = 6165;
    }
    void hideMainWindow() override {
        ++hides;
        top_ = 7500;
        height_ = 0;
        form_.timer(QStringLiteral("Timer3"))->start();
    }
    int windowTopCounter() const override { return top_; }
    int windowHeightCounter() const override { return height_; }
    int shows = 0, hides = 0;
    bool stuck = false;  // the window manager put the window somewhere else

private:
    FormModel& form_;
    int top_ = 7500, height_ = 0;
};

struct CoreHarness {
    static constexpr int kSoundMs = 2000;  // every sound lasts two seconds

    QTemporaryDir dir;
    FakeClock clock{QDateTime(QDate(2026, 12, 9), QTime(6, 59, 50))};  // a Wednesday
    IniSettingsBackend backend{dir.filePath(QStringLiteral("tavirin.ini")), clock};
    ProgramStore store{backend};
    SoundLibrary library{QStringLiteral("/lib")};
    FormModel form;
    QStringList journal;  // sounds, relay lines, program starts and waits, in order
    FakeAudioOutput audio;
    FakeDialogs dialogs;
    FakeSerialLines serial;
    FakeProcesses processes;
    ClockWaiter waiter{clock};
    FakeRadioPlayer radio;
    FakePower power;
    FakeAudioProbe audioProbe;
    FakeClockSync clockSync;
    FakeFolderProbe folderProbe;
    FakeAlarmPlayer alarmPlayer;
    FakeContactLine contact;
    InstantMotion motion{form};
    Journal* bellJournal;
    // The program's own core, over the doubles above.
    BellCore core;
    SoundPlayer& player;
    AmplifierRelay& relay;
    MediaSources& media;
    TalkingClock& talkingClock;
    Arming& arming;
    BellSequence& sequence;
    BellScheduler& scheduler;
    AutoShutdown& shutdown;
    QHash<QString, std::function<void()>> handlers;
    QHash<QString, qint64> elapsed;

    // `bells`: the bell journal the core writes to, if any.
    explicit CoreHarness(Journal* bells = nullptr)
        : bellJournal(bells),
          core({form,      motion,      clock,       store,   bells,   library, dialogs,
                audio,     serial,      processes,   radio,   power,   waiter,  audioProbe,
                clockSync, folderProbe, alarmPlayer, nullptr, nullptr, &contact}),
          player(core.player()),
          relay(core.relay()),
          media(core.media()),
          talkingClock(core.talkingClock()),
          arming(core.arming()),
          sequence(core.sequence()),
          scheduler(core.scheduler()),
          shutdown(core.shutdown()) {
        buildForm1(form);
        form.setItems(QStringLiteral("Combo54"), {QStringLiteral("standard")});
        serial.journal = &journal;
        processes.journal = &journal;
        radio.journal = &journal;
        waiter.journal = &journal;
        audio.onPlay = [this](const FakeAudioOutput::Play& p) {
            journal.append((p.isSpan() ? QStringLiteral("blip ") : QStringLiteral("play ")) +
                           p.path);
            if (!p.isSpan()) clock.advanceMs(kSoundMs);
        };
        audio.onStream = [this](const QString& e) {
            journal.append(QStringLiteral("stream ") + e);
        };
        // The program's wiring; the timers are run by runUntil, on the fake clock.
        core.connectControls(/*timers=*/false);
        for (const TimerHandler& h : core.timerHandlers()) handlers.insert(h.timer, h.run);
    }

    void seedAndArm() {
        QVERIFY(seedFirstRun(store, library));
        QVERIFY(writeFirstRunMarker(store));
        arming.armToday();
    }
    // Today's bells in the journal as "period outcome reason", in order of due time.
    QStringList bellsToday() const {
        QStringList out;
        for (const BellRecord& b : bellJournal->bellsOn(clock.now().date()))
            out << QStringLiteral("%1 %2 %3")
                       .arg(b.period ? QString::number(*b.period) : QStringLiteral("-"), b.outcome,
                            b.reason)
                       .trimmed();
        return out;
    }
    QString today() const { return form.value(QStringLiteral("activeApplication")); }
    void set(const QString& section, const QString& key, const QString& value,
             const QString& app = QString()) {
        QVERIFY(store.SaveSetting(app.isEmpty() ? today() : app, section, key, value));
    }

    // Moves the clock up to `until`, from one timer's moment to the next, running every active
    // timer whose interval has passed, in a fixed order. A timer counts from the moment it was
    // first seen running; a handler may move the clock itself (a sound).
    void runUntil(const QDateTime& until) {
        static const char* order[] = {"Timer3",  "Timer1", "Timer222", "Timer21",
                                      "Timer22", "Timer4", "Timer23"};
        for (;;) {
            qint64 step = clock.now().msecsTo(until);
            for (const char* n : order) {
                const QString name = QString::fromLatin1(n);
                const QTimer* t = form.timer(name);
                if (!t->isActive()) {
                    elapsed.remove(name);
                    continue;
                }
                const qint64 e = elapsed.value(name, 0);
                elapsed.insert(name, e);
                step = qMin(step, qMax<qint64>(0, t->interval() - e));
            }
            if (step < 0 || (step == 0 && clock.now() >= until)) return;
            clock.advanceMs(step);
            for (auto it = elapsed.begin(); it != elapsed.end(); ++it) it.value() += step;
            for (const char* n : order) {
                const QString name = QString::fromLatin1(n);
                QTimer* t = form.timer(name);
                if (!t->isActive() || !elapsed.contains(name)) continue;
                if (elapsed[name] < t->interval()) continue;
                elapsed[name] = 0;
                if (auto h = handlers.value(name)) h();
            }
        }
    }
    void runFor(qint64 ms) { runUntil(clock.now().addMSecs(ms)); }
    void runUntil(QTime t) { runUntil(QDateTime(clock.now().date(), t)); }

    // The sounds of each run, split at the front chime.
    QList<QStringList> runs() const {
        QList<QStringList> out;
        for (const QString& line : journal) {
            if (!line.startsWith(QLatin1String("play ")) &&
                !line.startsWith(QLatin1String("blip ")))
                continue;
            if (line == QStringLiteral("play ") + library.frontChimeFile())
                out.append(QStringList());
            if (!out.isEmpty()) out.last().append(line);
        }
        return out;
    }

    // What a run with the first-run settings plays at hh:mm with the given add-on.
    QStringList expectedRun(int hour, int minute, const QString& addOn, int times = 2) const {
        const QString v = library.standardVoiceFolder();
        auto word = [&](const QString& w) {
            return QStringLiteral("play ") + v + u'/' + w + QStringLiteral(".wav");
        };
        QStringList r{QStringLiteral("play ") + library.frontChimeFile()};
        for (int i = 0; i < times; ++i) {
            r << word(QStringLiteral("ขณะนี้เวลา"))
              << word(hour == 0 ? QStringLiteral("00") : QString::number(hour))
              << word(QStringLiteral("นาฬิกา")) << word(QString::number(minute))
              << (minute == 0 ? QStringLiteral("play ") + library.systemSound()
                              : word(QStringLiteral("นาที")));
        }
        r << QStringLiteral("play ") + addOn << QStringLiteral("play ") + library.backChimeFile();
        return r;
    }
};

}  // namespace tavirin
