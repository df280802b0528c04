#pragma once

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimeEdit;

namespace tavirin {

class Alerter;

// The network dialog's "แจ้งเตือน" part: the school's name, LINE, Telegram and a webhook, the
// kinds of message, the daily summary's time, and a test message that says what each far end
// answered. A token once saved is never shown again: its field stays empty ("unchanged") and
// shows only its last four characters.
class AlertsBox : public QGroupBox {
    Q_OBJECT
public:
    explicit AlertsBox(Alerter& alerter, QWidget* parent = nullptr);
    QString lastMessage() const;

private:
    void load();
    void save();
    void test();

    Alerter& alerter_;
    QLineEdit* school_ = nullptr;
    QLineEdit* lineToken_ = nullptr;
    QLineEdit* lineTo_ = nullptr;
    QLineEdit* telegramToken_ = nullptr;
    QLineEdit* telegramChat_ = nullptr;
    QLineEdit* webhookUrl_ = nullptr;
    QLineEdit* webhookSecret_ = nullptr;
    QList<QCheckBox*> events_;
    QCheckBox* summaryOn_ = nullptr;
    QTimeEdit* summaryAt_ = nullptr;
    QLabel* message_ = nullptr;
};

}  // namespace tavirin
