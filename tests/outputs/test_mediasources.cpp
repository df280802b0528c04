#include "outputs/mediasources.h"
#include "platform/fake/fakeprocesses.h"
#include "platform/fake/fakeradioplayer.h"
#include "relayfixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tavirin;
using Event = RadioPlayer::Event;

namespace {

// The browser profiles' folder, below this test's own data folder.
QString profiles;

// The stream stops, the player ends by name, the browser by our profiles only.
QStringList stops() {
    return {"radio stop", "end audacious",
            QStringLiteral("end-arg [%1/firefox-esr|%1/firefox|--user-data-dir=%1/chromium]")
                .arg(profiles)};
}
const QStringList kRelayOn{"serial open COM1", "serial rts on", "serial dtr on"};
const QStringList kRelayOff{"serial rts off", "serial dtr off", "serial close"};

// Relay, processes, radio and waits write into one journal, so their order is visible.
struct MediaFixture : RelayFixture {
    MediaFixture() {
        lines.journal = &journal;
        processes.journal = &journal;
        waiter.journal = &journal;
        radio.journal = &journal;
        storePort(QStringLiteral("1"));
        media.connectControls();
    }
    QStringList notices() const {
        QStringList out;
        for (const auto& s : dialogs.shown)
            if (s.kind == QLatin1String("notice")) out << s.title + u'|' + s.text;
        return out;
    }
    QStringList journal;
    FakeProcesses processes;
    FakeWaiter waiter;
    FakeRadioPlayer radio;
    MediaSources media{model, relay, processes, waiter, radio, dialogs};
};

}  // namespace

class TestMediaSources : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void playMusic();
    void everyLabelOfTheGroupStartsMusic();
    void musicWhileStationPlays();
    void musicWithInvalidPort();
    void missingPlayerIsNoCrash();
    void playRadio_data();
    void playRadio();
    void serverAnswer_data();
    void serverAnswer();
    void stopMusicAndRadio();
    void eventLoopWaiter();

private:
    QTemporaryDir data_;
};

void TestMediaSources::initTestCase() {
    // The browser profiles go below the data folder: this test's own.
    QVERIFY(data_.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(data_.path()));
    profiles = data_.path() + QStringLiteral("/tavirin/radio-browser");
}

void TestMediaSources::playMusic() {
    MediaFixture f;
    f.model.setValue(QStringLiteral("afterBellMedia"), QStringLiteral("4"));
    f.model.click(arrayName(QStringLiteral("Label48"), 5));  // "เปิดเพลง MP3"
    QCOMPARE(f.journal,
             stops() + kRelayOn + QStringList({"wait 1000", "start audacious [--play]"}));
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
    // The station stops, the relay stays on (no line moves), after 1 s the player starts.
    QCOMPARE(f.journal, stops() + QStringList({"wait 1000", "start audacious [--play]"}));
    QVERIFY(f.lines.energised());
}

void TestMediaSources::musicWithInvalidPort() {
    MediaFixture f;
    f.storePort(QStringLiteral("7"));
    f.model.click(arrayName(QStringLiteral("Label48"), 5));
    QCOMPARE(f.journal, stops() + QStringList({"wait 1000", "start audacious [--play]"}));
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
    QTest::addColumn<QString>("opened");  // the radio's open line; "" when refused
    const QString page = QStringLiteral("http://radio.example/#88-fm");
    QTest::newRow("a page is asked") << 1 << page << "radio open " + page + " ask";
    QTest::newRow("an .mp3 with a query is a stream")
        << 3 << "https://radio.example/live.mp3?token=a%20b"
        << "radio open https://radio.example/live.mp3?token=a%20b stream";
    QTest::newRow("any letter case, blanks around")
        << 2 << "  HTTP://radio.example/list.M3U \t"
        << "radio open http://radio.example/list.M3U stream";
    QTest::newRow("no scheme reads as http") << 1 << "radio.example/s.pls"
                                             << "radio open http://radio.example/s.pls stream";
    QTest::newRow("an ending in the query only is asked")
        << 1 << "http://radio.example/play?f=a.ogg"
        << "radio open http://radio.example/play?f=a.ogg ask";
    // A browser would read it as one of its options; no address starts so.
    QTest::newRow("leading dash") << 1 << "--kiosk" << QString();
    QTest::newRow("leading dash after blanks") << 1 << "  -new-tab x" << QString();
    QTest::newRow("ftp") << 2 << "ftp://radio.example/a.mp3" << QString();
    QTest::newRow("a local file") << 3 << "file:///etc/passwd" << QString();
    QTest::newRow("javascript") << 1 << "javascript:alert(1)" << QString();
}

void TestMediaSources::playRadio() {
    QFETCH(int, station);
    QFETCH(QString, address);
    QFETCH(QString, opened);
    MediaFixture f;
    f.model.setValue(QStringLiteral("afterBellMedia"), QStringLiteral("2"));
    f.model.setText(QStringLiteral("radio") + QString::number(station), address);
    f.model.click(QStringLiteral("lbl_r") + QString::number(station));
    QStringList expected = stops() + kRelayOn + QStringList{"wait 3000"};
    if (!opened.isEmpty()) expected << opened;
    QCOMPARE(f.journal, expected);
    QCOMPARE(f.model.value(QStringLiteral("afterBellMedia")), QStringLiteral("0"));
    if (opened.isEmpty()) {
        // Told, once, and nothing started.
        QCOMPARE(f.notices().size(), 1);
        QVERIFY(f.notices().first().contains(QStringLiteral("ไม่ใช่ที่อยู่เว็บ")));
        QVERIFY(f.notices().first().contains(QStringLiteral("สถานีที่ ") + QString::number(station)));
    } else {
        QVERIFY(f.notices().isEmpty());
    }

    // A box of blanks does nothing at all: no stop, no relay, no wait.
    MediaFixture blank;
    blank.model.setText(QStringLiteral("radio1"), QStringLiteral(" \t "));
    blank.model.click(QStringLiteral("lbl_r1"));
    QVERIFY(blank.journal.isEmpty());
}

void TestMediaSources::serverAnswer_data() {
    QTest::addColumn<int>("event");
    QTest::addColumn<QStringList>("missing");  // browsers not installed
    QTest::addColumn<QStringList>("started");  // what started after the answer
    QTest::addColumn<QString>("notice");       // the cause in the notice, "" for none
    // Exactly as typed, shell characters and blanks included: one argument.
    const QString typed = QStringLiteral("  http://radio.example/;touch /tmp/pwned#88-fm ");
    const QString esr = QStringLiteral(
                            "start firefox-esr [--no-remote|--new-instance|--profile|"
                            "%1/firefox-esr|%2]")
                            .arg(profiles, typed);
    const QString chromium = QStringLiteral(
                                 "start chromium [--user-data-dir=%1/chromium|--no-first-run|"
                                 "--no-default-browser-check|"
                                 "--autoplay-policy=no-user-gesture-required|%2]")
                                 .arg(profiles, typed);
    QTest::newRow("a page: our browser with our profile")
        << int(Event::Page) << QStringList() << QStringList{esr} << QString();
    QTest::newRow("no Firefox: Chromium with our profile")
        << int(Event::Page) << QStringList{"firefox-esr", "firefox"}
        << QStringList{"start firefox-esr", "start firefox", chromium} << QString();
    QTest::newRow("no browser at all")
        << int(Event::Page) << QStringList{"firefox-esr", "firefox", "chromium"}
        << QStringList{"start firefox-esr", "start firefox", "start chromium"}
        << QStringLiteral("ไม่พบเว็บเบราว์เซอร์");
    QTest::newRow("playing") << int(Event::Playing) << QStringList() << QStringList() << QString();
    QTest::newRow("unreachable") << int(Event::Unreachable) << QStringList() << QStringList()
                                 << QStringLiteral("ติดต่อสถานีไม่ได้");
    QTest::newRow("not playable") << int(Event::Failed) << QStringList() << QStringList()
                                  << QStringLiteral("เล่นเสียงจากสถานีไม่ได้");
}

void TestMediaSources::serverAnswer() {
    QFETCH(int, event);
    QFETCH(QStringList, missing);
    QFETCH(QStringList, started);
    QFETCH(QString, notice);
    MediaFixture f;
    f.processes.missing = QSet<QString>(missing.begin(), missing.end());
    f.model.setText(QStringLiteral("radio1"),
                    QStringLiteral("  http://radio.example/;touch /tmp/pwned#88-fm "));
    f.media.launchRadio(1);
    QCOMPARE(f.radio.calls.size(), 1);
    QVERIFY(f.processes.calls.isEmpty());  // nothing before the server has answered

    f.radio.answer(Event(event), QStringLiteral("detail"));
    QStringList got = f.processes.described();
    // a browser that failed to start shows its name only
    for (QString& line : got)
        if (missing.contains(line.section(u' ', 1, 1))) line = line.section(u' ', 0, 1);
    QCOMPARE(got, started);
    const QStringList notices = f.notices();
    QCOMPARE(notices.size(), notice.isEmpty() ? 0 : 1);
    if (!notice.isEmpty()) {
        QVERIFY(notices.first().startsWith(QStringLiteral("เปิดวิทยุออนไลน์ไม่ได้|") + notice));
        // the server's own words, for whoever reads further
        if (Event(event) != Event::Page)
            QVERIFY(notices.first().endsWith(QStringLiteral("\ndetail")));
    }
    if (started.size() == 1) {
        // Firefox's profile lets the page play without a click.
        QFile prefs(profiles + QStringLiteral("/firefox-esr/user.js"));
        QVERIFY(prefs.open(QIODevice::ReadOnly));
        QVERIFY(prefs.readAll().contains("user_pref(\"media.autoplay.default\", 0);"));
    }
}

void TestMediaSources::stopMusicAndRadio() {
    MediaFixture f;
    f.model.click(QStringLiteral("lbl_stop_r"));  // nothing plays
    QCOMPARE(f.journal, stops());
    QVERIFY(!f.lines.isOpen());

    f.media.playMusic();
    f.journal.clear();
    f.model.click(QStringLiteral("lbl_stop_r"));
    QCOMPARE(f.journal, stops() + kRelayOff);
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
