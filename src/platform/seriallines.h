#pragma once

#include <QString>

namespace tavirin {

// The modem-control lines of one serial port. Nothing is ever sent or received.
class SerialLines {
public:
    enum class Error {
        None,
        NoSuchPort,    // no such device, or it cannot be opened
        Permission,    // the device exists but this user may not open it (not in dialout)
        Busy,          // held by another program
        AlreadyOpen,   // our own port is open already
        Other,
    };

    virtual ~SerialLines() = default;

    // Selects the device for COM n (n = 1..7); takes effect at the next open.
    virtual void setPortNumber(int comNumber) = 0;
    virtual int portNumber() const = 0;
    // The device that COM n means on this machine, for the device panel ("" if none).
    virtual QString deviceFor(int comNumber) const = 0;

    // 9600,N,8,1, no flow control. Leaves both lines low; close() drops them.
    virtual Error open() = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual bool setRts(bool high) = 0;
    virtual bool setDtr(bool high) = 0;
    virtual QString lastErrorText() const = 0;
};

}  // namespace tavirin
