#include "model/formmodel.h"

#include "platform/logging.h"

namespace tavirin {

FormModel::FormModel() = default;
FormModel::~FormModel() = default;

Control& FormModel::add(Control c) {
    Q_ASSERT(!index_.contains(c.name));
    controls_.push_back(std::make_unique<Control>(std::move(c)));
    Control* added = controls_.back().get();
    index_.insert(added->name, added);
    return *added;
}

const Control& FormModel::at(const QString& name) const {
    auto it = index_.constFind(name);
    if (it == index_.constEnd()) {
        // A name not in the table is a programming error; fail loudly in debug builds and
        // answer with an empty control otherwise.
        qCCritical(lcUi) << "no control named" << name;
        Q_ASSERT_X(false, "FormModel::at", qPrintable(name));
        static const Control none;
        return none;
    }
    return **it;
}

Control& FormModel::mut(const QString& name) { return const_cast<Control&>(at(name)); }

void FormModel::setText(const QString& name, const QString& text) {
    Control& c = mut(name);
    if (c.text == text) return;
    c.text = text;
    emit changed(name);
}

bool FormModel::setComboText(const QString& name, const QString& text) {
    Control& c = mut(name);
    if (!c.items.contains(text)) return false;
    if (c.text != text) {
        c.text = text;
        emit changed(name);
    }
    return true;
}

void FormModel::setChecked(const QString& name, bool checked) {
    Control& c = mut(name);
    if (c.checked == checked) return;
    c.checked = checked;
    emit changed(name);
    if (auto it = actions_.constFind(name); it != actions_.constEnd() && *it) (*it)();
}

void FormModel::setCheckedQuietly(const QString& name, bool checked) {
    Control& c = mut(name);
    if (c.checked == checked) return;
    c.checked = checked;
    emit changed(name);
}

void FormModel::setVisible(const QString& name, bool visible) {
    Control& c = mut(name);
    if (c.visible == visible) return;
    c.visible = visible;
    emit changed(name);
}

void FormModel::setEnabled(const QString& name, bool enabled) {
    Control& c = mut(name);
    if (c.enabled == enabled) return;
    c.enabled = enabled;
    emit changed(name);
}

void FormModel::setToolTip(const QString& name, const QString& toolTip) {
    Control& c = mut(name);
    if (c.toolTip == toolTip) return;
    c.toolTip = toolTip;
    emit changed(name);
}

void FormModel::setForeground(const QString& name, Rgb colour) {
    Control& c = mut(name);
    if (c.foreground == colour) return;
    c.foreground = colour;
    emit changed(name);
}

void FormModel::setBackground(const QString& name, Rgb colour) {
    Control& c = mut(name);
    if (c.background == colour) return;
    c.background = colour;
    emit changed(name);
}

void FormModel::setGeometry(const QString& name, int x, int y, int width, int height) {
    Control& c = mut(name);
    if (c.x == x && c.y == y && c.width == width && c.height == height) return;
    c.x = x;
    c.y = y;
    c.width = width;
    c.height = height;
    emit changed(name);
}

void FormModel::setItems(const QString& name, const QStringList& items) {
    Control& c = mut(name);
    if (c.items == items) return;
    c.items = items;
    if (!items.contains(c.text)) c.text.clear();
    emit changed(name);
}

void FormModel::onClick(const QString& name, std::function<void()> action) {
    actions_.insert(name, std::move(action));
}

void FormModel::click(const QString& name) {
    if (auto it = actions_.constFind(name); it != actions_.constEnd() && *it) (*it)();
}

QTimer* FormModel::addTimer(const QString& name, int intervalMs) {
    auto* t = new QTimer(this);
    t->setObjectName(name);
    t->setInterval(intervalMs);
    timers_.insert(name, t);
    timerOrder_.append(name);
    return t;
}

QTimer* FormModel::timer(const QString& name) const {
    QTimer* t = timers_.value(name);
    Q_ASSERT_X(t, "FormModel::timer", qPrintable(name));
    return t;
}

}  // namespace tavirin
