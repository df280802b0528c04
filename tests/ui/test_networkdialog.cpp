// The network settings dialog over the real page: turned on, it shows the page's address, a
// QR code that reads back as that address's size, and the certificate's fingerprint; the
// passwords' rules are told in the dialog; the settings survive a restart of the page.
#include "core/bellcore.h"
#include "scheduler/coreharness.h"
#include "ui/networkdialog.h"
#include "ui/qrcode.h"
#include "web/webpage.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>

using namespace tavirin;

namespace {

quint16 freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

template <typename T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) qWarning() << "no" << name;
    return c;
}

}  // namespace

class TestNetworkDialog : public QObject {
    Q_OBJECT

private slots:
    void turnedOnItShowsWhereAndWho() {
        CoreHarness h;
        h.seedAndArm();
        QTemporaryDir certs;
        WebPage page(h.core, h.library, certs.path());
        NetworkDialog dialog(page);
        QCOMPARE(child<QLabel>(dialog, "webUrl")->text(), QStringLiteral("หน้าเว็บปิดอยู่"));
        QVERIFY(!child<QCheckBox>(dialog, "webOn")->isChecked());
        QCOMPARE(child<QSpinBox>(dialog, "webPort")->value(), 8443);
        QVERIFY(child<QCheckBox>(dialog, "webHttps")->isChecked());

        // A teacher's password one character short is refused with the rule, in the dialog.
        child<QLineEdit>(dialog, "webPassword_teacher")->setText(QStringLiteral("12345"));
        child<QPushButton>(dialog, "webSetPassword_teacher")->click();
        QVERIFY(dialog.lastMessage().contains(QStringLiteral("6")));
        QVERIFY(!page.hasPassword(WebRole::Teacher));
        child<QLineEdit>(dialog, "webPassword_teacher")->setText(QStringLiteral("123456"));
        child<QPushButton>(dialog, "webSetPassword_teacher")->click();
        QVERIFY(page.hasPassword(WebRole::Teacher));
        QVERIFY(child<QLineEdit>(dialog, "webPassword_teacher")->text().isEmpty());

        // Only the loopback address: nothing of this machine's network in the test.
        QListWidget* addresses = child<QListWidget>(dialog, "webAddresses");
        QVERIFY(addresses->count() >= 1);
        for (int i = 0; i < addresses->count(); ++i)
            addresses->item(i)->setCheckState(addresses->item(i)->data(Qt::UserRole).toString() ==
                                                      QLatin1String("127.0.0.1")
                                                  ? Qt::Checked
                                                  : Qt::Unchecked);
        const quint16 port = freePort();
        child<QSpinBox>(dialog, "webPort")->setValue(port);
        child<QCheckBox>(dialog, "webOn")->setChecked(true);
        child<QPushButton>(dialog, "webSave")->click();
        QVERIFY2(page.running(), qPrintable(dialog.lastMessage()));
        const QString url = QStringLiteral("https://127.0.0.1:%1/").arg(port);
        QCOMPARE(child<QLabel>(dialog, "webUrl")->text(), url);
        QVERIFY(child<QLabel>(dialog, "webFingerprint")->text().contains(page.fingerprint()));
        QCOMPARE(page.fingerprint().count(u':'), 31);
        // The code on the screen is the address's code.
        const QPixmap shown = child<QLabel>(dialog, "webQr")->pixmap();
        QVERIFY(!shown.isNull());
        QCOMPARE(shown.toImage().convertToFormat(QImage::Format_Mono),
                 qrCodeImage(url, 4).convertToFormat(QImage::Format_Mono));

        // Saved: a page made afresh (the next start of the program) serves as chosen.
        const WebSettings saved = page.settings();
        QVERIFY(saved.enabled);
        QCOMPARE(saved.port, port);
        QCOMPARE(saved.addresses, QStringList{QStringLiteral("127.0.0.1")});
        child<QCheckBox>(dialog, "webOn")->setChecked(false);
        child<QPushButton>(dialog, "webSave")->click();
        QVERIFY(!page.running());
        QCOMPARE(child<QLabel>(dialog, "webUrl")->text(), QStringLiteral("หน้าเว็บปิดอยู่"));
        QVERIFY(!page.settings().enabled);
    }

    // A port another program holds: the dialog says so, and the choice is kept for the next
    // start (the port may be free then).
    void aTakenPortIsTold() {
        CoreHarness h;
        h.seedAndArm();
        QTemporaryDir certs;
        WebPage page(h.core, h.library, certs.path());
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        const Outcome o = page.enable(holder.serverPort(), false, {QStringLiteral("127.0.0.1")});
        QCOMPARE(o.status, Outcome::Status::Failed);
        QVERIFY(o.reason.contains(QString::number(holder.serverPort())));
        QVERIFY(!page.running());
        QVERIFY(page.settings().enabled);
        QVERIFY(page.urls().isEmpty());
    }

    // A QR code holds the whole address: more text, more modules, never cut.
    void theCodeGrowsWithTheText() {
        const QImage small = qrCodeImage(QStringLiteral("https://10.0.0.1:8443/"), 1);
        const QImage big = qrCodeImage(
            QStringLiteral("https://[fd12:3456:789a:1::1234]:8443/") + QString(200, u'a'), 1);
        QVERIFY(!small.isNull());
        QVERIFY(big.width() > small.width());
        QCOMPARE(small.width(), small.height());
        // The quiet zone: four white modules round the code.
        for (int x = 0; x < small.width(); ++x) QCOMPARE(small.pixelIndex(x, 3), 0);
    }
};

QTEST_MAIN(TestNetworkDialog)
#include "test_networkdialog.moc"
