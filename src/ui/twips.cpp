#include "ui/twips.h"

#include <QWidget>

namespace tavirin {

Twips Twips::forWidget(const QWidget* w) { return Twips(w ? w->logicalDpiX() : 96.0); }

}  // namespace tavirin
