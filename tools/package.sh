#!/bin/sh
# Builds the Debian package of Dialsift: a Release build in build-package/
# with Debian's hardening flags (tools/release-build.sh), then CPack. Prints
# the package's path.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/release-build.sh build-package
cmake --build build-package
rm -f build-package/package/dialsift_*.deb
(cd build-package && cpack -G DEB >/dev/null)
ls build-package/package/dialsift_*.deb
