#pragma once

#include "calendar/calendar.h"

#include <QDialog>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace tavirin {

// Add or change one calendar entry: its name, its first and last day, and what it does.
// The dialog only collects; the calendar's operations check and save what it returns.
class EntryDialog : public QDialog {
    Q_OBJECT
public:
    // `entry` is what the fields show first (its dates must be valid).
    EntryDialog(const CalendarEntry& entry, const QString& title, QWidget* parent = nullptr);

    CalendarEntry entry() const;

private:
    void showRange();

    QLineEdit* name_;
    QDateEdit* start_;
    QDateEdit* end_;
    QLabel* range_;
    QComboBox* kind_;
    QComboBox* weekday_;
    QComboBox* direction_;
    QSpinBox* minutes_;
};

}  // namespace tavirin
