#!/bin/sh
# Builds Dialsift and starts it: the window when there is a display, else the
# command-line extractor over the bundled sample workbooks.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIALSIFT_TESTS=OFF -DDIALSIFT_BENCH=OFF >/dev/null
cmake --build build
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/dialsift
fi
echo "No display: the phone numbers of the sample workbooks (dialsift-cli, lengths 10 and 11):" >&2
exec build/bin/dialsift-cli --lengths 10,11 build/bin/Samples/*
