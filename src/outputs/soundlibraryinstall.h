#pragma once

#include <QString>

namespace tavirin {

// First start: the sound library ($HOME/rivedezode) is made from the default library that
// ships with the program. An existing library is never touched, whatever it holds.
enum class SoundLibraryState {
    Present,  // the root already existed (as a folder)
    Created,  // copied from the default just now
    Missing,  // no usable library and no default to copy: the caller tells the operator
};

// The default library: $TAVIRIN_SOUNDLIB_DIR, else <executable dir>/../share/tavirin/rivedezode,
// else the one generated in the build tree. "" when none of them is a folder.
QString findDefaultSoundLibrary();

// Makes `root` from `defaultDir` when `root` does not exist. The copy is made in a hidden
// sibling folder (".rivedezode.partial-XXXXXX"), flushed to disk and renamed into place, so
// a crash or power cut leaves either no library or a whole one. A root that exists but is
// not a folder is left alone and reported Missing.
SoundLibraryState installSoundLibrary(const QString& root, const QString& defaultDir);

// installSoundLibrary(SoundLibrary::defaultRoot(), findDefaultSoundLibrary()).
SoundLibraryState ensureSoundLibrary();

}  // namespace tavirin
