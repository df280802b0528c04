#include "platform/power/systemctlpower.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;

// `systemctl` is a stand-in script on PATH that answers as the real one would.
class TestSystemctlPower : public QObject {
    Q_OBJECT

private slots:
    void init() {
        path_ = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin_.path()) + ':' + path_);
    }
    void cleanup() { qputenv("PATH", path_); }

    void theAnswerIsTheCommandsExit_data() {
        QTest::addColumn<QByteArray>("script");  // empty: no systemctl at all
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("error");
        QTest::newRow("accepted") << QByteArray("[ \"$*\" = poweroff ] || exit 3\nexit 0") << true
                                  << QString();
        QTest::newRow("refused")
            << QByteArray("echo 'Failed to power off system via logind: Access denied' >&2\nexit 1")
            << false
            << "systemctl poweroff exited with 1: Failed to power off system via logind: Access "
               "denied";
        QTest::newRow("killed") << QByteArray("kill -9 $$") << false
                                << "systemctl poweroff crashed";
        QTest::newRow("missing") << QByteArray() << false << "cannot run systemctl: ";
    }
    void theAnswerIsTheCommandsExit() {
        QFETCH(QByteArray, script);
        QFETCH(bool, accepted);
        QFETCH(QString, error);
        QFile stub(bin_.filePath(QStringLiteral("systemctl")));
        stub.remove();
        if (!script.isEmpty()) {
            QVERIFY(stub.open(QIODevice::WriteOnly));
            // The answer takes a while, as logind's does: the call must not wait for it.
            stub.write("#!/bin/sh\nsleep 0.3\n" + script + '\n');
            stub.close();
            QVERIFY(stub.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        } else {
            qputenv("PATH", QFile::encodeName(bin_.path()));
        }
        SystemctlPower power;
        std::optional<Result> answer;
        QElapsedTimer t;
        t.start();
        power.powerOff([&](const Result& r) { answer = r; });
        if (!script.isEmpty()) {
            QVERIFY(t.elapsed() < 250);
            QVERIFY(!answer);
        }
        QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), 5000);
        QCOMPARE(answer->ok, accepted);
        QVERIFY2(answer->error.startsWith(error), qPrintable(answer->error));
    }

private:
    QTemporaryDir bin_;
    QByteArray path_;
};

QTEST_GUILESS_MAIN(TestSystemctlPower)
#include "test_systemctlpower.moc"
