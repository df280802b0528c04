#pragma once

#include "platform/trayicon.h"

namespace tavirin {

class BellCore;
class Dialogs;

// The emergency's menu, as the window's red button and the tray offer it: while one is in
// force, its all clear first; then each kind the school has. Each entry asks one question
// (Yes/No, No the default) and then asks the core; `from` is where it was chosen
// (journal::kFromWindow, kFromTray).
QList<TrayMenuEntry> emergencyMenu(BellCore& core, Dialogs& dialogs, const QString& from);

}  // namespace tavirin
