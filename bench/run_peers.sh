#!/usr/bin/env bash
# zyn side by side with OpenAL Soft and SDL_mixer.
#
# Builds the render programs of bench/peers/ in build/ (configuring it when
# needed), runs every engine in turn for several rounds, takes the median CPU
# time per second of audio of each engine, workload and voice count, times the
# loading of a 60 s WAV, MP3 and Ogg file, and writes docs/benchmarks.md and
# the table in README.md (between the bench markers). Prints the tables too.
#
#   bench/run_peers.sh              5 rounds
#   ROUNDS=9 bench/run_peers.sh     more rounds on a noisy machine
#   BUILD=build-other bench/run_peers.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD:-build}
rounds=${ROUNDS:-5}
jobs=${JOBS:-2}

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
else
  # Re-run the configure step so that engine areas merged since are noticed.
  cmake "$build" >/dev/null
fi
grep -q 'CMAKE_BUILD_TYPE:STRING=\(Release\|RelWithDebInfo\)' "$build/CMakeCache.txt" ||
  echo "run_peers: warning: $build is not an optimised build" >&2
cmake --build "$build" -j "$jobs" --target bench/peers/all >/dev/null

bin=$build/bench/peers
zyn=$bin/zyn_render
zyn_setup="the public interface (ZYN_CREATE_WAVE, ZYN_PLAY_WAVE)"
if [ ! -x "$zyn" ]; then
  zyn=$bin/zyn_render_rows
  zyn_setup="rows placed in the sound table by hand (zyn_render_rows: the engine has no ZYN_PLAY_WAVE yet; the fills are the same)"
fi
engines=("$zyn")
[ -x "$bin/openal_render" ] && engines+=("$bin/openal_render" "$bin/openal_render --direct")
[ -x "$bin/sdlmixer_render" ] && engines+=("$bin/sdlmixer_render")
# Reading between frames: each of zyn's modes and OpenAL Soft's of the same
# kind, at speed 1.37 (workload c).
for mode in nearest linear cubic sinc; do
  engines+=("$zyn --workloads c --voices 64,256 --resampler $mode")
  [ -x "$bin/openal_render" ] && engines+=("$bin/openal_render --workloads c --voices 64,256 --resampler $mode")
done

work=$(mktemp -d /tmp/zyn-peers-XXXXXX)
trap 'rm -rf "$work"' EXIT
results=$work/results.txt
: >"$results"

echo "run_peers: $rounds rounds of: ${engines[*]##*/}" >&2
for ((r = 1; r <= rounds; r++)); do
  # Each round starts with a different engine, so none always runs first.
  n=${#engines[@]}
  for ((i = 0; i < n; i++)); do
    cmd=${engines[$(((i + r - 1) % n))]}
    if ! $cmd >>"$results" 2>"$work/stderr.txt"; then
      echo "run_peers: $cmd reported a failure:" >&2
      cat "$work/stderr.txt" >&2
      grep -h 'status=FAIL' "$results" >&2 || true
    fi
    [ "$r" = 1 ] && grep -h '^openal_render\|^sdlmixer_render' "$work/stderr.txt" >>"$work/versions.txt" || true
  done
  echo "run_peers: round $r done" >&2
done

# Median per engine, workload and voices: "engine workload voices median runs"; a
# single failed run makes the median FAIL (the lower middle for an even count).
medians=$work/medians.txt
awk '/^RESULT/ {
    e = ""; w = ""; v = ""; ms = ""; st = ""; cb = "";
    for (i = 2; i <= NF; i++) {
      split($i, kv, "=");
      if (kv[1] == "engine") e = kv[2]; else if (kv[1] == "workload") w = kv[2];
      else if (kv[1] == "voices") v = kv[2]; else if (kv[1] == "cpu_ms_per_s") ms = kv[2];
      else if (kv[1] == "status") st = kv[2];
      else if (kv[1] == "note" && kv[2] ~ /^callback_ms_per_s_/) { cb = kv[2]; sub(/^callback_ms_per_s_/, "", cb) }
    }
    if (cb != "" && st == "ok") print e "-callback", w, v, cb;
    if (st == "na") print e, w, v, "na"; else if (st == "ok") print e, w, v, ms; else print e, w, v, "FAIL";
  }' "$results" | sort -k1,1 -k2,2 -k3,3n -k4,4g | awk '
    function flush() { if (cnt > 0) { m = (bad ? "FAIL" : (na ? "n/a" : vals[int((cnt + 1) / 2)])); print key, m, cnt } }
    { k = $1 " " $2 " " $3
      if (k != key) { flush(); key = k; cnt = 0; bad = 0; na = 0 }
      if ($4 == "FAIL") bad = 1; else if ($4 == "na") na = 1
      vals[++cnt] = $4 }
    END { flush() }' >"$medians"

value() { awk -v e="$1" -v w="$2" -v v="$3" '$1 == e && $2 == w && $3 == v { print $4 }' "$medians"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "n/a" }'; }
fmt() { awk -v a="$1" 'BEGIN { if (a ~ /^[0-9.]+$/) printf "%.2f", a; else print (a == "" ? "missing" : a) }'; }

table() {  # workload
  local w=$1
  echo "| voices | zyn | OpenAL Soft | SDL_mixer | zyn / OpenAL | zyn / SDL_mixer | zyn / faster peer |"
  echo "|---:|---:|---:|---:|---:|---:|---:|"
  for v in 1 16 64 256; do
    local z o s best
    z=$(value zyn "$w" "$v"); o=$(value openal "$w" "$v"); s=$(value sdl_mixer "$w" "$v")
    best=$(best_peer "$w" "$v")
    echo "| $v | $(fmt "$z") | $(fmt "$o") | $(fmt "$s") | $(ratio "$z" "$o") | $(ratio "$z" "$s") | $(ratio "$z" "$best") |"
  done
}

resample_table() {
  echo "| voices | zyn nearest | zyn linear | OpenAL Linear | ratio | zyn cubic | OpenAL Cubic | ratio | zyn sinc | OpenAL 11th order Sinc | ratio |"
  echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
  for v in 64 256; do
    local row="| $v | $(fmt "$(value zyn-nearest c "$v")")"
    for m in linear cubic sinc; do
      local z o
      z=$(value "zyn-$m" c "$v"); o=$(value "openal-$m" c "$v")
      row+=" | $(fmt "$z") | $(fmt "$o") | $(ratio "$z" "$o")"
    done
    echo "$row |"
  done
}

resample_goal() {  # zyn at most a third of OpenAL Soft's cost, each mode, 64 and 256 voices
  local met=met
  for m in linear cubic sinc; do
    for v in 64 256; do
      awk -v z="$(value "zyn-$m" c "$v")" -v o="$(value "openal-$m" c "$v")" 'BEGIN {
        exit !(z ~ /^[0-9.]+$/ && o ~ /^[0-9.]+$/ && z * 3 <= o + 0) }' || met="not met"
    done
  done
  echo "$met"
}

series() {  # engine workload
  local e=$1 w=$2 out=""
  for v in 1 16 64 256; do out+="$v: $(fmt "$(value "$e" "$w" "$v")"), "; done
  echo "${out%, }"
}

# Loading a 60 s file: one WAV written by sox, encoded by lame and oggenc.
loads=$work/loads.txt
: >"$loads"
if command -v sox >/dev/null && command -v lame >/dev/null && command -v oggenc >/dev/null; then
  sox -q -n -r 44100 -c 2 -b 16 "$work/sixty.wav" synth 60 sine 220 sine 331 gain -6 2>/dev/null &&
    lame --quiet -b 192 "$work/sixty.wav" "$work/sixty.mp3" &&
    oggenc -Q -q 5 -o "$work/sixty.ogg" "$work/sixty.wav" || true
  for f in sixty.wav sixty.mp3 sixty.ogg; do
    [ -f "$work/$f" ] || continue
    cat "$work/$f" >/dev/null  # in the page cache for every engine alike
    [ -x "$bin/zyn_render" ] && "$bin/zyn_render" --load "$work/$f" --repeat 5 >>"$loads" 2>/dev/null || true
    [ -x "$bin/sdlmixer_render" ] && "$bin/sdlmixer_render" --load "$work/$f" --repeat 5 >>"$loads" 2>/dev/null || true
  done
fi
load_cell() {  # engine extension
  awk -v e="$1" -v x="$2" '$1 == "LOAD" {
      en = ""; f = ""; c = ""; wl = ""; s = ""; st = ""
      for (i = 2; i <= NF; i++) { split($i, kv, "=");
        if (kv[1] == "engine") en = kv[2]; else if (kv[1] == "file") f = kv[2];
        else if (kv[1] == "cpu_ms") c = kv[2]; else if (kv[1] == "wall_ms") wl = kv[2];
        else if (kv[1] == "audio_s") s = kv[2]; else if (kv[1] == "status") st = kv[2] }
      if (en == e && f ~ ("\\." x "$")) { if (st == "na") print "n/a"; else printf "%s ms (%s ms wall, %s s)", c, wl, s; found = 1 } }
    END { if (!found) print "n/a" }' "$loads"
}

# The scene's frame cost, when its benchmark exists.
scene=""
for candidate in "$build/bench/scene_bench" "$build/scene_bench"; do
  if [ -x "$candidate" ]; then
    scene=$(cd "$build" && timeout 300 "$root/$candidate" 2>&1 | tail -40) || scene="(scene_bench failed)"
    break
  fi
done

cpu=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
load=$(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo unknown)
cores=$(nproc)
date_utc=$(date -u '+%Y-%m-%d %H:%M UTC')
commit=$(git describe --always --dirty 2>/dev/null || echo unknown)
versions=$(sed 's/^/    /' "$work/versions.txt" 2>/dev/null || true)

fill_ms=$(awk -v m="$(value zyn a 256)" 'BEGIN { if (m ~ /^[0-9.]+$/) printf "%.3f", m * 2048 / 44100; else print "n/a" }')

best_peer() {  # workload voices
  awk -v o="$(value openal "$1" "$2")" -v s="$(value sdl_mixer "$1" "$2")" 'BEGIN { b = "";
    if (o ~ /^[0-9.]+$/) b = o; if (s ~ /^[0-9.]+$/ && (b == "" || s + 0 < b + 0)) b = s; print b }'
}
goal() {  # workload voices denominator: zyn at most 1/denominator of the faster peer
  awk -v z="$(value zyn "$1" "$2")" -v p="$(best_peer "$1" "$2")" -v d="$3" 'BEGIN {
    if (z !~ /^[0-9.]+$/ || p !~ /^[0-9.]+$/ || p + 0 <= 0) { print "n/a"; exit }
    printf "%.2f (goal 1/%d: %s)", z / p, d, (z * d <= p + 0 ? "met" : "not met") }'
}

load_file_section() {
  cat <<EOF
## Loading through ZYN_LOAD_FILE

\`bench/run_load_file.sh\` (Google Benchmark, \`build/load_file_bench\`): a 60 s stereo file of
a chord, a sweep and pink noise (sox) in each format, loaded from the page cache on a device at
the file's own rate (48 kHz for Opus, 44.1 kHz for the rest), so no rate conversion is timed;
next to it the decoder library alone decoding the whole file into one reused chunk of floats
(libsndfile's \`sf_readf_float\`, libmpg123's \`mpg123_read\`), and the classic loader of the
format. Median CPU milliseconds of five runs per second of audio; the ratio is ZYN_LOAD_FILE /
library alone (goal: 1.2 or below). The last line is libsoxr alone at the loader's quality.
Where the library's own work is little more than a copy (PCM wider than 16 bits, float), the
rounding to 16 bits and the first touch of the wave's fresh memory weigh more than the decoding;
8- and 16-bit PCM that needs no mixing is read straight into the wave and beats the float read.

EOF
  if [ -n "$load_file_block" ]; then echo "$load_file_block"; else
    echo '<!-- load_file:begin -->'; echo 'Not run yet: bench/run_load_file.sh'; echo '<!-- load_file:end -->'; fi
}

mix_structure_section() {
  cat <<EOF
## Groups and rendering

\`bench/run_mix_structure.sh\` (Google Benchmark, \`build/mix_structure_bench\`, through the public
interface on an engine opened with ZYN_INIT_RENDER): 256 looping voices (volume 0.5, pan 0.3)
mixed in 256-frame blocks, ungrouped and in 8 groups of 32 whose volumes all change before every
block (the calls included); and ZYN_RENDER of a minute with 64 looping voices, half at speed 1
and half at 0.75, a second per call. Both sides of the comparison run interleaved in one process.

EOF
  if [ -n "$mix_structure_block" ]; then echo "$mix_structure_block"; else
    echo '<!-- mix_structure:begin -->'; echo 'Not run yet: bench/run_mix_structure.sh'; echo '<!-- mix_structure:end -->'; fi
}

space_section() {
  cat <<EOF
## Sound in space

\`bench/run_space.sh\` renders the positional scenes of \`bench/peers/openal_space_render\` with
zyn (\`bench/peers/zyn_space_render\`, through the public interface on an engine opened with
ZYN_INIT_RENDER) and OpenAL Soft (its loopback device, no limiter or dither) in turns, 2048 frames
a block: 256 sources playing the left channel of the shared signal, each on a circle of its own
(2..17 m, up to 34 m/s) around a point 5 m from the listener, position and velocity set before
every block; inverse distance (reference 1 m), Doppler (factor 1, 343.3 m/s), the linear
resampler; scene h the same with binaural rendering (zyn: libmysofa's default MIT KEMAR set, 32
taps; OpenAL Soft: its built-in set). OpenAL Soft reads a mono buffer; zyn's waves have the
device's two channels, so each of its sources is a stereo wave with both sides alike, read and
interpolated as such and mixed to mono once a block.

Scene p misses its goal of a third of OpenAL Soft's CPU. Profiled (perf), about half of zyn's time
is its linear resampler (the fixed-point stereo interpolation every resampled zyn sound runs, two
channels a source), a third placing the blocks (mix-down, ramped gains and the float sum, AVX2),
the rest the per-block geometry and the calls. A third of OpenAL Soft's figure needs a loop that
interpolates the mono mix-down straight from the wave into the float sum in one pass, with the
region walker's loop and edge handling; that loop is not written yet. Scene h meets its goal.

EOF
  if [ -n "$space_block" ]; then echo "$space_block"; else
    echo '<!-- space:begin -->'; echo 'Not run yet: bench/run_space.sh'; echo '<!-- space:end -->'; fi
}

effects_section() {
  cat <<EOF
## Effects

\`bench/run_effects.sh\` (\`bench/peers/zyn_effects_render\` next to \`openal_space_render --workloads r\`):
the reverb scene, 64 looping mono sounds of the shared signal, each from its own start, each
sent whole into one shared reverb, rendered offline in 2048-frame blocks (zyn through
ZYN_INIT_RENDER and ZYN_RENDER); CPU time of the process per second of audio. zyn's sounds are
panned where OpenAL Soft places its sources and scaled by their distance gain; the positional
part is the other half of this work, not measured here. Also zyn's cost of the same sounds
without sends, and in one group with a low-pass filter on its sum.

Where zyn's time goes (\`build/space_bench\`, per second of audio): the reverb itself about
1.7 ms, the 64 sends into its input about 1.3 ms, and the sounds leaving the fused loop for their
work buffers (render, scale, pan, sum: a send is taken from what a sound adds) about 1.3 ms. In
the filtered group the filter runs once on the sum (about 0.3 ms); the rest is the members'
work-buffer road into the group's bus.

EOF
  if [ -n "$effects_block" ]; then echo "$effects_block"; else
    echo '<!-- effects:begin -->'; echo 'Not run yet: bench/run_effects.sh'; echo '<!-- effects:end -->'; fi
}

tracks_section() {
  cat <<'TEXT'
## Tracks

`bench/run_tracks.sh` (`build/track_bench`): a 30 s stereo file of a chord, a sweep and pink
noise (sox), encoded with oggenc at quality 5, at 44.1 kHz and at 48 kHz; sixteen tracks of it
playing at once on the hand-pumped device (44.1 kHz, blocks of 1024 frames, every ring topped up
on the caller's thread before each block, as an offline render does; the pool's threads run as
well), next to vorbisfile alone decoding the same sixteen files one after the other into floats
(`ov_read_float`), and for the 48 kHz files vorbisfile and libsoxr alone (SOXR_HQ, the quality
and chunks zyn uses). CPU is process CPU time (all threads), the median of three runs, in
milliseconds per second of one track's audio. Memory: resident-set growth per track over 64
open tracks, each played 200 blocks. Real time: 64 tracks on `plug-null.so` (512-frame blocks,
paced by the clock) for 10 s; the count is the frames any track was silent because its decoding
fell behind (`ZYN_GET_TRACKUNDERRUNS`). Seek: 41 seeks to random frames of a ten-minute Ogg
Vorbis file, each timed until `ZYN_SEEK_TRACK` returns with the next block decoded.
Other programs compile on this 2-core machine while it runs: the load average is given, and
the ratios are taken against peers measured in the same run.

The 48 kHz row misses its goal of 1.5: libsoxr at the quality `ZYN_LOAD_FILE` uses (SOXR_HQ)
costs about half of what vorbisfile's decoding does, so the two libraries alone already come to
about 1.45 to 1.55 times vorbisfile (the third row). One converting track alone costs what the
libraries cost (2.0 ms per second against 2.05 in the same conditions); sixteen at once cost
about 8 % more, their decoder and converter states (about 300 KiB each) taking turns in the
cache where the peers decode one file after the other.

TEXT
  if [ -n "$tracks_block" ]; then echo "$tracks_block"; else
    echo '<!-- tracks:begin -->'; echo 'Not run yet: bench/run_tracks.sh'; echo '<!-- tracks:end -->'; fi
}

realtime_section() {
  cat <<EOF
## Dropouts with real-time priority

\`bench/run_realtime.sh\`: zyn plays a looping tone through \`plug-pulse.so\` to a private
PulseAudio server (null sink) in blocks of 256 frames, 3 queued (17 ms), for 60 s, while another
process keeps two threads busy at normal priority on this 2-processor machine; \`pacat\` plays a
tone of the same length with the same 17 ms queue in the same run. Dropouts are the server's
underflow reports for each stream (zyn's \`ZYN_GET_OUTPUTSTATS\` underruns; pacat's "Stream
underrun." lines), with zyn's real-time priority on (\`ZYN_SET_REALTIME(10)\`, the default) and
off (0). Goal: with the priority on, zyn has no more dropouts than pacat.

EOF
  if [ -n "$realtime_block" ]; then echo "$realtime_block"; else
    echo '<!-- realtime:begin -->'; echo 'Not run yet: bench/run_realtime.sh'; echo '<!-- realtime:end -->'; fi
}

summary() {
  cat <<EOF
Machine: $cpu, $cores logical processors, load average $load at the end. Date: $date_utc.
zyn at $commit, driven by ${zyn##*/}.

CPU milliseconds per second of 44.1 kHz 16-bit stereo output (median of $rounds rounds; lower is better).

(a) speed 1.0, volume 0.8, pan 0.3

$(table a)

(b) speed 1.5, volume 0.8, pan 0.3

$(table b)

(c) speed 1.37, volume 0.8, pan 0.3, reading between frames: zyn's ZYN_RESAMPLE_ modes
next to OpenAL Soft's resamplers of the same kind (ratio: zyn / OpenAL Soft)

$(resample_table)

One 2048-frame fill with 256 voices at speed 1.0 costs zyn $fill_ms ms of CPU (goal: under 1 ms).
Resampling, each mode at most a third of OpenAL Soft's cost at 64 and 256 voices: $(resample_goal).
zyn / faster peer: (a) 64 voices $(goal a 64 3), 256 voices $(goal a 256 3);
(b) 64 voices $(goal b 64 2), 256 voices $(goal b 256 2).
EOF
}

# The blocks bench/run_load_file.sh, bench/run_tracks.sh, bench/run_realtime.sh,
# bench/run_mix_structure.sh, bench/run_space.sh and bench/run_effects.sh write stay as they are.
load_file_block=$(awk '/<!-- load_file:begin -->/,/<!-- load_file:end -->/' "$root/docs/benchmarks.md" 2>/dev/null || true)
tracks_block=$(awk '/<!-- tracks:begin -->/,/<!-- tracks:end -->/' "$root/docs/benchmarks.md" 2>/dev/null || true)
realtime_block=$(awk '/<!-- realtime:begin -->/,/<!-- realtime:end -->/' "$root/docs/benchmarks.md" 2>/dev/null || true)
mix_structure_block=$(awk '/<!-- mix_structure:begin -->/,/<!-- mix_structure:end -->/' "$root/docs/benchmarks.md" 2>/dev/null || true)
space_block=$(awk '/<!-- space:begin -->/,/<!-- space:end -->/' "$root/docs/benchmarks.md" 2>/dev/null || true)
effects_block=$(awk '/<!-- effects:begin -->/,/<!-- effects:end -->/' "$root/docs/benchmarks.md" 2>/dev/null || true)

mkdir -p "$root/docs"
{
  cat <<EOF
# Benchmarks: zyn side by side with OpenAL Soft and SDL_mixer

Written by \`bench/run_peers.sh\`; run it again to refresh every number here.

$(summary)

Goal: at 64 and 256 voices zyn uses at most a third of the CPU of the faster peer in (a) and at
most half in (b) (ratios of 1/3 and 1/2 or below in the last column), and one 2048-frame fill
with 256 voices at speed 1.0 takes under 1 ms.

OpenAL Soft with AL_SOFT_direct_channels instead of stereo angles (the stereo channels go
straight to the output, so the pan cannot be applied: a lower bound, not in the table above),
CPU ms per second by voice count: (a) $(series openal-direct a); (b) $(series openal-direct b).

SDL_mixer's mixing callback alone (from its first hook to its last in each block, on the audio
thread's clock; without the disk driver's wait and write, which the table includes), CPU ms per
second by voice count: (a) $(series sdl_mixer-callback a).

## The workload

- Output: 44.1 kHz, 16-bit, stereo, rendered in blocks of 2048 frames; 8 blocks are rendered
  before the clock starts (first-touch page faults), then 216 blocks (10.03 s) are timed.
- Input: one 5 s stereo wave, the same samples for every engine (three sines per side plus
  noise from a fixed generator, peaking near a quarter of full scale, \`bench/peers/peer_workload.h\`),
  played by N voices (1, 16, 64, 256) that all start together and loop without end. Voices in
  step add up, so from a handful of voices on the sum clips; every engine saturates it (OpenAL
  Soft clamps its float mix once at the end, zyn and SDL_mixer after every added voice).
- (a) speed 1.0, (b) speed 1.5 (nearest source frame, no interpolation); volume 0.8; pan 0.3.
- (c) speed 1.37 at 64 and 256 voices with interpolation: zyn's linear, cubic (4-point
  Hermite) and sinc (16-tap Kaiser-windowed, band-limited) modes (\`ZYN_SET_RESAMPLER\`), each
  next to OpenAL Soft's resampler of that kind chosen by name ("Linear", "Cubic", "11th order
  Sinc"); zyn's nearest mode at the same speed for reference.
- Time: CPU time of the whole process (\`CLOCK_PROCESS_CPUTIME_ID\`), loading and set-up
  excluded, divided by the seconds of audio rendered. Every run prints the RMS of each output
  channel and a checksum of the timed output; a run whose length is wrong or whose output is
  near silence, or where not every voice was playing, is marked FAIL, and so is its cell in
  the table ("missing" means the program gave no result at all).

## How each engine is driven

- **zyn**: \`ZYN_INIT(44100, 2, 3, 2048, -1)\` on the benchmark's own pump plug-in
  (\`bench/peers/pump_plugin.cpp\`, built as plug-null.so in a folder of its own): no thread, no
  device; each fill is one call, so the CPU time is the mixer's. \`ZYN_SET_MAXCHANNELS(256)\`.
  Sounds: $zyn_setup, speed, volume 0.8, pan 0.3, endless loops.
- **OpenAL Soft**: the loopback device (ALC_SOFT_loopback, \`alcRenderSamplesSOFT\` 2048 frames a
  call), 16-bit stereo, ALC_HRTF_SOFT false, no auxiliary sends (no EFX), distance model none,
  the "Nearest" resampler (AL_SOFT_source_resampler, chosen by name), AL_GAIN 0.8, AL_PITCH the
  speed. Its output limiter and 16-bit dither are switched off through a private configuration
  file (ALSOFT_CONF), as zyn saturates and never dithers. Pan: OpenAL ignores the position of
  a stereo source, which it plays as two virtual speakers; AL_EXT_STEREO_ANGLES swings them to
  the right, the left speaker from +30° by 120° × pan and the right from −30° by 60° × pan
  (−6° and −48° for 0.3, so the left channel is mostly moved, as zyn's balance scales only
  the left). The gains are computed once per change, so the angles do not change the work.
- **SDL_mixer**: SDL's disk audio driver writing to /dev/null with \`SDL_DISKAUDIODELAY=0\`, so the
  mixing thread runs flat out; \`Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 2048)\` (no format
  conversion), \`Mix_AllocateChannels(N)\`, the wave as one \`Mix_QuickLoad_RAW\` chunk,
  \`Mix_Volume\` 102 (0.8 × 128), \`Mix_SetPanning(179, 255)\` (left × 0.70, right × 1.0: zyn's
  balance law for pan 0.3). The clock is read inside the post-mix hook at block ends while the
  main thread sleeps, so it counts the whole block: mixing, the panning effect and the write of
  the block to /dev/null. SDL_mixer has no per-channel speed: (b) is n/a for it (a chunk
  resampled beforehand would only measure (a) again).

Versions:
$versions
    zyn $commit; build type $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")

## Loading a 60 s file

A 60 s, 44.1 kHz stereo 16-bit WAV (sox), the same encoded as MP3 (lame, 192 kbit/s) and Ogg
Vorbis (oggenc, quality 5), each read from the page cache and converted to the device format
(44.1 kHz stereo 16-bit); median CPU time of 5 loads (wall time and decoded length in brackets).

| file | zyn (ZYN_LOAD_WAVFILE / MP3FILE / OGGFILE) | SDL_mixer (Mix_LoadWAV) | OpenAL Soft |
|---|---|---|---|
| WAV | $(load_cell zyn wav) | $(load_cell sdl_mixer wav) | no loader: the application decodes |
| MP3 | $(load_cell zyn mp3) | $(load_cell sdl_mixer mp3) | no loader |
| Ogg | $(load_cell zyn ogg) | $(load_cell sdl_mixer ogg) | no loader |

zyn's MP3 and Ogg loaders decode through a temporary WAV file and then load that, so their
time includes writing and reading it back. A decoded MP3 longer than 60 s keeps the encoder's
start delay and end padding (an MP3 carries them; a loader that reads the LAME header can trim
them). Wall times depend on what else the machine runs; the CPU times are the comparison. n/a
for zyn means its loaders were not in the engine when this was run.

$(load_file_section)

$(tracks_section)

$(realtime_section)

$(mix_structure_section)

$(space_section)

$(effects_section)

## The scene

EOF
  if [ -n "$scene" ]; then
    echo "Output of \`scene_bench\` (Google Benchmark): the CPU column is the cost of one frame's"
    echo "drawing (the bubble update and one walker draw, without a window); a frame lasts 40 ms."
    echo
    echo '```'
    echo "$scene"
    echo '```'
  else
    echo "No scene benchmark (bench/scene_bench.cpp) was built when this was run."
  fi
} >"$root/docs/benchmarks.md.new"
mv "$root/docs/benchmarks.md.new" "$root/docs/benchmarks.md"

# README: the summary between the markers.
if grep -q '<!-- bench:begin -->' README.md && grep -q '<!-- bench:end -->' README.md; then
  summary >"$work/summary.md"
  awk -v file="$work/summary.md" '
    /<!-- bench:begin -->/ { print; while ((getline line < file) > 0) print line; skip = 1; next }
    /<!-- bench:end -->/ { skip = 0 }
    !skip { print }' README.md >"$work/README.md" && cp "$work/README.md" README.md
fi

summary
echo
echo "Written: docs/benchmarks.md (zyn through ${zyn##*/})"
