#!/usr/bin/env bash
# The real program watching the clock: start-up time, CPU per hour and resident memory.
# Usage: bench/watching.sh [path/to/tavirin] [seconds to watch, default 120]
set -euo pipefail
bin=${1:-build/release/src/tavirin}
watch=${2:-120}
work=$(mktemp -d)
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/.config XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
# The first start copies the sound library and writes the store; measure the second start.
"$bin" > /dev/null 2>&1 & pid=$!; sleep 4; kill $pid; wait $pid 2>/dev/null || true

hz=$(getconf CLK_TCK)
t0=$(date +%s%N)
"$bin" > "$work/log" 2>&1 & pid=$!
until grep -q "Tavirin started" "$work/log" 2>/dev/null; do sleep 0.005; done
t1=$(date +%s%N)
sleep 5   # the slide-in is over
cpu() { awk '{print $14 + $15}' /proc/$pid/stat; }
c0=$(cpu); s0=$(date +%s%N)
sleep "$watch"
c1=$(cpu); s1=$(date +%s%N)
rss=$(awk '/VmRSS/ {print $2}' /proc/$pid/status)
python3 - "$t0" "$t1" "$c0" "$c1" "$s0" "$s1" "$hz" "$rss" <<'PY'
import sys
t0, t1, c0, c1, s0, s1, hz, rss = map(int, sys.argv[1:])
wall = (s1 - s0) / 1e9
cpu = (c1 - c0) / hz
print(f"start-up to window loaded and sliding in: {(t1 - t0) / 1e6:.0f} ms")
print(f"watching {wall:.0f} s: {cpu:.2f} CPU-s, {cpu / wall * 3600:.1f} CPU-s per hour ({cpu / wall * 100:.3f} % of a core)")
print(f"resident memory while watching: {rss / 1024:.1f} MB")
PY
