#!/usr/bin/env bash
# A school week of the real program, to see whether its memory grows: the first-run programs
# (17 bells a day, 07:00 to 23:00, every day of the week) ring for seven days, Monday to
# Sunday, through GStreamer into a PulseAudio null sink, with the window on the screen of an
# Xvfb desktop (openbox). The program's clock (faketime, through a file; the monotonic clock
# untouched) is moved to 3 s before each bell and waits for the bell to end; each night it
# passes midnight by itself (the journal's purge, the next day's arming) and is moved to
# 06:44:57, where the morning self-test runs. After each move the window, minimised by the
# bell before (openbox has no tray), is brought back onto the screen. After each day: PSS and RSS
# (/proc/PID/smaps_rollup), open descriptors and threads.
#
# Usage: bench/week.sh [build dir, default build/release] [days, default 7]
# About 40 minutes for the week (each bell takes its 5 s amplifier delay and its sounds).
# Needs Xvfb, openbox, xdotool, faketime, pulseaudio.
set -euo pipefail
build=$(realpath "${1:-build/release}")
days=${2:-7}
tavirin=$build/src/tavirin
soundlib=${TAVIRIN_SOUNDLIB_DIR:-$build/soundlib/rivedezode}
[ -f "$soundlib/sys/0.wav" ] || soundlib=$(dirname "$0")/../build/dev/soundlib/rivedezode
soundlib=$(realpath "$soundlib")
source "$(dirname "$0")/../tests/support/desktop.sh"

monday=2026-12-07
desktop_start openbox
desktop_sound
desktop_clock "$monday 06:40:00"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_close_selftest_notice
desktop_wait_window
win=$DESKTOP_WIN
app=$(pgrep -n -x tavirin)

show() { desktop_find_window || xdotool windowactivate "$win" 2>/dev/null || true; }
rang() { grep -cE 'the bell of period [0-9]+ at ' "$DESKTOP_LOG" || true; }
# PSS shares each library page among the processes that map it (it moves when other programs
# start or end); USS (private pages) is the program's own.
report() {
  awk -v day="$1" -v bells="$(rang)" -v fds="$(ls /proc/"$app"/fd | wc -l)" \
    -v threads="$(ls /proc/"$app"/task | wc -l)" '
    /^Rss:/ {r = $2} /^Pss:/ {p = $2} /^Private_(Clean|Dirty):/ {u += $2}
    END {printf "%-10s %5s %7.1f %7.1f %7.1f %12s %8s\n", day, bells, p / 1024, u / 1024, r / 1024, fds, threads}' \
    /proc/"$app"/smaps_rollup
}
echo "day        bells  PSS MB  USS MB  RSS MB  descriptors  threads"
report start

for ((d = 0; d < days; d++)); do
  day=$(date -d "$monday + $d days" +%F)
  if ((d > 0)); then
    # Midnight passes by itself; then the morning self-test, 15 minutes before 07:00.
    desktop_clock "$(date -d "$day - 1 day" +%F) 23:59:57"
    show
    desktop_wait_count 'new day' "$d" 20
    desktop_clock "$day 06:44:57"
    show
    # The tick that finds the clock moved tells the self-test's watch, which runs the morning
    # self-test at 06:45:00; the count at the end says whether each morning had one.
    sleep 5
    desktop_close_selftest_notice
  fi
  for ((h = 7; h <= 23; h++)); do
    before=$(rang)
    desktop_clock "$day $(printf '%02d' $((h - 1))):59:57"
    # After a bell the window slides away and the program sleeps towards its next due second;
    # a clock moved by faketime is not a clock set on the machine, so nothing wakes it. Brought
    # back onto the screen, as an operator would, it looks at the clock at once.
    show
    desktop_wait_count 'the bell of period [0-9]+ at ' $((before + 1)) 90
  done
  report "$day"
done
echo "self-tests: $(grep -c 'self-test done' "$DESKTOP_LOG") (the start-up one at 06:40 on Monday, then one each morning)"
echo "outcomes: $(grep -oE 'the bell of period [0-9]+ at [0-9:]+ [a-z]+' "$DESKTOP_LOG" |
  awk '{print $NF}' | sort | uniq -c | tr '\n' ' ')"
