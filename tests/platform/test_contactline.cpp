// The emergency contact's debounce, look by look, and the test double that the program's own
// tests drive (it must debounce as the real adapter does, or those tests prove nothing).

#include "platform/contactline.h"
#include "platform/fake/fakecontactline.h"

#include <QTest>

using namespace tavirin;
using Line = ContactLine::Line;

Q_DECLARE_METATYPE(ContactLine::Line)

class TestContactLine : public QObject {
    Q_OBJECT

private slots:
    void looks_data();
    void looks();
    void lineNames_data();
    void lineNames();
    void fakeDebouncesAsTheAdapter();
    void fakeClosedAtOpenCountsAfterOpening();
    void fakeLostIsToldOnce();
    void fakeFailsToOpen();
};

// A script of looks at the line, one step per word:
//   start:c@0   the port opens with the contact closed (o: open) at 0 ms
//   c@1000      a look that finds it closed at 1000 ms; c~@1000: closed, and it moved since
//               the look before (the counters say so)
//   ...!        this look must complete a closure; every other look must not
//   ?1200       the next look is due at 1200; ?- none is due
void TestContactLine::looks_data() {
    QTest::addColumn<QString>("script");

    QTest::newRow("a clean press") << "start:o@0 ?- c@1000 ?1200 c@1100 ?1200 c@1200! ?- "
                                      "o@1500 ?1700 o@1700 ?-";
    QTest::newRow("held exactly the hold time") << "start:o@0 c@1000 c@1200!";
    QTest::newRow("one ms short of it, then open")
        << "start:o@0 c@1000 c@1199 ?1200 o@1199 ?- o@5000";
    QTest::newRow("shorter than the hold") << "start:o@0 c@1000 o@1150 ?- o@1200 o@1400 ?-";
    QTest::newRow("chatter, then held")
        << "start:o@0 c@1000 o@1020 c@1040 o@1060 c@1080 ?1280 c@1200 c@1279 c@1280!";
    QTest::newRow("chatter that never settles")
        << "start:o@0 c@1000 o@1150 c@1300 o@1450 c@1600 o@1750 c@1900 o@2050 ?-";
    QTest::newRow("a bounce only the counters saw restarts the hold")
        << "start:o@0 c@1000 c~@1200 ?1400 c@1399 c@1400!";
    QTest::newRow("a late look with nothing moved still counts") << "start:o@0 c@1000 c@9000!";
    QTest::newRow("a late look after a move starts the hold there")
        << "start:o@0 c@1000 c~@9000 ?9200 c@9200!";
    QTest::newRow("held long is one closure")
        << "start:o@0 c@1000 c@1200! c@1400 c@60000 c@3600000 ?-";
    QTest::newRow("released and pressed again")
        << "start:o@0 c@1000 c@1200! o@1300 ?1500 o@1500 ?- c@1600 c@1800!";
    QTest::newRow("opened too briefly between two presses")
        << "start:o@0 c@1000 c@1200! o@1300 c@1400 ?- c@1600 c@5000";
    QTest::newRow("a bounce after the closure counted is no second closure")
        << "start:o@0 c@1000 c@1200! c~@1300 ?- c@1500 c@9000";
    QTest::newRow("a release the counters saw as chatter keeps it closed")
        << "start:o@0 c@1000 c@1200! o@1300 o~@1500 ?1700 c@1600 ?- c@1800";
    QTest::newRow("closed at the start does not count")
        << "start:c@0 ?- c@200 c@10000 c~@10050 ?- c@10250 c@99999";
    QTest::newRow("closed at the start counts after opening")
        << "start:c@0 o@100 ?300 o@300 ?- c@400 ?600 c@600!";
    QTest::newRow("closed at the start, opened too briefly") << "start:c@0 o@100 c@200 c@400 ?-";
    QTest::newRow("closed at the very first ms after an open start") << "start:o@0 c@0 ?200 c@200!";
}

void TestContactLine::looks() {
    QFETCH(QString, script);
    ContactDebouncer d;
    const QStringList steps = script.split(u' ', Qt::SkipEmptyParts);
    QVERIFY(steps.first().startsWith(QLatin1String("start:")));
    int events = 0;
    for (const QString& step : steps) {
        if (step.startsWith(u'?')) {
            const QString due = step.mid(1);
            const qint64 expected = due == QLatin1String("-") ? -1 : due.toLongLong();
            QVERIFY2(d.deadlineMs() == expected,
                     qPrintable(step + QStringLiteral(": due ") + QString::number(d.deadlineMs())));
            continue;
        }
        const bool start = step.startsWith(QLatin1String("start:"));
        QString look = start ? step.mid(6) : step;
        const bool expectEvent = look.endsWith(u'!');
        if (expectEvent) look.chop(1);
        const qsizetype at = look.indexOf(u'@');
        QVERIFY2(at > 0, qPrintable(step));
        const QString level = look.left(at);
        bool ok = false;
        const qint64 ms = look.mid(at + 1).toLongLong(&ok);
        QVERIFY2(ok, qPrintable(step));
        QVERIFY2(level == QLatin1String("c") || level == QLatin1String("o") ||
                     level == QLatin1String("c~") || level == QLatin1String("o~"),
                 qPrintable(step));
        const bool closed = level.startsWith(u'c');
        const bool moved = level.endsWith(u'~');
        if (start) {
            QVERIFY(!expectEvent);
            d.start(closed, ms);
            QCOMPARE(d.closed(), closed);
            continue;
        }
        const bool event = d.look(closed, moved, ms);
        QVERIFY2(event == expectEvent,
                 qPrintable(step + (event ? QStringLiteral(": a closure was told")
                                          : QStringLiteral(": no closure was told"))));
        if (event) {
            ++events;
            QVERIFY(d.closed());
        }
        QCOMPARE(d.lineClosed(), closed);
    }
    QCOMPARE(events, int(script.count(u'!')));
}

void TestContactLine::lineNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("known");
    QTest::addColumn<Line>("line");
    QTest::newRow("CTS") << "CTS" << true << Line::Cts;
    QTest::newRow("dsr") << "dsr" << true << Line::Dsr;
    QTest::newRow(" Dcd ") << " Dcd " << true << Line::Dcd;
    QTest::newRow("RI") << "RI" << false << Line::Dsr;
    QTest::newRow("DTR (an output)") << "DTR" << false << Line::Dsr;
    QTest::newRow("empty") << "" << false << Line::Dsr;
}

void TestContactLine::lineNames() {
    QFETCH(QString, name);
    QFETCH(bool, known);
    QFETCH(Line, line);
    Line parsed = Line::Dsr;
    QCOMPARE(contactLineFromName(name, &parsed), known);
    if (!known) return;
    QCOMPARE(parsed, line);
    QCOMPARE(contactLineName(parsed), name.trimmed().toUpper());
}

void TestContactLine::fakeDebouncesAsTheAdapter() {
    FakeContactLine contact;
    int told = 0;
    contact.setClosedHandler([&] { ++told; });
    QVERIFY(contact.open(QStringLiteral("COM2"), Line::Dsr));
    QCOMPARE(contact.log, QStringList{QStringLiteral("open COM2 DSR")});

    contact.setClosed(true);
    contact.advance(199);
    QCOMPARE(told, 0);
    contact.advance(1);
    QCOMPARE(told, 1);
    contact.advance(10000);  // held on: still the one closure
    QCOMPARE(told, 1);

    // Released, and chattering shut for less than the hold each time.
    contact.setClosed(false);
    contact.advance(300);
    for (int i = 0; i < 5; ++i) {
        contact.setClosed(true);
        contact.advance(150);
        contact.setClosed(false);
        contact.advance(30);
    }
    contact.advance(1000);
    QCOMPARE(told, 1);

    contact.press();
    QCOMPARE(told, 2);
    contact.press(50);  // too short
    QCOMPARE(told, 2);

    contact.close();
    contact.setClosed(true);
    contact.advance(1000);
    QCOMPARE(told, 2);  // a closed port tells nothing
    QCOMPARE(contact.closures, 2);
    QCOMPARE(contact.log.last(), QStringLiteral("close"));
}

void TestContactLine::fakeClosedAtOpenCountsAfterOpening() {
    FakeContactLine contact;
    int told = 0;
    contact.setClosedHandler([&] { ++told; });
    contact.setClosed(true);
    QVERIFY(contact.open(QStringLiteral("/dev/ttyUSB1"), Line::Cts));
    contact.advance(5000);
    QCOMPARE(told, 0);
    contact.setClosed(false);
    contact.advance(250);
    contact.setClosed(true);
    contact.advance(250);
    QCOMPARE(told, 1);
}

void TestContactLine::fakeLostIsToldOnce() {
    FakeContactLine contact;
    QStringList lost;
    int told = 0;
    contact.setLostHandler([&](const QString& why) { lost.append(why); });
    contact.setClosedHandler([&] { ++told; });
    QVERIFY(contact.open(QStringLiteral("COM3"), Line::Dcd));
    contact.vanish(QStringLiteral("unplugged"));
    contact.vanish(QStringLiteral("unplugged"));
    QCOMPARE(lost, QStringList{QStringLiteral("COM3: unplugged")});
    QVERIFY(!contact.isOpen());
    contact.press();
    QCOMPARE(told, 0);
    // Plugged back in: it can be opened again.
    QVERIFY(contact.open(QStringLiteral("COM3"), Line::Dcd));
    contact.press();
    QCOMPARE(told, 1);
}

void TestContactLine::fakeFailsToOpen() {
    FakeContactLine contact;
    contact.setFailure(QStringLiteral("COM4"), QStringLiteral("COM4: no such device"));
    const Result r = contact.open(QStringLiteral("COM4"), Line::Dsr);
    QVERIFY(!r);
    QCOMPARE(r.error, QStringLiteral("COM4: no such device"));
    QVERIFY(!contact.isOpen());
    QVERIFY(contact.log.isEmpty());
    QVERIFY(contact.open(QStringLiteral("COM5"), Line::Dsr));
    QVERIFY(!contact.open(QStringLiteral("COM6"), Line::Dsr));  // one at a time
    QCOMPARE(contact.port(), QStringLiteral("COM5"));
}

QTEST_GUILESS_MAIN(TestContactLine)
#include "test_contactline.moc"
