#!/bin/sh
# Configures the Release build (-O3) in BUILD_DIR the way the package is
# built: with Debian's hardening flags from dpkg-buildflags (fortified
# functions, stack protector, format checks, relro and bindnow); no tests, no
# benchmarks. More CMake options may follow.
# Usage: release-build.sh BUILD_DIR [CMAKE_OPTION...]
set -eu
cd "$(dirname "$0")/.."
dir=$1
shift
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Release gives the optimisation level and leaves out debugging information.
export DEB_CFLAGS_MAINT_STRIP="-g -O2" DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
cppflags=$(dpkg-buildflags --get CPPFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIALSIFT_TESTS=OFF \
  -DDIALSIFT_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" "$@" >/dev/null
