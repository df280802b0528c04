#pragma once

#include <QString>

namespace tavirin {

class FormModel;

// The shutdown box rule: ticked, the hour and minute choosers are usable and keep their values;
// cleared, both are disabled and set to "no".
void applyEnableRule(FormModel& form);

// Puts today's shutdown time in force: the choosers show it and Label28123 = hour:minute:00,
// which never equals a clock text when either part is "no". `enabled` is the stored box
// (number25): only "1" arms a time. The box itself is set by the caller, followed by
// applyEnableRule. `setChoosers` false leaves Combo49 and Combo50 as they are (start-up).
void armShutdown(FormModel& form, const QString& hour, const QString& minute,
                 const QString& enabled, bool setChoosers);

}  // namespace tavirin
