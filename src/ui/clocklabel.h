#pragma once

#include <QHash>
#include <QList>
#include <QStaticText>
#include <QWidget>

namespace tavirin {

// A label for a text that changes every second in one or two characters, like the clock's
// "08:00:00" while the window is shown. Plain ASCII text is laid out character by character
// (each character's glyphs prepared once), so that when a digit changes only that digit's
// cell is painted again and handed to the display; a QLabel would shape, paint and send its
// whole text each second. Any other text (Thai, which joins and stacks its marks) is drawn
// whole, as a QLabel draws it. Left-aligned and centred vertically, sized by its text.
class ClockLabel : public QWidget {
    Q_OBJECT
public:
    explicit ClockLabel(QWidget* parent = nullptr);

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
        QRect area;  // the cell and any ink of its glyph outside it
    };
    struct Layout {
        bool cellwise = false;
        QList<Cell> cells;
        QSize size;
    };

    Layout layOut(const QString& text) const;
    const QStaticText& glyph(QChar letter);
    int top() const;

    QString text_;
    Layout layout_;
    QHash<char16_t, QStaticText> glyphs_;  // per font: cleared when the font changes
};

}  // namespace tavirin
