// Online radio after the bell, on the real parts: the bell chain on the real timers (its
// sounds take no time here), the radio player on Qt Network and GStreamer into a PulseAudio
// null sink of this test's own, an HTTP server on 127.0.0.1, and real processes. No browser
// is installed on the test machine: a stand-in executable named firefox-esr in a test PATH
// is both the teacher's own browser and the one the program starts for a web page; the point
// there is which processes end.

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "outputs/soundplayer.h"
#include "platform/fake/fakeaudiooutput.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/fake/offsetclock.h"
#include "platform/process/systemprocesses.h"
#include "platform/radio/gstradioplayer.h"
#include "scheduler/shownwindow.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "support/httpserver.h"
#include "support/liveprocess.h"
#include "support/radiostreams.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tavirin;
using namespace tavirin::test;

class TestRadioAfterBell : public QObject {
    Q_OBJECT

private slots:
    void streamThenPageThenOff();
};

void TestRadioAfterBell::streamThenPageThenOff() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString bin = dir.filePath(QStringLiteral("bin"));
    const QString log = dir.filePath(QStringLiteral("browsers"));
    QVERIFY(QDir().mkpath(bin) && QDir().mkpath(log));
    QVERIFY(
        QFile::copy(QStringLiteral(TAVIRIN_STANDIN_BROWSER), bin + QStringLiteral("/firefox-esr")));
    qputenv("PATH", QFile::encodeName(bin) + ':' + qgetenv("PATH"));
    qputenv("TAVIRIN_STANDIN_LOG", QFile::encodeName(log));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));

    PulseServer pulse;
    QVERIFY2(pulse.start(), qPrintable(pulse.why()));
    HttpServer http;
    QVERIFY(http.start());
    const QByteArray mp3 = encodeTone(dir.filePath(QStringLiteral("tone.mp3")),
                                      "lamemp3enc target=bitrate bitrate=64 cbr=true");
    QVERIFY(!mp3.isEmpty());
    http.route(QStringLiteral("/live.mp3"), {"HTTP/1.0 200 OK", "audio/mpeg", mp3, 8000});
    http.route(QStringLiteral("/station"), {"HTTP/1.0 200 OK", "text/html", "<audio autoplay>"});

    // The teacher's own browser, open since the morning.
    QProcess teacher;
    teacher.start(bin + QStringLiteral("/firefox-esr"),
                  {QStringLiteral("https://mail.example/draft")});
    QVERIFY(teacher.waitForStarted());
    const QString teacherPid = QString::number(teacher.processId());
    // Another build of the program from before this change, run by the same user on the same
    // machine (a test of another checkout), ends every firefox-esr by name, stand-ins
    // included: say so rather than fail somewhere further on.
    auto teacherRuns = [&] {
        return teacher.state() == QProcess::Running
                   ? QByteArray()
                   : QByteArray(
                         "the teacher's browser was ended; by this program, or by an older "
                         "one running meanwhile as the same user?");
    };

    OffsetClock clock;
    MemorySettingsBackend backend;
    ProgramStore store(backend);
    SoundLibrary library(QStringLiteral("/lib"));
    FormModel form;
    buildForm1(form);
    form.setItems(QStringLiteral("Combo54"), {QStringLiteral("standard")});
    FakeDialogs dialogs;
    FakeAudioOutput audio;
    FakeSerialLines serial;
    SystemProcesses processes(300);
    GstRadioPlayer radio(QStringLiteral("autoaudiosink"));
    NoWait waiter;
    BellChain bells(form, store, clock, library, audio, dialogs, serial, processes, radio, waiter);
    QVERIFY(seedFirstRun(store, library));
    QVERIFY(writeFirstRunMarker(store));
    clock.setNow(QDateTime(QDate(2026, 12, 9), QTime(7, 59, 59, 700)));  // a Wednesday
    bells.arming.armToday();
    const QString today = bells.arming.activeApplication();
    // Short bells: a second of amplifier delay, blips for the time. 08:00 hands the PA to
    // station 1 (a stream), 09:00 to station 2 (a page), 10:00 switches off.
    for (const auto& [key, value] : {std::pair{"m27", "1"}, {"m29", "3"}})
        QVERIFY(store.SaveSetting(today, keys::kTime, QString::fromLatin1(key),
                                  QString::fromLatin1(value)));
    QVERIFY(store.SaveSetting(today, keys::kFm, keys::fm(2), QStringLiteral("1")));
    QVERIFY(store.SaveSetting(today, keys::kFm, keys::fm(3), QStringLiteral("2")));
    QVERIFY(store.SaveSetting(today, keys::kFm, keys::fm(4), QStringLiteral("0")));
    bells.arming.armToday();  // as the editor's save does
    form.setText(QStringLiteral("radio1"), http.url(QStringLiteral("/live.mp3")));
    form.setText(QStringLiteral("radio2"), http.url(QStringLiteral("/station")));
    form.timer(QStringLiteral("Timer3"))->start();
    const QString backChime = library.backChimeFile();
    auto bellsRung = [&] { return int(audio.paths().count(backChime)); };

    // 08:00: after the bell the stream plays into the sink.
    QTRY_VERIFY_WITH_TIMEOUT(ourSinkInputs(pulse) == 1, 10000);
    QCOMPARE(bellsRung(), 1);
    QVERIFY(heard(pulse, dir.filePath(QStringLiteral("rec.wav"))));
    QVERIFY(serial.energised());

    // 09:00: the bell ends the stream; afterwards station 2 is a page, in our browser.
    clock.setNow(QDateTime(QDate(2026, 12, 9), QTime(8, 59, 59, 700)));
    QTRY_VERIFY_WITH_TIMEOUT(bellsRung() == 2, 10000);
    QCOMPARE(ourSinkInputs(pulse), 0);
    QCOMPARE(http.open(QStringLiteral("/live.mp3")), 0);
    QVERIFY2(teacherRuns().isEmpty(), teacherRuns());
    // each stand-in writes its arguments into a file named by its pid
    auto startedBrowsers = [&] {
        QStringList pids;
        for (const QString& name : QDir(log).entryList(QDir::Files))
            if (name.toLongLong() > 0 && name != teacherPid) pids << name;
        return pids;
    };
    QTRY_VERIFY_WITH_TIMEOUT(startedBrowsers().size() == 1, 10000);
    const QStringList logs = startedBrowsers();
    const qint64 ours = logs.first().toLongLong();
    QFile args(log + u'/' + logs.first());
    QVERIFY(args.open(QIODevice::ReadOnly));
    QVERIFY(args.readAll().split('\0').contains(
        QFile::encodeName(media::profileFolder(media::kBrowsers.first()))));
    QVERIFY(alive(ours));

    // 10:00: the bell ends our browser, never the teacher's; the amplifier goes off.
    clock.setNow(QDateTime(QDate(2026, 12, 9), QTime(9, 59, 59, 700)));
    QTRY_VERIFY_WITH_TIMEOUT(bellsRung() == 3, 10000);
    QVERIFY(!alive(ours));
    QVERIFY2(teacherRuns().isEmpty(), teacherRuns());
    QTRY_VERIFY(!serial.isOpen());
    QCOMPARE(dialogs.count(QStringLiteral("notice")), 0);

    form.timer(QStringLiteral("Timer3"))->stop();
    teacher.kill();
    teacher.waitForFinished();
}

QTEST_GUILESS_MAIN(TestRadioAfterBell)
#include "test_radioafterbell.moc"
