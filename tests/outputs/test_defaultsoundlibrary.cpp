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

    // Every file that the talking clock and the first-run values name is there and plays.
    void namedFilesExistAndDecode_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("word");  // a spoken word: trimmed, short
        const SoundLibrary lib(defaultLibrary());
        const ClockWords w = buildClockWords(lib.standardVoiceFolder(), lib);
        QTest::newRow("front chime") << lib.frontChimeFile() << false;
        QTest::newRow("back chime") << lib.backChimeFile() << false;
        QTest::newRow("system sound") << w.systemSound << false;
        QTest::newRow("intro") << w.intro << true;
        QTest::newRow("hour zero") << w.hourZero << true;
        for (int k = 0; k < 60; ++k)
            QTest::newRow(qPrintable(QStringLiteral("number %1").arg(k))) << w.number[k] << true;
        QTest::newRow("o'clock") << w.oclock << true;
        QTest::newRow("minutes") << w.minutes << true;
        for (const QFileInfo& f : QDir(lib.otherFolder()).entryInfoList(QDir::Files))
            QTest::newRow(qPrintable("other " + f.fileName())) << f.filePath() << false;
    }
    void namedFilesExistAndDecode() {
        QFETCH(QString, file);
        QFETCH(bool, word);
        QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
        const Result r = decoder.playToEnd(file).result;
        QVERIFY2(r.ok, qPrintable(r.error));
        if (!file.endsWith(".wav")) return;

        const WavInfo wav = readWav(file);
        QVERIFY(wav.complete());
        QCOMPARE(wav.rate, 22050);
        QCOMPARE(wav.channels, 1);
        QCOMPARE(wav.bits, 16);
        int peak = 0;
        qint64 first = -1, last = -1;
        for (qint64 i = 0; i < wav.frames(); ++i) {
            const int v = qAbs(int(wav.sample(i)));
            peak = qMax(peak, v);
            if (v > 328) {  // 1 % of full scale
                if (first < 0) first = i;
                last = i;
            }
        }
        QVERIFY2(peak < 32000, "clipped");    // about -0.2 dBFS
        QVERIFY2(peak > 16000, "too quiet");  // above -6 dBFS
        const double lead = double(first) / wav.rate;
        const double tail = double(wav.frames() - 1 - last) / wav.rate;
        QVERIFY2(lead < 0.03, qPrintable(QStringLiteral("leading silence %1 s").arg(lead)));
        if (word) {
            QVERIFY2(tail < 0.05, qPrintable(QStringLiteral("trailing silence %1 s").arg(tail)));
            QVERIFY2(wav.seconds() > 0.2 && wav.seconds() < 2.0,
                     qPrintable(QString::number(wav.seconds())));
        }
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
