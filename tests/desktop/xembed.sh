#!/usr/bin/env bash
# An XEmbed tray (trayer): a double click on the icon during a bell's slide-down brings the
# window back and the next bell still rings; the right button opens the icon's Thai menu.
#   xembed.sh TAVIRIN SOUNDLIB
source "$(dirname "$0")/../support/desktop.sh"
tavirin=$1 soundlib=$2
icon=(12 12)  # trayer's first icon, top left

desktop_start trayer
desktop_sound
desktop_short_sounds "$soundlib"
desktop_clock "2026-12-09 07:50:00"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_close_selftest_notice
desktop_wait_window
desktop_clock "2026-12-09 07:59:58"  # once it watches, however long its start took
desktop_wait_log 'bell fired at "08:00:00"' 6
# The sounds are over and the slide-down (about a second) has begun: double click.
desktop_wait_shrinking
desktop_click_at "${icon[@]}" 1 2
desktop_wait_log 'a show abandoned the hide' 3
desktop_wait_geometry "737x411 IsViewable"

# Watching again: the next bell rings.
desktop_clock "2026-12-09 08:59:58"
desktop_wait_log 'bell fired at "09:00:00"' 6
desktop_wait_hidden 20

# The right button opens the icon's menu; its first entry brings the window back.
desktop_click_at "${icon[@]}" 3
sleep 0.5
desktop_shot xembed-menu
xdotool key Down Return  # แสดงหน้าต่าง
desktop_wait_geometry "737x411 IsViewable"
echo "1 passed, 0 failed"
