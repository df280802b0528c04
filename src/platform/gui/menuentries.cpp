#include "platform/gui/menuentries.h"

#include <QMenu>

namespace tavirin {

void fillMenu(QMenu& menu, const QList<TrayMenuEntry>& entries) {
    // Submenus are children of their menu, which clear() leaves alone: a menu filled anew all
    // day long must not grow.
    for (QMenu* sub : menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) delete sub;
    menu.clear();
    for (const TrayMenuEntry& e : entries) {
        if (e.caption.isEmpty()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = nullptr;
        if (!e.children.isEmpty()) {
            QMenu* sub = menu.addMenu(e.caption);
            fillMenu(*sub, e.children);
            action = sub->menuAction();
        } else {
            action = menu.addAction(e.caption);
            QObject::connect(action, &QAction::triggered, action, [run = e.run] {
                if (run) run();
            });
        }
        // Tied to the action, so the connection goes with it.
        if (e.available)
            QObject::connect(&menu, &QMenu::aboutToShow, action, [action, available = e.available] {
                action->setEnabled(available());
            });
    }
}

}  // namespace tavirin
