#!/usr/bin/env bash
# Takes a screenshot of each tab of the settings dialog, opened on the demo settings file and
# the demo database, on a virtual X display (Xvfb). The pictures go to docs/screenshots/.
#
#   scripts/screenshots.sh [path/to/vorda-settings]
#
# The dialog is started once per tab; VORDA_SETTINGS_TAB selects the tab it opens on.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

if [ "${1:-}" = "--inside-xvfb" ]; then
  bin="$2" settings="$3" picture="$4" tab="$5"
  VORDA_SETTINGS_TAB="$tab" "$bin" "$settings" &
  pid=$!
  window=""
  for _ in $(seq 1 100); do
    # The dialog is the program's top-level window with a size (Qt also maps tiny helpers).
    window="$(xwininfo -root -tree 2>/dev/null |
      awk '/"vorda-settings" "vorda-settings"/ { split($0, a, " "); id = a[1];
             if (match($0, / [0-9]+x[0-9]+[+-]/)) { split(substr($0, RSTART + 1, RLENGTH - 2), s, "x");
               if (s[1] > 200 && s[2] > 200) { print id; exit } } }')"
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "the dialog did not appear" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  sleep 1  # let it paint
  import -window "$window" "$picture"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  exit 0
fi

bin="${1:-$here/build/vorda-settings}"
bin="$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")"
out="$here/docs/screenshots"
mkdir -p "$out"
run="$(mktemp -d)"
trap 'rm -rf "$run"' EXIT

# The demo: the settings file, the SQLite database with its user data source, and the
# connection file ork.ini beside them naming that data source.
export ODBCINI
ODBCINI="$(bash "$here/scripts/make-demo-db.sh" "$run")"
cp "$here/demo/ZEL_VurEV.ini" "$run/ZEL_VurEV.ini"

cd "$run"
export LANG=C.UTF-8 QT_QPA_PLATFORM=xcb
names=(channels data-source additional)
for tab in 0 1 2; do
  picture="$out/tab$((tab + 1))-${names[$tab]}.png"
  xvfb-run -a -s "-screen 0 1024x768x24" \
    bash "$here/scripts/screenshots.sh" --inside-xvfb "$bin" ZEL_VurEV.ini "$picture" "$tab"
  echo "$picture"
done
