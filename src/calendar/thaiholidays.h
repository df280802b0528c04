#pragma once

#include "calendar/calendar.h"

namespace tavirin {

// The national holidays of Thailand that fall on the same date every year, for one year, as
// entries without bells (Songkran is one entry of three days). The moving ones (Makha Bucha,
// Visakha Bucha, Asanha Bucha, Khao Phansa) and the substitution days are announced each year:
// they come in from an iCalendar file or by hand.
Calendar fixedThaiHolidays(int year);

}  // namespace tavirin
