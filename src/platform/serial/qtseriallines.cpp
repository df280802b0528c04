#include "platform/serial/qtseriallines.h"

#include "platform/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>
#include <cerrno>

namespace tavirin {

namespace {

// The order in which devices become COM1, COM2, ...: USB adapters first, because the
// relay of a modern PC is nearly always one, then the built-in ports.
struct Family {
    const char* prefix;
    int count;
    bool needsHardwareCheck;
};
constexpr Family kFamilies[] = {
    {"ttyUSB", 10, false},
    {"ttyACM", 10, false},
    {"ttyS", 32, true},
};

}  // namespace

QtSerialLines::QtSerialLines(QString devRoot, QString sysRoot)
    : devRoot_(std::move(devRoot)), sysRoot_(std::move(sysRoot)) {}

QtSerialLines::~QtSerialLines() {
    close();
}

void QtSerialLines::setPortNumber(int comNumber) {
    comNumber_ = comNumber;
}

// The kernel registers ttyS0..3 (and more) whether or not a UART is there; those without
// one report the port type 0 ("unknown") in sysfs.
bool QtSerialLines::hasRealHardware(const QString& ttyName) const {
    const QString base = sysRoot_ + QStringLiteral("/class/tty/") + ttyName;
    if (!QFileInfo::exists(base + QStringLiteral("/device"))) return false;
    QFile type(base + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly)) return true;  // not a serial-core driver: trust it
    bool ok = false;
    const int t = type.readAll().trimmed().toInt(&ok);
    return ok && t != 0;
}

QStringList QtSerialLines::devices() const {
    QStringList found;
    for (const Family& f : kFamilies) {
        for (int i = 0; i < f.count; ++i) {
            const QString name = QLatin1String(f.prefix) + QString::number(i);
            const QString path = devRoot_ + u'/' + name;
            if (!QFileInfo::exists(path)) continue;
            if (f.needsHardwareCheck && !hasRealHardware(name)) continue;
            found.append(path);
        }
    }
    return found;
}

QString QtSerialLines::deviceFor(int comNumber) const {
    if (comNumber < 1) return {};
    const QStringList all = devices();
    return comNumber <= all.size() ? all.at(comNumber - 1) : QString();
}

QString QtSerialLines::identityFor(int comNumber) const {
    const QString device = deviceFor(comNumber);
    if (device.isEmpty()) return {};
    const QString real = QFileInfo(device).canonicalFilePath();
    const QDir byId(devRoot_ + QStringLiteral("/serial/by-id"));
    const QStringList links = byId.entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& link : links)
        if (QFileInfo(byId.filePath(link)).canonicalFilePath() == real) return byId.filePath(link);
    return device;
}

SerialLines::Error QtSerialLines::fail(Error e, const QString& why) {
    lastError_ = why;
    qCDebug(lcRelay) << "serial:" << why;
    return e;
}

SerialLines::Error QtSerialLines::open() {
    const QString com = QStringLiteral("COM") + QString::number(comNumber_);
    if (port_.isOpen()) {
        if (QFileInfo::exists(openDevice_))
            return fail(Error::AlreadyOpen, com + QStringLiteral(" is open already"));
        // The device went away under the open handle (a USB adapter unplugged): the handle
        // is dead, so let it go and look for the port afresh.
        qCWarning(lcRelay) << "serial device" << openDevice_ << "vanished while open";
        port_.close();
        port_.clearError();
        openDevice_.clear();
    }

    QString device;
    if (!savedDevice_.isEmpty()) {
        // The relay's adapter unplugged must never make COM n another device that opens
        // fine while nothing is switched. A by-id link is followed to the kernel's device
        // name, by which the port is locked against other programs as under the n-th rule.
        const QFileInfo saved(savedDevice_);
        const QString target = saved.isSymLink() ? saved.symLinkTarget() : QString();
        device =
            !target.isEmpty() && QFileInfo(target).absolutePath() == QDir(devRoot_).absolutePath()
                ? target
                : savedDevice_;
        if (!QFileInfo::exists(device))
            return fail(Error::NoSuchPort, com + QStringLiteral(": the saved device ") +
                                               savedDevice_ + QStringLiteral(" is not there"));
    } else {
        device = deviceFor(comNumber_);
        if (device.isEmpty())
            return fail(Error::NoSuchPort, com + QStringLiteral(": no such device"));
    }

    port_.setPortName(device);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    // With hardware flow control the driver owns RTS and our calls would not move it.
    port_.setFlowControl(QSerialPort::NoFlowControl);

    // Write-only: Qt then never reads from the port. Nothing is ever written either.
    if (!port_.open(QIODevice::WriteOnly)) {
        const QSerialPort::SerialPortError err = port_.error();
        const QString text =
            com + QStringLiteral(" (") + device + QStringLiteral("): ") + port_.errorString();
        port_.clearError();
        switch (err) {
            case QSerialPort::PermissionError: {
                // Qt says PermissionError both for "not allowed" and for "held by another
                // program"; only the first is something the operator can fix.
                const QByteArray path = QFile::encodeName(device);
                if (::access(path.constData(), W_OK) != 0) {
                    if (errno == EACCES || errno == EPERM) return fail(Error::Permission, text);
                    return fail(Error::NoSuchPort, text);
                }
                return fail(Error::Busy, text);
            }
            case QSerialPort::OpenError:
                return fail(Error::AlreadyOpen, text);
            default:
                // Not there, not a serial device, or it refused to open: unusable either way.
                return fail(Error::NoSuchPort, text);
        }
    }
    openDevice_ = device;
    // The kernel raises both lines when a tty opens; the relay must only move when asked,
    // so start from low. A device without modem lines (a pseudo-terminal) refuses this;
    // the caller finds out when it raises a line.
    port_.setRequestToSend(false);
    port_.setDataTerminalReady(false);
    port_.clearError();
    lastError_.clear();
    qCDebug(lcRelay) << "serial:" << com << "open on" << device;
    return Error::None;
}

bool QtSerialLines::isOpen() const {
    return port_.isOpen();
}

void QtSerialLines::close() {
    if (!port_.isOpen()) return;
    // Drop the lines ourselves rather than trusting HUPCL on close.
    port_.setRequestToSend(false);
    port_.setDataTerminalReady(false);
    port_.close();
    port_.clearError();
    openDevice_.clear();
}

bool QtSerialLines::setRts(bool high) {
    if (!port_.isOpen()) {
        lastError_ = QStringLiteral("RTS: port not open");
        return false;
    }
    if (port_.setRequestToSend(high)) return true;
    lastError_ = QStringLiteral("RTS: ") + port_.errorString();
    port_.clearError();
    return false;
}

bool QtSerialLines::setDtr(bool high) {
    if (!port_.isOpen()) {
        lastError_ = QStringLiteral("DTR: port not open");
        return false;
    }
    if (port_.setDataTerminalReady(high)) return true;
    lastError_ = QStringLiteral("DTR: ") + port_.errorString();
    port_.clearError();
    return false;
}

}  // namespace tavirin
