// The emergency contact's adapter. Against real devices: a missing one, one that is not a
// tty, and a pseudo-terminal (which has no modem lines: every modem ioctl fails with ENOTTY),
// directly and as "COM n". The watching thread itself runs against a stand-in for the driver
// whose wait blocks in the kernel as TIOCMIWAIT does (a read of a pipe: interruptible by a
// signal, not ended by a close of the descriptor), with gates that hold the thread at a
// chosen read so that what it sees at a hold's deadline is set by the test, not by timing.
//
// Not run here: TIOCMIWAIT itself on a UART or a USB adapter (this machine's only UART is
// its console), so neither a real closure, nor the wait's EINTR on the wake signal, nor
// EIO on an adapter pulled out.

#include "platform/serial/tiocmiwaitcontact.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace tavirin;
using Line = ContactLine::Line;

namespace {

// What the test and the stand-in share; it outlives the stand-in, which the adapter owns.
struct Driver {
    std::atomic<int> lines{0};
    std::atomic<qint64> moves{0};
    std::atomic<bool> gone{false};
    std::atomic<int> reads{0};
    std::atomic<int> waits{0};  // waits entered
    std::atomic<int> lastWaitResult{-1};
    std::atomic<bool> released{false};  // the adapter let go of the stand-in
    std::atomic<int> waitFails{0};      // the wait fails at once with this errno
    int pipe[2] = {-1, -1};

    // The read with this number (counted from 1) waits until the test lets it go on.
    std::mutex gateMutex;
    std::condition_variable gate;
    int holdAt = 0;
    std::atomic<int> heldAt{0};
    // The next wait stops short of the kernel until the test lets it go on: what the thread
    // does between its look at "stop?" and the ioctl, where a signal finds nothing to end.
    bool holdWait = false;
    std::atomic<bool> waitHeld{false};

    Driver() { QVERIFY(::pipe2(pipe, O_CLOEXEC) == 0); }
    ~Driver() {
        letGo();
        ::close(pipe[0]);
        ::close(pipe[1]);
    }

    void poke() { QVERIFY(::write(pipe[1], "x", 1) == 1); }
    // The contact closes or opens: the line moves and the wait ends.
    void set(bool closed) {
        lines = closed ? TIOCM_DSR : 0;
        ++moves;
        poke();
    }
    // A bounce that ends where it began, between two looks.
    void bounce() { moves += 2; }
    void vanish() {
        gone = true;
        poke();
    }
    // Holds the thread at the read `ahead` reads from now.
    void holdRead(int ahead) {
        std::lock_guard lock(gateMutex);
        holdAt = reads + ahead;
    }
    void letGo(int thenHoldAhead = 0) {
        std::lock_guard lock(gateMutex);
        holdAt = thenHoldAhead ? reads + thenHoldAhead : 0;
        holdWait = false;
        gate.notify_all();
    }
};

class StandInDriver final : public ModemStatusSource {
public:
    explicit StandInDriver(std::shared_ptr<Driver> d) : d_(std::move(d)) {}
    ~StandInDriver() override { d_->released = true; }

    int read(int lineBit, Sample* out) override {
        const int n = ++d_->reads;
        {
            std::unique_lock lock(d_->gateMutex);
            if (n == d_->holdAt) {
                d_->heldAt = n;
                d_->gate.wait(lock, [&] { return d_->holdAt != n; });
            }
        }
        if (d_->gone) return EIO;
        out->lines = d_->lines & lineBit;
        out->moves = d_->moves;
        return 0;
    }

    // Like the kernel's: ends at the first move after it began, not at one before.
    int waitForChange(int) override {
        const qint64 at = d_->moves;
        ++d_->waits;
        if (d_->waitFails) return d_->waitFails;
        {
            std::unique_lock lock(d_->gateMutex);
            if (d_->holdWait) {
                d_->waitHeld = true;
                d_->gate.wait(lock, [&] { return !d_->holdWait; });  // a signal does not end it
            }
        }
        for (;;) {
            char byte;
            const ssize_t n = ::read(d_->pipe[0], &byte, 1);
            int result = 0;
            if (n < 0)
                result = errno;
            else if (d_->gone)
                result = EIO;
            else if (d_->moves == at)
                continue;
            d_->lastWaitResult = result;
            return result;
        }
    }

private:
    std::shared_ptr<Driver> d_;
};

// Waits for the watching thread without running the event loop, so that what it queues
// stays queued. The bound only turns a hang into a failure with a message.
template <typename Pred>
bool spinUntil(Pred pred) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Pty {
    int master = -1;
    QString slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master));
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
};

constexpr int kTold = 20000;  // ms; for QTRY, which returns as soon as it holds

}  // namespace

class TestTiocmiwaitContact : public QObject {
    Q_OBJECT

private slots:
    void missingDevice();
    void notATerminal();
    void pseudoTerminalHasNoModemLines();
    void comNumbersAsTheRelay();

    void closureToldOnceAndAgainAfterOpening();
    void closedAtStartCountsAfterOpening();
    void openAgainAtTheDeadlineIsNoClosure();
    void bounceDuringTheHoldRestartsIt();
    void lostIsToldOnceAndThePortLetGo();
    void lostWhileTimingAHold();
    void aDriverThatCannotWaitIsLost();
    void closeEndsTheBlockedWait();
    void closeRightAfterOpening();
    void closeJustBeforeTheWaitBegins();
    void closeWhileTimingAHold();
    void closureOnItsWayIsNotToldAfterClose();
    void handlerMayClose();
    void oneWatchAtATime();

private:
    struct Watched {
        std::shared_ptr<Driver> driver = std::make_shared<Driver>();
        TiocmiwaitContact contact;
        int closures = 0;
        QStringList lost;
        explicit Watched(bool closedAtStart = false) {
            driver->lines = closedAtStart ? TIOCM_DSR : 0;
            contact.setClosedHandler([this] { ++closures; });
            contact.setLostHandler([this](const QString& why) { lost.append(why); });
        }
        ~Watched() { driver->letGo(); }
        bool start() {
            return bool(contact.watch(std::make_unique<StandInDriver>(driver), Line::Dsr,
                                      QStringLiteral("stand-in")));
        }
        // The thread has entered its n-th wait: it is at rest, with nothing queued after.
        // A move is made only then: like the kernel's, the stand-in's wait sees only the
        // moves after it began.
        bool atRest(int n) {
            return spinUntil([&] { return driver->waits >= n; });
        }
    };
};

void TestTiocmiwaitContact::missingDevice() {
    TiocmiwaitContact contact;
    const Result r = contact.open(QStringLiteral("/dev/ttyUSB-none"), Line::Dsr);
    QVERIFY(!r);
    QCOMPARE(r.error, QStringLiteral("/dev/ttyUSB-none: no such device"));
    QVERIFY(!contact.isOpen());
}

void TestTiocmiwaitContact::notATerminal() {
    TiocmiwaitContact contact;
    const Result r = contact.open(QStringLiteral("/dev/null"), Line::Cts);
    QVERIFY(!r);
    QCOMPARE(r.error, QStringLiteral("/dev/null: not a serial port"));
    QVERIFY(!contact.isOpen());
}

void TestTiocmiwaitContact::pseudoTerminalHasNoModemLines() {
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    // Settings of our own on the slave, to see them put back.
    const int fd = ::open(QFile::encodeName(pty.slave).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios mine = {};
    QVERIFY(::tcgetattr(fd, &mine) == 0);
    mine.c_lflag |= ICANON | ECHO;
    mine.c_cflag &= ~CLOCAL;
    mine.c_cflag |= CREAD;
    QVERIFY(::tcsetattr(fd, TCSANOW, &mine) == 0);

    TiocmiwaitContact contact;
    for (const Line line : {Line::Cts, Line::Dsr, Line::Dcd}) {
        const Result r = contact.open(pty.slave, line);
        QVERIFY(!r);
        QVERIFY2(r.error.startsWith(pty.slave + QStringLiteral(": ")), qPrintable(r.error));
        QVERIFY2(r.error.contains(QLatin1String("no modem lines")), qPrintable(r.error));
        QVERIFY(!contact.isOpen());
    }

    termios after = {};
    QVERIFY(::tcgetattr(fd, &after) == 0);
    QCOMPARE(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
    QCOMPARE(after.c_cflag & (CLOCAL | CREAD), tcflag_t(CREAD));

    // Left as a watch sets it up (a run that crashed): setting it up again is no failure.
    termios raw = after;
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | HUPCL;
    QVERIFY(::tcsetattr(fd, TCSANOW, &raw) == 0);
    const Result r = contact.open(pty.slave, Line::Dsr);
    QVERIFY2(r.error.contains(QLatin1String("no modem lines")), qPrintable(r.error));
    ::close(fd);
}

void TestTiocmiwaitContact::comNumbersAsTheRelay() {
    // COM1 is the first USB adapter, as for the relay; here it is a link to a pty.
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString dev = root.path() + QStringLiteral("/dev");
    const QString sys = root.path() + QStringLiteral("/sys");
    QVERIFY(QDir().mkpath(dev));
    QVERIFY(QDir().mkpath(sys + QStringLiteral("/class/tty")));
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    QVERIFY(QFile::link(pty.slave, dev + QStringLiteral("/ttyUSB0")));

    TiocmiwaitContact contact(dev, sys);
    Result r = contact.open(QStringLiteral("COM1"), Line::Dsr);
    QVERIFY(!r);
    QVERIFY2(r.error.startsWith(QStringLiteral("COM1 (") + dev + QStringLiteral("/ttyUSB0): ")),
             qPrintable(r.error));
    QVERIFY2(r.error.contains(QLatin1String("no modem lines")), qPrintable(r.error));

    r = contact.open(QStringLiteral("COM2"), Line::Dsr);
    QVERIFY(!r);
    QCOMPARE(r.error, QStringLiteral("COM2: no such device"));
    QVERIFY(!contact.isOpen());
}

void TestTiocmiwaitContact::closureToldOnceAndAgainAfterOpening() {
    Watched w;
    QVERIFY(w.start());
    QVERIFY(w.contact.isOpen());
    QVERIFY(w.atRest(1));

    w.driver->set(true);
    QTRY_COMPARE_WITH_TIMEOUT(w.closures, 1, kTold);
    // Held on: the thread rests again and nothing more comes.
    QVERIFY(w.atRest(2));
    QCoreApplication::processEvents();
    QCOMPARE(w.closures, 1);

    w.driver->set(false);
    QVERIFY(w.atRest(3));  // the opening has been timed and taken
    QCoreApplication::processEvents();
    QCOMPARE(w.closures, 1);

    w.driver->set(true);
    QTRY_COMPARE_WITH_TIMEOUT(w.closures, 2, kTold);
    QVERIFY(w.lost.isEmpty());
}

void TestTiocmiwaitContact::closedAtStartCountsAfterOpening() {
    Watched w(true);
    QVERIFY(w.start());
    // Closed from the start, the thread rests at once: no hold is being timed.
    QVERIFY(w.atRest(1));
    QCoreApplication::processEvents();
    QCOMPARE(w.closures, 0);

    w.driver->set(false);
    QVERIFY(w.atRest(2));
    QCoreApplication::processEvents();
    QCOMPARE(w.closures, 0);
    w.driver->set(true);
    QTRY_COMPARE_WITH_TIMEOUT(w.closures, 1, kTold);
}

void TestTiocmiwaitContact::openAgainAtTheDeadlineIsNoClosure() {
    Watched w;
    QVERIFY(w.start());
    QVERIFY(w.atRest(1));
    // Read 1 after the wait ends starts the hold; read 2 is the look at its deadline.
    w.driver->holdRead(2);
    const int deadlineRead = w.driver->reads + 2;
    w.driver->set(true);
    QVERIFY(spinUntil([&] { return w.driver->heldAt == deadlineRead; }));
    w.driver->lines = 0;  // opened before the deadline came
    ++w.driver->moves;
    w.driver->letGo();
    QVERIFY(w.atRest(2));
    QCoreApplication::processEvents();
    QCOMPARE(w.closures, 0);
}

void TestTiocmiwaitContact::bounceDuringTheHoldRestartsIt() {
    Watched w;
    QVERIFY(w.start());
    QVERIFY(w.atRest(1));
    w.driver->holdRead(2);
    const int deadlineRead = w.driver->reads + 2;
    w.driver->set(true);
    QVERIFY(spinUntil([&] { return w.driver->heldAt == deadlineRead; }));
    w.driver->bounce();  // still closed, but it moved: the hold starts again
    w.driver->letGo(1);  // and the next look, at the new deadline, is held too
    QVERIFY(spinUntil([&] { return w.driver->heldAt == deadlineRead + 1; }));
    // Had the bounce been missed, the closure would be queued by now.
    QTest::qWait(100);
    QCOMPARE(w.closures, 0);
    w.driver->letGo();
    QTRY_COMPARE_WITH_TIMEOUT(w.closures, 1, kTold);
}

void TestTiocmiwaitContact::lostIsToldOnceAndThePortLetGo() {
    Watched w;
    QVERIFY(w.start());
    QVERIFY(w.atRest(1));
    w.driver->vanish();
    QTRY_COMPARE_WITH_TIMEOUT(int(w.lost.size()), 1, kTold);
    QVERIFY2(w.lost.first().startsWith(QLatin1String("stand-in: the port is gone")),
             qPrintable(w.lost.first()));
    QVERIFY(!w.contact.isOpen());
    QVERIFY(w.driver->released);
    QTest::qWait(50);
    QCOMPARE(int(w.lost.size()), 1);
    QCOMPARE(w.closures, 0);

    // Back again: a new watch works.
    Watched again;
    QVERIFY(again.start());
    QVERIFY(again.atRest(1));
    again.driver->set(true);
    QTRY_COMPARE_WITH_TIMEOUT(again.closures, 1, kTold);
}

void TestTiocmiwaitContact::lostWhileTimingAHold() {
    Watched w;
    QVERIFY(w.start());
    QVERIFY(w.atRest(1));
    w.driver->holdRead(2);
    const int deadlineRead = w.driver->reads + 2;
    w.driver->set(true);
    QVERIFY(spinUntil([&] { return w.driver->heldAt == deadlineRead; }));
    w.driver->gone = true;
    w.driver->letGo();
    QTRY_COMPARE_WITH_TIMEOUT(int(w.lost.size()), 1, kTold);
    QVERIFY(!w.contact.isOpen());
    QCOMPARE(w.closures, 0);
}

void TestTiocmiwaitContact::aDriverThatCannotWaitIsLost() {
    // Lines that read, but no TIOCMIWAIT: told as lost, not watched by polling instead.
    Watched w;
    w.driver->waitFails = ENOTTY;
    QVERIFY(w.start());
    QTRY_COMPARE_WITH_TIMEOUT(int(w.lost.size()), 1, kTold);
    QCOMPARE(w.lost.first(),
             QStringLiteral("stand-in: the driver cannot wait for the line to move (TIOCMIWAIT)"));
    QVERIFY(!w.contact.isOpen());
    QVERIFY(w.driver->released);
}

void TestTiocmiwaitContact::closeEndsTheBlockedWait() {
    Watched w;
    QVERIFY(w.start());
    QVERIFY(w.atRest(1));
    w.contact.close();  // returns: the thread has been woken and joined
    QVERIFY(!w.contact.isOpen());
    QVERIFY(w.driver->released);
    QCOMPARE(w.driver->lastWaitResult.load(), EINTR);  // the signal ended it, nothing else
    QVERIFY(w.lost.isEmpty());
    // And it can be watched again.
    QVERIFY(w.start());
    QVERIFY(w.contact.isOpen());
}

void TestTiocmiwaitContact::closeRightAfterOpening() {
    // A close that lands anywhere in the thread's start, also just before it enters its
    // wait, where one signal alone would be lost.
    for (int i = 0; i < 200; ++i) {
        Watched w(i % 2 == 1);
        QVERIFY(w.start());
        if (i % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(i * 5));
        w.contact.close();
        QVERIFY(w.driver->released);
    }
}

void TestTiocmiwaitContact::closeJustBeforeTheWaitBegins() {
    Watched w;
    {
        std::lock_guard lock(w.driver->gateMutex);
        w.driver->holdWait = true;
    }
    QVERIFY(w.start());
    QVERIFY(spinUntil([&] { return w.driver->waitHeld.load(); }));
    // The first signal comes while the thread is short of the wait and is spent there; the
    // thread then blocks in the pipe read. Only a signal sent again ends that.
    std::thread later([d = w.driver] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        d->letGo();
    });
    w.contact.close();
    later.join();
    QVERIFY(w.driver->released);
    QCOMPARE(w.driver->lastWaitResult.load(), EINTR);
}

void TestTiocmiwaitContact::closeWhileTimingAHold() {
    Watched w;
    QVERIFY(w.start());
    QVERIFY(w.atRest(1));
    const int holdStarted = w.driver->reads + 1;
    w.driver->set(true);
    QVERIFY(spinUntil([&] { return w.driver->reads >= holdStarted; }));
    w.contact.close();
    QVERIFY(w.driver->released);
    QTest::qWait(50);
    QCOMPARE(w.closures, 0);
}

void TestTiocmiwaitContact::closureOnItsWayIsNotToldAfterClose() {
    Watched w;
    QVERIFY(w.start());
    QVERIFY(w.atRest(1));
    w.driver->set(true);
    // Resting again means it has queued the closure; the event loop has not run since.
    QVERIFY(w.atRest(2));
    w.contact.close();
    QTest::qWait(50);
    QCOMPARE(w.closures, 0);
}

void TestTiocmiwaitContact::handlerMayClose() {
    Watched w;
    w.contact.setClosedHandler([&] {
        ++w.closures;
        w.contact.close();
    });
    QVERIFY(w.start());
    QVERIFY(w.atRest(1));
    w.driver->set(true);
    QTRY_COMPARE_WITH_TIMEOUT(w.closures, 1, kTold);
    QVERIFY(!w.contact.isOpen());
    QVERIFY(w.driver->released);
}

void TestTiocmiwaitContact::oneWatchAtATime() {
    Watched w;
    QVERIFY(w.start());
    const Result r = w.contact.open(QStringLiteral("/dev/null"), Line::Dsr);
    QVERIFY(!r);
    QVERIFY2(r.error.contains(QLatin1String("watched already on stand-in")), qPrintable(r.error));
    QVERIFY(w.contact.isOpen());
    auto other = std::make_shared<Driver>();
    QVERIFY(!w.contact.watch(std::make_unique<StandInDriver>(other), Line::Dsr,
                             QStringLiteral("other")));
    QVERIFY(other->released);  // refused, and not kept
}

QTEST_GUILESS_MAIN(TestTiocmiwaitContact)
#include "test_tiocmiwaitcontact.moc"
