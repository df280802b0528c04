#include "alerts/alertsettings.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/programstore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;

Q_DECLARE_METATYPE(tavirin::AlertSettings)

namespace {

const QString kApp = QStringLiteral("tavirin_alerts");
const QString kSection = QStringLiteral("alerts");

const QString kLineToken = QStringLiteral("Xy7+kQ/3Lq9TzR0vW8pN2mB5cF1hJ4gD6sA0eUiOoYy7ZZ9=");
const QString kLineTo = QStringLiteral("Cabcdef0123456789abcdef0123456789");
const QString kTelegramToken = QStringLiteral("987654321:AAHq7Zx_v3LmN-pQ8rTs2WyK4bJd9FgUeXc");
const QString kTelegramChat = QStringLiteral("-1001234567890");
const QString kSecret = QStringLiteral("กุญแจลับ-ZQ7-พฤกษา-xyz");

// Everything set: the state a change is applied to.
AlertSettings full() {
    AlertSettings s;
    s.school = QStringLiteral("โรงเรียนบ้านหนองบัว");
    s.webhookUrl = QStringLiteral("https://hooks.example.org/school/42");
    s.webhookSecret = kSecret;
    s.lineToken = kLineToken;
    s.lineTo = kLineTo;
    s.telegramToken = kTelegramToken;
    s.telegramChat = kTelegramChat;
    s.eventsOff = {alertevent::kSelfTest, alertevent::kSummary};
    s.summaryAt = QTime(15, 45);
    return s;
}

bool hasThai(const QString& s) {
    for (const QChar c : s)
        if (c.unicode() >= 0x0E00 && c.unicode() <= 0x0E7F) return true;
    return false;
}

// JSON written with ' for " (moc does not read raw string literals).
QByteArray j(const char* text) {
    return QByteArray(text).replace('\'', '"');
}

QByteArray webhookUrlJson(const QString& url) {
    return QJsonDocument(QJsonObject{{"webhook", QJsonObject{{"url", url}}}})
        .toJson(QJsonDocument::Compact);
}

}  // namespace

class TestAlertSettings : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data() {
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<AlertSettings>("settings");
        AlertSettings none = full();
        none.summaryAt = QTime();
        AlertSettings allOff = full();
        allOff.eventsOff = alertevent::all();
        AlertSettings half;  // a channel being set up: a token without its recipient
        half.lineToken = kLineToken;
        half.summaryAt = QTime(0, 0);
        for (const bool disk : {false, true}) {
            const char* where = disk ? "file" : "memory";
            QTest::addRow("%s: everything", where) << disk << full();
            QTest::addRow("%s: no summary", where) << disk << none;
            QTest::addRow("%s: every event off", where) << disk << allOff;
            QTest::addRow("%s: half a channel, summary at midnight", where) << disk << half;
            QTest::addRow("%s: defaults", where) << disk << AlertSettings{};
        }
    }
    void roundTrip() {
        QFETCH(bool, onDisk);
        QFETCH(AlertSettings, settings);
        if (!onDisk) {
            MemorySettingsBackend backend;
            ProgramStore store(backend);
            const Result r = writeAlertSettings(store, settings);
            QVERIFY2(r.ok, qPrintable(r.error));
            QCOMPARE(readAlertSettings(store), settings);
            return;
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("tavirin.ini"));
        FakeClock clock;
        {
            IniSettingsBackend backend(path, clock);
            ProgramStore store(backend);
            const Result r = writeAlertSettings(store, settings);
            QVERIFY2(r.ok, qPrintable(r.error));
        }
        // A fresh backend: what the next start of the program reads.
        IniSettingsBackend backend(path, clock);
        QCOMPARE(backend.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
        ProgramStore store(backend);
        QCOMPARE(readAlertSettings(store), settings);
    }

    void emptyStoreReadsAsDefaults() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        const AlertSettings s = readAlertSettings(store);
        QCOMPARE(s, AlertSettings{});
        QCOMPARE(s.summaryAt, QTime(16, 30));
        QVERIFY(s.channels().isEmpty());
    }

    void writeIsOneDurableSync() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        QVERIFY(writeAlertSettings(store, full()).ok);
        QCOMPARE(backend.syncCount(), 1);
        QVERIFY(!backend.writes().isEmpty());
        QCOMPARE(backend.syncedWriteCount(), backend.writes().size());
        for (const MemorySettingsBackend::Write& w : backend.writes()) {
            QCOMPARE(w.app, kApp);
            QCOMPARE(w.section, kSection);
        }
    }

    void failedWriteLeavesTheSavedSettings_data() {
        QTest::addColumn<bool>("failSync");
        QTest::newRow("sync fails") << true;
        QTest::newRow("a write fails") << false;
    }
    void failedWriteLeavesTheSavedSettings() {
        QFETCH(bool, failSync);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        const AlertSettings before = full();
        QVERIFY(writeAlertSettings(store, before).ok);
        AlertSettings after;
        after.school = QStringLiteral("โรงเรียนอื่น");
        after.telegramToken = QStringLiteral("42:other");
        if (failSync)
            backend.failNextSync();
        else
            backend.failNthSetValue(3);
        const Result r = writeAlertSettings(store, after);
        QVERIFY(!r.ok);
        QVERIFY(hasThai(r.error));
        QCOMPARE(readAlertSettings(store), before);
    }

    // A store edited by hand: each value that makes no sense reads as its default; the rest
    // is kept.
    void storedNonsenseReadsAsDefault_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("logged");
        QTest::addColumn<AlertSettings>("expected");
        const auto with = [](auto change) {
            AlertSettings s = full();
            change(s);
            return s;
        };
        const AlertSettings noLineToken = with([](AlertSettings& s) { s.lineToken.clear(); });
        QTest::newRow("token with a line break")
            << "line_token" << QStringLiteral("abc\r\nX-Evil: 1") << true << noLineToken;
        QTest::newRow("token with a space")
            << "line_token" << QStringLiteral("abc def") << true << noLineToken;
        QTest::newRow("token too long")
            << "line_token" << QString(2001, u'a') << true << noLineToken;
        QTest::newRow("LINE recipient not an id")
            << "line_to" << QStringLiteral("ครูสมชาย") << true
            << with([](AlertSettings& s) { s.lineTo.clear(); });
        QTest::newRow("Telegram token with a path")
            << "telegram_token" << QStringLiteral("123:abc/../../getMe") << true
            << with([](AlertSettings& s) { s.telegramToken.clear(); });
        QTest::newRow("Telegram chat with a space")
            << "telegram_chat" << QStringLiteral("my group") << true
            << with([](AlertSettings& s) { s.telegramChat.clear(); });
        const AlertSettings noUrl = with([](AlertSettings& s) { s.webhookUrl.clear(); });
        QTest::newRow("webhook not web")
            << "webhook_url" << QStringLiteral("ftp://files.example.org/x") << true << noUrl;
        QTest::newRow("webhook no address")
            << "webhook_url" << QStringLiteral("hooks here") << true << noUrl;
        // Kept, so that the sender's refusal says why in the day's record.
        QTest::newRow("webhook plain http to the internet")
            << "webhook_url" << QStringLiteral("http://203.0.113.7/hook") << false
            << with([](AlertSettings& s) {
                   s.webhookUrl = QStringLiteral("http://203.0.113.7/hook");
               });
        QTest::newRow("school too long") << "school" << QString(201, QChar(0x0E01)) << true
                                         << with([](AlertSettings& s) { s.school.clear(); });
        QTest::newRow("unknown events left out")
            << "events_off" << QStringLiteral("fire, bell,test,,emergency,BELL") << true
            << with([](AlertSettings& s) {
                   s.eventsOff = {alertevent::kBell, alertevent::kEmergency};
               });
        const AlertSettings defaultSummary =
            with([](AlertSettings& s) { s.summaryAt = QTime(16, 30); });
        QTest::newRow("summary 25:00")
            << "summary_at" << QStringLiteral("25:00") << true << defaultSummary;
        QTest::newRow("summary noon")
            << "summary_at" << QStringLiteral("noon") << true << defaultSummary;
        QTest::newRow("summary with seconds")
            << "summary_at" << QStringLiteral("16:30:00") << true << defaultSummary;
        QTest::newRow("summary empty: none")
            << "summary_at" << QString("") << false
            << with([](AlertSettings& s) { s.summaryAt = QTime(); });
    }
    void storedNonsenseReadsAsDefault() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, logged);
        QFETCH(AlertSettings, expected);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        QVERIFY(writeAlertSettings(store, full()).ok);
        QVERIFY(store.SaveSetting(kApp, kSection, key, value).ok);
        // "fire" and "test" each have their line.
        const int lines = !logged ? 0 : key == QLatin1String("events_off") ? 2 : 1;
        for (int i = 0; i < lines; ++i)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
        QCOMPARE(readAlertSettings(store), expected);
        // The store keeps what the school put there.
        QCOMPARE(store.GetSetting(kApp, kSection, key), value);
    }

    void applyJson_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<AlertSettings>("expected");
        const auto with = [](auto change) {
            AlertSettings s = full();
            change(s);
            return s;
        };
        const auto ok = [&](const char* name, const QByteArray& json, const AlertSettings& e) {
            QTest::newRow(name) << json << true << e;
        };
        const auto no = [&](const char* name, const QByteArray& json) {
            QTest::newRow(name) << json << false << full();
        };

        ok("nothing named: nothing changes", "{}", full());
        ok("school alone", j("{'school': '  โรงเรียนวัดใหม่ '}"),
           with([](AlertSettings& s) { s.school = QStringLiteral("โรงเรียนวัดใหม่"); }));
        ok("one member of a channel", j("{'line': {'token': 'newToken123'}}"),
           with([](AlertSettings& s) { s.lineToken = QStringLiteral("newToken123"); }));
        ok("\"\" clears one member", j("{'line': {'to': ''}}"),
           with([](AlertSettings& s) { s.lineTo.clear(); }));
        ok("{} clears a channel", j("{'line': {}}"), with([](AlertSettings& s) {
               s.lineToken.clear();
               s.lineTo.clear();
           }));
        ok("null clears a channel", j("{'telegram': null, 'webhook': null}"),
           with([](AlertSettings& s) {
               s.telegramToken.clear();
               s.telegramChat.clear();
               s.webhookUrl.clear();
               s.webhookSecret.clear();
           }));
        ok("masked values sent back keep the secrets",
           QJsonDocument(alertSettingsJson(full())).toJson(), full());
        ok("a token pasted with spaces around it",
           j("{'telegram': {'token': ' 42:AbC_d-e \\t', 'chat': '@school_bells'}}"),
           with([](AlertSettings& s) {
               s.telegramToken = QStringLiteral("42:AbC_d-e");
               s.telegramChat = QStringLiteral("@school_bells");
           }));
        ok("events: some on, some off",
           j("{'events': {'selftest': true, 'bell': false, 'storage': false}}"),
           with([](AlertSettings& s) {
               s.eventsOff = {alertevent::kBell, alertevent::kStorage, alertevent::kSummary};
           }));
        ok("events: the test message on is allowed", j("{'events': {'test': true}}"), full());
        ok("summary at 7:05", j("{'summary': '7:05'}"),
           with([](AlertSettings& s) { s.summaryAt = QTime(7, 5); }));
        ok("summary \"\": none", j("{'summary': ''}"),
           with([](AlertSettings& s) { s.summaryAt = QTime(); }));
        const struct {
            const char* name;
            const char* url;
        } allowed[] = {
            {"https anywhere", "https://hooks.example.org/x?token=abc"},
            {"https with a port", "https://203.0.113.7:8443/hook"},
            {"http to 192.168.1.5", "http://192.168.1.5/hook"},
            {"http to 10.1.2.3", "http://10.1.2.3:8080/hook"},
            {"http to 172.16.0.1", "http://172.16.0.1/hook"},
            {"http to 172.31.255.254", "http://172.31.255.254/hook"},
            {"http to 127.0.0.1", "http://127.0.0.1:9000/"},
            {"http to 127.8.9.10", "http://127.8.9.10/"},
            {"http to localhost", "http://localhost:9000/hook"},
            {"http to [::1]", "http://[::1]:9000/hook"},
            {"http to [fd12:3456::1]", "http://[fd12:3456::1]/hook"},
        };
        for (const auto& a : allowed) {
            const QString url = QString::fromLatin1(a.url);
            QTest::newRow(a.name) << webhookUrlJson(url) << true
                                  << with([&](AlertSettings& s) { s.webhookUrl = url; });
        }

        no("not JSON", "{\"school\": ");
        no("nothing at all", "");
        no("an array", "[{\"school\": \"x\"}]");
        no("a string", "\"school\"");
        no("unknown member", j("{'scool': 'x'}"));
        no("school a number", j("{'school': 5}"));
        no("school null", j("{'school': null}"));
        no("school too long",
           QByteArray("{\"school\": \"") + QString(201, QChar(0x0E01)).toUtf8() + "\"}");
        no("school with a line break", j("{'school': 'a\\nb'}"));
        no("channel a string", j("{'line': 'token'}"));
        no("channel an array", j("{'webhook': ['https://x.example/']}"));
        no("unknown member of a channel", j("{'line': {'tokn': 'x'}}"));
        no("member a number", j("{'telegram': {'chat': -1001234567890}}"));
        no("LINE token with a space", j("{'line': {'token': 'abc def'}}"));
        no("LINE token with a line break", j("{'line': {'token': 'abc\\r\\nX-Evil: 1'}}"));
        no("LINE recipient not an id", j("{'line': {'to': 'ห้องครู'}}"));
        no("LINE recipient too short", j("{'line': {'to': 'U123'}}"));
        no("Telegram token without its bot number", j("{'telegram': {'token': 'AAE_abc'}}"));
        no("Telegram token with a path", j("{'telegram': {'token': '1:a/../getMe'}}"));
        no("Telegram chat a name", j("{'telegram': {'chat': 'school group'}}"));
        no("secret with a line break", j("{'webhook': {'secret': 'a\\nb'}}"));
        no("secret too long",
           QByteArray("{\"webhook\": {\"secret\": \"") + QByteArray(2001, 'a') + "\"}}");
        const struct {
            const char* name;
            QString url;
        } refused[] = {
            {"http to a public address", QStringLiteral("http://203.0.113.7/hook")},
            {"http to 8.8.8.8", QStringLiteral("http://8.8.8.8/hook")},
            {"http to a name", QStringLiteral("http://hooks.example.org/hook")},
            {"http to 172.32.0.1 (past 172.16/12)", QStringLiteral("http://172.32.0.1/hook")},
            {"http to 192.169.1.5", QStringLiteral("http://192.169.1.5/hook")},
            {"http to 172.15.255.255 (before 172.16/12)",
             QStringLiteral("http://172.15.255.255/hook")},
            {"http to 11.0.0.1 (past 10/8)", QStringLiteral("http://11.0.0.1/hook")},
            {"http to 128.0.0.1 (past 127/8)", QStringLiteral("http://128.0.0.1/hook")},
            {"http to 192.167.255.1", QStringLiteral("http://192.167.255.1/hook")},
            {"http to a public IPv6 address", QStringLiteral("http://[2001:db8::1]/hook")},
            {"ftp", QStringLiteral("ftp://192.168.1.5/hook")},
            {"no scheme", QStringLiteral("hooks.example.org/hook")},
            {"a path alone", QStringLiteral("/hook")},
            {"no host", QStringLiteral("https:///hook")},
            {"a user and password", QStringLiteral("https://user:pw@hooks.example.org/")},
            {"a space", QStringLiteral("https://hooks.example.org/a b")},
            {"a line break", QStringLiteral("https://hooks.example.org/\nhook")},
            {"too long", QStringLiteral("https://hooks.example.org/") + QString(2000, u'a')},
        };
        for (const auto& r : refused) no(r.name, webhookUrlJson(r.url));
        no("unknown event", j("{'events': {'fire': false}}"));
        no("event not a boolean", j("{'events': {'bell': 'off'}}"));
        no("the test message off", j("{'events': {'test': false}}"));
        no("events an array", j("{'events': ['bell']}"));
        no("summary 24:00", j("{'summary': '24:00'}"));
        no("summary 16:3", j("{'summary': '16:3'}"));
        no("summary noon", j("{'summary': 'noon'}"));
        no("summary a number", j("{'summary': 1630}"));
        no("summary null", j("{'summary': null}"));
        no("a good change with a bad one", j("{'school': 'ใหม่', 'summary': '99:99'}"));
    }
    void applyJson() {
        QFETCH(QByteArray, json);
        QFETCH(bool, accepted);
        QFETCH(AlertSettings, expected);
        QString why = QStringLiteral("left from before");
        if (!accepted) QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
        const std::optional<AlertSettings> out = applyAlertJson(full(), json, &why);
        if (accepted) {
            QVERIFY2(out.has_value(), qPrintable(why));
            QCOMPARE(*out, expected);
            QVERIFY(why.isEmpty());
        } else {
            QVERIFY(!out.has_value());
            QVERIFY2(hasThai(why), qPrintable(why));
        }
    }

    // A refusal names what was wrong, never the token or secret it was given.
    void refusalNeverRepeatsTheValue_data() {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("value");
        QTest::newRow("LINE token") << "line"
                                    << "token" << QStringLiteral("secretTok en");
        QTest::newRow("Telegram token") << "telegram"
                                        << "token" << QStringLiteral("1:secretTok/en");
        QTest::newRow("secret") << "webhook"
                                << "secret"
                                << QString(QStringLiteral("secret\n") + QString(9, u'x'));
    }
    void refusalNeverRepeatsTheValue() {
        QFETCH(QString, channel);
        QFETCH(QString, member);
        QFETCH(QString, value);
        const QByteArray json = QJsonDocument(QJsonObject{{channel, QJsonObject{{member, value}}}})
                                    .toJson(QJsonDocument::Compact);
        QString why;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
        QVERIFY(!applyAlertJson(AlertSettings{}, json, &why));
        QVERIFY(!why.isEmpty());
        QVERIFY2(!why.contains(QStringLiteral("secretTok")), qPrintable(why));
    }

    void masking_data() {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QString>("shown");
        QTest::newRow("none") << QString() << QString();
        QTest::newRow("short: nothing of it") << QStringLiteral("abcd") << QStringLiteral("••••");
        QTest::newRow("11 characters: nothing of it")
            << QStringLiteral("abcdefghijk") << QStringLiteral("••••");
        QTest::newRow("12 characters: the last four")
            << QStringLiteral("abcdefghijkl") << QStringLiteral("••••ijkl");
        QTest::newRow("a LINE token") << kLineToken << QStringLiteral("••••ZZ9=");
        QTest::newRow("Thai") << kSecret << QStringLiteral("••••-xyz");
    }
    void masking() {
        QFETCH(QString, secret);
        QFETCH(QString, shown);
        QCOMPARE(maskedSecret(secret), shown);
    }

    void shownSettingsHoldNoSecret() {
        AlertSettings s = full();
        s.summaryAt = QTime();
        const QJsonObject o = alertSettingsJson(s);
        const QString text = QString::fromUtf8(QJsonDocument(o).toJson());
        for (const QString& secret : {kLineToken, kTelegramToken, kSecret}) {
            // No piece of a secret longer than the four characters shown.
            for (qsizetype i = 0; i + 5 <= secret.size(); ++i)
                QVERIFY2(!text.contains(secret.mid(i, 5)), qPrintable(secret.mid(i, 5)));
        }
        QCOMPARE(o.value("line").toObject().value("to").toString(), kLineTo);
        QCOMPARE(o.value("telegram").toObject().value("chat").toString(), kTelegramChat);
        QCOMPARE(o.value("webhook").toObject().value("url").toString(), s.webhookUrl);
        QCOMPARE(o.value("summary").toString(), QString());
        const QJsonObject events = o.value("events").toObject();
        QCOMPARE(events.keys().size(), alertevent::all().size());
        QCOMPARE(events.value(alertevent::kSelfTest).toBool(), false);
        QCOMPARE(events.value(alertevent::kSummary).toBool(), false);
        QCOMPARE(events.value(alertevent::kBell).toBool(), true);
        QCOMPARE(events.value(alertevent::kEmergency).toBool(), true);
        QVERIFY(!events.contains(alertevent::kTest));
        QCOMPARE(o.value("channels").toArray(),
                 QJsonArray({QStringLiteral("line"), QStringLiteral("telegram"),
                             QStringLiteral("webhook")}));
    }

    void testMessageIsNeverOff() {
        AlertSettings s;
        s.eventsOff = alertevent::all() << alertevent::kTest;
        QVERIFY(s.on(alertevent::kTest));
        for (const QString& id : alertevent::all()) QVERIFY2(!s.on(id), qPrintable(id));
        QVERIFY(!alertevent::all().contains(alertevent::kTest));
    }

    void channelsNeedEveryField_data() {
        QTest::addColumn<AlertSettings>("settings");
        QTest::addColumn<QStringList>("channels");
        AlertSettings s;
        QTest::newRow("none") << s << QStringList{};
        s.lineToken = kLineToken;
        QTest::newRow("LINE token without recipient") << s << QStringList{};
        s.telegramChat = kTelegramChat;
        QTest::newRow("Telegram chat without token") << s << QStringList{};
        s.webhookSecret = kSecret;
        QTest::newRow("webhook secret without address") << s << QStringList{};
        s.lineTo = kLineTo;
        QTest::newRow("LINE") << s << QStringList{"line"};
        s.webhookUrl = QStringLiteral("https://hooks.example.org/");
        QTest::newRow("LINE and webhook") << s << QStringList{"line", "webhook"};
        s.telegramToken = kTelegramToken;
        QTest::newRow("all three") << s << QStringList{"line", "telegram", "webhook"};
    }
    void channelsNeedEveryField() {
        QFETCH(AlertSettings, settings);
        QFETCH(QStringList, channels);
        QCOMPARE(settings.channels(), channels);
        for (const QString& c :
             {QStringLiteral("line"), QStringLiteral("telegram"), QStringLiteral("webhook")})
            QCOMPARE(channelProblem(settings, c).isEmpty(), channels.contains(c));
    }
};

QTEST_GUILESS_MAIN(TestAlertSettings)
#include "test_alertsettings.moc"
