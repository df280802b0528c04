#include "outputs/soundplayer.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/fake/fakeaudiooutput.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakedialogs.h"
#include "platform/soundtestfiles.h"

#include <gst/gst.h>

#include <sys/stat.h>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;
using namespace tavirin::test;
using namespace std::chrono_literals;

class TestSoundPlayer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(makeTone(path("a.wav"), 0.5, 440));
        QVERIFY(makeTone(path("b.wav"), 0.3, 660));
    }

    // A blip is the start of the sound and a pause, queued in the bell's stream.
    void blipIsASpanAndAPause() {
        FakeAudioOutput out;
        FakeDialogs dialogs;
        SoundPlayer player(out, dialogs);
        player.openStream();
        QVERIFY(player.playBlip("/lib/sys/0.wav"));
        QVERIFY(player.playWait("/lib/title/x.wav"));
        QVERIFY(player.closeStream().result);
        const QList<FakeAudioOutput::Play> expected{{"/lib/sys/0.wav", 50, 100},
                                                    {"/lib/title/x.wav", -1, 0}};
        QCOMPARE(out.plays, expected);
        QCOMPARE(out.opened, 1);
        QCOMPARE(out.drained, 1);
        QCOMPARE(dialogs.shown.size(), 0);
    }

    // One notice per file a minute; every failure is still logged.
    void noticesAreNotRepeatedEndlessly() {
        FakeAudioOutput out;
        out.failing = {"/x/missing.wav", "/x/other.wav"};
        FakeDialogs dialogs;
        FakeClock clock;
        SoundPlayer player(out, dialogs, &clock);
        auto play = [&](const QString& p, bool blip = false) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("sound failed:"));
            QVERIFY(!(blip ? player.playBlip(p) : player.playWait(p)));
        };
        play("/x/missing.wav");
        for (int i = 0; i < 5; ++i) play("/x/missing.wav", true);  // five blips at once
        QCOMPARE(dialogs.count("notice"), 1);
        play("/x/other.wav");
        QCOMPARE(dialogs.count("notice"), 2);
        clock.advanceMs(59 * 1000);
        play("/x/missing.wav");
        QCOMPARE(dialogs.count("notice"), 2);
        clock.advanceMs(2 * 1000);
        play("/x/missing.wav");
        QCOMPARE(dialogs.count("notice"), 3);
        clock.advanceMs(-3600 * 1000);  // clock set back: not an hour of silence
        play("/x/missing.wav");
        QCOMPARE(dialogs.count("notice"), 4);
        QCOMPARE(dialogs.count("message"), 0);
        QCOMPARE(dialogs.shown.first().title, QStringLiteral("เล่นเสียงไม่ได้"));
        QVERIFY(
            dialogs.shown.first().text.startsWith(QStringLiteral("ไม่พบไฟล์เสียง: /x/missing.wav")));
    }

    // The Thai cause the operator reads, by what is wrong with the file or the output; a
    // failing output is one notice for the whole bell, not one per file.
    void noticeNamesTheCause_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("sink");
        QTest::addColumn<QString>("cause");
        const QString sink = QStringLiteral("fakesink");
        QTest::newRow("missing") << QStringList{"nothere.wav"} << sink
                                 << QStringLiteral("ไม่พบไฟล์เสียง");
        QTest::newRow("folder") << QStringList{"."} << sink
                                << QStringLiteral("เป็นโฟลเดอร์ ไม่ใช่ไฟล์เสียง");
        QTest::newRow("fifo") << QStringList{"fifo.wav"} << sink << QStringLiteral("ไม่ใช่ไฟล์เสียง");
        QTest::newRow("address") << QStringList{"http://x.example/a.mp3"} << sink
                                 << QStringLiteral("เป็นที่อยู่เว็บ ไม่ใช่ไฟล์เสียง");
        QTest::newRow("empty") << QStringList{"empty.mp3"} << sink
                               << QStringLiteral("ไฟล์เสียงว่างเปล่า");
        QTest::newRow("corrupt") << QStringList{"bad.wav"} << sink
                                 << QStringLiteral("ไฟล์เสียงเสียหายหรือเป็นชนิดที่เล่นไม่ได้");
        QTest::newRow("no output") << QStringList{"a.wav", "b.wav"} << QStringLiteral("nosuchsink")
                                   << QStringLiteral("ระบบเสียงของเครื่องไม่พร้อม");
    }
    void noticeNamesTheCause() {
        QFETCH(QStringList, files);
        QFETCH(QString, sink);
        QFETCH(QString, cause);
        QVERIFY(writeBytes(path("empty.mp3"), {}));
        QVERIFY(writeBytes(path("bad.wav"), QByteArray(4000, '\x55')));
        QVERIFY(QFile::exists(path("fifo.wav")) ||
                ::mkfifo(QFile::encodeName(path("fifo.wav")).constData(), 0600) == 0);
        GstAudioOutput out(sink, 10s);
        FakeDialogs dialogs;
        SoundPlayer player(out, dialogs);
        player.openStream();
        for (const QString& f : files) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("sound failed:"));
            QVERIFY(!player.playWait(f.contains("://") ? f : path(f)));
        }
        player.closeStream();
        QCOMPARE(dialogs.count("notice"), 1);
        QVERIFY2(dialogs.shown.first().text.startsWith(cause + ": "),
                 qPrintable(dialogs.shown.first().text));
    }

private:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestSoundPlayer)
#include "test_soundplayer.moc"
