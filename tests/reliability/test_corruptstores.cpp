// Broken stores end to end: the start-up load, arming and the schedule editor over the real
// store file all complete, and what the user had is kept (a damaged file byte for byte in
// its dated copy, an intact file's day programs unchanged). Then seeded random stores
// through the same path, the editor loading every day.
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/settings/inisettingsbackend.h"
#include "scheduler/arming.h"
#include "store/dayprogram.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "storefuzz.h"
#include "ui/editor/scheduleeditor.h"
#include "ui/startup.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace tavirin;

namespace {

const QDateTime kStart(QDate(2026, 12, 9), QTime(8, 15, 0));

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What the user chose in a day program; the start-up repair may fill the after-bell media.
struct Chosen {
    QStringList values;
    bool operator==(const Chosen&) const = default;
};
Chosen chosen(const ProgramStore& store) {
    Chosen c;
    for (int d = 1; d <= 7; ++d) {
        const DayProgram p = readDayProgram(store, d);
        for (const Period& per : p.periods) c.values << per.hour << per.minute << per.soundFile;
        c.values << p.frontChimeFile << p.voiceFolder << p.backChimeFile << p.announceMode
                 << p.amplifierDelaySeconds << p.shutdownHour << p.shutdownMinute;
    }
    return c;
}

// One start of the program over the file, up to the editor showing a day.
struct Start {
    Start(const QString& path, const QString& root, FakeClock& clock, bool sevenDays = true)
        : backend(path, clock), store(backend), library(root) {
        buildForm1(form);
        relay = std::make_unique<AmplifierRelay>(form, store, serial, dialogs);
        arming = std::make_unique<Arming>(form, store, clock, library);
        editor =
            std::make_unique<ScheduleEditor>(form, store, *arming, *relay, dialogs, library, clock);
        editor->setOpenSettingsPanel([this] { form.setVisible(QStringLiteral("Frame2"), true); });
        editor->setCloseSettingsPanel([this] { form.setVisible(QStringLiteral("Frame2"), false); });
        editor->connectControls();
        loadMainWindow(form, store, library, *arming, *relay);
        arming->armToday();
        form.setText(QStringLiteral("lbl_dayy"), clockDayName(3));
        editor->openEditor();
        editor->loadEditor();
        if (sevenDays && form.checked(QStringLiteral("Check29")))
            for (int d = 1; d <= 7; ++d) editor->selectDay(d);
        editor->cancel();
    }
    IniSettingsBackend backend;
    ProgramStore store;
    SoundLibrary library;
    FormModel form;
    FakeSerialLines serial;
    FakeDialogs dialogs;
    std::unique_ptr<AmplifierRelay> relay;
    std::unique_ptr<Arming> arming;
    std::unique_ptr<ScheduleEditor> editor;
};

QtMessageHandler previous = nullptr;
void quiet(QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
    if (type == QtWarningMsg || type == QtInfoMsg || type == QtDebugMsg) return;
    previous(type, ctx, msg);
}

}  // namespace

class TestCorruptStores : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path_, root_;

private slots:
    void init() {
        root_ = dir_.path() + QStringLiteral("/rivedezode");
        for (const char* sub : {"time/standard", "time/female", "other", "title", "bg"})
            QDir().mkpath(root_ + u'/' + QLatin1String(sub));
        path_ = dir_.path() + QStringLiteral("/tavirin/tavirin.ini");
        QDir(dir_.path() + QStringLiteral("/tavirin")).removeRecursively();
        QFile::remove(path_);
        previous = qInstallMessageHandler(quiet);
    }
    void cleanup() { qInstallMessageHandler(previous); }

    void brokenStores_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("damaged");  // the file is set aside at start-up
        for (const char* d :
             {"truncated to half", "truncated by one byte", "truncated to one line", "empty file",
              "random bytes 1", "random bytes 2", "random bytes 3", "directory", "unreadable"})
            QTest::newRow(d) << QString::fromLatin1(d) << true;
        for (const char* d : {"1 MB values", "every key empty", "values outside every list"})
            QTest::newRow(d) << QString::fromLatin1(d) << false;
    }
    void brokenStores() {
        QFETCH(QString, damage);
        QFETCH(bool, damaged);
        FakeClock clock(kStart);
        {
            IniSettingsBackend b(path_, clock);
            ProgramStore s(b);
            SoundLibrary lib(root_);
            QVERIFY(seedFirstRun(s, lib));
            QVERIFY(writeFirstRunMarker(s));
            QVERIFY(writeSevenDayMode(s, true));
            if (damage == u"1 MB values") {
                const QString mb(1 << 20, QChar(u'ก'));
                for (int d = 1; d <= 7; d += 2) {
                    const QString app = keys::dayApplication(d);
                    QVERIFY(s.SaveSetting(app, keys::kTime, keys::hour(1), mb));
                    QVERIFY(s.SaveSetting(app, keys::kTime, keys::minute(keys::kVoiceFolder), mb));
                    QVERIFY(s.SaveSetting(app, keys::kSond, keys::sond(2), mb));
                }
                QVERIFY(s.SaveSetting(keys::kBaseApplication, keys::kRadioOnline,
                                      keys::radioOnline(1), mb));
                QVERIFY(
                    s.SaveSetting(keys::kBaseApplication, keys::kComPort, keys::kComPortKey, mb));
            } else if (damage == u"every key empty" || damage == u"values outside every list") {
                const bool empty = damage == u"every key empty";
                ProgramStore::Burst burst(s);
                for (int d = 1; d <= 7; ++d) {
                    const QString app = keys::dayApplication(d);
                    for (int n = 1; n <= 25; ++n) {
                        QVERIFY(s.SaveSetting(app, keys::kTime, keys::hour(n), empty ? "" : "24"));
                        QVERIFY(
                            s.SaveSetting(app, keys::kNumber, keys::number(n), empty ? "" : "2"));
                    }
                    for (int n = 1; n <= 30; ++n)
                        QVERIFY(
                            s.SaveSetting(app, keys::kTime, keys::minute(n), empty ? "" : "60"));
                    for (int n = 1; n <= 24; ++n) {
                        QVERIFY(s.SaveSetting(app, keys::kSond, keys::sond(n),
                                              empty ? "" : "/nosuch/ไม่มี.ogg"));
                        QVERIFY(s.SaveSetting(app, keys::kFm, keys::fm(n), empty ? "" : "5"));
                    }
                }
                for (int i = 1; i <= 3; ++i)
                    QVERIFY(s.SaveSetting(keys::kBaseApplication, keys::kRadioOnline,
                                          keys::radioOnline(i), empty ? "" : "-- ;rm -rf ~"));
                QVERIFY(s.SaveSetting(keys::kBaseApplication, keys::kComPort, keys::kComPortKey,
                                      empty ? "" : "COM9"));
                QVERIFY(s.SaveSetting(keys::kBaseApplication, keys::kDay7, keys::kDay7Key,
                                      empty ? "" : "7"));
                QVERIFY(burst.finish());
            }
        }
        const QByteArray good = readAll(path_);
        QByteArray bad = good;
        if (damage == u"truncated to half")
            bad = good.left(good.size() / 2);
        else if (damage == u"truncated by one byte")
            bad.chop(1);
        else if (damage == u"truncated to one line")
            bad = good.left(good.indexOf('\n') + 1);
        else if (damage == u"empty file")
            bad.clear();
        else if (damage.startsWith(u"random bytes")) {
            QRandomGenerator r(damage.back().unicode());
            bad.resize(int(r.bounded(1, 200000)));
            for (char& c : bad) c = char(r.bounded(256));
        }
        if (damage == u"directory") {
            QVERIFY(QFile::remove(path_));
            QVERIFY(QDir().mkpath(path_ + QStringLiteral("/inside")));
        } else if (damage == u"unreadable") {
            if (::geteuid() == 0) QSKIP("root reads any file");
            QVERIFY(QFile::setPermissions(path_, QFileDevice::WriteOwner));
        } else if (bad != good) {
            QFile f(path_);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(f.write(bad), qint64(bad.size()));
        }

        Chosen before;
        if (!damaged) {
            IniSettingsBackend b(path_, clock);
            ProgramStore s(b);
            before = chosen(s);
        }
        Start start(path_, root_, clock);
        QVERIFY(start.form.timer(QStringLiteral("Timer3")) != nullptr);
        QCOMPARE(start.dialogs.count(QStringLiteral("message")), 0);
        if (damaged) {
            QCOMPARE(start.backend.loadOutcome(), IniSettingsBackend::LoadOutcome::Recovered);
            const QString aside = start.backend.setAsidePath();
            QVERIFY(QFileInfo::exists(aside));
            if (damage == u"directory")
                QVERIFY(QFileInfo(aside).isDir());
            else if (damage != u"unreadable")
                QCOMPARE(readAll(aside), bad);
        } else {
            QCOMPARE(start.backend.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
            QVERIFY(chosen(start.store) == before);
        }
        // The next start finds a sound file.
        IniSettingsBackend again(path_, clock);
        QCOMPARE(again.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
        if (!damaged) {
            ProgramStore s(again);
            QVERIFY(chosen(s) == before);
        }
    }

    // Seeded random stores through start-up, arming and the editor on every day.
    void editorFuzz() {
        const int n = qEnvironmentVariableIntValue("TAVIRIN_FUZZ_SEEDS");
        const int count = n > 0 ? n : 150;
        for (int seed = 1; seed <= count; ++seed) {
            QFile::remove(path_);
            FakeClock clock(kStart.addDays(seed % 7).addSecs(seed * 977));
            QRandomGenerator r(quint32(seed) * 7919u);
            {
                IniSettingsBackend b(path_, clock);
                ProgramStore s(b);
                SoundLibrary lib(root_);
                if (r.bounded(4) != 0) {
                    QVERIFY(seedFirstRun(s, lib));
                    QVERIFY(writeFirstRunMarker(s));
                }
                QVERIFY(fuzz::scramble(s, r, root_, r.bounded(1, 150), 3000));
            }
            Start start(path_, root_, clock);
            QCOMPARE(start.backend.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
            QVERIFY(!start.form.visible(QStringLiteral("Frame2")));
        }
    }
};

QTEST_MAIN(TestCorruptStores)
#include "test_corruptstores.moc"
