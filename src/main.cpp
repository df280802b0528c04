#include "ui/tavirinapp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavirin"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavirin"));
    // Lets the desktop match the window to tavirin.desktop (its icon and name in the panel).
    QGuiApplication::setDesktopFileName(QStringLiteral("tavirin"));

    tavirin::TavirinApp tavirin;
    if (!tavirin.start()) return 0;
    return app.exec();
}
