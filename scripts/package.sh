#!/usr/bin/env bash
# Builds the Debian package: a Release build in BUILD-DIR (default build-deb), then cpack.
# The build speaks on standard error; standard output gets only the path of
# vorda-settings_<version>_<arch>.deb. Install it with
#   apt-get install ./build-deb/vorda-settings_*.deb
# Usage: bash scripts/package.sh [BUILD-DIR] [extra cmake options...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-deb}"
shift || true
bash "$root/scripts/install-deps.sh" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >&2
cmake --build "$build" -j"$(nproc)" >&2
cd "$build"
rm -f vorda-settings_*.deb
cpack -G DEB >&2
deb="$(ls "$build"/vorda-settings_*.deb)"
echo "$deb"
