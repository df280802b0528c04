#include "platform/fake/fakeprocesses.h"
#include "platform/power/systemctlpower.h"

#include <QTest>

using namespace tavirin;

class TestSystemctlPower : public QObject {
    Q_OBJECT

private slots:
    void powerOffRunsSystemctl_data() {
        QTest::addColumn<bool>("missing");
        QTest::newRow("systemctl there") << false;
        QTest::newRow("systemctl missing") << true;
    }
    void powerOffRunsSystemctl() {
        QFETCH(bool, missing);
        FakeProcesses processes;
        if (missing) processes.missing.insert(QStringLiteral("systemctl"));
        SystemctlPower power(processes);
        const Result r = power.powerOff();
        QCOMPARE(bool(r), !missing);  // a failure to start is told, not hidden
        QCOMPARE(processes.described(), QStringList{"start systemctl [poweroff]"});
    }
};

QTEST_GUILESS_MAIN(TestSystemctlPower)
#include "test_systemctlpower.moc"
