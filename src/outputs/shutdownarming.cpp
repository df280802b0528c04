#include "outputs/shutdownarming.h"

#include "model/formmodel.h"
#include "platform/logging.h"
#include "store/dayprogram.h"

namespace tavirin {

void applyEnableRule(FormModel& form) {
    const QString hour = QStringLiteral("Combo49");
    const QString minute = QStringLiteral("Combo50");
    if (form.checked(QStringLiteral("Check26"))) {
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
        if (!form.setComboText(QStringLiteral("Combo49"), hour))
            qCWarning(lcShutdown) << "stored shutdown hour" << hour << "is not a list entry";
        if (!form.setComboText(QStringLiteral("Combo50"), minute))
            qCWarning(lcShutdown) << "stored shutdown minute" << minute << "is not a list entry";
    }
    const QString armed = shutdownTrigger(hour, minute, enabled);
    if (armed == QLatin1String("no:no:00") && hour != QLatin1String("no") &&
        minute != QLatin1String("no") && !hour.isEmpty())
        qCWarning(lcShutdown) << "shutdown time" << hour + u':' + minute
                              << "is stored with the box not ticked; not armed";
    form.setText(QStringLiteral("Label28123"), armed);
    if (armed != QLatin1String("no:no:00")) qCInfo(lcShutdown) << "shutdown armed at" << armed;
}

}  // namespace tavirin
