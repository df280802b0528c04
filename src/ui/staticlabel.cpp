#include "ui/staticlabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
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

// What a screen reader reads: the label's text, as it would read a QLabel's.
class AccessibleStaticLabel : public QAccessibleWidget {
public:
    explicit AccessibleStaticLabel(StaticLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const StaticLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* accessibleStaticLabel(const QString& className, QObject* object) {
    if (className == QLatin1String(StaticLabel::staticMetaObject.className()) && object)
        return new AccessibleStaticLabel(static_cast<StaticLabel*>(object));
    return nullptr;
}

}  // namespace

StaticLabel::StaticLabel(Drawing drawing, QWidget* parent) : QWidget(parent), drawing_(drawing) {
    static const bool accessible = [] {
        QAccessible::installFactory(accessibleStaticLabel);
        return true;
    }();
    Q_UNUSED(accessible);
    layout_ = layOut(text_);
}

void StaticLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
    Layout next = layOut(text_);
    const bool sameCells = layout_.cellwise && next.cellwise &&
                           layout_.cells.size() == next.cells.size() && layout_.size == next.size;
    if (!sameCells) {
        layout_ = std::move(next);
        updateGeometry();
        update();
        return;
    }
    // The usual second: one or two digits changed in place. Only where the old glyphs and
    // the new leave pixels is painted again.
    QRegion dirty;
    for (qsizetype i = 0; i < next.cells.size(); ++i) {
        const Cell& was = layout_.cells[i];
        const Cell& is = next.cells[i];
        if (was.letter != is.letter || was.x != is.x) dirty += was.ink.united(is.ink);
    }
    layout_ = std::move(next);
    update(dirty.translated(0, top()));
}

QSize StaticLabel::sizeHint() const { return layout_.size; }

int StaticLabel::top() const { return (height() - layout_.size.height()) / 2; }

StaticLabel::Layout StaticLabel::layOut(const QString& text) const {
    Layout l;
    const QFontMetricsF fm(font());
    l.cellwise = drawing_ == Drawing::ByCharacter && drawnOneByOne(text);
    if (!l.cellwise) {
        l.line.setText(text);
        l.line.setTextFormat(Qt::PlainText);
        l.line.prepare(QTransform(), font());
        l.size = QFontMetrics(font())
                     .boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft | Qt::AlignVCenter, text)
                     .size();
        return l;
    }
    qreal x = 0;
    for (QChar c : text) {
        // Bold glyphs may reach past their advance; antialiasing takes a pixel more.
        const QRectF ink = fm.boundingRect(c).translated(x, fm.ascent());
        l.cells.append({c, x, ink.toAlignedRect().adjusted(-1, -1, 1, 1)});
        x += fm.horizontalAdvance(c);
    }
    l.size = QSize(int(std::ceil(x)), int(std::ceil(fm.height())));
    return l;
}

const QStaticText& StaticLabel::glyph(QChar letter) {
    auto it = glyphs_.find(letter.unicode());
    if (it == glyphs_.end()) {
        QStaticText t{QString(letter)};
        t.setTextFormat(Qt::PlainText);
        t.prepare(QTransform(), font());
        it = glyphs_.insert(letter.unicode(), t);
    }
    return *it;
}

void StaticLabel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(foregroundRole()));
    const int y = top();
    if (!layout_.cellwise) {
        p.drawStaticText(QPointF(0, y), layout_.line);
        return;
    }
    for (const Cell& cell : layout_.cells) {
        // Neighbours whose ink reaches into the painted area are drawn too (clipped to it).
        if (!cell.ink.isEmpty() && event->region().intersects(cell.ink.translated(0, y)))
            p.drawStaticText(QPointF(cell.x, y), glyph(cell.letter));
    }
}

void StaticLabel::changeEvent(QEvent* event) {
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
