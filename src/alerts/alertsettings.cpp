#include "alerts/alertsettings.h"

#include "alerts/alertlog.h"
#include "store/programstore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>
#include <QUrl>

namespace tavirin {

namespace alertevent {
QStringList all() {
    return {kBell, kSelfTest, kEmergency, kNotRunning, kStorage, kSummary};
}
}  // namespace alertevent

namespace {

const QString kApp = QStringLiteral("tavirin_alerts");
const QString kSection = QStringLiteral("alerts");
const QString kSummaryKey = QStringLiteral("summary_at");
const QString kEventsOffKey = QStringLiteral("events_off");
const QString kDefaultSummary = QStringLiteral("16:30");

constexpr qsizetype kMaxValue = 2000;
constexpr qsizetype kMaxSchool = 200;
// A ConfigureAlerts call is a few hundred bytes; more is not a settings change.
constexpr qsizetype kMaxJson = 64 * 1024;

const QString kMask = QStringLiteral("••••");

enum class Kind { School, WebhookUrl, Secret, LineToken, LineTo, TelegramToken, TelegramChat };

// One stored text value: its key, its place in the JSON, its Thai name, what it may hold.
struct Field {
    QString key;      // in the store
    QString channel;  // "" for a top-level member
    QString member;   // in the channel's object (or the top-level name)
    QString name;     // Thai, for the reasons
    Kind kind;
    QString AlertSettings::*value;
};

const QList<Field>& fields() {
    static const QList<Field> list{
        {QStringLiteral("school"), QString(), QStringLiteral("school"), QStringLiteral("ชื่อโรงเรียน"),
         Kind::School, &AlertSettings::school},
        {QStringLiteral("webhook_url"), QStringLiteral("webhook"), QStringLiteral("url"),
         QStringLiteral("ที่อยู่ webhook"), Kind::WebhookUrl, &AlertSettings::webhookUrl},
        {QStringLiteral("webhook_secret"), QStringLiteral("webhook"), QStringLiteral("secret"),
         QStringLiteral("รหัสลับของ webhook"), Kind::Secret, &AlertSettings::webhookSecret},
        {QStringLiteral("line_token"), QStringLiteral("line"), QStringLiteral("token"),
         QStringLiteral("token ของ LINE"), Kind::LineToken, &AlertSettings::lineToken},
        {QStringLiteral("line_to"), QStringLiteral("line"), QStringLiteral("to"),
         QStringLiteral("ผู้รับของ LINE"), Kind::LineTo, &AlertSettings::lineTo},
        {QStringLiteral("telegram_token"), QStringLiteral("telegram"), QStringLiteral("token"),
         QStringLiteral("token ของ Telegram"), Kind::TelegramToken, &AlertSettings::telegramToken},
        {QStringLiteral("telegram_chat"), QStringLiteral("telegram"), QStringLiteral("chat"),
         QStringLiteral("แชตของ Telegram"), Kind::TelegramChat, &AlertSettings::telegramChat},
    };
    return list;
}

bool isSecret(Kind k) {
    return k == Kind::Secret || k == Kind::LineToken || k == Kind::TelegramToken;
}

bool hasControl(const QString& s) {
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029) return true;
    }
    return false;
}

bool visibleAscii(const QString& s) {
    for (const QChar c : s)
        if (c.unicode() < 0x21 || c.unicode() > 0x7E) return false;
    return true;
}

// A name taken from the request, fit to be quoted back in a reason.
QString quoted(const QString& s) {
    QString out = s.left(40);
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u'?';
    return u'"' + out + u'"';
}

// Why a (non-empty) value may not be stored in the field; "" when it may. `full`: also the
// webhook address's rules of use (refused when set, kept when read: the sender says why).
QString fieldProblem(const Field& f, const QString& v, bool full) {
    const qsizetype max = f.kind == Kind::School ? kMaxSchool : kMaxValue;
    if (v.size() > max) return QStringLiteral("%1 ยาวเกิน %2 ตัวอักษร").arg(f.name).arg(max);
    if (hasControl(v)) return f.name + QStringLiteral(" มีตัวขึ้นบรรทัดใหม่หรืออักขระควบคุม");
    switch (f.kind) {
        case Kind::School:
        case Kind::Secret:
            return {};
        case Kind::WebhookUrl: {
            if (full) return webhookUrlProblem(v);
            const QUrl u(v, QUrl::StrictMode);
            const QString scheme = u.scheme().toLower();
            if (!u.isValid() || u.host().isEmpty() ||
                (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
                return webhookUrlProblem(v);
            return {};
        }
        case Kind::LineToken:
            if (!visibleAscii(v))
                return QStringLiteral(
                    "token ของ LINE มีเว้นวรรคหรืออักษรที่ token ไม่มี "
                    "(คัดลอก channel access token มาทั้งหมดอีกครั้ง)");
            return {};
        case Kind::LineTo: {
            static const QRegularExpression re(QStringLiteral("^[UCR][0-9a-fA-F]{32}$"));
            if (!re.match(v).hasMatch())
                return QStringLiteral(
                    "ผู้รับของ LINE ต้องเป็นรหัสผู้ใช้ กลุ่ม หรือห้อง "
                    "(U, C หรือ R ตามด้วยเลขฐานสิบหก 32 ตัว)");
            return {};
        }
        case Kind::TelegramToken: {
            static const QRegularExpression re(
                QStringLiteral("^[0-9]{1,20}:[A-Za-z0-9_-]{1,200}$"));
            if (!re.match(v).hasMatch())
                return QStringLiteral(
                    "token ของ Telegram ต้องเป็นแบบ 123456789:AAE... "
                    "ตามที่ BotFather ให้มา");
            return {};
        }
        case Kind::TelegramChat: {
            static const QRegularExpression re(
                QStringLiteral("^(-?[0-9]{1,20}|@[A-Za-z0-9_]{1,64})$"));
            if (!re.match(v).hasMatch())
                return QStringLiteral(
                    "แชตของ Telegram ต้องเป็นเลขประจำแชต (เช่น -1001234567890) "
                    "หรือ @ชื่อช่อง");
            return {};
        }
    }
    return {};
}

// "HH:mm" (the hour may have one digit); an invalid time for anything else.
QTime parseClock(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^([0-9]{1,2}):([0-9]{2})$"));
    const QRegularExpressionMatch m = re.match(s);
    if (!m.hasMatch()) return {};
    const int h = m.captured(1).toInt(), min = m.captured(2).toInt();
    if (h > 23 || min > 59) return {};
    return QTime(h, min);
}

// The ids switched off, known ones only, in alertevent::all()'s order.
QStringList canonicalOff(const QStringList& off) {
    QStringList out;
    for (const QString& id : alertevent::all())
        if (off.contains(id)) out << id;
    return out;
}

}  // namespace

bool AlertSettings::on(const QString& event) const {
    return event == alertevent::kTest || !eventsOff.contains(event);
}

QStringList AlertSettings::channels() const {
    QStringList out;
    if (!lineToken.isEmpty() && !lineTo.isEmpty()) out << QStringLiteral("line");
    if (!telegramToken.isEmpty() && !telegramChat.isEmpty()) out << QStringLiteral("telegram");
    if (!webhookUrl.isEmpty()) out << QStringLiteral("webhook");
    return out;
}

QString webhookUrlProblem(const QString& url) {
    if (url.isEmpty()) return QStringLiteral("ยังไม่ได้ใส่ที่อยู่ webhook");
    if (url.size() > kMaxValue)
        return QStringLiteral("ที่อยู่ webhook ยาวเกิน %1 ตัวอักษร").arg(kMaxValue);
    if (hasControl(url) || url.contains(u' '))
        return QStringLiteral("ที่อยู่ webhook มีเว้นวรรค ตัวขึ้นบรรทัดใหม่ หรืออักขระควบคุม");
    const QUrl u(url, QUrl::StrictMode);
    if (!u.isValid() || u.isRelative() || u.host().isEmpty())
        return QStringLiteral("ที่อยู่ webhook ไม่ใช่ที่อยู่เว็บที่ใช้ได้ (เช่น https://example.com/hook)");
    const QString scheme = u.scheme().toLower();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return QStringLiteral("ที่อยู่ webhook ต้องขึ้นต้นด้วย https://");
    if (!u.userInfo().isEmpty())
        return QStringLiteral(
            "ที่อยู่ webhook ต้องไม่มีชื่อผู้ใช้หรือรหัสผ่านในตัว "
            "(ใช้รหัสลับของ webhook แทน)");
    if (scheme == QLatin1String("http")) {
        const QString host = u.host();
        const QHostAddress address(host);
        const bool local = host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
                           (!address.isNull() && isPrivateAddress(address));
        if (!local)
            return QStringLiteral(
                "ที่อยู่ webhook ต้องขึ้นต้นด้วย https:// (ใช้ http:// ได้เฉพาะกับ"
                "เครื่องนี้หรือที่อยู่ IP ในเครือข่ายของโรงเรียน เช่น "
                "http://192.168.1.5/hook)");
    }
    return {};
}

QString channelProblem(const AlertSettings& s, const QString& channel) {
    const auto check = [&s](const QString& key) -> QString {
        for (const Field& f : fields())
            if (f.key == key) return fieldProblem(f, s.*f.value, true);
        return {};
    };
    QStringList keys;
    if (channel == QLatin1String("line")) {
        if (s.lineToken.isEmpty() || s.lineTo.isEmpty())
            return QStringLiteral("ยังไม่ได้ตั้งค่า LINE (ต้องมีทั้ง token และผู้รับ)");
        keys = {QStringLiteral("line_token"), QStringLiteral("line_to")};
    } else if (channel == QLatin1String("telegram")) {
        if (s.telegramToken.isEmpty() || s.telegramChat.isEmpty())
            return QStringLiteral("ยังไม่ได้ตั้งค่า Telegram (ต้องมีทั้ง token และแชต)");
        keys = {QStringLiteral("telegram_token"), QStringLiteral("telegram_chat")};
    } else if (channel == QLatin1String("webhook")) {
        if (s.webhookUrl.isEmpty()) return QStringLiteral("ยังไม่ได้ตั้งค่า webhook");
        keys = {QStringLiteral("webhook_url"), QStringLiteral("webhook_secret")};
    } else {
        return QStringLiteral("ไม่รู้จักช่องทาง %1").arg(quoted(channel));
    }
    for (const QString& k : keys)
        if (const QString why = check(k); !why.isEmpty()) return why;
    return {};
}

AlertSettings readAlertSettings(const ProgramStore& store) {
    AlertSettings s;
    for (const Field& f : fields()) {
        const QString v = store.GetSetting(kApp, kSection, f.key);
        if (v.isEmpty()) continue;
        if (!fieldProblem(f, v, false).isEmpty()) {
            // Never the value: it may be a token.
            qCWarning(lcAlerts).noquote()
                << "stored" << f.key << "is not usable (" << v.size() << "characters); left out";
            continue;
        }
        s.*f.value = v;
    }

    QStringList off;
    for (const QString& raw :
         store.GetSetting(kApp, kSection, kEventsOffKey).split(u',', Qt::SkipEmptyParts)) {
        const QString id = raw.trimmed().toLower();
        if (alertevent::all().contains(id))
            off << id;
        else
            qCWarning(lcAlerts).noquote()
                << "stored events_off names" << quoted(id) << "which is no event that can be off";
    }
    s.eventsOff = canonicalOff(off);

    const QString at = store.GetSetting(kApp, kSection, kSummaryKey, kDefaultSummary);
    if (at.isEmpty()) {
        s.summaryAt = QTime();
    } else if (const QTime t = parseClock(at); t.isValid()) {
        s.summaryAt = t;
    } else {
        qCWarning(lcAlerts).noquote()
            << "stored summary_at" << quoted(at) << "is no time;" << kDefaultSummary << "is used";
    }
    return s;
}

Result writeAlertSettings(ProgramStore& store, const AlertSettings& s) {
    ProgramStore::Burst burst(store, ProgramStore::Burst::OnFailure::RollBack);
    for (const Field& f : fields()) store.SaveSetting(kApp, kSection, f.key, s.*f.value);
    store.SaveSetting(kApp, kSection, kEventsOffKey, canonicalOff(s.eventsOff).join(u','));
    store.SaveSetting(
        kApp, kSection, kSummaryKey,
        s.summaryAt.isValid() ? s.summaryAt.toString(QStringLiteral("HH:mm")) : QStringLiteral(""));
    if (const Result r = burst.finish(); !r) {
        qCWarning(lcAlerts).noquote() << "alert settings not saved:" << r.error;
        return Result::failure(QStringLiteral("บันทึกการตั้งค่าการแจ้งเตือนไม่ได้: ") + r.error);
    }
    return Result::success();
}

std::optional<AlertSettings> applyAlertJson(const AlertSettings& current, const QByteArray& json,
                                            QString* why) {
    QString reason;
    const auto refuse = [&](const QString& text) -> std::optional<AlertSettings> {
        qCWarning(lcAlerts).noquote() << "alert settings change refused:" << text;
        if (why) *why = text;
        return std::nullopt;
    };
    if (why) why->clear();
    if (json.size() > kMaxJson) return refuse(QStringLiteral("ข้อมูลการตั้งค่ายาวเกินไป"));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return refuse(
            QStringLiteral("ข้อมูลการตั้งค่าไม่ใช่ JSON ที่อ่านได้ (ผิดที่ตำแหน่ง %1)").arg(error.offset));
    if (!doc.isObject()) return refuse(QStringLiteral("ข้อมูลการตั้งค่าต้องเป็นวัตถุ JSON ในวงเล็บ { }"));
    const QJsonObject root = doc.object();

    static const QStringList kTop{QStringLiteral("school"),  QStringLiteral("webhook"),
                                  QStringLiteral("line"),    QStringLiteral("telegram"),
                                  QStringLiteral("events"),  QStringLiteral("summary"),
                                  QStringLiteral("channels")};
    for (auto it = root.begin(); it != root.end(); ++it)
        if (!kTop.contains(it.key()))
            return refuse(QStringLiteral("ไม่รู้จักค่า %1 ในการตั้งค่าการแจ้งเตือน").arg(quoted(it.key())));

    // "channels" (as alertSettingsJson shows them) follows from the rest: ignored.
    AlertSettings next = current;
    // Sets one field from a JSON value; "" when it worked, else why not.
    const auto set = [&](const Field& f, const QJsonValue& v, const QString& path) -> QString {
        if (!v.isString()) return QStringLiteral("%1 (%2) ต้องเป็นข้อความ").arg(f.name, path);
        const QString text = v.toString().trimmed();
        const QString was = current.*f.value;
        // The value shown by alertSettingsJson, sent back unchanged by a dialog.
        if (isSecret(f.kind) && !was.isEmpty() && text == maskedSecret(was)) return {};
        if (!text.isEmpty())
            if (const QString p = fieldProblem(f, text, true); !p.isEmpty()) return p;
        next.*f.value = text;
        return {};
    };

    if (root.contains(QLatin1String("school"))) {
        reason =
            set(fields().first(), root.value(QLatin1String("school")), QStringLiteral("school"));
        if (!reason.isEmpty()) return refuse(reason);
    }

    for (const QString& channel :
         {QStringLiteral("webhook"), QStringLiteral("line"), QStringLiteral("telegram")}) {
        if (!root.contains(channel)) continue;
        const QJsonValue v = root.value(channel);
        QList<const Field*> own;
        for (const Field& f : fields())
            if (f.channel == channel) own << &f;
        if (v.isNull() || (v.isObject() && v.toObject().isEmpty())) {
            for (const Field* f : own) next.*f->value = QString();
            continue;
        }
        if (!v.isObject())
            return refuse(QStringLiteral("%1 ต้องเป็นวัตถุ JSON หรือ null").arg(quoted(channel)));
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            const Field* field = nullptr;
            for (const Field* f : own)
                if (f->member == it.key()) field = f;
            if (!field)
                return refuse(
                    QStringLiteral("ไม่รู้จักค่า %1 ใน %2").arg(quoted(it.key()), quoted(channel)));
            reason = set(*field, it.value(), channel + u'.' + it.key());
            if (!reason.isEmpty()) return refuse(reason);
        }
    }

    if (root.contains(QLatin1String("events"))) {
        const QJsonValue v = root.value(QLatin1String("events"));
        if (!v.isObject())
            return refuse(QStringLiteral("\"events\" ต้องเป็นวัตถุ JSON เช่น {\"bell\": true}"));
        const QJsonObject o = v.toObject();
        QStringList off = next.eventsOff;
        for (auto it = o.begin(); it != o.end(); ++it) {
            const QString id = it.key();
            if (!it.value().isBool())
                return refuse(QStringLiteral("เหตุการณ์ %1 ต้องเป็น true หรือ false").arg(quoted(id)));
            const bool on = it.value().toBool();
            if (id == alertevent::kTest) {
                if (!on) return refuse(QStringLiteral("ข้อความทดสอบปิดไม่ได้"));
                continue;
            }
            if (!alertevent::all().contains(id))
                return refuse(QStringLiteral("ไม่รู้จักเหตุการณ์ %1").arg(quoted(id)));
            off.removeAll(id);
            if (!on) off << id;
        }
        next.eventsOff = canonicalOff(off);
    }

    if (root.contains(QLatin1String("summary"))) {
        const QJsonValue v = root.value(QLatin1String("summary"));
        if (!v.isString())
            return refuse(
                QStringLiteral("เวลาสรุปประจำวัน (summary) ต้องเป็นข้อความแบบ ชม:นาที หรือ \"\""));
        const QString text = v.toString().trimmed();
        if (text.isEmpty()) {
            next.summaryAt = QTime();
        } else {
            const QTime t = parseClock(text);
            if (!t.isValid())
                return refuse(QStringLiteral("เวลาสรุปประจำวัน %1 ไม่ใช่เวลาแบบ ชม:นาที (เช่น 16:30)")
                                  .arg(quoted(text)));
            next.summaryAt = t;
        }
    }
    return next;
}

QString maskedSecret(const QString& secret) {
    if (secret.isEmpty()) return {};
    // A short secret would be half shown by its last four characters.
    if (secret.size() < 12) return kMask;
    return kMask + secret.right(4);
}

QJsonObject alertSettingsJson(const AlertSettings& s) {
    QJsonObject events;
    for (const QString& id : alertevent::all()) events.insert(id, s.on(id));
    return QJsonObject{
        {QStringLiteral("school"), s.school},
        {QStringLiteral("webhook"),
         QJsonObject{{QStringLiteral("url"), s.webhookUrl},
                     {QStringLiteral("secret"), maskedSecret(s.webhookSecret)}}},
        {QStringLiteral("line"), QJsonObject{{QStringLiteral("token"), maskedSecret(s.lineToken)},
                                             {QStringLiteral("to"), s.lineTo}}},
        {QStringLiteral("telegram"),
         QJsonObject{{QStringLiteral("token"), maskedSecret(s.telegramToken)},
                     {QStringLiteral("chat"), s.telegramChat}}},
        {QStringLiteral("events"), events},
        {QStringLiteral("summary"),
         s.summaryAt.isValid() ? s.summaryAt.toString(QStringLiteral("HH:mm")) : QString()},
        {QStringLiteral("channels"), QJsonArray::fromStringList(s.channels())},
    };
}

}  // namespace tavirin
