// How long the amplifier takes to come on once a bell asks for it, without the relay
// itself: the serial adapter's open-and-raise against a pseudo-terminal (a real tty, so
// the kernel's open and termios paths run; it has no modem lines, so the two ioctls are
// refused, at the same cost), the COM-number mapping, and the relay logic over the double.

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/process/systemprocesses.h"
#include "platform/serial/qtseriallines.h"
#include "store/programstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tavirin;

namespace {

struct Figures {
    double median, p90, max;
};

// `body` returns the nanoseconds of the part being measured.
Figures measure(int rounds, const std::function<qint64()>& body) {
    std::vector<qint64> ns;
    ns.reserve(rounds);
    for (int i = 0; i < rounds; ++i) ns.push_back(body());
    std::sort(ns.begin(), ns.end());
    return {ns[ns.size() / 2] / 1000.0, ns[ns.size() * 9 / 10] / 1000.0, ns.back() / 1000.0};
}

void print(const char* what, const Figures& f) {
    std::printf("%-52s median %9.1f us   p90 %9.1f us   max %9.1f us\n", what, f.median, f.p90,
                f.max);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("tavirin.*=false"));
    constexpr int kRounds = 300;

    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::printf("no pseudo-terminal available\n");
        return 1;
    }
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("dev"));
    QDir(root.path()).mkpath(QStringLiteral("sys/class/tty"));
    const QString dev = root.path() + QStringLiteral("/dev");
    QFile::link(QString::fromLocal8Bit(::ptsname(master)), dev + QStringLiteral("/ttyUSB7"));

    std::printf("relay_bench: %d rounds each (pseudo-terminal standing in for the port)\n",
                kRounds);

    QtSerialLines lines(dev, root.path() + QStringLiteral("/sys"));
    lines.setPortNumber(1);
    bool opened = true;
    const Figures raise = measure(kRounds, [&] {
        QElapsedTimer t;
        t.start();
        opened = lines.open() == SerialLines::Error::None && opened;
        lines.setRts(true);
        lines.setDtr(true);
        const qint64 ns = t.nsecsElapsed();
        lines.close();
        return ns;
    });
    print("QtSerialLines open + raise RTS + raise DTR", raise);
    if (!opened) std::printf("  (warning: the pseudo-terminal did not open every time)\n");

    const Figures drop = measure(kRounds, [&] {
        lines.open();
        QElapsedTimer t;
        t.start();
        lines.close();
        return t.nsecsElapsed();
    });
    print("QtSerialLines close (drop both lines)", drop);

    QtSerialLines real;  // this machine's /dev and /sys
    const Figures map = measure(kRounds, [&] {
        QElapsedTimer t;
        t.start();
        (void)real.deviceFor(1);
        return t.nsecsElapsed();
    });
    print("COM1 -> device lookup on this machine", map);

    FormModel model;
    buildForm1(model);
    MemorySettingsBackend backend;
    ProgramStore store(backend);
    store.SaveSetting(QStringLiteral("vorle_programming5_7day"), QStringLiteral("com_port"),
                      QStringLiteral("com_port"), QStringLiteral("1"));
    FakeSerialLines fake;
    FakeDialogs dialogs;
    AmplifierRelay relay(model, store, fake, dialogs);
    const Figures logic = measure(kRounds, [&] {
        QElapsedTimer t;
        t.start();
        relay.switchOn(true);
        const qint64 ns = t.nsecsElapsed();
        relay.switchOff();
        fake.log.clear();
        return ns;
    });
    print("AmplifierRelay::switchOn over the serial double", logic);

    // What a bell start does just before switchOn: end the music player by name and our
    // radio browser by its profile. Nothing of these runs here, so this is the /proc scans
    // alone.
    SystemProcesses processes;
    const QStringList profiles = media::profileArguments();
    const Figures stop = measure(30, [&] {
        QElapsedTimer t;
        t.start();
        processes.endByName(media::kPlayer);
        processes.endByArgument(profiles);
        return t.nsecsElapsed();
    });
    print("stopMedia scans of /proc (player by name, browser by profile; none running)", stop);

    std::printf("switchOn to lines raised, adapter overhead (sum of medians): %.1f us\n",
                raise.median + logic.median);
    ::close(master);
    return 0;
}
