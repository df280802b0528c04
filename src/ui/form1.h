#pragma once

#include "model/formmodel.h"

#include <QHash>
#include <QPixmap>
#include <QWidget>

namespace tavirin {

class FormModel;

// The main window. It owns no behaviour: it shows the controls of the FormModel as widgets
// (positions in twips, converted by the screen's DPI), keeps them in step with the model and
// turns operator input back into model changes and clicks:
//   click on a label or button   -> model.click(name)
//   mouse press / release        -> model.click(name + "_MouseDown" / "_MouseUp")
//   mouse move over a button     -> model.click(name + "_MouseMove")
//   click on the window itself   -> model.click("Form")
//   check box toggled            -> model.setChecked(name, state) (runs its click action)
//   list entry chosen            -> model.setComboText(name, entry), then model.click(name)
//   text typed                   -> model.setText(name, text)
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(FormModel& model, QWidget* parent = nullptr);

    QWidget* control(const QString& name) const { return widgets_.value(name); }
    // The picture under all controls; a null pixmap restores the built-in one.
    void setBackgroundPicture(const QPixmap& picture);
    FormModel& model() const { return model_; }
    // On the screen: visible and not minimised.
    bool onScreen() const { return isVisible() && !isMinimized(); }

signals:
    // The window came onto the screen or left it (shown, hidden, minimised, restored).
    void onScreenChanged(bool onScreen);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // The window manager's close button: model.click("Form_Close"); the window stays.
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* create(const Control& c);
    void apply(const QString& name);
    void applyColours(QWidget* w, const Control& c);

    FormModel& model_;
    QHash<QString, QWidget*> widgets_;
    QHash<QString, Control> applied_;  // what each widget shows now
    QPixmap background_;
    bool pressedOnForm_ = false;
    bool onScreen_ = false;
    void reportOnScreen();
};

}  // namespace tavirin
