#include "platform/time/timedatedclocksync.h"

#include <QAtomicInt>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace tavirin {

namespace {
const QString kService = QStringLiteral("org.freedesktop.timedate1");
const QString kPath = QStringLiteral("/org/freedesktop/timedate1");

ClockSync::Answer ask(QDBusConnection& bus) {
    if (!bus.isConnected())
        return {ClockSync::State::Unknown,
                QStringLiteral("no system bus: %1").arg(bus.lastError().message())};
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << kService << QStringLiteral("NTPSynchronized");
    const QDBusMessage reply = bus.call(call, QDBus::Block, TimedatedClockSync::kCallLimitMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {ClockSync::State::Unknown,
                QStringLiteral("timedated did not answer: %1").arg(reply.errorMessage())};
    const QVariant value = reply.arguments().value(0).value<QDBusVariant>().variant();
    if (value.typeId() != QMetaType::Bool)
        return {ClockSync::State::Unknown,
                QStringLiteral("timedated's NTPSynchronized is not a truth value")};
    return value.toBool() ? ClockSync::Answer{ClockSync::State::Synchronised,
                                              QStringLiteral("synchronised (timedated)")}
                          : ClockSync::Answer{
                                ClockSync::State::NotSynchronised,
                                QStringLiteral("not synchronised with network time (timedated)")};
}
}  // namespace

TimedatedClockSync::TimedatedClockSync(QString busAddress) : busAddress_(std::move(busAddress)) {}

ClockSync::Answer TimedatedClockSync::query() {
    if (busAddress_.isEmpty()) {
        QDBusConnection bus = QDBusConnection::systemBus();
        return ask(bus);
    }
    // a connection of its own per call: the call may come from any thread
    static QAtomicInt serial;
    const QString name = QStringLiteral("tavirin-clocksync-%1").arg(serial.fetchAndAddRelaxed(1));
    Answer out;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(busAddress_, name);
        out = ask(bus);
    }
    QDBusConnection::disconnectFromBus(name);
    return out;
}

}  // namespace tavirin
