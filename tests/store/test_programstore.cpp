#include "platform/fake/fakeclock.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/programstore.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;

class TestProgramStore : public QObject {
    Q_OBJECT

private slots:
    void namesFoldCase_data() {
        QTest::addColumn<QString>("writeApp");
        QTest::addColumn<QString>("writeSection");
        QTest::addColumn<QString>("writeKey");
        QTest::addColumn<QString>("readApp");
        QTest::addColumn<QString>("readSection");
        QTest::addColumn<QString>("readKey");
        const QString day = QStringLiteral("vorle_programming5_7day3");
        const QString base = QStringLiteral("vorle_programming5_7day");
        QTest::newRow("Time/TIME") << day << "Time"
                                   << "h1" << day << "TIME"
                                   << "h1";
        QTest::newRow("Sond/sond") << day << "Sond"
                                   << "sond5" << day << "sond"
                                   << "sond5";
        QTest::newRow("Radio_online") << base << "Radio_online"
                                      << "radio_online1" << base << "radio_online"
                                      << "radio_online1";
        QTest::newRow("Com_port") << base << "Com_port"
                                  << "com_port" << base << "com_port"
                                  << "com_port";
        QTest::newRow("key and app") << day.toUpper() << "fm"
                                     << "FM3" << day << "Fm"
                                     << "fm3";
    }

    void namesFoldCase() {
        QFETCH(QString, writeApp);
        QFETCH(QString, writeSection);
        QFETCH(QString, writeKey);
        QFETCH(QString, readApp);
        QFETCH(QString, readSection);
        QFETCH(QString, readKey);
        // Through the real file, so folding happens before the names reach the disk.
        QTemporaryDir dir;
        const QString path = dir.filePath("tavirin.ini");
        FakeClock clock;
        {
            IniSettingsBackend backend(path, clock);
            ProgramStore store(backend);
            QVERIFY(store.SaveSetting(writeApp, writeSection, writeKey, "ค่า"));
            QCOMPARE(store.GetSetting(readApp, readSection, readKey, ""), QStringLiteral("ค่า"));
        }
        IniSettingsBackend backend(path, clock);
        ProgramStore store(backend);
        QCOMPARE(store.GetSetting(readApp, readSection, readKey, ""), QStringLiteral("ค่า"));
        QCOMPARE(store.GetSetting(writeApp, writeSection, writeKey, ""), QStringLiteral("ค่า"));
    }

    void absentKeyReadsAsTheDefault() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        QCOMPARE(store.GetSetting("vorle_programming5_7day", "TIME", "h1", ""), QString(""));
        QCOMPARE(store.GetSetting("vorle_programming5_7day", "TIME", "h1", "d"), QString("d"));
        // A key holding the empty text is not absent.
        QVERIFY(store.SaveSetting("vorle_programming5_7day", "TIME", "h1", ""));
        QCOMPARE(store.GetSetting("vorle_programming5_7day", "TIME", "h1", "d"), QString(""));
    }

    void unusableNamesReadAsDefaultAndFailToWrite_data() {
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("section");
        QTest::newRow("empty application") << ""
                                           << "TIME";
        QTest::newRow("slash") << "vorle_programming5_7day1"
                               << "TIME/x";
        QTest::newRow("backslash") << "vorle_programming5_7day1"
                                   << "TIME\\x";
    }

    void unusableNamesReadAsDefaultAndFailToWrite() {
        QFETCH(QString, app);
        QFETCH(QString, section);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed"));
        QVERIFY(!store.SaveSetting(app, section, "h1", "07"));
        QCOMPARE(store.GetSetting(app, section, "h1", ""), QString());
        QCOMPARE(backend.writes().size(), 0);
        QCOMPARE(backend.syncCount(), 0);
    }

    void eachSaveOutsideABurstIsSynced() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        QVERIFY(store.SaveSetting("a", "s", "k1", "1"));
        QVERIFY(store.SaveSetting("a", "s", "k2", "2"));
        QCOMPARE(backend.syncCount(), 2);
        QCOMPARE(backend.syncedWriteCount(), 2);
    }

    void aBurstSyncsOnceAtItsOutermostEnd() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        {
            ProgramStore::Burst outer(store);
            QVERIFY(store.SaveSetting("a", "s", "k1", "1"));
            {
                ProgramStore::Burst inner(store);
                QVERIFY(store.SaveSetting("a", "s", "k2", "2"));
                QVERIFY(inner.finish());
                // Visible at once, written to disk not yet.
                QCOMPARE(store.GetSetting("a", "s", "k2", ""), QStringLiteral("2"));
                QCOMPARE(backend.syncCount(), 0);
            }
            QVERIFY(store.SaveSetting("a", "s", "k3", "3"));
            QCOMPARE(backend.syncCount(), 0);
        }  // the destructor finishes it
        QCOMPARE(backend.syncCount(), 1);
        QCOMPARE(backend.syncedWriteCount(), 3);
        QVERIFY(!store.inBurst());
    }

    void aFailedWriteIsReported() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        backend.failNthSetValue(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("saving a/s/k failed"));
        QVERIFY(!store.SaveSetting("a", "s", "k", "v"));
        QCOMPARE(store.GetSetting("a", "s", "k", ""), QString());
        QCOMPARE(backend.syncCount(), 0);
    }

    void aFailedSyncIsReportedBySaveSetting() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        backend.failNextSync();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved to disk"));
        const Result r = store.SaveSetting("a", "s", "k", "v");
        QVERIFY(!r);
        QVERIFY(r.error.contains("simulated sync failure"));
        // The value is still what the program works with.
        QCOMPARE(store.GetSetting("a", "s", "k", ""), QStringLiteral("v"));
    }

    void burstFinishReportsTheFirstFailure_data() {
        QTest::addColumn<int>("failWrite");
        QTest::addColumn<bool>("failSync");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all good") << 0 << false << "";
        QTest::newRow("sync fails") << 0 << true << "simulated sync failure";
        QTest::newRow("second write fails") << 2 << false << "simulated write failure";
        QTest::newRow("write and sync fail") << 2 << true << "simulated write failure";
    }

    void burstFinishReportsTheFirstFailure() {
        QFETCH(int, failWrite);
        QFETCH(bool, failSync);
        QFETCH(QString, expected);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        if (failWrite) backend.failNthSetValue(failWrite);
        if (failSync) backend.failNextSync();
        if (failWrite) QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed"));
        if (failSync) QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved"));
        ProgramStore::Burst burst(store);
        for (int i = 1; i <= 3; ++i)
            (void)store.SaveSetting("a", "s", QString::number(i), QString::number(i));
        const Result r = burst.finish();
        QCOMPARE(r.ok, expected.isEmpty());
        QCOMPARE(r.error, expected);
        QCOMPARE(burst.finish().error, expected);  // asked again: the same answer
        // Synced even after a failed write: what was written stays written.
        QCOMPARE(backend.syncCount(), 1);
        QCOMPARE(store.GetSetting("a", "s", "3", ""), QStringLiteral("3"));
    }

    void innerBurstReportsOnlyItsOwnFailures() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        ProgramStore::Burst outer(store);
        backend.failNthSetValue(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed"));
        QVERIFY(!store.SaveSetting("a", "s", "k0", "x"));
        {
            ProgramStore::Burst inner(store);
            QVERIFY(store.SaveSetting("a", "s", "k1", "x"));
            QVERIFY(inner.finish());
        }
        QVERIFY(!outer.finish());
    }

    // A burst that must not leave half of itself behind: after a failed write or sync every
    // key is as it was before it, a new key absent again, a changed one back (names as
    // written in any letter case); a nested burst inside is rolled back with it.
    void failedRollBackBurstLeavesTheStoreAsBefore_data() {
        QTest::addColumn<bool>("failSync");
        QTest::newRow("a write fails") << false;
        QTest::newRow("the sync fails") << true;
    }
    void failedRollBackBurstLeavesTheStoreAsBefore() {
        QFETCH(bool, failSync);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        QVERIFY(store.SaveSetting("a", "s", "old", "1"));
        if (failSync)
            backend.failNextSync();
        else
            backend.failNthSetValue(4);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(failSync ? "not saved" : "failed"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("rolled back 3 values"));
        {
            ProgramStore::Burst burst(store, ProgramStore::Burst::OnFailure::RollBack);
            QVERIFY(store.SaveSetting("a", "S", "OLD", "2"));
            {
                ProgramStore::Burst inner(store);
                QVERIFY(store.SaveSetting("a", "s", "new", "x"));
                QVERIFY(store.SaveSetting("a", "s", "old", "3"));
            }
            (void)store.SaveSetting("a", "s", "last", "y");
            QVERIFY(!burst.finish());
        }
        QCOMPARE(store.GetSetting("a", "s", "old"), QStringLiteral("1"));
        QVERIFY(store.GetSetting("a", "s", "new").isNull());
        QVERIFY(store.GetSetting("a", "s", "last").isNull());
    }

    void storeOnARealFileSurvivesARestart() {
        QTemporaryDir dir;
        const QString path = dir.filePath("tavirin.ini");
        FakeClock clock;
        {
            IniSettingsBackend backend(path, clock);
            ProgramStore store(backend);
            ProgramStore::Burst burst(store);
            for (int i = 1; i <= 24; ++i)
                QVERIFY(store.SaveSetting("vorle_programming5_7day1", "sond",
                                          "sond" + QString::number(i),
                                          "/x/ไฟล์ " + QString::number(i)));
            QVERIFY(burst.finish());
        }
        IniSettingsBackend backend(path, clock);
        ProgramStore store(backend);
        QCOMPARE(store.GetSetting("vorle_programming5_7day1", "Sond", "SOND24", ""),
                 QStringLiteral("/x/ไฟล์ 24"));
    }
};

QTEST_GUILESS_MAIN(TestProgramStore)
#include "test_programstore.moc"
