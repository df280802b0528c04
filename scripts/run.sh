#!/usr/bin/env bash
# Sets up the machine, builds an optimised program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh
cmake --preset release
cmake --build --preset release -j2
exec build/release/src/tavirin "$@"
