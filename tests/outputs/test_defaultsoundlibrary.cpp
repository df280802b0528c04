#include "outputs/soundlibraryinstall.h"
#include "outputs/soundplayer.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/fake/fakedialogs.h"
#include "platform/soundtestfiles.h"
#include "scheduler/clockwords.h"
#include "store/soundlibrary.h"

#include <gst/gst.h>

#include <QDirIterator>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tavirin;
using namespace tavirin::test;
using namespace std::chrono_literals;

namespace {

QString defaultLibrary() {
    return qEnvironmentVariable("TAVIRIN_SOUNDLIB_DIR");
}

QStringList tree(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

// Levels of a 16-bit mono file; RMS over the sounding span (first to last sample above 1 % of
// full scale), leading and trailing silence outside it.
struct Levels {
    double peakDb = -200, rmsDb = -200, lead = 0, tail = 0;
};
Levels levels(const WavInfo& wav) {
    Levels l;
    int peak = 0;
    qint64 first = -1, last = -1;
    for (qint64 i = 0; i < wav.frames(); ++i) {
        const int v = qAbs(int(wav.sample(i)));
        peak = qMax(peak, v);
        if (v > 328) {
            if (first < 0) first = i;
            last = i;
        }
    }
    if (first < 0) return l;
    double sum = 0;
    for (qint64 i = first; i <= last; ++i) sum += double(wav.sample(i)) * wav.sample(i);
    l.peakDb = 20 * std::log10(peak / 32767.0);
    l.rmsDb = 10 * std::log10(sum / double(last - first + 1) / (32767.0 * 32767.0));
    l.lead = double(first) / wav.rate;
    l.tail = double(wav.frames() - 1 - last) / wav.rate;
    return l;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace

class TestDefaultSoundLibrary : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo(defaultLibrary()).isDir(), qPrintable(defaultLibrary()));
    }

    // Every file that the talking clock and the first-run values name is there and plays. The
    // words are levelled to one loudness and carry their pause after them: the player adds no
    // pause between files.
    void namedFilesExistAndDecode_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");  // word, tone or other
        QTest::addColumn<double>("pause");  // a word's trailing silence, s
        const SoundLibrary lib(defaultLibrary());
        const ClockWords w = buildClockWords(lib.standardVoiceFolder(), lib);
        auto word = [](const char* name, const QString& file, double pause) {
            QTest::newRow(name) << file << "word" << pause;
        };
        QTest::newRow("front chime") << lib.frontChimeFile() << "other" << 0.0;
        QTest::newRow("back chime") << lib.backChimeFile() << "other" << 0.0;
        QTest::newRow("system sound") << w.systemSound << "tone" << 0.0;
        word("intro", w.intro, 0.20);
        word("hour zero", w.hourZero, 0.04);
        for (int k = 0; k < 60; ++k)
            word(qPrintable(QStringLiteral("number %1").arg(k)), w.number[k], 0.04);
        word("o'clock", w.oclock, 0.15);
        word("minutes", w.minutes, 0.20);
        for (const QFileInfo& f : QDir(lib.otherFolder()).entryInfoList(QDir::Files))
            QTest::newRow(qPrintable("other " + f.fileName())) << f.filePath() << "other" << 0.0;
    }
    void namedFilesExistAndDecode() {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        QFETCH(double, pause);
        QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
        const Result r = decoder.playToEnd(file).result;
        QVERIFY2(r.ok, qPrintable(r.error));
        if (!file.endsWith(".wav")) return;

        const WavInfo wav = readWav(file);
        QVERIFY(wav.complete());
        QCOMPARE(wav.rate, 22050);
        QCOMPARE(wav.channels, 1);
        QCOMPARE(wav.bits, 16);
        const Levels l = levels(wav);
        QVERIFY2(l.lead < 0.03, qPrintable(QStringLiteral("leading silence %1 s").arg(l.lead)));
        const QString got = QStringLiteral("peak %1 dBFS, RMS %2 dB, trailing silence %3 s")
                                .arg(l.peakDb, 0, 'f', 2)
                                .arg(l.rmsDb, 0, 'f', 2)
                                .arg(l.tail, 0, 'f', 3);
        if (kind == "word") {
            QVERIFY2(l.peakDb <= -0.99, qPrintable(got));
            // -19 dB +- 1: no word more than 2 dB louder than another
            QVERIFY2(qAbs(l.rmsDb + 19) <= 1.0, qPrintable(got));
            // the fade at the cut adds a few ms below the threshold
            QVERIFY2(l.tail >= pause - 0.005 && l.tail <= pause + 0.02, qPrintable(got));
            QVERIFY2(wav.seconds() > 0.2 && wav.seconds() < 2.0,
                     qPrintable(QString::number(wav.seconds())));
        } else if (kind == "tone") {
            QVERIFY2(qAbs(l.peakDb + 11) <= 0.5, qPrintable(got));
        } else {
            QVERIFY2(l.peakDb < -0.2, qPrintable(got));  // not clipped
            QVERIFY2(l.peakDb > -6, qPrintable(got));    // not too quiet
        }
    }

    // The minute 00 is said "...นาฬิกาตรง", so 0.wav is not the hour 00's "ศูนย์"; the system
    // sound that follows it is no louder than the voice.
    void minuteZeroAndSystemSound() {
        const SoundLibrary lib(defaultLibrary());
        const ClockWords w = buildClockWords(lib.standardVoiceFolder(), lib);
        QVERIFY(contents(w.number[0]) != contents(w.hourZero));
        QList<double> voice;
        for (const QString& f : QDir(lib.standardVoiceFolder()).entryList({"*.wav"}))
            voice << levels(readWav(lib.standardVoiceFolder() + "/" + f)).rmsDb;
        QCOMPARE(voice.size(), 64);  // ขณะนี้เวลา, 00, 0..59, นาฬิกา, นาที
        std::sort(voice.begin(), voice.end());
        const double tone = levels(readWav(w.systemSound)).rmsDb;
        QVERIFY2(tone <= voice[voice.size() / 2],
                 qPrintable(QStringLiteral("system sound %1 dB RMS, median word %2 dB")
                                .arg(tone)
                                .arg(voice[voice.size() / 2])));
    }

    void otherHoldsWavAndMp3() {
        const SoundLibrary lib(defaultLibrary());
        QVERIFY(!QDir(lib.otherFolder()).entryList({"*.wav"}, QDir::Files).isEmpty());
        QVERIFY(!QDir(lib.otherFolder()).entryList({"*.mp3"}, QDir::Files).isEmpty());
    }

    void backgroundPicture() {
        QImageReader reader(SoundLibrary(defaultLibrary()).backgroundPicture());
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), QSize(740, 411));
        QVERIFY(!reader.read().isNull());
    }

    void installerCreatesFromDefault() {
        QTemporaryDir home;
        const QString root = home.filePath("rivedezode");
        QCOMPARE(installSoundLibrary(root, defaultLibrary()), SoundLibraryState::Created);
        QCOMPARE(tree(root), tree(defaultLibrary()));
        const SoundLibrary lib(root);
        QCOMPARE(contents(lib.frontChimeFile()),
                 contents(SoundLibrary(defaultLibrary()).frontChimeFile()));
        // nothing left beside it but the library itself
        QCOMPARE(
            QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{"rivedezode"});
        // a second start finds it
        QCOMPARE(installSoundLibrary(root, defaultLibrary()), SoundLibraryState::Present);
    }

    // An existing library is never touched, not even filled up, whatever it holds.
    void installerLeavesExistingAlone_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("expected");
        QTest::newRow("own folder") << "folder" << int(SoundLibraryState::Present);
        QTest::newRow("empty folder") << "empty" << int(SoundLibraryState::Present);
        QTest::newRow("a file") << "file" << int(SoundLibraryState::Missing);
        QTest::newRow("dangling link") << "link" << int(SoundLibraryState::Missing);
    }
    void installerLeavesExistingAlone() {
        QFETCH(QString, kind);
        QFETCH(int, expected);
        QTemporaryDir home;
        const QString root = home.filePath("rivedezode");
        if (kind == "folder") {
            QVERIFY(QDir().mkpath(root + "/title"));
            QVERIFY(writeBytes(root + "/title/mine.wav", "my own chime"));
        } else if (kind == "empty") {
            QVERIFY(QDir().mkpath(root));
        } else if (kind == "file") {
            QVERIFY(writeBytes(root, "not a folder"));
        } else {
            QVERIFY(QFile::link(home.filePath("gone"), root));
        }
        const QStringList before = tree(home.path());
        if (expected == int(SoundLibraryState::Missing))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a folder"));
        QCOMPARE(int(installSoundLibrary(root, defaultLibrary())), expected);
        QCOMPARE(tree(home.path()), before);
        if (kind == "folder") QCOMPARE(contents(root + "/title/mine.wav"), "my own chime");
        if (kind == "file") QCOMPARE(contents(root), "not a folder");
    }

    void installerWithoutDefault() {
        QTemporaryDir home;
        const QString root = home.filePath("rivedezode");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no default library"));
        QCOMPARE(installSoundLibrary(root, home.filePath("nothing-here")),
                 SoundLibraryState::Missing);
        QVERIFY(!QFileInfo::exists(root));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no default library"));
        QCOMPARE(installSoundLibrary(root, QString()), SoundLibraryState::Missing);
    }

    // A default library that cannot be read, or lacks what a bell plays, makes no library:
    // the start reports the library missing instead of running on an empty one for good.
    void unusableDefaultMakesNoLibrary_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("log");
        QTest::newRow("unreadable") << "unreadable"
                                    << "the default library cannot be read";
        QTest::newRow("empty") << "empty"
                               << "lacks title/";
        QTest::newRow("without the system sound") << "no sys"
                                                  << "lacks sys/0.wav";
    }
    void unusableDefaultMakesNoLibrary() {
        QFETCH(QString, kind);
        QFETCH(QString, log);
        QTemporaryDir home, source;
        const QString root = home.filePath("rivedezode");
        const QString lib = source.filePath("rivedezode");
        if (kind == "empty") {
            QVERIFY(QDir().mkpath(lib));
        } else {
            QVERIFY(QDir().mkpath(QFileInfo(lib).path()));
            QVERIFY(QProcess::execute("cp", {"-r", defaultLibrary(), lib}) == 0);
            if (kind == "no sys") QVERIFY(QFile::remove(SoundLibrary(lib).systemSound()));
            if (kind == "unreadable") QVERIFY(QFile::setPermissions(lib, {}));
        }
        const auto install = [&] { return int(installSoundLibrary(root, lib)); };
        int state = -1;
        if (kind != "unreadable" || ::geteuid() != 0) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(log)));
            state = install();
        } else {
            // Root reads any folder: the install runs as an ordinary user in a child.
            QCOMPARE(::chmod(QFile::encodeName(home.path()).constData(), 0777), 0);
            QCOMPARE(::chmod(QFile::encodeName(source.path()).constData(), 0755), 0);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
                ::_exit(install());
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) != 100);
            state = WEXITSTATUS(status);
        }
        QCOMPARE(state, int(SoundLibraryState::Missing));
        QCOMPARE(
            QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList());
    }

    // A copy that fails half way leaves no library (and no half one) behind.
    void failedCopyLeavesNothing() {
        QTemporaryDir home, source;
        QVERIFY(QDir().mkpath(source.filePath("title")));
        QVERIFY(writeBytes(source.filePath("title/a.wav"), "a"));
        QVERIFY(QFile::link("/proc/self/mem", source.filePath("title/b.wav")));  // unreadable
        const QString root = home.filePath("rivedezode");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot create the sound library"));
        QCOMPARE(installSoundLibrary(root, source.path()), SoundLibraryState::Missing);
        QCOMPARE(
            QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList());
    }

    // A fresh library plays a whole bell at 13:07: chime, the five words, add-on, chime,
    // each captured in full, one after the other.
    void wholeBellFromAFreshLibrary() {
        QTemporaryDir home, capDir;
        const QString root = home.filePath("rivedezode");
        QCOMPARE(installSoundLibrary(root, defaultLibrary()), SoundLibraryState::Created);
        const SoundLibrary lib(root);
        const ClockWords w = buildClockWords(lib.standardVoiceFolder(), lib);
        const QStringList run{lib.frontChimeFile(), w.intro,   w.number[13],  w.oclock,
                              w.number[7],          w.minutes, w.systemSound, lib.backChimeFile()};

        GstAudioOutput out(QStringLiteral("wavenc ! filesink name=cap"), 30s);
        int n = 0;
        bool overlapped = false;
        auto cap = [&](int k) { return capDir.filePath(QStringLiteral("%1.wav").arg(k)); };
        out.setPipelineObserver([&](GstElement*, GstElement* sinkBin) {
            ++n;
            if (n > 1 && !readWav(cap(n - 1)).complete()) overlapped = true;
            GstElement* fs = gst_bin_get_by_name(GST_BIN(sinkBin), "cap");
            g_object_set(fs, "location", QFile::encodeName(cap(n)).constData(), nullptr);
            gst_object_unref(fs);
        });
        FakeDialogs dialogs;
        SoundPlayer player(out, dialogs);
        for (const QString& f : run) QVERIFY2(player.playWait(f), qPrintable(f));
        QCOMPARE(n, run.size());
        QVERIFY(!overlapped);
        QCOMPARE(dialogs.shown.size(), 0);
        // each sound alone is a stream of its own, resampled to the stream's rate
        for (int k = 0; k < run.size(); ++k)
            QVERIFY2(qAbs(readWav(cap(k + 1)).seconds() - readWav(run[k]).seconds()) < 0.001,
                     qPrintable(run[k]));
    }

    void findsDefaultFromEnvironment() {
        QCOMPARE(findDefaultSoundLibrary(), QDir::cleanPath(defaultLibrary()));
        QTemporaryDir other;
        qputenv("TAVIRIN_SOUNDLIB_DIR", QFile::encodeName(other.path()));
        QCOMPARE(findDefaultSoundLibrary(), QDir::cleanPath(other.path()));
        // a variable naming nothing falls back to the build tree's library
        qputenv("TAVIRIN_SOUNDLIB_DIR", "/nonexistent/rivedezode");
        QVERIFY(QFileInfo(findDefaultSoundLibrary()).isDir());
        qputenv("TAVIRIN_SOUNDLIB_DIR", QFile::encodeName(defaultLibrary()));
    }

private:
    GstAudioOutput decoder{QStringLiteral("fakesink"), 30s};
};

QTEST_GUILESS_MAIN(TestDefaultSoundLibrary)
#include "test_defaultsoundlibrary.moc"
