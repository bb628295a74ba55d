#!/usr/bin/env bash
# Plays the bundled demo. Until the player lands it compiles the demo and
# prints the compiler report.
set -euo pipefail
build=${1:-build}
"$build/quern" compile examples/demo.qrn -o "$build/demo.xrt"
