#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <vector>

namespace tavirin {

class AmplifierRelay;
class Dialogs;
class FormModel;
class Processes;
class RadioPlayer;
class Waiter;

// Music and online radio: the outside programs and what tells a stream from a page
// (docs/MEDIA.md). All in one place.
namespace media {
// The MP3 player; "--play" starts its playlist, as the player on the school PC was set to.
inline const QString kPlayer = QStringLiteral("audacious");
inline const QStringList kPlayerArguments = {QStringLiteral("--play")};

// An address whose path ends so is an audio stream (or a playlist of streams), played by the
// program itself. Any other address is asked what it holds.
inline const QStringList kStreamEndings = {QStringLiteral(".m3u"), QStringLiteral(".pls"),
                                           QStringLiteral(".mp3"), QStringLiteral(".aac"),
                                           QStringLiteral(".ogg")};

// Browsers for a station's web page, in order of preference; the first one installed opens
// it. Each runs with a profile of ours: it never hands the page to the teacher's own browser,
// it lets the page play sound without a click, and stopMedia ends exactly that instance.
enum class BrowserKind { Firefox, Chromium };
struct Browser {
    QString program;
    BrowserKind kind;
};
inline const QList<Browser> kBrowsers = {{QStringLiteral("firefox-esr"), BrowserKind::Firefox},
                                         {QStringLiteral("firefox"), BrowserKind::Firefox},
                                         {QStringLiteral("chromium"), BrowserKind::Chromium}};

// Firefox's settings in our profile: sound without a click; no first-run pages, no default-
// browser question, no "restore session" page after we ended it.
inline const QByteArray kFirefoxUserJs =
    "user_pref(\"media.autoplay.default\", 0);\n"
    "user_pref(\"media.autoplay.blocking_policy\", 0);\n"
    "user_pref(\"browser.sessionstore.resume_from_crash\", false);\n"
    "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
    "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
    "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
    "user_pref(\"datareporting.policy.dataSubmissionPolicyBypassNotification\", true);\n"
    "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n";

// The station's text as a web address (http or https; "radio.example/x" reads as http), or
// an invalid QUrl when it is none.
QUrl webAddress(const QString& text);
// True when the address's path ends in one of kStreamEndings (any letter case).
bool isStreamAddress(const QUrl& url);
// <data folder>/tavirin/radio-browser/<program>, e.g.
// ~/.local/share/tavirin/radio-browser/firefox-esr.
QString profileFolder(const Browser& browser);
// The argument that carries our profile on the browser's command line: stopMedia ends the
// processes started with it.
QString profileArgument(const Browser& browser);
// profileArgument of every browser of kBrowsers.
QStringList profileArguments();
// The command line that opens `address` in the browser with our profile.
QStringList browserArguments(const Browser& browser, const QString& address);
}  // namespace media

// Music and online radio between bells. A station's stream plays in the program itself; a
// station's web page opens in a browser with a profile of ours; music is an MP3 player.
// stopMedia ends all three, and never a browser the teacher opened.
class MediaSources {
public:
    MediaSources(FormModel& model, AmplifierRelay& relay, Processes& processes, Waiter& waiter,
                 RadioPlayer& radio, Dialogs& dialogs);

    MediaSources(const MediaSources&) = delete;
    MediaSources& operator=(const MediaSources&) = delete;

    // Stops the radio stream and ends our browser instance and the music player.
    void stopMedia();
    // Starts the player; a failure is logged and otherwise ignored (the result is for the
    // bell journal).
    Result launchMusicPlayer();
    // Plays the station in text box radio<n>: a stream here, a page in our browser. Returns
    // at once, having asked; what the server answers is known later (a failure is logged and
    // noticed). Fails only when there was nothing to ask.
    Result launchRadio(int n);

    // The operator's actions in the sound settings panel.
    void playMusic();
    void playRadio(int n);
    void stopMusicAndRadio();

    // Any member of Label48 starts the music, lbl_r1..3 a station, lbl_stop_r stops both.
    void connectControls();

    // What was last started and not stopped since (the player may have ended by itself).
    enum class Playing { None, Music, Radio };
    Playing playing() const { return playing_; }
    int station() const { return station_; }  // Radio: 1..3
    void onChanged(std::function<void()> f) { changed_.push_back(std::move(f)); }

private:
    void openPage(int n, const QString& address);
    void setPlaying(Playing playing, int station);
    void reportRadio(int n, const QString& cause, const QString& address, const QString& detail);

    FormModel& model_;
    AmplifierRelay& relay_;
    Processes& processes_;
    Waiter& waiter_;
    Playing playing_ = Playing::None;
    int station_ = 0;
    std::vector<std::function<void()>> changed_;
    RadioPlayer& radio_;
    Dialogs& dialogs_;
};

}  // namespace tavirin
