#pragma once

#include <QDBusAbstractAdaptor>
#include <QObject>
#include <QString>

namespace tavirin {

class BellCore;
class WebPage;
class Alerter;

// The core on the user's session bus, for scripts and checks: bus name org.tavirin.Bells,
// object /org/tavirin/Bells, interface org.tavirin.Bells1 (docs/DBUS.md). Every call is
// answered at once; during a bell it is refused or saved for after it, never held.
class BellsBus : public QObject {
    Q_OBJECT
public:
    static inline const QString kService = QStringLiteral("org.tavirin.Bells");
    static inline const QString kPath = QStringLiteral("/org/tavirin/Bells");
    static inline const QString kInterface = QStringLiteral("org.tavirin.Bells1");

    // `web`: the network page the Enable/Disable/SetWebPassword calls drive; none: refused.
    explicit BellsBus(BellCore& core, WebPage* web = nullptr, Alerter* alerter = nullptr,
                      QObject* parent = nullptr);
    ~BellsBus() override;

    // Registers on the session bus; false (logged) when there is none or the name is taken
    // (another copy runs): the bells ring all the same.
    bool start();

private:
    BellCore& core_;
    bool registered_ = false;
};

// The interface itself, on the object BellsBus exports.
class BellsAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tavirin.Bells1")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.tavirin.Bells1\">\n"
                "    <method name=\"AnnounceNow\">\n"
                "      <arg name=\"accepted\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"reason\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"RingPeriod\">\n"
                "      <arg name=\"period\" type=\"i\" direction=\"in\"/>\n"
                "      <arg name=\"accepted\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"reason\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"SetTodayChange\">\n"
                "      <arg name=\"change\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"value\" type=\"i\" direction=\"in\"/>\n"
                "      <arg name=\"accepted\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"reason\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"StartEmergency\">\n"
                "      <arg name=\"kind\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"accepted\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"reason\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"AllClear\">\n"
                "      <arg name=\"accepted\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"reason\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"EnableWebPage\">\n"
                "      <arg name=\"port\" type=\"i\" direction=\"in\"/>\n"
                "      <arg name=\"https\" type=\"b\" direction=\"in\"/>\n"
                "      <arg name=\"ok\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"url\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"DisableWebPage\">\n"
                "      <arg name=\"ok\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"reason\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"SetWebPassword\">\n"
                "      <arg name=\"role\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"password\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"ok\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"reason\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"ConfigureAlerts\">\n"
                "      <arg name=\"json\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"ok\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"reason\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"State\">\n"
                "      <arg name=\"json\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <signal name=\"StateChanged\">\n"
                "      <arg name=\"json\" type=\"s\"/>\n"
                "    </signal>\n"
                "  </interface>\n")
public:
    BellsAdaptor(BellCore& core, WebPage* web, Alerter* alerter, QObject* parent);

public slots:
    bool AnnounceNow(QString& reason);
    bool RingPeriod(int period, QString& reason);
    bool SetTodayChange(const QString& change, int value, QString& reason);
    bool StartEmergency(const QString& kind, QString& reason);
    bool AllClear(QString& reason);
    bool EnableWebPage(int port, bool https, QString& url);
    bool DisableWebPage(QString& reason);
    bool SetWebPassword(const QString& role, const QString& password, QString& reason);
    bool ConfigureAlerts(const QString& json, QString& reason);
    QString State();

signals:
    void StateChanged(const QString& json);

private:
    BellCore& core_;
    WebPage* web_;
    Alerter* alerter_;
};

}  // namespace tavirin
