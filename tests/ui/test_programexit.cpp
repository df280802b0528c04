#include "ui/form1.h"
#include "ui/tavirinapp.h"
#include "usersession.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QtTest>

using namespace tavirin;

// The exit button of the running program, with the real adapters behind it: the Yes of the
// confirmation must end the event loop, as it ends the program.
class ProgramExit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(session_.dir.isValid());
        session_.enter();
    }

    void exitAnsweredYesEndsTheProgram() {
        TavirinApp program;
        QVERIFY(program.start());
        const QByteArray before = session_.storeDigest();
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
        QCOMPARE(session_.storeDigest(), before);
    }

private:
    UserSession session_;
};

QTEST_MAIN(ProgramExit)
#include "test_programexit.moc"
