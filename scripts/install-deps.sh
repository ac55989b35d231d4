#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run, test and benchmark.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache clang clang-format libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6svg6
  unixodbc unixodbc-dev odbcinst libsqliteodbc sqlite3
  odbc-postgresql postgresql odbc-mariadb mariadb-server
  nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core imagemagick x11-utils
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get -o DPkg::Lock::Timeout=600 update
  $SUDO apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi
