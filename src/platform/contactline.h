#pragma once

#include "platform/result.h"

#include <QString>
#include <QtGlobal>

#include <functional>

namespace tavirin {

// An emergency contact (a push button, a fire panel's dry contact) between an output line
// of a serial port that this program holds high and one of the port's input lines. The
// contact closed makes the input line asserted; that is the only sense there is
// (docs/EMERGENCY.md, "The contact", has the wiring).
//
// A closure is told once it has lasted ContactDebouncer::kHoldMs; a contact that chatters,
// or closes for less, tells nothing. One closure is one event: the contact must have been
// open again for as long before the next closure counts. A contact that is closed already
// when the port is opened counts only after it has opened (a stuck button, or a fire panel
// still in alarm when the program restarts, does not start an emergency by itself).
//
// Both handlers are called in the Qt event loop of the thread the watcher belongs to (the
// one that made it), never from inside open() or close(). A handler may close the port.
class ContactLine {
public:
    enum class Line { Cts, Dsr, Dcd };
    using ClosedHandler = std::function<void()>;
    // Why the port can no longer be watched. Told once; the port is closed by then, and
    // open() may be tried again later (a USB adapter plugged back in).
    using LostHandler = std::function<void(const QString& reason)>;

    virtual ~ContactLine() = default;

    virtual void setClosedHandler(ClosedHandler handler) = 0;
    virtual void setLostHandler(LostHandler handler) = 0;

    // Starts watching `line` of `port`: a device path (/dev/ttyUSB1, a /dev/serial/by-id
    // link) or "COM n" as the relay's port numbers them (docs/SERIAL.md). Raises the port's
    // DTR and RTS, which feed the contact, until close().
    virtual Result open(const QString& port, Line line) = 0;
    virtual bool isOpen() const = 0;
    // Stops watching and drops DTR and RTS. Nothing more is told after it returns, also not
    // a closure that was on its way.
    virtual void close() = 0;
};

// "CTS", "DSR", "DCD": the names the settings and the log use.
QString contactLineName(ContactLine::Line line);
// The reverse, case-insensitive; false for anything else.
bool contactLineFromName(const QString& name, ContactLine::Line* line);

// The debounce of a contact, as a rule on looks at the line: each look says the level now,
// when (ms on a clock that never jumps), and whether the line has moved since the previous
// look even if it reads the same now (a driver's transition counters show a bounce that the
// level alone hides). The debounced state follows the line once the line has stayed at a
// new level for kHoldMs with no move in between; a change of the debounced state from open
// to closed is the event. A move restarts the hold from the look that saw it: the moment of
// the move itself is not known, so the hold is never shorter than kHoldMs.
//
// Whoever looks must look again at deadlineMs(), so that a closure held without a further
// move is seen. No state of its own beyond the looks; no clock.
class ContactDebouncer {
public:
    static constexpr qint64 kHoldMs = 200;

    // The first look, when the port is opened: the debounced state starts as the line is.
    void start(bool closed, qint64 atMs);
    // A later look. True when this look completes a closure (once per closure).
    bool look(bool closed, bool moved, qint64 atMs);

    // When the next look is due; -1 while the line agrees with the debounced state and only
    // a move of the line can change anything.
    qint64 deadlineMs() const { return line_ != state_ ? since_ + kHoldMs : -1; }
    // The debounced state, and the line as last seen.
    bool closed() const { return state_; }
    bool lineClosed() const { return line_; }

private:
    bool state_ = false;
    bool line_ = false;
    qint64 since_ = 0;  // the look at which the line was last seen to move
};

}  // namespace tavirin
