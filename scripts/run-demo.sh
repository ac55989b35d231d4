#!/usr/bin/env bash
# Sets up and runs the editor on the bundled demo settings file and the SQLite demo database.
# With a display the settings dialog opens; without one the dialog runs on a virtual display
# (Xvfb), a screenshot of it is saved, and the settings and the connection report are printed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
if [ ! -x "$root/build/vorda-settings" ] || [ "${VORDA_REBUILD:-1}" = 1 ]; then
  cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
  cmake --build "$root/build" -j"$(nproc)" --target vorda-settings
fi
run="$root/demo/run"
export ODBCINI
ODBCINI="$(bash "$root/scripts/make-demo-db.sh" "$run")"
# A fresh copy of the demo settings each time; the bundled file stays as shipped.
cp "$root/demo/ZEL_VurEV.ini" "$run/ZEL_VurEV.ini"
cd "$run"
bin="$root/build/vorda-settings"
echo "== Settings as loaded (vorda-settings --dump ZEL_VurEV.ini)"
"$bin" --dump ZEL_VurEV.ini
echo "== Connection test (vorda-settings --test-connection)"
"$bin" --test-connection || true
if [ -n "${DISPLAY:-}" ]; then
  echo "== Opening the settings dialog"
  exec "$bin" ZEL_VurEV.ini
fi
echo "== No display: running the dialog on a virtual display for a few seconds"
shot="$run/dialog.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$0" ZEL_VurEV.ini & pid=$!
  sleep 4
  import -window root "$1" || true
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
' "$bin" "$shot"
echo "Screenshot of the dialog: $shot"
