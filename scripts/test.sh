#!/usr/bin/env bash
# Sets up, builds and runs every test: the README's test command.
# Usage: bash scripts/test.sh [BUILD-DIR] [extra cmake options...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
shift || true
bash "$root/scripts/install-deps.sh" --test
cmake -S "$root" -B "$build" -G Ninja -DVORDA_TESTS=ON -DVORDA_BENCH=ON "$@"
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
