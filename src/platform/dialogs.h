#pragma once

#include <QString>

namespace tavirin {

// Message boxes and the file-open dialog. `notice` is the one report that never waits for a
// person: the unattended bell uses only it.
class Dialogs {
public:
    enum class Icon { None, Information, Critical };
    enum class Answer { Yes, No, Cancel };

    virtual ~Dialogs() = default;

    // Modal, OK button.
    virtual void message(Icon icon, const QString& title, const QString& text) = 0;
    // Modal, Yes and No buttons; true for Yes.
    virtual bool askYesNo(const QString& title, const QString& text) = 0;
    // The same with No as the default button (Enter says No): for what must not happen by a
    // slip of the hand.
    virtual bool askYesNoDefaultNo(const QString& title, const QString& text) = 0;
    // Modal, Yes, No and Cancel buttons; closing the box is Cancel.
    virtual Answer askYesNoCancel(const QString& title, const QString& text) = 0;
    // The chosen file's full path, or "" when cancelled. `filter` as "MP3, WAV| *.mp3; *.wav".
    virtual QString openFile(const QString& title, const QString& initialFolder,
                             const QString& filter) = 0;
    // The full path of the file to write, or "" when cancelled; the chooser asks before an
    // existing file is replaced. `initialPath` is a folder or a suggested file.
    virtual QString saveFile(const QString& title, const QString& initialPath,
                             const QString& filter) = 0;
    // Non-modal: shows the text for a while and returns at once.
    virtual void notice(const QString& title, const QString& text) = 0;
};

}  // namespace tavirin
