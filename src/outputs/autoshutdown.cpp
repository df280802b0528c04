#include "outputs/autoshutdown.h"

#include "model/controlnames.h"
#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "outputs/shutdownarming.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/logging.h"
#include "platform/power.h"

#include <QTimer>

namespace tavirin {

namespace {
const QString kClock = ctl::Label1;
const QString kCountdownLabel = ctl::Label28778;
const QString kNowButton = ctl::Command3xx2a;
const QString kCancelButton = ctl::Command3xxa;
const QString kCountdownTimer = ctl::Timer23;
const QString kWatchTimer = ctl::Timer4;
}  // namespace

AutoShutdown::AutoShutdown(FormModel& model, WindowMotion& motion, MediaSources& media,
                           AmplifierRelay& relay, Power& power, Dialogs& dialogs)
    : model_(model),
      motion_(motion),
      media_(media),
      relay_(relay),
      power_(power),
      dialogs_(dialogs) {}

QString AutoShutdown::countdownText(int seconds) {
    return QStringLiteral("อีก") + u' ' + QString::number(seconds) + u' ' +
           QStringLiteral("วินาทีจะปิดคอมพิวเตอร์");
}

void AutoShutdown::checkShutdownTime(bool slideIn) {
    const QTime at = armedAt_ ? armedAt_() : QTime();
    if (!at.isValid()) return;
    const QString armed = clockText(at);
    if (model_.text(kClock) != armed) return;
    if (held_ && held_()) {
        if (!waiting_)
            qCInfo(lcShutdown).noquote()
                << "shutdown time" << armed << "during an emergency: it waits for the all clear";
        waiting_ = true;
        return;
    }
    if (slideIn) motion_.showMainWindow();
    countdown_ = kCountdownSeconds;
    // Within the matching second this runs on every tick; the countdown timer keeps the
    // rhythm of the first match rather than being restarted by each one.
    QTimer* t = model_.timer(kCountdownTimer);
    if (!t->isActive()) {
        t->start();
        qCInfo(lcShutdown).noquote()
            << "shutdown countdown started at" << armed << "(" << kCountdownSeconds << "seconds)";
    }
}

void AutoShutdown::resumeAfterHold() {
    if (!waiting_) return;
    waiting_ = false;
    qCInfo(lcShutdown) << "the all clear: the shutdown that waited starts its countdown";
    motion_.showMainWindow();
    countdown_ = kCountdownSeconds;
    if (QTimer* t = model_.timer(kCountdownTimer); !t->isActive()) t->start();
}

void AutoShutdown::countdownTick() {
    countdown_ = qint16(countdown_ - 1);
    model_.setText(kCountdownLabel, countdownText(countdown_));
    model_.setVisible(kCountdownLabel, true);
    if (countdown_ == kMediaOffAt) {
        // Nothing may be playing through the PA when the machine goes down.
        qCInfo(lcShutdown) << kMediaOffAt << "seconds left: music, radio and amplifier off";
        media_.stopMedia();
        relay_.switchOff();
    }
    if (countdown_ <= 0) {
        powerOff("countdown ended", false);
        countdown_ = -1;
        model_.timer(kCountdownTimer)->stop();
    }
    showButtons(true);
}

void AutoShutdown::shutDownNow() {
    showButtons(false);
    powerOff("operator chose to shut down now", true);
}

void AutoShutdown::cancelShutdown() {
    countdown_ = kCountdownSeconds;
    model_.setVisible(kCountdownLabel, false);
    model_.timer(kCountdownTimer)->stop();
    showButtons(false);
    qCInfo(lcShutdown).noquote() << "shutdown cancelled by the operator; still armed at"
                                 << (armedAt_ ? clockText(armedAt_()) : QString());
}

void AutoShutdown::powerOff(const char* why, bool fromButton) {
    qCInfo(lcShutdown) << "power-off issued:" << why;
    power_.powerOff([this, fromButton](const Result& r) {
        if (r) {
            qCInfo(lcShutdown) << "power-off accepted";
            return;
        }
        qCWarning(lcShutdown).noquote()
            << "power-off failed:" << r.error << "- the computer stays on";
        dialogs_.notice(QStringLiteral("ปิดคอมพิวเตอร์ไม่ได้"),
                        QStringLiteral("ระบบไม่ยอมปิดคอมพิวเตอร์ เครื่องยังเปิดอยู่\n"
                                       "กรุณาปิดเครื่องด้วยตนเอง หรือกด \"ปิดทันที\" เพื่อลองอีกครั้ง"));
        // Hidden buttons would say the machine is going down; give the operator them back
        // to try again or cancel.
        if (fromButton) showButtons(true);
    });
}

void AutoShutdown::showButtons(bool visible) {
    model_.setVisible(kNowButton, visible);
    model_.setVisible(kCancelButton, visible);
}

QList<TimerHandler> AutoShutdown::timerHandlers() {
    return {{kWatchTimer, [this] { Timer4_Timer(); }},
            {kCountdownTimer, [this] { Timer23_Timer(); }}};
}

void AutoShutdown::connectControls(bool timers) {
    if (timers)
        for (const TimerHandler& h : timerHandlers())
            QObject::connect(model_.timer(h.timer), &QTimer::timeout, &model_, h.run);
    model_.onClick(kNowButton, [this] { shutDownNow(); });
    model_.onClick(kCancelButton, [this] { cancelShutdown(); });
    model_.onClick(ctl::Check26, [this] { applyEnableRule(model_); });
}

}  // namespace tavirin
