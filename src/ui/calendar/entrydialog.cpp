#include "ui/calendar/entrydialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace tavirin {

namespace {

QDateEdit* dateEdit(QDate d, const QString& objectName, QWidget* parent) {
    auto* e = new QDateEdit(d, parent);
    e->setObjectName(objectName);
    e->setLocale(QLocale(QLocale::Thai, QLocale::Thailand));
    e->setCalendarPopup(true);
    e->setDisplayFormat(QStringLiteral("d MMM yyyy"));
    return e;
}

}  // namespace

EntryDialog::EntryDialog(const CalendarEntry& e, const QString& title, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("EntryDialog"));
    setWindowTitle(title);
    auto* form = new QFormLayout(this);

    name_ = new QLineEdit(e.name, this);
    name_->setObjectName(QStringLiteral("name"));
    name_->setMaxLength(calendarlimits::kMaxNameLength);
    name_->setPlaceholderText(QStringLiteral("เช่น วันรัฐธรรมนูญ, สอบกลางภาค"));
    form->addRow(QStringLiteral("ชื่อ"), name_);

    start_ = dateEdit(e.start, QStringLiteral("start"), this);
    end_ = dateEdit(e.end, QStringLiteral("end"), this);
    form->addRow(QStringLiteral("ตั้งแต่วันที่"), start_);
    form->addRow(QStringLiteral("ถึงวันที่"), end_);
    range_ = new QLabel(this);
    range_->setObjectName(QStringLiteral("range"));
    form->addRow(QString(), range_);

    kind_ = new QComboBox(this);
    kind_->setObjectName(QStringLiteral("kind"));
    kind_->addItems({QStringLiteral("ไม่มีออด (วันหยุด)"), QStringLiteral("ใช้ตารางออดของวันอื่น"),
                     QStringLiteral("เลื่อนเวลาออดทั้งวัน")});
    kind_->setCurrentIndex(int(e.kind));
    form->addRow(QStringLiteral("ออดในวันนั้น"), kind_);

    weekday_ = new QComboBox(this);
    weekday_->setObjectName(QStringLiteral("weekday"));
    for (int d = 1; d <= 7; ++d) weekday_->addItem(weekdayText(d));
    weekday_->setCurrentIndex(e.weekday >= 1 && e.weekday <= 7 ? e.weekday - 1 : 5);
    form->addRow(QStringLiteral("ใช้ตารางออดของ"), weekday_);

    auto* shift = new QWidget(this);
    auto* row = new QHBoxLayout(shift);
    row->setContentsMargins(0, 0, 0, 0);
    direction_ = new QComboBox(shift);
    direction_->setObjectName(QStringLiteral("direction"));
    direction_->addItems({QStringLiteral("ช้าลง"), QStringLiteral("เร็วขึ้น")});
    direction_->setCurrentIndex(e.minutes < 0 ? 1 : 0);
    minutes_ = new QSpinBox(shift);
    minutes_->setObjectName(QStringLiteral("minutes"));
    minutes_->setRange(1, calendarlimits::kMaxShiftMinutes);
    minutes_->setValue(e.minutes != 0 ? qAbs(e.minutes) : 10);
    minutes_->setSuffix(QStringLiteral(" นาที"));
    row->addWidget(direction_);
    row->addWidget(minutes_);
    form->addRow(QStringLiteral("เลื่อนออด"), shift);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ตกลง"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ยกเลิก"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // Only the fields of the chosen rule are offered.
    const auto rowOf = [form](QWidget* w) { return form->labelForField(w); };
    connect(kind_, &QComboBox::currentIndexChanged, this, [this, rowOf, shift] {
        const auto kind = RuleKind(kind_->currentIndex());
        for (auto [w, on] : {std::pair<QWidget*, bool>{weekday_, kind == RuleKind::OtherWeekday},
                             {shift, kind == RuleKind::Shift}}) {
            w->setVisible(on);
            rowOf(w)->setVisible(on);
        }
    });
    emit kind_->currentIndexChanged(kind_->currentIndex());
    connect(start_, &QDateEdit::dateChanged, this, [this](QDate d) {
        // A one-day entry is the usual one: the end follows the start until it is set apart.
        if (end_->date() < d) end_->setDate(d);
        showRange();
    });
    connect(end_, &QDateEdit::dateChanged, this, &EntryDialog::showRange);
    showRange();
}

void EntryDialog::showRange() {
    const CalendarEntry e = entry();
    range_->setText(e.end < e.start ? QStringLiteral("วันสิ้นสุดอยู่ก่อนวันเริ่มต้น")
                                    : thaiRange(e) + QStringLiteral(" (%1 วัน)").arg(e.days()));
}

CalendarEntry EntryDialog::entry() const {
    CalendarEntry e;
    e.name = name_->text().trimmed();
    e.start = start_->date();
    e.end = end_->date();
    e.kind = RuleKind(kind_->currentIndex());
    if (e.kind == RuleKind::OtherWeekday) e.weekday = weekday_->currentIndex() + 1;
    if (e.kind == RuleKind::Shift)
        e.minutes = direction_->currentIndex() == 0 ? minutes_->value() : -minutes_->value();
    return e;
}

}  // namespace tavirin
