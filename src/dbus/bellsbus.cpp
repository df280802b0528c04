#include "dbus/bellsbus.h"

#include "core/bellcore.h"
#include "journal/journal.h"
#include "platform/logging.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace tavirin {

namespace {

bool answer(const Outcome& o, QString& reason, const char* what) {
    reason = o.reason;
    qCInfo(lcUi).noquote() << "session bus:" << what << (o.accepted() ? "accepted" : "refused")
                           << (o.reason.isEmpty() ? QString() : u'(' + o.reason + u')');
    return o.accepted();
}

}  // namespace

BellsAdaptor::BellsAdaptor(BellCore& core, QObject* parent)
    : QDBusAbstractAdaptor(parent), core_(core) {
    // The picture goes out only when it changed, never for the clock alone.
    connect(&core_, &BellCore::stateChanged, this,
            [this] { emit StateChanged(QString::fromUtf8(toJsonText(core_.state()))); });
}

bool BellsAdaptor::AnnounceNow(QString& reason) {
    return answer(core_.announceNow(), reason, "AnnounceNow");
}

bool BellsAdaptor::RingPeriod(int period, QString& reason) {
    return answer(core_.ringPeriod(period), reason, "RingPeriod");
}

bool BellsAdaptor::SetTodayChange(const QString& change, int value, QString& reason) {
    return answer(core_.setTodayChange(change, value, BellCore::Asker::Remote), reason,
                  "SetTodayChange");
}

bool BellsAdaptor::StartEmergency(const QString& kind, QString& reason) {
    return answer(core_.startEmergency(kind, journal::kFromBus), reason, "StartEmergency");
}

bool BellsAdaptor::AllClear(QString& reason) {
    return answer(core_.allClear(journal::kFromBus), reason, "AllClear");
}

QString BellsAdaptor::State() {
    return QString::fromUtf8(toJsonText(core_.state()));
}

BellsBus::BellsBus(BellCore& core, QObject* parent) : QObject(parent), core_(core) {
    new BellsAdaptor(core_, this);
}

BellsBus::~BellsBus() {
    if (!registered_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(kPath);
    bus.unregisterService(kService);
}

bool BellsBus::start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcUi).noquote() << "no session bus (" << bus.lastError().message()
                                  << "): the bells are not offered there";
        return false;
    }
    if (!bus.registerObject(kPath, this)) {
        qCWarning(lcUi).noquote() << "the session bus refused the object" << kPath;
        return false;
    }
    if (!bus.registerService(kService)) {
        qCWarning(lcUi).noquote() << "the session bus name" << kService
                                  << "is taken:" << bus.lastError().message();
        bus.unregisterObject(kPath);
        return false;
    }
    registered_ = true;
    qCInfo(lcUi).noquote() << "offered on the session bus as" << kService;
    return true;
}

}  // namespace tavirin
