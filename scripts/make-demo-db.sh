#!/usr/bin/env bash
# Creates the SQLite demo database of made-up stations and channels and a user ODBC data
# source "ZEL" for it, in the given folder (default: demo/run). Prints the ODBCINI to use.
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
echo "$out/odbc.ini"
