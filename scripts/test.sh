#!/usr/bin/env bash
# Sets up, builds and runs every test: the README's test command. The build is the default
# preset's (build/: the program, the tests and the benchmarks); extra options go to cmake.
# Usage: bash scripts/test.sh [extra cmake options...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh" --test
cd "$root"
cmake --preset default "$@"
cmake --build --preset default -j"$(nproc)"
ctest --preset default -j"$(nproc)"
