#include "ui/networkdialog.h"

#include "platform/logging.h"
#include "ui/alertsbox.h"
#include "ui/qrcode.h"
#include "web/webpage.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkInterface>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tavirin {

namespace {

constexpr WebRole kRoles[2] = {WebRole::Admin, WebRole::Teacher};

// Every address of the PC a page could listen on, the default ones first.
QList<QHostAddress> allAddresses() {
    QList<QHostAddress> out = WebPage::defaultAddresses();
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (!a.isLinkLocal() && !out.contains(a)) out << a;
    return out;
}

}  // namespace

NetworkDialog::NetworkDialog(WebPage& page, Alerter* alerter, QWidget* parent)
    : QDialog(parent), page_(page) {
    setObjectName(QStringLiteral("networkDialog"));
    setWindowTitle(QStringLiteral("เครือข่าย"));
    auto* outer = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("networkTabs"));
    outer->addWidget(tabs);
    auto* webTab = new QWidget(tabs);
    tabs->addTab(webTab, QStringLiteral("หน้าเว็บ"));
    auto* layout = new QVBoxLayout(webTab);

    auto* serving = new QGroupBox(QStringLiteral("หน้าเว็บสำหรับโทรศัพท์ในโรงเรียน"), this);
    auto* form = new QFormLayout(serving);
    on_ = new QCheckBox(QStringLiteral("เปิดหน้าเว็บ"), serving);
    on_->setObjectName(QStringLiteral("webOn"));
    form->addRow(on_);
    port_ = new QSpinBox(serving);
    port_->setObjectName(QStringLiteral("webPort"));
    port_->setRange(1, 65535);
    form->addRow(QStringLiteral("พอร์ต"), port_);
    https_ = new QCheckBox(QStringLiteral("เข้ารหัส (HTTPS แนะนำ)"), serving);
    https_->setObjectName(QStringLiteral("webHttps"));
    form->addRow(https_);
    plainWarning_ = new QLabel(QStringLiteral("ไม่เข้ารหัส: รหัสผ่านจะถูกส่งผ่านเครือข่ายแบบอ่านได้"), serving);
    plainWarning_->setStyleSheet(QStringLiteral("color: #c00000;"));
    form->addRow(plainWarning_);
    addresses_ = new QListWidget(serving);
    addresses_->setObjectName(QStringLiteral("webAddresses"));
    addresses_->setMaximumHeight(110);
    form->addRow(QStringLiteral("รับจากที่อยู่"), addresses_);
    layout->addWidget(serving);

    auto* accounts = new QGroupBox(QStringLiteral("รหัสผ่าน"), this);
    auto* grid = new QFormLayout(accounts);
    for (int i = 0; i < 2; ++i) {
        auto* row = new QHBoxLayout;
        password_[i] = new QLineEdit(accounts);
        password_[i]->setObjectName(QStringLiteral("webPassword_") + roleId(kRoles[i]));
        password_[i]->setEchoMode(QLineEdit::Password);
        password_[i]->setPlaceholderText(kRoles[i] == WebRole::Admin
                                             ? QStringLiteral("อย่างน้อย 8 ตัวอักษร")
                                             : QStringLiteral("อย่างน้อย 6 ตัวอักษร"));
        auto* set = new QPushButton(QStringLiteral("ตั้งรหัสผ่าน"), accounts);
        set->setObjectName(QStringLiteral("webSetPassword_") + roleId(kRoles[i]));
        passwordState_[i] = new QLabel(accounts);
        row->addWidget(password_[i], 1);
        row->addWidget(set);
        row->addWidget(passwordState_[i]);
        grid->addRow(roleName(kRoles[i]), row);
        connect(set, &QPushButton::clicked, this, [this, i] { setPassword(i); });
    }
    layout->addWidget(accounts);

    auto* where = new QGroupBox(QStringLiteral("ที่อยู่ของหน้าเว็บ"), this);
    auto* whereLayout = new QHBoxLayout(where);
    qr_ = new QLabel(where);
    qr_->setObjectName(QStringLiteral("webQr"));
    whereLayout->addWidget(qr_);
    auto* text = new QVBoxLayout;
    url_ = new QLabel(where);
    url_->setObjectName(QStringLiteral("webUrl"));
    url_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    url_->setWordWrap(true);
    fingerprint_ = new QLabel(where);
    fingerprint_->setObjectName(QStringLiteral("webFingerprint"));
    fingerprint_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fingerprint_->setWordWrap(true);
    text->addWidget(url_);
    text->addWidget(fingerprint_);
    text->addStretch();
    whereLayout->addLayout(text, 1);
    layout->addWidget(where);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("webMessage"));
    message_->setWordWrap(true);
    layout->addWidget(message_);
    if (alerter) tabs->addTab(new AlertsBox(*alerter, tabs), QStringLiteral("แจ้งเตือน"));

    auto* buttons = new QDialogButtonBox(this);
    auto* save = buttons->addButton(QStringLiteral("บันทึก"), QDialogButtonBox::AcceptRole);
    save->setObjectName(QStringLiteral("webSave"));
    auto* close = buttons->addButton(QStringLiteral("ปิด"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("webClose"));
    // Saving keeps the dialog open: its address and QR code are what the school came for.
    connect(save, &QPushButton::clicked, this, &NetworkDialog::apply);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    outer->addWidget(buttons);

    connect(https_, &QCheckBox::toggled, plainWarning_,
            [this](bool on) { plainWarning_->setVisible(!on); });
    connect(&page_, &WebPage::changed, this, &NetworkDialog::showState);
    connect(&page_, &WebPage::loginsBlocked, this,
            [this](const QString& t) { message_->setText(t); });
    load();
    showState();
}

QString NetworkDialog::lastMessage() const {
    return message_->text();
}

void NetworkDialog::load() {
    const WebSettings s = page_.settings();
    on_->setChecked(s.enabled);
    port_->setValue(s.port);
    https_->setChecked(s.https);
    plainWarning_->setVisible(!s.https);
    addresses_->clear();
    const QList<QHostAddress> defaults = WebPage::defaultAddresses();
    for (const QHostAddress& a : allAddresses()) {
        QString label = a.toString();
        if (!WebPage::isPrivate(a))
            label += QStringLiteral("  (ที่อยู่สาธารณะ: คนนอกโรงเรียนอาจเข้าถึงได้)");
        auto* item = new QListWidgetItem(label, addresses_);
        item->setData(Qt::UserRole, a.toString());
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool chosen =
            s.addresses.isEmpty() ? defaults.contains(a) : s.addresses.contains(a.toString());
        item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
    }
}

QStringList NetworkDialog::chosenAddresses() const {
    QStringList chosen;
    QStringList defaults;
    for (const QHostAddress& a : WebPage::defaultAddresses()) defaults << a.toString();
    for (int i = 0; i < addresses_->count(); ++i)
        if (addresses_->item(i)->checkState() == Qt::Checked)
            chosen << addresses_->item(i)->data(Qt::UserRole).toString();
    // The default set is stored as none named: it then follows the PC's network as it changes.
    QStringList a = chosen, b = defaults;
    a.sort();
    b.sort();
    return a == b ? QStringList() : chosen;
}

void NetworkDialog::apply() {
    const QStringList chosen = chosenAddresses();
    bool any = false;
    for (int i = 0; i < addresses_->count(); ++i)
        any |= addresses_->item(i)->checkState() == Qt::Checked;
    if (on_->isChecked() && !any) {
        message_->setText(QStringLiteral("โปรดเลือกที่อยู่อย่างน้อยหนึ่งที่"));
        return;
    }
    const Outcome o = on_->isChecked()
                          ? page_.enable(quint16(port_->value()), https_->isChecked(), chosen)
                          : page_.disable();
    message_->setText(o.accepted() ? (o.reason.isEmpty() ? QStringLiteral("บันทึกแล้ว") : o.reason)
                                   : o.reason);
    showState();
}

void NetworkDialog::setPassword(int i) {
    const Outcome o = page_.setPassword(kRoles[i], password_[i]->text());
    password_[i]->clear();
    message_->setText(o.accepted() ? QStringLiteral("ตั้งรหัสผ่านของ%1แล้ว").arg(roleName(kRoles[i]))
                                   : o.reason);
    showState();
}

void NetworkDialog::showState() {
    for (int i = 0; i < 2; ++i)
        passwordState_[i]->setText(page_.hasPassword(kRoles[i]) ? QStringLiteral("ตั้งแล้ว")
                                                                : QStringLiteral("ยังไม่ได้ตั้ง"));
    if (!page_.running()) {
        url_->setText(QStringLiteral("หน้าเว็บปิดอยู่"));
        fingerprint_->clear();
        qr_->clear();
        return;
    }
    const QStringList urls = page_.urls();
    url_->setText(urls.join(QLatin1Char('\n')));
    const QString fp = page_.fingerprint();
    fingerprint_->setText(fp.isEmpty() ? QStringLiteral("ไม่เข้ารหัส (HTTP)")
                                       : QStringLiteral("ลายนิ้วมือใบรับรอง (SHA-256):\n") + fp);
    qr_->setPixmap(QPixmap::fromImage(qrCodeImage(page_.url(), 4)));
}

}  // namespace tavirin
