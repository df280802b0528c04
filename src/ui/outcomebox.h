#pragma once

#include "platform/outcome.h"

namespace tavirin {

class Dialogs;

// What the operator is told of an outcome: a refusal's reason or a note in an information box,
// a failure in a critical one; nothing when there is no text (an operator who said "no").
void showOutcome(Dialogs& dialogs, const QString& title, const Outcome& outcome);

}  // namespace tavirin
