#!/usr/bin/env bash
# Runs every fuzz target (or those named in FUZZ_TARGETS) for SECONDS each.
#   fuzz.sh BUILD_DIR SECONDS
# Each target starts from its seed corpus (the examples, the test scores,
# compiled song images, fuzz/seeds/NAME and every kept regression) and grows
# a working corpus in BUILD_DIR/corpus/NAME. A crash, a hang (-timeout) or a
# memory blow-up (-rss_limit_mb) is kept in fuzz/regressions/NAME/, which
# `make test` replays; the script then fails and names the new inputs.
# libFuzzer's timeout counts wall-clock seconds: on a machine busy with other
# work, raise FUZZ_TIMEOUT (default 30) so that slow is not taken for a hang.
set -uo pipefail
build=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
targets=${FUZZ_TARGETS:-score image codec html settings smf live lsp roll}
found=0
for name in $targets; do
  corpus=$build/corpus/$name
  seeds=$build/seeds/$name
  regressions=$root/fuzz/regressions/$name
  mkdir -p "$corpus" "$seeds" "$regressions"
  case $name in
    score | codec | html)
      cp "$root"/examples/*.qrn "$root"/tests/e2e/cases/*.qrn "$seeds"/ ;;
    image)
      cp "$root"/fuzz/seeds/image/* "$seeds"/ ;;
    roll)
      cp "$root"/examples/*.qrn "$root"/tests/e2e/cases/*.qrn "$root"/fuzz/seeds/image/* "$seeds"/ ;;
  esac
  [ -d "$root/fuzz/seeds/$name" ] && cp "$root/fuzz/seeds/$name"/* "$seeds"/
  cp "$regressions"/* "$seeds"/ 2>/dev/null
  before=$(ls "$regressions" | wc -l)
  echo "== $name: $seconds s"
  # Slow units are not failures: only crashes, timeouts and memory
  # blow-ups land in the regressions.
  "$build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-30}" \
    -rss_limit_mb=2048 -report_slow_units=100000 -max_len=8192 -dict="$root/fuzz/quern.dict" \
    -print_final_stats=1 -artifact_prefix="$regressions/" "$corpus" "$seeds" \
    2>"$build/fuzz-$name.log"
  status=$?
  grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb' "$build/fuzz-$name.log"
  grep -E '^#[0-9]+ ' "$build/fuzz-$name.log" | tail -n 1
  after=$(ls "$regressions" | wc -l)
  if [ "$status" -ne 0 ] || [ "$after" -ne "$before" ]; then
    echo "$name: found a failing input (see $build/fuzz-$name.log):"
    ls -t "$regressions" | head -n $((after - before))
    found=1
  fi
done
exit $found
