#include "ui/form1.h"
#include "ui/tavirinapp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;

namespace {

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

}  // namespace

// The exit button of the running program, with the real adapters behind it: the Yes of the
// confirmation must end the event loop, as it ends the program.
class ProgramExit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(home_.isValid());
        qputenv("HOME", QFile::encodeName(home_.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.path() + QStringLiteral("/.config")));
        QDir().mkpath(home_.path() + QStringLiteral("/run"));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home_.path() + QStringLiteral("/run")));
    }

    void exitAnsweredYesEndsTheProgram() {
        TavirinApp program;
        QVERIFY(program.start());
        const QString store = home_.path() + QStringLiteral("/.config/tavirin/tavirin.ini");
        const QByteArray before = digest(store);
        QVERIFY(!before.isEmpty());

        int asked = 0;
        QTimer answer;
        answer.setInterval(50);
        connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            ++asked;
            QCOMPARE(box->windowTitle(), QStringLiteral("ยืนยันการออกจากโปรแกรม"));
            box->button(QMessageBox::Yes)->click();
        });
        answer.start();
        QTimer::singleShot(1500, [&] {
            auto* exit = program.window().findChild<QAbstractButton*>(QStringLiteral("Command8"));
            QVERIFY(exit);
            QTest::mouseClick(exit, Qt::LeftButton);
        });
        // Far longer than the slide-out; 99 means the program did not end.
        QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(asked, 1);
        // Leaving writes nothing.
        QCOMPARE(digest(store), before);
    }

private:
    QTemporaryDir home_;
};

QTEST_MAIN(ProgramExit)
#include "test_programexit.moc"
