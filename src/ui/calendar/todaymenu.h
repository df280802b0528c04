#pragma once

#include "platform/trayicon.h"

#include <functional>

class QWidget;

namespace tavirin {

class BellCore;
class Dialogs;

// The menu of today's changes: no bells today, skip the next bell, another weekday's program
// today, today's remaining bells later or earlier; then one entry per change in force that
// takes it back; then the school calendar. `nested` puts the four changes in a submenu
// (the tray's menu stays short). Built afresh each time: it shows the day as it stands.
// Each entry asks the core, as the operator (questions come up in `dialogs`, and so does
// what became of it).
QList<TrayMenuEntry> todayMenu(BellCore& core, Dialogs& dialogs,
                               const std::function<void()>& openCalendar, bool nested);

// Shows the entries as a menu under `button` and runs the one chosen.
void popUpMenu(QWidget& button, const QList<TrayMenuEntry>& entries);

}  // namespace tavirin
