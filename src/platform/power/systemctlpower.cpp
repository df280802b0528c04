#include "platform/power/systemctlpower.h"

#include "platform/logging.h"

namespace tavirin {

Result SystemctlPower::powerOff() {
    const Result r =
        processes_.startDetached(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
    if (r)
        qCInfo(lcShutdown) << "asked the system to power off (systemctl poweroff)";
    else
        qCWarning(lcShutdown).noquote() << "could not ask the system to power off:" << r.error;
    return r;
}

}  // namespace tavirin
