#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs one.
#   fuzz/fuzz.sh deck|run <seconds>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$here/..
target=${1:-deck}
seconds=${2:-60}
out=$root/build-fuzz
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -ffp-contract=off -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -I"$root")
case $target in
  deck) sources=("$root/driver/deck_reader.cpp") ;;
  run) sources=($(ls "$root"/driver/*.cpp "$root"/model/*.cpp "$root"/numerics/*.cpp \
                   "$root"/simulation/*.cpp | grep -v '/main\.cpp$')) ;;
  *) echo "usage: $0 deck|run <seconds>" >&2; exit 2 ;;
esac
clang++ "${flags[@]}" "$here/${target}_fuzz.cpp" "${sources[@]}" -o "$out/${target}_fuzz"
mkdir -p "$out/corpus_$target"
cd "$out"
./"${target}_fuzz" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
  -print_final_stats=1 "corpus_$target" "$here/corpus/$target"
