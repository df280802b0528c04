#include "store/soundlibrary.h"

#include <QtTest>

using namespace tavirin;

class TestSoundLibrary : public QObject {
    Q_OBJECT

private slots:
    void paths() {
        const SoundLibrary lib("/home/ครู/rivedezode/");
        QCOMPARE(lib.root(), QStringLiteral("/home/ครู/rivedezode"));
        QCOMPARE(lib.frontChimeFile(), QStringLiteral("/home/ครู/rivedezode/title/ติ๊งหน่องหน้า.wav"));
        QCOMPARE(lib.backChimeFile(), QStringLiteral("/home/ครู/rivedezode/title/ติ๊งหน่องหลัง.wav"));
        QCOMPARE(lib.standardVoiceFolder(), QStringLiteral("/home/ครู/rivedezode/time/standard"));
        QCOMPARE(lib.otherFolder(), QStringLiteral("/home/ครู/rivedezode/other"));
        QCOMPARE(lib.systemSound(), QStringLiteral("/home/ครู/rivedezode/sys/0.wav"));
        QCOMPARE(lib.backgroundPicture(), QStringLiteral("/home/ครู/rivedezode/bg/bg.jpg"));
    }

    void defaultRootIsInHome() {
        const QByteArray old = qgetenv("HOME");
        qputenv("HOME", "/home/teacher");
        QCOMPARE(SoundLibrary::defaultRoot(), QStringLiteral("/home/teacher/rivedezode"));
        qputenv("HOME", old);
    }

    void displayName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        const QString r = "/home/t/rivedezode";
        QTest::newRow("voice folder") << r + "/time/standard"
                                      << "standard";
        QTest::newRow("voice folder, trailing slash") << r + "/time/ชาย/"
                                                      << "ชาย";
        QTest::newRow("voices folder alone") << r + "/time/"
                                             << "";
        QTest::newRow("sound in other") << r + "/other/x.wav"
                                        << "x.wav";
        QTest::newRow("deeper in other") << r + "/other/sub/x.wav"
                                         << "sub";
        QTest::newRow("chime") << r + "/title/ติ๊งหน่องหน้า.wav"
                               << "ติ๊งหน่องหน้า.wav";
        QTest::newRow("not normalised") << r + "//other/./y.mp3"
                                        << "y.mp3";
        QTest::newRow("root itself") << r << "rivedezode";
        QTest::newRow("file in root") << r + "/x.wav"
                                      << "x.wav";
        QTest::newRow("unknown folder in root") << r + "/music/a/b.mp3"
                                                << "b.mp3";
        QTest::newRow("look-alike root") << "/home/t/rivedezode2/other/x.wav"
                                         << "x.wav";
        QTest::newRow("elsewhere") << "/media/usb/เพลง/song.mp3"
                                   << "song.mp3";
        QTest::newRow("relative with folder") << "other/x.wav"
                                              << "x.wav";
        QTest::newRow("bare name") << "x.wav"
                                   << "";
        QTest::newRow("empty") << ""
                               << "";
    }

    void displayName() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        const SoundLibrary lib("/home/t/rivedezode");
        QCOMPARE(lib.displayName(path), expected);
    }
};

QTEST_GUILESS_MAIN(TestSoundLibrary)
#include "test_soundlibrary.moc"
