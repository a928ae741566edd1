#!/bin/sh
# Builds Dialsift the way the package is built (Release, Debian's hardening
# flags, tools/release-build.sh) with warnings as errors, the tests and the
# benchmarks, and runs every test: the code tested is the code shipped.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/release-build.sh build-test -DDIALSIFT_WERROR=ON -DDIALSIFT_TESTS=ON -DDIALSIFT_BENCH=ON
cmake --build build-test
cd build-test && ctest --output-on-failure -j "$(nproc)"
