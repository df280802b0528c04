#include "ui/form1.h"

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "platform/logging.h"
#include "ui/pictures.h"
#include "ui/staticlabel.h"
#include "ui/twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace tavirin {

namespace {

QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

QFont fontFor(FontRole role) {
    QFont f(QStringLiteral("Loma"));
    switch (role) {
        case FontRole::Normal: f.setPointSize(9); break;
        case FontRole::Bold: f.setPointSize(9); f.setBold(true); break;
        case FontRole::Clock:
            f.setFamily(QStringLiteral("Garuda"));
            f.setPointSize(34);
            f.setBold(true);
            break;
        case FontRole::Title:
            f.setFamily(QStringLiteral("Garuda"));
            f.setPointSize(26);
            f.setBold(true);
            break;
        case FontRole::Countdown: f.setPointSize(18); f.setBold(true); break;
        case FontRole::BigCountdown: f.setPointSize(44); f.setBold(true); break;
    }
    return f;
}

}  // namespace

Form1::Form1(FormModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tavirin"));
    setWindowIcon(programIcon());
    setFont(fontFor(FontRole::Normal));
    const Twips tw = Twips::forWidget(this);
    setFixedSize(tw.toPx(kFormWidthTwips), tw.toPx(kFormShownHeightTwips));
    background_ = builtInBackground(size());

    for (const auto& c : model_.controls()) {
        QWidget* w = create(*c);
        w->setObjectName(c->name);
        widgets_.insert(c->name, w);
        w->installEventFilter(this);
        apply(c->name);
    }
    connect(&model_, &FormModel::changed, this, &Form1::apply);
}

QWidget* Form1::create(const Control& c) {
    QWidget* parent = c.parent.isEmpty() ? this : widgets_.value(c.parent, this);
    switch (c.kind) {
        case ControlKind::Label:
            // The clock changes every second all day: it repaints only the digits that changed,
            // and the title that its digits overlap is not laid out again each time.
            if (c.font == FontRole::Clock)
                return new StaticLabel(StaticLabel::Drawing::ByCharacter, parent);
            if (c.font == FontRole::Title)
                return new StaticLabel(StaticLabel::Drawing::Whole, parent);
            [[fallthrough]];
        case ControlKind::Picture: {
            auto* l = new QLabel(parent);
            if (c.kind == ControlKind::Picture) l->setScaledContents(true);
            return l;
        }
        case ControlKind::Button:
        case ControlKind::PictureButton: {
            auto* b = new QPushButton(parent);
            // Neither Tab nor Enter nor Space may press a button of this window: Apply and Save
            // act only on a mouse press.
            b->setFocusPolicy(Qt::NoFocus);
            b->setAutoDefault(false);
            if (c.kind == ControlKind::PictureButton) {
                b->setIcon(buttonIcon(c.picture));
                b->setMouseTracking(true);
            }
            const QString name = c.name;
            connect(b, &QPushButton::clicked, this, [this, name] { model_.click(name); });
            return b;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(parent);
            const QString name = c.name;
            connect(box, &QCheckBox::clicked, this,
                    [this, name](bool on) { model_.setChecked(name, on); });
            return box;
        }
        case ControlKind::ComboList: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            // The wheel alone must not give a list the focus (see eventFilter).
            combo->setFocusPolicy(Qt::StrongFocus);
            const QString name = c.name;
            connect(combo, &QComboBox::activated, this, [this, name, combo](int index) {
                model_.setComboText(name, combo->itemText(index));
                model_.click(name);
            });
            return combo;
        }
        case ControlKind::TextBox: {
            auto* edit = new QLineEdit(parent);
            const QString name = c.name;
            connect(edit, &QLineEdit::textEdited, this,
                    [this, name](const QString& t) { model_.setText(name, t); });
            return edit;
        }
        case ControlKind::Frame: return new QGroupBox(parent);
    }
    return new QWidget(parent);
}

void Form1::apply(const QString& name) {
    QWidget* w = widgets_.value(name);
    if (!w) return;
    const Control& c = model_.at(name);
    // Only what changed since the last time reaches the widget: the clock label changes every
    // second all day, and a full re-apply (font, palette, geometry) would cost a relayout.
    auto last = applied_.find(name);
    const bool first = last == applied_.end();
    const Control* was = first ? nullptr : &last.value();
    auto changed = [&](auto member) { return first || c.*member != was->*member; };
    // The screen's DPI is read only for what is placed or sized, not for the clock's second.
    auto tw = [this] { return Twips::forWidget(this); };
    QSignalBlocker block(w);

    if (changed(&Control::toolTip)) w->setToolTip(c.toolTip);
    if (first && c.font != FontRole::Normal) w->setFont(fontFor(c.font));

    const bool textChanged = changed(&Control::text);
    switch (c.kind) {
        case ControlKind::Label:
            if (!textChanged) break;
            if (auto* l = qobject_cast<StaticLabel*>(w)) l->setText(c.text);
            else static_cast<QLabel*>(w)->setText(c.text);
            break;
        case ControlKind::Picture:
            if (first || changed(&Control::picture) || changed(&Control::width) ||
                changed(&Control::height))
                static_cast<QLabel*>(w)->setPixmap(
                    builtInPicture(c.picture, tw().rect(0, 0, c.width, c.height).size()));
            break;
        case ControlKind::Button:
            if (textChanged) static_cast<QPushButton*>(w)->setText(c.text);
            break;
        case ControlKind::PictureButton: break;
        case ControlKind::CheckBox: {
            auto* box = static_cast<QCheckBox*>(w);
            if (textChanged) box->setText(c.text);
            box->setChecked(c.checked);
            break;
        }
        case ControlKind::ComboList: {
            auto* combo = static_cast<QComboBox*>(w);
            if (changed(&Control::items)) {
                combo->clear();
                combo->addItems(c.items);
            }
            combo->setCurrentIndex(c.items.indexOf(c.text));
            break;
        }
        case ControlKind::TextBox: {
            auto* edit = static_cast<QLineEdit*>(w);
            if (edit->text() != c.text) edit->setText(c.text);
            break;
        }
        case ControlKind::Frame:
            if (textChanged) static_cast<QGroupBox*>(w)->setTitle(c.text);
            break;
    }

    if (changed(&Control::foreground) || changed(&Control::background)) applyColours(w, c);
    const bool placeChanged = changed(&Control::x) || changed(&Control::y) ||
                              changed(&Control::width) || changed(&Control::height);
    if (c.width > 0 && c.height > 0) {
        if (placeChanged) w->setGeometry(tw().rect(c.x, c.y, c.width, c.height));
    } else if (placeChanged) {
        w->move(tw().toPx(c.x), tw().toPx(c.y));
        w->adjustSize();
    } else if (textChanged) {
        // A label sizes itself to its text. (The clock's StaticLabel knows its size from its
        // layout: the second's resize shapes nothing.)
        w->adjustSize();
    }
    if (changed(&Control::enabled)) w->setEnabled(c.enabled);
    if (changed(&Control::visible)) w->setVisible(c.visible);
    applied_.insert(name, c);
}

void Form1::applyColours(QWidget* w, const Control& c) {
    if (c.kind == ControlKind::Frame) {
        // The caption sits inside the frame's top edge, on the frame's own colour.
        QString css = QStringLiteral("QGroupBox#%1 { border: 1px solid rgb(90,90,90); "
                                     "margin-top: 0px; padding-top: 0px;")
                          .arg(c.name);
        if (c.background) {
            css += QStringLiteral(" background-color: rgb(%1,%2,%3);")
                       .arg(c.background->r).arg(c.background->g).arg(c.background->b);
        }
        css += QStringLiteral(" } QGroupBox#%1::title { subcontrol-origin: padding; "
                              "subcontrol-position: top left; left: 6px; top: 1px;")
                   .arg(c.name);
        if (c.foreground) {
            css += QStringLiteral(" color: rgb(%1,%2,%3);")
                       .arg(c.foreground->r).arg(c.foreground->g).arg(c.foreground->b);
        }
        css += QStringLiteral(" }");
        // Setting a style sheet re-polishes every child: only when it really changed.
        if (w->styleSheet() != css) w->setStyleSheet(css);
        // Children of a coloured frame inherit its text colour.
        if (c.foreground) {
            QPalette pal = w->palette();
            pal.setColor(QPalette::WindowText, toQColor(*c.foreground));
            w->setPalette(pal);
        }
        return;
    }
    // Captions and tick boxes without a text colour of their own write in their frame's colour
    // (the style sheet of a coloured frame stops the palette reaching them by itself).
    std::optional<Rgb> foreground = c.foreground;
    if (!foreground && (c.kind == ControlKind::Label || c.kind == ControlKind::CheckBox)) {
        for (QString p = c.parent; !p.isEmpty() && model_.has(p); p = model_.at(p).parent) {
            if (model_.at(p).foreground) {
                foreground = model_.at(p).foreground;
                break;
            }
        }
    }
    if (!foreground && !c.background) return;
    QPalette pal = w->palette();
    if (foreground) pal.setColor(QPalette::WindowText, toQColor(*foreground));
    if (c.foreground) {
        pal.setColor(QPalette::ButtonText, toQColor(*c.foreground));
        pal.setColor(QPalette::Text, toQColor(*c.foreground));
    }
    if (c.background) {
        pal.setColor(QPalette::Window, toQColor(*c.background));
        pal.setColor(QPalette::Base, toQColor(*c.background));
        pal.setColor(QPalette::Button, toQColor(*c.background));
        w->setAutoFillBackground(c.kind == ControlKind::Label);
    }
    w->setPalette(pal);
}

void Form1::setBackgroundPicture(const QPixmap& picture) {
    // Scaled once here: every repaint of the clock label repaints the picture behind it.
    background_ = picture.isNull()
                      ? builtInBackground(size())
                      : picture.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    update();
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reportOnScreen();
}

void Form1::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    reportOnScreen();
}

void Form1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) reportOnScreen();
}

void Form1::reportOnScreen() {
    if (onScreen() == onScreen_) return;
    onScreen_ = onScreen();
    emit onScreenChanged(onScreen_);
}

void Form1::closeEvent(QCloseEvent* event) {
    event->ignore();
    model_.click(QStringLiteral("Form_Close"));
}

void Form1::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), QColor(192, 192, 255));
    p.drawPixmap(event->rect(), background_, event->rect());
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !widgets_.contains(w->objectName())) return QWidget::eventFilter(watched, event);
    const QString name = w->objectName();
    // Scrolling over the editor would change any bell time under the pointer, without a
    // click: a list takes the wheel only once it has the focus.
    if (event->type() == QEvent::Wheel && qobject_cast<QComboBox*>(w) && !w->hasFocus())
        return true;
    // Labels, pictures and frames take their own clicks; they must not fall through to the
    // window background, whose click closes the panels.
    const bool passive =
        qobject_cast<QLabel*>(w) || qobject_cast<StaticLabel*>(w) || qobject_cast<QGroupBox*>(w);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            model_.click(name + QStringLiteral("_MouseDown"));
            return passive;
        case QEvent::MouseButtonRelease: {
            model_.click(name + QStringLiteral("_MouseUp"));
            auto* me = static_cast<QMouseEvent*>(event);
            if (passive && w->rect().contains(me->position().toPoint())) model_.click(name);
            return passive;
        }
        case QEvent::MouseMove: model_.click(name + QStringLiteral("_MouseMove")); break;
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::mousePressEvent(QMouseEvent* event) {
    pressedOnForm_ = true;
    QWidget::mousePressEvent(event);
}

void Form1::mouseReleaseEvent(QMouseEvent* event) {
    if (pressedOnForm_ && rect().contains(event->position().toPoint()))
        model_.click(QStringLiteral("Form"));
    pressedOnForm_ = false;
    QWidget::mouseReleaseEvent(event);
}

}  // namespace tavirin
