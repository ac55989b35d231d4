#!/usr/bin/env bash
# Checks a built Debian package as an administrator would use it: its control fields, then
# apt-get install, the program, its manual page, its desktop entry, --dump of the demo, an --apply
# by an operator beside the service's user (setpriv, so run as root) and the Ansible module (where
# Ansible is installed) from the installed files alone, then removes it again (--keep leaves it
# installed).
# Usage: bash scripts/check-package.sh path/to/vorda-settings_VERSION_ARCH.deb [--keep]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
deb="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
keep="${2:-}"
fail() { echo "check-package: $*" >&2; exit 1; }

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vorda-settings ] || fail "package name: $(field Package)"
depends="$(field Depends)"
for p in libqt6widgets6 libqt6gui6 libqt6core6 libqt6svg6 qt6-translations-l10n libodbc2 libodbcinst2; do
  grep -Eq "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
recommends="$(field Recommends)"
for p in libsqliteodbc odbc-postgresql odbc-mariadb; do
  grep -Eq "(^|, )$p( |,|$)" <<<"$recommends" || fail "Recommends lacks $p: $recommends"
done
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends

# Install it; take it away again however the checks end.
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -o DPkg::Lock::Timeout=600 "$deb" >/dev/null
if [ "$keep" != --keep ]; then
  trap 'apt-get remove -y -o DPkg::Lock::Timeout=600 vorda-settings >/dev/null' EXIT
fi

# Only what the package installed: no build folder on the PATH.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
[ "$(command -v vorda-settings)" = /usr/bin/vorda-settings ] || fail "vorda-settings is not /usr/bin's"
version="$(vorda-settings --version)"
[ "$version" = "vorda-settings $(field Version)" ] || fail "--version says: $version"
man -w vorda-settings >/dev/null || fail "no manual page"
page="$(MANWIDTH=80 man vorda-settings 2>/dev/null)"
for heading in SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "EXIT STATUS" EXAMPLES ODBCINI ODBCSYSINI; do
  grep -q "$heading" <<<"$page" || fail "the manual page lacks $heading"
done
desktop-file-validate /usr/share/applications/vorda-settings.desktop || fail "desktop entry"
for f in /usr/share/icons/hicolor/scalable/apps/vorda-settings.svg \
         /usr/share/doc/vorda-settings/copyright /usr/share/doc/vorda-settings/README.md.gz \
         /usr/share/ansible/plugins/modules/vorda_settings.py; do
  [ -f "$f" ] || fail "missing $f"
done

# The demo, as run-demo.sh sets it up, dumped by the installed program.
run="$(mktemp -d)"
trap 'rm -rf "$run"; [ "$keep" = --keep ] || apt-get remove -y -o DPkg::Lock::Timeout=600 vorda-settings >/dev/null' EXIT
ODBCINI="$(bash "$root/scripts/make-demo-db.sh" "$run")"
export ODBCINI
cp "$root/demo/ZEL_VurEV.ini" "$run/ZEL_VurEV.ini"
dump="$(cd "$run" && vorda-settings --dump)"
grep -q '"settingsPath": "./ZEL_VurEV.ini"' <<<"$dump" || fail "--dump: $dump"
grep -q '"groupCount": 3' <<<"$dump" || fail "--dump: $dump"
(cd "$run" && vorda-settings --test-connection >/dev/null) || fail "--test-connection of the demo"

# An operator (2002) beside the service's user (2001), both in its group (3000): the file stays the
# service's, 0664, in its group-writable folder, and the backup goes to the operator's own cache.
chmod 0711 "$run"
mkdir -m 2775 "$run/service" && chgrp 3000 "$run/service"
mkdir -m 0700 "$run/operator" && chown 2002:3000 "$run/operator"
settings="$run/service/ZEL_VurEV.ini"
install -o 2001 -g 3000 -m 0664 "$root/demo/ZEL_VurEV.ini" "$settings"
echo '{"server": "operator-check"}' >"$run/operator/server.json"
status=0
(cd "$run/operator" && HOME="$run/operator" XDG_STATE_HOME="$run/operator/state" \
  XDG_CACHE_HOME="$run/operator/cache" setpriv --reuid=2002 --regid=3000 --groups=3000 \
  vorda-settings --apply server.json "$settings" >/dev/null) || status=$?
[ "$status" -eq 0 ] || fail "--apply as an operator beside the service's user: exit $status"
[ "$(stat -c '%u:%g %a' "$settings")" = "2001:3000 664" ] ||
  fail "the operator's save left the file $(stat -c '%u:%g %a' "$settings")"
grep -q "^SERVER=operator-check" "$settings" || fail "the operator's save did not set the server"
[ -n "$(ls -A "$run/operator/cache/vorda-settings/backups")" ] || fail "no backup in the operator's cache"

# The Ansible module where Ansible finds it, with the installed program (when Ansible is here).
if command -v ansible >/dev/null; then
  ansible-doc vorda_settings | grep -q "settings" || fail "ansible-doc does not show vorda_settings"
  ANSIBLE_LOCAL_TEMP="$run/ansible" ANSIBLE_REMOTE_TEMP="$run/ansible" XDG_CACHE_HOME="$run/cache" \
    ansible localhost -c local -i localhost, -m vorda_settings \
    -a "{\"path\": \"$run/ZEL_VurEV.ini\", \"settings\": {\"server\": \"package-check\"}}" \
    >/dev/null || fail "the Ansible module vorda_settings"
  grep -q "^SERVER=package-check" "$run/ZEL_VurEV.ini" || fail "vorda_settings did not set the server"
fi
echo "check-package: $(basename "$deb") installs and works"
