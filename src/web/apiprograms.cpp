// The week's programs: a day's 24 periods read and written, the sounds they may play.
#include "web/webapi.h"

#include "core/bellcore.h"
#include "store/dayprogram.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

namespace tavirin {

namespace {

struct Sound {
    QString id;
    QString name;
    QString path;
};

QString soundId(const QString& path) {
    return QString::fromLatin1(
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

// What a period may play: the library's add-on sounds, and whatever a program plays already
// (a school's own file elsewhere). A client names one by its id: no path it sends is opened.
QList<Sound> catalogue(const SoundLibrary& library, const ProgramStore& store) {
    QList<Sound> out;
    QStringList seen;
    auto add = [&](const QString& path) {
        if (path.isEmpty() || seen.contains(path)) return;
        seen << path;
        out.append({soundId(path), library.displayName(path), path});
    };
    const QDir other(library.otherFolder());
    const QStringList files =
        other.entryList({QStringLiteral("*.wav"), QStringLiteral("*.mp3"), QStringLiteral("*.ogg"),
                         QStringLiteral("*.WAV"), QStringLiteral("*.MP3")},
                        QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& f : files) add(other.filePath(f));
    for (int day = 1; day <= 7; ++day) {
        const DayProgram p = readDayProgram(store, day);
        for (const Period& period : p.periods) add(period.soundFile);
    }
    return out;
}

int number(const QString& text, int fallback) {
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok ? v : fallback;
}

QString twoDigits(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

// A whole JSON number within [low, high].
std::optional<int> numberIn(const QJsonValue& v, int low, int high) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (d != double(qint64(d)) || d < low || d > high) return std::nullopt;
    return int(d);
}

std::optional<int> dayOf(const WebRequest& r) {
    const QString tail = r.path.mid(QStringLiteral("/api/v1/programs/").size());
    bool ok = false;
    const int day = tail.toInt(&ok);
    if (!ok || tail.size() != 1 || day < 1 || day > 7) return std::nullopt;
    return day;
}

}  // namespace

WebReply WebApi::sounds() {
    QJsonArray list;
    for (const Sound& s : catalogue(p_.library, p_.core.store()))
        list.append(QJsonObject{{QStringLiteral("id"), s.id}, {QStringLiteral("name"), s.name}});
    return jsonReply(QJsonDocument(list));
}

WebReply WebApi::program(const WebRequest& r) {
    const std::optional<int> day = dayOf(r);
    if (!day) return errorReply(404, "not-found", QStringLiteral("มีตารางของวันที่ 1 ถึง 7"));
    const DayProgram p = readDayProgram(p_.core.store(), *day);
    QJsonArray periods;
    for (int n = 1; n <= 24; ++n) {
        const Period& period = p.period(n);
        const int hour = number(period.hour, -1);
        const bool inUse = period.hour != QLatin1String("no") && hour >= 0 && hour <= 23;
        periods.append(QJsonObject{
            {QStringLiteral("period"), n},
            {QStringLiteral("inUse"), inUse},
            {QStringLiteral("hour"), inUse ? hour : 0},
            {QStringLiteral("minute"), qBound(0, number(period.minute, 0), 59)},
            {QStringLiteral("addOn"),
             period.enabled == QLatin1String("1") && !period.soundFile.isEmpty()},
            {QStringLiteral("sound"),
             period.soundFile.isEmpty() ? QString() : soundId(period.soundFile)},
            {QStringLiteral("after"), qBound(0, number(period.afterBellMedia, 0), 4)},
        });
    }
    const bool shutdownOn = p.shutdownEnabled == QLatin1String("1");
    return jsonReply(QJsonDocument(QJsonObject{
        {QStringLiteral("day"), *day},
        {QStringLiteral("name"), weekdayRow(*day)->chooserEntry},
        {QStringLiteral("periods"), periods},
        {QStringLiteral("shutdown"),
         QJsonObject{{QStringLiteral("enabled"), shutdownOn},
                     {QStringLiteral("hour"), qBound(0, number(p.shutdownHour, 16), 23)},
                     {QStringLiteral("minute"), qBound(0, number(p.shutdownMinute, 30), 59)}}},
    }));
}

WebReply WebApi::saveProgram(const WebRequest& r, const WebSession& s) {
    const std::optional<int> day = dayOf(r);
    if (!day) return errorReply(404, "not-found", QStringLiteral("มีตารางของวันที่ 1 ถึง 7"));
    const std::optional<QJsonObject> body = jsonBody(r);
    const QJsonArray periods =
        body ? body->value(QStringLiteral("periods")).toArray() : QJsonArray();
    if (!body || periods.size() != 24)
        return errorReply(400, "bad-request", QStringLiteral("ตารางต้องมี 24 ช่วง (periods)"));

    const QList<Sound> known = catalogue(p_.library, p_.core.store());
    // What the page does not edit stays as stored.
    DayProgram program = readDayProgram(p_.core.store(), *day);
    for (int n = 1; n <= 24; ++n) {
        const QJsonObject o = periods[n - 1].toObject();
        const auto bad = [n](const QString& what) {
            return errorReply(400, "bad-value", QStringLiteral("ช่วงที่ %1: %2").arg(n).arg(what));
        };
        if (numberIn(o.value(QStringLiteral("period")), n, n) != n)
            return bad(QStringLiteral("ลำดับช่วงไม่ถูกต้อง"));
        const QJsonValue inUse = o.value(QStringLiteral("inUse"));
        const QJsonValue addOn = o.value(QStringLiteral("addOn"));
        const std::optional<int> hour = numberIn(o.value(QStringLiteral("hour")), 0, 23);
        const std::optional<int> minute = numberIn(o.value(QStringLiteral("minute")), 0, 59);
        const std::optional<int> after = numberIn(o.value(QStringLiteral("after")), 0, 4);
        if (!inUse.isBool() || !addOn.isBool())
            return bad(QStringLiteral("inUse และ addOn ต้องเป็นจริงหรือเท็จ"));
        if (!hour || !minute) return bad(QStringLiteral("เวลาต้องเป็นชั่วโมง 0–23 และนาที 0–59"));
        if (!after) return bad(QStringLiteral("หลังออดต้องเป็น 0 ถึง 4"));
        const QString id = o.value(QStringLiteral("sound")).toString();
        QString path;
        if (!id.isEmpty()) {
            const auto it = std::find_if(known.begin(), known.end(),
                                         [&](const Sound& snd) { return snd.id == id; });
            if (it == known.end()) return bad(QStringLiteral("ไม่มีเสียงนี้ในคลังเสียง"));
            path = it->path;
        }
        Period& p = program.period(n);
        p.hour = inUse.toBool() ? twoDigits(*hour) : QStringLiteral("no");
        p.minute = twoDigits(*minute);
        p.enabled = addOn.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        p.soundFile = path;
        p.afterBellMedia = QString::number(*after);
    }
    const QJsonObject shutdown = body->value(QStringLiteral("shutdown")).toObject();
    if (!shutdown.isEmpty()) {
        const QJsonValue on = shutdown.value(QStringLiteral("enabled"));
        const std::optional<int> hour = numberIn(shutdown.value(QStringLiteral("hour")), 0, 23);
        const std::optional<int> minute = numberIn(shutdown.value(QStringLiteral("minute")), 0, 59);
        if (!on.isBool() || !hour || !minute)
            return errorReply(400, "bad-value", QStringLiteral("เวลาปิดเครื่องอัตโนมัติไม่ถูกต้อง"));
        program.shutdownEnabled = on.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        program.shutdownHour = twoDigits(*hour);
        program.shutdownMinute = twoDigits(*minute);
    }
    return command(r, s, QStringLiteral("แก้ตารางออด") + weekdayRow(*day)->chooserEntry,
                   [this, day = *day, program] { return p_.core.saveDayProgram(day, program); });
}

}  // namespace tavirin
