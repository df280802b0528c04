#pragma once

#include "platform/seriallines.h"

#include <QSerialPort>
#include <QString>
#include <QStringList>

namespace tavirin {

// The relay's serial port through Qt Serial Port. Only the modem-control lines are used:
// the port is opened write-only (so Qt never reads incoming bytes) and nothing is written.
//
// COM n is the n-th serial device that exists right now, in the order
//   /dev/ttyUSB0..9, /dev/ttyACM0..9, then the /dev/ttyS0..31 backed by real hardware,
// so a PC whose only serial port is a USB relay adapter finds it as COM1 (docs/SERIAL.md).
// Once a port has been saved with its device, that device alone is opened.
// The /dev and /sys roots are constructor arguments so tests can build a fake tree.
class QtSerialLines final : public SerialLines {
public:
    explicit QtSerialLines(QString devRoot = QStringLiteral("/dev"),
                           QString sysRoot = QStringLiteral("/sys"));
    ~QtSerialLines() override;

    void setPortNumber(int comNumber) override;
    int portNumber() const override { return comNumber_; }
    QString deviceFor(int comNumber) const override;
    QString identityFor(int comNumber) const override;
    void setSavedDevice(const QString& identity) override { savedDevice_ = identity; }

    Error open() override;
    bool isOpen() const override;
    void close() override;
    bool setRts(bool high) override;
    bool setDtr(bool high) override;
    QString lastErrorText() const override { return lastError_; }

    // Every usable device in COM order (COM1 first).
    QStringList devices() const;

private:
    bool hasRealHardware(const QString& ttyName) const;
    Error fail(Error e, const QString& why);

    QString devRoot_;
    QString sysRoot_;
    int comNumber_ = 1;
    QString savedDevice_;
    QSerialPort port_;
    QString openDevice_;  // the device path behind the open port
    QString lastError_;
};

}  // namespace tavirin
