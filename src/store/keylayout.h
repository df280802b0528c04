#pragma once

#include <QList>
#include <QString>

// Names of the settings store: applications, sections and keys. Sections are spelled as
// they are read; the "...AsWritten" forms are the other spelling some writers use (the store
// folds case, so both name the same section).
namespace tavirin::keys {

inline constexpr int kDays = 7;
inline constexpr int kPeriods = 24;

// Holds the global settings only.
inline const QString kBaseApplication = QStringLiteral("vorle_programming5_7day");
// "vorle_programming5_7day1" (Monday) to "...7" (Sunday); "" for a day outside 1..7.
QString dayApplication(int day);

// Day-program sections.
inline const QString kTime = QStringLiteral("TIME");
inline const QString kTimeAsWritten = QStringLiteral("Time");
inline const QString kNumber = QStringLiteral("Number");
inline const QString kSond = QStringLiteral("sond");
inline const QString kSondAsWritten = QStringLiteral("Sond");
inline const QString kFm = QStringLiteral("Fm");

// Global sections and keys.
inline const QString kRadioOnline = QStringLiteral("radio_online");
inline const QString kRadioOnlineAsWritten = QStringLiteral("Radio_online");
inline const QString kComPort = QStringLiteral("com_port");
inline const QString kComPortAsWritten = QStringLiteral("Com_port");
inline const QString kComPortKey = QStringLiteral("com_port");
// Beside the port number: the device saved with it, its /dev/serial/by-id link or its device
// path. "" or absent (a store from before): COM n is the n-th device present.
inline const QString kComDeviceKey = QStringLiteral("com_device");
inline const QString kDay7 = QStringLiteral("Day_7");
inline const QString kDay7Key = QStringLiteral("day_7");
inline const QString kLimit = QStringLiteral("LIMIT");
inline const QString kLimitKey = QStringLiteral("limit");
// How many seconds late a trigger that no tick saw may still ring (absent: 60).
inline const QString kLateBells = QStringLiteral("late_bells");
inline const QString kLateGraceKey = QStringLiteral("late_grace_seconds");
// "radio_online1" to "radio_online3".
QString radioOnline(int station);

// Day-program keys, N in decimal without leading zero.
QString hour(int n);    // "h1".."h24"; "h25" is the shutdown hour
QString minute(int n);  // "m1".."m24"; "m25".."m30" are the day-wide values below
QString number(int n);  // "number1".."number24"; "number25" is the shutdown switch
QString sond(int n);    // "sond1".."sond24"
QString fm(int n);      // "fm1".."fm24"

// One key of a day program.
struct KeyName {
    QString section;  // as read
    QString key;
};
// The 128 keys of a day program: h1..h25, m1..m30, number1..number25, sond1..sond24,
// fm1..fm24.
QList<KeyName> dayProgramKeys();

inline constexpr int kShutdownHour = 25;  // h25
inline constexpr int kFrontChime = 25;    // m25
inline constexpr int kVoiceFolder = 26;   // m26
inline constexpr int kAmplifierDelay = 27;
inline constexpr int kShutdownMinute = 28;
inline constexpr int kAnnounceMode = 29;
inline constexpr int kBackChime = 30;
inline constexpr int kShutdownEnabled = 25;  // number25

}  // namespace tavirin::keys
