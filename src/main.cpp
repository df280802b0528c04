#include "ui/tavirinapp.h"

#include <QApplication>

namespace {

// On X11, Qt hands the window's pixels to the server through shared memory (MIT-SHM) and,
// before it paints a region it handed over that way, waits for the server to answer. The
// window's clock repaints the same small region every second, all day: a round trip through
// the X server and a wake-up of Qt's X thread each time, for a few kilobytes that are as
// cheap to send through the socket. So the program does without shared memory, unless the
// user's environment says otherwise. Qt reads the setting once, when it connects to the
// display; it is taken back afterwards so that the programs the bells start (the browser of
// the radio, the music player) do not inherit it.
class WithoutXSharedMemory {
public:
    WithoutXSharedMemory() : set_(!qEnvironmentVariableIsSet(kName)) {
        if (set_) qputenv(kName, "1");
    }
    void restore() {
        if (set_) qunsetenv(kName);
        set_ = false;
    }

private:
    static constexpr const char* kName = "QT_XCB_NO_MITSHM";
    bool set_;
};

}  // namespace

int main(int argc, char* argv[]) {
    WithoutXSharedMemory withoutXSharedMemory;
    QApplication app(argc, argv);
    withoutXSharedMemory.restore();
    QApplication::setApplicationName(QStringLiteral("tavirin"));
    // No display name: the window system would append it to every title (" — Tavirin"),
    // cutting the Thai titles of the boxes short.
    // Lets the desktop match the window to tavirin.desktop (its icon and name in the panel).
    QGuiApplication::setDesktopFileName(QStringLiteral("tavirin"));

    tavirin::TavirinApp tavirin;
    if (!tavirin.start()) return 0;
    return app.exec();
}
