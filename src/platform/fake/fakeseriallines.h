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

    // Which COM numbers exist (and the device each means, and its stable name when it has
    // one other than the device path); COM1 only by default.
    void setDevice(int com, const QString& device, const QString& identity = QString()) {
        devices_.insert(com, device);
        if (identity.isEmpty())
            identities_.remove(com);
        else
            identities_.insert(com, identity);
    }
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
    QString identityFor(int comNumber) const override {
        if (!devices_.contains(comNumber)) return {};
        return identities_.value(comNumber, devices_.value(comNumber));
    }
    void setSavedDevice(const QString& identity) override { saved_ = identity; }
    // The device the open port is on ("" when closed).
    QString openDevice() const { return open_ ? openDevice_ : QString(); }

    Error open() override {
        ++openCalls;
        if (open_ && !vanished_) return Error::AlreadyOpen;
        if (open_ && vanished_) dropHandle();
        if (const auto it = failures_.constFind(port_); it != failures_.constEnd()) return *it;
        int com = port_;
        if (!saved_.isEmpty()) {
            com = 0;
            for (auto it = devices_.cbegin(); it != devices_.cend(); ++it)
                if (identityFor(it.key()) == saved_) com = it.key();
        }
        if (!devices_.contains(com)) return Error::NoSuchPort;
        open_ = true;
        openCom_ = com;
        openDevice_ = devices_.value(com);
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
    QMap<int, QString> identities_;
    QString saved_;
    QString openDevice_;
    QMap<int, Error> failures_;
    int port_ = 1;
    int openCom_ = 0;
    bool open_ = false;
    bool vanished_ = false;
    bool rts_ = false;
    bool dtr_ = false;
};

}  // namespace tavirin
