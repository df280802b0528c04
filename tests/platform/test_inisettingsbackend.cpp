#include "platform/fake/fakeclock.h"
#include "platform/settings/inisettingsbackend.h"
#include "support/smalldisk.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

using namespace tavirin;
using namespace tavirin::test;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

const QString kApp = QStringLiteral("vorle_programming5_7day3");

}  // namespace

class TestIniSettingsBackend : public QObject {
    Q_OBJECT

private slots:
    void init() {
        dir_.reset(new QTemporaryDir);
        QVERIFY(dir_->isValid());
        path_ = dir_->filePath(QStringLiteral("tavirin/tavirin.ini"));
    }

    void defaultPathFollowsXdgConfigHome() {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_->path()));
        QCOMPARE(IniSettingsBackend::defaultFilePath(), dir_->filePath("tavirin/tavirin.ini"));
    }

    void valuesRoundTripExactly_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("thai") << QStringLiteral("/home/ครู/rivedezode/title/ติ๊งหน่องหน้า.wav");
        QTest::newRow("empty") << QStringLiteral("");
        QTest::newRow("blanks") << QStringLiteral("  two leading, one trailing ");
        QTest::newRow("only blanks") << QStringLiteral("   ");
        QTest::newRow("comma list") << QStringLiteral("a, b,c");
        QTest::newRow("quotes") << QStringLiteral("say \"hi\" '' \"");
        QTest::newRow("semicolon") << QStringLiteral("; not a comment; x");
        QTest::newRow("hash") << QStringLiteral("# not a comment");
        QTest::newRow("at") << QStringLiteral("@x");
        QTest::newRow("at at") << QStringLiteral("@@x");
        QTest::newRow("at variant") << QStringLiteral("@Variant(\\0\\0\\0\\x7f)");
        QTest::newRow("at bytearray") << QStringLiteral("@ByteArray(abc)");
        QTest::newRow("at invalid") << QStringLiteral("@Invalid()");
        QTest::newRow("equals") << QStringLiteral("a=b==c");
        QTest::newRow("backslashes") << QStringLiteral("C:\\rivedezode\\time\\ \\\\x41 \\");
        QTest::newRow("newlines") << QStringLiteral("line1\nline2\r\nline3\n");
        QTest::newRow("percent") << QStringLiteral("100% %U0041 %41");
        QTest::newRow("brackets") << QStringLiteral("[TIME]");
        QTest::newRow("control then hex digits")
            << (QString(QChar(1)) + QStringLiteral("abc") + QChar(0) + QStringLiteral("7f") +
                QChar(0x7f) + QStringLiteral("1"));
        QTest::newRow("tab") << QStringLiteral("\tx\t");
        QTest::newRow("emoji") << QStringLiteral("🔔 bell");
        QTest::newRow("url") << QStringLiteral("https://radio.garden/#88-fm?a=1&b=2");
        QTest::newRow("1 MB") << QString(1024 * 1024, QChar(u'ก'));
    }

    void valuesRoundTripExactly() {
        QFETCH(QString, value);
        FakeClock clock;
        {
            IniSettingsBackend b(path_, clock);
            QVERIFY(b.setValue(kApp, "time", "m25", value));
            QCOMPARE(b.value(kApp, "time", "m25"), value);
            const Result r = b.sync();
            QVERIFY2(r, qPrintable(r.error));
        }
        IniSettingsBackend again(path_, clock);
        QCOMPARE(again.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
        const QString back = again.value(kApp, "time", "m25");
        QVERIFY(!back.isNull());
        QCOMPARE(back.size(), value.size());
        QCOMPARE(back, value);

        // The file is QSettings' INI: QSettings itself reads the value back unchanged.
        // (A copy under a new name, since QSettings caches files by name.)
        const QString copy = dir_->filePath(QStringLiteral("qsettings-%1.ini").arg(qrand_++));
        QVERIFY(QFile::copy(path_, copy));
        QSettings qs(copy, QSettings::IniFormat);
        QCOMPARE(qs.status(), QSettings::NoError);
        const QVariant v = qs.value(kApp + QStringLiteral("/time/m25"));
        QCOMPARE(v.typeId(), int(QMetaType::QString));
        QCOMPARE(v.toString(), value);
    }

    void absentIsNullAndEmptyIsNot() {
        FakeClock clock;
        {
            IniSettingsBackend b(path_, clock);
            QCOMPARE(b.loadOutcome(), IniSettingsBackend::LoadOutcome::NoFile);
            QVERIFY(b.setValue(kApp, "sond", "sond1", QString()));
            QVERIFY(b.sync());
        }
        IniSettingsBackend b(path_, clock);
        QVERIFY(!b.value(kApp, "sond", "sond1").isNull());
        QVERIFY(b.value(kApp, "sond", "sond1").isEmpty());
        QVERIFY(b.value(kApp, "sond", "sond2").isNull());
        QVERIFY(b.value("other", "sond", "sond1").isNull());
    }

    void namesThatCannotBeStoredAreRefused_data() {
        QTest::addColumn<QString>("section");
        QTest::newRow("empty") << QString();
        QTest::newRow("slash") << QStringLiteral("a/b");
        QTest::newRow("backslash") << QStringLiteral("a\\b");
    }

    void namesThatCannotBeStoredAreRefused() {
        QFETCH(QString, section);
        FakeClock clock;
        IniSettingsBackend b(path_, clock);
        QVERIFY(!b.setValue(kApp, section, "k", "v"));
        QCOMPARE(b.size(), 0);
    }

    void unusualNamesSurviveTheFile() {
        FakeClock clock;
        {
            IniSettingsBackend b(path_, clock);
            QVERIFY(b.setValue("general", "sec tion", "ค", "1"));
            QVERIFY(b.setValue("a%b", "x=y", "[k]", "2"));
            QVERIFY(b.sync());
        }
        IniSettingsBackend b(path_, clock);
        QCOMPARE(b.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
        QCOMPARE(b.value("general", "sec tion", "ค"), QStringLiteral("1"));
        QCOMPARE(b.value("a%b", "x=y", "[k]"), QStringLiteral("2"));
    }

    // Damaged files: the program starts, the file is kept beside the store under a dated
    // name, a warning says so, and what could be read is kept.
    void damagedFileIsSetAside_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("atLeastRecovered");
        QTest::addColumn<int>("atMostRecovered");
        QTest::newRow("garbage") << "garbage" << 0 << 0;
        QTest::newRow("empty file") << "empty" << 0 << 0;
        QTest::newRow("truncated mid-line") << "truncated-mid-line" << 1 << 2;
        QTest::newRow("truncated at line end") << "truncated-line-end" << 2 << 2;
        QTest::newRow("not utf-8") << "not-utf8" << 2 << 2;
        QTest::newRow("one byte changed") << "flipped" << 3 << 3;
        QTest::newRow("edited by hand") << "hand-edited" << 3 << 3;
        QTest::newRow("folder") << "folder" << 0 << 0;
        QTest::newRow("looping link") << "link-loop" << 0 << 0;
        QTest::newRow("no read permission") << "unreadable" << 0 << 0;
    }

    void damagedFileIsSetAside() {
        QFETCH(QString, damage);
        QFETCH(int, atLeastRecovered);
        QFETCH(int, atMostRecovered);
        FakeClock clock(QDateTime(QDate(2026, 12, 9), QTime(8, 15, 0)));
        {
            IniSettingsBackend b(path_, clock);
            QVERIFY(b.setValue(kApp, "time", "h1", "07"));
            QVERIFY(b.setValue(kApp, "time", "h2", "ติ๊ง"));
            QVERIFY(b.setValue(kApp, "time", "m9", "00"));
            QVERIFY(b.sync());
        }
        QByteArray good = readAll(path_);
        QByteArray bad;
        if (damage == "garbage") {
            for (int i = 0; i < 4000; ++i) bad += char((i * 7919 + 13) % 256);
        } else if (damage == "empty") {
        } else if (damage == "truncated-mid-line") {
            bad = good.left(good.indexOf("m9=") + 4);
        } else if (damage == "truncated-line-end") {
            bad = good.left(good.indexOf("time\\m9"));
        } else if (damage == "not-utf8") {
            bad = good;
            bad.replace("m9=\"00\"", "m9=\"\xff\xfe\"");
        } else if (damage == "flipped") {
            bad = good;
            bad[bad.indexOf("h1=\"07") + 5] = '8';
        } else if (damage == "hand-edited") {
            bad = "[vorle_programming5_7day3]\nTIME\\h1=07\ntime\\h2=ติ๊ง\ntime\\m9=00\n";
        }
        if (damage == "folder") {
            QVERIFY(QFile::remove(path_));
            QVERIFY(QDir().mkpath(path_ + "/inside"));
        } else if (damage == "link-loop") {
            QVERIFY(QFile::remove(path_));
            QVERIFY(QFile::link(path_, path_));
        } else if (damage == "unreadable") {
            if (::geteuid() == 0) QSKIP("root reads any file");
            QVERIFY(QFile::setPermissions(path_, QFileDevice::WriteOwner));
        } else {
            writeFile(path_, bad);
        }

        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("settings file .*tavirin.ini.* kept as .*"
                                                "tavirin.ini.corrupt-20261209-081500"));
        IniSettingsBackend b(path_, clock);
        QCOMPARE(b.loadOutcome(), IniSettingsBackend::LoadOutcome::Recovered);
        const QString aside = path_ + ".corrupt-20261209-081500";
        QCOMPARE(b.setAsidePath(), aside);
        QFileInfo asideInfo(aside);
        QVERIFY(asideInfo.exists() || asideInfo.isSymLink());
        if (damage == "folder") {
            QVERIFY(asideInfo.isDir());
        } else if (damage != "link-loop" && damage != "unreadable") {
            QCOMPARE(readAll(aside), bad);  // kept byte for byte
        }
        QVERIFY(b.size() >= atLeastRecovered);
        QVERIFY(b.size() <= atMostRecovered);
        // A recovered value is one that was written, never a damaged one.
        const QString h1 = b.value(kApp, "time", "h1");
        QVERIFY(h1.isNull() || h1 == "07" || (damage == "flipped" && h1 == "08"));
        const QString h2 = b.value(kApp, "time", "h2");
        QVERIFY(h2.isNull() || h2 == QStringLiteral("ติ๊ง"));
        const QString m9 = b.value(kApp, "time", "m9");
        QVERIFY(m9.isNull() || m9 == "00");

        // The next save writes a sound file; the copy stays.
        QVERIFY(b.setValue(kApp, "time", "h3", "09"));
        QVERIFY(b.sync());
        IniSettingsBackend again(path_, clock);
        QCOMPARE(again.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
        QCOMPARE(again.value(kApp, "time", "h3"), QStringLiteral("09"));
        QCOMPARE(again.size(), b.size());
        QVERIFY(QFileInfo(aside).exists() || QFileInfo(aside).isSymLink());
    }

    void secondDamageOnTheSameSecondGetsItsOwnCopy() {
        FakeClock clock(QDateTime(QDate(2026, 12, 9), QTime(8, 15, 0)));
        QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
        writeFile(path_, "junk one");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("kept as"));
        { IniSettingsBackend b(path_, clock); }
        writeFile(path_, "junk two");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("kept as"));
        IniSettingsBackend b(path_, clock);
        QCOMPARE(b.setAsidePath(), path_ + ".corrupt-20261209-081500-2");
        QCOMPARE(readAll(path_ + ".corrupt-20261209-081500"), QByteArray("junk one"));
        QCOMPARE(readAll(path_ + ".corrupt-20261209-081500-2"), QByteArray("junk two"));
    }

    void damagedFileThatCannotBeSetAsideIsNeverWrittenOver() {
        // A file name so long that no dated name fits beside it: the rename fails, for root too.
        const QString path = dir_->filePath(QString(240, QChar(u't')));
        FakeClock clock;
        const QByteArray hand = "[vorle_programming5_7day3]\ntime\\h1=07\n";
        writeFile(path, hand);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot be set aside.* 1 values"));
        IniSettingsBackend b(path, clock);
        QCOMPARE(b.loadOutcome(), IniSettingsBackend::LoadOutcome::Blocked);
        QCOMPARE(b.value(kApp, "time", "h1"), QStringLiteral("07"));
        QVERIFY(b.setValue(kApp, "time", "h1", "08"));
        const Result r = b.sync();
        QVERIFY(!r);
        QVERIFY(r.error.contains("cannot be set aside"));
        QCOMPARE(readAll(path), hand);
    }

    // A damaged store on a full disk: no clean copy can be written, so the damaged file stays
    // where it is and the next start still finds the school's times in it. Once there is
    // room the clean copy is written, and only then is the damaged file set aside.
    void damagedStoreOnAFullDisk() {
        const QString disk = dir_->filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(disk));
        const int rc = onSmallDisk(disk, 64 * 1024, [&] {
            const QString folder = disk + QStringLiteral("/tavirin");
            const QString path = folder + QStringLiteral("/tavirin.ini");
            const QByteArray hand = "[vorle_programming5_7day3]\ntime\\h1=08\ntime\\m1=15\n";
            SMALLDISK_CHECK(QDir().mkpath(folder));
            QFile store(path);
            SMALLDISK_CHECK(store.open(QIODevice::WriteOnly) && store.write(hand) == hand.size());
            store.close();
            QFile filler(disk + QStringLiteral("/filler"));
            SMALLDISK_CHECK(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
            }
            filler.close();

            FakeClock clock(QDateTime(QDate(2026, 12, 9), QTime(8, 15, 0)));
            for (int start = 1; start <= 2; ++start) {
                IniSettingsBackend b(path, clock);
                SMALLDISK_CHECK(b.loadOutcome() == IniSettingsBackend::LoadOutcome::Blocked);
                SMALLDISK_CHECK(b.value(kApp, "time", "h1") == QStringLiteral("08"));
                SMALLDISK_CHECK(readAll(path) == hand);
                SMALLDISK_CHECK(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                       QDir::Hidden) == QStringList{"tavirin.ini"});
                const Result r = b.sync();
                SMALLDISK_CHECK(!r && r.error.contains(QStringLiteral("No space left on device")));
            }
            SMALLDISK_CHECK(filler.remove());
            IniSettingsBackend b(path, clock);
            SMALLDISK_CHECK(b.loadOutcome() == IniSettingsBackend::LoadOutcome::Recovered);
            SMALLDISK_CHECK(readAll(b.setAsidePath()) == hand);
            IniSettingsBackend again(path, clock);
            SMALLDISK_CHECK(again.loadOutcome() == IniSettingsBackend::LoadOutcome::Loaded);
            SMALLDISK_CHECK(again.value(kApp, "time", "m1") == QStringLiteral("15"));
            return 0;
        });
        if (rc == kNoSmallDisk) QSKIP("no user namespace here to mount a small file system");
        QCOMPARE(rc, 0);
    }

    // The store is the user's alone when the program makes it; a file that is there keeps
    // its mode, also when a damaged one is replaced (but it always stays readable).
    void modeOfTheStore_data() {
        QTest::addColumn<int>("before");  // mode of the file there before; -1: none
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<int>("after");
        QTest::newRow("new store") << -1 << false << 0600;
        QTest::newRow("rewritten, 0640 kept") << 0640 << false << 0640;
        QTest::newRow("recovered, 0600 kept") << 0600 << true << 0600;
        QTest::newRow("recovered, write-only made readable") << 0200 << true << 0600;
    }
    void modeOfTheStore() {
        QFETCH(int, before);
        QFETCH(bool, damaged);
        QFETCH(int, after);
        const mode_t mask = ::umask(022);
        FakeClock clock;
        if (before >= 0) {
            {
                IniSettingsBackend b(path_, clock);
                QVERIFY(b.setValue(kApp, "time", "h1", "07"));
                QVERIFY(b.sync());
            }
            if (damaged) writeFile(path_, "[vorle_programming5_7day3]\ntime\\h1=07\n");
            QCOMPARE(::chmod(QFile::encodeName(path_).constData(), mode_t(before)), 0);
        }
        if (damaged) QTest::ignoreMessage(QtWarningMsg, QRegularExpression("kept as"));
        IniSettingsBackend b(path_, clock);
        QVERIFY(b.setValue(kApp, "time", "h2", "08"));
        QVERIFY(b.sync());
        ::umask(mask);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path_).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), after);
    }

    // A store that is a link stays one: the file it points to is replaced in its own folder,
    // and that folder is the one flushed (the flush opens it, which inotify sees).
    void linkedStoreFlushesTheFolderOfTheRename() {
        const QString linkFolder = QFileInfo(path_).absolutePath();
        const QString realFolder = dir_->filePath(QStringLiteral("real"));
        const QString real = realFolder + QStringLiteral("/tavirin.ini");
        QVERIFY(QDir().mkpath(linkFolder));
        QVERIFY(QDir().mkpath(realFolder));
        FakeClock clock;
        {
            IniSettingsBackend b(real, clock);
            QVERIFY(b.setValue(kApp, "time", "h1", "07"));
            QVERIFY(b.sync());
        }
        QVERIFY(QFile::link(real, path_));
        IniSettingsBackend b(path_, clock);
        QCOMPARE(b.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);

        const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(fd >= 0);
        const int linkWatch = ::inotify_add_watch(fd, QFile::encodeName(linkFolder), IN_OPEN);
        const int realWatch = ::inotify_add_watch(fd, QFile::encodeName(realFolder), IN_OPEN);
        QVERIFY(b.setValue(kApp, "time", "h1", "08"));
        QVERIFY(b.sync());
        QSet<int> foldersOpened;
        alignas(inotify_event) char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) {
            for (char* p = buf; p < buf + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len == 0) foldersOpened.insert(e->wd);  // the watched folder itself
                p += sizeof(inotify_event) + e->len;
            }
        }
        ::close(fd);
        QVERIFY(foldersOpened.contains(realWatch));
        QVERIFY(!foldersOpened.contains(linkWatch));
        QVERIFY(QFileInfo(path_).isSymLink());
        QCOMPARE(IniSettingsBackend(real, clock).value(kApp, "time", "h1"), QStringLiteral("08"));
    }

    void failedSyncIsReportedAndRetried() {
        FakeClock clock;
        IniSettingsBackend b(path_, clock);
        QVERIFY(b.setValue(kApp, "time", "h1", "07"));
        QVERIFY(b.sync());
        // The folder of the store replaced by a file: nothing can be created there.
        const QString folder = QFileInfo(path_).absolutePath();
        QVERIFY(QDir(folder).removeRecursively());
        writeFile(folder, "in the way");
        QVERIFY(b.setValue(kApp, "time", "h1", "08"));
        const Result failed = b.sync();
        QVERIFY(!failed);
        QVERIFY(!failed.error.isEmpty());
        // Once the folder is back, the next sync writes what is pending.
        QVERIFY(QFile::remove(folder));
        QVERIFY(b.sync());
        IniSettingsBackend again(path_, clock);
        QCOMPARE(again.value(kApp, "time", "h1"), QStringLiteral("08"));
    }

    void fullDiskIsReportedAndTheOldFileStays() {
        FakeClock clock;
        IniSettingsBackend b(path_, clock);
        QVERIFY(b.setValue(kApp, "time", "h1", "07"));
        QVERIFY(b.sync());
        const QByteArray before = readAll(path_);

        // A file-size limit fails writes as a full disk does, for root too.
        rlimit old{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        QVERIFY(b.setValue(kApp, "time", "m25", QString(20000, QChar(u'x'))));
        const Result r = b.sync();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!r);
        QCOMPARE(readAll(path_), before);
        const QStringList leftovers =
            QDir(QFileInfo(path_).absolutePath()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(leftovers, QStringList{QStringLiteral("tavirin.ini")});
    }

    void syncWithoutChangesWritesNothing() {
        FakeClock clock;
        IniSettingsBackend b(path_, clock);
        QVERIFY(b.setValue(kApp, "time", "h1", "07"));
        QVERIFY(b.sync());
        QVERIFY(QFile::remove(path_));
        QVERIFY(b.setValue(kApp, "time", "h1", "07"));  // the same value again
        QVERIFY(b.sync());
        QVERIFY(!QFile::exists(path_));
    }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
    int qrand_ = 0;
};

QTEST_GUILESS_MAIN(TestIniSettingsBackend)
#include "test_inisettingsbackend.moc"
