#include "outputs/amplifierrelay.h"

#include "model/controlnames.h"
#include "model/formmodel.h"
#include "platform/dialogs.h"
#include "platform/logging.h"
#include "platform/seriallines.h"
#include "store/keylayout.h"
#include "store/programstore.h"

namespace tavirin {

namespace {

const QString kIndicator = ctl::Label21;
const QString kFailMark = ctl::Label33;
const QString kSelector = ctl::Combo53;
const QString kDeviceLabel = ctl::lbl_com_device;
const QString kCurrentPort = ctl::currentPort;
const QString kAfterBellMedia = ctl::afterBellMedia;

constexpr Rgb kNormal{0, 0, 192};
constexpr Rgb kFailed{255, 0, 0};

const QString kBoxTitle = QStringLiteral("Tavirin");

using Error = SerialLines::Error;

const char* errorName(Error e) {
    switch (e) {
        case Error::None:
            return "none";
        case Error::NoSuchPort:
            return "no such port";
        case Error::Permission:
            return "permission denied";
        case Error::Busy:
            return "held by another program";
        case Error::AlreadyOpen:
            return "already open";
        case Error::Other:
            break;
    }
    return "failed";
}

}  // namespace

AmplifierRelay::AmplifierRelay(FormModel& model, ProgramStore& store, SerialLines& lines,
                               Dialogs& dialogs)
    : model_(model), store_(store), lines_(lines), dialogs_(dialogs) {
    // The device panel names the device of whatever the operator picks.
    selectorWatch_ =
        QObject::connect(&model_, &FormModel::changed, &model_, [this](const QString& name) {
            if (name == kSelector) describeSelectedPort();
        });
}

AmplifierRelay::~AmplifierRelay() {
    QObject::disconnect(selectorWatch_);
}

QString AmplifierRelay::currentPort() const {
    return model_.value(kCurrentPort);
}

void AmplifierRelay::setCurrentPort(const QString& port) {
    model_.setValue(kCurrentPort, port);
}

QString AmplifierRelay::storedPort() const {
    return store_.GetSetting(keys::kBaseApplication, keys::kComPort, keys::kComPortKey);
}

QString AmplifierRelay::loadCurrentPort() {
    setCurrentPort(storedPort());
    return currentPort();
}

// An empty or non-numeric port leaves the number in force before, as does a number the
// serial layer could never take. The stored port comes with the device saved with it; a
// port picked in the panel (the test) is the n-th device, as saving it would store.
void AmplifierRelay::applyPortNumber(bool storedPort) {
    bool ok = false;
    const int n = currentPort().trimmed().toInt(&ok);
    if (ok && n >= 1) lines_.setPortNumber(n);
    lines_.setSavedDevice(
        storedPort ? store_.GetSetting(keys::kBaseApplication, keys::kComPort, keys::kComDeviceKey)
                   : QString());
}

void AmplifierRelay::showNormal() {
    model_.setBackground(kIndicator, kNormal);
    model_.setVisible(kFailMark, false);
}

void AmplifierRelay::showFailed() {
    model_.setBackground(kIndicator, kFailed);
    model_.setVisible(kFailMark, true);
}

// "1".."7" when the selector shows COM1..COM7, "" otherwise.
QString AmplifierRelay::selectedComNumber() const {
    const QString sel = model_.text(kSelector);
    for (int n = 1; n <= 7; ++n)
        if (sel == QStringLiteral("COM") + QString::number(n)) return QString::number(n);
    return {};
}

void AmplifierRelay::describeSelectedPort() {
    if (!model_.has(kDeviceLabel)) return;
    const QString n = selectedComNumber();
    if (n.isEmpty()) {
        model_.setText(kDeviceLabel, QString());
        return;
    }
    const QString device = lines_.deviceFor(n.toInt());
    model_.setText(kDeviceLabel, QStringLiteral("COM") + n + QStringLiteral(" = ") +
                                     (device.isEmpty() ? QStringLiteral("ไม่พบอุปกรณ์") : device));
}

// The user may not open serial devices. Nobody at the PC may see a modal box in time, and a
// bell must not wait for one, so this is a notice, given once per run.
void AmplifierRelay::tellPermission() {
    const QString port = QString::number(lines_.portNumber());
    const QString device = lines_.deviceFor(lines_.portNumber());
    qCWarning(lcRelay).noquote() << "no permission to open COM" + port << device
                                 << "- the user must be in the dialout group";
    if (permissionTold_) return;
    permissionTold_ = true;
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = QStringLiteral("$USER");
    const QString where = device.isEmpty() ? QString() : QStringLiteral(" (") + device + u')';
    dialogs_.notice(QStringLiteral("เปิดเครื่องขยายเสียงไม่ได้"),
                    QStringLiteral("ผู้ใช้ ") + user + QStringLiteral(" ไม่มีสิทธิ์ใช้พอร์ต COM") + port +
                        where + QStringLiteral(" จึงเปิดเครื่องขยายเสียงไม่ได้\n") +
                        QStringLiteral("วิธีแก้: ให้ผู้ดูแลเครื่องเพิ่มผู้ใช้นี้เข้ากลุ่ม dialout ด้วยคำสั่ง\n") +
                        QStringLiteral("    sudo adduser ") + user + QStringLiteral(" dialout\n") +
                        QStringLiteral("แล้วออกจากระบบและเข้าสู่ระบบใหม่"));
}

RelayOutcome AmplifierRelay::switchOn(bool alignSelector, bool resetAfterBellMedia) {
    using State = RelayOutcome::State;
    const QString port = loadCurrentPort();
    if (alignSelector) {
        for (int n = 1; n <= 7; ++n)
            if (port == QString::number(n))
                model_.setComboText(kSelector, QStringLiteral("COM") + port);
    }
    model_.setText(kIndicator, QStringLiteral("Port COM") + port);
    applyPortNumber(true);
    if (resetAfterBellMedia) model_.setValue(kAfterBellMedia, QStringLiteral("0"));

    const QString com = QStringLiteral("COM") + QString::number(lines_.portNumber());
    const Error e = lines_.open();
    if (e == Error::None) {
        if (!lines_.setRts(true) || !lines_.setDtr(true)) {
            // Open but the lines do not move: the amplifier is not on, so say so, and let
            // the port go rather than hold a useless handle.
            const QString why = lines_.lastErrorText();
            qCWarning(lcRelay).noquote() << com << "opened but its lines do not move:" << why;
            lines_.close();
            showFailed();
            return {State::Failed, com + QStringLiteral(": its lines do not move: ") + why};
        }
        showNormal();
        const QString device = lines_.deviceFor(lines_.portNumber());
        qCInfo(lcRelay).noquote() << "amplifier on:" << com << device;
        return {State::On, (com + u' ' + device).trimmed()};
    }
    const QString failure = QStringLiteral("COM") + port + QStringLiteral(": ") +
                            QString::fromLatin1(errorName(e)) + QStringLiteral(" - ") +
                            lines_.lastErrorText();
    switch (e) {
        case Error::NoSuchPort:
        case Error::Busy:
            // Held by another program, the port cannot be opened either: the amplifier
            // stays off through the bell, and the indicator must say so.
            showFailed();
            qCWarning(lcRelay).noquote() << "amplifier not switched on:" << failure;
            break;
        case Error::Permission:
            showFailed();
            tellPermission();
            break;
        case Error::AlreadyOpen:
            qCDebug(lcRelay) << "amplifier already on";
            return {State::AlreadyOn, com};
        default:
            qCWarning(lcRelay).noquote() << "amplifier not switched on:" << failure;
            break;
    }
    return {State::Failed, failure};
}

void AmplifierRelay::switchOff() {
    const bool wasOn = lines_.isOpen();
    lines_.close();
    lines_.setRts(false);
    lines_.setDtr(false);
    if (wasOn) qCInfo(lcRelay) << "amplifier off";
}

bool AmplifierRelay::isOn() const {
    return lines_.isOpen();
}

void AmplifierRelay::configure() {
    applyPortNumber(true);
    describeSelectedPort();
}

void AmplifierRelay::testPort() {
    if (const QString n = selectedComNumber(); !n.isEmpty()) setCurrentPort(n);
    applyPortNumber(false);
    const QString port = currentPort();

    const auto cannotUse = [&] {
        dialogs_.message(Dialogs::Icon::Critical, kBoxTitle,
                         QStringLiteral("   ไม่สามารถใช้งาน Port Com") + port +
                             QStringLiteral(" ได้") + QStringLiteral("\r\n\r\n") +
                             QStringLiteral("   กรุณาเลือก Port ใหม่"));
    };

    const Error e = lines_.open();
    if (e == Error::None) {
        if (!lines_.setRts(true)) {
            qCWarning(lcRelay).noquote()
                << "test: COM" + port << "opened but RTS does not move:" << lines_.lastErrorText();
            lines_.close();
            cannotUse();
            return;
        }
        qCInfo(lcRelay).noquote() << "test: COM" + port << "relay energised";
        // The relay stays energised while the box is up; OK drops it.
        dialogs_.message(Dialogs::Icon::Information, kBoxTitle,
                         QStringLiteral("   Port Com") + port + QStringLiteral(" ใช้งานได้") +
                             QStringLiteral("\r\n\r\n") +
                             QStringLiteral("  กด บันทึก เพื่อเริ่มการใช้งาน"));
        lines_.close();
        lines_.setRts(false);
        return;
    }
    switch (e) {
        case Error::NoSuchPort:
        case Error::Busy:
            qCWarning(lcRelay).noquote() << "test: COM" + port << errorName(e);
            cannotUse();
            break;
        case Error::Permission:
            tellPermission();
            cannotUse();
            break;
        default:
            // Held already by us (music plays): the relay stays as it is and nothing is shown.
            qCInfo(lcRelay).noquote() << "test: COM" + port << errorName(e) << "- nothing shown";
            break;
    }
}

void AmplifierRelay::savePort() {
    if (const QString n = selectedComNumber(); !n.isEmpty()) {
        // The device too, so that COM n keeps meaning this adapter when devices come and go.
        const QString device = lines_.identityFor(n.toInt());
        ProgramStore::Burst burst(store_, ProgramStore::Burst::OnFailure::RollBack);
        if (store_.SaveSetting(keys::kBaseApplication, keys::kComPort, keys::kComPortKey, n))
            (void)store_.SaveSetting(keys::kBaseApplication, keys::kComPort, keys::kComDeviceKey,
                                     device);
        // Both or neither: what is shown afterwards is what is stored.
        if (const Result r = burst.finish(); !r)
            qCWarning(lcRelay).noquote() << "could not store the port:" << r.error;
        else
            qCInfo(lcRelay).noquote()
                << "relay port saved: COM" + n
                << (device.isEmpty() ? QStringLiteral("(no device now)") : device);
    }
    const QString port = loadCurrentPort();
    model_.setText(kIndicator, QStringLiteral("Port COM") + port);
    showNormal();
    if (closePanel_) closePanel_();
}

}  // namespace tavirin
