# The real program's own folders and a sound server of its own, for an e2e test script:
#
#   source tests/support/e2e.sh    # after: tavirin=$1 soundlib=$2
#
# Sets $work (removed at exit), HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and
# TAVIRIN_SOUNDLIB_DIR, and starts PulseAudio with a null sink "bells" in that runtime
# folder; the server and every job of the script are ended at exit (only what was started
# here: `pulseaudio --kill` asks the server of this runtime folder).
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; pulseaudio --kill 2>/dev/null || true; rm -rf "$work"' EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export TAVIRIN_SOUNDLIB_DIR=$soundlib

pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit \
  -L "module-null-sink sink_name=bells" -L module-native-protocol-unix \
  --log-target=file:"$work/pulse.log" 2>/dev/null
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
