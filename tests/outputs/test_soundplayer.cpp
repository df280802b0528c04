#include "outputs/soundplayer.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/fake/fakeaudiooutput.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakedialogs.h"
#include "platform/soundtestfiles.h"

#include <gst/gst.h>

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
        QVERIFY(makeTone(path("c.mp3"), 0.4, 550, {"-r", "44100", "-c", "1"}));
        QVERIFY(makeTone(path("d.wav"), 0.7, 330));
    }

    // Each sound starts only after the previous one has reached the sink in full; a missing
    // one in between is reported without a box and the next still plays.
    void soundsPlayOneAfterTheOther_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<double>>("captured");  // seconds, per sound that played
        QTest::addColumn<int>("notices");
        QTest::newRow("two in a row")
            << QStringList{"a.wav", "b.wav"} << QList<double>{0.5, 0.3} << 0;
        QTest::newRow("missing in the middle")
            << QStringList{"a.wav", "missing.wav", "d.wav"} << QList<double>{0.5, 0.7} << 1;
        QTest::newRow("wav then mp3")
            << QStringList{"d.wav", "c.mp3"} << QList<double>{0.7, 0.4} << 0;
    }
    void soundsPlayOneAfterTheOther() {
        QFETCH(QStringList, files);
        QFETCH(QList<double>, captured);
        QFETCH(int, notices);
        QTemporaryDir capDir;
        auto capFile = [&](int n) { return capDir.filePath(QStringLiteral("cap-%1.wav").arg(n)); };
        GstAudioOutput out(QStringLiteral("wavenc ! filesink name=cap"), 20s);
        int pipelines = 0;
        QStringList overlaps;
        out.setPipelineObserver([&](GstElement*, GstElement* sinkBin) {
            ++pipelines;
            if (pipelines > 1 && !readWav(capFile(pipelines - 1)).complete())
                overlaps << QString::number(pipelines);
            GstElement* fs = gst_bin_get_by_name(GST_BIN(sinkBin), "cap");
            g_object_set(fs, "location", QFile::encodeName(capFile(pipelines)).constData(),
                         nullptr);
            gst_object_unref(fs);
        });
        FakeDialogs dialogs;
        SoundPlayer player(out, dialogs);
        if (notices)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("sound failed:.*missing"));
        for (const QString& f : files) player.playWait(path(f));

        QVERIFY2(overlaps.isEmpty(), qPrintable(overlaps.join(',')));
        QCOMPARE(pipelines, captured.size());
        double total = 0;
        for (int i = 0; i < captured.size(); ++i) {
            const WavInfo w = readWav(capFile(i + 1));
            QVERIFY(w.complete());
            QVERIFY2(qAbs(w.seconds() - captured[i]) < 0.06,
                     qPrintable(QString::number(w.seconds())));
            total += w.seconds();
        }
        double expected = 0;
        for (double s : captured) expected += s;
        QVERIFY(qAbs(total - expected) < 0.1);
        QCOMPARE(dialogs.count("notice"), notices);
        QCOMPARE(dialogs.count("message"), 0);  // never a modal box
        if (notices) QVERIFY(dialogs.shown.first().text.contains(path("missing.wav")));
    }

    void blipIsAFiveMillisecondSpan() {
        FakeAudioOutput out;
        FakeDialogs dialogs;
        SoundPlayer player(out, dialogs);
        QVERIFY(player.playBlip("/lib/sys/0.wav"));
        QVERIFY(player.playWait("/lib/title/x.wav"));
        const QList<FakeAudioOutput::Play> expected{{"/lib/sys/0.wav", 5},
                                                    {"/lib/title/x.wav", -1}};
        QCOMPARE(out.plays, expected);
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

    // The Thai cause the operator reads, by what is wrong with the file.
    void noticeNamesTheCause_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("cause");
        QTest::newRow("missing") << "nothere.wav" << QStringLiteral("ไม่พบไฟล์เสียง");
        QTest::newRow("folder") << "." << QStringLiteral("เป็นโฟลเดอร์ ไม่ใช่ไฟล์เสียง");
        QTest::newRow("empty") << "empty.mp3" << QStringLiteral("ไฟล์เสียงว่างเปล่า");
        QTest::newRow("corrupt") << "bad.wav" << QStringLiteral("ไฟล์เสียงเสียหายหรือเป็นชนิดที่เล่นไม่ได้");
    }
    void noticeNamesTheCause() {
        QFETCH(QString, file);
        QFETCH(QString, cause);
        QVERIFY(writeBytes(path("empty.mp3"), {}));
        QVERIFY(writeBytes(path("bad.wav"), QByteArray(4000, '\x55')));
        GstAudioOutput out(QStringLiteral("fakesink"), 10s);
        FakeDialogs dialogs;
        SoundPlayer player(out, dialogs);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("sound failed:"));
        QVERIFY(!player.playWait(path(file)));
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
