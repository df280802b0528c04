#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace tavirin {

// The window's built-in pictures, drawn in code so the program needs no image files of its
// own: button icons by name ("announce", "edit", "device", "hide", "exit", "chime", "save",
// "sound", "radio"), the device picture, the built-in background and the program icon.
QIcon buttonIcon(const QString& name);
QPixmap builtInPicture(const QString& name, QSize size);
QPixmap builtInBackground(QSize size);
QIcon programIcon();
// The program icon with a warning mark: something of today needs a look.
QIcon warningIcon();

}  // namespace tavirin
