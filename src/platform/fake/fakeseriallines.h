#pragma once

#include "platform/seriallines.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace tavirin {

// A serial port whose lines the test watches. It behaves like QtSerialLines: open() leaves
// both lines low, close() drops them, a line cannot move on a closed port.
//
// `log` holds every transition in order: "open COM1", "rts on", "dtr on", "rts off",
// "dtr off", "close". When `journal` is set the same entries go there too, prefixed
// "serial ", so a test can see them interleaved with other fakes.
class FakeSerialLines final : public SerialLines {
public:
    FakeSerialLines() { devices_.insert(1, QStringLiteral("/dev/ttyUSB0")); }

    // Which COM numbers exist (and the device each means); COM1 only by default.
    void setDevice(int com, const QString& device) { devices_.insert(com, device); }
    void removeDevice(int com) { devices_.remove(com); }
    void clearDevices() { devices_.clear(); }
    // open() of this COM number fails with `e` (Error::None clears it).
    void setFailure(int com, Error e) {
        if (e == Error::None)
            failures_.remove(com);
        else
            failures_.insert(com, e);
    }
    // The device of the open port disappears (a USB adapter pulled out): the handle stays
    // "open" but dead, lines cannot move, and the device is gone from the machine.
    void vanish() {
        if (!open_) return;
        vanished_ = true;
        devices_.remove(openCom_);
        note(QStringLiteral("vanished"));
    }

    void setPortNumber(int comNumber) override { port_ = comNumber; }
    int portNumber() const override { return port_; }
    QString deviceFor(int comNumber) const override { return devices_.value(comNumber); }

    Error open() override {
        ++openCalls;
        if (open_ && !vanished_) return Error::AlreadyOpen;
        if (open_ && vanished_) dropHandle();
        if (const auto it = failures_.constFind(port_); it != failures_.constEnd()) return *it;
        if (!devices_.contains(port_)) return Error::NoSuchPort;
        open_ = true;
        openCom_ = port_;
        note(QStringLiteral("open COM") + QString::number(port_));
        return Error::None;
    }
    bool isOpen() const override { return open_; }
    void close() override {
        if (open_) dropHandle();
    }
    bool setRts(bool high) override { return setLine(rts_, high, QStringLiteral("rts")); }
    bool setDtr(bool high) override { return setLine(dtr_, high, QStringLiteral("dtr")); }
    QString lastErrorText() const override { return QStringLiteral("fake"); }

    bool rts() const { return rts_; }
    bool dtr() const { return dtr_; }
    // The relay is energised exactly while the port is open with a line raised.
    bool energised() const { return open_ && !vanished_ && (rts_ || dtr_); }

    QStringList log;
    QStringList* journal = nullptr;
    int openCalls = 0;
    // The port opens but its lines refuse to move (a device without modem lines).
    bool linesStuck = false;

private:
    bool setLine(bool& line, bool high, const QString& name) {
        if (!open_ || vanished_ || linesStuck) return false;
        if (line != high) {
            line = high;
            note(name + (high ? QStringLiteral(" on") : QStringLiteral(" off")));
        }
        return true;
    }
    void dropHandle() {
        if (rts_) note(QStringLiteral("rts off"));
        if (dtr_) note(QStringLiteral("dtr off"));
        rts_ = dtr_ = false;
        open_ = false;
        vanished_ = false;
        note(QStringLiteral("close"));
    }
    void note(const QString& what) {
        log.append(what);
        if (journal) journal->append(QStringLiteral("serial ") + what);
    }

    QMap<int, QString> devices_;
    QMap<int, Error> failures_;
    int port_ = 1;
    int openCom_ = 0;
    bool open_ = false;
    bool vanished_ = false;
    bool rts_ = false;
    bool dtr_ = false;
};

}  // namespace tavirin
