#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tavirin {

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class ControlKind {
    Label,
    Button,         // caption button
    PictureButton,  // shows a picture; its tooltip is its only text
    CheckBox,
    ComboList,  // drop-down list: its text is always one of its items (or empty)
    TextBox,
    Frame,
    Picture,
};

enum class FontRole { Normal, Bold, Clock, Title, Countdown, BigCountdown };

// What one control of the main window is. Positions are in twips inside the parent.
struct Control {
    QString name;
    ControlKind kind = ControlKind::Label;
    QString parent;                           // "" = the window's client area
    int x = 0, y = 0, width = 0, height = 0;  // width/height 0: sized by its text
    QString text;
    QString toolTip;
    QStringList items;
    bool checked = false;
    bool visible = true;
    bool enabled = true;
    std::optional<Rgb> foreground;
    std::optional<Rgb> background;
    FontRole font = FontRole::Normal;
    QString picture;  // resource name for picture buttons and pictures
};

// The main window's controls double as the program's working model (the armed trigger
// times are label captions, the running bell's add-on sound is a text box, ...). This class
// holds that state without any widget, so the scheduler and the outputs work on it and are
// tested without a screen; the window mirrors it onto real widgets and feeds operator input
// back through the same setters.
class FormModel : public QObject {
    Q_OBJECT
public:
    FormModel();
    ~FormModel() override;

    Control& add(Control c);
    bool has(const QString& name) const { return index_.contains(name); }
    const Control& at(const QString& name) const;
    // Every control in the order it was added (parents before children).
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }

    QString text(const QString& name) const { return at(name).text; }
    bool checked(const QString& name) const { return at(name).checked; }
    bool visible(const QString& name) const { return at(name).visible; }
    bool enabled(const QString& name) const { return at(name).enabled; }
    QString toolTip(const QString& name) const { return at(name).toolTip; }
    std::optional<Rgb> foreground(const QString& name) const { return at(name).foreground; }
    std::optional<Rgb> background(const QString& name) const { return at(name).background; }

    void setText(const QString& name, const QString& text);
    // A drop-down list takes only one of its items: false, and nothing changes, otherwise.
    bool setComboText(const QString& name, const QString& text);
    // Like an operator's click: when the state changes, the box's click action runs.
    void setChecked(const QString& name, bool checked);
    // Sets the box without running its click action.
    void setCheckedQuietly(const QString& name, bool checked);
    void setVisible(const QString& name, bool visible);
    void setEnabled(const QString& name, bool enabled);
    void setToolTip(const QString& name, const QString& toolTip);
    void setForeground(const QString& name, Rgb colour);
    void setBackground(const QString& name, Rgb colour);
    void setGeometry(const QString& name, int x, int y, int width, int height);
    // Replaces a list's entries; a text that is no longer an entry becomes "".
    void setItems(const QString& name, const QStringList& items);

    // The action that runs when the control is clicked (for a check box: when its state
    // changes). One action per control; a later call replaces it.
    void onClick(const QString& name, std::function<void()> action);
    // An operator's click on a label or button: runs its action, if any.
    void click(const QString& name);

    // The window's timers, by name; all created stopped.
    QTimer* addTimer(const QString& name, int intervalMs);
    QTimer* timer(const QString& name) const;
    QStringList timerNames() const { return timerOrder_; }

    // Working values of the window that are not controls (afterBellMedia, ...).
    QString value(const QString& name) const { return values_.value(name); }
    void setValue(const QString& name, const QString& v) { values_.insert(name, v); }

signals:
    void changed(const QString& name);

private:
    Control& mut(const QString& name);

    std::vector<std::unique_ptr<Control>> controls_;
    QHash<QString, Control*> index_;
    QHash<QString, std::function<void()>> actions_;
    QHash<QString, QTimer*> timers_;
    QStringList timerOrder_;
    QHash<QString, QString> values_;
};

// A timer of the window and what runs when it fires.
struct TimerHandler {
    QString timer;
    std::function<void()> run;
};

// Name of member n of a control array, e.g. arrayName("Text6", 3) == "Text6(3)".
inline QString arrayName(const QString& base, int n) {
    return base + u'(' + QString::number(n) + u')';
}

}  // namespace tavirin
