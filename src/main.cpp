#include "ui/tavirinapp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavirin"));
    // No display name: the window system would append it to every title (" — Tavirin"),
    // cutting the Thai titles of the boxes short.
    // Lets the desktop match the window to tavirin.desktop (its icon and name in the panel).
    QGuiApplication::setDesktopFileName(QStringLiteral("tavirin"));

    tavirin::TavirinApp tavirin;
    if (!tavirin.start()) return 0;
    return app.exec();
}
