#!/usr/bin/env bash
# Builds the Debian package: the release preset's build (build-release/), then cpack.
# The build speaks on standard error; standard output gets only the path of
# vorda-settings_<version>_<arch>.deb. Install it with
#   apt-get install ./build-release/vorda-settings_*.deb
# Usage: bash scripts/package.sh [extra cmake options...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-release"
bash "$root/scripts/install-deps.sh" >&2
cd "$root"
cmake --preset release "$@" >&2
cmake --build --preset release -j"$(nproc)" >&2
cd "$build"
rm -f vorda-settings_*.deb
cpack -G DEB >&2
deb="$(ls "$build"/vorda-settings_*.deb)"
echo "$deb"
