#!/usr/bin/env bash
# Makes docs/screenshot-day.png (the main window with the next bell, today's state and the
# marks on the time board) and docs/screenshot-today.png (the "today" view), from the real
# program under Xvfb: the 07:00 bell rings, the program is off until 09:47 (08:00 and 09:00
# missed), the self-test finds no relay (the desktop helper hides the serial devices).
#   scripts/screenshots-day.sh build/dev/src/tavirin build/dev/soundlib/rivedezode
set -euo pipefail
tavirin=$(realpath "$1")
soundlib=$(realpath "$2")
docs=$(realpath "$(dirname "$0")/../docs")
source "$(dirname "$0")/../tests/support/desktop.sh"

desktop_start openbox
desktop_sound
desktop_short_sounds "$soundlib"
desktop_clock "2026-12-09 06:59:50"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_close_selftest_notice
desktop_wait_log 'bell fired at "07:00:00"' 30
desktop_wait_log 'rang|failed' 30
sleep 3
kill -KILL "$DESKTOP_APP_PID"  # unshare ignores TERM; --kill-child passes this on
wait "$DESKTOP_APP_PID" 2>/dev/null || true
# its locks name pid 1 of its own PID namespace, which the next copy is too: they go with it
rm -f "$XDG_RUNTIME_DIR/tavirin.lock" "$XDG_CONFIG_HOME"/tavirin/tavirin-*.lock

desktop_clock "2026-12-09 09:47:55"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_close_selftest_notice
desktop_wait_window
desktop_wait_geometry "737x411 IsViewable"
sleep 6  # the next-bell line is refreshed every 5 s
import -window "$DESKTOP_WIN" "$docs/screenshot-day.png"
desktop_click 660 172  # บันทึกออด
desktop_until 5 xdotool search --onlyvisible --name '^บันทึกออด$' || desktop_fail "no today view"
sleep 1
view=$(xdotool search --onlyvisible --name '^บันทึกออด$' | head -n1)
import -window "$view" "$docs/screenshot-today.png"
echo "written: $docs/screenshot-day.png $docs/screenshot-today.png"
