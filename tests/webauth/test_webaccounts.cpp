#include "platform/fake/fakeclock.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/programstore.h"
#include "webauth/passwords.h"
#include "webauth/webaccounts.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace tavirin;
using CheckResult = WebAccounts::CheckResult;

Q_DECLARE_METATYPE(tavirin::WebRole)

namespace {

const QString kApp = QStringLiteral("tavirin_web");
const QString kSection = QStringLiteral("accounts");

// One answer of an asynchronous check, and where it came from.
struct Answer {
    bool arrived = false;
    CheckResult result = CheckResult::Busy;
    QThread* thread = nullptr;
};

}  // namespace

class TestWebAccounts : public QObject {
    Q_OBJECT

    // Waits (the event loop turning) for the answer; fails the test after a generous time.
    static bool waitFor(const Answer& answer) {
        return QTest::qWaitFor([&] { return answer.arrived; }, 30000);
    }

    static void ask(WebAccounts& accounts, WebRole role, const QString& password, QObject* context,
                    Answer& answer) {
        accounts.check(role, password, context, [&answer](CheckResult r) {
            answer.arrived = true;
            answer.result = r;
            answer.thread = QThread::currentThread();
        });
    }

private slots:
    void storedUnderItsOwnApplication_data() {
        QTest::addColumn<WebRole>("role");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("password");
        QTest::newRow("admin") << WebRole::Admin << "admin"
                               << "admin-secret-1";
        QTest::newRow("teacher") << WebRole::Teacher << "teacher" << QStringLiteral("ครูเวร99");
    }
    void storedUnderItsOwnApplication() {
        QFETCH(WebRole, role);
        QFETCH(QString, key);
        QFETCH(QString, password);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        WebAccounts accounts(store);
        QSignalSpy changed(&accounts, &WebAccounts::passwordChanged);
        QVERIFY(!accounts.hasPassword(role));

        const Result r = accounts.setPassword(role, password);
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY(accounts.hasPassword(role));
        QVERIFY(!accounts.hasPassword(role == WebRole::Admin ? WebRole::Teacher : WebRole::Admin));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).value<WebRole>(), role);

        QCOMPARE(backend.writes().size(), 1);
        const MemorySettingsBackend::Write& w = backend.writes().first();
        QCOMPARE(w.app, kApp);
        QCOMPARE(w.section, kSection);
        QCOMPARE(w.key, key);
        QVERIFY(w.value.startsWith(QLatin1String("$argon2id$")));
        QVERIFY(!w.value.contains(password));
        QCOMPARE(backend.syncedWriteCount(), 1);  // durable at once
        QCOMPARE(store.GetSetting(kApp, kSection, key), w.value);
    }

    void refusedPasswordWritesNothing_data() {
        QTest::addColumn<WebRole>("role");
        QTest::addColumn<QString>("password");
        QTest::newRow("admin 7") << WebRole::Admin << "1234567";
        QTest::newRow("teacher 5") << WebRole::Teacher << "12345";
        QTest::newRow("control character") << WebRole::Teacher << "abc\ndefg";
    }
    void refusedPasswordWritesNothing() {
        QFETCH(WebRole, role);
        QFETCH(QString, password);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        WebAccounts accounts(store);
        QVERIFY(accounts.setPassword(role, QStringLiteral("first-password")));
        backend.clearLog();
        const QString before = store.GetSetting(kApp, kSection, roleId(role));

        const Result r = accounts.setPassword(role, password);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, checkPasswordRules(role, password));
        QVERIFY(backend.writes().isEmpty());
        QCOMPARE(store.GetSetting(kApp, kSection, roleId(role)), before);
    }

    void failedSaveIsReported() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        WebAccounts accounts(store);
        QSignalSpy changed(&accounts, &WebAccounts::passwordChanged);
        backend.failNextSync();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("settings not saved"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("password was not saved"));
        const Result r = accounts.setPassword(WebRole::Admin, QStringLiteral("long enough"));
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(changed.size(), 0);
    }

    void survivesTheRealStoreFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("tavirin.ini");
        FakeClock clock;
        const QString password = QStringLiteral("ระฆัง-โรงเรียน");
        {
            IniSettingsBackend backend(path, clock);
            ProgramStore store(backend);
            WebAccounts accounts(store);
            QVERIFY(accounts.setPassword(WebRole::Teacher, password));
        }
        IniSettingsBackend backend(path, clock);
        ProgramStore store(backend);
        WebAccounts accounts(store);
        QVERIFY(accounts.hasPassword(WebRole::Teacher));
        Answer right, wrong;
        ask(accounts, WebRole::Teacher, password, this, right);
        ask(accounts, WebRole::Teacher, password + "x", this, wrong);
        QVERIFY(waitFor(right) && waitFor(wrong));
        QCOMPARE(right.result, CheckResult::Right);
        QCOMPARE(wrong.result, CheckResult::Wrong);
    }

    void answers_data() {
        QTest::addColumn<bool>("set");
        QTest::addColumn<QString>("given");
        QTest::addColumn<CheckResult>("expected");
        QTest::newRow("right") << true << "the-password" << CheckResult::Right;
        QTest::newRow("wrong") << true << "the-passworD" << CheckResult::Wrong;
        QTest::newRow("empty") << true << "" << CheckResult::Wrong;
        QTest::newRow("no password set") << false << "the-password" << CheckResult::NoPassword;
    }
    void answers() {
        QFETCH(bool, set);
        QFETCH(QString, given);
        QFETCH(CheckResult, expected);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        WebAccounts accounts(store);
        if (set) QVERIFY(accounts.setPassword(WebRole::Admin, QStringLiteral("the-password")));
        // The other role's password never opens this one.
        QVERIFY(accounts.setPassword(WebRole::Teacher, given.isEmpty() ? "teacher-pw" : given));
        Answer a;
        ask(accounts, WebRole::Admin, given, this, a);
        QVERIFY(waitFor(a));
        QCOMPARE(a.result, expected);
    }

    void answerComesThroughTheEventLoop() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        WebAccounts accounts(store);
        QVERIFY(accounts.setPassword(WebRole::Teacher, QStringLiteral("teacher-pw")));

        // A zero timer fires at every turn of the loop: a check done on this thread, even
        // one answered through the loop, would let it fire once at most before the answer.
        int turns = 0;
        int turnsBeforeAnswer = -1;
        QTimer spinner;
        spinner.setInterval(0);
        connect(&spinner, &QTimer::timeout, this, [&] { ++turns; });
        spinner.start();
        bool insideCheck = true;
        bool answeredInside = false;
        Answer a;
        QEventLoop loop;
        accounts.check(WebRole::Teacher, QStringLiteral("teacher-pw"), this, [&](CheckResult r) {
            answeredInside = insideCheck;
            turnsBeforeAnswer = turns;
            a.arrived = true;
            a.result = r;
            a.thread = QThread::currentThread();
            loop.quit();
        });
        insideCheck = false;
        QVERIFY(!a.arrived);
        QCOMPARE(accounts.pendingChecks(), 1);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        spinner.stop();
        QVERIFY(a.arrived);
        QVERIFY(!answeredInside);
        QVERIFY2(turnsBeforeAnswer >= 2, qPrintable(QString::number(turnsBeforeAnswer)));
        QCOMPARE(a.result, CheckResult::Right);
        QCOMPARE(a.thread, QThread::currentThread());
        QCOMPARE(accounts.pendingChecks(), 0);
    }

    void answerOnTheContextsThread() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        WebAccounts accounts(store);
        QThread other;
        other.start();
        auto* context = new QObject;
        context->moveToThread(&other);
        connect(&other, &QThread::finished, context, &QObject::deleteLater);
        std::atomic<QThread*> answeredOn{nullptr};
        std::atomic<CheckResult> result{CheckResult::Busy};
        std::atomic<bool> arrived{false};
        accounts.check(WebRole::Admin, QStringLiteral("whatever-pw"), context, [&](CheckResult r) {
            result = r;
            answeredOn = QThread::currentThread();
            arrived = true;
        });
        QVERIFY(QTest::qWaitFor([&] { return arrived.load(); }, 30000));
        QCOMPARE(answeredOn.load(), &other);
        QCOMPARE(result.load(), CheckResult::NoPassword);
        other.quit();
        other.wait();
    }

    void damagedStoredHash_data() {
        QTest::addColumn<QString>("stored");
        QTest::newRow("plain password") << "teacher-pw";
        QTest::newRow("cut short") << "$argon2id$v=19$m=65536,t=2,p=1$l6WBNfLpiLxhfx";
        QTest::newRow("huge memory") << "$argon2id$v=19$m=4194304,t=2,p=1$l6WBNfLpiLxhfxyYioYEAQ$"
                                        "73uIzTqJXxTLqPwCTLn5709AcIf9z+lcV9+y1xs/8XQ";
    }
    void damagedStoredHash() {
        QFETCH(QString, stored);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        QVERIFY(store.SaveSetting(kApp, kSection, QStringLiteral("teacher"), stored));
        WebAccounts accounts(store);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("stored teacher password is not"));
        QVERIFY(!accounts.hasPassword(WebRole::Teacher));
        // Logged once, not at every look.
        QTest::failOnWarning(QRegularExpression("stored teacher password is not"));
        QVERIFY(!accounts.hasPassword(WebRole::Teacher));
        Answer a;
        ask(accounts, WebRole::Teacher, QStringLiteral("teacher-pw"), this, a);
        QVERIFY(waitFor(a));
        QCOMPARE(a.result, CheckResult::NoPassword);
        // A new password mends it.
        QVERIFY(accounts.setPassword(WebRole::Teacher, QStringLiteral("teacher-pw")));
        QVERIFY(accounts.hasPassword(WebRole::Teacher));
    }

    void busyBeyondTheQueue() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        auto accounts = std::make_unique<WebAccounts>(store);
        QVERIFY(accounts->setPassword(WebRole::Teacher, QStringLiteral("teacher-pw")));
        // One running and kMaxWaiting waiting are taken; the next is busy at once.
        QList<Answer> taken(WebAccounts::kMaxWaiting + 1);
        for (Answer& a : taken) ask(*accounts, WebRole::Teacher, "teacher-pw", this, a);
        QCOMPARE(accounts->pendingChecks(), WebAccounts::kMaxWaiting + 1);
        Answer busy;
        bool inside = true;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("checks are all busy"));
        accounts->check(WebRole::Teacher, "teacher-pw", this, [&](CheckResult r) {
            QVERIFY(!inside);
            busy.arrived = true;
            busy.result = r;
        });
        inside = false;
        QVERIFY(!busy.arrived);
        QVERIFY(waitFor(busy));
        QCOMPARE(busy.result, CheckResult::Busy);
        // The checks taken are answered in turn; once one is, there is room again.
        QVERIFY(waitFor(taken.first()));
        QCOMPARE(taken.first().result, CheckResult::Right);
        QVERIFY(accounts->pendingChecks() <= WebAccounts::kMaxWaiting);
        Answer again;
        ask(*accounts, WebRole::Teacher, "teacher-pw", this, again);
        QCOMPARE(accounts->pendingChecks(), WebAccounts::kMaxWaiting + 1);
        // Going away drops the checks still waiting: none of them answers later.
        accounts.reset();
        QTest::qWait(50);
        QVERIFY(!again.arrived);
        int answered = 0;
        for (const Answer& a : taken) answered += a.arrived ? 1 : 0;
        QVERIFY(answered < int(taken.size()));
    }

    void contextGoneBeforeTheAnswer() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        WebAccounts accounts(store);
        QVERIFY(accounts.setPassword(WebRole::Admin, QStringLiteral("admin-password")));
        auto* context = new QObject;
        bool called = false;
        accounts.check(WebRole::Admin, QStringLiteral("admin-password"), context,
                       [&](CheckResult) { called = true; });
        auto* busyContext = new QObject;
        for (int i = 0; i < WebAccounts::kMaxWaiting; ++i)
            accounts.check(WebRole::Admin, "x", busyContext, [&](CheckResult) { called = true; });
        // This one is busy: its answer is queued for a context that goes too.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("checks are all busy"));
        accounts.check(WebRole::Admin, "x", busyContext, [&](CheckResult) { called = true; });
        delete context;
        delete busyContext;
        QVERIFY(QTest::qWaitFor([&] { return accounts.pendingChecks() == 0; }, 60000));
        QTest::qWait(20);
        QVERIFY(!called);
        // The count went down all the same: a new check is taken and answered.
        Answer a;
        ask(accounts, WebRole::Admin, QStringLiteral("admin-password"), this, a);
        QVERIFY(waitFor(a));
        QCOMPARE(a.result, CheckResult::Right);
    }
};

QTEST_GUILESS_MAIN(TestWebAccounts)
#include "test_webaccounts.moc"
