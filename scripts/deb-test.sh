#!/usr/bin/env bash
# Checks the install tree and the Debian package of Quern MIDI:
#   deb-test.sh [BUILD]      (make deb-test; needs root, or sudo)
# 1. cmake --install into a throwaway prefix holds every file it should;
# 2. lintian finds no errors in quern-midi_*.deb;
# 3. apt installs the package, the installed quern answers --version and
#    compiles and renders an installed example, man finds its pages;
# 4. apt purges it and nothing of it is left.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "deb-test: $*" >&2; exit 1; }

# The checkers this test needs (not make test's): lintian, man.
for tool in lintian:lintian man:man-db; do
  if ! command -v "${tool%%:*}" >/dev/null; then
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${tool#*:}"
  fi
done

echo "== install tree"
cmake --install "$root/$build" --prefix "$work/prefix" >/dev/null
for f in bin/quern bin/quern-editor \
  share/applications/quern-editor.desktop share/mime/packages/quern-midi.xml \
  share/icons/hicolor/scalable/apps/quern-midi.svg \
  share/icons/hicolor/{16x16,32x32,48x48,128x128,256x256}/apps/quern-midi.png \
  share/man/man1/quern.1 share/man/man1/quern-editor.1 \
  share/doc/quern-midi/README.md share/doc/quern-midi/examples/demo.qrn \
  share/bash-completion/completions/quern \
  share/quern-midi/editors/quern.tmLanguage.json share/quern-midi/editors/quern.vim \
  share/quern-midi/editors/ftdetect/quern.vim share/quern-midi/editors/extension.js \
  share/quern-midi/editors/package.json share/quern-midi/editors/nvim/quern.lua; do
  [ -e "$work/prefix/$f" ] || fail "the install tree has no $f"
done
for page in quern quern-editor; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$work/prefix/share/man/man1/$page.1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $page.1 warns: $warnings"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/prefix/share/applications/quern-editor.desktop"
fi

deb=$(ls -t "$root"/quern-midi_*_amd64.deb | head -n 1)
echo "== lintian $deb"
lintian --tag-display-limit 0 "$deb" | tee "$work/lintian.txt" || true
! grep -q '^E:' "$work/lintian.txt" || fail "lintian reports errors"

echo "== install"
cp "$deb" "$work/"
chmod 755 "$work"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$work/$(basename "$deb")" >/dev/null
version=$(sed -n 's/^project(QuernMIDI VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ "$(/usr/bin/quern --version)" = "quern (Quern MIDI) $version" ] || fail "quern --version: $(/usr/bin/quern --version)"
example=/usr/share/doc/quern-midi/examples/demo.qrn
/usr/bin/quern compile "$example" -o "$work/demo.xrt" >/dev/null || fail "quern compile $example failed"
[ -s "$work/demo.xrt" ] || fail "no song image"
/usr/bin/quern render "$example" -o "$work/demo.wav" --ticks 2000 2>/dev/null || fail "quern render failed"
[ "$(head -c 4 "$work/demo.wav")" = "RIFF" ] || fail "the WAV has no RIFF header"
man -w quern >/dev/null && man -w quern-editor >/dev/null || fail "man does not find the pages"
/usr/bin/quern-editor --version >/dev/null || fail "quern-editor --version failed"
echo "installed: $(/usr/bin/quern --version)"

echo "== purge"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quern-midi >/dev/null
! dpkg-query -W quern-midi >/dev/null 2>&1 || fail "quern-midi is still installed"
for f in /usr/bin/quern /usr/bin/quern-editor /usr/share/doc/quern-midi /usr/share/quern-midi; do
  [ ! -e "$f" ] || fail "$f is left after purge"
done
echo "deb-test: all checks passed"
