#include "platform/serial/qtseriallines.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>

using namespace tavirin;
using Error = SerialLines::Error;

namespace {

// A /dev and /sys of our own. `sysTty` entries: "ttyS0=4" (a UART of type 4), "ttyS1=0"
// (registered, no hardware), "ttyS2=-" (a device without a serial-core type file).
struct FakeTree {
    QTemporaryDir root;
    QString dev() const { return root.path() + QStringLiteral("/dev"); }
    QString sys() const { return root.path() + QStringLiteral("/sys"); }

    FakeTree(const QStringList& devNodes, const QStringList& sysTty) {
        QDir(root.path()).mkpath(QStringLiteral("dev"));
        QDir(root.path()).mkpath(QStringLiteral("sys/class/tty"));
        for (const QString& n : devNodes) touch(dev() + u'/' + n);
        for (const QString& entry : sysTty) {
            const QString name = entry.section(u'=', 0, 0);
            const QString type = entry.section(u'=', 1);
            const QString base = sys() + QStringLiteral("/class/tty/") + name;
            QDir().mkpath(base + QStringLiteral("/device"));
            if (type != QLatin1String("-")) {
                QFile f(base + QStringLiteral("/type"));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(type.toLatin1() + '\n');
            }
        }
    }
    static void touch(const QString& path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
};

// A pseudo-terminal: a real tty that opens like a serial port (without modem lines).
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

}  // namespace

class TestQtSerialLines : public QObject {
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void missingDevices();
    void notASerialDevice();
    void openTtyHoldAndRelease();
    void vanishedWhileOpen();
    void permissionIsNotBusy();
    void savedDeviceAlone();
};

void TestQtSerialLines::mapping_data() {
    QTest::addColumn<QStringList>("devNodes");
    QTest::addColumn<QStringList>("sysTty");
    QTest::addColumn<QStringList>("expected");  // COM1, COM2, ...

    QTest::newRow("one USB adapter on a PC without UARTs")
        << QStringList{"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyUSB0"}
        << QStringList{"ttyS0=0", "ttyS1=0", "ttyS2=0", "ttyS3=0"} << QStringList{"ttyUSB0"};
    QTest::newRow("USB adapter before the built-in port")
        << QStringList{"ttyS0", "ttyS1", "ttyUSB0"} << QStringList{"ttyS0=4", "ttyS1=0"}
        << QStringList{"ttyUSB0", "ttyS0"};
    QTest::newRow("ttyUSB, then ttyACM; gaps closed")
        << QStringList{"ttyACM0", "ttyUSB1", "ttyUSB3"} << QStringList{}
        << QStringList{"ttyUSB1", "ttyUSB3", "ttyACM0"};
    QTest::newRow("built-in ports only")
        << QStringList{"ttyS0", "ttyS1"} << QStringList{"ttyS0=4", "ttyS1=4"}
        << QStringList{"ttyS0", "ttyS1"};
    QTest::newRow("node without sysfs entry")
        << QStringList{"ttyS0"} << QStringList{} << QStringList{};
    QTest::newRow("sysfs entry without node")
        << QStringList{} << QStringList{"ttyS0=4"} << QStringList{};
    QTest::newRow("non-UART driver has no type file")
        << QStringList{"ttyS5"} << QStringList{"ttyS5=-"} << QStringList{"ttyS5"};
    QTest::newRow("numbers, not text order")
        << QStringList{"ttyS10", "ttyS2"} << QStringList{"ttyS10=4", "ttyS2=4"}
        << QStringList{"ttyS2", "ttyS10"};
    QTest::newRow("other ttys never count")
        << QStringList{"tty0", "tty1", "ttyprintk", "ttyAMA0", "console"} << QStringList{}
        << QStringList{};
}

void TestQtSerialLines::mapping() {
    QFETCH(QStringList, devNodes);
    QFETCH(QStringList, sysTty);
    QFETCH(QStringList, expected);
    FakeTree tree(devNodes, sysTty);
    QtSerialLines lines(tree.dev(), tree.sys());

    QStringList want;
    for (const QString& n : expected) want.append(tree.dev() + u'/' + n);
    QCOMPARE(lines.devices(), want);
    QCOMPARE(lines.deviceFor(0), QString());
    for (int com = 1; com <= 8; ++com) QCOMPARE(lines.deviceFor(com), want.value(com - 1));
}

void TestQtSerialLines::missingDevices() {
    for (const QString& root : {QStringLiteral("/nonexistent-tavirin-dev"), QString()}) {
        QtSerialLines lines(root, QStringLiteral("/nonexistent-tavirin-sys"));
        for (int com = 1; com <= 7; ++com) {
            lines.setPortNumber(com);
            QCOMPARE(lines.open(), Error::NoSuchPort);
            QVERIFY(!lines.isOpen());
            QVERIFY(!lines.setRts(true));
            QVERIFY(!lines.setDtr(true));
            lines.close();
            QVERIFY(!lines.lastErrorText().isEmpty());
        }
    }
    // A symlink left behind by a udev rule after the adapter went away.
    FakeTree tree({}, {});
    QVERIFY(QFile::link(QStringLiteral("/nonexistent-tavirin-usb"), tree.dev() + "/ttyUSB0"));
    QtSerialLines lines(tree.dev(), tree.sys());
    QCOMPARE(lines.deviceFor(1), QString());
    QCOMPARE(lines.open(), Error::NoSuchPort);
}

void TestQtSerialLines::notASerialDevice() {
    FakeTree tree({"ttyUSB0"}, {});  // a plain file where the device should be
    QtSerialLines lines(tree.dev(), tree.sys());
    QCOMPARE(lines.deviceFor(1), tree.dev() + QStringLiteral("/ttyUSB0"));
    QCOMPARE(lines.open(), Error::NoSuchPort);
    QVERIFY(!lines.isOpen());
}

void TestQtSerialLines::openTtyHoldAndRelease() {
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    FakeTree tree({}, {});
    QVERIFY(QFile::link(pty.slave, tree.dev() + QStringLiteral("/ttyUSB0")));

    QtSerialLines lines(tree.dev(), tree.sys());
    lines.setPortNumber(1);
    QCOMPARE(lines.open(), Error::None);
    QVERIFY(lines.isOpen());
    QCOMPARE(lines.open(), Error::AlreadyOpen);
    QVERIFY(lines.isOpen());
    // A pseudo-terminal has no modem lines: the failure is reported, not hidden.
    QVERIFY(!lines.setRts(true));
    QVERIFY(!lines.lastErrorText().isEmpty());

    // Another program holding the port is "busy", never "no permission".
    QtSerialLines other(tree.dev(), tree.sys());
    other.setPortNumber(1);
    QCOMPARE(other.open(), Error::Busy);

    // Nothing was ever written to the port.
    ::fcntl(pty.master, F_SETFL, O_NONBLOCK);
    char buf[16];
    QCOMPARE(::read(pty.master, buf, sizeof buf), ssize_t(-1));

    lines.close();
    QVERIFY(!lines.isOpen());
    QCOMPARE(other.open(), Error::None);
    other.close();
}

void TestQtSerialLines::vanishedWhileOpen() {
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    FakeTree tree({}, {});
    const QString node = tree.dev() + QStringLiteral("/ttyUSB0");
    QVERIFY(QFile::link(pty.slave, node));
    QtSerialLines lines(tree.dev(), tree.sys());
    QCOMPARE(lines.open(), Error::None);

    QVERIFY(QFile::remove(node));  // unplugged
    QCOMPARE(lines.open(), Error::NoSuchPort);
    QVERIFY(!lines.isOpen());

    QVERIFY(QFile::link(pty.slave, node));  // plugged in again
    QCOMPARE(lines.open(), Error::None);
    lines.close();
}

void TestQtSerialLines::permissionIsNotBusy() {
    FakeTree tree({"ttyUSB0"}, {});
    const QString node = tree.dev() + QStringLiteral("/ttyUSB0");
    QVERIFY(QFile::setPermissions(node, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    if (::geteuid() != 0) {
        QVERIFY(QFile::setPermissions(node, {}));
        QtSerialLines lines(tree.dev(), tree.sys());
        QCOMPARE(lines.open(), Error::Permission);
        return;
    }
    // Root may open anything: try as an ordinary user in a child process.
    QVERIFY(::chmod(QFile::encodeName(tree.root.path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(tree.dev()).constData(), 0755) == 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
        QtSerialLines lines(tree.dev(), tree.sys());
        ::_exit(int(lines.open()));
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QVERIFY2(WEXITSTATUS(status) != 100, "could not become an ordinary user");
    QCOMPARE(Error(WEXITSTATUS(status)), Error::Permission);
}

// The relay's USB adapter (a pseudo-terminal behind ttyUSB0, with a by-id link as udev makes
// it) and a built-in port (another one behind a real-hardware ttyS0). Saved with its by-id
// name, COM1 is that adapter and nothing else: unplugged, it cannot be opened even though
// the built-in port is now the first device; plugged back in under another name, it is
// found again. Without a saved device COM1 is the first device, as before.
void TestQtSerialLines::savedDeviceAlone() {
    Pty adapter, builtIn;
    QVERIFY(!adapter.slave.isEmpty() && !builtIn.slave.isEmpty());
    FakeTree tree({}, {"ttyS0=4"});
    QVERIFY(QFile::link(builtIn.slave, tree.dev() + QStringLiteral("/ttyS0")));
    QVERIFY(QDir().mkpath(tree.dev() + QStringLiteral("/serial/by-id")));
    const QString byId = tree.dev() + QStringLiteral("/serial/by-id/usb-FTDI_FT232R_A5-if00-port0");
    const auto plugIn = [&](const QString& name) {
        QVERIFY(QFile::link(adapter.slave, tree.dev() + u'/' + name));
        QVERIFY(QFile::link(QStringLiteral("../../") + name, byId));
    };
    const auto unplug = [&](const QString& name) {
        QVERIFY(QFile::remove(tree.dev() + u'/' + name));
        QVERIFY(QFile::remove(byId));
    };
    plugIn(QStringLiteral("ttyUSB0"));

    QtSerialLines lines(tree.dev(), tree.sys());
    QCOMPARE(lines.identityFor(1), byId);
    QCOMPARE(lines.identityFor(2), tree.dev() + QStringLiteral("/ttyS0"));  // no by-id link
    QCOMPARE(lines.identityFor(3), QString());
    lines.setPortNumber(1);
    lines.setSavedDevice(byId);
    QCOMPARE(lines.open(), Error::None);
    lines.close();

    unplug(QStringLiteral("ttyUSB0"));
    QCOMPARE(lines.deviceFor(1), tree.dev() + QStringLiteral("/ttyS0"));
    QCOMPARE(lines.open(), Error::NoSuchPort);
    QVERIFY(!lines.isOpen());
    QVERIFY(lines.lastErrorText().contains(byId));

    plugIn(QStringLiteral("ttyUSB1"));
    QCOMPARE(lines.open(), Error::None);
    lines.close();

    unplug(QStringLiteral("ttyUSB1"));
    lines.setSavedDevice(QString());  // a store from before: the first device
    QCOMPARE(lines.open(), Error::None);
    // ... which is the built-in port: another program can no longer have it.
    QtSerialLines other(tree.dev(), tree.sys());
    other.setPortNumber(2);
    other.setSavedDevice(tree.dev() + QStringLiteral("/ttyS0"));
    QCOMPARE(other.open(), Error::Busy);
    lines.close();
}

QTEST_GUILESS_MAIN(TestQtSerialLines)
#include "test_qtseriallines.moc"
