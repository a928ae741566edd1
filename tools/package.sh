#!/bin/sh
# Builds the Debian package of Dialsift: a Release build in build-package/
# (no tests, no benchmarks), then CPack. Prints the package's path.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIALSIFT_TESTS=OFF \
  -DDIALSIFT_BENCH=OFF >/dev/null
cmake --build build-package
rm -f build-package/package/dialsift_*.deb
(cd build-package && cpack -G DEB >/dev/null)
ls build-package/package/dialsift_*.deb
