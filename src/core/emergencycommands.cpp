// The emergency: started and ended from the window, the tray, the session bus, a contact.
#include "core/bellcore.h"

#include "core/bellcoreparts.h"
#include "core/emergency.h"
#include "journal/journal.h"
#include "platform/clock.h"
#include "platform/contactline.h"
#include "platform/logging.h"
#include "store/keylayout.h"
#include "store/programstore.h"

namespace tavirin {

Outcome BellCore::startEmergency(const QString& kind, const QString& from) {
    return p_->emergency.start(kind, from);
}

Outcome BellCore::allClear(const QString& from) {
    return p_->emergency.allClear(from);
}

void BellCore::watchContact() {
    ContactLine* contact = p_->a.contact;
    if (!contact) return;
    contact->close();
    const QString app = keys::kBaseApplication;
    const QString section = QStringLiteral("emergency_contact");
    const QString port = p_->a.store.GetSetting(app, section, QStringLiteral("port")).trimmed();
    if (port.isEmpty()) return;
    const QString lineName = p_->a.store.GetSetting(app, section, QStringLiteral("line"));
    ContactLine::Line line = ContactLine::Line::Dsr;
    if (!lineName.isEmpty() && !contactLineFromName(lineName, &line))
        qCWarning(lcRelay).noquote()
            << "emergency contact: line" << lineName << "is none of CTS, DSR, DCD; watching DSR";
    QString kind = p_->a.store.GetSetting(app, section, QStringLiteral("kind")).trimmed();
    if (kind.isEmpty()) kind = QStringLiteral("evacuate");
    const auto tell = [this](const QString& why) {
        qCWarning(lcRelay).noquote() << "emergency contact:" << why;
        p_->a.dialogs.notice(QStringLiteral("เหตุฉุกเฉิน"),
                             QStringLiteral("ปุ่มฉุกเฉินที่ต่อกับพอร์ตใช้งานไม่ได้: ") + why);
    };
    // The relay drops its port's lines whenever the amplifier goes off: not the contact's.
    const QString relayPort = p_->relay.currentPort();
    if (!relayPort.isEmpty() &&
        (port.compare(QStringLiteral("COM ") + relayPort, Qt::CaseInsensitive) == 0 ||
         port.compare(QStringLiteral("COM") + relayPort, Qt::CaseInsensitive) == 0)) {
        tell(port +
             QStringLiteral(" is the amplifier relay's port; the contact needs a port of its own"));
        return;
    }
    contact->setClosedHandler([this, kind] {
        const std::optional<Emergency::InForce>& f = p_->emergency.inForce();
        if (f && f->kind.id == kind && f->phase != Emergency::Phase::AllClear) {
            qCInfo(lcRelay) << "emergency contact closed again;" << kind << "is in force already";
            return;
        }
        qCWarning(lcRelay) << "emergency contact closed: starting" << kind;
        const Outcome o = p_->emergency.start(kind, journal::kFromContact);
        if (!o) qCWarning(lcRelay).noquote() << "emergency contact:" << o.reason;
    });
    // A port that disappears is in the day's record too: nobody may be at the PC to read
    // the notice, and the school must learn that the button was dead.
    contact->setLostHandler([this, tell, port](const QString& why) {
        tell(why);
        if (Journal* j = p_->a.journal)
            j->recordAction({p_->a.clock.now(), journal::kFromContact, QString(), port,
                             QStringLiteral("ปุ่มฉุกเฉินใช้งานไม่ได้"), QStringLiteral("failed"),
                             why});
    });
    if (const Result r = contact->open(port, line); !r) {
        tell(r.error);
        return;
    }
    qCInfo(lcRelay).noquote() << "emergency contact watched on" << port << contactLineName(line)
                              << "for" << kind;
}

Outcome BellCore::heldByEmergency() const {
    const std::optional<Emergency::InForce>& f = p_->emergency.inForce();
    if (!f) return Outcome::done();
    return Outcome::refused(
        QStringLiteral("มีเหตุฉุกเฉิน \"%1\" อยู่ ต้องประกาศสิ้นสุดเหตุฉุกเฉินก่อน").arg(f->kind.name));
}

}  // namespace tavirin
