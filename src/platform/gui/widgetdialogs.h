#pragma once

#include "platform/dialogs.h"
#include "platform/gui/thaiqttexts.h"

class QWidget;

namespace tavirin {

// Message boxes and the file-open dialog of Qt Widgets, in Thai whatever the desktop's
// language: the boxes' buttons are named here, and Qt's own texts come from ThaiQtTexts,
// installed for the program's life by the constructor.
class WidgetDialogs final : public Dialogs {
public:
    explicit WidgetDialogs(QWidget* parent = nullptr);
    ~WidgetDialogs() override;
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(Icon icon, const QString& title, const QString& text) override;
    bool askYesNo(const QString& title, const QString& text) override;
    bool askYesNoDefaultNo(const QString& title, const QString& text) override;
    Answer askYesNoCancel(const QString& title, const QString& text) override;
    // Qt's own chooser, the same on every desktop (a desktop's native one speaks the desktop's
    // language).
    QString openFile(const QString& title, const QString& initialFolder,
                     const QString& filter) override;
    QString saveFile(const QString& title, const QString& initialPath,
                     const QString& filter) override;
    // A box that does not block, closes itself after a while, and never holds a bell.
    void notice(const QString& title, const QString& text) override;

    // "MP3, WAV| *.mp3; *.wav" -> "MP3, WAV (*.mp3 *.wav)"
    static QString toQtFilter(const QString& filter);

private:
    QWidget* parent_;
    ThaiQtTexts texts_;
};

}  // namespace tavirin
