#pragma once

#include <QDate>
#include <QWidget>

class QDateEdit;
class QLabel;
class QTableWidget;

namespace tavirin {

class Clock;
class Journal;

// The "today" view: a day's bells from the journal (due time, outcome, lateness, why) and
// the self-tests of that day; today's when opened, an older day's from the date picker.
// It only shows: the words come from status/dayreport.
class TodayView : public QWidget {
    Q_OBJECT
public:
    TodayView(const Journal& journal, const Clock& clock, QWidget* parent = nullptr);

    // Shows today's page and brings the window to the front.
    void open();
    void showDay(QDate day);
    // Read the journal again if the page is on screen (a bell or a self-test was written).
    void journalChanged();

private:
    const Journal& journal_;
    const Clock& clock_;
    QDateEdit* date_;
    QLabel* empty_;
    QTableWidget* bells_;
    QTableWidget* checks_;
};

}  // namespace tavirin
