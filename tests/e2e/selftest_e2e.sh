#!/usr/bin/env bash
# The real program's start-up self-test finds a word file that is gone and a relay adapter
# that is not plugged in, says so in one notice and writes its items to the journal; a sound
# server of the test's own stands for the sound card, so the output check passes.
set -euo pipefail
tavirin=$1
soundlib=$2
source "$(dirname "$0")/../support/e2e.sh"
export QT_QPA_PLATFORM=offscreen FAKETIME_DONT_FAKE_MONOTONIC=1

# after today's first bell, so that only the start-up self-test runs
run() { timeout 6 faketime "2026-12-09 $1" "$tavirin" > "$work/app.log" 2>&1 || true; }

# First start: the store and the library are made; its files are all well (whether this
# machine has a COM1 is its own business).
run 10:30:00
grep -q 'self-test sounds ok' "$work/app.log" || { cat "$work/app.log"; echo "no self-test"; exit 1; }

# A word file gone, and COM1 saved with a USB adapter that is not there.
gone=$HOME/rivedezode/time/standard/17.wav
rm "$gone"
ini=$XDG_CONFIG_HOME/tavirin/tavirin.ini
head -n -1 "$ini" | sed 's|^com_port\\com_port=.*|&\ncom_port\\com_device="/dev/serial/by-id/usb-no-such-relay-if00"|' > "$work/body"
# the store's last line is a checksum of the rest (docs/STORE.md)
{ cat "$work/body"; echo "; sha256 $(sha256sum < "$work/body" | cut -d' ' -f1)"; } > "$ini"
grep -q 'usb-no-such-relay' "$ini"

run 10:40:00
log=$work/app.log
fail() { cat "$log"; echo "$1"; exit 1; }
if grep -q 'damaged' "$log"; then fail "the edited store was taken for damaged"; fi
grep 'self-test relay FAILED' "$log" | grep -q 'COM1' || fail "the missing relay was not found"
grep 'self-test sounds FAILED' "$log" | grep -qF "$gone" || fail "the missing word file was not found"
grep -q 'self-test audio ok' "$log" || fail "the sound server was not found"
[ "$(grep -c 'notice:' "$log")" = 1 ] || fail "not one notice"
grep 'notice:' "$log" | grep -qF "$gone" || fail "the notice does not name the file"
# and the journal holds the self-test's items
python3 - "$HOME/.local/state/tavirin/journal.sqlite" <<'PY' || fail "the checks are not in the journal"
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
rows = dict(db.execute("select item, ok from checks where at = (select max(at) from checks)"))
print(rows)
assert rows["relay"] == 0 and rows["sounds"] == 0 and rows["audio"] == 1, rows
assert {"clock", "store", "journal", "library"} <= set(rows), rows
assert db.execute("select count(distinct at) from checks").fetchone()[0] == 2
PY
echo "1 passed, 0 failed"
