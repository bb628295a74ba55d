#!/usr/bin/env bash
# The Neovim test: runs lsp_test.lua in headless Neovim against QUERN.
#   run.sh QUERN [CAPTURE]
# Exits 77 (skipped) with a message where nvim is missing.
set -uo pipefail
quern=$(realpath "$1")
capture=${2:-}
if ! command -v nvim >/dev/null; then
  echo "skipped: nvim is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%%M c d\nA o4 l4 c d %%M\nA ドレ x\nB %%M\n' > "$work/song.qrn"
here=$(cd "$(dirname "$0")" && pwd)
QUERN="$quern" SCORE="$work/song.qrn" CAPTURE="$capture" SETUP="$here/../../../editors/nvim/quern.lua" \
  timeout 60 nvim --headless -u NONE -i NONE -n \
  -c "luafile $here/lsp_test.lua" 2>&1
