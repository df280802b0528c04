#!/usr/bin/env bash
# The Debian package, built by CPack from this build tree, installs with dpkg, names every
# package its libraries come from, and the program started from it under Xvfb with a fresh
# HOME makes the user's sound library from the installed default and writes its first-run
# store. A real install: this test is meant for a throwaway machine (CI) and needs root.
set -euo pipefail
export LC_ALL=C.UTF-8   # Thai file names and texts
build=$1      # a configured and built tree (its CPackConfig.cmake)
soundlib=$2   # the default sound library it made
project_version=$3

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing a package needs root"
    exit 77
fi

work=$(mktemp -d)
app=""
xvfb=""
installed=0
cleanup() {
    # ending the program lets xvfb-run end its X server
    [ -n "$app" ] && kill -TERM "$app" 2> /dev/null || true
    if [ -z "$app" ] && [ -n "$xvfb" ]; then
        for p in $(ps --ppid "$xvfb" -o pid=,comm= | awk '$2 == "tavirin" {print $1}' || true); do
            kill -TERM "$p" 2> /dev/null || true
        done
    fi
    [ -n "$xvfb" ] && wait "$xvfb" 2> /dev/null || true
    [ "$installed" = 1 ] && dpkg -P tavirin > /dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
passed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }

# dpkg does not wait for its lock; another installer may hold it for a moment.
dpkg_retry() {
    local out
    for _ in $(seq 30); do
        out=$(dpkg "$@" 2>&1) && { echo "$out"; return 0; }
        grep -q "lock" <<< "$out" || { echo "$out"; return 1; }
        sleep 2
    done
    echo "$out"
    return 1
}

# --- the package ---------------------------------------------------------------------
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" > "$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/pkg/tavirin_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one tavirin_*.deb, got ${debs[*]}"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = tavirin ] || fail "package name"
version=$(dpkg-deb -f "$deb" Version)
[ "${version%-*}" = "$project_version" ] || fail "package version $version, project $project_version"
ok "built $(basename "$deb")"

# Every name in Depends and Recommends is a package apt knows, and the whole Depends
# resolves against the archive (a simulation installs nothing).
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
names=$(tr ',|' '\n\n' <<< "$depends, $recommends" | sed 's/(.*)//; s/[[:space:]]//g' | grep -v '^$')
for n in $names; do
    cand=$(apt-cache policy "$n" | awk '/Candidate:/ {print $2}')
    { [ -n "$cand" ] && [ "$cand" != "(none)" ]; } || fail "no Debian package named '$n'"
done
apt-get install --simulate -q "$deb" > "$work/simulate.log" 2>&1 \
    || { cat "$work/simulate.log"; fail "the package's dependencies do not resolve"; }
ok "Depends and Recommends resolve ($(wc -w <<< "$names") names)"

# --- install -------------------------------------------------------------------------
installed=1
dpkg_retry -i "$deb" > "$work/dpkg.log" || { cat "$work/dpkg.log"; fail "dpkg -i"; }
dpkg -s tavirin | grep -qx "Status: install ok installed" || fail "dpkg -s tavirin"
dpkg -s tavirin | grep -qx "Version: $version" || fail "installed version"

for f in /usr/bin/tavirin /usr/share/applications/tavirin.desktop \
    /etc/xdg/autostart/tavirin.desktop /usr/share/icons/hicolor/scalable/apps/tavirin.svg \
    /usr/share/icons/hicolor/48x48/apps/tavirin.png \
    /usr/share/icons/hicolor/256x256/apps/tavirin.png; do
    [ -f "$f" ] || fail "$f is not installed"
    dpkg -S "$f" > /dev/null 2>&1 || fail "$f does not belong to the package"
done
[ -x /usr/bin/tavirin ] || fail "/usr/bin/tavirin is not executable"
dpkg-query -W -f='${Conffiles}\n' tavirin | grep -q '/etc/xdg/autostart/tavirin.desktop' \
    || fail "the autostart entry is not a conffile"
identify -format '%wx%h' /usr/share/icons/hicolor/256x256/apps/tavirin.png | grep -qx 256x256 \
    || fail "256x256 icon size"
diff -r "$soundlib" /usr/share/tavirin/rivedezode > "$work/diff.log" \
    || { head -20 "$work/diff.log"; fail "installed default library differs from the build's"; }
ok "installed: program, default library, icons, menu and autostart entries"

for f in /usr/share/applications/tavirin.desktop /etc/xdg/autostart/tavirin.desktop; do
    out=$(desktop-file-validate "$f" 2>&1) || fail "$f: $out"
    [ -z "$out" ] || fail "$f: $out"
    for key in "Exec=tavirin" "Icon=tavirin" "Name=Tavirin" "Type=Application"; do
        grep -qx "$key" "$f" || fail "$f lacks $key"
    done
    grep -qP '^Name\[th\]=.*\p{Thai}' "$f" || fail "$f has no Thai name"
    grep -qP '^Comment\[th\]=.*\p{Thai}' "$f" || fail "$f has no Thai comment"
done
grep -q '^Categories=' /usr/share/applications/tavirin.desktop || fail "menu entry: no Categories"
ok "desktop entries valid"

# Every library the installed program links comes from a package that Depends names (the
# libraries those load in turn are their packages' business).
dep_names=" $(tr ',|' '\n\n' <<< "$depends" | sed 's/(.*)//; s/[[:space:]]//g' | tr '\n' ' ') "
ldd /usr/bin/tavirin > "$work/ldd.log"
for lib in $(objdump -p /usr/bin/tavirin | awk '/NEEDED/ {print $2}'); do
    path=$(awk -v l="$lib" '$1 == l && $3 ~ /^\// {print $3}' "$work/ldd.log")
    [ -n "$path" ] || fail "$lib is not found"
    real=$(readlink -f "$path")
    owner=""
    for p in "$real" "${real#/usr}" "/usr$real" "$path"; do
        owner=$(dpkg -S "$p" 2> /dev/null | head -1 | cut -d: -f1) && [ -n "$owner" ] && break
    done
    [ -n "$owner" ] || fail "no package owns $lib"
    [[ $dep_names == *" $owner "* ]] || fail "$lib comes from $owner, which Depends does not name"
done
ok "every linked library's package is in Depends"

# --- start it ------------------------------------------------------------------------
home=$work/home
mkdir -p "$home" "$work/run"
chmod 700 "$work/run"
env -u TAVIRIN_SOUNDLIB_DIR -u QT_QPA_PLATFORM -u XDG_CONFIG_HOME -u XDG_DATA_HOME \
    -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
    HOME="$home" XDG_RUNTIME_DIR="$work/run" QT_LOGGING_RULES="tavirin.*.info=true" \
    xvfb-run -a -s "-screen 0 1024x768x24" /usr/bin/tavirin > "$work/app.log" 2>&1 &
xvfb=$!

ini=$home/.config/tavirin/tavirin.ini
count_values() { grep -c '^[^;[][^=]*=' "$ini" 2> /dev/null || true; }
for _ in $(seq 100); do
    if [ -z "$app" ]; then
        app=$(ps --ppid "$xvfb" -o pid=,comm= | awk '$2 == "tavirin" {print $1}' || true)
    fi
    [ "$(count_values)" = 902 ] && grep -q "Tavirin started" "$work/app.log" && break
    kill -0 "$xvfb" 2> /dev/null || break
    sleep 0.2
done
[ -n "$app" ] || { cat "$work/app.log"; fail "the program did not start"; }
sleep 2   # it keeps running after start-up
kill -0 "$app" 2> /dev/null || { cat "$work/app.log"; fail "the program ended by itself"; }

[ -d "$home/rivedezode" ] || { cat "$work/app.log"; fail "no ~/rivedezode"; }
diff -r /usr/share/tavirin/rivedezode "$home/rivedezode" > "$work/diff.log" \
    || { head -20 "$work/diff.log"; fail "~/rivedezode is not a copy of the default library"; }
grep -q "created the sound library $home/rivedezode from /usr/share/tavirin/rivedezode" \
    "$work/app.log" || { cat "$work/app.log"; fail "the library did not come from /usr/share"; }
ok "~/rivedezode made from /usr/share/tavirin/rivedezode"

[ -f "$ini" ] || { cat "$work/app.log"; fail "no ~/.config/tavirin/tavirin.ini"; }
n=$(count_values)
[ "$n" = 902 ] || { cat "$work/app.log"; fail "tavirin.ini holds $n values, not 902"; }
grep -qF "=\"$home/rivedezode/title/ติ๊งหน่องหน้า.wav\"" "$ini" \
    || fail "the store does not name the user's front chime"
ok "~/.config/tavirin/tavirin.ini written with 902 values"

grep -i -E "crash|segmentation|abort|cannot load|could not load|could not connect to display" \
    "$work/app.log" && fail "trouble in the program's log"

kill -TERM "$app"
for _ in $(seq 50); do kill -0 "$app" 2> /dev/null || break; sleep 0.1; done
kill -0 "$app" 2> /dev/null && fail "the program did not end on SIGTERM"
app=""
wait "$xvfb" 2> /dev/null || true
xvfb=""
ok "started under Xvfb and ended"

# --- remove --------------------------------------------------------------------------
dpkg_retry -P tavirin > "$work/dpkg.log" || { cat "$work/dpkg.log"; fail "dpkg -P"; }
installed=0
dpkg -s tavirin > /dev/null 2>&1 && fail "still installed after dpkg -P"
for f in /usr/bin/tavirin /etc/xdg/autostart/tavirin.desktop /usr/share/tavirin; do
    [ -e "$f" ] && fail "$f left behind"
done
ok "removed"
echo "$passed passed, 0 failed"
