#pragma once

#include <QRect>

class QWidget;

namespace tavirin {

// Positions in the design are twips (1/1440 inch); the screen's logical DPI turns them into
// pixels (15 twips per pixel at 96 DPI).
class Twips {
public:
    explicit Twips(double logicalDpi = 96.0) : dpi_(logicalDpi > 0 ? logicalDpi : 96.0) {}
    static Twips forWidget(const QWidget* w);

    int toPx(int twips) const { return qRound(twips * dpi_ / 1440.0); }
    int toTwips(int px) const { return qRound(px * 1440.0 / dpi_); }
    QRect rect(int x, int y, int w, int h) const { return {toPx(x), toPx(y), toPx(w), toPx(h)}; }
    double twipsPerPixel() const { return 1440.0 / dpi_; }

private:
    double dpi_;
};

}  // namespace tavirin
