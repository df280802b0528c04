#!/usr/bin/env bash
# The real program over three days of the school calendar (openbox, a recorded sound server):
# Wednesday with today's bells shifted by +10 minutes rings 08:10 and not 08:00; Thursday,
# a holiday, rings nothing and says why; Friday rings 08:00 as usual.
#   calendar.sh TAVIRIN SOUNDLIB CALENDARSTORE
source "$(dirname "$0")/../support/desktop.sh"
tavirin=$1 soundlib=$2 calendarstore=$3

desktop_start openbox
desktop_sound
desktop_short_sounds "$soundlib"
store=$XDG_CONFIG_HOME/tavirin/tavirin.ini
mkdir -p "$(dirname "$store")"
"$calendarstore" "$store" shift-today 2026-12-09 10 || desktop_fail "cannot write the store"
"$calendarstore" "$store" holidays 2026 || desktop_fail "cannot write the store"

desktop_clock "2026-12-09 07:59:50"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_close_selftest_notice
desktop_wait_window
sleep 12
grep -q 'bell fired' "$DESKTOP_LOG" && desktop_fail "a bell rang at 08:00 on the shifted day"

desktop_clock "2026-12-09 08:09:55"
desktop_wait_log 'bell fired at "08:10:00"' 20
desktop_wait_hidden 60

# Thursday, Constitution Day. The window is brought back first: hidden, the program sleeps
# until shortly before its next bell, and a clock moved through faketime's file (unlike a
# clock set on the machine) does not wake it.
xdotool windowactivate "$DESKTOP_WIN"
desktop_wait_geometry "737x411 IsViewable" 20
desktop_clock "2026-12-10 07:59:55"
desktop_wait_log 'is not rung today: วันหยุด วันรัฐธรรมนูญ' 20
desktop_shot calendar-holiday
sleep 3
[ "$(grep -c 'bell fired' "$DESKTOP_LOG")" -eq 1 ] || desktop_fail "a bell rang on the holiday"
# The bell journal has the holiday's 08:00 bell as skipped, with the holiday as its reason.
python3 - "${XDG_STATE_HOME:-$HOME/.local/state}/tavirin/journal.sqlite" <<'PY' || desktop_fail "the journal does not say why"
import sqlite3, sys
rows = sqlite3.connect(sys.argv[1]).execute(
    "SELECT outcome, reason FROM bells WHERE due LIKE '2026-12-10T08:00:00%' AND period = 2").fetchall()
sys.exit(0 if rows == [("skipped", "วันหยุด วันรัฐธรรมนูญ")] else f"journal rows: {rows}")
PY

# The school calendar from the day's menu (its last entry), with the year's holidays marked.
desktop_click 372 144  # วันนี้ / ปฏิทิน
sleep 0.5
xdotool key Up Return
desktop_until 5 xdotool search --onlyvisible --name '^ปฏิทินโรงเรียน$' ||
  desktop_fail "no calendar panel"
sleep 0.5
desktop_shot calendar-panel
xdotool key Escape
desktop_until 5 eval '! xdotool search --onlyvisible --name "^ปฏิทินโรงเรียน$"' ||
  desktop_fail "the calendar panel stayed"

# Friday: back to 08:00.
desktop_clock "2026-12-11 07:59:55"
desktop_wait_log 'bell fired at "08:00:00"' 20
echo "1 passed, 0 failed"
