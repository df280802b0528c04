#include "platform/fake/fakedialogs.h"
#include "platform/lock/fileinstancelock.h"
#include "ui/exit.h"
#include "usersession.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

using namespace tavirin;

namespace {

const QString kRefusal = QStringLiteral(
    "โปรแกรม ได้ถูกเปิดใช้งานอยู่แล้ว\r\n\r\n"
    "ท่านไม่สามารถเปิดโปรแกรมซ้ำได้อีก...");

// The user's session, and copies of the real program started in it.
struct Session : UserSession {
    // A copy of the program; its standard error is collected in `err`.
    struct Copy {
        std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
        QByteArray err;
        bool waitFor(const char* line, int ms = 20000) {
            QElapsedTimer t;
            t.start();
            while (!err.contains(line) && t.elapsed() < ms) {
                if (process->state() == QProcess::NotRunning) break;
                process->waitForReadyRead(100);
                err += process->readAllStandardError();
            }
            err += process->readAllStandardError();
            return err.contains(line);
        }
        ~Copy() {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    };

    // `runtime` replaces the session's XDG_RUNTIME_DIR when given.
    std::unique_ptr<Copy> start(const QString& runtime = QString()) {
        auto c = std::make_unique<Copy>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        addTo(env);
        if (!runtime.isNull()) env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // No session bus: no tray host can answer, whatever the machine runs.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        c->process->setProcessEnvironment(env);
        c->process->start(QStringLiteral(TAVIRIN_BINARY), {});
        return c;
    }
};

// A folder below a plain file in `dir`: nothing can be made there, for root too.
QString unusableFolder(const QString& dir) {
    QFile blocker(dir + QStringLiteral("/file"));
    if (!blocker.open(QIODevice::WriteOnly)) qFatal("cannot write in %s", qPrintable(dir));
    return blocker.fileName() + QStringLiteral("/folder");
}

}  // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void refusedInProcess() {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/tavirin.lock");
        FileInstanceLock first({path});
        FakeDialogs dialogs;
        QVERIFY(checkSingleInstance(first, dialogs));
        QVERIFY(checkSingleInstance(first, dialogs));  // the holder asking again keeps it
        QCOMPARE(dialogs.shown.size(), 0);

        FileInstanceLock second({path});
        QVERIFY(!checkSingleInstance(second, dialogs));
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].kind, QStringLiteral("message"));
        QCOMPARE(dialogs.shown[0].icon, Dialogs::Icon::Critical);
        QCOMPARE(dialogs.shown[0].title, QStringLiteral("Tavirin"));
        QCOMPARE(dialogs.shown[0].text, kRefusal);
    }

    // Every lock is taken that can be; with none at all the program does not run unlocked.
    void locksThatCannotBeMade() {
        QTemporaryDir dir;
        const QString unusable = unusableFolder(dir.path()) + QStringLiteral("/tavirin.lock");
        const QString usable = dir.path() + QStringLiteral("/config/tavirin.lock");
        FakeDialogs dialogs;
        FileInstanceLock fallback({unusable, usable});
        QVERIFY(checkSingleInstance(fallback, dialogs));
        QVERIFY(QFile::exists(usable));
        FileInstanceLock other({usable});
        QCOMPARE(other.tryAcquire(), InstanceLock::Outcome::Held);

        FileInstanceLock none({unusable});
        QVERIFY(!checkSingleInstance(none, dialogs));
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].icon, Dialogs::Icon::Critical);
        QVERIFY(dialogs.shown[0].text.startsWith(QStringLiteral("โปรแกรมเริ่มทำงานไม่ได้")));
    }

    // A technician edits the store by hand and starts the program again while it runs: the
    // refused copy must not touch the file (a hand-edited file is set aside when loaded).
    void secondCopyEndsWithoutTouchingTheStore() {
        Session s;
        auto first = s.start();
        QVERIFY2(first->waitFor("Tavirin started"), first->err.constData());
        // What a copy that gets past the check logs when it adds its icon here.
        QVERIFY2(first->err.contains("has no tray"), first->err.constData());
        QFile store(s.storeFile());
        QVERIFY(store.open(QIODevice::Append));
        QVERIFY(store.write("; edited by hand\n") > 0);
        store.close();
        const QByteArray before = s.storeDigest();
        const QStringList files =
            QDir(s.config() + QStringLiteral("/tavirin")).entryList(QDir::Files);

        auto second = s.start();
        QVERIFY2(second->waitFor("already running"), second->err.constData());
        // The message it shows, quoted in its log line.
        QString quoted = kRefusal;
        quoted.replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
        QVERIFY2(QString::fromUtf8(second->err).contains(quoted), second->err.constData());
        // It waits for OK now; nothing of start-up ran: no tray icon, no store access.
        QTest::qWait(500);
        second->err += second->process->readAllStandardError();
        QVERIFY2(!second->err.contains("tray"), second->err.constData());
        QVERIFY2(!second->err.contains("tavirin.store"), second->err.constData());
        QVERIFY2(!second->err.contains("Tavirin started"), second->err.constData());
        QCOMPARE(s.storeDigest(), before);
        QCOMPARE(QDir(s.config() + QStringLiteral("/tavirin")).entryList(QDir::Files), files);
        second->process->kill();
        QVERIFY(second->process->waitForFinished(5000));

        // The running copy is not affected: it still runs and still holds the lock.
        QCOMPARE(first->process->state(), QProcess::Running);
        FileInstanceLock third({s.lockFile()});
        QCOMPARE(third.tryAcquire(), InstanceLock::Outcome::Held);
        QCOMPARE(s.storeDigest(), before);

        first->process->terminate();
        QVERIFY(first->process->waitForFinished(5000));
    }

    // Without a usable XDG_RUNTIME_DIR the lock is taken in the config folder: a second copy
    // is still refused.
    void withoutRuntimeFolderTheLockIsInTheConfigFolder() {
        Session s;
        auto first = s.start(unusableFolder(s.home()));
        QVERIFY2(first->waitFor("Tavirin started"), first->err.constData());
        auto second = s.start(QString(""));  // no runtime folder at all
        QVERIFY2(second->waitFor("already running"), second->err.constData());
        QVERIFY2(!second->err.contains("Tavirin started"), second->err.constData());
        second->process->kill();
        QVERIFY(second->process->waitForFinished(5000));
        first->process->terminate();
        QVERIFY(first->process->waitForFinished(5000));
    }

    void lockLeftByACrashDoesNotRefuse() {
        Session s;
        {
            auto crashed = s.start();
            QVERIFY2(crashed->waitFor("Tavirin started"), crashed->err.constData());
            ::kill(pid_t(crashed->process->processId()), SIGKILL);
            QVERIFY(crashed->process->waitForFinished(5000));
        }
        QVERIFY(QFile::exists(s.lockFile()));  // a crash leaves its lock behind

        auto next = s.start();
        QVERIFY2(next->waitFor("Tavirin started"), next->err.constData());
        QVERIFY2(!next->err.contains("already running"), next->err.constData());
        QCOMPARE(next->process->state(), QProcess::Running);
        next->process->terminate();
        QVERIFY(next->process->waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
