# A desktop of its own for tests of the real program, to be sourced by a test script:
#
#   source tests/support/desktop.sh
#   desktop_start trayer            # openbox alone, + trayer (XEmbed), or + xfce4-panel (SNI)
#   desktop_clock "2026-12-09 07:59:58"
#   desktop_app "$tavirin" "$soundlib"
#   desktop_wait_log 'Tavirin started'
#
# Everything runs in a temporary folder: HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR (so the
# store and the lock are the test's own), an X server on a display of its own (Xvfb
# -displayfd), its own D-Bus session and sound server where asked for. The program's clock is
# moved with faketime through a file (the machine's clock is never touched). Everything started
# here is ended by its PID when the script exits; nothing else is.
#
# Set DESKTOP_SHOTS to a folder to keep the screenshots desktop_shot takes.

set -euo pipefail

DESKTOP_DIR=$(mktemp -d)
DESKTOP_PIDS=()
DESKTOP_APP_PID=
DESKTOP_WIN=
DESKTOP_LOG=$DESKTOP_DIR/app.log
export HOME=$DESKTOP_DIR/home XDG_CONFIG_HOME=$DESKTOP_DIR/home/.config
export XDG_RUNTIME_DIR=$DESKTOP_DIR/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS PULSE_SERVER SESSION_MANAGER
export NO_AT_BRIDGE=1 LANG=C.UTF-8

desktop_stop() {
  set +e
  local pid
  # Newest first: the program before its tray host, the X server last.
  [ -n "$DESKTOP_APP_PID" ] && kill "$DESKTOP_APP_PID" 2>/dev/null
  for ((i = ${#DESKTOP_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${DESKTOP_PIDS[i]}
    kill "$pid" 2>/dev/null || true
  done
  sleep 0.2
  for pid in "${DESKTOP_PIDS[@]}" $DESKTOP_APP_PID; do kill -9 "$pid" 2>/dev/null || true; done
  rm -rf "$DESKTOP_DIR"
}
trap desktop_stop EXIT

desktop_fail() {
  echo "FAILED: $*" >&2
  echo "--- program log ---" >&2
  cat "$DESKTOP_LOG" >&2 2>/dev/null || true
  desktop_shot failed
  echo "0 passed, 1 failed"
  exit 1
}

# Runs "$@" every 50 ms until it succeeds, at most $1 seconds.
desktop_until() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.05
  done
}

# desktop_start openbox|trayer|xfce
desktop_start() {
  local kind=$1 fdfile=$DESKTOP_DIR/display
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fdfile" 2>"$DESKTOP_DIR/xvfb.log" &
  DESKTOP_PIDS+=($!)
  desktop_until 10 test -s "$fdfile" || desktop_fail "Xvfb did not start"
  export DISPLAY=:$(head -n1 "$fdfile")
  desktop_until 10 xdpyinfo || desktop_fail "no X server on $DISPLAY"

  # A session bus of its own, also for a desktop without a tray host: the program must not
  # find the tray of the machine's session.
  eval "$(dbus-launch --sh-syntax)"
  DESKTOP_PIDS+=("$DBUS_SESSION_BUS_PID")

  openbox >"$DESKTOP_DIR/openbox.log" 2>&1 &
  DESKTOP_PIDS+=($!)
  desktop_until 10 xprop -root _NET_SUPPORTING_WM_CHECK || desktop_fail "openbox did not start"

  case $kind in
    openbox) ;;
    trayer)
      # Top left, one row of 24-pixel icons: the first icon is at (12, 12).
      trayer --edge top --align left --widthtype pixel --width 120 --heighttype pixel \
        --height 24 --SetDockType true >"$DESKTOP_DIR/trayer.log" 2>&1 &
      DESKTOP_PIDS+=($!)
      desktop_until 10 desktop_has_selection _NET_SYSTEM_TRAY_S0 || desktop_fail "no XEmbed tray"
      ;;
    xfce)
      desktop_xfce_panel
      ;;
    *) desktop_fail "unknown desktop $kind" ;;
  esac
}

# Whether the X selection $1 (e.g. the tray's) has an owner.
desktop_has_selection() {
  python3 - "$1" <<'PY'
import ctypes, ctypes.util, sys
x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XGetSelectionOwner.restype = ctypes.c_ulong
d = x.XOpenDisplay(None)
sys.exit(0 if d and x.XGetSelectionOwner(ctypes.c_void_p(d), x.XInternAtom(ctypes.c_void_p(d), sys.argv[1].encode(), 0)) else 1)
PY
}

# xfce4-panel with one panel at the top holding only the status tray (StatusNotifierItem and
# XEmbed), configured before it starts so that it asks nothing.
desktop_xfce_panel() {
  local xml=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
  mkdir -p "$xml"
  cat >"$xml/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="length" type="uint" value="100"/>
      <property name="size" type="uint" value="26"/>
      <property name="icon-size" type="uint" value="16"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray">
      <property name="square-icons" type="bool" value="true"/>
    </property>
  </property>
</channel>
XML
  xfce4-panel >"$DESKTOP_DIR/panel.log" 2>&1 &
  DESKTOP_PIDS+=($!)
  desktop_until 20 desktop_bus_has org.kde.StatusNotifierWatcher ||
    desktop_fail "xfce4-panel offers no StatusNotifierItem host"
}

desktop_bus_has() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.ListNames | grep -q "\"$1\""
}

# A PulseAudio server of its own with a null sink, for the bells to play into.
desktop_sound() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    -L "module-null-sink sink_name=bells" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse-native" \
    --log-target=file:"$DESKTOP_DIR/pulse.log" >/dev/null 2>&1 &
  DESKTOP_PIDS+=($!)
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse-native
  desktop_until 10 pactl info || desktop_fail "pulseaudio did not start"
}

# Sets the program's clock to "YYYY-MM-DD HH:MM:SS", now or while it runs.
desktop_clock() {
  local offset
  offset=$(($(date -d "$1" +%s) - $(date +%s)))
  # An offset from the real clock, so that the program's clock runs on from there.
  if [ "$offset" -ge 0 ]; then offset=+$offset; fi
  echo "$offset" >"$DESKTOP_DIR/clock.tmp"
  mv "$DESKTOP_DIR/clock.tmp" "$DESKTOP_DIR/clock"
}

# A sound library whose every sound lasts a tenth of a second: a bell is over in a moment.
desktop_short_sounds() {
  local from=$1 f
  cp -r "$from" "$HOME/rivedezode"
  while IFS= read -r -d '' f; do
    sox -n -r 22050 -c 1 -b 16 "$f" synth 0.1 sine 660 vol 0.3
  done < <(find "$HOME/rivedezode" -name '*.wav' -print0)
  find "$HOME/rivedezode" -name '*.mp3' -delete
}

# Starts the program under the test's clock; its log goes to $DESKTOP_LOG. It runs in
# namespaces of its own, so that it cannot reach what belongs to others on a shared machine: a
# PID namespace (a bell ends the music player and the browser by name), and no serial device
# nor device locks of the machine (the amplifier relay would switch the machine's port).
# Not root: the namespaces come with a user namespace of our own, where we are root.
desktop_unshare_user() {
  [ "$(id -u)" -eq 0 ] || echo --user --map-root-user
}

desktop_app() {
  local tavirin=$1 soundlib=$2
  [ -f "$DESKTOP_DIR/clock" ] || desktop_clock "$(date '+%F %T')"
  TAVIRIN_SOUNDLIB_DIR=$soundlib \
    LD_PRELOAD=$(dpkg-query -L libfaketime | grep -m1 '/libfaketime.so.1$') \
    FAKETIME_TIMESTAMP_FILE=$DESKTOP_DIR/clock FAKETIME_NO_CACHE=1 \
    FAKETIME_DONT_FAKE_MONOTONIC=1 \
    unshare $(desktop_unshare_user) --pid --fork --mount-proc --kill-child sh -c \
    'mount -t tmpfs tmpfs /sys/class/tty && mount -t tmpfs tmpfs /var/lock && exec "$0"' \
    "$tavirin" >"$DESKTOP_LOG" 2>&1 &
  DESKTOP_APP_PID=$!
}

desktop_app_running() { kill -0 "$DESKTOP_APP_PID" 2>/dev/null; }

# Waits for a line of the program's log matching the extended regex $1 (at most $2 s).
desktop_wait_log() {
  desktop_until "${2:-15}" grep -qE -- "$1" "$DESKTOP_LOG" || desktop_fail "no log line /$1/"
}

# Waits for the start-up self-test and closes its notice: here the relay's port is never there
# (desktop_app hides the machine's serial devices), and the notice would lie over the window.
desktop_close_selftest_notice() {
  desktop_wait_log 'self-test done' 20
  local box
  if desktop_until 3 xdotool search --onlyvisible --name '^ตรวจระบบออดพบปัญหา$'; then
    box=$(xdotool search --onlyvisible --name '^ตรวจระบบออดพบปัญหา$' | head -n1)
    xdotool windowactivate --sync "$box" 2>/dev/null || true
    xdotool key Escape
    desktop_until 5 eval '! xdotool search --onlyvisible --name "^ตรวจระบบออดพบปัญหา\$"' ||
      desktop_fail "the self-test's notice stayed"
  fi
}

# Waits until the program's log holds at least $2 lines matching $1 (at most $3 s).
desktop_wait_count() {
  desktop_until "${3:-15}" sh -c "[ \$(grep -cE -- '$1' '$DESKTOP_LOG') -ge $2 ]" ||
    desktop_fail "fewer than $2 log lines /$1/"
}

# The main window's id (the visible top-level window titled exactly "Tavirin").
desktop_window() {
  xdotool search --onlyvisible --name '^Tavirin$' 2>/dev/null | head -n1
}

# "WIDTHxHEIGHT MAPSTATE" of the main window, e.g. "737x411 IsViewable".
desktop_geometry() {
  xwininfo -id "$DESKTOP_WIN" | awk '/Width:/{w=$2} /Height:/{h=$2} /Map State:/{m=$3} END{print w "x" h, m}'
}

# Waits until the main window is on screen; its id is then $DESKTOP_WIN.
desktop_wait_window() {
  desktop_until "${1:-10}" desktop_find_window || desktop_fail "no main window"
}
desktop_find_window() {
  DESKTOP_WIN=$(desktop_window)
  [ -n "$DESKTOP_WIN" ]
}

# Waits until desktop_geometry reads $1 (at most $2 s).
desktop_wait_geometry() {
  desktop_until "${2:-5}" desktop_geometry_is "$1" ||
    desktop_fail "the main window is $(desktop_geometry), not $1"
  # A shown window may still be sliding to its place, and a click on a moving window lands
  # somewhere else: wait until it stands still.
  [[ "$1" == *IsViewable ]] || return 0
  desktop_until "${2:-5}" desktop_standing_still || desktop_fail "the main window keeps moving"
}
desktop_position() { xwininfo -id "$DESKTOP_WIN" | awk '/Absolute upper-left/{printf "%s ", $4}'; }
desktop_standing_still() {
  local before
  before=$(desktop_position)
  sleep 0.3
  [ "$before" = "$(desktop_position)" ]
}
desktop_geometry_is() { [ "$(desktop_geometry)" = "$1" ]; }

# Waits until a hide of the main window has begun: on screen, and shorter than shown.
desktop_wait_shrinking() {
  desktop_until "${1:-20}" eval '[[ "$(desktop_geometry)" =~ ^737x([0-9]+)\ IsViewable$ ]] &&
    ((BASH_REMATCH[1] < 411))' || desktop_fail "the main window does not hide"
}

# Waits until the main window is off the screen (hidden or minimised).
desktop_wait_hidden() {
  desktop_until "${1:-5}" eval '[[ "$(desktop_geometry)" == *IsUnMapped ]]' ||
    desktop_fail "the main window is still on screen"
}

# A left click at (x, y) pixels inside the main window.
desktop_click() {
  xdotool mousemove --window "$DESKTOP_WIN" "$1" "$2" sleep 0.1 click 1
}

# A click at (x, y) on the screen: button $3 (1 left, 3 right), $4 times.
desktop_click_at() {
  # (--sync would wait for a motion that never comes when the pointer is there already.)
  xdotool mousemove "$1" "$2" sleep 0.1 click --repeat "${4:-1}" --delay 80 "${3:-1}"
}

# Saves a screenshot of the whole screen as $DESKTOP_SHOTS/$1.png, when DESKTOP_SHOTS is set.
desktop_shot() {
  [ -n "${DESKTOP_SHOTS:-}" ] || return 0
  mkdir -p "$DESKTOP_SHOTS"
  import -window root "$DESKTOP_SHOTS/$1.png" 2>/dev/null || true
}
