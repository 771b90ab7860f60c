#!/usr/bin/env bash
# Wall time of whole runs: the bundled example and a heavy deck (3 wells,
# 30 output times, 16 Stehfest terms), each run several times.
#   bench/run_times.sh [path to kelvorat] [repetitions]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "${1:-$here/../build/driver/kelvorat}")
reps=${2:-20}
for deck in "$here/../examples/kelvorat.dat" "$here/heavy.dat"; do
  work=$(mktemp -d)
  cp "$deck" "$work/kelvorat.dat"
  start=$(date +%s.%N)
  for ((i = 0; i < reps; i++)); do (cd "$work" && "$exe" >/dev/null 2>&1); done
  end=$(date +%s.%N)
  lines=$(wc -l <"$work/adet.res")
  printf '%-40s %8.1f ms per run  (%s lines of adet.res)\n' "$(basename "$(dirname "$deck")")/$(basename "$deck")" \
    "$(echo "($end - $start) * 1000 / $reps" | bc -l)" "$lines"
  rm -rf "$work"
done
