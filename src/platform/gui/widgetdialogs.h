#pragma once

#include "platform/dialogs.h"

class QWidget;

namespace tavirin {

// Message boxes and the file-open dialog of Qt Widgets.
class WidgetDialogs final : public Dialogs {
public:
    explicit WidgetDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(Icon icon, const QString& title, const QString& text) override;
    bool askYesNo(const QString& title, const QString& text) override;
    QString openFile(const QString& title, const QString& initialFolder,
                     const QString& filter) override;
    // A box that does not block, closes itself after a while, and never holds a bell.
    void notice(const QString& title, const QString& text) override;

    // "MP3, WAV| *.mp3; *.wav" -> "MP3, WAV (*.mp3 *.wav)"
    static QString toQtFilter(const QString& filter);

private:
    QWidget* parent_;
};

}  // namespace tavirin
