// The emergency's player on real GStreamer, in real time (a synchronised fake sink): a round
// of files in order, a file that cannot be played costs only its place, stop() is silence and
// the end of the round's news, a new round replaces the old.
#include "platform/audio/gstalarmplayer.h"
#include "soundtestfiles.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace tavirin;
using namespace tavirin::test;
using Event = AlarmPlayer::Event;

namespace {

const QString kRealTime = QStringLiteral("fakesink sync=true");

struct Told {
    Event event;
    int index;
    QString detail;
};

QString describe(const QList<Told>& told) {
    QStringList out;
    for (const Told& t : told) out << QStringLiteral("%1:%2").arg(int(t.event)).arg(t.index);
    return out.join(u' ');
}

}  // namespace

class TestGstAlarmPlayer : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase() {
        QVERIFY(makeTone(path("a.wav"), 0.3, 880));
        QVERIFY(makeTone(path("b.wav"), 0.4, 660));
        QVERIFY(makeTone(path("long.wav"), 10.0));
        QVERIFY(writeBytes(path("broken.wav"), QByteArray("RIFF....WAVEnot a sound at all")));
    }

    void aRoundInOrderPastWhatCannotPlay() {
        GstAlarmPlayer player(kRealTime);
        QList<Told> told;
        QElapsedTimer t;
        t.start();
        player.play({path("a.wav"), path("missing.wav"), path("broken.wav"), path("b.wav")},
                    [&](Event e, int i, const QString& d) {
                        told.append({e, i, d});
                    });
        QVERIFY(told.isEmpty());  // never from inside play()
        QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty() && told.last().event == Event::Finished, 10000);
        QCOMPARE(describe(told), QStringLiteral("0:0 1:1 1:2 0:3 2:-1"));
        QVERIFY(told[1].detail.contains(QLatin1String("missing.wav")));
        // in real time: both sounds were played out
        QVERIFY2(t.elapsed() >= 700, qPrintable(QString::number(t.elapsed())));
    }

    void stopIsSilenceAndTheEndOfItsNews() {
        GstAlarmPlayer player(kRealTime);
        QList<Told> told;
        player.play({path("long.wav"), path("a.wav")}, [&](Event e, int i, const QString& d) {
            told.append({e, i, d});
        });
        QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty(), 5000);
        player.stop();
        QTest::qWait(800);
        QCOMPARE(describe(told), QStringLiteral("0:0"));

        // The player plays again after a stop; a new round replaces the one playing.
        QList<Told> second, third;
        player.play({path("long.wav")}, [&](Event e, int i, const QString& d) {
            second.append({e, i, d});
        });
        QTRY_VERIFY_WITH_TIMEOUT(!second.isEmpty(), 5000);
        player.play({path("a.wav")}, [&](Event e, int i, const QString& d) {
            third.append({e, i, d});
        });
        QTRY_VERIFY_WITH_TIMEOUT(!third.isEmpty() && third.last().event == Event::Finished, 5000);
        QCOMPARE(describe(second), QStringLiteral("0:0"));
        QCOMPARE(describe(third), QStringLiteral("0:0 2:-1"));
    }

    void aSinkThatCannotBeBuiltFailsEachFile() {
        GstAlarmPlayer player(QStringLiteral("nosuchsinkelement"));
        QList<Told> told;
        player.play({path("a.wav"), path("b.wav")}, [&](Event e, int i, const QString& d) {
            told.append({e, i, d});
        });
        QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty() && told.last().event == Event::Finished, 5000);
        QCOMPARE(describe(told), QStringLiteral("1:0 1:1 2:-1"));
    }

    // No sound device: autoaudiosink plays into a silent fakesink. Each sound is told failed
    // with the reason, never started (the emergency's banner then says there is no device).
    void noSoundDeviceIsNoSound() {
        if (QFileInfo::exists(QStringLiteral("/dev/snd")))
            QSKIP("this machine has sound devices: autoaudiosink would find one");
        qputenv("PULSE_SERVER", "unix:/nonexistent/pulse");
        GstAlarmPlayer player(QStringLiteral("autoaudiosink"));
        QList<Told> told;
        player.play({path("a.wav"), path("b.wav")},
                    [&](Event e, int i, const QString& d) { told.append({e, i, d}); });
        QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty() && told.last().event == Event::Finished, 10000);
        qunsetenv("PULSE_SERVER");
        QCOMPARE(describe(told), QStringLiteral("1:0 1:1 2:-1"));
        QVERIFY(told[0].detail.contains(QLatin1String("no sound device")));
    }

    void destroyedWhilePlaying() {
        QList<Told> told;
        {
            GstAlarmPlayer player(kRealTime);
            player.play({path("long.wav")}, [&](Event e, int i, const QString& d) {
                told.append({e, i, d});
            });
            QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty(), 5000);
        }
        QTest::qWait(300);
        QCOMPARE(describe(told), QStringLiteral("0:0"));
    }
};

QTEST_GUILESS_MAIN(TestGstAlarmPlayer)
#include "test_gstalarmplayer.moc"
