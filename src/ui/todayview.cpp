#include "ui/todayview.h"

#include "journal/journal.h"
#include "platform/clock.h"
#include "status/dayreport.h"

#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tavirin {

namespace {

QTableWidget* table(const QString& name, const QStringList& headings, QWidget* parent) {
    auto* t = new QTableWidget(0, int(headings.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(headings);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

// `tip`: the tooltip of the last cell ("" its own text).
void addRow(QTableWidget* t, const QStringList& cells, std::optional<Rgb> colour, int colourColumn,
            const QString& tip = QString()) {
    const int row = t->rowCount();
    t->insertRow(row);
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setToolTip(c == cells.size() - 1 && !tip.isEmpty() ? tip : cells[c]);
        if (colour && c == colourColumn)
            item->setForeground(QColor(colour->r, colour->g, colour->b));
        t->setItem(row, c, item);
    }
}

}  // namespace

TodayView::TodayView(const Journal& journal, const Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window), journal_(journal), clock_(clock) {
    setObjectName(QStringLiteral("TodayView"));
    setWindowTitle(QStringLiteral("บันทึกออด"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("วันที่"), this));
    date_ = new QDateEdit(this);
    date_->setObjectName(QStringLiteral("today_date"));
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    top->addWidget(date_);
    top->addStretch();
    layout->addLayout(top);
    layout->addWidget(new QLabel(QStringLiteral("ออดของวัน"), this));
    bells_ = table(QStringLiteral("today_bells"),
                   {QStringLiteral("ช่วง"), QStringLiteral("เวลาออด"), QStringLiteral("ผล"),
                    QStringLiteral("ช้าไป"), QStringLiteral("สาเหตุ")},
                   this);
    layout->addWidget(bells_, 3);
    empty_ = new QLabel(this);
    empty_->setObjectName(QStringLiteral("today_empty"));
    layout->addWidget(empty_);
    layout->addWidget(new QLabel(QStringLiteral("การตรวจระบบครั้งล่าสุดของวัน"), this));
    checks_ = table(QStringLiteral("today_checks"),
                    {QStringLiteral("เวลา"), QStringLiteral("รายการ"), QStringLiteral("ผล"),
                     QStringLiteral("รายละเอียด")},
                    this);
    layout->addWidget(checks_, 2);
    resize(720, 520);
    connect(date_, &QDateEdit::dateChanged, this, &TodayView::showDay);
}

void TodayView::open() {
    const QDate today = clock_.now().date();
    date_->setMaximumDate(today);
    if (date_->date() == today)
        showDay(today);
    else
        date_->setDate(today);  // shows it
    show();
    raise();
    activateWindow();
}

void TodayView::journalChanged() {
    if (isVisible()) showDay(date_->date());
}

void TodayView::showDay(QDate day) {
    bells_->setRowCount(0);
    for (const BellLine& l : dayRecord(journal_, day))
        addRow(bells_, {l.period, l.due, l.outcome, l.late, l.reason}, l.colour, 2, l.detail);
    checks_->setRowCount(0);
    for (const CheckRecord& c : latestSelfTest(journal_.checksOn(day))) {
        const CheckLine l = checkLine(c);
        addRow(checks_, {l.at, l.item, l.result, l.summary}, l.colour, 2, l.detail);
    }
    empty_->setText(!journal_.readable() ? QStringLiteral("อ่านบันทึกออดไม่ได้ในขณะนี้")
                    : bells_->rowCount() == 0 ? QStringLiteral("ไม่มีออดในวันนี้")
                                              : QString());
    bells_->resizeColumnsToContents();
    checks_->resizeColumnsToContents();
}

}  // namespace tavirin
