// The emergency sounds of the default sound library: each kind's signal measured from its
// samples, its loudness against the chimes, the spoken instructions, and that the program's
// built-in tones are the very same signals.

#include "alarm/alarmsignal.h"
#include "outputs/alarmtones.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/soundtestfiles.h"
#include "store/soundlibrary.h"

#include <QtTest>

using namespace tavirin;
using namespace tavirin::test;
using namespace std::chrono_literals;

namespace {

SoundLibrary defaultLibrary() {
    return SoundLibrary(qEnvironmentVariable("TAVIRIN_SOUNDLIB_DIR"));
}

QList<qint16> pcmOf(const WavInfo& w) {
    QList<qint16> out;
    for (qint64 i = 0; i < w.frames(); ++i) out.append(w.sample(i));
    return out;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QStringList kKinds{"evacuate", "earthquake", "lockdown", "drill"};

}  // namespace

class TestAlarmLibrary : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo(defaultLibrary().root()).isDir(), qPrintable(defaultLibrary().root()));
    }

    // Every emergency file is there, in the library's format, and the player decodes it.
    void filesExistAndDecode_data() {
        QTest::addColumn<QString>("file");
        const SoundLibrary lib = defaultLibrary();
        for (const QString& k : kKinds) {
            QTest::newRow(qPrintable(k + " tone")) << lib.alarmToneFile(k);
            QTest::newRow(qPrintable(k + " voice")) << lib.alarmVoiceFile(k);
        }
        QTest::newRow("all clear") << lib.allClearVoiceFile();
    }
    void filesExistAndDecode() {
        QFETCH(QString, file);
        QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
        QVERIFY(file.startsWith(defaultLibrary().alarmFolder() + '/'));
        const WavInfo wav = readWav(file);
        QVERIFY(wav.complete());
        QCOMPARE(wav.rate, 22050);
        QCOMPARE(wav.channels, 1);
        QCOMPARE(wav.bits, 16);
        const SoundOutcome played = decoder.playToEnd(file);
        QVERIFY2(played.result.ok, qPrintable(played.result.error));
    }

    // Each kind's signal: pulse and gap lengths, pitches, the silence before the words,
    // measured from the file's samples; a steady level, not a bell's decay.
    void signalOfEachKind_data() {
        QTest::addColumn<QString>("kind");
        for (const QString& k : kKinds) QTest::newRow(qPrintable(k)) << k;
    }
    void signalOfEachKind() {
        QFETCH(QString, kind);
        const WavInfo wav = readWav(defaultLibrary().alarmToneFile(kind));
        QVERIFY(wav.complete());
        const QList<qint16> pcm = pcmOf(wav);
        const QStringList faults = signalFaults(kind, pcm, wav.rate) + decayFaults(pcm, wav.rate);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));
    }

    // An alarm is louder than the bell it interrupts: its RMS over its sounding span (gaps
    // included) above the chimes', at a peak no higher than theirs (not clipped).
    void louderThanTheChimes_data() { signalOfEachKind_data(); }
    void louderThanTheChimes() {
        QFETCH(QString, kind);
        const SoundLibrary lib = defaultLibrary();
        const QList<qint16> tone = pcmOf(readWav(lib.alarmToneFile(kind)));
        double chimeRms = -200, chimePeak = -200;
        for (const QString& f : {lib.frontChimeFile(), lib.backChimeFile()}) {
            const QList<qint16> chime = pcmOf(readWav(f));
            chimeRms = std::max(chimeRms, spanRmsDb(chime, 22050));
            chimePeak = std::max(chimePeak, peakDb(chime));
        }
        const QString got =
            QStringLiteral("%1: RMS %2 dB, peak %3 dBFS; chimes: RMS %4 dB, peak %5")
                .arg(kind)
                .arg(spanRmsDb(tone, 22050), 0, 'f', 1)
                .arg(peakDb(tone), 0, 'f', 2)
                .arg(chimeRms, 0, 'f', 1)
                .arg(chimePeak, 0, 'f', 2);
        qInfo().noquote() << got;
        QVERIFY2(spanRmsDb(tone, 22050) >= chimeRms + 3, qPrintable(got));
        QVERIFY2(peakDb(tone) <= chimePeak + 0.1, qPrintable(got));
    }

    // A school whose file goes missing hears the same signal from the program: the built-in
    // tone is the library's file, sample for sample.
    void builtInToneIsTheLibrarys_data() { signalOfEachKind_data(); }
    void builtInToneIsTheLibrarys() {
        QFETCH(QString, kind);
        const QList<qint16> file = pcmOf(readWav(defaultLibrary().alarmToneFile(kind)));
        const QList<qint16> built = alarmtone::samples(*alarmtone::patternOfKind(kind));
        QCOMPARE(built.size(), file.size());
        int worst = 0;
        qsizetype at = 0;
        for (qsizetype i = 0; i < file.size(); ++i) {
            if (std::abs(file[i] - built[i]) > worst) {
                worst = std::abs(file[i] - built[i]);
                at = i;
            }
        }
        QVERIFY2(worst <= 1,
                 qPrintable(QStringLiteral("sample %1 differs by %2").arg(at).arg(worst)));
    }

    // The spoken parts: speech at the level of the clock's words, a few seconds long, a second
    // of silence after it, and each one its own.
    void voices_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("minSeconds");
        const SoundLibrary lib = defaultLibrary();
        // five to eight syllables a second at -s 140: the phrases have 13 to 20 syllables
        for (const QString& k : kKinds)
            QTest::newRow(qPrintable(k)) << lib.alarmVoiceFile(k) << 2.5;
        QTest::newRow("all clear") << lib.allClearVoiceFile() << 1.0;  // 7 syllables
    }
    void voices() {
        QFETCH(QString, file);
        QFETCH(double, minSeconds);
        const WavInfo wav = readWav(file);
        const QList<qint16> pcm = pcmOf(wav);
        // speech: from the first to the last sample above 1 % of full scale
        qsizetype first = -1, last = -1;
        for (qsizetype i = 0; i < pcm.size(); ++i) {
            if (std::abs(int(pcm[i])) <= 328) continue;
            if (first < 0) first = i;
            last = i;
        }
        QVERIFY2(first >= 0, "silent");
        const double speech = double(last - first + 1) / wav.rate;
        const double tail = double(pcm.size() - 1 - last) / wav.rate;
        const double rms = rmsDb(pcm, first, last + 1);
        const QString got =
            QStringLiteral("speech %1 s, RMS %2 dB, peak %3 dBFS, silence after %4 s")
                .arg(speech)
                .arg(rms, 0, 'f', 1)
                .arg(peakDb(pcm), 0, 'f', 2)
                .arg(tail);
        qInfo().noquote() << QFileInfo(file).fileName() << got;
        QVERIFY2(first < wav.rate / 50, qPrintable(got));  // no silence before the words
        QVERIFY2(speech >= minSeconds && speech < 10, qPrintable(got));
        // levelled as the clock's words: -19 dB RMS unless the peak ceiling holds it lower
        QVERIFY2(rms <= -18 && rms >= -22, qPrintable(got));
        QVERIFY2(peakDb(pcm) <= -0.99, qPrintable(got));
        // the fade at the cut adds a few ms below the threshold
        QVERIFY2(tail >= 0.995 && tail <= 1.02, qPrintable(got));
    }

    void voicesDiffer() {
        const SoundLibrary lib = defaultLibrary();
        QStringList files{lib.allClearVoiceFile()};
        for (const QString& k : kKinds) files << lib.alarmVoiceFile(k);
        for (int i = 0; i < files.size(); ++i)
            for (int j = i + 1; j < files.size(); ++j)
                QVERIFY2(contents(files[i]) != contents(files[j]),
                         qPrintable(files[i] + " = " + files[j]));
    }

    // A kind that is not a plain name never names a file outside the alarm folder.
    void kindsThatAreNoFileName_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("empty") << "";
        QTest::newRow("up") << "..";
        QTest::newRow("out of the folder") << "../title/ติ๊งหน่องหน้า";
        QTest::newRow("absolute") << "/etc/passwd";
        QTest::newRow("hidden") << ".evacuate";
    }
    void kindsThatAreNoFileName() {
        QFETCH(QString, kind);
        const SoundLibrary lib("/home/ครู/rivedezode");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a plain name"));
        QCOMPARE(lib.alarmToneFile(kind), QString());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a plain name"));
        QCOMPARE(lib.alarmVoiceFile(kind), QString());
    }

    // A school's own kind has its files beside the built-in ones, by its id.
    void ownKindInTheAlarmFolder() {
        const SoundLibrary lib("/home/ครู/rivedezode/");
        QCOMPARE(lib.alarmToneFile("พายุ"),
                 QStringLiteral("/home/ครู/rivedezode/alarm/พายุ-tone.wav"));
        QCOMPARE(lib.alarmVoiceFile("พายุ"),
                 QStringLiteral("/home/ครู/rivedezode/alarm/พายุ-voice.wav"));
        QCOMPARE(lib.displayName(lib.alarmToneFile("พายุ")), QStringLiteral("พายุ-tone.wav"));
    }

private:
    GstAudioOutput decoder{QStringLiteral("fakesink"), 30s};
};

QTEST_GUILESS_MAIN(TestAlarmLibrary)
#include "test_alarmlibrary.moc"
