#include "scheduler/bellsequence.h"

#include "model/controlnames.h"
#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "outputs/soundplayer.h"
#include "outputs/waiter.h"
#include "platform/logging.h"
#include "platform/trayicon.h"
#include "scheduler/talkingclock.h"
#include "store/dayprogram.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QPointer>

namespace tavirin {

namespace {

// While the sounds play the event loop keeps running (the window repaints, the clock label
// moves), but the timers that would act in the middle of a bell wait until it has ended,
// as they would if the program were blocked in the sound.
class HeldTimers {
public:
    HeldTimers(FormModel& form, std::initializer_list<QString> names) {
        for (const QString& n : names) {
            QTimer* t = form.timer(n);
            if (t && t->isActive()) {
                t->stop();
                held_.append(t);
            }
        }
    }
    ~HeldTimers() {
        for (const QPointer<QTimer>& t : held_)
            if (t) t->start();
    }

private:
    QList<QPointer<QTimer>> held_;
};

}  // namespace

BellSequence::BellSequence(FormModel& form, ProgramStore& store, const Clock& clock,
                           const SoundLibrary& library, Outputs outputs)
    : form_(form), store_(store), clock_(clock), library_(library), out_(outputs) {}

void BellSequence::loadSequenceSettings() {
    if (const std::optional<int> today = todayDayIndex(clock_))
        form_.setValue(ctl::activeApplication, weekdayTable()[*today - 1].application);
    // The chimes, voice and delay of the program that rings today (another weekday's when the
    // calendar or a change of today says so).
    QString app = form_.value(ctl::ringingApplication);
    if (app.isEmpty()) app = form_.value(ctl::activeApplication);
    const DayProgram program = readDayProgram(store_, app);
    settings_.frontChimeFile = program.frontChimeFile;
    settings_.backChimeFile = program.backChimeFile;
    settings_.announceMode = program.announceMode;
    settings_.voiceFolder = program.voiceFolder;
    out_.talkingClock.setWords(buildClockWords(settings_.voiceFolder, library_));

    const QString& delay = program.amplifierDelaySeconds;
    bool ok = false;
    const int seconds = delay.toInt(&ok);
    if (ok && seconds >= -32768 && seconds <= 32767) {
        delayCount_ = qint16(seconds);
    } else {
        // Not a number: the bell still rings, after the delay the program starts with.
        qCWarning(lcScheduler) << "amplifier delay" << delay << "is not a number; using 5 seconds";
        delayCount_ = 5;
    }
    // The countdown runs at least once, so a delay below 1 s is 1 s.
    amplifierDelay_ = qMax(1, int(delayCount_));
}

void BellSequence::prerollFrontChime(qint64 inMs) {
    if (streamOpen_) out_.player.closeStream();  // a run that never came (cannot happen)
    out_.player.openStream();
    out_.player.preroll(settings_.frontChimeFile, inMs);
    streamOpen_ = true;
}

BellRun BellSequence::runBellSequence() {
    BellRun run;
    run.amplifierDelaySeconds = amplifierDelay_;
    const QString systemSound = out_.talkingClock.words().systemSound;
    const QString addOn = form_.text(ctl::Text3);
    qCInfo(lcScheduler) << "bell run: front" << settings_.frontChimeFile << "add-on"
                        << (addOn.isEmpty() ? systemSound : addOn) << "back"
                        << settings_.backChimeFile;
    running_ = true;
    {
        HeldTimers held(form_, {ctl::Timer4, ctl::Timer23});
        // one output stream for the whole bell: no gaps between the files, and the amplifier
        // goes off only once the back chime has left the output
        if (!streamOpen_) out_.player.openStream();
        streamOpen_ = false;
        const int of = 3 + TalkingClock::soundCount(settings_.announceMode);
        if (progress_)
            out_.player.setOnSound(
                [this, of](int k) { progress_(BellProgress::Phase::Sounds, k, of); });
        out_.player.playWait(settings_.frontChimeFile);
        out_.talkingClock.announceTime(settings_.announceMode);
        out_.player.playWait(addOn.isEmpty() ? systemSound : addOn);
        out_.player.playWait(settings_.backChimeFile);
        run.stream = out_.player.closeStream();
        run.sounds = out_.player.streamSounds();
        out_.player.setOnSound({});
    }
    running_ = false;
    if (!cut_.isEmpty()) {
        // The emergency has the window and the amplifier now.
        run.cut = std::exchange(cut_, QString());
        tidyForm();
        return run;
    }
    if (progress_) progress_(BellProgress::Phase::AfterBell, 0, 0);
    tidyForm();
    out_.motion.hideMainWindow();
    form_.setText(ctl::Label2, QString());
    afterBellRunning_ = true;
    run.after = afterBell(form_.value(ctl::afterBellMedia));
    afterBellRunning_ = false;
    cut_.clear();  // an emergency during the pause: its sounds had all been played
    form_.setValue(ctl::afterBellMedia, QStringLiteral("0"));
    if (out_.tray) out_.tray->add();
    return run;
}

void BellSequence::tidyForm() {
    form_.setText(ctl::Text3, QString());
    form_.timer(ctl::Timer22)->stop();
    form_.timer(ctl::Timer4)->stop();
    form_.setVisible(ctl::Label2, false);
    form_.setVisible(ctl::Label242, false);
    form_.setChecked(ctl::Check25, false);
    form_.setVisible(ctl::Command357, false);
}

void BellSequence::cut(const QString& why) {
    if (!running_ && !afterBellRunning_) return;
    cut_ = why;
    if (running_) out_.player.cut(why);
}

BellRun BellSequence::cutBeforeRun(const QString& why) {
    BellRun run;
    run.amplifierDelaySeconds = amplifierDelay_;
    run.cut = why;
    if (streamOpen_) {
        out_.player.cut(why);
        run.stream = out_.player.closeStream();
        streamOpen_ = false;
    }
    tidyForm();
    return run;
}

AfterBellOutcome BellSequence::afterBell(const QString& choice) {
    if (choice == QLatin1String("0")) {
        out_.relay.switchOff();
        return {QStringLiteral("off"), std::nullopt, QString(), clock_.now()};
    }
    if (choice == QLatin1String("1") || choice == QLatin1String("2") ||
        choice == QLatin1String("3")) {
        const int n = choice.toInt();
        const QString step = QStringLiteral("radio ") + choice;
        if (form_.text(ctl::radioAddress(n)).trimmed().isEmpty()) {
            qCInfo(lcScheduler) << "after the bell: radio" << n
                                << "has no address; amplifier stays on";
            return {step, false, QStringLiteral("the station has no address"), {}};
        }
        out_.media.stopMedia();
        out_.waiter.waitMs(3000);
        // An emergency that came during the pause has the PA now.
        if (!cut_.isEmpty()) return {step, false, QStringLiteral("not started: ") + cut_, {}};
        const Result r = out_.media.launchRadio(n);
        return {step, r.ok, r.ok ? QStringLiteral("the station was asked for") : r.error, {}};
    }
    if (choice == QLatin1String("4")) {
        out_.media.stopMedia();
        out_.waiter.waitMs(1000);
        if (!cut_.isEmpty())
            return {QStringLiteral("music"), false, QStringLiteral("not started: ") + cut_, {}};
        const Result r = out_.media.launchMusicPlayer();
        return {QStringLiteral("music"), r.ok, r.error, {}};
    }
    qCWarning(lcScheduler) << "after-bell choice" << choice
                           << "is none of 0..4; amplifier stays on";
    return {QStringLiteral("none"),
            std::nullopt,
            QStringLiteral("after-bell choice \"%1\" is none of 0..4").arg(choice),
            {}};
}

}  // namespace tavirin
