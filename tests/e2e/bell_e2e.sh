#!/usr/bin/env bash
# The real program rings a whole bell through GStreamer into a PulseAudio null sink, whose
# monitor is recorded. The clock is set a few seconds before the first-run program's 08:00
# bell with faketime; the program has no test hook of its own.
set -euo pipefail
tavirin=$1
soundlib=$2
source "$(dirname "$0")/../support/e2e.sh"

# A silent stream keeps the recorded timeline continuous; both ask for a low latency, so
# the sink does not hold each sound's end for its default two seconds.
pacat --raw -d bells --latency-msec=20 < /dev/zero &
sleep 0.3
parec -d bells.monitor --latency-msec=20 --file-format=wav "$work/rec.wav" &
rec=$!
sleep 0.3

FAKETIME_DONT_FAKE_MONOTONIC=1 QT_QPA_PLATFORM=offscreen timeout 34 \
  faketime '2026-12-09 07:59:55' "$tavirin" > "$work/app.log" 2>&1 || true
kill $rec
wait $rec 2>/dev/null || true

grep -q 'bell fired at "08:00:00"' "$work/app.log" || { cat "$work/app.log"; echo "no bell fired"; exit 1; }

# The run: front chime, the time twice (08:00: the filler stands for "minutes"), the system
# sound as add-on, back chime.
v=$HOME/rivedezode/time/standard
files=("$HOME/rivedezode/title/ติ๊งหน่องหน้า.wav")
for _ in 1 2; do files+=("$v/ขณะนี้เวลา.wav" "$v/8.wav" "$v/นาฬิกา.wav" "$v/0.wav" "$HOME/rivedezode/sys/0.wav"); done
files+=("$HOME/rivedezode/sys/0.wav" "$HOME/rivedezode/title/ติ๊งหน่องหลัง.wav")
expected=0
for f in "${files[@]}"; do expected=$(python3 -c "print($expected + $(soxi -D "$f"))"); done

python3 - "$work/rec.wav" "$expected" <<'PY'
import sys, wave, struct, math
path, expected = sys.argv[1], float(sys.argv[2])
w = wave.open(path)
rate, ch = w.getframerate(), w.getnchannels()
frames = w.readframes(w.getnframes())
samples = struct.unpack('<%dh' % (len(frames) // 2), frames)
win = rate // 100  # 10 ms
loud = []
for i in range(0, len(samples) // ch - win, win):
    chunk = samples[i * ch:(i + win) * ch:ch]
    rms = math.sqrt(sum(s * s for s in chunk) / len(chunk))
    loud.append(rms > 100)
if True not in loud:
    sys.exit("nothing was heard")
first = loud.index(True) / 100
last = (len(loud) - 1 - loud[::-1].index(True)) / 100
span = last - first
print(f"bell heard from {first:.2f} s to {last:.2f} s: {span:.2f} s; its files last {expected:.2f} s")
# The clock reaches 08:00:00 5 s after the program starts (part of which start-up takes,
# GStreamer building its registry in the fresh HOME); the 5-second amplifier delay follows.
if not 6.0 <= first <= 14.0:
    sys.exit(f"the front chime began at {first:.2f} s")
# One stream for the whole bell: the files follow each other without gaps, so the bell lasts
# as long as its files (the chimes' quiet tails fall under the threshold).
if span < expected - 0.3:
    sys.exit("parts of the bell are missing")
if span > expected + 0.5:
    sys.exit("the sounds of the bell are apart")
PY
echo "1 passed, 0 failed"
