#!/usr/bin/env bash
# Runs one libFuzzer target for FUZZ_SECONDS (default 5) from its seed folder. What it learns is
# kept in a work folder of the build, so later runs go on from there; an input that fails is kept
# there too (its path is in the output) and the run fails.
set -euo pipefail
target=$1 seeds=$2 work=$3
mkdir -p "$work/corpus" "$work/artifacts"
exec "$target" "$work/corpus" "$seeds" \
  -max_total_time="${FUZZ_SECONDS:-5}" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1
