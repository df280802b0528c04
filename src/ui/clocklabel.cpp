#include "ui/clocklabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include <cmath>

namespace tavirin {

namespace {

// Letters drawn one by one look as they do in a line: printable ASCII, no joining, no marks.
bool drawnOneByOne(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e) return false;
    }
    return true;
}

}  // namespace

ClockLabel::ClockLabel(QWidget* parent) : QWidget(parent) {
    layout_ = layOut(text_);
}

void ClockLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    Layout next = layOut(text_);
    const bool sameCells = layout_.cellwise && next.cellwise &&
                           layout_.cells.size() == next.cells.size() && layout_.size == next.size;
    if (!sameCells) {
        layout_ = std::move(next);
        updateGeometry();
        update();
        return;
    }
    // The usual second: one or two digits changed in place. Only their cells (old glyph and
    // new, with the ink either reaches beyond its cell) are painted again.
    QRegion dirty;
    for (qsizetype i = 0; i < next.cells.size(); ++i) {
        const Cell& was = layout_.cells[i];
        const Cell& is = next.cells[i];
        if (was.letter != is.letter || was.x != is.x) dirty += was.area.united(is.area);
    }
    layout_ = std::move(next);
    update(dirty.translated(0, top()));
}

QSize ClockLabel::sizeHint() const { return layout_.size; }

int ClockLabel::top() const { return (height() - layout_.size.height()) / 2; }

ClockLabel::Layout ClockLabel::layOut(const QString& text) const {
    Layout l;
    const QFontMetricsF fm(font());
    l.cellwise = drawnOneByOne(text);
    if (!l.cellwise) {
        l.size = QFontMetrics(font())
                     .boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft | Qt::AlignVCenter, text)
                     .size();
        return l;
    }
    qreal x = 0;
    const qreal height = std::ceil(fm.height());
    for (QChar c : text) {
        const qreal advance = fm.horizontalAdvance(c);
        // Bold glyphs may reach past their advance; antialiasing takes a pixel more.
        const QRectF ink = fm.boundingRect(c).translated(x, fm.ascent());
        const QRectF cell(x, 0, advance, height);
        l.cells.append({c, x, cell.united(ink).toAlignedRect().adjusted(-1, -1, 1, 1)});
        x += advance;
    }
    l.size = QSize(int(std::ceil(x)), int(height));
    return l;
}

const QStaticText& ClockLabel::glyph(QChar letter) {
    auto it = glyphs_.find(letter.unicode());
    if (it == glyphs_.end()) {
        QStaticText t{QString(letter)};
        t.setTextFormat(Qt::PlainText);
        t.prepare(QTransform(), font());
        it = glyphs_.insert(letter.unicode(), t);
    }
    return *it;
}

void ClockLabel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(foregroundRole()));
    if (!layout_.cellwise) {
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text_);
        return;
    }
    const int y = top();
    for (const Cell& cell : layout_.cells) {
        // Neighbours whose ink reaches into the painted area are drawn too (clipped to it).
        if (!event->region().intersects(cell.area.translated(0, y))) continue;
        if (cell.letter != u' ') p.drawStaticText(QPointF(cell.x, y), glyph(cell.letter));
    }
}

void ClockLabel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        glyphs_.clear();
        layout_ = layOut(text_);
        updateGeometry();
        update();
    } else if (event->type() == QEvent::PaletteChange) {
        update();
    }
}

}  // namespace tavirin
