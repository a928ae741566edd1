#!/bin/sh
# Builds the unit tests with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs them.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDIALSIFT_SANITIZE=ON \
  -DDIALSIFT_WERROR=ON -DDIALSIFT_BENCH=OFF >/dev/null
cmake --build build-asan
cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$(nproc)" -LE slow
