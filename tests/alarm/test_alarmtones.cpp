// The program's own emergency tones, sounded when a kind's file is missing or broken: the
// patterns measured from the samples, the WAV file they are written to, and writes that fail.

#include "alarm/alarmsignal.h"
#include "outputs/alarmtones.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/soundtestfiles.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace tavirin;
using namespace tavirin::test;
using namespace std::chrono_literals;

namespace {

QList<qint16> pcmOf(const WavInfo& w) {
    QList<qint16> out;
    for (qint64 i = 0; i < w.frames(); ++i) out.append(w.sample(i));
    return out;
}

quint32 le32(const QByteArray& b, int at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}
int le16(const QByteArray& b, int at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}

const QStringList kKinds{"evacuate", "earthquake", "lockdown", "drill"};

}  // namespace

class TestAlarmTones : public QObject {
    Q_OBJECT

private slots:
    // Each kind's tone, as written for playing, has its pattern: pulse and gap lengths,
    // pitches and the silence at the end measured from the samples.
    void patternOfEachKind_data() {
        QTest::addColumn<QString>("kind");
        for (const QString& k : kKinds) QTest::newRow(qPrintable(k)) << k;
    }
    void patternOfEachKind() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(kind + ".wav");
        const Result r = alarmtone::writeToneOfKind(kind, path);
        QVERIFY2(r.ok, qPrintable(r.error));
        const WavInfo wav = readWav(path);
        QVERIFY(wav.complete());
        QCOMPARE(wav.rate, 22050);
        const QList<qint16> pcm = pcmOf(wav);
        const QStringList faults = signalFaults(kind, pcm, wav.rate) + decayFaults(pcm, wav.rate);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));
    }

    // The three signals cannot be taken for one another: each fails the others' measures.
    void signalsAreDistinct() {
        const QList<std::pair<QString, alarmtone::Pattern>> all{
            {"evacuate", alarmtone::Pattern::TemporalThree},
            {"earthquake", alarmtone::Pattern::Rapid},
            {"lockdown", alarmtone::Pattern::TwoTone}};
        for (const auto& [kind, pattern] : all) {
            const QList<qint16> pcm = alarmtone::samples(pattern);
            for (const auto& [other, unused] : all) {
                Q_UNUSED(unused);
                if (other == kind) continue;
                QVERIFY2(!signalFaults(other, pcm, alarmtone::kSampleRate).isEmpty(),
                         qPrintable(kind + " passes as " + other));
            }
        }
    }

    // Loud, as an alarm must be: the peak as the chimes' (-3 dBFS) and not clipped; over its
    // sounding span, gaps included, above -12 dB RMS (the chimes are about -14 dB; that the
    // library's tones are louder than its chimes is measured in test_alarmlibrary).
    void loudness_data() { patternOfEachKind_data(); }
    void loudness() {
        QFETCH(QString, kind);
        const QList<qint16> pcm = alarmtone::samples(*alarmtone::patternOfKind(kind));
        const double peak = peakDb(pcm), span = spanRmsDb(pcm, alarmtone::kSampleRate);
        const QString got = QStringLiteral("peak %1 dBFS, RMS %2 dB").arg(peak).arg(span);
        QVERIFY2(peak > -3.2 && peak < -2.8, qPrintable(got));
        QVERIFY2(span > -12, qPrintable(got));
    }

    // The file is a plain 16-bit mono PCM WAV whose header states what it holds, and the
    // program's own player decodes it to the end.
    void wavFileIsValid_data() { patternOfEachKind_data(); }
    void wavFileIsValid() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ฉุกเฉิน %1.wav").arg(kind));
        QVERIFY(alarmtone::writeToneOfKind(kind, path).ok);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.readAll();
        QVERIFY(b.size() > 44);
        QCOMPARE(b.left(4), QByteArray("RIFF"));
        QCOMPARE(le32(b, 4), quint32(b.size() - 8));
        QCOMPARE(b.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(le32(b, 16), 16u);
        QCOMPARE(le16(b, 20), 1);  // PCM
        QCOMPARE(le16(b, 22), 1);  // mono
        QCOMPARE(le32(b, 24), 22050u);
        QCOMPARE(le32(b, 28), 44100u);  // bytes a second
        QCOMPARE(le16(b, 32), 2);       // bytes a frame
        QCOMPARE(le16(b, 34), 16);
        QCOMPARE(b.mid(36, 4), QByteArray("data"));
        QCOMPARE(le32(b, 40), quint32(b.size() - 44));
        // as long as its pattern: the temporal-three's cycles, the pips or the steps, the tail
        const double want =
            kind == "earthquake" ? kRapidPulses * (kRapidPulseMs + kRapidGapMs) + kRapidTailMs
            : kind == "lockdown" ? kTwoTonePairs * 2 * kTwoToneStepMs + kTwoToneTailMs
                                 : kIsoCycleMs * kTemporalCyclesPerFile;
        QCOMPARE(qint64(b.size() - 44) / 2, qint64(want * 22050 / 1000));

        const SoundOutcome played = decoder.playToEnd(path);
        QVERIFY2(played.result.ok, qPrintable(played.result.error));
    }

    void emptyWav() {
        const QByteArray b = alarmtone::wavFile({});
        QCOMPARE(b.size(), qsizetype(44));
        QCOMPARE(le32(b, 4), 36u);
        QCOMPARE(le32(b, 40), 0u);
    }

    // A kind with no tone of its own, or a file that cannot be written: a failure with its
    // reason and a log line, nothing half written.
    void failures_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("log");
        QTest::newRow("school's own kind") << "พายุ"
                                           << "file"
                                           << "no built-in alarm tone";
        QTest::newRow("no kind") << ""
                                 << "file"
                                 << "no built-in alarm tone";
        QTest::newRow("kind in capitals") << "EVACUATE"
                                          << "file"
                                          << "no built-in alarm tone";
        QTest::newRow("no such folder") << "evacuate"
                                        << "missing folder"
                                        << "cannot write";
        QTest::newRow("a folder") << "lockdown"
                                  << "folder"
                                  << "cannot write";
        QTest::newRow("no name") << "earthquake"
                                 << "empty"
                                 << "cannot write";
        QTest::newRow("kernel file system") << "drill"
                                            << "proc"
                                            << "cannot write";
    }
    void failures() {
        QFETCH(QString, kind);
        QFETCH(QString, where);
        QFETCH(QString, log);
        QTemporaryDir dir;
        const QString path = where == "file"             ? dir.filePath("tone.wav")
                             : where == "missing folder" ? dir.filePath("gone/tone.wav")
                             : where == "folder"         ? dir.path()
                             : where == "proc"           ? QStringLiteral("/proc/tavirin-tone.wav")
                                                         : QString();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(log)));
        const Result r = alarmtone::writeToneOfKind(kind, path);
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        if (where == "file") {
            QVERIFY2(r.error.contains(kind.isEmpty() ? "\"\"" : kind), qPrintable(r.error));
            QVERIFY(!QFileInfo::exists(path));
        }
        if (where == "folder") QVERIFY(QFileInfo(path).isDir());
        // nothing but what was there
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    // Written over an older, longer file: the new tone whole, nothing of the old one left.
    void replacesAnOlderFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("tone.wav");
        QVERIFY(writeBytes(path, QByteArray(1 << 20, 'x')));
        QVERIFY(alarmtone::writeTone(alarmtone::Pattern::Rapid, path).ok);
        QCOMPARE(QFileInfo(path).size(),
                 44 + qint64(alarmtone::samples(alarmtone::Pattern::Rapid).size()) * 2);
        QVERIFY(rapidFaults(pcmOf(readWav(path)), 22050).isEmpty());
    }

private:
    GstAudioOutput decoder{QStringLiteral("fakesink"), 30s};
};

QTEST_GUILESS_MAIN(TestAlarmTones)
#include "test_alarmtones.moc"
