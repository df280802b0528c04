#pragma once

#include <QString>

namespace tavirin {

// The fixed folder tree of sounds, rooted at $HOME/rivedezode. Paths are native full paths.
class SoundLibrary {
public:
    explicit SoundLibrary(QString root);
    // $HOME/rivedezode.
    static QString defaultRoot();

    QString root() const { return root_; }
    QString titleFolder() const;     // <root>/title
    QString frontChimeFile() const;  // <root>/title/ติ๊งหน่องหน้า.wav
    QString backChimeFile() const;   // <root>/title/ติ๊งหน่องหลัง.wav
    QString voicesFolder() const;    // <root>/time, one sub-folder per voice
    QString voiceFolder(const QString& voice) const;  // <root>/time/<voice>
    QString standardVoiceFolder() const;              // <root>/time/standard
    QString otherFolder() const;                      // <root>/other, the add-on sounds
    QString systemSound() const;                      // <root>/sys/0.wav
    QString backgroundPicture() const;                // <root>/bg/bg.jpg

    // The emergency sounds: for each kind (evacuate, earthquake, lockdown, drill, or a
    // school's own) a signal and the spoken instruction that follows it, and the all clear's
    // words (after the back chime). A kind that is not a plain file name ("", "..", a "/" in
    // it) gives "" and a log line: the caller sounds the built-in tone.
    QString alarmFolder() const;                        // <root>/alarm
    QString alarmToneFile(const QString& kind) const;   // <root>/alarm/<kind>-tone.wav
    QString alarmVoiceFile(const QString& kind) const;  // <root>/alarm/<kind>-voice.wav
    QString allClearVoiceFile() const;                  // <root>/alarm/allclear-voice.wav

    // The name shown for a stored path: the first element below a folder of the library
    // (<root>/time/standard -> "standard", <root>/other/x.wav -> "x.wav",
    // <root>/other/sub/x.wav -> "sub"). A path elsewhere gives its file name; "" for a path
    // with no folder (or "" itself, or a library folder alone) means: keep what was shown.
    QString displayName(const QString& path) const;

private:
    QString root_;
};

}  // namespace tavirin
