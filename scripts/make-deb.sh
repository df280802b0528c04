#!/usr/bin/env bash
# Builds the optimised program (release preset, prefix /usr) and its Debian package; prints
# the path of the .deb. Install it with: sudo apt install ./tavirin_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh
cmake --preset release > /dev/null
cmake --build --preset release -j2
rm -f build/release/package/tavirin_*.deb
cpack --config build/release/CPackConfig.cmake -G DEB -B build/release/package > /dev/null
ls -1 "$PWD"/build/release/package/tavirin_*.deb
