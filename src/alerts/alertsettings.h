#pragma once

#include "platform/privateaddress.h"

#include "platform/result.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace tavirin {

class ProgramStore;

// The kinds of message; each but the test message can be switched off.
namespace alertevent {
// a scheduled bell missed, failed or late
inline const QString kBell = QStringLiteral("bell");
// the self-test found a fault, or it is gone
inline const QString kSelfTest = QStringLiteral("selftest");
// an emergency started, or its all clear
inline const QString kEmergency = QStringLiteral("emergency");
// the program started after bells were due while it was not running
inline const QString kNotRunning = QStringLiteral("not-running");
// the journal or the store cannot be written
inline const QString kStorage = QStringLiteral("storage");
// the daily summary
inline const QString kSummary = QStringLiteral("summary");
// the settings' test message (never off)
inline const QString kTest = QStringLiteral("test");
// The switchable ones, in this order (kTest is not among them).
QStringList all();
}  // namespace alertevent

// Where the alerts go and which ones. Stored under application "tavirin_alerts", section
// "alerts"; the tokens stay in the store file, which only the school's account can read.
struct AlertSettings {
    QString school;  // the school's name, first in every message
    QString webhookUrl, webhookSecret;
    QString lineToken, lineTo;  // channel access token; user, group or room id
    QString telegramToken, telegramChat;
    QStringList eventsOff;    // alertevent ids switched off, in alertevent::all()'s order
    QTime summaryAt{16, 30};  // invalid: no daily summary

    // The event is not switched off (the test message always goes).
    bool on(const QString& event) const;
    // "line", "telegram", "webhook" (in this order): those with every field they need.
    QStringList channels() const;
    bool operator==(const AlertSettings&) const = default;
};

// The saved settings. A stored value that makes no sense (a token with a line break, an
// unknown event, a time that is none, a value too long) is left out and logged: its default
// is used, and the store keeps it as it was.
AlertSettings readAlertSettings(const ProgramStore& store);
// Saves every value in one durable write; on failure the store is as it was before.
Result writeAlertSettings(ProgramStore& store, const AlertSettings& s);

// The settings changed by the JSON of ConfigureAlerts (the session bus):
//   {"school", "webhook": {"url", "secret"}, "line": {"token", "to"},
//    "telegram": {"token", "chat"}, "events": {"bell": true, ...}, "summary": "HH:MM"}
// A member left out keeps its value, "" clears it, and {} or null clears a whole channel.
// What alertSettingsJson gives changes nothing: a token or secret sent back as it shows it
// ("••••1234") keeps its value, and "channels" is ignored. Anything wrong (bad JSON, a wrong
// type, an unknown member or event, a summary that is no time, a webhook address that may
// not be used, a value too long or holding a line break) refuses the whole change: nullopt,
// and *why says in Thai what was wrong.
std::optional<AlertSettings> applyAlertJson(const AlertSettings& current, const QByteArray& json,
                                            QString* why);

// The settings for showing: the tokens and the secret never in full ("" or "••••" and their
// last four characters; a short one only "••••"). Also "channels", those set up.
QJsonObject alertSettingsJson(const AlertSettings& s);
// "" or "••••1234", as alertSettingsJson shows a token.
QString maskedSecret(const QString& secret);

// Why a message cannot go out on the channel ("line", "telegram", "webhook") with these
// settings, in Thai; "" when it can. A store edited by hand is caught here.
QString channelProblem(const AlertSettings& s, const QString& channel);
// Why a webhook address may not be used ("" when it may): it must be https, or plain http
// to this PC or an address of the school's own network (a message in the clear must not
// cross the internet).
QString webhookUrlProblem(const QString& url);

}  // namespace tavirin
