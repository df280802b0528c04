#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace tavirin {

// While a bell holds the operator's input back, one way stays open: the emergency button, the
// menu it opens and its question. Installed as the waits' gate (platform/inputhold.h): during
// a wait it filters the application's input events, letting through only those for the
// button, a popup menu, the tray's icon, or a box titled `emergencyTitle`; everything else is
// dropped (before, the waits held it back until their end).
class InputGate : public QObject {
    Q_OBJECT
public:
    InputGate(QWidget* emergencyButton, QString emergencyTitle, QObject* parent = nullptr);
    ~InputGate() override;

    // Whether an input event for `receiver` gets through while input is held.
    bool letsThrough(QObject* receiver) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setHolding(bool holding);

    QPointer<QWidget> button_;
    QString title_;
    bool holding_ = false;
};

}  // namespace tavirin
