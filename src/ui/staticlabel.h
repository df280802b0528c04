#pragma once

#include <QHash>
#include <QList>
#include <QStaticText>
#include <QWidget>

namespace tavirin {

// A label whose text is laid out when it changes, not at every paint, for the large labels
// a shown window paints again every second: the clock, and the title whose box the clock's
// digits reach into (a QLabel shapes its whole text at each paint, and Qt paints a sibling
// under any part of a repainted area).
//
// ByCharacter (the clock): plain ASCII text is laid out one character at a time, each
// character's glyphs prepared once, so that when a digit changes only that digit's cell is
// painted again and handed to the display. Other text (Thai, which joins and stacks its
// marks) is laid out whole, as with Whole.
// Whole (the title): the text is laid out as a line, kerning and shaping included.
// Left-aligned and centred vertically, like a QLabel; sized by its text.
class StaticLabel : public QWidget {
    Q_OBJECT
public:
    enum class Drawing { ByCharacter, Whole };
    explicit StaticLabel(Drawing drawing, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Cell {
        QChar letter;
        qreal x = 0;
        QRect ink;  // where the glyph leaves pixels (with a pixel for antialiasing), line top 0
    };
    struct Layout {
        bool cellwise = false;
        QList<Cell> cells;
        QStaticText line;  // when not cellwise
        QSize size;
    };

    Layout layOut(const QString& text) const;
    const QStaticText& glyph(QChar letter);
    int top() const;

    Drawing drawing_;
    QString text_;
    Layout layout_;
    QHash<char16_t, QStaticText> glyphs_;  // for the current font
};

}  // namespace tavirin
