#pragma once

#include <QString>

namespace tavirin {

// The modem-control lines of one serial port. Nothing is ever sent or received.
class SerialLines {
public:
    enum class Error {
        None,
        NoSuchPort,   // no such device, or it cannot be opened
        Permission,   // the device exists but this user may not open it (not in dialout)
        Busy,         // held by another program
        AlreadyOpen,  // our own port is open already
        Other,
    };

    virtual ~SerialLines() = default;

    // Selects the device for COM n (n = 1..7); takes effect at the next open.
    virtual void setPortNumber(int comNumber) = 0;
    virtual int portNumber() const = 0;
    // The device that COM n means on this machine, for the device panel ("" if none).
    virtual QString deviceFor(int comNumber) const = 0;
    // A name of that device that stays the same when devices come and go: its
    // /dev/serial/by-id link where udev made one, else its device path ("" if none).
    virtual QString identityFor(int comNumber) const = 0;
    // The device saved with the port, as identityFor() named it. While set, open() uses
    // that device and no other; when it is not there, the port cannot be opened (NoSuchPort).
    // "" (a store from before): COM n is whatever device is n-th now.
    virtual void setSavedDevice(const QString& identity) = 0;

    // 9600,N,8,1, no flow control. Leaves both lines low; close() drops them.
    virtual Error open() = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual bool setRts(bool high) = 0;
    virtual bool setDtr(bool high) = 0;
    virtual QString lastErrorText() const = 0;
};

}  // namespace tavirin
