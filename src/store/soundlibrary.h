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

    // The name shown for a stored path: the first element below a folder of the library
    // (<root>/time/standard -> "standard", <root>/other/x.wav -> "x.wav",
    // <root>/other/sub/x.wav -> "sub"). A path elsewhere gives its file name; "" for a path
    // with no folder (or "" itself, or a library folder alone) means: keep what was shown.
    QString displayName(const QString& path) const;

private:
    QString root_;
};

}  // namespace tavirin
