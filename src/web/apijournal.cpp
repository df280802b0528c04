// The journal: a day's record as the window shows it, and a month of bells as a spreadsheet.
#include "web/webapi.h"

#include "core/bellcore.h"
#include "journal/journal.h"
#include "platform/clock.h"
#include "status/dayreport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace tavirin {

namespace {

// A field of a CSV row. A text that a spreadsheet would take for a formula is made plain
// text first: journal texts come partly from the calendar and the page.
QString csvField(QString s) {
    if (!s.isEmpty() && QStringLiteral("=+-@\t\r").contains(s.front()))
        s.prepend(QLatin1Char('\''));
    if (s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('"')) ||
        s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'))) {
        s.replace(QLatin1String("\""), QLatin1String("\"\""));
        s = QLatin1Char('"') + s + QLatin1Char('"');
    }
    return s;
}

}  // namespace

WebReply WebApi::journalDay(const WebRequest& r) {
    const QString text = r.query.queryItemValue(QStringLiteral("date"));
    const QDate day =
        text.isEmpty() ? p_.core.clock().now().date() : QDate::fromString(text, Qt::ISODate);
    if (!day.isValid())
        return errorReply(400, "bad-value", QStringLiteral("วันที่ไม่ถูกต้อง (ใช้ YYYY-MM-DD)"));
    Journal* j = p_.core.journal();
    QJsonArray lines;
    QJsonArray checks;
    if (j) {
        for (const BellLine& l : dayRecord(*j, day)) {
            QStringList parts{l.due, l.period, l.outcome};
            if (!l.late.isEmpty()) parts << l.late;
            if (!l.reason.isEmpty()) parts << l.reason;
            lines.append(QJsonObject{{QStringLiteral("text"), parts.join(QStringLiteral(" · "))},
                                     {QStringLiteral("trouble"), isTroubleLine(l)}});
        }
        for (const CheckRecord& c : latestSelfTest(j->checksOn(day))) {
            const CheckLine l = checkLine(c);
            checks.append(
                QStringList{l.at, l.item, l.result, l.summary}.join(QStringLiteral(" · ")));
        }
    }
    return jsonReply(QJsonDocument(QJsonObject{{QStringLiteral("date"), day.toString(Qt::ISODate)},
                                               {QStringLiteral("readable"), j && j->readable()},
                                               {QStringLiteral("lines"), lines},
                                               {QStringLiteral("checks"), checks}}));
}

WebReply WebApi::journalCsv(const WebRequest& r) {
    const QDate first = QDate::fromString(
        r.query.queryItemValue(QStringLiteral("month")) + QStringLiteral("-01"), Qt::ISODate);
    if (!first.isValid())
        return errorReply(400, "bad-value", QStringLiteral("เดือนไม่ถูกต้อง (ใช้ YYYY-MM)"));
    QString csv = QStringLiteral("date,time,kind,period,outcome,reason,sounds\r\n");
    if (Journal* j = p_.core.journal()) {
        for (QDate d = first; d.month() == first.month(); d = d.addDays(1)) {
            for (const BellRecord& b : j->bellsOn(d)) {
                QStringList sounds;
                for (const SoundRecord& s : b.sounds)
                    sounds << QFileInfo(s.path).fileName() +
                                  (s.ok ? QString() : QStringLiteral(" (!)"));
                csv += QStringList{d.toString(Qt::ISODate),
                                   b.due.time().toString(QStringLiteral("HH:mm:ss")),
                                   csvField(b.kind),
                                   b.period ? QString::number(*b.period) : QString(),
                                   csvField(b.outcome),
                                   csvField(b.reason),
                                   csvField(sounds.join(QStringLiteral("; ")))}
                           .join(QLatin1Char(','));
                csv += QStringLiteral("\r\n");
            }
        }
    }
    const QByteArray name =
        "tavirin-" + first.toString(QStringLiteral("yyyy-MM")).toLatin1() + ".csv";
    // A byte order mark: spreadsheet programs then read the Thai as UTF-8.
    return {200,
            "text/csv; charset=utf-8",
            "\xEF\xBB\xBF" + csv.toUtf8(),
            {{"Content-Disposition", "attachment; filename=\"" + name + "\""}}};
}

}  // namespace tavirin
