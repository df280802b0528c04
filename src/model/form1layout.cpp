#include "model/form1layout.h"

#include "model/formmodel.h"

namespace tavirin {

namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kDarkBlue{0, 0, 192};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kMagenta{255, 0, 255};
constexpr Rgb kOrange{255, 128, 0};
constexpr Rgb kSettingsGreen{0, 64, 0};

QStringList numberItems(int from, int to, bool twoDigits) {
    QStringList items;
    for (int i = from; i <= to; ++i)
        items << (twoDigits ? QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'))
                            : QString::number(i));
    return items;
}

QString triggerLabelName(int n) {
    // Period order of the time board's labels.
    static const int labels[24] = {3,  4,  9,  10, 11, 12, 13, 14, 15, 16, 29, 30,
                                   31, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45};
    return QStringLiteral("Label%1").arg(labels[n - 1]);
}

// Small builder so the table below reads like the design.
struct Add {
    FormModel& m;

    Control& make(QString name, ControlKind kind, QString parent, int x, int y, int w, int h,
                  QString text = {}, QString tip = {}) {
        Control c;
        c.name = std::move(name);
        c.kind = kind;
        c.parent = std::move(parent);
        c.x = x;
        c.y = y;
        c.width = w;
        c.height = h;
        c.text = std::move(text);
        c.toolTip = std::move(tip);
        return m.add(std::move(c));
    }
    Control& label(QString name, QString parent, int x, int y, int w, int h, QString text,
                   QString tip = {}) {
        return make(std::move(name), ControlKind::Label, std::move(parent), x, y, w, h,
                    std::move(text), std::move(tip));
    }
    Control& combo(QString name, QString parent, int x, int y, int w, int h, QStringList items,
                   QString tip = {}) {
        Control& c = make(std::move(name), ControlKind::ComboList, std::move(parent), x, y, w, h,
                          {}, std::move(tip));
        c.items = std::move(items);
        return c;
    }
    Control& picture(QString name, QString parent, int x, int y, int w, int h, QString tip,
                     QString pic) {
        Control& c = make(std::move(name), ControlKind::PictureButton, std::move(parent), x, y, w,
                          h, {}, std::move(tip));
        c.picture = std::move(pic);
        return c;
    }
    Control& storage(QString name, QString text = {}) {
        Control& c = make(std::move(name), ControlKind::TextBox, {}, 0, 0, 0, 0, std::move(text));
        c.visible = false;
        return c;
    }
};

void buildStatusArea(Add& a) {
    auto& day = a.label(QStringLiteral("lbl_dayy"), {}, 4680, 360, 1335, 315, {});
    day.background = kDarkBlue;
    day.foreground = kWhite;

    // The large clock digits would run over the port indicator from the design's x 7515;
    // they start further left and end before it.
    auto& clock = a.label(QStringLiteral("Label1"), {}, 6180, 60, 0, 0, QStringLiteral("00:00:00"),
                          QStringLiteral(" เวลาปัจจุบัน "));
    clock.font = FontRole::Clock;

    auto& title = a.label(QStringLiteral("Label5"), {}, 5325, 887, 5175, 630,
                          QStringLiteral("Tavirin"), QStringLiteral("Tavirin"));
    title.font = FontRole::Title;

    auto& mark = a.label(QStringLiteral("Label33"), {}, 9420, 360, 255, 255, QStringLiteral("X"));
    mark.foreground = kRed;
    mark.visible = false;

    auto& port =
        a.label(QStringLiteral("Label21"), {}, 9720, 360, 1215, 315, QStringLiteral("Port COM"));
    port.background = kDarkBlue;
    port.foreground = kWhite;

    auto& status = a.label(QStringLiteral("Label2"), {}, 5400, 3605, 5115, 930,
                           QStringLiteral(" ออดเริ่มทำงาน "));
    status.visible = false;
    status.font = FontRole::Countdown;

    auto& count = a.label(QStringLiteral("Label242"), {}, 5400, 4320, 5115, 1035, {});
    count.visible = false;
    count.font = FontRole::BigCountdown;

    // The design places this label at x 7560 with a width of 585; its text ("อีก 120 ...")
    // is far wider, so it gets the width of the status labels above it.
    auto& down = a.label(QStringLiteral("Label28778"), {}, 5400, 2760, 5115, 630, {});
    down.visible = false;
    down.font = FontRole::Countdown;

    auto& now = a.make(QStringLiteral("Command3xx2a"), ControlKind::Button, {}, 5880, 3360, 1095,
                       375, QStringLiteral("ปิดทันที"), QStringLiteral("ปิดคอมพิวเตอร์ทันที"));
    now.visible = false;
    auto& cancel = a.make(QStringLiteral("Command3xxa"), ControlKind::Button, {}, 8640, 3360, 975,
                          375, QStringLiteral("ยกเลิก"), QStringLiteral("ยกเลิกการปิดคอมพิวเตอร์"));
    cancel.visible = false;

    // Beside the time board, under the title: one line about today when the calendar or a
    // change of the day rules it (hidden on an ordinary day), and the button to today's
    // changes and the school calendar. The rest of this area is left free.
    auto& today = a.label(QStringLiteral("lbl_today"), {}, 4680, 1620, 6255, 315, {});
    today.background = kDarkBlue;
    today.foreground = kWhite;
    today.visible = false;
    a.make(QStringLiteral("cmd_today"), ControlKind::Button, {}, 4680, 1980, 1815, 375,
           QStringLiteral("วันนี้ / ปฏิทิน"), QStringLiteral(" เปลี่ยนเฉพาะวันนี้ และปฏิทินโรงเรียน "));
}

// Below the calendar's line and button: the next bell beside that button, today's bells with
// the button to their record, the last self-test (which gives its row to the shutdown
// countdown while that runs), for anyone who passes the screen.
void buildDayStatus(Add& a) {
    auto& next = a.label(QStringLiteral("lbl_next_bell"), {}, 6600, 1995, 4335, 375, {});
    next.foreground = kDarkBlue;
    next.font = FontRole::Bold;
    a.label(QStringLiteral("lbl_today_state"), {}, 4680, 2430, 4600, 330, {});
    a.make(QStringLiteral("cmd_bell_record"), ControlKind::Button, {}, 9360, 2400, 1155, 360,
           QStringLiteral("บันทึกออด"), QStringLiteral(" ออดของวันนี้และวันก่อน ๆ "));
    a.label(QStringLiteral("lbl_selftest_state"), {}, 4680, 2790, 4600, 330, {});
    // The school's network page: its settings, its address and QR code.
    a.make(QStringLiteral("cmd_network"), ControlKind::Button, {}, 9360, 2790, 1155, 360,
           QStringLiteral("เครือข่าย"), QStringLiteral(" หน้าเว็บสำหรับโทรศัพท์ในโรงเรียน "));
    // While an emergency is in force: what it is and since when, over the bell's labels
    // (no bell rings then).
    auto& banner = a.label(QStringLiteral("lbl_emergency"), {}, 4680, 3240, 6255, 1680, {});
    banner.background = kRed;
    banner.foreground = kWhite;
    banner.font = FontRole::Countdown;
    banner.visible = false;
}

void buildTimeBoard(Add& a) {
    const QString frame = QStringLiteral("Frame1");
    auto& f = a.make(frame, ControlKind::Frame, {}, 120, 360, 4455, 5175,
                     QStringLiteral(" เวลาออด !! "), QStringLiteral(" เวลาออด "));
    f.background = kBlue;
    f.foreground = kWhite;

    static const int rowsY[12] = {360,  735,  1140, 1560, 1965, 2385,
                                  2805, 3195, 3630, 4035, 4440, 4800};
    for (int n = 1; n <= 24; ++n) {
        const bool right = n > 12;
        const int y = rowsY[(n - 1) % 12];
        auto& cap =
            a.label(arrayName(QStringLiteral("lbl_board_period"), n), frame, right ? 2520 : 240, y,
                    900, 315, QStringLiteral("ช่วงที่ ") + QString::number(n));
        cap.foreground = kYellow;
        cap.font = FontRole::Bold;
        // The design puts the time labels at x 1860 and 4140; at that place the right
        // column would lie outside the board and the left one over its captions, so each
        // time label follows its caption directly.
        auto& trig = a.label(triggerLabelName(n), frame, right ? 3420 : 1140, y, 1005, 315,
                             QStringLiteral(" ไม่ใช้งาน "));
        trig.background = kBlack;
        trig.foreground = kRed;
        trig.font = FontRole::Bold;
        // How the period's bell went today, before its caption (empty until it has rung).
        auto& mark = a.label(arrayName(QStringLiteral("lbl_board_mark"), n), frame,
                             right ? 2295 : 15, y, 210, 315, {});
        mark.font = FontRole::Bold;
    }
}

void buildButtonRow(Add& a) {
    struct B {
        const char* name;
        int x;
        const char* tip;
        const char* pic;
    };
    static const B buttons[] = {
        {"Command3555", 4800, " บอกเวลาขณะนี้ ", "announce"},
        {"Command4", 7560, " แก้ไขเวลา ", "edit"},
        {"Command6", 8400, " ส่วนควบคุม ", "device"},
        {"Command1", 9240, " ซ่อนตัว ", "hide"},
        {"Command8", 10080, " ออกจากโปรแกรม ", "exit"},
    };
    for (const B& b : buttons)
        a.picture(QString::fromLatin1(b.name), {}, b.x, 5437, 735, 615, QString::fromUtf8(b.tip),
                  QString::fromLatin1(b.pic));

    auto& phrase = a.label(QStringLiteral("lbl_closing_phrase"), {}, 5640, 5400, 0, 0,
                           QStringLiteral("คำเสริมท้าย"));
    phrase.foreground = kBlue;
    a.make(QStringLiteral("Check25"), ControlKind::CheckBox, {}, 5760, 5760, 255, 255, {},
           QStringLiteral(" คำเสริมท้าย "));
    a.picture(QStringLiteral("Command357"), {}, 6120, 5640, 375, 375, {}, QStringLiteral("sound"))
        .visible = false;
    // Always there, also while a bell plays.
    auto& emergency =
        a.make(QStringLiteral("cmd_emergency"), ControlKind::Button, {}, 6600, 5437, 840, 615,
               QStringLiteral("ฉุกเฉิน"), QStringLiteral(" เริ่มหรือสิ้นสุดเหตุฉุกเฉิน "));
    emergency.background = kRed;
    emergency.foreground = kWhite;
    emergency.font = FontRole::Bold;
}

void buildTimeFrame(Add& a) {
    const QString frame = QStringLiteral("Frame7");
    auto& f = a.make(frame, ControlKind::Frame, QStringLiteral("Frame2"), 120, 380, 7335, 4935,
                     QStringLiteral(" ตั้งค่าเวลา "));
    f.background = kSettingsGreen;
    f.foreground = kYellow;

    for (int col = 0; col < 2; ++col) {
        const int dx = col * 3600;
        const QString c = QString::number(col + 1);
        a.label(QStringLiteral("lbl_head_hour") + c, frame, 960 + dx, 240, 0, 0,
                QStringLiteral("นาฬิกา"));
        a.label(QStringLiteral("lbl_head_minute") + c, frame, 1800 + dx, 240, 0, 0,
                QStringLiteral("นาที"));
        a.label(QStringLiteral("lbl_head_addon") + c, frame, 2400 + dx, 240, 0, 0,
                QStringLiteral("เสริมท้าย"));
        a.make(QStringLiteral("img_radio_head") + c, ControlKind::Picture, frame, 3200 + dx, 180,
               300, 240)
            .picture = QStringLiteral("radio");
    }

    for (const PeriodControls& p : periodControls()) {
        const int r = (p.number - 1) % 12;
        const int dx = p.number > 12 ? 3600 : 0;
        const int y = 480 + 360 * r;
        auto& cap =
            a.label(arrayName(QStringLiteral("lbl_edit_period"), p.number), frame, 120 + dx,
                    600 + 360 * r, 720, 240, QStringLiteral("ช่วงที่ ") + QString::number(p.number));
        cap.font = FontRole::Bold;
        a.combo(p.hour, frame, 840 + dx, y, 700, 315, hourItems());
        a.label(arrayName(QStringLiteral("lbl_edit_colon"), p.number), frame, 1560 + dx, y, 120,
                315, QStringLiteral(":"));
        a.combo(p.minute, frame, 1680 + dx, y, 700, 315, minuteItems());
        a.make(p.enable, ControlKind::CheckBox, frame, 2400 + dx, y + 30, 240, 255);
        a.picture(p.soundButton, frame, 2640 + dx, y, 375, 315, {}, QStringLiteral("sound"))
            .visible = false;
        a.combo(p.afterBell, frame, 3080 + dx, y, 615, 315,
                {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                 QStringLiteral("4")});
    }
}

void buildSoundFrame(Add& a) {
    const QString frame = QStringLiteral("Frame6");
    auto& f = a.make(frame, ControlKind::Frame, QStringLiteral("Frame2"), 7560, 120, 3135, 5535,
                     QStringLiteral(" ตั้งค่าเสียง / บันทึก "));
    f.background = kSettingsGreen;
    f.foreground = kYellow;

    auto heading = [&](const char* name, int x, int y, const char* text, const char* tip = "") {
        auto& h = a.label(QString::fromLatin1(name), frame, x, y, 0, 0, QString::fromUtf8(text),
                          QString::fromUtf8(tip));
        h.foreground = kMagenta;
        return &h;
    };

    heading("lbl_head_bells", 240, 240, "เลือกแบบเสียงออด");
    a.picture(QStringLiteral("Command9oo"), frame, 360, 510, 495, 375,
              QStringLiteral(" เลือกแบบเสียงออดหน้า "), QStringLiteral("chime"));
    a.label(QStringLiteral("lbl_front_chime"), frame, 960, 660, 0, 0, QStringLiteral("ออดหน้า"),
            QStringLiteral(" เลือกแบบเสียงออดหน้า "));
    a.picture(QStringLiteral("Command2"), frame, 1800, 510, 495, 375,
              QStringLiteral(" เลือกแบบเสียงออดหลัง  "), QStringLiteral("chime"));
    a.label(QStringLiteral("lbl_back_chime"), frame, 2400, 660, 0, 0, QStringLiteral("ออดหลัง"),
            QStringLiteral(" เลือกแบบเสียงออดหลัง "));

    heading("lbl_head_voice", 240, 960, "เลือกแบบเสียงบอกเวลา");
    a.combo(QStringLiteral("Combo54"), frame, 360, 1260, 2600, 315, {});
    auto& noVoice =
        a.make(QStringLiteral("Check28"), ControlKind::CheckBox, frame, 360, 1620, 1095, 255,
               QStringLiteral("ไม่ใช้เสียง"), QStringLiteral(" ไม่ต้องการใช้เสียงบอกเวลา "));
    noVoice.foreground = kRed;
    a.make(QStringLiteral("Check27"), ControlKind::CheckBox, frame, 2040, 1620, 1080, 255,
           QStringLiteral("ทวนเสียง"), QStringLiteral(" ต้องการทวนเสียงบอกเวลา "));

    // Media items 0 to 4: the numbers are the after-bell choices.
    a.label(QStringLiteral("lbl_media0"), frame, 105, 1980, 240, 255, QStringLiteral("0."));
    a.label(QStringLiteral("lbl_stop_r"), frame, 360, 1980, 450, 255, QStringLiteral("ปิด"),
            QStringLiteral(" ปิด เพลง & วิทยุออนไลน์ "));
    heading("lbl_head_radio", 960, 1935, "วิทยุออนไลน์");
    a.make(QStringLiteral("img_radio"), ControlKind::Picture, frame, 2300, 1905, 300, 285).picture =
        QStringLiteral("radio");
    const int radioY[3] = {2220, 2535, 2850};
    for (int n = 1; n <= 3; ++n) {
        a.label(arrayName(QStringLiteral("Label48"), n), frame, 30, radioY[n - 1], 210, 285,
                QString::number(n) + u'.');
        auto& field = a.make(QStringLiteral("radio") + QString::number(n), ControlKind::TextBox,
                             frame, 240, radioY[n - 1], 2475, 285);
        field.background = Rgb{255, 192, 192};
        field.foreground = Rgb{64, 64, 64};
        a.label(QStringLiteral("lbl_r") + QString::number(n), frame, 2760, radioY[n - 1], 330, 285,
                QStringLiteral("เปิด"), QStringLiteral(" เปิดวิทยุออนไลน์") + QString::number(n) + u' ');
    }
    a.label(arrayName(QStringLiteral("Label48"), 4), frame, 105, 3180, 240, 255,
            QStringLiteral("4."));
    a.label(arrayName(QStringLiteral("Label48"), 5), frame, 360, 3180, 1500, 255,
            QStringLiteral("เปิดเพลง MP3"), QStringLiteral(" เปิดเพลง MP3 "));

    heading("lbl_head_delay", 240, 3480, "หน่วงเวลาเสียงออด", " กระตุ้นเครื่องขยายเสียง ");
    a.combo(QStringLiteral("Combo51"), frame, 360, 3735, 615, 315,
            {QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("8"), QStringLiteral("10")},
            QStringLiteral(" กระตุ้นเครื่องขยายเสียง "));
    a.label(arrayName(QStringLiteral("Label48"), 0), frame, 1320, 3825, 0, 0,
            QStringLiteral("วินาที"), QStringLiteral(" เลือกแบบเสียงออดหลัง "));

    heading("Label24", 240, 4160, "ตั้งเวลาปิดคอมพิวเตอร์");
    a.label(QStringLiteral("lbl_shutdown_hour"), frame, 360, 4400, 0, 0, QStringLiteral("นาฬิกา"));
    a.label(QStringLiteral("lbl_shutdown_minute"), frame, 1320, 4400, 0, 0, QStringLiteral("นาที"));
    a.combo(QStringLiteral("Combo49"), frame, 360, 4640, 615, 315, hourItems());
    a.label(QStringLiteral("lbl_shutdown_colon"), frame, 1080, 4640, 120, 315, QStringLiteral(":"));
    a.combo(QStringLiteral("Combo50"), frame, 1320, 4640, 615, 315, shutdownMinuteItems());
    a.make(QStringLiteral("Check26"), ControlKind::CheckBox, frame, 2040, 4640, 975, 375,
           QStringLiteral("เปืดใช้"), QStringLiteral(" ต้องการตั้งเวลาปิดคอมพิวเตอร์ "));

    a.make(QStringLiteral("Command354"), ControlKind::Button, frame, 240, 5100, 855, 375,
           QStringLiteral("ตกลง"), QStringLiteral(" นำไปใช้ "));
    a.picture(QStringLiteral("Command5"), frame, 1320, 5100, 495, 375, QStringLiteral(" บันทึก "),
              QStringLiteral("save"));
    a.make(QStringLiteral("Command3557"), ControlKind::Button, frame, 2040, 5100, 855, 375,
           QStringLiteral("ยกเลิก"), QStringLiteral(" ยกเลิก "));
}

void buildSettingsPanel(Add& a) {
    const QString panel = QStringLiteral("Frame2");
    auto& f = a.make(panel, ControlKind::Frame, {}, 120, 6120, 10815, 5775,
                     QStringLiteral(" ตั้งค่า "), QStringLiteral(" แก้ไขเวลา ออด!! "));
    f.background = kSettingsGreen;
    f.foreground = kYellow;
    f.visible = false;

    buildTimeFrame(a);
    buildSoundFrame(a);

    a.make(QStringLiteral("Check29"), ControlKind::CheckBox, panel, 120, 5400, 735, 255,
           QStringLiteral("7วัน"), QStringLiteral(" แยกทำงาน 7วัน "));
    a.label(QStringLiteral("lbl_same_every_day"), panel, 840, 5380, 0, 0,
            QStringLiteral("รูปแบบเดียวกันทุกวัน"))
        .foreground = kOrange;
    static const int dayX[7] = {950, 1380, 1815, 2250, 2685, 3120, 3560};
    static const char* dayCaption[7] = {"จ", "อ", "พ", "พฤ", "ศ", "ส", "อา"};
    for (int d = 1; d <= 7; ++d) {
        auto& l = a.label(QStringLiteral("lbl_day") + QString::number(d), panel, dayX[d - 1], 5355,
                          375, 315, QString::fromUtf8(dayCaption[d - 1]));
        l.background = kBlue;
        l.foreground = kWhite;
        l.visible = false;
    }
    auto& copyTo = a.label(QStringLiteral("lbl_copy_to"), panel, 4250, 5400, 0, 0,
                           QStringLiteral("คัดลอกไป ->"));
    copyTo.foreground = kYellow;
    copyTo.visible = false;
    auto& chooser =
        a.combo(QStringLiteral("Combo52"), panel, 5340, 5340, 1215, 315,
                {QStringLiteral("ทุกวัน"), QStringLiteral("วันจันทร์"), QStringLiteral("วันอังคาร"),
                 QStringLiteral("วันพุธ"), QStringLiteral("วันพฤหัสบดี"), QStringLiteral("วันศุกร์"),
                 QStringLiteral("วันเสาร์"), QStringLiteral("วันอาทิตย์")});
    chooser.text = QStringLiteral("ทุกวัน");
    chooser.visible = false;
    auto& copy = a.make(QStringLiteral("Command7"), ControlKind::Button, panel, 6610, 5340, 855,
                        350, QStringLiteral("คัดลอก"), QStringLiteral(" คัดลอก"));
    copy.visible = false;
}

void buildDevicePanel(Add& a) {
    const QString panel = QStringLiteral("Frame5");
    auto& f = a.make(panel, ControlKind::Frame, {}, 120, -5910, 10815, 5910,
                     QStringLiteral(" รายละเอียดอุปกรณ์ควบคุม "));
    f.background = Rgb{255, 255, 128};
    f.visible = false;
    a.make(QStringLiteral("Image8"), ControlKind::Picture, panel, 0, 0, 10980, 6210).picture =
        QStringLiteral("device");
    QStringList ports;
    for (int n = 1; n <= 7; ++n) ports << QStringLiteral("COM") + QString::number(n);
    a.combo(QStringLiteral("Combo53"), panel, 840, 2400, 975, 360, ports).background = kOrange;
    a.make(QStringLiteral("Command11"), ControlKind::Button, panel, 860, 2760, 910, 375,
           QStringLiteral("ทดสอบ"));
    a.picture(QStringLiteral("Command10"), panel, 1000, 3240, 495, 375, QStringLiteral(" บันทึก "),
              QStringLiteral("save"));
    // Which device the chosen COM number means on this machine.
    a.label(QStringLiteral("lbl_com_device"), panel, 1935, 2430, 4200, 300, {});
}

void buildStorage(Add& a) {
    a.storage(QStringLiteral("Text2"), QStringLiteral("1"));
    a.storage(QStringLiteral("Text3"));
    a.storage(QStringLiteral("Text5"));
    a.storage(QStringLiteral("Text7"));
    for (const PeriodControls& p : periodControls()) a.storage(p.soundPath);
    auto& shutdown = a.label(QStringLiteral("Label28123"), {}, 0, 0, 0, 0, {});
    shutdown.visible = false;
    a.label(QStringLiteral("lbl_vorle_programming5_7day"), {}, 0, 0, 0, 0, {}).visible = false;
    a.label(QStringLiteral("lbl_vorle_programming5_7day_2"), {}, 0, 0, 0, 0, {}).visible = false;
    // Empty and below the shown area; its click closes the settings panel.
    a.label(QStringLiteral("Label25"), {}, 4080, 7080, 375, 255, {});
}

void buildTimers(FormModel& m) {
    struct T {
        const char* name;
        int interval;
    };
    static const T timers[] = {
        {"Timer3", 100},  {"Timer1", 100},  {"Timer222", 400}, {"Timer21", 1000},
        {"Timer22", 100}, {"Timer4", 1000}, {"Timer23", 1000}, {"Timer8", 1},
        {"Timer19", 1},   {"Timer9", 1},    {"Timer18", 1},    {"Timer17", 1},
        {"Timer6", 10},   {"Timer7", 10},   {"Timer13", 10},   {"Timer14", 1},
    };
    for (const T& t : timers) m.addTimer(QString::fromLatin1(t.name), t.interval);
    // Only the scheduler tick runs from the moment the window exists.
    m.timer(QStringLiteral("Timer3"))->start();
}

}  // namespace

const std::array<PeriodControls, 24>& periodControls() {
    static const std::array<PeriodControls, 24> table = [] {
        std::array<PeriodControls, 24> t;
        for (int n = 1; n <= 24; ++n) {
            const int minuteCombo = n <= 12 ? 24 + n : 61 - n;
            t[n - 1] = PeriodControls{n,
                                      triggerLabelName(n),
                                      QStringLiteral("Combo%1").arg(n),
                                      QStringLiteral("Combo%1").arg(minuteCombo),
                                      QStringLiteral("Check%1").arg(n),
                                      arrayName(QStringLiteral("Text6"), n),
                                      arrayName(QStringLiteral("Command3"), n),
                                      arrayName(QStringLiteral("com_radio1"), n)};
        }
        return t;
    }();
    return table;
}

const PeriodControls& period(int number) {
    return periodControls().at(number - 1);
}

QStringList hourItems() {
    return numberItems(0, 23, true) << QStringLiteral("no");
}
QStringList minuteItems() {
    return numberItems(0, 59, true);
}
QStringList shutdownMinuteItems() {
    return minuteItems() << QStringLiteral("no");
}

void buildForm1(FormModel& model) {
    Add a{model};
    buildTimeBoard(a);
    buildStatusArea(a);
    buildDayStatus(a);
    buildButtonRow(a);
    buildSettingsPanel(a);
    buildDevicePanel(a);
    buildStorage(a);
    buildTimers(model);
}

}  // namespace tavirin
