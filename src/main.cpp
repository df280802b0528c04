#include "ui/tavirinapp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavirin"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavirin"));

    tavirin::TavirinApp tavirin;
    if (!tavirin.start()) return 0;
    return app.exec();
}
