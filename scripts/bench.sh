#!/usr/bin/env bash
# Runs the benchmarks built in BUILD (make bench uses build-release, the
# Release build with link-time optimisation that make demo and make deb ship)
# and prints their figures. Every bench score must compile without a
# message, or the run stops.
#   scripts/bench.sh [BUILD]
# In process (Google Benchmark): the language server's requests on a 5,000-line
# score (the Lsp rows); the compiler on a 5 MB score of plain notes
# and on a macro-heavy score; the player's real-time runs (about 8 seconds
# each at 1 and at 4 ms), notes landing in the built-in synthesizer (at 4 and
# 10 ms, sent at once and timestamped), offline rendering and the sequencer
# alone; the piano roll's model and one full paint of it on a score of
# 50,000 notes (the Roll rows).
# Whole processes (scripts/bench-process.py): `quern compile` of a 10 KB
# score, its peak memory on a 5 MB score, and against abc2midi (Debian's
# abcmidi, installed here when missing) on equivalent 1 MB scores; `quern
# import` against midi2abc (same package) on one 1 MB MIDI file.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
if ! command -v abc2midi > /dev/null; then
  if [ "$(id -u)" = 0 ]; then
    # A lock means another installation is running: wait and retry. The
    # package lists are read again once, for a machine that has none yet.
    for attempt in 1 2 3 4 5; do
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq abcmidi > /dev/null && break
      [ "$attempt" = 1 ] && apt-get update -qq > /dev/null || sleep 10
    done
  else
    echo "bench: abc2midi is missing (apt-get install abcmidi); no abc2midi ratio" >&2
  fi
fi
# QUERN_BENCH_ROWS=import runs the import rows alone (quern import against
# midi2abc), sparing a shared machine the rest.
if [ "${QUERN_BENCH_ROWS:-}" = import ]; then
  python3 scripts/bench-process.py "$build/quern" "$build/bench-scores"
  exit
fi
"$build/quern_bench" --benchmark_counters_tabular=true ${QUERN_BENCH_FILTER:+--benchmark_filter="$QUERN_BENCH_FILTER"}
echo
echo "Whole processes:"
python3 scripts/bench-process.py "$build/quern" "$build/bench-scores"
echo
echo "Libraries loaded by quern (the compile path), against the outputs module:"
echo "  quern: $(ldd "$build/quern" | wc -l) libraries"
echo "  quern_outputs.so: $(ldd "$build/quern_outputs.so" | wc -l) libraries (play, render, ports)"
