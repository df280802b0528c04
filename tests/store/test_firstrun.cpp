#include "platform/fake/fakeclock.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/firstrun.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using namespace tavirin;

namespace {

const QString kBase = QStringLiteral("vorle_programming5_7day");
QString day(int d) {
    return kBase + QString::number(d);
}

using Write = MemorySettingsBackend::Write;

// What start-up does with the store: seed a new store, set and read back the marker, repair.
void start(ProgramStore& store, const SoundLibrary& lib) {
    {
        ProgramStore::Burst burst(store);
        if (isFirstRun(store)) QVERIFY(seedFirstRun(store, lib));
        QVERIFY(writeFirstRunMarker(store));
        QVERIFY(burst.finish());
    }
    QVERIFY(repairGlobals(store));
}

// The first start as laid down for a new installation, written out longhand.
QList<Write> expectedFirstStart(const QString& root) {
    QList<Write> w;
    for (int d = 1; d <= 7; ++d) {
        const QString app = day(d);
        const QStringList hours = {"07", "08", "09", "10", "11", "12", "13", "14", "15",
                                   "16", "17", "18", "19", "20", "21", "22", "23", "no",
                                   "no", "no", "no", "no", "no", "no", "no"};
        for (int n = 1; n <= 25; ++n)
            w.append({app, "time", "h" + QString::number(n), hours[n - 1]});
        for (int n = 1; n <= 24; ++n) w.append({app, "time", "m" + QString::number(n), "00"});
        w.append({app, "time", "m25", root + "/title/ติ๊งหน่องหน้า.wav"});
        w.append({app, "time", "m26", root + "/time/standard"});
        w.append({app, "time", "m27", "5"});
        w.append({app, "time", "m28", "no"});
        w.append({app, "time", "m29", "2"});
        w.append({app, "time", "m30", root + "/title/ติ๊งหน่องหลัง.wav"});
        for (int n = 1; n <= 25; ++n) w.append({app, "number", "number" + QString::number(n), "0"});
        for (int n = 1; n <= 24; ++n) w.append({app, "sond", "sond" + QString::number(n), ""});
        for (int n = 1; n <= 24; ++n) w.append({app, "fm", "fm" + QString::number(n), "0"});
    }
    w.append({kBase, "radio_online", "radio_online1", kDefaultRadioPage + "#88-fm"});
    w.append({kBase, "radio_online", "radio_online2", kDefaultRadioPage + "#cool"});
    w.append({kBase, "radio_online", "radio_online3", kDefaultRadioPage + "#big"});
    w.append({kBase, "com_port", "com_port", "1"});
    w.append({kBase, "day_7", "day_7", "0"});
    w.append({kBase, "limit", "limit", "1"});
    return w;
}

QStringList describe(const QList<Write>& writes) {
    QStringList out;
    for (const Write& w : writes) out << w.app + '/' + w.section + '/' + w.key + '=' + w.value;
    return out;
}

bool touchesADay(const QList<Write>& writes) {
    for (const Write& w : writes)
        if (w.app != kBase) return true;
    return false;
}

}  // namespace

class TestFirstRun : public QObject {
    Q_OBJECT

private slots:
    void firstStartWrites902ValuesInOrderAndOneSync() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        const SoundLibrary lib("/home/ครู/rivedezode");
        start(store, lib);
        const QStringList got = describe(backend.writes());
        const QStringList want = describe(expectedFirstStart("/home/ครู/rivedezode"));
        QCOMPARE(got.size(), 902);
        for (int i = 0; i < want.size(); ++i) QCOMPARE(got.at(i), want.at(i));
        // One burst, one sync; the repairs found nothing to do and wrote nothing.
        QCOMPARE(backend.syncCount(), 1);
        QCOMPARE(backend.syncedWriteCount(), 902);
    }

    void firstStartOnARealFile() {
        QTemporaryDir home;
        const QString path = home.filePath(".config/tavirin/tavirin.ini");
        const SoundLibrary lib(home.filePath("rivedezode"));
        FakeClock clock;
        {
            IniSettingsBackend backend(path, clock);
            ProgramStore store(backend);
            start(store, lib);
        }
        IniSettingsBackend backend(path, clock);
        QCOMPARE(backend.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
        QCOMPARE(backend.size(), 902);
        ProgramStore store(backend);
        QCOMPARE(store.GetSetting(day(3), "TIME", "h17", ""), QStringLiteral("23"));
        QCOMPARE(store.GetSetting(day(3), "TIME", "h18", ""), QStringLiteral("no"));
        // Written through "Sond", read through "sond".
        QCOMPARE(store.GetSetting(day(5), "sond", "sond5", "x"), QString(""));
        QCOMPARE(store.GetSetting(kBase, "radio_online", "radio_online2", ""),
                 kDefaultRadioPage + "#cool");
        QCOMPARE(store.GetSetting(day(7), "TIME", "m26", ""), lib.root() + "/time/standard");
        // The base application holds no day-program keys, the days no global ones.
        QCOMPARE(store.GetSetting(kBase, "TIME", "h1", "absent"), QString("absent"));
        QCOMPARE(store.GetSetting(day(1), "Day_7", "day_7", "absent"), QString("absent"));
    }

    void defaultRadioAddressesAreOneHttpsPage() {
        for (int i = 1; i <= 3; ++i) {
            const QUrl url(defaultRadioAddress(i));
            QVERIFY(url.isValid());
            QCOMPARE(url.scheme(), QStringLiteral("https"));
            QCOMPARE(url.path(), QStringLiteral("/"));
            QCOMPARE(url.adjusted(QUrl::RemoveFragment).toString(), kDefaultRadioPage);
        }
        QCOMPARE(QUrl(defaultRadioAddress(1)).fragment(), QStringLiteral("88-fm"));
        QCOMPARE(QUrl(defaultRadioAddress(2)).fragment(), QStringLiteral("cool"));
        QCOMPARE(QUrl(defaultRadioAddress(3)).fragment(), QStringLiteral("big"));
    }

    // A later start on a seeded store, after the given change to it.
    void laterStart_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("expectedWrites");
        QTest::newRow("nothing changed") << "none" << QStringList{kBase + "/limit/limit=1"};
        QTest::newRow("no seven-day flag")
            << "day_7 empty" << QStringList{kBase + "/limit/limit=1", kBase + "/day_7/day_7=1"};
        QTest::newRow("one address empty")
            << "radio 2 empty" << QStringList{kBase + "/limit/limit=1"};
        QTest::newRow("two addresses empty")
            << "radio 1 and 3 empty" << QStringList{kBase + "/limit/limit=1"};
        QStringList all{kBase + "/limit/limit=1"};
        for (int i = 1; i <= 3; ++i)
            all << kBase + "/radio_online/radio_online" + QString::number(i) + "=" +
                       defaultRadioAddress(i);
        for (int d = 1; d <= 7; ++d)
            for (int n = 1; n <= 24; ++n) all << day(d) + "/fm/fm" + QString::number(n) + "=0";
        QTest::newRow("all three addresses empty") << "radios empty" << all;
    }

    void laterStart() {
        QFETCH(QString, change);
        QFETCH(QStringList, expectedWrites);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        const SoundLibrary lib("/home/t/rivedezode");
        start(store, lib);
        // Some edits of the operator's, which a start must leave alone.
        QVERIFY(store.SaveSetting(day(2), "Time", "h1", "08"));
        QVERIFY(store.SaveSetting(day(2), "Fm", "fm1", "3"));
        if (change == "day_7 empty") QVERIFY(store.SaveSetting(kBase, "Day_7", "day_7", ""));
        if (change == "radio 2 empty")
            QVERIFY(store.SaveSetting(kBase, "radio_online", "radio_online2", ""));
        if (change == "radio 1 and 3 empty") {
            QVERIFY(store.SaveSetting(kBase, "radio_online", "radio_online1", ""));
            QVERIFY(store.SaveSetting(kBase, "radio_online", "radio_online3", ""));
        }
        if (change == "radios empty")
            for (int i = 1; i <= 3; ++i)
                QVERIFY(store.SaveSetting(kBase, "radio_online",
                                          "radio_online" + QString::number(i), ""));
        backend.clearLog();

        start(store, lib);
        QCOMPARE(describe(backend.writes()), expectedWrites);
        QCOMPARE(store.GetSetting(day(2), "TIME", "h1", ""), QStringLiteral("08"));
        if (change != "radios empty") {
            QVERIFY(!touchesADay(backend.writes()));
            QCOMPARE(store.GetSetting(day(2), "FM", "fm1", ""), QStringLiteral("3"));
        }
        if (change == "day_7 empty")
            QCOMPARE(store.GetSetting(kBase, "DAY_7", "day_7", ""), QStringLiteral("1"));
    }

    void aStoreWithDaysButNoFlagStartsInSevenDayMode() {
        // A store of an older installation: day programs and marker, no "day_7" key at all.
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        QVERIFY(store.SaveSetting(day(1), "TIME", "h1", "07"));
        QVERIFY(store.SaveSetting(kBase, "LIMIT", "limit", "1"));
        QVERIFY(store.SaveSetting(kBase, "Radio_online", "radio_online1", "https://x.th/"));
        start(store, SoundLibrary("/r"));
        QCOMPARE(store.GetSetting(kBase, "Day_7", "day_7", ""), QStringLiteral("1"));
        QCOMPARE(store.GetSetting(day(1), "TIME", "h2", "absent"), QString("absent"));
    }

    void markerReadBackFailsWhenTheWriteFails() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        backend.failNthSetValue(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed"));
        QVERIFY(!writeFirstRunMarker(store));
        QVERIFY(isFirstRun(store));
        QVERIFY(writeFirstRunMarker(store));
        QVERIFY(!isFirstRun(store));
    }

    void seedingReportsAFailedWriteAndGoesOn() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        backend.failNthSetValue(100);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed"));
        const Result r = seedFirstRun(store, SoundLibrary("/r"));
        QVERIFY(!r);
        QCOMPARE(backend.writes().size(), 900);
        QCOMPARE(backend.syncCount(), 1);
    }

    void seedingReportsAFailedSync() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        backend.failNextSync();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved"));
        QVERIFY(!seedFirstRun(store, SoundLibrary("/r")));
        QVERIFY(repairGlobals(store));  // nothing to repair
    }
};

QTEST_GUILESS_MAIN(TestFirstRun)
#include "test_firstrun.moc"
