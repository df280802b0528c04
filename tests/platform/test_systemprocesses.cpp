#include "platform/process/systemprocesses.h"
#include "support/liveprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>
#include <csignal>

using namespace tavirin;
using tavirin::test::alive;

namespace {

// Polls until the file exists (a detached program runs on its own time).
bool waitForFile(const QString& path, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!QFileInfo::exists(path)) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

QString uniqueName(const QString& stem) {
    return QStringLiteral("tvr-%1-%2").arg(stem).arg(::getpid());
}

// The processes a process has started (Linux keeps the list per thread).
QList<qint64> childrenOf(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    QList<qint64> out;
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& p : f.readAll().split(' '))
            if (!p.trimmed().isEmpty()) out << p.trimmed().toLongLong();
    return out;
}

}  // namespace

class TestSystemProcesses : public QObject {
    Q_OBJECT

private slots:
    void argumentReachesProgramWhole_data();
    void argumentReachesProgramWhole();
    void missingProgramFails();
    void endsOnlyThatName();
    void endsByArgumentAndWhatItStarted();
    void stubbornProgramIsKilled();
    void neverEndsItself();

private:
    QTemporaryDir dir_;
};

void TestSystemProcesses::argumentReachesProgramWhole_data() {
    QTest::addColumn<QString>("argument");
    const QString marker = dir_.path() + QStringLiteral("/pwned");
    QTest::newRow("shell separator") << QStringLiteral("http://x/;touch ") + marker;
    QTest::newRow("command substitution") << QStringLiteral("$(touch ") + marker + u')';
    QTest::newRow("backticks") << QStringLiteral("`touch ") + marker + u'`';
    QTest::newRow("pipe and ampersand")
        << QStringLiteral("a|touch ") + marker + QStringLiteral("&");
    QTest::newRow("blanks") << QStringLiteral("  http://radio.example/a b  ");
    QTest::newRow("quotes") << QStringLiteral("say \"hi\" and 'bye'");
    QTest::newRow("newline") << QStringLiteral("line1\nline2");
    QTest::newRow("leading dashes") << QStringLiteral("--kiosk");
    QTest::newRow("Thai") << QStringLiteral("http://วิทยุ.example/#88-fm");
    QTest::newRow("empty") << QString();
}

void TestSystemProcesses::argumentReachesProgramWhole() {
    QFETCH(QString, argument);
    QVERIFY(dir_.isValid());
    // The program: a script that writes each argument it got, NUL-terminated.
    const QString out = dir_.path() + QStringLiteral("/argv");
    const QString script = dir_.path() + QStringLiteral("/record-args");
    QFile::remove(out);
    {
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$0.tmp\"\n"
            "mv \"$0.tmp\" \"" +
            QFile::encodeName(out) + "\"\n");
    }
    QVERIFY(QFile::setPermissions(
        script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

    SystemProcesses processes;
    QVERIFY(processes.startDetached(script, {argument}));
    QVERIFY(waitForFile(out));
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), argument.toUtf8() + '\0');
    QVERIFY(!QFileInfo::exists(dir_.path() + QStringLiteral("/pwned")));
}

void TestSystemProcesses::missingProgramFails() {
    SystemProcesses processes;
    const Result byName = processes.startDetached(QStringLiteral("tavirin-no-such-program"), {});
    QVERIFY(!byName);
    QVERIFY(byName.error.contains(QStringLiteral("tavirin-no-such-program")));
    QVERIFY(!processes.startDetached(QStringLiteral("/nonexistent/player"), {}));
    QVERIFY(!processes.startDetached(dir_.path(), {}));  // a folder is no program
}

void TestSystemProcesses::endsOnlyThatName() {
    // Copies of sleep under names of our own; the look-alike shares the target's prefix.
    const QString target = dir_.path() + u'/' + uniqueName(QStringLiteral("sleep"));
    const QString lookalike = target + QStringLiteral("x");
    QVERIFY(QFile::copy(QStringLiteral("/usr/bin/sleep"), target));
    QVERIFY(QFile::copy(QStringLiteral("/usr/bin/sleep"), lookalike));

    QProcess a, b, c, plain;
    a.start(target, {QStringLiteral("30")});
    b.start(target, {QStringLiteral("30")});
    c.start(lookalike, {QStringLiteral("30")});
    // A process whose arguments, not name, mention the target: pkill -f would hit it.
    plain.start(QStringLiteral("/usr/bin/sleep"), {QStringLiteral("30"), target});
    for (QProcess* p : {&a, &b, &c, &plain}) QVERIFY(p->waitForStarted());

    SystemProcesses processes;
    QElapsedTimer t;
    t.start();
    QVERIFY(processes.endByName(QFileInfo(target).fileName()));
    QVERIFY(a.waitForFinished(2000));
    QVERIFY(b.waitForFinished(2000));
    QCOMPARE(a.exitStatus(), QProcess::CrashExit);  // ended by a signal
    QVERIFY(t.elapsed() < 1000);                    // sleep obeys SIGTERM: no grace wasted

    QCOMPARE(c.state(), QProcess::Running);
    QCOMPARE(plain.state(), QProcess::Running);
    QVERIFY(processes.endByName(QStringLiteral("tvr-nothing-runs-by-this-name")));
    for (QProcess* p : {&c, &plain}) {
        p->kill();
        p->waitForFinished();
    }
}

void TestSystemProcesses::endsByArgumentAndWhatItStarted() {
    const QString profile = dir_.path() + QStringLiteral("/radio-browser/firefox-esr");
    // Shells standing for browsers, each with a child of its own (a content process).
    auto start = [](QProcess& p, const QString& arg) {
        p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 30 & wait"),
                                            QStringLiteral("browser"), arg});
        return p.waitForStarted();
    };
    QProcess firefoxStyle, chromiumStyle, teacher, longer, part;
    QVERIFY(start(firefoxStyle, profile));
    QVERIFY(start(chromiumStyle, QStringLiteral("--user-data-dir=") + profile));
    QVERIFY(start(teacher, QStringLiteral("https://mail.example/draft")));  // the teacher's own
    QVERIFY(start(longer, profile + QStringLiteral("-old")));
    QVERIFY(start(part, QStringLiteral("--profile=") + profile));  // only a part of one argument
    QList<qint64> ourChildren;
    QTRY_VERIFY(
        (ourChildren = childrenOf(firefoxStyle.processId()) + childrenOf(chromiumStyle.processId()))
            .size() == 2);

    SystemProcesses processes(300);
    QVERIFY(processes.endByArgument({profile, QStringLiteral("--user-data-dir=") + profile}));
    QVERIFY(firefoxStyle.waitForFinished(2000));
    QVERIFY(chromiumStyle.waitForFinished(2000));
    for (qint64 child : ourChildren) QTRY_VERIFY(!alive(child));
    for (QProcess* p : {&teacher, &longer, &part}) {
        QCOMPARE(p->state(), QProcess::Running);
        QVERIFY(!childrenOf(p->processId()).isEmpty());
        for (qint64 child : childrenOf(p->processId())) ::kill(pid_t(child), SIGKILL);
        p->kill();
        p->waitForFinished();
    }
    QVERIFY(!processes.endByArgument({}));
}

void TestSystemProcesses::stubbornProgramIsKilled() {
    // A shell under a name of our own that ignores SIGTERM.
    const QString stubborn = dir_.path() + u'/' + uniqueName(QStringLiteral("stubborn"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sh"), stubborn));
    QProcess p;
    p.start(stubborn,
            {QStringLiteral("-c"), QStringLiteral("trap '' TERM; while :; do sleep 0.1; done")});
    QVERIFY(p.waitForStarted());
    QTest::qWait(100);  // let it install the trap

    SystemProcesses processes(200);
    QVERIFY(processes.endByName(QFileInfo(stubborn).fileName()));
    QVERIFY(p.waitForFinished(2000));
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
}

void TestSystemProcesses::neverEndsItself() {
    // A copy of this test under a name of its own asks to end that very name: it must
    // survive to answer. (Ending our own executable's name here could hit another run of
    // this test on the same machine.)
    const QString self = dir_.path() + u'/' + uniqueName(QStringLiteral("self"));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), self));
    QProcess p;
    p.start(self, {QStringLiteral("--end-own-name"), QFileInfo(self).fileName()});
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);

    SystemProcesses processes(100);
    QVERIFY(!processes.endByName(QString()));
    QVERIFY(!processes.endByName(QStringLiteral("/usr/bin/sleep")));  // a path is no name
}

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--end-own-name") == 0) {
        QCoreApplication app(argc, argv);
        SystemProcesses processes(100);
        return processes.endByName(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    TestSystemProcesses test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_systemprocesses.moc"
