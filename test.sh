#!/usr/bin/env bash
# Builds zyn and runs every test.
#   ./test.sh              Release build in build/ (the one run.sh makes), all tests
#   ./test.sh --sanitize   the same under ASan+UBSan (build-asan/) and TSan (build-tsan/)
# With CI=true warnings are errors and a skipped test fails.
set -euo pipefail
cd "$(dirname "$0")"

scripts/bootstrap

jobs=$(nproc 2>/dev/null || echo 2)
werror=OFF
fail_on_skip=OFF
if [ "${CI:-}" = true ]; then
  werror=ON
  fail_on_skip=ON
fi

run_suite() {  # folder, extra cmake arguments...
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DZYN_WERROR=$werror -DZYN_FAIL_ON_SKIP=$fail_on_skip "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 600)
}

if [ "${1:-}" = "--sanitize" ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DZYN_SANITIZE=address,undefined -DZYN_BUILD_BENCH=OFF
  run_suite build-tsan -DCMAKE_BUILD_TYPE=Debug -DZYN_SANITIZE=thread -DZYN_BUILD_BENCH=OFF
else
  run_suite build -DCMAKE_BUILD_TYPE=Release
fi
