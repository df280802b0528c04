// A bell on the real Qt timers and real GStreamer playback (fakesink in real time) from the
// default sound library: the program keeps running its event loop while the sounds play, so
// the clock label moves on during the bell, while the scheduler tick stays stopped.

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "outputs/soundplayer.h"
#include "outputs/waiter.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakeprocesses.h"
#include "platform/fake/fakeradioplayer.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/fake/offsetclock.h"
#include "scheduler/shownwindow.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QTest>
#include <QUrl>
#include <gst/gst.h>

using namespace tavirin;

class TestBellRealTime : public QObject {
    Q_OBJECT

private slots:
    void theClockRunsWhileTheBellPlays() {
        const QString lib = qEnvironmentVariable("TAVIRIN_SOUNDLIB_DIR");
        QVERIFY2(QFileInfo(lib).isDir(), "the default sound library is built first");
        OffsetClock clock;
        clock.setNow(QDateTime(QDate(2026, 12, 9), QTime(13, 7, 0)));
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        SoundLibrary library(lib);
        FormModel form;
        buildForm1(form);
        FakeDialogs dialogs;
        GstAudioOutput audio(QStringLiteral("fakesink sync=true"));
        SoundPlayer player(audio, dialogs, &clock);
        FakeSerialLines serial;
        AmplifierRelay relay(form, store, serial, dialogs);
        FakeProcesses processes;
        NoWait waiter;
        FakeRadioPlayer radio;
        MediaSources media(form, relay, processes, waiter, radio, dialogs);
        BellChain bells(form, store, clock, library, player, relay, media, waiter);
        QVERIFY(seedFirstRun(store, library));
        bells.arming.armToday();
        QVERIFY(store.SaveSetting(bells.arming.activeApplication(), keys::kTime, QStringLiteral("m27"),
                                  QStringLiteral("1")));
        QVERIFY(store.SaveSetting(bells.arming.activeApplication(), keys::kTime, QStringLiteral("m29"),
                                  QStringLiteral("1")));

        QStringList played;
        audio.setPipelineObserver([&](GstElement* playbin, GstElement*) {
            gchar* uri = nullptr;
            g_object_get(playbin, "uri", &uri, nullptr);
            played << QUrl(QString::fromUtf8(uri)).toLocalFile();
            g_free(uri);
        });

        bool playing = false, done = false;
        int clockChangesWhilePlaying = 0, ticksWhilePlaying = 0;
        QObject::connect(&form, &FormModel::changed, [&](const QString& name) {
            // The sounds start when the status label hides and are over when its caption is
            // emptied after the back chime.
            if (name == QLatin1String("Label2") && !form.visible(name) && !done && !playing) {
                playing = true;
                return;
            }
            if (name == QLatin1String("Label1") && playing) ++clockChangesWhilePlaying;
            if (name == QLatin1String("Label2") && playing && form.text(name).isEmpty()) {
                playing = false;
                done = true;
            }
        });
        QObject::connect(form.timer(QStringLiteral("Timer3")), &QTimer::timeout, [&] {
            if (playing) ++ticksWhilePlaying;
        });

        form.click(QStringLiteral("Command3555"));
        QTRY_VERIFY_WITH_TIMEOUT(done, 60000);

        const QString v = library.standardVoiceFolder();
        const QStringList expected{library.frontChimeFile(),     v + QStringLiteral("/ขณะนี้เวลา.wav"),
                                   v + QStringLiteral("/13.wav"), v + QStringLiteral("/นาฬิกา.wav"),
                                   v + QStringLiteral("/7.wav"),  v + QStringLiteral("/นาที.wav"),
                                   library.systemSound(),         library.backChimeFile()};
        QCOMPARE(played, expected);
        // About ten seconds of sound: the clock label moved on every second of it.
        QVERIFY2(clockChangesWhilePlaying >= 6, qPrintable(QString::number(clockChangesWhilePlaying)));
        QCOMPARE(ticksWhilePlaying, 0);
        QVERIFY(!serial.isOpen());
        QCOMPARE(dialogs.count(QStringLiteral("notice")), 0);
    }
};

QTEST_GUILESS_MAIN(TestBellRealTime)
#include "test_bellrealtime.moc"
