#include "relayfixture.h"

#include <QTest>

using namespace tavirin;
using Error = SerialLines::Error;

Q_DECLARE_METATYPE(tavirin::SerialLines::Error)

class TestAmplifierRelay : public QObject {
    Q_OBJECT

private slots:
    void switchOn_data();
    void switchOn();
    void switchOnTwiceLeavesEverything();
    void switchOffWhenClosedDoesNothingVisible();
    void switchOffAfterOnDropsBoth();
    void selectorAlignment_data();
    void selectorAlignment();
    void afterBellMediaResetOnlyWhenAsked();
    void emptyStoreKeepsPortNumberInForce();
    void linesThatDoNotMoveShowFailedAndRelease();
    void unpluggedWhileOnThenReplugged();
    void permissionToldOncePerRun();
    void testPortOnValidPort();
    void testPortOnMissingPort();
    void testPortWhileRelayOn();
    void testPortWithoutSelectionUsesCurrentPort();
    void savePort();
    void savePortWithoutSelection();
    void savePortWhenTheStoreFails_data();
    void savePortWhenTheStoreFails();
    void onlyTheSavedDeviceIsOpened_data();
    void onlyTheSavedDeviceIsOpened();
    void testPortOnABusyPort();
    void deviceLabelFollowsSelector();
};

void TestAmplifierRelay::switchOn_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<Error>("failure");  // failure of COM1's open
    QTest::addColumn<bool>("startFailed");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("indicator");  // "normal", "failed"

    const QStringList on{"open COM1", "rts on", "dtr on"};
    QTest::newRow("present") << "1" << Error::None << true << "Port COM1" << on << "normal";
    // A PC with COM1 and COM2 only.
    QTest::newRow("missing port") << "7" << Error::None << false << "Port COM7" << QStringList{}
                                  << "failed";
    QTest::newRow("cannot open") << "1" << Error::NoSuchPort << false << "Port COM1"
                                 << QStringList{} << "failed";
    QTest::newRow("no permission")
        << "1" << Error::Permission << false << "Port COM1" << QStringList{} << "failed";
    // Held by another program: it cannot be opened either, the amplifier stays off.
    QTest::newRow("busy") << "1" << Error::Busy << false << "Port COM1" << QStringList{}
                          << "failed";
    QTest::newRow("other, was failed")
        << "1" << Error::Other << true << "Port COM1" << QStringList{} << "failed";
}

void TestAmplifierRelay::switchOn() {
    QFETCH(QString, stored);
    QFETCH(Error, failure);
    QFETCH(bool, startFailed);
    QFETCH(QString, caption);
    QFETCH(QStringList, log);
    QFETCH(QString, indicator);

    RelayFixture f;
    f.lines.setDevice(2, QStringLiteral("/dev/ttyS0"));
    f.lines.setFailure(1, failure);
    f.storePort(stored);
    if (startFailed) {
        f.model.setBackground(QStringLiteral("Label21"), kRed);
        f.model.setVisible(QStringLiteral("Label33"), true);
    }

    f.relay.switchOn(false);  // returns: the caller goes on whatever happened

    QCOMPARE(f.relay.currentPort(), stored);
    QCOMPARE(f.model.text(QStringLiteral("Label21")), caption);
    QCOMPARE(f.lines.log, log);
    QCOMPARE(f.lines.energised(), !log.isEmpty());
    QCOMPARE(f.normalShown(), indicator == QLatin1String("normal"));
    QCOMPARE(f.failedShown(), indicator == QLatin1String("failed"));
    QCOMPARE(f.dialogs.count(QStringLiteral("message")), 0);
    QCOMPARE(f.dialogs.count(QStringLiteral("notice")), failure == Error::Permission ? 1 : 0);
}

void TestAmplifierRelay::switchOnTwiceLeavesEverything() {
    RelayFixture f;
    f.storePort(QStringLiteral("1"));
    f.relay.switchOn(true);
    const QStringList after1 = f.lines.log;
    f.relay.switchOn(true);
    QCOMPARE(f.lines.log, after1);
    QVERIFY(f.lines.isOpen() && f.lines.rts() && f.lines.dtr());
    QCOMPARE(f.model.text(QStringLiteral("Label21")), QStringLiteral("Port COM1"));
    QVERIFY(f.normalShown());
}

void TestAmplifierRelay::switchOffWhenClosedDoesNothingVisible() {
    RelayFixture f;
    f.model.setBackground(QStringLiteral("Label21"), kRed);
    f.model.setVisible(QStringLiteral("Label33"), true);
    f.relay.switchOff();
    QVERIFY(f.lines.log.isEmpty());
    QVERIFY(!f.lines.isOpen());
    QVERIFY(f.failedShown());  // switching off never touches the indicator
}

void TestAmplifierRelay::switchOffAfterOnDropsBoth() {
    RelayFixture f;
    f.storePort(QStringLiteral("1"));
    f.relay.switchOn(false);
    f.lines.log.clear();
    f.relay.switchOff();
    QCOMPARE(f.lines.log, (QStringList{"rts off", "dtr off", "close"}));
    QVERIFY(!f.lines.isOpen() && !f.lines.rts() && !f.lines.dtr());
    QVERIFY(f.normalShown());
}

void TestAmplifierRelay::selectorAlignment_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("align");
    QTest::addColumn<QString>("selector");
    QTest::newRow("aligned") << "3" << true << "COM3";
    QTest::newRow("not asked") << "3" << false << "COM6";
    QTest::newRow("out of range") << "9" << true << "COM6";
    QTest::newRow("nothing stored") << "" << true << "COM6";
    QTest::newRow("not exactly a number") << " 3" << true << "COM6";
}

void TestAmplifierRelay::selectorAlignment() {
    QFETCH(QString, stored);
    QFETCH(bool, align);
    QFETCH(QString, selector);
    RelayFixture f;
    f.storePort(stored);
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM6")));
    f.relay.switchOn(align);
    QCOMPARE(f.model.text(QStringLiteral("Combo53")), selector);
}

void TestAmplifierRelay::afterBellMediaResetOnlyWhenAsked() {
    for (const bool reset : {false, true}) {
        RelayFixture f;
        f.storePort(QStringLiteral("7"));  // also when the port then fails
        f.model.setValue(QStringLiteral("afterBellMedia"), QStringLiteral("4"));
        f.relay.switchOn(false, reset);
        QCOMPARE(f.model.value(QStringLiteral("afterBellMedia")),
                 reset ? QStringLiteral("0") : QStringLiteral("4"));
        QVERIFY(f.failedShown());
    }
}

void TestAmplifierRelay::emptyStoreKeepsPortNumberInForce() {
    RelayFixture f;
    f.lines.setDevice(2, QStringLiteral("/dev/ttyS0"));
    f.lines.setPortNumber(2);
    f.relay.switchOn(false);  // nothing stored at all
    QCOMPARE(f.model.text(QStringLiteral("Label21")), QStringLiteral("Port COM"));
    QCOMPARE(f.lines.log.value(0), QStringLiteral("open COM2"));

    f.relay.switchOff();
    f.storePort(QStringLiteral("abc"));
    f.relay.switchOn(false);
    QCOMPARE(f.lines.portNumber(), 2);
    QCOMPARE(f.model.text(QStringLiteral("Label21")), QStringLiteral("Port COMabc"));
}

void TestAmplifierRelay::linesThatDoNotMoveShowFailedAndRelease() {
    RelayFixture f;
    f.storePort(QStringLiteral("1"));
    f.lines.linesStuck = true;
    f.relay.switchOn(false);
    QVERIFY(!f.lines.isOpen());  // no useless handle left behind
    QVERIFY(f.failedShown());
}

void TestAmplifierRelay::unpluggedWhileOnThenReplugged() {
    RelayFixture f;
    f.storePort(QStringLiteral("1"));
    f.relay.switchOn(false);
    f.lines.vanish();
    // The next bell: the dead handle is let go and the port is found missing.
    f.relay.switchOn(true);
    QVERIFY(!f.lines.isOpen());
    QVERIFY(f.failedShown());
    f.relay.switchOff();  // harmless on a closed port
    // Plugged in again: the bell after that has its amplifier.
    f.lines.setDevice(1, QStringLiteral("/dev/ttyUSB0"));
    f.relay.switchOn(true);
    QVERIFY(f.lines.energised());
    QVERIFY(f.normalShown());
}

void TestAmplifierRelay::permissionToldOncePerRun() {
    RelayFixture f;
    f.storePort(QStringLiteral("1"));
    f.lines.setFailure(1, Error::Permission);
    f.relay.switchOn(true);
    f.relay.switchOff();
    f.relay.switchOn(true);
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM1")));
    f.relay.testPort();
    QCOMPARE(f.dialogs.count(QStringLiteral("notice")), 1);
    const QString text = f.dialogs.shown.first().text;
    QVERIFY2(
        text.contains(QStringLiteral("dialout")) && text.contains(QStringLiteral("sudo adduser")),
        qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("COM1")));
    QVERIFY(text.contains(QStringLiteral("/dev/ttyUSB0")));
    // The test button is pressed by a person: the port is reported unusable as well.
    QCOMPARE(f.dialogs.count(QStringLiteral("message")), 1);
    QVERIFY(f.failedShown());
}

void TestAmplifierRelay::testPortOnValidPort() {
    RelayFixture f;
    f.storePort(QStringLiteral("1"));
    f.lines.setDevice(2, QStringLiteral("/dev/ttyS0"));
    f.model.setBackground(QStringLiteral("Label21"), kRed);
    f.model.setVisible(QStringLiteral("Label33"), true);
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM2")));

    f.relay.testPort();

    QCOMPARE(f.dialogs.shown.size(), 1);
    const auto& box = f.dialogs.shown.first();
    QCOMPARE(box.kind, QStringLiteral("message"));
    QCOMPARE(box.icon, Dialogs::Icon::Information);
    QCOMPARE(box.text, QStringLiteral("   Port Com2 ใช้งานได้\r\n\r\n  กด บันทึก เพื่อเริ่มการใช้งาน"));
    // While the box is up the relay is energised through RTS alone.
    QVERIFY(box.portOpen);
    QVERIFY(box.rts);
    QVERIFY(!box.dtr);
    // OK dropped it.
    QCOMPARE(f.lines.log, (QStringList{"open COM2", "rts on", "rts off", "close"}));
    QVERIFY(!f.lines.isOpen() && !f.lines.rts());
    QCOMPARE(f.relay.currentPort(), QStringLiteral("2"));
    QCOMPARE(f.stored(), QStringLiteral("1"));  // the test stores nothing
    QVERIFY(f.failedShown());                   // ... and leaves the indicator alone
}

void TestAmplifierRelay::testPortOnMissingPort() {
    RelayFixture f;
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM5")));
    f.relay.testPort();
    QCOMPARE(f.dialogs.shown.size(), 1);
    const auto& box = f.dialogs.shown.first();
    QCOMPARE(box.icon, Dialogs::Icon::Critical);
    QCOMPARE(box.text, QStringLiteral("   ไม่สามารถใช้งาน Port Com5 ได้\r\n\r\n   กรุณาเลือก Port ใหม่"));
    QVERIFY(f.lines.log.isEmpty());
    QVERIFY(f.normalShown());
    QCOMPARE(f.dialogs.count(QStringLiteral("notice")), 0);
}

void TestAmplifierRelay::testPortWhileRelayOn() {
    RelayFixture f;
    f.storePort(QStringLiteral("1"));
    f.relay.switchOn(false);  // music is playing
    const QStringList before = f.lines.log;
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM1")));
    f.relay.testPort();
    QVERIFY(f.dialogs.shown.isEmpty());
    QCOMPARE(f.lines.log, before);
    QVERIFY(f.lines.energised());
}

void TestAmplifierRelay::testPortWithoutSelectionUsesCurrentPort() {
    RelayFixture f;
    f.lines.setDevice(3, QStringLiteral("/dev/ttyS1"));
    f.relay.setCurrentPort(QStringLiteral("3"));
    QCOMPARE(f.model.text(QStringLiteral("Combo53")), QString());
    f.relay.testPort();
    QCOMPARE(f.dialogs.shown.size(), 1);
    QVERIFY(f.dialogs.shown.first().text.startsWith(QStringLiteral("   Port Com3 ")));
}

void TestAmplifierRelay::savePort() {
    RelayFixture f;
    int panelClosed = 0;
    f.relay.setClosePanel([&] { ++panelClosed; });
    f.storePort(QStringLiteral("1"));
    f.model.setBackground(QStringLiteral("Label21"), kRed);
    f.model.setVisible(QStringLiteral("Label33"), true);
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM4")));

    f.relay.savePort();

    QCOMPARE(f.stored(), QStringLiteral("4"));
    QCOMPARE(f.relay.currentPort(), QStringLiteral("4"));
    QCOMPARE(f.model.text(QStringLiteral("Label21")), QStringLiteral("Port COM4"));
    QVERIFY(f.normalShown());  // even though COM4 does not exist here
    QCOMPARE(f.lines.openCalls, 0);
    QCOMPARE(panelClosed, 1);
}

void TestAmplifierRelay::savePortWithoutSelection() {
    RelayFixture f;
    f.storePort(QStringLiteral("2"));
    f.relay.setCurrentPort(QStringLiteral("5"));
    f.relay.savePort();  // no panel closer set: still fine
    QCOMPARE(f.stored(), QStringLiteral("2"));
    QCOMPARE(f.model.text(QStringLiteral("Label21")), QStringLiteral("Port COM2"));
}

void TestAmplifierRelay::savePortWhenTheStoreFails_data() {
    QTest::addColumn<int>("failAt");  // the write that fails; 0: the sync
    QTest::newRow("the port") << 1;
    QTest::newRow("its device") << 2;
    QTest::newRow("the sync") << 0;
}

void TestAmplifierRelay::savePortWhenTheStoreFails() {
    QFETCH(int, failAt);
    RelayFixture f;
    f.storePort(QStringLiteral("1"));
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM4")));
    if (failAt)
        f.backend.failNthSetValue(failAt);
    else
        f.backend.failNextSync();
    f.relay.savePort();
    // Both or neither; what is shown is what is stored: the old port, not the one that
    // failed to save.
    QCOMPARE(f.stored(), QStringLiteral("1"));
    QVERIFY(f.store.GetSetting(kBaseApp, "com_port", "com_device").isNull());
    QCOMPARE(f.model.text(QStringLiteral("Label21")), QStringLiteral("Port COM1"));
}

// COM1 saved with the relay's adapter: with the adapter unplugged, COM1 is "cannot be
// opened" (red), never the built-in port that is now the first device. A store from before
// the device was saved keeps the n-th-device rule.
void TestAmplifierRelay::onlyTheSavedDeviceIsOpened_data() {
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("plugged");
    QTest::addColumn<QString>("opened");  // "" when nothing was opened
    const QString adapter = QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("saved, plugged in") << true << true << adapter;
    QTest::newRow("saved, unplugged") << true << false << QString();
    QTest::newRow("store from before, unplugged") << false << false << QStringLiteral("/dev/ttyS0");
}

void TestAmplifierRelay::onlyTheSavedDeviceIsOpened() {
    QFETCH(bool, saved);
    QFETCH(bool, plugged);
    QFETCH(QString, opened);
    const QString relayId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
    RelayFixture f;
    f.lines.setDevice(1, QStringLiteral("/dev/ttyUSB0"), relayId);
    f.lines.setDevice(2, QStringLiteral("/dev/ttyS0"));
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM1")));
    if (saved) {
        f.relay.savePort();
        QCOMPARE(f.store.GetSetting(kBaseApp, "com_port", "com_device"), relayId);
    } else {
        f.storePort(QStringLiteral("1"));
    }
    if (!plugged) {  // the built-in port moves up to COM1
        f.lines.clearDevices();
        f.lines.setDevice(1, QStringLiteral("/dev/ttyS0"));
    }
    f.relay.configure();  // start-up
    f.relay.switchOn(true);
    QCOMPARE(f.lines.openDevice(), opened);
    QCOMPARE(f.failedShown(), opened.isEmpty());
}

void TestAmplifierRelay::testPortOnABusyPort() {
    RelayFixture f;
    f.lines.setFailure(1, Error::Busy);
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM1")));
    f.relay.testPort();
    QCOMPARE(f.dialogs.count(QStringLiteral("message")), 1);
    QVERIFY(f.dialogs.shown.first().text.startsWith(QStringLiteral("   ไม่สามารถใช้งาน Port Com1")));
}

void TestAmplifierRelay::deviceLabelFollowsSelector() {
    RelayFixture f;
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM1")));
    QCOMPARE(f.model.text(QStringLiteral("lbl_com_device")), QStringLiteral("COM1 = /dev/ttyUSB0"));
    QVERIFY(f.model.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM3")));
    QCOMPARE(f.model.text(QStringLiteral("lbl_com_device")), QStringLiteral("COM3 = ไม่พบอุปกรณ์"));
    // A device that appears later is shown when the panel is prepared again.
    f.lines.setDevice(3, QStringLiteral("/dev/ttyACM0"));
    f.relay.configure();
    QCOMPARE(f.model.text(QStringLiteral("lbl_com_device")), QStringLiteral("COM3 = /dev/ttyACM0"));
}

QTEST_GUILESS_MAIN(TestAmplifierRelay)
#include "test_amplifierrelay.moc"
