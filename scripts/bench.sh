#!/usr/bin/env bash
# Runs the player benchmarks built in BUILD (make bench builds build-bench
# with -DQUERN_BENCH=ON) and prints their figures.
#   scripts/bench.sh [BUILD]
# The real-time runs take the song's length each (about 8 seconds at 1 and
# at 4 ms); the render runs the synthesizer offline.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
"$build/quern_bench" --benchmark_counters_tabular=true
