#include "ui/outcomebox.h"

#include "platform/dialogs.h"

namespace tavirin {

void showOutcome(Dialogs& dialogs, const QString& title, const Outcome& outcome) {
    if (outcome.reason.isEmpty()) return;
    const Dialogs::Icon icon = outcome.status == Outcome::Status::Failed
                                   ? Dialogs::Icon::Critical
                                   : Dialogs::Icon::Information;
    dialogs.message(icon, title, outcome.reason);
}

}  // namespace tavirin
