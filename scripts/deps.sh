#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# Usage: scripts/deps.sh [extra-group ...]   groups: windows (cross compilers and Wine),
#        packages (what scripts/check-packages.sh needs to build and check the .deb files)
set -euo pipefail

# Fonts: the windows' text and the About panes' fixed-pitch columns; a machine without any font
# draws no text at all. ccache: rebuilds, and CI's fresh clone of sources built before, are quick.
packages=(
  build-essential cmake ninja-build pkg-config git ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libgl-dev qt6-qpa-plugins
  fontconfig fonts-dejavu-core
  clang libclang-rt-14-dev locales
  help2man
  libhdf5-dev python3-numpy python3-h5py
)
for group in "$@"; do
  case "$group" in
    windows) packages+=(mingw-w64 wine wine64 googletest) ;;
    packages) packages+=(dpkg-dev file lintian systemd) ;;
    *) echo "deps.sh: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# The tests check that numbers keep "." as decimal mark under a comma locale.
ensure_test_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    echo "Generating the de_DE.UTF-8 locale for the tests"
    ${sudo:-} localedef -i de_DE -f UTF-8 de_DE.UTF-8
  fi
}
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -eq 0 ]; then
  ensure_test_locale
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
ensure_test_locale
