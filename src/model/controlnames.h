#pragma once

#include <QString>

// The names of the main window's controls and working values that the layers below the window
// act on, spelled once. The window's own code (ui/) keeps its names beside the widgets; the
// layout (form1layout) builds every control under these names.
namespace tavirin::ctl {

inline const QString Check25 = QStringLiteral("Check25");
inline const QString Check26 = QStringLiteral("Check26");
inline const QString Check27 = QStringLiteral("Check27");
inline const QString Check28 = QStringLiteral("Check28");
inline const QString Check29 = QStringLiteral("Check29");
inline const QString Combo49 = QStringLiteral("Combo49");
inline const QString Combo50 = QStringLiteral("Combo50");
inline const QString Combo51 = QStringLiteral("Combo51");
inline const QString Combo52 = QStringLiteral("Combo52");
inline const QString Combo53 = QStringLiteral("Combo53");
inline const QString Combo54 = QStringLiteral("Combo54");
inline const QString Command3555 = QStringLiteral("Command3555");
inline const QString Command357 = QStringLiteral("Command357");
inline const QString Command3xx2a = QStringLiteral("Command3xx2a");
inline const QString Command3xxa = QStringLiteral("Command3xxa");
inline const QString Command7 = QStringLiteral("Command7");
inline const QString Command10 = QStringLiteral("Command10");
inline const QString Command11 = QStringLiteral("Command11");
inline const QString Command8 = QStringLiteral("Command8");
inline const QString Form_Close = QStringLiteral("Form_Close");
inline const QString Label1 = QStringLiteral("Label1");
inline const QString Label2 = QStringLiteral("Label2");
inline const QString Label21 = QStringLiteral("Label21");
inline const QString Label242 = QStringLiteral("Label242");
inline const QString Label28123 = QStringLiteral("Label28123");
inline const QString Label28778 = QStringLiteral("Label28778");
inline const QString Label33 = QStringLiteral("Label33");
inline const QString Text2 = QStringLiteral("Text2");
inline const QString Text3 = QStringLiteral("Text3");
inline const QString Text5 = QStringLiteral("Text5");
inline const QString Text7 = QStringLiteral("Text7");
inline const QString Timer1 = QStringLiteral("Timer1");
inline const QString Timer21 = QStringLiteral("Timer21");
inline const QString Timer22 = QStringLiteral("Timer22");
inline const QString Timer222 = QStringLiteral("Timer222");
inline const QString Timer23 = QStringLiteral("Timer23");
inline const QString Timer3 = QStringLiteral("Timer3");
inline const QString Timer4 = QStringLiteral("Timer4");
inline const QString lbl_com_device = QStringLiteral("lbl_com_device");
inline const QString lbl_copy_to = QStringLiteral("lbl_copy_to");
inline const QString lbl_dayy = QStringLiteral("lbl_dayy");
inline const QString lbl_next_bell = QStringLiteral("lbl_next_bell");
inline const QString lbl_r = QStringLiteral("lbl_r");
inline const QString lbl_same_every_day = QStringLiteral("lbl_same_every_day");
inline const QString lbl_selftest_state = QStringLiteral("lbl_selftest_state");
inline const QString lbl_stop_r = QStringLiteral("lbl_stop_r");
inline const QString lbl_today = QStringLiteral("lbl_today");
inline const QString lbl_today_state = QStringLiteral("lbl_today_state");
inline const QString lbl_vorle_programming5_7day = QStringLiteral("lbl_vorle_programming5_7day");
inline const QString cmd_bell_record = QStringLiteral("cmd_bell_record");
inline const QString cmd_today = QStringLiteral("cmd_today");
inline const QString cmd_emergency = QStringLiteral("cmd_emergency");
inline const QString cmd_network = QStringLiteral("cmd_network");
inline const QString lbl_emergency = QStringLiteral("lbl_emergency");

// Working values of the window that are not controls.
inline const QString activeApplication = QStringLiteral("activeApplication");
inline const QString afterBellMedia = QStringLiteral("afterBellMedia");
inline const QString ringingApplication = QStringLiteral("ringingApplication");
inline const QString selectedDayName = QStringLiteral("selectedDayName");
inline const QString currentPort = QStringLiteral("currentPort");

// "lbl_day1" (Monday) .. "lbl_day7": the editor's day strip.
QString dayLabel(int day);
// "radio1" .. "radio3": the stations' addresses.
QString radioAddress(int station);
// "lbl_board_mark(1)" .. "(24)": the mark beside a period on the time board.
QString boardMark(int period);
// "lbl_r1" .. "lbl_r3": the stations' buttons.
QString stationButton(int station);
// "Label48(n)": the media panel's captions.
QString mediaCaption(int n);

}  // namespace tavirin::ctl
