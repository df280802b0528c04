#pragma once

#include "platform/trayicon.h"

class QMenu;

namespace tavirin {

// Fills `menu` with the entries (submenus and separators included), replacing what it held.
// Whether an entry can be chosen is asked afresh each time its menu opens.
void fillMenu(QMenu& menu, const QList<TrayMenuEntry>& entries);

}  // namespace tavirin
