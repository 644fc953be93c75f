#!/usr/bin/env bash
# ZYN_LOAD_FILE per format, next to the decoder library alone and the classic
# loaders, and libsoxr per second of audio: runs build/load_file_bench (five
# repetitions, medians of CPU time) and writes its table into
# docs/benchmarks.md between the load_file markers (bench/run_peers.sh keeps
# that block when it rewrites the file).
#
#   bench/run_load_file.sh
#   BUILD=build-other bench/run_load_file.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
cmake --build "$build" -j 2 --target load_file_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/load_file_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --markdown="$work/table.md" >"$work/run.txt" 2>&1
{
  echo '<!-- load_file:begin -->'
  echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load average" \
    "$(cut -d' ' -f1-3 /proc/loadavg) at the end. Date: $(date -u '+%Y-%m-%d %H:%M UTC')." \
    "zyn at $(git rev-parse --short HEAD)."
  echo
  cat "$work/table.md"
  echo '<!-- load_file:end -->'
} >"$work/block.md"
awk -v file="$work/block.md" '
  /<!-- load_file:begin -->/ { while ((getline line < file) > 0) print line; skip = 1; next }
  /<!-- load_file:end -->/ { skip = 0; next }
  !skip { print }' docs/benchmarks.md >"$work/benchmarks.md"
cp "$work/benchmarks.md" docs/benchmarks.md
cat "$work/block.md"
