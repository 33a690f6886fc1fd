#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time on a working copy of its seed corpus.
# usage: run_fuzzer.sh FUZZER WORK_CORPUS SEED_CORPUS SECONDS
set -euo pipefail
fuzzer=$1 work=$2 seeds=$3 seconds=$4
mkdir -p "$work"
if [ -d "$seeds" ]; then cp -n "$seeds"/* "$work"/ 2>/dev/null || true; fi
mkdir -p "$work.artifacts"
exec "$fuzzer" -artifact_prefix="$work.artifacts/" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "$work"
