#include "dbus/bellsbus.h"

#include "alerts/alerter.h"
#include "core/bellcore.h"
#include "journal/journal.h"
#include "platform/logging.h"
#include "web/webpage.h"

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

BellsAdaptor::BellsAdaptor(BellCore& core, WebPage* web, Alerter* alerter, QObject* parent)
    : QDBusAbstractAdaptor(parent), core_(core), web_(web), alerter_(alerter) {
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

namespace {
const QString kNoPage = QStringLiteral("โปรแกรมนี้ไม่มีหน้าเว็บ");
}

bool BellsAdaptor::EnableWebPage(int port, bool https, QString& url) {
    if (!web_) return answer(Outcome::refused(kNoPage), url, "EnableWebPage");
    if (port < 1 || port > 65535)
        return answer(Outcome::refused(QStringLiteral("พอร์ตต้องเป็น 1 ถึง 65535")), url,
                      "EnableWebPage");
    // The addresses the school chose stay.
    const Outcome o = web_->enable(quint16(port), https, web_->settings().addresses);
    const bool ok = answer(o, url, "EnableWebPage");
    // Done: the page's address; else why not.
    if (ok) url = web_->url();
    return ok;
}

bool BellsAdaptor::DisableWebPage(QString& reason) {
    if (!web_) return answer(Outcome::refused(kNoPage), reason, "DisableWebPage");
    return answer(web_->disable(), reason, "DisableWebPage");
}

bool BellsAdaptor::SetWebPassword(const QString& role, const QString& password, QString& reason) {
    if (!web_) return answer(Outcome::refused(kNoPage), reason, "SetWebPassword");
    const std::optional<WebRole> r = roleFromId(role);
    if (!r)
        return answer(Outcome::refused(QStringLiteral("บทบาทต้องเป็น admin หรือ teacher")), reason,
                      "SetWebPassword");
    return answer(web_->setPassword(*r, password), reason, "SetWebPassword");
}

bool BellsAdaptor::ConfigureAlerts(const QString& json, QString& reason) {
    if (!alerter_)
        return answer(Outcome::refused(QStringLiteral("โปรแกรมนี้ไม่มีการแจ้งเตือน")), reason,
                      "ConfigureAlerts");
    // (The JSON holds tokens: only the answer is logged.)
    return answer(alerter_->configure(json.toUtf8()), reason, "ConfigureAlerts");
}

QString BellsAdaptor::State() {
    return QString::fromUtf8(toJsonText(core_.state()));
}

BellsBus::BellsBus(BellCore& core, WebPage* web, Alerter* alerter, QObject* parent)
    : QObject(parent), core_(core) {
    new BellsAdaptor(core_, web, alerter, this);
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
