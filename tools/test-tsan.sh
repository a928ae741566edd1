#!/bin/sh
# Builds the core and the multi-job tests (ctest label multijob) with
# ThreadSanitizer and runs them: any data race between reading threads fails
# the run. Only the targets those tests need are built.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIALSIFT_TSAN=ON \
  -DDIALSIFT_WERROR=ON -DDIALSIFT_BENCH=OFF -DDIALSIFT_GUI=OFF >/dev/null
cmake --build build-tsan --target test_multijob
cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --output-on-failure -L multijob
