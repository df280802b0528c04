#!/usr/bin/env bash
# The network page under load while bells ring: the real program on an Xvfb desktop of its own
# (openbox, a PulseAudio null sink the bells really play into, the full sound library, its
# clock put by faketime at a minute before a bell), the page turned on over the session bus,
# today's program rewritten through the API so that a bell rings every minute of the run, and
# bench/web_load.py loading the page from loopback: 30 clients holding the event stream open
# and 20 requests a second of the page's own reads. It prints the requests' latency, the events
# each stream got, every bell due in the run as the journal has it (how late it fired, its
# onset at the sink), and the program's CPU seconds and memory.
#
# Usage: bench/web_load.sh [tavirin binary, default build/dev/src/tavirin] [seconds, default 600]
#                          [https 1|0, default 1]
# Environment: WEB_LOAD_PORT (default 18443), WEB_LOAD_STREAMS (default 30),
#   WEB_LOAD_CLIENTS (request clients, default 2: with 30 streams the page's 32 connections),
#   WEB_LOAD_RATE (requests per second, default 20), TAVIRIN_SOUNDLIB_DIR,
#   WEB_LOAD_KEEP_LOG=file (the program's log is copied there at the end).
# The whole run is in a network namespace of its own (only its loopback), so the page is never
# offered on the machine's network; each client connects from an address of its own in
# 127.0.0.0/8, as phones would, since the page allows a few connections per address.
# Ctrl-C stops at once (the figures so far are printed). Needs Xvfb, openbox, xdotool,
# faketime, pulseaudio, gdbus, unshare.
set -euo pipefail

if [ -z "${WEB_LOAD_NETNS:-}" ]; then
  userns=()
  [ "$(id -u)" -eq 0 ] || userns=(--user --map-root-user)
  if unshare "${userns[@]}" --net true 2>/dev/null; then
    export WEB_LOAD_NETNS=1
    exec unshare "${userns[@]}" --net -- "$BASH" "$0" "$@"
  fi
  echo "warning: no network namespace of our own (unshare --net failed): the page listens" \
    "on the machine's private addresses too for the run" >&2
  export WEB_LOAD_NETNS=0
fi
if [ "$WEB_LOAD_NETNS" = 1 ]; then ip link set lo up; fi

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
tavirin=${1:-$repo/build/dev/src/tavirin}
secs=${2:-600}
https=${3:-1}
port=${WEB_LOAD_PORT:-18443}
[ -x "$tavirin" ] || { echo "no program at $tavirin (this bench builds nothing)" >&2; exit 2; }
tavirin=$(realpath "$tavirin")
soundlib=${TAVIRIN_SOUNDLIB_DIR:-$(dirname "$(dirname "$tavirin")")/soundlib/rivedezode}
[ -f "$soundlib/sys/0.wav" ] || soundlib=$repo/build/dev/soundlib/rivedezode
soundlib=$(realpath "$soundlib")
case $https in 1 | 0) ;; *) echo "https must be 1 or 0, not $https" >&2; exit 2 ;; esac
[[ $secs =~ ^[0-9]+$ ]] && ((secs > 0)) || { echo "seconds must be a whole number" >&2; exit 2; }

source "$repo/tests/support/desktop.sh"
# desktop.sh gives HOME and XDG_CONFIG_HOME; the journal (XDG_STATE_HOME) and the rest must
# be the run's own too, never the user's.
export XDG_STATE_HOME=$HOME/.local/state XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
# desktop.sh's EXIT trap ends what it started; a signal ends the script through it.
trap 'exit 130' INT
trap 'exit 143' TERM
keep_log() { [ -z "${WEB_LOAD_KEEP_LOG:-}" ] || cp "$DESKTOP_LOG" "$WEB_LOAD_KEEP_LOG" 2>/dev/null || true; }

# A school day (Wednesday), just after a bell of the first-run programs (they ring on the
# hour), so that none rings while the bench sets up and the window is still on the screen when
# the API's program puts a bell at every minute from a minute or so after the load begins.
# (WEB_LOAD_CLOCK sets another start; see bench/README.md for what happens when the window
# was minimised by a bell before the program is rewritten.)
desktop_start openbox
desktop_sound
desktop_clock "${WEB_LOAD_CLOCK:-2026-12-09 10:00:30}"
desktop_app "$tavirin" "$soundlib"
desktop_wait_log 'Tavirin started' 30
desktop_wait_log 'offered on the session bus as org.tavirin.Bells' 10
desktop_close_selftest_notice

# The program itself, not the unshare in front of it: its child, once it has exec'd.
app_pid() {
  local c
  for c in $(cat /proc/"$DESKTOP_APP_PID"/task/*/children 2>/dev/null); do
    [ "$(readlink /proc/"$c"/exe 2>/dev/null)" = "$tavirin" ] && { echo "$c"; return 0; }
  done
  return 1
}
desktop_until 10 app_pid || desktop_fail "the program's process was not found"
pid=$(app_pid)

bells() {
  gdbus call --session --timeout 30 --dest org.tavirin.Bells --object-path /org/tavirin/Bells \
    --method "org.tavirin.Bells1.$1" "${@:2}"
}
admin_pw=bench-admin-$RANDOM$RANDOM
teacher_pw=bench-teacher-$RANDOM
out=$(bells SetWebPassword admin "$admin_pw") || desktop_fail "SetWebPassword admin got no answer"
[[ $out == "(true, "* ]] || desktop_fail "SetWebPassword admin: $out"
out=$(bells SetWebPassword teacher "$teacher_pw") || desktop_fail "SetWebPassword teacher got no answer"
[[ $out == "(true, "* ]] || desktop_fail "SetWebPassword teacher: $out"
tf=false; [ "$https" = 1 ] && tf=true
out=$(bells EnableWebPage "$port" "$tf") || desktop_fail "EnableWebPage got no answer"
[[ $out == "(true, "* ]] || desktop_fail "EnableWebPage: $out"
echo "page: $out"
grep -E 'the page listens' "$DESKTOP_LOG" | tail -n1

journal=$XDG_STATE_HOME/tavirin/journal.sqlite
scheme=http; [ "$https" = 1 ] && scheme=https
rc=0
WEB_LOAD_ADMIN_PASSWORD=$admin_pw WEB_LOAD_TEACHER_PASSWORD=$teacher_pw /usr/bin/python3 \
  "$here/web_load.py" --url "$scheme://127.0.0.1:$port" --seconds "$secs" --pid "$pid" \
  --journal "$journal" --log "$DESKTOP_LOG" --streams "${WEB_LOAD_STREAMS:-30}" --clients "${WEB_LOAD_CLIENTS:-2}" \
  --rate "${WEB_LOAD_RATE:-20}" || rc=$?
desktop_app_running || echo "!!! the program is no longer running" >&2
keep_log
exit $rc
