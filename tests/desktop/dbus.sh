#!/usr/bin/env bash
# The real program on its session bus: a script asks for the time announced with gdbus, the
# announcement is heard at the sound server's null sink, and State reports the bell while it
# plays (countdown, then the sounds k of n) and none once it is over. Calls it must refuse
# (a period that does not exist, a change it does not know, a second bell during the first)
# are answered at once with a Thai reason.
#   dbus.sh TAVIRIN SOUNDLIB
source "$(dirname "$0")/../support/desktop.sh"
tavirin=$1 soundlib=$2

desktop_start openbox
desktop_sound
desktop_short_sounds "$soundlib"
desktop_clock "2026-12-09 10:30:00"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_wait_log 'offered on the session bus as org.tavirin.Bells'
desktop_close_selftest_notice

bells() {
  gdbus call --session --timeout 5 --dest org.tavirin.Bells --object-path /org/tavirin/Bells \
    --method "org.tavirin.Bells1.$1" "${@:2}"
}
# State's JSON, out of gdbus's ('...',) around it.
state() {
  bells State | python3 -c "import ast, sys; print(ast.literal_eval(sys.stdin.read())[0])"
}
field() { python3 -c "import json, sys; d = json.load(sys.stdin); print($1)"; }

# Idle: no bell, no emergency, the next bell is the first-run program's 11:00.
idle=$(state)
[ "$(field 'd["bell"]' <<<"$idle")" = None ] || desktop_fail "a bell before any was asked for: $idle"
[ "$(field 'd["emergency"]' <<<"$idle")" = None ] || desktop_fail "an emergency in force: $idle"
[ "$(field 'd["next"]["at"]' <<<"$idle")" = 11:00:00 ] || desktop_fail "next bell: $idle"
[ "$(field 'len(d["bells"])' <<<"$idle")" = 24 ] || desktop_fail "not 24 periods: $idle"

# Refused at once, with a reason in Thai.
out=$(bells RingPeriod 25) || desktop_fail "RingPeriod 25 got no answer"
grep -q "^(false, 'ไม่มีช่วงที่ 25" <<<"$out" || desktop_fail "RingPeriod 25: $out"
out=$(bells SetTodayChange nonsense 0) || desktop_fail "SetTodayChange got no answer"
grep -q "^(false, 'ไม่รู้จักการเปลี่ยนแปลง" <<<"$out" || desktop_fail "SetTodayChange nonsense: $out"
out=$(bells SetTodayChange weekday 9)
grep -q "^(false, " <<<"$out" || desktop_fail "weekday 9 accepted: $out"

# The announcement, recorded at the sink's monitor.
parec -d bells.monitor --latency-msec=20 --file-format=wav "$DESKTOP_DIR/rec.wav" &
rec=$!
DESKTOP_PIDS+=($rec)
sleep 0.3
out=$(bells AnnounceNow) || desktop_fail "AnnounceNow got no answer"
[ "$out" = "(true, '')" ] || desktop_fail "AnnounceNow: $out"
# A second one during the first is refused, not queued behind it.
out=$(bells AnnounceNow)
grep -q "^(false, 'กำลังตีออดอยู่" <<<"$out" || desktop_fail "a second AnnounceNow during the bell: $out"

# State while it plays: the countdown, then the sounds one by one.
seen=$DESKTOP_DIR/phases
: >"$seen"
for _ in $(seq 400); do
  s=$(state)
  field '"none" if d["bell"] is None else "%s %s %s/%s" % (d["bell"]["kind"], d["bell"]["phase"], d["bell"]["sound"], d["bell"]["of"])' <<<"$s" >>"$seen"
  tail -n1 "$seen" | grep -q none && grep -q sound "$seen" && break
  sleep 0.05
done
grep -q '^announce countdown ' "$seen" || desktop_fail "no countdown seen: $(sort -u "$seen" | tr '\n' ';')"
grep -qE '^announce sound [0-9]+/13$' "$seen" || desktop_fail "no sound k of 13 seen: $(sort -u "$seen" | tr '\n' ';')"
[ "$(tail -n1 "$seen")" = none ] || desktop_fail "the bell did not end: $(tail -n3 "$seen")"
desktop_wait_count 'announce now' 1 1
sleep 0.5
kill -INT $rec
wait $rec 2>/dev/null || true

python3 - "$DESKTOP_DIR/rec.wav" <<'PY' || desktop_fail "the announcement was not heard"
import sys, wave, struct, math
w = wave.open(sys.argv[1])
rate, ch = w.getframerate(), w.getnchannels()
frames = w.readframes(w.getnframes())
samples = struct.unpack('<%dh' % (len(frames) // 2), frames)
win = rate // 100
loud = 0
for i in range(0, len(samples) // ch - win, win):
    chunk = samples[i * ch:(i + win) * ch:ch]
    if math.sqrt(sum(s * s for s in chunk) / len(chunk)) > 100:
        loud += 1
print(f"heard for {loud * 10} ms")
# 13 sounds of 0.1 s each
sys.exit(0 if loud >= 100 else 1)
PY

# A change of today from a script: the board follows, and State says so.
out=$(bells SetTodayChange no-bells 0)
[ "$out" = "(true, '')" ] || desktop_fail "no-bells: $out"
[ "$(state | field 'd["today"]["noBells"] and d["next"] is None')" = True ] ||
  desktop_fail "no bells today not in State: $(state)"
out=$(bells SetTodayChange none 0)
[ "$out" = "(true, '')" ] || desktop_fail "taking it back: $out"
[ "$(state | field 'd["next"]["at"]')" = 11:00:00 ] || desktop_fail "not taken back: $(state)"
echo "1 passed, 0 failed"
