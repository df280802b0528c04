#include "calendar/backup.h"

#include "platform/logging.h"
#include "store/keylayout.h"
#include "store/programstore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tavirin {

namespace {

const QString kFormat = QStringLiteral("tavirin-backup");
constexpr int kVersion = 1;

QString keyId(const keys::KeyName& k) {
    return k.section.toLower() + u'/' + k.key;
}

const QString kNotABackup = QStringLiteral("ไฟล์นี้ไม่ใช่ไฟล์สำรองข้อมูลของโปรแกรมตีออด");

}  // namespace

Backup readBackup(const ProgramStore& store) {
    Backup b;
    for (int d = 1; d <= keys::kDays; ++d)
        for (const keys::KeyName& k : keys::dayProgramKeys())
            b.programs[std::size_t(d - 1)].insert(
                keyId(k), store.GetSetting(keys::dayApplication(d), k.section, k.key));
    for (int i = 1; i <= 3; ++i)
        b.radio[std::size_t(i - 1)] =
            store.GetSetting(keys::kBaseApplication, keys::kRadioOnline, keys::radioOnline(i));
    b.sevenDayMode = store.GetSetting(keys::kBaseApplication, keys::kDay7, keys::kDay7Key);
    b.calendar = readCalendar(store);
    return b;
}

QByteArray toBackupFile(const Backup& b, const QDateTime& stamp) {
    QJsonObject programs;
    for (int d = 1; d <= keys::kDays; ++d) {
        QJsonObject day;
        for (auto it = b.programs[std::size_t(d - 1)].cbegin();
             it != b.programs[std::size_t(d - 1)].cend(); ++it)
            day.insert(it.key(), it.value());
        programs.insert(QString::number(d), day);
    }
    QJsonObject settings;
    for (int i = 1; i <= 3; ++i) settings.insert(keys::radioOnline(i), b.radio[std::size_t(i - 1)]);
    settings.insert(keys::kDay7Key, b.sevenDayMode);
    QJsonArray calendar;
    for (const CalendarEntry& e : b.calendar) calendar.append(encodeEntry(e));
    const QJsonObject root{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("version"), kVersion},
        {QStringLiteral("exported"), stamp.toString(Qt::ISODate)},
        {QStringLiteral("programs"), programs},
        {QStringLiteral("settings"), settings},
        {QStringLiteral("calendar"), calendar},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<Backup> parseBackupFile(const QByteArray& bytes, QString* error) {
    const auto refuse = [&](const QString& why) -> std::optional<Backup> {
        if (error) *error = why;
        qCWarning(lcCalendar).noquote() << "backup file refused:" << why;
        return std::nullopt;
    };
    if (bytes.size() > backuplimits::kMaxFileBytes) return refuse(kNotABackup);
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    const QJsonObject root = doc.object();
    if (parse.error != QJsonParseError::NoError || root.value(QStringLiteral("format")) != kFormat)
        return refuse(kNotABackup);
    if (root.value(QStringLiteral("version")).toInt() != kVersion)
        return refuse(QStringLiteral("ไฟล์สำรองนี้มาจากโปรแกรมรุ่นอื่น อ่านไม่ได้"));
    const auto text = [](const QJsonValue& v, QString* out) {
        if (!v.isString() || v.toString().size() > backuplimits::kMaxValueLength) return false;
        *out = v.toString();
        return true;
    };

    Backup b;
    const QJsonObject programs = root.value(QStringLiteral("programs")).toObject();
    for (int d = 1; d <= keys::kDays; ++d) {
        const QJsonObject day = programs.value(QString::number(d)).toObject();
        for (const keys::KeyName& k : keys::dayProgramKeys()) {
            QString v;
            if (!text(day.value(keyId(k)), &v))
                return refuse(
                    QStringLiteral("ไฟล์สำรองไม่ครบ: ตารางออด%1 ขาด %2").arg(weekdayText(d), k.key));
            b.programs[std::size_t(d - 1)].insert(keyId(k), v);
        }
    }
    const QJsonObject settings = root.value(QStringLiteral("settings")).toObject();
    for (int i = 1; i <= 3; ++i)
        if (!text(settings.value(keys::radioOnline(i)), &b.radio[std::size_t(i - 1)]))
            return refuse(QStringLiteral("ไฟล์สำรองไม่ครบ: ขาดที่อยู่วิทยุออนไลน์"));
    if (!text(settings.value(keys::kDay7Key), &b.sevenDayMode))
        return refuse(QStringLiteral("ไฟล์สำรองไม่ครบ: ขาดรูปแบบ 7 วัน"));
    const QJsonArray calendar = root.value(QStringLiteral("calendar")).toArray();
    if (calendar.size() > calendarlimits::kMaxEntries)
        return refuse(
            QStringLiteral("ปฏิทินในไฟล์สำรองมีเกิน %1 รายการ").arg(calendarlimits::kMaxEntries));
    for (qsizetype i = 0; i < calendar.size(); ++i) {
        const std::optional<CalendarEntry> e = decodeEntry(calendar.at(i).toString());
        if (!e) return refuse(QStringLiteral("รายการที่ %1 ของปฏิทินในไฟล์สำรองอ่านไม่ได้").arg(i + 1));
        b.calendar.append(*e);
    }
    return b;
}

Result writeBackup(ProgramStore& store, const Backup& b) {
    ProgramStore::Burst burst(store, ProgramStore::Burst::OnFailure::RollBack);
    Result failed;
    const auto put = [&](const QString& app, const QString& section, const QString& key,
                         const QString& value) {
        if (failed) failed = store.SaveSetting(app, section, key, value);
    };
    for (int d = 1; d <= keys::kDays; ++d)
        for (const keys::KeyName& k : keys::dayProgramKeys())
            put(keys::dayApplication(d), k.section, k.key,
                b.programs[std::size_t(d - 1)].value(keyId(k)));
    for (int i = 1; i <= 3; ++i)
        put(keys::kBaseApplication, keys::kRadioOnlineAsWritten, keys::radioOnline(i),
            b.radio[std::size_t(i - 1)]);
    put(keys::kBaseApplication, keys::kDay7, keys::kDay7Key, b.sevenDayMode);
    if (failed) failed = writeCalendar(store, b.calendar);
    const Result done = burst.finish();
    return failed ? done : failed;
}

}  // namespace tavirin
