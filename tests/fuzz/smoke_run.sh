#!/bin/sh
# smoke_run.sh TARGET CORPUS WORKDIR: fuzzes TARGET for KV_FUZZ_SECONDS
# (default 15) from the seed corpus CORPUS. New inputs go to WORKDIR/new,
# never into the source tree; a crash, leak, timeout or out-of-memory input
# lands in WORKDIR/artifacts and fails the run.
set -eu
target=$1
corpus=$2
work=$3
seconds=${KV_FUZZ_SECONDS:-15}
rm -rf "$work"
mkdir -p "$work/new" "$work/artifacts"
cd "$work"
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/new" "$corpus"
