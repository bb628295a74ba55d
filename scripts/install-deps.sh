#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Fast and silent when everything is already there. With --fuzz, also what
# `make fuzz` needs: clang 14 and its libFuzzer runtime; with --vsix, what
# `make vsix` needs: node and npm.
set -euo pipefail
packages=(
  cmake ninja-build g++ make pkg-config dpkg-dev file
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools
  libfluidsynth-dev librtmidi-dev timgm6mb-soundfont nlohmann-json3-dev
  fonts-ipafont-gothic qt6-translations-l10n python3 python3-mido vim neovim abcmidi
)
[ "${1:-}" = "--fuzz" ] && packages+=(clang-14 libclang-rt-14-dev)
if [ "${1:-}" = "--vsix" ]; then
  # A node and npm already on the PATH (from Debian or not) will do.
  command -v npm >/dev/null && command -v node >/dev/null || packages+=(nodejs npm)
fi
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
