#!/usr/bin/env bash
# Fails on any include in src/ that runs up the folder ranks, lowest first:
#   resources < platform < settings < ui < database < channels < app
# A file in src/X/ or src/X/ui/ counts as X (src/ui/ is the widget kit, rank "ui"); it may include
# only headers of its own rank or lower. Prints FILE:LINE and both ranks of each offender.
set -euo pipefail
cd "$(dirname "$0")/.."
ranks=(resources platform settings ui database channels app)
rank() {
  local i
  for i in "${!ranks[@]}"; do
    if [ "${ranks[$i]}" = "$1" ]; then echo "$i"; return; fi
  done
  echo -1
}
status=0
while IFS=: read -r file line text; do
  from="${file#src/}"; from="${from%%/*}"
  to="$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]*).*/\1/' <<<"$text")"
  from_rank="$(rank "$from")"
  to_rank="$(rank "$to")"
  if [ "$from_rank" -lt 0 ]; then
    echo "$file:$line: folder '$from' has no rank" >&2; status=1
  elif [ "$to_rank" -lt 0 ]; then
    echo "$file:$line: '$to' is no ranked folder ($text)" >&2; status=1
  elif [ "$to_rank" -gt "$from_rank" ]; then
    echo "$file:$line: $from includes $to, which ranks above it" >&2; status=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' src --include='*.h' --include='*.cpp')
exit $status
