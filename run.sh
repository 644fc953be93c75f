#!/usr/bin/env bash
# Installs what is missing, builds zyn (Release) into build/ and starts the
# scene from there. Without a display it runs a short scripted demo under
# Xvfb instead, leaving build/scene.png and build/scene.wav behind.
set -euo pipefail
cd "$(dirname "$0")"

scripts/bootstrap
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

cd build
if [ ! -x ./zyn-scene ]; then
  echo "run.sh: build/zyn-scene was not built (see the build output above)" >&2
  exit 1
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./zyn-scene "$@"
fi

echo "run.sh: no display (\$DISPLAY is empty): running a short scripted demo under Xvfb instead."
rm -f scene.png scene.wav
# The walker goes right, turns and walks left; the sound is recorded by
# plug-wav.so, the last picture saved as PNG.
ZYN_WAV_OUT="$PWD/scene.wav" SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" \
  xvfb-run -a ./zyn-scene --frames 200 --keys 5:333,100:331 --screenshot scene.png
for out in scene.png scene.wav; do
  if [ -s "$out" ]; then echo "run.sh: wrote build/$out"; else echo "run.sh: build/$out was not written" >&2; fi
done
