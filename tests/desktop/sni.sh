#!/usr/bin/env bash
# A StatusNotifierItem host (xfce4-panel in its own D-Bus session): the right button opens the
# icon's Thai menu there too; its entries bring the window back and exit through the exit
# button's question.
#   sni.sh TAVIRIN SOUNDLIB
source "$(dirname "$0")/../support/desktop.sh"
tavirin=$1 soundlib=$2
icon=(13 13)  # the panel's status tray, top left

desktop_start xfce
desktop_clock "2026-12-09 10:30:00"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_close_selftest_notice
desktop_wait_window
desktop_wait_geometry "737x411 IsViewable"
# Over StatusNotifierItem, not XEmbed: no window of the program inside the panel.
if xwininfo -root -tree | grep -q '("tavirin" "tavirin")  22x22'; then
  desktop_fail "the icon went to XEmbed"
fi

desktop_click 640 382  # hide
desktop_wait_hidden

desktop_click_at "${icon[@]}" 3
sleep 0.6
desktop_shot sni-menu
xdotool key Down Return  # แสดงหน้าต่าง
desktop_wait_geometry "737x411 IsViewable"

# Its last entry asks as the exit button does (separators are passed over).
desktop_click_at "${icon[@]}" 3
sleep 0.6
xdotool key Down Down Down Down Down Down Down Return  # ออกจากโปรแกรม, after the emergency, the bells' record, today's entries and the calendar
desktop_until 5 xdotool search --onlyvisible --name '^ยืนยันการออกจากโปรแกรม$' ||
  desktop_fail "no exit question"
xdotool key Return  # ใช่
desktop_until 5 eval '! desktop_app_running' || desktop_fail "the program did not end"
grep -q 'exit confirmed' "$DESKTOP_LOG" || desktop_fail "it ended without the exit question"
echo "1 passed, 0 failed"
