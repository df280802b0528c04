#include "outputs/mediasources.h"

#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "outputs/waiter.h"
#include "platform/logging.h"
#include "platform/processes.h"

namespace tavirin {

namespace {
constexpr int kMusicWaitMs = 1000;
constexpr int kRadioWaitMs = 3000;

QString radioBox(int n) {
    return QStringLiteral("radio") + QString::number(n);
}
}  // namespace

MediaSources::MediaSources(FormModel& model, AmplifierRelay& relay, Processes& processes,
                           Waiter& waiter)
    : model_(model), relay_(relay), processes_(processes), waiter_(waiter) {}

void MediaSources::stopMedia() {
    // Ending a program that is not running is not an error; the adapter logs what it ends.
    for (const QString& name : media::kEndedByStop) {
        if (const Result r = processes_.endByName(name); !r)
            qCWarning(lcMedia).noquote() << "could not end" << name << ":" << r.error;
    }
}

void MediaSources::launchMusicPlayer() {
    if (const Result r = processes_.startDetached(media::kPlayer, media::kPlayerArguments); !r)
        qCWarning(lcMedia).noquote() << "music player did not start:" << r.error;
}

void MediaSources::launchRadio(int n) {
    if (n < 1 || n > 3) {
        qCWarning(lcMedia) << "no online radio station" << n;
        return;
    }
    const QString address = model_.text(radioBox(n));
    // A browser reads an argument that begins with "-" as one of its options, and no web
    // address begins so; such a text is not handed over.
    if (address.startsWith(u'-')) {
        qCWarning(lcMedia).noquote()
            << "station" << n << "address is not a web address:" << address;
        return;
    }
    for (const QString& browser : media::kBrowsers) {
        if (processes_.startDetached(browser, {address})) {
            qCInfo(lcMedia).noquote() << "online radio" << n << "in" << browser << ":" << address;
            return;
        }
    }
    qCWarning(lcMedia).noquote() << "online radio" << n << "did not start: no browser of"
                                 << media::kBrowsers.join(QStringLiteral(", ")) << "could start";
}

void MediaSources::playMusic() {
    stopMedia();
    relay_.switchOn(/*alignSelector=*/false, /*resetAfterBellMedia=*/true);
    waiter_.waitMs(kMusicWaitMs);
    launchMusicPlayer();
}

void MediaSources::playRadio(int n) {
    if (n < 1 || n > 3) return;
    if (model_.text(radioBox(n)).trimmed().isEmpty()) return;
    stopMedia();
    relay_.switchOn(/*alignSelector=*/false, /*resetAfterBellMedia=*/true);
    waiter_.waitMs(kRadioWaitMs);
    launchRadio(n);
}

void MediaSources::stopMusicAndRadio() {
    stopMedia();
    relay_.switchOff();
}

void MediaSources::connectControls() {
    // The handler of the label group does not look at the member: "วินาที" and "1." to "4."
    // start the music as well as "เปิดเพลง MP3".
    for (int i = 0; i <= 5; ++i)
        model_.onClick(arrayName(QStringLiteral("Label48"), i), [this] { playMusic(); });
    for (int n = 1; n <= 3; ++n)
        model_.onClick(QStringLiteral("lbl_r") + QString::number(n), [this, n] { playRadio(n); });
    model_.onClick(QStringLiteral("lbl_stop_r"), [this] { stopMusicAndRadio(); });
}

}  // namespace tavirin
