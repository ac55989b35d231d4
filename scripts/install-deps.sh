#!/usr/bin/env bash
# Installs the Debian packages the project needs.
#   install-deps.sh          what building and running the editor and its demo need
#   install-deps.sh --test   that, and what the tests, the benchmarks, the fuzzing and the
#                            package check add: database servers and drivers, test libraries,
#                            clang
# Safe to run again: what is already installed is skipped.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES=(
  # building
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools unixodbc-dev nlohmann-json3-dev
  # running: the SVG icons, Qt's Russian texts, the driver manager, the demo's SQLite driver
  qt6-translations-l10n libqt6svg6 unixodbc odbcinst libsqliteodbc sqlite3
  # the demo without a display: a virtual one and a screenshot of it
  xvfb xauth fonts-dejavu-core imagemagick x11-utils
)
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  odbc-postgresql postgresql odbc-mariadb mariadb-server
  clang clang-format clang-tidy libclang-rt-14-dev
  desktop-file-utils man-db ansible-core
)
case "${1:-}" in
  "") ;;
  --test) PACKAGES+=("${TEST_PACKAGES[@]}") ;;
  *) echo "usage: $0 [--test]" >&2; exit 2 ;;
esac
# One look at the package database for all of them: when everything is there, nothing is said.
declare -A installed=()
while read -r name status; do
  if [ "$status" = "install ok installed" ]; then installed[$name]=1; fi
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${PACKAGES[@]}" 2>/dev/null || true)
missing=()
for p in "${PACKAGES[@]}"; do
  [ -n "${installed[$p]:-}" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get -o DPkg::Lock::Timeout=600 update
  $SUDO apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi
