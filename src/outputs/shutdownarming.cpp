#include "outputs/shutdownarming.h"

#include "model/controlnames.h"
#include "model/formmodel.h"
#include "platform/logging.h"
#include "store/dayprogram.h"

namespace tavirin {

void applyEnableRule(FormModel& form) {
    const QString hour = ctl::Combo49;
    const QString minute = ctl::Combo50;
    if (form.checked(ctl::Check26)) {
        form.setEnabled(hour, true);
        form.setEnabled(minute, true);
    } else {
        form.setEnabled(hour, false);
        form.setEnabled(minute, false);
        form.setComboText(hour, QStringLiteral("no"));
        form.setComboText(minute, QStringLiteral("no"));
    }
}

void armShutdown(FormModel& form, const QString& hour, const QString& minute,
                 const QString& enabled, bool setChoosers) {
    if (setChoosers) {
        if (!form.setComboText(ctl::Combo49, hour))
            qCWarning(lcShutdown) << "stored shutdown hour" << hour << "is not a list entry";
        if (!form.setComboText(ctl::Combo50, minute))
            qCWarning(lcShutdown) << "stored shutdown minute" << minute << "is not a list entry";
    }
    // What is armed follows from the day's plan; here only what is wrong with it is said.
    if (enabled != QLatin1String("1") && hour != QLatin1String("no") &&
        minute != QLatin1String("no") && !hour.isEmpty())
        qCWarning(lcShutdown) << "shutdown time" << hour + u':' + minute
                              << "is stored with the box not ticked; not armed";
    else if (enabled == QLatin1String("1") && !shutdownTime(hour, minute, enabled).isValid() &&
             hour != QLatin1String("no"))
        qCWarning(lcShutdown) << "shutdown time" << hour + u':' + minute
                              << "is not a time of day; not armed";
}

}  // namespace tavirin
