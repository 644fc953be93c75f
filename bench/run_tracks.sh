#!/usr/bin/env bash
# Tracks: runs build/track_bench (CPU against vorbisfile alone, memory per
# track, 64 tracks in real time on the null plug-in, seeking) and writes its
# table into docs/benchmarks.md between the tracks markers (bench/run_peers.sh
# keeps that block when it rewrites the file).
#
#   bench/run_tracks.sh
#   BUILD=build-other bench/run_tracks.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
cmake --build "$build" -j 2 --target track_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
start_load=$(cut -d' ' -f1-3 /proc/loadavg)
"$build/track_bench" --markdown="$work/table.md" >"$work/run.txt" 2>&1
{
  echo '<!-- tracks:begin -->'
  echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) logical" \
    "processors, load average $start_load at the start and $(cut -d' ' -f1-3 /proc/loadavg) at the end." \
    "Date: $(date -u '+%Y-%m-%d %H:%M UTC'). zyn at $(git rev-parse --short HEAD)."
  echo
  cat "$work/table.md"
  echo '<!-- tracks:end -->'
} >"$work/block.md"
if grep -q '<!-- tracks:begin -->' docs/benchmarks.md; then
  awk -v file="$work/block.md" '
    /<!-- tracks:begin -->/ { while ((getline line < file) > 0) print line; skip = 1; next }
    /<!-- tracks:end -->/ { skip = 0; next }
    !skip { print }' docs/benchmarks.md >"$work/benchmarks.md"
  cp "$work/benchmarks.md" docs/benchmarks.md
fi
cat "$work/block.md"
