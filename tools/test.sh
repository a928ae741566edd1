#!/bin/sh
# Builds Dialsift with warnings as errors and runs every test.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIALSIFT_WERROR=ON >/dev/null
cmake --build build-test
cd build-test && ctest --output-on-failure -j "$(nproc)"
