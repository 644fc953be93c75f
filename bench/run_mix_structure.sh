#!/usr/bin/env bash
# Groups and rendering: runs build/mix_structure_bench (nine repetitions,
# randomly interleaved so both sides of the comparison see the same load;
# medians of CPU time) and writes its table into docs/benchmarks.md between
# the mix_structure markers (bench/run_peers.sh keeps that block when it
# rewrites the file).
#
#   bench/run_mix_structure.sh
#   BUILD=build-other bench/run_mix_structure.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
cmake --build "$build" -j 2 --target mix_structure_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
start_load=$(cut -d' ' -f1-3 /proc/loadavg)
"$build/mix_structure_bench" --benchmark_repetitions=9 --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true --benchmark_format=csv >"$work/run.csv" 2>/dev/null
median() {  # benchmark name, column (4: CPU time, 11: first counter)
  awk -F, -v name="\"$1_median\"" -v col="$2" '$1 == name { print $col }' "$work/run.csv"
}
ungrouped=$(median 'BM_Voices/grouped:0' 4)
grouped=$(median 'BM_Voices/grouped:1' 4)
render_ms=$(median BM_Render60s 4)
realtime=$(awk -v ms="$render_ms" 'BEGIN { printf "%.0f", 60000 / ms }')
ratio=$(awk -v g="$grouped" -v u="$ungrouped" 'BEGIN { printf "%.3f", g / u }')
{
  echo '<!-- mix_structure:begin -->'
  echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) logical" \
    "processors, load average $start_load at the start and $(cut -d' ' -f1-3 /proc/loadavg) at the end." \
    "Date: $(date -u '+%Y-%m-%d %H:%M UTC'). zyn at $(git rev-parse --short HEAD)."
  echo
  echo '| workload | CPU (median of 9) | result | goal |'
  echo '|---|---|---|---|'
  printf '| 256 voices, one 256-frame block, ungrouped | %.2f us | | |\n' "$ungrouped"
  printf '| the same voices in 8 groups, every group volume changed before every block | %.2f us | %s x ungrouped | at most 1.05 x (%s) |\n' \
    "$grouped" "$ratio" "$(awk -v r="$ratio" 'BEGIN { print (r <= 1.05 ? "met" : "not met") }')"
  printf '| ZYN_RENDER of 60 s, 64 looping voices, 44.1 kHz stereo | %.1f ms | %s x real time | at least 500 x (%s) |\n' \
    "$render_ms" "$realtime" "$(awk -v x="$realtime" 'BEGIN { print (x >= 500 ? "met" : "not met") }')"
  echo '<!-- mix_structure:end -->'
} >"$work/block.md"
if grep -q '<!-- mix_structure:begin -->' docs/benchmarks.md; then
  awk -v file="$work/block.md" '
    /<!-- mix_structure:begin -->/ { while ((getline line < file) > 0) print line; skip = 1; next }
    /<!-- mix_structure:end -->/ { skip = 0; next }
    !skip { print }' docs/benchmarks.md >"$work/benchmarks.md"
  cp "$work/benchmarks.md" docs/benchmarks.md
fi
cat "$work/block.md"
