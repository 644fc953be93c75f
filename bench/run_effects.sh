#!/usr/bin/env bash
# Effects: the reverb scene (64 sounds each sent whole into the shared reverb)
# rendered by zyn (bench/peers/zyn_effects_render) and by OpenAL Soft's
# standard reverb on one auxiliary slot (openal_space_render --workloads r),
# in alternate turns, ROUNDS rounds (default 7); medians of CPU ms per second
# of audio. Also zyn's same sounds without sends and in one low-pass-filtered
# group. Writes its block into docs/benchmarks.md between the effects markers
# (bench/run_peers.sh keeps it).
#
#   bench/run_effects.sh
#   ROUNDS=11 BUILD=build-other bench/run_effects.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
rounds=${ROUNDS:-7}
cmake --build "$build" -j 2 --target zyn_effects_render >/dev/null
bin=$build/bench/peers
[ -x "$bin/openal_space_render" ] && cmake --build "$build" -j 2 --target openal_space_render >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
start_load=$(cut -d' ' -f1-3 /proc/loadavg)
for ((i = 0; i < rounds; ++i)); do
  "$bin/zyn_effects_render" --voices 64 --workloads r,s,g >>"$work/results.txt"
  [ -x "$bin/openal_space_render" ] && "$bin/openal_space_render" --voices 64 --workloads r >>"$work/results.txt" 2>/dev/null
done
median() {  # engine, workload
  grep "^RESULT engine=$1 workload=$2 " "$work/results.txt" | grep -c 'status=ok' >/dev/null || { echo missing; return; }
  grep "^RESULT engine=$1 workload=$2 " "$work/results.txt" | sed -n 's/.*cpu_ms_per_s=\([0-9.]*\).*/\1/p' |
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "missing"; else printf "%.2f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
zyn_r=$(median zyn r)
zyn_s=$(median zyn s)
zyn_g=$(median zyn g)
openal_r=$(median openal r)
ratio=$(awk -v z="$zyn_r" -v o="$openal_r" 'BEGIN { if (o + 0 > 0) printf "%.2f", z / o; else print "-" }')
goal=$(awk -v r="$ratio" 'BEGIN { if (r == "-") print "no peer"; else print (r <= 0.5 ? "met" : "not met") }')
{
  echo '<!-- effects:begin -->'
  echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) logical" \
    "processors, load average $start_load at the start and $(cut -d' ' -f1-3 /proc/loadavg) at the end." \
    "Date: $(date -u '+%Y-%m-%d %H:%M UTC'). zyn at $(git rev-parse --short HEAD). Median of $rounds rounds."
  echo
  echo '| scene, 64 sounds, 44.1 kHz stereo, 2048-frame blocks | CPU ms per s of audio | zyn / OpenAL Soft | goal |'
  echo '|---|---|---|---|'
  echo "| OpenAL Soft: 64 sources 2 m around the listener, each sent to the standard reverb on one auxiliary slot | $openal_r | | |"
  echo "| zyn: 64 sounds, each sent whole (1.0) into the reverb (room size 0.484: 1.49 s, wet 0.32) | $zyn_r | $ratio | at most 0.5 ($goal) |"
  echo "| zyn: the same sounds, every send 0 (the reverb does not run) | $zyn_s | | |"
  echo "| zyn: the same sounds in one group with a 1 kHz low-pass, no sends | $zyn_g | | |"
  echo '<!-- effects:end -->'
} >"$work/block.md"
if grep -q '<!-- effects:begin -->' docs/benchmarks.md; then
  awk -v file="$work/block.md" '
    /<!-- effects:begin -->/ { while ((getline line < file) > 0) print line; skip = 1; next }
    /<!-- effects:end -->/ { skip = 0; next }
    !skip { print }' docs/benchmarks.md >"$work/benchmarks.md"
  cp "$work/benchmarks.md" docs/benchmarks.md
fi
cat "$work/block.md"
