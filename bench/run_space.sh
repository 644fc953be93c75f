#!/usr/bin/env bash
# Positional sound beside OpenAL Soft: runs bench/peers/zyn_space_render and
# openal_space_render on scenes p (256 positional sources moved every block,
# inverse distance, Doppler, linear resampler) and h (the same, binaural), in
# turns, ROUNDS rounds (default 3), and writes the medians into
# docs/benchmarks.md between the space markers (bench/run_peers.sh keeps that
# block when it rewrites the file).
#
#   bench/run_space.sh
#   BUILD=build-other ROUNDS=5 bench/run_space.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
rounds=${ROUNDS:-3}
cmake --build "$build" -j 2 --target zyn_space_render openal_space_render >/dev/null
peers="$build/bench/peers"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
start_load=$(cut -d' ' -f1-3 /proc/loadavg)
for ((r = 0; r < rounds; ++r)); do
  for scene in p h; do
    "$peers/zyn_space_render" --workloads "$scene" | grep '^RESULT' >>"$work/results"
    "$peers/openal_space_render" --workloads "$scene" 2>/dev/null | grep '^RESULT' >>"$work/results"
  done
done
median() {  # engine, scene
  awk -v e="engine=$1" -v w="workload=$2" '$2 == e && $3 == w {
      for (i = 1; i <= NF; ++i) if ($i ~ /^cpu_ms_per_s=/) { split($i, kv, "="); print kv[2] } }' "$work/results" |
    sort -g | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}
row() {  # scene, description, goal as a fraction of OpenAL Soft
  local z o
  z=$(median zyn "$1")
  o=$(median openal "$1")
  awk -v z="$z" -v o="$o" -v d="$2" -v g="$3" 'BEGIN {
    printf "| %s | %.1f | %.1f | %.2f | at most %.2f (%s) |\n", d, z, o, z / o, g, (z / o <= g ? "met" : "not met") }'
}
{
  echo '<!-- space:begin -->'
  echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) logical" \
    "processors, load average $start_load at the start and $(cut -d' ' -f1-3 /proc/loadavg) at the end." \
    "Date: $(date -u '+%Y-%m-%d %H:%M UTC'). zyn at $(git rev-parse --short HEAD); median of $rounds rounds."
  echo
  echo '| scene (256 sources, 44.1 kHz stereo) | zyn, CPU ms/s | OpenAL Soft, CPU ms/s | zyn / OpenAL | goal |'
  echo '|---|---:|---:|---:|---|'
  row p 'p: moving every block, inverse distance, Doppler, linear resampler' 0.3333
  row h 'h: the same, binaural (HRTF)' 0.5
  echo '<!-- space:end -->'
} >"$work/block.md"
if grep -q '<!-- space:begin -->' docs/benchmarks.md; then
  awk -v file="$work/block.md" '
    /<!-- space:begin -->/ { while ((getline line < file) > 0) print line; skip = 1; next }
    /<!-- space:end -->/ { skip = 0; next }
    !skip { print }' docs/benchmarks.md >"$work/benchmarks.md"
  cp "$work/benchmarks.md" docs/benchmarks.md
fi
cat "$work/block.md"
