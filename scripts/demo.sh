#!/usr/bin/env bash
# Compiles the bundled demo and plays it on the embedded synthesizer. Where
# no audio output can be opened (a server, a container, CI), it renders the
# demo to BUILD/demo.wav instead and says where the file is.
#   scripts/demo.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
quern="$build/quern"
"$quern" compile examples/demo.qrn -o "$build/demo.xrt"
status=0
"$quern" play "$build/demo.xrt" || status=$?
if [ "$status" -eq 0 ]; then
  exit 0
fi
if [ "$status" -ne 2 ]; then
  exit "$status"
fi
echo "No audio output here: rendering the demo to a WAV file instead."
"$quern" render "$build/demo.xrt" -o "$build/demo.wav"
echo "The demo is in $(cd "$build" && pwd)/demo.wav"
