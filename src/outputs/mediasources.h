#pragma once

#include <QString>
#include <QStringList>

namespace tavirin {

class AmplifierRelay;
class FormModel;
class Processes;
class Waiter;

// The outside programs that carry music and online radio (docs/MEDIA.md). All in one place.
namespace media {
// The MP3 player; "--play" starts its playlist, as the player on the school PC was set to.
inline const QString kPlayer = QStringLiteral("audacious");
inline const QStringList kPlayerArguments = {QStringLiteral("--play")};
// Browsers in order of preference; the first one installed opens the station's page. Only
// browsers we can end by name are used: a station that cannot be stopped would play on
// over the next bell.
inline const QStringList kBrowsers = {QStringLiteral("firefox-esr"), QStringLiteral("firefox"),
                                      QStringLiteral("chromium")};
// Every program stopMedia ends, by executable name.
inline const QStringList kEndedByStop = {QStringLiteral("audacious"), QStringLiteral("firefox-esr"),
                                         QStringLiteral("firefox"), QStringLiteral("chromium")};
}  // namespace media

// Music and online radio between bells. Nothing is played here: an MP3 player or a browser
// with the station's page is started, and ended again by name. No state of its own.
class MediaSources {
public:
    MediaSources(FormModel& model, AmplifierRelay& relay, Processes& processes, Waiter& waiter);

    // Ends every running player and browser of ours.
    void stopMedia();
    // Starts the player; a failure is logged and otherwise ignored.
    void launchMusicPlayer();
    // Opens the address in text box radio<n> (exactly as typed) in the browser.
    void launchRadio(int n);

    // The operator's actions in the sound settings panel.
    void playMusic();
    void playRadio(int n);
    void stopMusicAndRadio();

    // Any member of Label48 starts the music, lbl_r1..3 a station, lbl_stop_r stops both.
    void connectControls();

private:
    FormModel& model_;
    AmplifierRelay& relay_;
    Processes& processes_;
    Waiter& waiter_;
};

}  // namespace tavirin
