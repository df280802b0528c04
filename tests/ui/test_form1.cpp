// The main window against its design: each control's name, kind, texts and place.

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "ui/staticlabel.h"
#include "ui/form1.h"
#include "ui/twips.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

using namespace tavirin;

class TestForm1 : public QObject {
    Q_OBJECT

    FormModel model_;
    Form1* form_ = nullptr;

    QWidget* w(const QString& name) { return form_->findChild<QWidget*>(name); }
    QRect twipsRect(int x, int y, int width, int height) {
        return Twips::forWidget(form_).rect(x, y, width, height);
    }

private slots:
    void initTestCase() {
        buildForm1(model_);
        form_ = new Form1(model_);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_));
    }
    void cleanupTestCase() { delete form_; }

    void window() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("Tavirin"));
        QCOMPARE(form_->size(), twipsRect(0, 0, 11055, 6165).size());
    }

    // kind: L label, B button, P picture button, C check box, D drop-down list, T text box,
    // F frame. width 0: sized by its text, only the position is given.
    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<bool>("visible");
        auto row = [](const char* name, const char* kind, const char* text, const char* tip,
                      QRect place, bool visible = true) {
            QTest::newRow(name) << QString::fromUtf8(name) << QString::fromLatin1(kind)
                                << QString::fromUtf8(text) << QString::fromUtf8(tip) << place
                                << visible;
        };
        row("Frame1", "F", " เวลาออด !! ", " เวลาออด ", {120, 360, 4455, 5175});
        row("lbl_dayy", "L", "", "", {4680, 360, 1335, 315});
        row("Label5", "L", "Tavirin", "Tavirin", {5325, 887, 5175, 630});
        row("Label33", "L", "X", "", {9420, 360, 255, 255}, false);
        row("Label21", "L", "Port COM", "", {9720, 360, 1215, 315});
        row("Label2", "L", " ออดเริ่มทำงาน ", "", {5400, 3605, 5115, 930}, false);
        row("Label242", "L", "", "", {5400, 4320, 5115, 1035}, false);
        row("Command3xx2a", "B", "ปิดทันที", "ปิดคอมพิวเตอร์ทันที", {5880, 3360, 1095, 375}, false);
        row("Command3xxa", "B", "ยกเลิก", "ยกเลิกการปิดคอมพิวเตอร์", {8640, 3360, 975, 375}, false);
        row("Command3555", "P", "", " บอกเวลาขณะนี้ ", {4800, 5437, 735, 615});
        row("Command4", "P", "", " แก้ไขเวลา ", {7560, 5437, 735, 615});
        row("Command6", "P", "", " ส่วนควบคุม ", {8400, 5437, 735, 615});
        row("Command1", "P", "", " ซ่อนตัว ", {9240, 5437, 735, 615});
        row("Command8", "P", "", " ออกจากโปรแกรม ", {10080, 5437, 735, 615});
        row("Check25", "C", "", " คำเสริมท้าย ", {5760, 5760, 0, 0});
        row("Command357", "P", "", "", {6120, 5640, 0, 0}, false);
        row("Frame2", "F", " ตั้งค่า ", " แก้ไขเวลา ออด!! ", {120, 6120, 10815, 5775}, false);
        row("Frame7", "F", " ตั้งค่าเวลา ", "", {120, 380, 7335, 4935}, false);
        row("Frame6", "F", " ตั้งค่าเสียง / บันทึก ", "", {7560, 120, 3135, 5535}, false);
        row("Command9oo", "P", "", " เลือกแบบเสียงออดหน้า ", {360, 510, 495, 375}, false);
        row("Command2", "P", "", " เลือกแบบเสียงออดหลัง  ", {1800, 510, 495, 375}, false);
        row("Combo54", "D", "", "", {360, 1260, 2600, 315}, false);
        row("Check28", "C", "ไม่ใช้เสียง", " ไม่ต้องการใช้เสียงบอกเวลา ", {360, 1620, 1095, 255}, false);
        row("Check27", "C", "ทวนเสียง", " ต้องการทวนเสียงบอกเวลา ", {2040, 1620, 1080, 255}, false);
        row("lbl_stop_r", "L", "ปิด", " ปิด เพลง & วิทยุออนไลน์ ", {360, 1980, 0, 0}, false);
        row("radio1", "T", "", "", {240, 2220, 2475, 285}, false);
        row("radio2", "T", "", "", {240, 2535, 2475, 285}, false);
        row("radio3", "T", "", "", {240, 2850, 2475, 285}, false);
        row("lbl_r1", "L", "เปิด", " เปิดวิทยุออนไลน์1 ", {2760, 2220, 0, 0}, false);
        row("lbl_r2", "L", "เปิด", " เปิดวิทยุออนไลน์2 ", {2760, 2535, 0, 0}, false);
        row("lbl_r3", "L", "เปิด", " เปิดวิทยุออนไลน์3 ", {2760, 2850, 0, 0}, false);
        row("Label48(5)", "L", "เปิดเพลง MP3", " เปิดเพลง MP3 ", {360, 3180, 0, 0}, false);
        row("Label48(0)", "L", "วินาที", " เลือกแบบเสียงออดหลัง ", {1320, 3825, 0, 0}, false);
        row("Label48(1)", "L", "1.", "", {30, 2220, 0, 0}, false);
        row("Label48(4)", "L", "4.", "", {105, 3180, 0, 0}, false);
        row("Combo51", "D", "", " กระตุ้นเครื่องขยายเสียง ", {360, 3735, 615, 315}, false);
        row("Label24", "L", "ตั้งเวลาปิดคอมพิวเตอร์", "", {240, 4160, 0, 0}, false);
        row("Combo49", "D", "", "", {360, 4640, 615, 315}, false);
        row("Combo50", "D", "", "", {1320, 4640, 615, 315}, false);
        row("Check26", "C", "เปืดใช้", " ต้องการตั้งเวลาปิดคอมพิวเตอร์ ", {2040, 4640, 975, 375}, false);
        row("Command354", "B", "ตกลง", " นำไปใช้ ", {240, 5100, 855, 375}, false);
        row("Command5", "P", "", " บันทึก ", {1320, 5100, 495, 375}, false);
        row("Command3557", "B", "ยกเลิก", " ยกเลิก ", {2040, 5100, 855, 375}, false);
        row("Check29", "C", "7วัน", " แยกทำงาน 7วัน ", {120, 5400, 735, 255}, false);
        row("lbl_same_every_day", "L", "รูปแบบเดียวกันทุกวัน", "", {840, 5380, 0, 0}, false);
        row("lbl_day1", "L", "จ", "", {950, 5355, 375, 315}, false);
        row("lbl_day4", "L", "พฤ", "", {2250, 5355, 375, 315}, false);
        row("lbl_day7", "L", "อา", "", {3560, 5355, 375, 315}, false);
        row("lbl_copy_to", "L", "คัดลอกไป ->", "", {4250, 5400, 0, 0}, false);
        row("Combo52", "D", "ทุกวัน", "", {5340, 5340, 1215, 315}, false);
        row("Command7", "B", "คัดลอก", " คัดลอก", {6610, 5340, 855, 350}, false);
        row("Frame5", "F", " รายละเอียดอุปกรณ์ควบคุม ", "", {120, -5910, 10815, 5910}, false);
        row("Combo53", "D", "", "", {840, 2400, 975, 360}, false);
        row("Command11", "B", "ทดสอบ", "", {860, 2760, 910, 375}, false);
        row("Command10", "P", "", " บันทึก ", {1000, 3240, 495, 375}, false);
        // The period rows of the editor: row r at y 480 + 360 r; right column 3600 further.
        row("Combo1", "D", "", "", {840, 480, 700, 315}, false);
        row("Combo25", "D", "", "", {1680, 480, 700, 315}, false);
        row("Combo13", "D", "", "", {4440, 480, 700, 315}, false);
        row("Combo48", "D", "", "", {5280, 480, 700, 315}, false);
        row("Combo24", "D", "", "", {4440, 4440, 700, 315}, false);
        row("Combo37", "D", "", "", {5280, 4440, 700, 315}, false);
        row("Check12", "C", "", "", {2400, 4470, 0, 0}, false);
        row("com_radio1(1)", "D", "", "", {3080, 480, 615, 315}, false);
        row("com_radio1(24)", "D", "", "", {6680, 4440, 615, 315}, false);
        row("Command3(1)", "P", "", "", {2640, 480, 0, 0}, false);
    }

    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, tip);
        QFETCH(QRect, place);
        QFETCH(bool, visible);
        QWidget* c = w(name);
        QVERIFY2(c, qPrintable(name));
        if (auto* l = qobject_cast<StaticLabel*>(c); kind == QLatin1String("L") && l) {
            QCOMPARE(l->text(), text);
            // A screen reader reads it as it reads a QLabel.
            QAccessibleInterface* read = QAccessible::queryAccessibleInterface(l);
            QVERIFY(read);
            QCOMPARE(read->text(QAccessible::Name), text);
            QCOMPARE(read->role(), QAccessible::StaticText);
        } else if (kind == QLatin1String("L")) {
            auto* l = qobject_cast<QLabel*>(c);
            QVERIFY(l);
            QCOMPARE(l->text(), text);
        } else if (kind == QLatin1String("B") || kind == QLatin1String("P")) {
            auto* b = qobject_cast<QPushButton*>(c);
            QVERIFY(b);
            QCOMPARE(b->text(), text);
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
            if (kind == QLatin1String("P")) QVERIFY(!b->icon().isNull());
        } else if (kind == QLatin1String("C")) {
            auto* b = qobject_cast<QCheckBox*>(c);
            QVERIFY(b);
            QCOMPARE(b->text(), text);
        } else if (kind == QLatin1String("D")) {
            auto* b = qobject_cast<QComboBox*>(c);
            QVERIFY(b);
            QVERIFY(!b->isEditable());
            QCOMPARE(b->currentText(), text);
        } else if (kind == QLatin1String("T")) {
            QVERIFY(qobject_cast<QLineEdit*>(c));
        } else if (kind == QLatin1String("F")) {
            auto* f = qobject_cast<QGroupBox*>(c);
            QVERIFY(f);
            QCOMPARE(f->title(), text);
        }
        QCOMPARE(c->toolTip(), tip);
        const QRect px = twipsRect(place.x(), place.y(), place.width(), place.height());
        QCOMPARE(c->pos(), px.topLeft());
        if (place.width() > 0) QCOMPARE(c->size(), px.size());
        QCOMPARE(c->isVisibleTo(form_), visible);
    }

    void timeBoard() {
        // Captions "ช่วงที่ N" at x 240 and 2520 in rows at the design's y; time labels in
        // period order, yellow on black text once armed.
        const int rows[12] = {360, 735, 1140, 1560, 1965, 2385, 2805, 3195, 3630, 4035, 4440, 4800};
        const char* labels[24] = {"Label3",  "Label4",  "Label9",  "Label10", "Label11", "Label12",
                                  "Label13", "Label14", "Label15", "Label16", "Label29", "Label30",
                                  "Label31", "Label35", "Label36", "Label37", "Label38", "Label39",
                                  "Label40", "Label41", "Label42", "Label43", "Label44", "Label45"};
        QCOMPARE(periodControls().size(), std::size_t(24));
        for (int n = 1; n <= 24; ++n) {
            const PeriodControls& p = period(n);
            QCOMPARE(p.trigger, QString::fromLatin1(labels[n - 1]));
            auto* trig = qobject_cast<QLabel*>(w(p.trigger));
            QVERIFY(trig);
            QCOMPARE(trig->parentWidget()->objectName(), QStringLiteral("Frame1"));
            QCOMPARE(trig->y(), twipsRect(0, rows[(n - 1) % 12], 0, 0).y());
            QCOMPARE(trig->text(), QStringLiteral(" ไม่ใช้งาน "));
            QCOMPARE(trig->palette().color(QPalette::WindowText), QColor(255, 0, 0));
            QCOMPARE(trig->palette().color(QPalette::Window), QColor(0, 0, 0));
            QCOMPARE(p.minute, QStringLiteral("Combo%1").arg(n <= 12 ? 24 + n : 61 - n));
        }
        // The time labels do not overlap their captions nor leave the board.
        const QRect board = w(QStringLiteral("Frame1"))->rect();
        for (int n = 1; n <= 24; ++n) {
            const QRect t = w(period(n).trigger)->geometry();
            QVERIFY(board.contains(t));
            const QRect cap = w(arrayName(QStringLiteral("lbl_board_period"), n))->geometry();
            QVERIFY2(!cap.intersects(t), qPrintable(QString::number(n)));
            QCOMPARE(qobject_cast<QLabel*>(w(arrayName(QStringLiteral("lbl_board_period"), n)))->text(),
                     QStringLiteral("ช่วงที่ ") + QString::number(n));
        }
    }

    void settingsPanelTextIsReadable() {
        // Captions and tick boxes without a colour of their own write in the frame's yellow on
        // its dark green; those with their own keep it.
        const QColor yellow(255, 255, 0);
        for (const char* name : {"lbl_edit_period(1)", "lbl_edit_period(24)", "lbl_head_hour1",
                                 "Check27", "Check29", "Check1"}) {
            QWidget* c = w(QString::fromLatin1(name));
            QVERIFY2(c, name);
            QCOMPARE(c->palette().color(QPalette::WindowText), yellow);
        }
        QCOMPARE(w(QStringLiteral("Check28"))->palette().color(QPalette::WindowText),
                 QColor(255, 0, 0));
        QCOMPARE(w(QStringLiteral("lbl_same_every_day"))->palette().color(QPalette::WindowText),
                 QColor(255, 128, 0));
        // A list keeps dark text in its white field.
        QVERIFY(w(QStringLiteral("Combo1"))->palette().color(QPalette::Text) != yellow);
    }

    void listEntries() {
        auto items = [&](const char* name) {
            auto* c = qobject_cast<QComboBox*>(w(QString::fromLatin1(name)));
            QStringList out;
            for (int i = 0; c && i < c->count(); ++i) out << c->itemText(i);
            return out;
        };
        const QStringList hours = items("Combo1");
        QCOMPARE(hours.size(), 25);
        QCOMPARE(hours.first(), QStringLiteral("00"));
        QCOMPARE(hours.last(), QStringLiteral("no"));
        QCOMPARE(items("Combo37").size(), 60);
        QCOMPARE(items("Combo49"), hours);
        QCOMPARE(items("Combo50").size(), 61);
        QCOMPARE(items("Combo50").last(), QStringLiteral("no"));
        QCOMPARE(items("Combo51"), (QStringList{"1", "5", "8", "10"}));
        QCOMPARE(items("com_radio1(7)"), (QStringList{"0", "1", "2", "3", "4"}));
        QCOMPARE(items("Combo53"), (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7"}));
        QCOMPARE(items("Combo52"), (QStringList{"ทุกวัน", "วันจันทร์", "วันอังคาร", "วันพุธ",
                                                "วันพฤหัสบดี", "วันศุกร์", "วันเสาร์", "วันอาทิตย์"}));
    }

    void timers() {
        const QList<QPair<QString, int>> expected = {
            {"Timer3", 100}, {"Timer1", 100},   {"Timer222", 400}, {"Timer21", 1000},
            {"Timer22", 100}, {"Timer4", 1000}, {"Timer23", 1000}, {"Timer8", 1},
            {"Timer19", 1},   {"Timer9", 1},    {"Timer18", 1},    {"Timer17", 1},
            {"Timer6", 10},   {"Timer7", 10},   {"Timer13", 10},   {"Timer14", 1}};
        FormModel fresh;
        buildForm1(fresh);
        QCOMPARE(fresh.timerNames().size(), expected.size());
        for (const auto& [name, interval] : expected) {
            QCOMPARE(fresh.timer(name)->interval(), interval);
            QCOMPARE(fresh.timer(name)->isActive(), name == QLatin1String("Timer3"));
        }
    }

    void modelChangesReachTheWidgets() {
        model_.setText(QStringLiteral("Label3"), QStringLiteral("07:45:00"));
        model_.setForeground(QStringLiteral("Label3"), Rgb{255, 255, 0});
        auto* l = qobject_cast<QLabel*>(w(QStringLiteral("Label3")));
        QCOMPARE(l->text(), QStringLiteral("07:45:00"));
        QCOMPARE(l->palette().color(QPalette::WindowText), QColor(255, 255, 0));
        model_.setComboText(QStringLiteral("Combo51"), QStringLiteral("8"));
        QCOMPARE(qobject_cast<QComboBox*>(w(QStringLiteral("Combo51")))->currentText(), QStringLiteral("8"));
        // An operator's tick reaches the model and runs the box's click action.
        int clicks = 0;
        model_.onClick(QStringLiteral("Check25"), [&] { ++clicks; });
        QTest::mouseClick(w(QStringLiteral("Check25")), Qt::LeftButton);
        QVERIFY(model_.checked(QStringLiteral("Check25")));
        QCOMPARE(clicks, 1);
        // A click on a label runs its action and does not fall through to the window.
        int labelClicks = 0, formClicks = 0;
        model_.onClick(QStringLiteral("Label5"), [&] { ++labelClicks; });
        model_.onClick(QStringLiteral("Form"), [&] { ++formClicks; });
        QTest::mouseClick(w(QStringLiteral("Label5")), Qt::LeftButton);
        QCOMPARE(labelClicks, 1);
        QCOMPARE(formClicks, 0);
        QTest::mouseClick(form_, Qt::LeftButton, {}, QPoint(3, form_->height() - 3));
        QCOMPARE(formClicks, 1);
    }

    // A label sized by its text keeps fitting it: the clock's digits change every second,
    // other texts change length or letters.
    void labelsSizedByTheirTextKeepFittingIt() {
        auto* clock = qobject_cast<StaticLabel*>(w(QStringLiteral("Label1")));
        auto* phrase = qobject_cast<QLabel*>(w(QStringLiteral("lbl_closing_phrase")));
        for (const char* text : {"08:00:00", "11:11:11", "00:00:00", "23:59:59", "8:00", "08:00:00"}) {
            model_.setText(QStringLiteral("Label1"), QString::fromUtf8(text));
            QCOMPARE(clock->text(), QString::fromUtf8(text));
            QCOMPARE(clock->size(), clock->sizeHint());
        }
        for (const char* text : {"ปิดเครื่องใน 120", "ปิดเครื่องใน 99", "ปิดเครื่องใน 11", "ปิดเครื่องใน 88", "iiiiiii", "WWWWWWW", "ปิดเครื่องใน ๑๑", "ปิดเครื่องใน ๘๘", "วันพุธ"}) {
            model_.setText(QStringLiteral("lbl_closing_phrase"), QString::fromUtf8(text));
            QCOMPARE(phrase->size(), phrase->sizeHint());
        }
    }

    // The clock repaints only the digits that changed, over the window's picture, and what
    // the window shows afterwards is what a full repaint draws: no digit left stale or cut.
    void clockRepaintsOnlyWhatChanged() {
        auto* clock = qobject_cast<StaticLabel*>(w(QStringLiteral("Label1")));
        QVERIFY(clock);
        QRegion painted;
        struct Spy : QObject {
            QRegion* painted;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) *painted += static_cast<QPaintEvent*>(e)->region();
                return false;
            }
        } spy;
        spy.painted = &painted;
        clock->installEventFilter(&spy);
        auto onScreen = [this] { return form_->screen()->grabWindow(form_->winId()).toImage(); };
        auto show = [&](const char* text) {
            painted = {};
            model_.setText(QStringLiteral("Label1"), QString::fromUtf8(text));
            QTRY_VERIFY(!painted.isEmpty());
        };
        const int digit = clock->width() / 8;
        show("08:00:00");
        // the next text, and at most how many digits wide the painted area may be
        const struct { const char* text; int digits; } seconds[] = {
            {"08:00:01", 1}, {"08:00:09", 1}, {"08:00:10", 2}, {"08:09:59", 4},
            {"08:10:00", 5}, {"23:59:59", 8}, {"00:00:00", 8}, {"00:00:01", 1}};
        for (const auto& s : seconds) {
            show(s.text);
            QVERIFY2(painted.boundingRect().width() <= (s.digits + 1) * digit, s.text);
            QVERIFY2(painted.boundingRect().width() > 0, s.text);
        }
        // Text of another length or with Thai letters is drawn whole.
        for (const char* text : {"8:00", "วันพุธ 08:00", "08:00:00"}) {
            show(text);
            QCOMPARE(painted.boundingRect(), clock->rect());
            QCOMPARE(clock->size(), clock->sizeHint());
        }
        for (const char* text : {"08:00:01", "08:00:59", "08:01:00", "11:11:11", "08:08:08"}) {
            show(text);
            const QImage shown = onScreen();
            form_->repaint();
            QCOMPARE(onScreen(), shown);
        }
        clock->removeEventFilter(&spy);
    }

    // Scrolling over the editor must not move a bell time: a list takes the wheel only once
    // it has the focus (a click gives it).
    void wheelNeedsFocus_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("focused");
        QTest::addColumn<QString>("expected");
        for (const char* list : {"Combo1", "Combo25"}) {
            QTest::addRow("%s, no focus", list) << list << "08" << false << "08";
            QTest::addRow("%s, focused", list) << list << "08" << true << "09";
        }
        QTest::newRow("after-bell list, no focus") << "com_radio1(1)"
                                                   << "0" << false << "0";
        QTest::newRow("after-bell list, focused") << "com_radio1(1)"
                                                  << "0" << true << "1";
    }
    void wheelNeedsFocus() {
        QFETCH(QString, list);
        QFETCH(QString, from);
        QFETCH(bool, focused);
        QFETCH(QString, expected);
        model_.setVisible(QStringLiteral("Frame2"), true);
        model_.setComboText(list, from);
        auto* combo = qobject_cast<QComboBox*>(w(list));
        QVERIFY(combo);
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_));
        if (focused)
            combo->setFocus();
        else
            w(QStringLiteral("radio1"))->setFocus();
        QCOMPARE(combo->hasFocus(), focused);
        const QPointF at = combo->rect().center();
        QWheelEvent down(at, combo->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(combo, &down);
        QCOMPARE(model_.text(list), expected);
        model_.setVisible(QStringLiteral("Frame2"), false);
    }
};

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
