#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace tavirin {

class Alerter;
class WebPage;

// "เครือข่าย": the school's network page turned on and off, where it listens, the two roles'
// passwords, and, while it runs, its address as text and as a QR code for a phone's camera,
// with the certificate's fingerprint. The page itself is WebPage; this only shows and asks.
class NetworkDialog : public QDialog {
    Q_OBJECT
public:
    // `alerter`: the messages to the school's phones set up here too; none: not offered.
    explicit NetworkDialog(WebPage& page, Alerter* alerter = nullptr, QWidget* parent = nullptr);

    // The last thing the page said (a port taken, a password too short), for the tests.
    QString lastMessage() const;

private:
    void load();
    void apply();
    void setPassword(int role);
    void showState();
    QStringList chosenAddresses() const;

    WebPage& page_;
    QCheckBox* on_ = nullptr;
    QSpinBox* port_ = nullptr;
    QCheckBox* https_ = nullptr;
    QLabel* plainWarning_ = nullptr;
    QListWidget* addresses_ = nullptr;
    QLineEdit* password_[2] = {};
    QLabel* passwordState_[2] = {};
    QLabel* url_ = nullptr;
    QLabel* qr_ = nullptr;
    QLabel* fingerprint_ = nullptr;
    QLabel* message_ = nullptr;
};

}  // namespace tavirin
