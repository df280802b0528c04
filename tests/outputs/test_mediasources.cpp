#include "outputs/mediasources.h"
#include "platform/fake/fakeprocesses.h"
#include "relayfixture.h"

#include <QElapsedTimer>
#include <QTest>

using namespace tavirin;

namespace {

const QStringList kStops{"end audacious", "end firefox-esr", "end firefox", "end chromium"};
const QStringList kRelayOn{"serial open COM1", "serial rts on", "serial dtr on"};
const QStringList kRelayOff{"serial rts off", "serial dtr off", "serial close"};

// Relay, processes and waits write into one journal, so their order is visible.
struct MediaFixture : RelayFixture {
    MediaFixture() {
        lines.journal = &journal;
        processes.journal = &journal;
        waiter.journal = &journal;
        storePort(QStringLiteral("1"));
        media.connectControls();
    }
    QStringList journal;
    FakeProcesses processes;
    FakeWaiter waiter;
    MediaSources media{model, relay, processes, waiter};
};

}  // namespace

class TestMediaSources : public QObject {
    Q_OBJECT

private slots:
    void playMusic();
    void everyLabelOfTheGroupStartsMusic();
    void musicWhileStationPlays();
    void musicWithInvalidPort();
    void missingPlayerIsNoCrash();
    void playRadio_data();
    void playRadio();
    void browserFallback();
    void stopMusicAndRadio();
    void eventLoopWaiter();
};

void TestMediaSources::playMusic() {
    MediaFixture f;
    f.model.setValue(QStringLiteral("afterBellMedia"), QStringLiteral("4"));
    f.model.click(arrayName(QStringLiteral("Label48"), 5));  // "เปิดเพลง MP3"
    QCOMPARE(f.journal, kStops + kRelayOn + QStringList({"wait 1000", "start audacious [--play]"}));
    QCOMPARE(f.model.value(QStringLiteral("afterBellMedia")), QStringLiteral("0"));
}

void TestMediaSources::everyLabelOfTheGroupStartsMusic() {
    for (int member = 0; member <= 5; ++member) {
        MediaFixture f;
        f.model.click(arrayName(QStringLiteral("Label48"), member));  // "วินาที", "1." ...
        QCOMPARE(f.journal.value(f.journal.size() - 1), QStringLiteral("start audacious [--play]"));
    }
}

void TestMediaSources::musicWhileStationPlays() {
    MediaFixture f;
    f.model.setText(QStringLiteral("radio2"), QStringLiteral("http://radio.example/#cool"));
    f.model.click(QStringLiteral("lbl_r2"));
    f.journal.clear();
    f.model.click(arrayName(QStringLiteral("Label48"), 5));
    // The browser ends, the relay stays on (no line moves), after 1 s the player starts.
    QCOMPARE(f.journal, kStops + QStringList({"wait 1000", "start audacious [--play]"}));
    QVERIFY(f.lines.energised());
}

void TestMediaSources::musicWithInvalidPort() {
    MediaFixture f;
    f.storePort(QStringLiteral("7"));
    f.model.click(arrayName(QStringLiteral("Label48"), 5));
    QCOMPARE(f.journal, kStops + QStringList({"wait 1000", "start audacious [--play]"}));
    QVERIFY(f.failedShown());
}

void TestMediaSources::missingPlayerIsNoCrash() {
    MediaFixture f;
    f.processes.missing.insert(QStringLiteral("audacious"));
    f.media.playMusic();
    QVERIFY(f.lines.energised());  // the amplifier stays on with nothing playing
}

void TestMediaSources::playRadio_data() {
    QTest::addColumn<int>("station");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("expected");
    const QStringList started = kStops + kRelayOn + QStringList{"wait 3000"};
    const QString url = QStringLiteral("http://radio.example/#88-fm");
    QTest::newRow("station 1") << 1 << url
                               << started + QStringList{"start firefox-esr [" + url + "]"};
    QTest::newRow("station 3") << 3 << url
                               << started + QStringList{"start firefox-esr [" + url + "]"};
    QTest::newRow("leading blanks are kept")
        << 2 << "  " + url + " " << started + QStringList{"start firefox-esr [  " + url + " ]"};
    QTest::newRow("shell text is one argument")
        << 1 << "http://x/;touch /tmp/pwned"
        << started + QStringList{"start firefox-esr [http://x/;touch /tmp/pwned]"};
    QTest::newRow("empty: nothing at all") << 1 << "" << QStringList{};
    QTest::newRow("blanks only: nothing at all") << 2 << "   " << QStringList{};
    QTest::newRow("tab and blanks: nothing at all") << 3 << " \t " << QStringList{};
    // A browser would read it as one of its options; no address starts so.
    QTest::newRow("leading dash is not handed over") << 1 << "--kiosk" << started;
}

void TestMediaSources::playRadio() {
    QFETCH(int, station);
    QFETCH(QString, address);
    QFETCH(QStringList, expected);
    MediaFixture f;
    f.model.setValue(QStringLiteral("afterBellMedia"), QStringLiteral("2"));
    f.model.setText(QStringLiteral("radio") + QString::number(station), address);
    f.model.click(QStringLiteral("lbl_r") + QString::number(station));
    QCOMPARE(f.journal, expected);
    QCOMPARE(f.model.value(QStringLiteral("afterBellMedia")),
             expected.isEmpty() ? QStringLiteral("2") : QStringLiteral("0"));
}

void TestMediaSources::browserFallback() {
    MediaFixture f;
    f.model.setText(QStringLiteral("radio1"), QStringLiteral("http://a"));
    f.processes.missing = {QStringLiteral("firefox-esr")};
    f.media.launchRadio(1);
    QCOMPARE(f.processes.described(),
             (QStringList{"start firefox-esr [http://a]", "start firefox [http://a]"}));

    f.processes.calls.clear();
    f.processes.missing = {QStringLiteral("firefox-esr"), QStringLiteral("firefox"),
                           QStringLiteral("chromium")};
    f.media.launchRadio(1);  // no browser at all: logged, nothing else
    QCOMPARE(f.processes.calls.size(), 3);

    f.processes.calls.clear();
    f.media.launchRadio(4);
    f.media.playRadio(0);
    QVERIFY(f.processes.calls.isEmpty());
}

void TestMediaSources::stopMusicAndRadio() {
    MediaFixture f;
    f.model.click(QStringLiteral("lbl_stop_r"));  // nothing plays
    QCOMPARE(f.journal, kStops);
    QVERIFY(!f.lines.isOpen());

    f.media.playMusic();
    f.journal.clear();
    f.model.click(QStringLiteral("lbl_stop_r"));
    QCOMPARE(f.journal, kStops + kRelayOff);
}

void TestMediaSources::eventLoopWaiter() {
    QTimer held;  // one of the window's timers: must not tick during the wait
    held.setInterval(5);
    int heldTicks = 0;
    connect(&held, &QTimer::timeout, [&] { ++heldTicks; });
    held.start();
    bool otherEventRan = false;  // anything else (a repaint, say) still runs
    QTimer::singleShot(20, [&] { otherEventRan = true; });

    EventLoopWaiter waiter({&held});
    QElapsedTimer t;
    t.start();
    waiter.waitMs(150);
    QVERIFY(t.elapsed() >= 150);
    QCOMPARE(heldTicks, 0);
    QVERIFY(otherEventRan);
    QVERIFY(held.isActive());  // running again afterwards
    QTRY_VERIFY(heldTicks > 0);

    QTimer stopped;  // a held timer that was stopped stays stopped
    EventLoopWaiter second({&stopped});
    second.waitMs(10);
    QVERIFY(!stopped.isActive());
}

QTEST_GUILESS_MAIN(TestMediaSources)
#include "test_mediasources.moc"
