#!/usr/bin/env bash
# Stores the current results of every golden deck as its expected files.
# Only for a change whose new results have been checked by other means.
#   tests/golden/update.sh <path to kelvorat> [case ...]
set -euo pipefail
exe=$(realpath "$1"); shift
here=$(cd "$(dirname "$0")" && pwd)
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=($(cd "$here" && ls -d */ | tr -d /))
for c in "${cases[@]}"; do
  work=$(mktemp -d)
  cp "$here/$c/kelvorat.dat" "$work/"
  status=0
  (cd "$work" && "$exe" >console.txt 2>stderr.txt) || status=$?
  mkdir -p "$here/$c/expected"
  for f in adet.res kelvorat.res kelvdim.res dim2.res tromb.res console.txt stderr.txt; do
    cp "$work/$f" "$here/$c/expected/$f"
  done
  if [ "$status" -ne 0 ]; then echo "$status" >"$here/$c/expected/status"; else rm -f "$here/$c/expected/status"; fi
  rm -rf "$work"
  echo "$c: exit $status"
done
