// While a bell holds input back, the emergency button, its menu and its question take clicks
// and keys; every other control gets none, and all of them get input again once the bell's
// wait is over.
#include "platform/inputhold.h"
#include "ui/inputgate.h"

#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

using namespace tavirin;

class TestInputGate : public QObject {
    Q_OBJECT

private slots:
    void onlyTheEmergencyWayIsOpenDuringAWait() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* emergency = new QPushButton(QStringLiteral("ฉุกเฉิน"), &window);
        auto* announce = new QPushButton(QStringLiteral("บอกเวลา"), &window);
        layout->addWidget(emergency);
        layout->addWidget(announce);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy emergencyClicks(emergency, &QPushButton::clicked);
        QSignalSpy announceClicks(announce, &QPushButton::clicked);

        // Without a gate a wait holds every input back.
        QCOMPARE(inputhold::flags(),
                 QEventLoop::ProcessEventsFlags(QEventLoop::ExcludeUserInputEvents));
        {
            InputGate gate(emergency, QStringLiteral("เหตุฉุกเฉิน"));
            QCOMPARE(inputhold::flags(), QEventLoop::ProcessEventsFlags(QEventLoop::AllEvents));
            {
                const inputhold::Holding holding;
                QTest::mouseClick(announce, Qt::LeftButton);
                QTest::mouseClick(emergency, Qt::LeftButton);
                QTest::keyClick(announce, Qt::Key_Space);
                QCOMPARE(announceClicks.size(), 0);
                QCOMPARE(emergencyClicks.size(), 1);
                QVERIFY(gate.letsThrough(new QMenu(&window)));
                QMessageBox asked(QMessageBox::Warning, QStringLiteral("เหตุฉุกเฉิน"), {},
                                  QMessageBox::Yes | QMessageBox::No, &window);
                QMessageBox other(QMessageBox::Warning, QStringLiteral("ปฏิทินโรงเรียน"), {},
                                  QMessageBox::Ok, &window);
                QVERIFY(gate.letsThrough(asked.button(QMessageBox::Yes)));
                QVERIFY(!gate.letsThrough(other.button(QMessageBox::Ok)));
            }
            // The wait is over: every control takes input again.
            QTest::mouseClick(announce, Qt::LeftButton);
            QCOMPARE(announceClicks.size(), 1);
        }
        QCOMPARE(inputhold::flags(),
                 QEventLoop::ProcessEventsFlags(QEventLoop::ExcludeUserInputEvents));
    }
};

QTEST_MAIN(TestInputGate)
#include "test_inputgate.moc"
