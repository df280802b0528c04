#include "platform/power/pkexecrtcwake.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <optional>

using namespace tavirin;

// pkexec is a stand-in script that checks how it was called, as polkit would (the helper by
// the path the policy names, no internal agent), and then either runs the helper's own
// logic on a file standing in for the RTC node or answers as pkexec does when it refuses.
class TestPkexecRtcWake : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString node_;

    QString pkexec(const QByteArray& body) {
        const QString path = dir_.filePath(QStringLiteral("pkexec"));
        QFile::remove(path);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write(
            "#!/bin/sh\n"
            "printf '%s\\n' \"$@\" > \"" +
            QFile::encodeName(dir_.filePath("args")) +
            "\"\n"
            "echo $$ > \"" +
            QFile::encodeName(dir_.filePath("pid")) +
            "\"\n"
            "[ \"$1\" = --disable-internal-agent ] || exit 127\n"
            "[ \"$2\" = " TAVIRIN_PACKAGED_HELPER
            " ] || { echo 'Error executing command as "
            "another user: Not authorized' >&2; exit 127; }\n"
            "shift 2\n" +
            body + '\n');
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        return path;
    }
    static QByteArray helper() { return "exec " TAVIRIN_WAKEALARM_TESTNODE " \"$@\""; }

    void writeNode(const QByteArray& content) {
        QFile f(node_);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray nodeContent() {
        QFile f(node_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    QStringList calledWith() {
        QFile f(dir_.filePath(QStringLiteral("args")));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    // Runs one request and waits for its answer, which never comes before the call returns.
    std::optional<RtcWakeAnswer> ask(RtcWake& wake, const std::optional<QDateTime>& when) {
        // shared: an answer that comes after a failed wait must still land somewhere
        struct Seen {
            std::optional<RtcWakeAnswer> answer;
            int answers = 0;
        };
        auto seen = std::make_shared<Seen>();
        const auto done = [seen](const RtcWakeAnswer& a) {
            seen->answer = a;
            ++seen->answers;
        };
        if (when)
            wake.set(*when, done);
        else
            wake.clear(done);
        if (seen->answer)
            return RtcWakeAnswer{Result::failure("answered before the call returned"), false, {}};
        if (!QTest::qWaitFor([&] { return seen->answer.has_value(); }, 10000)) return std::nullopt;
        QTest::qWait(50);  // a second answer would come now
        if (seen->answers != 1) return RtcWakeAnswer{Result::failure("answered twice"), false, {}};
        return seen->answer;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        node_ = dir_.filePath(QStringLiteral("wakealarm"));
        qputenv("TAVIRIN_TEST_WAKEALARM_NODE", QFile::encodeName(node_));
    }
    void init() {
        QFile::remove(node_);
        QFile::remove(dir_.filePath(QStringLiteral("args")));
    }

    // The adapter runs the program the package installs and the policy names.
    void helperIsThePackagedOne() {
        QCOMPARE(QString::fromLatin1(PkexecRtcWake::kHelper),
                 QStringLiteral(TAVIRIN_PACKAGED_HELPER));
    }

    void setIsReadBack() {
        writeNode("1700000000");  // an old alarm
        PkexecRtcWake wake(pkexec(helper()));
        // a fraction of a second is dropped, not rounded up past the asked second
        const QDateTime when = QDateTime::currentDateTimeUtc().addSecs(3600).addMSecs(700);
        const qint64 epoch = when.toSecsSinceEpoch();
        const auto a = ask(wake, when);
        QVERIFY(a);
        QVERIFY2(a->result.ok, qPrintable(a->result.error));
        QVERIFY(a->readBack);
        QCOMPARE(a->alarm.toSecsSinceEpoch(), epoch);
        QCOMPARE(a->alarm.timeSpec(), Qt::UTC);
        QCOMPARE(nodeContent(), QByteArray::number(epoch));
        QCOMPARE(calledWith(), (QStringList{"--disable-internal-agent", TAVIRIN_PACKAGED_HELPER,
                                            "set", QString::number(epoch)}));
    }

    // A local time is the same moment: the helper is given Unix time.
    void localTimeIsTheSameMoment() {
        writeNode("");
        PkexecRtcWake wake(pkexec(helper()));
        const QDateTime utc = QDateTime::currentDateTimeUtc().addSecs(7200);
        const auto a = ask(wake, utc.toLocalTime());
        QVERIFY(a);
        QVERIFY2(a->result.ok, qPrintable(a->result.error));
        QCOMPARE(a->alarm.toSecsSinceEpoch(), utc.toSecsSinceEpoch());
    }

    void clearIsReadBack() {
        writeNode(QByteArray::number(QDateTime::currentSecsSinceEpoch() + 600));
        PkexecRtcWake wake(pkexec(helper()));
        const auto a = ask(wake, std::nullopt);
        QVERIFY(a);
        QVERIFY2(a->result.ok, qPrintable(a->result.error));
        QVERIFY(a->readBack);
        QVERIFY(!a->alarm.isValid());
        QCOMPARE(nodeContent(), QByteArray("0"));
        QCOMPARE(calledWith(),
                 (QStringList{"--disable-internal-agent", TAVIRIN_PACKAGED_HELPER, "clear"}));
    }

    // Every way the helper or pkexec says no comes back as a reason, with the read-back only
    // where the RTC was read.
    void refusalsGiveTheReason_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("when");         // seconds from now; 0: clear
        QTest::addColumn<QByteArray>("node");  // "-": no node; "null": /dev/null
        QTest::addColumn<bool>("readBack");
        QTest::addColumn<qint64>("held");  // the alarm read back; 0: none
        QTest::addColumn<QString>("reason");
        const QByteArray h = helper();
        QTest::newRow("in the past")
            << h << -60 << QByteArray("1700000000") << false << qint64(0) << "is not in the future";
        QTest::newRow("beyond 8 days") << h << 9 * 86400 << QByteArray("1700000000") << false
                                       << qint64(0) << "is more than 8 days ahead";
        QTest::newRow("no RTC") << h << 600 << QByteArray("-") << false << qint64(0)
                                << "refused: no RTC wake alarm on this machine";
        QTest::newRow("RTC does not take it")
            << h << 600 << QByteArray("null") << true << qint64(0) << "the RTC did not take";
        QTest::newRow("not authorised")
            << QByteArray(
                   "echo 'Error executing command as another user: Not authorized' >&2\n"
                   "exit 127")
            << 600 << QByteArray("-") << false << qint64(0)
            << "pkexec did not run the wake alarm helper (not allowed, or not installed): Error "
               "executing command as another user: Not authorized";
        QTest::newRow("prompt dismissed") << QByteArray("exit 126") << 600 << QByteArray("-")
                                          << false << qint64(0) << "dismissed";
        QTest::newRow("done, but another alarm")
            << QByteArray("echo 'alarm 1800000000'") << 600 << QByteArray("-") << true
            << qint64(1800000000) << "the wake alarm helper reported 2027-01-15T08:00:00Z";
        QTest::newRow("done, but no alarm")
            << QByteArray("echo 'alarm none'") << 600 << QByteArray("-") << true << qint64(0)
            << "reported no alarm";
        QTest::newRow("no answer line") << QByteArray("echo ok") << 600 << QByteArray("-") << false
                                        << qint64(0) << "no answer line";
        QTest::newRow("two answer lines")
            << QByteArray("printf 'alarm none\\nalarm none\\n'") << 0 << QByteArray("-") << false
            << qint64(0) << "no answer line";
        QTest::newRow("negative alarm")
            << QByteArray("echo 'alarm -5'; exit 4") << 600 << QByteArray("-") << false << qint64(0)
            << "no answer line";
        QTest::newRow("unknown status")
            << QByteArray("echo 'something odd' >&2; exit 9") << 600 << QByteArray("-") << false
            << qint64(0) << "the wake alarm helper exited with 9: something odd";
        QTest::newRow("killed") << QByteArray("kill -9 $$") << 600 << QByteArray("-") << false
                                << qint64(0) << "pkexec crashed";
    }
    void refusalsGiveTheReason() {
        QFETCH(QByteArray, body);
        QFETCH(int, when);
        QFETCH(QByteArray, node);
        QFETCH(bool, readBack);
        QFETCH(qint64, held);
        QFETCH(QString, reason);
        if (node == "null")
            qputenv("TAVIRIN_TEST_WAKEALARM_NODE", "/dev/null");
        else if (node != "-")
            writeNode(node);
        PkexecRtcWake wake(pkexec(body));
        const auto a = ask(wake, when == 0 ? std::nullopt
                                           : std::optional<QDateTime>(
                                                 QDateTime::currentDateTimeUtc().addSecs(when)));
        qputenv("TAVIRIN_TEST_WAKEALARM_NODE", QFile::encodeName(node_));
        QVERIFY(a);
        QVERIFY(!a->result.ok);
        QVERIFY2(a->result.error.contains(reason), qPrintable(a->result.error));
        QCOMPARE(a->readBack, readBack);
        QCOMPARE(a->alarm.isValid() ? a->alarm.toSecsSinceEpoch() : 0, held);
        if (node != "-" && node != "null") QCOMPARE(nodeContent(), node);  // nothing written
        if (node == "-") QVERIFY(!QFile::exists(node_));
    }

    // A pkexec that waits (a password prompt nobody answers) is ended at the limit.
    void silentPkexecIsEnded() {
        PkexecRtcWake wake(pkexec("exec sleep 60"), QString::fromLatin1(PkexecRtcWake::kHelper),
                           300);
        const auto a = ask(wake, QDateTime::currentDateTimeUtc().addSecs(600));
        QVERIFY(a);
        QVERIFY(!a->result.ok);
        QVERIFY2(a->result.error.contains(QStringLiteral("no answer within 300 ms")),
                 qPrintable(a->result.error));
        QFile pidFile(dir_.filePath(QStringLiteral("pid")));
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const QString proc =
            QStringLiteral("/proc/") + QString::fromLatin1(pidFile.readAll().trimmed());
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(proc), 5000);
    }

    void missingPkexec() {
        PkexecRtcWake wake(dir_.filePath(QStringLiteral("no-pkexec")));
        const auto a = ask(wake, QDateTime::currentDateTimeUtc().addSecs(600));
        QVERIFY(a);
        QVERIFY(!a->result.ok);
        QVERIFY2(a->result.error.startsWith(QStringLiteral("cannot run pkexec")),
                 qPrintable(a->result.error));
    }

    // No valid time: nothing runs, and the answer still comes through the event loop.
    void invalidTimeRunsNothing() {
        PkexecRtcWake wake(pkexec(helper()));
        const auto a = ask(wake, QDateTime());
        QVERIFY(a);
        QVERIFY(!a->result.ok);
        QVERIFY(!a->readBack);
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("args"))));
    }
};

QTEST_GUILESS_MAIN(TestPkexecRtcWake)
#include "test_pkexecrtcwake.moc"
