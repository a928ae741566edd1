#!/bin/sh
# Replays every fuzz target's seeds through the targets built without
# libFuzzer (BIN/*_fuzz_replay): the seeds come fresh from make_seeds.py
# over the samples and the test data into SEEDS.
#
#   fuzz/replay.sh BIN SEEDS
set -eu
bin=$1
seeds=$2
rm -rf "$seeds"
python3 "$(dirname "$0")/make_seeds.py" "$seeds" >/dev/null
status=0
for replay in "$bin"/*_fuzz_replay; do
  target=$(basename "$replay" _replay)
  if ! printf '%s: ' "$target" || ! "$replay" "$seeds/$target"; then
    echo "$target: failed" >&2
    status=1
  fi
done
exit $status
