#!/usr/bin/env bash
# What watching the clock costs, side by side in one run under Xvfb with a window manager:
# the program with its window hidden (minimised) and shown, and three anchors, a minimal Qt
# Widgets program with a 100 ms and with a 1000 ms QTimer changing a label of a hidden window,
# and the same 1000 ms program with its label on the screen (what any shown clock costs). For each: CPU-s per hour (utime +
# stime, /proc/PID/stat) and wake-ups per second (voluntary + involuntary context switches of
# all its threads, /proc/PID/task/*/status), per slice and over the whole run; PSS and RSS at
# the start and the end (/proc/PID/smaps_rollup).
#
# Usage: bench/watching.sh [build dir, default build/release] [seconds, default 600] [slices, default 5]
# WATCHING_WEB=1: the hidden copy serves the school's network page (HTTPS, no client), turned
# on over a session bus of its own, so that the page's cost when nobody uses it is measured.
# The programs' clock is put at 05:00 (faketime, the monotonic clock untouched), two hours
# before the first bell, so no bell rings during the run. Needs Xvfb, openbox, xdotool, faketime.
set -euo pipefail
build=${1:-build/release}
secs=${2:-600}
slices=${3:-5}
bin=$build/src/tavirin
anchor=$build/bench/qt_anchor
soundlib=${TAVIRIN_SOUNDLIB_DIR:-$build/soundlib/rivedezode}
[ -f "$soundlib/sys/0.wav" ] || soundlib=build/dev/soundlib/rivedezode
soundlib=$(realpath "$soundlib")
# The library itself, not the faketime wrapper, so that $! is the program.
libfaketime=$(find /usr/lib -name libfaketime.so.1 | head -1)
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  sleep 0.3
  rm -rf "$work"
}
trap cleanup EXIT
[ -n "${WATCHING_DEBUG:-}" ] && trap 'cat "$work"/*/log >&2; cleanup' EXIT
unset DBUS_SESSION_BUS_ADDRESS PULSE_SERVER SESSION_MANAGER
export NO_AT_BRIDGE=1 LANG=C.UTF-8

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
until [ -s "$work/display" ]; do sleep 0.05; done
export DISPLAY=:$(head -1 "$work/display")
HOME=$work openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Each copy of the program has a home, store and lock of its own.
start_app() {
  local home=$work/$1
  mkdir -p "$home/run" && chmod 700 "$home/run"
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/run TAVIRIN_SOUNDLIB_DIR=$soundlib \
    FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME='@2026-12-09 05:00:00' LD_PRELOAD=$libfaketime \
    "$bin" >"$home/log" 2>&1 &
  pids+=($!)
  echo $!
}
if [ -n "${WATCHING_WEB:-}" ]; then
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  pids+=($(sed -n 2p <<<"$bus"))
  export DBUS_SESSION_BUS_ADDRESS=$(head -1 <<<"$bus")
fi
hidden=$(start_app hidden)
unset DBUS_SESSION_BUS_ADDRESS
shown=$(start_app shown)
"$anchor" 100 & pids+=($!); a100=$!
"$anchor" 1000 & pids+=($!); a1000=$!
"$anchor" 1000 shown & pids+=($!); a1000shown=$!
for h in hidden shown; do
  until grep -q "Tavirin started" "$work/$h/log" 2>/dev/null; do sleep 0.1; done
done
if [ -n "${WATCHING_WEB:-}" ]; then
  until grep -q "offered on the session bus" "$work/hidden/log"; do sleep 0.1; done
  DBUS_SESSION_BUS_ADDRESS=$(head -1 <<<"$bus") gdbus call --session --dest org.tavirin.Bells \
    --object-path /org/tavirin/Bells --method org.tavirin.Bells1.EnableWebPage 18443 true
  grep -q "the page listens" "$work/hidden/log" || { echo "the page did not start" >&2; exit 1; }
fi
sleep 6  # the slide-in is over
win=$(xdotool search --sync --onlyvisible --pid "$hidden" | head -1)
xdotool windowminimize "$win"
sleep 3

cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Per thread ("tid switches"): a slice counts each thread's own growth, so a thread that ends
# during the run (the start-up self-test's) takes nothing away from the others.
ctx() {
  for t in /proc/"$1"/task/*; do
    echo "${t##*/} $(awk '/ctxt_switches/ {s += $2} END {print s}' "$t/status" 2>/dev/null)"
  done
}
ctxdelta() { awk 'NR == FNR {a[$1] = $2; next} $2 != "" {d += $2 - a[$1]} END {print d + 0}' "$1" "$2"; }
pss() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup"; }
rss() { awk '/^Rss:/ {print $2}' "/proc/$1/smaps_rollup"; }
names=(hidden shown anchor100 anchor1000 anchor1000shown)
procs=($hidden $shown $a100 $a1000 $a1000shown)
for i in 0 1 2 3 4; do echo "${names[i]} pss0 $(pss ${procs[i]}) rss0 $(rss ${procs[i]})"; done >"$work/mem0"
slice=$((secs / slices))
for ((s = 0; s < slices; s++)); do
  t0=$(date +%s%N)
  for i in 0 1 2 3 4; do cpu ${procs[i]} >"$work/cpu$i.a"; ctx ${procs[i]} >"$work/ctx$i.a"; done
  sleep "$slice"
  t1=$(date +%s%N)
  for i in 0 1 2 3 4; do cpu ${procs[i]} >"$work/cpu$i.b"; ctx ${procs[i]} >"$work/ctx$i.b"; done
  for i in 0 1 2 3 4; do
    echo "$s $i $(($(cat "$work/cpu$i.b") - $(cat "$work/cpu$i.a")))" \
      "$(ctxdelta "$work/ctx$i.a" "$work/ctx$i.b") $(((t1 - t0) / 1000000))e-3"
  done >>"$work/slices"
done
for i in 0 1 2 3 4; do echo "${names[i]} pss1 $(pss ${procs[i]}) rss1 $(rss ${procs[i]})"; done >"$work/mem1"
grep -c "asleep\|watching" "$work/hidden/log" >/dev/null || true

python3 - "$work/slices" "$work/mem0" "$work/mem1" "$(getconf CLK_TCK)" <<'PY'
import sys, collections
slices, mem0, mem1, hz = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
names = ["tavirin, window hidden", "tavirin, window shown", "Qt Widgets, 100 ms QTimer",
         "Qt Widgets, 1000 ms QTimer", "the same, label shown"]
per = collections.defaultdict(list)
tot = collections.defaultdict(lambda: [0, 0, 0.0])
for line in open(slices):
    s, i, ticks, ctx, wall = line.split()
    i, ticks, ctx, wall = int(i), int(ticks), int(ctx), float(wall)
    per[i].append((ticks / hz / wall * 3600, ctx / wall))
    t = tot[i]; t[0] += ticks; t[1] += ctx; t[2] += wall
m0 = [l.split() for l in open(mem0)]
m1 = [l.split() for l in open(mem1)]
wall = tot[0][2]
print(f"watching {wall:.0f} s in {len(per[0])} slices (CPU-s per hour and wake-ups per second: whole run, [min-max of the slices])")
print(f"{'':30} {'CPU-s/h':>8} {'range':>13} {'wake-ups/s':>11} {'range':>13} {'PSS MB start/end':>18} {'RSS MB':>7}")
for i, n in enumerate(names):
    t = tot[i]
    c = [p[0] for p in per[i]]; w = [p[1] for p in per[i]]
    print(f"{n:30} {t[0] / hz / t[2] * 3600:8.2f} {min(c):6.2f}-{max(c):<6.2f} {t[1] / t[2]:11.2f} {min(w):6.2f}-{max(w):<6.2f}"
          f" {int(m0[i][2]) / 1024:8.1f}/{int(m1[i][2]) / 1024:<8.1f} {int(m1[i][4]) / 1024:7.1f}")
PY
