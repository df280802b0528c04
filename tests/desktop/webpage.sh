#!/usr/bin/env bash
# The school's network page end to end: the real program under Xvfb (openbox, a PulseAudio
# null sink recorded at its monitor, the clock set with faketime) serves the page over HTTPS
# with its own certificate, and Debian's chromium, headless at a phone's size and driven by
# webpage.py, uses it as a teacher and as the admin: the day's bells and the next one as the
# program has them, the time announced from the page and heard at the sink while the page
# shows its progress from the event stream, no bells today from the page reaching the
# program's own time board, the emergency's question answered "no", a wrong password, the
# admin's programs, calendar and certificate fingerprint, an emergency from the page ended by
# the admin's all clear, the page's doings in the day's record, and a console free of CSP
# violations and script errors.
#   webpage.sh TAVIRIN SOUNDLIB
# With WEB_SHOTS set to a folder (docs/web) the page's screenshots are kept there; with
# DESKTOP_SHOTS, those of the program's window.
#
# Everything runs in a network namespace of its own holding only the loopback: the page
# listens on every private address of the machine, and a test must not offer it to the
# network (nor reach anything else).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${TAVIRIN_WEBPAGE_NETNS:-}" ]; then
  for tool in /usr/bin/chromium /usr/bin/chromedriver /usr/bin/python3; do
    [ -x "$tool" ] || { echo "skipped: $tool is not installed"; exit 77; }
  done
  /usr/bin/python3 -c 'import selenium.webdriver' 2>/dev/null ||
    { echo "skipped: python3-selenium is not installed"; exit 77; }
  export TAVIRIN_WEBPAGE_NETNS=1
  # Not root: the network namespace comes with a user namespace where we are root.
  userns=()
  [ "$(id -u)" -eq 0 ] || userns=(--user --map-root-user)
  exec unshare "${userns[@]}" --net -- bash "$0" "$@"
fi
ip link set lo up || { echo "FAILED: no loopback in the test's network namespace" >&2; exit 1; }

source "$here/../support/desktop.sh"
tavirin=$1 soundlib=$2

desktop_start openbox
desktop_sound
desktop_short_sounds "$soundlib"
# A Wednesday: the first-run program's 11:00 bell is the next one, with time to spare for
# everything the teacher does before it.
desktop_clock "2026-12-09 10:57:30"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started'
desktop_wait_log 'offered on the session bus' 10
desktop_close_selftest_notice
desktop_wait_window 20
desktop_wait_geometry "737x411 IsViewable" 20

bells() {
  gdbus call --session --timeout 5 --dest org.tavirin.Bells --object-path /org/tavirin/Bells \
    --method "org.tavirin.Bells1.$1" "${@:2}"
}

teacher=kru-2569 admin=phu-dulae-2569
out=$(bells SetWebPassword teacher "$teacher") || desktop_fail "SetWebPassword got no answer"
[ "$out" = "(true, '')" ] || desktop_fail "SetWebPassword teacher: $out"
out=$(bells SetWebPassword admin "$admin")
[ "$out" = "(true, '')" ] || desktop_fail "SetWebPassword admin: $out"

# The page's usual port when free (the namespace is ours, so it is), else any free one.
port=$(/usr/bin/python3 -c 'import socket
s = socket.socket()
try:
    s.bind(("127.0.0.1", 8443))
except OSError:
    s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
out=$(bells EnableWebPage "$port" true) || desktop_fail "EnableWebPage got no answer"
[[ "$out" == "(true, 'https://"*":$port/')" ]] || desktop_fail "EnableWebPage $port: $out"
[ -s "$XDG_CONFIG_HOME/tavirin/web-cert.pem" ] || desktop_fail "no certificate was made"

# The browser and everything it starts end with webpage.py: a PID namespace of their own.
unshare --pid --fork --kill-child --mount-proc /usr/bin/python3 "$here/webpage.py" \
  --url "https://127.0.0.1:$port/" --window "$DESKTOP_WIN" --work "$DESKTOP_DIR" \
  --teacher "$teacher" --admin "$admin" --cert "$XDG_CONFIG_HOME/tavirin/web-cert.pem" \
  --shots "${WEB_SHOTS:-}" --window-shots "${DESKTOP_SHOTS:-}" &
driver=$!
DESKTOP_PIDS+=("$driver")
wait "$driver" ||
  desktop_fail "$(tail -n1 "$DESKTOP_DIR/webpage.fail" 2>/dev/null || echo "webpage.py ended badly")"
desktop_app_running || desktop_fail "the program is gone"
echo "1 passed, 0 failed"
