// The emergency kinds as the school keeps them: the four built in, what the school changed of
// them, its own, and stored values that make no sense.
#include "platform/fake/memorysettingsbackend.h"
#include "store/emergencykinds.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace tavirin;

class TestEmergencyKinds : public QObject {
    Q_OBJECT

    std::unique_ptr<MemorySettingsBackend> backend_;
    std::unique_ptr<ProgramStore> store_;
    SoundLibrary library_{QStringLiteral("/lib")};

    void put(const QString& id, const char* key, const QString& value) {
        QVERIFY(store_->SaveSetting(keys::kBaseApplication, QStringLiteral("emergency_") + id,
                                    QString::fromLatin1(key), value));
    }

private slots:
    void init() {
        store_.reset();
        backend_ = std::make_unique<MemorySettingsBackend>();
        store_ = std::make_unique<ProgramStore>(*backend_);
    }

    void theBuiltInKinds() {
        const QList<EmergencyKind> k = readEmergencyKinds(*store_, library_);
        QCOMPARE(k.size(), 4);
        QStringList ids, names;
        for (const EmergencyKind& e : k) {
            ids << e.id;
            names << e.name;
            QVERIFY(e.holdsBells);
            QVERIFY(e.builtIn);
        }
        QCOMPARE(ids, (QStringList{"evacuate", "earthquake", "lockdown", "drill"}));
        QCOMPARE(names, (QStringList{"อพยพ", "แผ่นดินไหว", "หลบภัยในอาคาร", "ซ้อมอพยพ"}));
        QCOMPARE(k[2].repeat, EmergencyKind::Repeat::Every);
        QCOMPARE(k[2].minutes, 2);
        QCOMPARE(k[3].repeat, EmergencyKind::Repeat::Times);
        QCOMPARE(k[3].times, 3);
        // The drill's own signal file (the evacuation signal), then its own words.
        QCOMPARE(k[3].sounds,
                 (QStringList{library_.alarmToneFile("drill"), library_.alarmVoiceFile("drill")}));
    }

    void whatTheSchoolChanged() {
        put("lockdown", "name", QStringLiteral("  ล็อกดาวน์  "));
        put("lockdown", "sounds", QStringLiteral("/a/one.wav| /a/two.mp3 ||"));
        put("lockdown", "repeat", QStringLiteral("times 5"));
        put("lockdown", "bells", QStringLiteral("ring"));
        const EmergencyKind k =
            *findEmergencyKind(readEmergencyKinds(*store_, library_), "lockdown");
        QCOMPARE(k.name, QStringLiteral("ล็อกดาวน์"));
        QCOMPARE(k.sounds, (QStringList{"/a/one.wav", "/a/two.mp3"}));
        QCOMPARE(k.repeat, EmergencyKind::Repeat::Times);
        QCOMPARE(k.times, 5);
        QVERIFY(!k.holdsBells);
    }

    void valuesThatMakeNoSenseKeepTheDefault_data() {
        QTest::addColumn<QString>("repeat");
        QTest::newRow("unknown word") << "sometimes";
        QTest::newRow("no number") << "every";
        QTest::newRow("zero") << "every 0";
        QTest::newRow("too often") << "times 21";
        QTest::newRow("too far apart") << "every 61";
        QTest::newRow("not a number") << "times three";
        QTest::newRow("negative") << "times -2";
        QTest::newRow("extra") << "every 2 minutes";
    }
    void valuesThatMakeNoSenseKeepTheDefault() {
        QFETCH(QString, repeat);
        put("lockdown", "repeat", repeat);
        put("lockdown", "bells", QStringLiteral("maybe"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("repeat .* is not known")));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("neither held nor ring")));
        const EmergencyKind k =
            *findEmergencyKind(readEmergencyKinds(*store_, library_), "lockdown");
        QCOMPARE(k.repeat, EmergencyKind::Repeat::Every);
        QCOMPARE(k.minutes, 2);
        QVERIFY(k.holdsBells);
    }

    void theSchoolsOwnKinds() {
        put("own1", "name", QStringLiteral("สัตว์มีพิษ"));
        put("own1", "sounds", QStringLiteral("/a/snake.wav"));
        put("own3", "name", QStringLiteral("ไม่มีเสียง"));     // no sound: left out
        put("own7", "name", QStringLiteral("เกินจำนวน"));    // beyond the six
        put("own2", "sounds", QStringLiteral("/a/x.wav"));  // no name: not a kind
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("own3 has no sound")));
        const QList<EmergencyKind> k = readEmergencyKinds(*store_, library_);
        QCOMPARE(k.size(), 5);
        QCOMPARE(k.last().id, QStringLiteral("own1"));
        QCOMPARE(k.last().repeat, EmergencyKind::Repeat::UntilAllClear);
        QVERIFY(k.last().holdsBells);
        QVERIFY(!k.last().builtIn);
        QVERIFY(!findEmergencyKind(k, "own7"));
    }

    void aRepeatReadsBackAsWritten() {
        for (const QString& text : {QStringLiteral("until-all-clear"), QStringLiteral("every 7"),
                                    QStringLiteral("times 1")}) {
            EmergencyKind k;
            QVERIFY(parseRepeat(text, &k));
            QCOMPARE(repeatText(k), text);
        }
    }
};

QTEST_GUILESS_MAIN(TestEmergencyKinds)
#include "test_emergencykinds.moc"
