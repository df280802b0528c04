// The radio player on the real components: Qt Network and GStreamer against an HTTP server on
// 127.0.0.1 started here, the sound going into a PulseAudio null sink of this test's own,
// whose monitor is recorded.

#include "platform/radio/gstradioplayer.h"
#include "support/httpserver.h"
#include "support/radiostreams.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace tavirin;
using namespace tavirin::test;
using Event = RadioPlayer::Event;

namespace {

const RadioLimits kLimits{/*answerMs=*/1500, /*startMs=*/4000, /*stallS=*/3,
                          /*reconnectMs=*/200, /*steadyMs=*/60000};
constexpr int kBytesPerSecond = 8000;  // 64 kbit/s

// What the player reported, in order.
struct Events {
    QList<Event> events;
    QStringList details;
    RadioPlayer::Listener listener() {
        return [this](Event e, const QString& d) {
            events << e;
            details << d;
        };
    }
};

int count(const QString& dir) {
    return int(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}
int openFiles() {
    return count(QStringLiteral("/proc/self/fd"));
}
int threads() {
    return count(QStringLiteral("/proc/self/task"));
}

}  // namespace

class TestGstRadioPlayer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void answers_data();
    void answers();
    void reconnectsOnceThenReports();
    void stopLeavesNothingBehind();
    void hungSoundServerHoldsNothing();

private:
    bool heard();
    int ourSinkInputs();

    QTemporaryDir dir_;
    PulseServer pulse_;
    HttpServer http_;
    QString refused_;  // an address where nobody listens
};

void TestGstRadioPlayer::initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY2(pulse_.start(), qPrintable(pulse_.why()));
    const QByteArray mp3 = encodeTone(dir_.filePath(QStringLiteral("tone.mp3")),
                                      "lamemp3enc target=bitrate bitrate=64 cbr=true");
    const QByteArray aac = encodeTone(dir_.filePath(QStringLiteral("tone.aac")),
                                      "avenc_aac bitrate=64000 ! aacparse ! "
                                      "audio/mpeg,mpegversion=4,stream-format=adts");
    QVERIFY(!mp3.isEmpty());
    QVERIFY2(!aac.isEmpty(), "no AAC encoder: gstreamer1.0-libav (scripts/setup-debian.sh)");

    QVERIFY(http_.start());
    http_.route(QStringLiteral("/live"), {"HTTP/1.0 200 OK", "audio/mpeg", mp3, kBytesPerSecond});
    http_.route(QStringLiteral("/aac"), {"HTTP/1.0 200 OK", "audio/aac", aac, kBytesPerSecond});
    http_.route(QStringLiteral("/list.m3u"),
                {"HTTP/1.0 200 OK", "",
                 "#EXTM3U\r\n#EXTINF:-1,Test\r\n" + http_.url("/live").toUtf8() + "\r\n"});
    http_.route(QStringLiteral("/pls"),
                {"HTTP/1.0 200 OK", "audio/x-scpls",
                 "[playlist]\nNumberOfEntries=2\nFile2=/nothing\nFile1=/live\n"});
    http_.route(QStringLiteral("/empty.m3u"), {"HTTP/1.0 200 OK", "audio/x-mpegurl", "#EXTM3U\n"});
    http_.route(QStringLiteral("/page"),
                {"HTTP/1.0 200 OK", "text/html; charset=utf-8", "<html><audio autoplay></html>"});
    http_.route(QStringLiteral("/silent"), {"", "", "", 0, -1, true});
    // a second of sound, then the connection is closed, every time
    http_.route(QStringLiteral("/drops"),
                {"HTTP/1.0 200 OK", "audio/mpeg", mp3, kBytesPerSecond, kBytesPerSecond});

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    refused_ = QStringLiteral("http://127.0.0.1:%1/live").arg(closed.serverPort());
}

bool TestGstRadioPlayer::heard() {
    return test::heard(pulse_, dir_.filePath(QStringLiteral("rec.wav")));
}

int TestGstRadioPlayer::ourSinkInputs() {
    return test::ourSinkInputs(pulse_);
}

void TestGstRadioPlayer::answers_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("isStream");
    QTest::addColumn<int>("event");
    QTest::newRow("mp3 named by its type") << "/live" << false << int(Event::Playing);
    QTest::newRow("aac named by its type") << "/aac" << false << int(Event::Playing);
    QTest::newRow("m3u without a type: its first stream")
        << "/list.m3u" << true << int(Event::Playing);
    QTest::newRow("pls by its type: lowest entry, relative")
        << "/pls" << false << int(Event::Playing);
    QTest::newRow("a web page") << "/page" << false << int(Event::Page);
    QTest::newRow("a web page where a stream should be") << "/page" << true << int(Event::Failed);
    QTest::newRow("not found, asked: the browser may tell") << "/gone" << false << int(Event::Page);
    QTest::newRow("not found, a stream") << "/gone.mp3" << true << int(Event::Failed);
    QTest::newRow("a playlist naming nothing") << "/empty.m3u" << true << int(Event::Failed);
    QTest::newRow("a server that never answers") << "/silent" << false << int(Event::Unreachable);
    QTest::newRow("nobody listens") << "refused" << true << int(Event::Unreachable);
}

void TestGstRadioPlayer::answers() {
    QFETCH(QString, path);
    QFETCH(bool, isStream);
    QFETCH(int, event);
    GstRadioPlayer player(QStringLiteral("autoaudiosink"), kLimits);
    Events got;
    QElapsedTimer t;
    t.start();
    player.open(path == QLatin1String("refused") ? refused_ : http_.url(path), isStream,
                got.listener());
    QVERIFY(got.events.isEmpty());  // never from inside open()
    QTRY_VERIFY_WITH_TIMEOUT(!got.events.isEmpty(), 10000);
    QCOMPARE(got.events.first(), Event(event));
    // Every answer within its limit: the question, or the stream's start.
    QVERIFY2(t.elapsed() < kLimits.answerMs + kLimits.startMs,
             qPrintable(QString::number(t.elapsed())));

    if (Event(event) == Event::Playing) {
        QVERIFY(heard());
        QCOMPARE(ourSinkInputs(), 1);
    } else {
        QCOMPARE(ourSinkInputs(), 0);
    }
    player.stop();
    QTRY_COMPARE(http_.open(QStringLiteral("/live")) + http_.open(QStringLiteral("/aac")), 0);
    QTRY_COMPARE(ourSinkInputs(), 0);
    QCOMPARE(got.events.size(), 1);
}

void TestGstRadioPlayer::reconnectsOnceThenReports() {
    GstRadioPlayer player(QStringLiteral("autoaudiosink"), kLimits);
    Events got;
    player.open(http_.url(QStringLiteral("/drops")), true, got.listener());
    QTRY_VERIFY_WITH_TIMEOUT(got.events.size() == 2, 15000);
    QCOMPARE(got.events, (QList<Event>{Event::Playing, Event::Failed}));
    QVERIFY2(got.details.last().contains(QStringLiteral("again")), qPrintable(got.details.last()));
    // GStreamer connected twice, the stream and its one reconnection; no more
    auto streams = [&] {
        int n = 0;
        for (const QByteArray& agent : http_.requests(QStringLiteral("/drops")))
            n += agent.startsWith("GStreamer") ? 1 : 0;
        return n;
    };
    QCOMPARE(streams(), 2);
    QTest::qWait(500);
    QCOMPARE(streams(), 2);
    QCOMPARE(ourSinkInputs(), 0);
}

void TestGstRadioPlayer::stopLeavesNothingBehind() {
    auto cycle = [&] {
        GstRadioPlayer player(QStringLiteral("autoaudiosink"), kLimits);
        Events got;
        player.open(http_.url(QStringLiteral("/live")), true, got.listener());
        QTRY_VERIFY_WITH_TIMEOUT(!got.events.isEmpty(), 8000);
        QCOMPARE(got.events.first(), Event::Playing);
        player.stop();
        QTRY_COMPARE(http_.open(QStringLiteral("/live")), 0);
        QTRY_COMPARE(ourSinkInputs(), 0);
        QTest::qWait(200);
        QCOMPARE(got.events.size(), 1);  // nothing after stop()
    };
    auto settle = [] {
        g_thread_pool_stop_unused_threads();
        QTest::qWait(300);
    };
    cycle();  // GStreamer's, PulseAudio's and Qt's shared parts are made once
    if (QTest::currentTestFailed()) return;
    settle();
    const int files = openFiles(), running = threads();
    for (int i = 0; i < 3 && !QTest::currentTestFailed(); ++i) cycle();
    settle();
    // Pools may let an idle thread go meanwhile; nothing of ours may stay.
    QVERIFY2(openFiles() <= files,
             qPrintable(QStringLiteral("%1 > %2").arg(openFiles()).arg(files)));
    QVERIFY2(threads() <= running,
             qPrintable(QStringLiteral("%1 > %2").arg(threads()).arg(running)));
}

void TestGstRadioPlayer::hungSoundServerHoldsNothing() {
    // The sound server stops answering: opening its output waits on the stream's thread, and
    // the caller's thread runs on.
    RadioLimits limits = kLimits;
    limits.startMs = 1500;
    GstRadioPlayer player(QStringLiteral("autoaudiosink"), limits);
    Events got;
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(50);
    pulse_.freeze();
    QElapsedTimer t;
    t.start();
    player.open(http_.url(QStringLiteral("/live")), true, got.listener());
    QVERIFY(t.elapsed() < 100);
    QTRY_VERIFY_WITH_TIMEOUT(!got.events.isEmpty(), 12000);
    QCOMPARE(got.events.first(), Event::Failed);
    QVERIFY(t.elapsed() < limits.answerMs + limits.startMs + 3000);
    QVERIFY2(ticks >= t.elapsed() / 50 / 2, qPrintable(QString::number(ticks)));
    pulse_.thaw();

    // With the server back the same player plays again.
    got.events.clear();
    player.open(http_.url(QStringLiteral("/live")), true, got.listener());
    QTRY_VERIFY_WITH_TIMEOUT(!got.events.isEmpty(), 8000);
    QCOMPARE(got.events.first(), Event::Playing);
    player.stop();
}

QTEST_GUILESS_MAIN(TestGstRadioPlayer)
#include "test_gstradioplayer.moc"
