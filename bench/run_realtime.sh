#!/usr/bin/env bash
# Dropouts of zyn's PulseAudio output with real-time priority on and off,
# beside pacat playing the same length to the same server, while two threads
# of another process keep the processors busy.
#
# A private PulseAudio server with a null sink; zyn plays a looping tone in
# blocks of 256 frames (3 queued: 17 ms) through plug-pulse.so and counts the
# server's underflow reports (ZYN_GET_OUTPUTSTATS's underruns); pacat plays a
# tone of the same length with the same 17 ms queue and counts the same
# reports ("Stream underrun." with -v). Rounds alternate on and off; the block
# between the realtime markers in docs/benchmarks.md is rewritten.
#
#   bench/run_realtime.sh              2 rounds of 60 s each way
#   ROUNDS=1 SECONDS_PER_RUN=20 bench/run_realtime.sh
#   BUILD=build-other bench/run_realtime.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
rounds=${ROUNDS:-2}
seconds=${SECONDS_PER_RUN:-60}
priority=${PRIORITY:-10}
cmake --build "$build" -j 2 --target dropouts_bench plug-pulse plug-null >/dev/null
for program in pulseaudio pactl pacat sox; do
  command -v "$program" >/dev/null || { echo "run_realtime: $program is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/zyn-realtime-XXXXXX)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work HOME=$work PULSE_SERVER=unix:$work/native
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
  "--load=module-null-sink sink_name=bench rate=44100" \
  "--load=module-native-protocol-unix socket=$work/native auth-anonymous=1" 2>"$work/server.txt" &
server=$!
for _ in $(seq 200); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
pactl info >/dev/null
sox -n -r 44100 -c 2 -b 16 -e signed -t raw "$work/tone.raw" synth "$seconds" sine 440 vol 0.1

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
results=$work/results.txt
: >"$results"
for ((r = 1; r <= rounds; r++)); do
  for mode in on off; do
    [ "$mode" = on ] && asked=$priority || asked=0
    "$build/dropouts_bench" --burn 2 --seconds "$((seconds + 2))" &
    burner=$!
    sleep 1
    pacat -v --raw --latency-msec=17 "$work/tone.raw" 2>"$work/pacat.txt" &
    pacat=$!
    zyn=$("$build/dropouts_bench" --plugins "$build/lib/" --plug pulse --seconds "$seconds" --frames 256 \
      --buffers 3 --realtime "$asked")
    wait "$pacat" || true
    wait "$burner"
    pacat_underruns=$(grep -c "Stream underrun" "$work/pacat.txt" || true)
    echo "$mode $zyn pacat $pacat_underruns" | tee -a "$results" >&2
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

row() {  # mode
  awk -v m="$1" '$1 == m { z += $3; p += $NF; n++; rt = $7; lat += $9 }
    END { printf "| %s | %s | %d | %d | %.1f | %d |\n", (m == "on" ? "on (asked " prio ")" : "off"),
      rt, z, p, lat / n, n }' prio="$priority" "$results"
}
{
  echo '<!-- realtime:begin -->'
  echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) logical processors;" \
    "load average $load_before before, $load_after after. Date: $(date -u '+%Y-%m-%d %H:%M UTC')." \
    "zyn at $(git rev-parse --short HEAD); $(pulseaudio --version)."
  echo
  echo "Underruns (the server's underflow reports) in $rounds x $seconds s each way, summed:"
  echo
  echo '| real-time priority | granted | zyn underruns | pacat underruns (same run) | zyn latency, ms | runs |'
  echo '|---|---:|---:|---:|---:|---:|'
  row on
  row off
  echo '<!-- realtime:end -->'
} >"$work/block.md"

if grep -q '<!-- realtime:begin -->' docs/benchmarks.md; then
  awk -v file="$work/block.md" '
    /<!-- realtime:begin -->/ { while ((getline line < file) > 0) print line; skip = 1; next }
    /<!-- realtime:end -->/ { skip = 0; next }
    !skip { print }' docs/benchmarks.md >"$work/benchmarks.md"
  cp "$work/benchmarks.md" docs/benchmarks.md
else
  cat "$work/block.md" >>docs/benchmarks.md
fi
cat "$work/block.md"
