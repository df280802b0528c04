#include "outputs/mediasources.h"

#include "model/controlnames.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "outputs/waiter.h"
#include "platform/dialogs.h"
#include "platform/logging.h"
#include "platform/processes.h"
#include "platform/radioplayer.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

namespace tavirin {

namespace media {

QUrl webAddress(const QString& text) {
    const QString trimmed = text.trimmed();
    // A browser would read a leading "-" as one of its options; no web address begins so.
    if (trimmed.isEmpty() || trimmed.startsWith(u'-')) return {};
    const QUrl url = QUrl::fromUserInput(trimmed);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url;
}

bool isStreamAddress(const QUrl& url) {
    const QString path = url.path();
    for (const QString& ending : kStreamEndings)
        if (path.endsWith(ending, Qt::CaseInsensitive)) return true;
    return false;
}

QString profileFolder(const Browser& browser) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/tavirin/radio-browser/") + browser.program;
}

QString profileArgument(const Browser& browser) {
    const QString folder = profileFolder(browser);
    return browser.kind == BrowserKind::Firefox ? folder
                                                : QStringLiteral("--user-data-dir=") + folder;
}

QStringList profileArguments() {
    QStringList out;
    for (const Browser& b : kBrowsers) out << profileArgument(b);
    return out;
}

QStringList browserArguments(const Browser& browser, const QString& address) {
    if (browser.kind == BrowserKind::Firefox)
        // --no-remote, --new-instance: never hand the page to a Firefox that is running already
        return {QStringLiteral("--no-remote"), QStringLiteral("--new-instance"),
                QStringLiteral("--profile"), profileFolder(browser), address};
    return {profileArgument(browser), QStringLiteral("--no-first-run"),
            QStringLiteral("--no-default-browser-check"),
            QStringLiteral("--autoplay-policy=no-user-gesture-required"), address};
}

}  // namespace media

namespace {
constexpr int kMusicWaitMs = 1000;
constexpr int kRadioWaitMs = 3000;

const QString kRadioNoticeTitle = QStringLiteral("เปิดวิทยุออนไลน์ไม่ได้");
const QString kNotWebAddress =
    QStringLiteral("ที่อยู่สถานีไม่ใช่ที่อยู่เว็บ (ต้องขึ้นต้นด้วย http:// หรือ https://)");
const QString kUnreachable = QStringLiteral("ติดต่อสถานีไม่ได้ ตรวจดูอินเทอร์เน็ตและที่อยู่สถานี");
const QString kNotPlayable = QStringLiteral("เล่นเสียงจากสถานีไม่ได้");
const QString kNoBrowser = QStringLiteral("ไม่พบเว็บเบราว์เซอร์ (firefox-esr, firefox หรือ chromium)");

QString radioBox(int n) {
    return ctl::radioAddress(n);
}

// The profile folder, and for Firefox the settings that let the page play sound. A failure
// is logged: the browser still starts (it makes the folder itself), maybe without sound.
void prepareProfile(const media::Browser& browser) {
    const QString folder = media::profileFolder(browser);
    if (!QDir().mkpath(folder)) {
        qCWarning(lcMedia).noquote() << "cannot make the browser profile folder" << folder;
        return;
    }
    if (browser.kind != media::BrowserKind::Firefox) return;
    QSaveFile prefs(folder + QStringLiteral("/user.js"));
    if (!prefs.open(QIODevice::WriteOnly) || prefs.write(media::kFirefoxUserJs) < 0 ||
        !prefs.commit())
        qCWarning(lcMedia).noquote()
            << "cannot write" << prefs.fileName() << ":" << prefs.errorString();
}
}  // namespace

MediaSources::MediaSources(FormModel& model, AmplifierRelay& relay, Processes& processes,
                           Waiter& waiter, RadioPlayer& radio, Dialogs& dialogs)
    : model_(model),
      relay_(relay),
      processes_(processes),
      waiter_(waiter),
      radio_(radio),
      dialogs_(dialogs) {}

void MediaSources::stopMedia() {
    setPlaying(Playing::None, 0);
    radio_.stop();
    // Ending a program that is not running is not an error; the adapter logs what it ends.
    if (const Result r = processes_.endByName(media::kPlayer); !r)
        qCWarning(lcMedia).noquote() << "could not end" << media::kPlayer << ":" << r.error;
    // Only the browser instances of our own profile: the teacher's browser is never touched.
    if (const Result r = processes_.endByArgument(media::profileArguments()); !r)
        qCWarning(lcMedia).noquote() << "could not end the radio browser:" << r.error;
}

Result MediaSources::launchMusicPlayer() {
    const Result r = processes_.startDetached(media::kPlayer, media::kPlayerArguments);
    if (!r) qCWarning(lcMedia).noquote() << "music player did not start:" << r.error;
    if (r) setPlaying(Playing::Music, 0);
    return r;
}

Result MediaSources::launchRadio(int n) {
    if (n < 1 || n > 3) {
        qCWarning(lcMedia) << "no online radio station" << n;
        return Result::failure(QStringLiteral("no online radio station %1").arg(n));
    }
    const QString address = model_.text(radioBox(n));
    const QUrl url = media::webAddress(address);
    if (!url.isValid()) {
        reportRadio(n, kNotWebAddress, address, QStringLiteral("not a web address"));
        return Result::failure(QStringLiteral("not a web address: ") + address);
    }
    const bool stream = media::isStreamAddress(url);
    qCInfo(lcMedia).noquote() << "online radio" << n << ":" << url.toDisplayString()
                              << (stream ? "(a stream by its address)" : "(asking the server)");
    setPlaying(Playing::Radio, n);
    radio_.open(url.toString(QUrl::FullyEncoded), stream,
                [this, n, address](RadioPlayer::Event event, const QString& detail) {
                    switch (event) {
                        case RadioPlayer::Event::Playing:
                            qCInfo(lcMedia) << "online radio" << n << "plays its stream";
                            break;
                        case RadioPlayer::Event::Page:
                            qCInfo(lcMedia).noquote()
                                << "online radio" << n << "is a web page (" << detail << ")";
                            openPage(n, address);
                            break;
                        case RadioPlayer::Event::Unreachable:
                            reportRadio(n, kUnreachable, address, detail);
                            break;
                        case RadioPlayer::Event::Failed:
                            reportRadio(n, kNotPlayable, address, detail);
                            break;
                    }
                });
    return Result::success();
}

void MediaSources::setPlaying(Playing playing, int station) {
    if (playing == playing_ && station == station_) return;
    playing_ = playing;
    station_ = station;
    for (const auto& f : changed_) f();
}

void MediaSources::openPage(int n, const QString& address) {
    // The text exactly as typed: a browser copes with blanks around an address.
    for (const media::Browser& browser : media::kBrowsers) {
        prepareProfile(browser);
        if (processes_.startDetached(browser.program, media::browserArguments(browser, address))) {
            qCInfo(lcMedia).noquote() << "online radio" << n << "in" << browser.program
                                      << "with the profile" << media::profileFolder(browser);
            return;
        }
    }
    QStringList names;
    for (const media::Browser& b : media::kBrowsers) names << b.program;
    reportRadio(n, kNoBrowser, address,
                QStringLiteral("no browser of ") + names.join(QStringLiteral(", ")) +
                    QStringLiteral(" could start"));
}

void MediaSources::reportRadio(int n, const QString& cause, const QString& address,
                               const QString& detail) {
    qCWarning(lcMedia).noquote() << "online radio" << n << "did not start:" << detail << "-"
                                 << address;
    dialogs_.notice(kRadioNoticeTitle, cause + QStringLiteral("\nสถานีที่ ") + QString::number(n) +
                                           QStringLiteral(": ") + address.trimmed() + u'\n' +
                                           detail);
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
    for (int i = 0; i <= 5; ++i) model_.onClick(ctl::mediaCaption(i), [this] { playMusic(); });
    for (int n = 1; n <= 3; ++n) model_.onClick(ctl::stationButton(n), [this, n] { playRadio(n); });
    model_.onClick(ctl::lbl_stop_r, [this] { stopMusicAndRadio(); });
}

}  // namespace tavirin
