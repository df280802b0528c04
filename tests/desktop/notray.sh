#!/usr/bin/env bash
# A desktop without a tray (openbox alone, like stock GNOME): the hide minimises the whole
# window, the task bar's restore brings it back whole with announce-now working again; the
# boxes and the file chooser carry their Thai titles exactly.
#   notray.sh TAVIRIN SOUNDLIB
source "$(dirname "$0")/../support/desktop.sh"
tavirin=$1 soundlib=$2
whole=737x411  # the shown window at 96 DPI

desktop_start openbox
desktop_sound
desktop_short_sounds "$soundlib"
desktop_clock "2026-12-09 10:30:00"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_close_selftest_notice
desktop_wait_window
desktop_wait_geometry "$whole IsViewable"

# Announce-now, a whole bell: it disables its button and hides the window at the end.
desktop_click 344 382
desktop_wait_hidden 20
iconic() { xprop -id "$DESKTOP_WIN" WM_STATE | grep -q Iconic; }
desktop_until 5 iconic || desktop_fail "the window was not minimised"
desktop_wait_geometry "$whole IsUnMapped"

# The task bar (or Alt+Tab) brings it back whole.
xdotool windowactivate "$DESKTOP_WIN"
desktop_wait_geometry "$whole IsViewable"
sleep 0.5
desktop_wait_geometry "$whole IsViewable"
desktop_shot notray-restored

# Thai titles exactly as given (no " — Tavirin" after them): the exit question, the chooser.
titled() { xdotool search --onlyvisible --name "^$1\$"; }
desktop_click 696 382  # exit
desktop_until 5 titled 'ยืนยันการออกจากโปรแกรม' || desktop_fail "no exit question titled as given"
desktop_shot notray-exitbox
xdotool key Escape  # ไม่ใช่
desktop_until 5 eval '! titled ยืนยันการออกจากโปรแกรม' || desktop_fail "the exit question stayed"
desktop_click 528 382  # the editor
sleep 2                # its panel drops in
desktop_click 552 55   # front chime
desktop_until 5 titled 'เลือกรูปแบบเสียงออด หน้า' || desktop_fail "no chooser titled as given"
desktop_shot notray-chooser
xdotool key Escape
desktop_click 676 360  # the editor's Cancel
sleep 2

# Announce-now works again.
desktop_click 344 382
desktop_wait_count 'announce now' 2 5
echo "1 passed, 0 failed"
