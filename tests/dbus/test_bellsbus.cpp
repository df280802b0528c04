// The core on a session bus of the test's own (a dbus-daemon started here): the calls a
// script makes, their answers, the picture and its change signal.
#include "core/bellcore.h"
#include "dbus/bellsbus.h"
#include "scheduler/coreharness.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace tavirin;

namespace {

// A dbus-daemon of the test's own; the program's session bus is this one.
struct PrivateBus {
    QProcess daemon;
    QString address;
    PrivateBus() {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address=1")});
        if (!daemon.waitForStarted(5000)) return;
        for (int i = 0; i < 100 && address.isEmpty(); ++i) {
            daemon.waitForReadyRead(100);
            address = QString::fromUtf8(daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        daemon.kill();
        daemon.waitForFinished(3000);
    }
};

}  // namespace

class TestBellsBus : public QObject {
    Q_OBJECT

    PrivateBus bus_;
    std::unique_ptr<CoreHarness> h_;
    std::unique_ptr<BellsBus> exported_;

    QDBusConnection client() {
        return QDBusConnection::connectToBus(bus_.address, QStringLiteral("client"));
    }
    // A call answered while the event loop runs (the program answers from the same loop).
    QDBusMessage call(const QString& method, const QVariantList& args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(BellsBus::kService, BellsBus::kPath,
                                                        BellsBus::kInterface, method);
        m.setArguments(args);
        QDBusPendingCall pending = client().asyncCall(m, 5000);
        for (int i = 0; i < 500 && !pending.isFinished(); ++i) QTest::qWait(10);
        return pending.reply();
    }
    QJsonObject state() {
        const QDBusMessage r = call(QStringLiteral("State"));
        return QJsonDocument::fromJson(r.arguments().value(0).toString().toUtf8()).object();
    }

private slots:
    void initTestCase() {
        QVERIFY2(!bus_.address.isEmpty(), "dbus-daemon did not start");
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.address.toUtf8());
        h_ = std::make_unique<CoreHarness>();
        h_->clock.set(QDate(2026, 12, 9), QTime(10, 30));
        h_->seedAndArm();
        exported_ = std::make_unique<BellsBus>(h_->core);
        QVERIFY(exported_->start());
    }

    void theInterfaceNamesItsArguments() {
        QDBusMessage m = QDBusMessage::createMethodCall(
            BellsBus::kService, BellsBus::kPath,
            QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
        QDBusPendingCall pending = client().asyncCall(m, 5000);
        for (int i = 0; i < 500 && !pending.isFinished(); ++i) QTest::qWait(10);
        const QString xml = pending.reply().arguments().value(0).toString();
        QVERIFY2(xml.contains(QStringLiteral("<interface name=\"org.tavirin.Bells1\">")),
                 qPrintable(xml));
        QVERIFY(
            xml.contains(QStringLiteral("<arg name=\"accepted\" type=\"b\" direction=\"out\"/>")));
        QVERIFY(xml.contains(QStringLiteral("<signal name=\"StateChanged\">")));
    }

    void refusalsAreAnsweredWithAReason() {
        QDBusMessage r = call(QStringLiteral("RingPeriod"), {25});
        QCOMPARE(r.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(r.arguments().value(0).toBool(), false);
        QVERIFY(r.arguments().value(1).toString().contains(QStringLiteral("25")));

        // A change no one knows, as long as a hostile caller likes: refused, quoted short.
        r = call(QStringLiteral("SetTodayChange"), {QString(100000, u'x'), 0});
        QCOMPARE(r.arguments().value(0).toBool(), false);
        QVERIFY(r.arguments().value(1).toString().size() < 200);

        // The wrong argument types: the bus says so; the program goes on.
        r = call(QStringLiteral("RingPeriod"), {QStringLiteral("three")});
        QCOMPARE(r.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(state().value(QStringLiteral("bell")).isNull(), true);
    }

    void announceNowAndThePictureWhileItRings() {
        QDBusConnection c = client();
        // The signal as a script receives it.
        QVERIFY(c.connect(BellsBus::kService, BellsBus::kPath, BellsBus::kInterface,
                          QStringLiteral("StateChanged"), this, SLOT(stateChanged(QString))));

        QDBusMessage r = call(QStringLiteral("AnnounceNow"));
        QCOMPARE(r.arguments().value(0).toBool(), true);
        QCOMPARE(r.arguments().value(1).toString(), QString());
        const QJsonObject during = state();
        const QJsonObject bell = during.value(QStringLiteral("bell")).toObject();
        QCOMPARE(bell.value(QStringLiteral("kind")).toString(), QStringLiteral("announce"));
        QCOMPARE(bell.value(QStringLiteral("phase")).toString(), QStringLiteral("countdown"));
        QVERIFY(bell.value(QStringLiteral("period")).isNull());
        // A second, while the first is on its way: refused, not held.
        r = call(QStringLiteral("AnnounceNow"));
        QCOMPARE(r.arguments().value(0).toBool(), false);
        QVERIFY(r.arguments().value(1).toString().startsWith(QStringLiteral("กำลังตีออดอยู่")));

        QTRY_VERIFY(!signals_.isEmpty());
        const QJsonObject told = QJsonDocument::fromJson(signals_.last().toUtf8()).object();
        QCOMPARE(
            told.value(QStringLiteral("bell")).toObject().value(QStringLiteral("kind")).toString(),
            QStringLiteral("announce"));

        // Over: the picture says so, and so does the last signal.
        for (int i = 0; i < 1200 && h_->core.bellInProgress(); ++i) h_->runFor(50);
        QVERIFY(!h_->core.bellInProgress());
        QVERIFY(state().value(QStringLiteral("bell")).isNull());
        QTRY_VERIFY(QJsonDocument::fromJson(signals_.last().toUtf8())
                        .object()
                        .value(QStringLiteral("bell"))
                        .isNull());
    }

    void cleanupTestCase() {
        exported_.reset();
        h_.reset();
    }

public slots:
    void stateChanged(const QString& json) { signals_.append(json); }

private:
    QStringList signals_;
};

QTEST_GUILESS_MAIN(TestBellsBus)
#include "test_bellsbus.moc"
