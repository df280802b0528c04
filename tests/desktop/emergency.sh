#!/usr/bin/env bash
# The emergency on the real program (Xvfb, openbox, a PulseAudio null sink recorded at its
# monitor, the clock set with faketime): StartEmergency over the session bus in the middle of
# the 08:00 bell's announcement stops the bell at once (silence at the sink until the signal),
# the evacuation signal is the temporal-three pattern (its pulses and gaps measured in the
# recording), the 09:00 bell during the emergency is not rung but journalled skipped for it,
# and after AllClear the 10:00 bell rings on time.
#   emergency.sh TAVIRIN SOUNDLIB
source "$(dirname "$0")/../support/desktop.sh"
tavirin=$1 soundlib=$2

desktop_start openbox
desktop_sound
desktop_clock "2026-12-09 07:59:50"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_wait_log 'offered on the session bus' 5
desktop_close_selftest_notice
desktop_wait_window

bells() {
  gdbus call --session --timeout 5 --dest org.tavirin.Bells --object-path /org/tavirin/Bells \
    --method "org.tavirin.Bells1.$1" "${@:2}"
}
state() { bells State | python3 -c "import ast, sys; print(ast.literal_eval(sys.stdin.read())[0])"; }
field() { python3 -c "import json, sys; d = json.load(sys.stdin); print($1)"; }
now() { date +%s.%N; }

parec -d bells.monitor --latency-msec=20 --file-format=wav "$DESKTOP_DIR/rec.wav" &
rec=$!
DESKTOP_PIDS+=($rec)
recStart=$(now)

# The 08:00 bell: wait for its announcement (past the front chime and two words).
in_words() { [ "$(state | field 'd["bell"] is not None and d["bell"]["phase"] == "sound" and d["bell"]["sound"] >= 3')" = True ]; }
desktop_until 30 in_words || desktop_fail "the 08:00 bell's announcement never came: $(state)"
startAt=$(now)
out=$(bells StartEmergency evacuate) || desktop_fail "StartEmergency got no answer"
[ "$out" = "(true, '')" ] || desktop_fail "StartEmergency: $out"
s=$(state)
[ "$(field 'd["emergency"]["kind"] + " " + d["emergency"]["from"]' <<<"$s")" = "evacuate dbus" ] ||
  desktop_fail "the emergency is not in the picture: $s"
# Refused while it is in force.
grep -q "^(false, 'มีเหตุฉุกเฉิน" <<<"$(bells AnnounceNow)" || desktop_fail "announce-now during the emergency"

# The 09:00 bell falls while it sounds.
sleep 12
desktop_clock "2026-12-09 08:59:57"
held() { [ "$(state | field 'd["bells"][2]["outcome"] + " " + d["bells"][2]["reason"]')" = "skipped emergency" ]; }
desktop_until 15 held || desktop_fail "the 09:00 bell was not held: $(state | field 'd["bells"][2]')"
grep -q 'bell fired at "09:00:00"' "$DESKTOP_LOG" && desktop_fail "the 09:00 bell rang during the emergency"

out=$(bells AllClear)
[ "$out" = "(true, '')" ] || desktop_fail "AllClear: $out"
over() { [ "$(state | field 'd["emergency"] is None')" = True ]; }
desktop_until 20 over || desktop_fail "the all clear did not end it: $(state | field 'd["emergency"]')"
sleep 1
kill -INT $rec
wait $rec 2>/dev/null || true

# After the all clear the bells ring as before: 10:00 on time. The window goes away with the
# all clear; brought back first (hidden, the program sleeps until shortly before its next bell,
# and a clock moved through faketime's file does not wake it), its tick sees the clock set
# forward at once.
desktop_wait_hidden 30
xdotool windowactivate "$DESKTOP_WIN"
desktop_wait_geometry "737x411 IsViewable" 20
desktop_clock "2026-12-09 09:59:55"
desktop_wait_log 'bell fired at "10:00:00"' 15
rang() { [ "$(state | field 'd["bells"][3]["outcome"]')" = rang ]; }
desktop_until 40 rang || desktop_fail "the 10:00 bell did not ring: $(state | field 'd["bells"][3]')"
grep -E 'bell fired at "10:00:00"' "$DESKTOP_LOG" | head -1

# The 08:00 bell in the journal: failed for the emergency.
[ "$(state | field 'd["bells"][1]["outcome"] + " " + d["bells"][1]["reason"]')" = "failed emergency" ] ||
  desktop_fail "the cut bell: $(state | field 'd["bells"][1]')"

cut=$(python3 -c "print($startAt - $recStart)")
python3 - "$DESKTOP_DIR/rec.wav" "$cut" <<'PY' || desktop_fail "the recording does not show the cut and the signal"
import sys, wave, struct, math
w = wave.open(sys.argv[1])
cut = float(sys.argv[2])
rate, ch = w.getframerate(), w.getnchannels()
frames = w.readframes(w.getnframes())
samples = struct.unpack('<%dh' % (len(frames) // 2), frames)
win = rate // 100  # 10 ms
loud = []
for i in range(0, len(samples) // ch - win, win):
    chunk = samples[i * ch:(i + win) * ch:ch]
    loud.append(math.sqrt(sum(s * s for s in chunk) / len(chunk)) > 300)
def t(i): return i / 100
before = [i for i in range(len(loud)) if loud[i] and t(i) < cut]
if not before: sys.exit("the bell was not heard before the cut")
# The first sound after the cut: at the earliest once the amplifier's time is over.
after = [i for i in range(len(loud)) if loud[i] and t(i) > cut + 0.3]
if not after: sys.exit("nothing was heard after the cut")
onset = t(after[0])
print(f"StartEmergency at {cut:.2f} s; the last of the bell at {t(before[-1]):.2f} s; the signal from {onset:.2f} s")
if onset - cut < 1.0: sys.exit("a sound went on after the cut")
# Stretches of sound from the onset: the temporal-three, two cycles.
stretches, i = [], after[0]
while i < len(loud) and len(stretches) < 6:
    if loud[i]:
        j = i
        while j < len(loud) and (loud[j] or (j + 1 < len(loud) and loud[j + 1])): j += 1
        stretches.append((t(i), t(j)))
        i = j
    i += 1
if len(stretches) < 6: sys.exit(f"fewer than six pulses: {stretches}")
print("pulses:", " ".join(f"{a:.2f}+{b - a:.2f}" for a, b in stretches))
for k, (a, b) in enumerate(stretches):
    if abs((b - a) - 0.5) > 0.03: sys.exit(f"pulse {k + 1} lasts {b - a:.3f} s")
    if k + 1 < len(stretches):
        gap = stretches[k + 1][0] - b
        want = 1.5 if k % 3 == 2 else 0.5
        if abs(gap - want) > 0.03: sys.exit(f"the gap after pulse {k + 1} is {gap:.3f} s, not {want}")
PY
echo "1 passed, 0 failed"
