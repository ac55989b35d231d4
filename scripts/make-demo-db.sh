#!/usr/bin/env bash
# Creates the SQLite demo database of made-up stations and channels, a user ODBC data source
# "ZEL" for it (odbc.ini) and the connection file ork.ini naming it, in the given folder
# (default: demo/run). Run the editor in that folder; prints the ODBCINI to use.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$here/demo/run}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
db="$out/demo.sqlite"
rm -f "$db"
sqlite3 "$db" < "$here/demo/schema.sql"
sqlite3 "$db" < "$here/demo/data.sql"
cat > "$out/odbc.ini" <<INI
[ZEL]
Description=Vorda demo seismic database
Driver=SQLite3
Database=$db
INI
printf '[DATABASE]\r\nODBC=ZEL\r\nUSER=ZEL\r\nPASSWORD=QMX\r\n[DATA]\r\nDIR=/var/lib/zel/data\r\n' \
  > "$out/ork.ini"
echo "$out/odbc.ini"
