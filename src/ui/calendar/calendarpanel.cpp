#include "ui/calendar/calendarpanel.h"

#include "calendar/dayrules.h"
#include "platform/dialogs.h"
#include "ui/calendar/entrydialog.h"
#include "ui/outcomebox.h"

#include <QCalendarWidget>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTextCharFormat>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tavirin {

namespace {

const QString kIcsFilter = QStringLiteral("ปฏิทิน iCalendar| *.ics");
const QString kBackupFilter = QStringLiteral("ข้อมูลสำรองตีออด| *.json");

QColor markOf(RuleKind kind) {
    switch (kind) {
        case RuleKind::NoBells:
            return QColor(255, 190, 190);
        case RuleKind::OtherWeekday:
            return QColor(190, 215, 255);
        case RuleKind::Shift:
            return QColor(255, 225, 160);
    }
    return {};
}

QPushButton* button(const QString& text, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// The path with the file type's suffix, added when the operator typed a name without one.
QString withSuffix(QString path, const QString& suffix) {
    if (!path.isEmpty() && !path.endsWith(suffix, Qt::CaseInsensitive)) path += suffix;
    return path;
}

}  // namespace

CalendarPanel::CalendarPanel(DayRules& rules, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), rules_(rules), dialogs_(dialogs) {
    setObjectName(QStringLiteral("CalendarPanel"));
    setWindowTitle(DayRules::kCalendarTitle);
    auto* columns = new QHBoxLayout(this);

    auto* left = new QVBoxLayout;
    month_ = new QCalendarWidget(this);
    month_->setObjectName(QStringLiteral("calendar"));
    month_->setLocale(QLocale(QLocale::Thai, QLocale::Thailand));
    month_->setFirstDayOfWeek(Qt::Monday);
    month_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    month_->setSelectedDate(rules_.todayDate());
    left->addWidget(month_);
    day_ = new QLabel(this);
    day_->setObjectName(QStringLiteral("dayInfo"));
    day_->setWordWrap(true);
    day_->setMinimumHeight(60);
    day_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    left->addWidget(day_);
    auto* order =
        new QLabel(QStringLiteral("สี: แดง = ไม่มีออด, ฟ้า = ใช้ตารางของวันอื่น, ส้ม = เลื่อนเวลาออด\n"
                                  "วันที่มีหลายรายการ ใช้รายการที่ช่วงวันสั้นที่สุด ถ้ายาวเท่ากันใช้รายการที่เพิ่มทีหลัง "
                                  "การเปลี่ยนเฉพาะวันนี้ (ปุ่ม \"วันนี้ / ปฏิทิน\") มาก่อนปฏิทินเสมอ"),
                   this);
    order->setObjectName(QStringLiteral("precedence"));
    order->setWordWrap(true);
    order->setMaximumWidth(month_->sizeHint().width() + 40);
    left->addWidget(order);
    left->addStretch();
    columns->addLayout(left);

    auto* right = new QVBoxLayout;
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("entries"));
    list_->setHeaderLabels({QStringLiteral("วันที่"), QStringLiteral("ชื่อ"), QStringLiteral("ออด")});
    list_->setRootIsDecorated(false);
    list_->setMinimumWidth(620);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    right->addWidget(list_);

    const auto row = [&](std::initializer_list<QWidget*> widgets) {
        auto* r = new QHBoxLayout;
        for (QWidget* w : widgets) r->addWidget(w);
        r->addStretch();
        right->addLayout(r);
    };
    auto* add = button(QStringLiteral("เพิ่ม…"), QStringLiteral("add"), this);
    auto* change = button(QStringLiteral("แก้ไข…"), QStringLiteral("change"), this);
    auto* remove = button(QStringLiteral("ลบ"), QStringLiteral("remove"), this);
    row({add, change, remove});

    auto* yearLabel = new QLabel(QStringLiteral("วันหยุดราชการ ปี พ.ศ."), this);
    year_ = new QSpinBox(this);
    year_->setObjectName(QStringLiteral("holidayYear"));
    const QDate today = rules_.todayDate();
    // Shown in the Buddhist year, as Thai calendars count.
    year_->setRange(firstAllowedDate(today).year() + 543, lastAllowedDate(today).year() + 543);
    year_->setValue(today.year() + 543);
    auto* holidays = button(QStringLiteral("เพิ่มวันหยุดราชการ"), QStringLiteral("addHolidays"), this);
    holidays->setToolTip(
        QStringLiteral("วันหยุดที่ตรงกับวันที่เดิมทุกปี วันหยุดทางพุทธศาสนาและวันหยุดชดเชย "
                       "ให้นำเข้าจากไฟล์ .ics หรือเพิ่มเอง"));
    row({yearLabel, year_, holidays});

    auto* importIcs = button(QStringLiteral("นำเข้าไฟล์ .ics…"), QStringLiteral("importIcs"), this);
    auto* exportIcs = button(QStringLiteral("ส่งออกไฟล์ .ics…"), QStringLiteral("exportIcs"), this);
    row({importIcs, exportIcs});
    auto* exportAll =
        button(QStringLiteral("สำรองข้อมูลทั้งหมด…"), QStringLiteral("exportBackup"), this);
    auto* importAll =
        button(QStringLiteral("นำเข้าข้อมูลสำรอง…"), QStringLiteral("importBackup"), this);
    row({exportAll, importAll});
    auto* close = button(QStringLiteral("ปิด"), QStringLiteral("close"), this);
    auto* last = new QHBoxLayout;
    last->addStretch();
    last->addWidget(close);
    right->addLayout(last);
    columns->addLayout(right);

    connect(add, &QPushButton::clicked, this, &CalendarPanel::addEntry);
    connect(change, &QPushButton::clicked, this, &CalendarPanel::changeEntry);
    connect(remove, &QPushButton::clicked, this, &CalendarPanel::removeEntry);
    connect(holidays, &QPushButton::clicked, this, &CalendarPanel::addHolidays);
    connect(importIcs, &QPushButton::clicked, this, &CalendarPanel::importICalendar);
    connect(exportIcs, &QPushButton::clicked, this, &CalendarPanel::exportICalendar);
    connect(exportAll, &QPushButton::clicked, this, &CalendarPanel::exportBackup);
    connect(importAll, &QPushButton::clicked, this, &CalendarPanel::importBackup);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &CalendarPanel::changeEntry);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (const qsizetype i = selected(); i >= 0) month_->setSelectedDate(calendar_[i].start);
    });
    connect(month_, &QCalendarWidget::selectionChanged, this,
            [this] { showDay(month_->selectedDate()); });
    connect(month_, &QCalendarWidget::currentPageChanged, this, &CalendarPanel::markMonth);
    refresh();
}

void CalendarPanel::refresh() {
    calendar_ = rules_.calendar();
    list_->clear();
    QList<qsizetype> order;
    for (qsizetype i = 0; i < calendar_.size(); ++i) order.append(i);
    std::stable_sort(order.begin(), order.end(), [this](qsizetype a, qsizetype b) {
        return calendar_[a].start < calendar_[b].start;
    });
    for (qsizetype i : order) {
        const CalendarEntry& e = calendar_[i];
        auto* item = new QTreeWidgetItem(list_, {thaiRange(e), e.name, ruleText(e)});
        item->setData(0, Qt::UserRole, qlonglong(i));
        item->setBackground(2, markOf(e.kind));
    }
    markMonth();
    showDay(month_->selectedDate());
}

void CalendarPanel::markMonth() {
    month_->setDateTextFormat(QDate(), QTextCharFormat());  // clears every mark
    // The days of the page shown, with the ends of the months beside it.
    const QDate first(month_->yearShown(), month_->monthShown(), 1);
    for (QDate d = first.addDays(-7); d <= first.addMonths(1).addDays(14); d = d.addDays(1)) {
        const std::optional<qsizetype> ruling = rulingEntry(calendar_, d);
        if (!ruling) continue;
        QTextCharFormat f;
        f.setBackground(markOf(calendar_[*ruling].kind));
        f.setFontWeight(QFont::Bold);
        month_->setDateTextFormat(d, f);
    }
}

void CalendarPanel::showDay(QDate date) {
    const QList<qsizetype> on = entriesOn(calendar_, date);
    QString text = thaiDate(date) + QStringLiteral(" (") + weekdayText(date.dayOfWeek()) +
                   QStringLiteral("): ");
    if (on.isEmpty()) {
        text += QStringLiteral("ตามตารางออดปกติ");
    } else {
        text += entryTitle(calendar_[on.first()]) + QStringLiteral(" — ") +
                ruleText(calendar_[on.first()]);
        for (qsizetype i = 1; i < on.size(); ++i)
            text += QStringLiteral("\nไม่ใช้: ") + entryTitle(calendar_[on[i]]) +
                    QStringLiteral(" (") + thaiRange(calendar_[on[i]]) + u')';
    }
    day_->setText(text);
    // The entry that rules the day stands selected in the list.
    for (int r = 0; r < list_->topLevelItemCount() && !on.isEmpty(); ++r) {
        QTreeWidgetItem* item = list_->topLevelItem(r);
        if (item->data(0, Qt::UserRole).toLongLong() == on.first() && !item->isSelected()) {
            const QSignalBlocker block(list_);
            list_->setCurrentItem(item);
        }
    }
}

qsizetype CalendarPanel::selected() const {
    const QTreeWidgetItem* item = list_->currentItem();
    if (!item || !item->isSelected()) return -1;
    return qsizetype(item->data(0, Qt::UserRole).toLongLong());
}

void CalendarPanel::editUntilSaved(CalendarEntry entry, const QString& title,
                                   const std::function<Outcome(const CalendarEntry&)>& save) {
    // A refused entry comes back as it was typed, with the reason already told.
    while (true) {
        EntryDialog dialog(entry, title, this);
        if (dialog.exec() != QDialog::Accepted) return;
        entry = dialog.entry();
        if (report(save(entry))) break;
    }
    refresh();
}

bool CalendarPanel::report(const Outcome& outcome) {
    showOutcome(dialogs_, DayRules::kCalendarTitle, outcome);
    return outcome.accepted();
}

void CalendarPanel::addEntry() {
    const QDate d = month_->selectedDate();
    editUntilSaved({d, d, QString(), RuleKind::NoBells, 0, 0}, QStringLiteral("เพิ่มรายการ"),
                   [this](const CalendarEntry& e) { return rules_.addEntry(e); });
}

void CalendarPanel::changeEntry() {
    const qsizetype i = selected();
    if (i < 0) return;
    editUntilSaved(calendar_[i], QStringLiteral("แก้ไขรายการ"),
                   [this, i](const CalendarEntry& e) { return rules_.changeEntry(i, e); });
}

void CalendarPanel::removeEntry() {
    if (const qsizetype i = selected(); i >= 0 && report(rules_.removeEntry(i))) refresh();
}

void CalendarPanel::addHolidays() {
    if (report(rules_.addThaiHolidays(year_->value() - 543))) refresh();
}

void CalendarPanel::importICalendar() {
    const QString path =
        dialogs_.openFile(QStringLiteral("นำเข้าปฏิทินวันหยุด"), QDir::homePath(), kIcsFilter);
    if (!path.isEmpty() && report(rules_.importICalendar(path))) refresh();
}

void CalendarPanel::exportICalendar() {
    const QString path = withSuffix(
        dialogs_.saveFile(QStringLiteral("ส่งออกปฏิทิน"),
                          QDir::home().filePath(QStringLiteral("ปฏิทินโรงเรียน.ics")), kIcsFilter),
        QStringLiteral(".ics"));
    if (!path.isEmpty()) report(rules_.exportICalendar(path));
}

void CalendarPanel::exportBackup() {
    const QString suggested =
        QStringLiteral("สำรองตีออด-%1.json").arg(rules_.todayDate().toString(Qt::ISODate));
    const QString path =
        withSuffix(dialogs_.saveFile(QStringLiteral("สำรองข้อมูลทั้งหมด"),
                                     QDir::home().filePath(suggested), kBackupFilter),
                   QStringLiteral(".json"));
    if (!path.isEmpty()) report(rules_.exportBackup(path));
}

void CalendarPanel::importBackup() {
    const QString path =
        dialogs_.openFile(QStringLiteral("นำเข้าข้อมูลสำรอง"), QDir::homePath(), kBackupFilter);
    if (!path.isEmpty() && report(rules_.importBackup(path))) refresh();
}

}  // namespace tavirin
