#include "ui/alertsbox.h"

#include "alerts/alerter.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>

namespace tavirin {

namespace {

QString eventLabel(const QString& id) {
    if (id == alertevent::kBell) return QStringLiteral("ออดไม่ดัง ดังไม่สำเร็จ หรือดังช้า");
    if (id == alertevent::kSelfTest) return QStringLiteral("การตรวจเครื่องพบปัญหา / ปัญหาหายไป");
    if (id == alertevent::kEmergency) return QStringLiteral("เหตุฉุกเฉินและการสิ้นสุด");
    if (id == alertevent::kNotRunning) return QStringLiteral("ออดที่ไม่ได้ดังเพราะโปรแกรมไม่ได้เปิด");
    if (id == alertevent::kStorage) return QStringLiteral("บันทึกข้อมูลไม่ได้");
    if (id == alertevent::kSummary) return QStringLiteral("สรุปประจำวัน");
    return id;
}

QLineEdit* secretField(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setEchoMode(QLineEdit::Password);
    return e;
}

}  // namespace

AlertsBox::AlertsBox(Alerter& alerter, QWidget* parent)
    : QGroupBox(QStringLiteral("แจ้งเตือนทางโทรศัพท์ (LINE, Telegram, webhook)"), parent),
      alerter_(alerter) {
    setObjectName(QStringLiteral("alertsBox"));
    auto* form = new QFormLayout(this);
    school_ = new QLineEdit(this);
    school_->setObjectName(QStringLiteral("alertSchool"));
    form->addRow(QStringLiteral("ชื่อโรงเรียน"), school_);
    lineToken_ = secretField(this, "alertLineToken");
    lineTo_ = new QLineEdit(this);
    lineTo_->setObjectName(QStringLiteral("alertLineTo"));
    form->addRow(QStringLiteral("LINE token"), lineToken_);
    form->addRow(QStringLiteral("LINE กลุ่ม/ผู้รับ (id)"), lineTo_);
    telegramToken_ = secretField(this, "alertTelegramToken");
    telegramChat_ = new QLineEdit(this);
    telegramChat_->setObjectName(QStringLiteral("alertTelegramChat"));
    form->addRow(QStringLiteral("Telegram bot token"), telegramToken_);
    form->addRow(QStringLiteral("Telegram chat id"), telegramChat_);
    webhookUrl_ = new QLineEdit(this);
    webhookUrl_->setObjectName(QStringLiteral("alertWebhookUrl"));
    webhookUrl_->setPlaceholderText(QStringLiteral("https://..."));
    webhookSecret_ = secretField(this, "alertWebhookSecret");
    form->addRow(QStringLiteral("Webhook"), webhookUrl_);
    form->addRow(QStringLiteral("Webhook secret"), webhookSecret_);

    auto* grid = new QGridLayout;
    int n = 0;
    for (const QString& id : alertevent::all()) {
        auto* box = new QCheckBox(eventLabel(id), this);
        box->setObjectName(QStringLiteral("alertEvent_") + id);
        box->setProperty("event", id);
        events_ << box;
        grid->addWidget(box, n / 2, n % 2);
        ++n;
    }
    form->addRow(QStringLiteral("แจ้งเมื่อ"), grid);
    auto* summary = new QHBoxLayout;
    summaryOn_ = new QCheckBox(QStringLiteral("ส่งสรุปเวลา"), this);
    summaryOn_->setObjectName(QStringLiteral("alertSummaryOn"));
    summaryAt_ = new QTimeEdit(this);
    summaryAt_->setObjectName(QStringLiteral("alertSummaryAt"));
    summaryAt_->setDisplayFormat(QStringLiteral("HH:mm"));
    summary->addWidget(summaryOn_);
    summary->addWidget(summaryAt_);
    summary->addStretch();
    form->addRow(QString(), summary);

    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("บันทึกการแจ้งเตือน"), this);
    save->setObjectName(QStringLiteral("alertSave"));
    auto* test = new QPushButton(QStringLiteral("ส่งข้อความทดสอบ"), this);
    test->setObjectName(QStringLiteral("alertTest"));
    buttons->addWidget(save);
    buttons->addWidget(test);
    buttons->addStretch();
    form->addRow(buttons);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("alertMessage"));
    message_->setWordWrap(true);
    form->addRow(message_);

    connect(save, &QPushButton::clicked, this, &AlertsBox::save);
    connect(test, &QPushButton::clicked, this, &AlertsBox::test);
    connect(&alerter_, &Alerter::answered, this,
            [this](const QString&, const QString& text) { message_->setText(text); });
    load();
}

QString AlertsBox::lastMessage() const {
    return message_->text();
}

void AlertsBox::load() {
    const AlertSettings s = alerter_.settings();
    const QJsonObject shown = alertSettingsJson(s);
    school_->setText(s.school);
    lineTo_->setText(s.lineTo);
    telegramChat_->setText(s.telegramChat);
    webhookUrl_->setText(s.webhookUrl);
    // Saved secrets are not shown again: an empty field keeps them.
    const auto hint = [](const QString& masked) {
        return masked.isEmpty() ? QString() : masked + QStringLiteral(" (เว้นว่างไว้ = ใช้ค่าเดิม)");
    };
    lineToken_->clear();
    lineToken_->setPlaceholderText(hint(
        shown.value(QStringLiteral("line")).toObject().value(QStringLiteral("token")).toString()));
    telegramToken_->clear();
    telegramToken_->setPlaceholderText(hint(shown.value(QStringLiteral("telegram"))
                                                .toObject()
                                                .value(QStringLiteral("token"))
                                                .toString()));
    webhookSecret_->clear();
    webhookSecret_->setPlaceholderText(hint(shown.value(QStringLiteral("webhook"))
                                                .toObject()
                                                .value(QStringLiteral("secret"))
                                                .toString()));
    for (QCheckBox* box : std::as_const(events_))
        box->setChecked(s.on(box->property("event").toString()));
    summaryOn_->setChecked(s.summaryAt.isValid());
    summaryAt_->setTime(s.summaryAt.isValid() ? s.summaryAt : QTime(16, 30));
    const QHash<QString, QString> answers = alerter_.lastAnswers();
    QStringList lines;
    for (auto it = answers.cbegin(); it != answers.cend(); ++it) lines << it.value();
    message_->setText(lines.join(QLatin1Char('\n')));
}

void AlertsBox::save() {
    QJsonObject line{{QStringLiteral("to"), lineTo_->text().trimmed()}};
    if (!lineToken_->text().isEmpty())
        line.insert(QStringLiteral("token"), lineToken_->text().trimmed());
    QJsonObject telegram{{QStringLiteral("chat"), telegramChat_->text().trimmed()}};
    if (!telegramToken_->text().isEmpty())
        telegram.insert(QStringLiteral("token"), telegramToken_->text().trimmed());
    QJsonObject webhook{{QStringLiteral("url"), webhookUrl_->text().trimmed()}};
    if (!webhookSecret_->text().isEmpty())
        webhook.insert(QStringLiteral("secret"), webhookSecret_->text());
    QJsonObject events;
    for (QCheckBox* box : std::as_const(events_))
        events.insert(box->property("event").toString(), box->isChecked());
    const QJsonObject all{
        {QStringLiteral("school"), school_->text().trimmed()},
        {QStringLiteral("line"), line},
        {QStringLiteral("telegram"), telegram},
        {QStringLiteral("webhook"), webhook},
        {QStringLiteral("events"), events},
        {QStringLiteral("summary"), summaryOn_->isChecked()
                                        ? summaryAt_->time().toString(QStringLiteral("HH:mm"))
                                        : QString()},
    };
    const Outcome o = alerter_.configure(QJsonDocument(all).toJson(QJsonDocument::Compact));
    if (o.accepted()) load();
    message_->setText(o.accepted() ? QStringLiteral("บันทึกการแจ้งเตือนแล้ว") : o.reason);
}

void AlertsBox::test() {
    message_->setText(QStringLiteral("กำลังส่งข้อความทดสอบ…"));
    alerter_.sendTest([box = QPointer<AlertsBox>(this)](const QString& told) {
        if (box) box->message_->setText(told);
    });
}

}  // namespace tavirin
