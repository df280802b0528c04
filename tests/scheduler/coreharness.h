#pragma once

// A whole bell chain on the control model: the real arming, scheduler, sequence, talking
// clock, relay and media starters, over doubles for what this machine has not (sound card,
// serial relay, outside programs) and a clock the test moves. The window's timers are pumped
// by the test on the fake clock, each at its moment, never by sleeping.

#include "journal/journal.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "outputs/soundplayer.h"
#include "outputs/waiter.h"
#include "platform/fake/fakeaudiooutput.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakedialogs.h"
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
    }
    QList<int> waits;
    QStringList* journal = nullptr;

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

struct BellHarness {
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
    SoundPlayer player{audio, dialogs, &clock};
    FakeSerialLines serial;
    AmplifierRelay relay{form, store, serial, dialogs};
    FakeProcesses processes;
    ClockWaiter waiter{clock};
    FakeRadioPlayer radio;
    MediaSources media{form, relay, processes, waiter, radio, dialogs};
    InstantMotion motion{form};
    TalkingClock talkingClock{player};
    Arming arming{form, store, clock, library};
    BellSequence sequence{
        form, store, clock, library, {player, talkingClock, relay, media, waiter, motion, nullptr}};
    Journal* bellJournal;
    BellScheduler scheduler;
    QHash<QString, std::function<void()>> handlers;
    QHash<QString, qint64> elapsed;

    // `bells`: the bell journal the scheduler writes to, if any.
    explicit BellHarness(Journal* bells = nullptr)
        : bellJournal(bells),
          scheduler(
              {form, store, clock, arming, sequence, talkingClock, relay, media, motion, bells}) {
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
        media.connectControls();
        handlers.insert(QStringLiteral("Timer3"), [this] { scheduler.Timer3_Timer(); });
        handlers.insert(QStringLiteral("Timer1"), [this] { scheduler.Timer1_Timer(); });
        handlers.insert(QStringLiteral("Timer222"), [this] { scheduler.Timer222_Timer(); });
        handlers.insert(QStringLiteral("Timer21"), [this] { scheduler.Timer21_Timer(); });
        handlers.insert(QStringLiteral("Timer22"), [this] { scheduler.Timer22_Timer(); });
        form.onClick(QStringLiteral("Command3555"), [this] { scheduler.Command3555_Click(); });
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
