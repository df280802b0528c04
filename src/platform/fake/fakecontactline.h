#pragma once

#include "platform/contactline.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace tavirin {

// A contact whose line and time the test moves. It debounces with the same ContactDebouncer
// as TiocmiwaitContact and looks at the line when that adapter's thread would: at every move,
// and at a hold's deadline as time passes. The handlers are called at once, from inside the
// call that moved the line or the time (the real adapter calls them from the event loop).
//
// Time is the fake's own, in ms, starting at 0; it only moves by advance()/advanceTo().
// `log` holds "open COM2 DSR", "close", "lost <reason>", in order.
class FakeContactLine final : public ContactLine {
public:
    void setClosedHandler(ClosedHandler handler) override { closedHandler_ = std::move(handler); }
    void setLostHandler(LostHandler handler) override { lostHandler_ = std::move(handler); }

    // open() of this port fails with `why` ("" clears it).
    void setFailure(const QString& port, const QString& why) {
        if (why.isEmpty())
            failures_.remove(port);
        else
            failures_.insert(port, why);
    }

    Result open(const QString& port, Line line) override {
        if (open_) return Result::failure(port + QStringLiteral(": watched already"));
        if (const auto it = failures_.constFind(port); it != failures_.constEnd())
            return Result::failure(*it);
        open_ = true;
        port_ = port;
        line_ = line;
        debouncer_.start(closed_, nowMs_);
        log.append(QStringLiteral("open ") + port + u' ' + contactLineName(line));
        return Result::success();
    }
    bool isOpen() const override { return open_; }
    void close() override {
        if (!open_) return;
        open_ = false;
        log.append(QStringLiteral("close"));
    }

    // The contact closes or opens now (a move, even when it is at that level already: a
    // bounce too quick to be seen as anything else).
    void setClosed(bool closed) {
        closed_ = closed;
        if (open_) look(true);
    }
    // Time passes; the hold deadlines on the way are looked at.
    void advance(qint64 ms) { advanceTo(nowMs_ + ms); }
    void advanceTo(qint64 ms) {
        while (open_) {
            const qint64 due = debouncer_.deadlineMs();
            if (due < 0 || due > ms) break;
            nowMs_ = due;
            look(false);
            if (debouncer_.deadlineMs() == due) break;  // settled at its deadline, or it never will
        }
        nowMs_ = qMax(nowMs_, ms);
    }
    // A press of the button: closed for `heldMs`, then open and left alone long enough
    // for the next press to count.
    void press(qint64 heldMs = 500) {
        setClosed(true);
        advance(heldMs);
        setClosed(false);
        advance(ContactDebouncer::kHoldMs);
    }
    // The port goes away (an adapter unplugged): told once, and the port is closed.
    void vanish(const QString& reason = QStringLiteral("the port is gone")) {
        if (!open_) return;
        open_ = false;
        log.append(QStringLiteral("lost ") + reason);
        if (lostHandler_) lostHandler_(port_ + QStringLiteral(": ") + reason);
    }

    qint64 nowMs() const { return nowMs_; }
    QString port() const { return open_ ? port_ : QString(); }
    Line line() const { return line_; }
    bool contactClosed() const { return closed_; }
    int closures = 0;  // closures told
    QStringList log;

private:
    void look(bool moved) {
        if (!debouncer_.look(closed_, moved, nowMs_)) return;
        ++closures;
        if (closedHandler_) closedHandler_();
    }

    ClosedHandler closedHandler_;
    LostHandler lostHandler_;
    ContactDebouncer debouncer_;
    QMap<QString, QString> failures_;
    QString port_;
    Line line_ = Line::Dsr;
    bool open_ = false;
    bool closed_ = false;
    qint64 nowMs_ = 0;
};

}  // namespace tavirin
