#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running Tavirin needs.
set -euo pipefail

PACKAGES=(
  # build
  cmake ninja-build g++ pkg-config clang-format ccache
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
  # the bell journal (Qt SQL's SQLite driver) and calendars (iCalendar files)
  libqt6sql6-sqlite libical-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  # run
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-pulseaudio gstreamer1.0-alsa
  gstreamer1.0-tools fonts-thai-tlwg
  # online radio streams in AAC (avdec_aac); souphttpsrc, icydemux and HLS come with
  # plugins-good, Ogg Vorbis and Opus with plugins-base
  gstreamer1.0-libav
  # the icon's PNGs are drawn from its SVG at build time
  librsvg2-bin
  # the default sound library is made at build time
  espeak-ng sox libsox-fmt-mp3 lame imagemagick python3
  # tests and benchmarks
  xvfb xauth libbenchmark-dev
  # the package test: checks the installed .desktop entries
  desktop-file-utils
  # the wake alarm's polkit action is checked with xmllint against polkit's DTD (polkitd's)
  libxml2-utils polkitd
  # the end-to-end bell test: a sound server with a null sink, and a set clock
  pulseaudio pulseaudio-utils faketime
  # desktop tests: a window manager without a tray, an XEmbed tray, a StatusNotifierItem
  # host, clicks and screenshots
  openbox trayer xfce4-panel dbus-x11 xdotool x11-utils
  # the session-bus test calls the program with gdbus
  libglib2.0-bin
  # the school's network page: Qt HTTP Server over TLS (the certificate is made with
  # OpenSSL), Argon2id password hashes, the page's QR code
  qt6-httpserver-dev qt6-websockets-dev libssl-dev libsodium-dev libqrencode-dev
  # the page's browser test: headless Chromium driven by Selenium
  chromium chromium-driver python3-selenium
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
