#!/usr/bin/env bash
# Shared set-up for run.sh and test.sh: install missing Debian packages, then configure and build.
# Usage: source scripts/setup.sh   (DOVLIN_EXTRA_PACKAGES adds Debian packages)
set -euo pipefail

DOVLIN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DOVLIN_BUILD="${DOVLIN_BUILD:-$DOVLIN_ROOT/build}"

# clang, its sanitizer and libFuzzer runtimes and llvm's symbolizer serve the fuzz targets;
# desktop-file-utils checks the installed menu entry; zlib and LZ4 unpack FST files, whose tests
# compare with what GTKWave's vcd2fst and fst2vcd make of them; help2man writes the manual pages
# from the programs' --help, and lintian checks the Debian package.
dovlin_packages=(build-essential cmake ninja-build qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libpcre2-dev desktop-file-utils
                 zlib1g-dev liblz4-dev gtkwave help2man lintian
                 fonts-dejavu-core clang libclang-rt-14-dev llvm ${DOVLIN_EXTRA_PACKAGES:-})

dovlin_install_packages() {
  local missing=()
  for p in "${dovlin_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing Debian packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "error: need root or sudo to install ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

dovlin_build() {
  cmake -S "$DOVLIN_ROOT" -B "$DOVLIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
  cmake --build "$DOVLIN_BUILD" --parallel "$(nproc)"
}

dovlin_install_packages
