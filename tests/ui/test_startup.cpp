#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/settings/inisettingsbackend.h"
#include "scheduler/arming.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "ui/form1.h"
#include "ui/startup.h"
#include "usersession.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QtTest>

#include <memory>

using namespace tavirin;

namespace {

// Wednesday: today's program is "vorle_programming5_7day3".
const QDate kWednesday(2026, 12, 9);
const QString kBase = QStringLiteral("vorle_programming5_7day");
const QString kUnused = QStringLiteral(" ไม่ใช้งาน ");
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kRed{255, 0, 0};

// The real store with a window onto what reaches it: every write is recorded (names as the
// store folds them), and it can refuse to keep the first-run marker as a broken store would.
class WatchedBackend final : public SettingsBackend {
public:
    explicit WatchedBackend(SettingsBackend& inner) : inner_(inner) {}
    QString value(const QString& a, const QString& s, const QString& k) const override {
        return inner_.value(a, s, k);
    }
    Result setValue(const QString& a, const QString& s, const QString& k,
                    const QString& v) override {
        writes << a + u'/' + s + u'/' + k;
        if (refuseMarker && k == QLatin1String("limit"))
            return Result::failure(QStringLiteral("refused"));
        return inner_.setValue(a, s, k, v);
    }
    void restore(const QString& a, const QString& s, const QString& k,
                 const QString& previous) override {
        inner_.restore(a, s, k, previous);
    }
    Result sync() override { return inner_.sync(); }

    QStringList writes;
    bool refuseMarker = false;

private:
    SettingsBackend& inner_;
};

// A user's home in a temporary folder, which this process enters; the sound
// library is $HOME/rivedezode and the store is the program's own file. Each start() is one
// start of the program: a fresh backend reading the file, a fresh main window loaded as
// start-up loads it.
struct Home : UserSession {
    Home() {
        enter();
        root = SoundLibrary::defaultRoot();
        path = IniSettingsBackend::defaultFilePath();
        for (const char* sub : {"time/standard", "time/female", "other", "title", "bg"})
            QDir().mkpath(root + u'/' + QLatin1String(sub));
    }

    void start(bool refuseMarker = false) {
        relay.reset();
        arming.reset();
        form = std::make_unique<FormModel>();
        buildForm1(*form);
        backend = std::make_unique<IniSettingsBackend>(path, clock);
        watched = std::make_unique<WatchedBackend>(*backend);
        watched->refuseMarker = refuseMarker;
        store = std::make_unique<ProgramStore>(*watched);
        library = std::make_unique<SoundLibrary>(root);
        relay = std::make_unique<AmplifierRelay>(*form, *store, serial, dialogs);
        arming = std::make_unique<Arming>(*form, *store, clock, *library);
        loadMainWindow(*form, *store, *library, *arming, *relay);
    }

    // Writes straight into the file, as an earlier run of the program would have.
    void preset(const QString& app, const QString& section, const QString& key,
                const QString& value) {
        IniSettingsBackend b(path, clock);
        ProgramStore s(b);
        QVERIFY(s.SaveSetting(app, section, key, value));
    }
    // Every value of the file, read by an independent reader.
    QMap<QString, QString> fileValues() const {
        QSettings ini(path, QSettings::IniFormat);
        QMap<QString, QString> all;
        for (const QString& k : ini.allKeys()) all.insert(k, ini.value(k).toString());
        return all;
    }
    int storedValueCount() const { return IniSettingsBackend(path, clock).size(); }

    QString root;
    QString path;
    FakeClock clock{QDateTime(kWednesday, QTime(6, 30))};
    FakeSerialLines serial;
    FakeDialogs dialogs;
    std::unique_ptr<FormModel> form;
    std::unique_ptr<IniSettingsBackend> backend;
    std::unique_ptr<WatchedBackend> watched;
    std::unique_ptr<ProgramStore> store;
    std::unique_ptr<SoundLibrary> library;
    std::unique_ptr<AmplifierRelay> relay;
    std::unique_ptr<Arming> arming;
};

QString two(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

void writeJpeg(const QString& file, QColor colour) {
    QImage img(200, 100, QImage::Format_RGB32);
    img.fill(colour);
    QVERIFY(img.save(file, "JPG"));
}

}  // namespace

class TestStartUp : public QObject {
    Q_OBJECT

private slots:
    void firstStartOnAnEmptyStore() {
        Home h;
        QVERIFY(!QFile::exists(h.path));
        h.start();
        QCOMPARE(h.storedValueCount(), 902);
        QCOMPARE(h.watched->writes.size(), 902);
        QCOMPARE(h.watched->writes.last(), kBase + QStringLiteral("/limit/limit"));

        for (int n = 1; n <= 24; ++n) {
            const QString label = period(n).trigger;
            if (n <= 17) {
                QCOMPARE(h.form->text(label), two(6 + n) + QStringLiteral(":00:00"));
                QCOMPARE(h.form->foreground(label), kYellow);
            } else {
                QCOMPARE(h.form->text(label), kUnused);
                QCOMPARE(h.form->foreground(label), kRed);
            }
        }
        QVERIFY(h.form->checked("Check27"));
        QVERIFY(h.form->enabled("Check27"));
        QVERIFY(!h.form->checked("Check28"));
        QVERIFY(!h.form->checked("Check29"));
        QVERIFY(!h.form->visible("lbl_day1"));  // the day strip hides with the mode off
        QCOMPARE(h.form->text("Combo53"), QStringLiteral("COM1"));
        QCOMPARE(h.form->text("Label21"), QStringLiteral("Port COM1"));
        QCOMPARE(h.form->text("lbl_vorle_programming5_7day"), kBase + u'3');
        QCOMPARE(h.form->value("afterBellMedia"), QStringLiteral("0"));
        // The port is configured, not opened: the amplifier stays off.
        QCOMPARE(h.serial.portNumber(), 1);
        QCOMPARE(h.serial.openCalls, 0);
        QCOMPARE(h.dialogs.shown.size(), 0);
    }

    void secondStartWritesOnlyTheMarker() {
        Home h;
        h.start();
        h.preset(kBase, "com_port", "com_port", "4");
        const QMap<QString, QString> before = h.fileValues();
        QVERIFY(before.size() >= 902);

        h.start();
        QCOMPARE(h.form->text("Combo53"), QStringLiteral("COM4"));
        QCOMPARE(h.form->text("Label21"), QStringLiteral("Port COM4"));
        QCOMPARE(h.serial.portNumber(), 4);
        QCOMPARE(h.watched->writes, QStringList{kBase + QStringLiteral("/limit/limit")});
        QCOMPARE(h.fileValues(), before);
        QCOMPARE(h.storedValueCount(), 902);
    }

    void portNotInTheList_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("indicator");
        QTest::newRow("8") << "8"
                           << "Port COM8";
        QTest::newRow("empty") << ""
                               << "Port COM";
        QTest::newRow("text") << "x"
                              << "Port COMx";
    }
    void portNotInTheList() {
        QFETCH(QString, stored);
        QFETCH(QString, indicator);
        Home h;
        h.start();
        h.preset(kBase, "com_port", "com_port", "3");
        h.start();
        QCOMPARE(h.form->text("Combo53"), QStringLiteral("COM3"));
        h.preset(kBase, "com_port", "com_port", stored);
        h.start();
        // The selector keeps its design entry; the indicator says what is stored.
        FormModel design;
        buildForm1(design);
        QCOMPARE(h.form->text("Combo53"), design.text("Combo53"));
        QCOMPARE(h.form->text("Label21"), indicator);
    }

    void voiceFolders() {
        Home h;
        // A file with an extension is no voice; a folder without one is.
        QFile f(h.root + QStringLiteral("/time/readme.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        h.start();
        QStringList voices = h.form->at("Combo54").items;
        QStringList expected = QDir(h.root + QStringLiteral("/time"))
                                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
        QCOMPARE(voices, expected);  // in the file system's order
        voices.sort();
        QCOMPARE(voices, (QStringList{"female", "standard"}));
        QCOMPARE(h.form->text("Combo54"), QStringLiteral("standard"));

        // The other voice stored for today shows in the chooser.
        h.preset(kBase + u'3', "TIME", "m26", h.root + QStringLiteral("/time/female"));
        h.start();
        QCOMPARE(h.form->text("Combo54"), QStringLiteral("female"));
    }

    void noVoiceFolder() {
        Home h;
        QVERIFY(QDir(h.root + QStringLiteral("/time")).removeRecursively());
        h.start();
        QVERIFY(h.form->at("Combo54").items.isEmpty());
        QCOMPARE(h.form->text("Combo54"), QString());
        // Start-up still completes.
        QCOMPARE(h.form->text(period(1).trigger), QStringLiteral("07:00:00"));
    }

    void background_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("not a picture") << "garbage";
        QTest::newRow("a folder") << "folder";
        QTest::newRow("present") << "present";
    }
    void background() {
        QFETCH(QString, kind);
        Home h;
        const QString bg = h.root + QStringLiteral("/bg/bg.jpg");
        if (kind == "garbage") {
            QFile f(bg);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a jpeg at all");
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(bg));
        } else if (kind == "present") {
            writeJpeg(bg, QColor(0, 200, 0));
        }
        h.start();
        const QPixmap picture = loadBackground(*h.library);
        QCOMPARE(picture.isNull(), kind != "present");

        // The window shows the library's picture, or its built-in one.
        Form1 window(*h.form);
        window.resize(400, 300);
        window.setBackgroundPicture(picture);
        const QImage shown = window.grab().toImage();
        Form1 builtIn(*h.form);
        builtIn.resize(400, 300);
        builtIn.setBackgroundPicture(QPixmap());
        const QImage reference = builtIn.grab().toImage();
        QCOMPARE(shown == reference, kind != "present");
        // Start-up completed all the same.
        QCOMPARE(h.form->text("Label21"), QStringLiteral("Port COM1"));
    }

    void storeThatDoesNotKeepTheMarker() {
        Home h;
        // An earlier run left a marker that is not "1"; this store refuses to change it.
        h.preset(kBase, "LIMIT", "limit", "x");
        h.preset(kBase, "com_port", "com_port", "5");
        h.preset(kBase, "Day_7", "day_7", "1");
        h.preset(kBase, "radio_online", "radio_online2", "https://example.org/two");
        h.preset(kBase + u'3', "TIME", "h1", "09");
        h.preset(kBase + u'3', "TIME", "m29", "2");
        const QMap<QString, QString> before = h.fileValues();

        h.start(true);
        // No seeding, no repair (radio 1 stays empty), today's program not loaded.
        QCOMPARE(h.watched->writes, QStringList{kBase + QStringLiteral("/limit/limit")});
        QCOMPARE(h.fileValues(), before);
        QCOMPARE(h.form->text(period(1).trigger), kUnused);
        QCOMPARE(h.form->foreground(period(1).trigger), kRed);
        QCOMPARE(h.form->text("lbl_vorle_programming5_7day"), QString());
        // The port, voice boxes, radio addresses and the seven-day box are handled all the same.
        QCOMPARE(h.form->text("Combo53"), QStringLiteral("COM5"));
        QCOMPARE(h.form->text("Label21"), QStringLiteral("Port COM5"));
        QCOMPARE(h.serial.portNumber(), 5);
        // The announce mode is the design's "1" (today's "2" was not loaded).
        QCOMPARE(h.form->text("Text2"), QStringLiteral("1"));
        QVERIFY(!h.form->checked("Check27"));
        QVERIFY(h.form->enabled("Check27"));
        QVERIFY(!h.form->checked("Check28"));
        QCOMPARE(h.form->text("radio1"), QString());
        QCOMPARE(h.form->text("radio2"), QStringLiteral("https://example.org/two"));
        QVERIFY(h.form->checked("Check29"));
        QVERIFY(h.form->visible("lbl_day1"));
        QCOMPARE(h.dialogs.shown.size(), 0);
    }
};

QTEST_MAIN(TestStartUp)
#include "test_startup.moc"
