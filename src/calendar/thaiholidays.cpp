#include "calendar/thaiholidays.h"

namespace tavirin {

Calendar fixedThaiHolidays(int year) {
    struct Fixed {
        int month, day, days;
        const char* name;
    };
    static constexpr Fixed kFixed[] = {
        {1, 1, 1, "วันขึ้นปีใหม่"},
        {4, 6, 1, "วันจักรี"},
        {4, 13, 3, "วันสงกรานต์"},
        {5, 1, 1, "วันแรงงานแห่งชาติ"},
        {5, 4, 1, "วันฉัตรมงคล"},
        {6, 3, 1, "วันเฉลิมพระชนมพรรษาสมเด็จพระราชินี"},
        {7, 28, 1, "วันเฉลิมพระชนมพรรษาพระบาทสมเด็จพระเจ้าอยู่หัว"},
        {8, 12, 1, "วันแม่แห่งชาติ"},
        {10, 13, 1, "วันนวมินทรมหาราช"},
        {10, 23, 1, "วันปิยมหาราช"},
        {12, 5, 1, "วันพ่อแห่งชาติ"},
        {12, 10, 1, "วันรัฐธรรมนูญ"},
        {12, 31, 1, "วันสิ้นปี"},
    };
    Calendar out;
    for (const Fixed& f : kFixed) {
        const QDate start(year, f.month, f.day);
        out.append(
            {start, start.addDays(f.days - 1), QString::fromUtf8(f.name), RuleKind::NoBells, 0, 0});
    }
    return out;
}

}  // namespace tavirin
