#include "wakehelper/wakealarmcommand.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sstream>

using namespace tavirin::wakehelper;

namespace {

constexpr std::int64_t kNow = 1'800'000'000;
constexpr std::int64_t kDay = 24 * 60 * 60;

// The wake alarm attribute as the kernel keeps it (drivers/rtc/sysfs.c): a time not in the
// future disables the alarm, which then reads back as nothing; a new alarm while one is set
// is refused with EBUSY. `furthest` stands for an RTC that takes nothing beyond it (EINVAL),
// `timeOfDayOnly` for one whose alarm has no date (it rings at that time within a day).
// Every write and read is logged.
class KernelNode final : public AlarmNode {
public:
    bool exists() const override { return present; }
    std::string write(std::string_view text) override {
        log.push_back("write " + std::string(text));
        const std::int64_t v = std::stoll(std::string(text));
        if (v <= kNow) {
            held = 0;
            return {};
        }
        if (held != 0) return std::string("cannot write: ") + std::strerror(EBUSY);
        if (furthest && v > *furthest) return std::string("cannot write: ") + std::strerror(EINVAL);
        held = timeOfDayOnly ? kNow + (v - kNow) % kDay : v;
        return {};
    }
    std::string read(std::string& content) override {
        log.push_back("read");
        if (readAs) {
            content = *readAs;
            return {};
        }
        content = held == 0 ? std::string() : std::to_string(held) + "\n";
        return {};
    }

    bool present = true;
    std::int64_t held = 0;
    std::optional<std::int64_t> furthest;
    bool timeOfDayOnly = false;
    std::optional<std::string> readAs;  // the node reads back this, whatever was written
    std::vector<std::string> log;
};

// A real file standing in for the node, every access logged on the way to it.
class LoggedFile final : public AlarmNode {
public:
    explicit LoggedFile(std::string path) : file_(std::move(path)) {}
    bool exists() const override { return file_.exists(); }
    std::string write(std::string_view text) override {
        log.push_back("write " + std::string(text));
        return file_.write(text);
    }
    std::string read(std::string& content) override {
        log.push_back("read");
        return file_.read(content);
    }
    std::vector<std::string> log;

private:
    FileAlarmNode file_;
};

struct Outcome {
    int status;
    QString out;
    QString err;
};

Outcome runWith(const QStringList& args, AlarmNode& node) {
    std::vector<std::string> a;
    for (const QString& s : args) a.push_back(s.toStdString());
    std::ostringstream out, err;
    const int status = run(a, node, kNow, out, err);
    return {status, QString::fromStdString(out.str()), QString::fromStdString(err.str())};
}

QString n(std::int64_t v) {
    return QString::number(v);
}

QStringList logOf(const std::vector<std::string>& log) {
    QStringList out;
    for (const std::string& s : log) out.append(QString::fromStdString(s));
    return out;
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace

class TestWakeAlarmCommand : public QObject {
    Q_OBJECT

private slots:
    // Refused before the node is touched: nothing read, nothing written, no answer line.
    void refusalsTouchNothing_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("nodePresent");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        const QString usage = QStringLiteral("usage: tavirin-wakealarm set EPOCH | clear");
        QTest::newRow("no arguments") << QStringList{} << true << int(Refused) << usage;
        QTest::newRow("unknown verb")
            << QStringList{"sett", n(kNow + 60)} << true << int(Refused) << usage;
        QTest::newRow("verb in capitals")
            << QStringList{"SET", n(kNow + 60)} << true << int(Refused) << usage;
        QTest::newRow("option") << QStringList{"--node=/tmp/x", "clear"} << true << int(Refused)
                                << usage;
        QTest::newRow("set without a time") << QStringList{"set"} << true << int(Refused) << usage;
        QTest::newRow("set with one too many")
            << QStringList{"set", n(kNow + 60), n(kNow + 120)} << true << int(Refused) << usage;
        QTest::newRow("clear with an argument")
            << QStringList{"clear", "0"} << true << int(Refused) << usage;
        QTest::newRow("time before the verb")
            << QStringList{n(kNow + 60), "set"} << true << int(Refused) << usage;
        const QString notTime = QStringLiteral("is not a Unix time in whole seconds");
        for (const char* bad : {"abc", "", "-60", "+60", "1800000060 ", " 1800000060", "1.8e9",
                                "0x6b49d23c", "1800000060.5", "99999999999999999999"})
            QTest::addRow("not a time: '%s'", bad)
                << QStringList{"set", bad} << true << int(Refused) << notTime;
        QTest::newRow("not a time: Thai digits")
            << QStringList{"set", QStringLiteral("๑๘๐๐๐๐๐๐๖๐")} << true << int(Refused) << notTime;
        const QString past = QStringLiteral("is not in the future (now %1)").arg(kNow);
        QTest::newRow("now") << QStringList{"set", n(kNow)} << true << int(Refused) << past;
        QTest::newRow("a second ago")
            << QStringList{"set", n(kNow - 1)} << true << int(Refused) << past;
        QTest::newRow("zero") << QStringList{"set", "0"} << true << int(Refused) << past;
        QTest::newRow("a second beyond 8 days")
            << QStringList{"set", n(kNow + 8 * kDay + 1)} << true << int(Refused)
            << QStringLiteral("is more than 8 days ahead");
        QTest::newRow("a year ahead")
            << QStringList{"set", n(kNow + 365 * kDay)} << true << int(Refused)
            << QStringLiteral("is more than 8 days ahead");
        const QString noRtc = QStringLiteral("refused: no RTC wake alarm on this machine");
        QTest::newRow("set, no RTC")
            << QStringList{"set", n(kNow + 60)} << false << int(NoRtc) << noRtc;
        QTest::newRow("clear, no RTC") << QStringList{"clear"} << false << int(NoRtc) << noRtc;
    }
    void refusalsTouchNothing() {
        QFETCH(QStringList, args);
        QFETCH(bool, nodePresent);
        QFETCH(int, status);
        QFETCH(QString, reason);
        KernelNode node;
        node.present = nodePresent;
        node.held = kNow + 3600;  // an alarm set before: a refusal leaves it
        const Outcome o = runWith(args, node);
        QCOMPARE(o.status, status);
        QCOMPARE(logOf(node.log), QStringList());
        QCOMPARE(node.held, kNow + 3600);
        QCOMPARE(o.out, QString());
        QVERIFY2(o.err.startsWith(QStringLiteral("tavirin-wakealarm: refused: ")),
                 qPrintable(o.err));
        QVERIFY2(o.err.contains(reason), qPrintable(o.err));
        QVERIFY(o.err.endsWith(u'\n') && o.err.count(u'\n') == 1);
    }

    // A refused argument is quoted back printable and bounded, whatever bytes it holds.
    void refusedArgumentQuotedSafely() {
        KernelNode node;
        const QString hostile = QStringLiteral("\x1b[2J\n") + QString(200, u'9');
        const Outcome o = runWith({"set", hostile}, node);
        QCOMPARE(o.status, int(Refused));
        QCOMPARE(o.err.count(u'\n'), 1);
        QVERIFY(!o.err.contains(u'\x1b'));
        QVERIFY2(o.err.size() < 160, qPrintable(o.err));
    }

    // The nearest and the furthest times allowed.
    void boundsAreTaken_data() {
        QTest::addColumn<qint64>("epoch");
        QTest::newRow("a second ahead") << qint64(kNow + 1);
        QTest::newRow("exactly 8 days ahead") << qint64(kNow + 8 * kDay);
    }
    void boundsAreTaken() {
        QFETCH(qint64, epoch);
        KernelNode node;
        const Outcome o = runWith({"set", n(epoch)}, node);
        QCOMPARE(o.status, int(Done));
        QCOMPARE(o.out, QStringLiteral("alarm %1\n").arg(epoch));
        QCOMPARE(node.held, epoch);
    }

    // Against a real file standing in for the sysfs node: cleared, then written, then read.
    void setOnAFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wakealarm"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1799990000\n");  // an earlier alarm, longer than the new text
        f.close();
        LoggedFile node(path.toStdString());
        const std::int64_t when = kNow + 7 * 3600;
        const Outcome o = runWith({"set", n(when)}, node);
        QCOMPARE(o.status, int(Done));
        QCOMPARE(logOf(node.log), (QStringList{"write 0", "write " + n(when), "read"}));
        QCOMPARE(contentOf(path), QByteArray::number(when));
        QCOMPARE(o.out, QStringLiteral("alarm %1\n").arg(when));
        QCOMPARE(o.err, QString());
    }

    void clearOnAFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wakealarm"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(kNow + 3600));
        f.close();
        LoggedFile node(path.toStdString());
        const Outcome o = runWith({"clear"}, node);
        QCOMPARE(o.status, int(Done));
        QCOMPARE(logOf(node.log), (QStringList{"write 0", "read"}));
        QCOMPARE(contentOf(path), QByteArray("0"));
        QCOMPARE(o.out, QStringLiteral("alarm none\n"));
        QCOMPARE(o.err, QString());
    }

    // A missing node is never made: not even by a write that got past the check.
    void missingFileIsNotCreated() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("rtc0/wakealarm"));
        FileAlarmNode node(path.toStdString());
        QVERIFY(!node.write("0").empty());
        std::vector<std::string> args{"set", std::to_string(kNow + 60)};
        std::ostringstream out, err;
        QCOMPARE(run(args, node, kNow, out, err), int(NoRtc));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("rtc0"))));
    }

    // The kernel refuses a new alarm over a set one: the helper clears it first, so a new
    // alarm replaces the old one.
    void setReplacesASetAlarm() {
        KernelNode node;
        node.held = kNow + 3600;
        const Outcome o = runWith({"set", n(kNow + 2 * kDay)}, node);
        QCOMPARE(o.status, int(Done));
        QCOMPARE(node.held, kNow + 2 * kDay);
        QCOMPARE(o.out, QStringLiteral("alarm %1\n").arg(kNow + 2 * kDay));
    }

    // Written, but the RTC holds something else: the answer line says what it holds, so the
    // program can fall back to an alarm the RTC does take.
    void notTakenSaysWhatIsHeld_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("rtc");         // 0 plain, 1 takes at most 24 h, 2 time of day only
        QTest::addColumn<QString>("readAs");  // "-": what the RTC holds
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("reason");
        QTest::newRow("beyond what the RTC takes")
            << QStringList{"set", n(kNow + 3 * kDay)} << 1 << "-" << int(NotTaken) << "alarm none\n"
            << QString::fromLocal8Bit(std::strerror(EINVAL));
        QTest::newRow("within what the RTC takes")
            << QStringList{"set", n(kNow + kDay - 60)} << 1 << "-" << int(Done)
            << QStringLiteral("alarm %1\n").arg(kNow + kDay - 60) << QString();
        QTest::newRow("date dropped by the RTC")
            << QStringList{"set", n(kNow + 2 * kDay + 600)} << 2 << "-" << int(NotTaken)
            << QStringLiteral("alarm %1\n").arg(kNow + 600)
            << QStringLiteral("did not take alarm %1 and holds alarm %2")
                   .arg(kNow + 2 * kDay + 600)
                   .arg(kNow + 600);
        QTest::newRow("reads back another time")
            << QStringList{"set", n(kNow + 600)} << 0 << n(kNow + 900) + "\n"
            << int(NotTaken) << QStringLiteral("alarm %1\n").arg(kNow + 900)
            << QStringLiteral("did not take");
        QTest::newRow("clear, still set")
            << QStringList{"clear"} << 0 << n(kNow + 900) << int(NotTaken)
            << QStringLiteral("alarm %1\n").arg(kNow + 900)
            << QStringLiteral("did not take alarm none");
        QTest::newRow("reads back nothing")
            << QStringList{"set", n(kNow + 600)} << 0 << "" << int(NotTaken) << "alarm none\n"
            << QStringLiteral("did not take");
        QTest::newRow("reads back words")
            << QStringList{"set", n(kNow + 600)} << 0 << "busy\n"
            << int(Failed) << "" << QStringLiteral("reads back 'busy?', not a time");
        QTest::newRow("reads back a negative time")
            << QStringList{"clear"} << 0 << "-1" << int(Failed) << ""
            << QStringLiteral("not a time");
    }
    void notTakenSaysWhatIsHeld() {
        QFETCH(QStringList, args);
        QFETCH(int, rtc);
        QFETCH(QString, readAs);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, reason);
        KernelNode node;
        if (rtc == 1) node.furthest = kNow + kDay;
        if (rtc == 2) node.timeOfDayOnly = true;
        if (readAs != QLatin1String("-")) node.readAs = readAs.toStdString();
        const Outcome o = runWith(args, node);
        QCOMPARE(o.status, status);
        QCOMPARE(o.out, out);
        QVERIFY2(o.err.contains(reason), qPrintable(o.err));
        const QStringList log = logOf(node.log);
        QVERIFY(log.size() >= 2);
        QCOMPARE(log.first(), QStringLiteral("write 0"));
        QCOMPARE(log.last(), QStringLiteral("read"));
    }

    // A node that cannot be read back at all: the answer is unknown, not "none".
    void unreadableNodeFails() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wakealarm"));
        QVERIFY(QDir().mkpath(path));  // a folder where the node should be: open, read fail
        FileAlarmNode node(path.toStdString());
        const Outcome o = runWith({"clear"}, node);
        QCOMPARE(o.status, int(Failed));
        QCOMPARE(o.out, QString());
        QVERIFY2(o.err.contains(QStringLiteral("cannot")), qPrintable(o.err));
    }
};

QTEST_GUILESS_MAIN(TestWakeAlarmCommand)
#include "test_wakealarmcommand.moc"
